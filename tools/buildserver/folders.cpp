#include "folders.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ftw.h>
#include <sys/stat.h>

namespace {

int removeEntry(char const* path, struct stat const*, int, struct FTW*)
{
    return std::remove(path);
}

} // namespace

std::string makeFolders(std::string const& path, mode_t mode)
{
    for (std::string::size_type i = 1; i <= path.size(); ++i) {
        if (i != path.size() && path[i] != '/')
            continue;
        std::string part = path.substr(0, i);
        if (::mkdir(part.c_str(), mode) == 0 || errno == EEXIST)
            continue;
        std::string why = std::strerror(errno);
        return part == path ? why : why + " (at " + part + ")";
    }
    return std::string();
}

void removeTree(std::string const& path)
{
    ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}
