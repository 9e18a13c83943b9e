// The posting ring end to end: the program's writer and the server's
// reader, as both sides use them, over many laps of the ring.  Every record
// must arrive once, in order, with the head and data the program posted,
// wherever the ring's end falls, also when the server now and then leaves
// the records of one window untaken for a later turn.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "common/block_access.h"
#include "common/channel_ring.h"

namespace {

namespace channel = lumo::channel;
namespace wire = lumo::wire;

// What the server's drawing must be given for one posted command.
struct Expected {
  unsigned char letter, window;
  std::vector<unsigned char> head, tail;
};

// A fresh copy rather than assign() into an empty vector: gcc 12 at -O3
// warns about the copy into that vector's null storage (-Wnonnull).
std::vector<unsigned char> head_of(const std::vector<unsigned char>& block) {
  return std::vector<unsigned char>(block.begin(), block.begin() + wire::kDataArea);
}

struct RingRun {
  std::unique_ptr<channel::Channel> ch = std::make_unique<channel::Channel>();
  std::unique_ptr<channel::RingWriter> writer = std::make_unique<channel::RingWriter>();
  channel::RingReader reader;
  std::vector<unsigned char> heads = std::vector<unsigned char>(wire::kWindowSlots * wire::kDataArea);
  std::vector<unsigned char> scratch = std::vector<unsigned char>(wire::kWindowBlockSize);
  std::deque<Expected> expected;
  long long drawn = 0;

  RingRun() {
    writer->reset(0, true, true);
    reader.heads = heads.data();
  }

  long long refused = 0;

  // The server's turn: everything published is carried out and checked,
  // up to a record for window code `waiting` (0: none), left for later.
  void take(unsigned char waiting = 0) {
    auto draw = [&](const unsigned char* command, unsigned char* block) {
      ASSERT_FALSE(expected.empty()) << "a record nobody posted, after " << drawn;
      const Expected& e = expected.front();
      EXPECT_EQ(command[0], e.letter) << "record " << drawn;
      EXPECT_EQ(command[1], e.window) << "record " << drawn;
      EXPECT_NE(command[1], waiting) << "record " << drawn << " was drawn while its window waited";
      EXPECT_EQ(0, std::memcmp(block, e.head.data(), wire::kDataArea)) << "head of record " << drawn;
      if (!e.tail.empty()) {
        EXPECT_EQ(0, std::memcmp(block + wire::kDataArea, e.tail.data(), e.tail.size()))
            << "data of record " << drawn;
      }
      expected.pop_front();
      ++drawn;
    };
    auto general_way = [](int, int32_t, int32_t, int32_t) { return false; };
    auto wait = [&](const unsigned char* command) {
      refused += command[1] == waiting;
      return command[1] == waiting;
    };
    channel::take_published(ch.get(), reader, false, 0, scratch.data(), draw, general_way, [] {},
                            channel::NeverStop(), wait);
  }
};

TEST(PostingRing, EveryRecordArrivesOnceInOrderWhereverTheRingEnds) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    RingRun run;
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<std::vector<unsigned char>> blocks(4, std::vector<unsigned char>(wire::kWindowBlockSize));
    // The server takes its turn when the ring is full, and now and then.
    auto wait_room = [&](auto half_free) {
      run.take();
      return half_free();
    };
    uint32_t short_ends = 0;  // laps that ended 8 bytes before the ring's end
    for (int i = 0; i < 40000 && !::testing::Test::HasFailure(); ++i) {
      const int w = 1 + pick(3);
      std::vector<unsigned char>& block = blocks[static_cast<size_t>(w)];
      const unsigned char code = static_cast<unsigned char>(wire::kWindowCodeBase + w);
      const uint32_t before = run.ch->posted.load();
      Expected e{static_cast<unsigned char>(wire::kCmdDraw), code, {}, {}};
      if (pick(3) == 0) {  // a single pixel: only its own words change
        const int32_t x = pick(800), y = pick(600), colour = static_cast<int32_t>(random() & 0xFFFFFF);
        channel::put_pixel_words(block.data(), x, y, colour);
        e.head = head_of(block);
        run.expected.push_back(e);
        const int posted = run.writer->post_pixel(run.ch.get(), code, block.data(), x, y, colour, wait_room);
        ASSERT_GE(posted, 0);
        const unsigned char command[wire::kWindowCommandLength] = {e.letter, code, 0};
        if (posted == 0) {  // more of the head changed: a whole record
          ASSERT_TRUE(run.writer->post(run.ch.get(), command, block.data(), wire::kDataArea, wait_room));
        }
      } else {  // any command: some head words changed, a data part of any length
        for (int k = pick(6); k-- > 0;) block[static_cast<size_t>(8 * pick(32) + pick(8))] = static_cast<unsigned char>(random());
        const uint32_t tail = pick(4) == 0 ? static_cast<uint32_t>(pick(wire::kDataSize + 1))
                                           : static_cast<uint32_t>(pick(40));
        for (uint32_t k = 0; k < tail; ++k) block[wire::kDataArea + k] = static_cast<unsigned char>(random());
        e.head = head_of(block);
        e.tail = std::vector<unsigned char>(block.begin() + wire::kDataArea,
                                            block.begin() + wire::kDataArea + tail);
        const unsigned char command[wire::kWindowCommandLength] = {e.letter, code, 0};
        run.expected.push_back(e);
        ASSERT_TRUE(run.writer->post(run.ch.get(), command, block.data(), wire::kDataArea + tail, wait_room));
      }
      const uint32_t after = run.ch->posted.load();
      if (after / channel::kRingBytes != before / channel::kRingBytes &&
          before % channel::kRingBytes == channel::kRingBytes - 8) {
        ++short_ends;
      }
      if (pick(50) == 0) run.take(pick(2) ? 0 : static_cast<unsigned char>(wire::kWindowCodeBase + 1 + pick(3)));
    }
    run.take();
    EXPECT_TRUE(run.expected.empty()) << run.expected.size() << " records never arrived";
    EXPECT_GT(run.refused, 0) << "no record was left for later";
    EXPECT_GT(short_ends, 0u) << "no lap ended 8 bytes short of the ring's end";
  }
}

}  // namespace
