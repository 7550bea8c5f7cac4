// The names of files as they travel, and the one conversion from such a
// name to the local path that is opened.  Nothing else in the client turns a
// name into a path: the openers, the landing of a server's name and the
// check of a server's name all start from localPath.
#ifndef XRB_PROTOCOL_LOCALPATH_H
#define XRB_PROTOCOL_LOCALPATH_H

#include <string>
#include <vector>

// 1 when text ends with suffix, else 0.
int isSuffix(char const* text, char const* suffix);
// The name without its transfer-mode suffix (".TXT", ".BIN", ".MSG", ".ERR",
// ".OUT", ".NON"), in an area that the next call overwrites; nullptr for no
// name or an empty one.  Names of any length are kept whole.
char* stripSuffix(char const* name);
// The local path of a travelling name: suffix stripped, backslashes
// (ConvertSlashes) and the first opening parenthesis turned into slashes;
// same area rules.  Every byte keeps its place: only the suffix goes.
char* localPath(char const* name);
// The name with its backslashes read as slashes (ConvertSlashes): how a
// name the server asks for is matched against the names offered, and how a
// local name is shown.  Not a path to open.
std::string withSlashes(std::string const& name);

// Where a file that the server names lands.  The local name is
// the user's prefix followed by the server's name, converted as localPath
// converts.  Up to the last "/" of the prefix it is the user's folder, whose
// links are followed; the rest lies below that folder and is resolved
// without following any symbolic link.
struct Landing {
    std::string folder; // the user's folder with its "/", or "" for the current one
    std::string below;  // the part below it, never empty
    std::string path() const { return folder + below; }
};
// The one decision of where prefix + name lands.  False when the server's
// part of the converted name is absolute, has a ".." component, or names
// no file.
bool landingOf(char const* prefix, char const* name, Landing& where);

// The "/"-separated components of a path, empty ones included.
std::vector<std::string> componentsOf(std::string const& path);
// True when a component is "..".
bool climbs(std::string const& path);

#endif
