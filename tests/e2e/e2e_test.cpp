// End to end: the built serial-send, run under vcom, which presents a real
// pseudo-terminal as COM3 and reports what reached it and how the line was
// left. Each row is one situation of the port and the command line.
#include "vcom_run.h"

namespace
{

using report::cannot_open;
using report::cannot_set;
using report::sent;

// Runs serial-send ended by a signal while its write waits on a held line.
Strings killed_by(const char *signal_name)
{
    return {"timeout", "--preserve-status", "-s", signal_name, "0.5"};
}
const Strings line_held = {"--stopped", "10000"};

const Row rows[] = {
    {"success", {}, {}, sent, 0, "52", set_line},
    // Set before the run (vcom_test.cpp proves it), so kept when after = before + set_line.
    {"flow_control_and_characters_kept", flow_and_chars, {}, sent, 0, "52", set_line},
    {"no_port", {"--port", "none"}, {}, cannot_open, 255, "", ""},
    {"port_held_by_another_program", {"--hold"}, {}, cannot_open, 255, "", ""},
    {"port_not_a_serial_line", {"--port", "null"}, {}, cannot_set, 255, "", ""},
    // The device holds the line for a while (XOFF): the write waits for it.
    {"waits_while_the_line_is_held", {"--stopped", "300"}, {}, sent, 0, "52", set_line},
    // Ended while waiting: the port is given back (vcom's reopen check).
    {"sigint_frees_the_port", line_held, killed_by("INT"), "", 130, "", set_line},
    {"sigterm_frees_the_port", line_held, killed_by("TERM"), "", 143, "", set_line},
    {"sighup_frees_the_port", line_held, killed_by("HUP"), "", 129, "", set_line},
    // Run with hangups ignored (nohup), a hangup changes nothing: it sends.
    {"ignored_sighup_changes_nothing",
     {"--stopped", "1000"},
     {"sh", "-c", "trap '' HUP; \"$0\" & sleep 0.3; kill -HUP $!; wait $!"},
     sent,
     0,
     "52",
     set_line},
    // The port must not take the closed stdout's place: one byte on the line.
    {"stdout_closed", {}, {"sh", "-c", "exec \"$0\" >&-"}, "", 0, "52", set_line},
};

class EndToEnd : public OnVcomPort, public testing::WithParamInterface<Row>
{
};

TEST_P(EndToEnd, Runs)
{
    const Row &row = GetParam();
    Strings command = row.wrap;
    command.push_back(SERIAL_SEND);

    expect_run(run_vcom(row.vcom, command), row);
}

INSTANTIATE_TEST_SUITE_P(SerialSend, EndToEnd, testing::ValuesIn(rows), RowName());

} // namespace
