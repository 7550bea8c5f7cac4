# The house style of .clang-format, kept on every tracked C++ file, and the
# README's two commands that check and mend it.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  add_test(NAME style.format
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_format_test.py ${CMAKE_SOURCE_DIR})
  set_tests_properties(style.format PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
endif()
