// A test that needs what this machine may lack (root or user namespaces,
// Wine): under CI (CI set and not empty) it fails; elsewhere it is skipped,
// with a loud note, and CTest reports it as skipped (the suites set
// SKIP_REGULAR_EXPRESSION, tests/CMakeLists.txt). tests/support/cannot-run.sh
// is the same for the shell tests.
#ifndef SERIAL_SEND_TESTS_CANNOT_RUN_H
#define SERIAL_SEND_TESTS_CANNOT_RUN_H

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

inline bool under_ci()
{
    const char *ci = getenv("CI");
    return ci && *ci;
}

#define CANNOT_RUN(why)                                                                            \
    do {                                                                                           \
        const std::string &why_ = (why);                                                           \
        if (under_ci())                                                                            \
            GTEST_FAIL() << why_;                                                                  \
        fprintf(stderr, "\n*** SKIPPED, and it would fail under CI: %s ***\n\n", why_.c_str());    \
        GTEST_SKIP() << why_;                                                                      \
    } while (0)

#endif
