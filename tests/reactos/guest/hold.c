/* hold PROGRAM: runs PROGRAM (an exe in the current directory, with no
 * arguments and this program's standard handles) while holding COM3, opened
 * with no sharing as any program may, and closes the port once PROGRAM has
 * ended. Exit status: PROGRAM's, or 125 with the error on standard error when
 * the port cannot be held or PROGRAM not started. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int failed(const char *what)
{
    fprintf(stderr, "hold: %s failed (error %lu)\n", what, GetLastError());
    return 125;
}

int main(int argc, char **argv)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION child;
    DWORD status = 125;
    HANDLE port;

    if (argc != 2) {
        fprintf(stderr, "usage: hold PROGRAM\n");
        return 125;
    }
    /* Not inheritable: PROGRAM must open the port itself. */
    port = CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (port == INVALID_HANDLE_VALUE)
        return failed("CreateFileA(COM3)");
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(argv[1], NULL, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child))
        return failed("CreateProcessA");
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(port);
    return (int)status;
}
