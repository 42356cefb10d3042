#include "Termios2Rate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace ostrel::serial::test {
uint32_t termios2OutputRate(int fd) {
  struct termios2 t {};
  return ioctl(fd, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
}
}  // namespace ostrel::serial::test
