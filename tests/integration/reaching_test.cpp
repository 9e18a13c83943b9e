// Programs reach the server that shows their windows, whatever their own
// runtime folder, and pass over one they cannot reach; killed servers leave
// nothing that stops the next.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/posix_names.h"
#include "tests/integration/server_session.h"

namespace {

class ReachingServers : public ServerTest {};

// A program whose runtime folder is another (a script's bare environment,
// another login) finds the server by its blocks and reaches it: it joins
// the window and starts no server of its own.
TEST_F(ReachingServers, AProgramOfAnotherRuntimeFolderReachesTheSameServer) {
  setenv("LUMOVIEW_GRACE_MS", "20000", 1);
  start_server({"--headless"});
  ChildProcess& owner = client("owner");
  ASSERT_EQ(owner.read_line(20000), "ready 1");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = runtime ? runtime : "";
  const TempFolder other("lumo_other_runtime");
  setenv("XDG_RUNTIME_DIR", other.path().c_str(), 1);
  ChildProcess& joiner = client("joiner", true);
  if (runtime) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1); else unsetenv("XDG_RUNTIME_DIR");
  auto j = values_of(joiner, 3);
  EXPECT_EQ(j["joined"], "1");
  EXPECT_EQ(j["joiner_sees"], "0200ff00");
  EXPECT_EQ(joiner.wait_exit(20000), 0);
  EXPECT_TRUE(std::filesystem::is_empty(other.path())) << "the program started a server of its own";
  ASSERT_TRUE(owner.write_line("go"));
  EXPECT_EQ(values_of(owner, 2)["joined_drawing"], "0200ff00");
  EXPECT_EQ(owner.wait_exit(20000), 0);
}

// A server waiting for a program that cannot be reached (its runtime
// folder removed under it, or a private /tmp of its own) is passed over:
// a program starts a server of its own, a join finds nothing to join, and
// neither is ended.
TEST_F(ReachingServers, AServerThatCannotBeReachedIsPassedOver) {
  start_server({"--headless"});
  char path[200];
  for (auto name : {lumo::posix_names::socket_path, lumo::posix_names::block_socket_path}) {
    ASSERT_TRUE(name(server_->pid(), path, sizeof path));
    unlink(path);
  }
  ChildProcess& joiner = client("joiner", true);
  EXPECT_EQ(joiner.read_line(20000), "joined=0");
  const int status = joiner.wait_exit(20000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "the join ended the program";
  ChildProcess& drawer = client("draw", true);
  EXPECT_TRUE(drawer.wait_for("pixel=021e140a", 20000));
  EXPECT_EQ(drawer.wait_exit(20000), 0);
}

// A killed server leaves its socket and that socket's name in the block
// folder; the next server removes them, and keeps the names of processes
// that live.
TEST_F(ReachingServers, SocketsOfKilledServersAreRemovedByTheNext) {
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  waitpid(gone, nullptr, 0);
  char runtime[200], blocks[200];
  ASSERT_TRUE(lumo::posix_names::runtime_dir(runtime, sizeof runtime));
  ASSERT_TRUE(lumo::posix_names::ensure_private_dir(runtime));
  ASSERT_TRUE(lumo::posix_names::block_dir(blocks, sizeof blocks));
  ASSERT_TRUE(lumo::posix_names::ensure_private_dir(blocks));
  const std::string dead_socket = std::string(runtime) + "/" + std::to_string(gone) + ".sock";
  const std::string dead_link = std::string(blocks) + "/" + std::to_string(gone) + ".sock";
  const std::string living = std::string(blocks) + "/" + std::to_string(getpid()) + ".sock";
  {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", dead_socket.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);  // a socket file nobody listens on
  }
  ASSERT_EQ(symlink(dead_socket.c_str(), dead_link.c_str()), 0);
  ASSERT_EQ(symlink(dead_socket.c_str(), living.c_str()), 0);
  start_server({"--headless"});
  struct stat st;
  EXPECT_NE(lstat(dead_socket.c_str(), &st), 0) << "the killed server's socket is left";
  EXPECT_NE(lstat(dead_link.c_str(), &st), 0) << "its name in the block folder is left";
  EXPECT_EQ(lstat(living.c_str(), &st), 0) << "a living process's name was removed";
  unlink(living.c_str());
}

}  // namespace
