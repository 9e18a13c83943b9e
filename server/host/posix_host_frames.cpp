// The POSIX host's programs on their connections: the frames they send
// (the handshake that gives a program its channel, and every command of a
// program served without one), and the replies going back.  A command whose
// answer waits for long drawing, or that itself waits while a window's PNG
// is written, holds back that connection's later frames, never the others.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/lumo_wire.h"
#include "common/posix_channel.h"
#include "common/posix_frame.h"
#include "server/host/posix_host.h"

namespace lumo::server {

namespace {

using posix_channel::Channel;

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

}  // namespace

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
    if (!take_frames(c, loop)) return false;
    if (static_cast<size_t>(n) < sizeof buffer) return true;
  }
}

PosixHost::Frame PosixHost::handle_frame(Client& c, const Loop& loop, uint32_t kind,
                                         const unsigned char* bytes, uint32_t size) {
  int32_t reply = 0;
  if (kind == wire::kCopyDataKind && loop.waits && loop.waits(c.fd, bytes, size, nullptr)) {
    c.frame_waits = true;
    return Frame::kWaits;
  }
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
    mend_lost_blocks(loop);
    // A program on frames is answered when its drawing is done; the
    // others are served meanwhile.
    c.frame_held = loop.holding && loop.holding(c.fd);
    c.frame_reply = reply;
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
  if (c.frame_held) return Frame::kTaken;
  return answer_frame(c, reply) ? Frame::kTaken : Frame::kBroken;
}

bool PosixHost::answer_frame(Client& c, int32_t reply) {
  const unsigned char* r = reinterpret_cast<const unsigned char*>(&reply);
  c.out.insert(c.out.end(), r, r + sizeof reply);
  return write_output(c);
}

bool PosixHost::take_frames(Client& c, const Loop& loop) {
  size_t used = 0;
  bool ok = true;
  while (!c.channel && !c.frame_held && c.in.size() - used >= sizeof(posix_frame::Header)) {
    posix_frame::Header h;
    std::memcpy(&h, c.in.data() + used, sizeof h);
    if (h.size > posix_frame::kMaxPayload) return false;
    if (c.in.size() - used < sizeof h + h.size) break;
    const Frame f = handle_frame(c, loop, h.kind, c.in.data() + used + sizeof h, h.size);
    if (f == Frame::kWaits) break;  // taken up again after the wait
    if (f == Frame::kBroken) {
      ok = false;
      break;
    }
    used += sizeof h + h.size;
  }
  if (c.channel) {
    c.in.clear();  // from the handshake on only wake-up bytes come
  } else {
    c.in.erase(c.in.begin(), c.in.begin() + static_cast<long>(used));
  }
  note_waiting(c);
  return ok;
}

void PosixHost::resume_frames(const Loop& loop) {
  for (size_t k = clients_.size(); k-- > 0;) {
    Client& c = clients_[k];
    if (!(c.frame_held || c.frame_waits) || (loop.holding && loop.holding(c.fd))) continue;
    bool keep = true;
    if (c.frame_held) {
      c.frame_held = false;
      keep = answer_frame(c, loop.held_reply ? loop.held_reply(c.fd, c.frame_reply) : c.frame_reply);
    }
    c.frame_waits = false;
    if (keep) keep = take_frames(c, loop);
    if (!keep) drop(k, loop);
  }
}

void PosixHost::note_waiting(Client& c) {
  // A frame waiting for its turn is not stuck: the server holds it.
  const bool stuck_in = !c.in.empty() && !c.frame_held && !c.frame_waits;
  if (!stuck_in && c.out.empty()) {
    c.waiting_since = 0;
  } else if (!c.waiting_since) {
    c.waiting_since = posix_channel::monotonic_ns();
  }
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
  note_waiting(c);
  return c.out.size() <= kMaxUnwritten;
}

}  // namespace lumo::server
