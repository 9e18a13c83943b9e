// lumoview.exe's windows: GDI windows showing each picture, shaped by the
// display switches, taking the user's input; the system's dialogs and a
// text prompt dialog made in memory.
#ifndef LUMO_SERVER_FRONTEND_WIN32_FRONTEND_H
#define LUMO_SERVER_FRONTEND_WIN32_FRONTEND_H

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "server/core/server.h"
#include "server/core/window.h"

namespace lumo::server {

class Win32Frontend : public Frontend {
 public:
  void look_changed(const WindowLook& look) override;
  void window_opened(Window& w) override;
  void window_closing(Window& w) override;
  // Drawn windows are repainted from the message loop, at most every few
  // milliseconds: asking for a repaint is a call to the window system, which
  // would cost more than a line.
  void window_drawn(Window& w) override;
  void repaint_drawn();
  bool has_drawn() const { return !dirty_.empty(); }
  void window_retitled(Window& w) override;
  void window_moved(Window& w) override;
  void window_shown(Window& w, bool visible) override;
  bool screen_size(int* width, int* height) override;
  bool message(Window& w, const std::string& text) override;
  int ask(Window& w, const std::string& question) override;
  bool prompt(Window& w, const std::string& question, std::string* answer) override;
  bool choose_file(Window& w, const std::string& initial, std::string* path) override;
  int count() const;
  bool live_input() const override;

 private:
  HWND owner(Window& w);
  std::map<int, HWND> windows_;
  std::set<int> dirty_;
  WindowLook look_;
};

}  // namespace lumo::server

// The window procedure of the picture windows (class kWindowClass).
LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

#endif
