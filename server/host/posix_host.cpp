#include "server/host/posix_host.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/lumo_wire.h"
#include "common/posix_channel.h"
#include "common/posix_frame.h"
#include "common/posix_names.h"
#include "server/host/block_guard.h"

namespace lumo::server {

PosixHost::~PosixHost() { shutdown(); }

namespace {

// The sockets, and their names in the block folder, that killed servers
// left in `dir`: named by a process that is gone, and nobody listens there
// (a server in another process namespace still answers, and is kept).
void remove_dead_sockets(const char* dir) {
  DIR* d = opendir(dir);
  if (!d) return;
  while (const dirent* e = readdir(d)) {
    char* end = nullptr;
    const long long pid = std::strtoll(e->d_name, &end, 10);
    if (pid <= 0 || std::strcmp(end, ".sock") != 0) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const int n = std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/%s", dir, e->d_name);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof addr.sun_path) continue;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 &&
        (errno == ECONNREFUSED || errno == ENOENT)) {
      unlink(addr.sun_path);
    }
    close(fd);
  }
  closedir(d);
}

}  // namespace

bool PosixHost::start() {
  char dir[160];
  if (!posix_names::runtime_dir(dir, sizeof dir) || !posix_names::ensure_private_dir(dir)) {
    failure_ = std::string("cannot use the private directory ") + dir;
    return false;
  }
  remove_dead_sockets(dir);
  handle_ = static_cast<long long>(getpid());
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (!posix_names::socket_path(handle_, addr.sun_path, sizeof addr.sun_path)) {
    failure_ = "the socket's path is too long";
    return false;
  }
  unlink(addr.sun_path);  // a leftover of an earlier process with our pid
  listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, 16) != 0) {
    failure_ = std::string("cannot listen on ") + addr.sun_path + ": " + strerror(errno);
    return false;
  }
  socket_path_ = addr.sun_path;
  link_socket();
  // As many connections as the system lets this process have, less a
  // margin for blocks and files; one descriptor is kept in reserve to refuse
  // a connection cleanly when they run out anyway.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    if (files.rlim_cur < files.rlim_max) {
      files.rlim_cur = files.rlim_max;
      setrlimit(RLIMIT_NOFILE, &files);
      getrlimit(RLIMIT_NOFILE, &files);
    }
    const rlim_t usable = files.rlim_cur > 256 ? files.rlim_cur - 192 : 64;
    max_clients_ = static_cast<size_t>(std::min<rlim_t>(usable, 8192));
  }
  reserve_fd_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
  // Any program of the user can cut a block short under the server.
  if (!block_guard::install()) {
    std::fprintf(stderr, "lumoview: cannot guard the shared blocks: %s\n", strerror(errno));
  }
  return true;
}

// The socket is named in the block folder too, where every program of the
// user that finds this server's block looks, whatever its
// $XDG_RUNTIME_DIR: programs started from a script's bare environment or
// another login reach the server a desktop program started.
void PosixHost::link_socket() {
  char link[200], dir[160];
  if (!posix_names::block_socket_path(handle_, link, sizeof link) || socket_path_ == link) return;
  if (!posix_names::block_dir(dir, sizeof dir) || !posix_names::ensure_private_dir(dir)) return;
  remove_dead_sockets(dir);
  unlink(link);  // a leftover of an earlier process with our pid
  if (symlink(socket_path_.c_str(), link) != 0) {
    std::fprintf(stderr, "lumoview: cannot name the socket in %s: %s\n", dir, strerror(errno));
    return;
  }
  socket_link_ = link;
}

namespace {

using posix_channel::Channel;

constexpr long long kMinSpinNs = 2000;
constexpr long long kMaxSpinNs = 50000;
constexpr long long kIdleCallNs = 20000000;  // on_idle runs at least this often while busy
constexpr long long kSocketLookNs = 1000000;  // sockets are looked at this often while busy
// After a look that found only a trickle of posted records (see
// posix_host_channels.cpp), the ring is left to fill this long.
constexpr long long kGatherNs = 3000;
constexpr long long kStuckNs = 5000000000LL;  // a half-sent frame or unread replies, at most
constexpr int kStuckLookMs = 500;
constexpr int kSecondLookMs = 1;
constexpr long long kNameLookNs = 500000000;  // the server block's name is looked for this often

}  // namespace

void PosixHost::set_sleeping(uint32_t value) {
  for (Client& c : clients_) {
    if (c.channel) static_cast<Channel*>(c.channel)->server_sleeping.store(value, std::memory_order_seq_cst);
  }
}

void PosixHost::drop(size_t index, const Loop& loop) {
  // What the program posted before it went is drawn like what it was
  // answered, in its turn: while some of it waits (for drawing it left or a
  // window's PNG) the program stays, departed, and the others are served.
  Client& c = clients_[index];
  if (c.posting) {
    take_posted(c, loop);
    if (posted_left(c)) {
      c.departed = true;
      return;
    }
  }
  Client gone = std::move(clients_[index]);
  const int fd = gone.fd;
  if (gone.channel) munmap(gone.channel, sizeof(Channel));
  if (gone.passed >= 0) close(gone.passed);
  if (gone.passed_err >= 0) close(gone.passed_err);
  close(fd);
  clients_.erase(clients_.begin() + static_cast<long>(index));
  // Its program may still be told what became of its windows (its
  // pictures are written now); then its standard error is let go, so that
  // nothing waits on the server for the end of that output.
  departing_ = &gone;
  if (loop.on_gone) loop.on_gone(fd);
  departing_ = nullptr;
  if (gone.err >= 0) close(gone.err);
}

PosixHost::Client* PosixHost::client_of(int fd) {
  if (departing_ && departing_->fd == fd) return departing_;
  for (Client& c : clients_) {
    if (c.fd == fd) return &c;
  }
  return nullptr;
}

namespace {

// Writes the line only when that cannot block: a file takes it, a socket is
// sent to without waiting, anything else only when poll finds room.
bool write_without_waiting(int fd, const std::string& line) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  ssize_t n;
  if (S_ISSOCK(st.st_mode)) {
    do {
      n = send(fd, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(line.size());
  }
  if (!S_ISREG(st.st_mode)) {
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, 0) != 1 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) || !(p.revents & POLLOUT)) {
      return false;
    }
  }
  do {
    n = write(fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(line.size());
}

}  // namespace

void PosixHost::tell(int client, const std::string& line) {
  Client* c = client_of(client);
  if (!c || c->err < 0 || c->told > kMaxToldLines) return;
  // One line of at most a pipe's atomic size, so lines never interleave.
  std::string text = line.substr(0, 1000);
  if (++c->told > kMaxToldLines) text = "lumoview: more in the server's log";
  text += '\n';
  write_without_waiting(c->err, text);  // a line that would wait is dropped
}

std::function<void(const std::string&)> PosixHost::teller(int client) {
  Client* c = client_of(client);
  if (!c || c->err < 0) return nullptr;
  const int fd = fcntl(c->err, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  std::shared_ptr<int> kept(new int(fd), [](int* f) {
    close(*f);
    delete f;
  });
  return [kept](const std::string& line) { write_without_waiting(*kept, line.substr(0, 1000) + '\n'); };
}

void PosixHost::accept_client() {
  int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0 && (errno == EMFILE || errno == ENFILE) && reserve_fd_ >= 0) {
    // Out of descriptors: the reserve makes room to take the connection off
    // the queue and close it, so the program learns at once instead of
    // waiting and the server does not wake for it again and again.
    close(reserve_fd_);
    fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) close(fd);
    reserve_fd_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
    return;
  }
  if (fd < 0) return;
  ucred peer{};
  socklen_t len = sizeof peer;
  if (clients_.size() >= max_clients_ || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 ||
      peer.uid != getuid()) {
    close(fd);
    return;
  }
  Client c;
  c.fd = fd;
  clients_.push_back(std::move(c));
}

void PosixHost::serve(const Loop& loop) {
  command_.assign(posix_frame::kMaxPayload, 0);
  command_block_.assign(wire::kWindowBlockSize, 0);
  posted_block_.assign(wire::kWindowBlockSize, 0);
  if (spin_ns_ < 0) spin_ns_ = sysconf(_SC_NPROCESSORS_ONLN) > 1 ? 20000 : 0;
  while (!stop_) {
    int timeout = loop.on_idle ? loop.on_idle() : 200;
    if (timeout < 0) break;
    mend_lost_blocks(loop);
    if (loop.finding_block && posix_channel::monotonic_ns() - names_checked_ > kNameLookNs) {
      names_checked_ = posix_channel::monotonic_ns();
      renew_block_name(loop.finding_block());
    }
    // Busy: answer channels while requests keep coming within the spin time,
    // looking at the sockets now and then so that nobody waits for long.
    long long last = posix_channel::monotonic_ns();
    long long idle_call = last;
    const long long busy_since = last;
    bool look_now = false;
    while (!stop_) {
      const long long now = posix_channel::monotonic_ns();
      if (now - busy_since > kSocketLookNs) {
        look_now = true;
        break;
      }
      if (serve_channels(loop) > 0) {
        const long long gap = now - last;
        // Spin about twice the usual gap between commands, within bounds.
        if (spin_ns_ > 0) spin_ns_ = std::min(kMaxSpinNs, std::max(kMinSpinNs, std::max(spin_ns_, 2 * gap)));
        last = posix_channel::monotonic_ns();
        if (last - idle_call > kIdleCallNs && loop.on_idle) {
          idle_call = last;
          if (loop.on_idle() < 0) return;
        }
        if (trickle_) {
          while (posix_channel::monotonic_ns() - last < kGatherNs) posix_channel::cpu_relax();
        }
        continue;
      }
      if (loop.on_spare && loop.on_spare()) {
        mend_lost_blocks(loop);
        last = posix_channel::monotonic_ns();
        continue;
      }
      if (now - last >= spin_ns_) {
        if (spin_ns_ > kMinSpinNs) spin_ns_ = std::max(kMinSpinNs, spin_ns_ / 2);
        break;
      }
      posix_channel::cpu_relax();
    }
    // Asleep: flags up, one last look, then wait for sockets.
    if (look_now) {
      timeout = 0;
    } else {
      set_sleeping(1);
      if (serve_channels(loop) > 0) {
        set_sleeping(0);
        continue;
      }
    }
    // A connection stuck in the middle of a frame, or not reading its
    // replies, for this long is dropped.
    const long long now = posix_channel::monotonic_ns();
    for (size_t k = clients_.size(); k-- > 0;) {
      if (!clients_[k].departed && clients_[k].waiting_since && now - clients_[k].waiting_since > kStuckNs) {
        drop(k, loop);
      }
    }
    std::vector<pollfd> fds;
    fds.push_back({listen_fd_, POLLIN, 0});
    fds.push_back({loop.extra_fd, POLLIN, 0});
    fds.push_back({loop.wake_fd, POLLIN, 0});
    bool stuck = false;
    for (const Client& c : clients_) {
      if (c.departed) continue;  // its connection has ended
      // A connection whose frame is held is not read meanwhile: what it
      // sends waits in its socket, not in the server's memory.
      const short in = c.frame_held || c.frame_waits ? 0 : POLLIN;
      fds.push_back({c.fd, static_cast<short>(in | (c.out.empty() ? 0 : POLLOUT)), 0});
      stuck = stuck || c.waiting_since;
    }
    if (stuck && (timeout < 0 || timeout > kStuckLookMs)) timeout = kStuckLookMs;
    // A program publishes its posted records without a fence, so one
    // published just as the flags went up may not have been seen by the
    // last look, and its program may not have seen the flags: a second
    // look a millisecond later finds it.
    int r = poll(fds.data(), fds.size(), timeout < 0 || timeout > kSecondLookMs ? kSecondLookMs : timeout);
    if (r == 0 && (timeout < 0 || timeout > kSecondLookMs)) {
      if (serve_channels(loop) > 0) {
        set_sleeping(0);
        continue;
      }
      r = poll(fds.data(), fds.size(), timeout < 0 ? -1 : timeout - kSecondLookMs);
    }
    set_sleeping(0);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    if (fds[0].revents & POLLIN) accept_client();
    if (loop.extra_fd >= 0 && (fds[1].revents & POLLIN) && loop.on_extra) {
      loop.on_extra();
      mend_lost_blocks(loop);
    }
    for (size_t i = fds.size(); i-- > 3;) {
      if (!fds[i].revents) continue;
      size_t k = 0;
      while (k < clients_.size() && clients_[k].fd != fds[i].fd) ++k;
      if (k == clients_.size()) continue;
      bool keep = true;
      if (fds[i].revents & POLLOUT) keep = write_output(clients_[k]);
      if (keep && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) keep = read_input(clients_[k], loop);
      if (!keep) drop(k, loop);
    }
  }
}

void PosixHost::shutdown() {
  const bool had_blocks = !blocks_.empty() || !socket_link_.empty();
  while (!blocks_.empty()) remove_block(blocks_.back().name);
  if (!socket_link_.empty()) unlink(socket_link_.c_str());
  socket_link_.clear();
  char dir[200];
  if (had_blocks && posix_names::block_dir(dir, sizeof dir)) rmdir(dir);  // when nothing is left in it
  for (Client& c : clients_) {
    if (c.channel) munmap(c.channel, sizeof(posix_channel::Channel));
    if (c.passed >= 0) close(c.passed);
    if (c.passed_err >= 0) close(c.passed_err);
    if (c.err >= 0) close(c.err);
    close(c.fd);
  }
  clients_.clear();
  if (reserve_fd_ >= 0) close(reserve_fd_);
  reserve_fd_ = -1;
  if (listen_fd_ >= 0) close(listen_fd_);
  listen_fd_ = -1;
  if (!socket_path_.empty()) unlink(socket_path_.c_str());
  socket_path_.clear();
}

}  // namespace lumo::server
