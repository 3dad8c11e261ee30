// stress: runs serial-send many times inside one vcom session and checks
// what each run printed and returned. What reached the port is vcom's to
// report; the calling script checks that.
//
//   stress race N PROGRAM
//       Starts N copies of PROGRAM at the same instant (all wait on one pipe
//       that is then closed). Each must either send ("Wrote 1 bytes of
//       message\nR\n", status 0) or be refused ("Unable to open port\n",
//       status 255), with nothing on stderr. Prints "sent=K refused=M".
//   stress args SEED COUNT PROGRAM
//       Runs PROGRAM COUNT times, one after the other, each with an argument
//       vector drawn from SEED: empty strings, 100 KiB strings, bytes that are
//       not UTF-8, option-like and format strings. Each run must send, exactly
//       as without arguments. Prints what was tried.
//
// Exit status: 0 when every run behaved, 1 otherwise (each odd run is
// described on stderr), 2 on a usage or system error.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace
{

const char sent_report[] = "Wrote 1 bytes of message\nR\n";
const char refused_report[] = "Unable to open port\n";

[[noreturn]] void fail(const char *what)
{
    fprintf(stderr, "stress: %s: %s\n", what, strerror(errno));
    exit(2);
}

struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    std::string stdout_text;
    std::string stderr_text;
    int status = -1; // exit status, or 128 + signal
};

// Forks a child that waits until the gate pipe reads end of file (gate null:
// no wait), then runs program with argv; its stdout and stderr come back in
// pipes.
Child start(const char *program, char *const argv[], const int *gate)
{
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        fail("pipe");
    Child c;
    c.pid = fork();
    if (c.pid < 0)
        fail("fork");
    if (c.pid == 0) {
        if (gate) {
            char b;
            close(gate[1]);
            while (read(gate[0], &b, 1) < 0 && errno == EINTR) {
            }
            close(gate[0]);
        }
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(out[1]);
        close(err[0]);
        close(err[1]);
        execve(program, argv, environ);
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    c.out = out[0];
    c.err = err[0];
    return c;
}

// Reads the child's output to the end and reaps it.
void finish(Child &c)
{
    pollfd p[2] = {{c.out, POLLIN, 0}, {c.err, POLLIN, 0}};
    std::string *text[2] = {&c.stdout_text, &c.stderr_text};
    int open_pipes = 2;
    while (open_pipes > 0) {
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            fail("poll");
        }
        for (int i = 0; i < 2; ++i) {
            if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            const ssize_t n = read(p[i].fd, buf, sizeof buf);
            if (n > 0) {
                text[i]->append(buf, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(p[i].fd);
                p[i].fd = -1;
                --open_pipes;
            }
        }
    }
    int status;
    while (waitpid(c.pid, &status, 0) < 0)
        if (errno != EINTR)
            fail("waitpid");
    c.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// The text with bytes outside printable ASCII escaped, cut to limit.
std::string shown(const std::string &s, size_t limit = 80)
{
    std::string r;
    char e[8];
    for (size_t i = 0; i < s.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            r += static_cast<char>(c);
        } else {
            snprintf(e, sizeof e, "\\x%02x", c);
            r += e;
        }
    }
    if (s.size() > limit)
        r += "...(" + std::to_string(s.size()) + " bytes)";
    return r;
}

void describe(const char *what, const Child &c)
{
    fprintf(stderr, "stress: %s: status %d, stdout \"%s\", stderr \"%s\"\n", what, c.status,
            shown(c.stdout_text).c_str(), shown(c.stderr_text).c_str());
}

int race(int copies, const char *program)
{
    int gate[2];
    if (pipe(gate) != 0)
        fail("pipe");
    char *const argv[] = {const_cast<char *>(program), nullptr};
    std::vector<Child> children;
    children.reserve(static_cast<size_t>(copies));
    for (int i = 0; i < copies; ++i)
        children.push_back(start(program, argv, gate));
    close(gate[0]);
    close(gate[1]); // every copy goes now

    int sent = 0, refused = 0, odd = 0;
    for (Child &c : children) {
        finish(c);
        if (c.stderr_text.empty() && c.status == 0 && c.stdout_text == sent_report) {
            ++sent;
        } else if (c.stderr_text.empty() && c.status == 255 && c.stdout_text == refused_report) {
            ++refused;
        } else {
            ++odd;
            describe("neither sent nor refused", c);
        }
    }
    printf("sent=%d refused=%d\n", sent, refused);
    return odd ? 1 : 0;
}

// splitmix64: small, and the same sequence everywhere for a given seed.
struct Random {
    uint64_t state;

    uint64_t next()
    {
        uint64_t z = (state += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }

    size_t below(size_t n) { return static_cast<size_t>(next() % n); }
};

const char *const option_like[] = {
    "-",
    "--",
    "-h",
    "--help",
    "-v",
    "--version",
    "/?",
    "-?",
    "COM1",
    "COM4",
    "\\\\.\\COM1",
    "/dev/ttyS0",
    "/dev/null",
    "--port=COM1",
    "-p",
    "--baud=9600",
    "9600",
    "8N1",
    "-n",
    "-e",
    "--verbose",
    "--quiet",
    "-x",
    "--=",
    "--\x1b[2J",
    "-1",
    "2147483648",
    "-2147483649",
    "0x52",
    "R",
    "\n",
    "\r\n",
    "\t",
    "\"quoted\" arg",
    "arg with spaces",
};

const char *const format_like[] = {
    "%s%n%x", "%n%n%n%n", "%s%s%s%s%s%s%s%s", "%99999999d", "%p%p%p%p", "%*.*s", "%ls",  "%1$s",
    "%%",     "%",        "%-2147483648d",    "%.0f%e%g",   "%hhn",     "%c",    "%lln", "%9$n",
};

const char *const not_utf8[] = {
    "\xff\xfe",         "\xc0\x80",     "\xed\xa0\x80", "\x80",         "\xf8\x88\x80",
    "\xfe\xff\x00",     "\xc3",         "\xe2\x82",     "\xf4\x90\x80", "\xef\xbb\xbf\xff",
    "caf\xe9 na\xefve", "\x01\x02\x7f",
};

std::string random_argument(Random &r)
{
    std::string a;
    switch (r.below(6)) {
    case 0: break; // empty
    case 1: {      // 100 KiB: one byte repeated, or any bytes but NUL
        const size_t n = size_t{100} * 1024;
        if (r.below(2)) {
            a.assign(n, static_cast<char>(1 + r.below(255)));
        } else {
            a.resize(n);
            for (char &c : a)
                c = static_cast<char>(1 + r.below(255));
        }
        break;
    }
    case 2: { // a few random bytes, NUL excepted
        const size_t n = 1 + r.below(64);
        for (size_t i = 0; i < n; ++i)
            a += static_cast<char>(1 + r.below(255));
        break;
    }
    case 3: a = option_like[r.below(sizeof option_like / sizeof *option_like)]; break;
    case 4:
        for (size_t i = 1 + r.below(4); i > 0; --i)
            a += format_like[r.below(sizeof format_like / sizeof *format_like)];
        break;
    default: a = not_utf8[r.below(sizeof not_utf8 / sizeof *not_utf8)]; break;
    }
    return a;
}

int hostile_arguments(uint64_t seed, int count, const char *program)
{
    Random r{seed};
    int odd = 0, arguments = 0, long_ones = 0, no_argv = 0;
    size_t bytes = 0;
    for (int run = 0; run < count; ++run) {
        // Mostly the program's own name first; now and then anything at all
        // there, or no argument vector whatever (argc 0).
        std::vector<std::string> args;
        const size_t first = r.below(40);
        if (first != 0) {
            args.push_back(first < 30 ? std::string(program) : random_argument(r));
            int n = static_cast<int>(r.below(11));
            int long_left = 3; // keeps a vector well under the kernel's limit
            while (n-- > 0) {
                std::string a = random_argument(r);
                if (a.size() > 1024 && long_left-- <= 0)
                    continue;
                args.push_back(a);
            }
        }
        std::vector<char *> argv;
        for (std::string &a : args) {
            argv.push_back(&a[0]);
            bytes += a.size() + 1;
            long_ones += a.size() > 1024;
        }
        argv.push_back(nullptr);
        arguments += static_cast<int>(args.size());
        no_argv += args.empty();

        Child c = start(program, argv.data(), nullptr);
        finish(c);
        if (c.status != 0 || c.stdout_text != sent_report || !c.stderr_text.empty()) {
            ++odd;
            std::string what = "run " + std::to_string(run) + " with " +
                               std::to_string(args.size()) + " arguments:";
            for (const std::string &a : args)
                what += " \"" + shown(a, 24) + "\"";
            describe(what.c_str(), c);
        }
    }
    printf("vectors=%d arguments=%d long=%d argc0=%d bytes=%zu odd=%d\n", count, arguments,
           long_ones, no_argv, bytes, odd);
    return odd ? 1 : 0;
}

int number(const char *s, long max)
{
    char *end;
    errno = 0;
    const long v = strtol(s, &end, 10);
    if (errno || end == s || *end || v < 1 || v > max) {
        fprintf(stderr, "stress: not a count from 1 to %ld: %s\n", max, s);
        exit(2);
    }
    return static_cast<int>(v);
}

} // namespace

int main(int argc, char **argv)
{
    signal(SIGPIPE, SIG_IGN);
    if (argc == 4 && !strcmp(argv[1], "race"))
        return race(number(argv[2], 1000), argv[3]);
    if (argc == 5 && !strcmp(argv[1], "args"))
        return hostile_arguments(strtoull(argv[2], nullptr, 0), number(argv[3], 100000), argv[4]);
    fprintf(stderr, "usage: stress race N PROGRAM\n"
                    "       stress args SEED COUNT PROGRAM\n");
    return 2;
}
