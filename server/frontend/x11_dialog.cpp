// The X11 dialog's events: keys, clicks, the file list, and the loop that
// runs it; its layout and painting are in x11_dialog_draw.cpp.
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
#include "server/frontend/x11_dialog_window.h"

namespace lumo::server::x11_dialog {

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

namespace {

// The character a key types, or 0.
char32_t typed_character(KeySym sym) {
  if (sym >= 0x20 && sym <= 0x7E) return static_cast<char32_t>(sym);
  if (sym >= 0xA0 && sym <= 0xFF) return static_cast<char32_t>(sym);  // Latin-1 keysyms
  if ((sym & 0xFF000000) == 0x01000000) return static_cast<char32_t>(sym & 0x00FFFFFF);
  if (sym == XK_EuroSign) return 0x20AC;
  return 0;
}

}  // namespace

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

}  // namespace lumo::server::x11_dialog

namespace lumo::server {

int run_x11_dialog(Display* display, ::Window owner, const DialogRequest& request,
                   std::string* answer, const DialogHooks& hooks) {
  x11_dialog::Dialog dialog(display, owner, request, hooks);
  return dialog.run(answer);
}

}  // namespace lumo::server
