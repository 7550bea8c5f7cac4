# Command-line cases run through the real client binary: one case file per
# case under cli/cases, in the one case format (doc/TESTCASES.md).
include(${CMAKE_CURRENT_LIST_DIR}/../support/suite.cmake)
xrb_case_tests(cli ${CMAKE_CURRENT_LIST_DIR}/cases 30 cli)
