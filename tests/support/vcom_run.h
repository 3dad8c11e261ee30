// Running a command under vcom from a test, and reading what vcom saw of the
// port: its key=value report.
#ifndef SERIAL_SEND_TESTS_VCOM_RUN_H
#define SERIAL_SEND_TESTS_VCOM_RUN_H

#include <map>
#include <string>

#include "process.h"

using Settings = std::map<std::string, std::string>;

// vcom's exit status when this machine cannot present the port as
// /dev/ttyS2 (no root, no user namespaces): the test cannot run here.
constexpr int vcom_cannot_present = 77;

// "a=1 b=2" with separator ' ', or one key=value a line with '\n':
// {a: 1, b: 2}. A value runs to the next separator.
Settings parse_pairs(const std::string &text, char separator);

// Runs vcom OPTIONS --report FILE -- COMMAND with the environment env in a
// scratch directory; the report is the outcome's kept file.
Outcome run_vcom(const Strings &options, const Strings &command,
                 const Strings &env = environment());

// What vcom saw of the run: the bytes received (hex, as vcom reports them),
// the line settings after the run, which are those before with changed
// (key=value words, each a key of the report) applied, and whether the port
// could be taken again afterwards ("ok", or "busy").
void expect_port(const Outcome &run, const std::string &received, const std::string &changed,
                 const char *reopen = "ok");

// vcom options that set flow control and start/stop characters before the
// run, to values serial-send never chooses. Inline, so it is made before the
// tables of the files that include this.
inline const Strings flow_and_chars = {"--speed", "9600", "--crtscts", "--ixon", "--ixoff",
                                       "--start", "0x01", "--stop",    "0x02"};

#endif
