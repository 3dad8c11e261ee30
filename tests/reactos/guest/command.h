/* What the helpers that take arguments share. They read their command line
 * themselves: the 32-bit ones start from win/startup.c, the 32-bit exe's
 * start-up, built for the Pentium, which hands main no arguments. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

/* arguments(): this program's command line after its own name (which may be
 * quoted) and the blanks that follow it. */
static inline char *arguments(void)
{
    char *command = GetCommandLineA();
    if (*command == '"' && strchr(command + 1, '"'))
        command = strchr(command + 1, '"') + 1;
    command += strcspn(command, " \t");
    return command + strspn(command, " \t");
}

/* run(NAME, COMMAND): runs the command line COMMAND with this program's
 * standard handles and error mode until it ends, and returns its exit status;
 * or 125 with the error on standard error, under NAME, when it cannot be
 * started. */
static inline int run(const char *name, char *command)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION child;
    DWORD status = 125;

    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child)) {
        fprintf(stderr, "%s: CreateProcessA failed (error %lu)\n", name, GetLastError());
        return 125;
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return (int)status;
}
