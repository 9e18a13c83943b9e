#include "server/canvas/deflate.h"

#include <algorithm>
#include <cstdint>
#include <queue>
#include <utility>

namespace lumo::server {
namespace {

constexpr size_t kWindow = 32768;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 96;     // candidates tried per position
constexpr int kNiceMatch = 128;   // a match this long ends the search
constexpr int kLazyBelow = 32;    // shorter matches look one byte ahead for a longer one
constexpr size_t kBlockSymbols = 32768;
constexpr size_t kStoredMax = 65535;

constexpr int kLiteralCodes = 286;
constexpr int kDistanceCodes = 30;
constexpr int kEndOfBlock = 256;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                        33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A literal (length 0) or a repeat of `length` bytes `distance` back.
struct Symbol {
  uint16_t length;
  uint16_t distance;
  uint8_t literal;
};

int length_code(int length) {
  int c = 28;
  while (kLengthBase[c] > length) --c;
  return c;
}

int distance_code(int distance) {
  int c = 29;
  while (kDistanceBase[c] > distance) --c;
  return c;
}

class BitWriter {
 public:
  explicit BitWriter(std::vector<unsigned char>* out) : out_(out) {}
  // The low n bits of `bits`, first bit first.
  void put(uint32_t bits, int n) {
    buffer_ |= static_cast<uint64_t>(bits) << count_;
    count_ += n;
    while (count_ >= 8) {
      out_->push_back(static_cast<unsigned char>(buffer_));
      buffer_ >>= 8;
      count_ -= 8;
    }
  }
  void align() {
    if (count_ > 0) put(0, 8 - count_);
  }

 private:
  std::vector<unsigned char>* out_;
  uint64_t buffer_ = 0;
  int count_ = 0;
};

// Code lengths of an optimal prefix code for the counts, none longer than
// `limit`.  At least two symbols get a code, so that every code is complete
// (what decoders accept without exception).  When the tree is too deep the
// counts are flattened and the code made again.
void code_lengths(const uint32_t* counts, int n, int limit, uint8_t* lengths) {
  std::vector<uint32_t> weight(counts, counts + n);
  int used = static_cast<int>(std::count_if(weight.begin(), weight.end(), [](uint32_t w) { return w > 0; }));
  for (int i = 0; used < 2 && i < n; ++i) {
    if (weight[static_cast<size_t>(i)] == 0) weight[static_cast<size_t>(i)] = 1, ++used;
  }
  std::vector<int> parent;
  for (;;) {
    // Nodes 0..n-1 are the symbols; joined nodes follow.
    parent.assign(static_cast<size_t>(n), -1);
    using Entry = std::pair<uint64_t, int>;  // weight, node
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    for (int i = 0; i < n; ++i) {
      if (weight[static_cast<size_t>(i)] > 0) queue.push({weight[static_cast<size_t>(i)], i});
    }
    while (queue.size() > 1) {
      const Entry a = queue.top();
      queue.pop();
      const Entry b = queue.top();
      queue.pop();
      const int joined = static_cast<int>(parent.size());
      parent.push_back(-1);
      parent[static_cast<size_t>(a.second)] = joined;
      parent[static_cast<size_t>(b.second)] = joined;
      queue.push({a.first + b.first, joined});
    }
    // A parent comes after its children: depths from the root down.
    std::vector<int> depth(parent.size(), 0);
    for (size_t i = parent.size(); i-- > 0;) {
      if (parent[i] >= 0) depth[i] = depth[static_cast<size_t>(parent[i])] + 1;
    }
    int deepest = 0;
    for (int i = 0; i < n; ++i) {
      lengths[i] = static_cast<uint8_t>(weight[static_cast<size_t>(i)] > 0 ? depth[static_cast<size_t>(i)] : 0);
      deepest = std::max<int>(deepest, lengths[i]);
    }
    if (deepest <= limit) return;
    for (uint32_t& w : weight) {
      if (w > 0) w = (w >> 1) | 1;
    }
  }
}

// Canonical codes for the lengths, bit-reversed for writing first bit first.
void canonical_codes(const uint8_t* lengths, int n, uint16_t* codes) {
  int count[16] = {};
  for (int i = 0; i < n; ++i) ++count[lengths[i]];
  count[0] = 0;
  int next[16] = {};
  int code = 0;
  for (int bits = 1; bits < 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  for (int i = 0; i < n; ++i) {
    const int len = lengths[i];
    if (len == 0) continue;
    int c = next[len]++;
    int reversed = 0;
    for (int b = 0; b < len; ++b, c >>= 1) reversed = (reversed << 1) | (c & 1);
    codes[i] = static_cast<uint16_t>(reversed);
  }
}

// One entry of the run-length coded code lengths: symbol 0..18 and its extra bits.
struct LengthRun {
  uint8_t symbol;
  uint8_t extra;
};

std::vector<LengthRun> run_lengths(const std::vector<uint8_t>& lengths) {
  std::vector<LengthRun> out;
  for (size_t i = 0; i < lengths.size();) {
    const uint8_t v = lengths[i];
    size_t run = 1;
    while (i + run < lengths.size() && lengths[i + run] == v) ++run;
    i += run;
    if (v == 0) {
      for (; run >= 11; run -= std::min<size_t>(run, 138)) {
        out.push_back({18, static_cast<uint8_t>(std::min<size_t>(run, 138) - 11)});
      }
      for (; run >= 3; run -= std::min<size_t>(run, 10)) {
        out.push_back({17, static_cast<uint8_t>(std::min<size_t>(run, 10) - 3)});
      }
    } else {
      out.push_back({v, 0});
      --run;
      for (; run >= 3; run -= std::min<size_t>(run, 6)) {
        out.push_back({16, static_cast<uint8_t>(std::min<size_t>(run, 6) - 3)});
      }
    }
    for (; run > 0; --run) out.push_back({v, 0});
  }
  return out;
}

int run_extra_bits(int symbol) { return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0; }

struct Codes {
  uint8_t literal_lengths[288] = {};
  uint16_t literal_codes[288] = {};
  uint8_t distance_lengths[30] = {};
  uint16_t distance_codes[30] = {};
};

// The bits of the block's symbols under the codes, end of block included.
uint64_t symbol_bits(const std::vector<Symbol>& symbols, const Codes& c) {
  uint64_t bits = c.literal_lengths[kEndOfBlock];
  for (const Symbol& s : symbols) {
    if (s.length == 0) {
      bits += c.literal_lengths[s.literal];
      continue;
    }
    const int lc = length_code(s.length), dc = distance_code(s.distance);
    bits += c.literal_lengths[257 + lc] + kLengthExtra[lc] + c.distance_lengths[dc] + kDistanceExtra[dc];
  }
  return bits;
}

void write_symbols(BitWriter* out, const std::vector<Symbol>& symbols, const Codes& c) {
  for (const Symbol& s : symbols) {
    if (s.length == 0) {
      out->put(c.literal_codes[s.literal], c.literal_lengths[s.literal]);
      continue;
    }
    const int lc = length_code(s.length), dc = distance_code(s.distance);
    out->put(c.literal_codes[257 + lc], c.literal_lengths[257 + lc]);
    out->put(static_cast<uint32_t>(s.length - kLengthBase[lc]), kLengthExtra[lc]);
    out->put(c.distance_codes[dc], c.distance_lengths[dc]);
    out->put(static_cast<uint32_t>(s.distance - kDistanceBase[dc]), kDistanceExtra[dc]);
  }
  out->put(c.literal_codes[kEndOfBlock], c.literal_lengths[kEndOfBlock]);
}

// One block: the symbols for data[begin, end), written the shortest way.
void write_block(BitWriter* out, const std::vector<Symbol>& symbols, const unsigned char* data, size_t begin,
                 size_t end, bool last) {
  // Fixed codes.
  Codes fixed;
  for (int i = 0; i < 288; ++i) fixed.literal_lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  for (int i = 0; i < 30; ++i) fixed.distance_lengths[i] = 5;
  canonical_codes(fixed.literal_lengths, 288, fixed.literal_codes);
  canonical_codes(fixed.distance_lengths, 30, fixed.distance_codes);
  const uint64_t fixed_bits = 3 + symbol_bits(symbols, fixed);

  // Codes made for the block.
  uint32_t literal_counts[kLiteralCodes] = {};
  uint32_t distance_counts[kDistanceCodes] = {};
  literal_counts[kEndOfBlock] = 1;
  for (const Symbol& s : symbols) {
    if (s.length == 0) {
      ++literal_counts[s.literal];
    } else {
      ++literal_counts[257 + length_code(s.length)];
      ++distance_counts[distance_code(s.distance)];
    }
  }
  Codes own;
  code_lengths(literal_counts, kLiteralCodes, 15, own.literal_lengths);
  code_lengths(distance_counts, kDistanceCodes, 15, own.distance_lengths);
  canonical_codes(own.literal_lengths, kLiteralCodes, own.literal_codes);
  canonical_codes(own.distance_lengths, kDistanceCodes, own.distance_codes);
  int literals_sent = kLiteralCodes;
  while (literals_sent > 257 && own.literal_lengths[literals_sent - 1] == 0) --literals_sent;
  int distances_sent = kDistanceCodes;
  while (distances_sent > 1 && own.distance_lengths[distances_sent - 1] == 0) --distances_sent;
  std::vector<uint8_t> all(own.literal_lengths, own.literal_lengths + literals_sent);
  all.insert(all.end(), own.distance_lengths, own.distance_lengths + distances_sent);
  const std::vector<LengthRun> runs = run_lengths(all);
  uint32_t run_counts[19] = {};
  for (const LengthRun& r : runs) ++run_counts[r.symbol];
  uint8_t run_code_lengths[19];
  uint16_t run_codes[19] = {};
  code_lengths(run_counts, 19, 7, run_code_lengths);
  canonical_codes(run_code_lengths, 19, run_codes);
  int run_lengths_sent = 19;
  while (run_lengths_sent > 4 && run_code_lengths[kCodeLengthOrder[run_lengths_sent - 1]] == 0) --run_lengths_sent;
  uint64_t own_bits = 3 + 5 + 5 + 4 + 3 * static_cast<uint64_t>(run_lengths_sent) + symbol_bits(symbols, own);
  for (const LengthRun& r : runs) own_bits += run_code_lengths[r.symbol] + run_extra_bits(r.symbol);

  // Stored: a header, at most seven bits to the byte, four bytes of length per piece.
  const size_t size = end - begin;
  const size_t pieces = size == 0 ? 1 : (size + kStoredMax - 1) / kStoredMax;
  const uint64_t stored_bits = pieces * (3 + 7 + 32) + 8 * static_cast<uint64_t>(size);

  if (stored_bits < own_bits && stored_bits < fixed_bits) {
    size_t at = begin;
    for (size_t i = 0; i < pieces; ++i) {
      const size_t n = std::min(kStoredMax, end - at);
      out->put(last && i + 1 == pieces ? 1 : 0, 1);
      out->put(0, 2);
      out->align();
      out->put(static_cast<uint32_t>(n), 16);
      out->put(static_cast<uint32_t>(~n & 0xFFFF), 16);
      for (size_t k = 0; k < n; ++k) out->put(data[at + k], 8);
      at += n;
    }
  } else if (fixed_bits <= own_bits) {
    out->put(last ? 1 : 0, 1);
    out->put(1, 2);
    write_symbols(out, symbols, fixed);
  } else {
    out->put(last ? 1 : 0, 1);
    out->put(2, 2);
    out->put(static_cast<uint32_t>(literals_sent - 257), 5);
    out->put(static_cast<uint32_t>(distances_sent - 1), 5);
    out->put(static_cast<uint32_t>(run_lengths_sent - 4), 4);
    for (int i = 0; i < run_lengths_sent; ++i) out->put(run_code_lengths[kCodeLengthOrder[i]], 3);
    for (const LengthRun& r : runs) {
      out->put(run_codes[r.symbol], run_code_lengths[r.symbol]);
      out->put(r.extra, run_extra_bits(r.symbol));
    }
    write_symbols(out, symbols, own);
  }
}

// Repeats of earlier bytes, through chains of the positions whose next
// three bytes hash alike.
class Matcher {
 public:
  Matcher(const unsigned char* data, size_t size)
      : data_(data), size_(size), head_(size_t{1} << kHashBits, -1), previous_(kWindow, -1) {}

  // Adds position p (which has three bytes after it) to the chains.
  void insert(size_t p) {
    const uint32_t h = hash(p);
    previous_[p & (kWindow - 1)] = head_[h];
    head_[h] = static_cast<int64_t>(p);
  }

  // The longest repeat starting at p (length 0 when none of kMinMatch).
  std::pair<int, int> longest(size_t p) const {
    int best = 0, best_distance = 0;
    if (p + kMinMatch > size_) return {0, 0};
    const int most = static_cast<int>(std::min<size_t>(kMaxMatch, size_ - p));
    int64_t candidate = head_[hash(p)];
    for (int chain = kMaxChain; candidate >= 0 && chain > 0; --chain) {
      const size_t c = static_cast<size_t>(candidate);
      if (p - c > kWindow) break;
      if (data_[c + static_cast<size_t>(best)] == data_[p + static_cast<size_t>(best)]) {
        int n = 0;
        while (n < most && data_[c + static_cast<size_t>(n)] == data_[p + static_cast<size_t>(n)]) ++n;
        if (n > best) {
          best = n;
          best_distance = static_cast<int>(p - c);
          if (n >= kNiceMatch || n == most) break;
        }
      }
      candidate = previous_[c & (kWindow - 1)];
    }
    return best >= kMinMatch ? std::make_pair(best, best_distance) : std::make_pair(0, 0);
  }

 private:
  uint32_t hash(size_t p) const {
    const uint32_t v = data_[p] | static_cast<uint32_t>(data_[p + 1]) << 8 | static_cast<uint32_t>(data_[p + 2]) << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  const unsigned char* data_;
  size_t size_;
  std::vector<int64_t> head_;
  std::vector<int64_t> previous_;
};

}  // namespace

std::vector<unsigned char> zlib_compress(const unsigned char* data, size_t size) {
  std::vector<unsigned char> out = {0x78, 0x9C};  // deflate, 32 KiB window, default level
  out.reserve(size / 4 + 64);
  BitWriter bits(&out);
  Matcher matcher(data, size);
  std::vector<Symbol> symbols;
  symbols.reserve(kBlockSymbols);
  size_t block_begin = 0;
  size_t p = 0;
  std::pair<int, int> ahead{-1, 0};  // the repeat found at p + 1, before p + 1 was added
  while (p < size) {
    std::pair<int, int> here = ahead.first >= 0 ? ahead : matcher.longest(p);
    ahead = {-1, 0};
    if (p + kMinMatch <= size) matcher.insert(p);
    if (here.first >= kMinMatch && here.first < kLazyBelow && p + 1 < size) {
      ahead = matcher.longest(p + 1);
      if (ahead.first > here.first) here.first = 0;  // a longer repeat starts one byte later
    }
    if (here.first >= kMinMatch) {
      symbols.push_back({static_cast<uint16_t>(here.first), static_cast<uint16_t>(here.second), 0});
      for (size_t k = 1; k < static_cast<size_t>(here.first); ++k) {
        if (p + k + kMinMatch <= size) matcher.insert(p + k);
      }
      p += static_cast<size_t>(here.first);
      ahead = {-1, 0};
    } else {
      symbols.push_back({0, 0, data[p]});
      ++p;
    }
    if (symbols.size() >= kBlockSymbols && p < size) {
      write_block(&bits, symbols, data, block_begin, p, false);
      symbols.clear();
      block_begin = p;
    }
  }
  write_block(&bits, symbols, data, block_begin, size, true);
  bits.align();
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521;
    b = (b + a) % 65521;
  }
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<unsigned char>(((b << 16) | a) >> s));
  return out;
}

}  // namespace lumo::server
