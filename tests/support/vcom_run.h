// Running a command under vcom from a test: the command's stdout and stderr
// captured apart, its exit status, and vcom's key=value report, plus the
// checks every run of serial-send on vcom's port shares.
#ifndef SERIAL_SEND_TESTS_VCOM_RUN_H
#define SERIAL_SEND_TESTS_VCOM_RUN_H

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "process.h"
#include "reports.h"
#include "rows.h"

using Settings = std::map<std::string, std::string>;

struct Outcome {
    std::string out;
    std::string err;
    int status = -1; // exit status, 128 + signal when killed
    std::map<std::string, std::string> report;
};

// "speed=115200 csize=8" -> {speed: 115200, csize: 8}
Settings parse_settings(const std::string &words);

// Runs argv (argv[0] a path) as run_program does, then collects stdout, stderr and the report
// vcom wrote to the file report.
Outcome run_collect(const Strings &argv, const Strings &env, const std::string &out,
                    const std::string &err, const std::string &report);

// Runs vcom OPTIONS --report FILE -- COMMAND in a scratch directory.
Outcome run_vcom(const Strings &options, const Strings &command);

// For suites whose runs present the port as /dev/ttyS2, which needs root or
// user namespaces: without them each test cannot run (cannot_run.h).
class OnVcomPort : public testing::Test
{
  protected:
    void SetUp() override;
};

// What vcom saw of the run: the bytes received (hex, as vcom reports them),
// and the line settings after the run, which are those before with changed
// (key=value words, each a key of the report) applied.
void expect_port(const Outcome &run, const std::string &received, const std::string &changed);

// vcom options that set flow control and start/stop characters before the
// run, to values serial-send never chooses. Inline, so it is made before the
// tables of the files that include this.
inline const Strings flow_and_chars = {"--speed", "9600", "--crtscts", "--ixon", "--ixoff",
                                       "--start", "0x01", "--stop",    "0x02"};

// One run of serial-send on vcom's port and what it must give.
struct Row {
    const char *name;
    Strings vcom; // how the port is presented and set up
    Strings wrap; // what runs serial-send, before its command line
    std::string out;
    int status;
    const char *received; // hex, as vcom reports it
    const char *changed;  // settings expected after the run; the rest must be as before
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const Row &row, std::ostream *os);

// The run gave the row's stdout and status, nothing on stderr, the row's
// bytes and line on the port, and left the port free.
void expect_run(const Outcome &run, const Row &row);

#endif
