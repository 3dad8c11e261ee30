// Running a program from a test: stdin given or empty, stdout and stderr each
// into a file of their own, and its exit status.
#ifndef SERIAL_SEND_TESTS_PROCESS_H
#define SERIAL_SEND_TESTS_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

using Strings = std::vector<std::string>;

// The whole content of a file; empty when it cannot be read.
std::string read_file(const std::string &path);

// This process's environment, as strings.
Strings environment();

// Starts the program at path with the argument vector argv (argv[0]
// included; it may be empty) and environment env, stdin from the descriptor
// in (-1: /dev/null), stdout into the file out and stderr into err. Returns
// its process id, or -1, said on stderr, when it cannot start.
pid_t start_program(const std::string &path, const Strings &argv, const Strings &env, int in,
                    const std::string &out, const std::string &err);

// Waits for it: its exit status, 128 + the signal when one ended it, or -1.
int wait_program(pid_t pid);

// Both, for argv[0] a path and stdin empty.
int run_program(const Strings &argv, const Strings &env, const std::string &out,
                const std::string &err);

#endif
