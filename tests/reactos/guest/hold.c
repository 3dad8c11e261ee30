/* hold PROGRAM: runs PROGRAM (an exe in the current directory, with no
 * arguments and this program's standard handles) while holding COM3, opened
 * with no sharing as any program may, and closes the port once PROGRAM has
 * ended. Exit status: PROGRAM's, or 125 with the error on standard error when
 * the port cannot be held or PROGRAM not started. */
#include "command.h"

int main(void)
{
    char *program = arguments();
    HANDLE port;
    int status;

    if (!*program) {
        fprintf(stderr, "usage: hold PROGRAM\n");
        return 125;
    }
    /* Not inheritable: PROGRAM must open the port itself. */
    port = CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (port == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold: CreateFileA(COM3) failed (error %lu)\n", GetLastError());
        return 125;
    }
    status = run("hold", program);
    CloseHandle(port);
    return status;
}
