#include "msaa_test_support.h"

#include <chrono>

#include "ui/core/control.h"

namespace ui {
namespace msaa_test {

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return done();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

bool SkinWindow::Open(const std::wstring& title, int x, int y) {
  if (!Create(nullptr, title, UiRect(x, y, x + 100, y + 100))) return false;
  const UiRect r = GetNativeWindow()->GetWindowRect();
  GetNativeWindow()->SetWindowRect(UiRect(x, y, x + r.GetWidth(), y + r.GetHeight()), false);
  ShowWindow(true, true);
  hwnd_ = ::FindWindowW(nullptr, title.c_str());
  return hwnd_ && PumpUntil([this] { return laid_out && ::IsWindowVisible(hwnd_); });
}

RECT SkinWindow::ScreenRect(const Control* control) const {
  RECT window;
  ::GetWindowRect(hwnd_, &window);
  const UiRect pos = control->GetPos();
  return RECT{window.left + pos.left, window.top + pos.top, window.left + pos.right,
              window.top + pos.bottom};
}

ClientProcess::~ClientProcess() {
  if (process_ && Running()) {
    Ask("quit", 3000);
    if (::WaitForSingleObject(process_, 3000) != WAIT_OBJECT_0) ::TerminateProcess(process_, 1);
  }
  for (HANDLE handle : {process_, to_child_, from_child_}) {
    if (handle) ::CloseHandle(handle);
  }
}

bool ClientProcess::Start() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (!length || length >= MAX_PATH) return false;
  std::wstring program(path, length);
  program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"msaa_client.exe";
  if (::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) return false;

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE child_in = nullptr;
  HANDLE child_out = nullptr;
  if (!::CreatePipe(&child_in, &to_child_, &inherit, 0)) return false;
  if (!::CreatePipe(&from_child_, &child_out, &inherit, 0)) {
    ::CloseHandle(child_in);
    return false;
  }
  // Our ends stay ours.
  ::SetHandleInformation(to_child_, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(from_child_, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in;
  startup.hStdOutput = child_out;
  startup.hStdError = child_out;
  PROCESS_INFORMATION info{};
  std::wstring command = L"\"" + program + L"\"";
  const BOOL started = ::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
  ::CloseHandle(child_in);
  ::CloseHandle(child_out);
  if (!started) return false;
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  std::string line;
  return ReadLine(&line, 15000) && line == "ready";
}

bool ClientProcess::Running() const {
  return process_ && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::string ClientProcess::Ask(const std::string& command, int timeout_ms) {
  const std::string line = command + "\n";
  DWORD written = 0;
  if (!::WriteFile(to_child_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
    return "gone";
  }
  std::string answer;
  return ReadLine(&answer, timeout_ms) ? answer : "timeout";
}

bool ClientProcess::ReadLine(std::string* line, int timeout_ms) {
  const bool got = PumpUntil(
      [&] {
        if (pending_.find('\n') != std::string::npos) return true;
        DWORD available = 0;
        if (!::PeekNamedPipe(from_child_, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (!available) return false;
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (::ReadFile(from_child_, chunk.data(), available, &read, nullptr)) {
          pending_.append(chunk.data(), read);
        }
        return pending_.find('\n') != std::string::npos;
      },
      timeout_ms);
  if (!got) return false;
  const size_t end = pending_.find('\n');
  *line = pending_.substr(0, end);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  pending_.erase(0, end + 1);
  return true;
}

}  // namespace msaa_test
}  // namespace ui
