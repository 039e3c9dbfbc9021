#include "app/system/error_alert.h"

#include <windows.h>

#include "app/system/win/wide_text.h"

namespace corvane {

// A service or a log-on session without a visible desktop has nobody to
// answer a box: MessageBoxW would wait for ever there.
bool HasInteractiveSession() {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags = {};
  if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), nullptr)) {
    return false;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool ShowErrorAlert(const std::string& title, const std::string& text) {
  if (!HasInteractiveSession()) return false;
  MessageBoxW(nullptr, Utf8ToUtf16(text).c_str(), Utf8ToUtf16(title).c_str(),
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  return true;
}

bool AskRetryOrCancel(const std::string& title, const std::string& text) {
  if (!HasInteractiveSession()) return false;
  return MessageBoxW(nullptr, Utf8ToUtf16(text).c_str(), Utf8ToUtf16(title).c_str(),
                     MB_RETRYCANCEL | MB_ICONWARNING | MB_SETFOREGROUND) == IDRETRY;
}

}  // namespace corvane
