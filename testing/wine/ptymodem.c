// Lends modem lines to pseudo-terminals, for programs under wine.
//
// Wine's serial calls ask the terminal for its modem lines (TIOCMGET and friends) and fail
// when it has none, as a pseudo-terminal has not: WaitCommEvent ends at once with "operation
// aborted" and the RTS and DTR escapes fail as "not supported". Preloaded into wine
// (LD_PRELOAD), this library answers those requests for pseudo-terminals itself, as a null
// modem would, and passes every other request, and every other device, to the C library.
//
// A pseudo-terminal holds no parity either: the kernel refuses a tcsetattr that turns it on
// (or drops it when other fields change too), so SetCommState with parity would fail or not
// depending on the settings before. The parity bits are taken out of what reaches such a
// terminal, as the kernel does in its lenient case, and SetCommState always succeeds.
//
// Each descriptor keeps its own output lines (RTS, DTR); the input lines (CTS, DSR, carrier)
// read as on, as from a peer that is present. Nothing travels to the far end: the two ends of a
// pair of linked terminals do not see each other's lines.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <pthread.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*tcsetattr_fn)(int, int, const struct termios*);

enum { kMaxFd = 4096 };
static const int kOutputLines = TIOCM_RTS | TIOCM_DTR;
static const int kInputLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;

// The lines of one descriptor, valid while it still names the same terminal.
struct lines {
  dev_t device;
  int bits;
};
static struct lines table[kMaxFd];
static pthread_mutex_t table_lock = PTHREAD_MUTEX_INITIALIZER;

static ioctl_fn next_ioctl(void) {
  static ioctl_fn next;
  if (!next) next = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
  return next;
}

// The terminal a descriptor names, when it is a pseudo-terminal (either end); 0 otherwise.
static dev_t pseudo_terminal(int fd) {
  struct stat st;
  if (fd < 0 || fd >= kMaxFd || fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
  unsigned maj = major(st.st_rdev);
  // Unix 98 slaves have the majors 136 to 143; /dev/ptmx (5:2) is the master side.
  if ((maj >= 136 && maj <= 143) || (maj == 5 && minor(st.st_rdev) == 2)) return st.st_rdev;
  return 0;
}

// The descriptor's lines; a descriptor seen for the first time (or naming another terminal
// now) starts as after an open: DTR and RTS raised.
static int* bits_of(int fd, dev_t device) {
  struct lines* l = &table[fd];
  if (l->device != device) {
    l->device = device;
    l->bits = TIOCM_RTS | TIOCM_DTR;
  }
  return &l->bits;
}

// Blocks while none of the watched lines changes; the input lines never do, so this returns
// only when the descriptor goes away or the process gets a signal.
static int wait_for_lines(int fd, dev_t device, int watched) {
  pthread_mutex_lock(&table_lock);
  const int start = *bits_of(fd, device) & watched;
  pthread_mutex_unlock(&table_lock);
  const struct timespec pause = {0, 20 * 1000 * 1000};
  for (;;) {
    if (pseudo_terminal(fd) != device) {
      errno = EIO;
      return -1;
    }
    pthread_mutex_lock(&table_lock);
    const int now = *bits_of(fd, device) & watched;
    pthread_mutex_unlock(&table_lock);
    if (now != start) return 0;
    if (nanosleep(&pause, NULL) != 0) {
      errno = EINTR;
      return -1;
    }
  }
}

static int answer(int fd, dev_t device, unsigned long request, void* arg) {
  if (request == TIOCMIWAIT) return wait_for_lines(fd, device, (int)(long)arg);
  if (request == TIOCGICOUNT) {
    // No line ever changes and no byte arrives with an error.
    memset(arg, 0, sizeof(struct serial_icounter_struct));
    return 0;
  }
  if (request == TIOCSERGETLSR) {
    int queued = 0;
    if (next_ioctl()(fd, TIOCOUTQ, &queued) != 0) return -1;
    *(int*)arg = queued == 0 ? TIOCSER_TEMT : 0;
    return 0;
  }
  pthread_mutex_lock(&table_lock);
  int* bits = bits_of(fd, device);
  const int given = request == TIOCMGET ? 0 : *(int*)arg & kOutputLines;
  switch (request) {
    case TIOCMGET: *(int*)arg = *bits | kInputLines; break;
    case TIOCMSET: *bits = given; break;
    case TIOCMBIS: *bits |= given; break;
    case TIOCMBIC: *bits &= ~given; break;
  }
  pthread_mutex_unlock(&table_lock);
  return 0;
}

static int answered(unsigned long request) {
  return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC ||
         request == TIOCMIWAIT || request == TIOCGICOUNT || request == TIOCSERGETLSR;
}

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  if (answered(request)) {
    const dev_t device = pseudo_terminal(fd);
    if (device) return answer(fd, device, request, arg);
  }
  return next_ioctl()(fd, request, arg);
}

int tcsetattr(int fd, int when, const struct termios* t) {
  static tcsetattr_fn next;
  if (!next) next = (tcsetattr_fn)dlsym(RTLD_NEXT, "tcsetattr");
  if (t && (t->c_cflag & PARENB) && pseudo_terminal(fd)) {
    struct termios plain = *t;
    plain.c_cflag &= ~(tcflag_t)(PARENB | PARODD | CMSPAR);
    return next(fd, when, &plain);
  }
  return next(fd, when, t);
}
