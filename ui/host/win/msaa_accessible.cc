#include "ui/host/win/msaa_accessible.h"

#include <ole2.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/callback.h"
#include "ui/core/accessibility.h"
#include "ui/core/control.h"
#include "ui/core/window.h"
#include "ui/host/accessible_structure.h"
#include "ui/host/desktop_accessibility.h"
#include "ui/native/accessible_bridge.h"
#include "ui/native/native_window.h"

namespace ui {

namespace {

// Asks one of our objects for itself: only objects of this process answer.
constexpr GUID kControlAccessibleId = {
    0x5c0f6a8e, 0x2d41, 0x4b7a, {0x9e, 0x13, 0x6f, 0x28, 0xc1, 0x0b, 0x77, 0xd4}};
// The type library that describes IAccessible (oleacc's), for IDispatch.
constexpr GUID kAccessibilityLibrary = {
    0x1ea4dbf0, 0x3c3b, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

class AccessibleTree;

LONG ToMsaaRole(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kLabel:
      return ROLE_SYSTEM_STATICTEXT;
    case AccessibleRole::kPushButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::kCheckBox:
      return ROLE_SYSTEM_CHECKBUTTON;
    case AccessibleRole::kRadioButton:
      return ROLE_SYSTEM_RADIOBUTTON;
    case AccessibleRole::kProgressBar:
      return ROLE_SYSTEM_PROGRESSBAR;
    case AccessibleRole::kSlider:
      return ROLE_SYSTEM_SLIDER;
    case AccessibleRole::kText:
      return ROLE_SYSTEM_TEXT;
    case AccessibleRole::kList:
      return ROLE_SYSTEM_LIST;
    case AccessibleRole::kListItem:
      return ROLE_SYSTEM_LISTITEM;
    case AccessibleRole::kComboBox:
      return ROLE_SYSTEM_COMBOBOX;
    case AccessibleRole::kTree:
      return ROLE_SYSTEM_OUTLINE;
    case AccessibleRole::kTreeItem:
      return ROLE_SYSTEM_OUTLINEITEM;
    case AccessibleRole::kPageTabList:
      return ROLE_SYSTEM_PAGETABLIST;
    case AccessibleRole::kPageTab:
      return ROLE_SYSTEM_PAGETAB;
    case AccessibleRole::kScrollBar:
      return ROLE_SYSTEM_SCROLLBAR;
    case AccessibleRole::kPanel:
      break;
  }
  return ROLE_SYSTEM_PANE;
}

// The default action as Windows' own controls name it.
const wchar_t* ActionName(const AccessibleInfo& info) {
  if (!(info.interfaces & kAccessibleAction)) return nullptr;
  switch (info.role) {
    case AccessibleRole::kCheckBox:
      return (info.states & kAccessibleChecked) ? L"Uncheck" : L"Check";
    case AccessibleRole::kRadioButton:
      return L"Check";
    case AccessibleRole::kComboBox:
      return (info.states & kAccessibleExpanded) ? L"Close" : L"Open";
    case AccessibleRole::kListItem:
    case AccessibleRole::kTreeItem:
      return L"Select";
    default:
      return L"Press";
  }
}

std::wstring FormatNumber(double number) {
  wchar_t buffer[32];
  if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15) {
    std::swprintf(buffer, 32, L"%.0f", number);
  } else {
    std::swprintf(buffer, 32, L"%g", number);
  }
  return buffer;
}

// What get_accValue says: a progress bar its share done ("20%", as the
// system's progress bar), a slider its position, a field its text, a combo
// its choice.
std::wstring ValueText(const AccessibleInfo& info) {
  if (info.interfaces & kAccessibleValue) {
    if (info.role != AccessibleRole::kProgressBar) return FormatNumber(info.value);
    const double range = info.max_value - info.min_value;
    const double share = range > 0 ? (info.value - info.min_value) * 100.0 / range : 0.0;
    return FormatNumber(std::round(std::clamp(share, 0.0, 100.0))) + L"%";
  }
  if (info.role == AccessibleRole::kText) return info.text;
  if (info.role == AccessibleRole::kComboBox) return info.name;
  return std::wstring();
}

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
  if (text.empty()) return S_FALSE;
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

ITypeInfo* AccessibleTypeInfo() {
  static ITypeInfo* const info = [] {
    ITypeInfo* found = nullptr;
    ITypeLib* library = nullptr;
    if (SUCCEEDED(::LoadRegTypeLib(kAccessibilityLibrary, 1, 1, 0, &library))) {
      library->GetTypeInfoOfGuid(__uuidof(IAccessible), &found);
      library->Release();
    }
    return found;
  }();
  return info;
}

// The objects a multiple selection lists.
class VariantEnumerator final : public IEnumVARIANT {
 public:
  explicit VariantEnumerator(std::vector<IDispatch*> items) : items_(std::move(items)) {}
  VariantEnumerator(const VariantEnumerator&) = delete;
  VariantEnumerator& operator=(const VariantEnumerator&) = delete;
  ~VariantEnumerator() {
    for (IDispatch* item : items_) item->Release();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumVARIANT) {
      *out = static_cast<IEnumVARIANT*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }
  STDMETHODIMP Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG done = 0;
    for (; done < count && next_ < items_.size(); ++done, ++next_) {
      ::VariantInit(&out[done]);
      out[done].vt = VT_DISPATCH;
      out[done].pdispVal = items_[next_];
      items_[next_]->AddRef();
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const size_t left = items_.size() - next_;
    next_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    for (IDispatch* item : items_) item->AddRef();
    auto* copy = new VariantEnumerator(items_);
    copy->next_ = next_;
    *out = copy;
    return S_OK;
  }

 private:
  std::vector<IDispatch*> items_;
  size_t next_ = 0;
  ULONG refs_ = 1;
};

// One control's object, or (without a control) the window's client area.
class ControlAccessible final : public IAccessible {
 public:
  ControlAccessible(AccessibleTree* tree, Control* control, ControlAccessible* parent, LONG id)
      : tree_(tree), control_(control), parent_(parent), id_(id) {}
  ControlAccessible(const ControlAccessible&) = delete;
  ControlAccessible& operator=(const ControlAccessible&) = delete;

  AccessibleTree* tree() const { return tree_; }
  Control* control() const { return control_; }
  ControlAccessible* parent() const { return parent_; }
  LONG id() const { return id_; }
  bool IsWindowObject() const { return id_ == CHILDID_SELF; }
  bool Alive() const { return tree_ && (control_ || IsWindowObject()); }
  // Every later call fails; clients in other processes are cut off.
  void Defunct() {
    tree_ = nullptr;
    control_ = nullptr;
    parent_ = nullptr;
    ::CoDisconnectObject(static_cast<IAccessible*>(this), 0);
  }

  // What clients were last told, so that only changes are news.
  DWORD states = 0;
  std::wstring name;
  std::wstring value;
  std::vector<Control*> known_children;
  bool children_known = false;

  // IUnknown.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible) ||
        iid == kControlAccessibleId) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }

  // IDispatch, through the interface's type library (script clients).
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = AccessibleTypeInfo() ? 1 : 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID /*locale*/, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    ITypeInfo* info = AccessibleTypeInfo();
    if (index != 0 || !info) return DISP_E_BADINDEX;
    info->AddRef();
    *out = info;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID /*iid*/, LPOLESTR* names, UINT count, LCID /*locale*/,
                             DISPID* ids) override {
    ITypeInfo* info = AccessibleTypeInfo();
    return info ? ::DispGetIDsOfNames(info, names, count, ids) : E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID member, REFIID /*iid*/, LCID /*locale*/, WORD flags,
                      DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                      UINT* bad_argument) override {
    ITypeInfo* info = AccessibleTypeInfo();
    if (!info) return E_NOTIMPL;
    return ::DispInvoke(static_cast<IAccessible*>(this), info, member, flags, params, result,
                        exception, bad_argument);
  }

  // IAccessible.
  STDMETHODIMP get_accParent(IDispatch** out) override;
  STDMETHODIMP get_accChildCount(long* count) override;
  STDMETHODIMP get_accChild(VARIANT child, IDispatch** out) override;
  STDMETHODIMP get_accName(VARIANT child, BSTR* out) override;
  STDMETHODIMP get_accValue(VARIANT child, BSTR* out) override;
  STDMETHODIMP get_accDescription(VARIANT child, BSTR* out) override;
  STDMETHODIMP get_accRole(VARIANT child, VARIANT* out) override;
  STDMETHODIMP get_accState(VARIANT child, VARIANT* out) override;
  STDMETHODIMP get_accHelp(VARIANT child, BSTR* out) override;
  STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
  STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* out) override;
  STDMETHODIMP get_accFocus(VARIANT* out) override;
  STDMETHODIMP get_accSelection(VARIANT* out) override;
  STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* out) override;
  STDMETHODIMP accSelect(long flags, VARIANT child) override;
  STDMETHODIMP accLocation(long* x, long* y, long* width, long* height, VARIANT child) override;
  STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* out) override;
  STDMETHODIMP accHitTest(long x, long y, VARIANT* out) override;
  STDMETHODIMP accDoDefaultAction(VARIANT child) override;
  STDMETHODIMP put_accName(VARIANT /*child*/, BSTR /*name*/) override { return E_NOTIMPL; }
  STDMETHODIMP put_accValue(VARIANT /*child*/, BSTR /*value*/) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  ~ControlAccessible() = default;

  // The object `child` names from this one: itself (CHILDID_SELF), its n-th
  // child (from 1), or an object below it by its id (negative).
  HRESULT Target(const VARIANT& child, ControlAccessible** target);
  bool Below(const ControlAccessible* ancestor) const {
    for (const ControlAccessible* o = this; o; o = o->parent_) {
      if (o == ancestor) return true;
    }
    return false;
  }

  AccessibleTree* tree_;
  Control* control_;
  ControlAccessible* parent_;
  const LONG id_;
  ULONG refs_ = 1;
};

ControlAccessible* OurObject(IUnknown* object) {
  if (!object) return nullptr;
  void* ours = nullptr;
  if (FAILED(object->QueryInterface(kControlAccessibleId, &ours))) return nullptr;
  auto* found = static_cast<ControlAccessible*>(static_cast<IAccessible*>(ours));
  found->Release();
  return found;
}

void SetDispatch(VARIANT* out, ControlAccessible* object) {
  out->vt = VT_DISPATCH;
  out->pdispVal = object;
  object->AddRef();
}

class AccessibleTree : public AccessibilityObserver, public nbase::SupportWeakCallback {
 public:
  AccessibleTree(HWND hwnd, Window* window)
      : hwnd_(hwnd),
        window_(window),
        window_object_(new ControlAccessible(this, nullptr, nullptr, CHILDID_SELF)) {
    window_->SetAccessibilityObserver(this);
  }
  AccessibleTree(const AccessibleTree&) = delete;
  AccessibleTree& operator=(const AccessibleTree&) = delete;

  ~AccessibleTree() override {
    Detach();
    window_object_->Defunct();
    window_object_->Release();
  }

  // The window core is going or gone: no control shows any more.
  void Detach() {
    if (window_ && window_->GetAccessibilityObserver() == this) {
      window_->SetAccessibilityObserver(nullptr);
    }
    window_ = nullptr;
    DropAll();
  }

  HWND hwnd() const { return hwnd_; }
  Window* window() const { return window_; }
  ControlAccessible* window_object() const { return window_object_; }
  size_t size() const { return objects_.size(); }

  ControlAccessible* Find(const Control* control) const {
    auto it = objects_.find(const_cast<Control*>(control));
    return it == objects_.end() ? nullptr : it->second;
  }

  ControlAccessible* FindById(LONG id) const {
    auto it = ids_.find(id);
    return it == ids_.end() ? nullptr : it->second;
  }

  // Null `control` stands for the window.
  std::vector<Control*> Children(const Control* control) const {
    return AccessibleChildren(window_, control);
  }

  // The children a client now knows of `object`.
  std::vector<Control*> KnownChildren(ControlAccessible* object) const {
    object->known_children = Children(object->control());
    object->children_known = true;
    return object->known_children;
  }

  // The object of `control`, made when it is in the tree.
  ControlAccessible* Get(Control* control) {
    if (ControlAccessible* found = Find(control)) return found;
    if (!InAccessibleTree(window_, control)) return nullptr;
    ControlAccessible* parent =
        control == window_->GetRoot() ? window_object_ : Get(control->GetParentControl());
    if (!parent) return nullptr;
    // Ids count down from -1 and are never used twice: a late event for a
    // control that is gone names nothing.
    auto* object = new ControlAccessible(this, control, parent, --last_id_);
    objects_[control] = object;
    ids_[object->id()] = object;
    Remember(object);
    return object;
  }

  // The object that shows `object`'s parent.
  ControlAccessible* ParentOf(ControlAccessible* object) {
    if (object->IsWindowObject()) return nullptr;
    Control* control = object->control();
    if (control == window_->GetRoot()) return window_object_;
    return Get(control->GetParentControl());
  }

  DWORD StatesOf(const ControlAccessible* object) const {
    if (object->IsWindowObject()) {
      DWORD bits = STATE_SYSTEM_FOCUSABLE;
      if (::GetFocus() == hwnd_) bits |= STATE_SYSTEM_FOCUSED;
      if (!::IsWindowVisible(hwnd_)) bits |= STATE_SYSTEM_INVISIBLE;
      return bits;
    }
    const Control* control = object->control();
    const AccessibleInfo info = control->DescribeAccessible();
    DWORD bits = 0;
    if (!control->IsEnabled()) bits |= STATE_SYSTEM_UNAVAILABLE;
    if (!control->IsVisible() || !::IsWindowVisible(hwnd_) || control->GetPos(true).IsRectEmpty()) {
      bits |= STATE_SYSTEM_INVISIBLE;
    }
    if (info.states & kAccessibleFocusable) bits |= STATE_SYSTEM_FOCUSABLE;
    if (window_ && window_->GetFocus() == control) bits |= STATE_SYSTEM_FOCUSED;
    if (info.states & kAccessibleChecked) bits |= STATE_SYSTEM_CHECKED;
    if (info.states & kAccessibleSelectable) bits |= STATE_SYSTEM_SELECTABLE;
    if (info.states & kAccessibleSelected) bits |= STATE_SYSTEM_SELECTED;
    if (info.states & kAccessibleExpandable) {
      bits |= (info.states & kAccessibleExpanded) ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED;
      if (info.role == AccessibleRole::kComboBox) bits |= STATE_SYSTEM_HASPOPUP;
    }
    if (info.states & kAccessibleReadOnly) bits |= STATE_SYSTEM_READONLY;
    if (info.states & kAccessibleProtected) bits |= STATE_SYSTEM_PROTECTED;
    return bits;
  }

  // Screen pixels; null `control`: the client area.
  RECT ScreenRect(const Control* control) const {
    RECT rect{0, 0, 0, 0};
    if (control) {
      const UiRect bounds = AccessibleBounds(control);
      rect = {bounds.left, bounds.top, bounds.right, bounds.bottom};
    } else {
      ::GetClientRect(hwnd_, &rect);
    }
    POINT origin{0, 0};
    ::ClientToScreen(hwnd_, &origin);
    ::OffsetRect(&rect, origin.x, origin.y);
    return rect;
  }

  // The deepest control below `control` (null: the window) at a point of the
  // screen; `control` itself when no child is there.
  Control* HitTest(Control* control, POINT screen) const {
    for (;;) {
      const std::vector<Control*> children = Children(control);
      Control* hit = nullptr;
      // The last child paints over the others.
      for (auto it = children.rbegin(); it != children.rend() && !hit; ++it) {
        const RECT rect = ScreenRect(*it);
        if (::PtInRect(&rect, screen)) hit = *it;
      }
      if (!hit) return control;
      control = hit;
    }
  }

  // Runs the control's default action after the caller has its answer, as a
  // click arrives: a box the action opens must not hold up the client.
  void ActivateLater(ControlAccessible* object) {
    NativeWindow* native = window_ ? window_->GetNativeWindow() : nullptr;
    if (!native) return;
    object->AddRef();
    std::shared_ptr<ControlAccessible> held(object, [](ControlAccessible* o) { o->Release(); });
    native->PostTask([held] {
      if (Control* control = held->control(); control && control->IsActivatable()) {
        control->Activate();
      }
    });
  }

  // AccessibilityObserver.
  void OnAccessibleChange(Control* control, AccessibleChange change) override {
    switch (change) {
      case AccessibleChange::kVisibility:
        OnVisibility(control);
        return;
      case AccessibleChange::kChildren:
        Reconcile(control);
        return;
      default:
        break;
    }
    ControlAccessible* object = Find(control);
    const bool fresh = !object;
    if (fresh) {
      if (!Listening(change)) return;
      object = Get(control);
      if (!object) return;
    }
    const std::wstring old_name = object->name;
    const std::wstring old_value = object->value;
    const DWORD old_states = object->states;
    const LONG role = Remember(object);
    if (change == AccessibleChange::kSelection) {
      OnSelection(object);
    } else if (fresh) {
      // Nothing was known before: the change itself is the news.
      switch (change) {
        case AccessibleChange::kName:
          Fire(EVENT_OBJECT_NAMECHANGE, object);
          break;
        case AccessibleChange::kText:
          Fire(role == ROLE_SYSTEM_TEXT ? EVENT_OBJECT_VALUECHANGE : EVENT_OBJECT_NAMECHANGE,
               object);
          break;
        case AccessibleChange::kValue:
          Fire(EVENT_OBJECT_VALUECHANGE, object);
          break;
        case AccessibleChange::kState:
          Fire(EVENT_OBJECT_STATECHANGE, object);
          break;
        default:
          break;
      }
      if (change == AccessibleChange::kCaret) Fire(EVENT_OBJECT_TEXTSELECTIONCHANGED, object);
      return;
    }
    if (object->name != old_name) Fire(EVENT_OBJECT_NAMECHANGE, object);
    if (object->value != old_value) Fire(EVENT_OBJECT_VALUECHANGE, object);
    if (object->states != old_states) Fire(EVENT_OBJECT_STATECHANGE, object);
    if (change == AccessibleChange::kCaret) Fire(EVENT_OBJECT_TEXTSELECTIONCHANGED, object);
  }

  void OnAccessibleFocus(Control* old_focus, Control* new_focus) override {
    if (ControlAccessible* old_object = Find(old_focus)) UpdateStates(old_object);
    if (!new_focus) return;
    ControlAccessible* object = Find(new_focus);
    if (!object && Listening(EVENT_OBJECT_FOCUS)) object = Get(new_focus);
    if (!object) return;
    UpdateStates(object);
    Fire(EVENT_OBJECT_FOCUS, object);
  }

  void OnControlDestroyed(Control* control) override {
    ControlAccessible* object = Find(control);
    if (!object) return;
    ControlAccessible* parent = object->parent();
    Fire(EVENT_OBJECT_DESTROY, object);
    Drop(object);
    if (parent && parent->Alive()) Fire(EVENT_OBJECT_REORDER, parent);
  }

  void OnWindowDestroyed() override {
    window_ = nullptr;
    Detach();
    Fire(EVENT_OBJECT_REORDER, window_object_);
  }

 private:
  static bool Listening(DWORD event) { return ::IsWinEventHookInstalled(event); }

  static bool Listening(AccessibleChange change) {
    switch (change) {
      case AccessibleChange::kName:
        return Listening(EVENT_OBJECT_NAMECHANGE);
      case AccessibleChange::kText:
        return Listening(EVENT_OBJECT_NAMECHANGE) || Listening(EVENT_OBJECT_VALUECHANGE);
      case AccessibleChange::kValue:
        return Listening(EVENT_OBJECT_VALUECHANGE);
      case AccessibleChange::kCaret:
        return Listening(EVENT_OBJECT_TEXTSELECTIONCHANGED);
      case AccessibleChange::kSelection:
        return Listening(EVENT_OBJECT_SELECTION) || Listening(EVENT_OBJECT_STATECHANGE);
      default:
        return Listening(EVENT_OBJECT_STATECHANGE);
    }
  }

  // Takes in what a client would read now; the object's role.
  LONG Remember(ControlAccessible* object) {
    const AccessibleInfo info = object->control()->DescribeAccessible();
    object->name = info.name;
    object->value = ValueText(info);
    object->states = StatesOf(object);
    return ToMsaaRole(info.role);
  }

  void UpdateStates(ControlAccessible* object) {
    const DWORD now = StatesOf(object);
    if (now == object->states) return;
    object->states = now;
    Fire(EVENT_OBJECT_STATECHANGE, object);
  }

  // A list's or a tab box's choice changed: its items' states follow, and
  // the one chosen is announced.
  void OnSelection(ControlAccessible* container) {
    const bool listening = Listening(EVENT_OBJECT_SELECTION);
    std::vector<Control*> selected;
    for (Control* child : Children(container->control())) {
      ControlAccessible* object = Find(child);
      if (object) UpdateStates(object);
      if (child->DescribeAccessible().states & kAccessibleSelected) selected.push_back(child);
    }
    if (!listening) return;
    if (selected.size() == 1) {
      if (ControlAccessible* chosen = Get(selected.front())) Fire(EVENT_OBJECT_SELECTION, chosen);
    } else {
      Fire(EVENT_OBJECT_SELECTIONWITHIN, container);
    }
  }

  void OnVisibility(Control* control) {
    if (control->IsVisible()) {
      if (Find(control) || !InAccessibleTree(window_, control)) return;
      const bool root = control == window_->GetRoot();
      ControlAccessible* parent = root ? window_object_ : Find(control->GetParentControl());
      if (!parent && !Listening(EVENT_OBJECT_SHOW)) return;
      if (!parent) parent = Get(control->GetParentControl());
      if (parent && !parent->IsWindowObject()) parent->known_children = Children(parent->control());
      if (Listening(EVENT_OBJECT_SHOW)) {
        if (ControlAccessible* object = Get(control)) Fire(EVENT_OBJECT_SHOW, object);
      }
      if (parent) Fire(EVENT_OBJECT_REORDER, parent);
      return;
    }
    ControlAccessible* object = Find(control);
    if (!object) return;
    ControlAccessible* parent = object->parent();
    if (parent && !parent->IsWindowObject()) {
      parent->known_children = Children(control->GetParentControl());
    }
    Fire(EVENT_OBJECT_HIDE, object);
    Drop(object);
    if (parent) Fire(EVENT_OBJECT_REORDER, parent);
  }

  // The children of `control` changed: objects of the ones gone become
  // defunct, the new ones are announced where a client knew the old ones.
  void Reconcile(Control* control) {
    ControlAccessible* object = Find(control);
    if (!object) return;
    const std::vector<Control*> children = Children(control);
    // Siblings: dropping one never drops another.
    std::vector<ControlAccessible*> gone;
    for (const auto& [child, child_object] : objects_) {
      if (child_object->parent() != object) continue;
      if (std::find(children.begin(), children.end(), child) == children.end()) {
        gone.push_back(child_object);
      }
    }
    bool changed = !gone.empty();
    for (ControlAccessible* child_object : gone) {
      Fire(EVENT_OBJECT_HIDE, child_object);
      Drop(child_object);
    }
    const std::vector<Control*> known = object->known_children;
    object->known_children = children;
    if (object->children_known) {
      for (Control* child : children) {
        if (std::find(known.begin(), known.end(), child) != known.end()) continue;
        changed = true;
        if (!Listening(EVENT_OBJECT_SHOW)) continue;
        if (ControlAccessible* added = Get(child)) Fire(EVENT_OBJECT_SHOW, added);
      }
    }
    if (changed) Fire(EVENT_OBJECT_REORDER, object);
  }

  // `object` and everything below it become defunct and leave the tree.
  void Drop(ControlAccessible* object) {
    Defunct(
        TakeAccessibleSubtree(&objects_, object, [](ControlAccessible* o) { return o->parent(); }));
  }

  void DropAll() {
    std::vector<ControlAccessible*> gone;
    for (const auto& entry : objects_) gone.push_back(entry.second);
    objects_.clear();
    Defunct(gone);
  }

  void Defunct(const std::vector<ControlAccessible*>& gone) {
    for (ControlAccessible* object : gone) ids_.erase(object->id());
    // Parents are read while descendants are sorted out: cut them all first.
    for (ControlAccessible* object : gone) object->Defunct();
    for (ControlAccessible* object : gone) object->Release();
  }

  // Win events go out after the change that caused them is complete: a
  // client's in-process hook reads the tree from inside NotifyWinEvent.
  void Fire(DWORD event, const ControlAccessible* object) {
    if (!Listening(event)) return;
    pending_.emplace_back(event, object->id());
    if (flush_posted_) return;
    NativeWindow* native = window_ ? window_->GetNativeWindow() : nullptr;
    if (!native) {
      Flush();
      return;
    }
    flush_posted_ = true;
    native->PostTask(MakeWeakCallback([this] {
      flush_posted_ = false;
      Flush();
    }));
  }

  void Flush() {
    std::vector<std::pair<DWORD, LONG>> events;
    events.swap(pending_);
    for (const auto& [event, id] : events) {
      ::NotifyWinEvent(event, hwnd_, OBJID_CLIENT, id);
    }
  }

  const HWND hwnd_;
  Window* window_;
  ControlAccessible* const window_object_;
  std::unordered_map<Control*, ControlAccessible*> objects_;
  std::unordered_map<LONG, ControlAccessible*> ids_;
  LONG last_id_ = 0;
  std::vector<std::pair<DWORD, LONG>> pending_;
  bool flush_posted_ = false;
};

// ---- The object's methods ----------------------------------------------------------------

HRESULT ControlAccessible::Target(const VARIANT& child, ControlAccessible** target) {
  *target = nullptr;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  VARIANT id;
  ::VariantInit(&id);
  if (FAILED(::VariantChangeType(&id, const_cast<VARIANT*>(&child), 0, VT_I4))) {
    return E_INVALIDARG;
  }
  if (id.lVal == CHILDID_SELF) {
    *target = this;
    return S_OK;
  }
  if (id.lVal > 0) {
    const std::vector<Control*> children = tree_->KnownChildren(this);
    if (static_cast<size_t>(id.lVal) > children.size()) return E_INVALIDARG;
    *target = tree_->Get(children[static_cast<size_t>(id.lVal) - 1]);
  } else {
    ControlAccessible* found = tree_->FindById(id.lVal);
    if (found && found->Below(this)) *target = found;
  }
  return *target ? S_OK : E_INVALIDARG;
}

STDMETHODIMP ControlAccessible::get_accParent(IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  if (IsWindowObject()) {
    // The system's object of the window frame.
    return ::AccessibleObjectFromWindow(tree_->hwnd(), static_cast<DWORD>(OBJID_WINDOW),
                                        IID_IDispatch, reinterpret_cast<void**>(out));
  }
  ControlAccessible* parent = tree_->ParentOf(this);
  if (!parent) return S_FALSE;
  parent->AddRef();
  *out = parent;
  return S_OK;
}

STDMETHODIMP ControlAccessible::get_accChildCount(long* count) {
  if (!count) return E_POINTER;
  *count = 0;
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  *count = static_cast<long>(tree_->KnownChildren(this).size());
  return S_OK;
}

STDMETHODIMP ControlAccessible::get_accChild(VARIANT child, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  // Not itself: a client asks for a child's object this way.
  if (target == this) return E_INVALIDARG;
  target->AddRef();
  *out = target;
  return S_OK;
}

STDMETHODIMP ControlAccessible::get_accName(VARIANT child, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  if (target->IsWindowObject()) {
    const int length = ::GetWindowTextLengthW(tree_->hwnd());
    std::wstring title(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    title.resize(static_cast<size_t>(
        ::GetWindowTextW(tree_->hwnd(), title.data(), static_cast<int>(title.size()))));
    return ReturnText(title, out);
  }
  return ReturnText(target->control()->DescribeAccessible().name, out);
}

STDMETHODIMP ControlAccessible::get_accValue(VARIANT child, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  if (target->IsWindowObject()) return S_FALSE;
  const AccessibleInfo info = target->control()->DescribeAccessible();
  // A password is nobody's to read, not even as stars.
  if (info.states & kAccessibleProtected) return E_ACCESSDENIED;
  return ReturnText(ValueText(info), out);
}

STDMETHODIMP ControlAccessible::get_accDescription(VARIANT child, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  if (target->IsWindowObject()) return S_FALSE;
  return ReturnText(target->control()->DescribeAccessible().description, out);
}

STDMETHODIMP ControlAccessible::get_accRole(VARIANT child, VARIANT* out) {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  out->vt = VT_I4;
  out->lVal = target->IsWindowObject() ? ROLE_SYSTEM_CLIENT
                                       : ToMsaaRole(target->control()->DescribeAccessible().role);
  return S_OK;
}

STDMETHODIMP ControlAccessible::get_accState(VARIANT child, VARIANT* out) {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  out->vt = VT_I4;
  out->lVal = static_cast<LONG>(tree_->StatesOf(target));
  return S_OK;
}

STDMETHODIMP ControlAccessible::get_accHelp(VARIANT child, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  return FAILED(result) ? result : S_FALSE;
}

STDMETHODIMP ControlAccessible::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) {
  if (!file || !topic) return E_POINTER;
  *file = nullptr;
  *topic = -1;
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  return FAILED(result) ? result : S_FALSE;
}

STDMETHODIMP ControlAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  return FAILED(result) ? result : S_FALSE;
}

STDMETHODIMP ControlAccessible::get_accFocus(VARIANT* out) {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  Window* window = tree_->window();
  Control* focus = window ? window->GetFocus() : nullptr;
  ControlAccessible* focused = focus ? tree_->Get(focus) : nullptr;
  if (focused == this || (!focused && IsWindowObject() && ::GetFocus() == tree_->hwnd())) {
    out->vt = VT_I4;
    out->lVal = CHILDID_SELF;
    return S_OK;
  }
  if (!focused || !focused->Below(this)) return S_FALSE;
  SetDispatch(out, focused);
  return S_OK;
}

STDMETHODIMP ControlAccessible::get_accSelection(VARIANT* out) {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  if (IsWindowObject() || !(control_->DescribeAccessible().interfaces & kAccessibleSelection)) {
    return DISP_E_MEMBERNOTFOUND;
  }
  std::vector<ControlAccessible*> selected;
  for (Control* child : tree_->Children(control_)) {
    if (!(child->DescribeAccessible().states & kAccessibleSelected)) continue;
    if (ControlAccessible* object = tree_->Get(child)) selected.push_back(object);
  }
  if (selected.empty()) return S_FALSE;
  if (selected.size() == 1) {
    SetDispatch(out, selected.front());
    return S_OK;
  }
  std::vector<IDispatch*> items;
  for (ControlAccessible* object : selected) {
    object->AddRef();
    items.push_back(object);
  }
  out->vt = VT_UNKNOWN;
  out->punkVal = new VariantEnumerator(std::move(items));
  return S_OK;
}

STDMETHODIMP ControlAccessible::get_accDefaultAction(VARIANT child, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  if (target->IsWindowObject()) return S_FALSE;
  const wchar_t* action = ActionName(target->control()->DescribeAccessible());
  return action ? ReturnText(action, out) : S_FALSE;
}

STDMETHODIMP ControlAccessible::accSelect(long flags, VARIANT child) {
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  // What the control does may remove it, and with it the tree's and the
  // client's references: both objects stay whole until the call returns.
  target->AddRef();
  AddRef();
  std::unique_ptr<ControlAccessible, void (*)(ControlAccessible*)> hold_target(
      target, [](ControlAccessible* o) { o->Release(); });
  std::unique_ptr<ControlAccessible, void (*)(ControlAccessible*)> hold_self(
      this, [](ControlAccessible* o) { o->Release(); });
  constexpr long kSupported = SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION | SELFLAG_ADDSELECTION;
  if (target->IsWindowObject() || (flags & ~kSupported) || !flags) return E_INVALIDARG;
  Control* control = target->control();
  const AccessibleInfo info = control->DescribeAccessible();
  if (flags & SELFLAG_TAKEFOCUS) {
    if (!(info.states & kAccessibleFocusable) || !control->IsVisible() || !control->IsEnabled()) {
      return S_FALSE;
    }
    control->SetFocus();
  }
  if (flags & (SELFLAG_TAKESELECTION | SELFLAG_ADDSELECTION)) {
    // Choosing an item is what clicking it does.
    if (!(info.states & kAccessibleSelectable) || !control->IsActivatable()) return S_FALSE;
    control->Activate();
  }
  return S_OK;
}

STDMETHODIMP ControlAccessible::accLocation(long* x, long* y, long* width, long* height,
                                            VARIANT child) {
  if (!x || !y || !width || !height) return E_POINTER;
  *x = *y = *width = *height = 0;
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  const RECT rect = tree_->ScreenRect(target->control());
  *x = rect.left;
  *y = rect.top;
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
  return S_OK;
}

STDMETHODIMP ControlAccessible::accNavigate(long direction, VARIANT start, VARIANT* out) {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  ControlAccessible* from = nullptr;
  const HRESULT result = Target(start, &from);
  if (FAILED(result)) return result;
  Control* found = nullptr;
  switch (direction) {
    case NAVDIR_FIRSTCHILD:
    case NAVDIR_LASTCHILD: {
      const std::vector<Control*> children = tree_->KnownChildren(from);
      if (!children.empty()) {
        found = direction == NAVDIR_FIRSTCHILD ? children.front() : children.back();
      }
      break;
    }
    case NAVDIR_NEXT:
    case NAVDIR_PREVIOUS: {
      if (from->IsWindowObject()) break;
      Control* control = from->control();
      const Window* window = tree_->window();
      const Control* parent = control == window->GetRoot() ? nullptr : control->GetParentControl();
      const std::vector<Control*> siblings = tree_->Children(parent);
      auto it = std::find(siblings.begin(), siblings.end(), control);
      if (it == siblings.end()) break;
      if (direction == NAVDIR_NEXT && it + 1 != siblings.end()) found = *(it + 1);
      if (direction == NAVDIR_PREVIOUS && it != siblings.begin()) found = *(it - 1);
      break;
    }
    default:
      // Up, down, left and right: the controls are not laid out on a grid.
      return DISP_E_MEMBERNOTFOUND;
  }
  ControlAccessible* object = found ? tree_->Get(found) : nullptr;
  if (!object) return S_FALSE;
  SetDispatch(out, object);
  return S_OK;
}

STDMETHODIMP ControlAccessible::accHitTest(long x, long y, VARIANT* out) {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  if (!Alive()) return CO_E_OBJNOTCONNECTED;
  const POINT point{x, y};
  const RECT own = tree_->ScreenRect(control_);
  if (!::PtInRect(&own, point)) return S_FALSE;
  Control* hit = tree_->HitTest(control_, point);
  ControlAccessible* object = hit == control_ ? this : tree_->Get(hit);
  if (object == this || !object) {
    out->vt = VT_I4;
    out->lVal = CHILDID_SELF;
    return S_OK;
  }
  SetDispatch(out, object);
  return S_OK;
}

STDMETHODIMP ControlAccessible::accDoDefaultAction(VARIANT child) {
  ControlAccessible* target = nullptr;
  const HRESULT result = Target(child, &target);
  if (FAILED(result)) return result;
  if (target->IsWindowObject()) return DISP_E_MEMBERNOTFOUND;
  Control* control = target->control();
  if (!(control->DescribeAccessible().interfaces & kAccessibleAction)) {
    return DISP_E_MEMBERNOTFOUND;
  }
  // Refused as a click on it is refused.
  if (!control->IsActivatable()) return E_FAIL;
  tree_->ActivateLater(target);
  return S_OK;
}

// ---- The bridge ----------------------------------------------------------------------------

// The UI thread serves clients as a single-threaded apartment: their calls
// arrive as messages of its own queue, between everything else it does.
bool EnterApartment() {
  thread_local int state = 0;
  if (!state) {
    const HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // A thread that is already multi-threaded would take clients' calls on
    // other threads: no tree is served there.
    state = SUCCEEDED(result) ? 1 : -1;
  }
  return state > 0;
}

class MsaaAccessibleBridge : public AccessibleBridge {
 public:
  void* CreateToolkitWindow(bool /*popup*/) override { return nullptr; }

  void Attach(void* toolkit_window, Window* window) override {
    HWND hwnd = static_cast<HWND>(toolkit_window);
    if (!hwnd) return;
    auto it = trees_.find(hwnd);
    if (!window) {
      if (it != trees_.end()) trees_.erase(it);
      return;
    }
    if (it != trees_.end() && it->second->window() == window) return;
    if (!EnterApartment()) return;
    trees_[hwnd] = std::make_unique<AccessibleTree>(hwnd, window);
  }

  bool AnswerAccessibleQuery(void* toolkit_window, uintptr_t query, intptr_t detail,
                             intptr_t* result) override {
    AccessibleTree* tree = Find(static_cast<HWND>(toolkit_window));
    // Other objects (the frame, the caret, UI Automation's root) are the
    // system's: UI Automation reads this tree through its MSAA proxy.
    if (!tree || static_cast<LONG>(detail) != OBJID_CLIENT) return false;
    *result = ::LresultFromObject(__uuidof(IAccessible), static_cast<WPARAM>(query),
                                  tree->window_object());
    return true;
  }

  AccessibleTree* Find(HWND hwnd) const {
    auto it = trees_.find(hwnd);
    return it == trees_.end() ? nullptr : it->second.get();
  }

 private:
  std::unordered_map<HWND, std::unique_ptr<AccessibleTree>> trees_;
};

// Never destroyed: windows may outlive any static at exit.
MsaaAccessibleBridge& Bridge() {
  static MsaaAccessibleBridge* const bridge = new MsaaAccessibleBridge();
  return *bridge;
}

}  // namespace

void UseMsaaAccessibleBridge() {
  if (!EnterApartment()) return;
  SetAccessibleBridge(&Bridge());
}

void UseDesktopAccessibility() {
  UseMsaaAccessibleBridge();
}

IAccessible* FindControlAccessible(HWND hwnd, const Control* control) {
  AccessibleTree* tree = Bridge().Find(hwnd);
  return tree ? tree->Find(control) : nullptr;
}

size_t CountControlAccessibles(HWND hwnd) {
  AccessibleTree* tree = Bridge().Find(hwnd);
  return tree ? tree->size() : 0;
}

Control* GetAccessibleControl(IAccessible* object) {
  ControlAccessible* ours = OurObject(object);
  return ours ? ours->control() : nullptr;
}

}  // namespace ui
