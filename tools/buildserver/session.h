// One connection of normal mode, served in a process of its own: the server
// test, or a build session from the opening packet to the last file.
#ifndef XRB_BUILDSERVER_SESSION_H
#define XRB_BUILDSERVER_SESSION_H

#include <string>

#include "config.h"

// The session's side of the dispatcher's count of running builds.
class SlotChannel {
public:
    explicit SlotChannel(int fd) : fd_(fd) {}
    // True when a build may start; running is then the number of builds
    // running with this one, or else the number that fill the server.
    bool acquire(int& running);
    // The build script has ended: the slot is free for another build.
    void release();

private:
    int fd_;
    bool held_ = false;
};

void serveConnection(int sock, std::string const& peer, ServerConfig const& config, SlotChannel& slots);

#endif
