#include "config.h"

std::string buildFolder(ServerConfig const& config, long pid)
{
    return config.runDir + "/" + std::to_string(pid);
}
