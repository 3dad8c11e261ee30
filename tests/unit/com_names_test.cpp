// Which file a name given to CreateFileA reaches, seen for real: a child
// process gets a private mount namespace whose /dev is a fresh tmpfs holding
// ttyS0 to ttyS256 as plain files, works in a directory holding a file of the
// very name it opens, opens the name, writes a byte and reports every file
// that received it.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "rows.h"

namespace
{

std::string failure(const char *what)
{
    return std::string(what) + ": " + strerror(errno);
}

bool write_file(const char *path, const std::string &text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0)
        close(fd);
    return ok;
}

bool create_file(const std::string &path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    return fd >= 0 && close(fd) == 0;
}

// A namespace of our own with /dev as a tmpfs; "" or what went wrong.
std::string private_dev()
{
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (uid == 0) {
        if (unshare(CLONE_NEWNS) != 0)
            return failure("unshare(CLONE_NEWNS)");
    } else {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return failure("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
        if (!write_file("/proc/self/setgroups", "deny") ||
            !write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return failure("user namespace maps");
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failure("making mounts private");
    if (mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755,size=1m") != 0)
        return failure("mounting a tmpfs on /dev");
    return "";
}

// The files in dir that are not empty, each as prefix + name.
std::string written_files(const char *dir, const std::string &prefix)
{
    std::string found;
    DIR *d = opendir(dir);
    if (!d)
        return failure(dir);
    while (const dirent *e = readdir(d)) {
        struct stat st;
        if (fstatat(dirfd(d), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
            found += (found.empty() ? "" : " ") + prefix + e->d_name;
    }
    closedir(d);
    return found;
}

// Run in the child: where the byte written through the name lands.
std::string where_it_lands(const char *name)
{
    const std::string problem = private_dev();
    if (!problem.empty())
        return "unavailable: " + problem;
    for (int n = 0; n <= 256; ++n)
        if (!create_file("/dev/ttyS" + std::to_string(n)))
            return failure("creating /dev/ttyS*");
    if (mkdir("/dev/work", 0700) != 0 || chdir("/dev/work") != 0 || !create_file(name))
        return failure("making the working directory");

    const HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return "open failed";
    DWORD written = 0;
    const BOOL sent = WriteFile(port, "R", 1, &written, nullptr);
    CloseHandle(port);
    if (!sent || written != 1)
        return "write failed";
    const std::string in_dev = written_files("/dev", "/dev/");
    const std::string in_work = written_files(".", "./");
    return in_dev + (in_dev.empty() || in_work.empty() ? "" : " ") + in_work;
}

// Runs where_it_lands in a child process and returns its report.
std::string look_in_a_child(const char *name)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return failure("pipe");
    const pid_t pid = fork();
    if (pid < 0)
        return failure("fork");
    if (pid == 0) {
        close(out[0]);
        const std::string report = where_it_lands(name);
        const bool ok = write(out[1], report.data(), report.size()) == ssize_t(report.size());
        _exit(ok ? 0 : 1);
    }
    close(out[1]);
    std::string report;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report += " (the child failed)";
    return report;
}

struct Name {
    const char *name; // of the test
    const char *path; // given to CreateFileA
    const char *reaches;
};

void PrintTo(const Name &row, std::ostream *os)
{
    *os << row.name;
}

const Name names[] = {
    {"com3", "COM3", "/dev/ttyS2"},
    {"device_namespace_com3", "\\\\.\\COM3", "/dev/ttyS2"},
    {"lower_case_com3", "com3", "/dev/ttyS2"},
    {"com1", "COM1", "/dev/ttyS0"},
    {"com10", "cOm10", "/dev/ttyS9"},
    {"com256", "COM256", "/dev/ttyS255"},
    // Not COM names: opened as paths, here in the working directory.
    {"com0", "COM0", "./COM0"},
    {"com_alone", "COM", "./COM"},
    {"com3x", "COM3x", "./COM3x"},
    {"com257", "COM257", "./COM257"},
    {"com03", "COM03", "./COM03"},
    {"device_namespace_com0", "\\\\.\\COM0", "./\\\\.\\COM0"},
};

class ComNames : public testing::TestWithParam<Name>
{
};

TEST_P(ComNames, ReachTheirDevice)
{
    const std::string report = look_in_a_child(GetParam().path);
    if (report.rfind("unavailable: ", 0) == 0) {
        const char *ci = getenv("CI");
        if (ci && strcmp(ci, "true") == 0)
            FAIL() << "no private /dev for the test: " << report;
        GTEST_SKIP() << report;
    }
    EXPECT_EQ(report, GetParam().reaches);
}

INSTANTIATE_TEST_SUITE_P(ComNames, ComNames, testing::ValuesIn(names), RowName());

} // namespace
