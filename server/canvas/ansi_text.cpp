#include "server/canvas/ansi_text.h"

#include <iconv.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumo::server {
namespace {

int g_code_page = 1252;

// Code page 1252's bytes 0x80..0x9F; the five it leaves undefined map to
// the control characters of the same number, as Windows maps them.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The length of the valid UTF-8 sequence at s (RFC 3629), 0 when none
// starts there: overlong forms (C0 AF, E0 80 80, F0 80 80 80), encoded
// surrogates (ED A0 80 .. ED BF BF) and code points past U+10FFFF are not
// UTF-8, and their bytes are taken as the program's code page.
size_t utf8_sequence(const unsigned char* s, size_t left) {
  const unsigned char c = s[0];
  if (c < 0x80) return 1;
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  }
  if (n == 0 || n > left || s[1] < lo || s[1] > hi) return 0;
  for (size_t i = 2; i < n; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
  }
  return n;
}

void append_code_point(std::string* out, uint32_t c) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string from_cp1252(const std::string& text) {
  std::string out;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  while (i < text.size()) {
    const size_t n = utf8_sequence(s + i, text.size() - i);
    if (n > 0) {
      out.append(text, i, n);
      i += n;
      continue;
    }
    const unsigned char b = s[i++];
    append_code_point(&out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
  }
  return out;
}

// The whole text through iconv, with `room` bytes for the result; false
// when the converter is missing or any of the text does not convert.
bool convert(const char* to, const char* from, const std::string& text, size_t room, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in = text;
  out->assign(room, '\0');
  char* src = in.data();
  size_t src_left = in.size();
  char* dst = out->data();
  size_t dst_left = out->size();
  const bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1) &&
                  src_left == 0;
  iconv_close(cd);
  out->resize(out->size() - dst_left);
  return ok;
}

bool from_shift_jis(const std::string& text, std::string* out) {
  return convert("UTF-8", "CP932", text, text.size() * 3 + 4, out);
}

bool to_shift_jis(const std::string& utf8, std::string* out) {
  return convert("CP932//TRANSLIT", "UTF-8", utf8, utf8.size() * 2 + 4, out);
}

// The code points of UTF-8 text; a byte that starts no valid sequence
// stands for itself.
std::string to_cp1252(const std::string& utf8) {
  std::string out;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t n = utf8_sequence(s + i, utf8.size() - i);
    uint32_t c = s[i];
    if (n > 1) {
      c = s[i] & (0xFF >> (n + 1));
      for (size_t k = 1; k < n; ++k) c = c << 6 | (s[i + k] & 0x3F);
    }
    i += n ? n : 1;
    char byte = '?';
    if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
      byte = static_cast<char>(c);
    } else {
      for (int k = 0; k < 32; ++k) {
        if (kCp1252High[k] == c) byte = static_cast<char>(0x80 + k);
      }
    }
    out += byte;
  }
  return out;
}

bool names_utf8(const char* value) {
  std::string v;
  for (const char* p = value; *p; ++p) v += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return v.find("utf-8") != std::string::npos || v.find("utf8") != std::string::npos;
}

bool names_shift_jis(const char* value) {
  std::string v;
  for (const char* p = value; *p; ++p) v += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  for (const char* name : {"sjis", "shift_jis", "shiftjis", "932"}) {
    if (v.find(name) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

int ansi_code_page_of_locale() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return names_shift_jis(value) ? 932 : 1252;
  }
  return 1252;
}

std::string to_program_text(const std::string& utf8) {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    if (names_utf8(value)) return utf8;
    break;
  }
  std::string out;
  if (g_code_page == 932 && to_shift_jis(utf8, &out)) return out;
  return to_cp1252(utf8);
}

std::string terminal_text(const std::string& text) {
  const std::string utf8 = to_utf8(text);
  std::string out;
  auto escaped = [&out](unsigned c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
  };
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == '\n' || c == '\t' || (c >= 0x20 && c != 0x7F && c < 0x80)) {
      out += static_cast<char>(c);
    } else if (c < 0x80) {
      escaped(c);
    } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
      escaped(static_cast<unsigned char>(utf8[++i]));  // U+0080..U+009F
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void set_ansi_code_page(int code_page) { g_code_page = code_page == 932 ? 932 : 1252; }

std::string to_utf8(const std::string& text) {
  std::string out;
  if (g_code_page == 932 && from_shift_jis(text, &out)) return out;
  return from_cp1252(text);
}

}  // namespace lumo::server
