#include "server/host/posix_host.h"

#include <algorithm>
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
#include "common/posix_channel.h"
#include "common/posix_frame.h"
#include "common/posix_io.h"
#include "common/posix_names.h"

namespace lumo::server {
namespace {

using posix_io::read_all;
using posix_io::write_all;

}  // namespace

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

namespace {

using posix_channel::Channel;

constexpr long long kMinSpinNs = 2000;
constexpr long long kMaxSpinNs = 50000;
constexpr long long kIdleCallNs = 20000000;  // on_idle runs at least this often while busy
constexpr long long kSocketLookNs = 1000000;  // sockets are looked at this often while busy

// A channel offered by a program: a shared memory object of ours.
Channel* accept_channel(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_uid != getuid() ||
      st.st_size < static_cast<off_t>(sizeof(Channel))) {
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
  const int fd = clients_[index].fd;
  if (clients_[index].channel) munmap(clients_[index].channel, sizeof(Channel));
  close(fd);
  clients_.erase(clients_.begin() + static_cast<long>(index));
  if (loop.on_gone) loop.on_gone(fd);
}

int PosixHost::take_posted(Client& c, const Loop& loop) {
  Channel* ch = static_cast<Channel*>(c.channel);
  // Sequentially consistent: this load follows raising server_sleeping, and
  // the program's store of `posted` precedes its look at that flag.
  const uint32_t posted = ch->posted.load(std::memory_order_seq_cst);
  uint32_t taken = c.taken;
  if (posted - taken > posix_channel::kPostSlots) {
    // Not a count this program's ring can hold: nothing in it can be trusted.
    taken = posted;
    ch->taken.store(taken, std::memory_order_seq_cst);
  }
  int done = 0;
  for (; taken != posted; ++done) {
    posix_channel::PostSlot& slot = ch->slots[taken % posix_channel::kPostSlots];
    unsigned char command[sizeof slot.command];
    const uint32_t size = slot.size;
    if (size <= sizeof command) {
      std::memcpy(command, slot.command, size);
      loop.on_posted(c.fd, command, size, slot.block);
    }
    ++taken;
    ch->taken.store(taken, std::memory_order_seq_cst);
    // A program waiting for room is woken once half the ring is free.
    if (ch->space_sleeping.load(std::memory_order_seq_cst) &&
        ch->posted.load(std::memory_order_relaxed) - taken <= posix_channel::kPostSlots / 2) {
      posix_channel::futex_wake(&ch->taken);
    }
  }
  c.taken = taken;
  return done;
}

int PosixHost::take_all_posted(const Loop& loop) {
  int done = 0;
  for (Client& c : clients_) {
    if (c.posting) done += take_posted(c, loop);
  }
  return done;
}

int PosixHost::serve_channels(const Loop& loop) {
  if (loop.windows_gone) {
    const uint32_t gone = loop.windows_gone();
    if (gone != windows_gone_) {
      windows_gone_ = gone;
      for (Client& c : clients_) {
        if (c.posting) static_cast<Channel*>(c.channel)->hold.store(1, std::memory_order_seq_cst);
      }
    }
  }
  int served = take_all_posted(loop);
  for (Client& c : clients_) {
    if (!c.channel) continue;
    Channel* ch = static_cast<Channel*>(c.channel);
    const uint32_t request = ch->request.load(std::memory_order_seq_cst);
    if (request == c.seen) continue;
    c.seen = request;
    ++served;
    // Everything any program posted before this command comes first.
    served += take_all_posted(loop);
    // The command is copied before it is looked at: the program may write
    // the next one as soon as it has its reply.
    const uint32_t size = ch->size;
    const bool valid = ch->kind == wire::kCopyDataKind && size <= posix_channel::kMaxCommand;
    if (valid) std::memcpy(command_.data(), ch->command, size);
    int32_t reply = 0;
    const bool early = valid && loop.on_early_reply &&
                       loop.on_early_reply(c.fd, command_.data(), size, &reply);
    auto publish = [&](int32_t value) {
      if (c.posting) {
        const bool may = !loop.may_post || loop.may_post(c.fd);
        ch->hold.store(may ? 0 : 1, std::memory_order_seq_cst);
      }
      ch->reply = value;
      ch->reply_seq.store(request, std::memory_order_seq_cst);
      if (ch->client_sleeping.load(std::memory_order_seq_cst)) posix_channel::futex_wake(&ch->reply_seq);
    };
    if (early) publish(reply);
    const int32_t handled = valid && loop.on_command ? loop.on_command(c.fd, command_.data(), size) : 0;
    if (!early) publish(handled);
  }
  return served;
}

bool PosixHost::read_frame(Client& c, const Loop& loop) {
  if (c.channel) {
    // Only wake-up bytes arrive here; none (end of file) means the program is gone.
    char buf[64];
    const ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
  }
  posix_frame::Header h{};
  iovec io{&h, sizeof h};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr msg{};
  msg.msg_iov = &io;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t n;
  do {
    n = recvmsg(c.fd, &msg, MSG_WAITALL | MSG_CMSG_CLOEXEC);
  } while (n < 0 && errno == EINTR);
  int passed = -1;
  for (cmsghdr* m = CMSG_FIRSTHDR(&msg); m; m = CMSG_NXTHDR(&msg, m)) {
    if (m->cmsg_level == SOL_SOCKET && m->cmsg_type == SCM_RIGHTS) {
      std::memcpy(&passed, CMSG_DATA(m), sizeof passed);
    }
  }
  if (n != static_cast<ssize_t>(sizeof h)) {
    if (passed >= 0) close(passed);
    return false;
  }
  if (h.kind == posix_channel::kHandshakeKind) {
    Channel* ch = passed >= 0 ? accept_channel(passed) : nullptr;
    if (passed >= 0) close(passed);
    if (ch) {
      c.channel = ch;
      c.seen = ch->request.load(std::memory_order_acquire);
      c.posting = loop.on_posted && ch->post_offer == posix_channel::kPostOffer;
      c.taken = ch->posted.load(std::memory_order_acquire);
      ch->taken.store(c.taken, std::memory_order_seq_cst);
      if (c.posting) ch->post_accepted = 1;
    }
    const int32_t answer = ch ? 1 : 0;
    return write_all(c.fd, &answer, sizeof answer);
  }
  if (passed >= 0) close(passed);
  if (h.size > posix_frame::kMaxPayload || !read_all(c.fd, command_.data(), h.size)) return false;
  const int32_t reply =
      h.kind == wire::kCopyDataKind && loop.on_command ? loop.on_command(c.fd, command_.data(), h.size) : 0;
  return write_all(c.fd, &reply, sizeof reply);
}

void PosixHost::serve(const Loop& loop) {
  command_.assign(posix_frame::kMaxPayload, 0);
  if (spin_ns_ < 0) spin_ns_ = sysconf(_SC_NPROCESSORS_ONLN) > 1 ? 20000 : 0;
  while (!stop_) {
    int timeout = loop.on_idle ? loop.on_idle() : 200;
    if (timeout < 0) break;
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
        continue;
      }
      if (loop.on_spare && loop.on_spare()) {
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
    std::vector<pollfd> fds;
    fds.push_back({listen_fd_, POLLIN, 0});
    fds.push_back({loop.extra_fd, POLLIN, 0});
    for (const Client& c : clients_) fds.push_back({c.fd, POLLIN, 0});
    const int r = poll(fds.data(), fds.size(), timeout);
    set_sleeping(0);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    if (fds[0].revents & POLLIN) {
      const int c = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      ucred peer{};
      socklen_t len = sizeof peer;
      if (c >= 0 && getsockopt(c, SOL_SOCKET, SO_PEERCRED, &peer, &len) == 0 &&
          peer.uid == getuid()) {
        clients_.push_back({c, nullptr, 0, false, 0});
      } else if (c >= 0) {
        close(c);
      }
    }
    if (loop.extra_fd >= 0 && (fds[1].revents & POLLIN) && loop.on_extra) loop.on_extra();
    for (size_t i = fds.size(); i-- > 2;) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      size_t k = 0;
      while (k < clients_.size() && clients_[k].fd != fds[i].fd) ++k;
      if (k == clients_.size()) continue;
      if (!read_frame(clients_[k], loop)) drop(k, loop);
    }
  }
}

void PosixHost::shutdown() {
  while (!blocks_.empty()) remove_block(blocks_.back().name);
  for (Client& c : clients_) {
    if (c.channel) munmap(c.channel, sizeof(posix_channel::Channel));
    close(c.fd);
  }
  clients_.clear();
  if (listen_fd_ >= 0) close(listen_fd_);
  listen_fd_ = -1;
  if (!socket_path_.empty()) unlink(socket_path_.c_str());
  socket_path_.clear();
}

}  // namespace lumo::server
