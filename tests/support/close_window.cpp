// Asks every top-level window whose title contains TEXT to close, as a
// window manager does when the user clicks its close button, and prints how
// many were asked:   lumo_close_window TEXT
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 3;
  const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
  const Atom delete_window = XInternAtom(d, "WM_DELETE_WINDOW", False);
  Window root, parent;
  Window* children = nullptr;
  unsigned count = 0;
  int asked = 0;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; ++i) {
      char* name = nullptr;
      if (!XFetchName(d, children[i], &name) || !name) continue;
      if (std::strstr(name, argv[1])) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = children[i];
        e.xclient.message_type = protocols;
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(delete_window);
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, children[i], False, NoEventMask, &e);
        ++asked;
      }
      XFree(name);
    }
    if (children) XFree(children);
  }
  XSync(d, False);
  std::printf("%d\n", asked);
  XCloseDisplay(d);
  return 0;
}
