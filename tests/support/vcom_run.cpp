#include "vcom_run.h"

#include "cannot_run.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <sstream>

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

Outcome run_collect(const Strings &argv, const Strings &env, const std::string &out,
                    const std::string &err, const std::string &report)
{
    unlink(report.c_str());
    Outcome run;
    run.status = run_program(argv[0], argv, env, out, err);
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

Outcome run_vcom(const Strings &options, const Strings &command)
{
    char dir[] = "/tmp/serial-send-vcom.XXXXXX";
    if (!mkdtemp(dir)) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return {};
    }
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err",
                      report = std::string(dir) + "/report";
    Strings argv = {VCOM};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"--report", report, "--"});
    argv.insert(argv.end(), command.begin(), command.end());

    Outcome run = run_collect(argv, environment(), out, err, report);
    for (const std::string &file : {out, err, report})
        unlink(file.c_str());
    rmdir(dir);
    return run;
}

// Why vcom cannot present the port on this machine, or empty when it can.
static const std::string &namespace_problem()
{
    static const std::string problem = [] {
        const Outcome run = run_vcom({"--port", "none"}, {"true"});
        if (run.status == 0)
            return std::string();
        return "vcom cannot present a port as /dev/ttyS2 here (status " +
               std::to_string(run.status) + "): " + run.err +
               "These runs need root or unprivileged user namespaces.";
    }();
    return problem;
}

void OnVcomPort::SetUp()
{
    const std::string &problem = namespace_problem();
    if (problem.empty())
        return;
    CANNOT_RUN(problem);
}

void expect_port(const Outcome &run, const std::string &received, const std::string &changed)
{
    for (const char *key : {"received", "count", "before", "after", "reopen"})
        ASSERT_EQ(run.report.count(key), 1u)
            << "no " << key << " in vcom's report; its stderr: " << run.err;
    EXPECT_EQ(run.report.at("received"), received);
    EXPECT_EQ(run.report.at("count"), std::to_string(parse_settings(received).size()));

    const Settings before = parse_settings(run.report.at("before"));
    ASSERT_FALSE(before.empty()) << "vcom reports no settings before the run";
    Settings expected = before;
    for (const auto &[key, value] : parse_settings(changed)) {
        EXPECT_EQ(before.count(key), 1u) << "vcom reports no " << key;
        expected[key] = value;
    }
    EXPECT_EQ(parse_settings(run.report.at("after")), expected);
}

void PrintTo(const Row &row, std::ostream *os)
{
    *os << row.name;
}

void expect_run(const Outcome &run, const Row &row)
{
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, row.status);
    ASSERT_NO_FATAL_FAILURE(expect_port(run, row.received, row.changed));
    EXPECT_EQ(run.report.at("reopen"), "ok");
}
