// Normal mode: a working build server for one machine.  Each build runs an
// executable script of the scripts folder (or the script file the client
// sends) in a fresh work folder.
#ifndef XRB_BUILDSERVER_NORMAL_H
#define XRB_BUILDSERVER_NORMAL_H

#include <string>

struct ServerConfig {
    std::string scriptsDir;     // where -b names are looked up
    std::string workRoot;       // fresh work folders are made under it
    std::string user;           // when set, credentials are asked for
    std::string password;
    bool keepWork = false;      // leave work folders behind (for inspection)
    int maxConnections = 0;     // 0: serve until stopped
    std::string banner = "XRBBLDS local build server";
};

// Serves connections one after the other; returns the exit status.
int runNormal(int listenFd, ServerConfig const& config);

#endif
