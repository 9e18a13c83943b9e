// The test card through the real server: drawing a program posts without
// waiting must be the very drawing it gets when every command is answered.
#include <gtest/gtest.h>
#include <cairo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/lumo_wire.h"
#include "tests/card/card_layout.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

using testing_support::ChildProcess;
using testing_support::PrivateSession;

namespace {

struct CardRun {
  std::shared_ptr<testing_support::TempFolder> folder;  // the pictures, removed with the last copy
  std::string picture;
  std::set<int> posted_codes;  // drawing sub-codes the server saw posted
  std::set<int> posted_blocks;  // data-block codes seen posted (announcements as -kind)
  int answered_drawing = 0;
};

// Draws the card once on a headless server of a private session; the
// server writes the picture when the program's link ends.  Traced, the
// server lists every command (and takes its general way for each).
CardRun draw_card(const std::string& name, bool posting, const std::string& figures = "", bool traced = true) {
  CardRun run;
  PrivateSession session;
  run.folder = std::make_shared<testing_support::TempFolder>("lumo_card_" + name);
  const std::string dir = run.folder->path();
  const std::string trace = dir + "/trace.txt";
  const std::string bin = testing_support::binary_dir();
  setenv("LUMOVIEW_PNG_DIR", dir.c_str(), 1);
  if (!figures.empty()) setenv("LUMOVIEW_SAVE", (dir + ":" + figures).c_str(), 1);
  if (traced) setenv("LUMOVIEW_TRACE", trace.c_str(), 1);
  setenv("LUMODIR", (bin + "/../bin").c_str(), 1);
  setenv("LUMOVIEW_GRACE_MS", "200", 1);
  unsetenv("DISPLAY");
  if (posting) {
    unsetenv("LUMO_POST");
  } else {
    setenv("LUMO_POST", "0", 1);
  }
  {
    setenv("LUMOVIEW_READY_FD", "1", 1);
    ChildProcess server({bin + "/../bin/lumoview", "--headless"});
    unsetenv("LUMOVIEW_READY_FD");
    EXPECT_EQ(server.read_line(20000), "ready");
    ChildProcess card({bin + "/test_card"});
    EXPECT_EQ(card.read_line(60000), "drawn 1");
    EXPECT_EQ(card.wait_exit(60000), 0);
    EXPECT_GE(server.wait_exit(20000), 0);  // it ends once the picture is written
  }
  for (const char* v : {"LUMOVIEW_PNG_DIR", "LUMOVIEW_SAVE", "LUMOVIEW_TRACE", "LUMODIR", "LUMOVIEW_GRACE_MS", "LUMO_POST"}) {
    unsetenv(v);
  }
  std::ifstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    int client = 0, window = 0, code = 0;
    char letter = 0;
    if (std::sscanf(line.c_str(), "%d %c window %d args %d", &client, &letter, &window, &code) != 4) continue;
    if (letter == 'N' || letter == 'B') {
      // Point figures: the announcement, chunks and commit of their points.
      if (line.find("(posted)") != std::string::npos) run.posted_blocks.insert(letter == 'N' ? -code : code);
      continue;
    }
    if (letter != 'A') continue;
    if (line.find("(posted)") != std::string::npos) {
      run.posted_codes.insert(code);
    } else if (lumo::wire::draw_needs_no_answer(code)) {
      ++run.answered_drawing;
    }
  }
  run.picture = dir + "/test_card-1.png";
  return run;
}

// Runs a tool to its end; its exit status (-1: it did not end in time).
int run_tool(const std::vector<std::string>& argv, std::string* output = nullptr) {
  ChildProcess tool(argv, true);
  const std::string out = tool.read_all(120000);
  if (output) *output = out;
  const int status = tool.wait_exit(10000);
  if (status != 0) ADD_FAILURE() << argv[0] << " ended with " << status << ": " << out;
  return status;
}

std::string without_spaces(const std::string& s) {
  std::string out;
  for (const char c : s) {
    if (!std::isspace(static_cast<unsigned char>(c))) out += c;
  }
  return out;
}

std::vector<uint32_t> pixels_of(const std::string& path, int* width, int* height) {
  std::vector<uint32_t> out;
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    *width = cairo_image_surface_get_width(s);
    *height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < *height; ++y) {
      const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
      out.insert(out.end(), row, row + *width);
    }
  }
  cairo_surface_destroy(s);
  return out;
}

}  // namespace

TEST(TestCard, PostedDrawingIsTheSameDrawingAsAnswered) {
  const CardRun posted = draw_card("posted", true);
  const CardRun answered = draw_card("answered", false);
  const CardRun untraced = draw_card("posted_untraced", true, "", false);  // the server's shortcuts
  // Every drawing command that needs no answer was posted in the first run
  // (the card draws each of them) and none in the second.
  for (int32_t code = 0; code < 64; ++code) {
    if (lumo::wire::draw_needs_no_answer(code)) {
      EXPECT_TRUE(posted.posted_codes.count(code)) << "drawing code " << code << " never posted";
    }
  }
  // So were the point figures' announcements (by kind), chunks and commits.
  for (int32_t code : {-lumo::wire::kBlockPolygon, -lumo::wire::kBlockPolyline, -lumo::wire::kBlockBezier,
                       -lumo::wire::kBlockSeries, lumo::wire::kBlockChunk, lumo::wire::kBlockCommit}) {
    EXPECT_TRUE(posted.posted_blocks.count(code)) << "data-block code " << code << " never posted";
  }
  EXPECT_TRUE(answered.posted_codes.empty());
  EXPECT_TRUE(answered.posted_blocks.empty());
  EXPECT_GT(answered.answered_drawing, 500);
  int w2 = 0, h2 = 0;
  const std::vector<uint32_t> b = pixels_of(answered.picture, &w2, &h2);
  ASSERT_EQ(w2, CARD_WIDTH);
  ASSERT_EQ(h2, CARD_HEIGHT);
  for (const CardRun* run : {&posted, &untraced}) {
    int w1 = 0, h1 = 0;
    const std::vector<uint32_t> a = pixels_of(run->picture, &w1, &h1);
    ASSERT_EQ(w1, w2);
    ASSERT_EQ(h1, h2);
    int differing = 0;
    for (size_t i = 0; i < a.size(); ++i) differing += (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
    EXPECT_EQ(differing, 0) << "pictures: " << run->picture << " and " << answered.picture;
  }
}

// The same card written as SVG, PDF and EPS at the program's end, drawn
// back to pixels by other programs (rsvg-convert for SVG, Ghostscript for
// PDF and EPS) and held to the vector tolerance of card_compare against
// the window's picture; the texts read back from the SVG (an XML parser)
// and the PDF (pdftotext) are the texts the card drew, in order.
TEST(TestCard, VectorFiguresDrawBackToTheWindowsPicture) {
  const CardRun run = draw_card("figures", true, "svg,pdf,eps");
  const std::string stem = run.picture.substr(0, run.picture.size() - 4);
  const std::string bin = testing_support::binary_dir();
  const std::vector<std::vector<std::string>> renders = {
      {"rsvg-convert", "-o", stem + "-svg.png", stem + ".svg"},
      {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=png16m", "-r96", "-dTextAlphaBits=4",
       "-dGraphicsAlphaBits=4", "-sOutputFile=" + stem + "-pdf.png", stem + ".pdf"},
      {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=png16m", "-r96", "-dEPSCrop",
       "-dTextAlphaBits=4", "-dGraphicsAlphaBits=4", "-sOutputFile=" + stem + "-eps.png", stem + ".eps"},
  };
  for (const auto& render : renders) {
    ASSERT_EQ(run_tool(render), 0);
    const std::string drawn = render.back().substr(render.back().size() - 3);
    std::string report;
    EXPECT_EQ(run_tool({bin + "/card_compare", "--vector", run.picture, stem + "-" + drawn + ".png"}, &report), 0)
        << drawn << ":\n" << report;
  }
  const std::vector<std::string> texts = {"Lumo 123 \u20AC\u00C9\u00E9", "Lumo 123 \u20AC\u00C9\u00E9",
                                          "Lumo 123 \u20AC\u00C9\u00E9", "Turned 90", "At 45",
                                          "Bold 44 px", "A", "B", "C", "D", "E", "F", "G", "H",
                                          "Mid 180", "Mid 90"};
  std::string svg_texts;
  run_tool({"/usr/bin/python3", "-c",
            "import sys, xml.etree.ElementTree as t\n"
            "for e in t.parse(sys.argv[1]).iter('{http://www.w3.org/2000/svg}text'):\n"
            "    sys.stdout.buffer.write((e.text or '').encode('utf-8') + b'\\n')\n",
            stem + ".svg"},
           &svg_texts);
  std::string expected, joined;
  for (const std::string& t : texts) expected += t + "\n", joined += without_spaces(t);
  EXPECT_EQ(svg_texts, expected);
  // pdftotext splits turned text into letters: compared without spaces.
  std::string pdf_texts;
  run_tool({"pdftotext", "-raw", stem + ".pdf", "-"}, &pdf_texts);
  EXPECT_EQ(without_spaces(pdf_texts), joined) << pdf_texts;
}

// A picture loaded into a window is embedded in the window's SVG as a
// compressed PNG: the file stays near the picture's own size, Python's PIL
// decodes the embedded image to the very pixels PIL drew, and rsvg-convert
// draws the SVG to the window's own picture.
TEST(TestCard, ALoadedPictureIsEmbeddedCompressedInTheSvg) {
  testing_support::TempFolder folder("lumo_svg_picture");
  const std::string dir = folder.path();
  const std::string bin = testing_support::binary_dir();
  ASSERT_EQ(run_tool({"/usr/bin/python3", "-c",
                      "import sys\nfrom PIL import Image, ImageDraw\n"
                      "im = Image.new('RGB', (640, 480), (255, 255, 255))\nd = ImageDraw.Draw(im)\n"
                      "d.rectangle((40, 40, 300, 200), fill=(200, 30, 30))\n"
                      "d.ellipse((320, 100, 600, 400), fill=(30, 120, 220), outline=(0, 0, 0))\n"
                      "for i in range(0, 640, 16): d.line((i, 460, 639 - i, 300), fill=(i % 256, 100, 50))\n"
                      "d.text((60, 250), 'Lumo picture', fill=(0, 0, 0))\nim.save(sys.argv[1])\n",
                      dir + "/picture.png"}),
            0);
  {
    PrivateSession session;
    setenv("LUMOVIEW_SAVE", (dir + ":png,svg").c_str(), 1);
    setenv("LUMODIR", (bin + "/../bin").c_str(), 1);
    setenv("LUMOVIEW_GRACE_MS", "200", 1);
    unsetenv("DISPLAY");
    ChildProcess client({bin + "/lumo_client", "load", dir + "/picture.png"});
    EXPECT_EQ(client.read_line(30000), "loaded=1");
    EXPECT_EQ(client.wait_exit(30000), 0);
    for (const char* v : {"LUMOVIEW_SAVE", "LUMODIR", "LUMOVIEW_GRACE_MS"}) unsetenv(v);
  }
  const std::string svg = dir + "/lumo_client-1.svg";
  struct stat st {};
  ASSERT_EQ(stat(svg.c_str(), &st), 0);
  EXPECT_LT(st.st_size, 60000);  // stored as it is, the picture's 900 kB take 1.2 MB
  std::string decoded;
  run_tool({"/usr/bin/python3", "-c",
            "import sys, re, io, base64\nfrom PIL import Image, ImageChops\n"
            "found = re.findall(r'data:image/png;base64,([A-Za-z0-9+/=]+)', open(sys.argv[1]).read())\n"
            "drawn = Image.open(sys.argv[2]).convert('RGB')\n"
            "for b in found:\n"
            "    im = Image.open(io.BytesIO(base64.b64decode(b)))\n"
            "    print(im.size, im.mode, ImageChops.difference(im, drawn).getbbox())\n",
            svg, dir + "/picture.png"},
           &decoded);
  EXPECT_EQ(decoded, "(640, 480) RGB None\n");
  ASSERT_EQ(run_tool({"rsvg-convert", "-o", dir + "/svg.png", svg}), 0);
  int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  const std::vector<uint32_t> window = pixels_of(dir + "/lumo_client-1.png", &w1, &h1);
  const std::vector<uint32_t> drawn = pixels_of(dir + "/svg.png", &w2, &h2);
  ASSERT_EQ(w1, 640);
  ASSERT_EQ(h1, 480);
  ASSERT_EQ(w2, w1);
  ASSERT_EQ(h2, h1);
  int differing = 0;
  for (size_t i = 0; i < window.size(); ++i) differing += (window[i] & 0xFFFFFF) != (drawn[i] & 0xFFFFFF);
  EXPECT_EQ(differing, 0);
}
