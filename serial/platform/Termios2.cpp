// Kept apart from everything that includes <termios.h>: the kernel's termios2 record and the
// C library's termios cannot be declared in one translation unit.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace ostrel::serial {

// DCB flag bits used below (see VaDevice.h).
namespace {
constexpr uint32_t kParityCheck = 0x0002, kOutxCts = 0x0004, kOutX = 0x0100, kInX = 0x0200,
                   kRtsHandshake = 0x2000, kRtsMask = 0x3000;
}

int applyTermios2Fields(int fd, uint32_t rate, uint8_t byteSize, uint8_t parity, uint8_t stopBits,
                        uint32_t flags, uint8_t xonChar, uint8_t xoffChar, bool holdsParity) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return errno;
  // Raw binary line: no echo, no line editing, no character translation.
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                 INPCK | IGNPAR);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = t.c_ospeed = rate;
  switch (byteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return EINVAL;  // the tty layer has no 4-bit bytes
  }
  if (holdsParity) {
    switch (parity) {
      case 1: t.c_cflag |= PARENB | PARODD; break;
      case 2: t.c_cflag |= PARENB; break;
      case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;  // mark
      case 4: t.c_cflag |= PARENB | CMSPAR; break;           // space
      default: break;
    }
    if (parity != 0 && (flags & kParityCheck)) t.c_iflag |= INPCK;
  }
  if (stopBits != 0) t.c_cflag |= CSTOPB;  // one and a half is what CSTOPB gives at 5 bits
  if ((flags & kOutxCts) || (flags & kRtsMask) == kRtsHandshake) t.c_cflag |= CRTSCTS;
  if (flags & kOutX) t.c_iflag |= IXON;
  if (flags & kInX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = xonChar;
  t.c_cc[VSTOP] = xoffChar;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (ioctl(fd, TCSETS2, &t) != 0) return errno;
  return 0;
}

}  // namespace ostrel::serial
