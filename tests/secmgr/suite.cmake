# The stand-in security manager, on its own and driven by the client.
if(XRB_SECMGR_JAR)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_FOUND)
    add_test(NAME secmgr.standin
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/secmgr_test.py)
    set_tests_properties(secmgr.standin PROPERTIES
      ENVIRONMENT "XRB_SECMGR_JAR=${XRB_SECMGR_JAR}" TIMEOUT 120)
  endif()
  # The unit tests of the manager client start the real manager.
  if(TARGET test_security AND TARGET xrbsecmgr)
    add_dependencies(test_security xrbsecmgr)
  endif()
endif()
