#pragma once

// A native window that lives in memory: it keeps what was presented as a
// pixel buffer, queues posted tasks until they are run, and takes synthetic
// input. Tests, the skin inspector and benchmarks drive windows with it.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/native/native_window.h"

namespace ui {

class HeadlessWindow : public NativeWindow {
 public:
  HeadlessWindow() = default;
  HeadlessWindow(const HeadlessWindow&) = delete;
  HeadlessWindow& operator=(const HeadlessWindow&) = delete;
  ~HeadlessWindow() override;

  // NativeWindow.
  void SetDelegate(NativeWindowDelegate* delegate) override { delegate_ = delegate; }
  bool Create(NativeWindow* owner, const std::wstring& title, const UiRect& rect,
              bool layered) override;
  bool IsValid() const override { return valid_; }
  void Close() override;
  void Destroy() override;
  NativeWindow* GetOwner() const override { return owner_.get(); }
  void Show(bool show, bool take_focus) override;
  bool IsVisible() const override { return visible_; }
  bool IsMinimized() const override { return minimized_; }
  bool IsMaximized() const override { return maximized_; }
  UiRect GetWindowRect() const override { return rect_; }
  CSize GetClientSize() const override { return CSize(rect_.GetWidth(), rect_.GetHeight()); }
  void SetWindowRect(const UiRect& rect, bool repaint) override;
  void SetTitle(const std::wstring& title) override { title_ = title; }
  void SetOpacity(uint8_t alpha) override { opacity_ = alpha; }
  void Invalidate(const UiRect& rect) override;
  void Present(IRenderContext* context, const UiRect& area) override;
  void SetCapture() override { capture_ = true; }
  void ReleaseCapture() override { capture_ = false; }
  bool HasCapture() const override { return capture_; }
  void TakeFocus() override;
  bool HasFocus() const override { return focus_; }
  void SetCursor(NativeCursor cursor) override { cursor_ = cursor; }
  CPoint GetCursorPos() const override { return cursor_pos_; }
  void ShowToolTip(const std::wstring& text, const UiRect& rect, int max_width) override;
  void HideToolTip() override { tooltip_visible_ = false; }
  void PostTask(std::function<void()> task) override { tasks_.push_back(std::move(task)); }
  void SetShowState(NativeShowState state) override;
  bool HasAlphaChannel() const override { return alpha_channel_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool IsEnabled() const override { return enabled_; }
  // Stands for a desktop without compositing.
  void SetAlphaChannel(bool alpha) { alpha_channel_ = alpha; }
  std::unique_ptr<NativeWindow> CreatePopup() override;
  UiRect GetWorkArea() const override { return work_area_; }

  // The work area is empty (unknown) until set; popups made from this window
  // inherit it. The popups currently alive, oldest first.
  void SetWorkArea(const UiRect& area) { work_area_ = area; }
  bool IsPopup() const { return popup_owner_ != nullptr || popup_; }
  const std::vector<HeadlessWindow*>& GetPopups() const { return popups_; }
  HeadlessWindow* GetLastPopup() const { return popups_.empty() ? nullptr : popups_.back(); }

  // Paints what was invalidated (the delegate lays out, paints and presents).
  // False when nothing was pending.
  bool PaintPending();
  // Invalidates the whole client area and paints it.
  void PaintAll();
  const UiRect& GetUpdateRect() const { return update_rect_; }

  // Runs posted tasks, including those they post, up to `limit` of them.
  size_t RunPendingTasks(size_t limit = 10000);
  size_t GetPendingTaskCount() const { return tasks_.size(); }

  // Synthetic input; each returns whether the delegate handled the message.
  bool Send(const NativeMessage& message);
  bool MouseMove(CPoint point);
  bool ButtonDown(CPoint point);
  bool ButtonUp(CPoint point);
  // Down then up at one point. A press also takes the focus from whichever
  // headless window of this thread had it, as a click activates a window.
  void Click(CPoint point);
  bool RightButtonDown(CPoint point);
  bool RightButtonUp(CPoint point);
  bool ContextMenu(CPoint point);
  bool DoubleClick(CPoint point);
  bool Wheel(CPoint point, int delta);
  bool Hover(CPoint point);
  bool MouseLeave();
  bool KeyDown(int key_code);
  bool KeyUp(int key_code);
  bool Char(wchar_t character);
  // Takes the focus away (to no window of this thread).
  bool LoseFocus();
  // Resizes the client area, tells the delegate and repaints everything.
  void Resize(CSize client_size);

  // The presented pixels: premultiplied ARGB (0xAARRGGBB), rows top-down.
  int GetFrameWidth() const { return frame_width_; }
  int GetFrameHeight() const { return frame_height_; }
  uint32_t GetPixel(int x, int y) const;
  const std::vector<uint32_t>& GetPixels() const { return frame_; }
  size_t GetPresentCount() const { return present_count_; }
  bool WritePng(const std::string& path) const;

  NativeCursor GetCursor() const { return cursor_; }
  uint8_t GetOpacity() const { return opacity_; }
  const std::wstring& GetTitle() const { return title_; }
  bool IsLayered() const { return layered_; }
  bool IsToolTipVisible() const { return tooltip_visible_; }
  const std::wstring& GetToolTipText() const { return tooltip_text_; }
  const UiRect& GetToolTipRect() const { return tooltip_rect_; }
  int GetToolTipMaxWidth() const { return tooltip_max_width_; }

 private:
  bool SendPointMessage(NativeMessageType type, CPoint point, intptr_t w_param = 0);

  NativeWindowDelegate* delegate_ = nullptr;
  bool popup_ = false;
  HeadlessWindow* popup_owner_ = nullptr;
  std::vector<HeadlessWindow*> popups_;
  UiRect work_area_;
  NativeWindowRef owner_;
  bool valid_ = false;
  bool visible_ = false;
  bool minimized_ = false;
  bool maximized_ = false;
  bool layered_ = true;
  bool alpha_channel_ = true;
  bool enabled_ = true;
  bool capture_ = false;
  bool focus_ = false;
  UiRect rect_;
  std::wstring title_;
  uint8_t opacity_ = 255;
  NativeCursor cursor_ = NativeCursor::kArrow;
  CPoint cursor_pos_{-1, -1};
  UiRect update_rect_;
  std::deque<std::function<void()>> tasks_;
  bool tooltip_visible_ = false;
  std::wstring tooltip_text_;
  UiRect tooltip_rect_;
  int tooltip_max_width_ = 0;
  int frame_width_ = 0;
  int frame_height_ = 0;
  std::vector<uint32_t> frame_;
  size_t present_count_ = 0;
};

}  // namespace ui
