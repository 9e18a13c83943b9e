// The server "window" on POSIX: a Unix socket in the user's private runtime
// directory, named after the handle the server publishes.  One connection is
// kept open to the server in use; the server is alive while it is connected.
// Commands travel through a shared-memory channel handed to the server over
// that socket (see common/posix_channel.h); a server that declines the
// channel is sent frames on the socket instead.  Drawing that needs no
// answer is posted into the channel's ring when the server takes it.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <sys/un.h>
#include <unistd.h>

#include <new>

#include "common/channel_ring.h"
#include "common/posix_channel.h"
#include "common/posix_frame.h"
#include "common/posix_io.h"
#include "common/posix_names.h"
#include "lib/platform/platform.h"
#include "lib/platform/posix/posix_internal.h"

namespace lumo::platform {
namespace {

using posix_channel::Channel;

int g_fd = -1;
ServerWindow g_connected = 0;
Channel* g_channel = nullptr;
bool g_posting = false;  // the server takes posted commands on this channel
channel::RingWriter g_ring;  // the program's side of the posting ring
// The last command's answer waits in the channel (last_answer).
bool g_answered = false;
const unsigned char* g_attached = nullptr;  // the block that goes with the next command
// How long to spin for a reply before sleeping; adapts to the server.
long long g_spin_ns = -1;
constexpr long long kMinSpinNs = 5000;
constexpr long long kMaxSpinNs = 100000;
constexpr long kLivenessCheckNs = 50000000;  // a sleeping wait looks at the server this often

void disconnect() {
  if (g_channel) munmap(g_channel, sizeof(Channel));
  g_channel = nullptr;
  g_posting = false;
  if (g_fd >= 0) close(g_fd);
  g_fd = -1;
  g_connected = 0;
}

// On one core spinning only delays the server.
long long initial_spin() { return sysconf(_SC_NPROCESSORS_ONLN) > 1 ? 20000 : 0; }

// Offers the server a channel; false leaves the connection on frames.
bool open_channel(int fd) {
  // LUMO_CHANNEL=0 keeps the connection on frames, as a system without
  // sealed shared memory serves it: for comparing the two paths.
  const char* use = std::getenv("LUMO_CHANNEL");
  if (use && std::strcmp(use, "0") == 0) return false;
  const int memory = memfd_create("lumo-channel", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (memory < 0) return false;
  void* base = MAP_FAILED;
  // Sealed at its size: the server maps only a channel nobody can shrink.
  if (ftruncate(memory, sizeof(Channel)) == 0 &&
      fcntl(memory, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) == 0) {
    base = mmap(nullptr, sizeof(Channel), PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0);
  }
  bool accepted = false;
  if (base != MAP_FAILED) {
    Channel* offered = new (base) Channel();
    // LUMO_POST=0 keeps every command answered: the slower path, for
    // comparing the two and for finding a fault in the fast one.
    const char* post = std::getenv("LUMO_POST");
    if (!(post && std::strcmp(post, "0") == 0)) offered->post_offer = posix_channel::kPostOffer;
    const posix_frame::Header header{posix_channel::kHandshakeKind, 0};
    iovec io{const_cast<posix_frame::Header*>(&header), sizeof header};
    // The program's standard error goes with the channel: the server says
    // there what becomes of this program's pictures and what it refused.
    // Not when the program started with it closed and this connection took
    // its number: the server would hold the program's own end of the
    // connection, never see it end, and outlive the program.
    const int passed[2] = {memory, STDERR_FILENO};
    const bool own_descriptor = fd == STDERR_FILENO || memory == STDERR_FILENO;
    const int count = !own_descriptor && fcntl(STDERR_FILENO, F_GETFD) >= 0 ? 2 : 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = CMSG_SPACE(static_cast<size_t>(count) * sizeof(int));
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(static_cast<size_t>(count) * sizeof(int));
    std::memcpy(CMSG_DATA(c), passed, static_cast<size_t>(count) * sizeof(int));
    int32_t answer = 0;
    ssize_t n;
    do {
      n = sendmsg(fd, &msg, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof header)) {
      do {
        n = recv(fd, &answer, sizeof answer, MSG_WAITALL);
      } while (n < 0 && errno == EINTR);
      accepted = n == static_cast<ssize_t>(sizeof answer) && answer == 1;
    }
  }
  close(memory);
  if (accepted) {
    g_channel = static_cast<Channel*>(base);
    g_posting = g_channel->post_accepted == 1;
    g_ring.reset(g_channel->taken.load(std::memory_order_acquire),
                 g_channel->pixel_records == channel::kPixelRecords,
                 g_channel->block_records == channel::kBlockRecords);
  } else if (base != MAP_FAILED) {
    munmap(base, sizeof(Channel));
  }
  return accepted;
}

// The directory must be ours and closed to everybody else.
bool private_directory_ok(const char* dir) {
  struct stat st;
  return lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

// A connection to the socket at `path` served by a process of this user;
// -1 (errno set) when there is none.
int connect_socket(const char* path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof addr.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::strcpy(addr.sun_path, path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int r;
  do {
    r = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (r != 0 && errno == EINTR);
  ucred peer{};
  socklen_t len = sizeof peer;
  if (r != 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != getuid()) {
    const int why = r != 0 ? errno : EPERM;
    close(fd);
    errno = why;
    return -1;
  }
  return fd;
}

bool connect_to(ServerWindow window) {
  disconnect();
  // The socket in the runtime folder, else its name beside the server's
  // blocks (where a program whose runtime folder differs finds it).
  char dir[160], path[200];
  int fd = -1;
  errno = ENOENT;
  if (posix_names::runtime_dir(dir, sizeof dir) && private_directory_ok(dir) &&
      posix_names::socket_path(static_cast<long long>(window), path, sizeof path)) {
    fd = connect_socket(path);
  }
  if (fd < 0 && posix_names::block_dir(dir, sizeof dir) && private_directory_ok(dir) &&
      posix_names::block_socket_path(static_cast<long long>(window), path, sizeof path)) {
    const int first = errno;
    fd = connect_socket(path);
    if (fd < 0 && errno == ENOENT) errno = first;
  }
  if (fd < 0) {
    posix::set_error(errno);
    return false;
  }
  g_fd = fd;
  g_connected = window;
  if (g_spin_ns < 0) g_spin_ns = initial_spin();
  open_channel(fd);
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

// While a program only posts, a server that died while it was busy (not
// asleep, so no wake-up is written to it) would be noticed only when the
// ring is full: the connection is looked at every few milliseconds, on a
// clock that costs no system call, read every 32nd post (a program that
// posts seldom finds a dead server when it wakes it).
constexpr long long kAliveCheckNs = 5000000;
long long g_alive_checked = 0;
unsigned g_posts = 0;

bool server_alive_lately() {
  if (++g_posts % 32 != 0) return true;
  timespec t;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
  const long long now = t.tv_sec * 1000000000LL + t.tv_nsec;
  if (now - g_alive_checked < kAliveCheckNs) return true;
  g_alive_checked = now;
  return connection_alive();
}

bool write_all(const void* data, size_t size) { return posix_io::write_all(g_fd, data, size); }
bool read_all(void* data, size_t size) { return posix_io::read_all(g_fd, data, size); }

void adapt_spin(long long took) {
  g_spin_ns = channel::adapted_spin(g_spin_ns, took, kMinSpinNs, kMaxSpinNs);
}

// A sleeping server is woken once: the flag is taken down with the byte, so
// what is posted before the server is up again sends nothing more.
bool wake_server(Channel* ch, std::memory_order order = std::memory_order_seq_cst) {
  if (!ch->server_sleeping.load(order) ||
      !ch->server_sleeping.exchange(0, std::memory_order_seq_cst)) {
    return true;
  }
  const char wake = posix_channel::kWakeByte;
  return send(g_fd, &wake, 1, MSG_NOSIGNAL) == 1;
}

// Waits until `done` holds: spins for the spin time, then sleeps on `word`
// with `sleeping` raised, looking at the server now and then.  False when
// the server has gone.
// A wait for room spins not at all: half a ring is a good while of the
// server's work, and the server wakes the program when it is done.
template <typename Done>
bool wait_for(std::atomic<uint32_t>* word, std::atomic<uint32_t>* sleeping, Done done,
              bool for_reply = true) {
  const long long start = posix_channel::monotonic_ns();
  int spins = 0;
  while (for_reply && !done()) {
    posix_channel::cpu_relax();
    if (++spins % 64 == 0 && posix_channel::monotonic_ns() - start > g_spin_ns) break;
  }
  while (!done()) {
    sleeping->store(1, std::memory_order_seq_cst);
    const uint32_t seen = word->load(std::memory_order_seq_cst);
    if (!done()) {
      const timespec limit{0, kLivenessCheckNs};
      if (posix_channel::futex_wait(word, seen, &limit) != 0 && errno == ETIMEDOUT && !done() &&
          !connection_alive()) {
        sleeping->store(0, std::memory_order_relaxed);
        return false;
      }
    }
    sleeping->store(0, std::memory_order_relaxed);
  }
  if (for_reply) adapt_spin(posix_channel::monotonic_ns() - start);
  return true;
}

// One command through the channel: publish, wake the server if it sleeps,
// then spin briefly and sleep on the reply word.
bool channel_round_trip(const CopyData* record, int32_t* reply) {
  Channel* ch = g_channel;
  ch->kind = static_cast<uint32_t>(record->kind);
  ch->size = record->size;
  std::memcpy(ch->command, record->data, record->size);
  const uint32_t extent =
      g_attached && record->size >= 1
          ? static_cast<uint32_t>(wire::sent_block_extent(*static_cast<const char*>(record->data), g_attached))
          : 0;
  // The arguments and what follows them; the drawing state (shared by
  // design between programs that joined one window) is read in place.
  if (extent) std::memcpy(ch->block + wire::kArg1, g_attached + wire::kArg1, extent - wire::kArg1);
  ch->block_bytes = extent;
  g_attached = nullptr;
  const uint32_t seq = ch->request.load(std::memory_order_relaxed) + 1;
  ch->request.store(seq, std::memory_order_seq_cst);
  if (!wake_server(ch)) return false;
  if (!wait_for(&ch->reply_seq, &ch->client_sleeping,
                [&] { return ch->reply_seq.load(std::memory_order_acquire) == seq; })) {
    return false;
  }
  *reply = ch->reply;
  g_answered = ch->answer.answers_kept == channel::kAnswersKept && ch->answer.answer_for == seq;
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

bool ready_for_command(ServerWindow window) {
  // With a channel the round trip itself notices a server that has gone.
  if (g_channel && g_fd >= 0 && g_connected == window) return true;
  return server_window_exists(window);
}

Posted post_command(ServerWindow window, const CopyData* record, const unsigned char* block,
                    size_t block_bytes) {
  const unsigned char* command = record ? static_cast<const unsigned char*>(record->data) : nullptr;
  if (!g_posting || g_fd < 0 || g_connected != window || !record || !g_ring.takes(command[0]) ||
      !channel::RingWriter::may_post(g_channel, command, record->size, static_cast<uint32_t>(block_bytes))) {
    return Posted::kSendInstead;
  }
  Channel* ch = g_channel;
  const bool posted = g_ring.post(ch, command, block, static_cast<uint32_t>(block_bytes), [&](auto half_free) {
    return wait_for(&ch->taken, &ch->space_sleeping, half_free, false);
  });
  if (!posted || !wake_server(ch, std::memory_order_relaxed) || !server_alive_lately()) {
    posix::set_error(ECONNRESET);
    disconnect();
    return Posted::kGone;
  }
  return Posted::kPosted;
}

Posted post_pixel(ServerWindow window, unsigned char window_code, const unsigned char* head, int32_t x,
                  int32_t y, int32_t colour) {
  const unsigned char command[wire::kWindowCommandLength] = {static_cast<unsigned char>(wire::kCmdDraw),
                                                             window_code, 0};
  if (!g_posting || g_fd < 0 || g_connected != window ||
      !channel::RingWriter::may_post(g_channel, command, sizeof command, wire::kDataArea)) {
    return Posted::kSendInstead;
  }
  Channel* ch = g_channel;
  const int posted = g_ring.post_pixel(ch, window_code, head, x, y, colour, [&](auto half_free) {
    return wait_for(&ch->taken, &ch->space_sleeping, half_free, false);
  });
  if (posted == 0) return Posted::kSendInstead;
  if (posted < 0 || !wake_server(ch, std::memory_order_relaxed) || !server_alive_lately()) {
    posix::set_error(ECONNRESET);
    disconnect();
    return Posted::kGone;
  }
  return Posted::kPosted;
}

void attach_block(const unsigned char* view) { g_attached = view; }

bool last_answer(char* out, size_t size) {
  return g_answered && g_channel && channel::copy_answer(*g_channel, out, size);
}

bool send_copy_data(ServerWindow window, const CopyData* record, int32_t* reply) {
  g_answered = false;
  if (!record || record->size > posix_frame::kMaxPayload) return false;
  if (!(g_fd >= 0 && g_connected == window) && !connect_to(window)) return false;
  if (g_channel) {
    if (channel_round_trip(record, reply)) return true;
    posix::set_error(ECONNRESET);
    disconnect();
    return false;
  }
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
