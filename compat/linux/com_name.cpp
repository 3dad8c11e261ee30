#include "com_name.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace compat
{

bool com_device(const char *name, char (&path)[16])
{
    if (strncmp(name, "\\\\.\\", 4) == 0)
        name += 4;
    // strtoul alone would take a sign, spaces or a leading zero.
    if (strncasecmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9')
        return false;
    char *end;
    const unsigned long n = strtoul(name + 3, &end, 10);
    if (*end != '\0' || n > 256)
        return false;
    snprintf(path, sizeof path, "/dev/ttyS%lu", n - 1);
    return true;
}

} // namespace compat
