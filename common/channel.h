/* The fast path of the transport: a channel in shared memory per program
 * (common/posix_channel.h and common/win32_channel.h say how it is made,
 * handed over and waited on on each system).
 *
 * The program writes a command, publishes it by advancing `request`, and
 * waits for `reply_seq` to follow; each side spins for a short, time-bounded
 * while and then sleeps.  Before sleeping a side raises its `*_sleeping`
 * flag and looks once more; the other side publishes first and then reads
 * the flag, both sequentially consistent, so no wake-up is lost.
 *
 * Drawing that needs no answer is posted instead, into a byte ring: the
 * program writes a record (the command and, of the window block's head, only
 * the 8-byte words that differ from what it last posted for that window,
 * then the data area's text where the command reads it), advances `posted`
 * by the record's bytes and goes on; the server keeps the same copy of every
 * window's head per program, applies the words and carries the command out,
 * in order, advancing `taken` (common/channel_ring.h).  A command that is
 * sent (and waited for) is published after every record posted before it,
 * and the server carries out all that program's posted records before it
 * handles the command.  A program waits only when the ring is full, and then
 * until half of it is free: it sleeps with `space_sleeping` raised, and the
 * server wakes it once half the ring is free.  A program wakes a sleeping
 * server once per sleep: it takes `server_sleeping` down itself as it sends
 * the wake-up.  While `hold` is raised the program sends every command: the
 * server raises it when a window has gone (so the next command gets the
 * answer a missing window or a closed program's window deserves) and lowers
 * it when it answers that program. */
#ifndef LUMO_COMMON_CHANNEL_H
#define LUMO_COMMON_CHANNEL_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "common/lumo_wire.h"

namespace lumo::channel {

inline constexpr uint32_t kMaxCommand = 4096;

// "PST2": posting into the byte ring.  (Servers that knew only the earlier
// ring of whole-block slots looked for "POST"; they are not offered it and
// keep such a program to answered commands.)
inline constexpr uint32_t kPostOffer = 0x32545350;
inline constexpr uint32_t kLegacySlots = 32;
inline constexpr uint32_t kRingBytes = 1u << 16;
inline constexpr uint32_t kHeadWords = wire::kDataArea / 8;  // 8-byte words of a block's head

// The ring's records: a head, then the words its mask names (in order), then
// `tail` bytes of the data area (from offset 256), padded to 8 bytes.  A
// record never runs past the ring's end: the program fills the rest of the
// ring with a padding record (letter 0) and starts again at its beginning.
// A rest shorter than a head (the last 8 bytes) is left as it is: it is
// padding without a head.
struct RecordHead {
  uint16_t size;    // the whole record's bytes, a multiple of 8
  uint8_t letter;   // the command's letter; 0: padding
  uint8_t window;   // the command's window code byte
  uint16_t tail;    // data-area bytes that follow the words
  uint16_t unused;
  uint32_t words;   // bit i: the head's word i (bytes 8i..8i+7) follows
  uint32_t unused2;
};
static_assert(sizeof(RecordHead) == 16, "records stay 8-byte aligned");

// A single pixel in 16 bytes: the drawing command with the pixel code, its
// two coordinates and colour, posted when nothing else of the window's head
// changed since the last record.  It stands for the record whose words set
// the argument words 1 to 3 (kDrawPixel, x, y) and the result word 0 (the
// colour): the server's copy of the head becomes the same.
inline constexpr uint8_t kPixelLetter = 1;
inline constexpr uint32_t kPixelRecords = 0x31584950;  // "PIX1"
struct PixelRecord {
  uint16_t size;   // 16
  uint8_t letter;  // kPixelLetter
  uint8_t window;  // the command's window code byte
  int32_t colour;
  int32_t x, y;
};
static_assert(sizeof(PixelRecord) == sizeof(RecordHead), "a pixel record is as long as a head");

// Polygons, polylines, Bézier curves and series may be posted: their
// announcement, chunks (the points in the record's tail) and commit.
inline constexpr uint32_t kBlockRecords = 0x314b4c42;  // "BLK1"

inline constexpr uint32_t record_bytes(int words, uint32_t tail) {
  return static_cast<uint32_t>(sizeof(RecordHead)) + 8u * static_cast<uint32_t>(words) + ((tail + 7u) & ~7u);
}
inline constexpr uint32_t kMaxRecord = record_bytes(kHeadWords, wire::kDataSize);

// A command's own answer text (see `answer` below), as long as the longest
// server header the library reads.
inline constexpr uint32_t kAnswersKept = 0x31534e41;  // "ANS1"
inline constexpr uint32_t kAnswerText = wire::kServerTextMax + 1;

// The room of an earlier layout; kept so that every other field keeps the
// offset servers of that layout read.
struct alignas(64) LegacySlot {
  uint32_t size;
  unsigned char command[wire::kWindowCommandLength + 1];
  unsigned char block[wire::kWindowBlockSize];
};

struct alignas(64) Channel {
  std::atomic<uint32_t> request;         // advanced by the program per command
  std::atomic<uint32_t> server_sleeping;
  char pad1[56];
  std::atomic<uint32_t> reply_seq;       // set to `request` by the server
  std::atomic<uint32_t> client_sleeping;
  int32_t reply;
  char pad2[52];
  uint32_t kind;
  uint32_t size;
  unsigned char command[kMaxCommand];

  // Posting (see above).  A program offers it by setting `post_offer`
  // before the handshake; a server that takes posted slots sets
  // `post_accepted` before it answers.
  // Each line is written by one side only; `taken`, written per slot, has
  // a line of its own.
  alignas(64) std::atomic<uint32_t> posted;  // ring bytes, advanced by the program per record
  std::atomic<uint32_t> space_sleeping;      // the program sleeps for a free slot
  uint32_t post_offer;
  alignas(64) std::atomic<uint32_t> hold;    // raised by the server
  uint32_t post_accepted;
  // kPixelRecords when the server reads pixel records (channel_ring.h);
  // an older server leaves it 0 and is sent only whole records.
  uint32_t pixel_records;
  // kBlockRecords when the server carries out posted data-block commands
  // ("N" and the chunk, commit and cancel requests, wire::block_needs_no_answer);
  // an older server leaves it 0 and such a program waits for them.
  uint32_t block_records;
  alignas(64) std::atomic<uint32_t> taken;   // ring bytes, advanced by the server per record
  union {
    LegacySlot legacy_slots[kLegacySlots];
    // The text a command is answered with (the new window's "number,title"
    // line, a request's values), for this program alone: every program
    // reads its own answer here, never another's from the server block
    // that all programs share.  `answer_for` is the `request` the text
    // answers; the server writes both before the reply.  A server that
    // answers here sets `answers_kept` to kAnswersKept at the handshake
    // (an older one leaves it 0, and the server block is read as before).
    //
    // After the text, on Windows: the program's standard error, the value
    // of its own handle (0: none), set before the channel is offered; the
    // server takes a duplicate of it (common/win32_channel.h).
    struct {
      uint32_t answers_kept;
      uint32_t answer_for;
      char text[kAnswerText];
      alignas(8) uint64_t error_handle;
    } answer;
  };

  // The server's windows, bit w for window w, kept true before every answer
  // and whenever a window goes (when `windows_kept` is 1; an older server
  // leaves it 0).  A program posts drawing only into a window whose bit is
  // set: drawing into one that has gone is sent, and answered 0.
  alignas(64) std::atomic<uint64_t> windows;
  uint32_t windows_kept;

  // With a window command, the program's copy of what the command reads of
  // that window's block beyond the drawing state, as it was when sent: the
  // bytes from the argument words (offset 224) up to `block_bytes`
  // (wire::sent_block_extent; 0 for any other command), at their offsets.
  // The server reads the command's arguments from it, never from the
  // shared block another program may be writing its next arguments into.
  uint32_t block_bytes;
  alignas(64) unsigned char block[wire::kWindowBlockSize];

  // The posting ring (see above), a power of two in size.
  alignas(64) unsigned char ring[kRingBytes];
};

static_assert(std::atomic<uint32_t>::is_always_lock_free, "wait words must be plain words");
static_assert(sizeof(Channel::answer) <= sizeof(Channel::legacy_slots), "the answer fits the old room");
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the window bits must be one word");

// The server's side: `text` (n bytes, cut to the room) as the answer to
// the program's request `request`, where the program reads answers here.
inline void put_answer(Channel& ch, const char* text, size_t n, uint32_t request) {
  if (ch.answer.answers_kept != kAnswersKept || n == 0) return;
  if (n > kAnswerText - 1) n = kAnswerText - 1;
  for (size_t i = 0; i < n; ++i) ch.answer.text[i] = text[i];
  ch.answer.text[n] = '\0';
  ch.answer.answer_for = request;
}

// The answer text of `ch` into out (size bytes, terminated); false when
// there is no room.
inline bool copy_answer(const Channel& ch, char* out, size_t size) {
  if (size == 0) return false;
  size_t n = 0;
  while (n + 1 < size && n + 1 < kAnswerText && ch.answer.text[n]) {
    out[n] = ch.answer.text[n];
    ++n;
  }
  out[n] = '\0';
  return true;
}

// The program's spin before it sleeps for a reply, in any unit of time:
// about twice as long as the server has lately taken, a slowly decaying
// maximum (quick answers must not make the next slow one sleep), within
// [lo, hi]; 0 (one core: spinning only delays the server) stays 0.
inline long long adapted_spin(long long spin, long long took, long long lo, long long hi) {
  if (spin <= 0) return spin;
  long long want = spin - spin / 8;
  if (2 * took > want) want = 2 * took;
  return want < lo ? lo : want > hi ? hi : want;
}

}  // namespace lumo::channel

#endif
