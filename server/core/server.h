// The graphics window server's core: it owns the server block and the
// windows, answers every command and knows which programs are linked.
// Portable: the OS is reached through BlockHost, the screen through
// Frontend, drawing through Canvas.
#ifndef LUMO_SERVER_CORE_SERVER_H
#define LUMO_SERVER_CORE_SERVER_H

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/lumo_wire.h"
#include "server/core/canvas.h"
#include "server/core/host.h"
#include "server/core/events.h"
#include "server/core/figure_files.h"
#include "server/core/window.h"

namespace lumo::server {

struct Options {
  int key = 1;
  int width = 640;           // size of new windows (/s)
  int height = 480;
  int x = -1;                // position of new windows (/p)
  int y = -1;
  int dpi = 96;
  // PNG files of the windows at this many pixels a device pixel, drawn
  // again from their display lists (LUMOVIEW_PNG_SCALE).
  double png_scale = 1;
  std::array<int, 7> switches = {0, 0, 1, 1, 0, 1, 0};  // 1..6: t b r i l o
  std::string png_dir;       // write each window here as PNG
  // Without either folder named: write each window as PNG into the folder
  // its program was run in (a server without a display).
  bool pictures_by_default = false;
  // Write each window here at its program's end in these formats too.
  std::string figure_dir;
  std::vector<FigureFormat> figure_formats;
  // Input for the windows from a file (events.h), for runs without a person.
  std::string events_path;
  // The bytes each window's display list may take (display_list.h).
  size_t list_limit = kDefaultListLimit;
  // All windows' pictures together may take at most this many bytes (4 a
  // pixel); a window or a resize past it is refused.
  int64_t picture_budget = int64_t{1} << 30;
  // Started for a program: its run settings' fingerprint (run_settings.h);
  // a program whose own differ is not taken.  A server started by hand
  // takes any program.
  bool settings_checked = false;
  uint32_t settings = 0;
  // Long drawing (a polyline of many points) is drawn in slices of about
  // this many seconds, other programs' commands served between them; 0
  // draws every command whole before the next.
  double slice_seconds = 0;
};

// Parses the switch string a program hands to a new server (" /t /p0,0 ...").
// Unknown words are ignored; false only when a value is malformed.
bool parse_switches(int argc, const char* const* argv, Options* options);

// Takes LUMOVIEW_MEMORY_MB and LUMOVIEW_LIST_MB from the environment `get`
// reads ("" for a variable not set): each a whole number of MiB above 0.
// One that is not is refused, its line added to `refused`, the default kept.
void take_memory_settings(const std::function<std::string(const char*)>& get, Options* options,
                          std::vector<std::string>* refused);

class Server {
 public:
  Server(BlockHost& host, Frontend& frontend, CanvasFactory& canvases, const Options& options);
  ~Server();

  // Claims the lowest free server block; false when none of 1..16 is free.
  bool start();
  int number() const { return number_; }

  // One command from client `client` (a connection); returns the reply.
  // `copy` (when given) is the program's own copy of the first `copy_bytes`
  // bytes of the addressed window's block (all the command reads), taken
  // when it sent the command: the command reads its arguments
  // from it, and what the command writes reaches the shared block, so that
  // another program writing its next arguments into a joined window's block
  // meanwhile cannot change this command.
  int32_t handle(int client, const unsigned char* bytes, uint32_t size,
                 const unsigned char* copy = nullptr, uint32_t copy_bytes = 0);
  // True (reply in *reply) when a command's reply does not depend on
  // handling it: a drawing command for a shown window.  Its handling then
  // works from a copy of the window block, which the program may reuse.
  // Such a command is queued (a copy of the block with it) and drawn later,
  // strictly in order: by draw_pending, or before any other command.
  bool early_reply(int client, const unsigned char* bytes, uint32_t size, int32_t* reply,
                   const unsigned char* copy = nullptr, uint32_t copy_bytes = 0);
  // Draws the oldest answered command still waiting; false when none waits.
  bool draw_pending();
  // Draws every answered command still waiting.
  void flush_pending();
  size_t pending_count() const { return pending_count_; }
  // A drawing command a program posted without waiting, with its copy of
  // the window block; drawn at once, after everything answered before it.
  // Anything but drawing that needs no answer is ignored.
  void draw_posted(int client, const unsigned char* bytes, uint32_t size, unsigned char* block);
  // A posted single pixel (the drawing command kDrawPixel with the window
  // code, x, y and colour as its only words), drawn as draw_posted draws
  // that command but without a block to copy; false when it must go that
  // way instead (no such window, or commands are traced).
  bool draw_posted_pixel(int client, int window_code, Point at, int32_t colour);
  // Long drawing left over from a command (slice_seconds): whether the
  // answer to the last command of `client` waits for it (nothing more of
  // that program is to be taken until then), and one slice of it, the
  // windows taking turns (false when there was none).
  bool holding(int client) const;
  bool continue_work();
  // Asked before a command or a posted record of `client` is taken (a
  // record as its letter, window code and a zero): true when it is for a
  // window whose PNG is being written and could change the picture, or
  // opens a window whose picture's memory is still being made (begun
  // here).  It is then not taken: the program is held (holding) until the
  // file is written or the memory made, while the other programs are
  // served, and its command is taken up again afterwards, in its order.
  // Reading pixels is not held back.
  // `args`: the window block the command comes with (null: the window's).
  bool command_waits(int client, const unsigned char* bytes, uint32_t size, const unsigned char* args = nullptr);
  // The reply to hand a held command of `client` once it is no longer
  // held: `reply`, the one it was handled with, unless its request's work
  // went on beside the loop (a picture read, a drawing file written) and
  // ended with its own.
  int32_t held_reply(int client, int32_t reply);
  // False while the program must send its next command and wait for the
  // answer (its window was closed by the user: that answer ends it).
  bool may_post(int client) const;
  // Advances whenever a window goes.
  uint32_t windows_gone() const { return windows_gone_; }
  // The windows there are: bit w for window w.
  uint64_t window_bits() const {
    uint64_t bits = 0;
    for (const auto& entry : windows_) bits |= uint64_t{1} << (entry.first & 63);
    return bits;
  }
  // The text the command just handled answers its program with (the new
  // window's "number,title" line, a request's values), empty when it has
  // none.  The host hands it to that program alone (channel.h `answer`).
  const std::string& answer() const { return answer_; }
  // The client's connection ended.
  void client_gone(int client);
  // The user closed window w (its program is told with the next reply).
  void close_by_user(int w);
  // A program cut the shared block at `base` short under the server.  The
  // server block is written afresh; a window whose block it was is closed
  // as if by its user (its state was lost with the block), and its program
  // told why.
  void block_lost(const unsigned char* base);
  // The server block, through which programs find the server.
  const unsigned char* server_block() const { return server_block_; }

  // The server is about to end: it is no longer shown as waiting, and a
  // program that found it waiting just before is sent elsewhere (its
  // start-up is refused), so no program links to a server that then goes.
  // The host keeps serving for a moment (kClosingDrainMs) before it ends.
  void begin_closing();
  bool closing() const { return closing_; }
  static constexpr int kClosingDrainMs = 300;
  // Pictures are being written at a program's end: the server stays.
  bool saving_pictures() const { return !saves_.empty(); }
  // Programs currently linked, and whether any ever was.
  int active_links() const;
  bool ever_linked() const { return ever_linked_; }
  size_t window_count() const { return windows_.size(); }
  // Windows the user can see (not hidden by their program).
  size_t shown_window_count() const {
    size_t n = 0;
    for (const auto& entry : windows_) n += entry.second->visible ? 1 : 0;
    return n;
  }
  Window* window(int w);
  template <typename F>
  void for_each_window(F f) {
    for (auto& entry : windows_) f(*entry.second);
  }

  // Writes every window's pictures not yet written (when a folder is set,
  // or without a display), and, with `wait`, waits for all pictures still
  // being written.
  void save_pictures(bool wait = true);
  // One line per command (for LUMOVIEW_TRACE); set to receive them.
  std::function<void(const std::string&)> trace;
  // Called whenever a picture was written, and (once) when pictures cannot
  // be written or a window is refused for memory, with the reason.
  std::function<void(const std::string&)> picture_written;
  std::function<void(const std::string&)> complaint;
  // A line for the program of client `client` (its standard error): where
  // its pictures went, what could not be done for it.
  std::function<void(int client, const std::string&)> tell_program;
  // The same for lines told later, also once the program has gone (its
  // standard error is kept until the function is let go); unset, they go
  // through tell_program when they are told.
  std::function<std::function<void(const std::string&)>(int client)> teller;
  // A setting the server refused when it started: in the log now, and told
  // to every program that links.
  void refused_setting(const std::string& text);

 private:
  // A command of `client` comes: whatever is left of its long drawing is
  // drawn first, so its own drawing keeps its order.
  void finish_work_of(int client);
  // After a command of `client` for window `w`: long drawing it left in the
  // window (the canvas's work_serial moved from `work_before`) belongs to it.
  void note_work(int client, Window* w, uint64_t work_before);
  // Hands on what the requests whose work went on beside the loop ended
  // with: their replies kept for held_reply, their lines told.
  void answer_ended(Window& w);
  std::map<int, int32_t> late_replies_;
  bool any_work_ = false;    // some window may have drawing left
  int last_worked_ = 0;      // the window that had the last slice
  // Whether the program's posted drawing is drawn (not when it is ending
  // because the user closed its window); marks it active if so.
  bool posted_drawing_taken(int client);
  struct Client {
    bool active = false;
    bool owner = false;          // sent the start-up command
    bool close_exit = false;     // its window was closed by the user
    mutable int writer_wait = -1;  // the window whose PNG its next command waits for
    // The window block as a command held back for a PNG found it: a program
    // without a channel sends none of its own, and a joined program may
    // write its arguments there meanwhile.
    std::vector<unsigned char> held_block;
    // The memory of the picture of the window it opens, made beside the
    // loop while its open command waits.
    std::unique_ptr<BesideTask> picture_made;
    int64_t picture_bytes = 0;  // of the picture it is made for
    std::string program;         // program name, for picture files
    std::string folder;          // the folder the program was run in
  };

  int32_t dispatch(Client& c, int id, const unsigned char* bytes, uint32_t size);
  int32_t window_command(Client& c, int id, char letter, int w);
  int32_t start_command(Client& c, int id, const std::string& text, const std::string& extension);
  // What an open command asks for, its size as the window gets it.
  struct OpenAsked {
    int n = 0, width = 0, height = 0, colour1 = -1, colour2 = -1, mode = -1, used = 0;
  };
  bool open_asked(const std::string& text, OpenAsked* asked) const;
  // A command held back without a copy of the window block keeps the
  // block as it was (a joined program may write its arguments meanwhile).
  void keep_arguments(Client& c, const unsigned char* block);
  // Memory made for a command that no longer needs it (taken, or its
  // program gone): let go once made, beside the loop, never waited for in it.
  void let_go(std::unique_ptr<BesideTask> task);
  std::vector<std::unique_ptr<BesideTask>> letting_go_;
  // Whether a command that opens a window or makes one larger waits for
  // its picture's memory, made beside the loop when it could take long.
  bool waits_for_picture(Client& c, const unsigned char* bytes, uint32_t size, const unsigned char* args);
  int32_t open_command(Client& c, int id, const std::string& text);
  // Closes window w; `client` (-1: none) waits for its pictures.
  int32_t close_window(int w, int client = -1);
  int32_t end_command(Client& c, int id);
  // The request "code;mask;a;b;" is the command's own text after "E  "
  // when the program sent it there, else the server block's.
  int32_t exchange(const std::string& request);
  int32_t server_switch(int number, int value);
  // Switches 1 to 3 as the windows' look.
  WindowLook look() const;
  int32_t query(int x);
  // The program of client `id` ended; `waiting` when it waits for the
  // answer to its end (its pictures are written first).
  void link_ended(int id, bool waiting);
  // Starts writing the window's pictures (its program's end), each file
  // beside the loop in turn; `client` waits for them (-1: nobody).
  void save_picture(Window& w, int client = -1);
  // A window's pictures being written, a file at a time.
  struct PictureSave {
    int window = 0;
    int client = -1;
    std::vector<std::pair<std::string, FigureFormat>> files;
    size_t next = 0;                   // the file in hand
    std::unique_ptr<BesideTask> task;  // writing it beside the loop
    std::function<void(const std::string&)> tell;  // the lines for its program
    std::string written, failed, failure;
    // The window, once it is closed while they are written: it goes with
    // them (its number may come to a new window meanwhile).
    std::unique_ptr<Window> closed;
  };
  std::vector<PictureSave> saves_;
  // Takes the pictures on, waiting at most `seconds` for the file in hand;
  // true once all are written and told (the save is then to go).
  bool advance_save(PictureSave& s, double seconds);
  // Takes every save on, waiting at most `first_wait` for the first.
  void advance_saves(double first_wait);
  // Waits for window w's pictures (every window's, open or closed, when 0).
  void finish_saves(int w);
  void picture_ended(Window& w, PictureSave& s, bool written, const std::string& reason);
  std::vector<std::pair<std::string, FigureFormat>> picture_files(const Window& w) const;
  // Said in the log and to the program of `client` (none: -1).
  void say(int client, const std::string& text);
  // Whether all pictures fit in the budget with `w` (null: a new window) at
  // width x height.
  // `asking`: the program whose own memory being made is not counted (by
  // default the one whose command is handled).
  bool fits_budget(const Window* w, int width, int height, const Client* asking = nullptr) const;
  const Client* handling_ = nullptr;
  void refresh_header();
  static std::string window_line(const Window& w);
  std::string server_text() const;
  void write_server_text(const std::string& text);
  // The window of a drawing command that needs no answer, its code read
  // from `block` (the window's own when null); null for any other command.
  Window* unanswered_drawing_window(const unsigned char* bytes, uint32_t size,
                                    const unsigned char* block);
  // The window of a data-block command a program may post
  // (wire::block_needs_no_answer), its block `block`; null for any other.
  Window* posted_block_window(const unsigned char* bytes, uint32_t size, const unsigned char* block);
  // The command as a trace line; `block` is the window block it reads when
  // that is not the window's own.
  std::string describe(int client, const unsigned char* bytes, uint32_t size,
                       const unsigned char* block = nullptr);

  BlockHost& host_;
  Frontend& frontend_;
  CanvasFactory& canvases_;
  Options options_;
  int number_ = 0;
  unsigned char* server_block_ = nullptr;
  std::map<int, std::unique_ptr<Window>> windows_;
  std::map<int, Client> clients_;
  int current_ = 0;
  bool ever_linked_ = false;
  bool detached_ = false;  // the command being handled was answered and queued
  std::string answer_;     // see answer()
  bool closing_ = false;   // see begin_closing()
  // Folders pictures could not be written into, with the reason (said once).
  std::map<std::string, std::string> unwritable_folders_;
  std::vector<std::string> refused_settings_;
  EventScript script_;
  uint32_t windows_gone_ = 0;

  // Answered drawing commands not drawn yet, oldest first: a ring of copies
  // of the window block, made with the server.
  struct Pending {
    int window = 0;
    std::string description;  // its trace line, taken before the answer
    std::array<unsigned char, wire::kWindowBlockSize> block;
  };
  static constexpr size_t kPendingDepth = 8;
  // The block a command works on when the program sent its own copy, and
  // the copy as it came (what changed is written back).
  std::array<unsigned char, wire::kWindowBlockSize> work_{};
  std::array<unsigned char, wire::kWindowBlockSize> as_sent_{};
  std::array<Pending, kPendingDepth> pending_;
  size_t pending_head_ = 0;
  size_t pending_count_ = 0;
};

inline constexpr size_t kServerBlockSize = 4096;
inline constexpr int kMaxTitle = 255;  // the longest window title kept

}  // namespace lumo::server

#endif
