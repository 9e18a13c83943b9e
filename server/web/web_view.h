// The web view of a POSIX server: an HTTP page listing the server's windows
// and showing each one live, served next to the X11 or headless front end
// (`lumoview --serve [ADDRESS:]PORT`, LUMOVIEW_SERVE; docs/web-view.md).
//
// The server's core stays single-threaded.  The loop publishes copies of the
// windows' pictures at a bounded rate while someone watches; a thread of
// its own (libwebsockets) turns each change into one PNG of the area that
// changed and hands the newest picture to every browser as it can take it
// (a browser that falls behind skips to the latest, so nothing queues up).
// What browsers send (clicks, keys, wheel steps, closes, file downloads)
// waits in a bounded queue the loop takes in whenever it looks.
#ifndef LUMO_SERVER_WEB_WEB_VIEW_H
#define LUMO_SERVER_WEB_WEB_VIEW_H

#include <memory>
#include <string>

namespace lumo::server {

class Server;

struct WebSettings {
  std::string address = "127.0.0.1";  // where to listen (numeric, or a host name)
  int port = 0;                        // 0: any free port
  std::string token;                   // empty: a random one
  int frame_ms = 50;                   // at most one picture per window this often
  int idle_s = 60;                     // a browser that answers nothing this long is dropped
};

// Reads "[ADDRESS:]PORT" ("8080", "0.0.0.0:8080", "[::1]:8080", "host:0").
bool parse_web_address(const std::string& text, WebSettings* settings, std::string* error);
// Whether a token may be used in a URL as it stands (1 to 128 of A-Z a-z
// 0-9 - . _ ~).
bool web_token_ok(const std::string& token);
// A random token of 32 hexadecimal digits.
std::string random_web_token();

class WebView {
 public:
  WebView();
  ~WebView();
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;

  // Listens and starts serving; false (with the reason) when it cannot.
  bool start(const WebSettings& settings, std::string* error);
  // The page's address with the token ("http://127.0.0.1:8080/?token=...").
  std::string url() const;
  // What the user should know of how it started (another port taken
  // because the one asked for is in use), or "".
  const std::string& notice() const;
  // Readable when browsers asked for something (input, a download).
  int wake_fd() const;
  // Browsers watching now, and milliseconds (monotonic) since one last left
  // or -1 when one is watching or none ever was.
  int viewers() const;
  // Whether a picture drawn again from a display list has more to draw
  // (the loop comes back for it at the next look).
  bool behind() const;
  long long ms_since_last_viewer() const;

  // Called by the loop whenever it looks: carries out what browsers asked
  // and, at most once per frame time and only while someone watches,
  // publishes the windows that changed.
  void serve(Server& server);
  // Ends the thread and closes every connection.
  void stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace lumo::server

#endif
