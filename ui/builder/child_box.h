#pragma once

#include <string>

#include "ui/core/box.h"

namespace ui {

// Takes its content from a separate skin file ("xmlfile").
class ChildBox : public Box {
 public:
  ChildBox() = default;
  void DoInit() override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  const std::wstring& GetChildXmlFile() const { return xml_file_; }
  void SetChildXmlFile(const std::wstring& file) { xml_file_ = file; }

 private:
  std::wstring xml_file_;
};

}  // namespace ui
