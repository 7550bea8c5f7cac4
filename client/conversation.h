// Steps of the build conversation, one unit per phase.  processCmd (in
// xrbbldc.cpp) strings them together; tests drive them one by one.
#ifndef XRB_CLIENT_CONVERSATION_H
#define XRB_CLIENT_CONVERSATION_H

#include <cstdio>
#include <string>

#include "protocol/filexfer.h"

// Name of the process-id file for a message-file prefix: the prefix up to
// its last "/" (a "/" in the first position does not count), or the whole
// prefix, followed by "xrbbldc.pid".  Empty when the prefix is at most one
// character long: then no process-id file is written.
std::string pidFileNameFor(std::string const& prefix);

// Writes "<pid> " into the process-id file for msgfilePrefix; failures are
// silent.
void writePidFile();

// The server test on a connected socket; returns the exit status.
int runServerTest(int sock);

// The request phase.  Returns 1 when the server ended it with COMM_END,
// 0 when it failed (the failure has been reported).  sock is replaced after
// a busy reply.
int runRequestPhase(int& sock);

// The result phase; returns the exit status.
int runResultPhase(int sock);

// A message-file name as the server sent it is refused when, converted by
// localPath, it is absolute or climbs out of its folder with a ".."
// component.  It asks landingOf under msgfilePrefix, the same decision the
// result phase writes by, and converts nothing itself.
bool isSafeMessageFileName(char const* name);

// Copies a printable message file, from where it landed, to out piece by
// piece (at most 255 bytes a piece), form feeds turned into newlines, each
// piece followed by a newline.  A file that cannot be opened that way is
// skipped.
void printMessageFile(Landing const& where, FILE* out);

#endif
