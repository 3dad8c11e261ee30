// The translation on its own: the exact frame encodings a pseudo-terminal
// cannot show (it forces 8 data bits and no parity) and a round trip cannot
// tell apart (mark and space parity, 1.5 stop bits), and the port names.
#include <string.h>
#include <termios.h>

#include <gtest/gtest.h>

#include "rows.h"

#include "com_name.h"
#include "dcb_termios.h"

namespace
{

// A line at 38400 with everything else off.
termios plain()
{
    termios t;
    memset(&t, 0, sizeof t);
    cfsetspeed(&t, B38400);
    return t;
}

DCB record_of(const termios &t)
{
    DCB dcb;
    compat::dcb_from_termios(t, dcb);
    return dcb;
}

struct Frame {
    const char *name;
    BYTE byte_size, parity, stop_bits;
    tcflag_t cflag; // the CSIZE, parity and CSTOPB bits that stand for it
};

const Frame frames[] = {
    {"five_none_one_and_a_half", 5, NOPARITY, ONE5STOPBITS, CS5 | CSTOPB},
    {"five_space_one", 5, SPACEPARITY, ONESTOPBIT, CS5 | PARENB | CMSPAR},
    {"six_odd_one", 6, ODDPARITY, ONESTOPBIT, CS6 | PARENB | PARODD},
    {"seven_even_two", 7, EVENPARITY, TWOSTOPBITS, CS7 | PARENB | CSTOPB},
    {"eight_mark_one", 8, MARKPARITY, ONESTOPBIT, CS8 | PARENB | PARODD | CMSPAR},
    {"eight_space_two", 8, SPACEPARITY, TWOSTOPBITS, CS8 | PARENB | CMSPAR | CSTOPB},
    {"eight_none_one", 8, NOPARITY, ONESTOPBIT, CS8},
};

class Frames : public testing::TestWithParam<Frame>
{
};

TEST_P(Frames, MapToTheirTermiosBitsAndBack)
{
    const Frame &row = GetParam();
    const tcflag_t frame_bits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    termios t = plain();
    DCB dcb = record_of(t);
    dcb.ByteSize = row.byte_size;
    dcb.Parity = row.parity;
    dcb.StopBits = row.stop_bits;
    // From a line with every frame bit on, so a bit left over shows.
    t.c_cflag |= frame_bits;
    ASSERT_TRUE(compat::termios_from_dcb(dcb, t));
    EXPECT_EQ(t.c_cflag & frame_bits, row.cflag);

    termios line = plain();
    line.c_cflag |= row.cflag;
    const DCB read = record_of(line);
    EXPECT_EQ(read.ByteSize, row.byte_size);
    EXPECT_EQ(read.Parity, row.parity);
    EXPECT_EQ(read.StopBits, row.stop_bits);
}

INSTANTIATE_TEST_SUITE_P(Translation, Frames, testing::ValuesIn(frames), RowName());

// Port names: which reach a serial device, and which open as a path. One
// test for the lot, so the names no fault gets wrong still say what is
// refused beside those that show a fault.
TEST(Translation, PortNamesMapToTheirDevice)
{
    const char *const devices[][2] = {{"COM3", "/dev/ttyS2"}, {"\\\\.\\COM3", "/dev/ttyS2"},
                                      {"com3", "/dev/ttyS2"}, {"cOm10", "/dev/ttyS9"},
                                      {"COM1", "/dev/ttyS0"}, {"COM256", "/dev/ttyS255"}};
    for (const auto &[port, device] : devices) {
        char path[16] = "untouched";
        EXPECT_TRUE(compat::com_device(port, path)) << port;
        EXPECT_STREQ(path, device) << port;
    }
    for (const char *port : {"COM0", "COM", "COM3x", "COM257", "COM03", "COM99999999999999999999",
                             "\\\\.\\COM0", "\\\\.\\", "", "/dev/ttyS2"}) {
        char path[16] = "untouched";
        EXPECT_FALSE(compat::com_device(port, path)) << port;
        EXPECT_STREQ(path, "untouched") << port;
    }
}

} // namespace
