// "@name" list files of the input and dependent file lists.
#ifndef XRB_CLIENT_LISTFILE_H
#define XRB_CLIENT_LISTFILE_H

#include <string>

// Appends one entry (a blank, the word, the tag) to list for every word of
// the file, last word first.  A missing or empty file, or one that is not a
// regular file (a folder, a FIFO), is reported and gives 1; otherwise 0.
int appendListFile(char const* name, char const* tag, std::string& list);

#endif
