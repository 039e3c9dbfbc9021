#include "ui/image/image.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <cwctype>

namespace ui {

namespace {

bool IsBlankOrControl(wchar_t c) {
  return static_cast<uint32_t>(c) <= 32;
}

// wcstol clamped to 32 bits, as a 32-bit long would give.
int ReadInt(const wchar_t* begin, wchar_t** end) {
  long v = std::wcstol(begin, end, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// wcstoul as a 32-bit unsigned long reads: a magnitude beyond 32 bits
// saturates instead of keeping its low bits, so fade='4294967296' stays
// opaque; a minus sign negates modulo 2^32.
uint32_t ReadUnsigned32(const wchar_t* text) {
  const wchar_t* p = text;
  while (std::iswspace(static_cast<wint_t>(*p))) ++p;
  const bool negative = *p == L'-';
  errno = 0;
  const unsigned long long v = std::wcstoull(text, nullptr, 10);
  if (errno == ERANGE) return UINT32_MAX;
  const unsigned long long magnitude = negative ? 0 - v : v;
  return magnitude > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
}

// Four numbers, each starting one character after the previous ended. A short
// value leaves the missing numbers 0 rather than reading past its end.
UiRect ReadRect(const std::wstring& value) {
  int n[4] = {0, 0, 0, 0};
  const wchar_t* p = value.c_str();
  const wchar_t* const end = p + value.size();
  for (int i = 0; i < 4 && p < end; ++i) {
    wchar_t* next = nullptr;
    n[i] = ReadInt(p, &next);
    if (next >= end) break;
    p = next + 1;
  }
  return UiRect(n[0], n[1], n[2], n[3]);
}

}  // namespace

const PixelImage* ImageInfo::GetFrame(size_t index) const {
  return index < frames_.size() ? frames_[index].get() : nullptr;
}

size_t ImageInfo::GetByteSize() const {
  size_t bytes = 0;
  for (const std::shared_ptr<PixelImage>& frame : frames_) bytes += frame->GetByteSize();
  return bytes;
}

void ImageAttribute::Reset() {
  image_string.clear();
  file.clear();
  dest = UiRect(-1, -1, -1, -1);
  source = UiRect(-1, -1, -1, -1);
  corner = UiRect(0, 0, 0, 0);
  fade = 255;
  xtiled = false;
  ytiled = false;
  play_count = -1;
}

void ImageAttribute::ModifyAttribute(std::wstring_view text, const RectScaler& scale_dest) {
  bool scale = true;
  size_t i = 0;
  const size_t n = text.size();
  auto skip_blanks = [&] {
    while (i < n && IsBlankOrControl(text[i])) ++i;
  };
  for (;;) {
    skip_blanks();
    size_t name_begin = i;
    while (i < n && text[i] != L'=' && !IsBlankOrControl(text[i])) ++i;
    std::wstring_view name = text.substr(name_begin, i - name_begin);
    skip_blanks();
    if (i >= n || text[i] != L'=') return;
    ++i;
    skip_blanks();
    if (i >= n || text[i] != L'\'') return;
    ++i;
    size_t close = text.find(L'\'', i);
    if (close == std::wstring_view::npos) return;
    std::wstring value(text.substr(i, close - i));
    i = close + 1;

    if (!value.empty()) {
      if (name == L"file" || name == L"res") {
        file = value;
      } else if (name == L"destscale") {
        scale = value == L"true";
      } else if (name == L"dest") {
        dest = ReadRect(value);
        if (scale && scale_dest) scale_dest(&dest);
      } else if (name == L"source") {
        source = ReadRect(value);
      } else if (name == L"corner") {
        corner = ReadRect(value);
      } else if (name == L"fade") {
        fade = static_cast<uint8_t>(ReadUnsigned32(value.c_str()) & 0xFF);
      } else if (name == L"xtiled") {
        xtiled = value == L"true";
      } else if (name == L"ytiled") {
        ytiled = value == L"true";
      } else if (name == L"playcount") {
        play_count = ReadInt(value.c_str(), nullptr);
      }
    }

    if (i + 1 >= n || text[i] != L' ') return;
  }
}

void Image::SetImageString(std::wstring_view text, const RectScaler& scale_dest) {
  ClearCache();
  image_attribute.Reset();
  image_attribute.image_string = std::wstring(text);
  image_attribute.file = std::wstring(text);
  image_attribute.ModifyAttribute(text, scale_dest);
}

void Image::ClearCache() {
  image_info_.reset();
  current_frame_ = 0;
  playing_ = false;
  played_count_ = 0;
}

const PixelImage* Image::GetCurrentFrameImage() const {
  if (!image_info_) return nullptr;
  return image_info_->GetFrame(static_cast<size_t>(current_frame_));
}

int Image::GetCurrentInterval() const {
  if (!image_info_) return 0;
  const std::vector<int>& delays = image_info_->GetFrameDelays();
  if (current_frame_ < 0 || static_cast<size_t>(current_frame_) >= image_info_->GetFrameCount() ||
      static_cast<size_t>(current_frame_) >= delays.size()) {
    return 0;
  }
  int d = delays[current_frame_];
  if (d < 30) return 100;
  if (d < 50) return 50;
  return d;
}

void Image::IncrementCurrentFrame() {
  if (!image_info_ || image_info_->GetFrameCount() == 0) return;
  ++current_frame_;
  if (static_cast<size_t>(current_frame_) >= image_info_->GetFrameCount()) {
    current_frame_ = 0;
    ++played_count_;
  }
}

bool Image::ContinuePlay() const {
  const int count = image_attribute.play_count;
  if (count == -1) return true;
  return count > 0 && played_count_ < count;
}

}  // namespace ui
