// The tutorial's figures drawn by its programs on a headless server: the
// texts read back from each SVG (an XML parser), the strokes it keeps
// between pixels and the colours of each PNG are the figure's.  The Fortran program draws the very picture of its C
// twin.  LUMO_TEST_PICTURES=DIR keeps the PNGs (docs/img/tutorial-*.png).
#include <gtest/gtest.h>
#include <cairo.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

using testing_support::ChildProcess;
using testing_support::PrivateSession;

namespace {

struct Figure {
  std::shared_ptr<testing_support::TempFolder> folder;
  std::string stem;    // the figure files without their extension
  std::string output;  // what the program wrote
  int status = -1;
};

std::string tutorial(const std::string& name) { return std::string(LUMO_SOURCE_DIR) + "/docs/tutorial/" + name; }

Figure draw(const std::string& program, const std::string& data) {
  Figure fig;
  PrivateSession session;
  fig.folder = std::make_shared<testing_support::TempFolder>("lumo_plot_" + program);
  const std::string dir = fig.folder->path();
  const std::string bin = testing_support::binary_dir();
  setenv("LUMOVIEW_SAVE", (dir + ":png,svg").c_str(), 1);
  setenv("LUMODIR", (bin + "/../bin").c_str(), 1);
  setenv("LUMOVIEW_GRACE_MS", "200", 1);
  unsetenv("DISPLAY");
  {
    setenv("LUMOVIEW_READY_FD", "1", 1);
    ChildProcess server({bin + "/../bin/lumoview", "--headless"});
    unsetenv("LUMOVIEW_READY_FD");
    EXPECT_EQ(server.read_line(20000), "ready");
    std::vector<std::string> argv = {bin + "/tutorial/" + program};
    if (!data.empty()) argv.push_back(tutorial(data));
    ChildProcess run(argv, true);
    fig.output = run.read_all(60000);
    fig.status = run.wait_exit(60000);
    EXPECT_GE(server.wait_exit(20000), 0);
  }
  for (const char* v : {"LUMOVIEW_SAVE", "LUMODIR", "LUMOVIEW_GRACE_MS"}) unsetenv(v);
  fig.stem = dir + "/" + program + "-1";
  if (const char* keep = std::getenv("LUMO_TEST_PICTURES")) {
    std::ifstream from(fig.stem + ".png", std::ios::binary);
    std::ofstream to(std::string(keep) + "/tutorial-" + program + ".png", std::ios::binary);
    to << from.rdbuf();
  }
  return fig;
}

// The texts of the SVG's <text> elements in order, one a line.
std::string svg_texts(const std::string& svg) {
  ChildProcess tool({"/usr/bin/python3", "-c",
                     "import sys, xml.etree.ElementTree as t\n"
                     "for e in t.parse(sys.argv[1]).iter('{http://www.w3.org/2000/svg}text'):\n"
                     "    sys.stdout.buffer.write((e.text or '').encode('utf-8') + b'\\n')\n",
                     svg},
                    true);
  const std::string out = tool.read_all(60000);
  EXPECT_EQ(tool.wait_exit(10000), 0) << out;
  return out;
}

std::string lines(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += t + "\n";
  return out;
}

struct Rgb {
  int r, g, b;
};

std::vector<Rgb> pixels_of(const std::string& path) {
  std::vector<Rgb> out;
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < h; ++y) {
      const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
      for (int x = 0; x < w; ++x) out.push_back({int(row[x] >> 16 & 255), int(row[x] >> 8 & 255), int(row[x] & 255)});
    }
  }
  cairo_surface_destroy(s);
  return out;
}

int count_near(const std::vector<Rgb>& px, Rgb c, int tolerance) {
  int n = 0;
  for (const Rgb& p : px) {
    n += std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance && std::abs(p.b - c.b) <= tolerance;
  }
  return n;
}

// Viridis from its published values at 0, 1/4, 1/2, 3/4 and 1: how many
// pixels lie within `tolerance` of the curve through them.
int count_viridis(const std::vector<Rgb>& px, int tolerance) {
  const double anchor[5][3] = {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
  int n = 0;
  for (const Rgb& p : px) {
    bool near = false;
    for (int k = 0; k < 4 && !near; ++k) {
      for (int step = 0; step <= 32 && !near; ++step) {
        const double f = step / 32.0;
        double d = 0;
        const int c[3] = {p.r, p.g, p.b};
        for (int i = 0; i < 3; ++i) {
          d = std::max(d, std::fabs(c[i] - (anchor[k][i] + f * (anchor[k + 1][i] - anchor[k][i]))));
        }
        near = d <= tolerance;
      }
    }
    n += near;
  }
  return n;
}

// The stroke colours of the SVG's paths with a coordinate between pixels
// (whole pixels are drawn at their centres, n + 0.5), sorted, one space apart.
std::string between_pixels(const std::string& svg) {
  ChildProcess tool({"/usr/bin/python3", "-c",
                     "import re, sys, xml.etree.ElementTree as t\n"
                     "found = set()\n"
                     "for e in t.parse(sys.argv[1]).iter('{http://www.w3.org/2000/svg}path'):\n"
                     "    v = [float(n) for n in re.findall(r'-?\\d+(?:\\.\\d+)?', e.get('d', ''))]\n"
                     "    if e.get('stroke') and any(x * 2 != int(x * 2) for x in v): found.add(e.get('stroke'))\n"
                     "print(' '.join(sorted(found)))\n",
                     svg},
                    true);
  const std::string out = tool.read_all(60000);
  EXPECT_EQ(tool.wait_exit(10000), 0) << out;
  return out;
}

struct Case {
  const char* program;
  const char* data;
  std::vector<std::string> texts;  // in drawing order
  // A colour within 10 levels, at least this many pixels (a thin line
  // between pixels shows its exact colour only here and there).
  std::vector<std::pair<Rgb, int>> colours;
  std::string between;  // the series' colours (frames, ticks and grids stay on whole pixels)
};

}  // namespace

TEST(Plotting, TutorialFiguresHaveTheirTicksLabelsLegendsAndColours) {
  const std::vector<Case> cases = {
      {"damped", "damped.dat",
       {"0", "2", "4", "6", "8", "10", "-1", "-0.5", "0", "0.5", "1", "time (s)", "signal", "A damped signal",
        "measured", "uncertainty", "model"},
       {{{31, 119, 180}, 400}, {{214, 39, 40}, 25}, {{221, 221, 221}, 1000}},
       "#1f77b4 #d62728"},
      {"heights", "heights.dat",
       {"20", "25", "30", "35", "40", "45", "50", "55", "60", "65", "0", "10", "20", "30", "40", "50", "60",
        "height (cm)", "plants", "Heights of 400 plants"},
       {{{158, 202, 225}, 30000}, {{8, 81, 156}, 1000}},
       ""},
      {"field", "",
       {"-2", "-1.5", "-1", "-0.5", "0", "0.5", "1", "1.5", "2", "-1.5", "-1", "-0.5", "0", "0.5", "1", "1.5",
        "x (m)", "y (m)", "A wave packet", "-1", "-0.5", "0", "0.5", "1", "amplitude"},
       {{{255, 255, 255}, 1000}},
       "#ffffff"},
      {"power", "power.dat",
       {"0.1", "1", "10", "100", "1000", "10000", "0.01", "1", "100", "10000", "10", "6", "frequency (Hz)",
        "power", "A power spectrum", "spectrum"},
       {{{44, 160, 44}, 200}},
       "#2ca02c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const Figure fig = draw(c.program, c.data);
    EXPECT_EQ(fig.status, 0) << fig.output;
    EXPECT_EQ(fig.output.find("left out"), std::string::npos) << fig.output;
    EXPECT_EQ(svg_texts(fig.stem + ".svg"), lines(c.texts));
    EXPECT_EQ(between_pixels(fig.stem + ".svg"), c.between + "\n");
    const std::vector<Rgb> px = pixels_of(fig.stem + ".png");
    ASSERT_EQ(px.size(), 640u * 480u);
    for (const auto& [colour, least] : c.colours) {
      EXPECT_GE(count_near(px, colour, 10), least) << colour.r << "," << colour.g << "," << colour.b;
    }
    if (std::string(c.program) == "field") {
      // Most of the plot area is viridis, from one end of the map to the other.
      EXPECT_GT(count_viridis(px, 12), 150000);
      EXPECT_GT(count_near(px, {68, 1, 84}, 12), 20);
      EXPECT_GT(count_near(px, {253, 231, 37}, 12), 20);
    }
  }
}

// The Fortran programs (module procedures, arrays, texts of any length)
// draw exactly what their C twins draw.
TEST(Plotting, FortranTutorialProgramsDrawTheSamePicturesAsTheirCTwins) {
  const struct {
    const char *c, *fortran, *data;
  } pairs[] = {{"damped", "damped_f", "damped.dat"}, {"field", "field_f", ""}};
  for (const auto& p : pairs) {
    SCOPED_TRACE(p.fortran);
    if (access((testing_support::binary_dir() + "/tutorial/" + p.fortran).c_str(), X_OK) != 0) {
      GTEST_SKIP() << "no gfortran";
    }
    const Figure c = draw(p.c, p.data);
    const Figure f = draw(p.fortran, p.data);
    EXPECT_EQ(f.status, 0) << f.output;
    const std::string texts = svg_texts(f.stem + ".svg");
    EXPECT_GT(texts.size(), 20u) << texts;
    EXPECT_EQ(texts, svg_texts(c.stem + ".svg"));
    const std::vector<Rgb> a = pixels_of(c.stem + ".png"), b = pixels_of(f.stem + ".png");
    ASSERT_EQ(a.size(), 640u * 480u);
    ASSERT_EQ(a.size(), b.size());
    int differing = 0;
    for (size_t i = 0; i < a.size(); ++i) differing += a[i].r != b[i].r || a[i].g != b[i].g || a[i].b != b[i].b;
    EXPECT_EQ(differing, 0);
  }
}
