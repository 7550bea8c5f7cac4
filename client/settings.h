// The client settings: process-wide variables shared by the driver units,
// and the two output functions that carry every text to the user.
#ifndef XRB_CLIENT_SETTINGS_H
#define XRB_CLIENT_SETTINGS_H

#include "base/tcstring.h"
#include <cstdint>
#include <cstdio>

extern TCString logFileName;
extern TCString buildScriptFileName;
extern int buildScriptFileType; // 25 none, 26 text, 27 binary
extern TCString buildParameters;
extern TCString buildScript;
extern TCString serverHost;
extern TCString clientCodepage;
extern TCString serverCodepage;
extern TCString goodrc;
extern TCString goodcond;
extern TCString timeout;
extern TCString msgfilePrefix;
extern TCString buildLocation;
extern TCString inputFiles;
extern TCString outputFiles;
extern TCString depFiles;
extern TCString varList;
extern TCString serverHostName;
extern TCString serverPort;
extern TCString buildUserid;
extern TCString buildPassword;
extern TCString buildProclib;
extern int buildOpts;
extern int ping; // 1 -testServer, 2 -version
extern uint16_t verbosity;
extern TCString nlsLanguage;
extern TCString peerVersion;
extern TCString myVersion;
extern int pid;
extern char pidFileName[100];
extern FILE* pidFile;
extern int logToScreenToo;

// Who gives a setting its default again after program start: main, before
// it reads the command line, or processCmdLine, when it starts.  Every
// setting holds its default from program start; the others keep it.
enum class DefaultStep { ProgramStart, Main, CommandLine };

// Gives the settings of that step their defaults, in the documented order,
// from the one table of defaults.
void assignDefaults(DefaultStep step);

// main's step: the Main defaults, then XRB_LANG.
void setDefaults();

// For tests: every setting as a new process has it once main has assigned
// its defaults (the program-start values, then setDefaults()).
void resetSettings();

// Seconds that each wait for the build server may last without progress,
// from a value of XRB_IOTIMEOUT: a clean positive decimal number (digits
// only, at most 2147483), else 0 for no limit (unset, empty, 0, a sign,
// blanks or trailing text).  Larger numbers count as 2147483.
int ioTimeoutFrom(char const* text);

// Time-stamped output to the log (and standard output when logToScreenToo).
void _talk(char const* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Formats an error text into the 40,000-byte buffer and hands it to _talk.
void Error(char const* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

#endif
