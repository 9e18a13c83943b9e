// The screen size on POSIX: asked of the X display when one is reachable.
// Xlib is loaded at run time so that programs link without it.
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

}  // namespace lumo::platform
