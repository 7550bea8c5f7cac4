# Files the client makes in shared folders and the bound on the trace lock
# wait, attacked by a throw-away second user; skipped when not root.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  add_test(NAME sharedfiles.planted_links
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/planted_links.py $<TARGET_FILE:xrbbldc>)
  # One throw-away user name per suite: its tests must not overlap.
  set_tests_properties(sharedfiles.planted_links PROPERTIES
    TIMEOUT 120 SKIP_RETURN_CODE 77 RESOURCE_LOCK xrbt17log)
endif()
