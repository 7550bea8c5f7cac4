// Scripted mode: plays a test script against the connections that arrive
// on the listening socket and records what the client sent.
#ifndef XRB_BUILDSERVER_SCRIPTED_H
#define XRB_BUILDSERVER_SCRIPTED_H

#include <string>

// Returns the process exit status: 0 when every command ran and every
// expectation held, 2 on the first one that did not, 3 for a bad script.
int runScripted(int listenFd, std::string const& scriptPath, std::string const& recordPath, int deadlineSeconds);

#endif
