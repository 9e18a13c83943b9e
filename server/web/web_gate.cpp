// The web view's door; see web_gate.h.
#include "server/web/web_gate.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace lumo::server {
namespace {

constexpr int kLingerMs = 2000;           // an answered connection is read out this long at most
constexpr size_t kLingerBytes = 1 << 20;  // or this much

long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

const char* reason(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    default: return "Service Unavailable";
  }
}

}  // namespace

int check_request_head(const std::string& bytes, const GateLimits& limits, bool* complete) {
  *complete = false;
  const size_t first = bytes.find('\n');
  if (first == std::string::npos) {
    if (bytes.size() > limits.line) return 414;
    // What has come must begin like a request ("GET /...").
    for (const char c : bytes.substr(0, 16)) {
      if (c == ' ') break;
      if (c < 'A' || c > 'Z') return 400;
    }
    return 0;
  }
  if (first > limits.line) return 414;
  // METHOD SP TARGET SP HTTP/1.x
  const std::string line = bytes.substr(0, first > 0 && bytes[first - 1] == '\r' ? first - 1 : first);
  const size_t a = line.find(' '), b = line.rfind(' ');
  if (a == std::string::npos || a == 0 || b == a || line.compare(b + 1, 7, "HTTP/1.") != 0 ||
      line.size() != b + 9 || line[a + 1] != '/') {
    return 400;
  }
  for (size_t i = 0; i < a; ++i) {
    if (line[i] < 'A' || line[i] > 'Z') return 400;
  }
  size_t fields = 0;
  for (size_t at = first + 1; at < bytes.size();) {
    const size_t end = bytes.find('\n', at);
    if (end == std::string::npos) break;
    const size_t length = end - at - (end > at && bytes[end - 1] == '\r' ? 1 : 0);
    if (length == 0) {
      *complete = true;
      return end + 1 > limits.head ? 431 : 0;
    }
    if (++fields > limits.fields) return 431;
    at = end + 1;
  }
  return bytes.size() >= limits.head ? 431 : 0;
}

WebGate::~WebGate() { stop(); }

bool WebGate::listen(const sockaddr* address, socklen_t length, int port) {
  sockaddr_storage a{};
  std::memcpy(&a, address, length);
  if (a.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6*>(&a)->sin6_port = htons(static_cast<uint16_t>(port));
  } else {
    reinterpret_cast<sockaddr_in*>(&a)->sin_port = htons(static_cast<uint16_t>(port));
  }
  const int fd = socket(a.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (a.ss_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), length) != 0 || ::listen(fd, 128) != 0) {
    const int why = errno;
    close(fd);
    errno = why;
    return false;
  }
  socklen_t size = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  port_ = ntohs(a.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                                        : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
  listener_ = fd;
  return true;
}

void WebGate::start(Pass pass, GateLimits limits) {
  pass_ = std::move(pass);
  limits_ = limits;
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  thread_ = std::thread([this] { run(); });
}

void WebGate::stop() {
  if (thread_.joinable()) {
    const char one = 1;
    if (write(wake_[1], &one, 1) < 0) {
      // The pipe is full: the thread has been told already.
    }
    thread_.join();
  }
  for (Waiting& w : waiting_) close(w.fd);
  waiting_.clear();
  for (int& fd : wake_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
}

void WebGate::refuse(Waiting& w, int status, long long now) {
  const std::string body = std::string(reason(status)) + "\n";
  const std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) +
                             "\r\nContent-Type: text/plain\r\nContent-Length: " +
                             std::to_string(body.size()) +
                             "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
  // Small enough for any send buffer; a connection that cannot take it
  // loses it.
  if (send(w.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
    w.deadline = now;
  } else {
    w.deadline = now + kLingerMs;
  }
  // What the client still sends is read and dropped for a moment, so that
  // the answer is not lost to a reset.
  shutdown(w.fd, SHUT_WR);
  w.closing = true;
  w.bytes.clear();
}

void WebGate::run() {
  std::vector<pollfd> fds;
  std::vector<char> buffer(limits_.head + 1);
  for (;;) {
    const long long now = now_ms();
    // Past their time: a head still coming gets 408, an answered one is closed.
    for (size_t i = 0; i < waiting_.size();) {
      Waiting& w = waiting_[i];
      if (now < w.deadline) {
        ++i;
        continue;
      }
      if (!w.closing) {
        refuse(w, 408, now);
        w.deadline = std::min(w.deadline, now + 200);
        ++i;
        continue;
      }
      close(w.fd);
      waiting_[i] = std::move(waiting_.back());
      waiting_.pop_back();
    }
    long long next = now + 60000;
    fds.assign(2, pollfd{});
    fds[0] = {wake_[0], POLLIN, 0};
    fds[1] = {listener_, POLLIN, 0};
    for (const Waiting& w : waiting_) {
      fds.push_back({w.fd, POLLIN, 0});
      next = std::min(next, w.deadline);
    }
    const int n = poll(fds.data(), fds.size(), static_cast<int>(std::max(0LL, next - now) + 1));
    if (n < 0 && errno != EINTR) return;
    if (n <= 0) continue;
    if (fds[0].revents) return;
    const long long later = now_ms();
    // Heads that came on.  Indices of `fds` past 1 follow `waiting_` as it
    // was; finished entries are marked and removed after the pass.
    const size_t known = waiting_.size();
    std::vector<bool> done(known, false);
    for (size_t i = 0; i < known; ++i) {
      if (!fds[i + 2].revents) continue;
      Waiting& w = waiting_[i];
      const ssize_t got = recv(w.fd, buffer.data(), w.closing ? buffer.size()
                                                              : limits_.head + 1 - w.bytes.size(), 0);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        close(w.fd);
        done[i] = true;
        continue;
      }
      if (got < 0) continue;
      if (w.closing) {
        w.bytes.resize(std::min(w.bytes.size() + static_cast<size_t>(got), kLingerBytes));
        if (w.bytes.size() >= kLingerBytes) w.deadline = later;
        continue;
      }
      w.bytes.append(buffer.data(), static_cast<size_t>(got));
      bool complete = false;
      const int status = check_request_head(w.bytes, limits_, &complete);
      if (status) {
        refuse(w, status, later);
      } else if (complete) {
        pass_(w.fd, std::move(w.bytes));
        done[i] = true;
      }
    }
    for (size_t i = known; i-- > 0;) {
      if (!done[i]) continue;
      waiting_[i] = std::move(waiting_.back());
      waiting_.pop_back();
    }
    // New connections.
    if (fds[1].revents) {
      for (int taken = 0; taken < 64; ++taken) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        if (waiting_.size() >= limits_.waiting + 64) {
          close(fd);  // even a 503 waits to be read out: past this, none
          continue;
        }
        Waiting w;
        w.fd = fd;
        w.deadline = later + limits_.wait_ms;
        if (waiting_.size() >= limits_.waiting) {
          refuse(w, 503, later);
          w.deadline = later + 200;
        }
        waiting_.push_back(std::move(w));
      }
    }
  }
}

}  // namespace lumo::server
