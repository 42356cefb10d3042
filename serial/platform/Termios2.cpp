// Kept apart from everything that includes <termios.h>: the kernel's termios2 record and the
// C library's termios cannot be declared in one translation unit.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "serial/platform/VaDevice.h"

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace ostrel::serial {

namespace {

// The rates the terminal names with a constant of its own. Setting a rate through its constant
// lets stty, Python's termios and every other tool read it back; BOTHER is for the rest.
tcflag_t rateConstant(uint32_t rate) {
  static constexpr std::pair<uint32_t, tcflag_t> named[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
      {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
      {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
      {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
      {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000}};
  for (auto [r, constant] : named)
    if (r == rate) return constant;
  return BOTHER;
}
}  // namespace

int applyTermios2Fields(int fd, uint32_t rate, uint8_t byteSize, uint8_t parity, uint8_t stopBits, uint32_t flags,
                        uint8_t xonChar, uint8_t xoffChar, bool holdsParity) {
  if (!stopBitsFit(byteSize, stopBits)) return EINVAL;
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return errno;
  // Raw binary line: no echo, no line editing, no character translation. Parity is never
  // checked by the terminal itself: with INPCK it would replace a byte that carries a parity
  // error by 0x00 (or drop it with IGNPAR); the byte is passed on as it came and the error
  // is counted by the driver, where the error query finds it.
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
  // The input rate follows the output rate (no separate input rate is set).
  t.c_cflag |= CREAD | CLOCAL | rateConstant(rate);
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
  }
  if (stopBits != 0) t.c_cflag |= CSTOPB;  // one and a half at five data bits, two otherwise
  if ((flags & dcb::OutxCtsFlow) || (flags & dcb::RtsMask) == dcb::RtsHandshake) t.c_cflag |= CRTSCTS;
  if (flags & dcb::OutX) t.c_iflag |= IXON;
  if (flags & dcb::InX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = xonChar;
  t.c_cc[VSTOP] = xoffChar;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (ioctl(fd, TCSETS2, &t) != 0) return errno;
  return 0;
}

}  // namespace ostrel::serial
