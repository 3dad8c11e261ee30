// Wine runs: a Windows build of serial-send (real kernel32, Wine's) run
// under Wine, with a pseudo-terminal from vcom linked as the prefix's
// dosdevices/com3. Each row is one situation of the port and the command line.
// Each Windows build gets this table, in a test program of its own
// (CMakeLists.txt).
//
// The prefix is made once for the suite by wine-prefix.sh (the CTest
// fixture wine_prefix), with Wine's mount manager switched off so that Wine
// itself maps no serial device to any COMn: COM3 is what vcom links, or nothing.
#include "vcom_run.h"

#include "cannot_run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace
{

const std::string com3 = std::string(WINE_PREFIX) + "/dosdevices/com3";

// Runs vcom --link <prefix>/dosdevices/com3 OPTIONS --report FILE -- wine
// serial-send.exe in the Wine prefix of the suite, headless whatever the
// caller's session has. stdout and stderr go to files named after the row,
// kept in the test's directory for a look after a failure: Wine's helper
// processes may outlive the run holding them, which pipes would turn into a
// hang.
Outcome run_under_wine(const std::string &name, const Strings &options)
{
    Strings argv = {VCOM, "--link", com3};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(),
                {"--report", "run-" + name + ".report", "--", WINE_LOADER, SERIAL_SEND_EXE});

    Strings env = {"WINEPREFIX=" WINE_PREFIX, "WINEDEBUG=-all",
                   "WINEDLLOVERRIDES=" WINE_DLL_OVERRIDES};
    for (const std::string &e : environment())
        if (e.compare(0, 4, "WINE") != 0 && e.compare(0, 8, "DISPLAY=") != 0 &&
            e.compare(0, 16, "WAYLAND_DISPLAY=") != 0)
            env.push_back(e);

    return run_collect(argv, env, "run-" + name + ".out", "run-" + name + ".err",
                       "run-" + name + ".report");
}

const std::string sent = report::crlf(report::sent);

const Row rows[] = {
    {"success", flow_and_chars, {}, sent, 0, "52", set_line},
    {"success_default_line", {}, {}, sent, 0, "52", set_line},
    {"no_com3", {"--port", "none"}, {}, report::crlf(report::cannot_open), 255, "", ""},
    {"com3_dev_null", {"--port", "null"}, {}, report::crlf(report::cannot_set), 255, "", ""},
};

class WineRun : public testing::TestWithParam<Row>
{
  protected:
    void SetUp() override
    {
        // Built by this build from the current source (target <preset>-exe):
        // missing, the build failed or could not run, which is never a skip.
        ASSERT_EQ(access(SERIAL_SEND_EXE, F_OK), 0)
            << SERIAL_SEND_EXE " is missing: it is built with MinGW-w64, which "
                               "scripts/lib/packages.sh installs";
        ASSERT_EQ(access(VCOM, F_OK), 0) << VCOM << " is missing";
        if (access(WINE_LOADER, X_OK) != 0)
            CANNOT_RUN(std::string("no Wine loader (") + WINE_LOADER +
                       "); scripts/lib/packages.sh installs Wine");
        ASSERT_EQ(access(WINE_PREFIX "/drive_c", F_OK), 0)
            << "no Wine prefix at " WINE_PREFIX " (the wine_prefix fixture makes it)";
    }
};

TEST_P(WineRun, Runs)
{
    const Row &row = GetParam();

    expect_run(run_under_wine(row.name, row.vcom), row);

    // vcom's link is gone and Wine made no COM3 of its own meanwhile.
    struct stat st;
    EXPECT_NE(lstat(com3.c_str(), &st), 0) << com3 << " is left after the run";
}

INSTANTIATE_TEST_SUITE_P(SerialSendExe, WineRun, testing::ValuesIn(rows), RowName());

} // namespace
