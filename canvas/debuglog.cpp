#include "canvas_internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace termcanvas {

int debug = 0;

namespace {
char const DEBUG_LOG[] = "/tmp/CursesDebug.log";
// Debug lines are formatted into a fixed area; longer ones are cut.
int const DEBUG_LINE_SIZE = 100;

// The log lives in /tmp, where anybody may have put something at its name
// first: a link is never followed, a new log is the caller's alone (it holds
// every key typed), and an existing one is written only when it is a plain
// file of the caller's.  Anything else: no logging.
int openDebugLog(char const* path)
{
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) {
        ::close(fd);
        return -1;
    }
    // A log made readable by others before stays the caller's alone from now.
    if ((st.st_mode & 077) != 0)
        fchmod(fd, 0600);
    return fd;
}

} // namespace

void debugMsg(char const* text)
{
    // Opened per line so that the log is complete even if the JVM dies.
    int fd = openDebugLog(DEBUG_LOG);
    if (fd < 0)
        return;
    struct iovec line[2] = {{const_cast<char*>(text), std::strlen(text)}, {const_cast<char*>("\n"), 1}};
    while (::writev(fd, line, 2) < 0 && errno == EINTR) {
    }
    ::close(fd);
}

void debugf(char const* format, ...)
{
    if (!debug)
        return;
    char line[DEBUG_LINE_SIZE];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    debugMsg(line);
}

} // namespace termcanvas
