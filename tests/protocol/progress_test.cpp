// The progress line's text: bytes, rate and time left.
#include <gtest/gtest.h>

#include "protocol/progress.h"

namespace {

unsigned long long const MIB = 1ull << 20;

TEST(ProgressLine, KnownAndUnknownSize)
{
    EXPECT_EQ(TransferProgress::line("big.bin", 50 * MIB, 100 * MIB, 2.0),
              "big.bin  50.0/100.0 MiB  25.0 MiB/s  0:02 left");
    // A file being fetched: its size is not known, nor the time left.
    EXPECT_EQ(TransferProgress::line("big.out", 9 * MIB, -1, 0.5), "big.out  9.0 MiB  18.0 MiB/s  --:-- left");
    // Hours, when the rest would take that long.
    EXPECT_EQ(TransferProgress::line("x", MIB, 7200 * MIB + MIB, 1.0), "x  1.0/7201.0 MiB  1.0 MiB/s  2:00:00 left");
    // No time yet: no rate, no estimate.
    EXPECT_EQ(TransferProgress::line("x", 0, 10 * MIB, 0.0), "x  0.0/10.0 MiB  0.0 MiB/s  --:-- left");
}

} // namespace
