#include "base/tcexp.h"
#include "base/util.h"
#include "base/xrbmem.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../support/childproc.h"
#include "trace/fhgtrace.h"

namespace {

std::string dirPathOf(char const* path)
{
    char* d = dirPath(path);
    std::string out = d != nullptr ? d : "<none>";
    std::free(d);
    return out;
}

TEST(Util, DirPathCases)
{
    EXPECT_EQ(dirPathOf("/a/b/c"), "/a/b");
    EXPECT_EQ(dirPathOf("/a"), "/");
    EXPECT_EQ(dirPathOf("abc"), "<none>");
    EXPECT_EQ(dirPathOf("a\\b\\c"), "a/b");
    EXPECT_EQ(dirPathOf("x/"), "x");
}

TEST(Util, PathPieces)
{
    char path[] = "dir\\sub\\file.c";
    EXPECT_EQ(fixupPath(path), 0);
    EXPECT_STREQ(path, "dir/sub/file.c");
    EXPECT_STREQ(basePathPtr(path), "file.c");
    EXPECT_STREQ(baseName(path), "file.c");
    char* copy = basePath(path);
    EXPECT_STREQ(copy, "file.c");
    std::free(copy);

    char plain[] = "file.c";
    EXPECT_EQ(basePathPtr(plain), nullptr);
    EXPECT_EQ(baseName(plain), plain);
    copy = basePath(plain);
    EXPECT_STREQ(copy, "file.c");
    std::free(copy);

    char slashes[] = "a\\b\\";
    EXPECT_STREQ(ConvertSlashes(slashes), "a/b/");
    EXPECT_STREQ(baseName(slashes), "");
}

TEST(Util, AllocSpaceIsZeroedAndStrsaveCopies)
{
    unsigned char* block = static_cast<unsigned char*>(allocSpace(64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(block[i], 0);
    std::free(block);
    char* s = strsave("text");
    EXPECT_STREQ(s, "text");
    std::free(s);
    EXPECT_EQ(strsave(nullptr), nullptr);
}

class UtilDirs : public childproc::TempDirTest {};

TEST_F(UtilDirs, DirExistsAndRemoveFile)
{
    std::string file = dir + "/f";
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    std::vector<char> d(dir.begin(), dir.end());
    d.push_back('\0');
    EXPECT_NE(dirExists(d.data()), 0);
    std::vector<char> ff(file.begin(), file.end());
    ff.push_back('\0');
    EXPECT_EQ(dirExists(ff.data()), 0);
    EXPECT_EQ(dirExists(nullptr), 0);

    // A read-only file is made writable and removed.
    ASSERT_EQ(chmod(file.c_str(), 0400), 0);
    EXPECT_EQ(removeFile(file.c_str()), 0);
    EXPECT_NE(access(file.c_str(), F_OK), 0);
    EXPECT_NE(removeFile(file.c_str()), 0);
}

TEST_F(UtilDirs, MakePathCreatesMissingParents)
{
    std::string target = dir + "/x/y/z";
    std::vector<char> path(target.begin(), target.end());
    path.push_back('\0');
    EXPECT_EQ(makePath(path.data(), 0755), 0);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // Existing folders are accepted as they are.
    EXPECT_EQ(makePath(path.data(), 0755), 0);
}

// A doubled slash or a "." folder names a folder that the step before has
// just made: a folder that exists is success, with no warning.
TEST_F(UtilDirs, MakePathTakesDoubledSlashesAndDotFolders)
{
    for (char const* rel : {"out//", "x/./y", "a//b/.//c/", "p/.", "q/./"}) {
        auto r = childproc::run(
            {},
            [rel] {
                std::vector<char> path(rel, rel + std::strlen(rel) + 1);
                return makePath(path.data(), 0755);
            },
            dir);
        EXPECT_EQ(r.status, 0) << rel;
        EXPECT_EQ(r.err, "") << rel;
    }
    struct stat st;
    for (char const* made : {"/out", "/x/y", "/a/b/c", "/p", "/q"}) {
        ASSERT_EQ(stat((dir + made).c_str(), &st), 0) << made;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << made;
    }
}

TEST_F(UtilDirs, MakeDirFailureWarnsOnStandardError)
{
    std::string blocker = dir + "/file";
    FILE* f = std::fopen(blocker.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    auto r = childproc::run(
        {},
        [] {
            char path[] = "file/sub";
            return makePath(path, 0755);
        },
        dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("XRBW-004"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("'file'"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(ReAlloc, GrowsAndKeepsContents)
{
    char* p = static_cast<char*>(reAlloc(nullptr, 4, 1));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abc", 4);
    p = static_cast<char*>(reAlloc(p, 100000, 1));
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "abc");
    std::free(p);
}

#if defined(__SANITIZE_ADDRESS__)
#define XRB_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XRB_ASAN 1
#endif
#endif

TEST(ReAlloc, FailureReleasesTheOldBlock)
{
#ifdef XRB_ASAN
    GTEST_SKIP() << "address limits do not apply under the sanitizer";
#endif
    // The child caps its address space so the big request must fail.
    auto r = childproc::run({}, [] {
        struct rlimit lim = {512u << 20, 512u << 20};
        if (setrlimit(RLIMIT_AS, &lim) != 0)
            return 10;
        void* block = reAlloc(nullptr, 8u << 20, 0);
        if (block == nullptr)
            return 11;
        size_t before = mallinfo2().hblkhd;
        if (reAlloc(block, 0xF0000000u, 0) != nullptr)
            return 12;
        size_t after = mallinfo2().hblkhd;
        if (after + (8u << 20) > before)
            return 13; // the old block is still held

        void* other = reAlloc(nullptr, 64, 0);
        try {
            reAlloc(other, 0xF0000000u, 1);
        } catch (TCException* e) {
            bool ok = std::strstr(e->getMessage(), "XRBE-057") != nullptr;
            delete e;
            return ok ? 0 : 14;
        }
        return 15;
    });
    EXPECT_EQ(r.status, 0);
}

} // namespace
