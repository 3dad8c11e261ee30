// Holding a terminal as another program would, for ttyhold and vcom. The lock
// belongs to the open file and TIOCEXCL to the terminal, so both outlast the
// holder while some process keeps the descriptor open. Each call returns 0,
// or -1 with errno set.
#ifndef SERIAL_SEND_TOOLS_HOLD_H
#define SERIAL_SEND_TOOLS_HOLD_H

#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tty
{

inline int lock(int fd)
{
    return flock(fd, LOCK_EX | LOCK_NB);
}
inline int unlock(int fd)
{
    return flock(fd, LOCK_UN);
}
inline int excl(int fd)
{
    return ioctl(fd, TIOCEXCL);
}
inline int nxcl(int fd)
{
    return ioctl(fd, TIOCNXCL);
}

// 1 when the terminal is exclusive, 0 when not, -1 when it cannot be asked.
inline int exclusive(int fd)
{
    int held = 0;
    return ioctl(fd, TIOCGEXCL, &held) ? -1 : held != 0;
}

// Both, as serial-send holds its port; and the end of such a hold, which
// closes fd.
inline int hold(int fd)
{
    return lock(fd) || excl(fd) ? -1 : 0;
}
inline void release(int fd)
{
    nxcl(fd);
    unlock(fd);
    close(fd);
}

// Could the next program hold it? An exclusive terminal refuses the open to
// all but root, so it is asked directly; the lock is tried (and kept).
inline bool free_to_hold(int fd)
{
    return lock(fd) == 0 && exclusive(fd) == 0;
}

} // namespace tty

#endif
