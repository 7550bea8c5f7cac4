// Runs the command-line parser over arbitrary arguments.  The input is the
// argument list, one argument per line.  Lines that would leave the parse
// (-version ends the process, a user id calls the security manager) are
// left out; everything else, list files included, runs as in the client.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "client/cmdline.h"
#include "client/settings.h"

namespace {

std::string folder;

void removeFolder()
{
    for (char const* f : {"list", "empty", "xrbbldc.log"})
        std::remove((folder + "/" + f).c_str());
    rmdir(folder.c_str());
}

// Output goes to a throw-away folder: the log, the screen and list files.
void prepareFolder()
{
    char dir[] = "/tmp/xrb-cmdline-fuzz-XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0)
        std::abort();
    folder = dir;
    std::atexit(removeFolder);
    FILE* f = std::fopen("list", "w");
    if (f != nullptr) {
        std::fputs("a.c b.c\n\tc%20d.h", f);
        std::fclose(f);
    }
    f = std::fopen("empty", "w");
    if (f != nullptr)
        std::fclose(f);
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
}

bool leavesTheParse(std::string const& arg)
{
    if (arg == "-version" || arg == "-au")
        return true;
    // List files are read whole: only names in the prepared folder (the folder
    // itself, "@.", included), never a device.
    return arg.find('@') != std::string::npos && arg.find('/') != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    prepareFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    if (size > 4096)
        return 0;
    std::vector<std::string> args{"xrbbldc"};
    std::string cur;
    for (size_t i = 0; i < size; ++i) {
        char c = static_cast<char>(data[i]);
        if (c == '\n') {
            args.push_back(cur);
            cur.clear();
        } else if (c != '\0') {
            cur += c;
        }
    }
    if (!cur.empty())
        args.push_back(cur);
    for (std::string const& a : args)
        if (leavesTheParse(a))
            return 0;

    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);

    resetSettings();
    resetCmdLine();
    int rc = processCmdLine(static_cast<int>(args.size()), argv.data());
    if (rc != 0 && rc != 1)
        std::abort();
    // An accepted command line always names a server and something to do.
    if (rc == 0 && (serverHost.length() == 0 || (buildScript.length() == 0 && ping == 0)))
        std::abort();
    std::remove("xrbbldc.log");
    return 0;
}
