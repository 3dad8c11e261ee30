#include "vcom_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

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

Outcome run_vcom(const Strings &options, const Strings &command, const Strings &env)
{
    Strings argv = {VCOM};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"--report", "report", "--"});
    argv.insert(argv.end(), command.begin(), command.end());
    return run_in_scratch(VCOM, argv, env, "report");
}

void expect_port(const Outcome &run, const std::string &received, const std::string &changed,
                 const char *reopen)
{
    const Settings report = parse_pairs(run.kept, '\n');
    for (const char *key : {"received", "count", "before", "after", "reopen"})
        ASSERT_EQ(report.count(key), 1u)
            << "no " << key << " in vcom's report; its stderr: " << run.err;
    EXPECT_EQ(report.at("received"), received);
    const auto bytes = received.empty() ? 0 : std::count(received.begin(), received.end(), ' ') + 1;
    EXPECT_EQ(report.at("count"), std::to_string(bytes));

    const Settings before = parse_pairs(report.at("before"), ' ');
    ASSERT_FALSE(before.empty()) << "vcom reports no settings before the run";
    Settings expected = before;
    for (const auto &[key, value] : parse_pairs(changed, ' ')) {
        EXPECT_EQ(before.count(key), 1u) << "vcom reports no " << key;
        expected[key] = value;
    }
    EXPECT_EQ(parse_pairs(report.at("after"), ' '), expected);
    EXPECT_EQ(report.at("reopen"), reopen) << "whether the port is free after the run";
}
