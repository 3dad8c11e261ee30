// The five kernel32 calls over a Linux terminal; see windows.h for the contract.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "com_name.h"
#include "dcb_termios.h"
#include "windows.h"

namespace
{

// What a handle stands for. A handle is its slot's number plus one, so
// neither 0 nor INVALID_HANDLE_VALUE is ever one. Read by the signal handler,
// hence sig_atomic_t.
struct Port {
    volatile sig_atomic_t fd = -1; // -1: the slot is free
    volatile sig_atomic_t exclusive = 0;
};
constexpr size_t port_count = 8;
Port ports[port_count];

Port *port_of(HANDLE h)
{
    const intptr_t slot = reinterpret_cast<intptr_t>(h) - 1;
    if (slot < 0 || slot >= intptr_t{port_count} || ports[slot].fd < 0)
        return nullptr;
    return &ports[slot];
}

int descriptor(HANDLE h)
{
    const Port *p = port_of(h);
    return p ? p->fd : -1;
}

// The signals that end a run from outside (Ctrl-C, Ctrl-\, a hangup, kill).
// While a port is held exclusively they give it back first: a terminal left
// exclusive refuses every later opener but root for as long as anyone keeps
// it open, and the other side of a pseudo-terminal usually does.
constexpr int ending_signals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr size_t ending_count = sizeof ending_signals / sizeof *ending_signals;
struct sigaction saved_actions[ending_count];
int exclusive_ports = 0;

sigset_t ending_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int s : ending_signals)
        sigaddset(&set, s);
    return set;
}

void give_back(int fd)
{
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
}

void give_back_and_end(int signal_number)
{
    for (const Port &p : ports)
        if (p.fd >= 0 && p.exclusive)
            give_back(p.fd);
    // Blocked until this handler returns, then it ends the process as it
    // would have without the handler.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void catch_ending_signals()
{
    struct sigaction give = {};
    give.sa_handler = give_back_and_end;
    give.sa_mask = ending_set();
    for (size_t i = 0; i < ending_count; ++i) {
        sigaction(ending_signals[i], &give, &saved_actions[i]);
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (saved_actions[i].sa_handler == SIG_IGN)
            sigaction(ending_signals[i], &saved_actions[i], nullptr);
    }
}

void restore_ending_signals()
{
    for (size_t i = 0; i < ending_count; ++i)
        sigaction(ending_signals[i], &saved_actions[i], nullptr);
}

// Takes the port for this opener alone, as windows.h describes: the lock, a
// terminal already exclusive refused, then TIOCEXCL. The ending signals wait
// while the port becomes exclusive and their handler is set up.
bool take(Port &p)
{
    int held = 0;
    if (flock(p.fd, LOCK_EX | LOCK_NB) != 0 || (ioctl(p.fd, TIOCGEXCL, &held) == 0 && held))
        return false;
    const sigset_t ending = ending_set();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &ending, &before);
    const bool taken = ioctl(p.fd, TIOCEXCL) == 0 || errno == ENOTTY;
    if (taken) {
        p.exclusive = 1;
        if (exclusive_ports++ == 0)
            catch_ending_signals();
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return taken;
}

// A serial driver with no hardware behind its node (the 8250 driver makes
// ttyS0-3 whether or not a UART answers) opens, but cannot read its line:
// EIO. Such a port does not exist. Not being a terminal at all is another
// matter, left for SetCommState to refuse.
bool has_hardware(int fd)
{
    termios t;
    return tcgetattr(fd, &t) == 0 || errno != EIO;
}

bool set_blocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

int apply(int fd, const termios &t)
{
    int r;
    while ((r = tcsetattr(fd, TCSANOW, &t)) != 0 && errno == EINTR) {
    }
    return r;
}

} // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    const DWORD rw = GENERIC_READ | GENERIC_WRITE;
    if (!lpFileName || !(dwDesiredAccess & rw) || (dwDesiredAccess & ~rw) || lpSecurityAttributes ||
        dwCreationDisposition != OPEN_EXISTING || (dwFlagsAndAttributes & ~FILE_ATTRIBUTE_NORMAL) ||
        hTemplateFile)
        return INVALID_HANDLE_VALUE;

    size_t slot = 0;
    while (slot < port_count && ports[slot].fd >= 0)
        ++slot;
    if (slot == port_count)
        return INVALID_HANDLE_VALUE;

    const int mode = dwDesiredAccess == rw              ? O_RDWR
                     : (dwDesiredAccess & GENERIC_READ) ? O_RDONLY
                                                        : O_WRONLY;
    char device[16];
    const char *path = compat::com_device(lpFileName, device) ? device : lpFileName;

    // Non-blocking only for the open itself, so a line without carrier
    // cannot hold it up. Never the controlling terminal: a session leader
    // without one (a service, setsid serial-send) would take the port, and
    // its exit would hang the port up for every other program that has it
    // open, and drop DTR.
    int fd = open(path, mode | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    // With standard input, output or error closed, the port would take its
    // number, and what is printed would go down the line.
    if (fd >= 0 && fd <= STDERR_FILENO) {
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(fd);
        fd = moved;
    }
    if (fd < 0)
        return INVALID_HANDLE_VALUE;

    Port &p = ports[slot];
    p.fd = fd;
    HANDLE h = reinterpret_cast<HANDLE>(static_cast<intptr_t>(slot + 1));
    if (!has_hardware(fd) || (dwShareMode == 0 && !take(p)) || !set_blocking(fd)) {
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB)
{
    termios t;
    if (!lpDCB || tcgetattr(descriptor(hFile), &t) != 0)
        return FALSE;
    compat::dcb_from_termios(t, *lpDCB);
    return TRUE;
}

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB)
{
    const int fd = descriptor(hFile);
    termios before, want, got;
    if (!lpDCB || tcgetattr(fd, &before) != 0)
        return FALSE;
    want = before;
    if (!compat::termios_from_dcb(*lpDCB, want))
        return FALSE;
    // A driver may take the call yet drop what it cannot do: read back, and
    // put the old settings back when anything is missing.
    if (apply(fd, want) != 0 || tcgetattr(fd, &got) != 0 || !compat::same_line(want, got)) {
        apply(fd, before);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    if (!lpNumberOfBytesWritten || lpOverlapped || (!lpBuffer && nNumberOfBytesToWrite))
        return FALSE;

    const int fd = descriptor(hFile);
    const char *bytes = static_cast<const char *>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        const ssize_t n = write(fd, bytes + done, nNumberOfBytesToWrite - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *lpNumberOfBytesWritten = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesWritten = done;

    // Synchronous: return once the driver has sent it all.
    int r;
    while ((r = tcdrain(fd)) != 0 && errno == EINTR) {
    }
    return r == 0 || errno == ENOTTY;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    Port *p = port_of(hObject);
    if (!p)
        return FALSE;
    const int fd = p->fd;
    if (p->exclusive) {
        give_back(fd);
        p->exclusive = 0;
        if (--exclusive_ports == 0)
            restore_ending_signals();
    }
    p->fd = -1;
    return close(fd) == 0;
}
