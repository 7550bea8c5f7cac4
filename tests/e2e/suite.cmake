# End-to-end cases: the real client against the scripted local build server,
# one CTest test per case file so that the slow ones run in parallel.
include(${CMAKE_CURRENT_LIST_DIR}/../support/suite.cmake)
if(TARGET xrbblds)
  xrb_case_tests(e2e ${CMAKE_CURRENT_LIST_DIR}/cases 60 e2e)
endif()
if(Python3_Interpreter_FOUND AND TARGET xrbblds)
  # Links planted by a throw-away second user (root only; skipped otherwise).
  add_test(NAME e2e.planted_links
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/planted_links.py
            --client $<TARGET_FILE:xrbbldc> --server $<TARGET_FILE:xrbblds>)
  set_tests_properties(e2e.planted_links PROPERTIES TIMEOUT 120 LABELS e2e SKIP_RETURN_CODE 77
                       RESOURCE_LOCK xrbt17path)
endif()
