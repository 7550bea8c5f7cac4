// Travelling names and their local paths.
#include "protocol/localpath.h"

#include <cstring>

#include "base/util.h"

namespace {

char const* const SUFFIXES[] = {".TXT", ".BIN", ".MSG", ".ERR", ".OUT", ".NON"};

std::string strippedArea;
std::string pathArea;

} // namespace

int isSuffix(char const* text, char const* suffix)
{
    if (!text || !suffix)
        return 0;
    size_t t = std::strlen(text), s = std::strlen(suffix);
    return s <= t && std::memcmp(text + t - s, suffix, s) == 0 ? 1 : 0;
}

char* stripSuffix(char const* name)
{
    if (!name || !*name)
        return nullptr;
    strippedArea.assign(name);
    if (strippedArea.size() >= 4) {
        for (char const* s : SUFFIXES) {
            if (strippedArea.compare(strippedArea.size() - 4, 4, s) == 0) {
                strippedArea.resize(strippedArea.size() - 4);
                break;
            }
        }
    }
    return &strippedArea[0];
}

char* localPath(char const* name)
{
    char* stripped = stripSuffix(name);
    if (!stripped)
        return nullptr;
    pathArea.assign(stripped);
    ConvertSlashes(&pathArea[0]);
    size_t paren = pathArea.find('(');
    if (paren != std::string::npos)
        pathArea[paren] = '/';
    return &pathArea[0];
}

std::string withSlashes(std::string const& name)
{
    std::string slashed(name);
    ConvertSlashes(&slashed[0]);
    return slashed;
}

std::vector<std::string> componentsOf(std::string const& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool climbs(std::string const& path)
{
    for (std::string const& c : componentsOf(path))
        if (c == "..")
            return true;
    return false;
}

bool landingOf(char const* prefix, char const* name, Landing& where)
{
    where = Landing();
    if (!name || !*name)
        return false;
    std::string user(prefix ? prefix : "");
    char* converted = localPath((user + name).c_str());
    if (!converted)
        return false;
    std::string path(converted);
    // The conversions keep every byte in its place, so the server's part
    // starts where the prefix ends (unless the suffix took some of it).
    size_t mark = user.size() < path.size() ? user.size() : path.size();
    std::string server = path.substr(mark);
    if (!server.empty() && server[0] == '/')
        return false;
    size_t slash = mark == 0 ? std::string::npos : path.rfind('/', mark - 1);
    if (slash != std::string::npos)
        where.folder = path.substr(0, slash + 1);
    where.below = path.substr(where.folder.size());
    if (climbs(server) || climbs(where.below))
        return false;
    std::vector<std::string> parts = componentsOf(where.below);
    return !parts.back().empty() && parts.back() != ".";
}
