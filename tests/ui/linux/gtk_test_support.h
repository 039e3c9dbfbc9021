#pragma once

// Real GTK windows on the test's X server, driven by real X input (XTest).

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ui/host/window_impl_base.h"
#include "ui/native/linux/gtk_window.h"

namespace ui {

// Starts a private Xvfb and opens GTK on it; false (the caller skips) when
// that cannot be done.
bool InitGtkForTest();
Display* TestXDisplay();

// Runs the main context until `done` or `timeout_ms`; returns `done ()`.
bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 3000);
void PumpFor(int ms);

// Input through XTest, in root coordinates.
void FakeMove(int x, int y);
void FakeButton(unsigned button, bool press);
void FakeClick(int x, int y, unsigned button = 1);
void FakeKey(unsigned long keysym, bool press);
void FakeType(const std::string& text);

// RGB of a screen rect as X shows it (what a screenshot shows).
std::vector<uint32_t> GrabScreen(Display* display, int x, int y, int width, int height);

// A host window built from markup text, closed and freed by the fixture.
class MarkupWindow : public WindowImplBase {
 public:
  explicit MarkupWindow(std::wstring markup, std::wstring folder = L"")
      : markup_(std::move(markup)), folder_(std::move(folder)) {
    SetDeleteOnFinal(false);
  }
  std::wstring GetSkinFolder() override { return folder_; }
  std::wstring GetSkinFile() override { return markup_; }
  std::wstring GetWindowClassName() const override { return L"TestWindow"; }
  void OnInitLayout() override {
    WindowImplBase::OnInitLayout();
    laid_out = true;
  }
  void OnFinalMessage() override {
    WindowImplBase::OnFinalMessage();
    destroyed = true;
  }
  GtkNativeWindow* gtk() const { return static_cast<GtkNativeWindow*>(GetNativeWindow()); }
  // Root coordinates of a client point.
  CPoint ToScreen(CPoint point) const;
  // Shows the window at `x`,`y` and waits until it is drawn.
  bool ShowAt(int x, int y, bool take_focus = true);

  bool laid_out = false;
  bool destroyed = false;

 private:
  std::wstring markup_;
  std::wstring folder_;
};

}  // namespace ui
