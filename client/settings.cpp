#include "client/settings.h"

#include <cstdlib>

TCString logFileName;
TCString buildScriptFileName;
int buildScriptFileType;
TCString buildParameters;
TCString buildScript;
TCString serverHost;
TCString clientCodepage;
TCString serverCodepage;
TCString goodrc;
TCString goodcond;
TCString timeout;
TCString msgfilePrefix;
TCString buildLocation;
TCString inputFiles;
TCString outputFiles;
TCString depFiles;
TCString varList;
TCString serverHostName;
TCString serverPort;
TCString buildUserid;
TCString buildPassword;
TCString buildProclib;
int buildOpts;
int ping;
uint16_t verbosity;
TCString nlsLanguage;
TCString peerVersion;
TCString myVersion;
int pid = 0;
char pidFileName[100];
FILE* pidFile = nullptr;
int logToScreenToo;

namespace {

// One default: a text, an int or the 16-bit verbosity.
struct SettingDefault {
    constexpr SettingDefault(DefaultStep s, TCString* setting, char const* value)
        : step(s), text(setting), textValue(value)
    {}
    constexpr SettingDefault(DefaultStep s, int* setting, int value) : step(s), number(setting), numberValue(value) {}
    constexpr SettingDefault(DefaultStep s, uint16_t* setting, int value)
        : step(s), shortNumber(setting), numberValue(value)
    {}

    void assign() const
    {
        if (text != nullptr)
            *text = textValue;
        else if (number != nullptr)
            *number = numberValue;
        else
            *shortNumber = static_cast<uint16_t>(numberValue);
    }

    DefaultStep step;
    TCString* text = nullptr;
    char const* textValue = nullptr;
    int* number = nullptr;
    uint16_t* shortNumber = nullptr;
    int numberValue = 0;
};

constexpr DefaultStep MAIN = DefaultStep::Main;
constexpr DefaultStep PARSE = DefaultStep::CommandLine;
constexpr DefaultStep START = DefaultStep::ProgramStart;

// Every default of the client, in the order main assigns them.
SettingDefault const defaults[] = {
    {MAIN, &logFileName, "xrbbldc.log"},
    {MAIN, &buildScriptFileName, ""},
    {MAIN, &buildScriptFileType, 25},
    {MAIN, &buildParameters, ""},
    {MAIN, &buildScript, ""},
    {MAIN, &serverHost, ""},
    {MAIN, &clientCodepage, "ISO8859-1"},
    {MAIN, &serverCodepage, "QVX-1047"},
    {MAIN, &goodrc, "0"},
    {MAIN, &goodcond, "EQ"},
    {MAIN, &timeout, "10"},
    {MAIN, &msgfilePrefix, ""},
    {MAIN, &buildLocation, ""},
    {MAIN, &inputFiles, ""},
    {MAIN, &outputFiles, ""},
    {MAIN, &depFiles, ""},
    {MAIN, &varList, ""},
    {MAIN, &serverHostName, ""},
    {MAIN, &serverPort, ""},
    {PARSE, &buildUserid, "GuestUser"},
    {PARSE, &buildPassword, ""},
    {PARSE, &buildProclib, ""},
    {START, &buildOpts, 0},
    {START, &ping, 0},
    {START, &verbosity, 0},
    {START, &nlsLanguage, "enu"},
    {START, &peerVersion, ""},
    {START, &myVersion, "1.0.4.0.QVX"},
    {START, &logToScreenToo, 1},
};

void assignEveryDefault()
{
    for (SettingDefault const& d : defaults)
        d.assign();
}

// Units used without main (tests, tools) see the defaults too.
struct AtProgramStart {
    AtProgramStart() { assignEveryDefault(); }
} const atProgramStart;

} // namespace

void assignDefaults(DefaultStep step)
{
    for (SettingDefault const& d : defaults)
        if (d.step == step)
            d.assign();
}

void setDefaults()
{
    assignDefaults(DefaultStep::Main);
    // Set, even to the empty text, it replaces the built-in "enu".
    if (char const* lang = std::getenv("XRB_LANG"))
        nlsLanguage = lang;
}

void resetSettings()
{
    assignEveryDefault();
    setDefaults();
}

int ioTimeoutFrom(char const* text)
{
    // The largest wait a poll() in milliseconds can express.
    long long const most = 2147483;
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
