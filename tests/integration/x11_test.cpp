// lumoview on a virtual X display: the window a program draws is on screen.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "tests/support/child_process.h"

// Xlib after the rest: its macros would clash with names in those headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using testing_support::ChildProcess;
using testing_support::PrivateSession;

namespace {

bool find_program(const char* name, std::string* path) {
  for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
    const std::string p = std::string(dir) + "/" + name;
    if (access(p.c_str(), X_OK) == 0) {
      *path = p;
      return true;
    }
  }
  return false;
}

// A private Xvfb display (ended by its process id) and a lumoview on it.
class X11Window : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string xvfb;
    if (!find_program("Xvfb", &xvfb)) GTEST_SKIP() << "Xvfb is not installed";
    // Xvfb picks a display number nobody uses and tells it: tests running at
    // the same time never share a display.
    session_ = std::make_unique<PrivateSession>();
    x_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{xvfb, "-displayfd", "1", "-screen", "0", "800x600x24",
                                 "-nolisten", "tcp"});
    const std::string number = x_->read_line(20000);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    const std::string display = ":" + number;

    setenv("DISPLAY", display.c_str(), 1);
    setenv("LUMOVIEW_READY_FD", "1", 1);
    // A desktop whose texts are UTF-8: what the user types reaches the
    // program as UTF-8.
    setenv("LC_ALL", "C.UTF-8", 1);
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{dir_ + "/../bin/lumoview"});
    unsetenv("LUMOVIEW_READY_FD");
    unsetenv("LC_ALL");
    ASSERT_EQ(server_->read_line(20000), "ready");
  }

  void TearDown() override {
    server_.reset();
    unsetenv("DISPLAY");
    x_.reset();
    session_.reset();
  }

  const std::string dir_ = testing_support::binary_dir();
  std::unique_ptr<PrivateSession> session_;
  std::unique_ptr<ChildProcess> x_;
  std::unique_ptr<ChildProcess> server_;
};

TEST_F(X11Window, ProgramDrawingIsShownInARealWindow) {
  ChildProcess owner({dir_ + "/lumo_client", "owner"});
  ASSERT_EQ(owner.read_line(20000), "ready 1");

  // Give the window time to be mapped and painted, then look at the screen.
  const std::string artifacts = dir_ + "/artifacts";
  mkdir(artifacts.c_str(), 0755);
  long blue = 0;
  for (int i = 0; i < 40 && blue < 15000; ++i) {
    usleep(100000);
    ChildProcess shot({dir_ + "/lumo_screenshot", artifacts + "/x11_window.png", "0000ff"});
    blue = std::atol(shot.read_line(10000).c_str());
    shot.wait_exit(10000);
  }
  // The owner filled 100 x 200 pixels with blue.
  EXPECT_GE(blue, 15000);
  owner.write_line("go");
  EXPECT_EQ(owner.wait_exit(20000), 0);
}

// A program that draws without pause (all of it posted, never waiting for an
// answer) still learns that the user closed its window, and ends.
TEST_F(X11Window, ClosingTheWindowEndsAProgramThatNeverWaits) {
  ChildProcess program({dir_ + "/lumo_client", "closable"});
  ASSERT_EQ(program.read_line(20000), "ready");
  int asked = 0;
  for (int i = 0; i < 50 && asked == 0; ++i) {
    usleep(100000);
    ChildProcess close({dir_ + "/lumo_close_window", "Closable"});
    asked = std::atoi(close.read_line(10000).c_str());
    close.wait_exit(10000);
  }
  ASSERT_EQ(asked, 1);
  const int status = program.wait_exit(10000);
  ASSERT_NE(status, -1) << "the program went on drawing into a closed window";
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

namespace {

// The server's own dialogs, driven as a user would with keys sent by
// xdotool.  Returns the dialog's window id, "" when none came.
std::string dialog_window(const std::string& xdotool) {
  ChildProcess search({xdotool, "search", "--sync", "--onlyvisible", "--classname", "lumoview"});
  const std::string id = search.read_line(10000);
  search.wait_exit(10000);
  return id;
}

// Whether every dialog went away within about two seconds.
bool dialogs_gone(const std::string& xdotool) {
  for (int i = 0; i < 20; ++i) {
    ChildProcess search({xdotool, "search", "--onlyvisible", "--classname", "lumoview"});
    const int status = search.wait_exit(10000);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 1) return true;  // none found
    usleep(100000);
  }
  return false;
}

// Keys as the user types them, into the dialog once it has the focus.
void send_keys(const std::string& xdotool, const std::vector<std::string>& what) {
  const std::string id = dialog_window(xdotool);
  ASSERT_FALSE(id.empty()) << "no dialog came";
  std::string focus;
  for (int i = 0; i < 100 && focus != id; ++i) {
    ChildProcess ask({xdotool, "getwindowfocus"});
    focus = ask.read_line(10000);
    ask.wait_exit(10000);
    if (focus != id) usleep(50000);
  }
  ASSERT_EQ(focus, id) << "the dialog did not take the focus";
  std::vector<std::string> argv = {xdotool};
  argv.insert(argv.end(), what.begin(), what.end());
  ChildProcess keys(argv);
  EXPECT_EQ(WEXITSTATUS(keys.wait_exit(10000)), 0);
}

// Gives the keyboard a key for `sym` unless its layout has one, as a German
// or Swedish layout has "ö".  Without it xdotool binds a spare key for each
// such letter and takes it back a few milliseconds later: a window that
// reads the key after that, on a busy machine, finds it bound to nothing.
bool layout_has(KeySym sym) {
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) return false;
  int low = 0, high = 0, per = 0;
  XDisplayKeycodes(d, &low, &high);
  KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(low), high - low + 1, &per);
  int spare = 0;
  bool found = false;
  for (int code = high; code >= low && !found; --code) {
    bool empty = true;
    for (int i = 0; i < per; ++i) {
      const KeySym s = map[(code - low) * per + i];
      found = found || s == sym;
      empty = empty && s == NoSymbol;
    }
    if (empty && spare == 0) spare = code;
  }
  XFree(map);
  if (!found && spare != 0) {
    KeySym both[2] = {sym, sym};
    XChangeKeyboardMapping(d, spare, 2, both, 1);
    XSync(d, False);
    found = true;
  }
  XCloseDisplay(d);
  return found;
}

}  // namespace

// A question, a prompt answered, a prompt cancelled and a file named in the
// program's own folder: on a desktop with nothing but the kit installed.
TEST_F(X11Window, DialogsAreShownAndAnsweredOnTheDesktop) {
  std::string xdotool;
  if (!find_program("xdotool", &xdotool)) GTEST_SKIP() << "xdotool is not installed";
  ChildProcess program({dir_ + "/lumo_client", "prompts", "file"});
  send_keys(xdotool, {"key", "y"});
  EXPECT_EQ(program.read_line(20000), "ask=1");
  // Typed while the server is busy elsewhere: the keys wait for it, the
  // letter beyond ASCII too.
  ASSERT_TRUE(layout_has(XK_odiaeresis));
  kill(server_->pid(), SIGSTOP);
  send_keys(xdotool, {"type", "Ada L\xc3\xb6velace"});
  usleep(200000);
  kill(server_->pid(), SIGCONT);
  send_keys(xdotool, {"key", "Return"});
  EXPECT_EQ(program.read_line(20000), "prompt=13:Ada L\xc3\xb6velace");
  send_keys(xdotool, {"type", "not this"});
  send_keys(xdotool, {"key", "Escape"});
  EXPECT_EQ(program.read_line(20000), "cancelled=0:unchanged");
  send_keys(xdotool, {"type", "result.dat"});
  send_keys(xdotool, {"key", "Return"});
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  EXPECT_EQ(program.read_line(20000), "file=" + std::to_string(std::string(here).size() + 11) + ":" +
                                          std::string(here) + "/result.dat");
  EXPECT_EQ(program.wait_exit(20000), 0);
}

// A program that ends while its dialog is up takes the dialog with it, and
// the server goes on: it still answers the desktop, so closing the window
// the program left behind lets it end.
TEST_F(X11Window, ADialogGoesWithTheProgramThatAskedAndTheServerGoesOn) {
  std::string xdotool;
  if (!find_program("xdotool", &xdotool)) GTEST_SKIP() << "xdotool is not installed";
  {
    ChildProcess program({dir_ + "/lumo_client", "prompts"});
    ASSERT_FALSE(dialog_window(xdotool).empty());
    program.kill_now();
  }
  ASSERT_TRUE(dialogs_gone(xdotool));
  EXPECT_EQ(server_->wait_exit(1500), -1) << "the server ended with its window still shown";
  ChildProcess close({dir_ + "/lumo_close_window", "Graphics Window"});
  EXPECT_EQ(close.read_line(10000), "1");
  close.wait_exit(10000);
  EXPECT_GE(server_->wait_exit(8000), 0) << "the server did not see its window closed";
}

namespace {

// What a window manager reads of the top-level window titled `title`:
// "fixed" when its least and most sizes are its size, "plain" when the
// Motif hints ask for no decorations, "above" when it asks to stay on top.
std::string look_of(const char* title) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return "no display";
  std::string look = "no window";
  ::Window root, parent, *children = nullptr;
  unsigned count = 0;
  XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
  for (unsigned i = 0; i < count; ++i) {
    char* name = nullptr;
    if (!XFetchName(d, children[i], &name) || !name) continue;
    const bool it = std::string(name) == title;
    XFree(name);
    if (!it) continue;
    XSizeHints hints{};
    long supplied = 0;
    const bool fixed = XGetWMNormalHints(d, children[i], &hints, &supplied) &&
                       (hints.flags & PMinSize) && (hints.flags & PMaxSize) &&
                       hints.min_width == hints.max_width && hints.min_height == hints.max_height;
    auto property = [&](const char* atom, long* first) {
      Atom type;
      int format;
      unsigned long n = 0, left;
      unsigned char* data = nullptr;
      const bool got = XGetWindowProperty(d, children[i], XInternAtom(d, atom, False), 0, 5, False,
                                          AnyPropertyType, &type, &format, &n, &left, &data) == Success &&
                       data && n > 0;
      if (got) std::memcpy(first, data + (std::string(atom) == "_MOTIF_WM_HINTS" ? 2 * sizeof(long) : 0), sizeof(long));
      if (data) XFree(data);
      return got;
    };
    long decorations = 1, state = 0;
    const bool plain = property("_MOTIF_WM_HINTS", &decorations) && decorations == 0;
    const bool above = property("_NET_WM_STATE", &state) &&
                       static_cast<Atom>(state) == XInternAtom(d, "_NET_WM_STATE_ABOVE", False);
    look = std::string(fixed ? "fixed" : "sizable") + (plain ? " plain" : " framed") + (above ? " above" : "");
  }
  if (children) XFree(children);
  XCloseDisplay(d);
  return look;
}

}  // namespace

// The display switches a program hands over (on top, no borders, not
// resizable) shape its windows, read back as set; a switch changed later
// reaches the window already shown.
TEST_F(X11Window, DisplaySwitchesShapeTheWindows) {
  ChildProcess program({dir_ + "/lumo_client", "look"});
  ASSERT_EQ(program.read_line(20000), "switches=100");
  EXPECT_EQ(look_of("Look"), "fixed plain above");
  ASSERT_TRUE(program.write_line("go"));
  ASSERT_EQ(program.read_line(20000), "resizable=1");
  EXPECT_EQ(look_of("Look"), "sizable plain above");
  ASSERT_TRUE(program.write_line("end"));
  EXPECT_EQ(program.wait_exit(20000), 0);
}

// A title beyond ASCII reads the same to window managers that read
// _NET_WM_NAME (UTF-8) and to those that read WM_NAME (Latin-1 text).
TEST_F(X11Window, TitlesBeyondAsciiReadRightInBothNames) {
  ChildProcess program({dir_ + "/lumo_client", "accented"});
  ASSERT_EQ(program.read_line(20000), "opened");
  const std::string want = "Temp\xc3\xa9rature";
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  std::string net_name, wm_name;
  for (int attempt = 0; attempt < 50 && net_name != want; ++attempt) {
    ::Window root, parent, *children = nullptr;
    unsigned count = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count; ++i) {
      Atom type;
      int format;
      unsigned long n = 0, left;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(d, children[i], XInternAtom(d, "_NET_WM_NAME", False), 0, 64, False,
                             XInternAtom(d, "UTF8_STRING", False), &type, &format, &n, &left, &data) == Success &&
          data) {
        if (std::string(reinterpret_cast<char*>(data), n) == want) {
          net_name = want;
          XTextProperty text{};
          char** list = nullptr;
          int texts = 0;
          if (XGetWMName(d, children[i], &text) && Xutf8TextPropertyToTextList(d, &text, &list, &texts) >= Success &&
              texts > 0) {
            wm_name = list[0];
          }
          if (list) XFreeStringList(list);
          if (text.value) XFree(text.value);
        }
        XFree(data);
      }
    }
    if (children) XFree(children);
    if (net_name != want) usleep(100000);
  }
  XCloseDisplay(d);
  EXPECT_EQ(net_name, want);
  EXPECT_EQ(wm_name, want);
  ASSERT_TRUE(program.write_line("end"));
  EXPECT_EQ(program.wait_exit(20000), 0);
}

// With a display the server ends once no program is linked and no window
// is shown: a hidden window keeps nobody waiting.
TEST_F(X11Window, AHiddenWindowDoesNotKeepTheServerRunning) {
  setenv("LUMODIR", (dir_ + "/../bin").c_str(), 1);
  ChildProcess program({dir_ + "/lumo_client", "hide"});
  EXPECT_EQ(program.read_line(20000), "hidden=1");
  EXPECT_EQ(program.wait_exit(20000), 0);
  unsetenv("LUMODIR");
  EXPECT_GE(server_->wait_exit(8000), 0) << "the server stayed";
}

namespace {

// Real input on the desktop: xdotool clicks, turns the wheel and types in
// the picker sample's window; the sample prints the world coordinates the
// server and the library made of it (the chart spans x -0.5..10.5 and
// y -1.2..1.2 over 640 x 480 pixels; the wheel zooms y by 1.25).
TEST_F(X11Window, ClicksKeysAndTheWheelReachTheProgram) {
  std::string xdotool;
  if (!find_program("xdotool", &xdotool)) GTEST_SKIP() << "xdotool is not installed";
  ChildProcess picker({dir_ + "/../bin/picker"});
  ASSERT_NE(picker.read_line(20000).find("Click points"), std::string::npos);
  ChildProcess search({xdotool, "search", "--sync", "--onlyvisible", "--name", "picker"});
  const std::string id = search.read_line(20000);
  search.wait_exit(10000);
  ASSERT_FALSE(id.empty());
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), xdotool);
    ChildProcess p(args);
    EXPECT_EQ(p.wait_exit(10000), 0) << args[1];
  };
  run({"mousemove", "--sync", "--window", id, "320", "240", "click", "1"});
  EXPECT_EQ(picker.read_line(10000), "point 1: x = 5.000  y = 0.000  (button 1)");
  run({"mousemove", "--sync", "--window", id, "100", "100", "click", "3"});
  EXPECT_EQ(picker.read_line(10000), "point 2: x = 1.219  y = 0.700  (button 3)");
  run({"click", "4"});  // the wheel, away from the user: y shows 0.96 each way
  run({"mousemove", "--sync", "--window", id, "0", "479", "click", "2"});
  EXPECT_EQ(picker.read_line(10000), "point 3: x = -0.500  y = -0.956  (button 2)");
  run({"windowfocus", "--sync", id});
  run({"key", "--window", id, "q"});
  EXPECT_EQ(picker.read_line(10000), "3 points");
  EXPECT_EQ(picker.wait_exit(10000), 0);
}

}  // namespace

namespace {

// A program waiting for input learns that its server died as every other
// command does: the message, exit status 1, no hang.
TEST_F(X11Window, AWaitEndsWhenTheServerDies) {
  ChildProcess picker({dir_ + "/../bin/picker"}, true);
  ASSERT_NE(picker.read_line(20000).find("Click points"), std::string::npos);
  usleep(300000);  // waiting by now
  server_->kill_now();
  const int status = picker.wait_exit(10000);
  ASSERT_NE(status, -1) << "the program went on waiting for a dead server";
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
