#include "server/host/posix_host.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/lumo_wire.h"
#include "common/posix_frame.h"
#include "common/posix_names.h"

namespace lumo::server {
namespace {

bool read_all(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool write_all(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ensure_private_dir(const char* dir) {
  if (mkdir(dir, 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  return lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         (st.st_mode & 077) == 0;
}

}  // namespace

PosixHost::~PosixHost() { shutdown(); }

bool PosixHost::start() {
  char dir[160];
  if (!posix_names::runtime_dir(dir, sizeof dir) || !ensure_private_dir(dir)) {
    std::fprintf(stderr, "lumoview: cannot use the private directory %s\n", dir);
    return false;
  }
  handle_ = static_cast<long long>(getpid());
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (!posix_names::socket_path(handle_, addr.sun_path, sizeof addr.sun_path)) {
    std::fprintf(stderr, "lumoview: socket path too long\n");
    return false;
  }
  unlink(addr.sun_path);  // a leftover of an earlier process with our pid
  listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, 16) != 0) {
    std::fprintf(stderr, "lumoview: cannot listen on %s: %s\n", addr.sun_path, strerror(errno));
    return false;
  }
  socket_path_ = addr.sun_path;
  return true;
}

unsigned char* PosixHost::create_block(const std::string& name, size_t size) {
  char object[200];
  if (!posix_names::shm_object_name(name.c_str(), object, sizeof object)) return nullptr;
  int fd = shm_open(object, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 && errno == EEXIST) {
    // Replace the block only when nobody holds it any more.
    const int old = shm_open(object, O_RDWR | O_CLOEXEC, 0);
    if (old >= 0) {
      const bool stale = flock(old, LOCK_EX | LOCK_NB) == 0;
      close(old);
      if (!stale) return nullptr;
      shm_unlink(object);
      fd = shm_open(object, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
  }
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
    close(fd);
    shm_unlink(object);
    return nullptr;
  }
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    close(fd);
    shm_unlink(object);
    return nullptr;
  }
  blocks_.push_back({name, static_cast<unsigned char*>(base), size, fd});
  return static_cast<unsigned char*>(base);
}

void PosixHost::remove_block(const std::string& name) {
  for (size_t i = 0; i < blocks_.size(); ++i) {
    if (blocks_[i].name != name) continue;
    char object[200];
    if (posix_names::shm_object_name(name.c_str(), object, sizeof object)) shm_unlink(object);
    munmap(blocks_[i].base, blocks_[i].size);
    close(blocks_[i].fd);
    blocks_.erase(blocks_.begin() + static_cast<long>(i));
    return;
  }
}

void PosixHost::serve(const Loop& loop) {
  std::vector<unsigned char> payload(posix_frame::kMaxPayload);
  while (!stop_) {
    const int timeout = loop.on_idle ? loop.on_idle() : 200;
    if (timeout < 0) break;
    std::vector<pollfd> fds;
    fds.push_back({listen_fd_, POLLIN, 0});
    fds.push_back({loop.extra_fd, POLLIN, 0});
    for (int c : clients_) fds.push_back({c, POLLIN, 0});
    const int r = poll(fds.data(), fds.size(), timeout);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    if (fds[0].revents & POLLIN) {
      const int c = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      ucred peer{};
      socklen_t len = sizeof peer;
      if (c >= 0 && getsockopt(c, SOL_SOCKET, SO_PEERCRED, &peer, &len) == 0 &&
          peer.uid == getuid()) {
        clients_.push_back(c);
      } else if (c >= 0) {
        close(c);
      }
    }
    if (loop.extra_fd >= 0 && (fds[1].revents & POLLIN) && loop.on_extra) loop.on_extra();
    for (size_t i = 2; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const int c = fds[i].fd;
      posix_frame::Header h{};
      bool ok = read_all(c, &h, sizeof h) && h.size <= posix_frame::kMaxPayload &&
                read_all(c, payload.data(), h.size);
      if (ok) {
        const int32_t reply = h.kind == wire::kCopyDataKind && loop.on_command
                                  ? loop.on_command(c, payload.data(), h.size)
                                  : 0;
        ok = write_all(c, &reply, sizeof reply);
      }
      if (!ok) {
        close(c);
        for (size_t k = 0; k < clients_.size(); ++k) {
          if (clients_[k] == c) {
            clients_.erase(clients_.begin() + static_cast<long>(k));
            break;
          }
        }
        if (loop.on_gone) loop.on_gone(c);
      }
    }
  }
}

void PosixHost::shutdown() {
  while (!blocks_.empty()) remove_block(blocks_.back().name);
  for (int c : clients_) close(c);
  clients_.clear();
  if (listen_fd_ >= 0) close(listen_fd_);
  listen_fd_ = -1;
  if (!socket_path_.empty()) unlink(socket_path_.c_str());
  socket_path_.clear();
}

}  // namespace lumo::server
