// The web view's pictures, on its thread: each change the loop published
// becomes one message for every browser.
//
// A picture goes to the browser as one binary message per change: eight
// little-endian 32-bit words (window, version, width, height, and the x, y,
// w, h of the area that changed) followed by a PNG of that area.  Sending
// pixels the server drew keeps the page exactly as faithful as the PNG
// files (the browser draws nothing itself), and the cost is one encoding
// per change whatever the number of browsers.  The window list goes as a
// JSON text message.
#include <cstdio>
#include <cstring>
#include <png.h>

#include "server/web/web_view_state.h"

namespace lumo::server {
namespace {

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

}  // namespace

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
        if (scale_index_of(entry.first)) continue;  // the window's list entry is its scale 1's
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
      w.diff = picture_message(window_of(entry.first), w.incoming_version, w.incoming_width, w.incoming_height,
                               w.incoming, 0, 0, w.incoming_width, w.incoming_height);
    } else if (changed_box(w.pixels, w.incoming, w.width, w.height, &x0, &y0, &x1, &y1)) {
      w.diff = picture_message(window_of(entry.first), w.incoming_version, w.width, w.height, w.incoming, x0,
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
    w.full = picture_message(window_of(window), w.version, w.width, w.height, w.pixels, 0, 0, w.width, w.height);
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
    std::map<int, int> wanted;  // by window: the picture this browser is shown
    {
      std::lock_guard<std::mutex> g(lock);
      for (auto& entry : shown) {
        const int n = window_of(entry.first);
        if (!wanted.count(n)) wanted[n] = picture_for(s, n);
      }
    }
    for (auto& entry : shown) {
      if (wanted[window_of(entry.first)] != entry.first) continue;  // another scale's or view's
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

}  // namespace lumo::server
