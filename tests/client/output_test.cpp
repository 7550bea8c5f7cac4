#include "client/settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "../support/childproc.h"

namespace {

using childproc::readAll;

class Output : public childproc::TempDirTest {
protected:
    void SetUp() override
    {
        childproc::TempDirTest::SetUp();
        log_ = dir + "/xrbbldc.log";
        savedLog_ = logFileName;
        logFileName = log_.c_str();
        logToScreenToo = 1;
    }
    void TearDown() override
    {
        logFileName = savedLog_;
        logToScreenToo = 1;
        childproc::TempDirTest::TearDown();
    }
    std::string log_;
    TCString savedLog_;
};

// True when text is exactly each of the entries, each behind a time stamp
// such as "26/12/08 07:41:13 ".
bool stamped(std::string const& text, std::vector<std::string> const& entries)
{
    static char const shape[] = "dd/dd/dd dd:dd:dd ";
    std::size_t at = 0;
    for (auto const& e : entries) {
        for (std::size_t i = 0; i < sizeof shape - 1; ++i, ++at) {
            if (at >= text.size())
                return false;
            char c = text[at];
            if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(c)) : c != shape[i])
                return false;
        }
        if (text.compare(at, e.size(), e) != 0)
            return false;
        at += e.size();
    }
    return at == text.size();
}

TEST_F(Output, TalkStampsEveryCallInLogAndOnScreen)
{
    testing::internal::CaptureStdout();
    _talk("%s", "first part, ");
    _talk("value %d\n", 7);
    std::string out = testing::internal::GetCapturedStdout();
    std::vector<std::string> want{"first part, ", "value 7\n"};
    EXPECT_TRUE(stamped(out, want)) << out;
    EXPECT_TRUE(stamped(readAll(log_), want)) << readAll(log_);
}

TEST_F(Output, LogIsAppendedNotReplaced)
{
    {
        std::ofstream pre(log_);
        pre << "earlier\n";
    }
    logToScreenToo = 0;
    testing::internal::CaptureStdout();
    _talk("%s", "later\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    std::string after = readAll(log_);
    ASSERT_EQ(after.compare(0, 8, "earlier\n"), 0);
    EXPECT_TRUE(stamped(after.substr(8), {"later\n"})) << after;
    _talk(nullptr);
    std::string log = readAll(log_);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

TEST_F(Output, TextsPassedAsDataKeepTheirPercentSigns)
{
    char const* serverText = "file a%20b.c: %d %s %n done\n";
    testing::internal::CaptureStdout();
    _talk("%s", serverText);
    Error("%s", serverText);
    std::string out = testing::internal::GetCapturedStdout();
    std::vector<std::string> want{serverText, serverText};
    EXPECT_TRUE(stamped(out, want)) << out;
    EXPECT_TRUE(stamped(readAll(log_), want)) << readAll(log_);
}

TEST_F(Output, ErrorGoesToStandardErrorOnlyWhenScreenIsOff)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Error("%s %d\n", "code", 5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(stamped(testing::internal::GetCapturedStdout(), {"code 5\n"}));

    logToScreenToo = 0;
    testing::internal::CaptureStderr();
    Error("%s %d\n", "code", 6);
    Error(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "code 6\n");
    EXPECT_TRUE(stamped(readAll(log_), {"code 5\n", "code 6\n"}));
}

TEST_F(Output, LongErrorIsCutAtTheBuffersEnd)
{
    std::string big(50000, 'x');
    logToScreenToo = 0;
    testing::internal::CaptureStderr();
    Error("%s", big.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(39999, 'x'));
    std::string log = readAll(log_);
    EXPECT_EQ(log.size(), 18u + 39999u);
}

TEST_F(Output, UnopenableLogStillReachesTheScreen)
{
    std::string missing = dir + "/no/such/dir/x.log";
    logFileName = missing.c_str();
    testing::internal::CaptureStdout();
    _talk("%s", "still shown\n");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(stamped(out, {"still shown\n"})) << out;
}

// Two clients sharing a log interleave whole calls, also when a
// text is longer than a stdio buffer (4 KiB).
TEST_F(Output, TwoProcessesSharingTheLogInterleaveWholeCalls)
{
    constexpr int CALLS = 300;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    // Both writers start together, so their calls overlap.
    auto writer = [&gate](char mark) {
        close(gate[1]);
        char c;
        if (read(gate[0], &c, 1) != 0)
            _exit(2);
        logToScreenToo = 0;
        for (int i = 0; i < CALLS; ++i) {
            std::string text(4500 + static_cast<std::size_t>(i) * 37 % 6000, mark);
            text += '\n';
            _talk("%s", text.c_str());
        }
        _exit(0);
    };
    pid_t a = fork();
    if (a == 0)
        writer('A');
    pid_t b = fork();
    if (b == 0)
        writer('B');
    close(gate[0]);
    close(gate[1]);
    int sa = 0, sb = 0;
    waitpid(a, &sa, 0);
    waitpid(b, &sb, 0);
    ASSERT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0);
    ASSERT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0);

    // Every entry is a time stamp and one writer's whole text.
    std::string log = readAll(log_);
    int seen[2] = {0, 0};
    std::size_t at = 0;
    while (at < log.size()) {
        std::size_t nl = log.find('\n', at);
        ASSERT_NE(nl, std::string::npos);
        std::string entry = log.substr(at, nl + 1 - at);
        ASSERT_GT(entry.size(), 18u);
        std::string body = entry.substr(18, entry.size() - 19);
        ASSERT_FALSE(body.empty());
        char mark = body[0];
        ASSERT_TRUE(mark == 'A' || mark == 'B') << entry.substr(0, 40);
        int i = seen[mark - 'A']++;
        ASSERT_TRUE(stamped(entry, {std::string(4500 + static_cast<std::size_t>(i) * 37 % 6000, mark) + "\n"}))
            << "entry " << i << " of " << mark << " is not whole: " << entry.size() << " bytes, starts "
            << entry.substr(0, 40);
        at = nl + 1;
    }
    EXPECT_EQ(seen[0], CALLS);
    EXPECT_EQ(seen[1], CALLS);
}

TEST(Settings, DefaultsAndLanguage)
{
    buildScript = "left over";
    inputFiles = " a.c.TXT";
    unsetenv("XRB_LANG");
    nlsLanguage = "enu";
    setDefaults();
    EXPECT_TRUE(logFileName == "xrbbldc.log");
    EXPECT_TRUE(buildScript == "");
    EXPECT_TRUE(inputFiles == "");
    EXPECT_EQ(buildScriptFileType, 25);
    EXPECT_TRUE(clientCodepage == "ISO8859-1");
    EXPECT_TRUE(serverCodepage == "QVX-1047");
    EXPECT_TRUE(goodrc == "0");
    EXPECT_TRUE(goodcond == "EQ");
    EXPECT_TRUE(timeout == "10");
    EXPECT_TRUE(nlsLanguage == "enu");
    EXPECT_TRUE(myVersion == "1.0.4.0.QVX");

    setenv("XRB_LANG", "", 1);
    setDefaults();
    EXPECT_TRUE(nlsLanguage == "");
    setenv("XRB_LANG", "deu", 1);
    setDefaults();
    EXPECT_TRUE(nlsLanguage == "deu");
    unsetenv("XRB_LANG");
    nlsLanguage = "enu";
}

} // namespace
