// Wine runs: the Windows build of serial-send (real kernel32, Wine's) run
// under Wine, with a pseudo-terminal from vcom linked as the prefix's
// dosdevices/com3. Each row is one situation of the port and the command line.
//
// The prefix is made once for the suite by wine-prefix.sh (the CTest
// fixture wine_prefix), with Wine's mount manager switched off so that Wine
// itself maps no serial device to any COMn: COM3 is what vcom links, or nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

namespace
{

using Strings = std::vector<std::string>;
using Settings = std::map<std::string, std::string>;

const std::string com3 = std::string(WINE_PREFIX) + "/dosdevices/com3";

struct Outcome {
    std::string out;
    std::string err;
    int status = -1; // exit status, 128 + signal when killed
    std::map<std::string, std::string> report;
};

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// "speed=115200 csize=8" -> {speed: 115200, csize: 8}
Settings parse_settings(const std::string &words)
{
    Settings s;
    std::istringstream in(words);
    std::string word;
    while (in >> word) {
        const size_t eq = word.find('=');
        s[word.substr(0, eq)] = eq == std::string::npos ? "" : word.substr(eq + 1);
    }
    return s;
}

// Runs vcom --link <prefix>/dosdevices/com3 OPTIONS --report FILE -- wine
// serial-send.exe ARGS in the Wine prefix of the suite. stdout and stderr go
// to files named after the row (kept in the test's directory for a look after
// a failure): Wine's helper processes may outlive the run holding them, which
// pipes would turn into a hang.
Outcome run_under_wine(const std::string &name, const Strings &options, const Strings &args)
{
    const std::string out = "run-" + name + ".out", err = "run-" + name + ".err",
                      report = "run-" + name + ".report";
    unlink(report.c_str());

    Strings argv_text = {VCOM, "--link", com3};
    argv_text.insert(argv_text.end(), options.begin(), options.end());
    argv_text.insert(argv_text.end(), {"--report", report, "--", WINE_LOADER, SERIAL_SEND_EXE});
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argv_text)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    Strings env_text = {"WINEPREFIX=" WINE_PREFIX, "WINEDEBUG=-all",
                        "WINEDLLOVERRIDES=" WINE_DLL_OVERRIDES};
    for (char **e = environ; *e; ++e)
        if (strncmp(*e, "WINE", 4) != 0)
            env_text.push_back(*e);
    std::vector<char *> env;
    for (std::string &e : env_text)
        env.push_back(e.data());
    env.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Outcome run;
    pid_t pid;
    int status;
    if (posix_spawn(&pid, VCOM, &files, nullptr, argv.data(), env.data()) == 0 &&
        waitpid(pid, &status, 0) == pid)
        run.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    else
        ADD_FAILURE() << "cannot run " << VCOM;
    posix_spawn_file_actions_destroy(&files);

    run.out = read_file(out);
    run.err = read_file(err);
    std::istringstream lines(read_file(report));
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            run.report[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return run;
}

// Wine's C runtime writes text-mode stdout: every "\n" leaves as "\r\n".
const char *const wrote_r = "Wrote 1 bytes of message\r\nR\r\n";
// A line serial-send has set: 115200 8N1, and Wine leaves it raw (no output
// processing, no canonical input, no echo or signals) with modem status lines
// ignored.
const char *const set_line = "speed=115200 csize=8 parity=none cstopb=0 opost=0 icanon=0 echo=0 "
                             "isig=0 clocal=1";
// Flow control and start/stop characters, set before the run to values
// serial-send never chooses; they must come through its GetCommState /
// SetCommState round trip unchanged.
const Strings flow_and_chars = {"--speed", "9600", "--crtscts", "--ixon", "--ixoff",
                                "--start", "0x01", "--stop",    "0x02"};

struct Row {
    const char *name;
    Strings vcom; // how the port is presented and set up
    Strings args; // serial-send.exe's arguments
    const char *out;
    int status;
    const char *received; // hex, as vcom reports it
    const char *changed;  // settings expected after the run; the rest must be as before
};

const Row rows[] = {
    {"success", flow_and_chars, {}, wrote_r, 0, "52", set_line},
    {"success_default_line", {}, {}, wrote_r, 0, "52", set_line},
    {"no_com3", {"--port", "none"}, {}, "Unable to open port\r\n", 255, "", ""},
    {"com3_not_a_serial_line",
     {"--port", "null"},
     {},
     "Unable to set port params\r\n",
     255,
     "",
     ""},
    {"arguments_given", flow_and_chars, {"COM1", "9600", "/?", "%s%n"}, wrote_r, 0, "52", set_line},
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const Row &row, std::ostream *os)
{
    *os << row.name;
}

class WineRun : public testing::TestWithParam<Row>
{
  protected:
    void SetUp() override
    {
        for (const char *tool : {SERIAL_SEND_EXE, WINE_LOADER, VCOM})
            ASSERT_EQ(access(tool, F_OK), 0)
                << tool << " is missing. The Wine runs need Wine (scripts/lib/packages.sh) "
                << "and the Windows build: cmake --preset windows && cmake --build --preset "
                << "windows";
        ASSERT_EQ(access(WINE_PREFIX "/drive_c", F_OK), 0)
            << "no Wine prefix at " WINE_PREFIX " (the wine_prefix fixture makes it)";
    }
};

TEST_P(WineRun, Runs)
{
    const Row &row = GetParam();

    const Outcome run = run_under_wine(row.name, row.vcom, row.args);

    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, row.status);
    ASSERT_EQ(run.report.count("received"), 1u) << "no report from vcom; stderr: " << run.err;
    EXPECT_EQ(run.report.at("received"), row.received);
    EXPECT_EQ(run.report.at("count"), std::to_string(parse_settings(row.received).size()));
    EXPECT_EQ(run.report.at("reopen"), "ok"); // the port was let go

    Settings expected = parse_settings(run.report.at("before"));
    ASSERT_EQ(expected.size(), 15u) << "settings before: " << run.report.at("before");
    for (const auto &[key, value] : parse_settings(row.changed))
        expected[key] = value;
    EXPECT_EQ(parse_settings(run.report.at("after")), expected);

    // vcom's link is gone and Wine made no COM3 of its own meanwhile.
    struct stat st;
    EXPECT_NE(lstat(com3.c_str(), &st), 0) << com3 << " is left after the run";
}

INSTANTIATE_TEST_SUITE_P(SerialSendExe, WineRun, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row> &p) { return p.param.name; });

} // namespace
