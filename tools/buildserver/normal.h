// Normal mode: a working build server for one machine.  Each connection is
// served by a process of its own; at most config.jobs builds run at once.
#ifndef XRB_BUILDSERVER_NORMAL_H
#define XRB_BUILDSERVER_NORMAL_H

#include <string>

#include "config.h"

// Serves until SIGTERM or SIGINT (or config.maxConnections connections),
// then ends the sessions still running and removes this server's folder.
// Returns the exit status.
int runNormal(int listenFd, ServerConfig const& config, std::string const& address, int port);

#endif
