// libFuzzer target for the DCB <-> termios translation.
//
// Input: a 28-byte DCB record, then the starting termios field by field
// (c_iflag, c_oflag, c_cflag, c_lflag, c_line, c_cc[NCCS], c_ispeed,
// c_ospeed; integers little-endian). Missing bytes read as zero.
//
// Properties, any violation aborts: a refused record leaves the termios byte
// for byte as it was; an accepted one changes no bit outside the owned masks
// and no control character but the three it carries, gives binary mode, and
// reads back as the line it asked for; and same_line tells apart exactly the
// lines that differ in an owned bit or one of those characters.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dcb_termios.h"

namespace
{

struct Reader {
    const uint8_t *data;
    size_t size;

    uint8_t byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }

    uint32_t word()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t{byte()} << (8 * i);
        return v;
    }
};

// A violated property names its line before it aborts.
void check(bool ok, int line = __builtin_LINE())
{
    if (!ok) {
        fprintf(stderr, "dcb_termios_fuzz.cpp:%d: property violated\n", line);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in{data, size};

    uint8_t record[sizeof(DCB)];
    for (uint8_t &b : record)
        b = in.byte();
    DCB dcb;
    memcpy(&dcb, record, sizeof dcb);

    termios start;
    memset(&start, 0, sizeof start);
    start.c_iflag = in.word();
    start.c_oflag = in.word();
    start.c_cflag = in.word();
    start.c_lflag = in.word();
    start.c_line = in.byte();
    for (cc_t &c : start.c_cc)
        c = in.byte();
    start.c_ispeed = in.word();
    start.c_ospeed = in.word();

    DCB from_start;
    compat::dcb_from_termios(start, from_start);
    check(from_start.DCBlength == sizeof(DCB));

    // Copied byte for byte, padding included, so a refusal can be checked
    // byte for byte.
    termios t;
    memcpy(&t, &start, sizeof t);
    if (!compat::termios_from_dcb(dcb, t)) {
        check(memcmp(&t, &start, sizeof t) == 0); // NOLINT(bugprone-suspicious-memory-comparison)
        return 0;
    }

    check(((t.c_iflag ^ start.c_iflag) & ~compat::owned_iflag) == 0);
    check(((t.c_oflag ^ start.c_oflag) & ~compat::owned_oflag) == 0);
    check(((t.c_cflag ^ start.c_cflag) & ~compat::owned_cflag) == 0);
    check(((t.c_lflag ^ start.c_lflag) & ~compat::owned_lflag) == 0);
    check(t.c_line == start.c_line);
    for (size_t i = 0; i < NCCS; ++i)
        if (i != VSTART && i != VSTOP && i != VEOF)
            check(t.c_cc[i] == start.c_cc[i]);

    // Binary mode, spelt out here rather than taken from the owned masks, so
    // that a mask missing a bit shows.
    const tcflag_t want_iflag =
        (dcb.fParity ? INPCK : 0) | (dcb.fOutX ? IXON : 0) | (dcb.fInX ? IXOFF : 0);
    check((t.c_iflag & (INPCK | IXON | IXOFF)) == want_iflag);
    check((t.c_iflag &
           (BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXANY | IMAXBEL)) == 0);
    check((t.c_oflag & OPOST) == 0);
    check((t.c_lflag & (ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN)) == 0);
    check((t.c_cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL));

    DCB back;
    memset(&back, 0xA5, sizeof back);
    compat::dcb_from_termios(t, back);
    check(back.BaudRate == dcb.BaudRate);
    check(back.ByteSize == dcb.ByteSize);
    check(back.Parity == dcb.Parity);
    check(back.StopBits == dcb.StopBits);
    check(back.fParity == dcb.fParity);
    check(back.fOutxCtsFlow == dcb.fOutxCtsFlow);
    check((back.fRtsControl == RTS_CONTROL_HANDSHAKE) ==
          (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE));
    check(back.fOutX == dcb.fOutX);
    check(back.fInX == dcb.fInX);
    check(back.XonChar == dcb.XonChar);
    check(back.XoffChar == dcb.XoffChar);
    check(back.EofChar == dcb.EofChar);

    // The read-back check: a line differing from t in any owned bit or
    // carried character is not the same line; one differing elsewhere is.
    check(compat::same_line(t, t));
    struct Field {
        tcflag_t termios::*flags;
        tcflag_t owned;
    };
    const Field fields[] = {{&termios::c_iflag, compat::owned_iflag},
                            {&termios::c_oflag, compat::owned_oflag},
                            {&termios::c_cflag, compat::owned_cflag},
                            {&termios::c_lflag, compat::owned_lflag}};
    for (const Field &f : fields)
        for (tcflag_t bit = 1; bit != 0; bit <<= 1) {
            termios other = t;
            other.*f.flags ^= bit;
            // glibc's private c_iflag mark that the input speed follows the
            // output speed (IBAUD0) is part of the input speed.
            const bool speed = f.flags == &termios::c_iflag && bit == 020000000000;
            check(compat::same_line(t, other) == !((f.owned & bit) || speed));
        }
    for (size_t i = 0; i < NCCS; ++i) {
        termios other = t;
        other.c_cc[i] ^= 1;
        check(compat::same_line(t, other) == (i != VSTART && i != VSTOP && i != VEOF));
    }
    return 0;
}
