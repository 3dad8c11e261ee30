// Writes the seed corpus of dcb_termios_fuzz into the directory given:
// a few starting termios seen in practice, each with the record read from it
// handed back, and a few records the translation must refuse. Run by
// fuzz/run --seeds; the output is checked in.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "dcb_termios.h"
#include "pty.h"

namespace
{

void put_word(FILE *f, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        fputc(static_cast<int>((v >> (8 * i)) & 0xff), f);
}

void write_seed(const char *dir, const char *name, const DCB &dcb, const termios &t)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", dir, name);
    FILE *f = fopen(path, "wb");
    if (!f) {
        perror(path);
        exit(1);
    }
    fwrite(&dcb, sizeof dcb, 1, f);
    put_word(f, t.c_iflag);
    put_word(f, t.c_oflag);
    put_word(f, t.c_cflag);
    put_word(f, t.c_lflag);
    fputc(t.c_line, f);
    fwrite(t.c_cc, 1, NCCS, f);
    put_word(f, t.c_ispeed);
    put_word(f, t.c_ospeed);
    if (fclose(f) != 0) {
        perror(path);
        exit(1);
    }
}

// The record GetCommState gives for a port that starts as t.
DCB record_of(const termios &t)
{
    DCB dcb;
    compat::dcb_from_termios(t, dcb);
    return dcb;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const char *dir = argv[1];

    // A fresh pseudo-terminal: cooked mode at 38400.
    Pty p;
    termios pty;
    if (!open_pty(p) || tcgetattr(p.slave, &pty) != 0) {
        perror("pty");
        return 1;
    }
    close(p.slave);
    close(p.master);
    write_seed(dir, "pty-default", record_of(pty), pty);

    // Raw mode at 9600, as another program may leave the line.
    termios raw = pty;
    cfmakeraw(&raw);
    cfsetospeed(&raw, B9600);
    cfsetispeed(&raw, B9600);
    write_seed(dir, "raw-9600", record_of(raw), raw);

    // 7E2 with RTS/CTS and XON/XOFF, odd characters, input speed "same as output".
    termios busy = pty;
    busy.c_cflag =
        (busy.c_cflag & ~tcflag_t{CSIZE | CBAUD}) | CS7 | PARENB | CSTOPB | CRTSCTS | B1200;
    busy.c_iflag |= IXON | IXOFF | INPCK | IXANY;
    busy.c_cc[VSTART] = 0x01;
    busy.c_cc[VSTOP] = 0x02;
    busy.c_cc[VMIN] = 5;
    cfsetispeed(&busy, B0);
    write_seed(dir, "flow-7e2", record_of(busy), busy);

    // A serial port as Linux's serial driver starts it: the same standard
    // cooked line as a fresh pty, but at 9600 with the modem lines ignored
    // and HUPCL on (DTR drops at the last close), which a pty lacks and the
    // translation must keep.
    termios serial = pty;
    serial.c_cflag |= HUPCL | CLOCAL;
    cfsetospeed(&serial, B9600);
    cfsetispeed(&serial, B9600);
    write_seed(dir, "serial-default", record_of(serial), serial);

    // Records the translation refuses; each over the fresh pty.
    DCB odd_speed = record_of(pty);
    odd_speed.BaudRate = 12345;
    write_seed(dir, "reject-speed", odd_speed, pty);

    DCB nine_bits = record_of(pty);
    nine_bits.ByteSize = 9;
    write_seed(dir, "reject-size", nine_bits, pty);

    DCB one5 = record_of(pty);
    one5.StopBits = ONE5STOPBITS;
    write_seed(dir, "reject-stop", one5, pty);

    DCB dsr = record_of(pty);
    dsr.fOutxDsrFlow = TRUE;
    write_seed(dir, "reject-dsr", dsr, pty);

    DCB same_chars = record_of(pty);
    same_chars.fOutX = TRUE;
    same_chars.XonChar = same_chars.XoffChar;
    write_seed(dir, "reject-xon", same_chars, pty);
    return 0;
}
