// ttyhold OP: holds the terminal on standard input as another program would.
//   lock    flock(LOCK_EX | LOCK_NB)     unlock  flock(LOCK_UN)
//   excl    TIOCEXCL                     nxcl    TIOCNXCL
//   state   prints "exclusive" or "not exclusive" (TIOCGEXCL)
// What it takes outlasts it while its caller keeps the descriptor open.
#include <stdio.h>
#include <string.h>

#include "hold.h"

namespace
{

int state(int fd)
{
    const int held = tty::exclusive(fd);
    if (held >= 0)
        puts(held ? "exclusive" : "not exclusive");
    return held < 0 ? -1 : 0;
}

struct Op {
    const char *name;
    int (*run)(int fd);
};

const Op ops[] = {{"lock", tty::lock},
                  {"unlock", tty::unlock},
                  {"excl", tty::excl},
                  {"nxcl", tty::nxcl},
                  {"state", state}};

} // namespace

int main(int argc, char **argv)
{
    for (const Op &op : ops)
        if (argc == 2 && strcmp(argv[1], op.name) == 0) {
            if (op.run(0) == 0)
                return 0;
            perror(argv[1]);
            return 1;
        }
    fputs("usage: ttyhold lock|unlock|excl|nxcl|state < TERMINAL\n", stderr);
    return 1;
}
