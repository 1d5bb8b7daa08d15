// A build linked for an older glibc (QV_GLIBC_STUBS) carries its own hidden
// copies of the two newer glibc symbols that GCC 12's static libstdc++
// refers to; the system's glibc is not asked for them.
#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

extern "C" {

// glibc 2.32 on: libstdc++ reads it to skip the atomic reference counts of
// shared_ptr, locale and the like in a process without threads. Ours says
// "maybe threads", so every count stays atomic, as without glibc's help.
__attribute__((visibility("hidden"))) char __libc_single_threaded = 0;

// glibc 2.36 on: std::random_device's default source (linked in with the
// rest of libstdc++; the module never draws from it). The kernel's
// generator, as glibc's own; /dev/urandom before Linux 3.17.
__attribute__((visibility("hidden"))) uint32_t arc4random() noexcept {
  uint32_t value;
  for (;;) {
    ssize_t got = getrandom(&value, sizeof value, 0);
    if (got == static_cast<ssize_t>(sizeof value)) return value;
    if (got < 0 && errno != EINTR) break;
  }
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  bool read_all = fd >= 0 && read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
  if (fd >= 0) close(fd);
  if (read_all) return value;
  abort();  // as glibc does when the kernel gives no randomness
}
}
