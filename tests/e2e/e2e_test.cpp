// End to end: the built serial-send, run under vcom, which presents a real
// pseudo-terminal as COM3 and reports what reached it and how the line was
// left. Each row is one situation of the port and the command line.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "vcom_run.h"

namespace
{

// Runs vcom OPTIONS --report FILE -- COMMAND in a scratch directory.
Outcome run_vcom(const Strings &options, const Strings &command)
{
    char dir[] = "/tmp/serial-send-e2e.XXXXXX";
    if (!mkdtemp(dir)) {
        ADD_FAILURE() << "mkdtemp failed";
        return {};
    }
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err",
                      report = std::string(dir) + "/report";
    Strings argv = {VCOM};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"--report", report, "--"});
    argv.insert(argv.end(), command.begin(), command.end());

    const Outcome run = run_collect(argv, environment(), out, err, report);
    for (const std::string &file : {out, err, report})
        unlink(file.c_str());
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
    ASSERT_NO_FATAL_FAILURE(expect_port(run, row.received, row.changed));
    EXPECT_EQ(run.report.at("reopen"), "ok");
}

INSTANTIATE_TEST_SUITE_P(SerialSend, EndToEnd, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row> &p) { return p.param.name; });

} // namespace
