// Where a file named by the server lands: one decision,
// made by landingOf, used to write and to read; no symbolic link below the
// user's folder is followed, with openat2 and without it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "../support/childproc.h"
#include "peer.h"
#include "protocol/xrbbld.h"

namespace {

std::string slurp(std::string const& path)
{
    return childproc::readAll(path);
}

void put(std::string const& path, std::string const& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

Landing land(char const* prefix, char const* name)
{
    Landing where;
    EXPECT_TRUE(landingOf(prefix, name, where)) << prefix << name;
    return where;
}

// Writes text where the server's name lands; "" when it was written, else
// the start of the refusal.
std::string writeTo(std::string const& prefix, char const* name, std::string const& text = "server")
{
    Landing where;
    if (!landingOf(prefix.c_str(), name, where))
        return "not a landing";
    std::string refusal = thrownText([&] {
        FILE* f = openLanding4Write(where);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    });
    return refusal.substr(0, refusal.find(' '));
}

TEST(Landing, TheUsersFolderEndsAtThePrefixsLastSlash)
{
    Landing a = land("/tmp/b/job.", "SYSPRINT.OUT");
    EXPECT_EQ(a.folder, "/tmp/b/");
    EXPECT_EQ(a.below, "job.SYSPRINT");
    Landing b = land("", "logs\\RUN.OUT");
    EXPECT_EQ(b.folder, "");
    EXPECT_EQ(b.below, "logs/RUN");
    EXPECT_EQ(land("", "LIST(MEM).OUT").path(), "LIST/MEM)");
    // The first "(" of the whole local name is the prefix's: the server's
    // stays as it is.
    Landing c = land("a(b/job.", "X(Y).ERR");
    EXPECT_EQ(c.folder, "a/b/");
    EXPECT_EQ(c.below, "job.X(Y)");
    EXPECT_EQ(land("/job_", "SYSPRINT.OUT").folder, "/");
    EXPECT_EQ(land("out/", "logs//run.MSG").below, "logs//run");
}

TEST(Landing, TheServersPartMayNotEscape)
{
    for (char const* name : {"../x.OUT", "..\\x.OUT", "..(x.OUT", "/abs.OUT", "\\abs.OUT", "a/../../b.ERR", "sub/..",
                             "sub/.MSG", "sub/..MSG", "sub\\.\\.MSG"}) {
        Landing where;
        EXPECT_FALSE(landingOf("/tmp/b/job.", name, where)) << name;
        EXPECT_FALSE(landingOf("", name, where)) << name;
    }
    Landing where;
    EXPECT_TRUE(landingOf("", "..x.OUT", where));
    EXPECT_TRUE(landingOf("", "a..b.ERR", where));
}

// The scenarios of a folder that another user shares; returns the number
// of the first one that went wrong (the bits below, counted from 1), or 0.
// Run as it is and without openat2.
int linkScenarios(std::string const& dir)
{
    int failed = 0;
    std::string outside = dir + "/outside";
    mkdir(outside.c_str(), 0755);
    put(outside + "/precious", "precious");
    std::string shared = dir + "/shared/";
    mkdir(shared.c_str(), 01777);

    // A link named like the message file.
    symlink((outside + "/precious").c_str(), (shared + "job.RUN").c_str());
    if (writeTo(shared + "job.", "RUN.MSG") != "XRBE-055" || slurp(outside + "/precious") != "precious")
        failed |= 1;
    // A linked folder on the way, also reached through a backslash.
    symlink(outside.c_str(), (shared + "sub").c_str());
    if (writeTo(shared, "sub/x.MSG") != "XRBE-055" || writeTo(shared, "sub\\y.OUT") != "XRBE-055" ||
        access((outside + "/x").c_str(), F_OK) == 0 || access((outside + "/y").c_str(), F_OK) == 0)
        failed |= 2;
    // A dangling link: its target is not created.
    symlink((outside + "/created").c_str(), (shared + "job.NEW").c_str());
    if (writeTo(shared + "job.", "NEW.ERR") != "XRBE-055" || access((outside + "/created").c_str(), F_OK) == 0)
        failed |= 4;
    // A link to a folder deeper down, below folders the client makes.
    mkdir((shared + "deep").c_str(), 0755);
    symlink(outside.c_str(), (shared + "deep/er").c_str());
    if (writeTo(shared, "deep/er/z.MSG") != "XRBE-055" || access((outside + "/z").c_str(), F_OK) == 0)
        failed |= 8;
    // A FIFO at the name is no file to write, and does not hold the client.
    mkfifo((shared + "job.PIPE").c_str(), 0666);
    if (writeTo(shared + "job.", "PIPE.OUT") != "XRBE-055")
        failed |= 16;
    // A file where a folder is needed.
    put(shared + "plain", "x");
    if (writeTo(shared, "plain/f.MSG") != "XRBE-073")
        failed |= 32;
    // What is not a link is written, missing folders created, "//" and "."
    // taken as they come; an old file is replaced.
    put(shared + "job.OLD", "old contents");
    if (writeTo(shared, "new/deeper//./f.MSG", "fresh") != "" || slurp(shared + "new/deeper/f") != "fresh" ||
        writeTo(shared + "job.", "OLD.OUT", "new") != "" || slurp(shared + "job.OLD") != "new")
        failed |= 64;
    // The printer reads through the same rules.
    Landing linked, plain;
    landingOf((shared + "job.").c_str(), "RUN.OUT", linked);
    landingOf(shared.c_str(), "new/deeper/f.MSG", plain);
    FILE* none = openLanding4Read(linked);
    FILE* some = openLanding4Read(plain);
    if (none != nullptr || some == nullptr)
        failed |= 128;
    if (none)
        std::fclose(none);
    if (some)
        std::fclose(some);
    // The user's own folder may be a link: the prefix is the user's.
    symlink(outside.c_str(), (dir + "/mine").c_str());
    if (writeTo(dir + "/mine/job.", "MINE.MSG", "mine") != "" || slurp(outside + "/job.MINE") != "mine")
        failed |= 256;
    for (int k = 0; k < 16; ++k)
        if (failed & (1 << k))
            return k + 1;
    return 0;
}

class Links : public childproc::TempDirTest {};

TEST_F(Links, NoLinkBelowTheUsersFolderIsFollowed)
{
    childproc::Result r = childproc::run(
        {}, [this] { return linkScenarios(dir); }, "", 20);
    EXPECT_EQ(r.status, 0) << "first failed scenario: " << r.out << r.err;
}

// Kernels before 5.6 and some sandboxes have no openat2: a filter makes it
// answer ENOSYS, and the walk component by component must hold the same.
TEST_F(Links, NoLinkIsFollowedWithoutOpenat2)
{
#if !defined(__x86_64__)
    GTEST_SKIP() << "the filter is written for x86-64";
#else
    childproc::Result r = childproc::run(
        {},
        [this] {
            sock_filter code[] = {
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 437, 0, 1),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            };
            sock_fprog prog{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
            if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0)
                return 100;
            if (syscall(437, AT_FDCWD, ".", nullptr, 0) != -1 || errno != ENOSYS)
                return 101;
            return linkScenarios(dir);
        },
        "", 20);
    EXPECT_EQ(r.status, 0) << "first failed scenario: " << r.out << r.err;
#endif
}

} // namespace
