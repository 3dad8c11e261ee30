// Translation from the Windows world to the Linux one: the DCB record to and
// from termios. Kept free of any descriptor work so it can be tested and
// fuzzed on its own.
#ifndef SERIAL_SEND_COMPAT_LINUX_DCB_TERMIOS_H
#define SERIAL_SEND_COMPAT_LINUX_DCB_TERMIOS_H

#include <termios.h>

#include "windows.h"

namespace compat
{

// The termios bits a DCB decides (line, flow control, binary mode). Every
// other bit, and every control character but VSTART, VSTOP and VEOF, is left
// exactly as it was.
extern const tcflag_t owned_iflag;
extern const tcflag_t owned_oflag;
extern const tcflag_t owned_cflag;
extern const tcflag_t owned_lflag;

// The speeds termios and Windows both have a number for: the baud rate of a
// termios speed code (0 when Windows has none), and the code of a baud rate
// (false when termios has none).
DWORD baud_of(speed_t code);
bool code_of(DWORD baud, speed_t &code);

// Fills the whole record from t. Speeds termios has but Windows has no number
// for come back as BaudRate 0.
void dcb_from_termios(const termios &t, DCB &dcb);

// Writes what dcb maps into t, plus binary mode. Returns false, with t
// untouched, when dcb asks for something termios cannot express.
bool termios_from_dcb(const DCB &dcb, termios &t);

// True when got carries every setting that want holds in the owned bits and
// characters: the check that a driver kept what it was given.
bool same_line(const termios &want, const termios &got);

} // namespace compat

#endif
