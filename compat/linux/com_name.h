// Windows port names to Linux device paths.
#ifndef SERIAL_SEND_COMPAT_LINUX_COM_NAME_H
#define SERIAL_SEND_COMPAT_LINUX_COM_NAME_H

namespace compat
{

// "COMn" or "\\.\COMn", n from 1 to 256 without a leading zero, in any case,
// is /dev/ttyS{n-1}: writes that path and returns true. Any other name:
// false, path untouched.
bool com_device(const char *name, char (&path)[16]);

} // namespace compat

#endif
