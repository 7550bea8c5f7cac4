// Travelling file names and the local files behind them.
#include "protocol/filexfer.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

#include "base/tcexp.h"
#include "base/util.h"
#include "msg/msg.h"
#include "protocol/packet.h"
#include "protocol/wiremsg.h"
#include "trace/fhgtrace.h"

#define TRACE(...) XRB_TRACE_AT("xrbbld", __VA_ARGS__)

namespace {

int const DIR_MODE = 0755;
// Room for the name and unit headers of a chunk within the largest body.
int const MAX_CHUNK = static_cast<int>(XMIT_MAX_BODY - 0x100000);

char* readBuffer = nullptr;
unsigned long readBufferSize = 0;

#ifdef O_LARGEFILE
// A raw system call gets no O_LARGEFILE from the C library on i386.
int const LARGE_FILE = O_LARGEFILE;
#else
int const LARGE_FILE = 0;
#endif

// The file behind fd when it is a regular file, switched to blocking reads
// and writes; anything else is closed and gives -1.  A FIFO or a device is
// opened with O_NONBLOCK so that the open itself cannot hang.
int keepRegular(int fd, struct stat& st)
{
    if (fd < 0)
        return -1;
    int flags = -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (flags = fcntl(fd, F_GETFL)) < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

FILE* openRegular(char const* path, char const* mode)
{
    struct stat st;
    int fd = keepRegular(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | LARGE_FILE), st);
    if (fd < 0)
        return nullptr;
    FILE* f = fdopen(fd, mode);
    if (!f)
        ::close(fd);
    return f;
}

// ---- landing of a name from the server, below the user's folder ----

#ifndef SYS_openat2
#define SYS_openat2 437 // the same number on i386 and x86-64
#endif

// struct open_how of openat2(2), which the C library does not wrap.
struct OpenHow {
    uint64_t flags;
    uint64_t mode;
    uint64_t resolve;
};
uint64_t const RESOLVE_NO_MAGICLINKS_ = 0x02;
uint64_t const RESOLVE_NO_SYMLINKS_ = 0x04;
uint64_t const RESOLVE_BENEATH_ = 0x08;

enum class Refusal { none, link, folder, open };

// Component by component from dirfd, each folder opened with O_NOFOLLOW and
// O_DIRECTORY and created when missing (makeFolders).  "" and "." stay
// where they are.  shown is the folder's name for a warning.
int walkBelow(int dirfd, std::string const& shown, std::string const& below, int flags, bool makeFolders, Refusal& why)
{
    std::vector<std::string> parts;
    for (std::string& c : componentsOf(below))
        if (!c.empty() && c != ".")
            parts.push_back(std::move(c));
    why = Refusal::open;
    if (parts.empty())
        return -1;
    // The folder reached so far; dirfd itself stays the caller's.
    struct Here {
        int fd, base;
        ~Here()
        {
            if (fd != base)
                ::close(fd);
        }
        void enter(int next)
        {
            if (fd != base)
                ::close(fd);
            fd = next;
        }
    } here{dirfd, dirfd};
    std::string walked = shown;
    for (size_t i = 0; i < parts.size(); ++i) {
        char const* c = parts[i].c_str();
        if (parts[i] == "..") {
            why = Refusal::link;
            return -1;
        }
        if (i + 1 == parts.size()) {
            int fd = ::openat(here.fd, c, flags, 0666);
            // With O_NOFOLLOW a link at the name, dangling or not, gives ELOOP.
            if (fd < 0 && errno == ELOOP)
                why = Refusal::link;
            return fd;
        }
        walked += parts[i];
        int const dirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(here.fd, c, dirFlags);
        int error = errno;
        if (next < 0 && error == ENOENT && makeFolders) {
            if (::mkdirat(here.fd, c, DIR_MODE) == 0 || errno == EEXIST) {
                next = ::openat(here.fd, c, dirFlags);
                error = errno;
            } else {
                error = errno;
                fhccmn_error(msgGet(XRBW_004_CANNOT_CREATE_DIRECTORY, walked.c_str()));
            }
        }
        if (next < 0) {
            struct stat st;
            bool link = error == ELOOP || (fstatat(here.fd, c, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode));
            why = link ? Refusal::link : makeFolders ? Refusal::folder : Refusal::open;
            return -1;
        }
        here.enter(next);
        walked += '/';
    }
    return -1;
}

// Opens below dirfd without passing through any symbolic link and without
// leaving the folder; then keeps only a regular file.
int openBelow(int dirfd, std::string const& shown, std::string const& below, int flags, bool makeFolders, Refusal& why)
{
    flags |= O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | LARGE_FILE;
    OpenHow how{static_cast<uint64_t>(flags), (flags & O_CREAT) ? 0666u : 0u,
                RESOLVE_BENEATH_ | RESOLVE_NO_SYMLINKS_ | RESOLVE_NO_MAGICLINKS_};
    int fd = static_cast<int>(syscall(SYS_openat2, dirfd, below.c_str(), &how, sizeof how));
    why = Refusal::none;
    if (fd < 0) {
        int e = errno;
        if (e == ELOOP || e == EXDEV) {
            why = Refusal::link;
            return -1;
        }
        // Without openat2 (kernels before 5.6, sandboxes that forbid it), and
        // to create missing folders or tell why one is not there: one
        // component at a time.
        if (e == ENOSYS || e == EPERM || ((e == ENOENT || e == ENOTDIR) && makeFolders)) {
            fd = walkBelow(dirfd, shown, below, flags, makeFolders, why);
        } else {
            why = Refusal::open;
            return -1;
        }
    }
    struct stat st;
    fd = keepRegular(fd, st);
    if (fd < 0 && why == Refusal::none)
        why = Refusal::open;
    return fd;
}

// The user's folder: created when missing and entered as the user's path
// goes, links included.  AT_FDCWD for the current folder.
int openUserFolder(std::string const& folder, bool create)
{
    if (folder.empty())
        return AT_FDCWD;
    std::string dir = folder;
    if (create && makePath(&dir[0], DIR_MODE) != 0)
        return -1;
    return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

FILE* openFile4Read(char const* name)
{
    TRACE("Enter: openFile4read(%s)", name ? name : "(null)");
    char* path = localPath(name);
    FILE* f = nullptr;
    if (path) {
        TRACE("Opening %s", path);
        f = openRegular(path, "rb");
    }
    TRACE("Exit: openFile4read");
    return f;
}

FILE* openFile4Write(char const* name)
{
    TRACE("::openfile4write(%s)", name ? name : "(null)");
    char* p = localPath(name);
    if (!p)
        throw new TCException(msgGet(XRBE_055_WRITE_FAILED, ""));
    std::string path(p);
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        std::string dir = path.substr(0, slash);
        if (makePath(&dir[0], DIR_MODE) != 0)
            throw new TCException(msgGet(XRBE_073_NO_DIRECTORY, path.c_str()));
    }
    TRACE("file2write=%s", path.c_str());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw new TCException(msgGet(XRBE_055_WRITE_FAILED, path.c_str()));
    return f;
}

char* readFile(char const* name, unsigned long* length)
{
    TRACE("Enter: readFile(%s)", name ? name : "(null)");
    if (length)
        *length = 0;
    // Only a regular file has a size to trust.
    struct stat st;
    int fd = name ? keepRegular(::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | LARGE_FILE), st) : -1;
    if (fd < 0) {
        TRACE("Exit: readFile");
        return nullptr;
    }
    if (!readBuffer) {
        readBuffer = static_cast<char*>(std::malloc(1024));
        readBufferSize = readBuffer ? 1024 : 0;
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > ULONG_MAX || !readBuffer) {
        ::close(fd);
        return nullptr;
    }
    unsigned long want = static_cast<unsigned long>(st.st_size);
    if (want > readBufferSize) {
        char* grown = static_cast<char*>(std::realloc(readBuffer, want));
        if (!grown) {
            std::free(readBuffer);
            readBuffer = nullptr;
            readBufferSize = 0;
            ::close(fd);
            return nullptr;
        }
        readBuffer = grown;
        readBufferSize = want;
    }
    // A file that shrank meanwhile yields what could be read.
    unsigned long got = 0;
    while (got < want) {
        ssize_t n = ::read(fd, readBuffer + got, want - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<unsigned long>(n);
    }
    ::close(fd);
    if (length)
        *length = got;
    TRACE("Exit: readFile, len=%d", static_cast<int>(got));
    return readBuffer;
}

FILE* openLanding4Write(Landing const& where)
{
    std::string path = where.path();
    TRACE("::openfile4write(%s)", path.c_str());
    int folder = openUserFolder(where.folder, true);
    if (folder < 0 && folder != AT_FDCWD)
        throw new TCException(msgGet(XRBE_073_NO_DIRECTORY, path.c_str()));
    Refusal why;
    int fd = openBelow(folder, where.folder, where.below, O_WRONLY | O_CREAT | O_TRUNC, true, why);
    if (folder != AT_FDCWD)
        ::close(folder);
    if (fd < 0) {
        TRACE("Refused %s: %s", path.c_str(), why == Refusal::link ? "a symbolic link" : "cannot open");
        throw new TCException(
            msgGet(why == Refusal::folder ? XRBE_073_NO_DIRECTORY : XRBE_055_WRITE_FAILED, path.c_str()));
    }
    TRACE("file2write=%s", path.c_str());
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        throw new TCException(msgGet(XRBE_055_WRITE_FAILED, path.c_str()));
    }
    return f;
}

FILE* openLanding4Read(Landing const& where)
{
    int folder = openUserFolder(where.folder, false);
    if (folder < 0 && folder != AT_FDCWD)
        return nullptr;
    Refusal why;
    int fd = openBelow(folder, where.folder, where.below, O_RDONLY, false, why);
    if (folder != AT_FDCWD)
        ::close(folder);
    if (fd < 0)
        return nullptr;
    FILE* f = fdopen(fd, "r");
    if (!f)
        ::close(fd);
    return f;
}

int xrbChunkSize()
{
    char const* env = std::getenv("XRB_CHUNK");
    if (!env)
        return XRB_DEFAULT_CHUNK;
    errno = 0;
    long long v = std::strtoll(env, nullptr, 10);
    if (v <= 0)
        return XRB_DEFAULT_CHUNK;
    return v > MAX_CHUNK ? MAX_CHUNK : static_cast<int>(v);
}
