/* The floor of bench/run: the least any program must do to send "R" once on
 * a line it sets up itself (115200 baud, 8 data bits, no parity, one stop
 * bit) and say so. It follows no other program's system calls, so it stays
 * the same whatever serial-send does; what serial-send spends beyond it is
 * the price of its own code and checks.
 *
 * It fails (exit 1) when a step fails, so that it cannot look cheap by doing
 * less. */
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

int main(void)
{
    static const char report[] = "Wrote 1 bytes of message\nR\n";
    struct termios line;
    int fd = open("/dev/ttyS2", O_RDWR | O_NOCTTY);

    if (fd < 0 || tcgetattr(fd, &line) != 0)
        return 1;
    cfmakeraw(&line);
    line.c_cflag &= ~(tcflag_t)(CSIZE | PARENB | CSTOPB);
    line.c_cflag |= CS8 | CREAD | CLOCAL;
    if (cfsetspeed(&line, B115200) != 0 || tcsetattr(fd, TCSANOW, &line) != 0 ||
        write(fd, "R", 1) != 1 || tcdrain(fd) != 0 || close(fd) != 0)
        return 1;
    return write(1, report, sizeof report - 1) == sizeof report - 1 ? 0 : 1;
}
