# End-to-end cases: the real client against the scripted local build server,
# one CTest test per case file so that the slow ones run in parallel.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND AND TARGET xrbblds)
  file(GLOB _e2e_cases CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/cases/*.case)
  foreach(_case ${_e2e_cases})
    get_filename_component(_name ${_case} NAME_WE)
    add_test(NAME e2e.${_name}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/run_case.py
              --client $<TARGET_FILE:xrbbldc> --server $<TARGET_FILE:xrbblds> ${_case})
    set_tests_properties(e2e.${_name} PROPERTIES TIMEOUT 60 LABELS e2e SKIP_RETURN_CODE 77)
  endforeach()
endif()
if(Python3_Interpreter_FOUND AND TARGET xrbblds)
  # Links planted by a throw-away second user (root only; skipped otherwise).
  add_test(NAME e2e.planted_links
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/planted_links.py
            --client $<TARGET_FILE:xrbbldc> --server $<TARGET_FILE:xrbblds>)
  set_tests_properties(e2e.planted_links PROPERTIES TIMEOUT 120 LABELS e2e SKIP_RETURN_CODE 77
                       RESOURCE_LOCK xrbtpath)
endif()
