/* Where the 32-bit serial-send.exe starts, in place of MinGW-w64's start-up
 * code (crt2.o and what it draws from libmingw32.a), which would stop a
 * Pentium before main (docs/building.md says why); the programs the reactos
 * suite runs beside it start here too (cmake/pentium.cmake).
 *
 * Most of that code's work this program does not need: msvcrt.dll sets
 * itself up when it is loaded (heap, standard streams), main takes no
 * arguments, the program has no TLS and no floating point, and it imports
 * no data that would need MinGW's run-time relocation (the link refuses such
 * an import: cmake/pentium.cmake).
 *
 * What is left: mainCRTStartup, the entry point the linker gives a console
 * program, runs main and ends through the C runtime's exit, which flushes
 * standard output and ends the process with main's value as its exit code.
 * And atexit, which MinGW's import library of msvcrt.dll leaves to the
 * start-up code: C++ static objects register their destructors with it, and
 * so does the code that runs their constructors, which GCC calls at the
 * start of main. It is C because C++ does not let a program call main. */
#include <stdlib.h>

int main(void);
void mainCRTStartup(void);

void mainCRTStartup(void)
{
    exit(main());
}

/* The functions registered here run in exit, last first, before it flushes
 * the streams. */
int atexit(void (*function)(void))
{
    return _onexit((_onexit_t)function) ? 0 : -1;
}
