#include "ui/resource/skin_resources.h"

#include <unzip.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

#include "base/file_util.h"
#include "base/string_util.h"

namespace ui {

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const int64_t product = static_cast<int64_t>(number) * numerator;
  const bool negative = (product < 0) != (denominator < 0);
  const uint64_t magnitude = product < 0 ? 0 - static_cast<uint64_t>(product) : product;
  const uint64_t divisor =
      denominator < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(denominator)) : denominator;
  const uint64_t quotient = (magnitude + divisor / 2) / divisor;
  if (negative) {
    if (quotient > static_cast<uint64_t>(INT_MAX) + 1) return -1;
    return static_cast<int>(0 - static_cast<int64_t>(quotient));
  }
  if (quotient > static_cast<uint64_t>(INT_MAX)) return -1;
  return static_cast<int>(quotient);
}

namespace {

// Entries larger than this are refused instead of trusting a header's size.
constexpr uint64_t kMaxEntrySize = 64u * 1024 * 1024;
// Entry names longer than this (UTF-8 bytes, with the terminator) are never found.
constexpr size_t kMaxEntryName = 260;
// The stock GUI font asks for no particular weight; bold adds this to it.
constexpr int kStockFontWeight = 0;
constexpr int kBoldWeightIncrease = 700;

// A read-only stream over the archive bytes for minizip's I/O callbacks.
struct MemoryStream {
  const std::string* data = nullptr;
  uint64_t position = 0;
};

voidpf ZCALLBACK MemoryOpen(voidpf opaque, const void* /*name*/, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  auto* stream = static_cast<MemoryStream*>(opaque);
  stream->position = 0;
  return stream;
}

uLong ZCALLBACK MemoryRead(voidpf /*opaque*/, voidpf handle, void* buffer, uLong size) {
  auto* stream = static_cast<MemoryStream*>(handle);
  const uint64_t length = stream->data->size();
  if (stream->position >= length) return 0;
  const uint64_t n = std::min<uint64_t>(size, length - stream->position);
  std::memcpy(buffer, stream->data->data() + stream->position, n);
  stream->position += n;
  return static_cast<uLong>(n);
}

uLong ZCALLBACK MemoryWrite(voidpf, voidpf, const void*, uLong) {
  return 0;
}

ZPOS64_T ZCALLBACK MemoryTell(voidpf /*opaque*/, voidpf handle) {
  return static_cast<MemoryStream*>(handle)->position;
}

long ZCALLBACK MemorySeek(voidpf /*opaque*/, voidpf handle, ZPOS64_T offset, int origin) {
  auto* stream = static_cast<MemoryStream*>(handle);
  const uint64_t length = stream->data->size();
  uint64_t base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      base = 0;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      base = stream->position;
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      base = length;
      break;
    default:
      return -1;
  }
  if (offset > length || base > length - offset) return -1;
  stream->position = base + offset;
  return 0;
}

int ZCALLBACK MemoryClose(voidpf, voidpf) {
  return 0;
}
int ZCALLBACK MemoryError(voidpf, voidpf) {
  return 0;
}

struct Archive {
  std::string bytes;
  std::string password;
  MemoryStream stream;
  unzFile reader = nullptr;
  // Entry names with ASCII letters in lower case, as the lookup ignores
  // their case; the first of equal names wins, as a scan would find it.
  std::unordered_map<std::string, unz64_file_pos> index;
};

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// One pass over the central directory instead of one per lookup.
void IndexEntries(Archive* archive) {
  char name[kMaxEntryName];
  for (int status = unzGoToFirstFile(archive->reader); status == UNZ_OK;
       status = unzGoToNextFile(archive->reader)) {
    unz_file_info64 info;
    unz64_file_pos position;
    if (unzGetCurrentFileInfo64(archive->reader, &info, name, sizeof(name), nullptr, 0, nullptr,
                                0) != UNZ_OK ||
        info.size_filename >= sizeof(name) ||
        unzGetFilePos64(archive->reader, &position) != UNZ_OK) {
      continue;
    }
    archive->index.emplace(AsciiLower(name), position);
  }
}

struct State {
  std::wstring resource_root;
  std::unique_ptr<Archive> archive;
  uint32_t archive_status = SkinResources::kArchiveOk;
  int dpi_scale = 100;
  bool adapt_dpi = false;
  std::vector<FontRecord> fonts;
  std::map<std::wstring, uint32_t> text_colors;
  std::wstring default_color = L"textdefaultcolor";
  std::wstring default_disabled_color = L"textdefaultdisablecolor";
  ImageLoader image_loader;
};

State& GetState() {
  static State* state = new State();
  return *state;
}

void CloseReader(Archive* archive) {
  if (archive != nullptr && archive->reader != nullptr) {
    unzClose(archive->reader);
    archive->reader = nullptr;
  }
}

}  // namespace

void SkinResources::ResetResources() {
  CloseArchive();
  ClearFonts();
  State& s = GetState();
  s.resource_root.clear();
  s.archive_status = kArchiveOk;
  s.dpi_scale = 100;
  s.adapt_dpi = false;
  s.text_colors.clear();
  s.default_color = L"textdefaultcolor";
  s.default_disabled_color = L"textdefaultdisablecolor";
  s.image_loader = nullptr;
}

// -------------------------------------------------------------- resource root

void SkinResources::SetResourceRoot(const std::wstring& path) {
  std::wstring root = nbase::NormalizePathSeparators(path);
  if (!root.empty() && root.back() != L'/') root.push_back(L'/');
  GetState().resource_root = std::move(root);
}

const std::wstring& SkinResources::GetResourceRoot() {
  return GetState().resource_root;
}

// ------------------------------------------------------------------- archive

bool SkinResources::OpenArchive(const void* data, size_t size, const std::string& password) {
  CloseArchive();
  State& s = GetState();
  auto archive = std::make_unique<Archive>();
  if (data != nullptr && size > 0) archive->bytes.assign(static_cast<const char*>(data), size);
  archive->password = password;
  archive->stream.data = &archive->bytes;
  zlib_filefunc64_def functions{MemoryOpen, MemoryRead,  MemoryWrite, MemoryTell,
                                MemorySeek, MemoryClose, MemoryError, &archive->stream};
  archive->reader = unzOpen2_64("memory", &functions);
  if (archive->reader == nullptr) {
    s.archive_status = kArchiveOpenFailed;
    return false;
  }
  IndexEntries(archive.get());
  s.archive = std::move(archive);
  s.archive_status = kArchiveOk;
  return true;
}

bool SkinResources::CloseArchive() {
  State& s = GetState();
  if (!s.archive) {
    s.archive_status = kArchiveNotOpen;
    return false;
  }
  CloseReader(s.archive.get());
  s.archive.reset();
  s.archive_status = kArchiveOk;
  return true;
}

bool SkinResources::IsUseZip() {
  return GetState().archive != nullptr;
}

uint32_t SkinResources::GetArchiveStatus() {
  return GetState().archive_status;
}

std::vector<std::wstring> SkinResources::ListArchiveEntries(std::wstring_view prefix) {
  std::vector<std::wstring> paths;
  State& s = GetState();
  if (!s.archive) return paths;
  const std::wstring normalized = NormalizeArchivePath(prefix);
  unzFile reader = s.archive->reader;
  char name[kMaxEntryName];
  for (int status = unzGoToFirstFile(reader); status == UNZ_OK; status = unzGoToNextFile(reader)) {
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(reader, &info, name, sizeof(name), nullptr, 0, nullptr, 0) !=
            UNZ_OK ||
        info.size_filename >= sizeof(name)) {
      continue;
    }
    std::wstring path = nbase::UTF8ToWide(name);
    if (!path.empty() && path.back() != L'/' && path.starts_with(normalized)) {
      paths.push_back(std::move(path));
    }
  }
  return paths;
}

std::wstring SkinResources::NormalizeArchivePath(std::wstring_view path) {
  const std::wstring text = nbase::NormalizePathSeparators(path);
  std::vector<std::wstring_view> segments;  // each with its trailing "/"
  std::wstring_view rest = text;
  while (!rest.empty()) {
    const size_t slash = rest.find(L'/');
    if (slash == std::wstring_view::npos) {
      segments.push_back(rest);
      break;
    }
    const std::wstring_view segment = rest.substr(0, slash + 1);
    rest.remove_prefix(slash + 1);
    if (segment == L"/" || segment == L"./") continue;
    if (segment == L"../") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    segments.push_back(segment);
  }
  std::wstring out;
  for (std::wstring_view segment : segments) out.append(segment);
  return out;
}

std::optional<std::string> SkinResources::ReadArchiveEntry(const std::wstring& path) {
  State& s = GetState();
  if (!s.archive) {
    s.archive_status = kArchiveNotOpen;
    return std::nullopt;
  }
  const std::wstring normalized = NormalizeArchivePath(path);
  if (normalized.empty()) return std::nullopt;
  const std::string name = nbase::WideToUTF8(normalized);
  unzFile reader = s.archive->reader;
  const auto entry = name.size() < kMaxEntryName ? s.archive->index.find(AsciiLower(name))
                                                 : s.archive->index.end();
  if (entry == s.archive->index.end() || unzGoToFilePos64(reader, &entry->second) != UNZ_OK) {
    s.archive_status = kArchiveEntryNotFound;
    return std::nullopt;
  }
  unz_file_info64 info;
  int status = unzGetCurrentFileInfo64(reader, &info, nullptr, 0, nullptr, 0, nullptr, 0);
  if (status != UNZ_OK) {
    s.archive_status = static_cast<uint32_t>(status);
    return std::nullopt;
  }
  if (info.uncompressed_size > kMaxEntrySize) {
    s.archive_status = static_cast<uint32_t>(UNZ_BADZIPFILE);
    return std::nullopt;
  }
  // Only encrypted entries take the password; minizip refuses one otherwise.
  const bool encrypted = (info.flag & 1) != 0;
  const char* password =
      encrypted && !s.archive->password.empty() ? s.archive->password.c_str() : nullptr;
  status = unzOpenCurrentFilePassword(reader, password);
  if (status != UNZ_OK) {
    s.archive_status = static_cast<uint32_t>(status);
    return std::nullopt;
  }
  std::string data(static_cast<size_t>(info.uncompressed_size), '\0');
  size_t done = 0;
  while (done < data.size()) {
    const unsigned chunk = static_cast<unsigned>(std::min<size_t>(data.size() - done, 1u << 20));
    const int n = unzReadCurrentFile(reader, data.data() + done, chunk);
    if (n <= 0) {
      status = n < 0 ? n : UNZ_BADZIPFILE;
      break;
    }
    done += static_cast<size_t>(n);
  }
  // Closing checks the CRC once everything was read.
  const int closed = unzCloseCurrentFile(reader);
  if (status == UNZ_OK) status = closed;
  if (status != UNZ_OK) {
    s.archive_status = static_cast<uint32_t>(status);
    return std::nullopt;
  }
  s.archive_status = kArchiveOk;
  return data;
}

// ------------------------------------------------------------------------ DPI

int SkinResources::GetDPIScale() {
  return GetState().dpi_scale;
}

void SkinResources::SetDPIScale(int percent) {
  GetState().dpi_scale = percent;
}

bool SkinResources::IsAdaptDPI() {
  return GetState().adapt_dpi;
}

void SkinResources::SetAdaptDPI(bool adapt) {
  GetState().adapt_dpi = adapt;
}

void SkinResources::SetDPI(int dpi) {
  State& s = GetState();
  s.adapt_dpi = true;
  s.dpi_scale = MulDiv(dpi, 100, 96);
}

void SkinResources::ScaleLength(int& value) {
  const State& s = GetState();
  if (s.adapt_dpi && s.dpi_scale != 100) value = MulDiv(value, s.dpi_scale, 100);
}

int SkinResources::GetScaledLength(int value) {
  ScaleLength(value);
  return value;
}

void SkinResources::ScaleRectangle(UiRect& rect) {
  const State& s = GetState();
  if (!s.adapt_dpi || s.dpi_scale == 100) return;
  // A span can exceed int (left INT_MIN, right INT_MAX): it is scaled in
  // wide arithmetic and the far side saturates instead of wrapping.
  auto scale_span = [&s](int from, int to) {
    const __int128 product = static_cast<__int128>(int64_t{to} - from) * s.dpi_scale;
    return static_cast<int64_t>((product < 0 ? product - 50 : product + 50) / 100);
  };
  auto saturate = [](int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
  };
  const int64_t width = scale_span(rect.left, rect.right);
  const int64_t height = scale_span(rect.top, rect.bottom);
  rect.left = MulDiv(rect.left, s.dpi_scale, 100);
  rect.top = MulDiv(rect.top, s.dpi_scale, 100);
  rect.right = saturate(rect.left + width);
  rect.bottom = saturate(rect.top + height);
}

void SkinResources::ScaleSize(CSize& size) {
  ScaleLength(size.cx);
  ScaleLength(size.cy);
}

// ---------------------------------------------------------------------- fonts

bool SkinResources::AddFont(const std::wstring& face_name, int size, bool bold, bool underline,
                            bool italic) {
  NativeFontSpec wanted;
  wanted.families = face_name == L"system" ? nbase::UTF8ToWide(kSystemFontFamilies) : face_name;
  // A negative height (a negative skin size, or a scaling overflow) still
  // names a size.
  const int pixels = GetScaledLength(size);
  wanted.pixel_size = pixels;
  wanted.weight = kStockFontWeight + (bold ? kBoldWeightIncrease : 0);
  wanted.italic = italic;

  FontRecord record;
  record.font = CreateNativeFont(wanted);
  record.face_name = face_name;
  record.size = pixels;
  record.bold = bold;
  record.underline = underline;
  record.italic = italic;
  GetState().fonts.push_back(std::move(record));
  return true;
}

const FontRecord* SkinResources::GetFont(int id) {
  const std::vector<FontRecord>& fonts = GetState().fonts;
  if (id < 0 || static_cast<size_t>(id) >= fonts.size()) return nullptr;
  return &fonts[static_cast<size_t>(id)];
}

int SkinResources::GetFontCount() {
  return static_cast<int>(GetState().fonts.size());
}

void SkinResources::ClearFonts() {
  GetState().fonts.clear();
}

// -------------------------------------------------------------------- colours

void SkinResources::AddTextColor(const std::wstring& name, uint32_t argb) {
  GetState().text_colors[name] = argb;
}

uint32_t SkinResources::GetTextColor(const std::wstring& name) {
  return GetState().text_colors[name];
}

bool SkinResources::HasTextColor(const std::wstring& name) {
  return GetState().text_colors.count(name) != 0;
}

void SkinResources::ClearTextColors() {
  GetState().text_colors.clear();
}

const std::wstring& SkinResources::GetDefaultColorName() {
  return GetState().default_color;
}

const std::wstring& SkinResources::GetDefaultDisabledColorName() {
  return GetState().default_disabled_color;
}

void SkinResources::SetDefaultColorName(const std::wstring& name) {
  GetState().default_color = name;
}

void SkinResources::SetDefaultDisabledColorName(const std::wstring& name) {
  GetState().default_disabled_color = name;
}

// --------------------------------------------------------------------- images

void SkinResources::SetImageLoader(ImageLoader loader) {
  GetState().image_loader = std::move(loader);
}

std::wstring SkinResources::NormalizeImagePath(std::wstring_view path) {
  if (IsUseZip()) return NormalizeArchivePath(path);
  return nbase::NormalizePathSeparators(path);
}

std::shared_ptr<ImageInfo> SkinResources::GetImage(const std::wstring& path) {
  const ImageLoader& loader = GetState().image_loader;
  if (!loader) return nullptr;
  return loader(NormalizeImagePath(path));
}

bool SkinResources::HasImageLoader() {
  return static_cast<bool>(GetState().image_loader);
}

}  // namespace ui
