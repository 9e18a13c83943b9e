// The web view: libwebsockets serves the page, the pictures (over a
// WebSocket) and the downloads on a thread of its own; see web_view.h.
// This file starts and stops it and holds the WebSocket connections;
// web_http.cpp answers HTTP requests, web_pictures.cpp makes the pictures,
// web_publish.cpp is the loop's side.
//
// Browsers send short text lines:
//
//   click BUTTON WINDOW X Y     wheel STEP WINDOW X Y
//   key CODE WINDOW X Y         close WINDOW
#include "server/web/web_view.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>

#include "server/web/web_page.h"
#include "server/web/web_view_state.h"

namespace lumo::server {

void WebView::State::say_goodbye() {
  for (auto& entry : sessions) {
    if (!entry.second.viewer) continue;
    entry.second.goodbye = true;
    lws_callback_on_writable(entry.first);
  }
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

bool WebView::State::take_scale(Session& s, const std::string& line) {
  double ratio = 0;
  int used = 0;
  if (std::sscanf(line.c_str(), "scale %lf%n", &ratio, &used) != 1 || used != static_cast<int>(line.size())) {
    return false;
  }
  for (int i = 0; i < kWebScaleCount; ++i) {
    if (ratio == kWebScales[i] && s.scale != i) {
      s.scale = i;
      count_scales();
    }
  }
  return true;
}

bool WebView::State::take_view(Session& s, const std::string& line) {
  int n = 0, notches = 0, used = 0;
  double x0 = 0, y0 = 0;
  if (std::sscanf(line.c_str(), "view %d %d %lf %lf%n", &n, &notches, &x0, &y0, &used) != 4 ||
      used != static_cast<int>(line.size()) || n <= 0 || n >= kScaleStep) {
    return false;
  }
  ZoomView v;
  v.window = n;
  v.notches = std::clamp(notches, 0, 16);
  v.x0 = static_cast<int>(std::lround(std::clamp(x0, 0.0, 65536.0) * 64));
  v.y0 = static_cast<int>(std::lround(std::clamp(y0, 0.0, 65536.0) * 64));
  if (v.notches == 0) {
    s.zoomed.erase(n);
  } else {
    s.zoomed[n] = v;
  }
  count_scales();
  return true;
}

void WebView::State::count_scales() {
  unsigned in_use = 0;
  for (const auto& entry : sessions) {
    if (entry.second.viewer) in_use |= 1u << entry.second.scale;
  }
  std::lock_guard<std::mutex> g(lock);
  if (in_use && in_use != scales) {
    // A scale nobody asked for has no pictures yet: all are published.
    scales = in_use;
    refresh = true;
  }
  // The zoomed views: those still shown keep their slots, new ones take
  // free slots (while there are any).
  bool kept[kMaxZooms] = {};
  for (auto& entry : sessions) {
    for (auto& z : entry.second.zoomed) {
      ZoomView want = z.second;
      want.scale = entry.second.scale;
      for (int i = 0; i < kMaxZooms; ++i) {
        if (zooms[i] == want) kept[i] = true;
      }
    }
  }
  for (int i = 0; i < kMaxZooms; ++i) {
    if (!kept[i]) zooms[i] = ZoomView{};
  }
  for (auto& entry : sessions) {
    for (auto& z : entry.second.zoomed) {
      ZoomView want = z.second;
      want.scale = entry.second.scale;
      if (std::find(std::begin(zooms), std::end(zooms), want) != std::end(zooms)) continue;
      for (ZoomView& slot : zooms) {
        if (slot.window) continue;
        slot = want;
        slot.stamp = ++zoom_stamps;
        break;
      }
    }
  }
  wake_loop();
}

int WebView::State::picture_for(const Session& s, int n) const {
  auto z = s.zoomed.find(n);
  if (z != s.zoomed.end()) {
    ZoomView want = z->second;
    want.scale = s.scale;
    for (int i = 0; i < kMaxZooms; ++i) {
      if (zooms[i] == want) return n + (kWebScaleCount + i) * kScaleStep;
    }
  }
  return n + s.scale * kScaleStep;
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
        if (!s.not_input && s.line.size() < kMaxLine && !self->take_scale(s, s.line) &&
            !self->take_view(s, s.line)) {
          self->take_line(s.line);
        }
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
      const bool viewer = it->second.viewer;
      self->sessions.erase(it);
      if (viewer) self->count_scales();
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

bool WebView::behind() const { return state_->behind; }

long long WebView::ms_since_last_viewer() const {
  const long long left = state_->last_left.load();
  return state_->viewers.load() > 0 || left < 0 ? -1 : now_ms() - left;
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
