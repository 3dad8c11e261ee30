// The entry module, built over the scripted fake of kernel32
// (serial-send-fake), run as a program: what it prints, its exit status and
// every call it makes, for each way the calls can go.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "process.h"
#include "reports.h"
#include "rows.h"

namespace
{

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Runs serial-send-fake with the script: what it prints, its status, and the
// calls it made (the fake's log, one line a call).
Outcome run_fake(const std::string &script)
{
    Strings env = environment(); // what comes first is what getenv finds
    env.insert(env.begin(), "SERIAL_SEND_FAKE_SCRIPT=" + script);
    return run_in_scratch(SERIAL_SEND_FAKE, {SERIAL_SEND_FAKE}, env, "calls");
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

struct Case {
    const char *name;
    const char *script; // what the fake makes go wrong
    Report ends;
    std::vector<std::string> calls;
};

// The calls of a run that gets as far as the write.
std::vector<std::string> through_write(const std::string &write, const std::string &close)
{
    return {opened, read_state, set_call(read_record_changed, 1), write, close};
}

const Case cases[] = {
    {"success", "", report::sent, through_write(write_call(1, 1), close_call(1))},
    {"open_fails", "open-fails", report::cannot_open, {open_call("0xffffffffffffffff")}},
    {"settings_unreadable",
     "get-fails",
     report::sent,
     {opened, read_fails, set_call(zero_record_changed, 1), write_call(1, 1), close_call(1)}},
    {"settings_rejected",
     "set-fails",
     report::cannot_set,
     {opened, read_state, set_call(read_record_changed, 0), close_call(1)}},
    {"write_fails", "write-fails", report::nothing_sent,
     through_write(write_call(0, 0), close_call(1))},
    {"write_times_out", "write-stores-0", report::nothing_sent,
     through_write(write_call(1, 0), close_call(1))},
    {"write_fails_after_sending", "write-fails-late", report::sent_then_failed,
     through_write(write_call(0, 1), close_call(1))},
    {"close_fails", "close-fails", report::sent, through_write(write_call(1, 1), close_call(0))},
};

class EntryModule : public testing::TestWithParam<Case>
{
};

TEST_P(EntryModule, PrintsExitsAndCallsAsExpected)
{
    const Case &c = GetParam();
    const Outcome run = run_fake(c.script);
    EXPECT_EQ(run.out, c.ends.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, c.ends.status);
    EXPECT_EQ(lines_of(run.kept), c.calls);
}

INSTANTIATE_TEST_SUITE_P(Calls, EntryModule, testing::ValuesIn(cases), RowName());

} // namespace
