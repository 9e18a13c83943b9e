// The server's named blocks on POSIX: files it creates, holds and maps,
// mended when a program cuts one short, and the server block made again
// when a program removes its name.
#include "server/host/posix_host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/posix_names.h"
#include "server/host/block_guard.h"

namespace lumo::server {

namespace {

// Opens a block file this server may create or replace: a new one, or one
// of ours that nobody holds any more (left by a server that died).
int open_new_block(const char* path) {
  int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0 || errno != EEXIST) return fd;
  const int old = open(path, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (old < 0) return -1;
  struct stat st;
  const bool stale = fstat(old, &st) == 0 && st.st_uid == getuid() && flock(old, LOCK_EX | LOCK_NB) == 0;
  close(old);
  if (!stale || unlink(path) != 0) return -1;
  return open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// Whether the file at `path` is the one open as `fd`.
bool same_file(const char* path, int fd) {
  struct stat a, b;
  return lstat(path, &a) == 0 && fstat(fd, &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}

}  // namespace

// The block is a file in the private block folder, held with an exclusive
// lock while this server runs; programs of earlier versions find it through
// a link under its public shared memory name, made when that name is free
// (or left by a dead server of ours).  A name someone else holds fails here
// and the caller takes the next number.
unsigned char* PosixHost::create_block(const std::string& name, size_t size) {
  char dir[200], path[300], public_path[300];
  if (!posix_names::block_dir(dir, sizeof dir) || !posix_names::ensure_private_dir(dir) ||
      !posix_names::block_path(name.c_str(), path, sizeof path)) {
    return nullptr;
  }
  const int fd = open_new_block(path);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
    close(fd);
    unlink(path);
    return nullptr;
  }
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    close(fd);
    unlink(path);
    return nullptr;
  }
  bool linked = false;
  if (posix_names::public_block_path(name.c_str(), public_path, sizeof public_path)) {
    linked = link(path, public_path) == 0;
    if (!linked && errno == EEXIST) {
      // A public block of ours that nobody holds is replaced.
      const int old = open(public_path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
      struct stat st;
      if (old >= 0 && fstat(old, &st) == 0 && st.st_uid == getuid() && flock(old, LOCK_SH | LOCK_NB) == 0) {
        unlink(public_path);
        linked = link(path, public_path) == 0;
      }
      if (old >= 0) close(old);
    }
  }
  block_guard::guard(base, size);
  blocks_.push_back({name, static_cast<unsigned char*>(base), size, fd, linked});
  return static_cast<unsigned char*>(base);
}

void PosixHost::remove_block(const std::string& name) {
  for (size_t i = 0; i < blocks_.size(); ++i) {
    if (blocks_[i].name != name) continue;
    char path[300];
    if (blocks_[i].linked && posix_names::public_block_path(name.c_str(), path, sizeof path) &&
        same_file(path, blocks_[i].fd)) {
      unlink(path);
    }
    if (posix_names::block_path(name.c_str(), path, sizeof path) && same_file(path, blocks_[i].fd)) {
      unlink(path);
    }
    block_guard::unguard(blocks_[i].base);
    munmap(blocks_[i].base, blocks_[i].size);
    close(blocks_[i].fd);
    blocks_.erase(blocks_.begin() + static_cast<long>(i));
    return;
  }
}

unsigned PosixHost::block_faults_seen() { return block_guard::faults(); }

// The file gets its size back (the server created it and holds it), so
// that every program's view of it works again, and is mapped over the zero
// pages.  The loop then decides what becomes of the block.
void PosixHost::mend_blocks(const Loop& loop) {
  block_faults_ = block_guard::faults();
  std::vector<unsigned char*> lost;
  while (void* base = block_guard::take_lost()) lost.push_back(static_cast<unsigned char*>(base));
  for (unsigned char* base : lost) {
    for (const Block& b : blocks_) {
      if (b.base != base) continue;
      struct stat st;
      if (fstat(b.fd, &st) == 0 && st.st_size < static_cast<off_t>(b.size) &&
          ftruncate(b.fd, static_cast<off_t>(b.size)) != 0) {
        break;
      }
      mmap(b.base, b.size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, b.fd, 0);
      break;
    }
  }
  for (unsigned char* base : lost) {
    if (loop.on_block_lost) loop.on_block_lost(base);
  }
}

// A program that removed the name would otherwise hide the server from every
// program started after.  Programs that mapped the old file keep it; the
// server writes only the new one.
void PosixHost::renew_block_name(const unsigned char* base) {
  for (Block& b : blocks_) {
    if (b.base != base) continue;
    char dir[200], path[300], public_path[300];
    if (!posix_names::block_dir(dir, sizeof dir) || !posix_names::block_path(b.name.c_str(), path, sizeof path) ||
        same_file(path, b.fd) || !posix_names::ensure_private_dir(dir)) {
      return;
    }
    const int fd = open_new_block(path);
    if (fd < 0) return;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, static_cast<off_t>(b.size)) != 0 ||
        pwrite(fd, b.base, b.size, 0) != static_cast<ssize_t>(b.size) ||
        mmap(b.base, b.size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED) {
      close(fd);
      unlink(path);
      return;
    }
    const bool has_public = posix_names::public_block_path(b.name.c_str(), public_path, sizeof public_path);
    if (has_public && same_file(public_path, b.fd)) unlink(public_path);
    close(b.fd);
    b.fd = fd;
    b.linked = has_public && link(path, public_path) == 0;
    std::fprintf(stderr, "lumoview: a program removed the name of block %s; it is made again\n", b.name.c_str());
    return;
  }
}

}  // namespace lumo::server
