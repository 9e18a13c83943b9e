// quillo's Japanese texts as Shift-JIS (code page 932) bytes, the form an
// ANSI program hands to the system on a Japanese Windows.
#pragma once

// ここにファイルを\nドラッグしてください
//   "Please drag a file here" (two lines)
constexpr const char kDropPrompt[] = "\x82\xb1\x82\xb1\x82\xc9\x83t\x83@\x83" "C\x83\x8b\x82\xf0\n\x83h\x83\x89\x83" "b\x83O\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2";

// ファイルの拡張子が.c以外です\n保存するときに.cにして保存してください
//   "The file's extension is not .c / When you save it, please save it as .c"
constexpr const char kExtensionWarning[] = "\x83t\x83@\x83" "C\x83\x8b\x82\xcc\x8ag\x92\xa3\x8eq\x82\xaa.c\x88\xc8\x8aO\x82\xc5\x82\xb7\n\x95\xdb\x91\xb6\x82\xb7\x82\xe9\x82\xc6\x82\xab\x82\xc9.c\x82\xc9\x82\xb5\x82\xc4\x95\xdb\x91\xb6\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2";

// ファイルを開く
//   "Open file"
constexpr const char kOpenDialogTitle[] = "\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x8aJ\x82\xad";

// ＭＳ ゴシック
//   "MS Gothic", written in full-width letters
constexpr const char kUiFace[] = "\x82l\x82r \x83S\x83V\x83" "b\x83N";
