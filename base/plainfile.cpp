#include "base/plainfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int keepPlainFile(int fd, Owner owner)
{
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (owner == Owner::meAlone && (st.st_uid != geteuid() || st.st_nlink != 1))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int openPlainFile(char const* path, int flags, mode_t mode, Owner owner)
{
    return keepPlainFile(::open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode), owner);
}
