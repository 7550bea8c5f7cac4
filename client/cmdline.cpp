#include "client/cmdline.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/credentials.h"
#include "client/givennames.h"
#include "client/options.h"
#include "client/settings.h"
#include "msg/msg.h"
#include "trace/fhgtrace.h"

int state = 1;
int nextflag = 0;
char* nextarg = nullptr;
char* prevarg = nullptr;

namespace {
// The value of -ap never reaches the echo.
constexpr int F_PASSWORD = 25;

// The row of nextflag while its value or list is read.
Option const* pending = nullptr;

// A value may begin with "--"; anything else starting with "-" is a flag.
bool looksLikeFlag(char const* arg)
{
    return arg[0] == '-' && arg[1] != '-';
}

// Reads one flag in state 1; returns 1 after an error.
int readFlag()
{
    pending = findOption(nextarg);
    nextflag = pending != nullptr ? pending->code : 0;
    if (pending == nullptr) {
        Error("%s", msgGet(XRBE_001_BAD_FLAG, nextarg));
        return 1;
    }
    buildOpts |= pending->bits;
    if (pending->onFlag != nullptr)
        pending->onFlag(*pending);
    if (pending->arity != Arity::None) {
        state = pending->arity == Arity::One ? 2 : 3;
        prevarg = nextarg;
    }
    return 0;
}

// A password that begins with "-" is refused as a value; the refusal must
// not show it, unless the argument is a real flag the user forgot to value.
char const* shownValue(int flag, char const* arg)
{
    if (flag != F_PASSWORD || findOption(arg) != nullptr)
        return arg;
    return "********";
}

// The checks and answers once the arguments are read (or the first error
// ended the reading); returns the error flag.
int endOfArguments(char const* program, int error, std::string& echo)
{

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
    return error;
}

} // namespace

int ValidateFlag(char const* arg)
{
    Option const* option = findOption(arg);
    if (option == nullptr)
        return 0;
    buildOpts |= option->bits;
    return option->code;
}

void resetCmdLine()
{
    state = 1;
    nextflag = 0;
    nextarg = nullptr;
    prevarg = nullptr;
    pending = nullptr;
    forgetGivenNames();
}

int processCmdLine(int argc, char** argv)
{
    char const* program = (argc > 0 && argv[0] != nullptr) ? argv[0] : "";
    assignDefaults(DefaultStep::CommandLine);
    int error = 0;
    bool reread = false;
    // Appended to for every argument: a std::string keeps that linear.
    std::string echo("Command Line:");
    echo += program;
    XRB_TRACE_AT("xrbbldc", "Begin: processCmdLine");
    startLists();

    for (int i = 1; i < argc && !error; ++i) {
        nextarg = argv[i];
        if (reread)
            reread = false;
        else if (nextflag != F_PASSWORD) {
            echo += " ";
            echo += nextarg;
        }

        switch (state) {
        case 1: error = readFlag(); break;
        case 2:
            if (looksLikeFlag(nextarg)) {
                Error("%s", msgGet(XRBE_003_VALUE_EXPECTED, prevarg, shownValue(nextflag, nextarg)));
                error = 1;
                break;
            }
            error = takeValue(*pending, nextarg, echo);
            nextflag = 0;
            pending = nullptr;
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
            error = takeValue(*pending, nextarg, echo);
            state = 4;
            break;
        default: break;
        }
        if (error)
            state = 0;
    }

    storeLists();
    error = endOfArguments(program, error, echo);
    XRB_TRACE_AT("xrbbldc", "End: processCmdLine");
    return error;
}

void dumpVars()
{
    struct Dumped {
        char const* name;
        TCString const* value;
    };
    // After the first three, in the order of the dump; only these are shown.
    Dumped const texts[] = {
        {"buildScript", &buildScript},
        {"buildParameters", &buildParameters},
        {"serverHost", &serverHost},
        {"clientCodepage", &clientCodepage},
        {"serverCodepage", &serverCodepage},
        {"goodrc", &goodrc},
        {"goodcond", &goodcond},
        {"timeout", &timeout},
        {"msgfilePrefix", &msgfilePrefix},
        {"inputFiles", &inputFiles},
        {"outputFiles", &outputFiles},
        {"depFiles", &depFiles},
        {"varList", &varList},
    };
    std::printf("verbosity = '%d'\n", static_cast<int>(verbosity));
    std::printf("buildScriptFileName = '%s'\n", static_cast<char*>(buildScriptFileName));
    std::printf("buildScriptFileType = '%d'\n", buildScriptFileType);
    for (Dumped const& d : texts)
        std::printf("%s = '%s'\n", d.name, static_cast<char*>(*d.value));
}
