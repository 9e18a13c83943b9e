#include "server/frontend/x11_dialog.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <poll.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "server/canvas/ansi_text.h"
#include "server/frontend/file_chooser.h"

namespace lumo::server {
namespace {

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
std::u32string decode(const std::string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = n > 0 && i + n <= s.size();
    char32_t cp = n > 1 ? c & (0xFF >> (n + 1)) : c;
    for (size_t k = 1; ok && k < n; ++k) {
      const unsigned char b = static_cast<unsigned char>(s[i + k]);
      ok = (b & 0xC0) == 0x80;
      cp = cp << 6 | (b & 0x3F);
    }
    out += ok ? cp : static_cast<char32_t>(c);
    i += ok ? n : 1;
  }
  return out;
}

std::string encode(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The character a key types, or 0.
char32_t typed_character(KeySym sym) {
  if (sym >= 0x20 && sym <= 0x7E) return static_cast<char32_t>(sym);
  if (sym >= 0xA0 && sym <= 0xFF) return static_cast<char32_t>(sym);  // Latin-1 keysyms
  if ((sym & 0xFF000000) == 0x01000000) return static_cast<char32_t>(sym & 0x00FFFFFF);
  if (sym == XK_EuroSign) return 0x20AC;
  return 0;
}

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

void Dialog::set_entry(const std::string& utf8) {
  entry_ = decode(utf8);
  if (entry_.size() > kMostAnswer) entry_.resize(kMostAnswer);
  caret_ = entry_.size();
}

void Dialog::list_changed() {
  selected_ = -1;
  top_ = 0;
  last_click_row_ = -1;
}

void Dialog::select(int row) {
  const int count = static_cast<int>(chooser_->entries().size());
  if (count == 0) return;
  selected_ = std::max(0, std::min(row, count - 1));
  if (selected_ < top_) top_ = selected_;
  if (selected_ >= top_ + kRows) top_ = selected_ - kRows + 1;
  const FileChooser::Entry& e = chooser_->entries()[static_cast<size_t>(selected_)];
  if (!e.folder) set_entry(e.name);
}

void Dialog::confirm_file() {
  std::string path;
  FileChooser::Outcome outcome;
  if (list_focused() && selected_ >= 0) {
    outcome = chooser_->open(static_cast<size_t>(selected_), &path);
  } else {
    outcome = chooser_->confirm(encode(entry_), &path);
  }
  if (outcome == FileChooser::Outcome::kChosen) {
    answer_ = path;
    finish(1);
    return;
  }
  // A folder was entered or the filter changed: the field starts again.
  set_entry("");
  list_changed();
}

void Dialog::press_button(int i) {
  if (i == 0 && r_.kind == Kind::kFile) {
    confirm_file();
  } else if (i == 0) {
    answer_ = to_program_text(encode(entry_));
    finish(1);
  } else {
    finish(0);
  }
}

void Dialog::key(XKeyEvent& e) {
  char bytes[16];
  KeySym sym = NoSymbol;
  XLookupString(&e, bytes, sizeof bytes, &sym, nullptr);
  const bool control = (e.state & ControlMask) != 0;
  const int first_button = focus_count() - static_cast<int>(buttons_.size());
  switch (sym) {
    case XK_Escape: finish(r_.kind == Kind::kMessage ? 1 : 0); return;
    case XK_Return:
    case XK_KP_Enter:
      press_button(focused_button() >= 0 ? focused_button() : 0);
      dirty_ = true;
      return;
    case XK_Tab:
    case XK_ISO_Left_Tab: {
      const bool back = sym == XK_ISO_Left_Tab || (e.state & ShiftMask);
      focus_ = (focus_ + (back ? focus_count() - 1 : 1)) % focus_count();
      dirty_ = true;
      return;
    }
    default: break;
  }
  dirty_ = true;
  if (focus_ >= first_button) {
    const int b = focused_button();
    if (sym == XK_Left || sym == XK_Up) focus_ = first_button + std::max(0, b - 1);
    if (sym == XK_Right || sym == XK_Down) {
      focus_ = first_button + std::min(static_cast<int>(buttons_.size()) - 1, b + 1);
    }
    if (sym == XK_space) press_button(b);
    if (r_.kind == Kind::kQuestion && (sym == XK_y || sym == XK_Y)) finish(1);
    if (r_.kind == Kind::kQuestion && (sym == XK_n || sym == XK_N)) finish(0);
    return;
  }
  if (list_focused()) {
    const int count = static_cast<int>(chooser_->entries().size());
    switch (sym) {
      case XK_Up: select(selected_ - 1); break;
      case XK_Down: select(selected_ + 1); break;
      case XK_Prior: select(selected_ - kRows); break;
      case XK_Next: select(selected_ + kRows); break;
      case XK_Home: select(0); break;
      case XK_End: select(count - 1); break;
      case XK_BackSpace:
        // Up one folder, as ".." does.
        if (count > 0 && chooser_->entries()[0].name == "..") {
          std::string unused;
          chooser_->open(0, &unused);
          list_changed();
        }
        break;
      default: break;
    }
    return;
  }
  // The text field; in the file dialog Up and Down go on into the list.
  if (has_list() && (sym == XK_Down || sym == XK_Up)) {
    focus_ = 1;
    select(selected_ < 0 ? 0 : selected_ + (sym == XK_Down ? 1 : -1));
    return;
  }
  switch (sym) {
    case XK_BackSpace:
      if (caret_ > 0) entry_.erase(--caret_, 1);
      return;
    case XK_Delete:
    case XK_KP_Delete:
      if (caret_ < entry_.size()) entry_.erase(caret_, 1);
      return;
    case XK_Left:
    case XK_KP_Left:
      if (caret_ > 0) --caret_;
      return;
    case XK_Right:
    case XK_KP_Right:
      if (caret_ < entry_.size()) ++caret_;
      return;
    case XK_Home:
    case XK_KP_Home: caret_ = 0; return;
    case XK_End:
    case XK_KP_End: caret_ = entry_.size(); return;
    default: break;
  }
  if (control) {
    if (sym == XK_u || sym == XK_U) {
      entry_.erase(0, caret_);
      caret_ = 0;
    }
    return;
  }
  const char32_t c = typed_character(sym);
  if (c && entry_.size() < kMostAnswer) entry_.insert(caret_++, 1, c);
}

void Dialog::click(const XButtonEvent& e) {
  dirty_ = true;
  if (e.button == Button4 || e.button == Button5) {
    if (!chooser_ || !list_rect_.holds(e.x, e.y)) return;
    const int count = static_cast<int>(chooser_->entries().size());
    top_ = std::max(0, std::min(top_ + (e.button == Button4 ? -3 : 3), std::max(0, count - kRows)));
    return;
  }
  if (e.button != Button1) return;
  for (size_t i = 0; i < button_rects_.size(); ++i) {
    if (button_rects_[i].holds(e.x, e.y)) {
      pressed_ = static_cast<int>(i);
      focus_ = focus_count() - static_cast<int>(buttons_.size()) + pressed_;
      return;
    }
  }
  if (has_entry() && entry_rect_.holds(e.x, e.y)) {
    focus_ = 0;
    // The caret goes to the character boundary nearest the click.
    caret_ = entry_.size();
    const double shift = std::max(0.0, width_of(encode(entry_.substr(0, caret_))) - (entry_rect_.w - 12));
    for (size_t i = 0; i <= entry_.size(); ++i) {
      const double x = entry_rect_.x + 5 - shift + width_of(encode(entry_.substr(0, i)));
      if (x >= e.x) {
        caret_ = i;
        break;
      }
    }
    return;
  }
  if (chooser_ && list_rect_.holds(e.x, e.y)) {
    focus_ = 1;
    const int row = top_ + (e.y - list_rect_.y - 1) / kRow;
    if (row >= static_cast<int>(chooser_->entries().size())) return;
    const bool twice = row == last_click_row_ && e.time - last_click_ < kDoubleClickMs;
    select(row);
    last_click_row_ = row;
    last_click_ = e.time;
    if (twice) confirm_file();
  }
}

void Dialog::handle(XEvent& e) {
  switch (e.type) {
    case Expose:
      if (e.xexpose.count == 0) dirty_ = true;
      break;
    case MapNotify:
      mapped_ = true;
      XSetInputFocus(d_, win_, RevertToParent, CurrentTime);
      dirty_ = true;
      break;
    case KeyPress: key(e.xkey); break;
    case ButtonPress: click(e.xbutton); break;
    case ButtonRelease:
      if (e.xbutton.button == Button1 && pressed_ >= 0) {
        const int b = pressed_;
        pressed_ = -1;
        dirty_ = true;
        if (button_rects_[static_cast<size_t>(b)].holds(e.xbutton.x, e.xbutton.y)) press_button(b);
      }
      break;
    case ClientMessage:
      if (static_cast<Atom>(e.xclient.data.l[0]) == delete_window_) {
        finish(r_.kind == Kind::kMessage ? 1 : 0);
      }
      break;
    default: break;
  }
}

int Dialog::run(std::string* answer) {
  lay_out();
  create_window();
  const int fd = ConnectionNumber(d_);
  while (!done_) {
    while (!done_ && XPending(d_)) {
      XEvent e;
      XNextEvent(d_, &e);
      if (e.xany.window == win_) {
        handle(e);
      } else if (hooks_.other_event) {
        hooks_.other_event(e);
      }
    }
    if (done_) break;
    if (dirty_ && mapped_) paint();
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 100);
    if (hooks_.keep_going && !hooks_.keep_going()) finish(0);
  }
  if (measure_surface_) cairo_surface_destroy(measure_surface_);
  measure_surface_ = nullptr;
  if (result_ == 1 && answer) *answer = answer_;
  return result_;
}

}  // namespace

int run_x11_dialog(Display* display, ::Window owner, const DialogRequest& request,
                   std::string* answer, const DialogHooks& hooks) {
  Dialog dialog(display, owner, request, hooks);
  return dialog.run(answer);
}

}  // namespace lumo::server
