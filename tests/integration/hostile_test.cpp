// A real server against clients that misbehave on its socket: half-sent
// frames, replies never read, stray descriptors, channels it could be made
// to fault on, and more connections than it may have.  It must go on
// serving a well-behaved program promptly and keep its descriptors.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <random>
#include <algorithm>
#include <string>
#include <vector>

#include "common/posix_channel.h"
#include "common/posix_frame.h"
#include "common/posix_names.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

using testing_support::ChildProcess;
using testing_support::PrivateSession;
namespace posix_channel = lumo::posix_channel;

namespace {

class HostileClients : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_unique<PrivateSession>();
    setenv("LUMODIR", (bin_ + "/../bin").c_str(), 1);
    setenv("LUMOVIEW_GRACE_MS", "300", 1);
    // Headless pictures would go to each program's folder (the fuzzer's
    // start-up commands name /tmp): all of them into a folder of the test.
    setenv("LUMOVIEW_PNG_DIR", pictures_.path().c_str(), 1);
    unsetenv("DISPLAY");
  }
  void TearDown() override {
    for (int fd : sockets_) close(fd);
    server_.reset();
    unsetenv("LUMODIR");
    unsetenv("LUMOVIEW_GRACE_MS");
    unsetenv("LUMOVIEW_PNG_DIR");
    session_.reset();
  }
  testing_support::TempFolder pictures_{"lumo_hostile"};

  // A headless server this test owns; `limit` > 0 caps its descriptors.
  void start_server(int limit = 0) {
    setenv("LUMOVIEW_READY_FD", "1", 1);
    const std::string server = bin_ + "/../bin/lumoview";
    if (limit > 0) {
      server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
          "/bin/sh", "-c", "ulimit -n " + std::to_string(limit) + " && exec " + server + " --headless"});
    } else {
      server_ = std::make_unique<ChildProcess>(std::vector<std::string>{server, "--headless"});
    }
    unsetenv("LUMOVIEW_READY_FD");
    ASSERT_EQ(server_->read_line(20000), "ready");
  }

  int raw_connection() {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    EXPECT_TRUE(lumo::posix_names::socket_path(server_->pid(), addr.sun_path, sizeof addr.sun_path));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      if (fd >= 0) close(fd);
      return -1;
    }
    sockets_.push_back(fd);
    return fd;
  }

  // Sends a frame header and `size` bytes, with descriptors attached.
  static bool send_frame(int fd, uint32_t kind, const std::string& bytes, const std::vector<int>& fds = {}) {
    return send_bytes(fd, frame_of(kind, bytes), fds);
  }
  static std::string frame_of(uint32_t kind, const std::string& bytes) {
    std::string frame(sizeof(lumo::posix_frame::Header), '\0');
    const lumo::posix_frame::Header h{kind, static_cast<uint32_t>(bytes.size())};
    std::memcpy(&frame[0], &h, sizeof h);
    return frame + bytes;
  }
  // Bytes in one message, with descriptors attached.
  static bool send_bytes(int fd, std::string frame, const std::vector<int>& fds = {}) {
    iovec io{&frame[0], frame.size()};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    std::vector<char> control(CMSG_SPACE(sizeof(int) * (fds.empty() ? 1 : fds.size())));
    if (!fds.empty()) {
      msg.msg_control = control.data();
      msg.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
      cmsghdr* c = CMSG_FIRSTHDR(&msg);
      c->cmsg_level = SOL_SOCKET;
      c->cmsg_type = SCM_RIGHTS;
      c->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
      std::memcpy(CMSG_DATA(c), fds.data(), sizeof(int) * fds.size());
    }
    return sendmsg(fd, &msg, MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
  }

  // The 32-bit answer to a frame, or -1 when none came within a second.
  static int32_t answer(int fd) {
    pollfd p{fd, POLLIN, 0};
    int32_t v = -1;
    if (poll(&p, 1, 1000) == 1 && recv(fd, &v, sizeof v, MSG_WAITALL) != sizeof v) return -1;
    return v;
  }

  // A well-behaved program draws, reads back and quits: how many seconds it took.
  double well_behaved_program() {
    const long long start = posix_channel::monotonic_ns();
    ChildProcess program({bin_ + "/lumo_client", "draw"});
    EXPECT_TRUE(program.wait_for("pixel=021e140a", 10000));
    EXPECT_EQ(program.wait_exit(10000), 0);
    return (posix_channel::monotonic_ns() - start) / 1e9;
  }

  int server_descriptors() {
    int n = 0;
    if (DIR* d = opendir(("/proc/" + std::to_string(server_->pid()) + "/fd").c_str())) {
      while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
      closedir(d);
    }
    return n;
  }

  double server_cpu_seconds() {
    std::ifstream in("/proc/" + std::to_string(server_->pid()) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), {});
    const size_t close_paren = all.rfind(')');
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = close_paren + 2; i < all.size(); ++i) {
      if (all[i] == ' ') {
        fields.push_back(field);
        field.clear();
      } else {
        field += all[i];
      }
    }
    // utime and stime are fields 14 and 15 of the line, 12 and 13 here.
    return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) / sysconf(_SC_CLK_TCK);
  }

  const std::string bin_ = testing_support::binary_dir();
  std::unique_ptr<PrivateSession> session_;
  std::unique_ptr<ChildProcess> server_;
  std::vector<int> sockets_;
};

int sealed_channel(bool seal) {
  const int fd = memfd_create("test-channel", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0 || ftruncate(fd, sizeof(posix_channel::Channel)) != 0) return -1;
  if (seal) fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW);
  return fd;
}

}  // namespace

// Half a header, half a payload, or hundreds of frames whose replies are
// never read: the server goes on answering a well-behaved program at once.
TEST_F(HostileClients, StalledConnectionsDelayNobody) {
  start_server();
  const int half_header = raw_connection();
  ASSERT_GE(half_header, 0);
  ASSERT_EQ(send(half_header, "\x01\x00\x00\x00", 4, MSG_NOSIGNAL), 4);
  const int half_payload = raw_connection();
  ASSERT_GE(half_payload, 0);
  const lumo::posix_frame::Header h{1, 100};
  ASSERT_EQ(send(half_payload, &h, sizeof h, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof h));
  ASSERT_EQ(send(half_payload, "P x", 3, MSG_NOSIGNAL), 3);
  const int deaf = raw_connection();
  ASSERT_GE(deaf, 0);
  const int flags = fcntl(deaf, F_GETFL);
  fcntl(deaf, F_SETFL, flags | O_NONBLOCK);
  // Far more replies than the socket holds: the server has to keep them.
  int sent = 0;
  while (sent < 2000) {
    if (send_frame(deaf, 1, std::string("P #\0", 4))) {
      ++sent;
      continue;
    }
    pollfd p{deaf, POLLOUT, 0};
    if (errno != EAGAIN || poll(&p, 1, 200) != 1) break;
  }
  EXPECT_GT(sent, 1000);
  EXPECT_LT(well_behaved_program(), 3.0);
  EXPECT_LT(well_behaved_program(), 3.0);
}

// Descriptors sent with frames are closed: the server's count stays flat.
TEST_F(HostileClients, StrayDescriptorsAreClosed) {
  start_server();
  const int fd = raw_connection();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(answer(fd), -1);
  const int before = server_descriptors();
  const int spare = open("/dev/null", O_RDONLY);
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(send_frame(fd, 1, std::string("P #\0", 4), {spare, spare, spare}));
    ASSERT_EQ(answer(fd), 1);
  }
  close(spare);
  EXPECT_LE(server_descriptors(), before + 1);
}

// A descriptor belongs to the frame it came with.  Once that frame is
// done its number is free, and the next connection may be given it: no
// later read of the first program's socket may take it again.
TEST_F(HostileClients, ADescriptorIsTakenOnlyWithItsFrame) {
  start_server();
  const std::string ping("P #\0", 4);
  const int a = raw_connection();
  ASSERT_GE(a, 0);
  // Frames of every size, with one that fills the server's read exactly
  // (it reads again and finds nothing).
  const std::string filler(lumo::posix_frame::kMaxPayload - sizeof(lumo::posix_frame::Header), 'x');
  const std::string exact = frame_of(99, filler) + frame_of(99, filler);
  for (int round = 0; round < 6; ++round) {
    const int spare = open("/dev/null", O_RDONLY);
    if (round % 2) {
      ASSERT_TRUE(send_frame(a, 1, ping, {spare}));
      ASSERT_EQ(answer(a), 1);
    } else {
      ASSERT_TRUE(send_bytes(a, exact, {spare}));
      ASSERT_EQ(answer(a), 0);  // frames of an unknown kind
      ASSERT_EQ(answer(a), 0);
    }
    close(spare);
    const int b = raw_connection();  // in the server, likely the number the spare had
    ASSERT_GE(b, 0);
    ASSERT_TRUE(send_frame(b, 1, ping));
    ASSERT_EQ(answer(b), 1);
    ASSERT_TRUE(send_frame(a, 1, ping));  // no descriptor with this one
    ASSERT_EQ(answer(a), 1);
    const bool served = send_frame(b, 1, ping) && answer(b) == 1;
    ASSERT_TRUE(served) << "round " << round << ": the second connection was closed";
  }
}

// A channel the program could shrink is refused (the program goes on with
// frames); a sealed one is taken and cannot be shrunk.  An unsealed object
// shrunk after the offer does not bring the server down.
TEST_F(HostileClients, OnlySealedChannelsAreTaken) {
  start_server();
  const int loose = sealed_channel(false), sealed = sealed_channel(true);
  ASSERT_GE(loose, 0);
  ASSERT_GE(sealed, 0);
  const int a = raw_connection();
  ASSERT_TRUE(send_frame(a, posix_channel::kHandshakeKind, "", {loose}));
  EXPECT_EQ(answer(a), 0);
  EXPECT_EQ(ftruncate(loose, 0), 0);
  ASSERT_TRUE(send_frame(a, 1, std::string("P #\0", 4)));
  EXPECT_EQ(answer(a), 1);  // still served, through frames
  const int b = raw_connection();
  ASSERT_TRUE(send_frame(b, posix_channel::kHandshakeKind, "", {sealed}));
  EXPECT_EQ(answer(b), 1);
  EXPECT_NE(ftruncate(sealed, 0), 0);
  close(loose);
  close(sealed);
  EXPECT_LT(well_behaved_program(), 3.0);
}

// At its descriptor limit the server refuses new connections at once,
// without spinning, and goes on serving the program it has.
TEST_F(HostileClients, AtItsLimitTheServerRefusesConnectionsAndKeepsServing) {
  start_server(48);
  ChildProcess program({bin_ + "/lumo_client", "owner"});
  ASSERT_TRUE(program.wait_for("ready", 10000));
  for (int i = 0; i < 80; ++i) raw_connection();
  // The connections past the limit are closed by the server.
  usleep(300000);
  int refused = 0;
  for (int fd : sockets_) {
    char byte;
    refused += recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
  }
  EXPECT_GT(refused, 0);
  const double cpu = server_cpu_seconds();
  usleep(1000000);
  EXPECT_LT(server_cpu_seconds() - cpu, 0.3) << "the server spins";
  for (int fd : sockets_) close(fd);
  sockets_.clear();
  program.write_line("go");
  const std::string rest = program.read_all(10000);
  EXPECT_NE(rest.find("own_drawing=02ff0000"), std::string::npos) << rest;
  EXPECT_EQ(program.wait_exit(10000), 0);
}

// Another user can make the private runtime path something that is not the
// user's private folder (a file, a link, a folder of theirs): library and
// server then both use the next place, and programs work.  With every place
// taken, the program says why.
TEST_F(HostileClients, APlantedRuntimePathIsPassedOver) {
  const testing_support::TempFolder folder("lumo_planted");
  const std::string& root = folder.path();
  mkdir((root + "/run").c_str(), 0700);
  mkdir((root + "/home").c_str(), 0700);
  const std::string uid = std::to_string(getuid());
  const std::string taken_run = root + "/run/lumo-" + uid + "-" + session_->name();
  const std::string taken_tmp = "/tmp/lumo-" + uid + "-" + session_->name();
  { std::ofstream(taken_run) << "planted"; }
  const char* old_xdg = std::getenv("XDG_RUNTIME_DIR");
  const char* old_home = std::getenv("HOME");
  const std::string saved_xdg = old_xdg ? old_xdg : "", saved_home = old_home ? old_home : "";
  // The environment back and the planted link gone however the test ends.
  struct AtEnd {
    std::function<void()> undo;
    ~AtEnd() { undo(); }
  } at_end{[&] {
    if (old_xdg) setenv("XDG_RUNTIME_DIR", saved_xdg.c_str(), 1); else unsetenv("XDG_RUNTIME_DIR");
    if (old_home) setenv("HOME", saved_home.c_str(), 1); else unsetenv("HOME");
    unlink(taken_tmp.c_str());
  }};
  ASSERT_EQ(symlink("/", taken_tmp.c_str()), 0);
  setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
  // With no home to fall back on there is nowhere to listen: the program is
  // told why, not only that the server could not be started.
  unsetenv("HOME");
  ChildProcess refused({bin_ + "/lumo_client", "draw"}, true);
  EXPECT_TRUE(refused.wait_for("lumoview: cannot use the private directory", 20000));
  EXPECT_NE(refused.wait_exit(20000), 0);
  setenv("HOME", (root + "/home").c_str(), 1);
  char dir[200];
  ASSERT_TRUE(lumo::posix_names::runtime_dir(dir, sizeof dir));
  EXPECT_EQ(std::string(dir), root + "/home/.cache/lumo-" + uid + "-" + session_->name());
  ChildProcess program({bin_ + "/lumo_client", "draw"});
  EXPECT_TRUE(program.wait_for("pixel=021e140a", 20000));
  EXPECT_EQ(program.wait_exit(20000), 0);
  usleep(800000);  // the headless server ends after its grace period
}

// A runtime folder too long for a socket's name in it (a deep
// $XDG_RUNTIME_DIR) is passed over for /tmp by library and server alike:
// the server listens and the program draws.
TEST_F(HostileClients, ARuntimeFolderTooLongForASocketIsPassedOver) {
  const testing_support::TempFolder folder("lumo_deep");
  std::string deep = folder.path();
  while (deep.size() < 100) {
    deep += "/deeper";
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  const char* old_xdg = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved_xdg = old_xdg ? old_xdg : "";
  const std::string in_tmp = "/tmp/lumo-" + std::to_string(getuid()) + "-" + session_->name();
  struct AtEnd {
    std::function<void()> undo;
    ~AtEnd() { undo(); }
  } at_end{[&] {
    if (old_xdg) setenv("XDG_RUNTIME_DIR", saved_xdg.c_str(), 1); else unsetenv("XDG_RUNTIME_DIR");
    testing_support::temp_folder_detail::remove_tree(in_tmp);
  }};
  setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
  char dir[200];
  ASSERT_TRUE(lumo::posix_names::runtime_dir(dir, sizeof dir));
  EXPECT_EQ(std::string(dir), in_tmp);
  ChildProcess program({bin_ + "/lumo_client", "draw"}, true);
  EXPECT_TRUE(program.wait_for("pixel=021e140a", 20000));
  EXPECT_EQ(program.wait_exit(20000), 0);
  usleep(800000);  // the headless server ends after its grace period
}

namespace {

// A change a program makes to one of the server's shared files.
struct FileChange {
  const char* what;
  bool server_block;  // else the window block of the program making it
  off_t size;         // the file's new size; -1: its names are removed
  bool window_lost;   // the server can no longer use the window
};

// The private file and the public name of a block.
std::vector<std::string> block_names(const std::string& block) {
  char path[300], object[200];
  std::vector<std::string> names;
  if (lumo::posix_names::block_path(block.c_str(), path, sizeof path)) names.push_back(path);
  if (lumo::posix_names::shm_object_name(block.c_str(), object, sizeof object)) {
    names.push_back("/dev/shm" + std::string(object));
  }
  return names;
}

// The window handle in the header of server block 1 as a program finds it
// (the private file, else the public name), or 0.
long long server_found() {
  for (const std::string& name : block_names("LumoView1")) {
    const int fd = open(name.c_str(), O_RDONLY);
    if (fd < 0) continue;
    char header[64] = "";
    const bool read = pread(fd, header, sizeof header - 1, 0) > 0;
    close(fd);
    // "state,handle,..." while it waits, else "window,title" and "handle,...".
    const char* line = std::strchr(header, '\n');
    int state = 0;
    long long handle = 0;
    if (read && line && std::sscanf(line + 1, "%lld,", &handle) == 1) return handle;
    if (read && !line && std::sscanf(header, "%d,%lld", &state, &handle) == 2) return handle;
  }
  return 0;
}

}  // namespace

// A program cuts a shared file short, makes it longer or removes its name
// while another program draws and reads back: the server stays up, the
// other program's pictures are right, and new programs still find the
// server.  A window whose block is gone is closed and its program told.
TEST_F(HostileClients, ChangedSharedFilesHarmOnlyTheirWindow) {
  const FileChange changes[] = {
      {"window block cut to nothing", false, 0, true},
      {"window block cut short", false, 100, false},
      {"window block made longer", false, 1 << 20, false},
      {"window block removed", false, -1, false},
      {"server block cut to nothing", true, 0, false},
      {"server block made longer", true, 1 << 20, false},
      {"server block removed", true, -1, false},
  };
  for (const FileChange& change : changes) {
    SCOPED_TRACE(change.what);
    start_server();
    ChildProcess other({bin_ + "/lumo_client", "stress"});
    ASSERT_TRUE(other.wait_for("ready", 10000));
    const int fd = raw_connection();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(send_frame(fd, 1, std::string("I,0,100,100,-1,-1,-1,victim\0", 29)));
    const int32_t w = answer(fd);
    ASSERT_GE(w, 2);
    other.write_line("go");
    const std::string block = change.server_block ? "LumoView1" : "LumoView1:" + std::to_string(w);
    for (const std::string& name : block_names(block)) {
      if (change.size < 0) {
        EXPECT_EQ(unlink(name.c_str()), 0) << name;
      } else if (truncate(name.c_str(), change.size) != 0) {
        ADD_FAILURE() << name << ": " << std::strerror(errno);
      }
    }
    // The server reads the window block and writes the server block.
    const std::string draw{'A', static_cast<char>(' ' + w), '\0'};
    ASSERT_TRUE(send_frame(fd, 1, draw));
    EXPECT_NE(answer(fd), -1);
    ASSERT_TRUE(send_frame(fd, 1, std::string("P #\0", 4)));
    // The next answer after a lost window tells its program so.
    EXPECT_EQ(answer(fd), change.window_lost ? INT32_MIN + 2 : 1);
    EXPECT_TRUE(other.wait_for("mismatches=0", 20000));
    EXPECT_EQ(other.wait_exit(10000), 0);
    ASSERT_EQ(server_->wait_exit(0), -1) << "the server ended";
    long long found = 0;
    for (int wait = 0; wait < 30 && found != server_->pid(); ++wait) {
      found = server_found();
      if (found != server_->pid()) usleep(100000);
    }
    EXPECT_EQ(found, server_->pid()) << "new programs cannot find the server";
    for (int s : sockets_) close(s);
    sockets_.clear();
    server_.reset();
  }
}

// ---- The real server under random operations --------------------------------

namespace {

// One program's connection as the fuzzer drives it: frames only, or a
// mapped channel through which it sends, posts and wakes the server.
struct FuzzConnection {
  int fd = -1;
  posix_channel::Channel* channel = nullptr;
  uint32_t request = 0, posted = 0;
};

}  // namespace

// Frames (whole, cut, oversized, with descriptors), channel handshakes,
// answered commands with their block copies, posted slots, window blocks
// filled with random bytes, and shared files cut short, made longer or
// removed, against the real server (the sanitizer build in
// the sanitizer suite).  The seed is printed; LUMO_FUZZ_SEED replays one.
TEST_F(HostileClients, RandomOperationsNeverBreakTheServer) {
  setenv("LUMOVIEW_MEMORY_MB", "64", 1);
  setenv("LUMOVIEW_GRACE_MS", "600000", 1);  // it ends only when this test ends it
  start_server();
  unsetenv("LUMOVIEW_MEMORY_MB");
  setenv("LUMOVIEW_GRACE_MS", "300", 1);
  const char* given = std::getenv("LUMO_FUZZ_SEED");
  const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10))
                              : static_cast<unsigned>(posix_channel::monotonic_ns());
  std::printf("fuzz seed %u (replay with LUMO_FUZZ_SEED=%u)\n", seed, seed);
  std::mt19937 random(seed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  // The server's key, for start-up commands that link.
  char object[128];
  ASSERT_TRUE(lumo::posix_names::shm_object_name("LumoView1", object, sizeof object));
  const int server_block = shm_open(object, O_RDONLY, 0);
  ASSERT_GE(server_block, 0);
  char header[64] = "";
  ASSERT_GT(pread(server_block, header, sizeof header - 1, 0), 0);
  close(server_block);
  int state = 0, key = 0;
  long long handle = 0;
  ASSERT_EQ(std::sscanf(header, "%d,%lld,%d", &state, &handle, &key), 3);

  auto random_bytes = [&](size_t n) {
    std::string b(n, '\0');
    for (char& c : b) c = static_cast<char>(random());
    return b;
  };
  // Bytes that look like UTF-8 without being it (overlong forms, encoded
  // surrogates, code points past U+10FFFF, cut sequences): window titles
  // reach the X11 titles, the web view's window list and figure files.
  auto lookalike = [&](int n) {
    static const unsigned char kBytes[] = {'a', 0x80, 0x9B, 0xA0, 0xBF, 0xC0, 0xC2,
                                           0xE0, 0xED, 0xF0, 0xF4, 0xF5, 0xFF, 0x1B};
    std::string t;
    for (int i = 0; i < n; ++i) t += static_cast<char>(kBytes[pick(sizeof kBytes)]);
    return t;
  };
  // A command: mostly well formed (window commands, opening, start-up), the
  // rest garbage.  A drawing file request is never asked to save: its path
  // would be random bytes.
  auto command = [&]() -> std::string {
    switch (pick(8)) {
      case 0: return "K," + std::to_string(key) + ",/tmp;/tmp/fuzz;Version  0.99.9b";
      case 1: return "I," + std::to_string(pick(70) - 3) + "," + std::to_string(pick(400)) + "," +
                     std::to_string(pick(300)) + ",-1,-1,-1," + (pick(2) ? "fuzz" : lookalike(1 + pick(12)));
      case 2: return random_bytes(1 + pick(40));
      default: {
        const char letters[] = "ABEFGJNOPV";
        return std::string{letters[pick(10)], static_cast<char>(32 + pick(8)), '\0'};
      }
    }
  };
  auto scribble_block = [&]() {
    char name[64];
    std::snprintf(name, sizeof name, "LumoView1:%d", 1 + pick(7));
    char block_object[128];
    if (!lumo::posix_names::shm_object_name(name, block_object, sizeof block_object)) return;
    const int fd = shm_open(block_object, O_RDWR, 0);
    if (fd < 0) return;
    unsigned char bytes[64];
    for (auto& b : bytes) b = static_cast<unsigned char>(random());
    const off_t at = pick(2304 - 64);
    // The argument word 1 of a drawing file request is kept from saving.
    if (pwrite(fd, bytes, sizeof bytes, at) == static_cast<ssize_t>(sizeof bytes)) {
      int32_t word;
      if (pread(fd, &word, 4, 224) == 4 && word == 11) {
        word = 4;
        if (pwrite(fd, &word, 4, 224) != 4) {}
      }
    }
    close(fd);
  };

  // A shared file cut short, made longer or removed, as any program of the
  // user can.
  auto reshape_block = [&]() {
    const int n = pick(8);
    const std::vector<std::string> names = block_names(n ? "LumoView1:" + std::to_string(n) : "LumoView1");
    const std::string& file = names[static_cast<size_t>(pick(static_cast<int>(names.size())))];
    const int how = pick(10);
    const off_t sizes[] = {0, 0, 0, pick(4096), pick(4096), 4096 + pick(1 << 16)};
    if (how < 6) {
      if (truncate(file.c_str(), sizes[how]) != 0) {}
    } else if (how == 6) {
      unlink(file.c_str());
    }
  };

  std::vector<FuzzConnection> connections;
  long long operations = 0;
  const long long kOperations = 100000;
  while (operations < kOperations) {
    ++operations;
    if (connections.empty() || pick(200) == 0) {
      FuzzConnection c;
      c.fd = raw_connection();
      if (c.fd < 0) continue;
      sockets_.pop_back();  // this test closes its own
      fcntl(c.fd, F_SETFL, fcntl(c.fd, F_GETFL) | O_NONBLOCK);
      if (pick(2)) {
        const int memory = sealed_channel(pick(8) != 0);
        void* base = mmap(nullptr, sizeof(posix_channel::Channel), PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0);
        if (base != MAP_FAILED) {
          c.channel = new (base) posix_channel::Channel();
          c.channel->post_offer = posix_channel::kPostOffer;
          send_frame(c.fd, posix_channel::kHandshakeKind, "", {memory});
          pollfd p{c.fd, POLLIN, 0};
          int32_t answer = 0;
          if (poll(&p, 1, 2000) != 1 || recv(c.fd, &answer, 4, 0) != 4 || answer != 1) {
            munmap(base, sizeof(posix_channel::Channel));
            c.channel = nullptr;
          }
        }
        close(memory);
      }
      connections.push_back(c);
      continue;
    }
    FuzzConnection& c = connections[static_cast<size_t>(pick(static_cast<int>(connections.size())))];
    const int op = pick(20);
    if (op == 0) {  // goes away
      if (c.channel) munmap(c.channel, sizeof(posix_channel::Channel));
      close(c.fd);
      c = connections.back();
      connections.pop_back();
    } else if (op == 1) {
      if (pick(5)) {
        scribble_block();
      } else {
        reshape_block();
      }
    } else if (!c.channel) {
      std::string bytes = command();
      uint32_t kind = pick(10) ? 1 : static_cast<uint32_t>(random());
      if (op == 2) bytes = random_bytes(static_cast<size_t>(pick(5000)));
      std::vector<int> fds;
      const int spare = pick(10) == 0 ? open("/dev/null", O_RDONLY) : -1;
      if (spare >= 0) fds.assign(1 + pick(3), spare);
      if (op == 3) {  // only part of it
        std::string frame(8, '\0');
        const uint32_t h[2] = {kind, static_cast<uint32_t>(bytes.size())};
        std::memcpy(&frame[0], h, 8);
        frame += bytes;
        if (send(c.fd, frame.data(), 1 + pick(static_cast<int>(frame.size())), MSG_NOSIGNAL) < 0) {}
      } else {
        send_frame(c.fd, kind, bytes, fds);
      }
      if (spare >= 0) close(spare);
      char drain[4096];
      while (recv(c.fd, drain, sizeof drain, MSG_DONTWAIT) > 0) {
      }
    } else if (op < 12) {  // an answered command through the channel
      posix_channel::Channel* ch = c.channel;
      const std::string bytes = command();
      ch->kind = pick(20) ? 1 : static_cast<uint32_t>(random());
      ch->size = pick(30) ? static_cast<uint32_t>(bytes.size()) : static_cast<uint32_t>(random());
      std::memcpy(ch->command, bytes.data(), std::min<size_t>(bytes.size(), sizeof ch->command));
      ch->block_bytes = pick(4) ? 256 + static_cast<uint32_t>(pick(2049)) : static_cast<uint32_t>(random());
      for (int i = 0; i < 16; ++i) ch->block[224 + pick(2304 - 224)] = static_cast<unsigned char>(random());
      int32_t code;
      std::memcpy(&code, ch->block + 224, 4);
      if (code == 11) std::memset(ch->block + 224, 0, 4);
      ch->request.store(++c.request, std::memory_order_seq_cst);
      if (send(c.fd, "W", 1, MSG_NOSIGNAL) < 0) continue;
      const long long until = posix_channel::monotonic_ns() + 2000000000LL;
      while (ch->reply_seq.load(std::memory_order_acquire) != c.request &&
             posix_channel::monotonic_ns() < until) {
        usleep(20);
      }
    } else {  // posted records, some of them nonsense
      posix_channel::Channel* ch = c.channel;
      const int n = 1 + pick(8);
      for (int i = 0; i < n; ++i) {
        const uint32_t at = c.posted % posix_channel::kRingBytes;
        posix_channel::RecordHead head{};
        head.letter = pick(10) ? 'A' : static_cast<uint8_t>(random());
        head.window = static_cast<uint8_t>(32 + pick(8));
        head.words = pick(2) ? static_cast<uint32_t>(random()) : 1u << 28;  // the drawing code's word
        head.tail = static_cast<uint16_t>(pick(4) ? pick(64) : random());
        uint32_t size = posix_channel::record_bytes(__builtin_popcount(head.words), head.tail);
        if (pick(10) == 0) size = static_cast<uint32_t>(random());
        if (at + std::min<uint32_t>(size, posix_channel::kMaxRecord) > posix_channel::kRingBytes) {
          head = posix_channel::RecordHead{};  // padding to the ring's end
          size = posix_channel::kRingBytes - at;
        }
        head.size = static_cast<uint16_t>(size);
        if (at + sizeof head <= posix_channel::kRingBytes) std::memcpy(ch->ring + at, &head, sizeof head);
        const uint32_t body = std::min<uint32_t>(static_cast<uint16_t>(size), posix_channel::kRingBytes - at);
        for (uint32_t k = sizeof head; k + 4 <= body; k += 4) {
          const int32_t word = pick(3) ? pick(30) : static_cast<int32_t>(random());
          std::memcpy(ch->ring + at + k, &word, 4);
        }
        c.posted += static_cast<uint16_t>(size);
      }
      ch->posted.store(pick(50) ? c.posted : static_cast<uint32_t>(random()), std::memory_order_seq_cst);
      if (send(c.fd, "W", 1, MSG_NOSIGNAL) < 0) continue;
    }
    if (operations % 10000 == 0) {
      ASSERT_EQ(server_->wait_exit(0), -1) << "the server ended; seed " << seed;
    }
  }
  for (FuzzConnection& c : connections) {
    if (c.channel) munmap(c.channel, sizeof(posix_channel::Channel));
    close(c.fd);
  }
  ASSERT_EQ(server_->wait_exit(0), -1) << "the server ended; seed " << seed;
  // A server block whose name a program removed is named again within half
  // a second; a server a program starts before then takes the free name and
  // meets the first server's windows under its window names.
  usleep(1000 * 1000);
  // Still serving, and promptly.
  EXPECT_LT(well_behaved_program(), 5.0) << "seed " << seed;
  // Still running, or ended of its own accord once nobody was linked.
  const int status = server_->wait_exit(0);
  EXPECT_TRUE(status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
      << "status " << status << ", seed " << seed;
}

// Every public server name taken and held by someone else, and the private
// block folder's name taken by a file: a server still starts (its blocks
// are in a folder nobody else can write) and programs find it.
TEST_F(HostileClients, PlantedBlockNamesStopNobody) {
  std::vector<int> held;
  for (int n = 1; n <= 16; ++n) {
    char object[128];
    ASSERT_TRUE(lumo::posix_names::shm_object_name(("LumoView" + std::to_string(n)).c_str(), object,
                                                   sizeof object));
    const int fd = shm_open(object, O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 4096), 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);  // held, as a live server holds its block
    held.push_back(fd);
  }
  const std::string planted = "/dev/shm/lumo-" + std::to_string(getuid()) + "-" + session_->name();
  { std::ofstream(planted) << "planted"; }
  start_server();
  EXPECT_LT(well_behaved_program(), 5.0);
  for (int fd : held) close(fd);
  unlink(planted.c_str());
}
