// The real library against the real server: a private session, a picture
// folder, and the server and programs a test starts.
#ifndef LUMO_TESTS_INTEGRATION_SERVER_SESSION_H
#define LUMO_TESTS_INTEGRATION_SERVER_SESSION_H

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

using testing_support::ChildProcess;
using testing_support::PrivateSession;
using testing_support::TempFolder;

namespace {

std::string bin(const std::string& name) { return testing_support::binary_dir() + "/" + name; }
std::string server_path() { return testing_support::binary_dir() + "/../bin/lumoview"; }

// "name=value" lines of a client's output.
std::map<std::string, std::string> values_of(ChildProcess& p, int lines) {
  std::map<std::string, std::string> v;
  for (int i = 0; i < lines; ++i) {
    const std::string line = p.read_line(20000);
    const size_t eq = line.find('=');
    if (eq != std::string::npos) v[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return v;
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_unique<PrivateSession>();
    folder_ = std::make_unique<TempFolder>("lumo_pictures");
    pictures_ = folder_->path();
    setenv("LUMOVIEW_PNG_DIR", pictures_.c_str(), 1);
    setenv("LUMODIR", (testing_support::binary_dir() + "/../bin").c_str(), 1);
    unsetenv("DISPLAY");
    setenv("LUMOVIEW_GRACE_MS", "300", 1);
  }

  void TearDown() override {
    clients_.clear();
    server_.reset();
    end_servers_of_session();
    unsetenv("LUMOVIEW_PNG_DIR");
    unsetenv("LUMODIR");
    unsetenv("LUMOVIEW_GRACE_MS");
    folder_.reset();
    session_.reset();
  }

  // A server this test starts itself (it knows its process id).
  void start_server(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> argv = {server_path()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    setenv("LUMOVIEW_READY_FD", "1", 1);
    server_ = std::make_unique<ChildProcess>(argv);
    unsetenv("LUMOVIEW_READY_FD");
    ASSERT_EQ(server_->read_line(20000), "ready");
  }

  ChildProcess& client(const std::string& mode, bool merge_stderr = false) {
    clients_.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{bin("lumo_client"), mode}, merge_stderr));
    return *clients_.back();
  }

  void end_servers_of_session() { testing_support::end_session_servers(); }

  // The program ends with status 1 and "The window was closed." promptly.
  static void expect_ended_by_closed_window(ChildProcess& c) {
    EXPECT_TRUE(c.wait_for("The window was closed.", 5000));
    const int status = c.wait_exit(5000);
    ASSERT_NE(status, -1) << "the client did not end";
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
  }

  std::unique_ptr<PrivateSession> session_;
  std::unique_ptr<ChildProcess> server_;
  std::vector<std::unique_ptr<ChildProcess>> clients_;
  std::unique_ptr<TempFolder> folder_;
  std::string pictures_;
};

}  // namespace

#endif  // LUMO_TESTS_INTEGRATION_SERVER_SESSION_H
