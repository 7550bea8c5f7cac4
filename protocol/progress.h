// The one line on standard error that shows a large file moving, for a
// user at a terminal: name, bytes moved, rate and time left.  Nothing is
// shown when standard error is not a terminal, when XRB_PROGRESS is "0", or
// for a file of at most 8 MiB; never on standard output or in the log.
#ifndef XRB_PROTOCOL_PROGRESS_H
#define XRB_PROTOCOL_PROGRESS_H

#include <cstdint>
#include <string>

class TransferProgress {
public:
    // total: the file's size, or -1 while unknown (a file being fetched;
    // its line appears once more than 8 MiB have arrived).
    TransferProgress(char const* name, long long total);
    // Erases the line, if one was shown.
    ~TransferProgress();
    TransferProgress(TransferProgress const&) = delete;
    TransferProgress& operator=(TransferProgress const&) = delete;

    // Counts bytes moved; redraws at most ten times a second.
    void moved(uint64_t bytes)
    {
        done_ += bytes;
        if (enabled_)
            update();
    }

    // The line for these figures (for tests): seconds since the start.
    static std::string line(char const* name, uint64_t done, long long total, double seconds);

private:
    void update();
    void draw(double now);

    std::string name_;
    long long total_;
    uint64_t done_ = 0;
    bool enabled_ = false;
    bool shown_ = false;
    double start_ = 0;
    double lastDraw_ = 0;
    size_t width_ = 0;
    size_t drawn_ = 0;
};

#endif
