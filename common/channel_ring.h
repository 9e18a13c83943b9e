/* The posting ring's records (common/channel.h), written by the program and
 * read by the server the same way on every system. */
#ifndef LUMO_COMMON_CHANNEL_RING_H
#define LUMO_COMMON_CHANNEL_RING_H

#include <cstdint>
#include <cstring>

#include "common/block_access.h"
#include "common/channel.h"

namespace lumo::channel {

// One record as the program makes it: the head's words that differ from
// what it last posted for the window, and the data area's part it reads.
struct Record {
  RecordHead head;
  uint64_t words[kHeadWords];
  const unsigned char* tail;
  int count;
};

// `block`: what the command reads of the window block (the head, then
// block_bytes - 256 bytes of the data area); `last`: the head as this
// program last posted it for that window.
inline void make_record(Record* r, unsigned char letter, unsigned char window,
                        const unsigned char* block, uint32_t block_bytes, const unsigned char* last) {
  uint32_t mask = 0;
  int count = 0;
  for (uint32_t i = 0; i < kHeadWords; ++i) {
    uint64_t now, before;
    std::memcpy(&now, block + 8 * i, 8);
    std::memcpy(&before, last + 8 * i, 8);
    if (now != before) {
      mask |= 1u << i;
      r->words[count++] = now;
    }
  }
  const uint32_t tail = block_bytes > static_cast<uint32_t>(wire::kDataArea)
                            ? block_bytes - static_cast<uint32_t>(wire::kDataArea)
                            : 0;
  r->head = RecordHead{};
  r->head.size = static_cast<uint16_t>(record_bytes(count, tail));
  r->head.letter = letter;
  r->head.window = window;
  r->head.tail = static_cast<uint16_t>(tail);
  r->head.words = mask;
  r->tail = block + wire::kDataArea;
  r->count = count;
}

// The padding a record of `size` bytes needs first when published at
// `posted`: the rest of the ring, when the record would run past its end.
inline uint32_t padding_before(uint32_t posted, uint32_t size) {
  const uint32_t at = posted % kRingBytes;
  return at + size > kRingBytes ? kRingBytes - at : 0;
}

// A padding record of `padding` bytes at `posted`.  A rest of the ring
// shorter than a head (8 bytes) holds nothing: the reader skips it.
inline void write_padding(unsigned char* ring, uint32_t posted, uint32_t padding) {
  if (padding < sizeof(RecordHead)) return;
  RecordHead pad{};
  pad.size = static_cast<uint16_t>(padding);
  std::memcpy(ring + posted % kRingBytes, &pad, sizeof pad);
}

// Writes the record at `posted` (where it fits without running past the
// ring's end); returns the count to publish.
inline uint32_t write_record(unsigned char* ring, uint32_t posted, const Record& r) {
  unsigned char* out = ring + posted % kRingBytes;
  std::memcpy(out, &r.head, sizeof r.head);
  std::memcpy(out + sizeof r.head, r.words, 8 * static_cast<size_t>(r.count));
  std::memcpy(out + sizeof r.head + 8 * r.count, r.tail, r.head.tail);
  return posted + r.head.size;
}

// The words of a window head a single pixel sets (what a PixelRecord
// stands for): the drawing code, the point and the colour.
inline void put_pixel_words(unsigned char* head, int32_t x, int32_t y, int32_t colour) {
  write_i32(head, wire::kArg1, wire::kDrawPixel);
  write_i32(head, wire::kArg2, x);
  write_i32(head, wire::kArg3, y);
  write_i32(head, wire::kResult0, colour);
}

// The ring's lines were last read by the server, on another processor: a
// write has to take each back first.  Asking for it a few lines ahead lets
// that happen while the program goes on, instead of holding up its every
// write behind the one that waits.
inline constexpr uint32_t kWriteAhead = 512;
inline void prefetch_for_writing(const unsigned char* p) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  // PREFETCHW; processors without it take it as a no-op.
  __asm__ __volatile__("prefetchw %0" : : "m"(*p));
#else
  __builtin_prefetch(p, 1);
#endif
}

// The program's side of its ring: how far the server had taken it when last
// looked at, and every window's head as last posted (what the server's copy
// holds).  Static in the library (no allocation, and trivial, so that it
// needs no constructor: statics start as zeros).
struct RingWriter {
  uint32_t taken;
  bool pixel_records;  // the server reads PixelRecord
  bool block_records;  // the server carries out posted data-block commands
  unsigned char heads[wire::kWindowSlots][wire::kDataArea];

  // A new channel: the server's copies start empty.
  void reset(uint32_t server_taken, bool server_reads_pixels, bool server_takes_blocks) {
    taken = server_taken;
    pixel_records = server_reads_pixels;
    block_records = server_takes_blocks;
    std::memset(heads, 0, sizeof heads);
  }

  // Whether this server takes a posted command of this letter: drawing
  // always, data-block commands when it said so.
  bool takes(unsigned char letter) const {
    return letter == static_cast<unsigned char>(wire::kCmdDraw) || block_records;
  }

  // Whether nothing of the window's head but the pixel's words (the
  // arguments 1 to 3 and the result word 0) differs from what the server's
  // copy holds: then a PixelRecord says all a whole record would.
  static bool same_beside_pixel(const unsigned char* head, const unsigned char* last) {
    static_assert(wire::kArg1 % 8 == 0 && wire::kResult0 == wire::kArg1 + 16, "the pixel's words");
    constexpr int kAfterArgs = wire::kArg1 + 12, kAfterColour = wire::kResult0 + 4;
    return std::memcmp(head, last, wire::kArg1) == 0 &&
           std::memcmp(head + kAfterArgs, last + kAfterArgs, wire::kResult0 - kAfterArgs) == 0 &&
           std::memcmp(head + kAfterColour, last + kAfterColour, wire::kDataArea - kAfterColour) == 0;
  }

  // Whether this window command may be posted now: posting taken, no
  // `hold`, a window the server still has (drawing into one another program
  // closed is sent, so that its answer says so), sizes a record can carry.
  static bool may_post(const Channel* ch, const unsigned char* command, uint32_t size,
                       uint32_t block_bytes) {
    if (size != static_cast<uint32_t>(wire::kWindowCommandLength) ||
        block_bytes < static_cast<uint32_t>(wire::kDataArea) ||
        block_bytes > static_cast<uint32_t>(wire::kWindowBlockSize) ||
        ch->hold.load(std::memory_order_acquire) != 0) {
      return false;
    }
    const int target = command[1] - wire::kWindowCodeBase;
    return target >= 0 && target < wire::kWindowSlots &&
           (ch->windows_kept != 1 || (ch->windows.load(std::memory_order_acquire) & (uint64_t{1} << target)));
  }

  // Room for `size` bytes at the end of the ring: where they go (after any
  // padding, written here).  A full ring is waited on until half of it is
  // free (wait_room(half_free) sleeps until half_free() holds; false when
  // the server has gone), so the program sleeps through a good part of the
  // server's work instead of following it record by record.
  template <typename WaitRoom>
  bool make_room(Channel* ch, uint32_t size, WaitRoom wait_room, uint32_t* at) {
    const uint32_t posted = ch->posted.load(std::memory_order_relaxed);
    prefetch_for_writing(ch->ring + (posted + kWriteAhead) % kRingBytes);
    const uint32_t padding = padding_before(posted, size);
    if (posted - taken + padding + size > kRingBytes) {
      auto half_free = [&] {
        taken = ch->taken.load(std::memory_order_acquire);
        return posted - taken <= kRingBytes / 2;
      };
      taken = ch->taken.load(std::memory_order_acquire);
      if (posted - taken + padding + size > kRingBytes && !wait_room(half_free)) return false;
    }
    if (padding) write_padding(ch->ring, posted, padding);
    *at = posted + padding;
    return true;
  }

  // Writes the command's record and publishes it.  No fence: a server that
  // raised its flag as the record was published looks again a moment later.
  template <typename WaitRoom>
  bool post(Channel* ch, const unsigned char* command, const unsigned char* block, uint32_t block_bytes,
            WaitRoom wait_room) {
    unsigned char* last = heads[command[1] - wire::kWindowCodeBase];
    Record r;
    make_record(&r, command[0], command[1], block, block_bytes, last);
    uint32_t at;
    if (!make_room(ch, r.head.size, wait_room, &at)) return false;
    const uint32_t next = write_record(ch->ring, at, r);
    // Only the words that changed are new in the server's copy.
    for (uint32_t i = 0, k = 0; i < kHeadWords; ++i) {
      if (r.head.words & (1u << i)) std::memcpy(last + 8 * i, &r.words[k++], 8);
    }
    ch->posted.store(next, std::memory_order_release);
    return true;
  }

  // A single pixel of the window (its block's head `head`) as a
  // PixelRecord: 1 when posted, 0 when it takes a whole record (a server
  // without pixel records, or more of the head changed), -1 when the
  // server went away while the program waited for room.
  template <typename WaitRoom>
  int post_pixel(Channel* ch, unsigned char window_code, const unsigned char* head, int32_t x, int32_t y,
                 int32_t colour, WaitRoom wait_room) {
    unsigned char* last = heads[window_code - wire::kWindowCodeBase];
    if (!pixel_records || !same_beside_pixel(head, last)) return 0;
    uint32_t at;
    if (!make_room(ch, sizeof(PixelRecord), wait_room, &at)) return -1;
    const PixelRecord p{static_cast<uint16_t>(sizeof(PixelRecord)), kPixelLetter, window_code, colour, x, y};
    std::memcpy(ch->ring + at % kRingBytes, &p, sizeof p);
    put_pixel_words(last, x, y, colour);
    ch->posted.store(at + static_cast<uint32_t>(sizeof p), std::memory_order_release);
    return 1;
  }
};

// The server's reading of one program's ring.  Each record is read once
// into the server's own memory and checked there: a program that writes
// nonsense, or writes while the server reads, loses its own drawing and
// nothing else.
// A take that goes on to the end of what is published.
struct NeverStop {
  bool operator()() const { return false; }
};
// A take that carries out every record it comes to.
struct NeverWait {
  bool operator()(const unsigned char*) const { return false; }
};

struct RingReader {
  uint32_t taken = 0;        // bytes carried out
  uint32_t seen_posted = 0;  // the program's count at the last look
  // Of every window, the head as the program last posted it (kWindowSlots
  // heads of kDataArea bytes), made by the caller.
  unsigned char* heads = nullptr;

  // Carries out the records published up to `posted`, calling
  // draw(command[3], block) for each and progress(taken) after each.  A
  // pixel record is first offered to pixel(window code, x, y, colour),
  // which draws it and returns true, or returns false to have it drawn as
  // the whole record it stands for.  In a
  // round (the server going round the rings) it stops at `share` bytes,
  // and while the program is still posting at the last record that ends in
  // a whole cache line, so the line the program is writing is not pulled
  // back and forth.  Returns the records drawn; *broken when the ring held
  // something no program of ours writes (the rest is then skipped).
  // A record after which stop() is true ends the take there (the server's
  // program whose drawing goes on in slices: what it posted later waits).
  // A record for which wait(command[3]) is true ends it before the record,
  // which is left untaken: the next take begins with it.
  template <typename Draw, typename Pixel, typename Progress, typename Stop = NeverStop,
            typename Wait = NeverWait>
  int take(const unsigned char* ring, uint32_t posted, bool round, uint32_t share,
           unsigned char* scratch, Draw draw, Pixel pixel, Progress progress, bool* broken,
           Stop stop = Stop(), Wait wait = Wait()) {
    const bool still_posting = round && posted != seen_posted;
    const uint32_t line_end = posted & ~63u;
    const uint32_t start = taken;
    seen_posted = posted;
    int done = 0;
    *broken = false;
    while (taken != posted) {
      const uint32_t at = taken % kRingBytes;
      RecordHead head{};
      const uint32_t to_end = kRingBytes - at;
      if (to_end < sizeof head && at % 8 == 0 && posted - taken >= to_end && posted - taken <= kRingBytes) {
        // The ring's last 8 bytes, too short for a record: padding.
        taken += to_end;
        progress(taken);
        continue;
      }
      const bool readable = at % 8 == 0 && to_end >= sizeof head && posted - taken <= kRingBytes &&
                            posted - taken >= sizeof head;
      if (readable) std::memcpy(&head, ring + at, sizeof head);
      const uint32_t size = head.size;
      const bool is_pixel = head.letter == kPixelLetter;
      const int count = is_pixel ? 0 : __builtin_popcount(head.words);
      const bool sound = readable && size >= sizeof head && size % 8 == 0 && at + size <= kRingBytes &&
                         size <= posted - taken &&
                         (head.letter == 0 || (is_pixel && size == sizeof(PixelRecord)) ||
                          (!is_pixel && head.tail <= wire::kDataSize && size == record_bytes(count, head.tail)));
      if (!sound) {
        taken = posted;
        *broken = true;
        progress(taken);
        break;
      }
      if (still_posting && static_cast<int32_t>(line_end - taken) < static_cast<int32_t>(size)) break;
      if (round && taken - start >= share) break;
      const int window = head.window - wire::kWindowCodeBase;
      if (head.letter != 0 && window >= 0 && window < wire::kWindowSlots) {
        const unsigned char letter = is_pixel ? static_cast<unsigned char>(wire::kCmdDraw) : head.letter;
        const unsigned char command[wire::kWindowCommandLength] = {letter, head.window, 0};
        if (wait(command)) break;
        unsigned char* copy = heads + static_cast<size_t>(window) * wire::kDataArea;
        const unsigned char* from = ring + at + sizeof head;
        uint32_t tail = head.tail;
        bool drawn = false;
        if (is_pixel) {
          PixelRecord p;
          std::memcpy(&p, ring + at, sizeof p);
          put_pixel_words(copy, p.x, p.y, p.colour);
          tail = 0;
          drawn = pixel(head.window, p.x, p.y, p.colour);
        } else {
          for (uint32_t i = 0, k = 0; i < kHeadWords; ++i) {
            if (head.words & (1u << i)) std::memcpy(copy + 8 * i, from + 8 * k++, 8);
          }
        }
        if (!drawn) {
          // The drawing may write into the block it is given: it gets a copy.
          std::memcpy(scratch, copy, wire::kDataArea);
          std::memcpy(scratch + wire::kDataArea, from + 8 * count, tail);
          draw(command, scratch);
        }
        ++done;
      }
      taken += size;
      progress(taken);
      if (stop()) break;
    }
    return done;
  }
};

// Whether a program sleeps for room that half the ring now gives it (a
// full fence first: it pairs with the program's raising of space_sleeping).
inline bool room_awaited(Channel* ch, uint32_t taken) {
  std::atomic_thread_fence(std::memory_order_seq_cst);
  return ch->space_sleeping.load(std::memory_order_seq_cst) &&
         ch->posted.load(std::memory_order_relaxed) - taken <= kRingBytes / 2;
}

// The server's look at one program's ring (reader.heads made by the
// caller): carries out what is published, as RingReader::take says, makes
// `taken` known as it goes, and calls wake() when a program waiting for
// room may go on (looked at every 4 KiB and at the end).
template <typename Draw, typename Pixel, typename Wake, typename Stop = NeverStop, typename Wait = NeverWait>
int take_published(Channel* ch, RingReader& reader, bool round, uint32_t share, unsigned char* scratch,
                   Draw draw, Pixel pixel, Wake wake, Stop stop = Stop(), Wait wait = Wait()) {
  // Sequentially consistent: this load follows raising server_sleeping.
  const uint32_t posted = ch->posted.load(std::memory_order_seq_cst);
  if (posted == reader.taken) return 0;
  const uint32_t before = reader.taken;
  uint32_t looked_at = before;
  bool broken = false;
  const int done = reader.take(
      ch->ring, posted, round, share, scratch, draw, pixel,
      [&](uint32_t taken) {
        ch->taken.store(taken, std::memory_order_release);
        if (taken - looked_at >= 4096) {
          looked_at = taken;
          if (room_awaited(ch, taken)) wake();
        }
      },
      &broken, stop, wait);
  if (reader.taken != before && room_awaited(ch, reader.taken)) wake();
  return done;
}

}  // namespace lumo::channel

#endif
