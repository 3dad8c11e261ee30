/* noprompt COMMAND...: runs COMMAND with an error mode that opens no dialog
 * box, which every program it starts inherits. A program the loader cannot
 * start (an import its kernel32 lacks) or that faults then ends with its
 * status, instead of waiting for someone to close a window no one sees.
 * Exit status: COMMAND's, or 125 with the error on standard error when it
 * cannot be started. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(void)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION child;
    DWORD status = 125;
    /* The command line less this program's name, which may be quoted. */
    char *command = GetCommandLineA();
    if (*command == '"' && strchr(command + 1, '"'))
        command = strchr(command + 1, '"') + 1;
    command += strcspn(command, " \t");
    command += strspn(command, " \t");
    if (!*command) {
        fprintf(stderr, "usage: noprompt COMMAND...\n");
        return 125;
    }

    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child)) {
        fprintf(stderr, "noprompt: CreateProcessA failed (error %lu)\n", GetLastError());
        return 125;
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return (int)status;
}
