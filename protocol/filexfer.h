// Transfer-mode suffixes of travelling file names and the helpers that open,
// read and write the local files behind them.
#ifndef XRB_PROTOCOL_FILEXFER_H
#define XRB_PROTOCOL_FILEXFER_H

#include <cstdio>

constexpr int XRB_DEFAULT_CHUNK = 1000000;

// 1 when text ends with suffix, else 0.
int isSuffix(const char* text, const char* suffix);
// The name without its transfer-mode suffix (".TXT", ".BIN", ".MSG", ".ERR",
// ".OUT", ".NON"), in an area that the next call overwrites; nullptr for no
// name or an empty one.  Names of any length are kept whole.
char* stripSuffix(const char* name);
// The local path of a travelling name: suffix stripped, backslashes and the
// first opening parenthesis turned into slashes; same area rules.
char* localPath(const char* name);
// Opens the local file for reading ("rb"); nullptr when it cannot be opened.
FILE* openFile4Read(const char* name);
// Creates the missing folders and opens the local file for writing ("wb");
// throws XRBE-073 (folders) or XRBE-055 (file).
FILE* openFile4Write(const char* name);
// Reads a whole file into a buffer kept from call to call; the buffer is not
// zero-terminated.  nullptr (and length 0) when it cannot be read.
char* readFile(const char* name, unsigned long* length);
// Chunk size of file transfers: XRB_CHUNK when it is a positive number,
// else 1,000,000.  Read anew on every call.
int xrbChunkSize();

#endif
