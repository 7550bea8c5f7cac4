#include <gtest/gtest.h>

#include <string>

#include "client/credentials.h"
#include "client/settings.h"
#include "secmgr_fixture.h"

using namespace sectest;

namespace {

std::string const MARKER("XRB#END\0", 8);

void setUser(char const* user, char const* password)
{
    buildUserid = user;
    buildPassword = password;
    serverHostName = "buildhost";
}

} // namespace

TEST(Credentials, PasswordGivenIsStoredAndKept)
{
    FakeManager mgr({{"0" + MARKER, false}});
    EnvGuard port("XRBSEC_PORT", std::to_string(mgr.port()).c_str());
    setUser("someone", "pw1");

    processCredentials();

    ASSERT_EQ(mgr.requests().size(), 1u);
    EXPECT_EQ(mgr.requests()[0], "ADDUSER someone buildhost pw1");
    // The reply to a store is not read as a password.
    EXPECT_STREQ(buildPassword.getdata(), "pw1");
}

TEST(Credentials, UserAloneFetchesStoredPassword)
{
    FakeManager mgr({{"1 stored" + MARKER, false}, {"0" + MARKER, false}, {"2 x" + MARKER, false}});
    EnvGuard port("XRBSEC_PORT", std::to_string(mgr.port()).c_str());

    setUser("someone", "");
    processCredentials();
    EXPECT_STREQ(buildPassword.getdata(), "stored");

    setUser("someone", "");
    processCredentials();
    EXPECT_STREQ(buildPassword.getdata(), "");

    setUser("someone", "");
    processCredentials();
    EXPECT_STREQ(buildPassword.getdata(), "");

    auto got = mgr.requests();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "GETUSER someone buildhost");
}

TEST(Credentials, GuestUserMakesNoRequest)
{
    FakeManager mgr({{"1 leaked" + MARKER, false}});
    EnvGuard port("XRBSEC_PORT", std::to_string(mgr.port()).c_str());

    setUser("GuestUser", "x");
    processCredentials();
    setUser("GuestUser", "");
    processCredentials();

    EXPECT_TRUE(mgr.requests().empty());
    EXPECT_STREQ(buildPassword.getdata(), "");
}

TEST(Credentials, UnreachableManagerLeavesPasswordEmpty)
{
    ScratchDir empty;
    EnvGuard path("PATH", empty.path().c_str());
    EnvGuard port("XRBSEC_PORT", std::to_string(freePort()).c_str());
    setUser("someone", "");

    testing::internal::CaptureStdout();
    processCredentials();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_STREQ(buildPassword.getdata(), "");
}

// A password the user gave but the manager could not keep is reported from
// verbosity 1 on, on the screen and in the log; quietly otherwise.
TEST(Credentials, UnstoredPasswordIsReportedFromVerbosityOne)
{
    ScratchDir dir;
    TCString savedLog = logFileName;
    uint16_t savedVerbosity = verbosity;
    logFileName = dir.file("xrbbldc.log").c_str();
    ScratchDir empty;
    EnvGuard path("PATH", empty.path().c_str());
    EnvGuard port("XRBSEC_PORT", std::to_string(freePort()).c_str());

    auto run = [](uint16_t v, char const* password) {
        verbosity = v;
        setUser("someone", password);
        testing::internal::CaptureStdout();
        processCredentials();
        warnIfPasswordNotStored();
        return testing::internal::GetCapturedStdout();
    };

    EXPECT_EQ(run(0, "pw"), "");
    EXPECT_EQ(readWhole(dir.file("xrbbldc.log")), "");

    std::string shown = run(1, "pw");
    EXPECT_NE(shown.find("XRBW-007"), std::string::npos) << shown;
    EXPECT_NE(shown.find("The password for someone was not stored"), std::string::npos) << shown;
    EXPECT_NE(readWhole(dir.file("xrbbldc.log")).find("XRBW-007"), std::string::npos);

    // Fetching stores nothing, so there is nothing to warn about.
    EXPECT_EQ(run(3, ""), "");

    // A manager that answered has the password, whatever it said.
    {
        FakeManager mgr({{"0" + MARKER, false}});
        EnvGuard reachable("XRBSEC_PORT", std::to_string(mgr.port()).c_str());
        EXPECT_EQ(run(3, "pw"), "");
    }

    verbosity = savedVerbosity;
    logFileName = savedLog;
}
