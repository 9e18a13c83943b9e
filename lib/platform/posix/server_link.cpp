// The server "window" on POSIX: a Unix socket in the user's private runtime
// directory, named after the handle the server publishes.  One connection is
// kept open to the server in use; the server is alive while it is connected.
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/posix_frame.h"
#include "common/posix_names.h"
#include "lib/platform/platform.h"
#include "lib/platform/posix/posix_internal.h"

namespace lumo::platform {
namespace {

int g_fd = -1;
ServerWindow g_connected = 0;

void disconnect() {
  if (g_fd >= 0) close(g_fd);
  g_fd = -1;
  g_connected = 0;
}

// The directory must be ours and closed to everybody else.
bool private_directory_ok() {
  char dir[160];
  struct stat st;
  if (!posix_names::runtime_dir(dir, sizeof dir) || lstat(dir, &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

bool connect_to(ServerWindow window) {
  disconnect();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (!private_directory_ok() ||
      !posix_names::socket_path(static_cast<long long>(window), addr.sun_path,
                                sizeof addr.sun_path)) {
    posix::set_error(ENOENT);
    return false;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    posix::set_error(errno);
    return false;
  }
  int r;
  do {
    r = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (r != 0 && errno == EINTR);
  ucred peer{};
  socklen_t len = sizeof peer;
  if (r != 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 ||
      peer.uid != getuid()) {
    posix::set_error(r != 0 ? errno : EPERM);
    close(fd);
    return false;
  }
  g_fd = fd;
  g_connected = window;
  return true;
}

bool connection_alive() {
  pollfd p{g_fd, POLLIN | POLLRDHUP, 0};
  int r;
  do {
    r = poll(&p, 1, 0);
  } while (r < 0 && errno == EINTR);
  if (r < 0 || (p.revents & (POLLHUP | POLLERR | POLLRDHUP | POLLNVAL))) return false;
  return true;
}

bool write_all(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = send(g_fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool read_all(void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = recv(g_fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool server_window_exists(ServerWindow window) {
  if (window <= 0) return false;
  if (g_fd >= 0 && g_connected == window) {
    if (connection_alive()) return true;
    disconnect();
    return false;
  }
  return connect_to(window);
}

bool send_copy_data(ServerWindow window, const CopyData* record, int32_t* reply) {
  if (!record || record->size > posix_frame::kMaxPayload) return false;
  if (!(g_fd >= 0 && g_connected == window) && !connect_to(window)) return false;
  const posix_frame::Header header{static_cast<uint32_t>(record->kind), record->size};
  int32_t answer = 0;
  if (!write_all(&header, sizeof header) || !write_all(record->data, record->size) ||
      !read_all(&answer, sizeof answer)) {
    posix::set_error(errno ? errno : ECONNRESET);
    disconnect();
    return false;
  }
  *reply = answer;
  return true;
}

}  // namespace lumo::platform
