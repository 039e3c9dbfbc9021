#pragma once

// Skinned windows on the Win32 desktop as MSAA clients see them: a host
// window built from markup, and the outside client program (msaa_client.exe,
// built beside the test binary) run as a child process.

#include <functional>
#include <string>

#include "ui/host/window_impl_base.h"

// After the ui headers: winuser.h's text macros would clash with the render
// interfaces' own.
#include <windows.h>
// After windows.h, which it needs.
#include <oleacc.h>

namespace ui {
namespace msaa_test {

// Dispatches this thread's messages (clients' calls arrive through them)
// until `done` or `timeout_ms`; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 5000);
void PumpFor(int ms);

// A host window built from markup text, on the desktop, kept by the test.
class SkinWindow : public WindowImplBase {
 public:
  explicit SkinWindow(std::wstring markup) : markup_(std::move(markup)) { SetDeleteOnFinal(false); }
  std::wstring GetSkinFolder() override { return L""; }
  std::wstring GetSkinFile() override { return markup_; }
  std::wstring GetWindowClassName() const override { return L"MsaaTestWindow"; }
  void OnInitLayout() override {
    WindowImplBase::OnInitLayout();
    laid_out = true;
  }
  void OnFinalMessage() override {
    WindowImplBase::OnFinalMessage();
    destroyed = true;
  }
  // Made with a title of its own, shown at `x`,`y` and laid out; false when
  // the desktop has no room for windows (no display).
  bool Open(const std::wstring& title, int x, int y);
  HWND hwnd() const { return hwnd_; }
  // The screen rect of `control` as the window shows it.
  RECT ScreenRect(const Control* control) const;

  bool laid_out = false;
  bool destroyed = false;

 private:
  std::wstring markup_;
  HWND hwnd_ = nullptr;
};

// The outside client: one command line in, one answer line out (see
// msaa_client.cc).
class ClientProcess {
 public:
  ClientProcess() = default;
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;
  ~ClientProcess();

  // False when the program is missing or did not answer.
  bool Start();
  // The answer to `command`, waited for while this thread's messages are
  // dispatched; "timeout" when none came.
  std::string Ask(const std::string& command, int timeout_ms = 15000);
  // Whether the process is still running.
  bool Running() const;

 private:
  bool ReadLine(std::string* line, int timeout_ms);

  HANDLE process_ = nullptr;
  HANDLE to_child_ = nullptr;
  HANDLE from_child_ = nullptr;
  std::string pending_;
};

}  // namespace msaa_test
}  // namespace ui
