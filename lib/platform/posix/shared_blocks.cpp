// Named shared blocks on POSIX: shared memory objects under the block's name.
//
// A block counts only while its creator holds it: the server keeps an
// exclusive lock on every block it creates, so a block left behind by a
// server that died (which Windows would have removed with the process) is
// treated as absent.  A block owned by another user is absent too.
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/posix_names.h"
#include "lib/platform/platform.h"
#include "lib/platform/posix/posix_internal.h"

namespace lumo::platform {
namespace {

struct Mapping {
  void* base;
  size_t size;
};

// Views held at once: the 64 windows, the server block and one being scanned.
constexpr int kMaxMappings = 80;
Mapping g_mappings[kMaxMappings];

bool remember(void* base, size_t size) {
  for (Mapping& m : g_mappings) {
    if (!m.base) {
      m.base = base;
      m.size = size;
      return true;
    }
  }
  return false;
}

}  // namespace

void* open_shared_block(const char* name, size_t* size) {
  char object[200];
  if (!name || !posix_names::shm_object_name(name, object, sizeof object)) {
    posix::set_error(ENAMETOOLONG);
    return nullptr;
  }
  const int fd = shm_open(object, O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) {
    posix::set_error(errno);
    return nullptr;
  }
  struct stat st;
  void* base = MAP_FAILED;
  if (fstat(fd, &st) == 0 && st.st_uid == getuid() && st.st_size > 0 &&
      !posix::block_is_orphaned(fd)) {
    base = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ | PROT_WRITE,
                MAP_SHARED, fd, 0);
  } else {
    errno = ENOENT;
  }
  const int saved = errno;
  close(fd);
  if (base == MAP_FAILED) {
    posix::set_error(saved);
    return nullptr;
  }
  if (!remember(base, static_cast<size_t>(st.st_size))) {
    munmap(base, static_cast<size_t>(st.st_size));
    posix::set_error(EMFILE);
    return nullptr;
  }
  if (size) *size = static_cast<size_t>(st.st_size);
  return base;
}

bool release_shared_block(void* view) {
  for (Mapping& m : g_mappings) {
    if (m.base == view && view) {
      const int r = munmap(m.base, m.size);
      m.base = nullptr;
      m.size = 0;
      if (r != 0) posix::set_error(errno);
      return r == 0;
    }
  }
  posix::set_error(EINVAL);
  return false;
}

namespace posix {

bool block_is_orphaned(int fd) {
  // The creator holds LOCK_EX; if a shared lock can be taken, nobody does.
  if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
    flock(fd, LOCK_UN);
    return true;
  }
  return false;
}

}  // namespace posix
}  // namespace lumo::platform
