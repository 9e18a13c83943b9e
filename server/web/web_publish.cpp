// The loop's side of the web view: it carries out what browsers asked
// (input, downloads) and publishes copies of the windows that changed.
#include <algorithm>
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
      if (server.window(it->first)) {
        ++it;
        continue;
      }
      s.seen.erase(it->first);
      it = s.published.erase(it);
      ++s.published_list;
      changed = true;
    }
    server.for_each_window([&](Window& w) {
      State::Published& p = s.published[w.number()];
      State::Seen& seen = s.seen[w.number()];
      Canvas& picture = w.picture();
      const bool fresh = seen.serial != w.serial;
      const bool resized = p.width != picture.width() || p.height != picture.height();
      std::string title = to_utf8(w.title());
      if (fresh || resized || p.title != title || p.shown != w.visible) {
        p.title = std::move(title);
        p.width = picture.width();
        p.height = picture.height();
        p.shown = w.visible;
        ++s.published_list;
        changed = true;
      }
      if (fresh || resized || all || seen.changes != w.changes) {
        seen.serial = w.serial;
        seen.changes = w.changes;
        p.pixels.resize(static_cast<size_t>(p.width) * p.height);
        picture.read_pixels(0, 0, p.width, p.height, p.pixels.data());
        p.version = ++s.versions;
        changed = true;
      }
    });
  }
  if (changed) lws_cancel_service(s.context);
}

}  // namespace lumo::server
