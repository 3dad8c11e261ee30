/* namecom3: gives the guest's second serial port (\Device\Serial1, also named
 * COM2) the name COM3 as well, as Windows' own DOS device settings do, until
 * the machine is turned off. The guest has no COM3 before it runs.
 * Exit status 0, or 1 with the error on standard error. */
#include <stdio.h>
#include <windows.h>

int main(void)
{
    if (!DefineDosDeviceA(DDD_RAW_TARGET_PATH, "COM3", "\\Device\\Serial1")) {
        fprintf(stderr, "namecom3: DefineDosDeviceA failed (error %lu)\n", GetLastError());
        return 1;
    }
    return 0;
}
