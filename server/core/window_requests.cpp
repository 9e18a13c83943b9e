// Window requests ("B") that a window answers by itself: dialogs, texts,
// colour-table reads, extents, data-block chunks, size and place.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "server/core/window.h"
#include "server/core/figure_files.h"
#include "server/core/pictures.h"

namespace lumo::server {

using namespace wire;

namespace {

constexpr int kControlResults = 1;
constexpr int kClear = 4;
constexpr int kShow = 6;
constexpr int kMove = 23;
constexpr int kBackground = 29;
constexpr int kFrame = 32;
constexpr int kFrameToo = 33;
constexpr int kDrawingSave = 0;
constexpr int kDrawingLoad = 1;
constexpr int64_t kMaxPictureSide = 1 << 30;  // past this a side cannot be an int
constexpr double kJobLookSeconds = 0.001;     // a request's work waited for at a time

}  // namespace

int32_t Window::request(int32_t code) {
  switch (code) {
    case kControlResults:
    case kFrame:
    case kFrameToo:
      // Where the window is and how big: x, width, height.
      set_word(kResult1, x);
      set_word(kResult2, canvas_->width());
      set_word(kResult3, canvas_->height());
      return 1;
    case kRequestMessage: {
      const bool shown = frontend_.message(*this, data_text());
      set_word(kResult0, frontend_.dialog_impossible() ? kNoDialog : 0);
      return shown ? 1 : 0;
    }
    case kRequestAsk: {
      const int answer = frontend_.ask(*this, data_text());
      set_word(kResult0, frontend_.dialog_impossible() ? kNoDialog : answer);
      return answer == 0 ? 0 : 1;
    }
    case kClear:
      canvas_->clear(colours_.background());
      drawn();
      return 1;
    case kRequestResize: {
      const int32_t w = word(kArg2), h = word(kArg3);
      if (!size_ok(w, h) || (size_allowed && !size_allowed(w, h))) return 0;
      if (!resize(w, h)) return 0;
      frontend_.window_resized(*this);
      return 1;
    }
    case kShow:
      visible = word(kArg2) != 0;
      frontend_.window_shown(*this, visible);
      return 1;
    case kRequestPalette: {
      Rgb c;
      if (!colours_.get(word(kArg2), &c)) return 0;
      set_word(kArg2, reply_word(c));
      return 1;
    }
    case kRequestDrawingFile: {
      // Drawing files hold the window's picture as PNG, or the drawing as
      // a vector figure when the name ends in .svg, .pdf or .eps.
      const std::string path = path_in(requester_folder, data_text());
      if (word(kArg2) == kDrawingSave) {
        const FigureFormat format = figure_format_of(path);
        const std::string cannot_write = "cannot write " + path_as_read_from(requester_folder, path) + ": ";
        // A long display list, or a large picture, is written beside the
        // loop; the answer waits.
        if (start_job(false, cannot_write, [&] { return start_file_write(path, format); })) return 0;
        errno = 0;
        if (write_file(path, format)) return 1;
        notice = refusal.empty() ? cannot_write + reason_of(errno) : "not replaced: " + refusal;
        return 0;
      }
      if (word(kArg2) != kDrawingLoad) return 0;
      // A picture larger than the windows' pictures may take is refused
      // before it is read: a small file can hold a huge picture, and reading
      // it would take the server's memory and hold every program up.
      const std::string cannot_load = "cannot load " + path_as_read_from(requester_folder, path) + ": ";
      int64_t png_width = 0, png_height = 0;
      errno = 0;
      const bool png = png_size(path, &png_width, &png_height);
      const int unread = png ? 0 : errno;
      if (png && size_allowed &&
          (png_width > kMaxPictureSide || png_height > kMaxPictureSide ||
           !size_allowed(static_cast<int>(png_width), static_cast<int>(png_height)))) {
        notice = cannot_load + "the picture is " + std::to_string(png_width) + " x " + std::to_string(png_height) +
                 " pixels, more than the windows' pictures may take (LUMOVIEW_MEMORY_MB)";
        return 0;
      }
      if (slice_seconds > 0 && png) {
        // A large picture takes a while to read: beside the loop.
        if (start_job(true, cannot_load, [&] { return canvas_->start_png_read(path); })) return 0;
      }
      if (canvas_->load_png(path)) {
        drawn();
        return 1;
      }
      notice = cannot_load + (png ? std::string("its picture could not be read whole")
                                  : unread ? reason_of(unread) : "not a PNG file");
      return 0;
    }
    case kRequestWindowText:
      title_ = data_text();
      frontend_.window_retitled(*this);
      return 1;
    case kRequestFileDialog: {
      std::string path;
      const std::string proposed = data_text();
      const bool chosen = frontend_.choose_file(*this, proposed, &path);
      set_word(kResult0, frontend_.dialog_impossible() ? kNoDialog : 0);
      if (!chosen) return 0;
      if (frontend_.answered_without_dialog()) {
        notice = "without a display the file dialog is not shown: " + proposed + " is taken as its answer";
      }
      set_data_text(path);
      return 1;
    }
    case kRequestPrompt: {
      std::string answer;
      const bool answered = frontend_.prompt(*this, data_text(), &answer);
      set_word(kResult0, frontend_.dialog_impossible() ? kNoDialog : 0);
      if (!answered) return 0;
      set_data_text(answer);
      return 1;
    }
    case kRequestTextExtent: {
      const TextSize t = canvas_->measure(text_font_, data_text());
      set_word(kResult0, t.width);
      set_word(kResult1, t.height);
      set_word(kResult2, t.ascent);
      set_word(kResult3, t.descent);
      return 1;
    }
    case kRequestExtent: {
      const char c[2] = {static_cast<char>(word(kArg2) & 0xFF), 0};
      const TextSize t = canvas_->measure(symbol_font_, c);
      set_word(kResult1, t.width);
      set_word(kResult2, t.height);
      return 1;
    }
    case kRequestViewport:
    case kRequestWorld:
      update_origin();
      return 1;
    case kMove:
      x = word(kArg2);
      y = word(kArg3);
      frontend_.window_moved(*this);
      return 1;
    case kBackground:
      if (!colours_.set(kBackgroundEntry, word(kArg2))) return 0;
      canvas_->clear(colours_.background());
      drawn();
      return 1;
    case kRequestGetTransform:
      set_word(kArg2, static_cast<int32_t>(transform_.dx));
      set_word(kArg3, static_cast<int32_t>(transform_.dy));
      set_word(kResult0, static_cast<int32_t>(std::lround(transform_.m11 * 65536)));
      set_word(kResult1, static_cast<int32_t>(std::lround(transform_.m12 * 65536)));
      set_word(kResult2, static_cast<int32_t>(std::lround(transform_.m21 * 65536)));
      set_word(kResult3, static_cast<int32_t>(std::lround(transform_.m22 * 65536)));
      return 1;
    case kRequestQuery4:
      set_word(kResult0, x);
      set_word(kResult1, y);
      set_word(kResult2, canvas_->width());
      set_word(kResult3, canvas_->height());
      return 1;
    case kBlockChunk: return receive_chunk();
    case kBlockCommit: return commit_block();
    case kBlockCancel: cancel_block(); return 1;
    case kRequest16:
    case kRequestClosed:
    case kRequest25:
    case 26:
    case kRequest27:
    case kRequest28:
    case 34:
      return 1;
    default:
      return 0;
  }
}

bool Window::write_file(const std::string& path, FigureFormat format) {
  refusal = replace_refusal(path);
  if (!refusal.empty()) {
    errno = EACCES;
    return false;
  }
  if (format == FigureFormat::kPng) {
    return png_scale == 1 ? canvas_->save_png(path) : write_scaled_png(*canvas_, png_scale, path);
  }
  return write_vector_figure(*canvas_, format, path, dpi);
}

std::unique_ptr<BesideTask> Window::start_file_write(const std::string& path, FigureFormat format) {
  refusal = replace_refusal(path);
  if (!refusal.empty() || slice_seconds <= 0) return nullptr;
  if (format == FigureFormat::kPng) return start_png_file(*canvas_, png_scale, path);
  return start_vector_figure(*canvas_, format, path, dpi);
}

bool Window::start_job(bool load, const std::string& failure,
                       const std::function<std::unique_ptr<BesideTask>()>& start) {
  if (job_) finish_work();
  std::unique_ptr<BesideTask> task = start();
  if (!task) return false;
  job_ = std::make_unique<Job>(Job{requester, load, std::move(task), failure});
  ++jobs_started_;
  return true;
}

void Window::end_job() {
  std::unique_ptr<Job> job = std::move(job_);
  int32_t reply = 0;
  std::string told;
  if (job->load) {
    if (canvas_->put_png_read(*job->task)) {
      drawn();
      reply = 1;
    } else {
      // The file starts as a PNG (looked at before the read began).
      told = job->failure + "its picture could not be read whole";
    }
  } else if (job->task->succeeded()) {
    reply = 1;
  } else {
    told = job->failure + reason_of(job->task->error());
  }
  ended_requests.push_back({job->client, reply, told});
}

bool Window::continue_work() {
  if (canvas_->work_left()) {
    canvas_->continue_work();
    return work_left();
  }
  // The loop only waits here: a short look lets it answer the others at
  // once rather than a slice later.
  if (job_ && job_->task->wait(std::min(slice_seconds, kJobLookSeconds))) end_job();
  return work_left();
}

void Window::finish_work() {
  canvas_->finish_work();
  if (!job_) return;
  while (!job_->task->wait(1)) {
  }
  end_job();
}

int32_t Window::take_event(int32_t mode) {
  if (mode == 1) {
    set_word(kResult0, static_cast<int32_t>(events.dropped()));
    return kEventTaken;
  }
  InputEvent e;
  if (!events.pop(&e)) {
    const EventScript::Next next = next_scripted ? next_scripted(&e) : EventScript::kDone;
    if (next == EventScript::kClose) {
      close_requested = true;
      return 0;
    }
    if (next == EventScript::kDone) return frontend_.live_input() ? kEventNoneYet : kEventNoneEver;
  }
  set_word(kResult0, e.kind);
  set_word(kResult1, e.code);
  set_word(kResult2, e.x);
  set_word(kResult3, e.y);
  return kEventTaken;
}

}  // namespace lumo::server
