# Canvas tests: a real JVM loads libtermcanvas.so inside a pseudo-terminal of
# a known size (tmux, or a bare pty) and the driver reads the screen back.
if(TARGET termcanvas)
  find_package(Java 17 REQUIRED COMPONENTS Development Runtime)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  find_program(TC_TMUX tmux REQUIRED)
  include(UseJava)

  set(_tc_dir ${CMAKE_CURRENT_LIST_DIR})
  file(GLOB_RECURSE _tc_java CONFIGURE_DEPENDS ${_tc_dir}/java/*.java)
  add_jar(canvas_probe SOURCES ${_tc_java}
    GENERATE_NATIVE_HEADERS canvas_probe_headers
      DESTINATION ${CMAKE_CURRENT_BINARY_DIR}/canvas_native)
  add_dependencies(canvas_probe termcanvas)

  get_target_property(_tc_jar canvas_probe JAR_FILE)
  set(_tc_driver ${Python3_EXECUTABLE} ${_tc_dir}/canvas_driver.py
    --java ${Java_JAVA_EXECUTABLE} --jar ${_tc_jar}
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
    RESOURCE_LOCK "canvas_debug_log;xrbtlog")

  add_test(NAME canvas.exports COMMAND ${Python3_EXECUTABLE} ${_tc_dir}/check_exports.py
    $<TARGET_FILE:termcanvas> ${_tc_dir}/java/com/qvx/morbit/forms/common/CursesCanvas7.java)
  set_tests_properties(canvas.exports PROPERTIES TIMEOUT 30)

  # The library's declarations must match what javac says the natives are:
  # compiled together, any difference of name or argument is an error.
  add_test(NAME canvas.signatures COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -fsyntax-only
    -I${CMAKE_CURRENT_BINARY_DIR}/canvas_native -I${CMAKE_SOURCE_DIR}/canvas
    "-I$<JOIN:$<TARGET_PROPERTY:termcanvas_jni,INTERFACE_INCLUDE_DIRECTORIES>,;-I>"
    ${_tc_dir}/signature_check.cpp
    COMMAND_EXPAND_LISTS)
  set_tests_properties(canvas.signatures PROPERTIES TIMEOUT 60)
endif()
