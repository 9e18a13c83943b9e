// Memory for the windows' pictures, kept warm.
//
// On a virtual machine the first touch of a fresh page can cost several
// microseconds: a 640 x 480 picture took about 3 ms only to touch, while
// its program waited for the window.  A picture's memory is asked for with
// its pages at once (one fault instead of one a page), and the memory of a
// picture let go is kept for the next one, up to a bound: a program that
// opens a window after another's closed finds it touched already.
//
// Pictures made here start with whatever the memory held: their canvas
// paints its background before anything is shown.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <memory>

#include "server/core/canvas.h"

namespace lumo::server::picture_memory {

// An RGB24 image surface, its pixels in kept memory where some fits; the
// memory is kept for the next picture when the surface is destroyed.
cairo_surface_t* create_rgb24(int width, int height);

// The bytes kept for later pictures (never more than kKeptBytes).
size_t kept_bytes();
constexpr size_t kKeptBytes = size_t{64} << 20;

// The first pages of a large picture can take the kernel a long while to
// find (memory new to the virtual machine, or compacted into huge pages:
// 100-300 ms for 8,000 x 6,000 pixels, where 9 ms is usual).  For a picture
// of kPreparedFrom bytes or more with no memory kept that fits, prepare()
// makes the memory on a thread, and a create_rgb24 of that size takes it
// while it is offered (offer); null when there is nothing to make.  Memory no picture took
// goes back with the task.
constexpr size_t kPreparedFrom = size_t{16} << 20;
std::unique_ptr<BesideTask> prepare(int width, int height);

// The bytes made by prepare() and not yet taken.
size_t prepared_bytes();

// Whose memory made by prepare() the pictures made next may take (null:
// none): each task's memory is for the command it was made for.
void offer(const BesideTask* prepared);

}  // namespace lumo::server::picture_memory
