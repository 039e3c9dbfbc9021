#pragma once

// Drives a running program's windows as a user would, through the X server:
// finds its top-level windows, clicks and types with XTest, takes screenshots,
// and learns where the controls are from the skin inspector.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace window_driver {

// A program to run: one of this machine, or a Windows program under Wine,
// which names this machine's files through its drive Z:.
struct Program {
  std::string path;
  // The Wine loader; empty for a program of this machine.
  std::string wine;

  bool under_wine() const { return !wine.empty(); }
  // The argument vector that starts it with `args`.
  std::vector<std::string> Command(const std::vector<std::string>& args = {}) const;
  // `unix_path` as the program names it ("Z:\\tmp\\x" under Wine).
  std::string FileName(const std::string& unix_path) const;
};

// The Wine loader to run Windows programs with: $CORVANE_WINE when set,
// else Debian's 64-bit loader, else "wine" from the search path.
std::string WineLoader();
// What a Windows program under Wine calls `unix_path`.
std::string WineFileName(const std::string& unix_path);

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  int centre_x() const { return (left + right) / 2; }
  int centre_y() const { return (top + bottom) / 2; }
  Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  bool operator==(const Rect&) const = default;
};

// An opaque picture, 0xRRGGBB per pixel, row by row.
class Picture {
 public:
  Picture() = default;
  Picture(int width, int height) : width_(width), height_(height) {
    pixels_.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  }
  static std::optional<Picture> ReadPng(const std::string& path);
  bool WritePng(const std::string& path) const;

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return pixels_.empty(); }
  uint32_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  void Set(int x, int y, uint32_t rgb) { pixels_[static_cast<size_t>(y) * width_ + x] = rgb; }
  // The part inside `rect` (clipped to the picture).
  Picture Crop(const Rect& rect) const;
  size_t DistinctColours() const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

// Pixels of which some colour channel differs by more than `tolerance`,
// skipping those inside `ignore`; a size mismatch counts every pixel.
int CountDiffering(const Picture& a, const Picture& b, int tolerance,
                   const std::vector<Rect>& ignore = {});
// The bounding box of those pixels and the largest channel difference, as
// text for a failure message.
std::string DescribeDifference(const Picture& a, const Picture& b, int tolerance,
                               const std::vector<Rect>& ignore = {});

// A skin laid out by the skin inspector: the control tree with the
// rectangles in window coordinates (shadow included) and the painted picture.
class SkinLayout {
 public:
  struct Control {
    std::string type;
    std::string name;
    Rect rect;
    bool visible = false;
  };

  // Runs `inspector` with `args` (the skin and its options, without --png;
  // file names as the inspector names them).
  static std::optional<SkinLayout> Inspect(const Program& inspector,
                                           const std::vector<std::string>& args,
                                           std::string* error);
  static std::optional<SkinLayout> Inspect(const std::string& inspector,
                                           const std::vector<std::string>& args,
                                           std::string* error) {
    return Inspect(Program{inspector, {}}, args, error);
  }

  // The first visible control of that name, else the first of that name.
  std::optional<Rect> Find(const std::string& name) const;
  const std::vector<Control>& controls() const { return controls_; }
  // The control the keyboard focus is on (the inspector's --tab), or "".
  const std::string& focus() const { return focus_; }
  // The skin's root box: the window without its shadow.
  Rect root() const { return root_; }
  int width() const { return width_; }
  int height() const { return height_; }
  const Picture& picture() const { return picture_; }
  // What a window of the given client size shows: the whole picture when it
  // has the shadow's size, else the root (an uncomposited screen drops the
  // shadow).
  Picture PictureFor(int client_width, int client_height) const;
  // Offset of the skin's coordinates inside such a window.
  int OffsetFor(int client_width) const { return client_width == width_ ? 0 : -root_.left; }

 private:
  std::vector<Control> controls_;
  std::string focus_;
  Rect root_;
  int width_ = 0;
  int height_ = 0;
  Picture picture_;
};

struct TopLevel {
  unsigned long id = 0;
  Rect rect;  // root coordinates
  std::string title;
  // WM_CLASS's class part: the program's name (Wine: "program.exe").
  std::string wm_class;
  pid_t pid = 0;  // _NET_WM_PID; a Windows program's is its Wine process
};

// A connection to an X server with XTest.
class XSession {
 public:
  XSession() = default;
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;
  ~XSession();

  // `display` "" means $DISPLAY.
  bool Open(const std::string& display = "");
  // The viewable top-level windows, bottom first.
  std::vector<TopLevel> TopLevels();
  // Those owned by `pid` (_NET_WM_PID).
  std::vector<TopLevel> WindowsOf(pid_t pid);
  // Those of a program (WM_CLASS), whichever process shows them: how a
  // Windows program's windows are found, whatever process Wine runs it in.
  std::vector<TopLevel> WindowsOfClass(const std::string& wm_class);
  // Waits until a window of `pid` satisfies `match`.
  std::optional<TopLevel> WaitForWindow(pid_t pid,
                                        const std::function<bool(const TopLevel&)>& match,
                                        int timeout_ms);
  std::optional<TopLevel> Refresh(const TopLevel& window);

  void MoveTo(int x, int y);
  void Click(int x, int y);
  // Asks a window to close, as a window manager's close button does
  // (WM_DELETE_WINDOW).
  void RequestClose(const TopLevel& window);
  // Presses and releases a key given by its keysym name ("Return", "a"),
  // with `modifier` (a keysym name such as "Shift_L") held when not empty.
  void Key(const std::string& keysym_name, const std::string& modifier = "");
  // Types printable ASCII text key by key, with Shift where a character
  // needs it.
  void Type(const std::string& text);
  int screen_width() const;
  int screen_height() const;
  Picture Grab(const Rect& rect);
  // Moves the pointer off every window and lets hover effects settle.
  void Park(int settle_ms = 400);

 private:
  void* display_ = nullptr;  // Display*
};

void SleepMs(int ms);

}  // namespace window_driver
