#include <windows.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "base/string_util.h"

namespace nbase {
namespace {

// The character-set names text comes labelled with (the names iconv knows
// them by, and the usual aliases), and their Windows code pages.
struct Charset {
  const char* name;
  UINT code_page;
};
constexpr Charset kCharsets[] = {
    {"UTF-8", CP_UTF8},
    {"UTF8", CP_UTF8},
    {"GBK", 936},
    {"GB2312", 936},
    {"CP936", 936},
    {"EUC-CN", 936},
    {"GB18030", 54936},
    {"BIG5", 950},
    {"BIG-5", 950},
    {"CP950", 950},
    {"SHIFT_JIS", 932},
    {"SHIFT-JIS", 932},
    {"SJIS", 932},
    {"CP932", 932},
    {"EUC-JP", 20932},
    {"EUC-KR", 949},
    {"CP949", 949},
    {"UHC", 949},
    {"ISO-8859-1", 28591},
    {"ISO8859-1", 28591},
    {"LATIN1", 28591},
    {"ISO-8859-2", 28592},
    {"ISO-8859-5", 28595},
    {"ISO-8859-15", 28605},
    {"KOI8-R", 20866},
    {"KOI8-U", 21866},
    {"US-ASCII", 20127},
    {"ASCII", 20127},
    {"ANSI_X3.4-1968", 20127},
};

std::string Upper(const char* text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// 0 when the name is unknown. Besides the table, "CPnnn", "WINDOWS-nnn" and
// "IBMnnn" name code page nnn directly.
UINT CodePageForCharset(const char* charset) {
  if (!charset || !*charset) return 0;
  const std::string name = Upper(charset);
  for (const Charset& known : kCharsets) {
    if (name == known.name) return known.code_page;
  }
  for (const char* prefix : {"CP", "WINDOWS-", "IBM"}) {
    const size_t length = std::char_traits<char>::length(prefix);
    if (name.compare(0, length, prefix) != 0 || name.size() == length) continue;
    char* end = nullptr;
    const unsigned long number = std::strtoul(name.c_str() + length, &end, 10);
    if (*end == '\0' && number > 0 && number < 65536) return static_cast<UINT>(number);
  }
  return 0;
}

}  // namespace

bool MBCSToWide(std::string_view text, const char* charset, std::wstring* out) {
  out->clear();
  const UINT code_page = CodePageForCharset(charset);
  if (code_page == 0 || !::IsValidCodePage(code_page)) return false;
  if (text.empty()) return true;
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  // Text that is not valid in the code page fails instead of turning into
  // default characters; the few code pages that take no flags (ISO-2022 and
  // the like) are converted as they come.
  DWORD flags = MB_ERR_INVALID_CHARS;
  const int size = static_cast<int>(text.size());
  int needed = ::MultiByteToWideChar(code_page, flags, text.data(), size, nullptr, 0);
  if (needed <= 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    needed = ::MultiByteToWideChar(code_page, flags, text.data(), size, nullptr, 0);
  }
  if (needed <= 0) return false;
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  if (::MultiByteToWideChar(code_page, flags, text.data(), size, wide.data(), needed) != needed) {
    return false;
  }
  *out = std::move(wide);
  return true;
}

}  // namespace nbase
