// ttyhold OP: holds the terminal on standard input as another program would.
//   lock    flock(LOCK_EX | LOCK_NB)     unlock  flock(LOCK_UN)
//   excl    TIOCEXCL                     nxcl    TIOCNXCL
//   state   prints "exclusive" or "not exclusive" (TIOCGEXCL)
// The lock belongs to the open file and TIOCEXCL to the terminal, so both
// outlast this program while its caller keeps the descriptor open.
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>

int main(int argc, char **argv)
{
    const char *op = argc == 2 ? argv[1] : "";
    int held = 0;
    int r = -1;
    if (strcmp(op, "lock") == 0)
        r = flock(0, LOCK_EX | LOCK_NB);
    else if (strcmp(op, "unlock") == 0)
        r = flock(0, LOCK_UN);
    else if (strcmp(op, "excl") == 0)
        r = ioctl(0, TIOCEXCL);
    else if (strcmp(op, "nxcl") == 0)
        r = ioctl(0, TIOCNXCL);
    else if (strcmp(op, "state") == 0 && (r = ioctl(0, TIOCGEXCL, &held)) == 0)
        puts(held ? "exclusive" : "not exclusive");
    if (r != 0)
        perror(argc == 2 ? argv[1] : "usage: ttyhold lock|unlock|excl|nxcl|state < TERMINAL");
    return r == 0 ? 0 : 1;
}
