#include "client/givennames.h"

#include <unordered_map>

namespace {

std::unordered_map<std::string, std::string>& names()
{
    static std::unordered_map<std::string, std::string> byEntry;
    return byEntry;
}

} // namespace

void rememberGivenName(std::string const& entry, std::string const& given)
{
    if (entry != given)
        names().emplace(entry, given);
}

std::string const& givenNameOf(std::string const& entry)
{
    auto it = names().find(entry);
    return it != names().end() ? it->second : entry;
}

void forgetGivenNames()
{
    names().clear();
}
