// The library's identification texts.
#include <cstdio>
#include <cstring>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"

namespace {

constexpr int kLastItem = 5;

const char* item_text(int item) {
  static const char* const kItems[kLastItem + 1] = {
      "5",
      lumo::wire::kLibraryVersion,
      lumo::wire::kLibraryVersionText,
      "Mon Jul 21 22:17:45 JST 2003",
      "Lumo graphics library for C and Fortran programs.",
      "1116263465",
  };
  return kItems[item];
}

}  // namespace

extern "C" int LmLibraryInfo(int item, char* buf, int size) {
  if (item < 0 || item > kLastItem) return 0;
  const char* text = item_text(item);
  const int n = static_cast<int>(std::strlen(text));
  // The buffer must hold the text, its terminator and one byte more.
  if (n >= size - 1 || !buf) return -n;
  std::memcpy(buf, text, static_cast<size_t>(n) + 1);
  return n;
}

extern "C" int lmlibraryinfo(int* result, int* item, char* buf, int length) {
  *result = LmLibraryInfo(*item, buf, length);
  if (*result > 0) std::memset(buf + *result, ' ', static_cast<size_t>(length - *result));
  return *result;
}

// Fortran's name of the twin above.
LUMO_FORTRAN_NAME(lmlibraryinfo)
