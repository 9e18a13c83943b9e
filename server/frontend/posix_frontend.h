// Where the POSIX server's windows appear: real X11 windows when a display
// is reachable, nowhere otherwise (headless).  Dialogs follow Dialogs.
#ifndef LUMO_SERVER_FRONTEND_POSIX_FRONTEND_H
#define LUMO_SERVER_FRONTEND_POSIX_FRONTEND_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/core/host.h"
#include "server/frontend/dialogs.h"

namespace lumo::server {

class Server;
struct X11State;

class PosixFrontend : public Frontend {
 public:
  // want_display: try the display named by DISPLAY.  scale: screen pixels
  // a device pixel of the windows (0: from the display's Xft.dpi).
  PosixFrontend(bool want_display, const std::string& answers, double scale = 0);
  ~PosixFrontend() override;

  bool has_display() const { return x_ != nullptr; }
  int event_fd() const;
  // The screen's scale the windows are shown at (1 without a display).
  double scale() const;
  void set_server(Server* server) { server_ = server; }
  // Handles the display's pending events.
  void pump();
  // The connection whose command is being carried out: a dialog starts in
  // its program's folder and ends when the program is gone.
  void set_requester(int fd) { requester_fd_ = fd; }
  // Shows what changed since the last call.
  void flush();
  // Whether a window drawn again from its display list has more to draw
  // (the loop comes back soon).
  bool behind() const;

  void look_changed(const WindowLook& look) override;
  void window_opening(int number, int width, int height, int x, int y, Rgb background) override;
  void window_opened(Window& w) override;
  void window_closing(Window& w) override;
  void window_drawn(Window& w) override;
  void window_retitled(Window& w) override;
  void window_moved(Window& w) override;
  void window_resized(Window& w) override;
  void window_shown(Window& w, bool visible) override;
  bool screen_size(int* width, int* height) override;
  bool message(Window& w, const std::string& text) override;
  int ask(Window& w, const std::string& question) override;
  bool prompt(Window& w, const std::string& question, std::string* answer) override;
  bool choose_file(Window& w, const std::string& initial, std::string* path) override;
  bool dialog_impossible() const override { return dialogs_.last_impossible(); }
  bool answered_without_dialog() const override { return dialogs_.last_took_proposal(); }
  bool live_input() const override { return x_ != nullptr || web_input_; }
  // Browsers can give the windows input too (the web view).
  void set_web_input(bool on) { web_input_ = on; }

 private:
  void handle_event(XEvent& e, bool in_dialog);
  // Ctrl+wheel, a pan or Ctrl+0 over window `number`: true when the event
  // was the view's (the program does not see it).
  bool view_event(XEvent& e, int number, Window& w);
  int show_dialog(const DialogRequest& request, std::string* answer);
  std::string requester_folder() const;
  bool requester_connected() const;

  std::unique_ptr<X11State> x_;
  Dialogs dialogs_;
  Server* server_ = nullptr;
  int requester_fd_ = -1;
  bool web_input_ = false;
  int dialog_owner_ = 0;                // the window a dialog is shown for
  std::vector<int> closes_held_back_;  // asked while a dialog was up
};

}  // namespace lumo::server

#endif
