// A scripted fake of the five kernel32 calls serial-send makes, linked with the
// unchanged entry module so its tests can see every call it makes and make any
// of them fail.
//
// SERIAL_SEND_FAKE_SCRIPT names what goes wrong; the calls succeed otherwise:
//   open-fails        CreateFileA returns INVALID_HANDLE_VALUE
//   get-fails         GetCommState returns FALSE and leaves the record alone
//   set-fails         SetCommState returns FALSE
//   write-fails       WriteFile stores 0 and returns FALSE
//   write-stores-0    WriteFile stores 0 and returns TRUE (a write time-out)
//   write-fails-late  WriteFile stores the whole length and returns FALSE
//   close-fails       CloseHandle returns FALSE
//
// SERIAL_SEND_FAKE_LOG names the file that gets one line per call:
//   CreateFileA name="COM3" access=0xc0000000 share=0 security=null
//       disposition=3 flags=0x80 template=null -> 0x5e41   (all on one line)
//   GetCommState handle=0x5e41 record=set -> 1
//   SetCommState handle=0x5e41 record=<the 28 bytes in hex> -> 1
//   WriteFile handle=0x5e41 length=1 bytes=52 written=set overlapped=null -> 1 stored=1
//   CloseHandle handle=0x5e41 -> 1
//
// GetCommState fills the record with the bytes 0xc0, 0xc1, ... 0xdb, so a test
// can tell every byte the program changed from the ones it passed back.
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <windows.h>

namespace
{

const HANDLE port_handle = reinterpret_cast<HANDLE>(0x5e41);

// True when the script names this failure.
bool scripted(const char *failure)
{
    const char *script = getenv("SERIAL_SEND_FAKE_SCRIPT");
    return script && strcmp(script, failure) == 0;
}

__attribute__((format(printf, 1, 2))) void log_call(const char *format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (length < 0)
        return;
    size_t size = static_cast<size_t>(length) < sizeof line - 1 ? static_cast<size_t>(length)
                                                                : sizeof line - 2;
    line[size++] = '\n';

    const char *path = getenv("SERIAL_SEND_FAKE_LOG");
    if (!path)
        return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (write(fd, line, size) < 0) {
        // Nothing to do: the test then finds the line missing.
    }
    close(fd);
}

// Lower-case hex of the first bytes of data, at most 64 of them.
const char *hex(const void *data, size_t size)
{
    static char text[2 * 64 + 1];
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    text[0] = '\0';
    for (size_t i = 0; i < size && i < 64; ++i)
        snprintf(text + 2 * i, 3, "%02x", bytes[i]);
    return text;
}

const char *set_or_null(const void *p)
{
    return p ? "set" : "null";
}

} // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    const HANDLE result = scripted("open-fails") ? INVALID_HANDLE_VALUE : port_handle;
    log_call("CreateFileA name=\"%s\" access=%#x share=%#x security=%s disposition=%u flags=%#x "
             "template=%s -> %p",
             lpFileName ? lpFileName : "(null)", dwDesiredAccess, dwShareMode,
             set_or_null(lpSecurityAttributes), dwCreationDisposition, dwFlagsAndAttributes,
             set_or_null(hTemplateFile), result);
    return result;
}

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB)
{
    const bool fails = scripted("get-fails");
    log_call("GetCommState handle=%p record=%s -> %d", hFile, set_or_null(lpDCB), !fails);
    if (fails || !lpDCB)
        return FALSE;
    unsigned char pattern[sizeof(DCB)];
    for (size_t i = 0; i < sizeof pattern; ++i)
        pattern[i] = static_cast<unsigned char>(0xc0 + i);
    memcpy(lpDCB, pattern, sizeof pattern);
    return TRUE;
}

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB)
{
    const bool fails = scripted("set-fails");
    log_call("SetCommState handle=%p record=%s -> %d", hFile,
             lpDCB ? hex(lpDCB, sizeof(DCB)) : "null", !fails);
    return !fails;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped)
{
    BOOL result = TRUE;
    DWORD stored = nNumberOfBytesToWrite;
    if (scripted("write-fails")) {
        result = FALSE;
        stored = 0;
    } else if (scripted("write-stores-0")) {
        stored = 0;
    } else if (scripted("write-fails-late")) {
        result = FALSE;
    }
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = stored;
    log_call("WriteFile handle=%p length=%u bytes=%s written=%s overlapped=%s -> %d stored=%u",
             hFile, nNumberOfBytesToWrite, lpBuffer ? hex(lpBuffer, nNumberOfBytesToWrite) : "null",
             set_or_null(lpNumberOfBytesWritten), set_or_null(lpOverlapped), result, stored);
    return result;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    const bool fails = scripted("close-fails");
    log_call("CloseHandle handle=%p -> %d", hObject, !fails);
    return !fails;
}
