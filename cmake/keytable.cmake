# Turns the cipher key table file (XRB_KEYTABLE) into the program's table.
# The file holds 256 32-bit words in hexadecimal (0x...) or decimal, separated
# by white space; lines starting with # are comments.  A deployment keeps its
# own table and selects it with -DXRB_KEYTABLE=<file>.

set(_xrb_gen_dir ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(_xrb_gen_src ${_xrb_gen_dir}/keytable_data.cpp)

if(NOT EXISTS "${XRB_KEYTABLE}")
  message(FATAL_ERROR "XRB_KEYTABLE: key table file '${XRB_KEYTABLE}' not found")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${XRB_KEYTABLE}")

file(STRINGS "${XRB_KEYTABLE}" _xrb_lines)
set(_xrb_words "")
foreach(_line IN LISTS _xrb_lines)
  string(STRIP "${_line}" _line)
  if(_line MATCHES "^#" OR _line STREQUAL "")
    continue()
  endif()
  string(REGEX REPLACE "[ \t,]+" ";" _tokens "${_line}")
  foreach(_tok IN LISTS _tokens)
    if(_tok STREQUAL "")
      continue()
    endif()
    if(NOT _tok MATCHES "^(0[xX][0-9a-fA-F]+|[0-9]+)$")
      message(FATAL_ERROR "XRB_KEYTABLE: '${_tok}' in '${XRB_KEYTABLE}' is not a number")
    endif()
    if(_tok MATCHES "^0[xX]")
      string(LENGTH "${_tok}" _len)
      if(_len GREATER 10)
        message(FATAL_ERROR "XRB_KEYTABLE: '${_tok}' does not fit 32 bits")
      endif()
    else()
      # A leading zero would make the C++ literal octal.
      if(_tok MATCHES "^0+([0-9].*)$")
        set(_tok "${CMAKE_MATCH_1}")
      endif()
      if(_tok GREATER 4294967295)
        message(FATAL_ERROR "XRB_KEYTABLE: '${_tok}' does not fit 32 bits")
      endif()
    endif()
    list(APPEND _xrb_words "${_tok}u")
  endforeach()
endforeach()

list(LENGTH _xrb_words _xrb_count)
if(NOT _xrb_count EQUAL 256)
  message(FATAL_ERROR "XRB_KEYTABLE: '${XRB_KEYTABLE}' holds ${_xrb_count} words, 256 needed")
endif()

list(JOIN _xrb_words ",\n    " _xrb_body)
set(_xrb_content "// Generated from the key table file; do not edit.\n#include \"security/keytable.h\"\n\nconst uint32_t keys[KEYTABLE_WORDS] = {\n    ${_xrb_body}\n};\n")
file(MAKE_DIRECTORY ${_xrb_gen_dir})
# Rewritten only when the table changed, so that a re-configure rebuilds nothing.
file(CONFIGURE OUTPUT ${_xrb_gen_src} CONTENT "${_xrb_content}" @ONLY)
target_sources(xrbcore PRIVATE ${_xrb_gen_src})
