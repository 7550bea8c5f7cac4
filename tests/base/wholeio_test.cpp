// moveWhole: a block moved by calls that take part of it at a time.
#include "base/wholeio.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <utility>
#include <vector>

namespace {

// Plays back the answers a system call would give, recording each request.
struct Script {
    explicit Script(std::vector<ssize_t> a) : answers(std::move(a)) {}
    std::vector<ssize_t> answers;
    std::vector<std::pair<size_t, size_t>> asked;
    size_t next = 0;
    ssize_t operator()(size_t at, size_t left)
    {
        asked.emplace_back(at, left);
        ssize_t k = next < answers.size() ? answers[next++] : 0;
        if (k < 0)
            errno = static_cast<int>(-k);
        return k < 0 ? -1 : (static_cast<size_t>(k) > left ? static_cast<ssize_t>(left) : k);
    }
};

} // namespace

TEST(MoveWhole, PartialMovesContinueWhereTheLastEnded)
{
    Script s({3, -EINTR, 4, 10});
    EXPECT_EQ(moveWhole(10, std::ref(s)), 10u);
    std::vector<std::pair<size_t, size_t>> want{{0, 10}, {3, 7}, {3, 7}, {7, 3}};
    EXPECT_EQ(s.asked, want);
}

TEST(MoveWhole, StopsAtTheEndOrAFailure)
{
    Script ended({4, 0, 6});
    EXPECT_EQ(moveWhole(10, std::ref(ended)), 4u);
    EXPECT_EQ(ended.asked.size(), 2u);
    Script failed({2, -EPIPE, 8});
    EXPECT_EQ(moveWhole(10, std::ref(failed)), 2u);
    EXPECT_EQ(failed.asked.size(), 2u);
    Script none({});
    EXPECT_EQ(moveWhole(0, std::ref(none)), 0u);
    EXPECT_TRUE(none.asked.empty());
}
