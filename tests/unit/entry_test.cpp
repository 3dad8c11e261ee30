// The entry module, built over the scripted fake of kernel32
// (serial-send-fake), run as a program: what it prints, its exit status and
// every call it makes, for each way the calls can go.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "process.h"
#include "reports.h"
#include "rows.h"

namespace
{

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;                // the exit status, or 128 + the signal that ended it
    std::vector<std::string> calls; // the fake's log, one line per call
};

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Runs serial-send-fake with the script and the argument vector argv
// (argv[0] included) in a scratch directory, stdout and stderr each to
// their own file.
Outcome run_fake(const std::string &script, const Strings &argv)
{
    std::string dir = "/tmp/serial-send-entry.XXXXXX";
    if (!mkdtemp(&dir[0])) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return {};
    }
    const std::string out = dir + "/stdout", err = dir + "/stderr", log = dir + "/calls";

    Strings env = {"SERIAL_SEND_FAKE_SCRIPT=" + script, "SERIAL_SEND_FAKE_LOG=" + log};
    for (const std::string &e : environment())
        if (e.compare(0, 17, "SERIAL_SEND_FAKE_") != 0)
            env.push_back(e);
    Outcome outcome;
    outcome.status = run_program(SERIAL_SEND_FAKE, argv, env, out, err);
    outcome.out = read_file(out);
    outcome.err = read_file(err);
    outcome.calls = lines_of(read_file(log));

    for (const std::string &file : {out, err, log})
        unlink(file.c_str());
    rmdir(dir.c_str());
    return outcome;
}

// The lines the fake logs. It hands out the handle 0x5e41.
std::string open_call(const std::string &result)
{
    return "CreateFileA name=\"COM3\" access=0xc0000000 share=0 security=null disposition=3 "
           "flags=0x80 template=null -> " +
           result;
}
const std::string opened = open_call("0x5e41");
const std::string read_state = "GetCommState handle=0x5e41 record=set -> 1";
const std::string read_fails = "GetCommState handle=0x5e41 record=set -> 0";

std::string set_call(const std::string &record, int result)
{
    return "SetCommState handle=0x5e41 record=" + record + " -> " + std::to_string(result);
}

// WriteFile must be given the byte "R" alone (no NUL), somewhere to store the
// count and no overlapped record.
std::string write_call(int result, int stored)
{
    return "WriteFile handle=0x5e41 length=1 bytes=52 written=set overlapped=null -> " +
           std::to_string(result) + " stored=" + std::to_string(stored);
}

std::string close_call(int result)
{
    return "CloseHandle handle=0x5e41 -> " + std::to_string(result);
}

// The record SetCommState must get: the one GetCommState handed out (the fake
// fills it with 0xc0, 0xc1, ...; zeroes when the read failed and left it
// alone) with only DCBlength (bytes 0-3) = 28, BaudRate (4-7) = 115200,
// ByteSize (18) = 8, Parity (19) = NOPARITY and StopBits (20) = ONESTOPBIT
// changed, little-endian as on Windows.
const std::string read_record_changed = "1c000000"
                                        "00c20100"
                                        "c8c9cacbcccdcecfd0d1"
                                        "080000"
                                        "d5d6d7d8d9dadb";
const std::string zero_record_changed = "1c000000"
                                        "00c20100"
                                        "00000000000000000000"
                                        "080000"
                                        "00000000000000";

const std::string &wrote_1 = report::sent;
const std::string wrote_0 = "Wrote 0 bytes of message\nR\n";

struct Case {
    const char *name;
    const char *script; // what the fake makes go wrong
    std::string out;
    int status;
    std::vector<std::string> calls;
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

// The calls of a run that gets as far as the write.
std::vector<std::string> through_write(const std::string &write, const std::string &close)
{
    return {opened, read_state, set_call(read_record_changed, 1), write, close};
}

const Case cases[] = {
    {"success", "", wrote_1, 0, through_write(write_call(1, 1), close_call(1))},
    {"open_fails", "open-fails", "Unable to open port\n", 255, {open_call("0xffffffffffffffff")}},
    {"settings_unreadable",
     "get-fails",
     wrote_1,
     0,
     {opened, read_fails, set_call(zero_record_changed, 1), write_call(1, 1), close_call(1)}},
    {"settings_rejected",
     "set-fails",
     "Unable to set port params\n",
     255,
     {opened, read_state, set_call(read_record_changed, 0), close_call(1)}},
    {"write_fails", "write-fails", wrote_0, 255, through_write(write_call(0, 0), close_call(1))},
    {"write_times_out", "write-stores-0", wrote_0, 255,
     through_write(write_call(1, 0), close_call(1))},
    {"write_fails_after_sending", "write-fails-late", wrote_1, 255,
     through_write(write_call(0, 1), close_call(1))},
    {"close_fails", "close-fails", wrote_1, 0, through_write(write_call(1, 1), close_call(0))},
};

class EntryModule : public testing::TestWithParam<Case>
{
};

void expect_run(const Outcome &run, const Case &c)
{
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.calls, c.calls);
}

TEST_P(EntryModule, PrintsExitsAndCallsAsExpected)
{
    expect_run(run_fake(GetParam().script, {SERIAL_SEND_FAKE}), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Calls, EntryModule, testing::ValuesIn(cases), RowName());

// int main() cannot see its arguments: whatever the vector (argv[0]
// included), the run is the success row's.
struct Arguments {
    const char *name;
    Strings argv;
};

void PrintTo(const Arguments &row, std::ostream *os)
{
    *os << row.name;
}

std::string any_bytes(size_t size)
{
    std::string s(size, ' ');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(1 + i % 255); // all but NUL
    return s;
}

const std::string fake = SERIAL_SEND_FAKE;
const Arguments argument_vectors[] = {
    {"argc_0", {}},
    {"empty", {"", "", ""}},
    {"100_kib", {fake, std::string(100 * 1024, 'A'), any_bytes(100 * 1024)}},
    {"not_utf8", {fake, "\xff\xfe", "\xc0\x80", "\xed\xa0\x80", "caf\xe9 na\xefve"}},
    {"format_strings", {fake, "%s%n%x", "%n%n%n%n", "%99999999d", "%p%1$s%9$n", "%"}},
    {"option_like",
     {"COM4", "COM4", "--help", "/?", "--port=COM1", "\\\\.\\COM1", "/dev/ttyS0", "--"}},
};

class ArgumentsIgnored : public testing::TestWithParam<Arguments>
{
};

TEST_P(ArgumentsIgnored, RunAsWithout)
{
    expect_run(run_fake("", GetParam().argv), cases[0]);
}

INSTANTIATE_TEST_SUITE_P(Calls, ArgumentsIgnored, testing::ValuesIn(argument_vectors), RowName());

} // namespace
