#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "client/cmdline.h"
#include "client/options.h"
#include "client/settings.h"
#include "msg/msg.h"

namespace {

namespace fs = std::filesystem;

std::string const USAGE_HEAD = "XRBI-001 Usage:\n   xrbbldc\n";

std::string normalise(std::string const& text)
{
    static std::regex const stamp("(^|\n)\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d ");
    return std::regex_replace(text, stamp, "$1@TS@ ");
}

std::string readAll(fs::path const& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Each case parses in a fresh folder (the log lands there) with the settings
// and the parser as a new process would have them.
class CmdLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        old_ = fs::current_path();
        char tmpl[] = "/tmp/xrbcmdline.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::current_path(dir_);
        fresh();
    }

    void fresh()
    {
        resetSettings();
        resetCmdLine();
        fs::remove("xrbbldc.log");
    }

    void TearDown() override
    {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }

    int parse(std::vector<std::string> const& args)
    {
        std::vector<std::string> strings{"xrbbldc"};
        strings.insert(strings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& s : strings)
            argv.push_back(&s[0]);
        argv.push_back(nullptr);
        std::fflush(stdout);
        testing::internal::CaptureStdout();
        int rc = processCmdLine(static_cast<int>(strings.size()), argv.data());
        std::fflush(stdout);
        out_ = normalise(testing::internal::GetCapturedStdout());
        return rc;
    }

    void writeFile(char const* name, std::string const& bytes) { std::ofstream(name, std::ios::binary) << bytes; }

    std::string log() { return normalise(readAll("xrbbldc.log")); }

    fs::path old_, dir_;
    std::string out_;
};

TEST_F(CmdLine, SmallestBuildLineStoresHostAndPortAndPrintsNothing)
{
    EXPECT_EQ(parse({"-h", "buildhost@5555", "-b", "build1"}), 0);
    EXPECT_STREQ(serverHost, "buildhost");
    EXPECT_STREQ(serverHostName, "buildhost");
    EXPECT_STREQ(serverPort, "5555");
    EXPECT_STREQ(buildScript, "build1");
    EXPECT_STREQ(buildUserid, "GuestUser");
    EXPECT_EQ(out_, "");
    EXPECT_FALSE(fs::exists("xrbbldc.log"));
}

TEST_F(CmdLine, HostIsSplitAtRunsOfAtSigns)
{
    struct {
        char const *value, *host, *name, *port;
    } const cases[] = {
        {"host", "host", "host", ""}, {"h@", "h", "h", ""},     {"@@h@@5@x", "@@h", "h", "5"},
        {"@@", "@@", "", ""},         {"a@1@2", "a", "a", "1"},
    };
    for (auto const& c : cases) {
        fresh();
        EXPECT_EQ(parse({"-h", c.value, "-b", "b"}), 0) << c.value;
        EXPECT_STREQ(serverHost, c.host) << c.value;
        EXPECT_STREQ(serverHostName, c.name) << c.value;
        EXPECT_STREQ(serverPort, c.port) << c.value;
    }
}

TEST_F(CmdLine, ListsEndAtTheNextFlagWhichIsReadAgain)
{
    EXPECT_EQ(parse({"-h", "h@1", "-b", "b", "-i", "a.c", "b.c", "-o", "x.o", "-V"}), 0);
    EXPECT_STREQ(inputFiles, " a.c.TXT b.c.TXT");
    EXPECT_STREQ(outputFiles, " x.o.BIN");
    EXPECT_EQ(verbosity, 1);
}

TEST_F(CmdLine, FileListsCarryTagsAndEscapedBlanks)
{
    EXPECT_EQ(parse({"-h",  "h@1", "-b",  "b", "-i", "my file.c", "-ib", "x",  "-in", "y",  "-it", "z",  "-o", "@x",
                     "-ot", "t",   "-on", "n", "-d", "d1",        "-dt", "d2", "-db", "d3", "-dn", "d4", "-i", "--x"}),
              0);
    EXPECT_STREQ(inputFiles, " my%20file.c.TXT x.BIN y.NON z.TXT --x.TXT");
    EXPECT_STREQ(outputFiles, " @x.BIN t.TXT n.NON");
    EXPECT_STREQ(depFiles, " d1.TXT d2.TXT d3.BIN d4.NON");
}

TEST_F(CmdLine, LongNameWithBlanksIsNotCut)
{
    std::string name(6000, ' ');
    name += "end";
    EXPECT_EQ(parse({"-h", "h@1", "-b", "b", "-i", name}), 0);
    std::string expected = " ";
    for (int i = 0; i < 6000; ++i)
        expected += "%20";
    expected += "end.TXT";
    EXPECT_EQ(std::string(inputFiles), expected);
}

TEST_F(CmdLine, ValuesMayBeginWithTwoDashes)
{
    EXPECT_EQ(parse({"-h", "h@1", "-b", "--name", "-p", "--opt1", "x", "-p", "a", "---b"}), 0);
    EXPECT_STREQ(buildScript, "--name");
    EXPECT_STREQ(buildParameters, "-opt1 x a --b");
}

TEST_F(CmdLine, OneValueSettingsAndRepeatsReplace)
{
    EXPECT_EQ(
        parse({"-h", "h@1", "-b",   "b1", "-b",  "b2",  "-k",        "K",   "-r", "R",        "-n",     "4",  "-T",
               "99", "-P",  "pre_", "-l", "loc", "-au", "GuestUser", "-ap", "pw", "-proclib", "my.lib", "-c", "GE"}),
        0);
    EXPECT_STREQ(buildScript, "b2");
    EXPECT_STREQ(clientCodepage, "K");
    EXPECT_STREQ(serverCodepage, "R");
    EXPECT_STREQ(goodrc, "4");
    EXPECT_STREQ(timeout, "99");
    EXPECT_STREQ(msgfilePrefix, "pre_");
    EXPECT_STREQ(buildLocation, "loc");
    EXPECT_STREQ(buildPassword, "pw");
    EXPECT_STREQ(buildProclib, "MY.LIB");
    EXPECT_STREQ(goodcond, "GE");
    EXPECT_EQ(buildOpts, 0);
}

TEST_F(CmdLine, CredentialSettingsAreResetAtTheStart)
{
    buildUserid = "someone";
    buildPassword = "old";
    buildProclib = "OLD";
    EXPECT_EQ(parse({"-h", "h@1", "-b", "b"}), 0);
    EXPECT_STREQ(buildUserid, "GuestUser");
    EXPECT_STREQ(buildPassword, "");
    EXPECT_STREQ(buildProclib, "");
}

TEST_F(CmdLine, EveryGoodConditionIsAccepted)
{
    for (char const* c : {"EQ", "NE", "GE", "LE", "LT", "GT"}) {
        fresh();
        EXPECT_EQ(parse({"-h", "h@1", "-b", "b", "-c", c}), 0) << c;
        EXPECT_STREQ(goodcond, c);
        EXPECT_STREQ(timeout, "10");
    }
}

TEST_F(CmdLine, VariablesNeedAnEqualsSignAfterTheFirstCharacter)
{
    EXPECT_EQ(parse({"-h", "h@1", "-b", "b", "-v", "a=", "a=b", "my v=x y"}), 0);
    EXPECT_STREQ(varList, " a= a=b my%20v=x%20y");
}

TEST_F(CmdLine, BuildScriptFileTypes)
{
    EXPECT_EQ(parse({"-h", "h@1", "-b", "b", "-f", "s"}), 0);
    EXPECT_STREQ(buildScriptFileName, "s");
    EXPECT_EQ(buildScriptFileType, 26);
    fresh();
    EXPECT_EQ(parse({"-h", "h@1", "-b", "b", "-ft", "s", "-fb", "t"}), 0);
    EXPECT_STREQ(buildScriptFileName, "t");
    EXPECT_EQ(buildScriptFileType, 27);
}

TEST_F(CmdLine, LocationFlagsCombineTheirOptionBits)
{
    struct {
        std::vector<std::string> args;
        int opts;
        char const* loc;
    } const cases[] = {
        {{"-lca", "dir"}, 5, "dir"},           {{"-lac", "dir"}, 5, "dir"}, {{"-lc", "d1", "-la", "d2"}, 5, "d2"},
        {{"-lc", "d1", "-lc", "d2"}, 1, "d2"}, {{"-l", "d"}, 0, "d"},
    };
    for (auto const& c : cases) {
        fresh();
        std::vector<std::string> a{"-h", "h@1", "-b", "b"};
        a.insert(a.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(parse(a), 0);
        EXPECT_EQ(buildOpts, c.opts) << c.args[0];
        EXPECT_STREQ(buildLocation, c.loc);
    }
}

TEST_F(CmdLine, ValidateFlagKnowsExactlyTheFlagTable)
{
    struct {
        char const* flag;
        int code;
    } const table[] = {
        {"-V", 1},        {"-h", 2},   {"-f", 3},   {"-ft", 3},         {"-fb", 4},
        {"-b", 5},        {"-k", 6},   {"-r", 7},   {"-n", 8},          {"-c", 9},
        {"-T", 10},       {"-P", 11},  {"-p", 12},  {"-i", 13},         {"-it", 13},
        {"-ib", 14},      {"-in", 15}, {"-o", 16},  {"-ob", 16},        {"-ot", 17},
        {"-on", 18},      {"-d", 19},  {"-dt", 19}, {"-db", 20},        {"-dn", 21},
        {"-v", 22},       {"-l", 23},  {"-lc", 23}, {"-la", 23},        {"-lca", 23},
        {"-lac", 23},     {"-au", 24}, {"-ap", 25}, {"-version", 26},   {"-testServer", 27},
        {"-proclib", 28}, {"-v ", 0},  {"-I", 0},   {"-testserver", 0}, {"-versions", 0},
        {"-", 0},         {"", 0},     {"--h", 0},  {"h", 0},           {"-lcc", 0},
    };
    for (auto const& t : table) {
        buildOpts = 0;
        EXPECT_EQ(ValidateFlag(t.flag), t.code) << "'" << t.flag << "'";
        int bits = std::string(t.flag) == "-lc"                                       ? 1
                   : std::string(t.flag) == "-la"                                     ? 4
                   : (std::string(t.flag) == "-lca" || std::string(t.flag) == "-lac") ? 5
                                                                                      : 0;
        EXPECT_EQ(buildOpts, bits) << t.flag;
    }
}

// One case per way the command line can be wrong: the first message shown,
// then the usage text, status 1.
TEST_F(CmdLine, ErrorsReportTheirMessageThenTheUsage)
{
    struct {
        std::vector<std::string> args;
        char const* first;
    } const cases[] = {
        {{"-h", "h@1", "-b", "b", "-i"}, "XRBE-002 Expecting value for flag -i, found end of command string.\n"},
        {{"-h", "h@1", "-b", "b", "-i", "-o", "x"}, "XRBE-003 Expecting value for flag -i, found -o.\n"},
        {{"-h", "h@1", "-b", "-name"}, "XRBE-003 Expecting value for flag -b, found -name.\n"},
        {{"-h", "h@1", "-b", "b", "-c", "ge"}, "XRBE-005 Invalid parameter ge.\n"},
        {{"-h", "h@1", "-b", "b", "-v", "=x"}, "XRBE-056 Invalid parameter =x. Format is"},
        {{"-h", "h@1", "-b", "b", "-v", "x"}, "XRBE-056 Invalid parameter x. Format is"},
        {{"-h", "h@1", "-b", "b", "x"}, "XRBE-001 Expecting a valid flag, found 'x'.\n"},
        {{"-h", "h@1", "-b", "b", ""}, "XRBE-001 Expecting a valid flag, found ''.\n"},
        {{"-h", "h@1", "-b", "b", "-"}, "XRBE-001 Expecting a valid flag, found '-'.\n"},
        {{"-h", "h@1", "-b", "b", "-x%s%n"}, "XRBE-001 Expecting a valid flag, found '-x%s%n'.\n"},
        {{"-b", "b"}, "XRBE-006 Required parameter flag -h not specifed.\n"},
        {{"-h", "h@1"}, "XRBE-006 Required parameter flag -b | -testServer | -version not specifed.\n"},
        {{"-h", "h@1", "-f", "s"}, "XRBE-006 Required parameter flag -b | -testServer | -version not specifed.\n"},
    };
    for (auto const& c : cases) {
        fresh();
        EXPECT_EQ(parse(c.args), 1);
        std::string const& out = out_;
        EXPECT_EQ(out.rfind(std::string("@TS@ ") + c.first, 0), 0u) << out;
        EXPECT_NE(out.find("@TS@ " + USAGE_HEAD), std::string::npos) << out;
        EXPECT_EQ(log(), out);
    }
}

TEST_F(CmdLine, OnlyTheFirstErrorIsReportedAndRequiredChecksFollow)
{
    EXPECT_EQ(parse({"-x", "-i"}), 1);
    std::string const expected = "@TS@ XRBE-001 Expecting a valid flag, found '-x'.\n"
                                 "@TS@ XRBE-006 Required parameter flag -h not specifed.\n"
                                 "@TS@ XRBE-006 Required parameter flag -b | -testServer | -version not specifed.\n"
                                 "@TS@ " +
                                 USAGE_HEAD;
    EXPECT_EQ(out_.substr(0, expected.size()), expected);
    EXPECT_EQ(out_.find("XRBE-002"), std::string::npos);
    EXPECT_EQ(state, 0);
}

TEST_F(CmdLine, SettingsStoredBeforeAnErrorAreKept)
{
    EXPECT_EQ(parse({"-h", "h@1", "-i", "a.c", "-c", "ge", "-b", "never"}), 1);
    EXPECT_STREQ(inputFiles, " a.c.TXT");
    EXPECT_STREQ(goodcond, "ge");
    EXPECT_STREQ(buildScript, "");
}

TEST_F(CmdLine, TestServerReplacesTheBuildScript)
{
    EXPECT_EQ(parse({"-testServer", "-h", "host@1"}), 0);
    EXPECT_EQ(ping, 1);
}

TEST_F(CmdLine, HighestVerbosityEchoesWithMaskedPasswordAndDumps)
{
    EXPECT_EQ(parse({"-V", "-V", "-V", "-V", "-h", "h@1", "-b", "b", "-ap", "secret"}), 0);
    EXPECT_EQ(verbosity, 3);
    std::string const echo = "@TS@ Command Line:xrbbldc -V -V -V -V -h h@1 -b b -ap ********\n";
    EXPECT_EQ(out_, echo + "verbosity = '3'\n"
                           "buildScriptFileName = ''\n"
                           "buildScriptFileType = '25'\n"
                           "buildScript = 'b'\n"
                           "buildParameters = ''\n"
                           "serverHost = 'h'\n"
                           "clientCodepage = 'ISO8859-1'\n"
                           "serverCodepage = 'QVX-1047'\n"
                           "goodrc = '0'\n"
                           "goodcond = 'EQ'\n"
                           "timeout = '10'\n"
                           "msgfilePrefix = ''\n"
                           "inputFiles = ''\n"
                           "outputFiles = ''\n"
                           "depFiles = ''\n"
                           "varList = ''\n");
    EXPECT_EQ(log(), echo);
    EXPECT_STREQ(buildPassword, "secret");
}

TEST_F(CmdLine, EchoShowsTheArgumentThatEndsAListOnce)
{
    EXPECT_EQ(parse({"-V", "-V", "-V", "-h", "h@1", "-i", "a", "b", "-b", "s", "-ap", "-p"}), 1);
    EXPECT_EQ(out_.rfind("@TS@ XRBE-003 Expecting value for flag -ap, found -p.\n"
                         "@TS@ Command Line:xrbbldc -V -V -V -h h@1 -i a b -b s -ap\n",
                         0),
              0u)
        << out_;
}

TEST_F(CmdLine, ErrorGoesToTheLogInTheCurrentFolderDespitePrefix)
{
    fs::create_directory("sub");
    EXPECT_EQ(parse({"-P", "sub/", "-h", "h@1", "-x"}), 1);
    EXPECT_TRUE(fs::exists("xrbbldc.log"));
    EXPECT_FALSE(fs::exists("sub/xrbbldc.log"));
}

// The version request ends the process; run it in a child.
TEST_F(CmdLine, VersionEndsWithStatusZeroEvenAfterAnError)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::fflush(stdout);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);
        dup2(fds[1], 1);
        close(fds[0]);
        char a0[] = "xrbbldc", a1[] = "-version", a2[] = "-x", a3[] = "-h";
        char* argv[] = {a0, a1, a2, a3, nullptr};
        processCmdLine(4, argv);
        _exit(99);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(normalise(out), "@TS@ XRBE-001 Expecting a valid flag, found '-x'.\n"
                              "@TS@ \n   xrbbldc Version:1.0.4.0.QVX                     \n"
                              "                                         \n\n");
}

// List files: words last first, any separators, read within their length.
TEST_F(CmdLine, ListFileWordsAreAddedLastFirst)
{
    writeFile("list", "a.c\t b.c\r\n\n");
    EXPECT_EQ(parse({"-h", "h@1", "-b", "b", "-i", "x", "@list", "y", "-db", "@list", "-in", "@list"}), 0);
    EXPECT_STREQ(inputFiles, " x.TXT b.c.TXT a.c.TXT y.TXT b.c.NON a.c.NON");
    EXPECT_STREQ(depFiles, " b.c.BIN a.c.BIN");
}

TEST_F(CmdLine, ListFileIsReadWithinItsLength)
{
    writeFile("long", "aaaa.c bbbb.c cccc.c\n");
    writeFile("short", "z.c");
    writeFile("nul", std::string("p.c\0q.c", 7));
    writeFile("high", "\xe9t\xe9.c\x7f");
    writeFile("blank", " \n\t");
    EXPECT_EQ(parse({"-h", "h@1", "-b", "b", "-i", "@long", "@short", "@nul", "@high", "@blank"}), 0);
    EXPECT_STREQ(inputFiles, " cccc.c.TXT bbbb.c.TXT aaaa.c.TXT z.c.TXT q.c.TXT p.c.TXT \xe9t\xe9.c\x7f.TXT");
}

TEST_F(CmdLine, MissingOrEmptyListFileEndsTheParse)
{
    for (char const* name : {"missing", "empty"}) {
        fresh();
        writeFile("empty", "");
        std::string value = std::string("@") + name;
        EXPECT_EQ(parse({"-h", "h@1", "-b", "b", "-d", "a", value, "b"}), 1);
        std::string const expected = std::string("@TS@ XRBE-017 The file, ") + name +
                                     ", was not found on the file system.\n\n  Recovery: \n  \n"
                                     "  Verify that the filename has been specified correctly and \n"
                                     "  the file exists. \n  \n@TS@ " +
                                     USAGE_HEAD;
        EXPECT_EQ(out_.substr(0, expected.size()), expected);
        EXPECT_STREQ(depFiles, " a.TXT");
    }
}

// A list file that is not a regular file is reported as a missing one: a
// folder ("-ib h @.") is not taken for a file of 2^63-1 bytes, and a FIFO
// does not hold the parse.  The parse runs in a child with an alarm.
TEST_F(CmdLine, ListFileMustBeARegularFile)
{
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    for (char const* value : {"@.", "@fifo"}) {
        fresh();
        std::fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            alarm(5);
            _exit(parse({"-h", "h@1", "-b", "b", "-ib", "h", value}) == 1 &&
                          out_.find(std::string("XRBE-017 The file, ") + (value + 1) + ", was not found") !=
                              std::string::npos
                      ? 0
                      : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << value << ": ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << value;
    }
}

// A row that can never be read, or has nowhere to put its value, is a row
// added wrong.
TEST(OptionTable, EveryRowIsReachableAndHasSomewhereToPutItsValues)
{
    std::set<std::string> seen;
    for (std::size_t i = 0; i < optionCount; ++i) {
        Option const& o = options[i];
        std::string text = o.text;
        EXPECT_TRUE(seen.insert(text).second) << text << " is in the table twice";
        EXPECT_TRUE(text.size() >= 2 && text[0] == '-' && text[1] != '-') << text << " would be taken for a value";
        EXPECT_GT(o.code, 0) << text << ": 0 means an unknown flag";
        if (o.arity == Arity::None)
            continue;
        bool stored =
            o.onValue != nullptr || o.fills.setting != nullptr || (o.fills.list != nullptr && o.tag != nullptr);
        EXPECT_TRUE(stored) << text << " takes values but keeps none";
    }
}

// The usage text lists every flag the parser knows, and no other: "-f[t | b]"
// stands for -f, -ft and -fb, "-l[c][a]" for -l, -lc, -la and -lca.
TEST(OptionTable, UsageListsExactlyTheFlagsOfTheTable)
{
    std::string const usage = msgGet(XRBI_001_CLIENT_USAGE, "xrbbldc");
    std::set<std::string> listed;
    std::regex const flag("-[A-Za-z]+((\\[[^\\]]*\\])*)");
    std::regex const group("\\[([^\\]]*)\\]");
    std::regex const letter("[a-z]+");
    for (std::sregex_iterator m(usage.begin(), usage.end(), flag), end; m != end; ++m) {
        std::string const whole = (*m)[0];
        std::vector<std::string> forms{whole.substr(0, whole.find('['))};
        std::string const groups = (*m)[1];
        for (std::sregex_iterator g(groups.begin(), groups.end(), group); g != end; ++g) {
            std::vector<std::string> letters;
            std::string const alternatives = (*g)[1];
            for (std::sregex_iterator a(alternatives.begin(), alternatives.end(), letter); a != end; ++a)
                letters.push_back((*a)[0]);
            std::vector<std::string> longer;
            for (std::string const& f : forms)
                for (std::string const& l : letters)
                    longer.push_back(f + l);
            forms.insert(forms.end(), longer.begin(), longer.end());
        }
        listed.insert(forms.begin(), forms.end());
    }
    // The two letters of -l may come in either order.
    listed.insert("-lac");

    std::set<std::string> known;
    for (std::size_t i = 0; i < optionCount; ++i)
        known.insert(options[i].text);
    EXPECT_EQ(listed, known);
    EXPECT_EQ(listed.size(), 36u);
}

// How many values each flag takes, seen through the parser: a flag without a
// value is complete alone, a one-value flag takes exactly one, a list flag
// takes several; the last two refuse the end of the line.  -version ends
// the process and is seen in VersionEndsWithStatusZeroEvenAfterAnError.
TEST_F(CmdLine, EveryFlagTakesTheValuesOfItsKind)
{
    struct {
        Arity arity;
        std::vector<char const*> flags;
    } const kinds[] = {
        {Arity::None, {"-V", "-testServer"}},
        {Arity::One,
         {"-h", "-f", "-ft", "-fb", "-b", "-k", "-r", "-n", "-c", "-T", "-P", "-l", "-lc", "-la", "-lca", "-lac", "-au",
          "-ap", "-proclib"}},
        {Arity::List, {"-p", "-i", "-it", "-ib", "-in", "-o", "-ob", "-ot", "-on", "-d", "-dt", "-db", "-dn", "-v"}},
    };
    std::set<std::string> checked{"-version"};
    for (auto const& kind : kinds) {
        for (char const* flag : kind.flags) {
            checked.insert(flag);
            std::string const f = flag;
            // A value each flag accepts; -au keeps the guest, so no manager is asked.
            std::string const value = f == "-c"    ? "GE"
                                      : f == "-v"  ? "a=b"
                                      : f == "-au" ? "GuestUser"
                                      : f == "-h"  ? "h@1"
                                                   : "v";
            std::vector<std::string> const line{"-h", "h@1", "-b", "b", f};
            fresh();
            int const alone = parse(line);
            if (kind.arity == Arity::None) {
                EXPECT_EQ(alone, 0) << f << ": " << out_;
                continue;
            }
            EXPECT_EQ(alone, 1) << f;
            EXPECT_NE(out_.find("XRBE-002 Expecting value for flag " + f + ","), std::string::npos)
                << f << ": " << out_;

            std::vector<std::string> two = line;
            two.insert(two.end(), {value, value});
            fresh();
            int const twice = parse(two);
            if (kind.arity == Arity::List) {
                EXPECT_EQ(twice, 0) << f << ": " << out_;
            } else {
                EXPECT_EQ(twice, 1) << f;
                EXPECT_NE(out_.find("XRBE-001 Expecting a valid flag, found '" + value + "'"), std::string::npos)
                    << f << ": " << out_;
            }
        }
    }
    std::set<std::string> known;
    for (std::size_t i = 0; i < optionCount; ++i)
        known.insert(options[i].text);
    EXPECT_EQ(checked, known) << "a flag whose kind this test does not know";
}

// A test's reset gives back what a new process has once main has assigned
// its defaults, also the settings only program start assigns.
TEST(Settings, ResetGivesEverySettingItsDefault)
{
    unsetenv("XRB_LANG");
    verbosity = 3;
    ping = 2;
    buildOpts = 5;
    logToScreenToo = 0;
    buildUserid = "someone";
    buildPassword = "pw";
    buildProclib = "LIB";
    nlsLanguage = "deu";
    peerVersion = "9.9";
    timeout = "99";
    logFileName = "/dev/null";
    resetSettings();
    EXPECT_EQ(verbosity, 0);
    EXPECT_EQ(ping, 0);
    EXPECT_EQ(buildOpts, 0);
    EXPECT_EQ(logToScreenToo, 1);
    EXPECT_STREQ(buildUserid, "GuestUser");
    EXPECT_STREQ(buildPassword, "");
    EXPECT_STREQ(buildProclib, "");
    EXPECT_STREQ(nlsLanguage, "enu");
    EXPECT_STREQ(peerVersion, "");
    EXPECT_STREQ(timeout, "10");
    EXPECT_STREQ(logFileName, "xrbbldc.log");
    EXPECT_STREQ(myVersion, "1.0.4.0.QVX");

    setenv("XRB_LANG", "deu", 1);
    resetSettings();
    EXPECT_STREQ(nlsLanguage, "deu");
    unsetenv("XRB_LANG");
    resetSettings();
}

} // namespace
