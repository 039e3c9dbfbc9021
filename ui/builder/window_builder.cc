#include "ui/builder/window_builder.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <string_view>

#include "base/string_util.h"
#include "ui/builder/child_box.h"
#include "ui/control/button.h"
#include "ui/control/check_box.h"
#include "ui/control/combo.h"
#include "ui/control/label.h"
#include "ui/control/list_box.h"
#include "ui/control/option.h"
#include "ui/control/progress.h"
#include "ui/control/rich_edit.h"
#include "ui/control/scroll_bar.h"
#include "ui/control/scrollable_box.h"
#include "ui/control/slider.h"
#include "ui/control/tab_box.h"
#include "ui/control/tree_view.h"
#include "ui/control/virtual_list_box.h"
#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/core/window.h"
#include "ui/native/desktop.h"

namespace ui {

namespace {

// Decimal like the runtime's wide-to-integer conversion: leading blanks and a
// sign, digits up to the first other character, 0 when there are none.
int ParseDecimal(const std::wstring& text) {
  const long value = std::wcstol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

// "#AARRGGBB" without its first character, read as base 16; a value that does
// not fit in 32 bits saturates.
uint32_t ParseColor(const std::wstring& value) {
  if (value.empty()) return 0;
  const unsigned long long argb = std::wcstoull(value.c_str() + 1, nullptr, 16);
  return argb > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(argb);
}

// Style-sheet items: never controls.
bool IsGlobalItem(std::wstring_view tag) {
  return tag == L"Image" || tag == L"Font" || tag == L"Class" || tag == L"TextColor";
}

// Includes nest; a file that includes itself must not exhaust the stack.
constexpr int kMaxIncludeDepth = 32;
thread_local int g_include_depth = 0;

// Height of the primary monitor's work area, or 0 without a display.
int PrimaryWorkAreaHeight() {
  return GetPrimaryWorkArea().GetHeight();
}

// The work-area height times a fraction, truncated. A fraction too large to
// fit (or not a number) must not reach the integer conversion.
int WorkAreaShare(int work_height, double fraction) {
  constexpr double kLimit = 1 << 30;
  const double height = work_height * fraction;
  if (std::isnan(height)) return 0;
  return static_cast<int>(std::clamp(height, -kLimit, kLimit));
}

bool IsTrue(const MarkupElement& element, std::wstring_view name) {
  std::wstring value;
  return element.GetAttributeValue(name, &value) && value == L"true";
}

}  // namespace

Control* WindowBuilder::Build(const std::wstring& xml, CreateControlCallback callback,
                              Window* window, Box* parent, Box* root_box) {
  if (!LoadDocument(xml)) return nullptr;
  callback_ = std::move(callback);
  MarkupElement root = markup_.GetRoot();
  if (!root.IsValid()) return nullptr;

  const std::wstring_view root_name = root.GetName();
  if (root_name == L"Global") {
    // Controls outside a window would have no owner: a style sheet builds none.
    ApplyGlobal(root);
    return nullptr;
  }
  if (root_name == L"Window" && window) {
    ApplyWindowAttributes(root, window);
    for (MarkupElement child = root.GetChild(); child.IsValid(); child = child.GetSibling()) {
      if (std::wstring_view(child.GetName()) != L"Class") continue;
      std::wstring name;
      std::wstring value;
      child.GetAttributeValue(L"name", &name);
      child.GetAttributeValue(L"value", &value);
      if (!name.empty()) window->AddClass(name, value);
    }
  }

  MarkupElement first = root.GetChild();
  while (first.IsValid() && IsGlobalItem(first.GetName())) first = first.GetSibling();
  if (!first.IsValid()) return nullptr;
  if (!root_box) return ParseChildren(root, parent, window);

  for (int i = 0; i < first.GetAttributeCount(); ++i) {
    root_box->SetAttribute(first.GetAttributeName(i), first.GetAttributeValue(i));
  }
  ParseChildren(first, root_box, window);
  return root_box;
}

bool WindowBuilder::LoadDocument(const std::wstring& xml) {
  markup_.SetPreserveWhitespace(true);
  if (!xml.empty() && xml[0] == L'<') return markup_.Load(xml);
  if (!GlobalManager::IsUseZip()) return markup_.LoadFromFile(xml);
  std::optional<std::string> data =
      GlobalManager::ReadArchiveEntry(GlobalManager::GetResourceRoot() + xml);
  if (!data) {
    markup_.Release();
    return false;
  }
  return markup_.LoadFromUtf8(*data);
}

void WindowBuilder::ApplyGlobal(const MarkupElement& root) {
  for (int i = 0; i < root.GetAttributeCount(); ++i) {
    const std::wstring_view name = root.GetAttributeName(i);
    const std::wstring value = root.GetAttributeValue(i);
    if (name == L"defaultfontcolor") {
      GlobalManager::SetDefaultColorName(value);
    } else if (name == L"disabledfontcolor") {
      GlobalManager::SetDefaultDisabledColorName(value);
    } else if (name == L"linkfontcolor" || name == L"linkhoverfontcolor" ||
               name == L"selectedcolor") {
      // Only makes sure the colour exists; nothing reads these back.
      GlobalManager::GetTextColor(value);
    }
  }
  for (MarkupElement child = root.GetChild(); child.IsValid(); child = child.GetSibling()) {
    const std::wstring_view tag = child.GetName();
    if (tag == L"Font") {
      AddGlobalFont(child);
    } else if (tag == L"TextColor") {
      AddGlobalTextColor(child);
    } else if (tag == L"Class") {
      AddGlobalClass(child);
    }
    // "Image" is accepted and ignored; other children are controls, which a
    // style sheet does not keep.
  }
}

void WindowBuilder::AddGlobalFont(const MarkupElement& element) {
  std::wstring face;
  element.GetAttributeValue(L"name", &face);
  std::wstring size_text;
  const int size = element.GetAttributeValue(L"size", &size_text) ? ParseDecimal(size_text) : 12;
  if (face.empty()) return;
  GlobalManager::AddFont(face, size, IsTrue(element, L"bold"), IsTrue(element, L"underline"),
                         IsTrue(element, L"italic"));
}

void WindowBuilder::AddGlobalTextColor(const MarkupElement& element) {
  std::wstring name;
  std::wstring value;
  if (element.GetAttributeValue(L"name", &name) && element.GetAttributeValue(L"value", &value)) {
    GlobalManager::AddTextColor(name, ParseColor(value));
  }
}

void WindowBuilder::AddGlobalClass(const MarkupElement& element) {
  std::wstring name;
  std::wstring value;
  element.GetAttributeValue(L"name", &name);
  element.GetAttributeValue(L"value", &value);
  if (!name.empty()) GlobalManager::AddClass(name, value);
}

void WindowBuilder::ApplyWindowAttributes(const MarkupElement& root, Window* window) {
  Window::SkinAttributes& skin = window->GetSkinAttributes();
  NativeWindow* native = window->GetNativeWindow();
  // The shadow as it stands when each attribute is read: document order matters.
  auto sides = [window]() {
    if (!window->IsShadowAttached()) return CSize();
    const UiRect c = window->GetShadowCorner();
    return CSize(c.left + c.right, c.top + c.bottom);
  };
  auto resize_native = [window, native, &skin]() {
    if (window->GetRoot() || !native || !native->IsValid()) return;
    const UiRect r = native->GetWindowRect();
    native->SetWindowRect(
        UiRect(r.left, r.top, r.left + skin.init_size.cx, r.top + skin.init_size.cy), false);
  };
  auto scaled_info = [&sides](const std::wstring& value) {
    CSize size = ParseSizeAttribute(value);
    GlobalManager::ScaleSize(size);
    if (size.cx != 0) size.cx += sides().cx;
    if (size.cy != 0) size.cy += sides().cy;
    return size;
  };

  for (int i = 0; i < root.GetAttributeCount(); ++i) {
    const std::wstring_view name = root.GetAttributeName(i);
    const std::wstring value = root.GetAttributeValue(i);
    if (name == L"size") {
      CSize size = ParseSizeAttribute(value);
      GlobalManager::ScaleSize(size);
      skin.init_size = CSize(size.cx + sides().cx, size.cy + sides().cy);
      resize_native();
    } else if (name == L"heightpercent") {
      const int work_height = PrimaryWorkAreaHeight();
      if (work_height <= 0) continue;
      int height = WorkAreaShare(work_height, std::wcstod(value.c_str(), nullptr));
      if (skin.min_info.cy != 0) height = std::max(height, skin.min_info.cy - sides().cy);
      if (skin.max_info.cy != 0) height = std::min(height, skin.max_info.cy - sides().cy);
      const int width = skin.init_size.cx != 0 ? skin.init_size.cx : sides().cx;
      skin.init_size = CSize(width, height + sides().cy);
      resize_native();
    } else if (name == L"sizebox") {
      skin.size_box = ParseRectAttribute(value);
    } else if (name == L"caption") {
      UiRect caption = ParseRectAttribute(value);
      GlobalManager::ScaleRectangle(caption);
      skin.caption = caption;
    } else if (name == L"textid") {
      if (native) native->SetTitle(GlobalManager::GetLanguageString(value));
    } else if (name == L"roundcorner") {
      CSize round = ParseSizeAttribute(value);
      GlobalManager::ScaleSize(round);
      skin.round_corner = round;
    } else if (name == L"mininfo") {
      skin.min_info = scaled_info(value);
    } else if (name == L"maxinfo") {
      skin.max_info = scaled_info(value);
    } else if (name == L"shadowattached") {
      window->SetShadowAttached(value == L"true");
    } else if (name == L"shadowimage") {
      skin.shadow_image = value;
      skin.use_default_shadow_image = false;
    } else if (name == L"shadowcorner") {
      UiRect corner = ParseRectAttribute(value);
      skin.shadow_corner_unscaled = corner;
      GlobalManager::ScaleRectangle(corner);
      window->SetShadowCorner(corner);
      skin.shadow_corner_restore = corner;
    } else if (name == L"alphafixcorner" || name == L"custom_shadow") {
      UiRect corner = ParseRectAttribute(value);
      GlobalManager::ScaleRectangle(corner);
      window->SetAlphaFixCorner(corner);
    }
  }
}

Control* WindowBuilder::ParseChildren(const MarkupElement& element, Control* parent,
                                      Window* window) {
  Control* result = nullptr;
  for (MarkupElement child = element.GetChild(); child.IsValid(); child = child.GetSibling()) {
    const std::wstring_view tag = child.GetName();
    if (IsGlobalItem(tag)) continue;
    if (tag == L"Include") {
      BuildInclude(child, parent, window);
      continue;
    }
    Control* control = CreateControlForTag(tag);
    if (!control) {
      if (tag == L"Event" || tag == L"BubbledEvent") {
        AttachSkinEvents(child, parent, tag == L"BubbledEvent");
        continue;
      }
      const std::wstring tag_name(tag);
      if (const CreateControlCallback& hook = GlobalManager::GetCreateControlCallback()) {
        control = hook(tag_name);
      }
      if (!control && callback_) control = callback_(tag_name);
      if (!control) continue;
    }

    control->SetWindow(window);
    for (int i = 0; i < child.GetAttributeCount(); ++i) {
      control->SetAttribute(child.GetAttributeName(i), child.GetAttributeValue(i));
    }
    if (child.HasChildren()) ParseChildren(child, control, window);

    if (parent) {
      Box* box = dynamic_cast<Box*>(parent);
      if (!box) {
        // Only boxes hold children; the orphan is not kept.
        delete control;
        return nullptr;
      }
      if (!box->Add(control)) {
        delete control;
        continue;
      }
      if (!result) result = control;
    } else if (!result) {
      result = control;
    } else {
      // Only the first top-level control is handed back; later ones would have no owner.
      delete control;
    }
  }
  return result;
}

void WindowBuilder::BuildInclude(const MarkupElement& element, Control* parent, Window* window) {
  std::wstring source;
  if (!element.GetAttributeValue(L"source", &source)) return;
  std::wstring count_text;
  const int count = element.GetAttributeValue(L"count", &count_text) ? ParseDecimal(count_text) : 1;
  if (g_include_depth >= kMaxIncludeDepth) return;
  Box* box = dynamic_cast<Box*>(parent);
  ++g_include_depth;
  for (int i = 0; i < count; ++i) {
    WindowBuilder builder;
    Control* built = builder.Build(source, callback_, window, box);
    // Without a box to hold it, an included control would have no owner.
    if (!box) delete built;
  }
  --g_include_depth;
}

void WindowBuilder::AttachSkinEvents(const MarkupElement& element, Control* owner, bool bubbled) {
  if (!owner) return;
  Box* box = dynamic_cast<Box*>(owner);
  if (bubbled && !box) return;
  std::wstring type;
  std::wstring receiver;
  std::wstring list;
  element.GetAttributeValue(L"type", &type);
  element.GetAttributeValue(L"receiver", &receiver);
  element.GetAttributeValue(L"applyattribute", &list);
  const std::vector<std::wstring> kinds = nbase::StringTokenize(type, L" ");
  const std::vector<std::wstring> receivers = nbase::StringTokenize(receiver, L" ");
  for (const std::wstring& word : kinds) {
    const EventType kind = EventTypeFromString(word);
    for (const std::wstring& name : receivers) {
      EventCallback callback = owner->MakeWeakCallback([owner, name, list](const EventArgs&) {
        return owner->ApplyAttributeListTo(name, list);
      });
      if (bubbled) {
        box->AttachXmlBubbledEvent(kind, std::move(callback));
      } else {
        owner->AttachXmlEvent(kind, std::move(callback));
      }
    }
  }
}

Control* CreateControlForTag(std::wstring_view tag) {
  // Tags outside this table fall through to the application's hooks.
  switch (tag.size()) {
    case 3:
      if (tag == L"Box") return new Box();
      break;
    case 4:
      if (tag == L"HBox") return new HBox();
      if (tag == L"VBox") return new VBox();
      break;
    case 5:
      if (tag == L"Label") return new Label();
      if (tag == L"Combo") return new Combo();
      break;
    case 6:
      if (tag == L"Button") return new Button();
      if (tag == L"Option") return new Option();
      if (tag == L"Slider") return new Slider();
      if (tag == L"TabBox") return new TabBox();
      break;
    case 7:
      if (tag == L"Control") return new Control();
      if (tag == L"TileBox") return new TileBox();
      if (tag == L"ListBox") return new ListBox(std::make_unique<Layout>());
      break;
    case 8:
      if (tag == L"ChildBox") return new ChildBox();
      if (tag == L"Progress") return new Progress();
      if (tag == L"CheckBox") return new CheckBox();
      if (tag == L"LabelBox") return new LabelBox();
      if (tag == L"RichEdit") return new RichEdit();
      if (tag == L"TreeView") return new TreeView();
      if (tag == L"TreeNode") return new TreeNode();
      if (tag == L"HListBox") return new ListBox(std::make_unique<HLayout>());
      if (tag == L"VListBox") return new ListBox(std::make_unique<VLayout>());
      break;
    case 9:
      if (tag == L"ScrollBar") return new ScrollBar();
      if (tag == L"ButtonBox") return new ButtonBox();
      if (tag == L"OptionBox") return new OptionBox();
      break;
    case 11:
      if (tag == L"CheckBoxBox") return new CheckBoxBox();
      if (tag == L"TileListBox") return new ListBox(std::make_unique<TileLayout>());
      break;
    case 14:
      if (tag == L"VirtualListBox") return new VirtualListBox();
      break;
    case 20:
      if (tag == L"ListContainerElement") return new ListContainerElement();
      break;
    default:
      break;
  }
  return nullptr;
}

}  // namespace ui
