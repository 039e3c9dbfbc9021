#pragma once

// What the paragraph layouts share on DirectWrite: the factory, the system's
// fonts, and the choice of a family for each character. A family list names
// families in order of preference; a character the first family lacks is
// taken from the next family that has it (then from the UI's CJK-capable
// families), so that Chinese in a Latin face shows the same on every
// DirectWrite, including those without a system fallback of their own.

#include <dwrite.h>
#include <dwrite_2.h>
#include <wrl/client.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ui::dwrite {

template <typename T>
using ComPtr = Microsoft::WRL::ComPtr<T>;

class Context {
 public:
  // Null when DirectWrite cannot be had.
  static std::shared_ptr<Context> Create();

  Context(ComPtr<IDWriteFactory> factory, ComPtr<IDWriteFontCollection> fonts);
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  IDWriteFactory* factory() const { return factory_.Get(); }
  // Null before Windows 8.1.
  IDWriteFactory2* factory2() const { return factory2_.Get(); }
  IDWriteFontCollection* fonts() const { return fonts_.Get(); }

  // The family a comma-separated list names: its first family the system
  // has, else the first UI family it has (never empty while the system has
  // any font).
  const std::wstring& PrimaryFamily(const std::wstring& list);
  // The family of `list` to draw `c` with: the primary family when it has
  // the character, else the first family of the list, then of the UI
  // families, that has it; the primary family when none has it (a system
  // fallback may still find one).
  const std::wstring& FamilyFor(const std::wstring& list, char32_t c);

 private:
  struct Family {
    std::wstring name;
    ComPtr<IDWriteFont> font;  // its regular face, for character coverage
  };
  struct Resolved {
    std::vector<Family> families;  // the list's present families, then the UI's
    std::wstring primary;
    std::map<char32_t, size_t> choice;  // characters the primary lacks
  };
  Resolved& Resolve(const std::wstring& list);
  void AddFamilies(std::wstring_view list, std::vector<Family>* out);

  ComPtr<IDWriteFactory> factory_;
  ComPtr<IDWriteFactory2> factory2_;
  ComPtr<IDWriteFontCollection> fonts_;
  std::map<std::wstring, Resolved> resolved_;
};

}  // namespace ui::dwrite
