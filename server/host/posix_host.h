// The server side of the POSIX transport: named blocks it creates and holds,
// and the socket on which programs deliver their commands.
#ifndef LUMO_SERVER_HOST_POSIX_HOST_H
#define LUMO_SERVER_HOST_POSIX_HOST_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumo::server {

class PosixHost {
 public:
  using Handler = std::function<int32_t(const unsigned char* bytes, uint32_t size)>;

  ~PosixHost();

  // Creates the private runtime directory and the listening socket.  The
  // window handle is the process id.  False (with a message on stderr) when
  // that is impossible.
  bool start();
  long long window_handle() const { return handle_; }

  // Creates a named block of `size` zero bytes and holds it (other processes
  // see it as live while this process runs).  A stale block of the same name
  // left by a dead server is replaced; a live one makes this fail.
  unsigned char* create_block(const std::string& name, size_t size);
  void remove_block(const std::string& name);

  // Serves commands until stop_requested() is true.  Every accepted
  // connection is served in turn; one that closes is dropped.
  void serve(const Handler& handler);
  void request_stop() { stop_ = true; }

  // Removes every block and the socket.
  void shutdown();

 private:
  struct Block {
    std::string name;
    unsigned char* base;
    size_t size;
    int fd;
  };
  std::vector<Block> blocks_;
  std::vector<int> clients_;
  std::string socket_path_;
  int listen_fd_ = -1;
  long long handle_ = 0;
  volatile bool stop_ = false;
};

}  // namespace lumo::server

#endif
