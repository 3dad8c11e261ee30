// vcom: a pseudo-terminal presented to a command as COM3, so serial-send can be
// run and checked on a machine without a serial port.
//
//   vcom [options] [-- command [args...]]
//
// Opens a fresh pseudo-terminal (the port), applies the initial line settings,
// presents the port as COM3, runs the command with stdin, stdout and stderr
// inherited, reads everything the command sends to the port, then reports the
// bytes received, the line settings before and after the run and whether the
// port can be opened exclusively again.
//
// Presenting:
//   (default)     the command runs in a private mount namespace whose /dev is
//                 a small tmpfs holding null, zero, full, random, urandom and
//                 ttyS2 (COM3), the port
//   --link PATH   no namespace: PATH is a symlink to the port during the run
//                 (an existing symlink there is replaced, and removed after)
// What is presented:
//   --port pty    the pseudo-terminal (default)
//   --port none   nothing
//   --port null   /dev/null
// Initial line settings:
//   --speed N  --crtscts  --ixon  --ixoff  --start 0xHH  --stop 0xHH
// Others:
//   --hold         hold the port exclusively (flock and TIOCEXCL) during the run
//   --stopped MS   the port's output is stopped when the command starts, as
//                  after the device's XOFF, and restarted MS milliseconds later
//                  (or when the command ends)
//   --report FILE  machine-readable key=value report to FILE instead of the
//                  human-readable one on stderr
//
// Exit status: the command's, or 128 + the signal that killed it; 126 or 127
// when it cannot be executed; 125 when vcom itself fails.
#include <errno.h>
#include <fcntl.h>
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

#include "pty.h"

namespace
{

constexpr int vcom_failed = 125;

// The --link symlink while it exists, so that a failure does not leave it.
const char *made_link = nullptr;

enum class PortKind { pty, none, null };

struct Options {
    const char *link = nullptr; // null: present in a private mount namespace
    PortKind port = PortKind::pty;
    speed_t speed = 0;
    bool has_speed = false;
    bool crtscts = false;
    bool ixon = false;
    bool ixoff = false;
    int start = -1;
    int stop = -1;
    bool hold = false;
    int stopped_ms = -1; // -1: output flows
    const char *report = nullptr;
    char **command = nullptr; // null: no command, just report
};

struct Speed {
    speed_t code;
    unsigned long baud;
};

const Speed speeds[] = {
    {B0, 0},
    {B50, 50},
    {B75, 75},
    {B110, 110},
    {B134, 134},
    {B150, 150},
    {B200, 200},
    {B300, 300},
    {B600, 600},
    {B1200, 1200},
    {B1800, 1800},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
    {B230400, 230400},
    {B460800, 460800},
    {B500000, 500000},
    {B576000, 576000},
    {B921600, 921600},
    {B1000000, 1000000},
    {B1152000, 1152000},
    {B1500000, 1500000},
    {B2000000, 2000000},
    {B2500000, 2500000},
    {B3000000, 3000000},
    {B3500000, 3500000},
    {B4000000, 4000000},
};

[[noreturn]] void die(const char *what)
{
    fprintf(stderr, "vcom: %s: %s\n", what, strerror(errno));
    if (made_link)
        unlink(made_link);
    exit(vcom_failed);
}

[[noreturn]] void usage_error(const char *message, const char *arg)
{
    fprintf(stderr,
            "vcom: %s%s\n"
            "usage: vcom [--link PATH] [--port pty|none|null] [--speed N] [--crtscts] [--ixon]\n"
            "            [--ixoff] [--start 0xHH] [--stop 0xHH] [--hold] [--stopped MS]\n"
            "            [--report FILE]\n"
            "            [-- command [args...]]\n",
            message, arg);
    exit(vcom_failed);
}

int parse_byte(const char *s)
{
    char *end;
    errno = 0;
    const unsigned long v = strtoul(s, &end, 0);
    if (errno || end == s || *end || v > 0xff)
        usage_error("not a byte value: ", s);
    return static_cast<int>(v);
}

speed_t parse_speed(const char *s)
{
    char *end;
    errno = 0;
    const unsigned long v = strtoul(s, &end, 10);
    if (!errno && end != s && !*end)
        for (const Speed &sp : speeds)
            if (sp.baud == v)
                return sp.code;
    usage_error("unsupported speed: ", s);
}

Options parse_options(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        // The value of an option that takes one.
        auto value = [&]() -> const char * {
            if (i + 1 >= argc)
                usage_error("missing value for ", a);
            return argv[++i];
        };
        if (!strcmp(a, "--")) {
            if (i + 1 < argc)
                o.command = argv + i + 1;
            break;
        } else if (!strcmp(a, "--link")) {
            o.link = value();
        } else if (!strcmp(a, "--port")) {
            const char *v = value();
            if (!strcmp(v, "pty"))
                o.port = PortKind::pty;
            else if (!strcmp(v, "none"))
                o.port = PortKind::none;
            else if (!strcmp(v, "null"))
                o.port = PortKind::null;
            else
                usage_error("--port takes pty, none or null, not ", v);
        } else if (!strcmp(a, "--speed")) {
            o.speed = parse_speed(value());
            o.has_speed = true;
        } else if (!strcmp(a, "--crtscts")) {
            o.crtscts = true;
        } else if (!strcmp(a, "--ixon")) {
            o.ixon = true;
        } else if (!strcmp(a, "--ixoff")) {
            o.ixoff = true;
        } else if (!strcmp(a, "--start")) {
            o.start = parse_byte(value());
        } else if (!strcmp(a, "--stop")) {
            o.stop = parse_byte(value());
        } else if (!strcmp(a, "--hold")) {
            o.hold = true;
        } else if (!strcmp(a, "--stopped")) {
            const char *v = value();
            char *end;
            const long ms = strtol(v, &end, 10);
            if (end == v || *end || ms < 0 || ms > 600000)
                usage_error("--stopped takes milliseconds, not ", v);
            o.stopped_ms = static_cast<int>(ms);
        } else if (!strcmp(a, "--report")) {
            o.report = value();
        } else {
            usage_error("unknown option ", a);
        }
    }
    return o;
}

// ---- the pseudo-terminal

// The slave is held for the whole run: the terminal outlives the command's close.
Pty open_port_pty()
{
    Pty p;
    if (!open_pty(p))
        die(p.path[0] ? p.path : "pseudo-terminal");
    const int flags = fcntl(p.master, F_GETFL);
    if (flags < 0 || fcntl(p.master, F_SETFL, flags | O_NONBLOCK))
        die("master");
    return p;
}

termios line_settings(int slave)
{
    termios t;
    if (tcgetattr(slave, &t))
        die("tcgetattr");
    return t;
}

void apply_initial(int slave, const Options &o)
{
    termios t = line_settings(slave);
    if (o.has_speed && (cfsetispeed(&t, o.speed) || cfsetospeed(&t, o.speed)))
        die("cfsetspeed");
    if (o.crtscts)
        t.c_cflag |= CRTSCTS;
    if (o.ixon)
        t.c_iflag |= IXON;
    if (o.ixoff)
        t.c_iflag |= IXOFF;
    if (o.start >= 0)
        t.c_cc[VSTART] = static_cast<cc_t>(o.start);
    if (o.stop >= 0)
        t.c_cc[VSTOP] = static_cast<cc_t>(o.stop);
    if (tcsetattr(slave, TCSANOW, &t))
        die("tcsetattr");
}

// Another program's exclusive hold on the port, as serial-send takes it.
int hold_port(const char *path)
{
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) || ioctl(fd, TIOCEXCL))
        die("hold the port");
    return fd;
}

void release_port(int fd)
{
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    close(fd);
}

// Can the next program open the port exclusively? A terminal left exclusive
// refuses the open (unless the opener is root, hence the TIOCGEXCL check), a
// lock still held refuses the flock.
bool can_reopen(const char *path)
{
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int exclusive = 0;
    const bool ok =
        flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCGEXCL, &exclusive) == 0 && !exclusive;
    close(fd);
    return ok;
}

// Everything available on the master now, into received.
void read_master(int master, std::string &received)
{
    char buf[4096];
    ssize_t n;
    while ((n = read(master, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            received.append(buf, static_cast<size_t>(n));
}

// After the command has gone: bytes still on their way through the pty are
// collected until the master stays quiet for a while.
void drain_master(int master, std::string &received)
{
    constexpr int quiet_ms = 50;
    pollfd p = {master, POLLIN, 0};
    for (;;) {
        read_master(master, received);
        const int ready = poll(&p, 1, quiet_ms);
        if (ready == 0 || (ready < 0 && errno != EINTR))
            return;
    }
}

// ---- presenting the port and running the command

// Why the child could not run the command, sent to the parent over a
// close-on-exec pipe: nothing arrives when the exec succeeds.
struct ChildFailure {
    int status;
    int error;
    char what[120];
};

[[noreturn]] void child_failed(int pipe_fd, int status, const char *what)
{
    ChildFailure f = {status, errno, ""};
    snprintf(f.what, sizeof f.what, "%s", what);
    const ssize_t sent = write(pipe_fd, &f, sizeof f);
    (void)sent;
    _exit(status);
}

bool write_file(const char *path, const char *text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const size_t len = strlen(text);
    const bool ok = write(fd, text, len) == static_cast<ssize_t>(len);
    close(fd);
    return ok;
}

// A private mount namespace: as root a plain one, otherwise inside a user
// namespace that maps the caller's own ids. Returns the failed step or null.
const char *unshare_mounts()
{
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (uid == 0 && unshare(CLONE_NEWNS) == 0)
        return nullptr;
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS))
        return uid == 0 ? "unshare(CLONE_NEWNS)" : "unshare(CLONE_NEWUSER|CLONE_NEWNS)";
    char map[64];
    snprintf(map, sizeof map, "%u %u 1\n", uid, uid);
    if (!write_file("/proc/self/uid_map", map))
        return "write /proc/self/uid_map";
    if (!write_file("/proc/self/setgroups", "deny"))
        return "write /proc/self/setgroups";
    snprintf(map, sizeof map, "%u %u 1\n", gid, gid);
    if (!write_file("/proc/self/gid_map", map))
        return "write /proc/self/gid_map";
    return nullptr;
}

// Replaces /dev with a tmpfs holding the usual character devices and the port
// as ttyS2 (port null: ttyS2 absent). Returns the failed step or null.
const char *present_in_namespace(const char *port)
{
    struct Node {
        const char *path;
        const char *source;
        int fd;
    } nodes[] = {{"/dev/null", "/dev/null", -1},       {"/dev/zero", "/dev/zero", -1},
                 {"/dev/full", "/dev/full", -1},       {"/dev/random", "/dev/random", -1},
                 {"/dev/urandom", "/dev/urandom", -1}, {"/dev/ttyS2", port, -1}};

    if (const char *failed = unshare_mounts())
        return failed;
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
        const int fd = open(n.path, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0)
            return n.path;
        close(fd);
        if (mount(source, n.path, nullptr, MS_BIND, nullptr))
            return n.path;
        close(n.fd);
    }
    if (symlink("/proc/self/fd", "/dev/fd") || symlink("/proc/self/fd/0", "/dev/stdin") ||
        symlink("/proc/self/fd/1", "/dev/stdout") || symlink("/proc/self/fd/2", "/dev/stderr"))
        return "/dev/fd";
    return nullptr;
}

[[noreturn]] void run_child(const Options &o, const char *port, int pipe_fd)
{
    // A killed vcom takes the command with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (!o.link)
        if (const char *failed = present_in_namespace(port))
            child_failed(pipe_fd, vcom_failed, failed);
    execvp(o.command[0], o.command);
    child_failed(pipe_fd, errno == ENOENT ? 127 : 126, o.command[0]);
}

void make_link(const char *path, const char *port)
{
    struct stat st;
    if (lstat(path, &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            die(path);
        }
        if (unlink(path))
            die(path);
    }
    if (port && symlink(port, path))
        die(path);
    made_link = port ? path : nullptr;
}

// Presents the port, runs the command, collects what it sends; returns its
// exit status the vcom way (128 + signal when killed).
int run(const Options &o, const Pty &pty, std::string &received)
{
    const char *port = o.port == PortKind::pty    ? pty.path
                       : o.port == PortKind::null ? "/dev/null"
                                                  : nullptr;
    if (o.link)
        make_link(o.link, port);

    int failure[2];
    if (pipe2(failure, O_CLOEXEC))
        die("pipe");
    if (o.stopped_ms >= 0 && tcflow(pty.slave, TCOOFF))
        die("tcflow");
    const pid_t pid = fork();
    if (pid < 0)
        die("fork");
    if (pid == 0)
        run_child(o, port, failure[1]);
    close(failure[1]);

    // A descriptor that polls readable once the command has exited.
    const int exited = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (exited < 0)
        die("pidfd_open");
    pollfd p[2] = {{pty.master, POLLIN, 0}, {exited, POLLIN, 0}};
    int stopped_ms = o.stopped_ms;
    while (!(p[1].revents & POLLIN)) {
        const int ready = poll(p, 2, stopped_ms);
        if (ready < 0 && errno != EINTR)
            die("poll");
        if (ready == 0) { // time to let the output go
            tcflow(pty.slave, TCOON);
            stopped_ms = -1;
        }
        if (ready > 0 && (p[0].revents & POLLIN))
            read_master(pty.master, received);
    }
    if (stopped_ms >= 0)
        tcflow(pty.slave, TCOON);
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            die("waitpid");
    close(exited);
    drain_master(pty.master, received);
    if (made_link)
        unlink(made_link);
    made_link = nullptr;

    ChildFailure f;
    if (read(failure[0], &f, sizeof f) == sizeof f) {
        f.what[sizeof f.what - 1] = '\0';
        fprintf(stderr, "vcom: %s: %s\n", f.what, strerror(f.error));
        if (f.status == vcom_failed)
            fprintf(stderr, "vcom: presenting the port needs root or user namespaces "
                            "(or use --link PATH)\n");
        exit(f.status);
    }
    close(failure[0]);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// ---- reports

unsigned long baud(const termios &t)
{
    const speed_t code = cfgetospeed(&t);
    for (const Speed &sp : speeds)
        if (sp.code == code)
            return sp.baud;
    return 0;
}

int data_bits(const termios &t)
{
    switch (t.c_cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
    }
}

const char *parity(const termios &t)
{
    if (!(t.c_cflag & PARENB))
        return "none";
    if (t.c_cflag & CMSPAR)
        return t.c_cflag & PARODD ? "mark" : "space";
    return t.c_cflag & PARODD ? "odd" : "even";
}

int on(tcflag_t flags, tcflag_t bit)
{
    return (flags & bit) != 0;
}

std::string settings_line(const termios &t)
{
    char s[256];
    snprintf(s, sizeof s,
             "speed=%lu csize=%d parity=%s cstopb=%d crtscts=%d ixon=%d ixoff=%d start=0x%02x "
             "stop=0x%02x eof=0x%02x opost=%d icanon=%d echo=%d isig=%d clocal=%d",
             baud(t), data_bits(t), parity(t), on(t.c_cflag, CSTOPB), on(t.c_cflag, CRTSCTS),
             on(t.c_iflag, IXON), on(t.c_iflag, IXOFF), t.c_cc[VSTART], t.c_cc[VSTOP], t.c_cc[VEOF],
             on(t.c_oflag, OPOST), on(t.c_lflag, ICANON), on(t.c_lflag, ECHO), on(t.c_lflag, ISIG),
             on(t.c_cflag, CLOCAL));
    return s;
}

std::string hex(const std::string &bytes)
{
    std::string text;
    char h[4];
    for (const char c : bytes) {
        snprintf(h, sizeof h, text.empty() ? "%02x" : " %02x", static_cast<unsigned char>(c));
        text += h;
    }
    return text;
}

void write_report(const char *path, const std::string &received, const termios &before,
                  const termios &after, bool reopen)
{
    FILE *f = fopen(path, "w");
    if (!f)
        die(path);
    fprintf(f, "received=%s\ncount=%zu\nbefore=%s\nafter=%s\nreopen=%s\n", hex(received).c_str(),
            received.size(), settings_line(before).c_str(), settings_line(after).c_str(),
            reopen ? "ok" : "busy");
    if (fclose(f))
        die(path);
}

void print_report(const Pty &pty, const std::string &received, const termios &before,
                  const termios &after, bool reopen)
{
    fprintf(stderr, "vcom: port %s\n", pty.path);
    if (received.empty())
        fprintf(stderr, "vcom: received nothing\n");
    else
        fprintf(stderr, "vcom: received %zu byte%s: %s\n", received.size(),
                received.size() == 1 ? "" : "s", hex(received).c_str());
    fprintf(stderr, "vcom: before: %s\n", settings_line(before).c_str());
    fprintf(stderr, "vcom: after:  %s\n", settings_line(after).c_str());
    fprintf(stderr, "vcom: reopen: %s\n",
            reopen ? "ok, the port is free" : "busy, the port is still held or exclusive");
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = parse_options(argc, argv);
    const Pty pty = open_port_pty();
    apply_initial(pty.slave, o);
    const termios before = line_settings(pty.slave);

    const int held = o.hold ? hold_port(pty.path) : -1;
    std::string received;
    const int status = o.command ? run(o, pty, received) : 0;
    if (held >= 0)
        release_port(held);

    const termios after = line_settings(pty.slave);
    const bool reopen = can_reopen(pty.path);
    if (o.report)
        write_report(o.report, received, before, after, reopen);
    else
        print_report(pty, received, before, after, reopen);
    return status;
}
