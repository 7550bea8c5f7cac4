#include "client/options.h"

#include <cstring>

#include "client/credentials.h"
#include "client/givennames.h"
#include "client/listfile.h"
#include "client/settings.h"
#include "msg/msg.h"

namespace {

// The lists of one parse; see startLists.
struct Gathered {
    std::string parameters, input, dep, output, vars;
};

Gathered gathered;

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

// The entry travels with "%20" for a blank; the name the user gave is kept
// for the files the server asks for or sends.
void appendEntry(std::string& list, char const* value, char const* tag)
{
    std::string entry = blanksToPercent20(value) + tag;
    rememberGivenName(entry, value + std::string(tag));
    list += ' ';
    list += entry;
}

// -V: one step more output, at most 3.
void countVerbose(Option const&)
{
    if (verbosity < 3)
        ++verbosity;
    logToScreenToo = 1;
}

void askVersion(Option const&)
{
    ping = 2;
}

void askServerTest(Option const&)
{
    ping = 1;
}

// -f, -ft, -fb: the file type is set as soon as the flag is read, so that
// it stands even when the name never comes.
void scriptFileIsText(Option const&)
{
    buildScriptFileType = 26;
}

void scriptFileIsBinary(Option const&)
{
    buildScriptFileType = 27;
}

// Splits "server@portno" as strtok would: runs of "@" separate, empty
// pieces are skipped, and serverHost keeps only what precedes the
// separator that ended the first piece.
int storeHost(Option const&, char* value, std::string&)
{
    std::string v(value);
    serverHost = value;
    serverHostName = "";
    serverPort = "";
    std::string::size_type first = v.find_first_not_of('@');
    if (first == std::string::npos)
        return 0;
    std::string::size_type end = v.find('@', first);
    serverHostName = v.substr(first, end - first).c_str();
    if (end == std::string::npos)
        return 0;
    serverHost = v.substr(0, end).c_str();
    std::string::size_type second = v.find_first_not_of('@', end);
    if (second == std::string::npos)
        return 0;
    serverPort = v.substr(second, v.find('@', second) - second).c_str();
    return 0;
}

// -c: the value is kept even when it is refused.
int storeCondition(Option const&, char* value, std::string&)
{
    goodcond = value;
    for (char const* c : {"EQ", "NE", "GE", "LE", "LT", "GT"})
        if (std::strcmp(c, value) == 0)
            return 0;
    Error("%s", msgGet(XRBE_005_BAD_PARAMETER, value));
    return 1;
}

// -ap: the echo shows asterisks, and the argument itself is overwritten,
// after it has been copied.
int storePassword(Option const&, char* value, std::string& echo)
{
    buildPassword = value;
    hideArgument(value);
    echo += " ********";
    return 0;
}

int storeProclib(Option const&, char* value, std::string&)
{
    buildProclib = value;
    buildProclib.upperCase();
    return 0;
}

// -p: values joined by one blank; a value "--x" is passed as "-x".
int addParameter(Option const&, char* value, std::string&)
{
    if (!gathered.parameters.empty())
        gathered.parameters += ' ';
    gathered.parameters += (value[0] == '-' && value[1] == '-') ? value + 1 : value;
    return 0;
}

// -i and -d: "@name" is a list file whose words become entries.
int addFileOrListFile(Option const& option, char* value, std::string&)
{
    if (value[0] == '@')
        return appendListFile(value + 1, option.tag, *option.fills.list);
    appendEntry(*option.fills.list, value, option.tag);
    return 0;
}

// -v: "var=value" with a name of at least one character.
int addVariable(Option const&, char* value, std::string&)
{
    TCString var(value);
    if (var.indexOf('=', 1u) <= 1) {
        Error("%s", msgGet(XRBE_056_BAD_VARIABLE, value));
        return 1;
    }
    gathered.vars += ' ';
    gathered.vars += blanksToPercent20(value);
    return 0;
}

constexpr Arity NONE = Arity::None;
constexpr Arity ONE = Arity::One;
constexpr Arity LIST = Arity::List;

// Build option bits of the -l forms.
constexpr int OPT_LOCATION_C = 1;
constexpr int OPT_LOCATION_A = 4;

constexpr char const* TXT = ".TXT";
constexpr char const* BIN = ".BIN";
constexpr char const* NON = ".NON";

} // namespace

// In the order of their codes.
Option const options[] = {
    // text        code arity fills                 tag  bits  when read / for each value
    {"-V", 1, NONE, {}, nullptr, 0, countVerbose, nullptr},
    {"-h", 2, ONE, &serverHost, nullptr, 0, nullptr, storeHost},
    {"-f", 3, ONE, &buildScriptFileName, nullptr, 0, scriptFileIsText, nullptr},
    {"-ft", 3, ONE, &buildScriptFileName, nullptr, 0, scriptFileIsText, nullptr},
    {"-fb", 4, ONE, &buildScriptFileName, nullptr, 0, scriptFileIsBinary, nullptr},
    {"-b", 5, ONE, &buildScript, nullptr, 0, nullptr, nullptr},
    {"-k", 6, ONE, &clientCodepage, nullptr, 0, nullptr, nullptr},
    {"-r", 7, ONE, &serverCodepage, nullptr, 0, nullptr, nullptr},
    {"-n", 8, ONE, &goodrc, nullptr, 0, nullptr, nullptr},
    {"-c", 9, ONE, &goodcond, nullptr, 0, nullptr, storeCondition},
    {"-T", 10, ONE, &timeout, nullptr, 0, nullptr, nullptr},
    {"-P", 11, ONE, &msgfilePrefix, nullptr, 0, nullptr, nullptr},
    {"-p", 12, LIST, &gathered.parameters, nullptr, 0, nullptr, addParameter},
    {"-i", 13, LIST, &gathered.input, TXT, 0, nullptr, addFileOrListFile},
    {"-it", 13, LIST, &gathered.input, TXT, 0, nullptr, addFileOrListFile},
    {"-ib", 14, LIST, &gathered.input, BIN, 0, nullptr, addFileOrListFile},
    {"-in", 15, LIST, &gathered.input, NON, 0, nullptr, addFileOrListFile},
    {"-o", 16, LIST, &gathered.output, BIN, 0, nullptr, nullptr},
    {"-ob", 16, LIST, &gathered.output, BIN, 0, nullptr, nullptr},
    {"-ot", 17, LIST, &gathered.output, TXT, 0, nullptr, nullptr},
    {"-on", 18, LIST, &gathered.output, NON, 0, nullptr, nullptr},
    {"-d", 19, LIST, &gathered.dep, TXT, 0, nullptr, addFileOrListFile},
    {"-dt", 19, LIST, &gathered.dep, TXT, 0, nullptr, addFileOrListFile},
    {"-db", 20, LIST, &gathered.dep, BIN, 0, nullptr, addFileOrListFile},
    {"-dn", 21, LIST, &gathered.dep, NON, 0, nullptr, addFileOrListFile},
    {"-v", 22, LIST, &gathered.vars, nullptr, 0, nullptr, addVariable},
    {"-l", 23, ONE, &buildLocation, nullptr, 0, nullptr, nullptr},
    {"-lc", 23, ONE, &buildLocation, nullptr, OPT_LOCATION_C, nullptr, nullptr},
    {"-la", 23, ONE, &buildLocation, nullptr, OPT_LOCATION_A, nullptr, nullptr},
    {"-lca", 23, ONE, &buildLocation, nullptr, OPT_LOCATION_C | OPT_LOCATION_A, nullptr, nullptr},
    {"-lac", 23, ONE, &buildLocation, nullptr, OPT_LOCATION_C | OPT_LOCATION_A, nullptr, nullptr},
    {"-au", 24, ONE, &buildUserid, nullptr, 0, nullptr, nullptr},
    {"-ap", 25, ONE, &buildPassword, nullptr, 0, nullptr, storePassword},
    {"-version", 26, NONE, {}, nullptr, 0, askVersion, nullptr},
    {"-testServer", 27, NONE, {}, nullptr, 0, askServerTest, nullptr},
    {"-proclib", 28, ONE, &buildProclib, nullptr, 0, nullptr, storeProclib},
};

std::size_t const optionCount = sizeof options / sizeof options[0];

Option const* findOption(char const* arg)
{
    for (Option const& o : options)
        if (std::strcmp(o.text, arg) == 0)
            return &o;
    return nullptr;
}

int takeValue(Option const& option, char* value, std::string& echo)
{
    if (option.onValue != nullptr)
        return option.onValue(option, value, echo);
    if (option.fills.setting != nullptr)
        *option.fills.setting = value;
    else
        appendEntry(*option.fills.list, value, option.tag);
    return 0;
}

void startLists()
{
    gathered.parameters = buildParameters.getdata();
    gathered.input = inputFiles.getdata();
    gathered.dep = depFiles.getdata();
    gathered.output = outputFiles.getdata();
    gathered.vars = varList.getdata();
}

void storeLists()
{
    buildParameters = gathered.parameters.c_str();
    inputFiles = gathered.input.c_str();
    depFiles = gathered.dep.c_str();
    outputFiles = gathered.output.c_str();
    varList = gathered.vars.c_str();
}
