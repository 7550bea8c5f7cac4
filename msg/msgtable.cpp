// The built-in message table, 1-based by message number: message n is
// entry n - 1.  Texts are formats for the positional formatter.
#include "msg/msg.h"

char const* const msgdefault[MSG_COUNT] = {
    /*   1 */ "English (Internal)",
    /*   2 */ "QVX-1047",
    /*   3 */ "QVX-850",
    /*   4 */ "|1.00||00/09/22|",
    /*   5 */
    "\nXRBI-001\nUsage:\n   %s\n      -h server@portno                        (REQUIRED) \n      -b buildscript | "
    "-version | -testServer (REQUIRED) \n      -f[t | b] buildscriptfile          \n      -p build_parameters          "
    "      \n      -i[t | b | n] input_file ...       \n      -d[t | b | n] dependent_file ...   \n      -o[b | t | n] "
    "output_file ...      \n      -l[c][a]      build_directory      \n      -v var=value ...                   \n     "
    " -c good_condition                  \n      -n good_return_code                \n      -k client_codepage         "
    "        \n      -r server_codepage                 \n      -T timeout                         \n      -P "
    "message_filename_prefix         \n      -au userid                         \n      -ap password                   "
    "    \n      -proclib HZK_buildscript_library   \n      -V                                 \n                      "
    "                   \n\n",
    /*   6 */ "\n   %1$s Version:%2$s                     \n                                         \n\n",
    /*   7 */
    "\n   Server name      : %1$s\n   Operating system : %2$s\n   Server version   : %3$s\n   Authentication   : "
    "%4$s\n\n",
    /*   8 */ "\n   Build server started on port %1$s.\n   Licensed material. All rights reserved.\n\n",
    /*   9 */
    "Licensed material. All rights reserved. Use, duplication or disclosure\nis subject to the terms of the licence "
    "agreement.\n",
    /*  10 */
    "\nXRBI-002\nUsage:\n   %s\n      -p portno                          (REQUIRED) \n      -V                         "
    "        \n                                         \n\n",
    /*  11 */ "\nXRBI-003\nProgram %1$s called with the parameters %2$s\n",
    /*  12 */ "\nXRBI-004\nThe job step %1$s ended with return code %2$s.\n",
    /*  13 */ "\nXRBI-005\nThe build client terminated the build.\n",
    /*  14 */ "\nXRBI-006 The command timed out after %1$s seconds.\n",
    /*  15 */ "\nXRBI-007 The command ended abnormally.\n",
    /*  16 */ "\nXRBI-008 Probable cause: the DD name %1$s is already in use.\n",
    /*  17 */ "\nXRBI-009 Probable cause: the data set %1$s is locked by another job.\n",
    /*  18 */ "\nXRBI-010 Probable cause: a DD parameter is not valid.\n",
    /*  19 */ "\nXRBI-011 Probable cause: the data set %1$s was not found.\n",
    /*  20 */ "\nXRBI-012 An unexplained error occurred while running the command.\n",
    /*  21 */ "\nXRBI-013\nThe step %1$s was skipped because of the condition code %2$s.\n",
    /*  22 */ "\nXRBI-014\nThe job %1$s was started by the build server.\n",
    /*  23 */ "\nXRBI-015\nThe build job has been queued at position %1$s.\n",
    /*  24 */ "\nServer busy ... wait for 10 seconds and retry.\n",
    /*  25 */ "Message files from build:\n",
    /*  26 */ "\nXRBW-001\nTrace is enabled. This can cause significant\nperformance degradation.\n",
    /*  27 */ "\nXRBW-002\nWarning: File %s is empty.\n\n",
    /*  28 */ "\nXRBW-003\nWarning: The build output file %1$s is empty.\n\n",
    /*  29 */ "\nXRBW-004\nWarning: Cannot create directory '%s'\n",
    /*  30 */ "\nXRBW-005\nWarning: The file %1$s was truncated.\n\n",
    /*  31 */ "\nXRBW-006\nWarning: The input file %1$s has a record longer than %2$s bytes.\n\n",
    /*  32 */ "\nXRBE-001\nExpecting a valid flag, found '%1$s'. \n",
    /*  33 */ "\nXRBE-002\nExpecting value for flag %1$s,  found end of command string. \n",
    /*  34 */ "\nXRBE-003\nExpecting value for flag %1$s, found %2$s. \n",
    /*  35 */ "\nXRBE-004\nInvalid flag %1$s. \n",
    /*  36 */ "\nXRBE-005\nInvalid parameter %1$s. \n",
    /*  37 */ "\nXRBE-006\nRequired parameter flag %1$s not specifed.\n",
    /*  38 */ "\nXRBE-007\nThe system function %1$s failed with the error %2$s.\n\n",
    /*  39 */ "\nXRBE-008\nThe line-end conversion of the file %1$s failed.\n\n",
    /*  40 */
    "\nXRBE-009\nThe port number of the Build Server\nat host %1$s cannot be resolved.\n\n Recovery: \n    - Verify "
    "that the tcp/ip services file \n      contains the port number of the Build Server \n      or specify port number "
    "in the server parameter. \n",
    /*  41 */
    "\nXRBE-010\nThe error, %1$d, occurred when the XRBBLDC client\ntried to create a socket for communication with "
    "the\nXRBBLDS server.  It is possible that\nthe operating system ran out of file descriptor resources \non this "
    "machine.\n\nTo solve the problem, contact the system administrator\nor the tcp/ip administrator.\n  \n  Recovery: "
    "\n  \n  Check your TCP/IP documentation for the cause of \n  the problem. \n  \n",
    /*  42 */
    "\nXRBE-011\nA connection cannot be established with the server \nat node %1$s on port %2$s.\n\nAn error occurred "
    "while processing the connect() \nsystem function on the server. \nThe connection request has been rejected by the "
    "\nserver. \n\n  Recovery: \n  \n    - Verify that the connection information displayed in the \n      message is "
    "correct and that the server \n      is running. \n  \n    - If the error occurs frequently, the server \n      "
    "may be overloaded by incoming requests. \n",
    /*  43 */
    "\nXRBE-012\nThe host name, %1$s, for the XRBBLDS remote host\ncannot be resolved.\n\n Recovery: \n \n   - Verify "
    "that the remote host server's name and \n     address are included in the current workstation's \n     tcp/ip "
    "hosts file or the data files of the name server. \n     If the host name and address appear in either of these \n "
    "    files, the network or name server may be experiencing a \n     temporary problem.\n",
    /*  44 */
    "\nXRBE-013\nAn error occurred on the build server while processing a\ntemporary file.\n\n  Recovery: \n  \n  "
    "Verify that the server has enough free space for temporary \n  files. \n  \n",
    /*  45 */ "\nXRBE-014\nThe port number, %1$s, is not valid.  It should be \na valid integer greater than zero.\n",
    /*  46 */
    "\nXRBE-015\nAn internal error occurred.\n\nThe build server received an invalid packet from the "
    "client.\nExpecting: %d   Received: %d \n\n  Recovery: \n  \n  Verify that the client and server are at mutually "
    "\n  compatible versions. \n  Report the problem to QVX \n  \n",
    /*  47 */
    "\nXRBE-016\nThe build server terminated the build abnormally.\n\n  Recovery: \n  \n  Examine the messages issued "
    "by the build server and \n  determine the cause. \n  \n",
    /*  48 */
    "\nXRBE-017\nThe file, %1$s, was not found on the file system.\n\n  Recovery: \n  \n  Verify that the filename has "
    "been specified correctly and \n  the file exists. \n  \n",
    /*  49 */
    "\nXRBE-018\nThe user is not authorized to use the build server or the\npassword is not valid.\n\n  Recovery: \n  "
    "\n  Specify a valid user id and password. \n  \n",
    /*  50 */ "\nXRBE-019\nThe file, %1$s, cannot be read.\n\n",
    /*  51 */ "\nXRBE-020\nThe file, %1$s, cannot be opened for writing.\n\n",
    /*  52 */ "\nXRBE-021\nThere is no text translation between the code page %1$s\nand the code page %2$s.\n\n",
    /*  53 */
    "XRBE-022\nThe connection to the server was broken.  Please \nensure that the server is running and \ntry the "
    "request again.\n",
    /*  54 */ "XRBE-023\nThe connection to the client was broken.  The build \nwas aborted.\n",
    /*  55 */ "XRBE-024\nThe connection to the client was broken while the job \nwas running.\n",
    /*  56 */
    "\nXRBE-025\nThe Client is not compatible with the Server.\n   Client version = %1$s\n   Server version = "
    "%2$s\nRecovery: \n   - Install and use the correct level of the software. \n\n",
    /*  57 */ "\nXRBE-026\nThe build server ran out of memory.\n\n",
    /*  58 */ "\nXRBE-027\nThe build script statement at line %1$d, column %2$d, is not valid.\n\n",
    /*  59 */ "\nXRBE-028\nBuild script statements must begin with two slashes (//).\nLine %1$d does not.\n\n",
    /*  60 */ "\nXRBE-029\nThe build script statement at line %1$d is longer than 80 bytes.\n\n",
    /*  61 */ "\nXRBE-030\nThe build script has no EXEC statement.\n\n",
    /*  62 */ "\nXRBE-031\nThe DD statement at line %1$d cannot be parsed.\n\n",
    /*  63 */ "\nXRBE-032\nA parenthesis is missing in the DSN attribute at line %1$d.\n\n",
    /*  64 */ "\nXRBE-033\nThe status disposition %1$s in the DISP attribute is not recognized.\n\n",
    /*  65 */ "\nXRBE-034\nThe termination disposition %1$s in the DISP attribute is not\nrecognized.\n\n",
    /*  66 */ "\nXRBE-035\nThe SPACE attribute %1$s is not valid.\n\n",
    /*  67 */ "\nXRBE-036\nThe RECFM attribute %1$s is not recognized.\n\n",
    /*  68 */ "\nXRBE-037\nThe abnormal-termination disposition %1$s in the DISP attribute\nis not recognized.\n\n",
    /*  69 */ "\nXRBE-038\nThe referenced DD name %1$s cannot be determined.\n\n",
    /*  70 */ "\nXRBE-039\nThe build script or procedure file %1$s was not found.\n\n",
    /*  71 */
    "\nXRBE-040\nAn error occurred while allocating the data set %1$s.\n   Error code       = %2$s\n   Information "
    "code = %3$s\n\n",
    /*  72 */ "\nXRBE-041\nA binary build script cannot be used for host builds.\n\n",
    /*  73 */
    "\nXRBE-042\nAn error occurred when trying to determine the country\nand language. \n \nLocale was set to "
    "%1$s\n\nThis problem can occur \nif the Operating System International support was not \nconfigured correctly. "
    "\n\n  Recovery: \n  \n    - Check the installation  and reinstall if incorrect. \n \n    - For the Windows NT "
    "client \n      components verify that the LANG and LOCPATH environment variables are \n      correct.  Also "
    "verify that the LOCALE directory was installed correctly. \n \n    - Check the International configuration for "
    "the machine. Reconfigure \n      the country and language if necessary. \n  \n",
    /*  74 */ "\nXRBE-044\nCopying from the TCOUT DD name %1$s failed.\n\n",
    /*  75 */ "\nXRBE-045\nThe host build script %1$s cannot be parsed.\n\n",
    /*  76 */ "\nXRBE-046\nThe build output file %1$s cannot be opened.\n\n",
    /*  77 */ "\nXRBE-047\nThe DD name for the file extension %1$s cannot be determined.\n\n",
    /*  78 */ "\nXRBE-048\nThe COND value %1$s is not valid.\n\n",
    /*  79 */ "\nXRBE-049\nThe specified file, %1$s, cannot be opened.\n\n",
    /*  80 */ "\nXRBE-050\nThe file %1$s cannot be made executable.\n\n",
    /*  81 */ "\nXRBE-051\nThe token %1$s in the build script is not recognized.\n\n",
    /*  82 */ "\nXRBE-052\nAn error occurred while processing the tcp/ip send() \nsystem function. Errorno=%d.\n\n",
    /*  83 */ "\nXRBE-053\nAn error occurred while processing the tcp/ip recv() \nsystem function. Errorno=%d.\n\n",
    /*  84 */ "\nXRBE-054\nAn error occurred while writing the input file %1$s to the\nDD name %2$s.\n\n",
    /*  85 */ "\nXRBE-055\nAn error occurred while writing the file %1$s to the file system.\n\n",
    /*  86 */
    "\nXRBE-056\nInvalid parameter %1$s. \nFormat is: var=value \nvar and value must be greater than 1 characters "
    "long. \n\n",
    /*  87 */
    "\nXRBE-057\nThe system was unable to allocate memory.  Please restart the\nBuild Server.  If problems continue to "
    "occur, you may need to\nfree up system memory.\n",
    /*  88 */ "\nXRBE-058\nThe file name %1$s has no extension.\n\n",
    /*  89 */ "\nXRBE-059\nThe build job was not started: the connection could not be\nhanded over to the job.\n\n",
    /*  90 */
    "\nXRBE-060\nThe build job was not started: all servers are busy.\n\n  Recovery: \n  \n  Try the request again "
    "later. \n  \n",
    /*  91 */ "\nXRBE-061\nThe job-control file has more than %1$d statements.\n\n",
    /*  92 */ "\nXRBE-062\nThe data set for the DD name %1$s cannot be opened.\n\n",
    /*  93 */ "\nXRBE-063\nThe authorized program %1$s cannot run.\n\n",
    /*  94 */ "\nXRBE-064\nThe build server is not running authorized.\n\n",
    /*  95 */ "\nXRBE-065\nThe build job ended with an unrecoverable error.\n\n",
    /*  96 */
    "\nXRBE-066\nA user id and password are required by the build server.\n\n  Recovery: \n  \n  Specify the user id "
    "with -au and the password with -ap. \n  \n",
    /*  97 */ "\nXRBE-067\nThe step name %1$s is already defined.\n\n",
    /*  98 */ "\nXRBE-068\nThe program %1$s was not found.\n\n",
    /*  99 */ "\nXRBE-069\nThe user %1$s is not allowed to send a build script file.\n\n",
    /* 100 */ "\nXRBE-070\nThe user %1$s is not allowed to use the build location %2$s.\n\n",
    /* 101 */ "\nXRBE-071\nThe user %1$s is not allowed to run the build script %2$s.\n\n",
    /* 102 */ "\nXRBE-072\nThe job to perform the build failed to start.\n\n",
    /* 103 */ "\nXRBE-073\nCan't create directory for '%s'\n",
    /* 104 */ "\nXRBE-074\nThe user %1$s is not defined to the system.\n\n",
    /* 105 */ "\nXRBE-075\nThe password for the user %1$s is not correct.\n\n",
    /* 106 */ "\nXRBE-076\nThe password for the user %1$s has expired.\n\n",
    /* 107 */ "\nXRBE-077\nThe user id %1$s has been revoked.\n\n",
    /* 108 */ "\nXRBE-078\nThe Client is attempting to connect to\na Server other than the %1$s Server\n\n",
    /* 109 */ "Output files    : %s\n",
    /* 110 */ "Input files     : %s\n",
    /* 111 */ "Dependent files : %s\n",
    /* 112 */ "Command line    : %s\n",
    /* 113 */ "*** Failed *** \n",
    /* 114 */ "*** Success ***\n",
    /* 115 */ "Return code     : %1$s   (good when %2$s %3$s)\n",
    /* 116 */ "=================== Build script output ===================\n",
    /* 117 */ "===========================================================\n",
    /* 118 */
    "\nXRBW-007\nWarning: The password for %1$s was not stored: the security\nmanager could not be started or "
    "reached.\n\n",
    /* 119 */ "\nXRBE-079\nThe server did not answer within %1$s seconds.\n",
    /* 120 */ "%1$s  %2$s  %3$s/s  %4$s left",
};
