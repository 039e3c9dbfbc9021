#include "app/system/win/command_line_quote.h"

namespace corvane {

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out += c;
  }
  // Backslashes before the closing quote are doubled, so it stays a quote.
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

std::wstring BuildCommandLine(const std::vector<std::wstring>& argv) {
  std::wstring line;
  for (size_t i = 0; i < argv.size(); ++i) {
    if (i > 0) line += L' ';
    const std::wstring& argument = argv[i];
    if (i == 0) {
      // The program name ends at the next quote and allows no escapes;
      // a file name cannot hold a quote.
      line += L'"' + argument + L'"';
    } else if (i + 1 == argv.size() && argument.rfind(L"/D=", 0) == 0) {
      line += argument;
    } else {
      line += QuoteArgument(argument);
    }
  }
  return line;
}

}  // namespace corvane
