#include "quillo_core.h"

#include <cstdio>
#include <cstring>

namespace quillo {
namespace {

void copy_bounded(char* out, std::size_t capacity, const char* bytes, std::size_t count) {
  if (capacity == 0) return;
  std::size_t n = 0;
  // The text ends at the first NUL among the bytes, as a C string would.
  while (n < count && n + 1 < capacity && bytes[n] != '\0') {
    out[n] = bytes[n];
    ++n;
  }
  out[n] = '\0';
}

bool append_raw(char* out, std::size_t capacity, std::size_t* length, const char* text) {
  const std::size_t n = std::strlen(text);
  if (*length + n + 1 > capacity) return false;
  std::memcpy(out + *length, text, n + 1);
  *length += n;
  return true;
}

}  // namespace

void settings_from_bytes(const char* bytes, std::size_t count, char* compiler_path,
                         char* directory_text, std::size_t capacity) {
  std::size_t line = 0;
  while (line < count && bytes[line] != '\r' && bytes[line] != '\n') ++line;
  copy_bounded(compiler_path, capacity, bytes, line);
  copy_bounded(directory_text, capacity, bytes, line);
}

bool append_quoted(char* out, std::size_t capacity, std::size_t* length, const char* arg) {
  std::size_t n = *length;
  auto put = [&](char c) {
    if (n + 1 >= capacity) return false;
    out[n++] = c;
    return true;
  };
  bool ok = put('"');
  std::size_t backslashes = 0;
  for (const char* p = arg; ok && *p; ++p) {
    if (*p == '\\') {
      ++backslashes;
    } else {
      // Backslashes before a quote are escapes to the argument parser; a
      // path holds no quote, so only the closing quote below needs this.
      backslashes = 0;
    }
    ok = put(*p);
  }
  // Backslashes at the end would escape the closing quote: double them.
  while (ok && backslashes-- > 0) ok = put('\\');
  ok = ok && put('"');
  if (!ok) {
    out[*length] = '\0';
    return false;
  }
  out[n] = '\0';
  *length = n;
  return true;
}

int build_compile_command(char* out, std::size_t capacity, const char* compiler_path,
                          const char* exe_base, const char* source_path) {
  if (capacity == 0) return -1;
  const std::size_t limit = capacity < kFormatLimit ? capacity : kFormatLimit;
  std::size_t n = 0;
  out[0] = '\0';
  const bool ok = append_quoted(out, limit, &n, compiler_path) && append_raw(out, limit, &n, " ") &&
                  append_raw(out, limit, &n, kCompileOptions) && append_raw(out, limit, &n, " ") &&
                  append_quoted(out, limit, &n, exe_base) && append_raw(out, limit, &n, " ") &&
                  append_quoted(out, limit, &n, source_path) && append_raw(out, limit, &n, " ") &&
                  append_raw(out, limit, &n, kLinkOptions);
  if (!ok) {
    out[0] = '\0';
    return -1;
  }
  return static_cast<int>(n);
}

int build_run_parameters(char* out, std::size_t capacity, const char* exe_base) {
  if (capacity == 0) return -1;
  const std::size_t limit = capacity < kFormatLimit ? capacity : kFormatLimit;
  const int n = std::snprintf(out, limit, "cmd /S /K \"\"%s.exe\"\"", exe_base);
  if (n < 0 || static_cast<std::size_t>(n) >= limit) {
    out[0] = '\0';
    return -1;
  }
  return n;
}

std::size_t shown_output_length(std::size_t bytes_read) {
  if (bytes_read <= 2) return 0;
  const std::size_t n = bytes_read - 2;
  return n < kTextCapacity - 1 ? n : kTextCapacity - 1;
}

bool retry_output_open(unsigned long error, unsigned long waited_ms) {
  constexpr unsigned long kAccessDenied = 5, kSharingViolation = 32, kLockViolation = 33;
  const bool locked = error == kAccessDenied || error == kSharingViolation || error == kLockViolation;
  return locked && waited_ms < kReopenWaitMs;
}

}  // namespace quillo
