#include "client/settings.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "trace/fhgtrace.h"

namespace {

constexpr std::size_t kErrorBufferSize = 40000;
char errorBuffer[kErrorBufferSize];

void timeStamp(char* buf, std::size_t size)
{
    std::time_t now = std::time(nullptr);
    std::tm local;
    if (!localtime_r(&now, &local) || std::strftime(buf, size, "%y/%m/%d %H:%M:%S", &local) == 0)
        buf[0] = '\0';
}

} // namespace

void _talk(const char* format, ...)
{
    if (!format)
        return;
    char stamp[128];
    timeStamp(stamp, sizeof stamp);

    // Opened and closed on every call so that nothing is lost if the process
    // dies, and two clients sharing the log interleave whole entries.
    if (FILE* log = std::fopen(logFileName.getdata(), "a")) {
        std::fprintf(log, "%s ", stamp);
        va_list ap;
        va_start(ap, format);
        std::vfprintf(log, format, ap);
        va_end(ap);
        std::fclose(log);
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

void Error(const char* format, ...)
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
