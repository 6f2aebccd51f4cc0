/* The least a 'send cmd13' can do, as a yardstick for tarnwick-cli: open and hold
 * the line, send CMD13 to a board, wait for the frame to leave and the settle
 * delay, read until 25 ms of quiet, print the reply in hex. No options, no board
 * description, no checks beyond the system calls'.
 *   plain_exchange PORT BAUD ADDRESS(hex) */
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static speed_t Speed(long baud) {
  switch (baud) {
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    default: return B115200;
  }
}

int main(int argc, char** argv) {
  if (argc != 4) return fprintf(stderr, "usage: plain_exchange PORT BAUD ADDRESS\n"), 2;
  const long baud = strtol(argv[2], NULL, 10);
  const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) < 0 || ioctl(fd, TIOCEXCL) < 0) return perror(argv[1]), 3;
  struct termios t;
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetspeed(&t, Speed(baud));
  t.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &t);
  tcflush(fd, TCIOFLUSH);

  unsigned char frame[5] = {(unsigned char)strtol(argv[3], NULL, 16), 1, 0x93, 0, 0};
  const unsigned sum = frame[0] + frame[1] + frame[2];
  frame[3] = sum & 0xFF, frame[4] = sum >> 8;
  if (write(fd, frame, sizeof frame) != sizeof frame) return perror("write"), 1;
  for (int queued = 1; ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0;) usleep(100);
  /* Twelve bit times and a millisecond per byte before the line turns round. */
  const long settleMs = (long)(1e3 * 12 * sizeof frame / baud) + (long)sizeof frame;
  nanosleep(&(struct timespec){settleMs / 1000, settleMs % 1000 * 1000000}, NULL);

  unsigned char reply[20];
  size_t count = 0;
  struct pollfd p = {fd, POLLIN, 0};
  for (int waitMs = 265; count < sizeof reply && poll(&p, 1, waitMs) > 0; waitMs = 25) {
    const ssize_t n = read(fd, reply + count, sizeof reply - count);
    if (n <= 0) break;
    count += (size_t)n;
  }
  for (size_t i = 0; i < count; ++i) printf("%02X%c", reply[i], i + 1 < count ? ' ' : '\n');
  close(fd);
  return count ? 0 : 1;
}
