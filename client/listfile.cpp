#include "client/listfile.h"

#include <string>
#include <vector>

#include "client/settings.h"
#include "msg/msg.h"
#include "protocol/filexfer.h"

namespace {

// Words are runs of bytes above 32; every other byte, the zero byte
// included, separates them.  The buffer is not terminated, so the scan
// stays within len.
std::vector<std::string> splitWords(unsigned char const* data, unsigned long len)
{
    std::vector<std::string> words;
    unsigned long i = 0;
    while (i < len) {
        while (i < len && data[i] <= 32)
            ++i;
        unsigned long start = i;
        while (i < len && data[i] > 32)
            ++i;
        if (i > start)
            words.emplace_back(reinterpret_cast<char const*>(data) + start, i - start);
    }
    return words;
}

} // namespace

int appendListFile(char const* name, char const* tag, std::string& list)
{
    unsigned long len = 0;
    char* data = readFile(name, &len);
    if (data == nullptr || len == 0) {
        Error("%s", msgGet(XRBE_017_FILE_NOT_FOUND, name));
        return 1;
    }
    std::vector<std::string> words = splitWords(reinterpret_cast<unsigned char const*>(data), len);

    for (auto w = words.rbegin(); w != words.rend(); ++w) {
        list += ' ';
        list += *w;
        list += tag;
    }
    return 0;
}
