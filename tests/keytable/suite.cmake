# The key table file is turned into C++ at configure time; a table written
# with leading zeros or in mixed notation must give the same words.
add_test(NAME keytable.notations
  COMMAND ${CMAKE_COMMAND}
          -DXRB_SOURCE_DIR=${CMAKE_SOURCE_DIR}
          -DWORK=${CMAKE_CURRENT_BINARY_DIR}/keytable_check
          -DGENERATOR=${CMAKE_GENERATOR}
          -DCXX=${CMAKE_CXX_COMPILER}
          -P ${CMAKE_CURRENT_LIST_DIR}/check_notations.cmake)
set_tests_properties(keytable.notations PROPERTIES TIMEOUT 120)
