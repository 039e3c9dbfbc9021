#pragma once

#include <string>
#include <string_view>

#include "ui/core/global_manager.h"
#include "ui/core/markup.h"

namespace ui {

class Box;
class Control;
class Window;

// Turns one skin document into its effect: the global style sheet (root
// "Global": fonts, named colours, classes) or a control tree (root "Window":
// window settings, window classes, controls, includes and skin events). One
// builder per document.
class WindowBuilder {
 public:
  WindowBuilder() = default;
  WindowBuilder(const WindowBuilder&) = delete;
  WindowBuilder& operator=(const WindowBuilder&) = delete;

  // `xml` is markup text when it starts with "<", else a path under the
  // resource root (inside the archive when one is open). Controls land in
  // `parent`; with `root_box` the document's first control element is applied
  // to that box instead. Returns the first control built at the top level (the
  // caller owns it when there is no parent), `root_box`, or nullptr (always
  // nullptr for a style sheet).
  Control* Build(const std::wstring& xml, CreateControlCallback callback = {},
                 Window* window = nullptr, Box* parent = nullptr, Box* root_box = nullptr);

  // The parsed document; its error texts tell why a load failed.
  MarkupDocument* GetMarkup() { return &markup_; }

 private:
  bool LoadDocument(const std::wstring& xml);
  void ApplyGlobal(const MarkupElement& root);
  static void AddGlobalFont(const MarkupElement& element);
  static void AddGlobalTextColor(const MarkupElement& element);
  static void AddGlobalClass(const MarkupElement& element);
  void ApplyWindowAttributes(const MarkupElement& root, Window* window);
  // Builds the children of `element` into `parent`; returns the first added.
  Control* ParseChildren(const MarkupElement& element, Control* parent, Window* window);
  void BuildInclude(const MarkupElement& element, Control* parent, Window* window);
  // `Event` and `BubbledEvent`: handlers that apply an attribute list.
  static void AttachSkinEvents(const MarkupElement& element, Control* owner, bool bubbled);

  MarkupDocument markup_;
  CreateControlCallback callback_;
};

// The control a built-in skin tag stands for, or nullptr for tags this
// library does not provide (yet).
Control* CreateControlForTag(std::wstring_view tag);

}  // namespace ui
