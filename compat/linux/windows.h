// Linux stand-in for the kernel32 serial calls serial-send makes.
//
// Contract
//   Provides CreateFileA, GetCommState, SetCommState, WriteFile and CloseHandle
//   over a Linux terminal (termios), with the Windows types, constants and
//   record layout (DCB is the 28-byte record of winbase.h). Every call is
//   synchronous. Failures come back as on Windows: INVALID_HANDLE_VALUE from
//   CreateFileA, FALSE from the others. No error code is kept: there is no
//   GetLastError.
//
//   CreateFileA   "COMn" and "\\.\COMn" (COM in any case, n from 1 to 256
//                 with no leading zero) name /dev/ttyS{n-1}, so COM3 is
//                 /dev/ttyS2; any other name is opened as a path.
//                 Access: GENERIC_READ and/or GENERIC_WRITE. Share mode 0 is an
//                 exclusive open: flock(LOCK_EX|LOCK_NB) plus TIOCEXCL. The
//                 lock keeps out every program that locks too, root included;
//                 TIOCEXCL keeps out every other opener but root. The open
//                 fails, leaving the port as it was, while another opener
//                 holds the lock or has made the terminal exclusive, even for
//                 root; one that opened the port with neither goes undetected.
//                 Any other share mode opens without either. Creation disposition must be
//                 OPEN_EXISTING, flags 0 or FILE_ATTRIBUTE_NORMAL (no
//                 FILE_FLAG_OVERLAPPED), no security attributes, no template:
//                 anything else is refused. The open itself does not wait for
//                 carrier; the handle then does blocking I/O. Refused as well:
//                 a terminal whose driver has no hardware behind it (reading
//                 its line gives EIO, as on a ttyS node with no UART), and an
//                 open while 8 handles are open. The port never takes
//                 descriptor 0, 1 or 2, even when the caller left them closed.
//                 While a port is held exclusively, SIGHUP, SIGINT, SIGQUIT and
//                 SIGTERM give it back (TIOCNXCL, unlock) and then end the
//                 process by the signal's default action (a handler the
//                 caller set is not run); one the caller ignores stays
//                 ignored. SIGKILL cannot be caught: after it, a terminal stays
//                 exclusive until its last opener closes it.
//   GetCommState  Fills the whole record from the terminal: BaudRate (output
//                 speed), ByteSize, Parity, StopBits, fParity (INPCK),
//                 fOutxCtsFlow with fRtsControl HANDSHAKE (CRTSCTS), fOutX
//                 (IXON), fInX (IXOFF), XonChar, XoffChar, EofChar (VSTART,
//                 VSTOP, VEOF); DCBlength 28, fBinary TRUE, DTR and RTS
//                 ENABLE when not in handshake, everything else 0. FALSE when the handle is not a
//                 terminal; the record is then left as it was.
//   SetCommState  Reads the terminal's settings, changes only what the fields
//                 above map to, puts the line in binary mode (sets CREAD and
//                 CLOCAL, clears the input, output and local modes the manual
//                 lists under "Line settings", man/serial-send.1), applies it
//                 and reads it back. FALSE, with the terminal unchanged, when a value
//                 cannot be expressed: a baud rate termios lacks, ByteSize outside
//                 5-8, a Parity or StopBits value outside the Windows ones, 1.5
//                 stop bits with other than 5 data bits or 2 with 5, DSR flow
//                 control or sensitivity, DTR handshake, RTS toggle, CTS output
//                 flow without RTS handshake or the reverse, XonChar equal to
//                 XoffChar while XON/XOFF flow control is on. FALSE as well when
//                 the driver refuses the settings or does not keep them. Not
//                 mapped and ignored: DCBlength, fBinary (the line is always
//                 binary), fTXContinueOnXoff, fErrorChar, fNull, fAbortOnError,
//                 XonLim, XoffLim, ErrorChar, EvtChar, the DTR and RTS line levels.
//   WriteFile     Writes every byte, resuming after signals and short writes,
//                 then waits until the output has been transmitted. Stores the
//                 number of bytes written (0 when none) and returns FALSE on any
//                 error. No overlapped I/O: lpOverlapped must be null.
//   CloseHandle   Clears TIOCEXCL, releases the lock, puts the four signals'
//                 handling back once no port is held, and closes. FALSE on a
//                 handle that is not open.
#ifndef SERIAL_SEND_COMPAT_LINUX_WINDOWS_H
#define SERIAL_SEND_COMPAT_LINUX_WINDOWS_H

#include <stdint.h>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef DWORD *LPDWORD;
typedef void *HANDLE;
typedef const char *LPCSTR;
typedef const void *LPCVOID;
typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

#define WINAPI

#define FALSE 0
#define TRUE 1

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u

#define CBR_110 110u
#define CBR_300 300u
#define CBR_600 600u
#define CBR_1200 1200u
#define CBR_2400 2400u
#define CBR_4800 4800u
#define CBR_9600 9600u
#define CBR_14400 14400u
#define CBR_19200 19200u
#define CBR_38400 38400u
#define CBR_56000 56000u
#define CBR_57600 57600u
#define CBR_115200 115200u
#define CBR_128000 128000u
#define CBR_256000 256000u

#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4

#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2

#define DTR_CONTROL_DISABLE 0x00
#define DTR_CONTROL_ENABLE 0x01
#define DTR_CONTROL_HANDSHAKE 0x02

#define RTS_CONTROL_DISABLE 0x00
#define RTS_CONTROL_ENABLE 0x01
#define RTS_CONTROL_HANDSHAKE 0x02
#define RTS_CONTROL_TOGGLE 0x03

typedef struct _DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
} DCB, *LPDCB;

static_assert(sizeof(DCB) == 28, "DCB must keep the Windows layout");

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB);
BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL WINAPI CloseHandle(HANDLE hObject);

#endif
