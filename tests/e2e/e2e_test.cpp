// End to end: the built serial-send, run under vcom, which presents a real
// pseudo-terminal as COM3 and reports what reached it and how the line was
// left. Each row is one situation of the port and the command line.
#include "vcom_run.h"

namespace
{

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

class EndToEnd : public OnVcomPort, public testing::WithParamInterface<Row>
{
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
