// lumoview.exe's programs on a channel (common/win32_channel.h).
// A program that offered a channel sends every command through it and posts
// drawing into its ring; the message loop serves the channels between
// messages, spinning while commands keep coming and then waiting for a
// message (a program's wake-up is one).
#ifndef LUMO_SERVER_HOST_WIN32_CHANNELS_H
#define LUMO_SERVER_HOST_WIN32_CHANNELS_H

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/channel_ring.h"
#include "common/win32_channel.h"
#include "common/win32_counts.h"
#include "server/host/win32_teller.h"

struct ChannelClient {
  int id = 0;  // the program's process id
  lumo::channel::Channel* ch = nullptr;
  HANDLE mapping = nullptr, reply_event = nullptr, room_event = nullptr, process = nullptr;
  bool posting = false;
  uint32_t seen = 0;
  // The answer to its last command, held while that command's drawing goes
  // on in slices (nothing more of the program is taken until then).
  bool held = false;
  uint32_t held_request = 0;
  int32_t held_reply = 0;
  std::string held_answer;
  lumo::channel::RingReader ring;
  std::vector<unsigned char> heads;
  ~ChannelClient() {
    if (ch) UnmapViewOfFile(ch);
    for (HANDLE h : {mapping, reply_event, room_event, process}) {
      if (h) CloseHandle(h);
    }
  }
};

extern std::vector<std::unique_ptr<ChannelClient>> g_clients;
// Each program's standard error, by process id, kept until the program has
// gone and what its going wrote (its pictures) has been said.
extern std::map<int, std::shared_ptr<lumo::server::Teller>> g_tellers;
extern bool g_take_channels;  // LUMOVIEW_CHANNEL=0: keep every program on WM_COPYDATA
// The server's counts (common/win32_counts.h): in the named mapping with
// LUMOVIEW_COUNTS=1, otherwise in memory nobody reads.
extern lumo::win32_channel::ServerCounts* g_counts;
extern bool g_counting;  // g_counts is read
// Set when serving the channels woke a program that waited for room.
extern bool g_room_woken;

// Takes a program's offer: its mapping and events, opened by name, and its
// process, watched for its end.  1 when the channel is taken.
LRESULT accept_offer(const void* data, DWORD size);
// Every program sends its next command, whose answer says whether it may
// post again.
void hold_channels();
void set_sleeping(uint32_t value);
// Every channel's posted records (a round), then every channel's request.
int serve_channels();
// Programs that have ended: what they posted is drawn, then they go.
void drop_ended_programs();
// The answer to a program on WM_COPYDATA waits while `client` is held (its
// long drawing, a file it asked for); the others are served meanwhile, the
// channels and the window messages (other programs' WM_COPYDATA among
// them) between slices, as a dialog's loop would.  Within a command (a
// dialog's loop) the work is finished at once instead.
void serve_while_held(int client);

#endif
