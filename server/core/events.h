// Pointer and keyboard input of the graphics windows: each window queues
// what happened in it until its program asks.
#ifndef LUMO_SERVER_CORE_EVENTS_H
#define LUMO_SERVER_CORE_EVENTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace lumo::server {

enum EventKind { kEventNone = 0, kEventButton = 1, kEventKey = 2, kEventWheel = 3 };

// A button press (code 1 left, 2 middle, 3 right), a key typed while the
// window had the focus (code as the console's keys: a character's code,
// 256 + the second code of a two-part key), or a wheel step (+1 away from
// the user, -1 toward).  x, y: the pointer in the drawing area's pixels.
struct InputEvent {
  int32_t kind = kEventNone, code = 0, x = 0, y = 0;
};

// Bounded: when full, the oldest event goes and is counted.
class EventQueue {
 public:
  static constexpr int kCapacity = 256;
  void push(const InputEvent& e) {
    if (count_ == kCapacity) {
      head_ = (head_ + 1) % kCapacity;
      --count_;
      ++dropped_;
    }
    ring_[(head_ + count_) % kCapacity] = e;
    ++count_;
  }
  bool pop(InputEvent* e) {
    if (count_ == 0) return false;
    *e = ring_[head_];
    head_ = (head_ + 1) % kCapacity;
    --count_;
    return true;
  }
  int size() const { return count_; }
  uint32_t dropped() const { return dropped_; }

 private:
  InputEvent ring_[kCapacity];
  int head_ = 0, count_ = 0;
  uint32_t dropped_ = 0;
};

// Input from a file instead of a person (batch runs, tests): one event a
// line, handed out in order to whichever window asks for an event while its
// queue is empty.
//
//   click BUTTON X Y      a button press at drawing-area pixel (X, Y)
//   key CODE              a key (CODE as InputEvent's)
//   wheel STEP X Y        a wheel step (+1 or -1) at (X, Y)
//   close                 the user closes the window
//
// '#' starts a comment; blank lines are skipped.
class EventScript {
 public:
  enum Next { kDone = 0, kEvent = 1, kClose = 2 };
  // False (with the line that is wrong, or why the file cannot be read)
  // when the script cannot be used; nothing is scripted then.
  bool load(const std::string& path, std::string* error);
  bool parse(const std::string& text, std::string* error);
  bool active() const { return !steps_.empty(); }
  Next next(InputEvent* e);

 private:
  struct Step {
    Next next;
    InputEvent event;
  };
  std::vector<Step> steps_;
  size_t at_ = 0;
};

}  // namespace lumo::server

#endif
