// What lumoview.exe's files share: the server core, its hidden server
// window, the program instance and the class of the picture windows.
#ifndef LUMO_SERVER_MAIN_WIN32_H
#define LUMO_SERVER_MAIN_WIN32_H

#include <windows.h>

#include "server/core/server.h"

extern HINSTANCE g_instance;
extern HWND g_server_window;
extern lumo::server::Server* g_server;

inline constexpr char kWindowClass[] = "LumoViewWindow";

// Performance-counter ticks spent painting windows since the message loop
// last looked (the loop paces its repaints by it).
extern long long g_painting_ticks;

#endif
