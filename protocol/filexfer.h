// The helpers that open, read and write the local files behind travelling
// names (their paths come from protocol/localpath.h).
#ifndef XRB_PROTOCOL_FILEXFER_H
#define XRB_PROTOCOL_FILEXFER_H

#include <cstdio>

#include "protocol/localpath.h"

constexpr int XRB_DEFAULT_CHUNK = 1000000;

// Opens localPath(name) for reading ("rb"); nullptr when it cannot be opened
// or is not a regular file (opened without blocking, so a FIFO cannot hold
// the caller).
FILE* openFile4Read(char const* name);
// Creates the missing folders and opens localPath(name) for writing ("wb");
// throws XRBE-073 (folders) or XRBE-055 (file).  For the user's own names:
// links are followed.
FILE* openFile4Write(char const* name);
// Reads a whole regular file into a buffer kept from call to call; the
// buffer is not zero-terminated.  nullptr (and length 0) when it cannot be
// read or is not a regular file.
char* readFile(char const* name, unsigned long* length);

// Opens the landing for writing ("wb"), creating the missing folders below
// the user's folder.  A symbolic link on the way or at the name, or a name
// that is not a regular file: XRBE-055 with the path; a folder that cannot
// be created: XRBE-073.
FILE* openLanding4Write(Landing const& where);
// Opens it for reading ("r") under the same rules; nullptr when it cannot.
FILE* openLanding4Read(Landing const& where);
// Chunk size of file transfers: XRB_CHUNK when it is a positive number,
// else 1,000,000.  Read anew on every call.
int xrbChunkSize();

#endif
