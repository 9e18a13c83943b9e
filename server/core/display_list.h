// A window's drawing as a list of commands, kept beside its picture so the
// same drawing can be written again on another surface (a vector figure).
//
// The list holds every canvas operation since the window was last cleared,
// in order, each with the pen, brush or font it was drawn with and the
// drawing transformation in force.  Operations whose result depends on
// what is already there (the invert and XOR modes) and single pixels are
// kept as the pixels they left: consecutive ones share one image of the
// area they touched, taken from the picture before the next figure is
// drawn.  A picture loaded from a file is kept the same way.
//
// The list is bounded: when the commands recorded since the last image
// take more than the limit, the list is replaced by an image of the whole
// picture and recording goes on after it.
#ifndef LUMO_SERVER_CORE_DISPLAY_LIST_H
#define LUMO_SERVER_CORE_DISPLAY_LIST_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#ifdef __linux__
#include <sys/mman.h>
#endif
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/core/canvas.h"

namespace lumo::server {

// The bytes a list may take beyond its last whole-picture image.
inline constexpr size_t kDefaultListLimit = size_t{64} << 20;

// A growing run of bytes: appends copy without clearing first, so keeping a
// record costs little more than copying it.
class ByteList {
 public:
  ByteList() = default;
  ByteList(const ByteList&) = delete;
  ByteList& operator=(const ByteList&) = delete;
  ~ByteList() {
    if (reclaim()) std::free(data_);
  }
  size_t size() const { return size_; }
  const unsigned char* data() const { return data_; }
  // False once an append found no memory (the list is then incomplete).
  bool complete() const { return complete_; }
  // Empties the list; a large one gives its memory back.
  void clear() {
    size_ = 0;
    complete_ = true;
    if (!reclaim()) {
      data_ = nullptr;  // the reader's now
      capacity_ = 0;
      return;
    }
    if (capacity_ > (size_t{1} << 20)) {
      std::free(data_);
      data_ = nullptr;
      capacity_ = 0;
    }
  }
  // Room for `n` more bytes at once (appends in pieces would grow it, and
  // touch fresh memory, a doubling at a time).
  void reserve_more(size_t n) {
    if (size_ + n > capacity_) grow(size_ + n);
  }
  void append(const void* bytes, size_t n) {
    if (size_ + n > capacity_ && !grow(size_ + n)) return;
    std::memcpy(data_ + size_, bytes, n);
    size_ += n;
  }
  // The first size() bytes for a reader on another thread.  They stay as
  // they are while the reader holds them: appends go past them, and a list
  // that grows, is cleared or ends leaves that memory to the reader.  The
  // shared pointer is copied and let go on the list's own thread only.
  std::shared_ptr<const unsigned char> share() {
    if (!shared_) shared_ = std::make_shared<Owned>(data_);
    return std::shared_ptr<const unsigned char>(shared_, data_);
  }

 private:
  struct Owned {
    explicit Owned(unsigned char* bytes) : data(bytes) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { std::free(data); }
    unsigned char* data;
  };
  // The memory is the list's alone again (true), or stays with a reader
  // that still holds it (false: the list lets go of it).
  bool reclaim() {
    if (!shared_) return true;
    const bool alone = shared_.use_count() == 1;
    if (alone) shared_->data = nullptr;
    shared_.reset();
    return alone;
  }
  bool grow(size_t need) {
    size_t capacity = capacity_ < 4096 ? 4096 : capacity_;
    while (capacity < need) capacity *= 2;
    if (shared_ && shared_.use_count() > 1) {
      // A reader holds the memory: the list goes on in a copy.
      auto* copy = static_cast<unsigned char*>(std::malloc(capacity));
      if (!copy) {
        complete_ = false;
        return false;
      }
      std::memcpy(copy, data_, size_);
      shared_.reset();
      data_ = copy;
      capacity_ = capacity;
      return true;
    }
    reclaim();
    void* more = std::realloc(data_, capacity);
    if (!more) {
      complete_ = false;
      return false;
    }
    data_ = static_cast<unsigned char*>(more);
    capacity_ = capacity;
#ifdef __linux__
    // A long list is touched page by page as it grows: huge pages take
    // one fault for two megabytes instead of one for four kilobytes.
    if (capacity >= (size_t{4} << 20)) {
      const uintptr_t page = 4096, start = (reinterpret_cast<uintptr_t>(data_) + page - 1) & ~(page - 1);
      const uintptr_t end = (reinterpret_cast<uintptr_t>(data_) + capacity) & ~(page - 1);
      if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
#endif
    return true;
  }
  unsigned char* data_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
  bool complete_ = true;
  std::shared_ptr<Owned> shared_;  // the memory, while a reader may hold it
};

// Where a replay of a list stopped, and the state in force there, so that a
// later replay draws only what was recorded since.
struct ReplayCursor {
  uint64_t list = 0;  // which list it read (a clear starts another)
  size_t offset = 0;  // bytes read
  Transform transform;
  // The pen and brush in force as recorded, and as the target draws them.
  Pen recorded_pen, pen;
  Brush recorded_brush, brush;
  Font font;
  int width = 0, height = 0;
};

class RecordingCanvas : public Canvas {
 public:
  // The records' operations.
  enum Op : uint8_t {
    kOpClear = 1, kOpResize, kOpTransform, kOpLine, kOpPolyline, kOpPolygon, kOpBezier,
    kOpRect, kOpRoundRect, kOpEllipse, kOpArc, kOpText, kOpImage,
    // The pen, brush and font of the figures after them.
    kOpPen, kOpBrush, kOpFont,
    kOpShortLine,  // a line with 16-bit coordinates
    kOpSubpixel,   // the next figure's points are SubPoints
  };
  RecordingCanvas(std::unique_ptr<Canvas> picture, Rgb background, size_t limit = kDefaultListLimit);
  ~RecordingCanvas() override;

  // The canvas that holds the picture.
  Canvas& picture() { return *picture_; }
  // Called once when the list first gives way to an image (for a note).
  std::function<void()> on_overflow;
  void set_limit(size_t limit) { limit_ = limit; }
  size_t bytes() const { return list_.size(); }
  size_t images() const { return images_; }
  bool overflowed() const { return overflowed_; }
  // False when memory ran out while recording (nothing to write from).
  bool complete() const { return list_.complete(); }

  // Draws the list onto `target`.  A surface of pixels is given every size
  // the picture had, in turn; a page (`vector`) keeps the picture's size.
  // With `vector`, the modes that only make sense on pixels become their plain
  // equivalents (crisp becomes anti-aliased, black and white pens draw in
  // those colours).
  void replay(Canvas& target, bool vector);
  // Draws onto `target` what was recorded since `cursor` (a replay of the
  // same target that ended there) and moves the cursor on: to the end, or,
  // with a `budget`, past the first records of at least that many bytes.
  // When the list was started anew since (a clear, or an overflow), it
  // starts from its beginning.  True when the cursor reached the end.
  bool replay_more(Canvas& target, ReplayCursor& cursor, bool vector, size_t budget = SIZE_MAX);
  // Changes whenever the list starts anew.
  uint64_t list_number() const { return list_number_; }
  // The list as it is now, for a replay on another thread while drawing
  // goes on: its bytes stay as they are for as long as the snapshot lives
  // (drawing after it, a clear or a list started anew leave them alone).
  struct Snapshot {
    std::shared_ptr<const unsigned char> bytes;
    size_t size = 0;
    int width = 0, height = 0;
    bool complete = true;
  };
  Snapshot snapshot();
  // Draws a snapshot onto `target` as replay draws the list.
  static void replay(const Snapshot& list, Canvas& target, bool vector);

  int width() const override { return picture_->width(); }
  int height() const override { return picture_->height(); }
  bool made() const override { return picture_->made(); }
  void resize(int width, int height, Rgb background) override;
  void clear(Rgb background) override;
  void set_transform(const Transform& t) override;
  void line(const Pen& pen, Point a, Point b) override;
  void polyline(const Pen& pen, const Point* points, int count) override;
  void take_polyline(const Pen& pen, std::vector<Point>* points) override;
  void take_polygon(const Pen& pen, const Brush& brush, std::vector<Point>* points, bool winding) override;
  void polygon(const Pen& pen, const Brush& brush, const Point* points, int count,
               bool winding) override;
  void bezier(const Pen& pen, const Point* points, int count) override;
  void rect(const Pen& pen, const Brush& brush, Point a, Point b) override;
  void round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int corner_w,
                  int corner_h) override;
  void ellipse(const Pen& pen, const Brush& brush, Point a, Point b) override;
  void arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b, Point start,
           Point end) override;
  void text(const Font& font, Point at, const std::string& text) override;
  void line_at(const Pen& pen, SubPoint a, SubPoint b) override;
  void polyline_at(const Pen& pen, const SubPoint* points, int count) override;
  void take_polyline_at(const Pen& pen, std::vector<SubPoint>* points) override;
  void polygon_at(const Pen& pen, const Brush& brush, const SubPoint* points, int count,
                  bool winding) override;
  void bezier_at(const Pen& pen, const SubPoint* points, int count) override;
  void ellipse_at(const Pen& pen, const Brush& brush, SubPoint a, SubPoint b) override;
  void arc_at(ArcKind kind, const Pen& pen, const Brush& brush, SubPoint a, SubPoint b,
              SubPoint start, SubPoint end) override;
  void text_at(const Font& font, SubPoint at, const std::string& text) override;
  TextSize measure(const Font& font, const std::string& text) override {
    return picture_->measure(font, text);
  }
  void set_pixel(Point p, Rgb colour) override;
  bool get_pixel(Point p, Rgb* colour) override;
  bool save_png(const std::string& path) override;
  bool load_png(const std::string& path) override;
  std::unique_ptr<BesideTask> start_png_read(const std::string& path) override {
    return picture_->start_png_read(path);
  }
  bool put_png_read(BesideTask& read) override;
  // The picture's PNG beside the loop; until it is written, whatever would
  // change the picture first waits for it.
  std::unique_ptr<BesideTask> start_png_write(const std::string& path) override;
  // Whether that PNG is still being written: a program's drawing here is
  // then better held back than drawn (it would wait for the file).
  bool writing() const;
  bool read_pixels(int x, int y, int w, int h, uint32_t* out) override {
    return picture_->read_pixels(x, y, w, h, out);
  }
  void draw_image(int x, int y, int w, int h, const uint32_t* pixels) override;
  // The list holds a long figure whole from its start; its picture is
  // drawn in slices.
  void set_slice(double seconds) override { picture_->set_slice(seconds); }
  bool work_left() const override { return picture_->work_left(); }
  bool continue_work() override;
  uint64_t work_serial() const override { return picture_->work_serial(); }

 private:
  static bool short_ok(Point p) { return p.x >= -32768 && p.x <= 32767 && p.y >= -32768 && p.y <= 32767; }
  // Point lists of this many or more are kept in 16 bits when they fit.
  static constexpr int kShortPointsFrom = 64;
  template <typename T>
  void put(const T& v);
  void put_points(const Point* p, int count);
  void put_pen(const Pen& pen);
  void put_brush(const Brush& brush);
  // Before a figure: takes the image of the pixels left by raster
  // operations since the last figure and records its pen and brush where
  // they changed.  Then starts the figure's record.
  void begin(Op op, const Pen* pen = nullptr, const Brush* brush = nullptr);
  template <typename Fields, typename Draw>
  void figure(Op op, const Pen& pen, const Brush* brush, const Point* extent, int n, Fields fields,
              Draw draw);
  // The same for a figure at sub-pixel positions: its record follows
  // kOpSubpixel, its points in the layout of Points.
  template <typename Fields, typename Draw>
  void subpixel_figure(Op op, const Pen& pen, const Brush* brush, const SubPoint* extent, int n,
                       Fields fields, Draw draw);
  void put_font(const Font& font);
  // Starts the list anew with a clear to `background` at the picture's size.
  void start_list(Rgb background);
  // The image of the pixels raster operations left since the last record.
  void take_touched_pixels();
  void end();
  // A raster operation touched the box (inclusive; through the drawing
  // transformation unless `transformed` is false).
  void touched(double x0, double y0, double x1, double y1, bool transformed = true);
  void touched_points(const Pen& pen, const Point* p, int count);
  // The same for a box of pixels within the picture.
  void touched_box(int x0, int y0, int x1, int y1);
  bool raster(const Pen& pen) const {
    return pen.blend == Blend::kInvert || pen.blend == Blend::kXor;
  }
  void take_image(int x0, int y0, int x1, int y1);
  void restart_with_picture();
  // Waits for the picture's PNG being written beside the loop, if one is.
  void await_writer();
  class PngWrite;
  PngWrite* writer_ = nullptr;
  // The records in `data` from the cursor on (see replay_more).
  static bool replay_bytes(const unsigned char* data, size_t size, Canvas& target, ReplayCursor& cursor,
                           bool vector, size_t budget);

  std::unique_ptr<Canvas> picture_;
  ByteList list_;
  size_t limit_;
  size_t base_ = 0;  // bytes up to the last whole-picture image
  size_t images_ = 0;
  uint64_t list_number_ = 0;
  bool overflowed_ = false;
  Transform transform_;
  // The pen, brush and font last recorded (in force for what follows).
  Pen pen_;
  Brush brush_;
  Font font_;
  bool has_pen_ = false, has_brush_ = false, has_font_ = false;
  // The area raster operations touched since the last image (inclusive).
  bool dirty_ = false;
  int dirty_x0_ = 0, dirty_y0_ = 0, dirty_x1_ = 0, dirty_y1_ = 0;
};

}  // namespace lumo::server

#endif
