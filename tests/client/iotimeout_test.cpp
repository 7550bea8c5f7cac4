// Reading the time-out setting: only a clean positive number sets a limit.
#include <gtest/gtest.h>

#include "client/settings.h"

namespace {

TEST(IoTimeout, CleanPositiveNumbersOnly)
{
    EXPECT_EQ(ioTimeoutFrom("5"), 5);
    EXPECT_EQ(ioTimeoutFrom("007"), 7);
    EXPECT_EQ(ioTimeoutFrom("2147483"), 2147483);
    EXPECT_EQ(ioTimeoutFrom("99999999999999999999"), 2147483);
    for (char const* none : {"", "0", "00", "-5", "+5", " 5", "5 ", "5s", "0x10", "1.5", "five"}) {
        SCOPED_TRACE(none);
        EXPECT_EQ(ioTimeoutFrom(none), 0);
    }
    EXPECT_EQ(ioTimeoutFrom(nullptr), 0);
}

} // namespace
