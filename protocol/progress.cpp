// The progress line of large transfers.
#include "protocol/progress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/ioctl.h>
#include <unistd.h>

#include "msg/msg.h"

namespace {

uint64_t const SHOWN_ABOVE = 8ull << 20;
double const REDRAW_EVERY = 0.1;

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

std::string mib(double bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bytes / (1 << 20));
    return text;
}

// Writes all of text to standard error, unbuffered, past interruptions.
void put(std::string const& text)
{
    char const* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(2, p, left);
        if (n <= 0)
            return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

} // namespace

TransferProgress::TransferProgress(char const* name, long long total) : name_(name ? name : ""), total_(total)
{
    char const* setting = std::getenv("XRB_PROGRESS");
    if (setting && std::strcmp(setting, "0") == 0)
        return;
    if (total >= 0 && static_cast<uint64_t>(total) <= SHOWN_ABOVE)
        return;
    if (!isatty(2))
        return;
    winsize ws;
    width_ = ioctl(2, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 ? ws.ws_col : 80;
    enabled_ = true;
    start_ = now();
}

TransferProgress::~TransferProgress()
{
    if (shown_)
        put("\r" + std::string(drawn_, ' ') + "\r");
}

void TransferProgress::update()
{
    if (done_ <= SHOWN_ABOVE && total_ < 0)
        return;
    double t = now();
    // The first line at once, so that even a fast transfer shows one.
    if (shown_ && t - lastDraw_ < REDRAW_EVERY)
        return;
    draw(t);
}

void TransferProgress::draw(double t)
{
    std::string text = line(name_.c_str(), done_, total_, t - start_);
    // One line, never wrapped: the last column stays free.
    if (text.size() > width_ - 1)
        text.resize(width_ - 1);
    size_t length = text.size();
    if (length < drawn_)
        text += std::string(drawn_ - length, ' ');
    put("\r" + text);
    drawn_ = length > drawn_ ? length : drawn_;
    shown_ = true;
    lastDraw_ = t;
}

std::string TransferProgress::line(char const* name, uint64_t done, long long total, double seconds)
{
    double rate = seconds > 0 ? done / seconds : 0;
    std::string moved = mib(static_cast<double>(done));
    if (total >= 0)
        moved += "/" + mib(static_cast<double>(total));
    moved += " MiB";
    std::string left = "--:--";
    if (total >= 0 && rate > 0) {
        double rest = static_cast<double>(static_cast<uint64_t>(total) > done ? total - done : 0) / rate;
        long long s = static_cast<long long>(rest + 0.5);
        char text[32];
        if (s >= 3600)
            std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
        else
            std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
        left = text;
    }
    return msgGet(MSG_PROGRESS_LINE, name, moved.c_str(), (mib(rate) + " MiB").c_str(), left.c_str());
}
