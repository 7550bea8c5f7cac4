// The command line of xrbblds and the checks made before it listens.
#ifndef XRB_BUILDSERVER_OPTIONS_H
#define XRB_BUILDSERVER_OPTIONS_H

#include <string>

#include "config.h"

struct Options {
    std::string bind = "127.0.0.1";
    int port = 0;
    std::string portFile;
    std::string script; // scripted mode
    std::string record;
    int deadline = 60;
    std::string authFile;
    bool authOnCommandLine = false;
    bool help = false;
    ServerConfig config; // normal mode
};

// The usage text, for --help (standard output) and usage errors.
std::string usageText();

// Fills out from the arguments.  Returns an empty text, or what is wrong
// with the command line.
std::string parseOptions(int argc, char** argv, Options& out);

// The start-up checks of normal mode: the scripts folder exists and can be
// read, the work folder exists or is created, this server's own folder is
// made in it, the credentials file is private and well formed.  Returns an
// empty text, or the refusal naming the path and the system's reason.
std::string prepareNormalMode(Options& options);

// Reads "user:password" lines (blank lines and lines starting with "#" are
// skipped).  Returns an empty text, or what is wrong.
std::string loadCredentials(std::string const& path, std::vector<Credential>& out);

#endif
