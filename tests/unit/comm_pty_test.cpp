// The Linux stand-in for the kernel32 calls on real pseudo-terminals. The line
// is always checked with tcgetattr on the test's own descriptor of the slave
// side, never through the stand-in.
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "pty.h"
#include "rows.h"

namespace
{

HANDLE open_port(const char *path, DWORD share = 0)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A change of line, from whatever each test starts with: 57600 baud, 8 data
// bits, no parity, one stop bit.
void change_line(DCB &dcb)
{
    dcb.BaudRate = CBR_57600;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.Parity = NOPARITY;
}

// Every field of the record, so two lines compare as text and a difference
// shows which field it is in.
std::string text_of(const termios &t)
{
    std::ostringstream s;
    s << std::oct << "iflag=" << t.c_iflag << " oflag=" << t.c_oflag << " cflag=" << t.c_cflag
      << " lflag=" << t.c_lflag << std::dec << " line=" << int{t.c_line}
      << " ispeed=" << cfgetispeed(&t) << " ospeed=" << cfgetospeed(&t) << " cc=" << std::hex;
    for (cc_t c : t.c_cc)
        s << int{c} << ' ';
    return s.str();
}

bool exclusive_mode(int fd)
{
    int on = -1;
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &on), 0) << strerror(errno);
    return on != 0;
}

// A fresh pseudo-terminal: the stand-in opens the slave by its path, the test
// keeps a descriptor of its own on the slave to check the line. (That the
// byte written reaches the other side is the behaviour table's to show.)
class Pty : public testing::Test
{
  protected:
    void SetUp() override
    {
        if (!open_pty(pty))
            GTEST_SKIP() << "no pseudo-terminal here: " << strerror(errno);
    }

    void TearDown() override
    {
        close(pty.slave);
        close(pty.master);
    }

    termios line() const
    {
        termios t;
        memset(&t, 0, sizeof t); // the padding too, for whole-record comparison
        EXPECT_EQ(tcgetattr(pty.slave, &t), 0) << strerror(errno);
        return t;
    }

    ::Pty pty;
};

struct StartingLine {
    const char *name;
    speed_t speed;
    DWORD baud;
    tcflag_t cflag; // which of CSTOPB and CRTSCTS are on
    tcflag_t iflag; // which of IXON, IXOFF and INPCK are on
    cc_t start, stop, eof;
};

const StartingLine starting_lines[] = {
    {"flow_control_both_ways", B9600, 9600, CRTSCTS, IXON | IXOFF, 0x01, 0x02, 0x04},
    {"plain", B38400, 38400, 0, 0, 0x11, 0x13, 0x04},
    {"two_stop_bits_parity_check_xoff_in", B2400, 2400, CSTOPB, INPCK | IXOFF, 0x11, 0x13, 0x1a},
};

class StartingLines : public Pty, public testing::WithParamInterface<StartingLine>
{
};

// What binary mode turns off, and on.
constexpr tcflag_t cooked_iflag =
    BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXANY | IMAXBEL;
constexpr tcflag_t cooked_lflag = ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN;
constexpr tcflag_t binary_cflag = CREAD | CLOCAL;

// The pty starts with every input, output and local mode binary mode turns
// off and the modem lines minded (a pty keeps its receiver on), with the
// row's speed, stop bits, flow control and characters; they must all be read
// (the frame's other bits are the frame table's), and a change of line must
// give 57600 8N1 in binary mode and keep all the rest.
TEST_P(StartingLines, AreReadAndKeptByAChangeOfLine)
{
    const StartingLine &row = GetParam();
    termios start = line();
    ASSERT_EQ(cfsetspeed(&start, row.speed), 0);
    start.c_cflag = (start.c_cflag & ~(CSTOPB | CRTSCTS | CLOCAL)) | row.cflag;
    start.c_iflag = (start.c_iflag & ~(IXON | IXOFF | INPCK)) | row.iflag | cooked_iflag;
    start.c_oflag |= OPOST;
    start.c_lflag |= cooked_lflag;
    start.c_cc[VSTART] = row.start;
    start.c_cc[VSTOP] = row.stop;
    start.c_cc[VEOF] = row.eof;
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &start), 0) << strerror(errno);
    const termios before = line();
    ASSERT_EQ(text_of(before), text_of(start)) << "the pty did not take the starting line";
    const bool rtscts = row.cflag & CRTSCTS;

    const HANDLE port = open_port(pty.path);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb = {};
    ASSERT_TRUE(GetCommState(port, &dcb));
    EXPECT_EQ(dcb.BaudRate, row.baud);
    EXPECT_EQ(dcb.StopBits, (row.cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, bool(row.iflag & INPCK));
    EXPECT_EQ(dcb.fOutxCtsFlow, rtscts);
    EXPECT_EQ(dcb.fRtsControl, rtscts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fOutX, bool(row.iflag & IXON));
    EXPECT_EQ(dcb.fInX, bool(row.iflag & IXOFF));
    EXPECT_EQ(dcb.XonChar, row.start);
    EXPECT_EQ(dcb.XoffChar, row.stop);
    EXPECT_EQ(dcb.EofChar, row.eof);

    change_line(dcb);
    EXPECT_TRUE(SetCommState(port, &dcb));
    EXPECT_TRUE(CloseHandle(port));

    // Flow control, the parity check, every control character and the output
    // settings idle without OPOST stay as they were.
    termios want = before;
    want.c_iflag &= ~cooked_iflag;
    want.c_oflag &= ~OPOST;
    want.c_lflag &= ~cooked_lflag;
    want.c_cflag = (want.c_cflag & ~(CSIZE | PARENB | CSTOPB)) | CS8 | binary_cflag;
    ASSERT_EQ(cfsetspeed(&want, B57600), 0);
    EXPECT_EQ(text_of(line()), text_of(want));
}

INSTANTIATE_TEST_SUITE_P(Pty, StartingLines, testing::ValuesIn(starting_lines), RowName());

struct Refused {
    const char *name;
    void (*change)(DCB &dcb);
};

const Refused refused[] = {
    // Expressible, but Linux's pty driver forces 8 data bits and no parity on
    // every change: the read-back after applying must catch that.
    {"pty_7_data_bits", [](DCB &dcb) { dcb.ByteSize = 7; }},
    {"pty_odd_parity", [](DCB &dcb) { dcb.Parity = ODDPARITY; }},
    // What no line can say: XON/XOFF flow control with one character for both.
    {"xon_xoff_with_one_character",
     [](DCB &dcb) {
         dcb.fOutX = 1;
         dcb.XonChar = dcb.XoffChar = 0x11;
     }},
};

class RefusedSettings : public Pty, public testing::WithParamInterface<Refused>
{
};

// From the pty's default cooked line at 38400. The pty rows are applied, but
// not kept by the driver: the read-back must catch that and put the old line
// back, which the line check shows. The last row is refused before anything
// is applied: for it the line check shows only that nothing was.
TEST_P(RefusedSettings, FailAndLeaveTheLineAsItWas)
{
    const termios before = line();
    const HANDLE port = open_port(pty.path);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb = {};
    ASSERT_TRUE(GetCommState(port, &dcb));
    change_line(dcb);
    DCB changed = dcb;
    GetParam().change(changed);

    EXPECT_FALSE(SetCommState(port, &changed));
    EXPECT_EQ(text_of(line()), text_of(before));
    // The same record without the change is taken.
    EXPECT_TRUE(SetCommState(port, &dcb));
    EXPECT_TRUE(CloseHandle(port));
}

INSTANTIATE_TEST_SUITE_P(Pty, RefusedSettings, testing::ValuesIn(refused), RowName());

// SIGTERM's handling while a port is held exclusively, and after.
sighandler_t sigterm_handler()
{
    struct sigaction now;
    sigaction(SIGTERM, nullptr, &now);
    return now.sa_handler;
}

TEST_F(Pty, ExclusiveOpenShutsOutOthersUntilClosed)
{
    const auto handler_before = sigterm_handler();
    const HANDLE first = open_port(pty.path);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(exclusive_mode(pty.slave));
    // Held, an ending signal gives the port back first; closed, it is as it was.
    EXPECT_NE(sigterm_handler(), handler_before);

    EXPECT_EQ(open_port(pty.path), INVALID_HANDLE_VALUE);
    // The refused open must not have undone the first one's hold.
    EXPECT_TRUE(exclusive_mode(pty.slave));
    EXPECT_EQ(open_port(pty.path), INVALID_HANDLE_VALUE);

    EXPECT_TRUE(CloseHandle(first));
    EXPECT_FALSE(exclusive_mode(pty.slave));
    EXPECT_EQ(sigterm_handler(), handler_before);
    const HANDLE second = open_port(pty.path);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(second));
}

// Another program holds the port on a descriptor of its own, with a lock or
// with exclusive mode. Exclusive mode does not stop root: run as root, the
// stand-in must see it and refuse by itself.
struct OtherHolder {
    const char *name;
    bool lock; // else exclusive mode
};

const OtherHolder other_holders[] = {{"lock", true}, {"exclusive_mode", false}};

class HeldByAnother : public Pty, public testing::WithParamInterface<OtherHolder>
{
};

TEST_P(HeldByAnother, RefusesAnExclusiveOpenUntilReleased)
{
    const bool lock = GetParam().lock;
    const int other = open(pty.path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0) << strerror(errno);
    ASSERT_EQ(lock ? flock(other, LOCK_EX | LOCK_NB) : ioctl(other, TIOCEXCL), 0)
        << strerror(errno);

    EXPECT_EQ(open_port(pty.path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(exclusive_mode(pty.slave), !lock) << "the refused open changed it";

    ioctl(other, TIOCNXCL);
    close(other);
    const HANDLE port = open_port(pty.path);
    EXPECT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(port));
}

INSTANTIATE_TEST_SUITE_P(Pty, HeldByAnother, testing::ValuesIn(other_holders), RowName());

TEST(StandIn, NonTerminalHasNoLineSettings)
{
    const HANDLE port = open_port("/dev/null", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb, untouched;
    memset(&dcb, 0xa5, sizeof dcb);
    memcpy(&untouched, &dcb, sizeof dcb);
    EXPECT_FALSE(GetCommState(port, &dcb));
    EXPECT_EQ(memcmp(&dcb, &untouched, sizeof dcb), 0) << "the record was changed";
    EXPECT_TRUE(CloseHandle(port));
}

} // namespace
