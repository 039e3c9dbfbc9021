// An idle native window on Windows: a layered window painted once by hand,
// the timer service's tick source with nothing pending, and the base
// library's UI loop running the thread's message queue. With the argument
// "animate" a timer of the service repaints the window at every 16 ms tick
// instead, which shows what the count looks like for a busy window. It
// prints "shown",
// spins its UI thread for a moment (so that an outside observer can tell
// which thread it is by its CPU time), prints "idle" and then only waits.
// scripts/bench-idle-window counts the wake-ups of its threads under Wine.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "base/message_loop.h"
#include "ui/animation/timer_manager.h"
#include "ui/native/win/win_window.h"
#include "ui/render/pixel_image.h"

namespace {

class IdleWindow : public ui::NativeWindowDelegate {
 public:
  explicit IdleWindow(ui::WinNativeWindow* window) : window_(window) {}
  bool OnNativeMessage(const ui::NativeMessage&) override { return false; }
  void OnNativePaint(const ui::UiRect& area) override {
    const ui::CSize size = window_->GetClientSize();
    if (!image_ || image_->GetWidth() != size.cx || image_->GetHeight() != size.cy) {
      image_ = ui::PixelImage::Create(size.cx, size.cy);
      if (!image_) return;
      image_->ClearAlpha(ui::UiRect(0, 0, size.cx, size.cy), 0xFF);
    }
    window_->PresentImage(image_.get(), area);
    if (!shown_) {
      shown_ = true;
      std::puts("shown");
      std::fflush(stdout);
    }
  }
  void OnNativeDestroyed() override {}

 private:
  ui::WinNativeWindow* window_;
  std::shared_ptr<ui::PixelImage> image_;
  bool shown_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  const bool animate = argc > 1 && std::string(argv[1]) == "animate";
  nbase::UIMessageLoop loop;
  auto window = std::make_unique<ui::WinNativeWindow>();
  IdleWindow painter(window.get());
  window->SetDelegate(&painter);
  if (!window->Create(nullptr, L"idle", ui::UiRect(100, 100, 700, 500), true)) return 1;
  window->Invalidate(ui::UiRect(0, 0, 600, 400));
  window->Show(true, true);
  // The timer service exists, as in every skinned window, with nothing due
  // unless asked to animate.
  nbase::WeakCallbackFlag animation;
  if (animate) {
    ui::TimerManager::GetInstance()->AddCancelableTimer(
        animation.AcquireWeakFlag(), [&window] { window->Invalidate(ui::UiRect(0, 0, 10, 10)); },
        ui::TimerManager::kFastIntervalMs, ui::TimerManager::kRepeatForever);
  } else {
    ui::TimerManager::GetInstance();
  }
  loop.PostDelayedTask(
      [] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
        while (std::chrono::steady_clock::now() < end) {
        }
        std::puts("idle");
        std::fflush(stdout);
      },
      nbase::TimeDelta::FromMilliseconds(300));
  loop.Run();
  window->SetDelegate(nullptr);
  return 0;
}
