#include "dcb_termios.h"

namespace compat
{
namespace
{

struct Speed {
    DWORD baud;
    speed_t code;
};

constexpr Speed speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t parity_bits = PARENB | PARODD | CMSPAR;

} // namespace

DWORD baud_of(speed_t code)
{
    for (const Speed &s : speeds)
        if (s.code == code)
            return s.baud;
    return 0;
}

bool code_of(DWORD baud, speed_t &code)
{
    for (const Speed &s : speeds)
        if (s.baud == baud) {
            code = s.code;
            return true;
        }
    return false;
}

// What the record decides (the line, flow control, the parity check), and
// binary mode: the receiver on, the modem status lines ignored, and the modes
// the manual lists under "Line settings" (man/serial-send.1) cleared. Input
// passes untranslated (no CR/NL mapping, no stripping, no parity marks, no
// break signal, no restart on any character: IXANY has no Windows setting),
// output is not post-processed, and there is no line editing, echo or signal
// character.
const tcflag_t owned_iflag = BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXANY |
                             IMAXBEL | INPCK | IXON | IXOFF;
const tcflag_t owned_oflag = OPOST;
const tcflag_t owned_cflag = CBAUD | CSIZE | CSTOPB | parity_bits | CRTSCTS | CREAD | CLOCAL;
const tcflag_t owned_lflag = ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN;

void dcb_from_termios(const termios &t, DCB &dcb)
{
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = baud_of(cfgetospeed(&t));
    dcb.fBinary = TRUE;
    dcb.fParity = (t.c_iflag & INPCK) != 0;
    const bool rtscts = (t.c_cflag & CRTSCTS) != 0;
    dcb.fOutxCtsFlow = rtscts;
    dcb.fRtsControl = rtscts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fOutX = (t.c_iflag & IXON) != 0;
    dcb.fInX = (t.c_iflag & IXOFF) != 0;

    switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
    }

    switch (t.c_cflag & parity_bits) {
    case PARENB: dcb.Parity = EVENPARITY; break;
    case PARENB | PARODD: dcb.Parity = ODDPARITY; break;
    case PARENB | CMSPAR: dcb.Parity = SPACEPARITY; break;
    case PARENB | CMSPAR | PARODD: dcb.Parity = MARKPARITY; break;
    default: dcb.Parity = NOPARITY; break;
    }

    if (!(t.c_cflag & CSTOPB))
        dcb.StopBits = ONESTOPBIT;
    else
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;

    dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    dcb.EofChar = static_cast<char>(t.c_cc[VEOF]);
}

namespace
{

// The record's line, one concern at a time, as termios bits (c_cflag, and
// c_iflag for what termios keeps there). Each is false when termios cannot
// say what the record asks for.

// Data bits, parity, stop bits; the parity check on input.
bool frame_of(const DCB &dcb, tcflag_t &cflag, tcflag_t &iflag)
{
    switch (dcb.ByteSize) {
    case 5: cflag = CS5; break;
    case 6: cflag = CS6; break;
    case 7: cflag = CS7; break;
    case 8: cflag = CS8; break;
    default: return false;
    }
    switch (dcb.Parity) {
    case NOPARITY: break;
    case ODDPARITY: cflag |= PARENB | PARODD; break;
    case EVENPARITY: cflag |= PARENB; break;
    case MARKPARITY: cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: cflag |= PARENB | CMSPAR; break;
    default: return false;
    }
    // 1.5 stop bits exist only with 5 data bits, 2 only with more.
    if (dcb.StopBits > TWOSTOPBITS || (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) ||
        (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5))
        return false;
    if (dcb.StopBits != ONESTOPBIT)
        cflag |= CSTOPB;
    iflag = dcb.fParity ? INPCK : 0;
    return true;
}

// Flow control. termios has one switch for RTS/CTS handshake in both
// directions and none for DSR/DTR flow control or RTS toggling.
bool flow_of(const DCB &dcb, tcflag_t &cflag, tcflag_t &iflag)
{
    const bool rts_handshake = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
    if (dcb.fOutxDsrFlow || dcb.fDsrSensitivity || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ||
        dcb.fRtsControl == RTS_CONTROL_TOGGLE || bool(dcb.fOutxCtsFlow) != rts_handshake)
        return false;
    cflag = rts_handshake ? CRTSCTS : 0;
    iflag = (dcb.fOutX ? IXON : 0) | (dcb.fInX ? IXOFF : 0);
    return true;
}

// The characters: start and stop must differ while XON/XOFF is on.
bool characters_fit(const DCB &dcb)
{
    return !(dcb.fOutX || dcb.fInX) || dcb.XonChar != dcb.XoffChar;
}

} // namespace

bool termios_from_dcb(const DCB &dcb, termios &t)
{
    speed_t speed;
    tcflag_t frame_c, frame_i, flow_c, flow_i;
    if (!code_of(dcb.BaudRate, speed) || !frame_of(dcb, frame_c, frame_i) ||
        !flow_of(dcb, flow_c, flow_i) || !characters_fit(dcb))
        return false;

    // Every owned bit is cleared, then what the record asks for is set:
    // binary mode, with the receiver on and the modem status lines ignored.
    termios n = t;
    n.c_iflag = (t.c_iflag & ~owned_iflag) | frame_i | flow_i;
    n.c_oflag = t.c_oflag & ~owned_oflag;
    n.c_cflag = (t.c_cflag & ~owned_cflag) | frame_c | flow_c | CREAD | CLOCAL;
    n.c_lflag = t.c_lflag & ~owned_lflag;
    n.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    n.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    n.c_cc[VEOF] = static_cast<cc_t>(dcb.EofChar);
    // glibc's cfsetispeed clears a private c_iflag bit (its mark for "input
    // speed follows output") that is not ours to change: put it back.
    if (cfsetospeed(&n, speed) != 0 || cfsetispeed(&n, speed) != 0)
        return false;
    n.c_iflag = (n.c_iflag & owned_iflag) | (t.c_iflag & ~owned_iflag);
    t = n;
    return true;
}

bool same_line(const termios &want, const termios &got)
{
    return cfgetospeed(&want) == cfgetospeed(&got) && cfgetispeed(&want) == cfgetispeed(&got) &&
           !((want.c_iflag ^ got.c_iflag) & owned_iflag) &&
           !((want.c_oflag ^ got.c_oflag) & owned_oflag) &&
           !((want.c_cflag ^ got.c_cflag) & owned_cflag) &&
           !((want.c_lflag ^ got.c_lflag) & owned_lflag) && want.c_cc[VSTART] == got.c_cc[VSTART] &&
           want.c_cc[VSTOP] == got.c_cc[VSTOP] && want.c_cc[VEOF] == got.c_cc[VEOF];
}

} // namespace compat
