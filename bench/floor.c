/* The floor: the system calls serial-send makes on Linux, in the same order,
 * with nothing else - no checks, no translation tables, no stdio. What
 * serial-send costs beyond this program is the price of its own code.
 *
 * The sequence mirrors a trace of serial-send with its output going to a
 * file or /dev/null (bench/run checks that the two traces still match):
 *
 *   openat /dev/ttyS2 (O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC)
 *   ioctl TCGETS                           (is there a UART behind it?)
 *   flock LOCK_EX|LOCK_NB, ioctl TIOCGEXCL
 *   rt_sigprocmask, ioctl TIOCEXCL, rt_sigaction x4, rt_sigprocmask
 *                                          (the ending signals give it back)
 *   fcntl F_GETFL, fcntl F_SETFL (blocking again)
 *   ioctl TCGETS x3, TCSETS, TCGETS x2   (the library's tcsetattr reads before
 *                                          and after setting)
 *   write "R", ioctl TCSBRK 1 (tcdrain)
 *   fstat 1, ioctl TCGETS on 1             (stdio sizing its buffer)
 *   ioctl TIOCNXCL, flock LOCK_UN, rt_sigaction x4, close
 *   write the report to 1, exit
 *
 * Built with: cc -static -O2 -o floor floor.c */
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

static void give_back(int signal_number)
{
    (void)signal_number;
}

int main(void)
{
    static const int ending[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
    static const char report[] = "Wrote 1 bytes of message\nR\n";
    struct termios t;
    struct stat st;
    struct sigaction give = {0}, saved[4];
    sigset_t block, before;
    int held, i;
    int fd = open("/dev/ttyS2", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);

    ioctl(fd, TCGETS, &t);
    flock(fd, LOCK_EX | LOCK_NB);
    ioctl(fd, TIOCGEXCL, &held);
    give.sa_handler = give_back;
    sigemptyset(&block);
    for (i = 0; i < 4; ++i)
        sigaddset(&block, ending[i]);
    sigprocmask(SIG_BLOCK, &block, &before);
    ioctl(fd, TIOCEXCL);
    for (i = 0; i < 4; ++i)
        sigaction(ending[i], &give, &saved[i]);
    sigprocmask(SIG_SETMASK, &before, 0);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    ioctl(fd, TCGETS, &t);
    ioctl(fd, TCGETS, &t);
    ioctl(fd, TCGETS, &t);
    /* A raw 115200 8N1 line, written whole: nothing of the old one kept. */
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = B115200 | CS8 | CREAD | CLOCAL;
    ioctl(fd, TCSETS, &t);
    ioctl(fd, TCGETS, &t);
    ioctl(fd, TCGETS, &t);

    write(fd, "R", 1);
    ioctl(fd, TCSBRK, 1);

    fstat(1, &st);
    ioctl(1, TCGETS, &t);

    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    for (i = 0; i < 4; ++i)
        sigaction(ending[i], &saved[i], 0);
    close(fd);

    write(1, report, sizeof report - 1);
    _exit(0);
}
