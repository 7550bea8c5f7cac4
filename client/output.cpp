#include "client/settings.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/plainfile.h"
#include "base/wholeio.h"
#include "trace/fhgtrace.h"

namespace {

constexpr std::size_t ERROR_BUFFER_SIZE = 40000;
char errorBuffer[ERROR_BUFFER_SIZE];

void timeStamp(char* buf, std::size_t size)
{
    std::time_t now = std::time(nullptr);
    std::tm local;
    if (!localtime_r(&now, &local) || std::strftime(buf, size, "%y/%m/%d %H:%M:%S", &local) == 0)
        buf[0] = '\0';
}

// The time stamp, a blank and the formatted text, as one piece.
std::string formatEntry(char const* stamp, char const* format, va_list ap)
{
    std::string entry(stamp);
    entry += ' ';
    std::size_t at = entry.size();
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, format, again);
    va_end(again);
    if (n > 0) {
        entry.resize(at + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(&entry[at], static_cast<std::size_t>(n) + 1, format, ap);
        entry.resize(at + static_cast<std::size_t>(n));
    }
    return entry;
}

void writeWhole(int fd, std::string const& text)
{
    moveWhole(text.size(), [&](std::size_t at, std::size_t left) { return ::write(fd, text.data() + at, left); });
}

} // namespace

void _talk(char const* format, ...)
{
    if (!format)
        return;
    char stamp[128];
    timeStamp(stamp, sizeof stamp);

    // Opened and closed on every call so that nothing is lost if the process
    // dies.  The whole entry goes out in one append, so two clients sharing
    // the log interleave whole calls, however long the text.  A link planted
    // at the log's name, or anything but a plain file, is not written to.
    int fd = openPlainFile(logFileName.getdata(), O_WRONLY | O_APPEND | O_CREAT, 0666);
    if (fd >= 0) {
        va_list ap;
        va_start(ap, format);
        std::string entry = formatEntry(stamp, format, ap);
        va_end(ap);
        writeWhole(fd, entry);
        ::close(fd);
    } else {
        XRB_TRACE_AT("xrbbldc", "logFile is null");
    }

    if (logToScreenToo) {
        std::printf("%s ", stamp);
        va_list ap;
        va_start(ap, format);
        std::vprintf(format, ap);
        va_end(ap);
        std::fflush(stdout);
    }
}

void Error(char const* format, ...)
{
    XRB_TRACE_AT("xrbbldc", "Enter: Error(%s)", format ? format : "NULL");
    if (!format)
        return;
    va_list ap;
    va_start(ap, format);
    // A longer text is cut at the end of the buffer.
    std::vsnprintf(errorBuffer, sizeof errorBuffer, format, ap);
    va_end(ap);
    if (!logToScreenToo) {
        std::fputs(errorBuffer, stderr);
        std::fflush(stderr);
    }
    _talk("%s", errorBuffer);
}
