// vcom itself, which the end-to-end and Wine suites trust: how it presents the
// port, what it hands back of the command (output, exit status) and what it
// reports of the port. Each row is a small shell command run under vcom.
#include <sys/stat.h>

#include "vcom_run.h"

namespace
{

// One link per row, so that rows may run side by side.
const std::string link_port = LINK_DIR "/com3-port", link_none = LINK_DIR "/com3-none";
const char *const private_dev =
    "fd\nfull\nnull\nrandom\nstderr\nstdin\nstdout\nttyS2\nurandom\nzero\n";

struct Row {
    const char *name;
    Strings vcom;
    std::string script; // for sh -c
    const char *out;
    const char *err;
    int status;
    const char *received; // hex, as vcom reports it
    const char *before;   // settings expected before the run (key=value words)
    const char *reopen = "ok";
};

const Row rows[] = {
    {"exit_status_passes", {}, "exit 7", "", "", 7, "", ""},
    {"signal_as_128_plus", {}, "kill -TERM $$", "", "", 143, "", ""},
    {"output_passes_through", {}, "echo out; echo err >&2", "out\n", "err\n", 0, "", ""},
    {"private_dev_with_port", {}, "ls /dev", private_dev, "", 0, "", ""},
    {"port_absent",
     {"--port", "none"},
     "ls /dev",
     "fd\nfull\nnull\nrandom\nstderr\nstdin\nstdout\nurandom\nzero\n",
     "",
     0,
     "",
     ""},
    {"port_is_dev_null",
     {"--port", "null"},
     "printf R >/dev/ttyS2 && test /dev/ttyS2 -ef /dev/null",
     "",
     "",
     0,
     "",
     ""},
    {"bytes_received", {}, "printf 'R\\000\\377' >/dev/ttyS2", "", "", 0, "52 00 ff", ""},
    {"fresh_line_is_cooked",
     {},
     "printf 'a\\n' >/dev/ttyS2",
     "",
     "",
     0,
     "61 0d 0a",
     "opost=1 icanon=1 echo=1 isig=1 clocal=0"},
    {"initial_settings",
     {"--speed", "9600", "--crtscts", "--ixon", "--ixoff", "--start", "0x01", "--stop", "0xfe"},
     "true",
     "",
     "",
     0,
     "",
     "speed=9600 crtscts=1 ixon=1 ixoff=1 start=0x01 stop=0xfe"},
    {"link_presents_port",
     {"--link", link_port},
     "test -c " + link_port + " && printf R >" + link_port,
     "",
     "",
     0,
     "52",
     ""},
    {"link_port_absent",
     {"--link", link_none, "--port", "none"},
     "test ! -e " + link_none,
     "",
     "",
     0,
     "",
     ""},
    // A lock on the port that outlives the command: a background process
    // keeps the locked descriptor.
    {"reopen_busy_while_locked",
     {},
     "exec 9</dev/ttyS2 && flock -n 9 && { sleep 2 & }",
     "",
     "",
     0,
     "",
     "",
     "busy"},
};

class Vcom : public OnVcomPort, public testing::WithParamInterface<Row>
{
};

TEST_P(Vcom, Runs)
{
    const Row &row = GetParam();

    const Outcome run = run_vcom(row.vcom, {"sh", "-c", row.script});

    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, row.err);
    EXPECT_EQ(run.status, row.status);
    ASSERT_NO_FATAL_FAILURE(expect_port(run, row.received, ""));
    EXPECT_EQ(run.report.at("reopen"), row.reopen);
    const Settings before = parse_settings(run.report.at("before"));
    for (const auto &[key, value] : parse_settings(row.before))
        EXPECT_EQ(before.count(key) ? before.at(key) : "(missing)", value) << key;
    for (size_t i = 0; i + 1 < row.vcom.size(); ++i) {
        struct stat st;
        if (row.vcom[i] == "--link") {
            EXPECT_NE(lstat(row.vcom[i + 1].c_str(), &st), 0) << row.vcom[i + 1] << " is left";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Harness, Vcom, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row> &p) { return p.param.name; });

// Failures of the command or of vcom itself come back as exit statuses, with
// a message and no report.
class VcomFails : public OnVcomPort
{
};

TEST_F(VcomFails, MissingCommandIs127)
{
    const Outcome run = run_vcom({}, {"/nonexistent/command"});
    EXPECT_EQ(run.status, 127);
    EXPECT_EQ(run.err, "vcom: /nonexistent/command: No such file or directory\n");
    EXPECT_TRUE(run.report.empty());
}

TEST_F(VcomFails, BadOptionIs125)
{
    const Outcome run = run_vcom({"--speed", "12345"}, {"true"});
    EXPECT_EQ(run.status, 125);
    EXPECT_EQ(run.err.rfind("vcom: unsupported speed: 12345\n", 0), 0u) << run.err;
    EXPECT_TRUE(run.report.empty());
}

} // namespace
