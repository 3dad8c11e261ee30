// A fresh pseudo-terminal, for vcom and the tests: the master, and the slave
// opened by its path and held, so the terminal outlives what others open
// and close on it.
#ifndef SERIAL_SEND_TOOLS_PTY_H
#define SERIAL_SEND_TOOLS_PTY_H

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

struct Pty {
    int master = -1;
    int slave = -1;
    char path[64] = "";
};

// False, with errno set, when no pseudo-terminal can be had.
inline bool open_pty(Pty &p)
{
    p.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.master < 0 || grantpt(p.master) || unlockpt(p.master) ||
        ptsname_r(p.master, p.path, sizeof p.path))
        return false;
    p.slave = open(p.path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    return p.slave >= 0;
}

#endif
