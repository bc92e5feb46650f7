# The project's one version: the project() version, and inside a git checkout
# what `git describe` says of it (a tag v<version> where there is one, else the
# number of commits and the commit), so a build says exactly what it was made
# from. Debian's version rules hold for it: it starts with a digit and uses no
# hyphen outside a revision.
set(MORVALIN_VERSION "${PROJECT_VERSION}")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${CMAKE_SOURCE_DIR}/.git")
    execute_process(
        COMMAND "${GIT_EXECUTABLE}" describe --tags --match "v[0-9]*" --dirty=.dirty
        WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}"
        OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE describeFailed ERROR_QUIET)
    if(NOT describeFailed AND describe MATCHES "^v([0-9][^-]*)(-([0-9]+)-g([0-9a-f]+))?(\\.dirty)?$")
        set(MORVALIN_VERSION "${CMAKE_MATCH_1}")
        if(CMAKE_MATCH_3)
            string(APPEND MORVALIN_VERSION "+git${CMAKE_MATCH_3}.g${CMAKE_MATCH_4}")
        endif()
        string(APPEND MORVALIN_VERSION "${CMAKE_MATCH_5}")
    else()
        execute_process(
            COMMAND "${GIT_EXECUTABLE}" rev-list --count HEAD
            WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}"
            OUTPUT_VARIABLE commits OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        execute_process(
            COMMAND "${GIT_EXECUTABLE}" describe --always --dirty=.dirty --abbrev=7
            WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}"
            OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(commits AND commit)
            set(MORVALIN_VERSION "${PROJECT_VERSION}+git${commits}.g${commit}")
        endif()
    endif()
    # Configure again when HEAD moves, so the version follows the checkout.
    if(IS_DIRECTORY "${CMAKE_SOURCE_DIR}/.git")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
            "${CMAKE_SOURCE_DIR}/.git/HEAD" "${CMAKE_SOURCE_DIR}/.git/index")
    endif()
endif()
message(STATUS "Morvalin ${MORVALIN_VERSION}")

configure_file("${CMAKE_CURRENT_LIST_DIR}/version.h.in"
    "${CMAKE_BINARY_DIR}/generated/morvalin/version.h" @ONLY)
add_library(morvalin_version INTERFACE)
target_include_directories(morvalin_version INTERFACE "${CMAKE_BINARY_DIR}/generated")
