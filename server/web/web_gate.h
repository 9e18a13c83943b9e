// The web view's door: it listens, reads the head of each connection's
// request within fixed bounds, and answers the ones past them itself
// (414 for a long request line, 431 for too many or too large header
// fields, 400 for what is no HTTP request, 408 for a head that does not
// come, 503 when too many wait), so that every request gets a status and
// none of them costs more than the bounds.  A head within them is handed
// on, with the bytes already read, to the part that serves it.
#ifndef LUMO_SERVER_WEB_WEB_GATE_H
#define LUMO_SERVER_WEB_WEB_GATE_H

#include <sys/socket.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace lumo::server {

struct GateLimits {
  size_t line = 4096;     // the request line
  size_t head = 16384;    // the whole head
  size_t fields = 64;     // header fields
  int wait_ms = 10000;    // for the whole head to come
  size_t waiting = 256;   // connections whose head is not in yet
};

// What a head is, once read: 0 when it is fine (and complete), else the
// status that answers it.  `complete` says whether the head's end was seen.
int check_request_head(const std::string& bytes, const GateLimits& limits, bool* complete);

class WebGate {
 public:
  using Pass = std::function<void(int fd, std::string head)>;
  WebGate() = default;
  ~WebGate();
  WebGate(const WebGate&) = delete;
  WebGate& operator=(const WebGate&) = delete;

  // Listens at the address (its port replaced by `port`, 0: any free
  // one); false with errno set when it cannot.
  bool listen(const sockaddr* address, socklen_t length, int port);
  int port() const { return port_; }
  // Serves on a thread of its own; `pass` takes each good connection (the
  // descriptor is then its own).
  void start(Pass pass, GateLimits limits = GateLimits());
  void stop();

 private:
  struct Waiting {
    int fd = -1;
    std::string bytes;
    long long deadline = 0;
    bool closing = false;  // answered: what still comes is read and dropped
  };
  void run();
  void refuse(Waiting& w, int status, long long now);

  int listener_ = -1, port_ = 0;
  int wake_[2] = {-1, -1};
  Pass pass_;
  GateLimits limits_;
  std::vector<Waiting> waiting_;
  std::thread thread_;
};

}  // namespace lumo::server

#endif
