// Hostile message-file names from the server, fed both to the check
// (isSafeMessageFileName) and to the writer (the result phase, which asks a
// peer for each listed file and writes it where it lands).  The two agree:
// a refused name writes nothing, an accepted one lands where its landing
// says, and nothing at all appears outside the user's folder.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "../protocol/peer.h"
#include "../support/childproc.h"
#include "client/conversation.h"
#include "client/settings.h"
#include "protocol/xrbbld.h"

namespace {

using childproc::makeTempDir;
using childproc::readAll;
using childproc::removeTree;

char const CONTENTS[] = "landed";

// Every entry below dir, folders with a trailing "/".
void listTree(std::string const& dir, std::set<std::string>& out)
{
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = dir + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            out.insert(path + "/");
            listTree(path, out);
        } else {
            out.insert(path);
        }
    }
    closedir(d);
}

// An absolute path without its "." and empty components.
std::string tidy(std::string const& path)
{
    std::string out;
    for (std::string const& c : componentsOf(path))
        if (!c.empty() && c != ".")
            out += "/" + c;
    return out;
}

// The words of a list as the client reads them: runs of bytes above 32.
std::vector<std::string> wordsOf(std::string const& list)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : list + " ") {
        if (static_cast<unsigned char>(c) > 32) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

// The server's side of the result phase: the verdict with the list, then
// any file asked for, until the client ends or goes away.
int serveResult(int fd, std::string const& list)
{
    CommPacket ask(fd, 0);
    BuildResPacket verdict;
    verdict.set_result(ask.get_commtype() == COMM_REQ_RESULT ? 1 : 0);
    verdict.set_msgfiles(list.c_str());
    verdict.send(fd, 0);
    for (;;) {
        CommPacket next(fd, 0);
        if (next.get_commtype() == COMM_END) {
            CommPacket(COMM_END).send(fd, 0);
            return 0;
        }
        if (next.get_commtype() != COMM_REQ_FILE)
            return 3;
        FileBulkPacket(next.get_strdata(), sizeof CONTENTS - 1, CONTENTS).send(fd, 0);
    }
}

class HostileNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        logDir_ = makeTempDir();
        ASSERT_FALSE(logDir_.empty());
        savedLog_ = logFileName;
        savedPrefix_ = msgfilePrefix;
        logFileName = (logDir_ + "/xrbbldc.log").c_str();
    }
    void TearDown() override
    {
        logFileName = savedLog_;
        msgfilePrefix = savedPrefix_;
        logToScreenToo = 0;
        removeTree(logDir_);
    }

    // Runs the result phase on one list from the server under a fresh
    // sandbox (a folder two levels down, a file beside it to aim at) and
    // checks that the check and the writer agree on every word.  Returns
    // the check's verdicts, word by word.
    std::vector<bool> agree(std::string const& list, std::string const& tail)
    {
        std::vector<bool> safe;
        SCOPED_TRACE("list \"" + list + "\", prefix tail \"" + tail + "\"");
        std::string root = makeTempDir();
        std::string folder = root + "/in/deep";
        if (root.empty() || system(("mkdir -p '" + folder + "' '" + root + "/outside'").c_str()) != 0 ||
            system(("echo precious > '" + root + "/outside/precious'").c_str()) != 0) {
            ADD_FAILURE() << "no sandbox";
            return safe;
        }
        std::string prefix = folder + "/" + tail;
        msgfilePrefix = prefix.c_str();

        std::set<std::string> before;
        listTree(root, before);

        // Where each word may land, by the check's own decision.
        std::set<std::string> allowed;
        std::vector<std::string> words = wordsOf(list);
        for (std::string const& w : words) {
            safe.push_back(isSafeMessageFileName(w.c_str()));
            Landing where;
            EXPECT_EQ(landingOf(prefix.c_str(), w.c_str(), where), safe.back()) << w;
            if (safe.back())
                allowed.insert(tidy(where.path()));
        }

        SocketPair sp;
        pid_t peer = runPeer(sp, [&](int fd) { return serveResult(fd, list); });
        int fd = sp.a;
        sp.a = -1;
        runResultPhase(fd);
        // The phase closes the socket only after a clean end.
        if (fcntl(fd, F_GETFD) != -1)
            close(fd);
        waitPeer(peer);

        std::set<std::string> after;
        listTree(root, after);
        for (std::string const& entry : after) {
            if (before.count(entry) != 0)
                continue;
            EXPECT_EQ(entry.rfind(folder + "/", 0), 0u) << entry << " appeared outside the folder";
            if (entry.back() != '/') {
                EXPECT_EQ(allowed.count(entry), 1u) << entry << " was written but not accepted";
            }
        }
        EXPECT_EQ(readAll(root + "/outside/precious"), "precious\n");
        // The first word is fetched first: accepted and of a length the file
        // system takes, it is there with what the server sent.
        if (!words.empty() && safe[0] && words[0].size() < 200) {
            Landing where;
            landingOf(prefix.c_str(), words[0].c_str(), where);
            EXPECT_EQ(readAll(where.path()), CONTENTS) << where.path();
        }
        removeTree(root);
        return safe;
    }

    std::string logDir_;
    TCString savedLog_;
    TCString savedPrefix_;
};

using Verdicts = std::vector<bool>;
Verdicts const TAKEN{true}, REFUSED{false};

struct Case {
    char const* tail;  // what follows the folder in the prefix
    std::string list;  // as the server sends it
    Verdicts verdicts; // the check's, word by word
};

TEST_F(HostileNames, CheckAndWriterAgree)
{
    std::string const lengthy(300, 'n');
    std::string deepPath;
    for (int i = 0; i < 2100; ++i)
        deepPath += "d/";
    std::vector<Case> const cases = {
        // Below a folder prefix.
        {"", "SYSPRINT.OUT", TAKEN},
        {"", "sub/X.MSG", TAKEN},
        {"", "a..b.ERR", TAKEN},
        {"", "..x.OUT", TAKEN},
        {"", "x...OUT", TAKEN},
        {"", "LIB(MEMBER).MSG", TAKEN},
        {"", "a(b(c.MSG", TAKEN},
        {"", "a/./b.MSG", TAKEN},
        {"", "deep\\er\\f.ERR", TAKEN},
        {"", "caf\xc3\xa9\x7f.OUT", TAKEN},
        // Climbing or absolute, before or only after the conversions.
        {"", "..", REFUSED},
        {"", "../x.OUT", REFUSED},
        {"", "..\\x.OUT", REFUSED},
        {"", "..(x.OUT", REFUSED},
        {"", "/abs.OUT", REFUSED},
        {"", "\\abs.OUT", REFUSED},
        {"", "(abs.OUT", REFUSED},
        {"", "a/../../x.MSG", REFUSED},
        {"", "a\\..\\..\\x.MSG", REFUSED},
        {"", "a(..\\..\\x.OUT", REFUSED},
        {"", "a/b/../../../x.ERR", REFUSED},
        {"", "./../x.OUT", REFUSED},
        {"", "...OUT", REFUSED},
        {"", "sub/...ERR", REFUSED},
        {"", "../../../outside/precious.OUT", REFUSED},
        {"", "..\\..\\..\\outside\\precious.MSG", REFUSED},
        // Naming no file.
        {"", ".", REFUSED},
        {"", "sub/", REFUSED},
        {"", "./.OUT", REFUSED},
        // Longer than a name or a path may be: taken, and then not written.
        {"", lengthy + ".OUT", TAKEN},
        {"", deepPath + "f.MSG", TAKEN},
        {"", "../" + lengthy + ".OUT", REFUSED},
        // Control bytes part the list; the second word climbs.
        {"", "ok\x01../../../outside/x.OUT", {true, false}},
        {"", "ok\x1b../x.OUT", {true, false}},
        // After a file prefix the server's part is judged on its own: "job."
        // before "../x" does not make "job.../x" a name inside the folder,
        // and a "(" of the server's that is the first of the whole name
        // still makes it absolute.
        {"job.", "SYSPRINT.OUT", TAKEN},
        {"job.", "..x.OUT", TAKEN},
        {"job.", ".OUT", TAKEN},
        {"job.", "../x.OUT", REFUSED},
        {"job.", "/../x.OUT", REFUSED},
        {"job.", "\\..\\x.OUT", REFUSED},
        {"job.", "(..(x.OUT", REFUSED},
        {"job.", "(M).MSG", REFUSED},
        {"job.", "/x.OUT", REFUSED},
        {"job.", "x/../../y.MSG", REFUSED},
        // The prefix's "(" is the one converted: the server's stay as they
        // are, so "(..(x" is a plain name in the folder "p/q/", and a check
        // that converted the server's name alone would refuse what the
        // writer takes.
        {"p(q/job.", "(..(x.OUT", TAKEN},
        {"p(q/job.", "(M).MSG", TAKEN},
        {"p(q/job.", "a(b\\c.ERR", TAKEN},
        {"p(q/job.", "../x.OUT", REFUSED},
        {"p(q/job.", "\\..\\..\\x.OUT", REFUSED},
        {"p(q/job.", "/(x.OUT", REFUSED},
    };
    for (Case const& c : cases)
        EXPECT_EQ(agree(c.list, c.tail), c.verdicts) << c.tail << " " << c.list;
}

TEST_F(HostileNames, AZeroByteEndsTheName)
{
    // The check reads a name as the C text it is, as the wire does: what
    // follows a zero byte cannot smuggle a second name in.
    std::string name("ok.OUT\0../../x.OUT", 18);
    msgfilePrefix = "/tmp/xrb-nowhere/";
    EXPECT_TRUE(isSafeMessageFileName(name.c_str()));
    Landing where;
    ASSERT_TRUE(landingOf("/tmp/xrb-nowhere/", name.c_str(), where));
    EXPECT_EQ(where.path(), "/tmp/xrb-nowhere/ok");
    EXPECT_EQ(agree(name.c_str(), ""), TAKEN);
}

} // namespace
