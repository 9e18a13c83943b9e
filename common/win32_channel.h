/* The Windows side of the channel (common/channel.h).  The program makes a
 * named file mapping and two auto-reset events in its session's namespace,
 * with the default security of its user (nobody else can open them), and
 * offers them to the server with a WM_COPYDATA of kind kOfferKind whose data
 * is an Offer.  A server that takes the channel answers 1; one that does not
 * (any server that keeps to WM_COPYDATA alone answers 0 to an unknown kind)
 * leaves the program on WM_COPYDATA.
 *
 * A program wakes a sleeping server by posting kWakeMessage to its window;
 * the server wakes a program sleeping for its reply by setting the reply
 * event, one sleeping for room in the ring by setting the room event.  A
 * waiting program looks every kLivenessMs whether the server's window still
 * exists; the server looks every tick whether each program's process still
 * runs.
 *
 * A program with a standard error puts its handle's value in the channel's
 * `answer.error_handle` before the offer; the server duplicates it out of
 * the program's process and writes there, as "lumoview: ..." lines, what
 * concerns that program (server/host/win32_teller.h). */
#ifndef LUMO_COMMON_WIN32_CHANNEL_H
#define LUMO_COMMON_WIN32_CHANNEL_H

#include <cstdint>

#include "common/channel.h"

namespace lumo::win32_channel {

using namespace lumo::channel;

inline constexpr uint32_t kOfferKind = 0x4C4D4348;  // "HCML"
inline constexpr unsigned kWakeMessage = 0x8000 + 0x4C;  // WM_APP + 'L'
inline constexpr unsigned long kLivenessMs = 50;

struct Offer {
  uint32_t process_id;
  char mapping[96];  // the name of the mapping; the events add ".reply" and ".room"
};

}  // namespace lumo::win32_channel

#endif
