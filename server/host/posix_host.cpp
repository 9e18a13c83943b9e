#include "server/host/posix_host.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
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

bool PosixHost::start() {
  char dir[160];
  if (!posix_names::runtime_dir(dir, sizeof dir) || !posix_names::ensure_private_dir(dir)) {
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

// A channel offered by a program: a shared memory object of ours.
// The object must be sealed against shrinking and growing: one the program
// could shrink after handing it over would fault the server on its next
// read.  A program that does not seal is served through frames.
Channel* accept_channel(int fd) {
  struct stat st;
  const int seals = fcntl(fd, F_GET_SEALS);
  if (fstat(fd, &st) != 0 || st.st_uid != getuid() ||
      st.st_size < static_cast<off_t>(sizeof(Channel)) || seals < 0 ||
      (seals & (F_SEAL_SHRINK | F_SEAL_GROW)) != (F_SEAL_SHRINK | F_SEAL_GROW)) {
    return nullptr;
  }
  void* base = mmap(nullptr, sizeof(Channel), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return base == MAP_FAILED ? nullptr : static_cast<Channel*>(base);
}

}  // namespace

void PosixHost::set_sleeping(uint32_t value) {
  for (Client& c : clients_) {
    if (c.channel) static_cast<Channel*>(c.channel)->server_sleeping.store(value, std::memory_order_seq_cst);
  }
}

void PosixHost::drop(size_t index, const Loop& loop) {
  // What the program posted before it went is drawn like what it was answered.
  if (clients_[index].posting) take_posted(clients_[index], loop);
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

// The program's standard error as the server writes it: a pipe opened
// afresh without waiting (its own description, so the program's writes
// keep waiting as they did); anything else as it came.
int standard_error_of_program(int passed) {
  struct stat st;
  if (fstat(passed, &st) != 0) {
    close(passed);
    return -1;
  }
  if (S_ISFIFO(st.st_mode)) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", passed);
    const int own = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own >= 0) {
      close(passed);
      return own;
    }
  }
  return passed;
}

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

bool PosixHost::read_input(Client& c, const Loop& loop) {
  unsigned char buffer[8192];
  iovec io{buffer, sizeof buffer};
  alignas(cmsghdr) char control[CMSG_SPACE(8 * sizeof(int))];
  for (;;) {
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(c.fd, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (n < 0 && errno == EINTR) continue;
    // Descriptors: the first one waits for the frame it came with (a
    // channel offer); any other is closed at once.  A failed read leaves
    // `msg` and `control` as they were (never written, or an earlier
    // read's descriptors, long closed): only a read that succeeded has any.
    for (cmsghdr* m = n >= 0 ? CMSG_FIRSTHDR(&msg) : nullptr; m; m = CMSG_NXTHDR(&msg, m)) {
      if (m->cmsg_level != SOL_SOCKET || m->cmsg_type != SCM_RIGHTS) continue;
      const size_t count = (m->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (size_t i = 0; i < count; ++i) {
        int fd;
        std::memcpy(&fd, CMSG_DATA(m) + i * sizeof(int), sizeof fd);
        if (c.passed < 0 && !c.channel) {
          c.passed = fd;
        } else if (i == 1 && c.passed_err < 0 && !c.channel) {
          c.passed_err = fd;  // comes with a channel offer
        } else {
          close(fd);
        }
      }
    }
    if (n == 0) return false;  // the program is gone
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    // A connection with a channel only sends wake-up bytes.
    if (!c.channel) c.in.insert(c.in.end(), buffer, buffer + n);
    // Complete frames are handled as they come.
    size_t used = 0;
    while (!c.channel && c.in.size() - used >= sizeof(posix_frame::Header)) {
      posix_frame::Header h;
      std::memcpy(&h, c.in.data() + used, sizeof h);
      if (h.size > posix_frame::kMaxPayload) return false;
      if (c.in.size() - used < sizeof h + h.size) break;
      if (!handle_frame(c, loop, h.kind, c.in.data() + used + sizeof h, h.size)) return false;
      used += sizeof h + h.size;
    }
    if (c.channel) {
      c.in.clear();  // from the handshake on only wake-up bytes come
    } else {
      c.in.erase(c.in.begin(), c.in.begin() + static_cast<long>(used));
    }
    c.waiting_since = c.in.empty() && c.out.empty() ? 0
                      : c.waiting_since ? c.waiting_since
                                        : posix_channel::monotonic_ns();
    if (static_cast<size_t>(n) < sizeof buffer) return true;
  }
}

bool PosixHost::handle_frame(Client& c, const Loop& loop, uint32_t kind, const unsigned char* bytes,
                             uint32_t size) {
  int32_t reply = 0;
  if (kind == posix_channel::kHandshakeKind) {
    Channel* ch = c.passed >= 0 ? accept_channel(c.passed) : nullptr;
    if (ch) {
      c.channel = ch;
      c.seen = ch->request.load(std::memory_order_acquire);
      c.posting = loop.on_posted && ch->post_offer == posix_channel::kPostOffer;
      c.ring.taken = c.ring.seen_posted = ch->posted.load(std::memory_order_acquire);
      if (loop.answer) ch->answer.answers_kept = channel::kAnswersKept;
      ch->taken.store(c.ring.taken, std::memory_order_seq_cst);
      if (c.posting) {
        ch->post_accepted = 1;
        ch->pixel_records = channel::kPixelRecords;
        ch->block_records = channel::kBlockRecords;
        if (loop.window_bits) {
          ch->windows.store(loop.window_bits(), std::memory_order_seq_cst);
          ch->windows_kept = 1;
        }
      }
    }
    reply = ch ? 1 : 0;
    if (ch && c.passed_err >= 0) {
      c.err = standard_error_of_program(c.passed_err);
      c.passed_err = -1;
    }
  } else if (kind == wire::kCopyDataKind && loop.on_command) {
    std::memcpy(command_.data(), bytes, size);
    reply = loop.on_command(c.fd, command_.data(), size, nullptr, 0);
    // A program on frames is answered when its drawing is done.
    while (loop.holding && loop.on_slice && loop.holding(c.fd) && loop.on_slice()) {
    }
    if (loop.held_reply) reply = loop.held_reply(c.fd, reply);
    mend_lost_blocks(loop);
  }
  // A descriptor belongs only to the frame it came with.
  if (c.passed >= 0) {
    close(c.passed);
    c.passed = -1;
  }
  if (c.passed_err >= 0) {
    close(c.passed_err);
    c.passed_err = -1;
  }
  const unsigned char* r = reinterpret_cast<const unsigned char*>(&reply);
  c.out.insert(c.out.end(), r, r + sizeof reply);
  return write_output(c);
}

// A program that never reads its replies fills the socket and then this
// buffer; past it the connection is dropped.
constexpr size_t kMaxUnwritten = 64 * 1024;

bool PosixHost::write_output(Client& c) {
  while (!c.out.empty()) {
    const ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      break;
    }
    c.out.erase(c.out.begin(), c.out.begin() + n);
  }
  if (c.out.empty()) {
    if (c.in.empty()) c.waiting_since = 0;
  } else if (!c.waiting_since) {
    c.waiting_since = posix_channel::monotonic_ns();
  }
  return c.out.size() <= kMaxUnwritten;
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
      if (clients_[k].waiting_since && now - clients_[k].waiting_since > kStuckNs) drop(k, loop);
    }
    std::vector<pollfd> fds;
    fds.push_back({listen_fd_, POLLIN, 0});
    fds.push_back({loop.extra_fd, POLLIN, 0});
    fds.push_back({loop.wake_fd, POLLIN, 0});
    bool stuck = false;
    for (const Client& c : clients_) {
      fds.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
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
  const bool had_blocks = !blocks_.empty();
  while (!blocks_.empty()) remove_block(blocks_.back().name);
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
