#pragma once

#include <string>

#include "ui/core/global_manager.h"
#include "ui/core/markup.h"

namespace ui {

class Box;
class Control;
class Window;

// Turns one skin document into its effect: for now the global style sheet
// (root "Global": fonts, named colours, classes). One builder per document.
class WindowBuilder {
 public:
  WindowBuilder() = default;
  WindowBuilder(const WindowBuilder&) = delete;
  WindowBuilder& operator=(const WindowBuilder&) = delete;

  // `xml` is markup text when it starts with "<", else a path under the
  // resource root (inside the archive when one is open). Returns the first
  // control built, or nullptr (always nullptr for a style sheet).
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

  MarkupDocument markup_;
  CreateControlCallback callback_;
};

}  // namespace ui
