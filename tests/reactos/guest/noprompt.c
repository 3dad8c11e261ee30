/* noprompt COMMAND...: runs COMMAND with an error mode that opens no dialog
 * box, which every program it starts inherits. A program the loader cannot
 * start (an import its kernel32 lacks) or that faults then ends with its
 * status, instead of waiting for someone to close a window no one sees.
 * Exit status: COMMAND's, or 125 with the error on standard error when it
 * cannot be started. */
#include "command.h"

int main(void)
{
    char *command = arguments();

    if (!*command) {
        fprintf(stderr, "usage: noprompt COMMAND...\n");
        return 125;
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    return run("noprompt", command);
}
