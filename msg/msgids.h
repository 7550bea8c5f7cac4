// A name for every entry of the built-in message table.  The table is
// positional, so the number is the message; the name says which one:
// XRBE_022_CONNECTION_BROKEN is the entry that carries the id XRBE-022, and
// entries without an id (language name, code pages, headings, layout texts)
// are MSG_ plus what they hold.  The message functions take an MsgId, so a
// plain number or a mixed-up argument does not compile.
#ifndef XRB_MSG_MSGIDS_H
#define XRB_MSG_MSGIDS_H

// X(name, number) for every entry, in table order.
#define XRB_MESSAGE_IDS(X)                                                                                             \
    X(MSG_LANGUAGE_NAME, 1)                                                                                            \
    X(MSG_CODE_PAGE_1047, 2)                                                                                           \
    X(MSG_CODE_PAGE_850, 3)                                                                                            \
    X(MSG_TABLE_VERSION, 4)                                                                                            \
    X(XRBI_001_CLIENT_USAGE, 5)                                                                                        \
    X(MSG_VERSION_LINE, 6)                                                                                             \
    X(MSG_SERVER_INFORMATION, 7)                                                                                       \
    X(MSG_SERVER_BANNER, 8)                                                                                            \
    X(MSG_LEGAL_NOTICE, 9)                                                                                             \
    X(XRBI_002_SERVER_USAGE, 10)                                                                                       \
    X(XRBI_003_PROGRAM_CALLED, 11)                                                                                     \
    X(XRBI_004_STEP_RETURN_CODE, 12)                                                                                   \
    X(XRBI_005_CLIENT_ENDED_BUILD, 13)                                                                                 \
    X(XRBI_006_COMMAND_TIMED_OUT, 14)                                                                                  \
    X(XRBI_007_COMMAND_ENDED_ABNORMALLY, 15)                                                                           \
    X(XRBI_008_DD_NAME_IN_USE, 16)                                                                                     \
    X(XRBI_009_DATA_SET_LOCKED, 17)                                                                                    \
    X(XRBI_010_BAD_DD_PARAMETER, 18)                                                                                   \
    X(XRBI_011_DATA_SET_NOT_FOUND, 19)                                                                                 \
    X(XRBI_012_UNEXPLAINED_ERROR, 20)                                                                                  \
    X(XRBI_013_STEP_SKIPPED, 21)                                                                                       \
    X(XRBI_014_JOB_STARTED, 22)                                                                                        \
    X(XRBI_015_JOB_QUEUED, 23)                                                                                         \
    X(MSG_SERVER_BUSY, 24)                                                                                             \
    X(MSG_MESSAGE_FILES_HEADING, 25)                                                                                   \
    X(XRBW_001_TRACE_ENABLED, 26)                                                                                      \
    X(XRBW_002_FILE_EMPTY, 27)                                                                                         \
    X(XRBW_003_OUTPUT_FILE_EMPTY, 28)                                                                                  \
    X(XRBW_004_CANNOT_CREATE_DIRECTORY, 29)                                                                            \
    X(XRBW_005_FILE_TRUNCATED, 30)                                                                                     \
    X(XRBW_006_RECORD_TOO_LONG, 31)                                                                                    \
    X(XRBE_001_BAD_FLAG, 32)                                                                                           \
    X(XRBE_002_VALUE_AT_END, 33)                                                                                       \
    X(XRBE_003_VALUE_EXPECTED, 34)                                                                                     \
    X(XRBE_004_INVALID_FLAG, 35)                                                                                       \
    X(XRBE_005_BAD_PARAMETER, 36)                                                                                      \
    X(XRBE_006_REQUIRED_FLAG, 37)                                                                                      \
    X(XRBE_007_SYSTEM_FUNCTION_FAILED, 38)                                                                             \
    X(XRBE_008_LINE_END_CONVERSION, 39)                                                                                \
    X(XRBE_009_PORT_UNRESOLVED, 40)                                                                                    \
    X(XRBE_010_NO_SOCKET, 41)                                                                                          \
    X(XRBE_011_NO_CONNECTION, 42)                                                                                      \
    X(XRBE_012_HOST_UNRESOLVED, 43)                                                                                    \
    X(XRBE_013_TEMPORARY_FILE, 44)                                                                                     \
    X(XRBE_014_BAD_PORT, 45)                                                                                           \
    X(XRBE_015_INVALID_PACKET, 46)                                                                                     \
    X(XRBE_016_BUILD_ABORTED, 47)                                                                                      \
    X(XRBE_017_FILE_NOT_FOUND, 48)                                                                                     \
    X(XRBE_018_NOT_AUTHORIZED, 49)                                                                                     \
    X(XRBE_019_READ_FAILED, 50)                                                                                        \
    X(XRBE_020_CANNOT_OPEN_FOR_WRITING, 51)                                                                            \
    X(XRBE_021_NO_TRANSLATION, 52)                                                                                     \
    X(XRBE_022_CONNECTION_BROKEN, 53)                                                                                  \
    X(XRBE_023_CLIENT_CONNECTION_BROKEN, 54)                                                                           \
    X(XRBE_024_CLIENT_LOST_WHILE_RUNNING, 55)                                                                          \
    X(XRBE_025_INCOMPATIBLE_VERSIONS, 56)                                                                              \
    X(XRBE_026_SERVER_OUT_OF_MEMORY, 57)                                                                               \
    X(XRBE_027_BAD_STATEMENT, 58)                                                                                      \
    X(XRBE_028_NO_LEADING_SLASHES, 59)                                                                                 \
    X(XRBE_029_STATEMENT_TOO_LONG, 60)                                                                                 \
    X(XRBE_030_NO_EXEC, 61)                                                                                            \
    X(XRBE_031_BAD_DD_STATEMENT, 62)                                                                                   \
    X(XRBE_032_DSN_PARENTHESIS, 63)                                                                                    \
    X(XRBE_033_BAD_STATUS_DISPOSITION, 64)                                                                             \
    X(XRBE_034_BAD_TERMINATION_DISPOSITION, 65)                                                                        \
    X(XRBE_035_BAD_SPACE, 66)                                                                                          \
    X(XRBE_036_BAD_RECFM, 67)                                                                                          \
    X(XRBE_037_BAD_ABNORMAL_DISPOSITION, 68)                                                                           \
    X(XRBE_038_UNKNOWN_DD_REFERENCE, 69)                                                                               \
    X(XRBE_039_SCRIPT_NOT_FOUND, 70)                                                                                   \
    X(XRBE_040_ALLOCATION_FAILED, 71)                                                                                  \
    X(XRBE_041_BINARY_HOST_SCRIPT, 72)                                                                                 \
    X(XRBE_042_LOCALE_UNKNOWN, 73)                                                                                     \
    X(XRBE_044_TCOUT_COPY_FAILED, 74)                                                                                  \
    X(XRBE_045_HOST_SCRIPT_UNPARSABLE, 75)                                                                             \
    X(XRBE_046_OUTPUT_FILE_NOT_OPENED, 76)                                                                             \
    X(XRBE_047_NO_DD_FOR_EXTENSION, 77)                                                                                \
    X(XRBE_048_BAD_COND, 78)                                                                                           \
    X(XRBE_049_CANNOT_OPEN, 79)                                                                                        \
    X(XRBE_050_NOT_EXECUTABLE, 80)                                                                                     \
    X(XRBE_051_UNKNOWN_TOKEN, 81)                                                                                      \
    X(XRBE_052_SEND_FAILED, 82)                                                                                        \
    X(XRBE_053_RECV_FAILED, 83)                                                                                        \
    X(XRBE_054_DD_WRITE_FAILED, 84)                                                                                    \
    X(XRBE_055_WRITE_FAILED, 85)                                                                                       \
    X(XRBE_056_BAD_VARIABLE, 86)                                                                                       \
    X(XRBE_057_NO_MEMORY, 87)                                                                                          \
    X(XRBE_058_NO_EXTENSION, 88)                                                                                       \
    X(XRBE_059_HANDOVER_FAILED, 89)                                                                                    \
    X(XRBE_060_SERVERS_BUSY, 90)                                                                                       \
    X(XRBE_061_TOO_MANY_STATEMENTS, 91)                                                                                \
    X(XRBE_062_DD_NOT_OPENED, 92)                                                                                      \
    X(XRBE_063_AUTHORIZED_PROGRAM, 93)                                                                                 \
    X(XRBE_064_SERVER_NOT_AUTHORIZED, 94)                                                                              \
    X(XRBE_065_UNRECOVERABLE_JOB_ERROR, 95)                                                                            \
    X(XRBE_066_CREDENTIALS_REQUIRED, 96)                                                                               \
    X(XRBE_067_STEP_NAME_DEFINED, 97)                                                                                  \
    X(XRBE_068_PROGRAM_NOT_FOUND, 98)                                                                                  \
    X(XRBE_069_SCRIPT_FILE_NOT_ALLOWED, 99)                                                                            \
    X(XRBE_070_LOCATION_NOT_ALLOWED, 100)                                                                              \
    X(XRBE_071_SCRIPT_NOT_ALLOWED, 101)                                                                                \
    X(XRBE_072_JOB_NOT_STARTED, 102)                                                                                   \
    X(XRBE_073_NO_DIRECTORY, 103)                                                                                      \
    X(XRBE_074_UNKNOWN_USER, 104)                                                                                      \
    X(XRBE_075_WRONG_PASSWORD, 105)                                                                                    \
    X(XRBE_076_PASSWORD_EXPIRED, 106)                                                                                  \
    X(XRBE_077_USER_REVOKED, 107)                                                                                      \
    X(XRBE_078_WRONG_SERVER, 108)                                                                                      \
    X(MSG_OUTPUT_FILES_LINE, 109)                                                                                      \
    X(MSG_INPUT_FILES_LINE, 110)                                                                                       \
    X(MSG_DEPENDENT_FILES_LINE, 111)                                                                                   \
    X(MSG_COMMAND_LINE_LINE, 112)                                                                                      \
    X(MSG_FAILED, 113)                                                                                                 \
    X(MSG_SUCCESS, 114)                                                                                                \
    X(MSG_RETURN_CODE_LINE, 115)                                                                                       \
    X(MSG_SCRIPT_OUTPUT_HEADING, 116)                                                                                  \
    X(MSG_SCRIPT_OUTPUT_END, 117)                                                                                      \
    X(XRBW_007_PASSWORD_NOT_STORED, 118)                                                                               \
    X(XRBE_079_NO_ANSWER, 119)                                                                                         \
    X(MSG_PROGRESS_LINE, 120)

// Unscoped, so that a name reads as the number it stands for where the
// table is indexed; no int turns into one without a cast.
enum MsgId : int {
#define XRB_MSG_ENUMERATOR(name, number) name = number,
    XRB_MESSAGE_IDS(XRB_MSG_ENUMERATOR)
#undef XRB_MSG_ENUMERATOR
};

#endif
