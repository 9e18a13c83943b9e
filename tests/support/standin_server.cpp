// A minimal stand-in for the graphics window server, for transport tests.
//
// It publishes a waiting server block, answers the layout probes and the
// start-up command, opens window blocks on "I", answers the server-block
// request exchange, and replies 1 to everything else.  Two argument values of
// window commands script failures: 999 makes it die while the command is
// pending, 998 makes it reply with the value in argument word 2.
// Prints "ready <n>" on stdout (and writes to LUMOVIEW_READY_FD when the
// library started it) once its block exists; SIGTERM ends it.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "common/lumo_wire.h"
#include "server/host/posix_host.h"

using namespace lumo;

namespace {

server::PosixHost* g_host = nullptr;

void on_term(int) {
  if (g_host) g_host->request_stop();
}

int32_t read_word(const unsigned char* block, int offset) {
  int32_t v;
  std::memcpy(&v, block + offset, sizeof v);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  const int key = argc > 1 ? std::atoi(argv[1]) : 4711;
  server::PosixHost host;
  g_host = &host;
  struct sigaction sa {};
  sa.sa_handler = on_term;
  sigaction(SIGTERM, &sa, nullptr);
  if (!host.start()) return 2;

  int number = 0;
  unsigned char* server_block = nullptr;
  for (int n = wire::kFirstServer; n <= wire::kLastServer && !server_block; ++n) {
    server_block = host.create_block(wire::kBlockPrefix + std::to_string(n), 4096);
    number = n;
  }
  if (!server_block) return 3;
  std::snprintf(reinterpret_cast<char*>(server_block), 4096, "0,%lld,%d,%s", host.window_handle(),
                key, wire::kServerVersion);
  std::printf("ready %d\n", number);
  std::fflush(stdout);
  // Started by the library: tell it the block exists.
  if (const char* fd = std::getenv("LUMOVIEW_READY_FD")) {
    const int ready = std::atoi(fd);
    if (write(ready, "1", 1) != 1) return 4;
    close(ready);
    unsetenv("LUMOVIEW_READY_FD");
  }

  unsigned char* windows[wire::kWindowSlots] = {};
  int next_window = 1;
  server::Loop loop;
  loop.on_command = [&](int, const unsigned char* bytes, uint32_t size, const unsigned char*,
                        uint32_t) -> int32_t {
    const char letter = size ? static_cast<char>(bytes[0]) : 0;
    if (letter == wire::kCmdProbe && size > 4 && bytes[1] == ',') {
      static const int32_t answers[] = {wire::kProbe0Reply, wire::kProbe1Reply,
                                        wire::kProbe2Reply, wire::kProbe3Reply};
      return answers[(bytes[2] - '0') & 3];
    }
    if (letter == wire::kCmdStart) return key;
    if (letter == wire::kCmdOpen && next_window < wire::kWindowSlots) {
      const int w = next_window++;
      const std::string name =
          wire::kBlockPrefix + std::to_string(number) + ":" + std::to_string(w);
      windows[w] = host.create_block(name, wire::kWindowBlockSize);
      if (!windows[w]) return 0;
      std::snprintf(reinterpret_cast<char*>(server_block), 4096, "%d,Window %d\n%lld,%d,%s", w, w,
                    host.window_handle(), key, wire::kServerVersion);
      return w;
    }
    if (letter == wire::kCmdEnd) {  // the program has gone: wait for the next one
      std::snprintf(reinterpret_cast<char*>(server_block), 4096, "0,%lld,%d,%s",
                    host.window_handle(), key, wire::kServerVersion);
      return 1;
    }
    if (letter == wire::kCmdMetric && size >= 4 && bytes[3] == 0) {
      // The request after the command's terminator, else in the server block.
      const char* request = size > 4 ? reinterpret_cast<const char*>(bytes) + 4
                                     : reinterpret_cast<const char*>(server_block);
      int code = 0, mask = 0, a = 0, b = 0;
      std::sscanf(request, "%d;%d;%d;%d;", &code, &mask, &a, &b);
      if (code >= 0) {
        std::snprintf(reinterpret_cast<char*>(server_block), 4096, "3;%d;%d;", a + code, b + code);
      }
      return 1;
    }
    if (size == wire::kWindowCommandLength) {
      const int w = bytes[1] - wire::kWindowCodeBase;
      if (w <= 0 || w >= wire::kWindowSlots || !windows[w]) return 0;
      const int32_t a = read_word(windows[w], wire::kArg1);
      if (a == 999) {
        usleep(200 * 1000);
        raise(SIGKILL);
      }
      if (a == 998) return read_word(windows[w], wire::kArg2);
      return 1;
    }
    return 1;
  };
  host.serve(loop);
  host.shutdown();
  return 0;
}
