// The picture's PNG written beside the command loop: the file holds the
// picture as it was asked for, whatever is drawn, resized or cleared while
// it is written (each first waits for the file).
#include <cairo.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "server/canvas/cairo_canvas.h"
#include "server/core/display_list.h"
#include "tests/support/temp_folder.h"

namespace lumo::server {
namespace {

TEST(PngBesideTheLoop, AFileHoldsThePictureAsItWasAskedFor) {
  // Large enough that the file takes a good part of a second to write.
  constexpr int kW = 3000, kH = 2000;
  const testing_support::TempFolder folder("lumo_png_beside");
  const Brush black{{0, 0, 0}, kBrushSolid, 0};
  Pen none;
  none.style = kInvisible;
  none.blend = Blend::kCrisp;
  const struct {
    const char* name;
    void (*change)(RecordingCanvas&, const Pen&, const Brush&);
  } changes[] = {
      {"drawn over", [](RecordingCanvas& c, const Pen& p, const Brush& b) { c.rect(p, b, {0, 0}, {kW, kH}); }},
      {"resized", [](RecordingCanvas& c, const Pen&, const Brush&) { c.resize(40, 30, Rgb{0, 0, 0}); }},
      {"cleared", [](RecordingCanvas& c, const Pen&, const Brush&) { c.clear(Rgb{0, 0, 0}); }},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.name);
    RecordingCanvas list(std::make_unique<CairoCanvas>(kW, kH, Rgb{250, 250, 240}), Rgb{250, 250, 240});
    list.set_slice(0.02);
    list.rect(none, Brush{{30, 90, 200}, kBrushSolid, 0}, {100, 100}, {kW - 100, kH - 100});
    const std::string path = folder.path() + "/picture.png";
    std::unique_ptr<BesideTask> write = list.start_png_write(path);
    ASSERT_TRUE(write);
    change.change(list, none, black);
    while (!write->wait(1)) {
    }
    EXPECT_TRUE(write->succeeded());
    write.reset();
    cairo_surface_t* read = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(read), kW);
    EXPECT_EQ(cairo_image_surface_get_height(read), kH);
    // The last rows, written last: no black of the change in them.
    const unsigned char* data = cairo_image_surface_get_data(read);
    const int stride = cairo_image_surface_get_stride(read);
    auto at = [&](int x, int y) {
      return *reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride + 4 * x) & 0xFFFFFF;
    };
    EXPECT_EQ(at(kW / 2, kH - 200), 0x1E5AC8u);
    EXPECT_EQ(at(kW - 50, kH - 1), 0xFAFAF0u);
    cairo_surface_destroy(read);
  }
}

}  // namespace
}  // namespace lumo::server
