// Text from programs is ANSI text: Windows code page 1252, or Shift-JIS
// (code page 932) where the server runs in a Shift-JIS locale.  The POSIX
// server draws and shows UTF-8, so it converts every text it receives.
#ifndef LUMO_SERVER_CANVAS_ANSI_TEXT_H
#define LUMO_SERVER_CANVAS_ANSI_TEXT_H

#include <string>

namespace lumo::server {

// 932 when the locale's variables (LC_ALL, LC_CTYPE, LANG, the first one
// set) name Shift-JIS, else 1252: the same rule the library follows.
int ansi_code_page_of_locale();
void set_ansi_code_page(int code_page);

// Code page 1252: a valid UTF-8 sequence stays as it is (programs written
// on Linux send UTF-8), any other byte is read as code page 1252 (0x80 is
// the euro sign).  Code page 932: the whole text read as Shift-JIS when it
// is valid Shift-JIS, else as under 1252.
std::string to_utf8(const std::string& text);

// A program's text (as to_utf8 reads it) for a terminal or a log: line
// ends and tabs stay, every other control character (C0, DEL, C1) is shown
// as \xNN, so that no text can move the cursor, recolour or retitle the
// terminal it is printed on.
std::string terminal_text(const std::string& text);

// Text the user typed (UTF-8) as a program reads it: unchanged where the
// locale's texts are UTF-8, else in the ANSI code page, with "?" for a
// character the code page lacks.
std::string to_program_text(const std::string& utf8);

}  // namespace lumo::server

#endif
