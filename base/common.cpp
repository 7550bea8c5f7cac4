#include "base/common.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "trace/fhgtrace.h"

char bitBucket[1] = "";
int tcOpSys = 0;

#define TRACE(...) XRB_TRACE_AT("common", __VA_ARGS__)

namespace {

// The shell must take a path as one word, whatever blanks or shell
// characters it holds.
std::string quotePosix(char const* path)
{
    std::string out = "'";
    for (char const* p = path; *p != '\0'; ++p) {
        if (*p == '\'')
            out += "'\\''";
        else
            out += *p;
    }
    out += '\'';
    return out;
}

std::string quoteDos(char const* path)
{
    std::string out = "\"";
    for (char const* p = path; *p != '\0'; ++p) {
        if (*p != '"')
            out += *p;
    }
    out += '"';
    return out;
}

} // namespace

comSystem::comSystem(int kind) : rc(0), opSys(kind)
{
    command[0] = '\0';
    shownCommand[0] = '\0';
}

// Builds the template with its one or two paths quoted into dest (260 bytes).
// A command that does not fit is refused rather than cut: a cut path would
// name a different file.
bool comSystem::build(char* dest, char const* tmpl, char const* a, char const* b)
{
    std::string qa, qb;
    if (a != nullptr)
        qa = posix() || opSys == 12 ? quotePosix(a) : quoteDos(a);
    if (b != nullptr)
        qb = posix() || opSys == 12 ? quotePosix(b) : quoteDos(b);
    std::string out;
    int used = 0;
    for (char const* t = tmpl; *t != '\0'; ++t) {
        if (t[0] == '%' && t[1] == 's') {
            out += used++ == 0 ? qa : qb;
            ++t;
        } else {
            out += *t;
        }
    }
    dest[0] = '\0';
    if (out.size() + std::strlen(bitBucket) >= sizeof command)
        return false;
    std::memcpy(dest, out.c_str(), out.size() + 1);
    return true;
}

int comSystem::run()
{
    std::strcpy(command, shownCommand);
    std::strcat(command, bitBucket);
    return std::system(command);
}

int comSystem::copyFile(char const* from, char const* to)
{
    rc = 0;
    TRACE("Entering copyFile");
    char const* tmpl = opSys == 4 ? "copy /v %s %s" : posix() ? "cp %s %s" : nullptr;
    if (tmpl != nullptr)
        rc = build(shownCommand, tmpl, from, to) ? run() : -1;
    TRACE("Exiting copyFile: cmd=%s rc=%d", shownCommand, rc);
    return rc;
}

int comSystem::executeCommand(char const* text)
{
    rc = 0;
    TRACE("Entering executeCommand");
    // The text is a command line of its own, not a path: passed unquoted.
    if (std::strlen(text) + std::strlen(bitBucket) < sizeof command) {
        std::strcpy(shownCommand, text);
        rc = run();
    } else {
        shownCommand[0] = '\0';
        rc = -1;
    }
    TRACE("Exiting executeCmd: cmd=%s rc=%d", shownCommand, rc);
    return rc;
}

int comSystem::deleteFile(char const* path)
{
    rc = 0;
    TRACE("Entering deleteFile");
    char const* tmpl = opSys == 4 ? "erase -f -q %s" : posix() ? "rm -f %s" : nullptr;
    if (tmpl != nullptr)
        rc = build(shownCommand, tmpl, path, nullptr) ? run() : -1;
    TRACE("Exiting deleteFile: cmd=%s rc=%d", shownCommand, rc);
    return rc;
}

int comSystem::doesFileExist(char const* path)
{
    rc = 0;
    TRACE("Entering doesFileExist");
    char const* tmpl = opSys == 4 ? "dir %s" : posix() ? "ls -a %s" : nullptr;
    if (tmpl != nullptr && build(shownCommand, tmpl, path, nullptr))
        rc = run() == 0 ? 1 : 0;
    TRACE("Exiting doesFileExist: cmd=%s rc=%d", shownCommand, rc);
    return rc;
}

int comSystem::renameFile(char const* from, char const* to)
{
    rc = 0;
    TRACE("Entering renameFile");
    char const* tmpl = opSys == 4 ? "rename %s %s" : posix() ? "mv %s %s" : nullptr;
    if (tmpl != nullptr)
        rc = build(shownCommand, tmpl, from, to) ? run() : -1;
    TRACE("Exiting renameFile: cmd=%s rc=%d", shownCommand, rc);
    return rc;
}

int comSystem::copyDirectory(char const* from, char const* to)
{
    rc = 0;
    TRACE("Entering copyDirectory");
    char const* tmpl = opSys == 4 ? "xcopy /e /v /h /q /r /k %s %s"
                       : posix()  ? "cp -r %s %s"
                                  : nullptr;
    if (tmpl != nullptr)
        rc = build(shownCommand, tmpl, from, to) ? run() : -1;
    TRACE("Exiting copyDirectory: cmd=%s rc=%d", shownCommand, rc);
    return rc;
}

int comSystem::createDirectory(char const* path)
{
    rc = 0;
    TRACE("Entering createDirectory");
    if (opSys == 4 || posix())
        rc = build(shownCommand, "mkdir %s", path, nullptr) ? run() : -1;
    TRACE("Exiting createDirectory: cmd=%s rc=%d", shownCommand, rc);
    return rc;
}

int comSystem::doesDirectoryExist(char const* path)
{
    rc = 1;
    TRACE("Entering doesDirectoryExist");
    char const* tmpl = opSys == 4 ? "dir /a:d %s" : posix() ? "ls -f -l %s" : nullptr;
    if (tmpl == nullptr || (opSys == 4 && path[0] == '\0')) {
        rc = 0;
    } else if (build(shownCommand, tmpl, path, nullptr)) {
        rc = run() == 0 ? 1 : 0;
    } else {
        rc = 0;
    }
    TRACE("Exiting doesDirectoryExist: cmd=%s rc=%d", command, rc);
    return rc;
}

int comSystem::eraseDirectory(char const* path)
{
    rc = 0;
    TRACE("Entering eraseDirectory");
    char const* tmpl = opSys == 4 ? "erase /F /Q %s" : posix() ? "rm -f %s" : nullptr;
    if (tmpl != nullptr)
        rc = build(shownCommand, tmpl, path, nullptr) ? run() : -1;
    TRACE("Exiting eraseDirectory: cmd=%s rc=%d", shownCommand, rc);
    return rc;
}

int comSystem::isDirectory(char const* path)
{
    rc = 1;
    TRACE("Entering isDirectory");
    if (posix())
        rc = build(shownCommand, "ls -f -l %s", path, nullptr) && run() == 0 ? 1 : 0;
    TRACE("Exiting isDirectory: rc=%d", rc);
    return rc;
}

int comSystem::removeDirectory(char const* path)
{
    int status = 0;
    TRACE("Entering removeDirectory for dir %s", path);
    if (posix() || opSys == 12)
        status = build(shownCommand, "rm -f -r %s", path, nullptr) ? run() : -1;
    TRACE("Exiting removeDirectory: rc=%d", status);
    return status;
}

int comSystem::renameDirectory(char const* from, char const* to)
{
    int status = 0;
    TRACE("Entering renameDirectory");
    if (posix())
        status = build(shownCommand, "mv %s %s", from, to) ? run() : -1;
    TRACE("Exiting renameDirectory: rc=%d", status);
    return status;
}

int comSystem::getFileSize(char const* path, unsigned long* size)
{
    TRACE("Entering: getFileSize() - %s", path);
    *size = 0;
    struct stat st;
    int result = ::stat(path, &st);
    if (result == 0)
        *size = static_cast<unsigned long>(st.st_size);
    TRACE("Exiting: getFileSize() rc=%d, length=%lul", result, *size);
    return result;
}

int comSystem::tcGetOpSys()
{
    if (tcOpSys == 0 && opSys == 8)
        tcOpSys = 8;
    TRACE("Exiting tcGetOpSys: tcOpSys=%d", tcOpSys);
    return tcOpSys;
}

void comSystem::appendMsg(char* dest, char const* src)
{
    TRACE("Entering: appendMsg");
    if (dest[0] == '\0')
        std::strcpy(dest, src);
    else
        std::strcat(dest, src);
    TRACE("Exiting: appendMsg");
}

int comSystem::writeBufferToFile(char const* text, char const* path, int append)
{
    FILE* f = std::fopen(path, append ? "a" : "w");
    if (f == nullptr)
        return 8;
    int bad = std::fputs(text, f) < 0;
    if (std::fclose(f) != 0)
        bad = 1;
    return bad ? 8 : 0;
}

void comSystem::time(tcTime_t* stamp)
{
    std::memset(stamp, 0, sizeof *stamp);
    stamp->seconds = static_cast<int32_t>(std::time(nullptr));
}

double comSystem::diffTime(tcTime_t end, tcTime_t start)
{
    return std::difftime(static_cast<time_t>(end.seconds), static_cast<time_t>(start.seconds));
}
