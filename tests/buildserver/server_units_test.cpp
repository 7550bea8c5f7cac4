// The server's decisions that a wrong answer would turn into a hole or a
// wrong verdict: where a travelling name lands, how a return code is
// judged, what the credentials file and the command line accept.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "../support/childproc.h"
#include "folders.h"
#include "options.h"
#include "runner.h"

namespace {

std::string landing(std::string const& wire)
{
    std::string local;
    return workPath(wire, local) ? local : "<refused>";
}

TEST(WorkPath, KeepsFoldersAndDropsTheTag)
{
    struct {
        char const* wire;
        char const* local;
    } const cases[] = {{"src/a.c.TXT", "src/a.c"},
                       {"a.o.BIN", "a.o"},
                       {"x.NON", "x"},
                       {"my%20file.c.TXT", "my file.c"},
                       {"dir\\\\sub\\\\b.c.TXT", "dir//sub//b.c"},
                       {"dir\\sub\\b.c.TXT", "dir/sub/b.c"},
                       {"/home/ann/a.c.TXT", "home/ann/a.c"},
                       {"//a.c.TXT", "a.c"},
                       {"a..b/c...d.TXT", "a..b/c...d"}};
    for (auto const& c : cases)
        EXPECT_EQ(landing(c.wire), c.local) << c.wire;
}

TEST(WorkPath, RefusesWhatLeavesTheFolder)
{
    for (char const* wire : {"../a.c.TXT", "src/../../a.c.TXT", "..\\a.c.TXT", "a/..\\..\\b.TXT", "/...TXT", "...TXT",
                             "a/...TXT", ".TXT", "/.TXT", "", "/"})
        EXPECT_EQ(landing(wire), "<refused>") << wire;
}

TEST(Judge, EveryConditionBothWays)
{
    EXPECT_TRUE(judge(0, 0, "EQ"));
    EXPECT_FALSE(judge(1, 0, "EQ"));
    EXPECT_TRUE(judge(1, 0, "NE"));
    EXPECT_FALSE(judge(0, 0, "NE"));
    EXPECT_TRUE(judge(4, 4, "GE"));
    EXPECT_FALSE(judge(3, 4, "GE"));
    EXPECT_TRUE(judge(4, 4, "LE"));
    EXPECT_FALSE(judge(5, 4, "LE"));
    EXPECT_TRUE(judge(3, 4, "LT"));
    EXPECT_FALSE(judge(4, 4, "LT"));
    EXPECT_TRUE(judge(5, 4, "GT"));
    EXPECT_FALSE(judge(4, 4, "GT"));
    EXPECT_FALSE(judge(0, 0, "eq"));
    EXPECT_FALSE(judge(0, 0, ""));
}

TEST(Verdict, NamesTheCauseOfAFailure)
{
    bool good = true;
    RunResult exited;
    exited.rc = 0;
    EXPECT_EQ(verdictText(exited, 0, "EQ", {}, good), "XRBBLDS: return code 0, good when EQ 0: build good\n");
    EXPECT_TRUE(good);
    EXPECT_EQ(verdictText(exited, 0, "EQ", {"obj/a.o"}, good),
              "XRBBLDS: output file obj/a.o was not produced\n"
              "XRBBLDS: return code 0, good when EQ 0: build failed, output files missing\n");
    EXPECT_FALSE(good);
    RunResult killed;
    killed.signal = 9;
    EXPECT_EQ(verdictText(killed, 0, "NE", {}, good), "XRBBLDS: the build script ended by signal 9\n"
                                                      "XRBBLDS: return code -1, good when NE 0: build failed\n");
    EXPECT_FALSE(good);
    RunResult late;
    late.timedOut = true;
    late.rc = 0;
    verdictText(late, 0, "EQ", {}, good);
    EXPECT_FALSE(good);
}

TEST(ScriptName, OnlyPlainNames)
{
    EXPECT_TRUE(isPlainName("cc"));
    EXPECT_TRUE(isPlainName("build.1"));
    for (char const* name : {"", ".", "..", "a/b", "../cc", "a\\b", "/bin/sh"})
        EXPECT_FALSE(isPlainName(name)) << name;
}

class CredentialsFile : public childproc::TempDirTest {
protected:
    void SetUp() override
    {
        childproc::TempDirTest::SetUp();
        path_ = dir + "/auth";
    }

    std::string load(std::string const& text, mode_t mode, std::vector<Credential>& out)
    {
        FILE* f = std::fopen(path_.c_str(), "w");
        std::fputs(text.c_str(), f);
        std::fclose(f);
        chmod(path_.c_str(), mode);
        return loadCredentials(path_, out);
    }

    std::string path_;
};

TEST_F(CredentialsFile, ReadsUserPasswordLines)
{
    std::vector<Credential> users;
    EXPECT_EQ(load("# users\n\nann:secret\r\nbob:with:colons\ncarl:\n", 0600, users), "");
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(users[0].user, "ann");
    EXPECT_EQ(users[0].password, "secret");
    EXPECT_EQ(users[1].password, "with:colons");
    EXPECT_EQ(users[2].password, "");
}

TEST_F(CredentialsFile, RefusesWhatOthersMayReadOrWrite)
{
    for (mode_t mode : {0604, 0640, 0620, 0602, 0610, 0644}) {
        std::vector<Credential> users;
        std::string why = load("ann:secret\n", mode, users);
        EXPECT_NE(why.find("is open to other users"), std::string::npos) << std::oct << mode;
    }
    std::vector<Credential> users;
    EXPECT_EQ(load("ann:secret\n", 0400, users), "");
}

TEST_F(CredentialsFile, RefusesMalformedLines)
{
    std::vector<Credential> users;
    EXPECT_EQ(load("ann:secret\n:nouser\n", 0600, users),
              "the credentials file " + path_ + ", line 2: expected user:password");
}

std::string parse(std::vector<char const*> args, Options& out)
{
    args.insert(args.begin(), "xrbblds");
    return parseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), out);
}

TEST(CommandLine, DefaultsAndValues)
{
    Options o;
    EXPECT_EQ(parse({"--scripts", "s"}, o), "");
    EXPECT_GE(o.config.jobs, 1);
    EXPECT_EQ(o.config.idleTimeout, 30);
    EXPECT_EQ(o.port, 0);
    Options p;
    EXPECT_EQ(
        parse({"--scripts", "s", "--jobs", "7", "--idle-timeout", "0", "--port", "65535", "--keep", "--max", "3"}, p),
        "");
    EXPECT_EQ(p.config.jobs, 7);
    EXPECT_EQ(p.config.idleTimeout, 0);
    EXPECT_EQ(p.port, 65535);
    EXPECT_TRUE(p.config.keepWork);
    EXPECT_EQ(p.config.maxConnections, 3);
}

TEST(CommandLine, NumbersAreWholeAndInRange)
{
    for (char const* bad : {"0", "-1", "1x", "", " 2", "99999999999", "1025"}) {
        Options o;
        EXPECT_NE(parse({"--scripts", "s", "--jobs", bad}, o), "") << bad;
    }
}

TEST(CommandLine, OneModeOnly)
{
    Options both, neither, help;
    EXPECT_NE(parse({"--scripts", "s", "--script", "t"}, both), "");
    EXPECT_NE(parse({"--port", "0"}, neither), "");
    EXPECT_EQ(parse({"--help"}, help), "");
    EXPECT_TRUE(help.help);
}

} // namespace
