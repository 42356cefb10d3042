// Kept apart from <termios.h>: the kernel's termios2 record gives the rate
// in bits per second whether it was set by a B-constant or as a free rate.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

// The output rate of the line behind a pseudo-terminal's master (or any
// terminal descriptor); 0 when it cannot be read.
unsigned ptyBaudRate(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return t.c_ospeed;
}
