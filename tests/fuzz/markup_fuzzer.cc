// Feeds arbitrary bytes to the markup parser and reads back everything a
// builder would: names, values and attributes of every element.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/string_util.h"
#include "ui/core/markup.h"

namespace {

size_t Walk(ui::MarkupElement root) {
  size_t total = 0;
  std::vector<ui::MarkupElement> pending{root};
  std::wstring value;
  while (!pending.empty()) {
    ui::MarkupElement e = pending.back();
    pending.pop_back();
    total += std::wstring_view(e.GetName()).size() + std::wstring_view(e.GetValue()).size();
    const int count = e.GetAttributeCount();
    for (int i = -1; i <= count; ++i) {
      const wchar_t* name = e.GetAttributeName(i);
      total += std::wstring_view(e.GetAttributeValue(i)).size();
      if (e.GetAttributeValue(name, &value)) total += value.size();
    }
    e.GetChild(L"Font");
    if (e.GetParent().IsValid()) total += 1;
    for (ui::MarkupElement c = e.GetChild(); c.IsValid(); c = c.GetSibling()) pending.push_back(c);
  }
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool preserve = (data[0] & 1) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  ui::MarkupDocument doc;
  doc.SetPreserveWhitespace(preserve);
  if (doc.LoadFromUtf8(text)) {
    volatile size_t sink = Walk(doc.GetRoot());
    (void)sink;
  } else {
    volatile size_t sink = std::wstring_view(doc.GetLastErrorMessage()).size() +
                           std::wstring_view(doc.GetLastErrorLocation()).size();
    (void)sink;
  }
  // The wide entry point must agree with the UTF-8 one.
  ui::MarkupDocument wide;
  wide.SetPreserveWhitespace(preserve);
  std::wstring converted = nbase::UTF8ToWide(text);
  if (!converted.empty() && converted[0] == 0xFEFF) converted.erase(0, 1);
  if (converted.find(L'\0') == std::wstring::npos && !text.starts_with("\xEF\xBB\xBF") &&
      wide.Load(converted) != doc.LoadFromUtf8(text)) {
    __builtin_trap();
  }
  return 0;
}
