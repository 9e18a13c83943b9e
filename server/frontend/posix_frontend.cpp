#include "server/frontend/posix_frontend.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>

#include <poll.h>
#include <time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "server/canvas/ansi_text.h"
#include "server/canvas/cairo_canvas.h"
#include "server/canvas/scaled_view.h"
#include "server/core/server.h"
#include "server/core/window.h"
#include "server/frontend/view_place.h"

namespace lumo::server {

struct X11Window {
  ::Window id = 0;
  cairo_surface_t* surface = nullptr;
  bool dirty = true;
  // The picture on screen: its scale, zoom and place, and, when that is not
  // the picture's own pixels, the picture drawn again from the display list.
  ViewPlace place;
  std::unique_ptr<ScaledView> view;
  // A pan under way: the button held, where the pointer was, and whether
  // it moved (a middle click that did not is the program's).
  // While the program draws, the view takes a slice at most every so often
  // (a third of the time); once it stops, the view catches up at once.
  uint64_t changes_seen = 0;
  long long next_slice_ms = 0;
  unsigned drag_button = 0;
  int drag_x = 0, drag_y = 0, press_x = 0, press_y = 0;
  bool dragged = false;
};

struct X11State {
  Display* display = nullptr;
  // The atoms a window needs, asked for once per display.
  Atom delete_window = 0, motif_hints = 0, wm_state = 0, wm_state_above = 0, net_wm_name = 0, utf8_string = 0;
  std::map<int, X11Window> windows;  // by window number
  WindowLook look;
  double scale = 1;  // screen pixels a device pixel
};

namespace {

// Without a display there is no screen to measure: the screen size told to
// programs (metric 2) is this fixed stand-in, the same the library gives
// when it cannot ask a screen (lib/platform/platform.h); it limits nothing.
constexpr int kHeadlessWidth = 1024;
constexpr double kRedrawSliceMs = 15;  // of a window drawn again from its display list, a flush
constexpr double kCatchUpMs = 100;     // the same once its program has stopped drawing

long long monotonic_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}
constexpr int kHeadlessHeight = 768;

CairoCanvas& cairo_of(Window& w) { return static_cast<CairoCanvas&>(w.picture()); }

// An X error (a window gone an instant before a request about it) is said
// once and otherwise ignored: Xlib's own handler would end the server.
int on_x_error(Display* d, XErrorEvent* e) {
  static bool said = false;
  if (!said) {
    char text[128] = "";
    XGetErrorText(d, e->error_code, text, sizeof text);
    std::fprintf(stderr, "lumoview: X error ignored: %s (request %d)\n", text, e->request_code);
    said = true;
  }
  return 0;
}

// The screen's scale from the X resource Xft.dpi (96 dots an inch is 1),
// the nearest of the scales the windows take; 1 without it.
double scale_of_resources(Display* d) {
  const char* resources = XResourceManagerString(d);
  if (!resources) return 1;
  XrmInitialize();
  XrmDatabase db = XrmGetStringDatabase(resources);
  double scale = 1;
  char* type = nullptr;
  XrmValue value{};
  if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
    const double dpi = std::atof(value.addr);
    if (dpi > 0) scale = scale_of_dpi(dpi);
  }
  if (db) XrmDestroyDatabase(db);
  return scale;
}

std::unique_ptr<X11State> open_display(bool want, double scale) {
  const char* name = std::getenv("DISPLAY");
  if (!want || !name || !*name) return nullptr;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return nullptr;
  XSetErrorHandler(on_x_error);
  auto x = std::make_unique<X11State>();
  x->display = d;
  // In one round trip (each XInternAtom is one; Xlib keeps what it got, so
  // XSetWMProtocols finds WM_PROTOCOLS without asking again).
  char* names[] = {const_cast<char*>("WM_DELETE_WINDOW"), const_cast<char*>("_MOTIF_WM_HINTS"),
                   const_cast<char*>("_NET_WM_STATE"),    const_cast<char*>("_NET_WM_STATE_ABOVE"),
                   const_cast<char*>("_NET_WM_NAME"),     const_cast<char*>("UTF8_STRING"),
                   const_cast<char*>("WM_PROTOCOLS")};
  Atom atoms[7] = {};
  XInternAtoms(d, names, 7, False, atoms);
  x->delete_window = atoms[0];
  x->motif_hints = atoms[1];
  x->wm_state = atoms[2];
  x->wm_state_above = atoms[3];
  x->net_wm_name = atoms[4];
  x->utf8_string = atoms[5];
  x->scale = scale > 0 ? scale : scale_of_resources(d);
  return x;
}

// The screen's pixel value of a colour: exact on a 24-bit true-colour
// screen, else white (or black) as the nearest the screen surely has.
unsigned long pixel_of(Display* d, Rgb c) {
  const int screen = DefaultScreen(d);
  const Visual* v = DefaultVisual(d, screen);
  if (v->c_class == TrueColor && v->red_mask == 0xFF0000 && v->green_mask == 0xFF00 && v->blue_mask == 0xFF) {
    return (static_cast<unsigned long>(c.r) << 16) | (static_cast<unsigned long>(c.g) << 8) | c.b;
  }
  return c.r + c.g + c.b < 3 * 128 ? BlackPixel(d, screen) : WhitePixel(d, screen);
}

// The window's title, with the zoom while it is not 1:1.  Titles are
// UTF-8: _NET_WM_NAME as it is, and WM_NAME as Latin-1 text (or compound
// text beyond it), which Xlib converts; XStoreName would mark the UTF-8
// bytes as Latin-1, and "é" show as "Ã©".
void store_title(const X11State& x, const X11Window& xw, const Window& w) {
  Display* d = x.display;
  const std::string title = to_utf8(w.title().empty() ? "Graphics Window" : w.title()) + xw.place.title_suffix();
  char* list[] = {const_cast<char*>(title.c_str())};
  XTextProperty text{};
  if (Xutf8TextListToTextProperty(d, list, 1, XStdICCTextStyle, &text) >= Success && text.value) {
    XSetWMName(d, xw.id, &text);
    XFree(text.value);
  } else {
    XStoreName(d, xw.id, title.c_str());
  }
  XChangeProperty(d, xw.id, x.net_wm_name, x.utf8_string, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
}

}  // namespace

PosixFrontend::PosixFrontend(bool want_display, const std::string& answers, double scale)
    : x_(open_display(want_display, scale)),
      dialogs_(answers, x_ ? Dialogs::Show([this](const DialogRequest& r, std::string* answer) {
                 return show_dialog(r, answer);
               })
                           : Dialogs::Show()) {}

PosixFrontend::~PosixFrontend() {
  if (!x_) return;
  for (auto& entry : x_->windows) {
    cairo_surface_destroy(entry.second.surface);
    XDestroyWindow(x_->display, entry.second.id);
  }
  XCloseDisplay(x_->display);
}

int PosixFrontend::event_fd() const { return x_ ? ConnectionNumber(x_->display) : -1; }

bool PosixFrontend::behind() const {
  if (!x_) return false;
  for (const auto& entry : x_->windows) {
    if (entry.second.dirty && entry.second.view) return true;
  }
  return false;
}

double PosixFrontend::scale() const { return x_ ? x_->scale : 1; }

namespace {

// The look as the window manager reads it: the size hints (a window that is
// not resizable has its size as least and most), the Motif hints (no
// decorations without borders) and _NET_WM_STATE_ABOVE for on top.  A
// mapped window's state is changed through the root window, as the window
// manager expects.
void apply_look(const X11State& x, ::Window id, int width, int height, const WindowLook& look, bool mapped) {
  Display* d = x.display;
  XSizeHints* hints = XAllocSizeHints();
  if (hints) {
    if (!look.resizable) {
      hints->flags = PMinSize | PMaxSize;
      hints->min_width = hints->max_width = width;
      hints->min_height = hints->max_height = height;
    }
    XSetWMNormalHints(d, id, hints);
    XFree(hints);
  }
  const Atom motif = x.motif_hints;
  const long motif_hints[5] = {2, 0, look.borders ? 1 : 0, 0, 0};  // flags: decorations
  XChangeProperty(d, id, motif, motif, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(motif_hints), 5);
  const Atom state = x.wm_state;
  const Atom above = x.wm_state_above;
  if (!mapped) {
    if (look.on_top) {
      XChangeProperty(d, id, state, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&above), 1);
    } else {
      XDeleteProperty(d, id, state);
    }
    return;
  }
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = id;
  e.xclient.message_type = state;
  e.xclient.format = 32;
  e.xclient.data.l[0] = look.on_top ? 1 : 0;  // add or remove
  e.xclient.data.l[1] = static_cast<long>(above);
  e.xclient.data.l[3] = 1;  // an application's request
  XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

}  // namespace

void PosixFrontend::look_changed(const WindowLook& look) {
  if (!x_) return;
  x_->look = look;
  for (auto& entry : x_->windows) {
    Window* w = server_ ? server_->window(entry.first) : nullptr;
    if (!w) continue;
    apply_look(*x_, entry.second.id, entry.second.place.screen_width(), entry.second.place.screen_height(),
               look, w->visible);
  }
  XFlush(x_->display);
}

// The window is made and mapped as soon as its size is known, before its
// picture: on a virtual machine the picture's fresh memory takes
// milliseconds to touch, and the window's background is what the new
// picture shows.  Its title and cairo's surface follow in window_opened.
void PosixFrontend::window_opening(int number, int width_px, int height_px, int wx, int wy, Rgb background) {
  if (!x_) return;
  Display* d = x_->display;
  const int screen = DefaultScreen(d);
  X11Window xw;
  xw.place.scale = x_->scale;
  xw.place.resized(width_px, height_px);
  const int width = xw.place.screen_width(), height = xw.place.screen_height();
  const int x = wx < 0 ? 0 : xw.place.screen_length(wx), y = wy < 0 ? 0 : xw.place.screen_length(wy);
  xw.id = XCreateSimpleWindow(d, RootWindow(d, screen), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), 1, BlackPixel(d, screen), pixel_of(d, background));
  XSelectInput(d, xw.id, ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask |
                             Button1MotionMask | Button2MotionMask | KeyPressMask);
  XSetWMProtocols(d, xw.id, &x_->delete_window, 1);
  apply_look(*x_, xw.id, width, height, x_->look, false);
  XMapWindow(d, xw.id);
  XFlush(d);
  x_->windows[number] = std::move(xw);
}

void PosixFrontend::window_opened(Window& w) {
  if (!x_) return;
  auto it = x_->windows.find(w.number());  // made by window_opening
  if (it == x_->windows.end()) return;
  Display* d = x_->display;
  X11Window& xw = it->second;
  store_title(*x_, xw, w);
  if (!w.visible) XUnmapWindow(d, xw.id);
  // Made after the window is mapped: for the first window cairo asks the X
  // server about shared memory, round trips the window need not wait for.
  const int screen = DefaultScreen(d);
  xw.surface = cairo_xlib_surface_create(d, xw.id, DefaultVisual(d, screen), xw.place.screen_width(),
                                         xw.place.screen_height());
  XFlush(d);
}

void PosixFrontend::window_closing(Window& w) {
  if (!x_) return;
  auto it = x_->windows.find(w.number());
  if (it == x_->windows.end()) return;
  cairo_surface_destroy(it->second.surface);
  XDestroyWindow(x_->display, it->second.id);
  x_->windows.erase(it);
  XFlush(x_->display);
}

void PosixFrontend::window_drawn(Window& w) {
  if (!x_) return;
  auto it = x_->windows.find(w.number());
  if (it != x_->windows.end()) it->second.dirty = true;
}

void PosixFrontend::window_retitled(Window& w) {
  if (!x_ || !x_->windows.count(w.number())) return;
  store_title(*x_, x_->windows[w.number()], w);
}

void PosixFrontend::window_moved(Window& w) {
  if (!x_ || !x_->windows.count(w.number())) return;
  const ViewPlace& place = x_->windows[w.number()].place;
  XMoveWindow(x_->display, x_->windows[w.number()].id, place.screen_length(w.x), place.screen_length(w.y));
}

void PosixFrontend::window_resized(Window& w) {
  if (!x_ || !x_->windows.count(w.number())) return;
  X11Window& xw = x_->windows[w.number()];
  xw.place.resized(w.canvas().width(), w.canvas().height());
  const int width = xw.place.screen_width(), height = xw.place.screen_height();
  XResizeWindow(x_->display, xw.id, static_cast<unsigned>(width), static_cast<unsigned>(height));
  cairo_xlib_surface_set_size(xw.surface, width, height);
  if (!x_->look.resizable) apply_look(*x_, xw.id, width, height, x_->look, w.visible);
  xw.dirty = true;
}

void PosixFrontend::window_shown(Window& w, bool visible) {
  if (!x_ || !x_->windows.count(w.number())) return;
  const ::Window id = x_->windows[w.number()].id;
  if (visible) {
    XMapWindow(x_->display, id);
  } else {
    XUnmapWindow(x_->display, id);
  }
}

namespace {

// A key as the console's keys read it: a character's code (Latin-1), or
// 256 + the second code of a two-part key; 0 for keys that give none
// (Shift and the like).
int key_code(XKeyEvent& key) {
  char text[8];
  KeySym sym = NoSymbol;
  const int n = XLookupString(&key, text, sizeof text, &sym, nullptr);
  struct Special {
    KeySym sym;
    int code;
  } static const kSpecial[] = {
      {XK_Return, 13}, {XK_KP_Enter, 13}, {XK_BackSpace, 8}, {XK_Tab, 9}, {XK_Escape, 27},
      {XK_Up, 256 + 72}, {XK_Down, 256 + 80}, {XK_Left, 256 + 75}, {XK_Right, 256 + 77},
      {XK_Home, 256 + 71}, {XK_End, 256 + 79}, {XK_Prior, 256 + 73}, {XK_Next, 256 + 81},
      {XK_Insert, 256 + 82}, {XK_Delete, 256 + 83}, {XK_F11, 256 + 133}, {XK_F12, 256 + 134},
      {XK_KP_Up, 256 + 72}, {XK_KP_Down, 256 + 80}, {XK_KP_Left, 256 + 75}, {XK_KP_Right, 256 + 77},
  };
  for (const Special& s : kSpecial) {
    if (s.sym == sym) return s.code;
  }
  if (sym >= XK_F1 && sym <= XK_F10) return 256 + 59 + static_cast<int>(sym - XK_F1);
  return n == 1 ? static_cast<unsigned char>(text[0]) : 0;
}

}  // namespace

void PosixFrontend::handle_event(XEvent& e, bool in_dialog) {
  int number = 0;
  for (auto& entry : x_->windows) {
    if (entry.second.id == e.xany.window) number = entry.first;
  }
  if (!number) return;
  Window* w = server_->window(number);
  if (!w) return;
  X11Window& xw = x_->windows[number];
  int x = 0, y = 0;  // the program's pixel under the pointer
  if (e.type == ButtonPress || e.type == ButtonRelease) xw.place.device_at(e.xbutton.x, e.xbutton.y, &x, &y);
  if (e.type == KeyPress) xw.place.device_at(e.xkey.x, e.xkey.y, &x, &y);
  if (e.type == Expose) {
    xw.dirty = true;
  } else if (!in_dialog && view_event(e, number, *w)) {
  } else if (e.type == ButtonPress && !in_dialog) {
    const unsigned b = e.xbutton.button;
    if (b >= 1 && b <= 3) {
      w->events.push({kEventButton, static_cast<int32_t>(b), x, y});
    } else if (b == 4 || b == 5) {
      w->events.push({kEventWheel, b == 4 ? 1 : -1, x, y});
    }
  } else if (e.type == KeyPress && !in_dialog) {
    if (const int code = key_code(e.xkey)) w->events.push({kEventKey, code, x, y});
  } else if (e.type == ConfigureNotify) {
    // The window's size on screen, in the program's pixels.
    // (The size the server gave it means the picture's own size.)
    auto device = [&](int screen, int own) {
      if (screen == xw.place.screen_length(own)) return own;
      return std::max(1, static_cast<int>(std::floor(screen / xw.place.scale + 1e-9)));
    };
    const int width = device(e.xconfigure.width, w->canvas().width());
    const int height = device(e.xconfigure.height, w->canvas().height());
    cairo_xlib_surface_set_size(xw.surface, e.xconfigure.width, e.xconfigure.height);
    if (width != w->canvas().width() || height != w->canvas().height()) {
      w->resize(width, height);
      xw.place.resized(width, height);
      store_title(*x_, xw, *w);
    }
  } else if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == x_->delete_window) {
    // While a dialog is up no window closes under it: the request waits.
    if (in_dialog) {
      closes_held_back_.push_back(number);
    } else {
      server_->close_by_user(number);
    }
  }
}

bool PosixFrontend::view_event(XEvent& e, int number, Window& w) {
  X11Window& xw = x_->windows[number];
  bool moved = false;
  if (e.type == ButtonPress) {
    const unsigned b = e.xbutton.button;
    const bool ctrl = (e.xbutton.state & ControlMask) != 0;
    if ((b == 4 || b == 5) && ctrl) {
      moved = xw.place.zoom_about(e.xbutton.x, e.xbutton.y, b == 4 ? 1 : -1);
    } else if ((b == 2 || (b == 1 && ctrl)) && !xw.place.one_to_one() && !xw.drag_button) {
      // A pan starts; a middle click that does not move stays a click.
      xw.drag_button = b;
      xw.drag_x = xw.press_x = e.xbutton.x;
      xw.drag_y = xw.press_y = e.xbutton.y;
      xw.dragged = false;
      return true;
    } else {
      return false;
    }
  } else if (e.type == MotionNotify && xw.drag_button) {
    // Only the latest place of a run of motions counts.
    while (XCheckTypedWindowEvent(x_->display, xw.id, MotionNotify, &e)) {
    }
    if (std::abs(e.xmotion.x - xw.press_x) + std::abs(e.xmotion.y - xw.press_y) > 2) xw.dragged = true;
    if (xw.dragged) moved = xw.place.pan(e.xmotion.x - xw.drag_x, e.xmotion.y - xw.drag_y);
    xw.drag_x = e.xmotion.x, xw.drag_y = e.xmotion.y;
  } else if (e.type == ButtonRelease && xw.drag_button == e.xbutton.button) {
    if (!xw.dragged && xw.drag_button == 2) {
      int x = 0, y = 0;
      xw.place.device_at(xw.press_x, xw.press_y, &x, &y);
      w.events.push({kEventButton, 2, x, y});
    }
    xw.drag_button = 0;
    return true;
  } else if (e.type == KeyPress && (e.xkey.state & ControlMask)) {
    const KeySym sym = XLookupKeysym(&e.xkey, 0);
    if (sym != XK_0 && sym != XK_KP_0 && sym != XK_KP_Insert) return false;
    moved = xw.place.reset();
  } else {
    return e.type == MotionNotify || e.type == ButtonRelease;
  }
  if (moved) {
    xw.dirty = true;
    store_title(*x_, xw, w);
  }
  return true;
}

void PosixFrontend::pump() {
  if (!x_ || !server_) return;
  std::vector<int> held;
  held.swap(closes_held_back_);
  for (int number : held) {
    if (server_->window(number)) server_->close_by_user(number);
  }
  Display* d = x_->display;
  while (XPending(d)) {
    XEvent e;
    XNextEvent(d, &e);
    handle_event(e, false);
  }
}

std::string PosixFrontend::requester_folder() const {
  ucred peer{};
  socklen_t len = sizeof peer;
  if (requester_fd_ >= 0 && getsockopt(requester_fd_, SOL_SOCKET, SO_PEERCRED, &peer, &len) == 0 &&
      peer.pid > 0) {
    char link[64], path[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/%d/cwd", static_cast<int>(peer.pid));
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n > 0) return std::string(path, static_cast<size_t>(n));
  }
  char here[PATH_MAX];
  return getcwd(here, sizeof here) ? std::string(here) : std::string("/");
}

bool PosixFrontend::requester_connected() const {
  if (requester_fd_ < 0) return true;
  pollfd p{requester_fd_, POLLRDHUP, 0};
  return poll(&p, 1, 0) <= 0 || !(p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
}

int PosixFrontend::show_dialog(const DialogRequest& request, std::string* answer) {
  DialogRequest r = request;
  if (r.kind == DialogRequest::Kind::kFile) r.folder = requester_folder();
  auto owner = x_->windows.find(dialog_owner_);
  DialogHooks hooks;
  hooks.other_event = [this](XEvent& e) { handle_event(e, true); };
  hooks.keep_going = [this] {
    flush();
    return requester_connected();
  };
  return run_x11_dialog(x_->display, owner == x_->windows.end() ? 0 : owner->second.id, r, answer, hooks);
}

void PosixFrontend::flush() {
  if (!x_ || !server_) return;
  bool painted = false;
  for (auto& entry : x_->windows) {
    if (!entry.second.dirty) continue;
    Window* w = server_->window(entry.first);
    if (!w) continue;
    X11Window& xw = entry.second;
    cairo_surface_t* picture = nullptr;
    if (xw.place.scale == 1 && xw.place.one_to_one()) {
      // The picture's own pixels.
      xw.view.reset();
      picture = cairo_of(*w).surface();
      cairo_surface_flush(picture);
    } else {
      if (!xw.view) xw.view = std::make_unique<ScaledView>();
      // A slice at a time: a program that draws without pause is held up
      // by a bounded share, and the window shows what is drawn so far.
      const bool drawing = w->changes != xw.changes_seen;
      xw.changes_seen = w->changes;
      const long long start = monotonic_ms();
      if (drawing && start < xw.next_slice_ms) continue;  // still dirty: a later flush
      if (!xw.view->update(w->display_list(), xw.place.screen_width(), xw.place.screen_height(), xw.place.k(),
                           xw.place.x0(), xw.place.y0(), drawing ? kRedrawSliceMs : kCatchUpMs)) {
        continue;
      }
      xw.next_slice_ms = monotonic_ms() + 2 * (monotonic_ms() - start);
      picture = xw.view->surface();
    }
    cairo_t* cr = cairo_create(entry.second.surface);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(entry.second.surface);
    entry.second.dirty = xw.view && !xw.view->caught_up();
    painted = true;
  }
  if (painted) XFlush(x_->display);
}

bool PosixFrontend::screen_size(int* width, int* height) {
  if (!x_) {
    *width = kHeadlessWidth;
    *height = kHeadlessHeight;
    return false;
  }
  // In the programs' pixels: a scaled screen shows fewer of them.
  const int screen = DefaultScreen(x_->display);
  *width = static_cast<int>(DisplayWidth(x_->display, screen) / x_->scale);
  *height = static_cast<int>(DisplayHeight(x_->display, screen) / x_->scale);
  return true;
}

bool PosixFrontend::message(Window& w, const std::string& text) {
  dialog_owner_ = w.number();
  return dialogs_.message(w.title(), text);
}

int PosixFrontend::ask(Window& w, const std::string& question) {
  dialog_owner_ = w.number();
  return dialogs_.ask(w.title(), question);
}

bool PosixFrontend::prompt(Window& w, const std::string& question, std::string* answer) {
  dialog_owner_ = w.number();
  return dialogs_.prompt(w.title(), question, answer);
}

bool PosixFrontend::choose_file(Window& w, const std::string& initial, std::string* path) {
  dialog_owner_ = w.number();
  return dialogs_.choose_file(w.title(), initial, x_ ? std::string() : requester_folder(), path);
}

}  // namespace lumo::server
