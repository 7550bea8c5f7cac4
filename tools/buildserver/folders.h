// Making and removing folder trees.
#ifndef XRB_BUILDSERVER_FOLDERS_H
#define XRB_BUILDSERVER_FOLDERS_H

#include <string>
#include <sys/types.h>

// mkdir -p, with mode for the folders it makes.  Returns an empty text, or
// the system's reason, followed by "(at FOLDER)" when the folder that could
// not be made is not path itself.
std::string makeFolders(std::string const& path, mode_t mode);

// Removes a folder and everything below it, never following a link.
void removeTree(std::string const& path);

#endif
