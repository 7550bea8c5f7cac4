#include "client/settings.h"

#include <cstdlib>

// Every setting starts with its default so that units used without main
// (tests, tools) see sensible values; main assigns them again in order.
TCString logFileName("xrbbldc.log");
TCString buildScriptFileName;
int buildScriptFileType = 25;
TCString buildParameters;
TCString buildScript;
TCString serverHost;
TCString clientCodepage("ISO8859-1");
TCString serverCodepage("QVX-1047");
TCString goodrc("0");
TCString goodcond("EQ");
TCString timeout("10");
TCString msgfilePrefix;
TCString buildLocation;
TCString inputFiles;
TCString outputFiles;
TCString depFiles;
TCString varList;
TCString serverHostName;
TCString serverPort;
TCString buildUserid("GuestUser");
TCString buildPassword;
TCString buildProclib;
int buildOpts = 0;
int ping = 0;
uint16_t verbosity = 0;
TCString nlsLanguage("enu");
TCString peerVersion;
TCString myVersion("1.0.4.0.QVX");
int pid = 0;
char pidFileName[100];
FILE* pidFile = nullptr;
int logToScreenToo = 1;

void setDefaults()
{
    logFileName = "xrbbldc.log";
    buildScriptFileName = "";
    buildScriptFileType = 25;
    buildParameters = "";
    buildScript = "";
    serverHost = "";
    clientCodepage = "ISO8859-1";
    serverCodepage = "QVX-1047";
    goodrc = "0";
    goodcond = "EQ";
    timeout = "10";
    msgfilePrefix = "";
    buildLocation = "";
    inputFiles = "";
    outputFiles = "";
    depFiles = "";
    varList = "";
    serverHostName = "";
    serverPort = "";

    // Set, even to the empty text, it replaces the built-in "enu".
    if (char const* lang = std::getenv("XRB_LANG"))
        nlsLanguage = lang;
}

int ioTimeoutFrom(char const* text)
{
    // The largest wait a poll() in milliseconds can express.
    const long long most = 2147483;
    if (text == nullptr || *text == '\0')
        return 0;
    long long v = 0;
    for (char const* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        if (v <= most)
            v = v * 10 + (*p - '0');
    }
    return static_cast<int>(v > most ? most : v);
}
