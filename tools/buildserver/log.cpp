#include "log.h"

#include <ctime>
#include <unistd.h>

void logLine(std::string const& text)
{
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string line = std::string(stamp) + " xrbblds[" + std::to_string(getpid()) + "]: ";
    bool blank = false;
    for (char c : text) {
        bool space = c == '\n' || c == '\r' || c == ' ' || c == '\t';
        if (space) {
            blank = true;
            continue;
        }
        if (blank && line.back() != ' ')
            line += ' ';
        blank = false;
        line += c;
    }
    line += '\n';
    ssize_t ignored = ::write(2, line.data(), line.size());
    (void)ignored;
}
