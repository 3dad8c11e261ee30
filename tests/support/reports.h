// What serial-send prints, as every suite expects it, and the line it sets in
// the words of vcom's report. tests/support/reports.sh is the same for the
// shell tests.
#ifndef SERIAL_SEND_TESTS_REPORTS_H
#define SERIAL_SEND_TESTS_REPORTS_H

#include <string>

namespace report
{

inline const std::string sent = "Wrote 1 bytes of message\nR\n";
inline const std::string cannot_open = "Unable to open port\n";
inline const std::string cannot_set = "Unable to set port params\n";

// As a Windows build prints it: its C runtime writes text-mode stdout, every
// "\n" leaves as "\r\n".
inline std::string crlf(const std::string &text)
{
    std::string out;
    for (const char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

} // namespace report

// The line serial-send sets, as vcom reports it: 115200 8N1, binary (no
// output processing, no canonical input, no echo or signals), modem status
// lines ignored.
inline const char *const set_line = "speed=115200 csize=8 parity=none cstopb=0 opost=0 icanon=0 "
                                    "echo=0 isig=0 clocal=1";

#endif
