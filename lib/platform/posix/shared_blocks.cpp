// Named shared blocks on POSIX: files of the block's name in the user's
// private block folder, or shared memory objects under the public name (a
// server of an earlier version).
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

// The block in the user's private block folder (a server of this version),
// else under its public shared memory name (an earlier one).
int open_block_file(const char* name) {
  char path[300];
  char dir[200];
  struct stat st;
  if (posix_names::block_dir(dir, sizeof dir) && lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) &&
      posix_names::block_path(name, path, sizeof path)) {
    const int fd = open(path, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      if (!posix::block_is_orphaned(fd)) return fd;
      close(fd);
    }
  }
  char object[200];
  if (!posix_names::shm_object_name(name, object, sizeof object)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return shm_open(object, O_RDWR | O_CLOEXEC, 0);
}

}  // namespace

void* open_shared_block(const char* name, size_t* size) {
  if (!name) {
    posix::set_error(EINVAL);
    return nullptr;
  }
  const int fd = open_block_file(name);
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
