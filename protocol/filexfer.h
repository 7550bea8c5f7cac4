// Transfer-mode suffixes of travelling file names and the helpers that open,
// read and write the local files behind them.
#ifndef XRB_PROTOCOL_FILEXFER_H
#define XRB_PROTOCOL_FILEXFER_H

#include <cstdio>
#include <string>

constexpr int XRB_DEFAULT_CHUNK = 1000000;

// Read or write n bytes at fd, again after an interruption; the count
// that moved before the end of the file or a failure.
size_t readWhole(int fd, char* bytes, size_t n);
size_t writeWhole(int fd, const char* bytes, size_t n);

// 1 when text ends with suffix, else 0.
int isSuffix(const char* text, const char* suffix);
// The name without its transfer-mode suffix (".TXT", ".BIN", ".MSG", ".ERR",
// ".OUT", ".NON"), in an area that the next call overwrites; nullptr for no
// name or an empty one.  Names of any length are kept whole.
char* stripSuffix(const char* name);
// The local path of a travelling name: suffix stripped, backslashes
// (ConvertSlashes) and the first opening parenthesis turned into slashes;
// same area rules.
char* localPath(const char* name);
// Opens the local file for reading ("rb"); nullptr when it cannot be opened
// or is not a regular file (opened without blocking, so a FIFO cannot hold
// the caller).
FILE* openFile4Read(const char* name);
// Creates the missing folders and opens the local file for writing ("wb");
// throws XRBE-073 (folders) or XRBE-055 (file).  For the user's own names:
// links are followed.
FILE* openFile4Write(const char* name);
// Reads a whole regular file into a buffer kept from call to call; the
// buffer is not zero-terminated.  nullptr (and length 0) when it cannot be
// read or is not a regular file.
char* readFile(const char* name, unsigned long* length);

// Where a file that the server names lands.  The local name is
// the user's prefix followed by the server's name, converted as localPath
// converts.  Up to the last "/" of the prefix it is the user's folder, whose
// links are followed; the rest lies below that folder and is resolved
// without following any symbolic link.
struct Landing {
    std::string folder;   // the user's folder with its "/", or "" for the current one
    std::string below;    // the part below it, never empty
    std::string path() const { return folder + below; }
};
// The one decision of where prefix + name lands.  False when the server's
// part of the converted name is absolute, has a ".." component, or names
// no file.
bool landingOf(const char* prefix, const char* name, Landing& where);
// Opens the landing for writing ("wb"), creating the missing folders below
// the user's folder.  A symbolic link on the way or at the name, or a name
// that is not a regular file: XRBE-055 with the path; a folder that cannot
// be created: XRBE-073.
FILE* openLanding4Write(const Landing& where);
// Opens it for reading ("r") under the same rules; nullptr when it cannot.
FILE* openLanding4Read(const Landing& where);
// Chunk size of file transfers: XRB_CHUNK when it is a positive number,
// else 1,000,000.  Read anew on every call.
int xrbChunkSize();

#endif
