// The conversation's local rules: where the process-id file goes, which
// message-file names are refused, and how printable message files are shown.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "client/conversation.h"
#include "client/settings.h"

namespace {

std::string printed(std::string const& contents)
{
    char path[] = "/tmp/xrb-msgfile-XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
    close(fd);
    FILE* out = std::tmpfile();
    Landing where;
    EXPECT_TRUE(landingOf("/tmp/", path + 5, where));
    printMessageFile(where, out);
    std::rewind(out);
    std::string result;
    for (int c; (c = std::fgetc(out)) != EOF;)
        result.push_back(static_cast<char>(c));
    std::fclose(out);
    std::remove(path);
    return result;
}

std::string slurp(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace

TEST(PidFileName, FolderIsThePrefixUpToItsLastSlash)
{
    EXPECT_EQ(pidFileNameFor("/tmp/b/job."), "/tmp/b/xrbbldc.pid");
    EXPECT_EQ(pidFileNameFor("out/"), "out/xrbbldc.pid");
    EXPECT_EQ(pidFileNameFor("job_"), "job_xrbbldc.pid");
    // A slash in the first position does not count.
    EXPECT_EQ(pidFileNameFor("/job_"), "/job_xrbbldc.pid");
}

TEST(PidFileName, NoneForPrefixesOfAtMostOneCharacter)
{
    EXPECT_EQ(pidFileNameFor(""), "");
    EXPECT_EQ(pidFileNameFor("x"), "");
    EXPECT_EQ(pidFileNameFor("/"), "");
}

TEST(PidFileName, LongPrefixIsKeptWhole)
{
    std::string folder = "/tmp/" + std::string(200, 'd') + "/";
    EXPECT_EQ(pidFileNameFor(folder + "job."), folder + "xrbbldc.pid");
}

TEST(PidFile, HoldsTheProcessIdAndABlank)
{
    char dir[] = "/tmp/xrb-pid-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    msgfilePrefix = (std::string(dir) + "/job.").c_str();
    writePidFile();
    EXPECT_EQ(slurp(std::string(dir) + "/xrbbldc.pid"), std::to_string(getpid()) + " ");
    EXPECT_EQ(std::string(pidFileName), std::string(dir) + "/xrbbldc.pid");
    std::remove((std::string(dir) + "/xrbbldc.pid").c_str());

    // A folder that does not exist costs the file, silently.
    msgfilePrefix = (std::string(dir) + "/missing/job.").c_str();
    writePidFile();
    EXPECT_NE(access((std::string(dir) + "/missing").c_str(), F_OK), 0);
    rmdir(dir);
    msgfilePrefix = "";
}

// Without a second user (tests/sharedfiles has the planted-link attack):
// a link at the pid file's name, or a file with a second name, is left alone;
// an earlier pid file of ours is emptied and rewritten.
TEST(PidFile, LinksAndSecondNamesAreNotWritten)
{
    char dir[] = "/tmp/xrb-pid-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string d = dir, pidName = d + "/xrbbldc.pid", victim = d + "/victim";
    std::ofstream(victim) << "precious\n";
    msgfilePrefix = (d + "/job.").c_str();

    ASSERT_EQ(symlink(victim.c_str(), pidName.c_str()), 0);
    writePidFile();
    EXPECT_EQ(slurp(victim), "precious\n");
    std::remove(pidName.c_str());

    ASSERT_EQ(symlink((d + "/nowhere").c_str(), pidName.c_str()), 0);
    writePidFile();
    EXPECT_NE(access((d + "/nowhere").c_str(), F_OK), 0);
    std::remove(pidName.c_str());

    ASSERT_EQ(link(victim.c_str(), pidName.c_str()), 0);
    writePidFile();
    EXPECT_EQ(slurp(victim), "precious\n");
    std::remove(pidName.c_str());

    std::ofstream(pidName) << "99999999 from an earlier run\n";
    writePidFile();
    EXPECT_EQ(slurp(pidName), std::to_string(getpid()) + " ");

    for (char const* f : {"xrbbldc.pid", "victim"})
        std::remove((d + "/" + f).c_str());
    rmdir(dir);
    msgfilePrefix = "";
}

TEST(MessageFileName, NamesInsideTheFolderAreTaken)
{
    for (char const* name : {"SYSPRINT.OUT", "sub/X.MSG", "a..b.ERR", "..x.OUT", "LIB(MEMBER).MSG"})
        EXPECT_TRUE(isSafeMessageFileName(name)) << name;
}

TEST(MessageFileName, EscapesAreRefusedAfterEveryConversion)
{
    for (char const* name : {"../x.OUT", "..\\x.OUT", "..(x.OUT", "/abs.OUT", "\\abs.OUT", "a/../../b.ERR",
                             "x\\..\\..\\y.MSG", "...OUT", "..", "sub/.."})
        EXPECT_FALSE(isSafeMessageFileName(name)) << name;
}

TEST(MessageFilePrinting, FormFeedsBecomeNewlinesAndEachPieceGetsOne)
{
    EXPECT_EQ(printed("abc\f\nsecond\n"), "abc\n\n\nsecond\n\n");
    EXPECT_EQ(printed("no newline at the end"), "no newline at the end\n");
    EXPECT_EQ(printed(""), "");
}

TEST(MessageFilePrinting, LongLinesComeInPiecesOf255)
{
    std::string line(300, 'x');
    EXPECT_EQ(printed(line + "\n"), std::string(255, 'x') + "\n" + std::string(45, 'x') + "\n\n");
}

TEST(MessageFilePrinting, MissingFileIsSkipped)
{
    FILE* out = std::tmpfile();
    Landing where;
    ASSERT_TRUE(landingOf("/nonexistent/xrb/", "file.OUT", where));
    printMessageFile(where, out);
    EXPECT_EQ(std::ftell(out), 0);
    std::fclose(out);
}
