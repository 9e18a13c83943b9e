// Checks run while linking: the program's kind, the server's version and the
// layout probes.
#ifndef LUMO_WINDOW_COMPAT_H
#define LUMO_WINDOW_COMPAT_H

namespace lumo {

// True for a Windows GUI-subsystem executable; POSIX programs are consoles.
bool detect_gui_program(const char* path);
// The PE/COFF walk itself: ends the program with a message on any failure.
bool pe_file_is_gui(const char* path);
void check_server_version();
void probe_server_layout();

}  // namespace lumo

#endif
