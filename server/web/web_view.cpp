// The web view: libwebsockets serves the page, the pictures (over a
// WebSocket) and the downloads on a thread of its own; see web_view.h.
//
// A picture goes to the browser as one binary message per change: eight
// little-endian 32-bit words (window, version, width, height, and the x, y,
// w, h of the area that changed) followed by a PNG of that area.  Sending
// pixels the server drew keeps the page exactly as faithful as the PNG
// files (the browser draws nothing itself), and the cost is one encoding
// per change whatever the number of browsers.  The window list goes as a
// JSON text message.  Browsers send short text lines:
//
//   click BUTTON WINDOW X Y     wheel STEP WINDOW X Y
//   key CODE WINDOW X Y         close WINDOW
#include "server/web/web_view.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <libwebsockets.h>
#include <map>
#include <mutex>
#include <netdb.h>
#include <png.h>
#include <sys/resource.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/eventfd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "server/canvas/ansi_text.h"
#include "server/core/server.h"
#include "server/web/web_gate.h"
#include "server/web/web_page.h"
#include "server/web/web_proof.h"

namespace lumo::server {
namespace {

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

long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

std::string json_text(const std::string& utf8) {
  std::string out = "\"";
  for (const unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void put_word(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void append_png(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void flush_png(png_structp) {}

// A picture message: LWS_PRE bytes of room for the WebSocket header, the
// eight words, the PNG of the w x h area at (x, y) of `pixels`.  Fast
// compression: a busy picture costs half the time of the default, and a
// chart is small either way.
std::shared_ptr<std::string> picture_message(int window, uint64_t version, int width, int height,
                                             const std::vector<uint32_t>& pixels, int x, int y,
                                             int w, int h) {
  auto message = std::make_shared<std::string>(LWS_PRE, '\0');
  const uint32_t words[kHeaderWords] = {static_cast<uint32_t>(window), static_cast<uint32_t>(version),
                                        static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                        static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                                        static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
  for (const uint32_t v : words) put_word(message.get(), v);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<unsigned char> row(static_cast<size_t>(w) * 3);
  if (info && setjmp(png_jmpbuf(png)) == 0) {
    png_set_write_fn(png, message.get(), append_png, flush_png);
    png_set_compression_level(png, 1);
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int j = 0; j < h; ++j) {
      const uint32_t* source = pixels.data() + static_cast<size_t>(y + j) * width + x;
      for (int i = 0; i < w; ++i) {
        row[3 * i] = static_cast<unsigned char>(source[i] >> 16);
        row[3 * i + 1] = static_cast<unsigned char>(source[i] >> 8);
        row[3 * i + 2] = static_cast<unsigned char>(source[i]);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
  }
  png_destroy_write_struct(&png, &info);
  return message;
}

// The box around every pixel that differs; false when none does.
bool changed_box(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width,
                 int height, int* x0, int* y0, int* x1, int* y1) {
  *x0 = width;
  *y0 = height;
  *x1 = -1;
  *y1 = -1;
  for (int y = 0; y < height; ++y) {
    const uint32_t* ra = a.data() + static_cast<size_t>(y) * width;
    const uint32_t* rb = b.data() + static_cast<size_t>(y) * width;
    if (std::memcmp(ra, rb, static_cast<size_t>(width) * 4) == 0) continue;
    int l = 0, r = width - 1;
    while (ra[l] == rb[l]) ++l;
    while (ra[r] == rb[r]) --r;
    if (l < *x0) *x0 = l;
    if (r > *x1) *x1 = r;
    if (y < *y0) *y0 = y;
    *y1 = y;
  }
  return *x1 >= 0;
}

// The media type a download of the format is sent as.
const char* media_type(FigureFormat format) {
  switch (format) {
    case FigureFormat::kSvg: return "image/svg+xml";
    case FigureFormat::kPdf: return "application/pdf";
    case FigureFormat::kEps: return "application/postscript";
    default: return "image/png";
  }
}

}  // namespace

bool parse_web_address(const std::string& text, WebSettings* settings, std::string* error) {
  std::string address = settings->address;
  std::string port = text;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      *error = "\"" + text + "\" is not [ADDRESS]:PORT";
      return false;
    }
    address = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  char* end = nullptr;
  const long value = port.empty() ? -1 : std::strtol(port.c_str(), &end, 10);
  if (port.empty() || *end || value < 0 || value > 65535 || address.empty()) {
    *error = "\"" + text + "\" is not [ADDRESS:]PORT (PORT 0 to 65535, 0: any free port)";
    return false;
  }
  settings->address = address;
  settings->port = static_cast<int>(value);
  return true;
}

bool web_token_ok(const std::string& token) {
  if (token.empty() || token.size() > 128) return false;
  for (const char c : token) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (!plain) return false;
  }
  return true;
}

std::string random_web_token() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < sizeof bytes) {
    // No randomness to be had: the clock and the process, never a fixed token.
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t v = static_cast<uint64_t>(ts.tv_nsec) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(getpid());
    for (size_t i = got; i < sizeof bytes; ++i, v = v * 6364136223846793005ull + 1442695040888963407ull) {
      bytes[i] = static_cast<unsigned char>(v >> 56);
    }
  }
  std::string token;
  for (const unsigned char b : bytes) {
    static const char kHex[] = "0123456789abcdef";
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
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
  std::map<int, Published> published;
  uint64_t published_list = 0;  // advances when windows come, go or change title, size or visibility
  bool refresh = false;         // publish every window: a browser arrived
  std::deque<Input> inputs;
  std::vector<Download> downloads;
  std::vector<std::pair<int, std::string>> arrivals;  // connections the gate let in, and their heads

  // The loop's own.
  long long last_publish = 0;
  struct Seen {
    uint64_t serial = 0, changes = 0;
  };
  std::map<int, Seen> seen;
  uint64_t versions = 0;

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
    std::map<int, uint64_t> have;  // the version each window has in this browser
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
  static int callback(lws* wsi, enum lws_callback_reasons reason, void* user, void* in, size_t len);
};

void WebView::State::take_pictures() {
  bool list_changed = false;
  // The thread's work (encoding, and sending to every browser) takes at
  // most kShare of a processor: a picture that changes all over, costly to
  // encode and to send, is shown less often when many watch, and the
  // drawing keeps its processors.  One put off is taken at the loop's next
  // look.
  const long long wall = now_ms();
  timespec cpu_now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_now);
  const double cpu = cpu_now.tv_sec * 1e3 + cpu_now.tv_nsec / 1e6;
  debt = std::max(-kCredit, debt + (cpu - last_cpu) - kShare * static_cast<double>(wall - last_wall));
  last_cpu = cpu;
  last_wall = wall;
  const bool take = debt <= 0;
  deferred = !take;
  {
    std::lock_guard<std::mutex> g(lock);
    for (auto it = shown.begin(); it != shown.end();) {
      it = published.count(it->first) ? std::next(it) : shown.erase(it);
    }
    for (auto& entry : published) {
      Published& p = entry.second;
      Shown& w = shown[entry.first];
      if (take && p.version && p.version != w.version && p.version != w.incoming_version) {
        w.incoming.swap(p.pixels);
        w.incoming_width = p.width;
        w.incoming_height = p.height;
        w.incoming_version = p.version;
      }
    }
    if (published_list != list_seen) {
      list_seen = published_list;
      std::string json = "{\"windows\":[";
      bool first = true;
      for (const auto& entry : published) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "{\"n\":%d,\"w\":%d,\"h\":%d,\"shown\":%s,\"title\":",
                      entry.first, entry.second.width, entry.second.height,
                      entry.second.shown ? "true" : "false");
        json += (first ? "" : ",") + std::string(numbers) + json_text(entry.second.title) + "}";
        first = false;
      }
      json += "]}";
      list_message = std::make_shared<std::string>(LWS_PRE, '\0');
      list_message->append(json);
      ++list_version;
      list_changed = true;
    }
  }
  bool pictures = false;
  for (auto& entry : shown) {
    Shown& w = entry.second;
    if (!w.incoming_version || w.incoming_version == w.version) continue;
    int x0, y0, x1, y1;
    const bool same_size = w.width == w.incoming_width && w.height == w.incoming_height && w.version;
    if (!same_size) {
      w.diff = picture_message(entry.first, w.incoming_version, w.incoming_width, w.incoming_height,
                               w.incoming, 0, 0, w.incoming_width, w.incoming_height);
    } else if (changed_box(w.pixels, w.incoming, w.width, w.height, &x0, &y0, &x1, &y1)) {
      w.diff = picture_message(entry.first, w.incoming_version, w.width, w.height, w.incoming, x0,
                               y0, x1 - x0 + 1, y1 - y0 + 1);
    } else {
      w.diff.reset();
    }
    w.diff_from = w.version;
    w.version = w.incoming_version;
    w.width = w.incoming_width;
    w.height = w.incoming_height;
    w.pixels.swap(w.incoming);
    w.full.reset();
    pictures = true;
  }
  if (list_changed || pictures) lws_callback_on_writable_all_protocol(context, &protocols[0]);
}

std::shared_ptr<std::string> WebView::State::full_picture(int window, Shown& w) {
  if (!w.full) {  // made again for each new version (take_pictures drops it)
    w.full = picture_message(window, w.version, w.width, w.height, w.pixels, 0, 0, w.width, w.height);
  }
  return w.full;
}

void WebView::State::send_next(lws* wsi, Session& s) {
  std::shared_ptr<std::string> message;
  bool text = false;
  if (s.list != list_version && list_message) {
    s.list = list_version;
    message = list_message;
    text = true;
  } else {
    for (auto it = s.have.begin(); it != s.have.end();) {
      it = shown.count(it->first) ? std::next(it) : s.have.erase(it);
    }
    for (auto& entry : shown) {
      Shown& w = entry.second;
      uint64_t& have = s.have[entry.first];
      if (!w.version || have == w.version) continue;
      if (have && have == w.diff_from) {
        message = w.diff;
      } else {
        message = full_picture(entry.first, w);
      }
      have = w.version;
      if (message) break;  // an unchanged picture needs no message
    }
  }
  if (!message) return;
  // lws keeps what the connection could not take at once and calls back
  // only when it is gone: at most one message waits per browser.
  lws_write(wsi, reinterpret_cast<unsigned char*>(&(*message)[LWS_PRE]), message->size() - LWS_PRE,
            text ? LWS_WRITE_TEXT : LWS_WRITE_BINARY);
  lws_callback_on_writable(wsi);  // see whether more is to be sent
}

void WebView::State::deliver_downloads() {
  std::vector<Download> done;
  {
    std::lock_guard<std::mutex> g(lock);
    for (auto it = downloads.begin(); it != downloads.end();) {
      if (it->done) {
        done.push_back(std::move(*it));
        it = downloads.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (Download& d : done) {
    for (auto& entry : sessions) {
      if (entry.second.download != d.id) continue;
      entry.second.download = 0;
      if (d.status == 200) {
        answer(entry.first, entry.second, 200, media_type(d.format), "", d.name, d.file, d.size);
        d.file = -1;
      } else {
        answer(entry.first, entry.second, d.status, "text/plain",
               d.status == 404 ? "No such window\n" : "The file could not be made\n");
      }
    }
    if (d.file >= 0) close(d.file);  // its browser has gone
  }
}

void WebView::State::adopt_arrivals() {
  std::vector<std::pair<int, std::string>> taken;
  {
    std::lock_guard<std::mutex> g(lock);
    taken.swap(arrivals);
  }
  for (auto& a : taken) {
    if (stopping.load()) {
      close(a.first);
    } else {
      // lws closes the descriptor itself when it cannot take it.
      lws_adopt_socket_vhost_readbuf(vhost, a.first, a.second.data(), a.second.size());
    }
  }
}

void WebView::State::say_goodbye() {
  for (auto& entry : sessions) {
    if (!entry.second.viewer) continue;
    entry.second.goodbye = true;
    lws_callback_on_writable(entry.first);
  }
}

bool WebView::State::token_given(lws* wsi) const {
  char buffer[4096];
  const char* given = lws_get_urlarg_by_name(wsi, "token=", buffer, sizeof buffer);
  if (!given) return false;
  // Compared in full whatever differs, so timing tells nothing.
  const std::string& token = settings.token;
  const size_t n = std::strlen(given);
  unsigned differ = n != token.size();
  for (size_t i = 0; i < token.size(); ++i) differ |= static_cast<unsigned char>(token[i]) ^
                                                       static_cast<unsigned char>(i < n ? given[i] : 0);
  return differ == 0;
}

void WebView::State::answer(lws* wsi, Session& s, int status, const char* type, std::string body,
                            const std::string& name, int file, size_t size) {
  s.status = status;
  s.type = type;
  s.body = std::move(body);
  s.name = name;
  if (s.file >= 0) close(s.file);
  s.file = file;
  s.size = file >= 0 ? size : s.body.size();
  s.sent = 0;
  s.headers_sent = false;
  s.all_sent = false;
  lws_callback_on_writable(wsi);
}

int WebView::State::write_http(lws* wsi, Session& s) {
  if (!s.status) return 0;
  // Called again once lws has passed on all it held: the answer is out,
  // and the connection ends (every request comes through the gate).
  if (s.all_sent) return -1;
  // A browser that reads goes on however long the answer takes; one that
  // stops reading for the idle time is dropped.
  lws_set_timeout(wsi, PENDING_TIMEOUT_HTTP_CONTENT, std::max(2, settings.idle_s));
  if (!s.headers_sent) {
    unsigned char buffer[LWS_PRE + 1024];
    unsigned char* start = buffer + LWS_PRE;
    unsigned char* p = start;
    unsigned char* end = buffer + sizeof buffer;
    auto header = [&](const char* field, const std::string& value) {
      return lws_add_http_header_by_name(wsi, reinterpret_cast<const unsigned char*>(field),
                                         reinterpret_cast<const unsigned char*>(value.data()),
                                         static_cast<int>(value.size()), &p, end) == 0;
    };
    if (lws_add_http_common_headers(wsi, static_cast<unsigned>(s.status), s.type.c_str(),
                                    s.size, &p, end) ||
        !header("connection:", "close") ||
        !header("cache-control:", "no-store") || !header("x-content-type-options:", "nosniff") ||
        !header("referrer-policy:", "no-referrer") || !header("x-frame-options:", "DENY") ||
        (!s.name.empty() && !header("content-disposition:", "attachment; filename=\"" + s.name + "\"")) ||
        lws_finalize_write_http_header(wsi, start, &p, end)) {
      return -1;
    }
    s.headers_sent = true;
    lws_callback_on_writable(wsi);
    return 0;
  }
  const size_t n = std::min(kChunk, s.size - s.sent);
  std::vector<unsigned char> piece(LWS_PRE + n);
  if (s.file >= 0) {
    // The file is read a piece at a time, as the browser takes it.
    size_t got = 0;
    while (got < n) {
      const ssize_t r = pread(s.file, piece.data() + LWS_PRE + got, n - got,
                              static_cast<off_t>(s.sent + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return -1;  // the browser sees the answer end short, never a whole one
      got += static_cast<size_t>(r);
    }
  } else {
    std::memcpy(piece.data() + LWS_PRE, s.body.data() + s.sent, n);
  }
  s.sent += n;
  const bool last = s.sent == s.size;
  if (lws_write(wsi, piece.data() + LWS_PRE, n, last ? LWS_WRITE_HTTP_FINAL : LWS_WRITE_HTTP) !=
      static_cast<int>(n)) {
    return -1;
  }
  s.all_sent = last;
  lws_callback_on_writable(wsi);
  return 0;
}

int WebView::State::http_request(lws* wsi, const std::string& path) {
  Session& s = sessions[wsi];
  // The one answer given without the token: this server's proof for the
  // page's nonce, which tells nothing of the token (web_proof.h).
  if (path == "/hello") {
    char buffer[256];
    const char* nonce = lws_get_urlarg_by_name(wsi, "nonce=", buffer, sizeof buffer);
    const std::string proof = nonce ? web_proof(key, nonce) : "";
    if (proof.empty()) {
      answer(wsi, s, 400, "text/plain", "Bad request: a nonce of 16 to 128 hexadecimal digits\n");
    } else {
      answer(wsi, s, 200, "text/plain", proof + "\n");
    }
    return 0;
  }
  // Nothing but the page and the windows' files is served, and nothing at
  // all without the token.
  if (!token_given(wsi)) {
    answer(wsi, s, 403, "text/plain", "Forbidden: the address needs the token lumoview printed\n");
    return 0;
  }
  if (path == "/" || path == "/index.html") {
    answer(wsi, s, 200, "text/html; charset=utf-8", page);
    return 0;
  }
  // "/window/N.EXT": N a window number as written (no sign, no leading 0).
  const std::string prefix = "/window/";
  const size_t dot = path.rfind('.');
  int window = 0;
  bool number = path.compare(0, prefix.size(), prefix) == 0 && dot != std::string::npos &&
                dot > prefix.size() && dot - prefix.size() <= 3 && path[prefix.size()] != '0';
  for (size_t i = prefix.size(); number && i < dot; ++i) {
    number = path[i] >= '0' && path[i] <= '9';
    window = window * 10 + (path[i] - '0');
  }
  std::vector<FigureFormat> formats;
  if (number && parse_figure_formats(path.substr(dot + 1), &formats) && formats.size() == 1) {
    std::lock_guard<std::mutex> g(lock);
    if (downloads.size() >= kMaxDownloads) {
      answer(wsi, s, 503, "text/plain", "Busy: too many downloads at once\n");
      return 0;
    }
    Download d;
    d.id = next_download++;
    d.window = window;
    d.format = formats[0];
    downloads.push_back(d);
    s.download = d.id;
    // The file is made between the program's commands, as long as that
    // takes: the browser waits for it with no timeout.
    lws_set_timeout(wsi, NO_PENDING_TIMEOUT, 0);
    wake_loop();
    return 0;
  }
  answer(wsi, s, 404, "text/plain", "Not found\n");
  return 0;
}

void WebView::State::take_line(const std::string& line) {
  Input in;
  int a = 0, b = 0, x = 0, y = 0, used = 0;
  if (std::sscanf(line.c_str(), "click %d %d %d %d%n", &a, &b, &x, &y, &used) == 4 && a >= 1 && a <= 3) {
    in.event = {kEventButton, a, x, y};
  } else if (std::sscanf(line.c_str(), "wheel %d %d %d %d%n", &a, &b, &x, &y, &used) == 4 &&
             (a == 1 || a == -1)) {
    in.event = {kEventWheel, a, x, y};
  } else if (std::sscanf(line.c_str(), "key %d %d %d %d%n", &a, &b, &x, &y, &used) == 4 &&
             ((a > 0 && a < 256) || (a >= 256 + 59 && a <= 256 + 134))) {
    in.event = {kEventKey, a, x, y};  // a character, or 256 + the second code of a two-part key
  } else if (std::sscanf(line.c_str(), "close %d%n", &b, &used) == 1) {
    in.close = true;
  } else {
    return;  // not a line this page sends
  }
  if (used != static_cast<int>(line.size()) || b <= 0) return;
  in.window = b;
  std::lock_guard<std::mutex> g(lock);
  if (inputs.size() >= kMaxInputs) inputs.pop_front();
  inputs.push_back(in);
  wake_loop();
}

int WebView::State::callback(lws* wsi, enum lws_callback_reasons reason, void*, void* in, size_t len) {
  lws_context* context = lws_get_context(wsi);
  State* self = context ? static_cast<State*>(lws_context_user(context)) : nullptr;
  if (!self) return 0;
  switch (reason) {
    case LWS_CALLBACK_HTTP:
      return self->http_request(wsi, std::string(static_cast<const char*>(in), len));
    case LWS_CALLBACK_HTTP_WRITEABLE: {
      auto it = self->sessions.find(wsi);
      return it == self->sessions.end() ? 0 : self->write_http(wsi, it->second);
    }
    case LWS_CALLBACK_HTTP_CONFIRM_UPGRADE: {
      char uri[64] = "";
      lws_hdr_copy(wsi, uri, sizeof uri, WSI_TOKEN_GET_URI);
      int status = 0;
      if (!self->token_given(wsi)) {
        status = 403;
      } else if (std::strcmp(uri, "/ws") != 0) {
        status = 404;
      } else if (self->viewers.load() >= kMaxViewers) {
        status = 503;
      }
      if (!status) return 0;
      unsigned char buffer[LWS_PRE + 256];
      unsigned char* start = buffer + LWS_PRE;
      unsigned char* p = start;
      if (lws_add_http_common_headers(wsi, static_cast<unsigned>(status), "text/plain", 0, &p,
                                      buffer + sizeof buffer) ||
          lws_finalize_write_http_header(wsi, start, &p, buffer + sizeof buffer)) {
        return -1;
      }
      return 1;
    }
    case LWS_CALLBACK_ESTABLISHED: {
      // What the system holds for a browser that does not read is bounded
      // too (it would grow to megabytes by itself).
      const int sndbuf = kSendBuffer;
      setsockopt(lws_get_socket_fd(wsi), SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
      Session& s = self->sessions[wsi];
      s = Session();
      s.viewer = true;
      if (self->viewers.fetch_add(1) == 0) {
        // Nobody watched: the pictures here may be old.
        std::lock_guard<std::mutex> g(self->lock);
        self->refresh = true;
      }
      self->last_left = -1;
      lws_callback_on_writable(wsi);
      return 0;
    }
    case LWS_CALLBACK_SERVER_WRITEABLE: {
      auto it = self->sessions.find(wsi);
      if (it == self->sessions.end()) return 0;
      if (it->second.goodbye) {
        // The page stops looking for this server once it hears this.
        static const char kWhy[] = "the server has ended";
        lws_close_reason(wsi, static_cast<lws_close_status>(kEnded),
                         reinterpret_cast<unsigned char*>(const_cast<char*>(kWhy)), sizeof kWhy - 1);
        return -1;
      }
      self->send_next(wsi, it->second);
      return 0;
    }
    case LWS_CALLBACK_RECEIVE: {
      // Input is text messages of the page's form only: a binary one is
      // dropped whatever its bytes.
      Session& s = self->sessions[wsi];
      if (lws_frame_is_binary(wsi) || s.line.size() + len > kMaxLine) s.not_input = true;
      if (!s.not_input) s.line.append(static_cast<const char*>(in), len);
      if (lws_is_final_fragment(wsi) && !lws_remaining_packet_payload(wsi)) {
        if (!s.not_input && s.line.size() < kMaxLine) self->take_line(s.line);
        s.line.clear();
        s.not_input = false;
      }
      return 0;
    }
    case LWS_CALLBACK_CLOSED:
    case LWS_CALLBACK_CLOSED_HTTP:
    case LWS_CALLBACK_WSI_DESTROY: {
      auto it = self->sessions.find(wsi);
      if (it == self->sessions.end()) return 0;
      if (it->second.viewer && self->viewers.fetch_sub(1) == 1) self->last_left = now_ms();
      if (it->second.file >= 0) close(it->second.file);
      self->sessions.erase(it);
      return 0;
    }
    case LWS_CALLBACK_EVENT_WAIT_CANCELLED:
      self->adopt_arrivals();
      self->take_pictures();
      self->deliver_downloads();
      return 0;
    default:
      return 0;
  }
}

WebView::WebView() : state_(std::make_unique<State>()) {}

WebView::~WebView() { stop(); }

namespace {

// What goes wrong inside libwebsockets, said on standard error, but only a
// few times: a stranger who reaches the port must not fill the log.
void log_line(int level, const char* line) {
  static std::atomic<int> said{0};
  // (It says this one, which is no error, of every connection it takes.)
  if (!(level & LLL_ERR) || std::strstr(line, "adopt_socket_readbuf: calling service")) return;
  const int n = said.fetch_add(1);
  if (n < 10) std::fprintf(stderr, "lumoview: web view: %s", line);
  if (n == 10) std::fprintf(stderr, "lumoview: web view: more errors of the web view are not shown\n");
}

}  // namespace

bool WebView::start(const WebSettings& settings, std::string* error) {
  State& s = *state_;
  s.settings = settings;
  if (s.settings.token.empty()) s.settings.token = random_web_token();
  // The address, and as a number for the page's address.
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (getaddrinfo(settings.address.c_str(), nullptr, &hints, &found) != 0 || !found) {
    *error = "cannot find the address " + settings.address;
    return false;
  }
  char numeric[NI_MAXHOST] = "";
  const bool v6 = found->ai_family == AF_INET6;
  getnameinfo(found->ai_addr, found->ai_addrlen, numeric, sizeof numeric, nullptr, 0, NI_NUMERICHOST);
  bool bound = s.gate.listen(found->ai_addr, found->ai_addrlen, settings.port);
  int why = errno;
  const std::string asked = settings.address + ":" + std::to_string(settings.port);
  if (!bound && why == EADDRINUSE) {
    // Most often an earlier run's server, still showing its windows there:
    // this one takes another port and says so.
    s.notice = asked + " is in use (an earlier lumoview still showing its windows there, or another "
             "program); this server takes another port";
    bound = s.gate.listen(found->ai_addr, found->ai_addrlen, 0);
    why = errno;
  }
  freeaddrinfo(found);
  if (!bound) {
    *error = "cannot listen on " + asked + ": " + std::strerror(why);
    return false;
  }
  // The page carries this server's key, for its proof (web_proof.h).
  s.key = random_web_token();
  s.page.assign(reinterpret_cast<const char*>(kWebPage), kWebPage_size);
  static const char kKeyMark[] = "{{server-key}}";
  if (const size_t at = s.page.find(kKeyMark); at != std::string::npos) {
    s.page.replace(at, sizeof kKeyMark - 1, s.key);
  }

  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumoview-web-XXXXXX";
  if (!mkdtemp(&pattern[0])) {
    *error = "cannot make a folder for downloads in " + pattern.substr(0, pattern.rfind('/'));
    s.gate.stop();
    return false;
  }
  s.folder = pattern;
  s.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);

  lws_set_log_level(0, nullptr);  // its reasons are said here, in the user's terms
  s.protocols[0].name = "lumoview";
  s.protocols[0].callback = &State::callback;
  s.protocols[0].rx_buffer_size = kMaxLine;
  // Every request comes through the gate, within its bounds: a head it
  // lets in fits here whole.
  GateLimits limits;
  // A browser that answers nothing for this long (frozen, asleep, cut off)
  // is dropped: it keeps neither the server nor a place.
  s.idle.secs_since_valid_ping = static_cast<uint16_t>(std::max(1, settings.idle_s / 2));
  s.idle.secs_since_valid_hangup = static_cast<uint16_t>(std::max(2, settings.idle_s));
  lws_context_creation_info info;
  std::memset(&info, 0, sizeof info);
  info.options = LWS_SERVER_OPTION_EXPLICIT_VHOSTS | LWS_SERVER_OPTION_VALIDATE_UTF8 |
                 (v6 ? 0 : LWS_SERVER_OPTION_DISABLE_IPV6);
  info.user = &s;
  info.max_http_header_data = static_cast<unsigned short>(limits.head + 1024);
  info.pt_serv_buf_size = static_cast<unsigned>(limits.head + 1024);
  info.gid = -1;
  info.uid = -1;
  s.context = lws_create_context(&info);
  lws_vhost* vhost = nullptr;
  if (s.context) {
    info.port = CONTEXT_PORT_NO_LISTEN_SERVER;  // connections come from the gate
    info.protocols = s.protocols;
    info.vhost_name = "lumoview";
    info.server_string = "lumoview";
    info.retry_and_idle_policy = &s.idle;
    vhost = lws_create_vhost(s.context, &info);
  }
  lws_set_log_level(LLL_ERR, log_line);
  if (!vhost) {
    *error = "cannot serve on " + asked;
    s.gate.stop();
    if (s.context) lws_context_destroy(s.context);
    s.context = nullptr;
    close(s.wake);
    s.wake = -1;
    rmdir(s.folder.c_str());
    s.folder.clear();
    return false;
  }
  std::string host = numeric;
  if (host == "0.0.0.0" || host == "::") {
    char name_of_host[256] = "localhost";
    gethostname(name_of_host, sizeof name_of_host - 1);
    host = name_of_host;
  } else if (v6) {
    host = "[" + host + "]";
  }
  s.vhost = vhost;
  s.url = "http://" + host + ":" + std::to_string(s.gate.port()) + "/?token=" + s.settings.token;
  s.thread = std::thread([&s] {
    // Behind the drawing when the processors are busy.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
    while (!s.stopping.load()) lws_service(s.context, 0);
    // Pages hear that the server has ended (and stop looking for it).
    s.say_goodbye();
    const long long until = now_ms() + kGoodbyeMs;
    while (s.viewers.load() > 0 && now_ms() < until) lws_service(s.context, 0);
    s.finished = true;
  });
  s.gate.start([&s](int fd, std::string head) {
    std::lock_guard<std::mutex> g(s.lock);
    s.arrivals.emplace_back(fd, std::move(head));
    lws_cancel_service(s.context);
  }, limits);
  return true;
}

std::string WebView::url() const { return state_->url; }
const std::string& WebView::notice() const { return state_->notice; }
int WebView::wake_fd() const { return state_->wake; }
int WebView::viewers() const { return state_->viewers.load(); }

long long WebView::ms_since_last_viewer() const {
  const long long left = state_->last_left.load();
  return state_->viewers.load() > 0 || left < 0 ? -1 : now_ms() - left;
}

void WebView::serve(Server& server) {
  State& s = *state_;
  if (!s.context) return;
  uint64_t count;
  while (read(s.wake, &count, sizeof count) > 0) {
  }
  std::deque<State::Input> inputs;
  std::vector<State::Download> asked;
  bool more_downloads = false;
  {
    std::lock_guard<std::mutex> g(s.lock);
    inputs.swap(s.inputs);
    // One download a look: a large figure takes a while, and the drawing
    // goes on between them.
    for (State::Download& d : s.downloads) {
      if (!d.taken && asked.empty()) {
        d.taken = true;
        asked.push_back(d);
      } else if (!d.taken) {
        more_downloads = true;
      }
    }
  }
  for (const State::Input& in : inputs) {
    Window* w = server.window(in.window);
    if (!w) continue;
    if (in.close) {
      server.close_by_user(in.window);
      continue;
    }
    InputEvent e = in.event;
    e.x = std::max(0, std::min(e.x, w->picture().width() - 1));
    e.y = std::max(0, std::min(e.y, w->picture().height() - 1));
    w->events.push(e);
  }
  for (State::Download& d : asked) {
    Window* w = server.window(d.window);
    const std::string extension = figure_extension(d.format);
    const std::string path = s.folder + "/window." + extension;
    if (!w) {
      d.status = 404;
    } else if (!w->write_file(path, d.format)) {
      d.status = 500;
    } else {
      // Sent from the file as the browser takes it (the thread reads it a
      // piece at a time), not held here.
      d.status = 500;
      const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      struct stat about;
      if (fd >= 0 && fstat(fd, &about) == 0) {
        d.file = fd;
        d.size = static_cast<size_t>(about.st_size);
        d.status = 200;
        // The program's name is kept plain (letters, digits, - and _) by the
        // server: it goes into a header as it is.
        d.name = w->owner_program + "-" + std::to_string(d.window) + "." + extension;
      } else if (fd >= 0) {
        close(fd);
      }
      std::remove(path.c_str());
    }
    std::lock_guard<std::mutex> g(s.lock);
    for (State::Download& waiting : s.downloads) {
      if (waiting.id == d.id) {
        waiting.file = d.file;
        waiting.size = d.size;
        waiting.name = d.name;
        waiting.status = d.status;
        waiting.done = true;
      }
    }
  }

  bool changed = !asked.empty() || s.deferred.load();
  if (more_downloads) s.wake_loop();  // the next one at the loop's next look
  const long long now = now_ms();
  if (s.viewers.load() > 0 && now - s.last_publish >= s.settings.frame_ms) {
    s.last_publish = now;
    std::lock_guard<std::mutex> g(s.lock);
    const bool all = s.refresh;
    s.refresh = false;
    for (auto it = s.published.begin(); it != s.published.end();) {
      if (server.window(it->first)) {
        ++it;
        continue;
      }
      s.seen.erase(it->first);
      it = s.published.erase(it);
      ++s.published_list;
      changed = true;
    }
    server.for_each_window([&](Window& w) {
      State::Published& p = s.published[w.number()];
      State::Seen& seen = s.seen[w.number()];
      Canvas& picture = w.picture();
      const bool fresh = seen.serial != w.serial;
      const bool resized = p.width != picture.width() || p.height != picture.height();
      std::string title = to_utf8(w.title());
      if (fresh || resized || p.title != title || p.shown != w.visible) {
        p.title = std::move(title);
        p.width = picture.width();
        p.height = picture.height();
        p.shown = w.visible;
        ++s.published_list;
        changed = true;
      }
      if (fresh || resized || all || seen.changes != w.changes) {
        seen.serial = w.serial;
        seen.changes = w.changes;
        p.pixels.resize(static_cast<size_t>(p.width) * p.height);
        picture.read_pixels(0, 0, p.width, p.height, p.pixels.data());
        p.version = ++s.versions;
        changed = true;
      }
    });
  }
  if (changed) lws_cancel_service(s.context);
}

void WebView::stop() {
  State& s = *state_;
  if (!s.context) return;
  s.gate.stop();
  s.stopping = true;
  // The thread says goodbye to the pages and waits a moment for them to
  // hear it; it looks at the time whenever it is woken.
  for (int i = 0; i < kGoodbyeMs / 50 + 10 && !s.finished.load(); ++i) {
    lws_cancel_service(s.context);
    usleep(50 * 1000);
  }
  if (s.thread.joinable()) s.thread.join();
  for (State::Download& d : s.downloads) {
    if (d.file >= 0) close(d.file);
  }
  s.downloads.clear();
  for (auto& a : s.arrivals) close(a.first);
  s.arrivals.clear();
  lws_context_destroy(s.context);
  s.context = nullptr;
  if (s.wake >= 0) close(s.wake);
  s.wake = -1;
  if (!s.folder.empty()) rmdir(s.folder.c_str());
}

}  // namespace lumo::server
