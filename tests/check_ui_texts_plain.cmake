# Fails when a source under ui/ makes a label, message box or input dialog
# other than through shell/plain_text, where each is made to show its text
# as plain text: the standard ones take a text that looks like markup for
# rich text, and the windows show strings read off the target.
file(GLOB_RECURSE sources ${UI_DIR}/*.h ${UI_DIR}/*.cpp)
list(FILTER sources EXCLUDE REGEX "/shell/plain_text\\.(h|cpp)$")
set(patterns
    "new QLabel[ \t]*[(;]"
    "QLabel[ \t]+[A-Za-z_][A-Za-z_0-9]*[ \t]*[({]"
    "QMessageBox::(critical|warning|information|question|about)[ \t]*\\("
    "QMessageBox[ \t]+[A-Za-z_][A-Za-z_0-9]*[ \t]*[({]"
    "new QMessageBox[ \t]*[(;]"
    "QInputDialog::get"
    "QInputDialog[ \t]+[A-Za-z_][A-Za-z_0-9]*[ \t]*[({]")
list(JOIN patterns "|" pattern)
set(offenders "")
foreach(source IN LISTS sources)
    file(STRINGS ${source} lines REGEX "${pattern}")
    if(lines)
        list(APPEND offenders "${source}: ${lines}")
    endif()
endforeach()
if(offenders)
    list(JOIN offenders "\n" text)
    message(FATAL_ERROR "ui/ makes labels and boxes through shell/plain_text.h:\n${text}")
endif()
list(LENGTH sources count)
message(STATUS "ui/ makes its labels and boxes plain (${count} files checked)")
