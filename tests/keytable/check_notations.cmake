# Writes a table whose word i is i * 16777259 + 9 (mod 2^32), in decimal with
# leading zeros for even i and in hexadecimal for odd i, configures and builds
# a small program against it and runs it; the program checks every word.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/src)
set(_table "# notations\n")
foreach(i RANGE 255)
  math(EXPR v "(${i} * 16777259 + 9) & 0xFFFFFFFF")
  if(v LESS 0)
    math(EXPR v "${v} + 4294967296")
  endif()
  math(EXPR odd "${i} % 2")
  if(odd)
    math(EXPR h "${v}" OUTPUT_FORMAT HEXADECIMAL)
    string(APPEND _table "${h}\n")
  else()
    string(APPEND _table "000${v}\n")
  endif()
endforeach()
file(WRITE ${WORK}/table.txt "${_table}")

file(WRITE ${WORK}/src/CMakeLists.txt "
cmake_minimum_required(VERSION 3.25)
project(keytable_check CXX)
set(CMAKE_CXX_STANDARD 17)
set(XRB_KEYTABLE ${WORK}/table.txt)
add_library(xrbcore STATIC)
target_include_directories(xrbcore PUBLIC ${XRB_SOURCE_DIR})
include(${XRB_SOURCE_DIR}/cmake/keytable.cmake)
add_executable(check check.cpp)
target_link_libraries(check PRIVATE xrbcore)
")
file(WRITE ${WORK}/src/check.cpp "
#include <cstdio>
#include \"security/keytable.h\"
int main() {
    for (uint32_t i = 0; i < KEYTABLE_WORDS; ++i)
        if (keys[i] != uint32_t(i * 16777259u + 9u)) {
            std::printf(\"word %u is %u\\n\", unsigned(i), unsigned(keys[i]));
            return 1;
        }
    return 0;
}
")
foreach(step
    "${CMAKE_COMMAND};-S;${WORK}/src;-B;${WORK}/build;-G;${GENERATOR};-DCMAKE_CXX_COMPILER=${CXX}"
    "${CMAKE_COMMAND};--build;${WORK}/build"
    "${WORK}/build/check")
  execute_process(COMMAND ${step} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${step} failed (${rc}):\n${out}\n${err}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
