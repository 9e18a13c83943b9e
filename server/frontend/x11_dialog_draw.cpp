// The X11 dialog's layout and painting (x11_dialog_window.h).
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <algorithm>

#include "server/canvas/ansi_text.h"
#include "server/frontend/x11_dialog_window.h"

namespace lumo::server::x11_dialog {

double Dialog::width_of(const std::string& utf8) {
  cairo_t* cr = cairo_create(measure_surface_);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kFontSize);
  cairo_text_extents_t t;
  cairo_text_extents(cr, utf8.c_str(), &t);
  cairo_destroy(cr);
  return t.x_advance;
}

void Dialog::lay_out() {
  measure_surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  const int text_width = r_.kind == Kind::kFile ? kFileWidth - 2 * kPad : kTextWidth;
  // The text in lines: its own line ends, then words wrapped at the width.
  double widest = 0;
  const std::string text = r_.kind == Kind::kFile ? std::string() : to_utf8(r_.text);
  size_t at = 0;
  while (at <= text.size() && !text.empty()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string paragraph = text.substr(at, end - at);
    if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
    std::string line;
    size_t word_at = 0;
    while (word_at <= paragraph.size()) {
      size_t word_end = paragraph.find(' ', word_at);
      if (word_end == std::string::npos) word_end = paragraph.size();
      const std::string word = paragraph.substr(word_at, word_end - word_at);
      const std::string longer = line.empty() ? word : line + " " + word;
      if (!line.empty() && width_of(longer) > text_width) {
        lines_.push_back(line);
        line = word;
      } else {
        line = longer;
      }
      word_at = word_end + 1;
    }
    lines_.push_back(line);
    at = end + 1;
  }
  if (lines_.size() > 30) {
    lines_.resize(30);
    lines_.back() += " \u2026";
  }
  for (const std::string& l : lines_) widest = std::max(widest, width_of(l));

  switch (r_.kind) {
    case Kind::kMessage: buttons_ = {"OK"}; break;
    case Kind::kQuestion: buttons_ = {"Yes", "No"}; break;
    default: buttons_ = {"OK", "Cancel"}; break;
  }
  const int buttons_width = static_cast<int>(buttons_.size()) * (kButtonWidth + 8) - 8;
  int inner = std::max(static_cast<int>(widest + 0.999), buttons_width);
  if (r_.kind == Kind::kPrompt) inner = std::max(inner, 320);
  if (r_.kind == Kind::kFile) inner = kFileWidth - 2 * kPad;
  width_ = inner + 2 * kPad;

  int y = kPad;
  y += static_cast<int>(lines_.size()) * kLine;
  if (!lines_.empty()) y += 8;
  if (r_.kind == Kind::kFile) {
    folder_y_ = y;
    y += kLine + 4;
    list_rect_ = {kPad, y, inner, kRows * kRow + 2};
    y += list_rect_.h + 10;
    name_label_y_ = y;
    y += kLine + 2;
  }
  if (has_entry()) {
    entry_rect_ = {kPad, y, inner, kFieldHeight};
    y += kFieldHeight + 12;
  }
  int x = width_ - kPad - buttons_width;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    button_rects_.push_back({x, y, kButtonWidth, kButtonHeight});
    x += kButtonWidth + 8;
  }
  height_ = y + kButtonHeight + kPad;

  if (r_.kind == Kind::kFile) {
    chooser_ = std::make_unique<FileChooser>(r_.text, r_.folder);
    set_entry(chooser_->name());
  }
  // The field when there is one, else the first button.
  focus_ = has_entry() ? 0 : focus_count() - static_cast<int>(buttons_.size());
}

void Dialog::create_window() {
  const int screen = DefaultScreen(d_);
  int x = (DisplayWidth(d_, screen) - width_) / 2, y = (DisplayHeight(d_, screen) - height_) / 2;
  XWindowAttributes a;
  ::Window child;
  if (owner_ && XGetWindowAttributes(d_, owner_, &a) && a.map_state == IsViewable) {
    int ox = 0, oy = 0;
    XTranslateCoordinates(d_, owner_, RootWindow(d_, screen), 0, 0, &ox, &oy, &child);
    x = ox + (a.width - width_) / 2;
    y = oy + (a.height - height_) / 2;
  }
  x = std::max(0, std::min(x, DisplayWidth(d_, screen) - width_));
  y = std::max(0, std::min(y, DisplayHeight(d_, screen) - height_));
  win_ = XCreateSimpleWindow(d_, RootWindow(d_, screen), x, y, static_cast<unsigned>(width_),
                             static_cast<unsigned>(height_), 1, BlackPixel(d_, screen),
                             WhitePixel(d_, screen));
  XSelectInput(d_, win_,
               ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask);
  delete_window_ = XInternAtom(d_, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(d_, win_, &delete_window_, 1);
  if (owner_) XSetTransientForHint(d_, win_, owner_);
  const std::string title = to_utf8(r_.title.empty() ? "Graphics Window" : r_.title);
  XStoreName(d_, win_, title.c_str());
  XChangeProperty(d_, win_, XInternAtom(d_, "_NET_WM_NAME", False), XInternAtom(d_, "UTF8_STRING", False), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
  const Atom dialog_type = XInternAtom(d_, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  XChangeProperty(d_, win_, XInternAtom(d_, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&dialog_type), 1);
  XSizeHints* hints = XAllocSizeHints();
  if (hints) {
    hints->flags = PPosition | PMinSize | PMaxSize;
    hints->x = x;
    hints->y = y;
    hints->min_width = hints->max_width = width_;
    hints->min_height = hints->max_height = height_;
    XSetWMNormalHints(d_, win_, hints);
    XFree(hints);
  }
  XClassHint* cls = XAllocClassHint();
  if (cls) {
    cls->res_name = const_cast<char*>("lumoview");
    cls->res_class = const_cast<char*>("Lumoview");
    XSetClassHint(d_, win_, cls);
    XFree(cls);
  }
  surface_ = cairo_xlib_surface_create(d_, win_, DefaultVisual(d_, screen), width_, height_);
  cr_ = cairo_create(surface_);
  XMapRaised(d_, win_);
  XFlush(d_);
}

void Dialog::text_at(double x, double y, const std::string& utf8, double r, double g, double b) {
  cairo_set_source_rgb(cr_, r, g, b);
  cairo_move_to(cr_, x, y);
  cairo_show_text(cr_, utf8.c_str());
}

void Dialog::paint() {
  dirty_ = false;
  cairo_save(cr_);
  cairo_set_source_rgb(cr_, 0.94, 0.94, 0.94);
  cairo_paint(cr_);
  cairo_select_font_face(cr_, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, kFontSize);
  cairo_set_line_width(cr_, 1);
  for (size_t i = 0; i < lines_.size(); ++i) {
    text_at(kPad, kPad + static_cast<double>(i) * kLine + 13, lines_[i], 0, 0, 0);
  }
  if (chooser_) {
    // The folder, its start cut off when it is too long.
    std::string folder = chooser_->folder();
    const std::string label = "Folder: ";
    while (folder.size() > 4 && width_of(label + "\u2026" + folder) > list_rect_.w) folder.erase(0, 1);
    if (folder != chooser_->folder()) folder = "\u2026" + folder;
    text_at(kPad, folder_y_ + 13, label + to_utf8(folder), 0, 0, 0);
    const Rect& l = list_rect_;
    cairo_set_source_rgb(cr_, 1, 1, 1);
    cairo_rectangle(cr_, l.x, l.y, l.w, l.h);
    cairo_fill(cr_);
    const auto& entries = chooser_->entries();
    cairo_save(cr_);
    cairo_rectangle(cr_, l.x + 1, l.y + 1, l.w - 2, l.h - 2);
    cairo_clip(cr_);
    for (int row = 0; row < kRows && top_ + row < static_cast<int>(entries.size()); ++row) {
      const int i = top_ + row;
      const double y = l.y + 1 + row * kRow;
      const bool chosen = i == selected_;
      if (chosen) {
        if (list_focused()) {
          cairo_set_source_rgb(cr_, 0.2, 0.4, 0.8);
        } else {
          cairo_set_source_rgb(cr_, 0.8, 0.85, 0.92);
        }
        cairo_rectangle(cr_, l.x + 1, y, l.w - 2, kRow);
        cairo_fill(cr_);
      }
      const double c = chosen && list_focused() ? 1 : 0;
      const std::string shown = to_utf8(entries[static_cast<size_t>(i)].name) +
                                (entries[static_cast<size_t>(i)].folder ? "/" : "");
      text_at(l.x + 6, y + 14, shown, c, c, c);
    }
    cairo_restore(cr_);
    cairo_set_source_rgb(cr_, list_focused() ? 0.2 : 0.55, list_focused() ? 0.4 : 0.55,
                         list_focused() ? 0.8 : 0.55);
    cairo_rectangle(cr_, l.x + 0.5, l.y + 0.5, l.w - 1, l.h - 1);
    cairo_stroke(cr_);
    text_at(kPad, name_label_y_ + 13, "File name (filter " + to_utf8(chooser_->filter()) + "):", 0, 0, 0);
  }
  if (has_entry()) {
    const Rect& e = entry_rect_;
    cairo_set_source_rgb(cr_, 1, 1, 1);
    cairo_rectangle(cr_, e.x, e.y, e.w, e.h);
    cairo_fill(cr_);
    const std::string before = encode(entry_.substr(0, caret_));
    const double caret_x = width_of(before);
    const double room = e.w - 12;
    const double shift = caret_x > room ? caret_x - room : 0;
    cairo_save(cr_);
    cairo_rectangle(cr_, e.x + 2, e.y + 2, e.w - 4, e.h - 4);
    cairo_clip(cr_);
    text_at(e.x + 5 - shift, e.y + 18, encode(entry_), 0, 0, 0);
    if (entry_focused()) {
      cairo_set_source_rgb(cr_, 0, 0, 0);
      cairo_move_to(cr_, e.x + 5 - shift + caret_x + 0.5, e.y + 5);
      cairo_line_to(cr_, e.x + 5 - shift + caret_x + 0.5, e.y + e.h - 5);
      cairo_stroke(cr_);
    }
    cairo_restore(cr_);
    cairo_set_source_rgb(cr_, entry_focused() ? 0.2 : 0.55, entry_focused() ? 0.4 : 0.55,
                         entry_focused() ? 0.8 : 0.55);
    cairo_rectangle(cr_, e.x + 0.5, e.y + 0.5, e.w - 1, e.h - 1);
    cairo_stroke(cr_);
  }
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const Rect& b = button_rects_[i];
    const bool focused = focused_button() == static_cast<int>(i);
    const bool down = pressed_ == static_cast<int>(i);
    cairo_set_source_rgb(cr_, down ? 0.8 : 0.98, down ? 0.8 : 0.98, down ? 0.8 : 0.98);
    cairo_rectangle(cr_, b.x, b.y, b.w, b.h);
    cairo_fill(cr_);
    cairo_set_source_rgb(cr_, focused ? 0.2 : 0.45, focused ? 0.4 : 0.45, focused ? 0.8 : 0.45);
    cairo_set_line_width(cr_, focused ? 2 : 1);
    cairo_rectangle(cr_, b.x + 0.5, b.y + 0.5, b.w - 1, b.h - 1);
    cairo_stroke(cr_);
    cairo_set_line_width(cr_, 1);
    const double w = width_of(buttons_[i]);
    text_at(b.x + (b.w - w) / 2, b.y + 17, buttons_[i], 0, 0, 0);
  }
  cairo_restore(cr_);
  cairo_surface_flush(surface_);
  XFlush(d_);
}

}  // namespace lumo::server::x11_dialog
