// The termios/DCB translation on its own, for what a pseudo-terminal cannot
// show (it forces 8 data bits and no parity) and for the exact encodings a
// round trip cannot tell apart: data bits, parity including mark and space,
// 1.5 stop bits, speeds, and what the read-back check compares.
#include <string.h>
#include <termios.h>

#include <gtest/gtest.h>

#include "rows.h"

#include "dcb_termios.h"

namespace
{

// A terminal's usual cooked line at 38400.
termios cooked()
{
    termios t;
    memset(&t, 0, sizeof t);
    t.c_iflag = ICRNL | IXON;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD;
    t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN | ECHOCTL | ECHOKE;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    t.c_cc[VEOF] = 0x04;
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

void PrintTo(const Frame &row, std::ostream *os)
{
    *os << row.name;
}

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
    termios t = cooked();
    DCB dcb = record_of(t);
    dcb.ByteSize = row.byte_size;
    dcb.Parity = row.parity;
    dcb.StopBits = row.stop_bits;
    ASSERT_TRUE(compat::termios_from_dcb(dcb, t));
    EXPECT_EQ(t.c_cflag & frame_bits, row.cflag);

    termios line = cooked();
    line.c_cflag = (line.c_cflag & ~frame_bits) | row.cflag;
    const DCB read = record_of(line);
    EXPECT_EQ(read.ByteSize, row.byte_size);
    EXPECT_EQ(read.Parity, row.parity);
    EXPECT_EQ(read.StopBits, row.stop_bits);
}

INSTANTIATE_TEST_SUITE_P(Translation, Frames, testing::ValuesIn(frames), RowName());

struct Speed {
    DWORD baud;
    speed_t code; // B0: termios has no such rate and the record is refused
};

void PrintTo(const Speed &row, std::ostream *os)
{
    *os << row.baud;
}

const Speed speeds[] = {
    {50, B50},         {110, B110},       {2400, B2400},       {57600, B57600}, {115200, B115200},
    {230400, B230400}, {921600, B921600}, {4000000, B4000000}, {CBR_14400, B0}, {CBR_56000, B0},
    {CBR_128000, B0},  {CBR_256000, B0},  {4000001, B0},
};

class Speeds : public testing::TestWithParam<Speed>
{
};

TEST_P(Speeds, MapToTheirTermiosCodeAndBack)
{
    const Speed &row = GetParam();
    termios t = cooked();
    DCB dcb = record_of(t);
    dcb.BaudRate = row.baud;
    if (row.code == B0) {
        EXPECT_FALSE(compat::termios_from_dcb(dcb, t));
        return;
    }
    ASSERT_TRUE(compat::termios_from_dcb(dcb, t));
    EXPECT_EQ(cfgetospeed(&t), row.code);
    EXPECT_EQ(cfgetispeed(&t), row.code);
    EXPECT_EQ(record_of(t).BaudRate, row.baud);
}

INSTANTIATE_TEST_SUITE_P(Translation, Speeds, testing::ValuesIn(speeds),
                         [](const testing::TestParamInfo<Speed> &row) {
                             return std::to_string(row.param.baud);
                         });

// What the read-back after applying must notice: got is the line wanted,
// changed as a driver might have.
struct Difference {
    const char *name;
    void (*change)(termios &got);
    bool same;
};

void PrintTo(const Difference &row, std::ostream *os)
{
    *os << row.name;
}

const Difference differences[] = {
    {"none", [](termios &) {}, true},
    {"vmin_not_ours", [](termios &t) { t.c_cc[VMIN] = 7; }, true},
    {"onlcr_not_ours", [](termios &t) { t.c_oflag ^= ONLCR; }, true},
    {"echoctl_not_ours", [](termios &t) { t.c_lflag ^= ECHOCTL; }, true},
    {"output_speed", [](termios &t) { cfsetospeed(&t, B57600); }, false},
    {"input_speed", [](termios &t) { cfsetispeed(&t, B57600); }, false},
    {"data_bits", [](termios &t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS7; }, false},
    {"parity", [](termios &t) { t.c_cflag ^= PARENB; }, false},
    {"odd_parity", [](termios &t) { t.c_cflag ^= PARODD; }, false},
    {"stick_parity", [](termios &t) { t.c_cflag ^= CMSPAR; }, false},
    {"stop_bits", [](termios &t) { t.c_cflag ^= CSTOPB; }, false},
    {"rts_cts", [](termios &t) { t.c_cflag ^= CRTSCTS; }, false},
    {"receiver", [](termios &t) { t.c_cflag ^= CREAD; }, false},
    {"modem_lines", [](termios &t) { t.c_cflag ^= CLOCAL; }, false},
    {"xon_xoff_out", [](termios &t) { t.c_iflag ^= IXON; }, false},
    {"xon_xoff_in", [](termios &t) { t.c_iflag ^= IXOFF; }, false},
    {"parity_check", [](termios &t) { t.c_iflag ^= INPCK; }, false},
    {"cr_to_nl", [](termios &t) { t.c_iflag ^= ICRNL; }, false},
    {"output_processing", [](termios &t) { t.c_oflag ^= OPOST; }, false},
    {"canonical", [](termios &t) { t.c_lflag ^= ICANON; }, false},
    {"echo", [](termios &t) { t.c_lflag ^= ECHO; }, false},
    {"signals", [](termios &t) { t.c_lflag ^= ISIG; }, false},
    {"xon_char", [](termios &t) { t.c_cc[VSTART] = 0x01; }, false},
    {"xoff_char", [](termios &t) { t.c_cc[VSTOP] = 0x02; }, false},
    {"eof_char", [](termios &t) { t.c_cc[VEOF] = 0x1a; }, false},
};

class Differences : public testing::TestWithParam<Difference>
{
};

TEST_P(Differences, AreSeenByTheReadBackWhenTheyAreOurs)
{
    termios want = cooked();
    DCB dcb = record_of(want);
    dcb.BaudRate = CBR_115200;
    dcb.fOutX = dcb.fInX = 1;
    ASSERT_TRUE(compat::termios_from_dcb(dcb, want));
    termios got = want;
    GetParam().change(got);
    EXPECT_EQ(compat::same_line(want, got), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(Translation, Differences, testing::ValuesIn(differences), RowName());

} // namespace
