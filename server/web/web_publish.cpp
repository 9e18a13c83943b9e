// The loop's side of the web view: it carries out what browsers asked
// (input, downloads) and publishes copies of the windows that changed.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#include "server/canvas/ansi_text.h"
#include "server/web/web_view_state.h"

namespace lumo::server {

void WebView::serve(Server& server) {
  State& s = *state_;
  if (!s.context) return;
  uint64_t count;
  while (read(s.wake, &count, sizeof count) > 0) {
  }
  std::deque<State::Input> inputs;
  std::vector<State::Download> asked;
  bool more_downloads = false;
  {
    std::lock_guard<std::mutex> g(s.lock);
    inputs.swap(s.inputs);
    // One download a look: a large figure takes a while, and the drawing
    // goes on between them.
    for (State::Download& d : s.downloads) {
      if (!d.taken && asked.empty()) {
        d.taken = true;
        asked.push_back(d);
      } else if (!d.taken) {
        more_downloads = true;
      }
    }
  }
  for (const State::Input& in : inputs) {
    Window* w = server.window(in.window);
    if (!w) continue;
    if (in.close) {
      server.close_by_user(in.window);
      continue;
    }
    InputEvent e = in.event;
    e.x = std::max(0, std::min(e.x, w->picture().width() - 1));
    e.y = std::max(0, std::min(e.y, w->picture().height() - 1));
    w->events.push(e);
  }
  for (State::Download& d : asked) {
    Window* w = server.window(d.window);
    const std::string extension = figure_extension(d.format);
    const std::string path = s.folder + "/window." + extension;
    if (!w) {
      d.status = 404;
    } else if (!w->write_file(path, d.format)) {
      d.status = 500;
    } else {
      // Sent from the file as the browser takes it (the thread reads it a
      // piece at a time), not held here.
      d.status = 500;
      const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      struct stat about;
      if (fd >= 0 && fstat(fd, &about) == 0) {
        d.file = fd;
        d.size = static_cast<size_t>(about.st_size);
        d.status = 200;
        // The program's name is kept plain (letters, digits, - and _) by the
        // server: it goes into a header as it is.
        d.name = w->owner_program + "-" + std::to_string(d.window) + "." + extension;
      } else if (fd >= 0) {
        close(fd);
      }
      std::remove(path.c_str());
    }
    std::lock_guard<std::mutex> g(s.lock);
    for (State::Download& waiting : s.downloads) {
      if (waiting.id == d.id) {
        waiting.file = d.file;
        waiting.size = d.size;
        waiting.name = d.name;
        waiting.status = d.status;
        waiting.done = true;
      }
    }
  }

  bool changed = !asked.empty() || s.deferred.load();
  if (more_downloads) s.wake_loop();  // the next one at the loop's next look
  const long long now = now_ms();
  if (s.viewers.load() > 0 && now - s.last_publish >= s.settings.frame_ms) {
    s.last_publish = now;
    std::lock_guard<std::mutex> g(s.lock);
    const bool all = s.refresh;
    s.refresh = false;
    for (auto it = s.published.begin(); it != s.published.end();) {
      const int slot = zoom_slot_of(it->first);
      const bool in_use = slot >= 0 ? s.zooms[slot].window == window_of(it->first)
                                    : !scale_index_of(it->first) || (s.scales >> scale_index_of(it->first)) & 1;
      if (server.window(window_of(it->first)) && in_use) {
        ++it;
        continue;
      }
      s.seen.erase(it->first);
      s.views.erase(it->first);
      if (!scale_index_of(it->first)) ++s.published_list;
      it = s.published.erase(it);
      changed = true;
    }
    // The pictures drawn again from display lists take at most this long a
    // look (a fifth of the loop's time): a program that draws without
    // pause goes on at most a fifth slower, and the pictures catch up by
    // slices (each shows what was drawn so far).
    const long long redraw_until = now_ms() + kRedrawMs;
    s.behind = false;
    server.for_each_window([&](Window& w) {
      Canvas& picture = w.picture();
      {
        // The window list: its entry at scale 1.
        State::Published& p = s.published[w.number()];
        std::string title = to_utf8(w.title());
        if (p.serial != w.serial || p.width != picture.width() || p.height != picture.height() ||
            p.title != title || p.shown != w.visible) {
          p.serial = w.serial;
          p.title = std::move(title);
          p.width = picture.width();
          p.height = picture.height();
          p.shown = w.visible;
          ++s.published_list;
          changed = true;
        }
      }
      for (int i = 0; i < kWebScaleCount + kMaxZooms; ++i) {
        const ZoomView* zoom = i < kWebScaleCount ? nullptr : &s.zooms[i - kWebScaleCount];
        if (zoom ? zoom->window != w.number() : !((s.scales >> i) & 1)) continue;
        const int id = w.number() + i * kScaleStep;
        State::Published& p = s.published[id];
        State::Seen& seen = s.seen[id];
        const bool fresh = seen.serial != w.serial;
        const bool resized = seen.width != picture.width() || seen.height != picture.height();
        const bool moved = zoom && seen.stamp != zoom->stamp;
        if (!(fresh || resized || moved || all || seen.changes != w.changes)) continue;
        // (Once the program stopped drawing, a look takes longer slices.)
        const bool drawing = seen.drawn != w.changes;
        seen.drawn = w.changes;
        if (i && now_ms() >= redraw_until + (drawing ? 0 : kCatchUpMs) && !fresh && !resized && !moved) {
          s.behind = true;
          continue;
        }
        if (zoom) seen.stamp = zoom->stamp;
        seen.serial = w.serial;
        seen.changes = w.changes;
        seen.width = picture.width();
        seen.height = picture.height();
        if (i == 0) {
          p.pixels.resize(static_cast<size_t>(picture.width()) * picture.height());
          picture.read_pixels(0, 0, picture.width(), picture.height(), p.pixels.data());
        } else {
          // Drawn again from the display list at the page's scale: only
          // what is new since the last time.
          std::unique_ptr<ScaledView>& view = s.views[id];
          if (!view || fresh) view = std::make_unique<ScaledView>();
          const double k = kWebScales[zoom ? zoom->scale : i];
          const int sw = static_cast<int>(std::ceil(picture.width() * k - 1e-9));
          const int sh = static_cast<int>(std::ceil(picture.height() * k - 1e-9));
          const double left =
              static_cast<double>(std::max(1LL, redraw_until + (drawing ? 0 : kCatchUpMs) - now_ms()));
          if (!view->update(w.display_list(), sw, sh, zoom ? k * zoom->zoom() : k, zoom ? zoom->x0 / 64.0 : 0,
                            zoom ? zoom->y0 / 64.0 : 0, left)) {
            continue;
          }
          if (!view->caught_up()) {
            seen.changes = ~w.changes;  // more of it at the next look
            s.behind = true;
          }
          p.width = sw, p.height = sh;
          p.pixels.resize(static_cast<size_t>(sw) * sh);
          cairo_surface_t* surface = view->surface();
          const unsigned char* data = cairo_image_surface_get_data(surface);
          const int stride = cairo_image_surface_get_stride(surface);
          for (int y = 0; y < sh; ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
            for (int x = 0; x < sw; ++x) p.pixels[static_cast<size_t>(y) * sw + x] = row[x] & 0xFFFFFF;
          }
        }
        p.version = ++s.versions;
        changed = true;
      }
    });
  }
  if (changed) lws_cancel_service(s.context);
}

}  // namespace lumo::server
