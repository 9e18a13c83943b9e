// The web view's state, shared by its files: what the loop publishes and
// browsers ask for (under the lock), the loop's own bookkeeping, and the
// libwebsockets thread's pictures and connections.  See web_view.h.
#ifndef LUMO_SERVER_WEB_WEB_VIEW_STATE_H
#define LUMO_SERVER_WEB_WEB_VIEW_STATE_H

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <deque>
#include <libwebsockets.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "server/canvas/scaled_view.h"
#include "server/core/server.h"
#include "server/web/web_gate.h"
#include "server/web/web_view.h"

namespace lumo::server {

constexpr int kMaxViewers = 64;          // WebSocket connections at once
constexpr size_t kMaxInputs = 1024;      // browser input not taken in yet (oldest dropped)
constexpr size_t kMaxDownloads = 16;     // downloads being made at once
constexpr size_t kMaxLine = 128;         // a browser's text line
constexpr size_t kChunk = 64 * 1024;     // an HTTP body goes out in pieces of this size
constexpr int kSendBuffer = 512 * 1024;  // the system's send buffer of a browser's connection
constexpr size_t kHeaderWords = 8;
constexpr double kShare = 0.15;          // of a processor, for the web view's thread
constexpr double kCredit = 100;          // ms of unused share kept for a burst
constexpr int kEnded = 4001;             // the close status that tells a page its server has ended
constexpr int kGoodbyeMs = 1000;         // how long an ending server waits for pages to hear it
constexpr long long kRedrawMs = 10;      // a look's time for pictures drawn again from display lists
constexpr long long kCatchUpMs = 30;     // more of it once the program stopped drawing

// The scales a page may ask its pictures at (its devicePixelRatio, rounded
// to one of these).  A picture is published per window and scale in use:
// its id is the window's number plus the scale's index times kScaleStep.
constexpr double kWebScales[] = {1, 1.25, 1.5, 2, 3};
constexpr int kWebScaleCount = 5;
constexpr int kScaleStep = 1 << 16;
// A zoomed view some browser shows has the id of its window plus
// (kWebScaleCount + its slot) times kScaleStep.
constexpr int kMaxZooms = 64;
inline int window_of(int id) { return id % kScaleStep; }
inline int scale_index_of(int id) { return id / kScaleStep; }
inline int zoom_slot_of(int id) { return id / kScaleStep - kWebScaleCount; }  // < 0: not zoomed

// A window zoomed in a page: by `notches` of 1.25 (up to 32 times), the
// device point (x0, y0) (in 64ths of a pixel) at its top left, at a scale.
struct ZoomView {
  int window = 0;  // 0: a free slot
  int scale = 0, notches = 0, x0 = 0, y0 = 0;
  uint64_t stamp = 0;  // advances when the slot takes another view
  bool operator==(const ZoomView& o) const {
    return window == o.window && scale == o.scale && notches == o.notches && x0 == o.x0 && y0 == o.y0;
  }
  double zoom() const { return std::min(32.0, std::pow(1.25, notches)); }
};

inline long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

struct WebView::State {
  WebSettings settings;
  std::string url, notice;
  lws_context* context = nullptr;
  lws_protocols protocols[2] = {};
  lws_retry_bo_t idle = {};
  std::thread thread;
  std::atomic<bool> stopping{false};
  int wake = -1;
  std::atomic<int> viewers{0};
  std::atomic<long long> last_left{-1};
  std::atomic<bool> deferred{false};  // a picture waits for the encoder's turn
  std::string folder;  // downloads are written here and read back
  std::string key;     // the page proves with it that this server is the one it came from
  std::string page;    // the page, with the key in it
  WebGate gate;
  lws_vhost* vhost = nullptr;
  std::atomic<bool> finished{false};  // the thread has said goodbye and ends

  // Between the loop and the thread, under `lock`.
  struct Published {
    std::string title;
    int width = 0, height = 0;
    bool shown = true;
    uint64_t serial = 0;   // of the window listed
    uint64_t version = 0;  // of the pixels (0: none yet)
    std::vector<uint32_t> pixels;
  };
  struct Input {
    int window = 0;
    bool close = false;
    InputEvent event;
  };
  struct Download {
    uint64_t id = 0;
    int window = 0;
    FigureFormat format = FigureFormat::kPng;
    bool taken = false, done = false;
    int status = 404;
    int file = -1;  // the file made, already removed from the folder
    size_t size = 0;
    std::string name;
  };
  std::mutex lock;
  std::map<int, Published> published;  // by picture id (window and scale)
  unsigned scales = 1;                 // the scales browsers ask for (bit i: kWebScales[i])
  ZoomView zooms[kMaxZooms];           // the zoomed views browsers show
  uint64_t zoom_stamps = 0;
  uint64_t published_list = 0;  // advances when windows come, go or change title, size or visibility
  bool refresh = false;         // publish every window: a browser arrived
  std::deque<Input> inputs;
  std::vector<Download> downloads;
  std::vector<std::pair<int, std::string>> arrivals;  // connections the gate let in, and their heads

  // The loop's own.
  long long last_publish = 0;
  bool behind = false;  // a scaled or zoomed picture has more to draw
  struct Seen {
    uint64_t serial = 0, changes = 0;
    int width = 0, height = 0;  // of the picture then
    uint64_t stamp = 0;         // of the zoomed view then
    uint64_t drawn = 0;         // the window's changes at the last look
  };
  std::map<int, Seen> seen;  // by picture id
  uint64_t versions = 0;
  // The windows drawn again from their display lists at the scales other
  // than 1, by picture id.
  std::map<int, std::unique_ptr<ScaledView>> views;

  // The thread's own.
  struct Shown {
    int width = 0, height = 0;  // of `pixels`
    uint64_t version = 0;
    std::vector<uint32_t> pixels, incoming;
    int incoming_width = 0, incoming_height = 0;
    uint64_t incoming_version = 0;
    uint64_t diff_from = 0;                   // `diff` turns this version into `version`
    std::shared_ptr<std::string> diff, full;  // diff null: nothing changed
  };
  struct Session {
    bool viewer = false;
    std::map<int, uint64_t> have;  // the version each picture has in this browser
    int scale = 0;                 // the index of the scale it asks for
    std::map<int, ZoomView> zoomed;  // the windows it shows zoomed
    uint64_t list = 0;
    std::string line;
    bool not_input = false;  // the message being received is no line of input
    bool goodbye = false;    // the server ends: say so and close
    // An HTTP answer: `body`, or `size` bytes of `file`.
    int status = 0;
    std::string type, name, body;
    int file = -1;
    size_t size = 0, sent = 0;
    bool headers_sent = false, all_sent = false;
    uint64_t download = 0;
  };
  std::map<int, Shown> shown;
  uint64_t list_seen = 0, list_version = 0;
  std::shared_ptr<std::string> list_message;
  std::map<lws*, Session> sessions;
  uint64_t next_download = 1;
  double debt = 0, last_cpu = 0;  // the thread's processor time past its share, in ms
  long long last_wall = 0;

  void wake_loop() {
    const uint64_t one = 1;
    if (write(wake, &one, sizeof one) < 0) {
      // Full counter: the loop has not looked yet and will.
    }
  }

  // ---- the thread ----
  void take_pictures();
  void deliver_downloads();
  std::shared_ptr<std::string> full_picture(int window, Shown& w);
  void send_next(lws* wsi, Session& s);
  int http_request(lws* wsi, const std::string& path);
  void answer(lws* wsi, Session& s, int status, const char* type, std::string body,
              const std::string& name = "", int file = -1, size_t size = 0);
  void adopt_arrivals();
  void say_goodbye();
  int write_http(lws* wsi, Session& s);
  bool token_given(lws* wsi) const;
  void take_line(const std::string& line);
  // "scale R" from a page: its pictures at R from now on.  False for any
  // other line.
  bool take_scale(Session& s, const std::string& line);
  // "view N NOTCHES X0 Y0": window N zoomed in that page.
  bool take_view(Session& s, const std::string& line);
  // The scales and zoomed views in use, after a browser came, went or asked
  // for another.
  void count_scales();
  // The picture of window `n` a browser is shown.
  int picture_for(const Session& s, int n) const;
  static int callback(lws* wsi, enum lws_callback_reasons reason, void* user, void* in, size_t len);
};

}  // namespace lumo::server

#endif
