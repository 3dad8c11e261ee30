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
// Each call appends a line to the file "calls" in the working directory: its
// name, its arguments and what it returned (entry_test.cpp spells them out).
//
// GetCommState fills the record with the bytes 0xc0, 0xc1, ... 0xdb, so a test
// can tell every byte the program changed from the ones it passed back.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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
    // Written out when the program exits; a test that finds a line missing fails.
    static FILE *const log = fopen("calls", "ae");
    if (!log)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(log, format, args);
    va_end(args);
    fputc('\n', log);
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
    unsigned char *const record = reinterpret_cast<unsigned char *>(lpDCB);
    for (size_t i = 0; i < sizeof(DCB); ++i)
        record[i] = static_cast<unsigned char>(0xc0 + i);
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
