// The web view's HTTP side, on its thread: connections the gate let in,
// the page, the proof, and downloads of the windows' files (made by the
// loop, sent from the file a piece at a time).
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "server/web/web_proof.h"
#include "server/web/web_view_state.h"

namespace lumo::server {
namespace {

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

}  // namespace lumo::server
