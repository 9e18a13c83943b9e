#include "server/canvas/picture_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

#include "server/canvas/beside_thread.h"

namespace lumo::server::picture_memory {
namespace {

constexpr size_t kKeptBlocks = 4;

struct Block {
  void* base = nullptr;
  size_t size = 0;
};

size_t page_rounded(size_t bytes) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it
#endif

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kPopulatePiece = 4 * kHugePage;

// A large picture on huge pages where the system lends them (it does on
// request by default): writing a picture of 8,000 x 6,000 pixels into new
// memory took 250-290 ms in faults of 4 KB pages here, 17 ms on 2 MB
// pages.  False, with nothing kept, when the memory cannot be had so.
bool fresh_huge(size_t size, Block* block) {
  const size_t span = size + kHugePage;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return false;
  char* const start = static_cast<char*>(raw);
  char* const base =
      reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1));
  // The slack before and after the aligned block goes back.
  if (base > start) munmap(start, static_cast<size_t>(base - start));
  const size_t tail = span - static_cast<size_t>(base - start) - size;
  if (tail > 0) munmap(base + size, tail);
  if (madvise(base, size, MADV_HUGEPAGE) != 0) {
    munmap(base, size);
    return false;
  }
  // A few huge pages a call: the kernel holds the process's map while it
  // fills them, and the loop's own mapping (a large vector) waits for it.
  for (size_t at = 0; at < size; at += kPopulatePiece) {
    if (madvise(base + at, std::min(kPopulatePiece, size - at), MADV_POPULATE_WRITE) != 0) {
      munmap(base, size);
      return false;
    }
  }
  *block = Block{base, size};
  return true;
}

// Its pages at once: the kernel fills them in one pass, not a fault a page.
Block fresh(size_t size) {
  Block huge;
  if (size >= 4 * kHugePage && fresh_huge(size, &huge)) return huge;
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return base == MAP_FAILED ? Block{} : Block{base, size};
}

// A block of `size` bytes fits `bytes` when it is large enough and wastes
// no more than the picture itself and a little.
bool fits(const Block& b, size_t bytes) { return b.size >= bytes && b.size <= 2 * bytes + (size_t{2} << 20); }

class Store {
 public:
  ~Store() {
    for (const Block& b : kept_) munmap(b.base, b.size);
    for (const Prepared& p : prepared_) munmap(p.block.base, p.block.size);
  }

  Block take(size_t bytes) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      // Memory made beside the loop for the command being handled comes
      // first; another's is left for its own.
      for (size_t i = 0; i < prepared_.size(); ++i) {
        if (prepared_[i].owner == offered_ && offered_ && fits(prepared_[i].block, bytes)) {
          const Block b = prepared_[i].block;
          prepared_.erase(prepared_.begin() + static_cast<std::ptrdiff_t>(i));
          return b;
        }
      }
      size_t best = kept_.size();
      for (size_t i = 0; i < kept_.size(); ++i) {
        if (fits(kept_[i], bytes) && (best == kept_.size() || kept_[i].size < kept_[best].size)) best = i;
      }
      if (best < kept_.size()) {
        const Block b = kept_[best];
        kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(best));
        return b;
      }
    }
    return fresh(page_rounded(bytes));
  }

  void give_back(const Block& b) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (kept_.size() < kKeptBlocks && kept_total() + b.size <= kKeptBytes) {
        kept_.push_back(b);
        return;
      }
    }
    munmap(b.base, b.size);
  }

  size_t kept_bytes() {
    std::lock_guard<std::mutex> hold(lock_);
    return kept_total();
  }

  // Whether a picture of `bytes` finds memory kept for later pictures.
  bool has_fitting(size_t bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto fitting = [bytes](const Block& b) { return fits(b, bytes); };
    return std::any_of(kept_.begin(), kept_.end(), fitting);
  }

  void add_prepared(const void* owner, const Block& b) {
    std::lock_guard<std::mutex> hold(lock_);
    prepared_.push_back({owner, b});
  }

  void offer(const void* owner) {
    std::lock_guard<std::mutex> hold(lock_);
    offered_ = owner;
  }

  // The block made at `base`, when no picture took it, goes back.
  void drop_prepared(void* base) {
    Block gone;
    {
      std::lock_guard<std::mutex> hold(lock_);
      for (size_t i = 0; i < prepared_.size(); ++i) {
        if (prepared_[i].block.base == base) {
          gone = prepared_[i].block;
          prepared_.erase(prepared_.begin() + static_cast<std::ptrdiff_t>(i));
          break;
        }
      }
    }
    if (gone.base) munmap(gone.base, gone.size);
  }

  size_t prepared_bytes() {
    std::lock_guard<std::mutex> hold(lock_);
    size_t total = 0;
    for (const Prepared& p : prepared_) total += p.block.size;
    return total;
  }

 private:
  size_t kept_total() const {
    size_t total = 0;
    for (const Block& b : kept_) total += b.size;
    return total;
  }

  std::mutex lock_;
  std::vector<Block> kept_;
  struct Prepared {
    const void* owner;  // the task that made it
    Block block;
  };
  std::vector<Prepared> prepared_;  // made for a window about to open or grow
  const void* offered_ = nullptr;   // whose memory the next picture may take
};

Store& store() {
  static Store s;
  return s;
}

const cairo_user_data_key_t kBlockKey{};

void release(void* data) {
  Block* b = static_cast<Block*>(data);
  store().give_back(*b);
  delete b;
}

}  // namespace

cairo_surface_t* create_rgb24(int width, int height) {
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
  if (stride <= 0 || height <= 0) return cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  const Block b = store().take(static_cast<size_t>(stride) * static_cast<size_t>(height));
  if (!b.base) return cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_surface_t* s = cairo_image_surface_create_for_data(static_cast<unsigned char*>(b.base), CAIRO_FORMAT_RGB24,
                                                           width, height, stride);
  Block* owned = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS ? new Block(b) : nullptr;
  if (!owned || cairo_surface_set_user_data(s, &kBlockKey, owned, release) != CAIRO_STATUS_SUCCESS) {
    delete owned;
    cairo_surface_destroy(s);
    store().give_back(b);
    return cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  }
  return s;
}

size_t kept_bytes() { return store().kept_bytes(); }

size_t prepared_bytes() { return store().prepared_bytes(); }

void offer(const BesideTask* prepared) { store().offer(prepared); }

namespace {

// The block is made on a thread and put where the next picture of its size
// takes it; one no picture took goes back with the task.
class Preparation : public BesideTask {
 public:
  explicit Preparation(size_t bytes)
      : made_(std::make_shared<void*>(nullptr)),
        thread_(std::make_unique<ThreadTask>([this, bytes, made = made_](const std::atomic<bool>&) {
          const Block b = fresh(bytes);
          if (!b.base) return false;
          *made = b.base;
          store().add_prepared(static_cast<const BesideTask*>(this), b);
          return true;
        })) {}
  ~Preparation() override {
    thread_.reset();  // the thread has ended
    if (*made_) store().drop_prepared(*made_);
  }
  bool wait(double seconds) override { return thread_->wait(seconds); }
  bool succeeded() const override { return thread_->succeeded(); }
  int error() const override { return thread_->error(); }

 private:
  std::shared_ptr<void*> made_;  // written by the thread before it ends
  std::unique_ptr<ThreadTask> thread_;
};

}  // namespace

std::unique_ptr<BesideTask> prepare(int width, int height) {
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
  if (stride <= 0 || height <= 0) return nullptr;
  const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
  if (bytes < kPreparedFrom || store().has_fitting(bytes)) return nullptr;
  return std::make_unique<Preparation>(page_rounded(bytes));
}

}  // namespace lumo::server::picture_memory
