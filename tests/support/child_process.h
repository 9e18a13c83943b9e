// Test helpers: private sessions and child processes that are always ended.
#ifndef LUMO_TESTS_CHILD_PROCESS_H
#define LUMO_TESTS_CHILD_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_support {

// A private session: LUMO_SESSION is set for this process and its children,
// and everything the session left behind (blocks, sockets) is removed when it
// ends.
class PrivateSession {
 public:
  PrivateSession();
  ~PrivateSession();
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string previous_;
  bool had_previous_ = false;
};

// A child process started with posix_spawn; on destruction it is ended with
// SIGTERM (then SIGKILL) and reaped.  Only this process is ever signalled.
class ChildProcess {
 public:
  // stdin and stdout are pipes of this process; stderr too when merged.
  explicit ChildProcess(const std::vector<std::string>& argv, bool merge_stderr = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Reads one line of the child's stdout (up to timeout_ms); "" on timeout.
  std::string read_line(int timeout_ms);
  // Reads lines until one contains `text` (up to timeout_ms); true when found.
  bool wait_for(const std::string& text, int timeout_ms);
  // Everything the child writes until it closes its output (or timeout_ms).
  std::string read_all(int timeout_ms);
  // Writes one line to the child's stdin.
  bool write_line(const std::string& line);
  // Waits up to timeout_ms; returns the wait status or -1 when still running.
  int wait_exit(int timeout_ms);
  void kill_now();

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int in_fd_ = -1;
  bool reaped_ = false;
  std::string buffered_;
};

// Ends every server of the current private session (LUMO_SESSION) by its
// process id: those the library started, which a test knows only by name.
void end_session_servers();
// The process id of this session's server number n (1 to 16), or 0.
pid_t session_server_pid(int n);

// Directory of the running test binary (helpers are built beside it).
std::string binary_dir();

}  // namespace testing_support

#endif
