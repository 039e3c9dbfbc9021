#pragma once

#include <string>
#include <vector>

namespace corvane {

// One argument quoted so that CommandLineToArgvW and the C runtime give it
// back unchanged: left alone when it has no blank, tab or quote (and is not
// empty); otherwise in quotes, each quote preceded by a backslash and every
// run of backslashes before a quote or the closing quote doubled.
std::wstring QuoteArgument(const std::wstring& argument);

// The command line of `argv`: the program always in quotes, the other
// arguments quoted as needed. A last argument that begins with "/D=" is
// appended as it is: package installers read the install folder verbatim
// from after "/D=" to the end of the line, blanks included, and take no
// quotes there.
std::wstring BuildCommandLine(const std::vector<std::wstring>& argv);

}  // namespace corvane
