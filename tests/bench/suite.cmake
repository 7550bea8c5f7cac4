# The benchmark driver on a small file, so that it keeps working; the real
# figures come from running bench/run_bench.py by hand (doc/PERFORMANCE.md).
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND AND TARGET xrb_tcpcopy AND TARGET xrbblds)
  add_test(NAME bench.smoke
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/bench/run_bench.py
            --build ${CMAKE_BINARY_DIR} --size 8388608 --runs 1 --files 20)
  set_tests_properties(bench.smoke PROPERTIES TIMEOUT 120 LABELS bench)
endif()
