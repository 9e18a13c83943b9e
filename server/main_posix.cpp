// lumoview: the graphics window server for POSIX systems.
//
//   lumoview [switches] [--headless] [--png-dir DIR] [--save DIR[:FORMATS]]
//            [--trace FILE] [--answers FILE] [--grace MS] [--serve [ADDRESS:]PORT]
//
// The switches are those a program hands to a new server (" /t /p0,0
// /s640,480 ..."). Environment: LUMOVIEW_PNG_DIR, LUMOVIEW_SAVE,
// LUMOVIEW_EVENTS (scripted input, docs/events.md), LUMOVIEW_TRACE, LUMOVIEW_ANSWERS, LUMOVIEW_GRACE_MS as the options of the
// same names; LUMOVIEW_LIST_MB, the display list's bound per window;
// LUMOVIEW_SCALE, the screen's scale (1, 1.25, 1.5, 2, 3; unset: from the
// display's Xft.dpi); LUMOVIEW_PNG_SCALE, the PNG files' scale;
// LUMOVIEW_SERVE ([ADDRESS:]PORT) turns the web view on (docs/web-view.md),
// LUMOVIEW_TOKEN sets its token, LUMOVIEW_WEB_LINGER_MS how long windows
// nobody watches stay after the last program, LUMOVIEW_WEB_IDLE_S after how
// long a browser that answers nothing is dropped.
// LUMOVIEW_READY_FD (set by the library) is told when the server block
// exists; lines written to it before "ready" are for the terminal of the
// program that started the server (the web view's address).
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/run_settings.h"
#include "server/canvas/ansi_text.h"
#include "server/canvas/cairo_canvas.h"
#include "server/canvas/scaled_view.h"
#include "server/core/server.h"
#include "server/frontend/posix_frontend.h"
#include "server/host/posix_host.h"
#include "server/web/web_module.h"

using namespace lumo::server;

namespace {

constexpr int kDefaultGraceMs = 1500;     // how long an unused server waits for a program
constexpr int kFirstLinkWaitMs = 60000;   // how long a new server waits for its first program
constexpr int kTickMs = 50;
constexpr int kWebLingerMs = 600000;      // windows nobody watches in a browser stay this long
constexpr double kSliceSeconds = 0.02;   // long drawing goes in slices of about this long

volatile std::sig_atomic_t g_stop = 0;

// Settings refused before the server core exists: told to every program
// that links (Server::refused_setting), as the core's own are.
std::vector<std::string> g_refused;

void on_signal(int) { g_stop = 1; }

long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

std::string env_or(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

// A count from the environment; a value that is not one is said and the
// fallback used.
int count_or(const char* name, int fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  const long n = std::strtol(v, &end, 10);
  if (*end || n < 0 || n > 1000000000) {
    g_refused.push_back(std::string(name) + "=" + v + " is not a count; " + std::to_string(fallback) +
                        " is used");
    return fallback;
  }
  return static_cast<int>(n);
}

int make_key() {
  unsigned v = static_cast<unsigned>(getpid()) * 2654435761u ^ static_cast<unsigned>(time(nullptr));
  const int key = static_cast<int>(v & 0x7FFFFFFF);
  return key ? key : 1;
}

int ready_fd() {
  const char* fd = std::getenv("LUMOVIEW_READY_FD");
  return fd ? std::atoi(fd) : -1;
}

// A line for the person who started the server: on standard error, and to
// the program that started it (its terminal), when one did.
void tell_user(const std::string& text) {
  std::fprintf(stderr, "lumoview: %s\n", text.c_str());
  const int ready = ready_fd();
  if (ready < 0) return;
  const std::string line = "lumoview: " + text + "\n";
  if (write(ready, line.data(), line.size()) < 0) std::perror("lumoview: readiness");
}

void tell_ready() {
  const int ready = ready_fd();
  if (ready >= 0) {
    static const char kReady[] = "ready\n";
    if (write(ready, kReady, sizeof kReady - 1) < 0) std::perror("lumoview: readiness");
    if (ready > 2) close(ready);
  }
  unsetenv("LUMOVIEW_READY_FD");
}

}  // namespace

int main(int argc, char** argv) {
  // Descriptors 0 to 2 open before anything else is: started by a program
  // that had one closed, the server's sockets would take its number and
  // its messages (LUMOVIEW_LOG=stderr) would go into them.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) < 0) break;
  }
  Options options;
  options.key = make_key();
  if (ready_fd() >= 0) {
    // Started for a program: a later program is taken only with the same
    // run settings (common/run_settings.h).
    char folder[4096];
    options.settings_checked = true;
    options.settings = lumo::wire::run_settings_fingerprint(
        [](const char* name, char* out, size_t size) {
          const char* v = std::getenv(name);
          if (!v) return false;
          std::snprintf(out, size, "%s", v);
          return true;
        },
        getcwd(folder, sizeof folder) ? folder : "");
  }
  options.png_dir = env_or("LUMOVIEW_PNG_DIR", "");
  std::string figures = env_or("LUMOVIEW_SAVE", "");
  options.events_path = env_or("LUMOVIEW_EVENTS", "");
  // No command holds other programs up for longer than a slice or so.
  options.slice_seconds = kSliceSeconds;
  take_memory_settings([](const char* name) { return env_or(name, ""); }, &options, &g_refused);
  // Programs send text in the code page their locale implies; the server
  // inherits the locale of the program that started it.
  set_ansi_code_page(ansi_code_page_of_locale());
  std::string trace_path = env_or("LUMOVIEW_TRACE", "");
  std::string answers = env_or("LUMOVIEW_ANSWERS", "");
  int grace = std::atoi(env_or("LUMOVIEW_GRACE_MS", std::to_string(kDefaultGraceMs)).c_str());
  int first_link = std::atoi(env_or("LUMOVIEW_FIRST_LINK_MS", std::to_string(kFirstLinkWaitMs)).c_str());
  // The screen's scale, and the PNG files' (server/canvas/scaled_view.h).
  double screen_scale = 0;  // from the display's Xft.dpi
  const std::string scale_text = env_or("LUMOVIEW_SCALE", "");
  if (!scale_text.empty() && !parse_view_scale(scale_text, &screen_scale)) {
    g_refused.push_back("LUMOVIEW_SCALE=" + scale_text +
                        " is refused: the scales are 1, 1.25, 1.5, 2 and 3; the display's Xft.dpi decides");
  }
  const std::string png_scale_text = env_or("LUMOVIEW_PNG_SCALE", "");
  if (!png_scale_text.empty() && !parse_view_scale(png_scale_text, &options.png_scale)) {
    g_refused.push_back("LUMOVIEW_PNG_SCALE=" + png_scale_text +
                        " is refused: the scales are 1, 1.25, 1.5, 2 and 3; PNG files keep the window's size");
  }
  bool headless = false;
  std::string serve = env_or("LUMOVIEW_SERVE", "");
  const int web_linger = count_or("LUMOVIEW_WEB_LINGER_MS", kWebLingerMs);
  const int web_idle = count_or("LUMOVIEW_WEB_IDLE_S", 60);
  std::vector<const char*> switches;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--headless") {
      headless = true;
    } else if (a == "--png-dir" && has_value) {
      options.png_dir = argv[++i];
    } else if (a == "--events" && has_value) {
      options.events_path = argv[++i];
    } else if (a == "--save" && has_value) {
      figures = argv[++i];
    } else if (a == "--trace" && has_value) {
      trace_path = argv[++i];
    } else if (a == "--answers" && has_value) {
      answers = argv[++i];
    } else if (a == "--grace" && has_value) {
      grace = std::atoi(argv[++i]);
    } else if (a == "--serve" && has_value) {
      serve = argv[++i];
    } else if (a.compare(0, 8, "--serve=") == 0) {
      serve = a.substr(8);
    } else if (a == "--first-link" && has_value) {
      first_link = std::atoi(argv[++i]);
    } else if (a == "--help") {
      std::puts("usage: lumoview [/t /b /r /i /l /o (upper case: off)] [/pX,Y] [/sW,H] [/dpiN]\n"
                "                [--headless] [--png-dir DIR] [--save DIR[:png,svg,pdf,eps]]\n"
                "                [--events FILE] [--trace FILE] [--answers FILE] [--grace MS]\n"
                "                [--first-link MS] [--serve [ADDRESS:]PORT]");
      return 0;
    } else if (a.compare(0, 2, "--") == 0) {
      std::fprintf(stderr, "lumoview: %s is not an option%s (see --help); it is ignored\n", a.c_str(),
                   has_value ? "" : " or lacks its value");
    } else {
      switches.push_back(argv[i]);
    }
  }
  // The folders are made, relative to each program's own folder, when
  // its pictures are written (server/core/pictures.cpp).
  std::string figure_error;
  if (!figures.empty() &&
      !parse_figure_target(figures, &options.figure_dir, &options.figure_formats, &figure_error)) {
    g_refused.push_back("LUMOVIEW_SAVE=" + figures + " is refused: " + figure_error + "; no figures are written");
  }
  if (!parse_switches(static_cast<int>(switches.size()), switches.data(), &options)) {
    g_refused.push_back("a switch has a malformed value; it is ignored");
  }

  // A server started by a program has that program's signal mask: one that
  // blocked every signal would leave it deaf to SIGTERM, and the SIGBUS of
  // a block cut short, which block_guard takes, would kill it instead.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  PosixHost host;
  // Why it cannot serve goes to the program that started it too: it would
  // otherwise say only that the server could not be started.
  if (!host.start()) {
    tell_user(host.failure());
    return 2;
  }
  PosixFrontend frontend(!headless, answers, screen_scale);
  // Nobody sees the windows: unless a folder is named, each program finds
  // its pictures in its own folder.
  options.pictures_by_default = !frontend.has_display();
  CairoCanvasFactory canvases;
  Server server(host, frontend, canvases, options);
  frontend.set_server(&server);
  server.complaint = [](const std::string& text) { std::fprintf(stderr, "lumoview: %s\n", text.c_str()); };
  server.tell_program = [&host](int client, const std::string& text) { host.tell(client, "lumoview: " + text); };
  server.teller = [&host](int client) -> std::function<void(const std::string&)> {
    auto tell = host.teller(client);
    if (!tell) return nullptr;
    return [tell](const std::string& text) { tell("lumoview: " + text); };
  };
  for (const std::string& refused : g_refused) server.refused_setting(refused);
  if (!server.start()) {
    tell_user("no free server number (1 to 16)");
    return 2;
  }
  // "1" (or "stderr") traces to standard error, anything else names a file.
  const bool trace_stderr = trace_path == "1" || trace_path == "stderr";
  FILE* trace = trace_path.empty() ? nullptr
                : trace_stderr     ? stderr
                                   : std::fopen(trace_path.c_str(), "a");
  if (trace) {
    server.trace = [trace](const std::string& line) {
      std::fprintf(trace, "%s\n", line.c_str());
      std::fflush(trace);
    };
  }
  server.picture_written = [](const std::string& path) {
    std::fprintf(stderr, "lumoview: wrote %s\n", path.c_str());
  };
  // The web view, next to the windows (or instead of them when headless).
  // Its module (and libwebsockets with it) is loaded only now.
  std::unique_ptr<WebService> web;
  if (!serve.empty()) {
    WebSettings settings;
    settings.token = env_or("LUMOVIEW_TOKEN", "");
    std::string error;
    settings.idle_s = web_idle;
    if (!settings.token.empty() && (!web_token_ok(settings.token) || settings.token.size() < 16)) {
      server.refused_setting("LUMOVIEW_TOKEN must be 16 to 128 of the letters, digits and - . _ ~ (one "
                             "anybody who reaches the port could guess is no guard); the web view is off");
    } else if (!parse_web_address(serve, &settings, &error)) {
      server.refused_setting("--serve (LUMOVIEW_SERVE): " + error + "; the web view is off");
    } else {
      web = load_web_service(&error);
      if (web && web->start(settings, &error)) {
        if (!web->notice().empty()) tell_user(web->notice());
        tell_user("web view at " + web->url());
        frontend.set_web_input(true);
      } else {
        tell_user("the web view cannot start: " + error);
        web.reset();
      }
    }
  }
  // Started by hand only to serve the windows, a server that cannot does
  // nothing anybody could see.
  if (!serve.empty() && !web && !frontend.has_display() && !std::getenv("LUMOVIEW_READY_FD")) {
    std::fprintf(stderr, "lumoview: no display and no web view: ending\n");
    return 2;
  }
  tell_ready();

  const long long started = now_ms();
  long long idle_since = -1;
  long long closing_since = 0;
  Loop loop;
  loop.on_command = [&](int client, const unsigned char* bytes, uint32_t size,
                        const unsigned char* block, uint32_t block_bytes) {
    frontend.set_requester(client);
    return server.handle(client, bytes, size, block, block_bytes);
  };
  loop.on_gone = [&](int client) { server.client_gone(client); };
  loop.answer = [&]() -> const std::string& { return server.answer(); };
  loop.on_early_reply = [&](int client, const unsigned char* bytes, uint32_t size, int32_t* reply,
                            const unsigned char* block, uint32_t block_bytes) {
    return server.early_reply(client, bytes, size, reply, block, block_bytes);
  };
  loop.on_spare = [&] { return server.draw_pending(); };
  loop.holding = [&](int client) { return server.holding(client); };
  loop.waits = [&](int client, const unsigned char* bytes, uint32_t size, const unsigned char* args) {
    return server.command_waits(client, bytes, size, args);
  };
  loop.on_slice = [&] { return server.continue_work(); };
  loop.held_reply = [&](int client, int32_t reply) { return server.held_reply(client, reply); };
  loop.on_posted = [&](int client, const unsigned char* bytes, uint32_t size, unsigned char* block) {
    server.draw_posted(client, bytes, size, block);
  };
  loop.on_posted_pixel = [&](int client, int window_code, int32_t x, int32_t y, int32_t colour) {
    return server.draw_posted_pixel(client, window_code, {x, y}, colour);
  };
  loop.may_post = [&](int client) { return server.may_post(client); };
  loop.windows_gone = [&] { return server.windows_gone(); };
  loop.window_bits = [&] { return server.window_bits(); };
  loop.on_block_lost = [&](unsigned char* base) { server.block_lost(base); };
  loop.finding_block = [&] { return server.server_block(); };
  loop.extra_fd = frontend.event_fd();
  loop.on_extra = [&] {
    server.flush_pending();
    frontend.pump();
  };
  if (web) loop.wake_fd = web->wake_fd();
  auto idle_step = [&]() -> int {
    if (web) web->serve(server);
    server.flush_pending();
    frontend.pump();
    frontend.flush();
    // Stopped: once the pictures in hand are written and the programs that
    // wait for them answered.
    if (g_stop) return server.saving_pictures() ? kTickMs : -1;
    const long long now = now_ms();
    if (server.active_links() > 0 || server.saving_pictures()) {
      idle_since = -1;
      return kTickMs * 4;
    }
    // Nobody linked yet: the server waits for a while, or as long as a
    // browser watches it.
    if (!server.ever_linked()) {
      return now - started > first_link && !(web && web->viewers() > 0) ? -1 : kTickMs * 4;
    }
    if (idle_since < 0) {
      idle_since = now;
      if (!frontend.has_display()) server.save_pictures(false);  // waited for at the end
    }
    // Headless: nobody can look at the windows, so the server goes once no
    // program has used it for the grace period.  With a display it stays
    // while windows are shown (hidden ones keep nobody waiting); with the
    // web view while a browser watches them, or for a while after the last
    // program or browser went.
    bool watched = frontend.has_display();
    if (web && !watched) {
      long long quiet = now - idle_since;
      const long long left = web->ms_since_last_viewer();
      if (left >= 0 && left < quiet) quiet = left;
      watched = web->viewers() > 0 || quiet < web_linger;
    }
    const bool windows_shown = watched && server.shown_window_count() > 0;
    if (!windows_shown && now - idle_since >= grace) {
      // First no longer waiting, then, after a moment for a program that
      // found it waiting just before (it is sent elsewhere), gone.
      if (!server.closing()) {
        server.begin_closing();
        closing_since = now;
      }
      if (now - closing_since >= Server::kClosingDrainMs) return -1;
    }
    return kTickMs;
  };
  loop.on_idle = [&]() -> int {
    const int timeout = idle_step();
    if (timeout >= 0 && web && web->behind()) return std::min(timeout, kTickMs);
    return timeout >= 0 && frontend.behind() ? std::min(timeout, 5) : timeout;
  };
  host.serve(loop);
  if (web) web->stop();

  server.flush_pending();  // the trace and the pictures show every command
  if (!frontend.has_display()) server.save_pictures();
  if (trace && trace != stderr) std::fclose(trace);
  host.shutdown();
  return 0;
}
