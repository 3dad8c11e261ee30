// End to end: the built serial-send, run under vcom, which presents a real
// pseudo-terminal as COM3 and reports what reached it and how the line was
// left. Each row is one situation of the port and the command line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
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

// Runs vcom OPTIONS --report FILE -- COMMAND, with stdout and stderr
// captured apart and stdin empty.
Outcome run_vcom(const Strings &options, const Strings &command)
{
    char dir[] = "/tmp/serial-send-e2e.XXXXXX";
    if (!mkdtemp(dir)) {
        ADD_FAILURE() << "mkdtemp failed";
        return {};
    }
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err",
                      report = std::string(dir) + "/report";

    Strings args = {VCOM};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--report", report, "--"});
    args.insert(args.end(), command.begin(), command.end());
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Outcome run;
    pid_t pid;
    int status;
    if (posix_spawn(&pid, VCOM, &files, nullptr, argv.data(), environ) == 0 &&
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
    unlink(out.c_str());
    unlink(err.c_str());
    unlink(report.c_str());
    rmdir(dir);
    return run;
}

// Why vcom cannot present the port on this machine, or empty when it can.
const std::string &namespace_problem()
{
    static const std::string problem = [] {
        const Outcome run = run_vcom({"--port", "none"}, {"true"});
        if (run.status == 0)
            return std::string();
        return "vcom cannot present a port as /dev/ttyS2 here (status " +
               std::to_string(run.status) + "): " + run.err +
               "The end-to-end suite needs root or unprivileged user namespaces.";
    }();
    return problem;
}

const char *const wrote_r = "Wrote 1 bytes of message\nR\n";
// A line serial-send has set: 115200 8N1, binary, modem status lines ignored.
const char *const set_line = "speed=115200 csize=8 parity=none cstopb=0 opost=0 icanon=0 echo=0 "
                             "isig=0 clocal=1";

struct Row {
    const char *name;
    Strings vcom; // how the port is presented and set up
    Strings args; // serial-send's arguments
    const char *out;
    int status;
    const char *received; // hex, as vcom reports it
    const char *changed;  // settings expected after the run; the rest must be as before
};

const Row rows[] = {
    {"success", {}, {}, wrote_r, 0, "52", set_line},
    {"flow_control_and_characters_kept",
     {"--speed", "9600", "--crtscts", "--ixon", "--ixoff", "--start", "0x01", "--stop", "0x02"},
     {},
     wrote_r,
     0,
     "52",
     "speed=115200 csize=8 parity=none cstopb=0 opost=0 icanon=0 echo=0 isig=0 clocal=1 crtscts=1 "
     "ixon=1 ixoff=1 start=0x01 stop=0x02"},
    {"no_port", {"--port", "none"}, {}, "Unable to open port\n", 255, "", ""},
    {"port_held_by_another_program", {"--hold"}, {}, "Unable to open port\n", 255, "", ""},
    {"port_not_a_serial_line", {"--port", "null"}, {}, "Unable to set port params\n", 255, "", ""},
    {"argument_help", {}, {"-h"}, wrote_r, 0, "52", set_line},
    {"argument_version", {}, {"--version"}, wrote_r, 0, "52", set_line},
    {"argument_other_port", {}, {"COM1"}, wrote_r, 0, "52", set_line},
    {"argument_format_directives", {}, {"%s%s%n"}, wrote_r, 0, "52", set_line},
    {"argument_empty", {}, {""}, wrote_r, 0, "52", set_line},
    {"arguments_many", {}, {"/dev/null", "9600", "-", "\xff\xfe"}, wrote_r, 0, "52", set_line},
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const Row &row, std::ostream *os)
{
    *os << row.name;
}

class EndToEnd : public testing::TestWithParam<Row>
{
  protected:
    void SetUp() override
    {
        const std::string &problem = namespace_problem();
        if (problem.empty())
            return;
        if (getenv("CI") && *getenv("CI"))
            GTEST_FAIL() << problem;
        fprintf(stderr, "\n*** SKIPPING the end-to-end suite: %s ***\n\n", problem.c_str());
        GTEST_SKIP() << problem;
    }
};

TEST_P(EndToEnd, Runs)
{
    const Row &row = GetParam();
    Strings command = {SERIAL_SEND};
    command.insert(command.end(), row.args.begin(), row.args.end());

    const Outcome run = run_vcom(row.vcom, command);

    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, row.status);
    ASSERT_EQ(run.report.count("received"), 1u) << "no report from vcom; stderr: " << run.err;
    EXPECT_EQ(run.report.at("received"), row.received);
    EXPECT_EQ(run.report.at("count"), std::to_string(parse_settings(row.received).size()));
    EXPECT_EQ(run.report.at("reopen"), "ok");

    Settings expected = parse_settings(run.report.at("before"));
    ASSERT_EQ(expected.size(), 15u) << "settings before: " << run.report.at("before");
    for (const auto &[key, value] : parse_settings(row.changed))
        expected[key] = value;
    EXPECT_EQ(parse_settings(run.report.at("after")), expected);
}

INSTANTIATE_TEST_SUITE_P(SerialSend, EndToEnd, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row> &p) { return p.param.name; });

} // namespace
