// lumoview.exe's programs on a channel; see win32_channels.h.
#include "server/host/win32_channels.h"

#include <cstring>

#include "server/core/server.h"
#include "server/main_win32.h"

using namespace lumo::server;

namespace wc = lumo::win32_channel;
using lumo::channel::Channel;

std::vector<std::unique_ptr<ChannelClient>> g_clients;
std::map<int, std::shared_ptr<Teller>> g_tellers;
bool g_take_channels = true;
namespace {
lumo::win32_channel::ServerCounts g_unread_counts;
}
lumo::win32_channel::ServerCounts* g_counts = &g_unread_counts;
bool g_counting = false;
bool g_room_woken = false;

namespace {

std::vector<unsigned char> g_command(lumo::channel::kMaxCommand);
std::vector<unsigned char> g_block(lumo::wire::kWindowBlockSize);
std::vector<unsigned char> g_posted_block(lumo::wire::kWindowBlockSize);
uint32_t g_windows_gone_seen = 0;
bool g_in_command = false;    // a command (perhaps a dialog's own message loop) is running

constexpr uint32_t kRoundShareBytes = 4096;

}  // namespace

LRESULT accept_offer(const void* data, DWORD size) {
  if (!g_take_channels || !g_server || size != sizeof(wc::Offer)) return 0;
  wc::Offer offer;
  CopyMemory(&offer, data, sizeof offer);
  offer.mapping[sizeof offer.mapping - 1] = '\0';
  if (std::strncmp(offer.mapping, "Local\\LumoChannel-", 18) != 0 || offer.process_id == 0) return 0;
  auto c = std::make_unique<ChannelClient>();
  c->id = static_cast<int>(offer.process_id);
  for (const auto& other : g_clients) {
    if (other->id == c->id) return 0;  // one channel a program
  }
  char name[sizeof offer.mapping + 8];
  c->mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, offer.mapping);
  void* view = c->mapping ? MapViewOfFile(c->mapping, FILE_MAP_WRITE, 0, 0, sizeof(Channel)) : nullptr;
  MEMORY_BASIC_INFORMATION info;
  if (!view || !VirtualQuery(view, &info, sizeof info) || info.RegionSize < sizeof(Channel)) {
    if (view) UnmapViewOfFile(view);
    return 0;
  }
  c->ch = static_cast<Channel*>(view);
  wsprintfA(name, "%s.reply", offer.mapping);
  c->reply_event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
  wsprintfA(name, "%s.room", offer.mapping);
  c->room_event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
  c->process = OpenProcess(SYNCHRONIZE, FALSE, offer.process_id);
  if (!c->reply_event || !c->room_event || !c->process) return 0;
  Channel* ch = c->ch;
  // The program's standard error, taken out of its process for as long as
  // it takes to duplicate the handle.
  const uint64_t error_handle = ch->answer.error_handle;
  if (error_handle) {
    HANDLE program = OpenProcess(PROCESS_DUP_HANDLE, FALSE, offer.process_id);
    std::unique_ptr<Teller> teller = Teller::open(program, error_handle);
    if (program) CloseHandle(program);
    if (teller) {
      g_tellers[c->id] = std::move(teller);
    } else {
      g_tellers.erase(c->id);
    }
  }
  c->seen = ch->request.load(std::memory_order_acquire);
  c->ring.taken = c->ring.seen_posted = ch->posted.load(std::memory_order_acquire);
  ch->taken.store(c->ring.taken, std::memory_order_seq_cst);
  ch->answer.answers_kept = lumo::channel::kAnswersKept;
  c->posting = ch->post_offer == lumo::channel::kPostOffer;
  if (c->posting) {
    ch->windows.store(g_server->window_bits(), std::memory_order_seq_cst);
    ch->windows_kept = 1;
    ch->post_accepted = 1;
    ch->pixel_records = lumo::channel::kPixelRecords;
    ch->block_records = lumo::channel::kBlockRecords;
  }
  g_clients.push_back(std::move(c));
  return 1;
}

namespace {

// Carries out a program's posted records: a share of them in a round, or
// all of them (before its request, and when it has gone).
int take_posted(ChannelClient& c, bool round) {
  if (!c.posting) return 0;
  if (c.heads.empty()) c.heads.assign(static_cast<size_t>(lumo::wire::kWindowSlots) * lumo::wire::kDataArea, 0);
  c.ring.heads = c.heads.data();
  return lumo::channel::take_published(
      c.ch, c.ring, round, kRoundShareBytes, g_posted_block.data(),
      [&](const unsigned char* command, unsigned char* block) {
        g_server->draw_posted(c.id, command, lumo::wire::kWindowCommandLength, block);
      },
      [&](int window_code, int32_t x, int32_t y, int32_t colour) {
        return g_server->draw_posted_pixel(c.id, window_code, {x, y}, colour);
      },
      [&] {
        ++g_counts->room_wakes;
        g_room_woken = true;
        SetEvent(c.room_event);
      },
      // A record that left long drawing going on in slices: what the
      // program posted after it waits until that drawing is done.
      [&] { return g_server->holding(c.id); },
      // One for a window whose PNG is being written waits, untaken.
      [&](const unsigned char* command) {
        return g_server->command_waits(c.id, command, lumo::wire::kWindowCommandLength);
      });
}

void publish(ChannelClient& c, uint32_t request, int32_t reply, const std::string* answer) {
  Channel* ch = c.ch;
  if (c.posting) {
    ch->windows.store(g_server->window_bits(), std::memory_order_seq_cst);
    ch->hold.store(g_server->may_post(c.id) ? 0 : 1, std::memory_order_seq_cst);
  }
  if (answer) lumo::channel::put_answer(*ch, answer->data(), answer->size(), request);
  // (Asking costs tens of microseconds under Wine: not more often than
  // every 10 ms, so that the answered round trip it follows stays as it is.)
  static DWORD cpu_asked = 0;
  if (g_counting && GetTickCount() - cpu_asked >= 10) {
    cpu_asked = GetTickCount();
    FILETIME created, ended, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) {
      auto ticks = [](FILETIME f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
      g_counts->cpu_us = (ticks(kernel) + ticks(user)) / 10;
    }
  }
  ch->reply = reply;
  ch->reply_seq.store(request, std::memory_order_seq_cst);
  if (ch->client_sleeping.load(std::memory_order_seq_cst)) {
    ++g_counts->answer_wakes;
    SetEvent(c.reply_event);
  }
}

// One slice of the long drawing left (the windows take turns), and the
// answers it held given once their drawing is done (also when it was
// finished otherwise).
int slice() {
  const bool sliced = g_server->continue_work();
  for (auto& c : g_clients) {
    if (!c->held || g_server->holding(c->id)) continue;
    c->held = false;
    // A request whose work went on beside the loop ends with its own reply.
    publish(*c, c->held_request, g_server->held_reply(c->id, c->held_reply), &c->held_answer);
    c->held_answer.clear();
  }
  return sliced ? 1 : 0;
}

}  // namespace

void hold_channels() {
  for (auto& c : g_clients) {
    if (c->posting) c->ch->hold.store(1, std::memory_order_seq_cst);
  }
}

void set_sleeping(uint32_t value) {
  for (auto& c : g_clients) c->ch->server_sleeping.store(value, std::memory_order_seq_cst);
}

int serve_channels() {
  if (!g_server) return 0;
  if (g_clients.empty()) return slice();  // the pictures of programs gone still written
  const uint32_t gone = g_server->windows_gone();
  if (gone != g_windows_gone_seen) {
    g_windows_gone_seen = gone;
    const uint64_t bits = g_server->window_bits();
    for (auto& c : g_clients) {
      if (!c->posting) continue;
      c->ch->windows.store(bits, std::memory_order_seq_cst);
      c->ch->hold.store(1, std::memory_order_seq_cst);
    }
  }
  int served = 0;
  for (auto& c : g_clients) {
    if (!c->held && !g_server->holding(c->id)) served += take_posted(*c, true);
  }
  served += slice();
  for (size_t i = 0; i < g_clients.size(); ++i) {
    ChannelClient& c = *g_clients[i];
    // A program whose drawing goes on in slices: its next command waits
    // until that drawing is done (its own order kept, others served).
    if (c.held || g_server->holding(c.id)) continue;
    Channel* ch = c.ch;
    const uint32_t request = ch->request.load(std::memory_order_seq_cst);
    if (request == c.seen) continue;
    const uint32_t seen_before = c.seen;
    c.seen = request;
    ++served;
    // Everything this program posted before this command comes first.
    served += take_posted(c, false);
    if (g_server->holding(c.id)) {
      c.seen = seen_before;  // taken up again when that drawing is done
      continue;
    }
    const uint32_t size = ch->size;
    const bool valid = ch->kind == 1 && size <= lumo::channel::kMaxCommand;
    if (valid) CopyMemory(g_command.data(), ch->command, size);
    if (valid && g_server->command_waits(c.id, g_command.data(), size)) {
      c.seen = seen_before;  // taken up once the window's PNG is written
      continue;
    }
    const uint32_t block_bytes = ch->block_bytes;
    const bool has_block = valid && block_bytes >= static_cast<uint32_t>(lumo::wire::kDataArea) &&
                           block_bytes <= static_cast<uint32_t>(lumo::wire::kWindowBlockSize);
    if (has_block) {
      CopyMemory(g_block.data() + lumo::wire::kArg1, ch->block + lumo::wire::kArg1,
                 block_bytes - lumo::wire::kArg1);
    }
    // Programs are not dropped while a command runs: its dialog's message
    // loop may run the timer.
    g_in_command = true;
    const int32_t reply = valid ? g_server->handle(c.id, g_command.data(), size,
                                                   has_block ? g_block.data() : nullptr,
                                                   has_block ? block_bytes : 0)
                                : 0;
    g_in_command = false;
    if (valid && g_server->holding(c.id)) {
      // Its drawing goes on in slices; the program waits for the answer.
      c.held = true;
      c.held_request = request;
      c.held_reply = reply;
      c.held_answer = g_server->answer();
    } else {
      publish(c, request, reply, valid ? &g_server->answer() : nullptr);
    }
  }
  return served;
}

void drop_ended_programs() {
  if (g_in_command) return;
  for (size_t i = g_clients.size(); i-- > 0;) {
    ChannelClient& c = *g_clients[i];
    if (WaitForSingleObject(c.process, 0) != WAIT_OBJECT_0) continue;
    // What it posted is drawn all the same, in its turn: while some of it
    // waits (for drawing it left or a window's PNG) the program stays and
    // the others are served; it goes once its ring is done.
    if (!g_server->holding(c.id)) take_posted(c, false);
    if (c.posting && c.ch->posted.load(std::memory_order_acquire) != c.ring.taken) continue;
    const int id = c.id;
    g_clients.erase(g_clients.begin() + static_cast<long>(i));
    if (g_server) g_server->client_gone(id);
    g_tellers.erase(id);  // once what is queued is written, the handle is closed
  }
}

void serve_while_held(int client) {
  const auto finish = [client] {
    while (g_server->holding(client) && g_server->continue_work()) {
    }
  };
  if (g_in_command) {
    finish();
    return;
  }
  while (g_server->holding(client)) {
    const bool served = serve_channels() > 0;  // a slice among it
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // for the main loop
        finish();
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (!served && !g_server->continue_work()) return;
  }
}
