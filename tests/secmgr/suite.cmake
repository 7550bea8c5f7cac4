# The stand-in security manager on its own, and the client's stored
# credentials end to end with it and the scripted build server.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(XRB_SECMGR_JAR AND Python3_Interpreter_FOUND)
  add_test(NAME secmgr.standin
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/secmgr_test.py)
  set_tests_properties(secmgr.standin PROPERTIES
    ENVIRONMENT "XRB_SECMGR_JAR=${XRB_SECMGR_JAR}" TIMEOUT 120)
endif()
if(Python3_Interpreter_FOUND AND TARGET xrbblds AND TARGET xrbbldc)
  add_test(NAME secmgr.credentials
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/e2e_test.py)
  set_tests_properties(secmgr.credentials PROPERTIES
    ENVIRONMENT "XRB_CLIENT=$<TARGET_FILE:xrbbldc>;XRB_SERVER=$<TARGET_FILE:xrbblds>;XRB_SECMGR_JAR=${XRB_SECMGR_JAR};XRB_JAVAC=${Java_JAVAC_EXECUTABLE};XRB_SECMGR_INSTALLED_JAR=${CMAKE_INSTALL_FULL_DATADIR}/java/xrbsecmgr.jar;XRB_BUILD_DIR=${CMAKE_BINARY_DIR};XRB_CMAKE=${CMAKE_COMMAND}"
    TIMEOUT 240 LABELS e2e)
  # A stored password outlives a minute of idleness: mostly sleep, so it
  # starts first and runs beside the rest.
  add_test(NAME secmgr.lifetime
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/e2e_test.py PastTheOldMinuteTest)
  set_tests_properties(secmgr.lifetime PROPERTIES
    ENVIRONMENT "XRB_CLIENT=$<TARGET_FILE:xrbbldc>;XRB_SERVER=$<TARGET_FILE:xrbblds>;XRB_SECMGR_JAR=${XRB_SECMGR_JAR};XRB_SECMGR_MINUTE=1"
    TIMEOUT 180 COST 100000 LABELS e2e)
endif()
# The unit tests of the manager client start the real manager.
if(TARGET test_security AND TARGET xrbsecmgr)
  add_dependencies(test_security xrbsecmgr)
endif()
