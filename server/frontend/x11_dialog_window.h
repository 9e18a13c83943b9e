// The X11 dialog window, shared by its drawing (x11_dialog_draw.cpp: the
// layout and the painting) and its handling of events (x11_dialog.cpp).
#ifndef LUMO_SERVER_FRONTEND_X11_DIALOG_WINDOW_H
#define LUMO_SERVER_FRONTEND_X11_DIALOG_WINDOW_H

#include <X11/Xlib.h>
#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "server/frontend/file_chooser.h"
#include "server/frontend/x11_dialog.h"

namespace lumo::server::x11_dialog {

using Kind = DialogRequest::Kind;

constexpr double kFontSize = 13;
constexpr int kPad = 14;
constexpr int kLine = 18;
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 26;
constexpr int kFieldHeight = 26;
constexpr int kRow = 20;
constexpr int kRows = 12;
constexpr int kTextWidth = 420;     // messages wrap at this width
constexpr int kFileWidth = 520;
constexpr size_t kMostAnswer = 2047;  // what the window's data area holds
constexpr unsigned long kDoubleClickMs = 400;

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool holds(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// Code points of UTF-8 text (a stray byte stands for itself) and back.
std::u32string decode(const std::string& s);
std::string encode(const std::u32string& s);

class Dialog {
 public:
  Dialog(Display* d, ::Window owner, const DialogRequest& r, const DialogHooks& hooks)
      : d_(d), owner_(owner), r_(r), hooks_(hooks) {}
  ~Dialog() {
    if (cr_) cairo_destroy(cr_);
    if (surface_) cairo_surface_destroy(surface_);
    if (win_) XDestroyWindow(d_, win_);
    XFlush(d_);
  }
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  int run(std::string* answer);

 private:
  void lay_out();
  void create_window();
  void paint();
  void handle(XEvent& e);
  void key(XKeyEvent& e);
  void click(const XButtonEvent& e);
  void press_button(int i);
  void confirm_file();
  void list_changed();
  void select(int row);
  void set_entry(const std::string& utf8);
  int focus_count() const { return (has_entry() ? 1 : 0) + (has_list() ? 1 : 0) + static_cast<int>(buttons_.size()); }
  bool has_entry() const { return r_.kind == Kind::kPrompt || r_.kind == Kind::kFile; }
  bool has_list() const { return r_.kind == Kind::kFile; }
  bool entry_focused() const { return has_entry() && focus_ == 0; }
  bool list_focused() const { return has_list() && focus_ == 1; }
  int focused_button() const { return focus_ - (focus_count() - static_cast<int>(buttons_.size())); }
  void text_at(double x, double y, const std::string& utf8, double r, double g, double b);
  double width_of(const std::string& utf8);
  void finish(int result) {
    result_ = result;
    done_ = true;
  }

  Display* d_;
  ::Window owner_;
  DialogRequest r_;
  const DialogHooks& hooks_;
  ::Window win_ = 0;
  Atom delete_window_ = 0;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  cairo_surface_t* measure_surface_ = nullptr;
  int width_ = 0, height_ = 0;
  std::vector<std::string> lines_;  // the text, wrapped (UTF-8)
  std::vector<const char*> buttons_;
  std::vector<Rect> button_rects_;
  Rect entry_rect_, list_rect_;
  int folder_y_ = 0, name_label_y_ = 0;
  std::u32string entry_;
  size_t caret_ = 0;
  int focus_ = 0;
  int pressed_ = -1;  // the button held down
  std::unique_ptr<FileChooser> chooser_;
  int selected_ = -1, top_ = 0;
  int last_click_row_ = -1;
  Time last_click_ = 0;
  bool dirty_ = true, mapped_ = false, done_ = false;
  int result_ = 0;
  std::string answer_;
};

}  // namespace lumo::server::x11_dialog

#endif
