#include "client/cmdline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "client/credentials.h"
#include "client/givennames.h"
#include "client/listfile.h"
#include "client/settings.h"
#include "msg/msg.h"
#include "trace/fhgtrace.h"

int state = 1;
int nextflag = 0;
char* nextarg = nullptr;
char* prevarg = nullptr;

namespace {

enum Flag {
    F_NONE = 0,
    F_VERBOSE = 1,
    F_HOST = 2,
    F_SCRIPTFILE_TEXT = 3,
    F_SCRIPTFILE_BIN = 4,
    F_SCRIPT = 5,
    F_CLIENT_CP = 6,
    F_SERVER_CP = 7,
    F_GOODRC = 8,
    F_GOODCOND = 9,
    F_TIMEOUT = 10,
    F_MSGPREFIX = 11,
    F_PARMS = 12,
    F_INPUT_TEXT = 13,
    F_INPUT_BIN = 14,
    F_INPUT_NON = 15,
    F_OUTPUT_BIN = 16,
    F_OUTPUT_TEXT = 17,
    F_OUTPUT_NON = 18,
    F_DEP_TEXT = 19,
    F_DEP_BIN = 20,
    F_DEP_NON = 21,
    F_VARS = 22,
    F_LOCATION = 23,
    F_USERID = 24,
    F_PASSWORD = 25,
    F_VERSION = 26,
    F_TESTSERVER = 27,
    F_PROCLIB = 28,
};

constexpr int SCRIPTFILE_TEXT = 26;
constexpr int SCRIPTFILE_BIN = 27;
constexpr int OPT_LOCATION_C = 1;
constexpr int OPT_LOCATION_A = 4;

struct FlagEntry {
    char const* text;
    int code;
    int opts;
};

FlagEntry const flagTable[] = {
    {"-V", F_VERBOSE, 0},          {"-h", F_HOST, 0},
    {"-f", F_SCRIPTFILE_TEXT, 0},  {"-ft", F_SCRIPTFILE_TEXT, 0},
    {"-fb", F_SCRIPTFILE_BIN, 0},  {"-b", F_SCRIPT, 0},
    {"-k", F_CLIENT_CP, 0},        {"-r", F_SERVER_CP, 0},
    {"-n", F_GOODRC, 0},           {"-c", F_GOODCOND, 0},
    {"-T", F_TIMEOUT, 0},          {"-P", F_MSGPREFIX, 0},
    {"-p", F_PARMS, 0},            {"-i", F_INPUT_TEXT, 0},
    {"-it", F_INPUT_TEXT, 0},      {"-ib", F_INPUT_BIN, 0},
    {"-in", F_INPUT_NON, 0},       {"-o", F_OUTPUT_BIN, 0},
    {"-ob", F_OUTPUT_BIN, 0},      {"-ot", F_OUTPUT_TEXT, 0},
    {"-on", F_OUTPUT_NON, 0},      {"-d", F_DEP_TEXT, 0},
    {"-dt", F_DEP_TEXT, 0},        {"-db", F_DEP_BIN, 0},
    {"-dn", F_DEP_NON, 0},         {"-v", F_VARS, 0},
    {"-l", F_LOCATION, 0},         {"-lc", F_LOCATION, OPT_LOCATION_C},
    {"-la", F_LOCATION, OPT_LOCATION_A},
    {"-lca", F_LOCATION, OPT_LOCATION_C | OPT_LOCATION_A},
    {"-lac", F_LOCATION, OPT_LOCATION_C | OPT_LOCATION_A},
    {"-au", F_USERID, 0},          {"-ap", F_PASSWORD, 0},
    {"-version", F_VERSION, 0},    {"-testServer", F_TESTSERVER, 0},
    {"-proclib", F_PROCLIB, 0},
};

char const* const goodConditions[] = {"EQ", "NE", "GE", "LE", "LT", "GT"};

// A value may begin with "--"; anything else starting with "-" is a flag.
bool looksLikeFlag(char const* arg)
{
    return arg[0] == '-' && arg[1] != '-';
}

bool isOneValueFlag(int code)
{
    return (code >= F_HOST && code <= F_MSGPREFIX) || code == F_LOCATION ||
           code == F_USERID || code == F_PASSWORD || code == F_PROCLIB;
}

bool isListFlag(int code)
{
    return code >= F_PARMS && code <= F_VARS;
}

char const* tagOf(int code)
{
    switch (code) {
    case F_INPUT_BIN: case F_OUTPUT_BIN: case F_DEP_BIN:
        return ".BIN";
    case F_INPUT_NON: case F_OUTPUT_NON: case F_DEP_NON:
        return ".NON";
    default:
        return ".TXT";
    }
}

// Built by appending, so a long name is never cut to fit a work area.
std::string blanksToPercent20(char const* value)
{
    std::string out;
    for (char const* p = value; *p != '\0'; ++p) {
        if (*p == ' ')
            out += "%20";
        else
            out += *p;
    }
    return out;
}

// Splits "server@portno" as strtok would: runs of "@" separate, empty
// pieces are skipped, and serverHost keeps only what precedes the
// separator that ended the first piece.
void storeHost(char const* value)
{
    std::string v(value);
    serverHost = value;
    serverHostName = "";
    serverPort = "";
    std::string::size_type first = v.find_first_not_of('@');
    if (first == std::string::npos)
        return;
    std::string::size_type end = v.find('@', first);
    serverHostName = v.substr(first, end - first).c_str();
    if (end == std::string::npos)
        return;
    serverHost = v.substr(0, end).c_str();
    std::string::size_type second = v.find_first_not_of('@', end);
    if (second == std::string::npos)
        return;
    serverPort = v.substr(second, v.find('@', second) - second).c_str();
}

bool isGoodCondition(char const* value)
{
    for (char const* c : goodConditions)
        if (std::strcmp(c, value) == 0)
            return true;
    return false;
}

// The lists grow one value at a time, and a TCString copies itself whole on
// every append; so the parse gathers them here, in one pass, and stores
// them in the settings when it ends.
struct Gathered {
    std::string parameters, input, dep, output, vars;

    void load()
    {
        parameters = buildParameters.getdata();
        input = inputFiles.getdata();
        dep = depFiles.getdata();
        output = outputFiles.getdata();
        vars = varList.getdata();
    }
    void store() const
    {
        buildParameters = parameters.c_str();
        inputFiles = input.c_str();
        depFiles = dep.c_str();
        outputFiles = output.c_str();
        varList = vars.c_str();
    }
};

Gathered gathered;

// Stores the one value of the pending flag; returns 1 after an error.
int storeValue(int flag, char* value, std::string& echo)
{
    switch (flag) {
    case F_HOST:
        storeHost(value);
        break;
    case F_SCRIPTFILE_TEXT:
    case F_SCRIPTFILE_BIN:
        buildScriptFileName = value;
        buildScriptFileType = flag == F_SCRIPTFILE_BIN ? SCRIPTFILE_BIN : SCRIPTFILE_TEXT;
        break;
    case F_SCRIPT: buildScript = value; break;
    case F_CLIENT_CP: clientCodepage = value; break;
    case F_SERVER_CP: serverCodepage = value; break;
    case F_GOODRC: goodrc = value; break;
    case F_GOODCOND:
        goodcond = value;
        if (!isGoodCondition(value)) {
            Error("%s", msgGet(XRBE_005_BAD_PARAMETER, value));
            return 1;
        }
        break;
    case F_TIMEOUT: timeout = value; break;
    case F_MSGPREFIX: msgfilePrefix = value; break;
    case F_LOCATION: buildLocation = value; break;
    case F_USERID: buildUserid = value; break;
    case F_PASSWORD:
        buildPassword = value;
        hideArgument(value);
        echo += " ********";
        break;
    case F_PROCLIB:
        buildProclib = value;
        buildProclib.upperCase();
        break;
    default:
        break;
    }
    return 0;
}

// The entry travels with "%20" for a blank; the name the user gave is kept
// for the files the server asks for or sends.
void appendEntry(std::string& list, char const* value, char const* tag)
{
    std::string entry = blanksToPercent20(value) + tag;
    rememberGivenName(entry, value + std::string(tag));
    list += ' ';
    list += entry;
}

// Adds one value to the list of the pending flag; returns 1 after an error.
int addListValue(int flag, char* value)
{
    char const* tag = tagOf(flag);
    switch (flag) {
    case F_PARMS:
        if (!gathered.parameters.empty())
            gathered.parameters += ' ';
        gathered.parameters += (value[0] == '-' && value[1] == '-') ? value + 1 : value;
        return 0;
    case F_INPUT_TEXT: case F_INPUT_BIN: case F_INPUT_NON:
        if (value[0] == '@')
            return appendListFile(value + 1, tag, gathered.input);
        appendEntry(gathered.input, value, tag);
        return 0;
    case F_DEP_TEXT: case F_DEP_BIN: case F_DEP_NON:
        if (value[0] == '@')
            return appendListFile(value + 1, tag, gathered.dep);
        appendEntry(gathered.dep, value, tag);
        return 0;
    case F_OUTPUT_BIN: case F_OUTPUT_TEXT: case F_OUTPUT_NON:
        appendEntry(gathered.output, value, tag);
        return 0;
    case F_VARS: {
        TCString var(value);
        if (var.indexOf('=', 1u) <= 1) {
            Error("%s", msgGet(XRBE_056_BAD_VARIABLE, value));
            return 1;
        }
        gathered.vars += ' ';
        gathered.vars += blanksToPercent20(value);
        return 0;
    }
    default:
        return 0;
    }
}

// Reads one flag in state 1; returns 1 after an error.
int readFlag()
{
    nextflag = ValidateFlag(nextarg);
    if (nextflag == F_NONE) {
        Error("%s", msgGet(XRBE_001_BAD_FLAG, nextarg));
        return 1;
    }
    if (nextflag == F_VERBOSE) {
        if (verbosity < 3)
            ++verbosity;
        logToScreenToo = 1;
    } else if (nextflag == F_VERSION) {
        ping = 2;
    } else if (nextflag == F_TESTSERVER) {
        ping = 1;
    } else if (isOneValueFlag(nextflag)) {
        if (nextflag == F_SCRIPTFILE_TEXT)
            buildScriptFileType = SCRIPTFILE_TEXT;
        else if (nextflag == F_SCRIPTFILE_BIN)
            buildScriptFileType = SCRIPTFILE_BIN;
        state = 2;
        prevarg = nextarg;
    } else if (isListFlag(nextflag)) {
        state = 3;
        prevarg = nextarg;
    }
    return 0;
}

} // namespace

int ValidateFlag(char const* arg)
{
    for (FlagEntry const& f : flagTable) {
        if (std::strcmp(f.text, arg) == 0) {
            buildOpts |= f.opts;
            return f.code;
        }
    }
    return F_NONE;
}

void resetCmdLine()
{
    state = 1;
    nextflag = 0;
    nextarg = nullptr;
    prevarg = nullptr;
    forgetGivenNames();
}

// A password that begins with "-" is refused as a value; the refusal must
// not show it, unless the argument is a real flag the user forgot to value.
static char const* shownValue(int flag, char const* arg)
{
    if (flag != F_PASSWORD)
        return arg;
    int savedOpts = buildOpts;
    bool isFlag = ValidateFlag(arg) != 0;
    buildOpts = savedOpts;
    return isFlag ? arg : "********";
}

int processCmdLine(int argc, char** argv)
{
    char const* program = (argc > 0 && argv[0] != nullptr) ? argv[0] : "";
    buildUserid = "GuestUser";
    buildPassword = "";
    buildProclib = "";
    int error = 0;
    bool reread = false;
    // Appended to for every argument: a std::string keeps that linear.
    std::string echo("Command Line:");
    echo += program;
    XRB_TRACE_AT("xrbbldc", "Begin: processCmdLine");
    gathered.load();

    for (int i = 1; i < argc && !error; ++i) {
        nextarg = argv[i];
        if (reread)
            reread = false;
        else if (nextflag != F_PASSWORD) {
            echo += " ";
            echo += nextarg;
        }

        switch (state) {
        case 1:
            error = readFlag();
            break;
        case 2:
            if (looksLikeFlag(nextarg)) {
                Error("%s", msgGet(XRBE_003_VALUE_EXPECTED, prevarg, shownValue(nextflag, nextarg)));
                error = 1;
                break;
            }
            error = storeValue(nextflag, nextarg, echo);
            nextflag = 0;
            state = 1;
            break;
        case 3:
        case 4:
            if (looksLikeFlag(nextarg)) {
                if (state == 3) {
                    Error("%s", msgGet(XRBE_003_VALUE_EXPECTED, prevarg, nextarg));
                    error = 1;
                } else {
                    --i;
                    reread = true;
                    state = 1;
                }
                break;
            }
            error = addListValue(nextflag, nextarg);
            state = 4;
            break;
        default:
            break;
        }
        if (error)
            state = 0;
    }

    gathered.store();

    echo += "\n";
    if (verbosity > 2)
        _talk("%s", echo.c_str());

    if (state == 2 || state == 3) {
        Error("%s", msgGet(XRBE_002_VALUE_AT_END, prevarg));
        error = 1;
    }
    if (ping == 2) {
        _talk("%s", msgGet(MSG_VERSION_LINE, program, static_cast<char*>(myVersion)));
        std::exit(0);
    }
    if (serverHost.length() == 0) {
        Error("%s", msgGet(XRBE_006_REQUIRED_FLAG, "-h"));
        error = 1;
    }
    if (buildScript.length() == 0 && ping == 0) {
        Error("%s", msgGet(XRBE_006_REQUIRED_FLAG, "-b | -testServer | -version"));
        error = 1;
    }
    processCredentials();
    if (verbosity == 3)
        dumpVars();
    if (error)
        Error("%s", msgGet(XRBI_001_CLIENT_USAGE, program));
    XRB_TRACE_AT("xrbbldc", "End: processCmdLine");
    return error;
}

void dumpVars()
{
    std::printf("verbosity = '%d'\n", static_cast<int>(verbosity));
    std::printf("buildScriptFileName = '%s'\n", static_cast<char*>(buildScriptFileName));
    std::printf("buildScriptFileType = '%d'\n", buildScriptFileType);
    std::printf("buildScript = '%s'\n", static_cast<char*>(buildScript));
    std::printf("buildParameters = '%s'\n", static_cast<char*>(buildParameters));
    std::printf("serverHost = '%s'\n", static_cast<char*>(serverHost));
    std::printf("clientCodepage = '%s'\n", static_cast<char*>(clientCodepage));
    std::printf("serverCodepage = '%s'\n", static_cast<char*>(serverCodepage));
    std::printf("goodrc = '%s'\n", static_cast<char*>(goodrc));
    std::printf("goodcond = '%s'\n", static_cast<char*>(goodcond));
    std::printf("timeout = '%s'\n", static_cast<char*>(timeout));
    std::printf("msgfilePrefix = '%s'\n", static_cast<char*>(msgfilePrefix));
    std::printf("inputFiles = '%s'\n", static_cast<char*>(inputFiles));
    std::printf("outputFiles = '%s'\n", static_cast<char*>(outputFiles));
    std::printf("depFiles = '%s'\n", static_cast<char*>(depFiles));
    std::printf("varList = '%s'\n", static_cast<char*>(varList));
}
