#pragma once

// The base of every application window: a borderless native window whose
// skin comes from the window builder, with the shadow box around the root,
// the system buttons wired by name and the non-client behaviour (caption
// dragging, sizing borders, maximised size, round corners, DPI changes).

#include <memory>
#include <string>

#include "ui/core/box.h"
#include "ui/core/window.h"

namespace ui {

class WindowImplBase : public Window {
 public:
  // Results of Close for the usual buttons.
  static constexpr int kIdOk = 1;
  static constexpr int kIdCancel = 2;
  static constexpr int kCloseDelayMs = 300;

  WindowImplBase();
  ~WindowImplBase() override;

  // Makes the native window (the desktop's unless `native` is given),
  // builds the skin and wires it. False when the skin cannot be built:
  // GetLastError tells why and no window is left open.
  bool Create(WindowImplBase* owner, const std::wstring& title, const UiRect& rect,
              bool layered = true, std::unique_ptr<NativeWindow> native = nullptr);
  const std::wstring& GetLastError() const { return last_error_; }

  // Fades out and closes after kCloseDelayMs; without root at once (posted).
  virtual void Close(int result = kIdOk);
  virtual void ShowWindow(bool show = true, bool take_focus = true);
  // Disables `owner` while this box is open and centres the box on it; the
  // owner gets its input back when the box closes.
  void ShowModalFake(WindowImplBase* owner);
  void CenterWindow();
  void ActiveWindow();
  void SetTaskbarTitle(const std::wstring& title);
  int GetCloseResult() const { return close_result_; }

  // The hit test of the non-client behaviour (client coordinates).
  NativeHitTest HitTest(CPoint point) const;

  // What subclasses supply.
  virtual std::wstring GetSkinFolder() = 0;
  virtual std::wstring GetSkinFile() = 0;
  virtual std::wstring GetWindowClassName() const = 0;
  virtual std::wstring GetWindowId() const { return std::wstring(); }
  // Lets the application find its controls once the skin is attached.
  virtual void InitWindow() {}
  // Controls for markup tags the builder does not know.
  virtual Control* CreateControl(const std::wstring& /*class_name*/) { return nullptr; }

  // Handlers; each returns true when it fully handled the message.
  virtual bool OnClose() { return false; }
  virtual void OnDestroy() {}
  virtual void OnSize(int /*state*/) {}
  virtual void OnDpiChanged(int dpi);
  // After the native window is gone: window-close handlers, then the object
  // deletes itself unless SetDeleteOnFinal (false).
  virtual void OnFinalMessage();
  void SetDeleteOnFinal(bool value) { delete_on_final_ = value; }

  // NativeWindowDelegate.
  bool OnNativeMessage(const NativeMessage& message) override;
  void OnNativeDestroyed() override;
  NativeHitTest OnNativeHitTest(CPoint point) override { return HitTest(point); }
  void OnNativeDpiChanged(int dpi) override { OnDpiChanged(dpi); }

 protected:
  void WireSystemButtons();
  // An auto-sized root: the window takes the size its content asks for now.
  void FitToContent();
  void ApplyShadowPadding(bool with_shadow);
  void ApplyNativeGeometry();

  // The window this box disabled; null once it is gone.
  WindowImplBase* ModalOwner() const {
    return modal_owner_alive_.expired() ? nullptr : modal_owner_;
  }
  void ReleaseModalOwner();

  std::wstring last_error_;
  WindowImplBase* modal_owner_ = nullptr;
  std::weak_ptr<nbase::WeakFlag> modal_owner_alive_;
  int close_result_ = 0;
  bool delete_on_final_ = true;
  bool closing_ = false;
};

}  // namespace ui
