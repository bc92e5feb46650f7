# The kill test's victim program (tests/engine/hive/power_cut_test.cpp runs it
# and kills it). Include this file from tests/CMakeLists.txt after
# morvalin_test_folder(engine/hive); without it the kill test is skipped.
add_executable(morvalin_write_back_loop ${CMAKE_CURRENT_LIST_DIR}/write_back_loop.cpp)
target_link_libraries(morvalin_write_back_loop PRIVATE morvalin_test_support)
add_dependencies(engine_hive_tests morvalin_write_back_loop)
target_compile_definitions(engine_hive_tests PRIVATE
    MORVALIN_WRITE_BACK_LOOP="$<TARGET_FILE:morvalin_write_back_loop>")
