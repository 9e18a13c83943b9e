#include "server/canvas/file_output.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace lumo::server {

FileOutput::FileOutput(const std::string& path) : path_(path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  temp_ = dir + "/." + base + "." + std::to_string(getpid()) + ".tmp";
  fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
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
