// Running a program from a test: in a scratch directory of its own, stdin
// empty, stdout and stderr each into a file, and what it leaves in one more
// file there, for the program's own report.
#ifndef SERIAL_SEND_TESTS_PROCESS_H
#define SERIAL_SEND_TESTS_PROCESS_H

#include <string>
#include <vector>

using Strings = std::vector<std::string>;

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string kept; // the file named `kept` in the scratch directory
};

// This process's environment, as strings.
Strings environment();

// Runs the program at path with the argument vector argv (argv[0] included;
// it may be empty) and environment env, in a fresh scratch directory made in
// the test's working directory (in the build tree) and removed afterwards,
// and collects its outcome; kept names the file (relative to that directory)
// the program was told to write. A test failure when it cannot run (status -1).
Outcome run_in_scratch(const std::string &path, const Strings &argv, const Strings &env,
                       const char *kept);

#endif
