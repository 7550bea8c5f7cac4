#include "base/util.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/NLSGlobal.h"
#include "msg/msg.h"
#include "trace/fhgtrace.h"

#define TRACE(...) XRB_TRACE_AT("util", __VA_ARGS__)

int (*myerrorp)(char const* text) = myerror;

void* allocSpace(size_t size)
{
    void* block = std::calloc(1, size);
    TRACE("allocSpace(%lu) = %p", static_cast<unsigned long>(size), block);
    return block;
}

char* strsave(char const* text)
{
    if (text == nullptr)
        return nullptr;
    size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(allocSpace(n));
    if (copy != nullptr)
        std::memcpy(copy, text, n);
    return copy;
}

int myerror(char const* text)
{
    std::fputs(text, stderr);
    std::fflush(stderr);
    return 1;
}

int fhccmn_error(char const* text)
{
    return myerrorp(text);
}

int fixupPath(char* path)
{
    for (char* p = mcstrchr(path, '\\'); p != nullptr; p = mcstrchr(p + 1, '\\'))
        *p = '/';
    return 0;
}

char* ConvertSlashes(char* text)
{
    TRACE("Enter: ConvertSlashes(%s)", text);
    for (char* p = text; *p != '\0'; ++p)
        if (*p == '\\')
            *p = '/';
    TRACE("Exit: ConvertSlashes");
    return text;
}

int dirExists(char* path)
{
    TRACE("dirExists(%s)", path != nullptr ? path : "(null)");
    long rc = 0;
    if (path != nullptr) {
        fixupPath(path);
        std::string probe = path;
        if (probe.size() == 2 && probe[1] == ':')
            probe += '/';
        struct stat st;
        if (::stat(probe.c_str(), &st) == 0)
            rc = S_ISDIR(st.st_mode) ? 1 : 0;
    }
    TRACE("dirExists rc=%ld", rc);
    return static_cast<int>(rc);
}

char* dirPath(char const* path)
{
    if (path == nullptr)
        return nullptr;
    char* copy = strsave(path);
    if (copy == nullptr)
        return nullptr;
    fixupPath(copy);
    char* slash = mcstrrchr(copy, '/');
    if (slash == nullptr) {
        std::free(copy);
        return nullptr;
    }
    if (slash == copy)
        slash[1] = '\0';
    else
        *slash = '\0';
    return copy;
}

int makeDir(char* path, int mode)
{
    TRACE("makeDir(%s, %d )", path, mode);
    fixupPath(path);
    long rc = 0;
    // A folder that is there already, made meanwhile by another process,
    // is what was wanted.
    if (::mkdir(path, static_cast<mode_t>(mode)) != 0 && !(errno == EEXIST && dirExists(path))) {
        fhccmn_error(msgGet(XRBW_004_CANNOT_CREATE_DIRECTORY, path));
        rc = 1;
    }
    TRACE("makeDir rc=%ld", rc);
    return static_cast<int>(rc);
}

int makePath(char* path, int mode)
{
    TRACE("makePath(%s, %d)", path != nullptr ? path : "(null)", mode);
    int rc = 0;
    if (path != nullptr && !dirExists(path)) {
        char* parent = dirPath(path);
        if (parent != nullptr) {
            rc = makePath(parent, mode);
            std::free(parent);
        }
        // "out//" and "x/." name the parent itself, which exists by now.
        if (rc == 0 && !dirExists(path))
            rc = makeDir(path, mode);
        rc = rc != 0 ? 1 : 0;
    }
    TRACE("makePath rc=%d", rc);
    return rc;
}

char* basePathPtr(char* path)
{
    char* slash = mcstrrchr(path, '/');
    return slash != nullptr ? slash + 1 : nullptr;
}

char* basePath(char const* path)
{
    char const* slash = mcstrrchr(path, '/');
    return strsave(slash != nullptr ? slash + 1 : path);
}

char* baseName(char* path)
{
    for (char* p = path + std::strlen(path); p > path; --p)
        if (p[-1] == '/')
            return p;
    return path;
}

int removeFile(char const* path)
{
    if (std::remove(path) == 0)
        return 0;
    ::chmod(path, 0600);
    return std::remove(path);
}
