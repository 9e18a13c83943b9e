// The Win32 backend.  ANSI functions throughout.
#include <conio.h>
#include <windows.h>

#include <new>

#include "common/channel_ring.h"
#include "common/win32_channel.h"
#include "common/win32_counts.h"
#include "lib/platform/platform.h"

namespace lumo::platform {

// ---- Named shared blocks ----------------------------------------------------

void* open_shared_block(const char* name, size_t* size) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, TRUE, name);
  if (!mapping) return nullptr;
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  // The view keeps the mapping alive; the handle is never used again.
  CloseHandle(mapping);
  if (view && size) {
    MEMORY_BASIC_INFORMATION info;
    *size = VirtualQuery(view, &info, sizeof info) ? info.RegionSize : 0;
  }
  return view;
}

bool release_shared_block(void* view) { return UnmapViewOfFile(view) != 0; }

// ---- The server window ------------------------------------------------------
// Commands travel through a channel in shared memory (common/channel.h,
// common/win32_channel.h) offered to the server at the first command; a
// server that declines it is sent WM_COPYDATA, as any server understands.

namespace {

using channel::Channel;
namespace wc = win32_channel;

HWND g_channel_server = nullptr;  // the server the channel was offered to
bool g_offered = false;            // an offer was made to g_channel_server
Channel* g_channel = nullptr;
HANDLE g_mapping = nullptr;
HANDLE g_reply_event = nullptr;
HANDLE g_room_event = nullptr;
bool g_posting = false;
channel::RingWriter g_ring;  // the program's side of the posting ring
// The last command's answer waits in the channel (last_answer).
bool g_answered = false;
const unsigned char* g_attached = nullptr;
LONGLONG g_spin_ticks = -1;  // how long to spin for a reply, in performance-counter ticks
LONGLONG g_tick_hz = 0;
// The server's process, watched while the program posts: a server that has
// died answers nothing, and posting alone would never notice.
HANDLE g_server_process = nullptr;
DWORD g_process_looked = 0;  // GetTickCount() when it was last looked at
constexpr DWORD kProcessLookMs = 5;
constexpr LONGLONG kRoomYieldMs = 3;
wc::ProgramCounts g_counts;

void close_channel() {
  if (g_channel) UnmapViewOfFile(g_channel);
  if (g_mapping) CloseHandle(g_mapping);
  if (g_reply_event) CloseHandle(g_reply_event);
  if (g_room_event) CloseHandle(g_room_event);
  if (g_server_process) CloseHandle(g_server_process);
  g_channel = nullptr;
  g_mapping = g_reply_event = g_room_event = g_server_process = nullptr;
  g_posting = false;
}

LONGLONG now_ticks() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

bool wm_copydata(HWND window, DWORD kind, const void* data, DWORD size, int32_t* reply) {
  COPYDATASTRUCT cds;
  cds.dwData = kind;
  cds.cbData = size;
  cds.lpData = const_cast<void*>(data);
  *reply = static_cast<int32_t>(SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)));
  return true;
}

// Offers a channel to the server; false leaves the program on WM_COPYDATA.
bool open_channel(HWND server) {
  static unsigned serial = 0;
  // LUMO_CHANNEL=0 keeps this program on WM_COPYDATA, as a server that
  // takes no channel serves it: for comparing the two paths.
  char use[4];
  if (GetEnvironmentVariableA("LUMO_CHANNEL", use, sizeof use) == 1 && use[0] == '0') return false;
  wc::Offer offer{};
  offer.process_id = GetCurrentProcessId();
  wsprintfA(offer.mapping, "Local\\LumoChannel-%lu-%lu-%u", static_cast<unsigned long>(offer.process_id),
            static_cast<unsigned long>(GetTickCount()), ++serial);
  char name[sizeof offer.mapping + 8];
  g_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Channel),
                                 offer.mapping);
  if (g_mapping && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(g_mapping);  // somebody else's: not ours to use
    g_mapping = nullptr;
  }
  void* view = g_mapping ? MapViewOfFile(g_mapping, FILE_MAP_WRITE, 0, 0, sizeof(Channel)) : nullptr;
  wsprintfA(name, "%s.reply", offer.mapping);
  g_reply_event = CreateEventA(nullptr, FALSE, FALSE, name);
  wsprintfA(name, "%s.room", offer.mapping);
  g_room_event = CreateEventA(nullptr, FALSE, FALSE, name);
  if (!view || !g_reply_event || !g_room_event) {
    if (view) UnmapViewOfFile(view);
    close_channel();
    return false;
  }
  Channel* ch = new (view) Channel();
  char post[4];
  // LUMO_POST=0 keeps every command answered: the slower path, for
  // comparing the two and for finding a fault in the fast one.
  const DWORD n = GetEnvironmentVariableA("LUMO_POST", post, sizeof post);
  if (!(n == 1 && post[0] == '0')) ch->post_offer = channel::kPostOffer;
  // The server says what concerns this program on its standard error (a
  // program without one, such as a GUI program, hands none over).
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err && err != INVALID_HANDLE_VALUE && GetFileType(err) != FILE_TYPE_UNKNOWN) {
    ch->answer.error_handle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(err));
  }
  int32_t answer = 0;
  wm_copydata(server, wc::kOfferKind, &offer, sizeof offer, &answer);
  if (answer != 1) {
    UnmapViewOfFile(view);
    close_channel();
    return false;
  }
  g_channel = ch;
  g_posting = ch->post_accepted == 1;
  DWORD server_id = 0;
  GetWindowThreadProcessId(server, &server_id);
  g_server_process = server_id ? OpenProcess(SYNCHRONIZE, FALSE, server_id) : nullptr;
  g_process_looked = GetTickCount();
  g_ring.reset(ch->taken.load(std::memory_order_acquire), ch->pixel_records == channel::kPixelRecords,
               ch->block_records == channel::kBlockRecords);
  if (g_tick_hz == 0) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    g_tick_hz = f.QuadPart;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  // On one core spinning only delays the server.
  if (g_spin_ticks < 0) g_spin_ticks = info.dwNumberOfProcessors > 1 ? g_tick_hz / 50000 : 0;  // 20 us
  return true;
}

// The channel for commands to `server`, offered once per server.
Channel* channel_for(HWND server) {
  if (g_channel_server != server) {
    close_channel();
    g_channel_server = server;
    g_offered = false;
  }
  if (!g_offered) {
    g_offered = true;
    open_channel(server);
  }
  return g_channel;
}

// A sleeping server is woken once: the flag is taken down with the message.
// False when the server's window has gone.
bool wake_server(Channel* ch, std::memory_order order) {
  if (ch->server_sleeping.load(order) && ch->server_sleeping.exchange(0, std::memory_order_seq_cst)) {
    ++g_counts.wakes_sent;
    return PostMessageA(g_channel_server, wc::kWakeMessage, 0, 0) || IsWindow(g_channel_server);
  }
  return true;
}

// Whether the server still runs, looked at every few milliseconds at most
// (a posting program calls this per command; the clock is a memory read).
bool server_alive_lately() {
  const DWORD now = GetTickCount();
  if (!g_server_process || now - g_process_looked < kProcessLookMs) return true;
  g_process_looked = now;
  return WaitForSingleObject(g_server_process, 0) == WAIT_TIMEOUT;
}

// Waits until `done` holds: spins (for a reply) for the spin time, then
// waits on `event` with `sleeping` raised, looking now and then whether the
// server's window is still there.  False when it has gone.
template <typename Done>
bool wait_for(HANDLE event, std::atomic<uint32_t>* sleeping, Done done, bool for_reply) {
  const LONGLONG start = now_ticks();
  int spins = 0;
  while (for_reply && !done()) {
    YieldProcessor();
    if (++spins % 64 == 0 && now_ticks() - start > g_spin_ticks) break;
  }
  // Room comes back as the server draws (half the ring in a millisecond or
  // so): on more than one processor the program yields meanwhile, for a
  // few milliseconds, instead of sleeping on the event the server would
  // then have to set in the middle of its drawing (a call to the window
  // system, slow to be answered when the machine is busy).
  while (!for_reply && g_spin_ticks != 0 && !done() && now_ticks() - start < kRoomYieldMs * g_tick_hz / 1000) {
    SwitchToThread();
  }
  if (!done()) ++(for_reply ? g_counts.answers_slept : g_counts.room_slept);
  while (!done()) {
    sleeping->store(1, std::memory_order_seq_cst);
    if (!done() && WaitForSingleObject(event, wc::kLivenessMs) == WAIT_TIMEOUT) {
      ++g_counts.waits_timed_out;
      if (!done() && !IsWindow(g_channel_server)) {
        sleeping->store(0, std::memory_order_relaxed);
        return false;
      }
    }
    sleeping->store(0, std::memory_order_relaxed);
  }
  // Spin about twice as long as the server has lately taken, 5 to 100 us.
  if (for_reply) {
    g_spin_ticks = channel::adapted_spin(g_spin_ticks, now_ticks() - start, g_tick_hz / 200000,
                                         g_tick_hz / 10000);
  }
  return true;
}

bool channel_round_trip(Channel* ch, const CopyData* record, int32_t* reply) {
  ch->kind = static_cast<uint32_t>(record->kind);
  ch->size = record->size;
  CopyMemory(ch->command, record->data, record->size);
  const uint32_t extent =
      g_attached && record->size >= 1
          ? static_cast<uint32_t>(wire::sent_block_extent(*static_cast<const char*>(record->data), g_attached))
          : 0;
  if (extent) CopyMemory(ch->block + wire::kArg1, g_attached + wire::kArg1, extent - wire::kArg1);
  ch->block_bytes = extent;
  g_attached = nullptr;
  const uint32_t seq = ch->request.load(std::memory_order_relaxed) + 1;
  ch->request.store(seq, std::memory_order_seq_cst);
  if (!wake_server(ch, std::memory_order_seq_cst)) return false;
  if (!wait_for(g_reply_event, &ch->client_sleeping,
                [&] { return ch->reply_seq.load(std::memory_order_acquire) == seq; }, true)) {
    return false;
  }
  *reply = ch->reply;
  g_answered = ch->answer.answers_kept == channel::kAnswersKept && ch->answer.answer_for == seq;
  return true;
}

}  // namespace

const wc::ProgramCounts& channel_counts() { return g_counts; }

bool server_window_exists(ServerWindow window) {
  return window != 0 && IsWindow(reinterpret_cast<HWND>(window)) != 0;
}

// With a channel the round trip itself notices a server that has gone
// (asking the window system every time would cost more than the command).
bool ready_for_command(ServerWindow window) {
  if (g_channel && g_channel_server == reinterpret_cast<HWND>(window)) return true;
  return server_window_exists(window);
}

void attach_block(const unsigned char* view) { g_attached = view; }

bool last_answer(char* out, size_t size) {
  return g_answered && g_channel && channel::copy_answer(*g_channel, out, size);
}

bool send_copy_data(ServerWindow window, const CopyData* record, int32_t* reply) {
  g_answered = false;
  HWND server = reinterpret_cast<HWND>(window);
  if (record->size <= channel::kMaxCommand) {
    if (Channel* ch = channel_for(server)) {
      if (channel_round_trip(ch, record, reply)) return true;
      close_channel();
      return false;
    }
  }
  g_attached = nullptr;
  return wm_copydata(server, static_cast<DWORD>(record->kind), record->data, record->size, reply);
}

Posted post_command(ServerWindow window, const CopyData* record, const unsigned char* block,
                    size_t block_bytes) {
  Channel* ch = g_channel_server == reinterpret_cast<HWND>(window) ? g_channel : nullptr;
  const unsigned char* command = record ? static_cast<const unsigned char*>(record->data) : nullptr;
  if (!ch || !g_posting || !record || !g_ring.takes(command[0]) ||
      !channel::RingWriter::may_post(ch, command, record->size, static_cast<uint32_t>(block_bytes))) {
    return Posted::kSendInstead;
  }
  if (!g_ring.post(ch, command, block, static_cast<uint32_t>(block_bytes), [&](auto half_free) {
        return wait_for(g_room_event, &ch->space_sleeping, half_free, false);
      })) {
    close_channel();
    return Posted::kGone;
  }
  if (!wake_server(ch, std::memory_order_relaxed) || !server_alive_lately()) {
    close_channel();
    return Posted::kGone;
  }
  return Posted::kPosted;
}

Posted post_pixel(ServerWindow window, unsigned char window_code, const unsigned char* head, int32_t x,
                  int32_t y, int32_t colour) {
  Channel* ch = g_channel_server == reinterpret_cast<HWND>(window) ? g_channel : nullptr;
  const unsigned char command[wire::kWindowCommandLength] = {static_cast<unsigned char>(wire::kCmdDraw),
                                                             window_code, 0};
  if (!ch || !g_posting || !channel::RingWriter::may_post(ch, command, sizeof command, wire::kDataArea)) {
    return Posted::kSendInstead;
  }
  const int posted = g_ring.post_pixel(ch, window_code, head, x, y, colour, [&](auto half_free) {
    return wait_for(g_room_event, &ch->space_sleeping, half_free, false);
  });
  if (posted == 0) return Posted::kSendInstead;
  if (posted < 0 || !wake_server(ch, std::memory_order_relaxed) || !server_alive_lately()) {
    close_channel();
    return Posted::kGone;
  }
  return Posted::kPosted;
}

// ---- Reporting --------------------------------------------------------------

unsigned long last_error() { return GetLastError(); }

int message_box(const char* text, unsigned style) {
  return MessageBoxA(nullptr, text, nullptr, style);
}

// ---- The program and its environment ----------------------------------------

bool module_path(char* out, size_t size) {
  const DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
  if (n == 0 || n >= size) {
    if (size) out[0] = '\0';
    return false;
  }
  return true;
}

const char* command_line() { return GetCommandLineA(); }

bool current_directory(char* out, size_t size) {
  const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), out);
  if (n == 0 || n >= size) {
    if (size) out[0] = '\0';
    return false;
  }
  return true;
}

bool get_env(const char* name, char* out, size_t size) {
  const DWORD n = GetEnvironmentVariableA(name, out, static_cast<DWORD>(size));
  if (n == 0 || n >= size) {
    if (size) out[0] = '\0';
    return false;
  }
  return true;
}

const char* installed_server_dir() { return ""; }  // the kit travels as a folder

bool file_exists(const char* path) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(path, &found);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return true;
}

bool own_file_is_pe() { return true; }

int32_t ansi_code_page() {
  const UINT cp = GetACP();
  return IsValidCodePage(cp) ? static_cast<int32_t>(cp) : 1252;
}

// ---- Reading a file ---------------------------------------------------------

File file_open_read(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<File>(h);
}

bool file_read(File file, void* buffer, unsigned long count, unsigned long* got) {
  DWORD n = 0;
  const BOOL ok = ReadFile(reinterpret_cast<HANDLE>(file), buffer, count, &n, nullptr);
  *got = n;
  return ok != 0;
}

bool file_seek(File file, unsigned long offset) {
  return SetFilePointer(reinterpret_cast<HANDLE>(file), static_cast<LONG>(offset), nullptr,
                        FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

void file_close(File file) {
  if (file != kNoFile) CloseHandle(reinterpret_cast<HANDLE>(file));
}

// ---- Starting the server ----------------------------------------------------
// A hidden starter window starts the server while it is being created and is
// destroyed before its creation returns; its short message loop is the only
// one the library ever runs.

namespace {

constexpr char kStarterClass[] = "LumoView";
constexpr char kStarterTitle[] = "Graphics Window";
constexpr DWORD kReadyWaitMs = 60000;

LocateFn g_locate = nullptr;
bool g_destroyed = false;
char g_switches[256];

LRESULT CALLBACK starter_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: {
      STARTUPINFOA startup;
      ZeroMemory(&startup, sizeof startup);
      startup.cb = sizeof startup;  // 68 in the 32-bit kit
      PROCESS_INFORMATION process;
      ZeroMemory(&process, sizeof process);
      if (!CreateProcessA(g_locate(kServerFile), g_switches, nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        DestroyWindow(window);
        return 0;
      }
      const LRESULT result = WaitForInputIdle(process.hProcess, kReadyWaitMs) == 0 ? 0 : -1;
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      DestroyWindow(window);
      return result;
    }
    case WM_DESTROY:
      g_destroyed = true;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

}  // namespace

void launch_server(LocateFn locate, const char* switches) {
  g_locate = locate;
  g_destroyed = false;
  lstrcpynA(g_switches, switches ? switches : "", sizeof g_switches);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = starter_window_proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kStarterClass;
  // The class stays registered; a second start in the same process reuses it.
  if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
  HWND window = CreateWindowExA(0, kStarterClass, kStarterTitle, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, instance, nullptr);
  if (window && IsWindow(window)) {
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
  }
  // No window ever existed: no quit message will come.
  if (!window && !g_destroyed) return;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// ---- The screen -------------------------------------------------------------

bool screen_size(int32_t* width, int32_t* height) {
  HDC dc = GetDC(nullptr);
  if (!dc) {
    *width = kDefaultScreenWidth;
    *height = kDefaultScreenHeight;
    return false;
  }
  *width = GetDeviceCaps(dc, HORZRES);
  *height = GetDeviceCaps(dc, VERTRES);
  ReleaseDC(nullptr, dc);
  return true;
}

// ---- Console keys -----------------------------------------------------------

int key_hit() { return _kbhit(); }

void sleep_ms(int ms) { Sleep(static_cast<DWORD>(ms)); }

int get_key(bool echo) { return echo ? _getche() : _getch(); }

// The Windows console echoes nothing between _getch calls.
void console_link(bool) {}

// ---- System colours ---------------------------------------------------------

int32_t system_colour(int n) {
  return n >= 0 && n < kSystemColours ? static_cast<int32_t>(GetSysColor(n)) : -999;
}

}  // namespace lumo::platform
