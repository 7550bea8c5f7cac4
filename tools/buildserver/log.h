// The server's log: one line per event on standard error, with a time stamp
// and the id of the process that serves the connection.
#ifndef XRB_BUILDSERVER_LOG_H
#define XRB_BUILDSERVER_LOG_H

#include <string>

// Writes "YYYY-MM-DD HH:MM:SS xrbblds[pid]: text" as one write, so that the
// lines of processes serving side by side never interleave.  Line breaks in
// text (texts of the packet layer have them) become blanks.
void logLine(std::string const& text);

#endif
