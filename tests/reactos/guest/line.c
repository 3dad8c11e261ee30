/* line start: sets COM3 to a frame of the test's own, as another program may
 *             have left it: 9600 baud, 7 data bits, odd parity, 2 stop bits
 *             (SetCommState). Only the frame: ReactOS's serial driver keeps
 *             no flow control or special characters (it takes them and
 *             reads back zeros whatever was set).
 * line mark NAME: writes "<NAME>" on the port, so that the host can tell
 *             which case sent which bytes and set which frame. It opens the
 *             device by its own name, \\.\COM2, which exists before COM3 is
 *             named. It tries again every 100 ms for 60 s: the first mark
 *             may run before Plug and Play has started the port (the 64-bit
 *             image's logon hook does not wait for it).
 * Exit status 0, or 1 with the error on standard error. */
#include "command.h"

static int failed(const char *what)
{
    fprintf(stderr, "line: %s failed (error %lu)\n", what, GetLastError());
    return 1;
}

int main(void)
{
    /* The first word and the one after it. */
    const char *command = arguments();
    const size_t verb = strcspn(command, " \t");
    const char *name = command + verb + strspn(command + verb, " \t");
    const size_t length = strcspn(name, " \t");
    char text[64];
    const int mark =
        verb == 4 && strncmp(command, "mark", 4) == 0 && length > 0 && length <= sizeof text - 2;
    DWORD written = 0, errors;
    COMSTAT queue;
    DCB dcb;
    HANDLE port;

    if (!mark && (verb != 5 || strncmp(command, "start", 5) != 0 || length > 0)) {
        fprintf(stderr, "usage: line start | line mark NAME\n");
        return 1;
    }
    for (int tries = 0;; tries++) {
        port = CreateFileA(mark ? "\\\\.\\COM2" : "COM3", GENERIC_READ | GENERIC_WRITE, 0, NULL,
                           OPEN_EXISTING, 0, NULL);
        if (port != INVALID_HANDLE_VALUE || !mark || tries == 600)
            break;
        Sleep(100);
    }
    if (port == INVALID_HANDLE_VALUE)
        return failed("CreateFileA");
    if (mark) {
        text[0] = '<';
        memcpy(text + 1, name, length);
        text[length + 1] = '>';
        if (!WriteFile(port, text, (DWORD)length + 2, &written, NULL))
            return failed("WriteFile");
        /* Out to the UART before the case goes on (the driver has no
         * FlushFileBuffers), so that the mark comes before its settings. */
        for (int tries = 0; ClearCommError(port, &errors, &queue) && queue.cbOutQue > 0; tries++) {
            if (tries == 1000)
                return failed("waiting for the mark to go out");
            Sleep(1);
        }
    } else {
        memset(&dcb, 0, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(port, &dcb))
            return failed("GetCommState");
        dcb.BaudRate = CBR_9600;
        dcb.ByteSize = 7;
        dcb.Parity = ODDPARITY;
        dcb.StopBits = TWOSTOPBITS;
        if (!SetCommState(port, &dcb))
            return failed("SetCommState");
    }
    CloseHandle(port);
    return 0;
}
