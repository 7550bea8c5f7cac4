# The README's commands that are not covered by a suite of their own: the
# main job (the demo script) and the package's install and removal.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND AND TARGET xrbbldc AND TARGET xrbblds)
  add_test(NAME install.demo
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/readme_commands.py demo
            --source ${CMAKE_SOURCE_DIR} --build ${CMAKE_BINARY_DIR})
  # A build without the canvas library packages none.
  if(TARGET termcanvas)
    set(_canvas --canvas)
  endif()
  add_test(NAME install.package
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/readme_commands.py package
            --source ${CMAKE_SOURCE_DIR} --build ${CMAKE_BINARY_DIR} ${_canvas})
  # Both run "cmake --build" or cpack in this build folder, as the canvas
  # suite's example and package tests do.
  set_tests_properties(install.demo install.package PROPERTIES
    TIMEOUT 300 SKIP_RETURN_CODE 77 RESOURCE_LOCK canvas_build_tree)
endif()
