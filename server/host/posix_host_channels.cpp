// The POSIX host's channels: the records programs post into their rings and
// the commands they wait on, taken in turn with the long drawing that goes
// on in slices between them.
#include "server/host/posix_host.h"

#include <cstring>

#include "common/channel_ring.h"
#include "common/lumo_wire.h"
#include "common/posix_channel.h"

namespace lumo::server {

using posix_channel::Channel;

namespace {

constexpr uint32_t kRoundShareBytes = 4096;  // about a hundred lines
// A server keeping pace with a program that posts small records would take
// them one by one, and every record's cache lines would cross between the
// two processors twice.  After a look that found less than this, it lets
// the ring fill a little while (the drawing is shown no later than a frame
// would show it; a waiting question is answered at most this much later).
constexpr uint32_t kTrickleBytes = 1024;

}  // namespace

int PosixHost::take_posted(Client& c, const Loop& loop, bool round) {
  Channel* ch = static_cast<Channel*>(c.channel);
  if (c.heads.empty()) c.heads.assign(static_cast<size_t>(wire::kWindowSlots) * wire::kDataArea, 0);
  c.ring.heads = c.heads.data();
  return channel::take_published(
      ch, c.ring, round, kRoundShareBytes, posted_block_.data(),
      [&](const unsigned char* command, unsigned char* block) {
        loop.on_posted(c.fd, command, wire::kWindowCommandLength, block);
      },
      [&](int window_code, int32_t x, int32_t y, int32_t colour) {
        return loop.on_posted_pixel && loop.on_posted_pixel(c.fd, window_code, x, y, colour);
      },
      [&] { posix_channel::futex_wake(&ch->taken); },
      // A record that left long drawing going on in slices: what the
      // program posted after it waits until that drawing is done.
      [&] { return loop.holding && loop.holding(c.fd); },
      // One for a window whose PNG is being written waits, untaken.
      [&](const unsigned char* command) {
        return loop.waits && loop.waits(c.fd, command, wire::kWindowCommandLength, nullptr);
      });
}

bool PosixHost::posted_left(const Client& c) {
  return c.posting && static_cast<Channel*>(c.channel)->posted.load(std::memory_order_acquire) != c.ring.taken;
}

void PosixHost::drop_departed(const Loop& loop) {
  for (size_t k = clients_.size(); k-- > 0;) {
    if (clients_[k].departed && !posted_left(clients_[k])) drop(k, loop);
  }
}

int PosixHost::take_all_posted(const Loop& loop, bool round) {
  int done = 0;
  uint32_t bytes = 0;
  for (Client& c : clients_) {
    if (!c.posting || c.held || (loop.holding && loop.holding(c.fd))) continue;
    const uint32_t before = c.ring.taken;
    done += take_posted(c, loop, round);
    bytes += c.ring.taken - before;
  }
  trickle_ = done > 0 && bytes < kTrickleBytes;
  return done;
}

int PosixHost::serve_channels(const Loop& loop) {
  if (loop.windows_gone) {
    const uint32_t gone = loop.windows_gone();
    if (gone != windows_gone_) {
      windows_gone_ = gone;
      const uint64_t bits = loop.window_bits ? loop.window_bits() : 0;
      for (Client& c : clients_) {
        if (!c.posting) continue;
        Channel* ch = static_cast<Channel*>(c.channel);
        if (loop.window_bits) ch->windows.store(bits, std::memory_order_seq_cst);
        ch->hold.store(1, std::memory_order_seq_cst);
      }
    }
  }
  int served = take_all_posted(loop, true);
  served += slice(loop);
  for (Client& c : clients_) {
    // A program whose posted drawing goes on in slices: its next command
    // waits until that drawing is done (its own order kept, others served).
    if (!c.channel || c.held || c.departed || (loop.holding && loop.holding(c.fd))) continue;
    Channel* ch = static_cast<Channel*>(c.channel);
    const uint32_t request = ch->request.load(std::memory_order_seq_cst);
    if (request == c.seen) continue;
    const uint32_t seen_before = c.seen;
    c.seen = request;
    ++served;
    trickle_ = false;
    // Everything this program posted before this command comes first.
    // Other programs' records are carried out as the server goes round the
    // rings: a program flooding its ring must not make another's every
    // question wait for a ring's worth of drawing.
    if (c.posting) served += take_posted(c, loop);
    if (loop.holding && loop.holding(c.fd)) {
      c.seen = seen_before;  // taken up again when that drawing is done
      continue;
    }
    // The command is copied before it is looked at: the program may write
    // the next one as soon as it has its reply.
    const uint32_t size = ch->size;
    const bool valid = ch->kind == wire::kCopyDataKind && size <= posix_channel::kMaxCommand;
    if (valid) std::memcpy(command_.data(), ch->command, size);
    const uint32_t block_bytes = ch->block_bytes;
    const bool has_block = valid && block_bytes >= wire::kDataArea && block_bytes <= wire::kWindowBlockSize;
    // Its arguments read where it wrote them: the program waits for its reply.
    if (valid && loop.waits && loop.waits(c.fd, command_.data(), size, has_block ? ch->block : nullptr)) {
      c.seen = seen_before;  // taken up once what it waits for is done
      continue;
    }
    if (has_block) {
      std::memcpy(command_block_.data() + wire::kArg1, ch->block + wire::kArg1, block_bytes - wire::kArg1);
    }
    const unsigned char* block = has_block ? command_block_.data() : nullptr;
    const uint32_t copied = has_block ? block_bytes : 0;
    int32_t reply = 0;
    const bool early = valid && loop.on_early_reply &&
                       loop.on_early_reply(c.fd, command_.data(), size, &reply, block, copied);
    static const std::string kNoText;
    if (early) publish(c, loop, request, reply, loop.answer ? loop.answer() : kNoText);
    const int32_t handled =
        valid && loop.on_command ? loop.on_command(c.fd, command_.data(), size, block, copied) : 0;
    if (!early && loop.holding && loop.holding(c.fd)) {
      // Its drawing goes on in slices; the program waits for the answer.
      c.held = true;
      c.held_request = request;
      c.held_reply = handled;
      c.held_answer = loop.answer ? loop.answer() : kNoText;
    } else if (!early) {
      publish(c, loop, request, handled, loop.answer ? loop.answer() : kNoText);
    }
    mend_lost_blocks(loop);
  }
  drop_departed(loop);
  mend_lost_blocks(loop);
  return served;
}

void PosixHost::publish(Client& c, const Loop& loop, uint32_t request, int32_t value, const std::string& text) {
  Channel* ch = static_cast<Channel*>(c.channel);
  if (c.posting) {
    if (loop.window_bits) ch->windows.store(loop.window_bits(), std::memory_order_seq_cst);
    const bool may = !loop.may_post || loop.may_post(c.fd);
    ch->hold.store(may ? 0 : 1, std::memory_order_seq_cst);
  }
  if (loop.answer) channel::put_answer(*ch, text.data(), text.size(), request);
  ch->reply = value;
  ch->reply_seq.store(request, std::memory_order_seq_cst);
  if (ch->client_sleeping.load(std::memory_order_seq_cst)) posix_channel::futex_wake(&ch->reply_seq);
}

int PosixHost::slice(const Loop& loop) {
  const bool sliced = loop.on_slice && loop.on_slice();
  if (sliced) trickle_ = false;
  // Also when the drawing was finished otherwise (a file written, a
  // picture saved at a program's end).
  for (Client& c : clients_) {
    if (!c.held || (loop.holding && loop.holding(c.fd))) continue;
    c.held = false;
    const int32_t reply = loop.held_reply ? loop.held_reply(c.fd, c.held_reply) : c.held_reply;
    publish(c, loop, c.held_request, reply, c.held_answer);
    c.held_answer.clear();
  }
  resume_frames(loop);
  if (sliced) mend_lost_blocks(loop);
  return sliced ? 1 : 0;
}

}  // namespace lumo::server
