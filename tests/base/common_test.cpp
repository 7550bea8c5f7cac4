#include "base/common.h"
#include "base/commonC.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../support/childproc.h"

namespace {

class ComSystemTest : public childproc::TempDirTest {
protected:
    bool exists(std::string const& name) const { return access((dir + "/" + name).c_str(), F_OK) == 0; }
};

TEST_F(ComSystemTest, ShellCharactersInPathsStayPartOfThePath)
{
    auto r = childproc::run(
        {},
        [] {
            comSystem sys(8);
            int made = sys.createDirectory("a b;touch injected");
            int quoted = sys.createDirectory("it's");
            int exists = sys.doesFileExist("a b;touch injected");
            int renamed = sys.renameFile("it's", "$(touch injected2)");
            return made == 0 && quoted == 0 && exists == 1 && renamed == 0 ? 0 : 1;
        },
        dir);
    EXPECT_EQ(r.status, 0) << r.err;
    struct stat st;
    EXPECT_EQ(stat((dir + "/a b;touch injected").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_TRUE(exists("$(touch injected2)"));
    EXPECT_FALSE(exists("injected"));
    EXPECT_FALSE(exists("injected2"));
    EXPECT_FALSE(exists("a"));
}

TEST_F(ComSystemTest, ExistenceTestsAndFileOperations)
{
    auto r = childproc::run(
        {},
        [] {
            comSystem sys(8);
            if (sys.writeBufferToFile("hello", "f.txt", 0) != 0 || sys.writeBufferToFile(" world", "f.txt", 1) != 0)
                return 1;
            if (sys.writeBufferToFile("x", "missing/dir/f", 0) != 8)
                return 2;
            unsigned long size = 99;
            if (sys.getFileSize("f.txt", &size) != 0 || size != 11)
                return 3;
            if (sys.getFileSize("nothing", &size) != -1 || size != 0)
                return 4;
            if (sys.doesFileExist("nothing") != 0 || sys.doesFileExist("f.txt") != 1)
                return 5;
            if (sys.isDirectory("f.txt") != 1 || sys.isDirectory("nothing") != 0)
                return 6;
            if (sys.copyFile("f.txt", "g.txt") != 0 || sys.deleteFile("f.txt") != 0)
                return 7;
            if (sys.createDirectory("d") != 0 || sys.copyDirectory("d", "e") != 0 || sys.doesDirectoryExist("e") != 1)
                return 8;
            if (sys.renameDirectory("e", "e2") != 0 || tcRemoveDirectory("e2") != 0 ||
                sys.doesDirectoryExist("e2") != 0)
                return 9;
            if (sys.executeCommand("exit 3") != 3 * 256)
                return 10;
            return 0;
        },
        dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(childproc::readAll(dir + "/g.txt"), "hello world");
    EXPECT_FALSE(exists("f.txt"));
    EXPECT_NE(r.out.find("f.txt"), std::string::npos) << "the listing reaches standard output";
}

TEST(ComSystem, KindsWithoutTemplatesRunNothing)
{
    comSystem dos(4);
    EXPECT_EQ(dos.removeDirectory("/nonexistent"), 0);
    EXPECT_EQ(dos.renameDirectory("a", "b"), 0);
    EXPECT_EQ(dos.isDirectory("/nonexistent"), 1);
    EXPECT_EQ(dos.doesDirectoryExist(""), 0);
    comSystem other(99);
    EXPECT_EQ(other.copyFile("a", "b"), 0);
    EXPECT_EQ(std::string(other.shownCommand), "");
}

TEST(ComSystem, OverlongCommandIsRefusedNotCut)
{
    std::string longPath(300, 'p');
    comSystem sys(8);
    EXPECT_EQ(sys.deleteFile(longPath.c_str()), -1);
    EXPECT_EQ(sys.doesFileExist(longPath.c_str()), 0);
}

TEST(ComSystem, OpSysIsCachedFromTheFirstPosixObject)
{
    tcOpSys = 0;
    comSystem dos(4);
    EXPECT_EQ(dos.tcGetOpSys(), 0);
    EXPECT_EQ(tcOpSys, 0);
    comSystem posix(8);
    EXPECT_EQ(posix.tcGetOpSys(), 8);
    EXPECT_EQ(dos.tcGetOpSys(), 8);
    tcOpSys = 0;
}

TEST(ComSystem, TimeStampsAndMessages)
{
    tcTime_t stamp;
    std::memset(&stamp, 0xff, sizeof stamp);
    tcTime(&stamp);
    EXPECT_EQ(sizeof stamp, 12u);
    EXPECT_EQ(stamp.reserved[0], 0);
    EXPECT_EQ(stamp.reserved[1], 0);
    EXPECT_LE(std::abs(static_cast<long>(stamp.seconds) - static_cast<long>(time(nullptr))), 2);
    tcTime_t later = stamp;
    later.seconds += 3;
    EXPECT_DOUBLE_EQ(tcDifftime(later, stamp), 3.0);
    EXPECT_DOUBLE_EQ(tcDifftime(stamp, later), -3.0);

    char buf[16] = "";
    tcAppendMsg(buf, "a");
    EXPECT_STREQ(buf, "a");
    tcAppendMsg(buf, "b");
    EXPECT_STREQ(buf, "ab");
}

} // namespace
