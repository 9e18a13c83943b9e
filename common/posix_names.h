/* Where the POSIX build keeps its named blocks and server sockets.
 *
 * Block names stay as on Windows ("LumoView1", "LumoView1:3"); the shared
 * memory object is "/" + name, prefixed with "<session>." when the variable
 * LUMO_SESSION names a private session (tests run servers that way so that
 * they never meet a user's own server).  Sockets live in a directory only the
 * user can enter: $XDG_RUNTIME_DIR/lumo-<uid>[-<session>] (or /tmp/...). */
#ifndef LUMO_COMMON_POSIX_NAMES_H
#define LUMO_COMMON_POSIX_NAMES_H

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace lumo::posix_names {

inline constexpr char kSessionVariable[] = "LUMO_SESSION";
inline constexpr int kMaxSession = 64;

// The session name, or "" when none (or an unusable one) is set.
inline const char* session() {
  const char* s = std::getenv(kSessionVariable);
  if (!s || !*s || std::strlen(s) > static_cast<size_t>(kMaxSession)) return "";
  for (const char* p = s; *p; ++p) {
    const char c = *p;
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) return "";
  }
  return s;
}

// "/[session.]name"; false when it does not fit.
inline bool shm_object_name(const char* block_name, char* out, size_t size) {
  const char* s = session();
  const int n = *s ? std::snprintf(out, size, "/%s.%s", s, block_name)
                   : std::snprintf(out, size, "/%s", block_name);
  return n > 0 && static_cast<size_t>(n) < size;
}

inline bool runtime_dir(char* out, size_t size) {
  const char* base = std::getenv("XDG_RUNTIME_DIR");
  if (!base || base[0] != '/') base = "/tmp";
  const char* s = session();
  const unsigned uid = static_cast<unsigned>(getuid());
  const int n = *s ? std::snprintf(out, size, "%s/lumo-%u-%s", base, uid, s)
                   : std::snprintf(out, size, "%s/lumo-%u", base, uid);
  return n > 0 && static_cast<size_t>(n) < size;
}

// Makes the directory (mode 0700) when missing; true when it is a directory
// of this user that nobody else may enter.
inline bool ensure_private_dir(const char* dir) {
  if (mkdir(dir, 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  return lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         (st.st_mode & 077) == 0;
}

// Socket of the server whose window handle is `handle`.
inline bool socket_path(long long handle, char* out, size_t size) {
  char dir[160];
  if (!runtime_dir(dir, sizeof dir)) return false;
  const int n = std::snprintf(out, size, "%s/%lld.sock", dir, handle);
  return n > 0 && static_cast<size_t>(n) < size;
}

}  // namespace lumo::posix_names

#endif
