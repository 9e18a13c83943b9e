// Opening, joining and closing windows.
#ifndef LUMO_WINDOW_WINDOWS_H
#define LUMO_WINDOW_WINDOWS_H

#include <cstddef>
#include <cstdint>

namespace lumo {

// A join description "%d:%d %s" with a title of up to 255 characters fits.
inline constexpr size_t kJoinDescriptionSize = 280;

int32_t open_window(int32_t n, int32_t width, int32_t height, int32_t colour1, int32_t colour2,
                    int32_t mode, const char* title);
int32_t join_window(int32_t win, int32_t server, int32_t ask, char* desc, size_t desc_size);
int32_t attach_server_window(int32_t server, int32_t win, int32_t ask, char* desc,
                             size_t desc_size);
int32_t close_window(int32_t n);
// The "G" request of a window mode: mode + 15 for 0..10, else -2.
int32_t window_mode_value(int32_t mode);

}  // namespace lumo

#endif
