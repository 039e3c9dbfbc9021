#include "ui/host/linux/gtk_accessible.h"

#include "ui/host/desktop_accessibility.h"

#include <gtk/gtk-a11y.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/string_util.h"
#include "ui/core/accessibility.h"
#include "ui/core/control.h"
#include "ui/core/window.h"
#include "ui/host/accessible_structure.h"
#include "ui/native/accessible_bridge.h"

namespace ui {

namespace {

constexpr char kWindowKey[] = "corvane-accessible-window";
constexpr char kTreeKey[] = "corvane-accessible-tree";

class AccessibleTree;

// What a control object knows besides its AtkObject fields.
struct ObjectData {
  Control* control = nullptr;
  AccessibleTree* tree = nullptr;
  AtkObject* tree_parent = nullptr;
  uint64_t states = 0;
  std::string name;
  std::string description;
  std::string text;
  int caret = -1;
  int selection_start = 0;
  int selection_end = 0;
  // The children a client was last told of; only changes to them are news.
  std::vector<Control*> children;
  bool children_known = false;
};

struct ControlAccessible {
  AtkObject parent_instance;
  ObjectData* data;
};

struct ControlAccessibleClass {
  AtkObjectClass parent_class;
};

struct WindowAccessible {
  GtkWindowAccessible parent_instance;
  AccessibleTree* tree;
};

struct WindowAccessibleClass {
  GtkWindowAccessibleClass parent_class;
};

struct SkinWindow {
  GtkWindow parent_instance;
};

struct SkinWindowClass {
  GtkWindowClass parent_class;
};

GType control_accessible_get_type();
GType window_accessible_get_type();

ObjectData* DataOf(AtkObject* object) {
  if (!object || !G_TYPE_CHECK_INSTANCE_TYPE(object, control_accessible_get_type())) return nullptr;
  return reinterpret_cast<ControlAccessible*>(object)->data;
}

Control* ControlOf(AtkObject* object) {
  ObjectData* data = DataOf(object);
  return data ? data->control : nullptr;
}

AtkRole ToAtkRole(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kLabel:
      return ATK_ROLE_LABEL;
    case AccessibleRole::kPushButton:
      return ATK_ROLE_PUSH_BUTTON;
    case AccessibleRole::kCheckBox:
      return ATK_ROLE_CHECK_BOX;
    case AccessibleRole::kRadioButton:
      return ATK_ROLE_RADIO_BUTTON;
    case AccessibleRole::kProgressBar:
      return ATK_ROLE_PROGRESS_BAR;
    case AccessibleRole::kSlider:
      return ATK_ROLE_SLIDER;
    case AccessibleRole::kText:
      return ATK_ROLE_TEXT;
    case AccessibleRole::kList:
      return ATK_ROLE_LIST;
    case AccessibleRole::kListItem:
      return ATK_ROLE_LIST_ITEM;
    case AccessibleRole::kComboBox:
      return ATK_ROLE_COMBO_BOX;
    case AccessibleRole::kTree:
      return ATK_ROLE_TREE;
    case AccessibleRole::kTreeItem:
      return ATK_ROLE_TREE_ITEM;
    case AccessibleRole::kPageTabList:
      return ATK_ROLE_PAGE_TAB_LIST;
    case AccessibleRole::kPageTab:
      return ATK_ROLE_PAGE_TAB;
    case AccessibleRole::kScrollBar:
      return ATK_ROLE_SCROLL_BAR;
    case AccessibleRole::kPanel:
      break;
  }
  return ATK_ROLE_PANEL;
}

constexpr uint64_t Bit(AtkStateType state) {
  return uint64_t{1} << static_cast<unsigned>(state);
}

void EmitChildrenChanged(AtkObject* parent, bool added, int index, AtkObject* child) {
  if (!parent || !child) return;
  g_signal_emit_by_name(parent, added ? "children-changed::add" : "children-changed::remove", index,
                        child);
}

// Code points `from` to `to` (-1: the end) of UTF-8 `text`.
std::string Utf8Slice(const std::string& text, int from, int to) {
  const glong length = g_utf8_strlen(text.c_str(), static_cast<gssize>(text.size()));
  if (to < 0 || to > length) to = static_cast<int>(length);
  from = std::clamp(from, 0, to);
  const char* start = g_utf8_offset_to_pointer(text.c_str(), from);
  const char* end = g_utf8_offset_to_pointer(text.c_str(), to);
  return std::string(start, end);
}

class AccessibleTree : public AccessibilityObserver {
 public:
  AccessibleTree(Window* window, AtkObject* window_object, GtkWidget* widget)
      : window_(window), window_object_(window_object), widget_(widget) {
    window_->SetAccessibilityObserver(this);
    g_object_set_data(G_OBJECT(widget_), kTreeKey, this);
  }

  ~AccessibleTree() override { Detach(); }

  // Never attached again: the window or its widget is going away.
  void Detach() {
    if (window_ && window_->GetAccessibilityObserver() == this) {
      window_->SetAccessibilityObserver(nullptr);
    }
    window_ = nullptr;
    if (widget_) {
      g_object_set_data(G_OBJECT(widget_), kTreeKey, nullptr);
      g_object_set_data(G_OBJECT(widget_), kWindowKey, nullptr);
    }
    widget_ = nullptr;
    DropAll();
  }

  Window* window() const { return window_; }
  GtkWidget* widget() const { return widget_; }
  size_t size() const { return objects_.size(); }

  AtkObject* Find(const Control* control) const {
    auto it = objects_.find(const_cast<Control*>(control));
    return it == objects_.end() ? nullptr : it->second;
  }

  // Null `control` stands for the window.
  std::vector<Control*> Children(const Control* control) const {
    return AccessibleChildren(window_, control);
  }

  int IndexOf(const Control* control) const { return AccessibleIndex(window_, control); }

  bool InTree(const Control* control) const { return InAccessibleTree(window_, control); }

  // The object of `control`, made when it is in the tree.
  AtkObject* Get(Control* control) {
    if (AtkObject* found = Find(control)) return found;
    if (!InTree(control)) return nullptr;
    AtkObject* parent =
        control == window_->GetRoot() ? window_object_ : Get(control->GetParentControl());
    if (!parent) return nullptr;
    const AccessibleInfo info = control->DescribeAccessible();
    AtkObject* object = ATK_OBJECT(g_object_new(TypeFor(info.interfaces), nullptr));
    ObjectData* data = DataOf(object);
    data->control = control;
    data->tree = this;
    data->tree_parent = parent;
    atk_object_initialize(object, nullptr);
    object->role =
        (info.states & kAccessibleProtected) ? ATK_ROLE_PASSWORD_TEXT : ToAtkRole(info.role);
    objects_[control] = object;
    atk_object_set_parent(object, parent);
    Remember(data, info);
    data->states = StatesOf(data);
    return object;
  }

  uint64_t StatesOf(const ObjectData* data) const {
    const Control* control = data->control;
    if (!control || !window_) return Bit(ATK_STATE_DEFUNCT);
    const AccessibleInfo info = control->DescribeAccessible();
    uint64_t bits = 0;
    if (control->IsEnabled()) bits |= Bit(ATK_STATE_ENABLED) | Bit(ATK_STATE_SENSITIVE);
    if (control->IsVisible()) {
      bits |= Bit(ATK_STATE_VISIBLE);
      const NativeWindow* native = window_->GetNativeWindow();
      if (native && native->IsVisible() && !control->GetPos(true).IsRectEmpty()) {
        bits |= Bit(ATK_STATE_SHOWING);
      }
    }
    if (info.states & kAccessibleFocusable) bits |= Bit(ATK_STATE_FOCUSABLE);
    if (window_->GetFocus() == control) bits |= Bit(ATK_STATE_FOCUSED);
    if (info.states & kAccessibleCheckable) bits |= Bit(ATK_STATE_CHECKABLE);
    if (info.states & kAccessibleChecked) bits |= Bit(ATK_STATE_CHECKED);
    if (info.states & kAccessibleSelectable) bits |= Bit(ATK_STATE_SELECTABLE);
    if (info.states & kAccessibleSelected) bits |= Bit(ATK_STATE_SELECTED);
    if (info.states & kAccessibleExpandable) bits |= Bit(ATK_STATE_EXPANDABLE);
    if (info.states & kAccessibleExpanded) bits |= Bit(ATK_STATE_EXPANDED);
    if (info.states & kAccessibleEditable) bits |= Bit(ATK_STATE_EDITABLE);
    if (info.states & kAccessibleReadOnly) bits |= Bit(ATK_STATE_READ_ONLY);
    if (info.interfaces & kAccessibleText) {
      bits |= (info.states & kAccessibleMultiLine) ? Bit(ATK_STATE_MULTI_LINE)
                                                   : Bit(ATK_STATE_SINGLE_LINE);
    }
    return bits;
  }

  // Screen (or window) rect of `control` in GDK units.
  GdkRectangle ExtentsOf(const Control* control, AtkCoordType coords) const {
    GdkRectangle rect{0, 0, 0, 0};
    if (!window_ || !widget_) return rect;
    const UiRect pos = AccessibleBounds(control);
    const int scale = std::max(1, gtk_widget_get_scale_factor(widget_));
    rect = {pos.left / scale, pos.top / scale, pos.GetWidth() / scale, pos.GetHeight() / scale};
    if (coords == ATK_XY_WINDOW) return rect;
    int x = 0;
    int y = 0;
    if (GdkWindow* gdk_window = gtk_widget_get_window(widget_)) {
      gdk_window_get_origin(gdk_window, &x, &y);
    }
    rect.x += x;
    rect.y += y;
    if (coords == ATK_XY_PARENT) {
      const Control* parent = control->GetParentControl();
      if (parent) {
        const GdkRectangle outer = ExtentsOf(parent, ATK_XY_SCREEN);
        rect.x -= outer.x;
        rect.y -= outer.y;
      } else {
        rect.x -= x;
        rect.y -= y;
      }
    }
    return rect;
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
    AtkObject* object = Find(control);
    if (!object) return;
    ObjectData* data = DataOf(object);
    const AccessibleInfo info = control->DescribeAccessible();
    switch (change) {
      case AccessibleChange::kValue:
        if (ATK_IS_VALUE(object)) {
          g_signal_emit_by_name(object, "value-changed", info.value, nullptr);
          g_object_notify(G_OBJECT(object), "accessible-value");
        }
        break;
      case AccessibleChange::kSelection:
        if (ATK_IS_SELECTION(object)) g_signal_emit_by_name(object, "selection-changed");
        // The children's selected states follow.
        for (const auto& [child, child_object] : Snapshot()) {
          if (DataOf(child_object)->tree_parent == object) UpdateStates(child_object);
        }
        break;
      default:
        break;
    }
    const std::string old_text = data->text;
    const int old_caret = data->caret;
    const int old_start = data->selection_start;
    const int old_end = data->selection_end;
    const std::string old_name = data->name;
    const std::string old_description = data->description;
    Remember(data, info);
    if (data->name != old_name) g_object_notify(G_OBJECT(object), "accessible-name");
    if (data->description != old_description) {
      g_object_notify(G_OBJECT(object), "accessible-description");
    }
    if (ATK_IS_TEXT(object)) {
      if (data->text != old_text) EmitTextChange(object, old_text, data->text);
      if (data->caret != old_caret && data->caret >= 0) {
        g_signal_emit_by_name(object, "text-caret-moved", data->caret);
      }
      if (data->selection_start != old_start || data->selection_end != old_end) {
        g_signal_emit_by_name(object, "text-selection-changed");
      }
    }
    UpdateStates(object);
  }

  void OnAccessibleFocus(Control* old_focus, Control* new_focus) override {
    if (AtkObject* old_object = Find(old_focus)) UpdateStates(old_object);
    // The newly focused control is announced even if nobody asked for it yet.
    if (AtkObject* new_object = new_focus ? Get(new_focus) : nullptr) UpdateStates(new_object);
  }

  void OnControlDestroyed(Control* control) override {
    AtkObject* object = Find(control);
    if (!object) return;
    AtkObject* parent = DataOf(object)->tree_parent;
    g_object_ref(object);
    Drop(object);
    if (parent != window_object_ && !ControlOf(parent)) parent = nullptr;
    EmitChildrenChanged(parent, false, -1, object);
    g_object_unref(object);
  }

  void OnWindowDestroyed() override {
    window_ = nullptr;
    Detach();
  }

 private:
  static GType TypeFor(uint32_t interfaces);

  std::vector<std::pair<Control*, AtkObject*>> Snapshot() const {
    return {objects_.begin(), objects_.end()};
  }

  void Remember(ObjectData* data, const AccessibleInfo& info) {
    data->name = nbase::WideToUTF8(info.name);
    data->description = nbase::WideToUTF8(info.description);
    data->text = nbase::WideToUTF8(info.text);
    data->caret = info.caret;
    data->selection_start = info.selection_start;
    data->selection_end = info.selection_end;
  }

  void UpdateStates(AtkObject* object) {
    ObjectData* data = DataOf(object);
    const uint64_t now = StatesOf(data);
    const uint64_t changed = now ^ data->states;
    data->states = now;
    for (unsigned state = 0; state < 64 && changed >> state; ++state) {
      if (!(changed & (uint64_t{1} << state))) continue;
      atk_object_notify_state_change(object, static_cast<AtkState>(state),
                                     (now & (uint64_t{1} << state)) != 0);
    }
  }

  static void EmitTextChange(AtkObject* object, const std::string& before,
                             const std::string& after) {
    // The changed middle, in code points.
    const std::wstring a = nbase::UTF8ToWide(before);
    const std::wstring b = nbase::UTF8ToWide(after);
    size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
    size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
      ++suffix;
    }
    const std::wstring removed = a.substr(prefix, a.size() - prefix - suffix);
    const std::wstring inserted = b.substr(prefix, b.size() - prefix - suffix);
    const auto position = static_cast<gint>(prefix);
    if (!removed.empty()) {
      g_signal_emit_by_name(object, "text-remove::system", position,
                            static_cast<gint>(removed.size()), nbase::WideToUTF8(removed).c_str());
    }
    if (!inserted.empty()) {
      g_signal_emit_by_name(object, "text-insert::system", position,
                            static_cast<gint>(inserted.size()),
                            nbase::WideToUTF8(inserted).c_str());
    }
  }

  void OnVisibility(Control* control) {
    if (control->IsVisible()) {
      if (Find(control) || !InTree(control)) return;
      Control* parent = control->GetParentControl();
      AtkObject* parent_object = control == window_->GetRoot() ? window_object_ : Find(parent);
      // Nobody has seen the parent's children: nothing to announce.
      if (!parent_object) return;
      if (ObjectData* parent_data = DataOf(parent_object)) parent_data->children = Children(parent);
      EmitChildrenChanged(parent_object, true, IndexOf(control), Get(control));
      return;
    }
    AtkObject* object = Find(control);
    if (!object) return;
    if (ObjectData* parent_data = DataOf(DataOf(object)->tree_parent)) {
      parent_data->children = Children(control->GetParentControl());
    }
    g_object_ref(object);
    EmitChildrenChanged(DataOf(object)->tree_parent, false, -1, object);
    Drop(object);
    g_object_unref(object);
  }

  // The children of `control` changed: objects of the ones gone become
  // defunct, the new ones are announced where the parent has an object.
  void Reconcile(Control* control) {
    AtkObject* object = Find(control);
    if (!object) return;
    const std::vector<Control*> children = Children(control);
    for (const auto& [child, child_object] : Snapshot()) {
      ObjectData* data = DataOf(child_object);
      if (data->tree_parent != object || !data->control) continue;
      if (std::find(children.begin(), children.end(), child) != children.end()) continue;
      g_object_ref(child_object);
      EmitChildrenChanged(object, false, -1, child_object);
      Drop(child_object);
      g_object_unref(child_object);
    }
    ObjectData* data = DataOf(object);
    const std::vector<Control*> known = data->children;
    data->children = children;
    if (!data->children_known) return;
    for (size_t i = 0; i < children.size(); ++i) {
      if (std::find(known.begin(), known.end(), children[i]) != known.end()) continue;
      EmitChildrenChanged(object, true, static_cast<int>(i), Get(children[i]));
    }
  }

  // `object` and everything below it become defunct and leave the tree.
  void Drop(AtkObject* object) {
    Defunct(TakeAccessibleSubtree(&objects_, object, [](AtkObject* o) {
      return DataOf(o) ? DataOf(o)->tree_parent : nullptr;
    }));
  }

  void DropAll() {
    std::vector<AtkObject*> gone;
    for (const auto& entry : objects_) gone.push_back(entry.second);
    objects_.clear();
    Defunct(gone);
  }

  static void Defunct(const std::vector<AtkObject*>& gone) {
    for (AtkObject* object : gone) {
      ObjectData* data = DataOf(object);
      data->control = nullptr;
      data->tree = nullptr;
    }
    for (AtkObject* object : gone) DataOf(object)->tree_parent = nullptr;
    for (AtkObject* object : gone) {
      DataOf(object)->states = Bit(ATK_STATE_DEFUNCT);
      atk_object_notify_state_change(object, ATK_STATE_DEFUNCT, TRUE);
      g_object_unref(object);
    }
  }

  Window* window_;
  AtkObject* window_object_;
  GtkWidget* widget_;
  std::unordered_map<Control*, AtkObject*> objects_;
};

AccessibleTree* TreeOf(AtkObject* object) {
  ObjectData* data = DataOf(object);
  return data && data->control ? data->tree : nullptr;
}

// ---- The control object ---------------------------------------------------------------

void ComponentInit(AtkComponentIface* iface);

G_DEFINE_TYPE_WITH_CODE(ControlAccessible, control_accessible, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, ComponentInit))

void control_accessible_init(ControlAccessible* self) {
  self->data = new ObjectData();
}

void ControlFinalize(GObject* object) {
  delete reinterpret_cast<ControlAccessible*>(object)->data;
  G_OBJECT_CLASS(control_accessible_parent_class)->finalize(object);
}

const gchar* ControlGetName(AtkObject* object) {
  ObjectData* data = DataOf(object);
  if (!data->control) return nullptr;
  data->name = nbase::WideToUTF8(data->control->DescribeAccessible().name);
  return data->name.c_str();
}

const gchar* ControlGetDescription(AtkObject* object) {
  ObjectData* data = DataOf(object);
  if (!data->control) return nullptr;
  data->description = nbase::WideToUTF8(data->control->DescribeAccessible().description);
  return data->description.c_str();
}

// The children now, remembered as what the client knows.
std::vector<Control*> KnownChildren(AtkObject* object, AccessibleTree* tree) {
  ObjectData* data = DataOf(object);
  data->children = tree->Children(data->control);
  data->children_known = true;
  return data->children;
}

gint ControlGetNChildren(AtkObject* object) {
  AccessibleTree* tree = TreeOf(object);
  return tree ? static_cast<gint>(KnownChildren(object, tree).size()) : 0;
}

AtkObject* ControlRefChild(AtkObject* object, gint index) {
  AccessibleTree* tree = TreeOf(object);
  if (!tree || index < 0) return nullptr;
  const std::vector<Control*> children = KnownChildren(object, tree);
  if (static_cast<size_t>(index) >= children.size()) return nullptr;
  AtkObject* child = tree->Get(children[static_cast<size_t>(index)]);
  return child ? ATK_OBJECT(g_object_ref(child)) : nullptr;
}

gint ControlGetIndexInParent(AtkObject* object) {
  AccessibleTree* tree = TreeOf(object);
  return tree ? tree->IndexOf(ControlOf(object)) : -1;
}

AtkStateSet* ControlRefStateSet(AtkObject* object) {
  AtkStateSet* set = atk_state_set_new();
  ObjectData* data = DataOf(object);
  const uint64_t bits = data->tree ? data->tree->StatesOf(data) : Bit(ATK_STATE_DEFUNCT);
  for (unsigned state = 0; state < 64; ++state) {
    if (bits & (uint64_t{1} << state))
      atk_state_set_add_state(set, static_cast<AtkStateType>(state));
  }
  return set;
}

void control_accessible_class_init(ControlAccessibleClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = ControlFinalize;
  AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
  atk->get_name = ControlGetName;
  atk->get_description = ControlGetDescription;
  atk->get_n_children = ControlGetNChildren;
  atk->ref_child = ControlRefChild;
  atk->get_index_in_parent = ControlGetIndexInParent;
  atk->ref_state_set = ControlRefStateSet;
}

void ComponentGetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height,
                         AtkCoordType coords) {
  AtkObject* object = ATK_OBJECT(component);
  AccessibleTree* tree = TreeOf(object);
  GdkRectangle rect{0, 0, 0, 0};
  if (tree) rect = tree->ExtentsOf(ControlOf(object), coords);
  if (x) *x = rect.x;
  if (y) *y = rect.y;
  if (width) *width = rect.width;
  if (height) *height = rect.height;
}

gboolean ComponentGrabFocus(AtkComponent* component) {
  Control* control = ControlOf(ATK_OBJECT(component));
  if (!control || !control->IsVisible() || !control->IsEnabled()) return FALSE;
  control->SetFocus();
  return TRUE;
}

void ComponentInit(AtkComponentIface* iface) {
  iface->get_extents = ComponentGetExtents;
  iface->grab_focus = ComponentGrabFocus;
}

// ---- Action -----------------------------------------------------------------------------

gint ActionGetNActions(AtkAction* /*action*/) {
  return 1;
}

const gchar* ActionGetName(AtkAction* action, gint index) {
  Control* control = ControlOf(ATK_OBJECT(action));
  if (!control || index != 0) return nullptr;
  // A string literal of the control's class: it outlives the call.
  return control->DescribeAccessible().action;
}

gboolean ActionDoAction(AtkAction* action, gint index) {
  Control* control = ControlOf(ATK_OBJECT(action));
  if (!control || index != 0 || !control->IsActivatable()) return FALSE;
  // Later, as a click arrives: the caller (a screen reader over the bus)
  // gets its answer before any box the click opens.
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer object) -> gboolean {
        if (Control* target = ControlOf(ATK_OBJECT(object))) target->Activate();
        return G_SOURCE_REMOVE;
      },
      g_object_ref(action), g_object_unref);
  return TRUE;
}

void ActionInit(gpointer g_iface, gpointer /*data*/) {
  auto* iface = static_cast<AtkActionIface*>(g_iface);
  iface->get_n_actions = ActionGetNActions;
  iface->get_name = ActionGetName;
  iface->do_action = ActionDoAction;
}

// ---- Value ------------------------------------------------------------------------------

bool ValueInfo(AtkValue* value, AccessibleInfo* info) {
  Control* control = ControlOf(ATK_OBJECT(value));
  if (!control) return false;
  *info = control->DescribeAccessible();
  return true;
}

void SetDouble(GValue* out, double number) {
  g_value_init(out, G_TYPE_DOUBLE);
  g_value_set_double(out, number);
}

void ValueGetCurrent(AtkValue* value, GValue* out) {
  AccessibleInfo info;
  if (ValueInfo(value, &info)) SetDouble(out, info.value);
}

void ValueGetMaximum(AtkValue* value, GValue* out) {
  AccessibleInfo info;
  if (ValueInfo(value, &info)) SetDouble(out, info.max_value);
}

void ValueGetMinimum(AtkValue* value, GValue* out) {
  AccessibleInfo info;
  if (ValueInfo(value, &info)) SetDouble(out, info.min_value);
}

void ValueGetIncrement(AtkValue* value, GValue* out) {
  AccessibleInfo info;
  if (ValueInfo(value, &info)) SetDouble(out, info.step);
}

void ValueGetValueAndText(AtkValue* value, gdouble* number, gchar** text) {
  AccessibleInfo info;
  const bool ok = ValueInfo(value, &info);
  if (number) *number = ok ? info.value : 0.0;
  if (text) *text = nullptr;
}

AtkRange* ValueGetRange(AtkValue* value) {
  AccessibleInfo info;
  if (!ValueInfo(value, &info)) return nullptr;
  return atk_range_new(info.min_value, info.max_value, nullptr);
}

gdouble ValueGetIncrementNew(AtkValue* value) {
  AccessibleInfo info;
  return ValueInfo(value, &info) ? info.step : 0.0;
}

void ValueInit(gpointer g_iface, gpointer /*data*/) {
  auto* iface = static_cast<AtkValueIface*>(g_iface);
  iface->get_current_value = ValueGetCurrent;
  iface->get_maximum_value = ValueGetMaximum;
  iface->get_minimum_value = ValueGetMinimum;
  iface->get_minimum_increment = ValueGetIncrement;
  iface->get_value_and_text = ValueGetValueAndText;
  iface->get_range = ValueGetRange;
  iface->get_increment = ValueGetIncrementNew;
}

// ---- Text -------------------------------------------------------------------------------

// The text as the control has it now (kept for the change events too).
const std::string& CurrentText(AtkText* text) {
  ObjectData* data = DataOf(ATK_OBJECT(text));
  if (data->control) {
    const AccessibleInfo info = data->control->DescribeAccessible();
    data->text = nbase::WideToUTF8(info.text);
    data->caret = info.caret;
    data->selection_start = info.selection_start;
    data->selection_end = info.selection_end;
  }
  return data->text;
}

gint TextLength(const std::string& text) {
  return static_cast<gint>(g_utf8_strlen(text.c_str(), static_cast<gssize>(text.size())));
}

gchar* TextGetText(AtkText* text, gint start, gint end) {
  return g_strdup(Utf8Slice(CurrentText(text), start, end).c_str());
}

gint TextGetCharacterCount(AtkText* text) {
  return TextLength(CurrentText(text));
}

gint TextGetCaretOffset(AtkText* text) {
  CurrentText(text);
  return std::max(0, DataOf(ATK_OBJECT(text))->caret);
}

gunichar TextGetCharacterAtOffset(AtkText* text, gint offset) {
  const std::string& all = CurrentText(text);
  if (offset < 0 || offset >= TextLength(all)) return 0;
  return g_utf8_get_char(g_utf8_offset_to_pointer(all.c_str(), offset));
}

// Characters one by one; every larger unit is the whole text (the fields
// and labels hold a line or a short paragraph).
gchar* TextGetStringAtOffset(AtkText* text, gint offset, AtkTextGranularity granularity,
                             gint* start, gint* end) {
  const std::string& all = CurrentText(text);
  const gint length = TextLength(all);
  gint from = 0;
  gint to = length;
  if (granularity == ATK_TEXT_GRANULARITY_CHAR) {
    from = std::clamp(offset, 0, length);
    to = std::min(from + 1, length);
  }
  if (start) *start = from;
  if (end) *end = to;
  return g_strdup(Utf8Slice(all, from, to).c_str());
}

gchar* TextGetTextAtOffset(AtkText* text, gint offset, AtkTextBoundary boundary, gint* start,
                           gint* end) {
  return TextGetStringAtOffset(
      text, offset,
      boundary == ATK_TEXT_BOUNDARY_CHAR ? ATK_TEXT_GRANULARITY_CHAR : ATK_TEXT_GRANULARITY_LINE,
      start, end);
}

gint TextGetNSelections(AtkText* text) {
  CurrentText(text);
  const ObjectData* data = DataOf(ATK_OBJECT(text));
  return data->selection_end > data->selection_start ? 1 : 0;
}

gchar* TextGetSelection(AtkText* text, gint index, gint* start, gint* end) {
  const std::string& all = CurrentText(text);
  const ObjectData* data = DataOf(ATK_OBJECT(text));
  if (index != 0 || data->selection_end <= data->selection_start) {
    if (start) *start = 0;
    if (end) *end = 0;
    return nullptr;
  }
  if (start) *start = data->selection_start;
  if (end) *end = data->selection_end;
  return g_strdup(Utf8Slice(all, data->selection_start, data->selection_end).c_str());
}

AtkAttributeSet* TextGetRunAttributes(AtkText* text, gint /*offset*/, gint* start, gint* end) {
  if (start) *start = 0;
  if (end) *end = TextLength(CurrentText(text));
  return nullptr;
}

void TextGetCharacterExtents(AtkText* text, gint /*offset*/, gint* x, gint* y, gint* width,
                             gint* height, AtkCoordType coords) {
  ComponentGetExtents(ATK_COMPONENT(text), x, y, width, height, coords);
}

void TextInit(gpointer g_iface, gpointer /*data*/) {
  auto* iface = static_cast<AtkTextIface*>(g_iface);
  iface->get_text = TextGetText;
  iface->get_character_count = TextGetCharacterCount;
  iface->get_caret_offset = TextGetCaretOffset;
  iface->get_character_at_offset = TextGetCharacterAtOffset;
  iface->get_string_at_offset = TextGetStringAtOffset;
  iface->get_text_at_offset = TextGetTextAtOffset;
  iface->get_n_selections = TextGetNSelections;
  iface->get_selection = TextGetSelection;
  iface->get_run_attributes = TextGetRunAttributes;
  iface->get_character_extents = TextGetCharacterExtents;
}

// ---- Selection --------------------------------------------------------------------------

std::vector<Control*> SelectedChildren(AtkSelection* selection) {
  std::vector<Control*> selected;
  AccessibleTree* tree = TreeOf(ATK_OBJECT(selection));
  if (!tree) return selected;
  for (Control* child : tree->Children(ControlOf(ATK_OBJECT(selection)))) {
    if (child->DescribeAccessible().states & kAccessibleSelected) selected.push_back(child);
  }
  return selected;
}

Control* SelectionChild(AtkSelection* selection, gint index) {
  AccessibleTree* tree = TreeOf(ATK_OBJECT(selection));
  if (!tree || index < 0) return nullptr;
  const std::vector<Control*> children = tree->Children(ControlOf(ATK_OBJECT(selection)));
  return static_cast<size_t>(index) < children.size() ? children[static_cast<size_t>(index)]
                                                      : nullptr;
}

// Choosing an item is what clicking it does.
gboolean SelectionAdd(AtkSelection* selection, gint index) {
  Control* child = SelectionChild(selection, index);
  if (!child || !child->IsActivatable()) return FALSE;
  child->Activate();
  return TRUE;
}

AtkObject* SelectionRef(AtkSelection* selection, gint index) {
  const std::vector<Control*> selected = SelectedChildren(selection);
  if (index < 0 || static_cast<size_t>(index) >= selected.size()) return nullptr;
  AtkObject* child = TreeOf(ATK_OBJECT(selection))->Get(selected[static_cast<size_t>(index)]);
  return child ? ATK_OBJECT(g_object_ref(child)) : nullptr;
}

gint SelectionCount(AtkSelection* selection) {
  return static_cast<gint>(SelectedChildren(selection).size());
}

gboolean SelectionIsSelected(AtkSelection* selection, gint index) {
  Control* child = SelectionChild(selection, index);
  return child && (child->DescribeAccessible().states & kAccessibleSelected) ? TRUE : FALSE;
}

void SelectionInit(gpointer g_iface, gpointer /*data*/) {
  auto* iface = static_cast<AtkSelectionIface*>(g_iface);
  iface->add_selection = SelectionAdd;
  iface->ref_selection = SelectionRef;
  iface->get_selection_count = SelectionCount;
  iface->is_child_selected = SelectionIsSelected;
}

// One type per set of interfaces, so that a client sees only those that fit.
GType AccessibleTree::TypeFor(uint32_t interfaces) {
  static GType types[16] = {};
  interfaces &= 15u;
  if (types[interfaces]) return types[interfaces];
  const GType base = control_accessible_get_type();
  if (interfaces == 0) return types[0] = base;
  GTypeQuery query;
  g_type_query(base, &query);
  GTypeInfo info{};
  info.class_size = static_cast<guint16>(query.class_size);
  info.instance_size = static_cast<guint16>(query.instance_size);
  const std::string name = "CorvaneControlAccessible" + std::to_string(interfaces);
  const GType type = g_type_register_static(base, name.c_str(), &info, static_cast<GTypeFlags>(0));
  auto add = [type](GType iface, GInterfaceInitFunc init) {
    const GInterfaceInfo iface_info{init, nullptr, nullptr};
    g_type_add_interface_static(type, iface, &iface_info);
  };
  if (interfaces & kAccessibleAction) {
    add(ATK_TYPE_ACTION, ActionInit);
  }
  if (interfaces & kAccessibleValue) {
    add(ATK_TYPE_VALUE, ValueInit);
  }
  if (interfaces & kAccessibleText) {
    add(ATK_TYPE_TEXT, TextInit);
  }
  if (interfaces & kAccessibleSelection) {
    add(ATK_TYPE_SELECTION, SelectionInit);
  }
  return types[interfaces] = type;
}

// ---- The window object ------------------------------------------------------------------

G_DEFINE_TYPE(WindowAccessible, window_accessible, GTK_TYPE_WINDOW_ACCESSIBLE)

void window_accessible_init(WindowAccessible* self) {
  self->tree = nullptr;
}

// The tree, made when the window core is known and first asked for.
AccessibleTree* WindowTree(AtkObject* object) {
  auto* self = reinterpret_cast<WindowAccessible*>(object);
  if (self->tree) return self->tree->window() ? self->tree : nullptr;
  GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(object));
  auto* window =
      widget ? static_cast<Window*>(g_object_get_data(G_OBJECT(widget), kWindowKey)) : nullptr;
  if (!window) return nullptr;
  self->tree = new AccessibleTree(window, object, widget);
  return self->tree;
}

gint WindowGetNChildren(AtkObject* object) {
  AccessibleTree* tree = WindowTree(object);
  if (!tree) return ATK_OBJECT_CLASS(window_accessible_parent_class)->get_n_children(object);
  return static_cast<gint>(tree->Children(nullptr).size());
}

AtkObject* WindowRefChild(AtkObject* object, gint index) {
  AccessibleTree* tree = WindowTree(object);
  if (!tree) return ATK_OBJECT_CLASS(window_accessible_parent_class)->ref_child(object, index);
  const std::vector<Control*> children = tree->Children(nullptr);
  if (index < 0 || static_cast<size_t>(index) >= children.size()) return nullptr;
  AtkObject* child = tree->Get(children[static_cast<size_t>(index)]);
  return child ? ATK_OBJECT(g_object_ref(child)) : nullptr;
}

void WindowDropTree(WindowAccessible* self) {
  delete self->tree;
  self->tree = nullptr;
}

void WindowWidgetUnset(GtkAccessible* accessible) {
  WindowDropTree(reinterpret_cast<WindowAccessible*>(accessible));
  GTK_ACCESSIBLE_CLASS(window_accessible_parent_class)->widget_unset(accessible);
}

void WindowFinalize(GObject* object) {
  WindowDropTree(reinterpret_cast<WindowAccessible*>(object));
  G_OBJECT_CLASS(window_accessible_parent_class)->finalize(object);
}

void window_accessible_class_init(WindowAccessibleClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = WindowFinalize;
  ATK_OBJECT_CLASS(klass)->get_n_children = WindowGetNChildren;
  ATK_OBJECT_CLASS(klass)->ref_child = WindowRefChild;
  GTK_ACCESSIBLE_CLASS(klass)->widget_unset = WindowWidgetUnset;
}

// ---- The window widget ------------------------------------------------------------------

G_DEFINE_TYPE(SkinWindow, skin_window, GTK_TYPE_WINDOW)

void skin_window_init(SkinWindow* /*self*/) {}

void skin_window_class_init(SkinWindowClass* klass) {
  gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), window_accessible_get_type());
}

AccessibleTree* ExistingTree(GtkWidget* widget) {
  return widget ? static_cast<AccessibleTree*>(g_object_get_data(G_OBJECT(widget), kTreeKey))
                : nullptr;
}

}  // namespace

namespace {

class GtkAccessibleBridge : public AccessibleBridge {
 public:
  void* CreateToolkitWindow(bool popup) override {
    const GtkWindowType type = popup ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL;
    return g_object_new(skin_window_get_type(), "type", type, nullptr);
  }

  void Attach(void* toolkit_window, Window* window) override {
    if (!toolkit_window) return;
    GObject* widget = G_OBJECT(toolkit_window);
    g_object_set_data(widget, kWindowKey, window);
    if (window) return;
    if (AccessibleTree* tree = ExistingTree(GTK_WIDGET(widget))) tree->Detach();
  }
};

}  // namespace

void UseGtkAccessibleBridge() {
  static GtkAccessibleBridge bridge;
  SetAccessibleBridge(&bridge);
}

void UseDesktopAccessibility() {
  UseGtkAccessibleBridge();
}

AtkObject* FindControlAccessible(GtkWidget* widget, const Control* control) {
  AccessibleTree* tree = ExistingTree(widget);
  return tree ? tree->Find(control) : nullptr;
}

size_t CountControlAccessibles(GtkWidget* widget) {
  AccessibleTree* tree = ExistingTree(widget);
  return tree ? tree->size() : 0;
}

Control* GetAccessibleControl(AtkObject* object) {
  return ControlOf(object);
}

}  // namespace ui
