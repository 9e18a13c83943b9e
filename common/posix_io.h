/* Whole reads and writes on a connected socket, retried after signals.
 * Writes never raise SIGPIPE: a vanished peer is a failed write. */
#ifndef LUMO_COMMON_POSIX_IO_H
#define LUMO_COMMON_POSIX_IO_H

#include <cerrno>
#include <cstddef>
#include <sys/socket.h>
#include <sys/types.h>

namespace lumo::posix_io {

inline bool read_all(int fd, void* data, size_t size) {
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

inline bool write_all(int fd, const void* data, size_t size) {
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

}  // namespace lumo::posix_io

#endif
