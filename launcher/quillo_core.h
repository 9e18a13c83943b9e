// The launcher's pure rules, free of Win32 so that they are tested natively:
// reading the settings text, building the compile command and the run
// parameters, and trimming the captured compiler output for the pane.
#pragma once

#include <cstddef>

namespace quillo {

constexpr std::size_t kPathCapacity = 260;      // compilerPath, compilerDir, exeBase
constexpr std::size_t kTitleCapacity = 256;     // sourceTitle
constexpr std::size_t kTextCapacity = 65536;    // textBuffer
constexpr std::size_t kFormatLimit = 1024;      // longest formatted command text

constexpr const char* kCompileOptions = "-s -w -W -Wall -O -o";
constexpr const char* kLinkOptions = "-Wl,--subsystem,console -lLumo -mwindows";

// The compiler path from the bytes of set.ini: its first line without the
// line end (CR LF, LF, CR or none), everything else as it stands; the same
// text is the one from which the compiler directory is made (the caller
// removes the last path component).  Both copies stop at the end of the
// bytes, at a NUL and at the buffers' capacity.
void settings_from_bytes(const char* bytes, std::size_t count, char* compiler_path,
                         char* directory_text, std::size_t capacity);

// Appends `arg` to `out` (holding `*length` characters, `capacity` bytes in
// all) as one command-line argument in double quotes, doubling backslashes
// that would otherwise escape a quote.  False, and `out` unchanged, when it
// does not fit.
bool append_quoted(char* out, std::size_t capacity, std::size_t* length, const char* arg);

// The compiler's command line: compiler, options, output name, source and
// link options, separated by single blanks, with the three paths quoted so
// that paths with blanks stay one argument each.  Returns the length, or -1
// when the text would exceed kFormatLimit - 1 characters or `capacity`.
int build_compile_command(char* out, std::size_t capacity, const char* compiler_path,
                          const char* exe_base, const char* source_path);

// The parameters handed to "cmd": cmd /S /K ""EXE_BASE.exe"".  Returns the
// length, or -1 when it would not fit.
int build_run_parameters(char* out, std::size_t capacity, const char* exe_base);

// How many captured bytes the output pane shows: the bytes less the final
// line end, at most kTextCapacity - 1, none when two or fewer were read.
std::size_t shown_output_length(std::size_t bytes_read);

// Whether a failed open of the captured output is tried again: the
// compiler's file may stay locked for a moment after it ended (a virus
// scanner looking at it, or the system closing the handle late), which
// shows as a sharing violation, a lock violation or a denied access.  The
// open is tried again for up to kReopenWaitMs; any other error is final.
constexpr unsigned long kReopenWaitMs = 2000;
constexpr unsigned long kReopenStepMs = 50;
bool retry_output_open(unsigned long error, unsigned long waited_ms);

}  // namespace quillo
