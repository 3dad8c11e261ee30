// ttyhold excl|nxcl: sets (TIOCEXCL) or clears (TIOCNXCL) the exclusive mode
// of the terminal on standard input, as another program holding it would.
// The mode belongs to the terminal: it outlasts ttyhold.
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>

int main(int argc, char **argv)
{
    const bool excl = argc == 2 && strcmp(argv[1], "excl") == 0;
    if (!excl && (argc != 2 || strcmp(argv[1], "nxcl") != 0)) {
        fputs("usage: ttyhold excl|nxcl < TERMINAL\n", stderr);
        return 1;
    }
    if (ioctl(0, excl ? TIOCEXCL : TIOCNXCL) == 0)
        return 0;
    perror(argv[1]);
    return 1;
}
