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
#include "protocol/wiremsg.h"
#include "protocol/xmitbuffer.h"
#include "trace/fhgtrace.h"

#define TRACE(...) XRB_TRACE_AT("xrbbld", __VA_ARGS__)

namespace {

const char* const SUFFIXES[] = {".TXT", ".BIN", ".MSG", ".ERR", ".OUT", ".NON"};
const int DIR_MODE = 0755;
// Room for the name and unit headers of a chunk within the largest body.
const int MAX_CHUNK = static_cast<int>(XMIT_MAX_BODY - 0x100000);

std::string strippedArea;
std::string pathArea;

char* readBuffer = nullptr;
unsigned long readBufferSize = 0;

#ifdef O_LARGEFILE
// A raw system call gets no O_LARGEFILE from the C library on i386.
const int LARGE_FILE = O_LARGEFILE;
#else
const int LARGE_FILE = 0;
#endif

// The file behind fd when it is a regular file, switched to blocking reads
// and writes; anything else is closed and gives -1.  A FIFO or a device is
// opened with O_NONBLOCK so that the open itself cannot hang.
int keepRegular(int fd, struct stat& st) {
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

// Moves n bytes with one call after another of step(done), which moves
// some of what is left; stops at the end of a file or a failure.
template <class Step>
size_t whole(size_t n, Step step) {
    size_t done = 0;
    while (done < n) {
        ssize_t k = step(done);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            break;
        done += static_cast<size_t>(k);
    }
    return done;
}

FILE* openRegular(const char* path, const char* mode) {
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
#define SYS_openat2 437   // the same number on i386 and x86-64
#endif

// struct open_how of openat2(2), which the C library does not wrap.
struct OpenHow {
    uint64_t flags;
    uint64_t mode;
    uint64_t resolve;
};
const uint64_t RESOLVE_NO_MAGICLINKS_ = 0x02;
const uint64_t RESOLVE_NO_SYMLINKS_ = 0x04;
const uint64_t RESOLVE_BENEATH_ = 0x08;

enum class Refusal { none, link, folder, open };

std::vector<std::string> componentsOf(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool climbs(const std::string& path) {
    for (const std::string& c : componentsOf(path))
        if (c == "..")
            return true;
    return false;
}

// Component by component from dirfd, each folder opened with O_NOFOLLOW and
// O_DIRECTORY and created when missing (makeFolders).  "" and "." stay
// where they are.  shown is the folder's name for a warning.
int walkBelow(int dirfd, const std::string& shown, const std::string& below, int flags,
              bool makeFolders, Refusal& why) {
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
        ~Here() { if (fd != base) ::close(fd); }
        void enter(int next) { if (fd != base) ::close(fd); fd = next; }
    } here{dirfd, dirfd};
    std::string walked = shown;
    for (size_t i = 0; i < parts.size(); ++i) {
        const char* c = parts[i].c_str();
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
        const int dirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(here.fd, c, dirFlags);
        int error = errno;
        if (next < 0 && error == ENOENT && makeFolders) {
            if (::mkdirat(here.fd, c, DIR_MODE) == 0 || errno == EEXIST) {
                next = ::openat(here.fd, c, dirFlags);
                error = errno;
            } else {
                error = errno;
                fhccmn_error(msgGet(29, walked.c_str()));
            }
        }
        if (next < 0) {
            struct stat st;
            bool link = error == ELOOP ||
                        (fstatat(here.fd, c, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode));
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
int openBelow(int dirfd, const std::string& shown, const std::string& below, int flags,
              bool makeFolders, Refusal& why) {
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
int openUserFolder(const std::string& folder, bool create) {
    if (folder.empty())
        return AT_FDCWD;
    std::string dir = folder;
    if (create && makePath(&dir[0], DIR_MODE) != 0)
        return -1;
    return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

size_t readWhole(int fd, char* bytes, size_t n) {
    return whole(n, [&](size_t done) { return ::read(fd, bytes + done, n - done); });
}

size_t writeWhole(int fd, const char* bytes, size_t n) {
    return whole(n, [&](size_t done) { return ::write(fd, bytes + done, n - done); });
}

int isSuffix(const char* text, const char* suffix) {
    if (!text || !suffix)
        return 0;
    size_t t = std::strlen(text), s = std::strlen(suffix);
    return s <= t && std::memcmp(text + t - s, suffix, s) == 0 ? 1 : 0;
}

char* stripSuffix(const char* name) {
    if (!name || !*name)
        return nullptr;
    strippedArea.assign(name);
    if (strippedArea.size() >= 4) {
        for (const char* s : SUFFIXES) {
            if (strippedArea.compare(strippedArea.size() - 4, 4, s) == 0) {
                strippedArea.resize(strippedArea.size() - 4);
                break;
            }
        }
    }
    return &strippedArea[0];
}

char* localPath(const char* name) {
    char* stripped = stripSuffix(name);
    if (!stripped)
        return nullptr;
    pathArea.assign(stripped);
    ConvertSlashes(&pathArea[0]);
    size_t paren = pathArea.find('(');
    if (paren != std::string::npos)
        pathArea[paren] = '/';
    return &pathArea[0];
}

FILE* openFile4Read(const char* name) {
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

FILE* openFile4Write(const char* name) {
    TRACE("::openfile4write(%s)", name ? name : "(null)");
    char* p = localPath(name);
    if (!p)
        throw new TCException(msgGet(MSG_WRITE_FAILED, ""));
    std::string path(p);
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        std::string dir = path.substr(0, slash);
        if (makePath(&dir[0], DIR_MODE) != 0)
            throw new TCException(msgGet(MSG_NO_DIRECTORY, path.c_str()));
    }
    TRACE("file2write=%s", path.c_str());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw new TCException(msgGet(MSG_WRITE_FAILED, path.c_str()));
    return f;
}

char* readFile(const char* name, unsigned long* length) {
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
    unsigned long got = readWhole(fd, readBuffer, want);
    ::close(fd);
    if (length)
        *length = got;
    TRACE("Exit: readFile, len=%d", static_cast<int>(got));
    return readBuffer;
}

bool landingOf(const char* prefix, const char* name, Landing& where) {
    where = Landing();
    if (!name || !*name)
        return false;
    std::string user(prefix ? prefix : "");
    char* converted = localPath((user + name).c_str());
    if (!converted)
        return false;
    std::string path(converted);
    // The conversions keep every byte in its place, so the server's part
    // starts where the prefix ends (unless the suffix took some of it).
    size_t mark = user.size() < path.size() ? user.size() : path.size();
    std::string server = path.substr(mark);
    if (!server.empty() && server[0] == '/')
        return false;
    size_t slash = mark == 0 ? std::string::npos : path.rfind('/', mark - 1);
    if (slash != std::string::npos)
        where.folder = path.substr(0, slash + 1);
    where.below = path.substr(where.folder.size());
    if (climbs(server) || climbs(where.below))
        return false;
    std::vector<std::string> parts = componentsOf(where.below);
    return !parts.back().empty() && parts.back() != ".";
}

FILE* openLanding4Write(const Landing& where) {
    std::string path = where.path();
    TRACE("::openfile4write(%s)", path.c_str());
    int folder = openUserFolder(where.folder, true);
    if (folder < 0 && folder != AT_FDCWD)
        throw new TCException(msgGet(MSG_NO_DIRECTORY, path.c_str()));
    Refusal why;
    int fd = openBelow(folder, where.folder, where.below, O_WRONLY | O_CREAT | O_TRUNC, true, why);
    if (folder != AT_FDCWD)
        ::close(folder);
    if (fd < 0) {
        TRACE("Refused %s: %s", path.c_str(), why == Refusal::link ? "a symbolic link" : "cannot open");
        throw new TCException(msgGet(why == Refusal::folder ? MSG_NO_DIRECTORY : MSG_WRITE_FAILED, path.c_str()));
    }
    TRACE("file2write=%s", path.c_str());
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        throw new TCException(msgGet(MSG_WRITE_FAILED, path.c_str()));
    }
    return f;
}

FILE* openLanding4Read(const Landing& where) {
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

int xrbChunkSize() {
    const char* env = std::getenv("XRB_CHUNK");
    if (!env)
        return XRB_DEFAULT_CHUNK;
    errno = 0;
    long long v = std::strtoll(env, nullptr, 10);
    if (v <= 0)
        return XRB_DEFAULT_CHUNK;
    return v > MAX_CHUNK ? MAX_CHUNK : static_cast<int>(v);
}
