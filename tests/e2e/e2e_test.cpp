// What a run of serial-send does on a port, in one table: each row is one
// situation of the port and of how the program is started, with what it must
// print, its exit status, the bytes the port receives and the line it leaves.
// vcom presents a real pseudo-terminal as COM3 and reports what reached it.
//
// The table is run by every launcher, one way of starting the program (the
// release and asan builds, memcheck, the installed packages, Wine...), each
// as tests of its own. add_launcher in tests/CMakeLists.txt says what a
// launcher is made of; it comes here as options: --program=PATH,
// --launch=WORD, --com3=PATH and --env=NAME[=VALUE], the last two repeated.
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "process.h"
#include "reports.h"
#include "rows.h"

namespace
{

struct Launcher {
    std::string program = SERIAL_SEND; // this tree's, unless told otherwise
    Strings launch;
    std::string com3;
    Strings env = environment();
};
Launcher launcher;

struct Row {
    const char *name;
    Strings vcom;         // how vcom presents and sets up the port
    Strings wrap;         // what runs the launcher's command, before it
    Report ends;          // what it prints and its exit status
    const char *received; // hex, as vcom reports it
    bool sets_line;       // the run sets the line; else every setting must be as before
};

using report::cannot_open;
using report::cannot_set;
using report::sent;
constexpr bool set_line = true, untouched = false;

// A Windows exe runs here under Wine: its C runtime ends each line it prints
// in CR LF, Wine's serial layer sets the line its own way, and Wine keeps no
// other program out of the port while the exe holds it (it takes no lock and
// sets no TIOCEXCL): the day it does, the held rows say so.
bool under_wine()
{
    const std::string &p = launcher.program;
    return p.size() > 4 && p.compare(p.size() - 4, 4, ".exe") == 0;
}

// serial-send's write waits on a held line: the signal comes 300 ms into the wait.
Strings signalled(int signal_number)
{
    return {"--stopped", "300", "--signal", std::to_string(signal_number)};
}

using Settings = std::map<std::string, std::string>;

// "a=1 b=2" with separator ' ', or one key=value a line with '\n':
// {a: 1, b: 2}. A value runs to the next separator.
Settings parse_pairs(const std::string &text, char separator)
{
    Settings s;
    std::istringstream in(text);
    for (std::string pair; std::getline(in, pair, separator);) {
        const size_t eq = pair.find('=');
        if (!pair.empty())
            s[pair.substr(0, eq)] = eq == std::string::npos ? "" : pair.substr(eq + 1);
    }
    return s;
}

// Flow control and characters serial-send never chooses, and every mode the
// Linux build clears (set_line's 0s but the stop bit's), set before the run:
// the first kept, the rest cleared, when after = before + the line the
// launcher's platform sets.
Strings cooked_line_with_flow_control()
{
    Strings options = {"--speed", "9600", "--start", "0x01", "--stop", "0x02"};
    for (const char *flag : {"crtscts", "ixon", "ixoff", "inpck"})
        options.insert(options.end(), {"--set", flag});
    for (const auto &[flag, value] : parse_pairs(report::set_line, ' '))
        if (value == "0" && flag != "cstopb")
            options.insert(options.end(), {"--set", flag});
    return options;
}

const Row rows[] = {
    {"success", {}, {}, sent, "52", set_line},
    {"flow_control_and_characters_kept_modes_cleared",
     cooked_line_with_flow_control(),
     {},
     sent,
     "52",
     set_line},
    {"arguments_change_nothing",
     {},
     {"sh", "-c", "exec \"$@\" COM4 --port=COM1 /dev/ttyS0 '%s%n' ''", "sh"},
     sent,
     "52",
     set_line},
    {"no_port", {"--port", "none"}, {}, cannot_open, "", untouched},
    {"port_held_by_another_program", {"--hold"}, {}, cannot_open, "", untouched},
    {"port_not_a_serial_line", {"--port", "null"}, {}, cannot_set, "", untouched},
    // The device holds the line (XOFF) for 300 ms once it is set: the write waits.
    {"waits_while_the_line_is_held", {"--stopped", "300"}, {}, sent, "52", set_line},
    // Ended while waiting: the port is given back (vcom's reopen check).
    {"sigint_frees_the_port", signalled(SIGINT), {}, {"", 130}, "", set_line},
    {"sigterm_frees_the_port", signalled(SIGTERM), {}, {"", 143}, "", set_line},
    {"sighup_frees_the_port", signalled(SIGHUP), {}, {"", 129}, "", set_line},
    // Run with hangups ignored (nohup), a hangup changes nothing: it sends.
    {"ignored_sighup_changes_nothing",
     signalled(SIGHUP),
     {"sh", "-c", "trap '' HUP; exec \"$@\"", "sh"},
     sent,
     "52",
     set_line},
    // The port must not take the closed stdout's place: one byte on the line.
    {"stdout_closed", {}, {"sh", "-c", "exec \"$@\" >&-", "sh"}, {"", 0}, "52", set_line},
};

// What vcom saw of the run, in its report: the bytes received, the line after
// the run (the one before with what the run sets), the port free for the next
// program, and, where the line was held, the port kept from others and let go
// while the program still waited on it.
void expect_port(const Outcome &run, const Row &row)
{
    const Settings report = parse_pairs(run.kept, '\n');
    for (const char *key : {"received", "before", "after", "reopen"})
        ASSERT_EQ(report.count(key), 1u)
            << "no " << key << " in vcom's report; its stderr: " << run.err;
    EXPECT_EQ(report.at("received"), row.received);
    const Settings before = parse_pairs(report.at("before"), ' ');
    ASSERT_FALSE(before.empty()) << "vcom reports no settings before the run";
    Settings expected = before;
    const char *const line = under_wine() ? report::wine_set_line : report::set_line;
    for (const auto &[key, value] : parse_pairs(row.sets_line ? line : "", ' '))
        expected[key] = value;
    EXPECT_EQ(parse_pairs(report.at("after"), ' '), expected);
    EXPECT_EQ(report.at("reopen"), "ok") << "the port is not free after the run";
    const bool held = std::count(row.vcom.begin(), row.vcom.end(), "--stopped");
    EXPECT_EQ(report.count("released") ? report.at("released") : "", held ? "running" : "")
        << "the held line was let go after the program had exited: its write did not wait";
    const char *const others = !held ? "" : under_wine() ? "free" : "busy";
    EXPECT_EQ(report.count("during") ? report.at("during") : "", others)
        << "whether another program could hold the port while the run held it";
}

class Behaviour : public testing::TestWithParam<Row>
{
};

TEST_P(Behaviour, Runs)
{
    const Row &row = GetParam();
    // Built by this build: missing, the build failed, which is never a skip.
    ASSERT_EQ(access(launcher.program.c_str(), F_OK), 0) << launcher.program << " is missing";
    if (!launcher.launch.empty() && access(launcher.launch[0].c_str(), X_OK) != 0)
        GTEST_SKIP() << launcher.launch[0]
                     << " is not installed (scripts/lib/packages.sh installs it)";

    Strings vcom = {VCOM};
    if (!launcher.com3.empty())
        vcom.insert(vcom.end(), {"--link", launcher.com3});
    vcom.insert(vcom.end(), row.vcom.begin(), row.vcom.end());
    vcom.insert(vcom.end(), {"--report", "report", "--"});
    vcom.insert(vcom.end(), row.wrap.begin(), row.wrap.end());
    vcom.insert(vcom.end(), launcher.launch.begin(), launcher.launch.end());
    vcom.push_back(launcher.program);

    const Outcome run = run_in_scratch(VCOM, vcom, launcher.env, "report");
    if (run.status == 77) // vcom cannot present the port here (no root, no user namespaces)
        GTEST_SKIP() << run.err;
    EXPECT_EQ(run.out, under_wine() ? report::crlf(row.ends.out) : row.ends.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, row.ends.status);
    expect_port(run, row);
}

INSTANTIATE_TEST_SUITE_P(SerialSend, Behaviour, testing::ValuesIn(rows), RowName());

// NAME=VALUE sets NAME in the launcher's environment, NAME alone removes it.
void set_env(const std::string &setting)
{
    const std::string name = setting.substr(0, setting.find('=')) + "=";
    Strings &env = launcher.env;
    env.erase(
        std::remove_if(env.begin(), env.end(),
                       [&](const std::string &e) { return e.compare(0, name.size(), name) == 0; }),
        env.end());
    if (setting.size() >= name.size())
        env.push_back(setting);
}

// The launcher's options, once GoogleTest has taken its own.
bool take_option(const char *arg)
{
    auto value = [arg](const char *option) {
        const size_t n = strlen(option);
        return strncmp(arg, option, n) == 0 ? arg + n : nullptr;
    };
    if (const char *v = value("--program="))
        launcher.program = v;
    else if (const char *w = value("--launch="))
        launcher.launch.emplace_back(w);
    else if (const char *c = value("--com3="))
        launcher.com3 = c;
    else if (const char *e = value("--env="))
        set_env(e);
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (!take_option(argv[i])) {
            fprintf(stderr, "e2e_test: unknown option %s\n", argv[i]);
            return 2;
        }
    return RUN_ALL_TESTS();
}
