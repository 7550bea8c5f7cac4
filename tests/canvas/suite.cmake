# Canvas tests: a real JVM loads libtermcanvas.so inside a pseudo-terminal of
# a known size (tmux, or a bare pty) and the driver reads the screen back.
if(TARGET termcanvas)
  find_package(Java 17 REQUIRED COMPONENTS Development Runtime)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  find_program(TC_TMUX tmux REQUIRED)
  include(UseJava)

  set(_tc_dir ${CMAKE_CURRENT_LIST_DIR})
  # The probe is compiled and run against the shipped termcanvas.jar.
  get_target_property(_tc_canvas_jar termcanvas_jar JAR_FILE)
  file(GLOB_RECURSE _tc_java CONFIGURE_DEPENDS ${_tc_dir}/java/*.java)
  add_jar(canvas_probe SOURCES ${_tc_java} INCLUDE_JARS termcanvas_jar)

  get_target_property(_tc_jar canvas_probe JAR_FILE)
  set(_tc_driver ${Python3_EXECUTABLE} ${_tc_dir}/canvas_driver.py
    --java ${Java_JAVA_EXECUTABLE} --jar ${_tc_jar}:${_tc_canvas_jar}
    --libdir $<TARGET_FILE_DIR:termcanvas> --tmux ${TC_TMUX}
    --work ${CMAKE_CURRENT_BINARY_DIR}/canvas_work)
  foreach(_case init_size cursor draw input interrupt quit debug_log bad_terminal constants)
    add_test(NAME canvas.${_case} COMMAND ${_tc_driver} ${_case})
    set_tests_properties(canvas.${_case} PROPERTIES TIMEOUT 120)
  endforeach()
  # The debug log has a fixed name, so its tests must not overlap another run of them.
  set_tests_properties(canvas.debug_log PROPERTIES RESOURCE_LOCK canvas_debug_log)
  # Links and files planted at the debug log's name by a throw-away user (root only).
  add_test(NAME canvas.debug_log_planted COMMAND ${_tc_driver} debug_log_planted)
  set_tests_properties(canvas.debug_log_planted PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77
    RESOURCE_LOCK "canvas_debug_log;xrbt17log")

  # The library as a Java developer uses it: the example under tmux, programs
  # built against the installed jar alone, the Debian package, and every
  # command of the README section "Using the canvas library from Java".
  set(_tc_user ${Python3_EXECUTABLE} ${_tc_dir}/java_user.py
    --source ${CMAKE_SOURCE_DIR} --build ${CMAKE_BINARY_DIR} --tmux ${TC_TMUX}
    --cmake ${CMAKE_COMMAND} --cpack ${CMAKE_CPACK_COMMAND}
    --work ${CMAKE_CURRENT_BINARY_DIR}/canvas_work)
  foreach(_case example example_java example_small debug installed package readme)
    add_test(NAME canvas.java.${_case} COMMAND ${_tc_user} ${_case})
    set_tests_properties(canvas.java.${_case} PROPERTIES TIMEOUT 300)
  endforeach()
  # These run "cmake --build" (the demo script, cpack) in this build folder:
  # one at a time.  The debug case shares the fixed debug log.
  set_tests_properties(canvas.java.example canvas.java.example_small canvas.java.package
    PROPERTIES RESOURCE_LOCK canvas_build_tree)
  set_tests_properties(canvas.java.debug PROPERTIES RESOURCE_LOCK "canvas_build_tree;canvas_debug_log")

  add_test(NAME canvas.exports COMMAND ${Python3_EXECUTABLE} ${_tc_dir}/check_exports.py
    $<TARGET_FILE:termcanvas>
    ${CMAKE_SOURCE_DIR}/canvas/java/com/qvx/morbit/forms/common/CursesCanvas7.java)
  set_tests_properties(canvas.exports PROPERTIES TIMEOUT 30)

  # The library's declarations must match what javac says the shipped class's
  # natives are: compiled together, any difference of name or argument is an error.
  add_test(NAME canvas.signatures COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -fsyntax-only
    "-I$<JOIN:$<TARGET_PROPERTY:termcanvas_native_headers,INTERFACE_INCLUDE_DIRECTORIES>,;-I>"
    -I${CMAKE_SOURCE_DIR}/canvas
    "-I$<JOIN:$<TARGET_PROPERTY:termcanvas_jni,INTERFACE_INCLUDE_DIRECTORIES>,;-I>"
    ${_tc_dir}/signature_check.cpp
    COMMAND_EXPAND_LISTS)
  set_tests_properties(canvas.signatures PROPERTIES TIMEOUT 60)
endif()
