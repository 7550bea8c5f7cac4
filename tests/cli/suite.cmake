# Command-line cases run through the real client binary: one data file per
# case under cli/cases, one CTest test per file.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  file(GLOB _cli_cases CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/cases/*.case)
  foreach(_case ${_cli_cases})
    get_filename_component(_name ${_case} NAME_WE)
    add_test(NAME cli.${_name}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/run_case.py
              $<TARGET_FILE:xrbbldc> ${_case})
    set_tests_properties(cli.${_name} PROPERTIES TIMEOUT 30 LABELS cli)
  endforeach()
endif()
