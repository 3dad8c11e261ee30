// stress: runs many copies of serial-send at once inside one vcom session and
// checks what each printed and returned. What reached the port is vcom's to
// report; the calling script checks that.
//
//   stress race N PROGRAM DIR
//       Starts N copies of PROGRAM at the same instant: each starts as
//       "stress gated PROGRAM", which waits until its stdin (one pipe shared
//       by all) reads end of file, then becomes PROGRAM. Each must either send
//       (status 0) or be refused (status 255), printing the matching report
//       and nothing on stderr. Their output goes to files in DIR. Prints
//       "sent=K refused=M".
//
// Exit status: 0 when every run behaved, 1 otherwise (each odd run is
// described on stderr), 2 on a usage or system error.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "process.h"
#include "reports.h"

namespace
{

int race(int copies, const char *program, const std::string &dir)
{
    int gate[2];
    if (pipe2(gate, O_CLOEXEC) != 0) {
        perror("stress: pipe");
        return 2;
    }
    std::vector<pid_t> pids;
    for (int i = 0; i < copies; ++i) {
        const std::string name = dir + "/" + std::to_string(i);
        pids.push_back(start_program("/proc/self/exe", {"stress", "gated", program}, environment(),
                                     gate[0], name + ".out", name + ".err"));
    }
    close(gate[0]);
    close(gate[1]); // every copy goes now

    int sent = 0, refused = 0, odd = 0;
    for (int i = 0; i < copies; ++i) {
        const int status = wait_program(pids[static_cast<size_t>(i)]);
        const std::string name = dir + "/" + std::to_string(i);
        const std::string out = read_file(name + ".out"), err = read_file(name + ".err");
        if (err.empty() && status == 0 && out == report::sent) {
            ++sent;
        } else if (err.empty() && status == 255 && out == report::cannot_open) {
            ++refused;
        } else {
            ++odd;
            fprintf(stderr,
                    "stress: neither sent nor refused: status %d, stdout \"%s\", "
                    "stderr \"%s\"\n",
                    status, out.c_str(), err.c_str());
        }
    }
    printf("sent=%d refused=%d\n", sent, refused);
    return odd ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && !strcmp(argv[1], "gated")) {
        char b;
        ssize_t n;
        while ((n = read(0, &b, 1)) > 0 || (n < 0 && errno == EINTR)) {
        }
        execl(argv[2], argv[2], static_cast<char *>(nullptr));
        perror(argv[2]);
        return 127;
    }
    char *end = nullptr;
    const long copies = argc == 5 ? strtol(argv[2], &end, 10) : 0;
    if (argc == 5 && !strcmp(argv[1], "race") && !*end && copies > 0 && copies <= 1000)
        return race(static_cast<int>(copies), argv[3], argv[4]);
    fprintf(stderr, "usage: stress race N PROGRAM DIR   (N from 1 to 1000)\n");
    return 2;
}
