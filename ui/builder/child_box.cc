#include "ui/builder/child_box.h"

#include "ui/builder/window_builder.h"

namespace ui {

// ChildBox --------------------------------------------------------------------

void ChildBox::DoInit() {
  if (xml_file_.empty() || GetCount() > 0) return;
  WindowBuilder builder;
  Control* content = builder.Build(xml_file_, {}, GetWindow());
  if (!content) {
    RemoveAll();
    return;
  }
  if (!Add(content)) delete content;
}

void ChildBox::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"xmlfile") {
    xml_file_ = value;
  } else {
    Box::SetAttribute(name, value);
  }
}

}  // namespace ui
