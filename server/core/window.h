// One graphics window of the server: its shared block, its picture, its
// colour table and the drawing attributes the program has applied.
#ifndef LUMO_SERVER_CORE_WINDOW_H
#define LUMO_SERVER_CORE_WINDOW_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/core/canvas.h"
#include "server/core/colours.h"
#include "server/core/display_list.h"
#include "server/core/events.h"
#include "server/core/figure_files.h"
#include "server/core/host.h"

namespace lumo::server {

struct Marker {
  int type = 3;
  int size = 7;
  Rgb colour1;
  Rgb colour2;
};

// A data block being received: announced by "N", filled by chunks.
struct PendingBlock {
  int kind = 0;
  bool subpixel = false;  // points in 1/wire::kSubpixelScale pixel
  int32_t count = 0;  // points, or series values (signed)
  int32_t series_kind = 0;
  int32_t params[4] = {0, 0, 0, 0};
  // The bytes announced, kept in a vector of points: a polyline's points
  // are handed to the canvas as they came, without a copy.
  std::vector<Point> room;
  size_t size = 0;
  unsigned char* bytes() { return reinterpret_cast<unsigned char*>(room.data()); }
  const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(room.data()); }
  std::vector<bool> filled;  // per 4-byte value: received
  bool active = false;
};

// The largest drawing area a window may have, in either direction.
inline constexpr int kMaxWindowSize = 8192;

class Window {
 public:
  // A size a window may take.
  static bool size_ok(int32_t width, int32_t height) {
    return width >= 1 && height >= 1 && width <= kMaxWindowSize && height <= kMaxWindowSize;
  }

  Window(int number, unsigned char* block, std::unique_ptr<Canvas> canvas, Frontend& frontend);

  int number() const { return number_; }
  const std::string& title() const { return title_; }
  void set_title(const std::string& t) { title_ = t; }
  unsigned char* block() { return block_; }
  // Drawing goes through canvas(), which keeps the display list; picture()
  // is the surface the frontend shows.
  Canvas& canvas() { return *canvas_; }
  Canvas& picture() { return canvas_->picture(); }
  RecordingCanvas& display_list() { return *canvas_; }
  ColourTable& colours() { return colours_; }
  int owner = -1;            // the client that opened it
  std::string owner_program; // names its picture files
  std::string owner_folder;  // the folder its program was run in
  // The folder of the program whose request is handled (relative names
  // start there), and a line for that program the request left.
  std::string requester_folder;
  std::string notice;
  // The picture changed: shown, saved again.
  void drawn();
  // Work left: long drawing in the canvas, or a request's work going on
  // beside the command loop (a picture read from a file, a drawing file
  // written), whose program is answered when it ends.
  bool work_left() const { return canvas_->work_left() || job_ != nullptr; }
  bool figure_left() const { return canvas_->work_left(); }
  // The picture's PNG is being written beside the loop (see
  // Server::command_waits).
  bool writing() const { return canvas_->writing(); }
  // Advance whenever a command leaves long drawing, and a request's work.
  uint64_t work_serial() const { return canvas_->work_serial(); }
  uint64_t jobs_started() const { return jobs_started_; }
  // One slice of the work left (the canvas's drawing first, then the
  // request's work waited for at most a slice); whether work is still left.
  bool continue_work();
  void finish_work();
  // The client whose request's work goes on (-1: none).
  int job_client() const { return job_ ? job_->client : -1; }
  // Requests whose work ended, with their replies and lines for their
  // programs, for the server to hand on.
  struct EndedRequest {
    int client;
    int32_t reply;
    std::string notice;
  };
  std::vector<EndedRequest> ended_requests;
  // The client whose command left long drawing in the canvas (-1: none).
  int working_for = -1;
  // Requests whose work takes long go on beside the command loop, waited
  // for this many seconds at a time (0: done at once).
  double slice_seconds = 0;
  // The client whose request is handled.
  int requester = -1;
  bool visible = true;
  int x = -1, y = -1;        // position on screen (-1: the system's choice)
  bool picture_saved = false;  // saved since it was last drawn
  // Advances whenever the picture changes; `serial` tells this window from
  // an earlier one of the same number.
  uint64_t changes = 0;
  const uint64_t serial;
  int dpi = 96;                // the page size of vector figures
  double png_scale = 1;        // PNG files at this many pixels a device pixel
  // Pointer and keyboard input waiting for the program.
  EventQueue events;
  // Scripted input, asked when the queue is empty (unset: none).
  std::function<EventScript::Next(InputEvent*)> next_scripted;
  bool close_requested = false;  // a scripted close, carried out by the server
  // Whether the window may take a new size (the server's memory budget).
  std::function<bool(int width, int height)> size_allowed;
  // Why the last write_file left an existing file alone (empty: it did not).
  std::string refusal;

  // Fills the drawing state a new window starts with.
  void initialise(int width, int height);
  // Recomputes the device origin from the viewport and unit.
  void update_origin();
  // The drawing area changed size.
  // False, the picture as it was and `notice` saying why, when no memory
  // could be had for the new one.
  bool resize(int width, int height);

  // Window commands by letter; the reply.
  int32_t draw(int32_t code);             // "A"
  // Draws the command held in `copy`, a copy of this window's block taken
  // when the command was answered (the program may have reused the block).
  int32_t draw_detached(unsigned char* copy);
  // The single pixel of the drawing command kDrawPixel: at `at` (under the
  // drawing transformation), in the colour `colour` names.
  void draw_pixel(Point at, int32_t colour);
  // Points the window at another block for the command being handled (a
  // program's own copy); returns the one it had.
  unsigned char* swap_block(unsigned char* other) {
    unsigned char* had = block_;
    block_ = other;
    return had;
  }
  int32_t request(int32_t code);          // "B" (most; the server handles a few)
  int32_t metric(int32_t what, int screen_w, int screen_h, int dpi);  // "E"
  int32_t pixel();                        // "F"
  int32_t announce_block();               // "N"
  // The program whose data-block commands follow: every program has its own
  // block in the making, so one program's posted points never mix with
  // another's drawing into a window both hold.
  void set_block_client(int client) { block_client_ = client; }
  // A window command of the program's, its block `copy` (as draw_detached).
  int32_t request_detached(char letter, unsigned char* copy);
  int32_t take_event(int32_t mode);       // "V"
  // Writes the window's picture (PNG) or drawing (a vector format) as a file.
  bool write_file(const std::string& path, FigureFormat format);
  // The same beside the command loop: the task writing it, or null when it
  // is to be written at once instead (write_file then says why, when the
  // file may not be replaced).
  std::unique_ptr<BesideTask> start_file_write(const std::string& path, FigureFormat format);

  // The text in the data area (at most 2047 characters).
  std::string data_text() const;
  void set_data_text(const std::string& text);

 private:
  int32_t word(int offset) const;
  void set_word(int offset, int32_t value);
  Point point_at(int offset) const;
  // A single pixel's place on the surface under the drawing transformation.
  Point transformed(Point p) const;
  void apply_attributes();
  Font font_from(int angle_field, int height_field, int align_field, int colour_field,
                 int param_field, bool symbol) const;
  void apply_font(bool symbol);
  // A marker's pens and brushes, in the pen's mode (crisp, raster or smooth):
  // the outline and the fill of the shapes, and for the dot its solid box
  // without an outline.
  struct MarkerLook {
    Pen outline, none;
    Brush fill, dot;
  };
  MarkerLook marker_look() const;
  void draw_marker(Point p);
  void draw_marker_at(SubPoint p);
  SubPoint sub_at(int offset) const { return {word(offset), word(offset + 4)}; }
  int32_t draw_subpixel(int32_t code);
  int32_t receive_chunk();
  int32_t commit_block();
  void cancel_block();
  void draw_series(const PendingBlock& b);
  PendingBlock& pending_block() { return blocks_[block_client_]; }
  static uint64_t next_serial();
  // A request's work beside the command loop.
  struct Job {
    int client = -1;
    bool load = false;      // a picture read, else a drawing file written
    std::unique_ptr<BesideTask> task;
    std::string failure;    // the start of the line told when it fails
  };
  // Finishes the job in hand (one at a time, in order), then starts the
  // task `start` makes for this one; false when there is none and the work
  // must be done at once.
  bool start_job(bool load, const std::string& failure, const std::function<std::unique_ptr<BesideTask>()>& start);
  // The job's work ended: the rest is done and its answer queued.
  void end_job();
  std::unique_ptr<Job> job_;
  uint64_t jobs_started_ = 0;

  int number_;
  std::string title_;
  unsigned char* block_;
  std::unique_ptr<RecordingCanvas> canvas_;
  Frontend& frontend_;
  ColourTable colours_;
  Pen pen_;
  Brush brush_;
  Marker marker_;
  Font text_font_;
  Font symbol_font_;
  Transform transform_;
  Point position_{-1, -1};
  std::map<int, PendingBlock> blocks_;  // by program
  int block_client_ = -1;
  // The position between pixels that the last sub-pixel move or line left
  // (position_ is its whole pixel); none after a whole-pixel one.
  bool subpixel_position_ = false;
  SubPoint position_at_{0, 0};
};

}  // namespace lumo::server

#endif
