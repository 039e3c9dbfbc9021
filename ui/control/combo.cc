#include "ui/control/combo.h"

#include <algorithm>

#include "ui/control/scroll_bar.h"
#include "ui/core/global_manager.h"
#include "ui/native/key_codes.h"
#include "ui/render/render.h"

namespace ui {

namespace {

constexpr int kDefaultDropHeight = 150;

}  // namespace

// CComboWnd ----------------------------------------------------------------------

CComboWnd::CComboWnd(Combo* owner) : owner_(owner) {
  SetShadowAttached(false);
  SetLayered(false);
}

CComboWnd::~CComboWnd() {
  ReturnList();
  if (native_ && native_->IsValid()) {
    native_->SetDelegate(nullptr);
    native_->Destroy();
  }
}

UiRect CComboWnd::ComputeRect() const {
  Window* owner_window = owner_->GetWindow();
  NativeWindow* owner_native = owner_window ? owner_window->GetNativeWindow() : nullptr;
  UiRect field = owner_->GetPos();
  const CPoint scroll = owner_->GetScrollOffset();
  field.Offset(-scroll.x, -scroll.y);
  if (owner_native) {
    const UiRect frame = owner_native->GetWindowRect();
    field.Offset(frame.left, frame.top);
  }
  const CSize box = owner_->GetDropBoxSize();
  const int width = box.cx > 0 ? box.cx : field.GetWidth();
  ListBox* list = owner_->GetListBox();
  int height = 2;
  for (size_t i = 0; i < list->GetCount(); ++i) {
    Control* item = list->GetItemAt(i);
    if (!item->IsVisible()) continue;
    height += item->EstimateSize(CSize(width, kMaxLength)).cy;
    if (height >= box.cy) break;
  }
  height = std::min(height, box.cy);
  UiRect rect(field.left, field.bottom + 1, field.left + width, field.bottom + 1 + height);
  const UiRect work = owner_native ? owner_native->GetWorkArea() : UiRect();
  const bool too_low = !work.IsRectEmpty() && rect.bottom > work.bottom;
  if (too_low || owner_->IsPopupTop()) {
    rect.bottom = field.top;
    rect.top = field.top - height;
  }
  return rect;
}

bool CComboWnd::Open() {
  Window* owner_window = owner_->GetWindow();
  NativeWindow* owner_native = owner_window ? owner_window->GetNativeWindow() : nullptr;
  if (!owner_native) return false;
  std::unique_ptr<NativeWindow> native = owner_native->CreatePopup();
  if (!native || !native->Create(owner_native, L"ComboWnd", ComputeRect(), false)) return false;
  if (!Init(std::move(native))) return false;
  SetResourcePath(owner_window->GetResourcePath());
  auto* root = new VBox();
  // The list is the combo's: the popup's box only lends it a place.
  root->SetAutoDestroy(false);
  root_box_ = root;
  ListBox* list = owner_->GetListBox();
  list->SetWindow(this, nullptr, false);
  root->Add(list);
  AttachDialog(root);
  native_->Show(true, true);
  list->SetFocus();
  if (list->GetCurSel() >= 0) {
    if (Control* item = list->GetItemAt(static_cast<size_t>(list->GetCurSel()))) {
      list->EnsureVisible(item->GetPos());
    }
  }
  return true;
}

void CComboWnd::ReturnList() {
  if (list_returned_) return;
  list_returned_ = true;
  ListBox* list = owner_->GetListBox();
  if (focus_ && list->GetWindow() == this) SetFocus(nullptr);
  if (root_box_) root_box_->Remove(list);
  owner_->AdoptList();
}

bool CComboWnd::OnNativeMessage(const NativeMessage& message) {
  switch (message.type) {
    case NativeMessageType::kKillFocus: {
      const bool handled = Window::OnNativeMessage(message);
      if (native_) {
        native_->PostTask(MakeWeakCallback([this]() {
          if (native_ && native_->IsValid()) native_->Close();
        }));
      }
      return handled;
    }
    case NativeMessageType::kKeyDown:
      if (message.w_param == kVkEscape) {
        if (native_) native_->Close();
        return true;
      }
      break;
    case NativeMessageType::kClose: {
      ListBox* list = owner_->GetListBox();
      const int sel = list->GetCurSel();
      ReturnList();
      if (sel >= 0 && sel != owner_->cur_sel_) {
        owner_->cur_sel_ = sel;
        owner_->Invalidate();
      }
      return Window::OnNativeMessage(message);
    }
    default:
      break;
  }
  return Window::OnNativeMessage(message);
}

void CComboWnd::OnNativeDestroyed() {
  ReturnList();
  Window::OnNativeDestroyed();
  owner_->OnDropWindowDestroyed();
}

// Combo ----------------------------------------------------------------------------

Combo::Combo() : list_(std::make_unique<ListBox>(std::make_unique<VLayout>())) {
  drop_box_size_ = CSize(0, GlobalManager::GetScaledLength(kDefaultDropHeight));
  list_->SetBkColor(L"bk_wnd_lightcolor");
  list_->SetBorderColor(L"combobox_border");
  list_->SetBorderSize(UiRect(1, 1, 1, 1));
  list_->EnableScrollBar(true, false);
  list_->AttachEvent(kEventSelect, [this](const EventArgs& event) { return OnListSelect(event); });
}

Combo::~Combo() {
  if (drop_window_) drop_window_.reset();
}

void Combo::AdoptList() {
  list_->SetWindow(window_, nullptr, false);
}

void Combo::SetWindow(Window* window) {
  Box::SetWindow(window);
  if (!drop_window_) list_->SetWindow(window, nullptr, false);
}

void Combo::SetWindow(Window* window, Box* parent, bool init) {
  Box::SetWindow(window, parent, init);
  if (!drop_window_) list_->SetWindow(window, nullptr, init);
}

void Combo::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"dropbox") {
    SetDropBoxAttributeList(value);
  } else if (name == L"vscrollbar") {
    // The list always scrolls vertically.
  } else if (name == L"dropboxsize") {
    SetDropBoxSize(ParseSizeAttribute(value));
  } else if (name == L"popuptop") {
    SetPopupTop(value == L"true");
  } else {
    Box::SetAttribute(name, value);
  }
}

void Combo::SetDropBoxSize(CSize size) {
  GlobalManager::ScaleSize(size);
  drop_box_size_ = size;
}

void Combo::SetDropBoxAttributeList(const std::wstring& list) {
  drop_box_attributes_ = list;
  list_->ApplyAttributeList(list);
}

void Combo::Activate() {
  if (!IsActivatable() || drop_window_ || !window_) return;
  auto drop = std::make_unique<CComboWnd>(this);
  CComboWnd* raw = drop.get();
  drop_window_ = std::move(drop);
  if (!raw->Open()) {
    drop_window_.reset();
    return;
  }
  std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
  NotifyAccessible(AccessibleChange::kState);
  if (alive.expired()) return;
  SendEvent(kEventClick);
  if (!alive.expired()) Invalidate();
}

void Combo::GetAccessibleInfo(AccessibleInfo* info) const {
  Box::GetAccessibleInfo(info);
  info->role = AccessibleRole::kComboBox;
  info->name = GetText();
  info->interfaces |= kAccessibleAction;
  info->action = "press";
  info->states |= kAccessibleExpandable | (drop_window_ ? kAccessibleExpanded : 0u);
  if (IsKeyboardEnabled() && !IsNoFocus()) info->states |= kAccessibleFocusable;
}

void Combo::HandleEvent(EventArgs& event) {
  if (event.type == kEventKeyDown && IsKeyboardEnabled() &&
      (event.w_param == 0x20 || event.w_param == 0x0D)) {
    Activate();
    return;
  }
  Box::HandleEvent(event);
}

bool Combo::OnListSelect(const EventArgs& /*event*/) {
  const int sel = list_->GetCurSel();
  if (sel < 0) return true;
  const int old = cur_sel_;
  cur_sel_ = sel;
  if (sel != old) NotifyAccessible(AccessibleChange::kName);
  if (Control* item = list_->GetItemAt(static_cast<size_t>(sel))) {
    item->SetState(kControlStateNormal);
    item->SetHotAlpha(0);
    item->Invalidate();
  }
  Invalidate();
  if (drop_window_ && drop_window_->GetNativeWindow()) {
    NativeWindow* native = drop_window_->GetNativeWindow();
    native->PostTask(drop_window_->MakeWeakCallback([native]() {
      if (native->IsValid()) native->Close();
    }));
    // Reported once, while the window still exists; the close that follows
    // finds the same selection and reports nothing.
    if (sel != old && window_) {
      window_->SendNotify(this, kEventSelect, static_cast<uintptr_t>(sel), -1);
    }
  }
  return true;
}

void Combo::OnDropWindowDestroyed() {
  if (!drop_window_) return;
  // The window is still running its own handler: delete it after the event.
  std::shared_ptr<CComboWnd> dying(drop_window_.release());
  Invalidate();
  NotifyAccessible(AccessibleChange::kState);
  if (window_ && window_->GetNativeWindow()) {
    window_->GetNativeWindow()->PostTask([dying]() {});
  }
}

bool Combo::Add(Control* control) {
  const bool added = list_->Add(control);
  cur_sel_ = list_->GetCurSel();
  return added;
}

bool Combo::AddAt(Control* control, size_t index) {
  const bool added = list_->AddAt(control, index);
  cur_sel_ = list_->GetCurSel();
  return added;
}

bool Combo::Remove(Control* control) {
  const bool removed = list_->Remove(control);
  cur_sel_ = list_->GetCurSel();
  Invalidate();
  return removed;
}

bool Combo::RemoveAt(size_t index) {
  const bool removed = list_->RemoveAt(index);
  cur_sel_ = list_->GetCurSel();
  Invalidate();
  return removed;
}

void Combo::RemoveAll() {
  list_->RemoveAll();
  cur_sel_ = -1;
  Invalidate();
}

bool Combo::SelectItem(int index, bool trigger) {
  const int old = cur_sel_;
  const bool ok = list_->SelectItem(index, false, false);
  cur_sel_ = list_->GetCurSel();
  Invalidate();
  if (cur_sel_ != old) NotifyAccessible(AccessibleChange::kName);
  if (trigger && ok && window_) {
    window_->SendNotify(this, kEventSelect, static_cast<uintptr_t>(cur_sel_), old);
  }
  return ok;
}

std::wstring Combo::GetText() const {
  if (cur_sel_ < 0) return L"";
  auto* item = dynamic_cast<ListContainerElement*>(list_->GetItemAt(static_cast<size_t>(cur_sel_)));
  return item ? item->GetText() : L"";
}

void Combo::PaintText(IRenderContext* context) {
  if (cur_sel_ < 0) return;
  auto* item = dynamic_cast<ListContainerElement*>(list_->GetItemAt(static_cast<size_t>(cur_sel_)));
  if (!item) return;
  UiRect rect = item_rect_;
  rect.Deflate(item->GetTextPadding());
  const uint32_t color = GlobalManager::GetTextColor(item->GetStateTextColor(kControlStateNormal));
  context->DrawText(rect, item->GetText(), color, item->GetFont(),
                    DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS, 255);
}

}  // namespace ui
