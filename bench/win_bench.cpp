// The Windows transport benchmark, run under wine64 (scripts/run-bench.sh):
// through the real library and a real lumoview.exe, an answered command
// (LmDevWindowOp), a posted one (LmDevMoveTo) and 100-pixel lines (LmLine)
// against lumoview.exe's own GDI canvas drawing the same lines in this
// process; once through the shared-memory channel and once through
// WM_COPYDATA alone (a server started with LUMOVIEW_CHANNEL=0).
//
//   win_bench            both, and the goals
//   win_bench --one      one run with the server the environment gives
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/win32_counts.h"
#include "include/lumo.h"
#include "server/canvas/gdi_canvas.h"

namespace {

double now_us() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart * 1e6 / frequency.QuadPart;
}

struct Stats {
  double median, p99;
};

Stats stats_of(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v[v.size() * 99 / 100]};
}

void draw_lines(int lines) {
  for (int i = 0; i < lines; ++i) {
    const int x = i % 600, y = (i * 7) % 400;
    LmLine(static_cast<float>(x), static_cast<float>(y), static_cast<float>(x + 80),
           static_cast<float>(y + 60));
  }
}

double own_rate(int lines) {
  lumo::server::GdiCanvas canvas(800, 600, {255, 255, 255});
  lumo::server::Pen pen;
  pen.colour = {30, 70, 200};
  const double t = now_us();
  for (int i = 0; i < lines; ++i) {
    const int x = i % 600, y = (i * 7) % 400;
    canvas.line(pen, {x, y}, {x + 80, y + 60});
  }
  return lines / ((now_us() - t) / 1e6);
}

double own_cpu_us() {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
  auto us = [](FILETIME f) { return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 10; };
  return us(kernel) + us(user);
}

namespace wc = lumo::win32_channel;

// The counts of waits and wake-ups of the server this run started (it keeps
// them with LUMOVIEW_COUNTS=1, its processor time among them); zeros from
// any other server.
struct ServerView {
  const wc::ServerCounts* counts = nullptr;
  wc::ServerCounts none{};

  ServerView() {
    HWND server = FindWindowExA(HWND_MESSAGE, nullptr, "LumoViewServer", nullptr);
    DWORD id = 0;
    if (server) GetWindowThreadProcessId(server, &id);
    char name[64];
    std::snprintf(name, sizeof name, "%s%lu", wc::kCountsName, static_cast<unsigned long>(id));
    HANDLE mapping = id ? OpenFileMappingA(FILE_MAP_READ, FALSE, name) : nullptr;
    if (mapping) {
      counts = static_cast<const wc::ServerCounts*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof *counts));
      CloseHandle(mapping);
    }
  }
  const wc::ServerCounts& now() const { return counts ? *counts : none; }
};

// Both sides at a moment: the clock, the program's processor time, and the
// waits and wake-ups of each side so far (the server's processor time as
// of its last answer: take it right after an answered command).
struct Snapshot {
  double wall, program_cpu;
  wc::ProgramCounts program;
  wc::ServerCounts server;
  static Snapshot take(const ServerView& view) {
    return {now_us(), own_cpu_us(), lumo::platform::channel_counts(), view.now()};
  }
};

std::string round_line(int round, double rate, double own, const Snapshot& a, const Snapshot& b) {
  const double wall = b.wall - a.wall;
  char text[320];
  std::snprintf(text, sizeof text,
                "round %2d %4.0f/%4.0f  program slept: answer %u room %u, timed out %u, wakes sent %u;  server: "
                "sleeps %u (second look %u, long %u), woke answer %u room %u, paints %u, serving %.0f%%, "
                "%u looks at messages %.0f%%\n",
                round, rate / 1000, own / 1000, b.program.answers_slept - a.program.answers_slept,
                b.program.room_slept - a.program.room_slept, b.program.waits_timed_out - a.program.waits_timed_out,
                b.program.wakes_sent - a.program.wakes_sent, b.server.sleeps - a.server.sleeps,
                b.server.second_looks - a.server.second_looks, b.server.long_sleeps - a.server.long_sleeps,
                b.server.answer_wakes - a.server.answer_wakes, b.server.room_wakes - a.server.room_wakes,
                b.server.paints - a.server.paints, 100 * (b.server.serving_us - a.server.serving_us) / wall,
                b.server.looks - a.server.looks, 100 * (b.server.messages_us - a.server.messages_us) / wall);
  return text;
}

// One run: prints a line per line round, "cpu" and "waits" lines, then
// "rounds ...", "median RATIO", "answered MEDIAN P99", "posted MEDIAN P99",
// "lines RATE OWN".
int one_run() {
  // A server this run starts keeps its counts where the rounds read them.
  SetEnvironmentVariableA("LUMOVIEW_COUNTS", "1");
  const int w = LmOpenEx(0, 800, 600, -1, -1, -1, "Benchmark");
  if (!w) return 1;
  LmSetWorld(0, 0, 0, 0);
  const ServerView server;
  const Snapshot start = Snapshot::take(server);
  const int calls = 20000;
  std::vector<double> us(calls);
  for (int i = 0; i < calls; ++i) {
    const double t = now_us();
    LmDevWindowOp(w);
    us[static_cast<size_t>(i)] = now_us() - t;
  }
  const Stats answered = stats_of(us);
  const Snapshot after_answered = Snapshot::take(server);
  for (int i = 0; i < calls; ++i) {
    const double t = now_us();
    LmDevMoveTo(w, i & 1, 0);
    us[static_cast<size_t>(i)] = now_us() - t;
  }
  const Stats posted = stats_of(us);
  LmSetPen(LmRgb(30, 70, 200), 0, 1, 4);
  LmDevWindowOp(w);
  const Snapshot before_lines = Snapshot::take(server);
  // Short alternating rounds: each round's ratio of the library's rate to
  // the canvas's own, and the median of them (the fastest of each side too).
  const int lines = 5000, rounds = 15;
  double best = 0, best_own = 0, wall = 0, program_cpu = 0, server_cpu = 0;
  std::vector<double> ratios;
  std::string each, detail;
  for (int round = 0; round < rounds; ++round) {
    const Snapshot before = Snapshot::take(server);
    draw_lines(lines);
    LmGetPixel(0, 0);  // the drawing is done when a query is answered
    const Snapshot after = Snapshot::take(server);
    const double rate = lines / ((after.wall - before.wall) / 1e6), own = own_rate(lines);
    wall += after.wall - before.wall;
    program_cpu += after.program_cpu - before.program_cpu;
    server_cpu += static_cast<double>(after.server.cpu_us - before.server.cpu_us);
    detail += round_line(round, rate, own, before, after);
    best = std::max(best, rate);
    best_own = std::max(best_own, own);
    ratios.push_back(rate / own);
    char text[48];
    std::snprintf(text, sizeof text, " %.0f/%.0f", rate / 1000, own / 1000);
    each += text;
  }
  const Snapshot end = Snapshot::take(server);
  std::sort(ratios.begin(), ratios.end());
  // No window left: the server ends after its grace time (it holds this
  // program's output handles while it runs).
  LmClose(w);
  LmQuitEx(0);
  std::printf("%s", detail.c_str());
  // Processor time over the library's rounds (the clocks tick too coarsely
  // for a round of its own), and the waits that ran to their limit, which a
  // lost wake-up would show.
  std::printf("cpu over the library's rounds (%.0f ms): program %.0f%%, server %.0f%%%s\n", wall / 1000,
              100 * program_cpu / wall, 100 * server_cpu / wall, server.counts ? "" : " (not kept by this server)");
  std::printf("waits run to their limit: %u in the answered calls, %u in the posted, %u in the line rounds\n",
              after_answered.program.waits_timed_out - start.program.waits_timed_out,
              before_lines.program.waits_timed_out - after_answered.program.waits_timed_out,
              end.program.waits_timed_out - before_lines.program.waits_timed_out);
  std::printf("rounds%s\nmedian %.3f\nanswered %.2f %.2f\nposted %.2f %.2f\nlines %.0f %.0f\n", each.c_str(),
              ratios[ratios.size() / 2], answered.median, answered.p99, posted.median, posted.p99, best, best_own);
  return 0;
}

struct Run {
  double answered = 0, answered_p99 = 0, posted = 0, posted_p99 = 0, lines = 0, own = 0, median = 0;
  std::string rounds, detail;  // the ratio's rounds; each round's waits, the processor time
  bool ok = false;
};

Run run_child(const char* self, bool channel) {
  SetEnvironmentVariableA("LUMOVIEW_CHANNEL", channel ? nullptr : "0");
  std::string command = std::string("\"") + self + "\" --one";
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read_end, write_end;
  Run r;
  if (!CreatePipe(&read_end, &write_end, &sa, 0)) return r;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(read_end);
    CloseHandle(write_end);
    return r;
  }
  CloseHandle(write_end);
  std::string out;
  char buffer[512];
  DWORD n;
  // Read until the last line: the server the run started may hold the
  // pipe a little longer.
  while (out.find("lines ") == std::string::npos || out.back() != '\n') {
    if (!ReadFile(read_end, buffer, sizeof buffer, &n, nullptr) || n == 0) break;
    out.append(buffer, n);
  }
  CloseHandle(read_end);
  WaitForSingleObject(pi.hProcess, 60000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  out.insert(0, "\n");
  const size_t from = out.find("\nrounds "), to = out.find('\n', from + 1), rest = out.find("\nmedian ");
  if (from != std::string::npos && to != std::string::npos) {
    r.rounds = out.substr(from + 7, to - from - 7);
    r.detail = out.substr(1, from);
  }
  r.ok = rest != std::string::npos &&
         std::sscanf(out.c_str() + rest + 1, "median %lf answered %lf %lf posted %lf %lf lines %lf %lf", &r.median,
                     &r.answered, &r.answered_p99, &r.posted, &r.posted_p99, &r.lines, &r.own) == 7;
  // The server of that run ends after its grace time; the next one is new.
  Sleep(2500);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--one") == 0) return one_run();
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const Run channel = run_child(self, true);
  const Run copydata = run_child(self, false);
  if (!channel.ok || !copydata.ok) {
    std::fprintf(stderr, "win_bench: a run failed\n");
    return 1;
  }
  std::printf("Lumo transport benchmark, Windows build under this system (Wine or Windows)\n\n");
  std::printf("| measure                                   |    channel | WM_COPYDATA |\n");
  std::printf("|-------------------------------------------|------------|-------------|\n");
  std::printf("| LmDevWindowOp answered, median (us)       | %10.2f | %11.2f |\n", channel.answered, copydata.answered);
  std::printf("| LmDevWindowOp answered, p99 (us)          | %10.2f | %11.2f |\n", channel.answered_p99, copydata.answered_p99);
  std::printf("| LmDevMoveTo posted, median (us)           | %10.2f | %11.2f |\n", channel.posted, copydata.posted);
  std::printf("| LmDevMoveTo posted, p99 (us)              | %10.2f | %11.2f |\n", channel.posted_p99, copydata.posted_p99);
  std::printf("| LmLine, 100-pixel lines per second (best) | %10.0f | %11.0f |\n", channel.lines, copydata.lines);
  std::printf("| the GDI canvas's own rate (best)          | %10.0f | %11.0f |\n", channel.own, copydata.own);
  std::printf("\nLmLine rounds through the channel, alternating (library/GDI canvas, thousand lines per second):\n "
              "%s\n  median of the rounds' ratios: %.2f (fastest rounds: %.2f)\n",
              channel.rounds.c_str(), channel.median, channel.lines / channel.own);
  std::printf("\nThe same rounds, each side's waits and wake-ups, and the server's time serving the channels and\n"
              "looking at its messages (painting among them):\n%s",
              channel.detail.c_str());
  const double ratio = channel.median;
  std::printf("\nGoals\n");
  std::printf("  answered round trip        = %6.2f us (goal <= 10)   %s\n", channel.answered,
              channel.answered <= 10 ? "met" : "MISSED");
  std::printf("  LmLine / GDI's own rate, median of rounds = %6.2f (goal >= 0.5)  %s\n", ratio, ratio >= 0.5 ? "met" : "MISSED");
  std::printf("  WM_COPYDATA path measured  = %6.2f us answered, %.0f lines/s\n", copydata.answered, copydata.lines);
  return 0;
}
