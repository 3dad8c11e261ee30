// Many copies of serial-send started at the same instant against one port
// (race.sh, one round): each either sends or is refused, the device gets
// exactly one R per send and nothing else, the line is set and the port is
// free afterwards. Rounds go on until the race has been lost by someone in
// several of them, so the test proves it exercised the lock, not a queue of
// lone runs.
#include <stdio.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include "reports.h"
#include "vcom_run.h"

namespace
{

TEST(Race, EveryCopySendsOrIsRefused)
{
    constexpr int copies = 40, min_rounds = 5, max_rounds = 25, want_contended = 3;
    int round = 0, contended = 0, sent_total = 0;
    while (round < max_rounds && (round < min_rounds || contended < want_contended)) {
        ++round;
        const Outcome run = run_vcom({}, {"sh", RACE_ROUND, SERIAL_SEND, std::to_string(copies)});
        if (run.status == vcom_cannot_present)
            GTEST_SKIP() << run.err;
        ASSERT_EQ(run.status, 0) << "round " << round << ": " << run.err;
        Settings tally = parse_pairs(run.out, ' ');
        const int sent = atoi(tally["sent"].c_str()), refused = atoi(tally["refused"].c_str());
        ASSERT_EQ(sent + refused, copies) << "round " << round << ": " << run.out;
        ASSERT_GE(sent, 1) << "round " << round << ": every copy was refused";
        std::string bytes;
        for (int i = 0; i < sent; ++i)
            bytes += i ? " 52" : "52";
        ASSERT_NO_FATAL_FAILURE(expect_port(run, bytes, report::set_line)) << "round " << round;
        sent_total += sent;
        contended += refused > 0;
    }
    EXPECT_GE(contended, want_contended)
        << "a copy was refused in only " << contended << " of " << round
        << " rounds: either the port is not taken exclusively or the copies never overlapped";
    printf("race: %d rounds of %d simultaneous runs: %d sent, %d refused, %d rounds contended\n",
           round, copies, sent_total, round * copies - sent_total, contended);
}

} // namespace
