// A transfer of a whole block by a call that may move only part of it
// (read, write, send, recv), header only so that the stand-alone tools can
// share it.
#ifndef XRB_BASE_WHOLEIO_H
#define XRB_BASE_WHOLEIO_H

#include <cerrno>
#include <cstddef>
#include <sys/types.h>

// Calls step(done, left) until n bytes have moved, again after EINTR; stops
// early when a call moves nothing (the peer ended) or fails.  step moves at
// most left bytes from position done and answers as the system calls do.
// Returns how many bytes moved.
template <class Step>
size_t moveWhole(size_t n, Step step)
{
    size_t done = 0;
    while (done < n) {
        ssize_t k = step(done, n - done);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            break;
        done += static_cast<size_t>(k);
    }
    return done;
}

#endif
