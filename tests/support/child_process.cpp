#include "tests/support/child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/posix_names.h"

extern char** environ;

namespace testing_support {
namespace {

long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

}  // namespace

PrivateSession::PrivateSession() {
  static int counter = 0;
  // LUMO_TEST_RUN marks the sessions of one run of the test command.
  const char* run = std::getenv("LUMO_TEST_RUN");
  name_ = std::string(run ? run : "") + "lt" + std::to_string(getpid()) + "x" + std::to_string(++counter);
  const char* old = std::getenv(lumo::posix_names::kSessionVariable);
  had_previous_ = old != nullptr;
  if (old) previous_ = old;
  setenv(lumo::posix_names::kSessionVariable, name_.c_str(), 1);
}

PrivateSession::~PrivateSession() {
  // Its servers first: one still ending would write its pictures or log
  // into folders removed below.
  end_session_servers();
  const std::string prefix = name_ + ".";
  if (DIR* d = opendir("/dev/shm")) {
    while (dirent* e = readdir(d)) {
      if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) {
        shm_unlink(("/" + std::string(e->d_name)).c_str());
      }
    }
    closedir(d);
  }
  // The session's private block and runtime folders and what is in them.
  char dir[200];
  auto remove_folder = [](const char* folder) {
    if (DIR* d = opendir(folder)) {
      while (dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') unlink((std::string(folder) + "/" + e->d_name).c_str());
      }
      closedir(d);
    }
    rmdir(folder);
  };
  if (lumo::posix_names::block_dir(dir, sizeof dir)) remove_folder(dir);
  if (lumo::posix_names::runtime_dir(dir, sizeof dir)) remove_folder(dir);
  if (had_previous_) {
    setenv(lumo::posix_names::kSessionVariable, previous_.c_str(), 1);
  } else {
    unsetenv(lumo::posix_names::kSessionVariable);
  }
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool merge_stderr) {
  int fds[2];
  int in[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  if (pipe2(in, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  if (merge_stderr) posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // A bare name is looked up on PATH (tools such as rsvg-convert).
  if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  close(in[0]);
  out_fd_ = fds[0];
  in_fd_ = in[1];
}

std::string ChildProcess::read_all(int timeout_ms) {
  const long long end = now_ms() + timeout_ms;
  std::string out;
  std::swap(out, buffered_);
  while (out_fd_ >= 0) {
    const long long left = end - now_ms();
    if (left <= 0) break;
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[4096];
    const ssize_t n = read(out_fd_, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

bool ChildProcess::write_line(const std::string& line) {
  const std::string text = line + "\n";
  return in_fd_ >= 0 && write(in_fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool ChildProcess::wait_for(const std::string& text, int timeout_ms) {
  const long long end = now_ms() + timeout_ms;
  for (;;) {
    const long long left = end - now_ms();
    if (left <= 0) return false;
    const std::string line = read_line(static_cast<int>(left));
    if (line.find(text) != std::string::npos) return true;
    if (line.empty() && now_ms() >= end) return false;
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGTERM);
    if (wait_exit(3000) == -1) kill_now();
  }
  if (out_fd_ >= 0) close(out_fd_);
  if (in_fd_ >= 0) close(in_fd_);
}

void ChildProcess::kill_now() {
  if (pid_ <= 0 || reaped_) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  reaped_ = true;
}

std::string ChildProcess::read_line(int timeout_ms) {
  const long long end = now_ms() + timeout_ms;
  for (;;) {
    const size_t nl = buffered_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffered_.substr(0, nl);
      buffered_.erase(0, nl + 1);
      return line;
    }
    const long long left = end - now_ms();
    if (left <= 0 || out_fd_ < 0) return "";
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[256];
    const ssize_t n = read(out_fd_, buf, sizeof buf);
    if (n <= 0) return "";
    buffered_.append(buf, static_cast<size_t>(n));
  }
}

int ChildProcess::wait_exit(int timeout_ms) {
  if (pid_ <= 0) return -1;  // never started (waitpid(-1) would reap another child)
  const long long end = now_ms() + timeout_ms;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      return status;
    }
    if (now_ms() >= end) return -1;
    usleep(5000);
  }
}

std::string binary_dir() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  std::string s(path);
  return s.substr(0, s.rfind('/'));
}

// The servers of this session (the library started them): found through
// the session's blocks, whose window handle is the server's process id, and
// ended with SIGTERM; waits (up to 5 s) until they have gone, so that none
// writes into the session's folders after they are removed.
pid_t session_server_pid(int n) {
  char object[128];
  lumo::posix_names::shm_object_name(("LumoView" + std::to_string(n)).c_str(), object, sizeof object);
  const int fd = shm_open(object, O_RDONLY, 0);
  if (fd < 0) return 0;
  char text[128] = "";
  const ssize_t got = pread(fd, text, sizeof text - 1, 0);
  close(fd);
  if (got <= 0) return 0;
  const char* line = std::strchr(text, '\n') ? std::strchr(text, '\n') + 1 : text;
  long long state = 0, pid = 0;
  if (line == text) {
    std::sscanf(line, "%lld,%lld", &state, &pid);
  } else {
    std::sscanf(line, "%lld", &pid);
  }
  return pid > 1 ? static_cast<pid_t>(pid) : 0;
}

void end_session_servers() {
  std::vector<pid_t> ended;
  for (int n = 1; n <= 16; ++n) {
    const pid_t pid = session_server_pid(n);
    if (pid > 0 && kill(pid, SIGTERM) == 0) ended.push_back(pid);
  }
  // Not this process's children (a server outlives its program): gone once
  // signalling it fails, or once it is a zombie nobody has reaped yet.
  auto gone = [](pid_t p) {
    if (kill(p, 0) != 0) return true;
    char path[64], stat[256] = "";
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(p));
    FILE* f = std::fopen(path, "r");
    if (!f) return true;
    const size_t n = std::fread(stat, 1, sizeof stat - 1, f);
    std::fclose(f);
    stat[n] = '\0';
    const char* close = std::strrchr(stat, ')');
    return close && close[1] == ' ' && close[2] == 'Z';
  };
  for (int i = 0; i < 500 && !ended.empty(); ++i) {
    ended.erase(std::remove_if(ended.begin(), ended.end(), gone), ended.end());
    if (!ended.empty()) usleep(10000);
  }
}

}  // namespace testing_support
