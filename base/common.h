// comSystem: file, directory and clock services built on the shell and the
// C library, for the operating-system kind the object was created for
// (4 DOS-style shell, 8 and 13 POSIX shell, 12 POSIX for removeDirectory).
#ifndef XRB_BASE_COMMON_H
#define XRB_BASE_COMMON_H

#include <cstdint>

// A 12-byte time stamp: seconds since the epoch, then 8 unused zero bytes.
struct tcTime_t {
    int32_t seconds;
    int32_t reserved[2];
};

// Appended to every shell command; empty so that command output stays visible.
extern char bitBucket[];
// Cached answer of tcGetOpSys; 0 until a kind-8 object has been asked.
extern int tcOpSys;

class comSystem {
public:
    explicit comSystem(int kind);
    ~comSystem() {}

    // Kept for completeness of the interface: of the services from here to
    // writeBufferToFile the client calls none (it uses time and diffTime).
    int copyFile(char const* from, char const* to);
    int executeCommand(char const* text);
    int deleteFile(char const* path);
    int doesFileExist(char const* path);
    int renameFile(char const* from, char const* to);
    int copyDirectory(char const* from, char const* to);
    int createDirectory(char const* path);
    int doesDirectoryExist(char const* path);
    int eraseDirectory(char const* path);
    int isDirectory(char const* path);
    int removeDirectory(char const* path);
    int renameDirectory(char const* from, char const* to);

    int getFileSize(char const* path, unsigned long* size);
    int tcGetOpSys();
    void appendMsg(char* dest, char const* src);
    int writeBufferToFile(char const* text, char const* path, int append);
    void time(tcTime_t* stamp);
    double diffTime(tcTime_t end, tcTime_t start);

    int rc;
    int opSys;
    char command[260];
    char shownCommand[260];

private:
    bool posix() const { return opSys == 8 || opSys == 13; }
    bool build(char* dest, char const* tmpl, char const* a, char const* b);
    int run();
    // The common course of a command: tmpl with its paths run, rc its
    // status (-1 when the line would not fit, 0 when tmpl is nullptr, no
    // command here), traced under name.
    int runTemplate(char const* name, char const* tmpl, char const* a, char const* b);
    // The command for this kind of system: kind 4's, the POSIX kinds', or
    // nullptr for any other.
    char const* pick(char const* forKind4, char const* forPosix) const;
    // 1 when tmpl with path runs with status 0, else 0 (also for no tmpl).
    int found(char const* tmpl, char const* path);
};

#endif
