#pragma once

// Real Wine windows on the run's X display, driven from outside as a user
// would: X input through xdotool (XTest) and screenshots through xwd, both
// started as Unix programs (Wine runs them beside the test).

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ui {

// Whether Wine's windows here are X windows that xdotool reaches; `why`
// tells what is missing.
bool HaveXDesktop(std::string* why);

// Runs `script` with /bin/sh while this thread's messages are pumped; its
// exit status, or -1 when it did not end within `timeout_ms`. Its output
// (both streams) goes to `output`.
int RunUnix(const std::string& script, std::string* output = nullptr, int timeout_ms = 15000);
// xdotool with `arguments` (screen coordinates); true when it succeeded.
bool Xdo(const std::string& arguments);

// Dispatches this thread's messages for `ms`, or until `done`.
void PumpFor(int ms);
bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 5000);

// The X screen as xwd shows it: 0xRRGGBB per pixel.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};
std::optional<Screenshot> GrabScreen();

// The Unix path Wine maps a Windows path to.
std::string UnixPath(const std::wstring& windows_path);
// A fresh folder under the Windows temporary folder.
std::wstring MakeTempFolder();

}  // namespace ui
