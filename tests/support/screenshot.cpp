// Saves the whole X screen as PNG and prints how many pixels have a colour:
//   lumo_screenshot OUT.png RRGGBB
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 3;
  const Window root = DefaultRootWindow(d);
  XWindowAttributes a;
  XGetWindowAttributes(d, root, &a);
  XImage* image = XGetImage(d, root, 0, 0, static_cast<unsigned>(a.width),
                            static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
  if (!image) return 4;
  const unsigned long wanted = std::strtoul(argv[2], nullptr, 16);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, a.width, a.height);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  long matches = 0;
  for (int y = 0; y < a.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < a.width; ++x) {
      const unsigned long p = XGetPixel(image, x, y) & 0xFFFFFF;
      row[x] = static_cast<uint32_t>(p);
      if (p == wanted) ++matches;
    }
  }
  cairo_surface_mark_dirty(s);
  const bool ok = cairo_surface_write_to_png(s, argv[1]) == CAIRO_STATUS_SUCCESS;
  std::printf("%ld\n", matches);
  cairo_surface_destroy(s);
  XDestroyImage(image);
  XCloseDisplay(d);
  return ok ? 0 : 5;
}
