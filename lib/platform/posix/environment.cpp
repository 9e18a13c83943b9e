// The program, its environment and plain file reading on POSIX.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/platform/platform.h"
#include "lib/platform/posix/posix_internal.h"

namespace lumo::platform {
namespace {

bool copy_out(const char* value, char* out, size_t size) {
  const size_t n = std::strlen(value);
  if (n + 1 > size) {
    if (size) out[0] = '\0';
    return false;
  }
  std::memcpy(out, value, n + 1);
  return true;
}

bool mentions_shift_jis(const char* locale) {
  static const char* const kNames[] = {"sjis", "shift_jis", "shiftjis", "932"};
  for (const char* name : kNames) {
    for (const char* p = locale; *p; ++p) {
      if (strncasecmp(p, name, std::strlen(name)) == 0) return true;
    }
  }
  return false;
}

}  // namespace

bool module_path(char* out, size_t size) {
  if (size == 0) return false;
  const ssize_t n = readlink("/proc/self/exe", out, size - 1);
  if (n <= 0 || static_cast<size_t>(n) >= size - 1) {
    out[0] = '\0';
    return false;
  }
  out[n] = '\0';
  return true;
}

const char* command_line() {
  // The arguments as the kernel keeps them, joined by blanks.
  static char line[4096];
  const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  ssize_t n = fd >= 0 ? read(fd, line, sizeof line - 1) : -1;
  if (fd >= 0) close(fd);
  if (n < 0) n = 0;
  for (ssize_t i = 0; i < n; ++i) {
    if (line[i] == '\0') line[i] = ' ';
  }
  while (n > 0 && line[n - 1] == ' ') --n;
  line[n] = '\0';
  return line;
}

bool current_directory(char* out, size_t size) {
  if (size == 0) return false;
  if (!getcwd(out, size)) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool get_env(const char* name, char* out, size_t size) {
  const char* value = std::getenv(name);
  if (!value) {
    if (size) out[0] = '\0';
    return false;
  }
  return copy_out(value, out, size);
}

#ifndef LUMO_INSTALL_BINDIR
#define LUMO_INSTALL_BINDIR ""
#endif

const char* installed_server_dir() { return LUMO_INSTALL_BINDIR; }

bool file_exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// ELF programs carry no PE subsystem: a POSIX program is a console program.
bool own_file_is_pe() { return false; }

int32_t ansi_code_page() {
  static const char* const kVariables[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  for (const char* v : kVariables) {
    const char* value = std::getenv(v);
    if (value && *value) return mentions_shift_jis(value) ? 932 : 1252;
  }
  return 1252;
}

File file_open_read(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) posix::set_error(errno);
  return fd < 0 ? kNoFile : static_cast<File>(fd);
}

bool file_read(File file, void* buffer, unsigned long count, unsigned long* got) {
  unsigned long total = 0;
  char* p = static_cast<char*>(buffer);
  while (total < count) {
    const ssize_t n = read(static_cast<int>(file), p + total, count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      posix::set_error(errno);
      *got = total;
      return false;
    }
    if (n == 0) break;
    total += static_cast<unsigned long>(n);
  }
  *got = total;
  return true;
}

bool file_seek(File file, unsigned long offset) {
  if (lseek(static_cast<int>(file), static_cast<off_t>(offset), SEEK_SET) < 0) {
    posix::set_error(errno);
    return false;
  }
  return true;
}

void file_close(File file) {
  if (file != kNoFile) close(static_cast<int>(file));
}

}  // namespace lumo::platform
