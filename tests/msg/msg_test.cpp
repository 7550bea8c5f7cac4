#include "msg/msg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <unistd.h>

namespace {

std::string Flow(std::string const& text)
{
    std::string copy = text;
    return msgFlow(&copy[0]);
}

class NoFlowUnset : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("TC_MSG_NOFLOW"); }
    void TearDown() override { unsetenv("TC_MSG_NOFLOW"); }
};

using MsgGet = NoFlowUnset;

TEST_F(MsgGet, FlowsTraceWarningToTwoLines)
{
    EXPECT_STREQ(msgGet(XRBW_001_TRACE_ENABLED, "1", "trace.out"),
                 "XRBW-001 Trace is enabled. This can cause significant performance\n"
                 "         degradation.\n");
}

TEST_F(MsgGet, KeepsIndentedRecoveryLines)
{
    EXPECT_STREQ(msgGet(XRBE_016_BUILD_ABORTED), "XRBE-016 The build server terminated the build abnormally.\n"
                                                 "\n"
                                                 "  Recovery: \n"
                                                 "  \n"
                                                 "  Examine the messages issued by the build server and \n"
                                                 "  determine the cause. \n"
                                                 "  \n");
}

TEST_F(MsgGet, InsertsPositionalValuesBeforeFlowing)
{
    EXPECT_STREQ(msgGet(XRBE_003_VALUE_EXPECTED, "-h", "-x"), "XRBE-003 Expecting value for flag -h, found -x.\n");
    EXPECT_STREQ(msgGet(XRBE_015_INVALID_PACKET, 3, 4),
                 "XRBE-015 An internal error occurred.\n"
                 "\n"
                 "         The build server received an invalid packet from the client.\n"
                 "         Expecting: 3 Received: 4\n"
                 "\n"
                 "  Recovery: \n"
                 "  \n"
                 "  Verify that the client and server are at mutually \n"
                 "  compatible versions. \n"
                 "  Report the problem to QVX \n"
                 "  \n");
}

TEST_F(MsgGet, TextsWithoutLeadingIdAreUnchanged)
{
    EXPECT_STREQ(msgGet(XRBE_022_CONNECTION_BROKEN), msgFormat(XRBE_022_CONNECTION_BROKEN));
    EXPECT_STREQ(msgGet(MSG_FAILED), "*** Failed *** \n");
    EXPECT_STREQ(msgGet(MSG_SUCCESS), "*** Success ***\n");
    EXPECT_STREQ(msgGet(XRBI_006_COMMAND_TIMED_OUT, "30"), "\nXRBI-006 The command timed out after 30 seconds.\n");
}

TEST_F(MsgGet, NoFlowEnvironmentKeepsTableLayout)
{
    setenv("TC_MSG_NOFLOW", "", 1);
    EXPECT_STREQ(msgGet(XRBW_001_TRACE_ENABLED, "1", "f"),
                 "\nXRBW-001\nTrace is enabled. This can cause significant\nperformance degradation.\n");
}

TEST(MsgFlow, CandidateNeedsTwelveBytes)
{
    EXPECT_FALSE(msgIsFlowCandidate("\nXRBW-001\na")); // 11 bytes
    EXPECT_TRUE(msgIsFlowCandidate("\nXRBW-001\nab")); // 12 bytes
    EXPECT_FALSE(msgIsFlowCandidate("XRBE-022\nThe connection"));
    EXPECT_FALSE(msgIsFlowCandidate("\nXRBI-006 The command timed out"));
}

TEST(MsgFlow, LongFirstWordLeavesIdAlone)
{
    std::string w69(69, 'a'), w68(68, 'b');
    EXPECT_EQ(Flow("\nXRBW-001\n" + w69 + "\n"), "XRBW-001\n         " + w69 + "\n");
    EXPECT_EQ(Flow("\nXRBW-001\n" + w68 + "\n"), "XRBW-001 " + w68 + "\n");
    std::string w90(90, 'c');
    EXPECT_EQ(Flow("\nXRBW-001\nx " + w90), "XRBW-001 x\n         " + w90);
}

TEST(MsgFlow, WordReachingColumn79MovesToContinuationLine)
{
    std::string w66(66, 'a');
    // "XRBW-001 " + 66 = 75 characters; " bc" would end in column 78.
    EXPECT_EQ(Flow("\nXRBW-001\n" + w66 + " bc"), "XRBW-001 " + w66 + "\n         bc");
    EXPECT_EQ(Flow("\nXRBW-001\n" + w66 + " b"), "XRBW-001 " + w66 + " b");
    // Continuation lines hold up to 78 characters.
    std::string w69(69, 'd');
    EXPECT_EQ(Flow("\nXRBW-001\n" + w66 + " bc " + std::string(66, 'e') + " f"),
              "XRBW-001 " + w66 + "\n         bc " + std::string(66, 'e') + "\n         f");
    EXPECT_EQ(Flow("\nXRBW-001\nx\n\n" + w69 + " g"), "XRBW-001 x\n\n         " + w69 + "\n         g");
}

TEST(MsgFlow, ParagraphsAndTabs)
{
    EXPECT_EQ(Flow("\nXRBW-001\nfirst\tpara.\n\nsecond\npara.\n"), "XRBW-001 first para.\n\n         second para.\n");
    EXPECT_EQ(Flow("\nXRBW-001\nlist:\n   - one\n   - two\nend"), "XRBW-001 list:\n   - one\n   - two\n         end");
}

TEST(MsgFlow, LongTextsUseAHeapAreaAndNeverOverflow)
{
    std::string words;
    while (words.size() < 25000)
        words += "word ";
    std::string out = Flow("\nXRBW-001\n" + words);
    ASSERT_EQ(out.compare(0, 13, "XRBW-001 word"), 0);
    EXPECT_GT(out.size(), 25000u);
    EXPECT_EQ(out.find("  "), out.find("\n        ") + 1);

    // Every word after an empty line opens a line of its own: the flowed text
    // grows far beyond 1.75 times the source and is cut at the area's end.
    std::string dense = "\nXRBW-001\n";
    while (dense.size() < 17000)
        dense += "\n\nx";
    std::string cut = Flow(dense);
    EXPECT_EQ(cut.size(), 30999u);
    EXPECT_EQ(Flow("\nXRBW-001\nshort"), "XRBW-001 short");
}

TEST(MsgLoad, AppendsAndFlowsWhateverTheEnvironment)
{
    setenv("TC_MSG_NOFLOW", "1", 1);
    char dest[2000] = "pre:";
    EXPECT_EQ(msgLoad(dest, XRBE_003_VALUE_EXPECTED, "-a", "b"), XRBE_003_VALUE_EXPECTED);
    EXPECT_STREQ(dest, "pre:XRBE-003 Expecting value for flag -a, found b.\n");
    msgLoad(dest, MSG_FAILED);
    EXPECT_STREQ(dest, "pre:XRBE-003 Expecting value for flag -a, found b.\n*** Failed *** \n");
    unsetenv("TC_MSG_NOFLOW");
    EXPECT_EQ(msgLoad(nullptr, XRBI_004_STEP_RETURN_CODE), XRBI_004_STEP_RETURN_CODE);
    EXPECT_EQ(msgReLoad(dest, MSG_SUCCESS), MSG_SUCCESS);
    EXPECT_STREQ(dest, "*** Success ***\n");
    EXPECT_EQ(msgReLoad(nullptr, MSG_SERVER_INFORMATION), MSG_SERVER_INFORMATION);
}

TEST(MsgCatalog, FallsBackToTheBuiltInTable)
{
    EXPECT_STREQ(msgRSSFormat(nullptr, MSG_SUCCESS), "*** Success ***\n");
    EXPECT_STREQ(msgRSSFormat(const_cast<char*>("/nonexistent/x.cat"), MSG_FAILED), "*** Failed *** \n");

    char dir[] = "/tmp/msgcatXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string src = std::string(dir) + "/m.msg", cat = std::string(dir) + "/m.cat";
    FILE* f = std::fopen(src.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("$set 1\n5 catalog text %1$s\n", f);
    std::fclose(f);
    std::string cmd = "gencat " + cat + " " + src;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_STREQ(msgRSSFormat(&cat[0], XRBI_001_CLIENT_USAGE), "catalog text %1$s");
    EXPECT_STREQ(msgRSSFormat(&cat[0], MSG_VERSION_LINE), "Error reading catalog file");
    char dest[200] = "";
    EXPECT_EQ(msgRSSLoad(&cat[0], dest, XRBI_001_CLIENT_USAGE, "v"), XRBI_001_CLIENT_USAGE);
    EXPECT_STREQ(dest, "catalog text v");

    setenv("XRB_CATALOG", cat.c_str(), 1);
    msgInit();
    EXPECT_EQ(msgClose(), 0);
    EXPECT_EQ(msgClose(), 0);
    unsetenv("XRB_CATALOG");
    std::remove(src.c_str());
    std::remove(cat.c_str());
    rmdir(dir);
}

TEST(MsgTable, IdsAreWellFormedAndOrdered)
{
    std::set<std::string> seen;
    for (int n = 1; n <= MSG_COUNT; ++n) {
        char const* t = msgFormat(static_cast<MsgId>(n));
        ASSERT_NE(t, nullptr);
        char const* id = std::strstr(t, "XRB");
        if (!id || id - t > 1)
            continue;
        std::string s(id, 8);
        EXPECT_TRUE(seen.insert(s).second) << s;
        EXPECT_TRUE(s[3] == 'I' || s[3] == 'W' || s[3] == 'E') << n;
        EXPECT_EQ(s[4], '-') << n;
    }
    EXPECT_EQ(seen.count("XRBE-043"), 0u);
    EXPECT_EQ(seen.size(), 15u + 7u + 78u);
    EXPECT_STREQ(msgFormat(MSG_LANGUAGE_NAME), "English (Internal)");
    EXPECT_STREQ(msgFormat(MSG_TABLE_VERSION), "|1.00||00/09/22|");
    EXPECT_STREQ(msgFormat(static_cast<MsgId>(0)), "");
    EXPECT_STREQ(msgFormat(static_cast<MsgId>(MSG_COUNT + 1)), "");
    // Exact wording the client relies on, odd spacing and spelling included.
    EXPECT_STREQ(msgFormat(XRBE_006_REQUIRED_FLAG), "\nXRBE-006\nRequired parameter flag %1$s not specifed.\n");
    EXPECT_STREQ(msgFormat(XRBE_002_VALUE_AT_END),
                 "\nXRBE-002\nExpecting value for flag %1$s,  found end of command string. \n");
    EXPECT_STREQ(msgFormat(MSG_VERSION_LINE),
                 "\n   %1$s Version:%2$s                     \n                                         \n\n");
    EXPECT_EQ(std::strncmp(msgFormat(XRBI_001_CLIENT_USAGE), "\nXRBI-001\nUsage:\n   %s\n      -h server@portno", 44),
              0);
}

TEST(Lang2int, KnownCodesOnly)
{
    EXPECT_EQ(lang2int("enu"), 1);
    EXPECT_EQ(lang2int("deu"), 4);
    EXPECT_EQ(lang2int("cht"), 11);
    EXPECT_EQ(lang2int("DEU"), 1);
    EXPECT_EQ(lang2int(""), 1);
    EXPECT_EQ(lang2int(nullptr), 1);
}

} // namespace
