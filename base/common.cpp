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

char const* comSystem::pick(char const* forKind4, char const* forPosix) const
{
    return opSys == 4 ? forKind4 : posix() ? forPosix : nullptr;
}

int comSystem::found(char const* tmpl, char const* path)
{
    return tmpl != nullptr && build(shownCommand, tmpl, path, nullptr) && run() == 0 ? 1 : 0;
}

int comSystem::runTemplate(char const* name, char const* tmpl, char const* a, char const* b)
{
    rc = 0;
    TRACE("Entering %s", name);
    if (tmpl != nullptr)
        rc = build(shownCommand, tmpl, a, b) ? run() : -1;
    TRACE("Exiting %s: cmd=%s rc=%d", name, shownCommand, rc);
    return rc;
}

int comSystem::copyFile(char const* from, char const* to)
{
    return runTemplate("copyFile", pick("copy /v %s %s", "cp %s %s"), from, to);
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
    return runTemplate("deleteFile", pick("erase -f -q %s", "rm -f %s"), path, nullptr);
}

int comSystem::doesFileExist(char const* path)
{
    TRACE("Entering doesFileExist");
    rc = found(pick("dir %s", "ls -a %s"), path);
    TRACE("Exiting doesFileExist: cmd=%s rc=%d", shownCommand, rc);
    return rc;
}

int comSystem::renameFile(char const* from, char const* to)
{
    return runTemplate("renameFile", pick("rename %s %s", "mv %s %s"), from, to);
}

int comSystem::copyDirectory(char const* from, char const* to)
{
    return runTemplate("copyDirectory", pick("xcopy /e /v /h /q /r /k %s %s", "cp -r %s %s"), from, to);
}

int comSystem::createDirectory(char const* path)
{
    return runTemplate("createDirectory", pick("mkdir %s", "mkdir %s"), path, nullptr);
}

int comSystem::doesDirectoryExist(char const* path)
{
    TRACE("Entering doesDirectoryExist");
    rc = opSys == 4 && path[0] == '\0' ? 0 : found(pick("dir /a:d %s", "ls -f -l %s"), path);
    TRACE("Exiting doesDirectoryExist: cmd=%s rc=%d", command, rc);
    return rc;
}

int comSystem::eraseDirectory(char const* path)
{
    return runTemplate("eraseDirectory", pick("erase /F /Q %s", "rm -f %s"), path, nullptr);
}

int comSystem::isDirectory(char const* path)
{
    rc = 1;
    TRACE("Entering isDirectory");
    if (posix())
        rc = found("ls -f -l %s", path);
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
