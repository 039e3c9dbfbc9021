#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/control/button.h"
#include "ui/control/label.h"
#include "ui/control/rich_edit.h"
#include "ui/host/window_impl_base.h"

namespace corvane {

// Answers of the box.
enum MsgBoxRet {
  kMsgBoxYes = 0,  // "btn_yes"
  kMsgBoxNo = 1,   // "btn_no" or the caption's close button
};

// The installer's skinned question box ("msgbox/msgbox.xml"): it disables
// its owner while open and delivers one answer later, posted to the UI
// thread, never inside the click that gave it.
class MsgBox : public ui::WindowImplBase {
 public:
  using Callback = std::function<void(int)>;

  std::wstring GetSkinFolder() override { return L"msgbox"; }
  std::wstring GetSkinFile() override { return L"msgbox.xml"; }
  std::wstring GetWindowClassName() const override { return L"MsgBox"; }
  void InitWindow() override;
  // Escape is the box's cancel.
  bool OnNativeMessage(const ui::NativeMessage& message) override;

  // Answers as the cancel button does.
  void Cancel() { EndMsgBox(kMsgBoxNo); }

  // Closes the box and posts `result` to the callback (once).
  void EndMsgBox(int result);

 private:
  friend MsgBox* ShowMsgBox(ui::WindowImplBase*, Callback, const std::wstring&, bool,
                            const std::wstring&, bool, const std::wstring&, bool,
                            const std::wstring&, bool, std::unique_ptr<ui::NativeWindow>);
  bool OnClicked(const ui::EventArgs& event);

  ui::Label* title_ = nullptr;
  ui::RichEdit* content_ = nullptr;
  ui::Button* yes_ = nullptr;
  ui::Button* no_ = nullptr;
  Callback callback_;
  bool ended_ = false;
};

// Creates and shows a box over `owner`; each *_is_id says the text is a
// language-string identifier. An empty button text hides that button. Null
// (and the callback dropped) when the box cannot be created. `native` is the
// window to use (GTK when null).
MsgBox* ShowMsgBox(ui::WindowImplBase* owner, MsgBox::Callback callback,
                   const std::wstring& content, bool content_is_id, const std::wstring& title,
                   bool title_is_id, const std::wstring& confirm, bool confirm_is_id,
                   const std::wstring& cancel, bool cancel_is_id,
                   std::unique_ptr<ui::NativeWindow> native = nullptr);

}  // namespace corvane
