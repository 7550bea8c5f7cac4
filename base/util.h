// Allocation, error reporting and path helpers of the foundation library.
// Functions returning a new text leave its release (free) to the caller.
#ifndef XRB_BASE_UTIL_H
#define XRB_BASE_UTIL_H

#include <cstddef>

void* allocSpace(size_t size);   // zero-filled, or null
char* strsave(char const* text); // copy, or null

int myerror(char const* text);            // to standard error; returns 1
extern int (*myerrorp)(char const* text); // the reporter; starts as myerror
int fhccmn_error(char const* text);       // reports through myerrorp

int fixupPath(char* path);          // backslashes to slashes, in place
char* ConvertSlashes(char* text);   // the same, byte by byte
int dirExists(char* path);          // non-zero for a directory
char* dirPath(char const* path);    // directory part, or null
int makeDir(char* path, int mode);  // 0, or 1 after XRBW-004
int makePath(char* path, int mode); // with missing parents; 0 or 1
// The four below are kept for completeness of the interface; the client does not call them.
char* basePathPtr(char* path);    // after the last slash, or null
char* basePath(char const* path); // copy of the last component
char* baseName(char* path);       // after the last slash, or path
int removeFile(char const* path); // 0 on success

#endif
