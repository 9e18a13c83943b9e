// What the server core asks of its surroundings: named blocks, windows on
// screen and dialogs.  The POSIX and Win32 programs implement these.
#ifndef LUMO_SERVER_CORE_HOST_H
#define LUMO_SERVER_CORE_HOST_H

#include <cstddef>
#include <string>

#include "server/core/canvas.h"

namespace lumo::server {

class BlockHost {
 public:
  virtual ~BlockHost() = default;
  // A new zero-filled named block, held by this process; null when the name
  // is taken by a live block or the block cannot be made.
  virtual unsigned char* create_block(const std::string& name, size_t size) = 0;
  virtual void remove_block(const std::string& name) = 0;
  virtual long long window_handle() const = 0;
};

class Window;

// How windows look, from the display switches 1 to 3: kept on top of other
// windows, with a border and caption, resizable by the user.
struct WindowLook {
  bool on_top = false;
  bool borders = true;
  bool resizable = true;
  bool operator==(const WindowLook& o) const {
    return on_top == o.on_top && borders == o.borders && resizable == o.resizable;
  }
};

// Answers of a yes/no question.
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;

class Frontend {
 public:
  virtual ~Frontend() = default;
  // A window `number` of width x height pixels at x, y (-1: where the
  // screen puts it), its picture to start in `background`, is about to be
  // opened, before its picture is made: a frontend may show it already (the
  // picture's memory then is touched while the window appears).
  // window_opened follows, with the window.
  virtual void window_opening(int /*number*/, int /*width*/, int /*height*/, int /*x*/, int /*y*/,
                              Rgb /*background*/) {}
  virtual void window_opened(Window&) {}
  virtual void window_closing(Window&) {}
  // The window's picture changed (show it when convenient).
  virtual void window_drawn(Window&) {}
  virtual void window_retitled(Window&) {}
  virtual void window_moved(Window&) {}
  virtual void window_resized(Window&) {}
  virtual void window_shown(Window&, bool /*visible*/) {}
  virtual bool screen_size(int* width, int* height) = 0;
  // The look of the windows opened from now on, and of those shown: told at
  // the start and whenever a program changes switch 1, 2 or 3.
  virtual void look_changed(const WindowLook&) {}

  // Dialogs.  message: true when shown.  ask: kYes, kNo, or 0 when no
  // question can be asked.  prompt and choose_file: false when refused.
  virtual bool message(Window&, const std::string& text) = 0;
  virtual int ask(Window&, const std::string& question) = 0;
  virtual bool prompt(Window&, const std::string& question, std::string* answer) = 0;
  virtual bool choose_file(Window&, const std::string& initial, std::string* path) = 0;
  // Whether the last dialog call could show no dialog at all (no display,
  // no scripted answer), as opposed to one the user refused.
  virtual bool dialog_impossible() const { return false; }
  // Whether the last file dialog, impossible to show, took the name the
  // program proposed as its answer.
  virtual bool answered_without_dialog() const { return false; }
  // Whether a person can give the windows input (a display is there).
  virtual bool live_input() const { return false; }
};

}  // namespace lumo::server

#endif
