// Running a program from a test: stdin empty, stdout and stderr each into a
// file of their own, and its exit status.
#ifndef SERIAL_SEND_TESTS_PROCESS_H
#define SERIAL_SEND_TESTS_PROCESS_H

#include <string>
#include <vector>

using Strings = std::vector<std::string>;

// The whole content of a file; empty when it cannot be read.
std::string read_file(const std::string &path);

// This process's environment, as strings.
Strings environment();

// Runs the program at path with the argument vector argv (argv[0] included;
// it may be empty) and environment env, stdout into the file out and stderr
// into err, and waits for it. Returns its exit status, 128 + the signal when
// one ended it, or -1 with a test failure when it cannot run.
int run_program(const std::string &path, const Strings &argv, const Strings &env,
                const std::string &out, const std::string &err);

#endif
