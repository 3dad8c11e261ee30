// vcom [options] [-- command [args...]]: runs the command with a fresh
// pseudo-terminal (the port) presented as COM3, so serial-send can be run and
// checked without a serial port, and reports what the port saw.
//
//   --link PATH    the port is a symlink at PATH during the run (replacing a
//                  symlink there); without it, the command sees the port as
//                  /dev/ttyS2 in a private mount namespace whose /dev is a
//                  tmpfs holding null, zero, full, random, urandom and ttyS2
//   --port KIND    presents the pseudo-terminal (pty, the default), nothing
//                  (none) or /dev/null (null)
//   --speed N  --set FLAG  --start 0xHH  --stop 0xHH
//                  the line before the run; --set, repeated, turns on a flag
//                  the report names (crtscts, ixany, icrnl, iexten...)
//   --hold         holds the port exclusively (flock, TIOCEXCL) during the run
//   --stopped MS   the port's output is stopped, as by the device's XOFF, until
//                  MS milliseconds after the command has set the line, or it ends
//   --signal N     signal N goes to the command then, just before the output
//                  goes (without --stopped, as soon as it has set the line)
//   --report FILE  the report goes to FILE instead of stderr
//
// The report is key=value lines: received (the bytes, in hex: "52 00 ff"),
// count, before and after (the line settings, as words: "speed=9600 csize=8
// parity=none cstopb=0 ... start=0x11 stop=0x13 eof=0x04", every flag of the
// flags table below), reopen (ok when the next program can hold the port,
// else busy), and with --stopped or --signal: released (running: the command
// still ran when its output was let go, so its write waited; exited: it had
// ended before) and, while it still ran, during (busy when another program
// could not have held the port then, free when it could).
// Exit status: the command's, or 128 + the signal that killed it; 126 or 127 when it cannot be
// executed; 77 when the port cannot be presented in a namespace here; 125 when vcom itself fails.
#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "dcb_termios.h"
#include "pty.h"

namespace
{

constexpr int vcom_failed = 125, cannot_present = 77;
constexpr int port_flags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC; // --hold, reopen

Pty pty;
const char *port = pty.path;     // what is presented: pty.path, "/dev/null" or null
const char *link_path = nullptr; // null: present in a private mount namespace
bool hold = false;
int stopped_ms = -1;       // -1: the output flows
int signal_number = 0;     // 0: none to send
const char *released = ""; // the report's line on the output let go, once it is
const char *during = "";   // and on the port while the command waited
const char *report = nullptr;
char **command = nullptr; // null: no command, just report

const char *made_link = nullptr; // the --link symlink while it exists, for die to remove

[[noreturn]] void die(const char *what)
{
    fprintf(stderr, "vcom: %s: %s\n", what, strerror(errno));
    if (made_link)
        unlink(made_link);
    exit(vcom_failed);
}

[[noreturn]] void usage(const char *option)
{
    if (option)
        fprintf(stderr, "vcom: --%s: bad value %s\n", option, optarg);
    fprintf(stderr, "usage: vcom [--link PATH] [--port pty|none|null] [--speed N] [--set FLAG]...\n"
                    "  [--start 0xHH] [--stop 0xHH] [--hold] [--stopped MS] [--signal N]\n"
                    "  [--report FILE] [-- command [args...]]\n");
    exit(vcom_failed);
}

// The line's flags the report names: each one the stand-in sets or clears
// (CSIZE and the parity bits are reported as numbers and words), and the
// flow control it keeps.
struct Flag {
    const char *name;
    tcflag_t termios::*field;
    tcflag_t bit;
};
const Flag flags[] = {
    {"cstopb", &termios::c_cflag, CSTOPB}, {"cread", &termios::c_cflag, CREAD},
    {"clocal", &termios::c_cflag, CLOCAL}, {"crtscts", &termios::c_cflag, CRTSCTS},
    {"inpck", &termios::c_iflag, INPCK},   {"ixon", &termios::c_iflag, IXON},
    {"ixoff", &termios::c_iflag, IXOFF},   {"ixany", &termios::c_iflag, IXANY},
    {"brkint", &termios::c_iflag, BRKINT}, {"parmrk", &termios::c_iflag, PARMRK},
    {"istrip", &termios::c_iflag, ISTRIP}, {"inlcr", &termios::c_iflag, INLCR},
    {"igncr", &termios::c_iflag, IGNCR},   {"icrnl", &termios::c_iflag, ICRNL},
    {"iuclc", &termios::c_iflag, IUCLC},   {"imaxbel", &termios::c_iflag, IMAXBEL},
    {"opost", &termios::c_oflag, OPOST},   {"icanon", &termios::c_lflag, ICANON},
    {"echo", &termios::c_lflag, ECHO},     {"echoe", &termios::c_lflag, ECHOE},
    {"echok", &termios::c_lflag, ECHOK},   {"echonl", &termios::c_lflag, ECHONL},
    {"isig", &termios::c_lflag, ISIG},     {"iexten", &termios::c_lflag, IEXTEN},
};

const Flag *flag_named(const char *name)
{
    for (const Flag &f : flags)
        if (!strcmp(f.name, name))
            return &f;
    return nullptr;
}

// The option's value as a number up to max.
unsigned long number(const char *option, int base, unsigned long max)
{
    char *end;
    const unsigned long v = strtoul(optarg, &end, base); // out of range: ULONG_MAX
    if (end == optarg || *end || v > max)
        usage(option);
    return v;
}

// Reads the options; the line they set goes into t.
void parse_options(int argc, char **argv, termios &t)
{
    static const option options[] = {{"link", required_argument, nullptr, 'l'},
                                     {"port", required_argument, nullptr, 'p'},
                                     {"speed", required_argument, nullptr, 's'},
                                     {"set", required_argument, nullptr, 'f'},
                                     {"start", required_argument, nullptr, 'q'},
                                     {"stop", required_argument, nullptr, 'x'},
                                     {"hold", no_argument, nullptr, 'h'},
                                     {"stopped", required_argument, nullptr, 'w'},
                                     {"report", required_argument, nullptr, 'r'},
                                     {"signal", required_argument, nullptr, 'k'},
                                     {}};
    speed_t speed;
    int c, i = 0;
    while ((c = getopt_long(argc, argv, "+", options, &i)) != -1) {
        const char *name = options[i].name; // every option is a long one
        switch (c) {
        case 'l': link_path = optarg; break;
        case 'p':
            port = !strcmp(optarg, "pty")    ? pty.path
                   : !strcmp(optarg, "null") ? "/dev/null"
                                             : nullptr;
            if (!port && strcmp(optarg, "none") != 0)
                usage(name);
            break;
        case 's':
            if (!compat::code_of(static_cast<DWORD>(number(name, 10, 0xffffffff)), speed))
                usage(name);
            cfsetospeed(&t, speed); // a speed termios has cannot fail
            cfsetispeed(&t, speed);
            break;
        case 'f': {
            const Flag *f = flag_named(optarg);
            if (!f)
                usage(name);
            t.*f->field |= f->bit;
            break;
        }
        case 'q': t.c_cc[VSTART] = static_cast<cc_t>(number(name, 0, 0xff)); break;
        case 'x': t.c_cc[VSTOP] = static_cast<cc_t>(number(name, 0, 0xff)); break;
        case 'h': hold = true; break;
        case 'w': stopped_ms = static_cast<int>(number(name, 10, 600000)); break;
        case 'r': report = optarg; break;
        case 'k': signal_number = static_cast<int>(number(name, 10, 64)); break;
        default: usage(nullptr);
        }
    }
    if (optind < argc && strcmp(argv[optind - 1], "--") != 0)
        usage(nullptr); // a command comes only after "--"
    if (optind < argc)
        command = argv + optind;
}

// Another program's hold on the port, as serial-send takes it: the lock and
// exclusive mode.
bool take_hold(int fd)
{
    return flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCEXCL) == 0;
}

// Could the next program hold it? An exclusive terminal refuses the open to
// all but root, so it is asked directly; the lock is tried (and kept).
bool free_to_hold(int fd)
{
    int exclusive = 1;
    return flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCGEXCL, &exclusive) == 0 && !exclusive;
}

// Whether another program could hold the port now (the lock is let go again).
bool could_hold()
{
    const int fd = open(pty.path, port_flags);
    const bool free = fd >= 0 && free_to_hold(fd);
    if (fd >= 0)
        close(fd);
    return free;
}

// In a private mount namespace (as root a plain one, else inside a user one that
// maps the caller's own ids), replaces /dev with a tmpfs holding the usual
// devices and the port as ttyS2. Returns the failed step or null.
const char *present_in_namespace()
{
    if (getuid() != 0 || unshare(CLONE_NEWNS)) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS))
            return "unshare (presenting the port needs root or user namespaces)";
        char uid_map[32], gid_map[32];
        snprintf(uid_map, sizeof uid_map, "%u %u 1\n", getuid(), getuid());
        snprintf(gid_map, sizeof gid_map, "%u %u 1\n", getgid(), getgid());
        const char *const maps[][2] = {{"/proc/self/uid_map", uid_map},
                                       {"/proc/self/setgroups", "deny"},
                                       {"/proc/self/gid_map", gid_map}};
        for (const auto &map : maps) {
            FILE *f = fopen(map[0], "we");
            if (!f || fputs(map[1], f) < 0 || fclose(f))
                return map[0];
        }
    }
    struct Node {
        const char *path, *source;
        int fd;
    } nodes[] = {{"/dev/null", "/dev/null", -1},       {"/dev/zero", "/dev/zero", -1},
                 {"/dev/full", "/dev/full", -1},       {"/dev/random", "/dev/random", -1},
                 {"/dev/urandom", "/dev/urandom", -1}, {"/dev/ttyS2", port, -1}};
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
        return "make / private";
    // Taken before the tmpfs hides them, from this namespace's own mounts.
    for (Node &n : nodes)
        if (n.source && (n.fd = open(n.source, O_PATH | O_CLOEXEC)) < 0)
            return n.source;
    if (mount("tmpfs", "/dev", "tmpfs", MS_NOSUID | MS_NOEXEC, "mode=0755,size=64k"))
        return "mount a tmpfs on /dev";
    for (const Node &n : nodes) {
        if (n.fd < 0)
            continue;
        char source[32];
        snprintf(source, sizeof source, "/proc/self/fd/%d", n.fd);
        if (mknod(n.path, S_IFREG | 0666, 0) || mount(source, n.path, nullptr, MS_BIND, nullptr))
            return n.path;
    }
    if (symlink("/proc/self/fd", "/dev/fd") || symlink("/proc/self/fd/0", "/dev/stdin") ||
        symlink("/proc/self/fd/1", "/dev/stdout") || symlink("/proc/self/fd/2", "/dev/stderr"))
        return "/dev/fd";
    return nullptr;
}

[[noreturn]] void run_command()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL); // a killed vcom takes the command with it
    if (const char *failed = link_path ? nullptr : present_in_namespace()) {
        fprintf(stderr, "vcom: %s: %s\n", failed, strerror(errno));
        _exit(cannot_present);
    }
    execvp(command[0], command);
    const int status = errno == ENOENT ? 127 : 126;
    fprintf(stderr, "vcom: %s: %s\n", command[0], strerror(errno));
    _exit(status);
}

void make_link()
{
    struct stat st;
    if (lstat(link_path, &st) == 0 && !S_ISLNK(st.st_mode)) {
        errno = EEXIST;
        die(link_path);
    }
    if ((unlink(link_path) && errno != ENOENT) || (port && symlink(port, link_path)))
        die(link_path);
    made_link = port ? link_path : nullptr;
}

// Whether the line is no longer the one the run started with.
bool line_changed(const termios &before)
{
    termios now;
    return tcgetattr(pty.slave, &now) == 0 &&
           (now.c_cflag != before.c_cflag || now.c_lflag != before.c_lflag);
}

// Presents the port, runs the command, collects what it sends; returns its
// exit status the vcom way (128 + signal when killed).
int run(const termios &before, std::string &received)
{
    if (link_path)
        make_link();
    if (stopped_ms >= 0 && tcflow(pty.slave, TCOOFF))
        die("tcflow");
    const pid_t pid = fork();
    if (pid < 0)
        die("fork");
    if (pid == 0)
        run_command();

    const int exited = static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); // readable at exit
    if (exited < 0)
        die("pidfd_open");
    auto take = [&] { // what the master has, once poll says so
        char buf[4096];
        const ssize_t n = read(pty.master, buf, sizeof buf);
        if (n > 0)
            received.append(buf, static_cast<size_t>(n));
    };
    pollfd p[2] = {{pty.master, POLLIN, 0}, {exited, POLLIN, 0}};
    if (stopped_ms >= 0 || signal_number) {
        // Once the line is set (looked at every 10 ms), MS more unless the
        // command exits first; what it sends meanwhile waits in the master.
        while (!line_changed(before) && poll(&p[1], 1, 10) == 0) {
        }
        const bool running = poll(&p[1], 1, stopped_ms < 0 ? 0 : stopped_ms) == 0;
        if (running)
            during = could_hold() ? "during=free\n" : "during=busy\n";
        if (running && signal_number)
            kill(pid, signal_number);
        tcflow(pty.slave, TCOON); // let the output go
        released = running ? "released=running\n" : "released=exited\n";
    }
    while (!(p[1].revents & POLLIN)) {
        if (poll(p, 2, -1) < 0) // vcom catches no signals
            die("poll");
        if (p[0].revents & POLLIN)
            take();
    }
    int status = 0;
    waitpid(pid, &status, 0); // it has exited: nothing to wait for
    close(exited);
    // Bytes still on their way through the pty: until the master stays quiet.
    while (poll(p, 1, 50) > 0)
        take();
    if (made_link)
        unlink(made_link);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

int data_bits(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
    }
}

const char *parity(tcflag_t cflag)
{
    const char *const names[] = {"even", "odd", "space", "mark"};
    return (cflag & PARENB) ? names[!!(cflag & PARODD) + 2 * !!(cflag & CMSPAR)] : "none";
}

void put_line(FILE *f, const char *key, const termios &t)
{
    fprintf(f, "%s=speed=%lu csize=%d parity=%s", key,
            static_cast<unsigned long>(compat::baud_of(cfgetospeed(&t))), data_bits(t.c_cflag),
            parity(t.c_cflag));
    for (const Flag &flag : flags)
        fprintf(f, " %s=%d", flag.name, (t.*flag.field & flag.bit) != 0);
    fprintf(f, " start=0x%02x stop=0x%02x eof=0x%02x\n", t.c_cc[VSTART], t.c_cc[VSTOP],
            t.c_cc[VEOF]);
}

} // namespace

int main(int argc, char **argv)
{
    if (!open_pty(pty))
        die(pty.path[0] ? pty.path : "pseudo-terminal");
    termios before, after;
    if (tcgetattr(pty.slave, &before))
        die("tcgetattr");
    parse_options(argc, argv, before);
    if (tcsetattr(pty.slave, TCSANOW, &before) || tcgetattr(pty.slave, &before))
        die("tcsetattr");

    const int held = hold ? open(pty.path, port_flags) : -1;
    if (hold && (held < 0 || !take_hold(held)))
        die("hold the port");
    std::string received;
    const int status = command ? run(before, received) : 0;
    if (held >= 0) {
        ioctl(held, TIOCNXCL);
        close(held); // and with it the lock
    }

    if (tcgetattr(pty.slave, &after))
        die("tcgetattr");
    const int next = open(pty.path, port_flags);
    const bool reopen = next >= 0 && free_to_hold(next);
    FILE *f = report ? fopen(report, "w") : stderr;
    if (!f)
        die(report);
    fputs("received=", f);
    for (size_t i = 0; i < received.size(); ++i)
        fprintf(f, i ? " %02x" : "%02x", static_cast<unsigned char>(received[i]));
    fprintf(f, "\ncount=%zu\n", received.size());
    put_line(f, "before", before);
    put_line(f, "after", after);
    fprintf(f, "reopen=%s\n%s%s", reopen ? "ok" : "busy", released, during);
    if (f != stderr && fclose(f))
        die(report);
    return status;
}
