#include <gtest/gtest.h>

#include <string>

#include "client/credentials.h"
#include "client/settings.h"
#include "secmgr_fixture.h"

using namespace sectest;

namespace {

const std::string kMarker("XRB#END\0", 8);

void setUser(char const* user, char const* password)
{
    buildUserid = user;
    buildPassword = password;
    serverHostName = "buildhost";
}

} // namespace

TEST(Credentials, PasswordGivenIsStoredAndKept)
{
    FakeManager mgr({{"0" + kMarker, false}});
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
    FakeManager mgr({{"1 stored" + kMarker, false}, {"0" + kMarker, false}, {"2 x" + kMarker, false}});
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
    FakeManager mgr({{"1 leaked" + kMarker, false}});
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
