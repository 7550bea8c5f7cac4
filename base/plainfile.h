// Opening files that sit in folders other users may share (the log, the
// process-id file, the trace files): a symbolic link at the name is never
// followed, the open cannot hang on a FIFO, and only a plain file is kept.
#ifndef XRB_BASE_PLAINFILE_H
#define XRB_BASE_PLAINFILE_H

#include <sys/types.h>

enum class Owner { anyone, meAlone };

// fd when it is a regular file (with meAlone: ours, with no second name);
// otherwise closes it and gives -1.  A negative fd gives -1.
int keepPlainFile(int fd, Owner owner = Owner::anyone);

// open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode), then
// keepPlainFile.  -1 with errno ELOOP when a link is at the name.
int openPlainFile(char const* path, int flags, mode_t mode, Owner owner = Owner::anyone);

#endif
