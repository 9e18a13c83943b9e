// The screen on POSIX: its size is asked of the X display when one is
// reachable (Xlib is loaded at run time so that programs link without it);
// system colours are a fixed table.
#include <dlfcn.h>
#include <cstdlib>

#include "lib/platform/platform.h"

namespace lumo::platform {

bool screen_size(int32_t* width, int32_t* height) {
  *width = kDefaultScreenWidth;
  *height = kDefaultScreenHeight;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return false;
  void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
  if (!xlib) return false;
  using OpenFn = void* (*)(const char*);
  using ScreenFn = int (*)(void*);
  using SizeFn = int (*)(void*, int);
  using CloseFn = int (*)(void*);
  auto open_display = reinterpret_cast<OpenFn>(dlsym(xlib, "XOpenDisplay"));
  auto default_screen = reinterpret_cast<ScreenFn>(dlsym(xlib, "XDefaultScreen"));
  auto display_width = reinterpret_cast<SizeFn>(dlsym(xlib, "XDisplayWidth"));
  auto display_height = reinterpret_cast<SizeFn>(dlsym(xlib, "XDisplayHeight"));
  auto close_display = reinterpret_cast<CloseFn>(dlsym(xlib, "XCloseDisplay"));
  bool ok = false;
  if (open_display && default_screen && display_width && display_height && close_display) {
    if (void* d = open_display(nullptr)) {
      const int screen = default_screen(d);
      *width = display_width(d, screen);
      *height = display_height(d, screen);
      close_display(d);
      ok = true;
    }
  }
  dlclose(xlib);
  return ok;
}

// The classic Windows desktop colours, in the order of the system colour
// numbers, as 0x00BBGGRR.
int32_t system_colour(int n) {
  static const int32_t kColours[kSystemColours] = {
      0x00C8C8C8,  // scroll bar
      0x00A56E3A,  // desktop
      0x00800000,  // active caption
      0x00808080,  // inactive caption
      0x00C0C0C0,  // menu
      0x00FFFFFF,  // window
      0x00000000,  // window frame
      0x00000000,  // menu text
      0x00000000,  // window text
      0x00FFFFFF,  // caption text
      0x00C0C0C0,  // active border
      0x00C0C0C0,  // inactive border
      0x00808080,  // application workspace
      0x00800000,  // highlight
      0x00FFFFFF,  // highlight text
      0x00C0C0C0,  // button face
      0x00808080,  // button shadow
      0x00808080,  // grey text
      0x00000000,  // button text
      0x00C0C0C0,  // inactive caption text
      0x00FFFFFF,  // button highlight
  };
  return n >= 0 && n < kSystemColours ? kColours[n] : -999;
}

}  // namespace lumo::platform
