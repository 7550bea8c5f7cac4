// Trace statements of the foundation units reach the trace file.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "../support/childproc.h"
#include "base/common.h"
#include "base/util.h"
#include "trace/fhgtrace.h"

namespace {

class TracePoints : public childproc::TempDirTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(TRACEFLAG, 2);
        childproc::TempDirTest::SetUp();
        trace = dir + "/trace.out";
    }
    std::string trace;
};

TEST_F(TracePoints, MakePathCreatesTheFoldersParentFirst)
{
    auto r = childproc::run(
        {{"XRB_TRACE", "util"}, {"XRB_TRACEFILE", trace}},
        [] {
            char path[] = "x/y/z";
            return makePath(path, 0755);
        },
        dir);
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st;
    EXPECT_EQ(stat((dir + "/x/y/z").c_str(), &st), 0);

    std::string log = childproc::readAll(trace);
    size_t x = log.find(" makeDir(x, 493 )\n");
    size_t y = log.find(" makeDir(x/y, 493 )\n");
    size_t z = log.find(" makeDir(x/y/z, 493 )\n");
    ASSERT_NE(x, std::string::npos) << log;
    ASSERT_NE(y, std::string::npos) << log;
    ASSERT_NE(z, std::string::npos) << log;
    EXPECT_LT(x, y);
    EXPECT_LT(y, z);
    EXPECT_NE(log.find("util("), std::string::npos);
    EXPECT_NE(log.find(" makePath rc=0\n"), std::string::npos);
}

TEST_F(TracePoints, CommandServicesTraceTheirCommand)
{
    auto r = childproc::run(
        {{"XRB_TRACE", "common"}, {"XRB_TRACEFILE", trace}},
        [] {
            comSystem sys(8);
            return sys.createDirectory("new dir");
        },
        dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = childproc::readAll(trace);
    EXPECT_NE(log.find(" common("), std::string::npos) << log;
    EXPECT_NE(log.find(" Entering createDirectory\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" Exiting createDirectory: cmd=mkdir 'new dir' rc=0\n"), std::string::npos) << log;
}

} // namespace
