// Mapping and releasing the shared blocks; finding a waiting server.
#include <cstdio>
#include <cstring>

#include "lib/link/link.h"
#include "lib/link/messages.h"

namespace lumo {
namespace {

// The smallest server block the library will read or write.
constexpr size_t kMinServerBlock = 256;

// Unmaps a block this scan mapped itself and did not keep.
void discard_view(void* view) {
  if (view) platform::release_shared_block(view);
}

}  // namespace

unsigned char* open_shared_view(const char* name, size_t* size_out) {
  size_t size = 0;
  void* view = platform::open_shared_block(name, &size);
  if (!view) return nullptr;
  // A block too small for its role is not one of ours.
  const bool window_block = std::strchr(name, ':') != nullptr;
  const size_t need = window_block ? static_cast<size_t>(wire::kWindowBlockSize) : kMinServerBlock;
  if (size < need) {
    discard_view(view);
    return nullptr;
  }
  if (size_out) *size_out = size;
  return static_cast<unsigned char*>(view);
}

void release_shared_view(void* view) {
  // Views of a server that has gone are left to the end of the process.
  if (!view || !platform::server_window_exists(g_link.server_window)) return;
  if (!platform::release_shared_block(view)) {
    report_message(1, message_text(Msg::UnmapFailed), static_cast<int>(platform::last_error()));
  }
}

size_t copy_block_text(const unsigned char* block, size_t block_size, char* out, size_t size) {
  size_t n = 0;
  if (block) {
    const size_t limit = block_size < size - 1 ? block_size : size - 1;
    const char* text = reinterpret_cast<const char*>(block);
    while (n < limit && text[n]) ++n;
    std::memcpy(out, text, n);
  }
  out[n] = '\0';
  return n;
}

size_t copy_server_text(char* out, size_t size) {
  return copy_block_text(g_link.server_view, g_link.server_view_size, out, size);
}

int32_t find_server(uint32_t passed_over) {
  for (int n = wire::kFirstServer; n <= wire::kLastServer; ++n) {
    std::snprintf(g_link.mapping_name, sizeof g_link.mapping_name, "%s%d", wire::kBlockPrefix, n);
    if (g_link.server_view) {
      release_shared_view(g_link.server_view);
      g_link.server_view = nullptr;
      g_link.server_key = 0;
    }
    if (passed_over & (1u << n)) continue;
    size_t size = 0;
    unsigned char* view = open_shared_view(g_link.mapping_name, &size);
    if (view) {
      char header[wire::kServerTextMax + 1];
      copy_block_text(view, size, header, sizeof header);
      int state = -1;
      long long window = 0;
      int key = 0;
      char version[256];
      // A server that cannot be reached (its socket's folder removed, or
      // not seen from here) is passed over like one that is not running.
      if (std::sscanf(header, "%d,%lld,%d,%255[^\n]", &state, &window, &key, version) == 4 &&
          state == 0 && platform::server_window_exists(static_cast<platform::ServerWindow>(window))) {
        g_link.server_view = view;
        g_link.server_view_size = size;
        g_link.server_number = n;
        g_link.server_window = static_cast<platform::ServerWindow>(window);
        g_link.server_key = key;
        std::snprintf(g_link.server_version_text, sizeof g_link.server_version_text, "%s", version);
        return g_link.server_key;
      }
      discard_view(view);
    }
    g_link.server_key = 0;
  }
  return g_link.server_key;
}

void release_link(int32_t window) {
  if (g_link.view_count <= 0) {
    platform::console_link(false);
    return;
  }
  // Each entry is cleared before its view is released, so a report raised by
  // the release (which may end the link itself) finds a consistent table.
  if (window >= 0 && window < wire::kWindowSlots && g_link.window_views[window]) {
    unsigned char* view = g_link.window_views[window];
    g_link.window_views[window] = nullptr;
    --g_link.view_count;
    release_shared_view(view);
  } else {
    for (int i = 0; i < wire::kWindowSlots && g_link.view_count > 0; ++i) {
      unsigned char* view = g_link.window_views[i];
      if (!view) continue;
      g_link.window_views[i] = nullptr;
      --g_link.view_count;
      release_shared_view(view);
    }
  }
  forget_server();
}

void forget_server() {
  unsigned char* server = g_link.server_view;
  g_link.server_view = nullptr;
  if (server) release_shared_view(server);
  g_link.server_key = 0;
  g_link.current_view = nullptr;
  g_link.current_data = nullptr;
  g_link.server_window = 0;
  g_link.current_window = 0;
  g_link.current_window_code = wire::kWindowCodeBase;
  g_link.server_number = 0;
  g_link.mapping_name[0] = '\0';
  platform::console_link(false);
}

}  // namespace lumo
