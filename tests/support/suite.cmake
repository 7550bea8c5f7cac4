# The one runner of case files (doc/TESTCASES.md): xrb_case_tests(PREFIX
# FOLDER TIMEOUT LABEL) makes one CTest test PREFIX.<name> per FOLDER/*.case,
# so that the slow ones run in parallel.  The build server is passed when
# there is one; a case that needs it fails without it.
include_guard(GLOBAL)
find_package(Python3 COMPONENTS Interpreter QUIET)
set(XRB_CASE_RUNNER ${CMAKE_CURRENT_LIST_DIR}/run_case.py)

function(xrb_case_tests prefix folder timeout label)
  if(NOT Python3_Interpreter_FOUND)
    return()
  endif()
  set(_server)
  if(TARGET xrbblds)
    set(_server --server $<TARGET_FILE:xrbblds>)
  endif()
  file(GLOB _cases CONFIGURE_DEPENDS ${folder}/*.case)
  foreach(_case ${_cases})
    get_filename_component(_name ${_case} NAME_WE)
    add_test(NAME ${prefix}.${_name}
      COMMAND ${Python3_EXECUTABLE} ${XRB_CASE_RUNNER} --client $<TARGET_FILE:xrbbldc> ${_server} ${_case})
    set_tests_properties(${prefix}.${_name} PROPERTIES TIMEOUT ${timeout} LABELS ${label}
                         SKIP_RETURN_CODE 77)
  endforeach()
endfunction()

if(Python3_Interpreter_FOUND)
  # The case vocabulary and its reference stay in step.
  set(_programs)
  if(TARGET xrbblds)
    set(_programs $<TARGET_FILE:xrbbldc> $<TARGET_FILE:xrbblds>)
  endif()
  add_test(NAME support.testcases_doc
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/testcases_doc_test.py ${CMAKE_SOURCE_DIR} ${_programs})
  set_tests_properties(support.testcases_doc PROPERTIES TIMEOUT 30)
endif()
if(Python3_Interpreter_FOUND AND TARGET xrbblds)
  # Each check of the runner can fail.
  add_test(NAME support.run_case_checks
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/run_case_test.py
            $<TARGET_FILE:xrbbldc> $<TARGET_FILE:xrbblds>)
  set_tests_properties(support.run_case_checks PROPERTIES TIMEOUT 120)
endif()
