// The entry module, built over the scripted fake of kernel32
// (serial-send-fake), run as a program: what it prints, its exit status and
// every call it makes, for each way the calls can go.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rows.h"

extern char **environ;

namespace
{

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;                // the exit status, or 128 + the signal that ended it
    std::vector<std::string> calls; // the fake's log, one line per call
};

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Runs serial-send-fake with the script and the arguments in a scratch
// directory, stdout and stderr each to their own file.
Outcome run_program(const std::string &script, const std::vector<std::string> &args)
{
    std::string dir = "/tmp/serial-send-entry.XXXXXX";
    if (!mkdtemp(&dir[0])) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return {};
    }
    const std::string out = dir + "/stdout", err = dir + "/stderr", log = dir + "/calls";

    std::vector<std::string> env_text = {"SERIAL_SEND_FAKE_SCRIPT=" + script,
                                         "SERIAL_SEND_FAKE_LOG=" + log};
    for (char **e = environ; *e; ++e)
        if (strncmp(*e, "SERIAL_SEND_FAKE_", 17) != 0)
            env_text.push_back(*e);
    std::vector<char *> env;
    for (std::string &e : env_text)
        env.push_back(&e[0]);
    env.push_back(nullptr);

    std::string program = SERIAL_SEND_FAKE;
    std::vector<std::string> argv_text = args;
    argv_text.insert(argv_text.begin(), program);
    std::vector<char *> argv;
    for (std::string &a : argv_text)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&files);

    Outcome outcome;
    int status = 0;
    if (spawned != 0)
        ADD_FAILURE() << "cannot run " << program << ": " << strerror(spawned);
    else if (waitpid(pid, &status, 0) != pid)
        ADD_FAILURE() << "waitpid: " << strerror(errno);
    else
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

const std::string wrote_1 = "Wrote 1 bytes of message\nR\n";
const std::string wrote_0 = "Wrote 0 bytes of message\nR\n";

struct Case {
    const char *name;
    const char *script; // what the fake makes go wrong
    std::vector<std::string> args;
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
    {"success", "", {}, wrote_1, 0, through_write(write_call(1, 1), close_call(1))},
    {"open_fails",
     "open-fails",
     {},
     "Unable to open port\n",
     255,
     {open_call("0xffffffffffffffff")}},
    {"settings_unreadable",
     "get-fails",
     {},
     wrote_1,
     0,
     {opened, read_fails, set_call(zero_record_changed, 1), write_call(1, 1), close_call(1)}},
    {"settings_rejected",
     "set-fails",
     {},
     "Unable to set port params\n",
     255,
     {opened, read_state, set_call(read_record_changed, 0), close_call(1)}},
    {"write_fails",
     "write-fails",
     {},
     wrote_0,
     255,
     through_write(write_call(0, 0), close_call(1))},
    {"write_times_out",
     "write-stores-0",
     {},
     wrote_0,
     255,
     through_write(write_call(1, 0), close_call(1))},
    {"write_fails_after_sending",
     "write-fails-late",
     {},
     wrote_1,
     255,
     through_write(write_call(0, 1), close_call(1))},
    {"close_fails", "close-fails", {}, wrote_1, 0, through_write(write_call(1, 1), close_call(0))},
    {"arguments_ignored",
     "",
     {"COM4", "%s%n", "", "--help"},
     wrote_1,
     0,
     through_write(write_call(1, 1), close_call(1))},
};

class EntryModule : public testing::TestWithParam<Case>
{
};

TEST_P(EntryModule, PrintsExitsAndCallsAsExpected)
{
    const Case &c = GetParam();
    const Outcome run = run_program(c.script, c.args);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(Calls, EntryModule, testing::ValuesIn(cases), RowName());

} // namespace
