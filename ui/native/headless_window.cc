#include "ui/native/headless_window.h"

#include <algorithm>
#include <cstring>

#include "ui/render/render.h"

namespace ui {

namespace {

// One window of a thread has the focus, as on a desktop.
thread_local HeadlessWindow* g_focused = nullptr;

}  // namespace

HeadlessWindow::~HeadlessWindow() {
  if (g_focused == this) g_focused = nullptr;
  for (HeadlessWindow* popup : popups_) popup->popup_owner_ = nullptr;
  if (popup_owner_) {
    std::vector<HeadlessWindow*>& list = popup_owner_->popups_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

std::unique_ptr<NativeWindow> HeadlessWindow::CreatePopup() {
  auto popup = std::make_unique<HeadlessWindow>();
  popup->popup_ = true;
  popup->popup_owner_ = this;
  popup->work_area_ = work_area_;
  popups_.push_back(popup.get());
  return popup;
}

bool HeadlessWindow::Create(NativeWindow* owner, const std::wstring& title, const UiRect& rect,
                            bool layered) {
  owner_ = NativeWindowRef(owner);
  title_ = title;
  rect_ = rect;
  rect_.right = std::max(rect_.right, rect_.left);
  rect_.bottom = std::max(rect_.bottom, rect_.top);
  layered_ = layered;
  valid_ = true;
  update_rect_ = UiRect(0, 0, rect_.GetWidth(), rect_.GetHeight());
  return true;
}

void HeadlessWindow::Close() {
  if (!valid_) return;
  NativeMessage message;
  message.type = NativeMessageType::kClose;
  if (delegate_ && delegate_->OnNativeMessage(message)) return;
  Destroy();
}

void HeadlessWindow::Destroy() {
  if (!valid_) return;
  valid_ = false;
  if (g_focused == this) g_focused = nullptr;
  focus_ = false;
  visible_ = false;
  tasks_.clear();
  if (delegate_) delegate_->OnNativeDestroyed();
}

void HeadlessWindow::Show(bool show, bool take_focus) {
  visible_ = show;
  if (show && take_focus) TakeFocus();
}

void HeadlessWindow::SetShowState(NativeShowState state) {
  maximized_ = state == NativeShowState::kMaximize;
  minimized_ = state == NativeShowState::kMinimize;
  NativeMessage message;
  message.type = NativeMessageType::kSize;
  message.w_param = maximized_ ? 2 : (minimized_ ? 1 : 0);
  if (delegate_) delegate_->OnNativeMessage(message);
  Invalidate(UiRect(0, 0, rect_.GetWidth(), rect_.GetHeight()));
}

void HeadlessWindow::SetWindowRect(const UiRect& rect, bool repaint) {
  const bool resized = rect.GetWidth() != rect_.GetWidth() || rect.GetHeight() != rect_.GetHeight();
  rect_ = rect;
  if (resized || repaint) Invalidate(UiRect(0, 0, rect_.GetWidth(), rect_.GetHeight()));
}

void HeadlessWindow::Invalidate(const UiRect& rect) {
  UiRect clipped = rect;
  if (!clipped.Intersect(UiRect(0, 0, rect_.GetWidth(), rect_.GetHeight()))) return;
  update_rect_.Union(clipped);
}

void HeadlessWindow::Present(IRenderContext* context, const UiRect& area) {
  if (!context) return;
  ++present_count_;
  const int width = context->GetWidth();
  const int height = context->GetHeight();
  if (width != frame_width_ || height != frame_height_) {
    frame_width_ = width;
    frame_height_ = height;
    frame_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  }
  const PixelImage* pixels = context->GetPixelImage();
  if (!pixels || width <= 0 || height <= 0) return;
  UiRect copy = area;
  if (!copy.Intersect(UiRect(0, 0, width, height))) return;
  for (int y = copy.top; y < copy.bottom; ++y) {
    const uint8_t* row = pixels->GetRow(y);
    std::memcpy(&frame_[static_cast<size_t>(y) * static_cast<size_t>(width) +
                        static_cast<size_t>(copy.left)],
                row + static_cast<size_t>(copy.left) * 4, static_cast<size_t>(copy.GetWidth()) * 4);
  }
}

void HeadlessWindow::TakeFocus() {
  if (focus_) return;
  if (g_focused && g_focused != this) g_focused->LoseFocus();
  g_focused = this;
  focus_ = true;
  NativeMessage message;
  message.type = NativeMessageType::kSetFocus;
  if (delegate_) delegate_->OnNativeMessage(message);
}

void HeadlessWindow::ShowToolTip(const std::wstring& text, const UiRect& rect, int max_width) {
  tooltip_visible_ = true;
  tooltip_text_ = text;
  tooltip_rect_ = rect;
  tooltip_max_width_ = max_width;
}

bool HeadlessWindow::PaintPending() {
  if (!valid_ || !delegate_ || update_rect_.IsRectEmpty()) return false;
  UiRect area = update_rect_;
  update_rect_.Clear();
  delegate_->OnNativePaint(area);
  return true;
}

void HeadlessWindow::PaintAll() {
  Invalidate(UiRect(0, 0, rect_.GetWidth(), rect_.GetHeight()));
  PaintPending();
}

size_t HeadlessWindow::RunPendingTasks(size_t limit) {
  size_t ran = 0;
  while (!tasks_.empty() && ran < limit) {
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    if (task) task();
    ++ran;
  }
  return ran;
}

bool HeadlessWindow::Send(const NativeMessage& message) {
  if (!valid_ || !delegate_) return false;
  // A disabled window (the owner of an open box) takes no input.
  const NativeMessageType t = message.type;
  if (!enabled_ && t != NativeMessageType::kSize && t != NativeMessageType::kClose &&
      t != NativeMessageType::kSetFocus && t != NativeMessageType::kKillFocus) {
    return false;
  }
  return delegate_->OnNativeMessage(message);
}

bool HeadlessWindow::SendPointMessage(NativeMessageType type, CPoint point, intptr_t w_param) {
  NativeMessage message;
  message.type = type;
  message.point = point;
  message.w_param = w_param;
  return Send(message);
}

bool HeadlessWindow::MouseMove(CPoint point) {
  cursor_pos_ = point;
  bool handled = SendPointMessage(NativeMessageType::kMouseMove, point);
  if (!capture_) SendPointMessage(NativeMessageType::kSetCursor, point);
  return handled;
}

bool HeadlessWindow::ButtonDown(CPoint point) {
  cursor_pos_ = point;
  return SendPointMessage(NativeMessageType::kLeftButtonDown, point);
}

bool HeadlessWindow::ButtonUp(CPoint point) {
  cursor_pos_ = point;
  return SendPointMessage(NativeMessageType::kLeftButtonUp, point);
}

void HeadlessWindow::Click(CPoint point) {
  ButtonDown(point);
  ButtonUp(point);
}

bool HeadlessWindow::RightButtonDown(CPoint point) {
  return SendPointMessage(NativeMessageType::kRightButtonDown, point);
}

bool HeadlessWindow::RightButtonUp(CPoint point) {
  return SendPointMessage(NativeMessageType::kRightButtonUp, point);
}

bool HeadlessWindow::ContextMenu(CPoint point) {
  return SendPointMessage(NativeMessageType::kContextMenu, point);
}

bool HeadlessWindow::DoubleClick(CPoint point) {
  return SendPointMessage(NativeMessageType::kLeftButtonDoubleClick, point);
}

bool HeadlessWindow::Wheel(CPoint point, int delta) {
  return SendPointMessage(NativeMessageType::kMouseWheel, point, delta);
}

bool HeadlessWindow::Hover(CPoint point) {
  return SendPointMessage(NativeMessageType::kMouseHover, point);
}

bool HeadlessWindow::MouseLeave() {
  cursor_pos_ = CPoint(-1, -1);
  return SendPointMessage(NativeMessageType::kMouseLeave, CPoint(-1, -1));
}

bool HeadlessWindow::KeyDown(int key_code) {
  return SendPointMessage(NativeMessageType::kKeyDown, cursor_pos_, key_code);
}

bool HeadlessWindow::KeyUp(int key_code) {
  return SendPointMessage(NativeMessageType::kKeyUp, cursor_pos_, key_code);
}

bool HeadlessWindow::Char(wchar_t character) {
  return SendPointMessage(NativeMessageType::kChar, cursor_pos_, character);
}

bool HeadlessWindow::LoseFocus() {
  if (g_focused == this) g_focused = nullptr;
  focus_ = false;
  return SendPointMessage(NativeMessageType::kKillFocus, cursor_pos_);
}

void HeadlessWindow::Resize(CSize client_size) {
  rect_.right = rect_.left + std::max(client_size.cx, 0);
  rect_.bottom = rect_.top + std::max(client_size.cy, 0);
  SendPointMessage(NativeMessageType::kSize, cursor_pos_, 0);
  PaintAll();
}

uint32_t HeadlessWindow::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= frame_width_ || y >= frame_height_) return 0;
  return frame_[static_cast<size_t>(y) * static_cast<size_t>(frame_width_) +
                static_cast<size_t>(x)];
}

bool HeadlessWindow::WritePng(const std::string& path) const {
  if (frame_width_ <= 0 || frame_height_ <= 0) return false;
  // The frame's words are the image's bytes on a little-endian machine; the
  // writer only reads them.
  std::shared_ptr<PixelImage> image =
      PixelImage::Wrap(reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(frame_.data())),
                       frame_width_, frame_height_, frame_width_ * 4);
  return image && WritePngFile(*image, path);
}

}  // namespace ui
