// lumoview.exe: the graphics window server for Windows.  The same core as on
// Linux; named mappings for the blocks, a hidden server window that takes
// WM_COPYDATA, GDI windows showing each picture, the system's dialogs.
// Its windows are in frontend/win32_frontend.cpp, its programs' channels
// in host/win32_channels.cpp.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/run_settings.h"
#include "common/win32_channel.h"
#include "server/canvas/gdi_canvas.h"
#include "server/core/server.h"
#include "server/frontend/win32_frontend.h"
#include "server/host/win32_channels.h"
#include "server/main_win32.h"

using namespace lumo::server;

HINSTANCE g_instance;
HWND g_server_window;
Server* g_server;
long long g_painting_ticks = 0;

namespace {

namespace wc = lumo::win32_channel;

constexpr char kServerClass[] = "LumoViewServer";
constexpr UINT_PTR kTimer = 1;
constexpr UINT kTickMs = 100;
constexpr int kDefaultGraceMs = 1500;    // without programs or windows this long, the server ends
constexpr int kFirstLinkWaitMs = 60000;  // a server no program links in this time ends
constexpr double kSliceSeconds = 0.02;   // long drawing goes in slices of about this long

int g_idle_ms = 0;
int g_unlinked_ms = 0;
int g_grace_ms = kDefaultGraceMs;
int g_first_link_ms = kFirstLinkWaitMs;

// A setting's text: "" when it is not set, "(too long)" past 63 characters.
std::string env_text(const char* name) {
  char text[64];
  const DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
  if (n >= sizeof text) return "(too long)";
  return std::string(text, n);
}

int env_ms(const char* name, int fallback) {
  char text[32];
  const DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
  return n > 0 && n < sizeof text ? std::atoi(text) : fallback;
}

class Win32Host : public BlockHost {
 public:
  unsigned char* create_block(const std::string& name, size_t size) override {
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(size), name.c_str());
    if (!h) return nullptr;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(h);  // a live server holds this name
      return nullptr;
    }
    void* view = MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 0);
    if (!view) {
      CloseHandle(h);
      return nullptr;
    }
    std::memset(view, 0, size);
    blocks_[name] = {h, view};
    return static_cast<unsigned char*>(view);
  }
  void remove_block(const std::string& name) override {
    auto it = blocks_.find(name);
    if (it == blocks_.end()) return;
    UnmapViewOfFile(it->second.view);
    CloseHandle(it->second.handle);
    blocks_.erase(it);
  }
  long long window_handle() const override {
    return static_cast<long long>(reinterpret_cast<intptr_t>(g_server_window));
  }

 private:
  struct Block {
    HANDLE handle;
    void* view;
  };
  std::map<std::string, Block> blocks_;
};

LRESULT CALLBACK server_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    if (cds && cds->dwData == wc::kOfferKind && cds->lpData) return accept_offer(cds->lpData, cds->cbData);
    if (!g_server || !cds || cds->dwData != 1 || !cds->lpData) return 0;
    // The sender's window (0 from the library) tells programs apart.
    const int client = static_cast<int>(wp);
    const auto* bytes = static_cast<const unsigned char*>(cds->lpData);
    // A command that would change a window whose PNG is being written
    // waits for the file, the others served meanwhile.
    if (g_server->command_waits(client, bytes, cds->cbData)) serve_while_held(client);
    const LRESULT reply = g_server->handle(client, bytes, cds->cbData);
    // Its answer is the message's: long drawing it left is done first, the
    // others served meanwhile.
    serve_while_held(client);
    return g_server->held_reply(client, static_cast<int32_t>(reply));
  }
  if (msg == wc::kWakeMessage) return 0;  // the loop serves the channels after it
  if (msg == WM_TIMER && g_server) {
    drop_ended_programs();
    // A server no program ever links (one whose starter gave up on it, or
    // one started by hand and forgotten) ends after the first-link wait; a
    // used one once it has had no program and no window for the grace time.
    if (!g_server->ever_linked()) {
      g_unlinked_ms += static_cast<int>(kTickMs);
      if (g_unlinked_ms >= g_first_link_ms) PostQuitMessage(0);
      return 0;
    }
    const bool busy = g_server->active_links() > 0 || g_server->window_count() > 0;
    g_idle_ms = busy ? 0 : g_idle_ms + static_cast<int>(kTickMs);
    // First no longer waiting, then, after a moment for a program that
    // found it waiting just before (it is sent elsewhere), gone.
    if (g_idle_ms >= g_grace_ms && !g_server->closing()) g_server->begin_closing();
    if (g_idle_ms >= g_grace_ms + Server::kClosingDrainMs) PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// The command line: the switch words after the program's name.
std::vector<std::string> switch_words() {
  std::vector<std::string> words;
  const char* p = GetCommandLineA();
  bool quoted = false;
  while (*p && (quoted || *p != ' ')) {  // skip the program's name
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  std::string word;
  for (; *p; ++p) {
    if (*p == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += *p;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_instance = instance;
  Options options;
  options.key = static_cast<int>((GetCurrentProcessId() * 2654435761u ^ GetTickCount()) & 0x7FFFFFFF) | 1;
  // No command holds other programs up for longer than a slice or so.
  options.slice_seconds = kSliceSeconds;
  {
    // A later program is taken only with the same run settings
    // (common/run_settings.h).
    char folder[MAX_PATH];
    const DWORD got = GetCurrentDirectoryA(MAX_PATH, folder);
    options.settings_checked = true;
    options.settings = lumo::wire::run_settings_fingerprint(
        [](const char* name, char* out, size_t size) {
          const DWORD n = GetEnvironmentVariableA(name, out, static_cast<DWORD>(size));
          return n > 0 && n < size;
        },
        got > 0 && got < MAX_PATH ? folder : "");
  }
  char png_dir[MAX_PATH];
  if (GetEnvironmentVariableA("LUMOVIEW_PNG_DIR", png_dir, MAX_PATH) > 0) options.png_dir = png_dir;
  char events[MAX_PATH];
  if (GetEnvironmentVariableA("LUMOVIEW_EVENTS", events, MAX_PATH) > 0) options.events_path = events;
  // Settings refused before the server core exists: told to every program
  // that links (Server::refused_setting), as the core's own are.
  std::vector<std::string> refused;
  char figures[MAX_PATH + 32];
  if (GetEnvironmentVariableA("LUMOVIEW_SAVE", figures, sizeof figures) > 0) {
    std::string error;
    if (parse_figure_target(figures, &options.figure_dir, &options.figure_formats, &error)) {
      CreateDirectoryA(options.figure_dir.c_str(), nullptr);  // when it is not there yet
    } else {
      refused.push_back(std::string("LUMOVIEW_SAVE=") + figures + " is refused: " + error +
                        "; no figures are written");
    }
  }
  take_memory_settings(env_text, &options, &refused);
  // The Linux server's scales: said, not silently passed over.
  for (const char* name : {"LUMOVIEW_SCALE", "LUMOVIEW_PNG_SCALE"}) {
    const std::string scale = env_text(name);
    if (!scale.empty()) {
      refused.push_back(std::string(name) + "=" + scale +
                        " is not taken by lumoview.exe: its windows and PNG files keep the window's pixels");
    }
  }
  g_grace_ms = env_ms("LUMOVIEW_GRACE_MS", kDefaultGraceMs);
  g_first_link_ms = env_ms("LUMOVIEW_FIRST_LINK_MS", kFirstLinkWaitMs);
  const std::vector<std::string> words = switch_words();
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  if (!parse_switches(static_cast<int>(argv.size()), argv.data(), &options)) {
    refused.push_back("a switch has a malformed value; it is ignored");
  }

  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = server_proc;
  wc.hInstance = instance;
  wc.lpszClassName = kServerClass;
  RegisterClassA(&wc);
  wc.lpfnWndProc = window_proc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);
  g_server_window = CreateWindowExA(0, kServerClass, "lumoview", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, instance, nullptr);
  if (!g_server_window) return 2;

  Win32Host host;
  Win32Frontend frontend;
  GdiCanvasFactory canvases;
  Server server(host, frontend, canvases, options);
  server.tell_program = [](int client, const std::string& text) {
    auto it = g_tellers.find(client);
    if (it != g_tellers.end()) it->second->tell("lumoview: " + text);
  };
  server.teller = [](int client) -> std::function<void(const std::string&)> {
    auto it = g_tellers.find(client);
    if (it == g_tellers.end()) return nullptr;
    std::shared_ptr<Teller> kept = it->second;
    return [kept](const std::string& text) { kept->tell("lumoview: " + text); };
  };
  for (const std::string& text : refused) server.refused_setting(text);
  if (!server.start()) return 2;
  g_server = &server;
  SetTimer(g_server_window, kTimer, kTickMs, nullptr);

  char take[4];
  char counts[4];
  if (GetEnvironmentVariableA("LUMOVIEW_COUNTS", counts, sizeof counts) == 1 && counts[0] == '1') {
    char name[64];
    wsprintfA(name, "%s%lu", wc::kCountsName, static_cast<unsigned long>(GetCurrentProcessId()));
    // Kept for the server's life: the benchmark reads it while it runs.
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(wc::ServerCounts), name);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(wc::ServerCounts)) : nullptr;
    if (view) {
      g_counts = static_cast<wc::ServerCounts*>(view);
      g_counting = true;
    }
  }
  g_take_channels = !(GetEnvironmentVariableA("LUMOVIEW_CHANNEL", take, sizeof take) == 1 && take[0] == '0');
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  // Spin about 20 us after the last command before waiting (not on one core).
  const LONGLONG spin = system.dwNumberOfProcessors > 1 ? frequency.QuadPart / 50000 : 0;
  auto now = [] {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
  };
  auto micros = [&](LONGLONG ticks) { return static_cast<uint64_t>(ticks * 1000000 / frequency.QuadPart); };
  // While programs keep it busy the server looks at its messages every few
  // milliseconds only: each look is a call to the window system, dearer
  // than a command (under Wine a round trip to wineserver, which may take
  // a millisecond or more when the machine is busy): 2 ms apart, or forty
  // times as long as the last look took (painting aside), to 50 ms.
  const LONGLONG look_least = frequency.QuadPart / 500, look_most = frequency.QuadPart / 20;
  LONGLONG look_every = look_least;
  // Drawn windows are repainted a frame apart at most, and, since a paint
  // is the dearest of those calls (under Wine a copy of the picture to the X
  // server, milliseconds for a large window, made while painting and at the
  // next look), no sooner than nine times as long as the looks took since
  // the last repaint: the window system keeps to about a tenth of the
  // server's time however slow it is.  What a burst of drawing leaves is
  // painted when the next repaint is due, asleep or not.
  const LONGLONG frame = frequency.QuadPart / 60;
  // After waking a program that waits for room in its ring, or after
  // serving without a pause for a few milliseconds (a program flooding it,
  // whose next records are late only because the machine is busy), the
  // server stays awake a while, yielding, for what comes next: going to
  // sleep and being woken again takes calls to the window system on both
  // sides, slow to be answered when the machine is busy.
  const LONGLONG room_spin = frequency.QuadPart / 200;  // 5 ms
  const LONGLONG flood = frequency.QuadPart / 500, flood_spin = frequency.QuadPart / 500;  // 2 ms
  LONGLONG last = now(), looked = 0, paint_due = now(), room_woken_at = now() - room_spin;
  LONGLONG busy_from = now();  // the start of the present stretch of serving
  LONGLONG looking = 0;  // ticks spent looking at messages since the last repaint
  MSG msg;
  // Handles what is in the message queue; false at WM_QUIT.
  auto look = [&]() {
    const LONGLONG from = now();
    looked = from;
    g_painting_ticks = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return false;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    const LONGLONG after = now();
    g_counts->messages_us += micros(after - from);
    ++g_counts->looks;
    looking += after - from;
    look_every = std::clamp(40 * (after - from - g_painting_ticks), look_least, look_most);
    return true;
  };
  // A wake-up that brought the channels work needs no look of its own (the
  // next one every few milliseconds takes the wake-up message away); one
  // that brought none is looked at before the server sleeps again.
  bool woken = true;
  while (true) {
    const LONGLONG t = now();
    // Spinning for the next command counts as busy too.
    const bool spinning = !g_clients.empty() && t - last < spin;
    const bool awaiting_room =
        !g_clients.empty() && (t - room_woken_at < room_spin || (last - busy_from >= flood && t - last < flood_spin));
    if (t - looked >= look_every && !look()) break;
    if (t >= paint_due && frontend.has_drawn()) {
      paint_due = t + std::max(frame, 9 * looking);
      looking = 0;
      frontend.repaint_drawn();
    }
    g_room_woken = false;
    const LONGLONG served_from = now();
    const bool busy = serve_channels() > 0;
    const LONGLONG served = now();
    g_counts->serving_us += micros(served - served_from);
    if (g_room_woken) room_woken_at = served;
    if (busy) {
      // A pause longer than the stay after a flood ends a stretch.
      if (served_from - last > flood_spin) busy_from = served_from;
      last = served;
      continue;
    }
    if (woken) {
      woken = false;
      if (!look()) break;
      continue;
    }
    if (spinning) {
      YieldProcessor();
      continue;
    }
    if (awaiting_room) {
      SwitchToThread();
      continue;
    }
    // Asleep: flags up, one last look, then wait for a message; a record
    // published without a fence as the flags went up is found by a second
    // look a millisecond later.  Windows drawn and not yet repainted wake
    // the server when their repaint is due.
    set_sleeping(1);
    if (serve_channels() > 0) {
      set_sleeping(0);
      last = now();
      continue;
    }
    ++g_counts->sleeps;
    const LONGLONG slept_from = now();
    auto until_paint = [&]() -> DWORD {
      if (!frontend.has_drawn()) return INFINITE;
      const LONGLONG left = paint_due - now();
      return left <= 0 ? 0 : static_cast<DWORD>(left * 1000 / frequency.QuadPart + 1);
    };
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, g_clients.empty() ? until_paint() : 1, QS_ALLINPUT) ==
        WAIT_TIMEOUT) {
      ++g_counts->second_looks;
      if (serve_channels() == 0) {
        ++g_counts->long_sleeps;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, until_paint(), QS_ALLINPUT);
      }
    }
    g_counts->asleep_us += micros(now() - slept_from);
    woken = true;
    set_sleeping(0);
    last = now();
  }
  drop_ended_programs();
  g_clients.clear();
  server.save_pictures();
  // What is still queued for the programs is written before the server
  // ends, for half a second at most.
  const DWORD finish_by = GetTickCount() + 500;
  for (auto& entry : g_tellers) {
    const DWORD left = static_cast<DWORD>(finish_by - GetTickCount());
    entry.second->finish(left > 500 ? 0 : left);
  }
  g_tellers.clear();
  g_server = nullptr;
  return 0;
}
