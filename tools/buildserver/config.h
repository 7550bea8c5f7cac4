// The settings of normal mode, as the command line and the start-up checks
// left them.
#ifndef XRB_BUILDSERVER_CONFIG_H
#define XRB_BUILDSERVER_CONFIG_H

#include <string>
#include <vector>

struct Credential {
    std::string user;
    std::string password;
};

struct ServerConfig {
    std::string scriptsDir;        // where -b names are looked up (absolute)
    std::string workRoot;          // --work, absolute
    std::string runDir;            // this server's own folder under workRoot
    std::vector<Credential> users; // empty: no credentials are asked for
    bool keepWork = false;         // leave build folders behind (for inspection)
    int maxConnections = 0;        // 0: serve until stopped
    int jobs = 1;                  // builds running at once
    int idleTimeout = 30;          // seconds a peer may stay silent; 0: no limit
    std::string banner = "XRBBLDS local build server";
};

// The folder of the build served by process pid.
std::string buildFolder(ServerConfig const& config, long pid);

#endif
