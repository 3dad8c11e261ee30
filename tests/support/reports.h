// What serial-send prints and sets, from reports.def.
#ifndef SERIAL_SEND_TESTS_REPORTS_H
#define SERIAL_SEND_TESTS_REPORTS_H

#include <string>

// A way a run ends: what it prints on standard output, and its exit status.
struct Report {
    std::string out;
    int status;
};

namespace report
{

#define REPORT(name, status, text) inline const Report name = {text, status};
#define LINE(name, words) inline const char *const name = words;
#include "reports.def"
#undef REPORT
#undef LINE

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

#endif
