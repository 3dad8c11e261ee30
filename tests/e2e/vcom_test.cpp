// vcom's own test: every verdict on the port rests on its report. The port
// is presented with --link, which needs no namespace and must be gone after;
// the command is a shell script given the port as $0 and ttyhold as $1.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "rows.h"
#include "vcom_run.h"

namespace
{

using rows::operator<<;

struct VcomRow {
    const char *name;
    Strings options;
    const char *script;
    int status;
    const char *received;
    const char *before;  // key=value words the settings before the run show
    const char *changed; // the settings after: those before with these applied
    const char *reopen;
};

const VcomRow rows[] = {
    {"reports_the_bytes", {}, "printf 'R\\000\\377' >\"$0\"", 0, "52 00 ff", "", "", "ok"},
    {"reports_the_line_before_and_after", flow_and_chars, "stty -F \"$0\" 115200 -crtscts -opost",
     0, "", "speed=9600 crtscts=1 ixon=1 ixoff=1 start=0x01 stop=0x02 opost=1",
     "speed=115200 crtscts=0 opost=0", "ok"},
    {"terminal_left_exclusive_is_busy", {}, "\"$1\" excl <\"$0\"; exit 3", 3, "", "", "", "busy"},
};

class Vcom : public testing::TestWithParam<VcomRow>
{
};

TEST_P(Vcom, Reports)
{
    const VcomRow &row = GetParam();
    const std::string port = testing::TempDir() + "serial-send-vcom-" + row.name;
    Strings options = {"--link", port};
    options.insert(options.end(), row.options.begin(), row.options.end());

    const Outcome run = run_vcom(options, {"sh", "-c", row.script, port, TTYHOLD});
    EXPECT_EQ(run.status, row.status) << run.err;
    ASSERT_NO_FATAL_FAILURE(expect_port(run, row.received, row.changed, row.reopen));
    const Settings before = parse_pairs(parse_pairs(run.kept, '\n')["before"], ' ');
    for (const auto &[key, value] : parse_pairs(row.before, ' '))
        EXPECT_EQ(before.count(key) ? before.at(key) : "(none)", value) << key;
    struct stat link;
    EXPECT_NE(lstat(port.c_str(), &link), 0) << "vcom left its link " << port;
}

INSTANTIATE_TEST_SUITE_P(Tool, Vcom, testing::ValuesIn(rows), RowName());

} // namespace
