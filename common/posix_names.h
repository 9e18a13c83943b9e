/* Where the POSIX build keeps its named blocks and server sockets.
 *
 * Block names stay as on Windows ("LumoView1", "LumoView1:3").  A server
 * creates each block as a file of that name in the user's private block
 * folder (block_dir: nobody else can plant a name there) and links it, when
 * the name is free, to the public shared memory object "/" + name, prefixed
 * with "<session>." when the variable LUMO_SESSION names a private session
 * (tests run servers that way so that they never meet a user's own server),
 * which programs of earlier versions look for.  The library looks in the
 * private folder first.  Objects of another user are never used.  Sockets live in a directory only the
 * user can enter: $XDG_RUNTIME_DIR/lumo-<uid>[-<session>] (or /tmp/..., or
 * $HOME/.cache/... when the path before it is taken by something else). */
#ifndef LUMO_COMMON_POSIX_NAMES_H
#define LUMO_COMMON_POSIX_NAMES_H

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/un.h>
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

// Whether `dir` is a directory of this user closed to everybody else, or
// nothing yet (it can be made).
inline bool usable_private_dir(const char* dir) {
  struct stat st;
  if (lstat(dir, &st) != 0) return errno == ENOENT;
  return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

// Room a socket's name takes after its folder: "/<process id>.sock" and the
// terminating zero (process ids have at most 7 digits on Linux).
inline constexpr size_t kSocketNameRoom = 1 + 7 + 5 + 1;

// The private directory of the user's servers: lumo-<uid>[-<session>] in
// $XDG_RUNTIME_DIR, else in /tmp.  When that path is taken by something that
// is not the user's private directory (another user may have made it), or
// is too long for a socket's name in it, the next candidate is used: /tmp,
// then $HOME/.cache.  Library and server make the same choice.
inline bool runtime_dir(char* out, size_t size) {
  const char* s = session();
  const unsigned uid = static_cast<unsigned>(getuid());
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  const char* home = std::getenv("HOME");
  char cache[200] = "";
  if (home && home[0] == '/') std::snprintf(cache, sizeof cache, "%s/.cache", home);
  const char* bases[] = {xdg && xdg[0] == '/' ? xdg : "", "/tmp", cache};
  for (const char* base : bases) {
    if (!*base) continue;
    const int n = *s ? std::snprintf(out, size, "%s/lumo-%u-%s", base, uid, s)
                     : std::snprintf(out, size, "%s/lumo-%u", base, uid);
    if (n <= 0 || static_cast<size_t>(n) >= size) continue;
    if (static_cast<size_t>(n) + kSocketNameRoom > sizeof(sockaddr_un{}.sun_path)) continue;
    if (usable_private_dir(out)) return true;
  }
  return false;
}

// Makes the directory (mode 0700) when missing; true when it is a directory
// of this user that nobody else may enter.
inline bool ensure_private_dir(const char* dir) {
  // Its parent ($HOME/.cache) may be missing too.
  const char* slash = std::strrchr(dir, '/');
  if (slash && slash != dir) {
    char parent[200];
    const size_t n = static_cast<size_t>(slash - dir);
    if (n < sizeof parent) {
      std::memcpy(parent, dir, n);
      parent[n] = '\0';
      mkdir(parent, 0700);
    }
  }
  if (mkdir(dir, 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  return lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         (st.st_mode & 077) == 0;
}

// The private folder of the user's blocks: lumo-<uid>[-<session>] in
// /dev/shm (shared memory, and beside the public names so that a block can
// be linked there for programs of earlier versions), else the runtime
// folder.  Nobody else can put a name there.
inline bool block_dir(char* out, size_t size) {
  const char* s = session();
  const unsigned uid = static_cast<unsigned>(getuid());
  struct stat st;
  if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) {
    const int n = *s ? std::snprintf(out, size, "/dev/shm/lumo-%u-%s", uid, s)
                     : std::snprintf(out, size, "/dev/shm/lumo-%u", uid);
    if (n > 0 && static_cast<size_t>(n) < size && usable_private_dir(out)) return true;
  }
  return runtime_dir(out, size);
}

// "<block dir>/<name>"; false when it does not fit or there is no folder.
inline bool block_path(const char* block_name, char* out, size_t size) {
  char dir[200];
  if (!block_dir(dir, sizeof dir)) return false;
  const int n = std::snprintf(out, size, "%s/%s", dir, block_name);
  return n > 0 && static_cast<size_t>(n) < size;
}

// The public file of a shared memory object name, where the system keeps it.
inline bool public_block_path(const char* block_name, char* out, size_t size) {
  char object[200];
  if (!shm_object_name(block_name, object, sizeof object)) return false;
  const int n = std::snprintf(out, size, "/dev/shm%s", object);
  return n > 0 && static_cast<size_t>(n) < size;
}

// Socket of the server whose window handle is `handle`.
inline bool socket_path(long long handle, char* out, size_t size) {
  char dir[160];
  if (!runtime_dir(dir, sizeof dir)) return false;
  const int n = std::snprintf(out, size, "%s/%lld.sock", dir, handle);
  return n > 0 && static_cast<size_t>(n) < size;
}

// The same socket's name in the block folder, which does not depend on
// $XDG_RUNTIME_DIR: a program whose runtime folder differs from the
// server's (a script run with `env -i`, a login without a session) finds the
// server's block there and reaches the server through this name.
inline bool block_socket_path(long long handle, char* out, size_t size) {
  char dir[160];
  if (!block_dir(dir, sizeof dir)) return false;
  const int n = std::snprintf(out, size, "%s/%lld.sock", dir, handle);
  return n > 0 && static_cast<size_t>(n) < size;
}

}  // namespace lumo::posix_names

#endif
