# The local build server in normal mode, end to end: the real xrbblds and
# xrbbldc on ephemeral loopback ports.  One CTest test per file, so that the
# slow ones (the busy retry waits 10 s) run beside the others.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND AND TARGET xrbblds AND TARGET xrbbldc)
  file(GLOB _server_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.py)
  foreach(_test ${_server_tests})
    get_filename_component(_name ${_test} NAME_WE)
    string(REGEX REPLACE "_test$" "" _name ${_name})
    add_test(NAME buildserver.${_name}
      COMMAND ${Python3_EXECUTABLE} ${_test})
    set_tests_properties(buildserver.${_name} PROPERTIES
      ENVIRONMENT "XRB_CLIENT=$<TARGET_FILE:xrbbldc>;XRB_SERVER=$<TARGET_FILE:xrbblds>;XRB_SOURCE=${CMAKE_SOURCE_DIR}"
      TIMEOUT 180 LABELS buildserver)
  endforeach()
endif()

# Unit tests of the server's own decisions.
if(TARGET xrbblds_core AND TARGET GTest::gtest_main)
  add_executable(test_buildserver ${CMAKE_CURRENT_LIST_DIR}/server_units_test.cpp)
  target_link_libraries(test_buildserver PRIVATE xrbblds_core GTest::gtest_main)
  gtest_discover_tests(test_buildserver DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60 LABELS buildserver)
endif()
