// The five kernel32 calls over a POSIX terminal; see windows.h for the contract.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "dcb_termios.h"
#include "windows.h"

namespace
{

// A handle is the descriptor, with this bit set when the open took the port
// exclusively and the close must give it back.
constexpr intptr_t exclusive_bit = intptr_t{1} << 30;

int descriptor(HANDLE h)
{
    const intptr_t v = reinterpret_cast<intptr_t>(h);
    return v < 0 ? -1 : static_cast<int>(v & ~exclusive_bit);
}

bool is_exclusive(HANDLE h)
{
    const intptr_t v = reinterpret_cast<intptr_t>(h);
    return v >= 0 && (v & exclusive_bit) != 0;
}

// Takes the port for this opener alone. The lock shuts out every program that
// locks too; TIOCEXCL shuts out other openers, except root. A terminal that is
// already exclusive is held by a program that does not lock, and is refused
// here even to root, as the kernel refuses it to everyone else.
bool take(int fd)
{
    int held = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    if (ioctl(fd, TIOCGEXCL, &held) == 0 && held)
        return false;
    return ioctl(fd, TIOCEXCL) == 0 || errno == ENOTTY;
}

void give_back(int fd, bool exclusive)
{
    if (exclusive) {
        ioctl(fd, TIOCNXCL);
        flock(fd, LOCK_UN);
    }
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

    const int mode = dwDesiredAccess == rw              ? O_RDWR
                     : (dwDesiredAccess & GENERIC_READ) ? O_RDONLY
                                                        : O_WRONLY;
    char device[16];
    const char *path = compat::com_device(lpFileName, device) ? device : lpFileName;

    // Non-blocking only for the open itself, so a line without carrier
    // cannot hold it up.
    const int fd = open(path, mode | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;

    const bool exclusive = dwShareMode == 0;
    if (exclusive && !take(fd)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        give_back(fd, exclusive);
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(fd | (exclusive ? exclusive_bit : 0));
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
    const int fd = descriptor(hObject);
    if (fd < 0)
        return FALSE;
    give_back(fd, is_exclusive(hObject));
    return close(fd) == 0;
}
