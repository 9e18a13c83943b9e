#include "server/canvas/file_output.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "server/core/figure_files.h"

namespace lumo::server {
namespace {

bool in_group(gid_t gid) {
  if (gid == getegid()) return true;
  const int n = getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(n));
  const int got = getgroups(n, groups.data());
  for (int i = 0; i < got; ++i) {
    if (groups[static_cast<size_t>(i)] == gid) return true;
  }
  return false;
}

}  // namespace

// The permission bits of the class the process falls in decide, for root
// too: a file nobody may write is not replaced behind its owner's back.
std::string replace_refusal(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return "";
  const uid_t me = geteuid();
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat folder;
  if (st.st_uid != me && stat(dir.c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) &&
      folder.st_uid != me) {
    return path + " belongs to another user in a shared folder";
  }
  if (S_ISLNK(st.st_mode)) return "";  // the link is replaced, never followed
  const mode_t bit = st.st_uid == me ? S_IWUSR : in_group(st.st_gid) ? S_IWGRP : S_IWOTH;
  if (!(st.st_mode & bit)) return path + " is write-protected";
  return "";
}

FileOutput::FileOutput(const std::string& path) : path_(path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  // A name of this write's own: two pictures of one name may be written
  // at once (a program's end, and the same program run again).
  static std::atomic<unsigned> writes{0};
  for (int tries = 0; fd_ < 0 && tries < 8; ++tries) {
    temp_ = dir + "/." + base + "." + std::to_string(getpid()) + "-" + std::to_string(writes++) + ".tmp";
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  struct stat st;
  if (fd_ >= 0 && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd_, st.st_mode & 0777);
}

FileOutput::~FileOutput() {
  if (fd_ >= 0) {
    close(fd_);
    unlink(temp_.c_str());
  }
}

bool FileOutput::write(const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  while (!failed_ && length > 0) {
    const ssize_t n = ::write(fd_, p, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      break;
    }
    p += n;
    length -= static_cast<size_t>(n);
  }
  return !failed_;
}

bool FileOutput::commit() {
  if (fd_ < 0) return false;
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (failed_ || !closed || rename(temp_.c_str(), path_.c_str()) != 0) {
    unlink(temp_.c_str());
    return false;
  }
  return true;
}

}  // namespace lumo::server
