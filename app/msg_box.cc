#include "app/msg_box.h"

#include "app/installer_constants.h"
#include "base/framework_thread.h"
#include "ui/core/box.h"
#include "ui/core/global_manager.h"
#include "ui/native/key_codes.h"

namespace corvane {

namespace {

std::wstring Resolve(const std::wstring& text, bool is_id) {
  return is_id ? ui::GlobalManager::GetLanguageString(text) : text;
}

}  // namespace

void MsgBox::InitWindow() {
  if (auto* root = dynamic_cast<ui::Box*>(GetRoot())) {
    root->AttachBubbledEvent(ui::kEventClick, MakeWeakCallback([this](const ui::EventArgs& event) {
                               return OnClicked(event);
                             }));
  }
  title_ = dynamic_cast<ui::Label*>(FindControl(L"title"));
  content_ = dynamic_cast<ui::RichEdit*>(FindControl(L"content"));
  yes_ = dynamic_cast<ui::Button*>(FindControl(L"btn_yes"));
  no_ = dynamic_cast<ui::Button*>(FindControl(L"btn_no"));
}

bool MsgBox::OnNativeMessage(const ui::NativeMessage& message) {
  if (message.type == ui::NativeMessageType::kKeyDown && message.w_param == ui::kVkEscape &&
      (message.l_param & (ui::kKeyStateControl | ui::kKeyStateAlt)) == 0) {
    Cancel();
    return true;
  }
  return WindowImplBase::OnNativeMessage(message);
}

bool MsgBox::OnClicked(const ui::EventArgs& event) {
  const std::wstring& name = event.sender ? event.sender->GetName() : std::wstring();
  if (name == L"btn_yes") {
    EndMsgBox(kMsgBoxYes);
  } else if (name == L"btn_no" || name == L"closebtn") {
    EndMsgBox(kMsgBoxNo);
  }
  return true;
}

void MsgBox::EndMsgBox(int result) {
  // A second click during the fade-out must not answer twice.
  if (ended_) return;
  ended_ = true;
  Close(0);
  if (callback_) {
    nbase::ThreadRegistry::PostTaskToThread(kThreadUi,
                                            [callback = callback_, result] { callback(result); });
  }
}

MsgBox* ShowMsgBox(ui::WindowImplBase* owner, MsgBox::Callback callback,
                   const std::wstring& content, bool content_is_id, const std::wstring& title,
                   bool title_is_id, const std::wstring& confirm, bool confirm_is_id,
                   const std::wstring& cancel, bool cancel_is_id,
                   std::unique_ptr<ui::NativeWindow> native) {
  auto* box = new MsgBox();
  if (!box->Create(owner, L"", ui::UiRect(), true, std::move(native))) {
    delete box;
    return nullptr;
  }
  // A skin without its controls cannot ask anything: close it unanswered.
  if (!box->title_ || !box->content_ || !box->yes_ || !box->no_) {
    box->Close(0);
    return nullptr;
  }
  box->title_->SetText(Resolve(title, title_is_id));
  box->content_->SetText(Resolve(content, content_is_id));
  // The box grows with a longer text; the width stays the skin's.
  const ui::CSize natural = box->content_->GetNaturalSize(box->content_->GetFixedWidth());
  if (natural.cy > 0) box->content_->SetFixedHeight(natural.cy, false);

  const std::wstring yes = Resolve(confirm, confirm_is_id);
  const std::wstring no = Resolve(cancel, cancel_is_id);
  box->yes_->SetFadeVisible(!yes.empty());
  box->no_->SetFadeVisible(!no.empty());
  if (!yes.empty()) box->yes_->SetText(yes);
  if (!no.empty()) box->no_->SetText(no);
  box->callback_ = std::move(callback);
  box->ShowModalFake(owner);
  if (!yes.empty()) {
    box->yes_->SetFocus();
  } else if (!no.empty()) {
    box->no_->SetFocus();
  }
  return box;
}

}  // namespace corvane
