#include "desktop_test_support.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace ui {

namespace {

std::string ReadWholeFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::wstring Widen(const std::string& text) {
  std::wstring out;
  for (char c : text) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return out;
}

uint32_t ReadBigEndian(const std::string& data, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = (value << 8) | static_cast<unsigned char>(data[offset + i]);
  }
  return value;
}

// The bit position of a colour mask's lowest bit.
int MaskShift(uint32_t mask) {
  int shift = 0;
  while (mask && !(mask & 1u)) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

}  // namespace

std::string UnixPath(const std::wstring& windows_path) {
  using GetUnixFileName = char* (*)(const wchar_t*);
  static const auto get_unix = reinterpret_cast<GetUnixFileName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!get_unix) return std::string();
  char* name = get_unix(windows_path.c_str());
  if (!name) return std::string();
  std::string out(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  return out;
}

std::wstring MakeTempFolder() {
  static int counter = 0;
  wchar_t base[MAX_PATH];
  ::GetTempPathW(MAX_PATH, base);
  for (;;) {
    std::wstring folder = std::wstring(base) + L"corvane-desktop-" +
                          std::to_wstring(::GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++counter);
    if (::CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
  }
}

void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
    // Short waits: `done` may turn true through another process (a file).
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<long long>(left, 5)),
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

int RunUnix(const std::string& script, std::string* output, int timeout_ms) {
  const std::wstring folder = MakeTempFolder();
  if (folder.empty()) return -1;
  const std::string unix_folder = UnixPath(folder);
  if (unix_folder.empty()) return -1;
  {
    std::ofstream file((folder + L"\\run.sh").c_str(), std::ios::binary);
    // The status appears at once, complete, when the script has ended.
    file << "( " << script << "\n) >'" << unix_folder << "/output' 2>&1\n"
         << "echo $? >'" << unix_folder << "/status.part'\n"
         << "mv '" << unix_folder << "/status.part' '" << unix_folder << "/status'\n";
  }
  std::wstring line = L"Z:\\bin\\sh \"" + Widen(unix_folder) + L"/run.sh\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  // Wine starts a Unix program and does not wait for it: its end is the
  // status file.
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return -1;
  }
  if (process.hThread) ::CloseHandle(process.hThread);
  if (process.hProcess) ::CloseHandle(process.hProcess);
  const std::wstring status_path = folder + L"\\status";
  const bool ended = PumpUntil(
      [&] { return ::GetFileAttributesW(status_path.c_str()) != INVALID_FILE_ATTRIBUTES; },
      timeout_ms);
  if (output) *output = ReadWholeFile(folder + L"\\output");
  const int status = ended ? std::atoi(ReadWholeFile(status_path).c_str()) : -1;
  for (const wchar_t* name : {L"\\run.sh", L"\\output", L"\\status"}) {
    ::DeleteFileW((folder + name).c_str());
  }
  ::RemoveDirectoryW(folder.c_str());
  return status;
}

bool Xdo(const std::string& arguments) {
  return RunUnix("xdotool " + arguments) == 0;
}

bool HaveXDesktop(std::string* why) {
  char display[256] = {};
  if (!::GetEnvironmentVariableA("DISPLAY", display, sizeof(display)) || !display[0]) {
    *why = "no X display (the Windows tests run under Xvfb)";
    return false;
  }
  static const int tools = RunUnix("command -v xdotool && command -v xwd && command -v xclip");
  if (tools != 0) {
    *why = "needs xdotool, xwd and xclip (scripts/setup installs them)";
    return false;
  }
  return true;
}

std::optional<Screenshot> GrabScreen() {
  const std::wstring folder = MakeTempFolder();
  const std::wstring file = folder + L"\\screen.xwd";
  const int status = RunUnix("xwd -root -silent >'" + UnixPath(folder) + "/screen.xwd'");
  const std::string data = ReadWholeFile(file);
  ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(folder.c_str());
  if (status != 0 || data.size() < 100) return std::nullopt;
  // The XWD header: 25 big-endian words, then the window name, then the
  // colour map (12 bytes an entry), then the pixels.
  const uint32_t header_size = ReadBigEndian(data, 0);
  const uint32_t width = ReadBigEndian(data, 16);
  const uint32_t height = ReadBigEndian(data, 20);
  const uint32_t byte_order = ReadBigEndian(data, 28);
  const uint32_t bits_per_pixel = ReadBigEndian(data, 44);
  const uint32_t bytes_per_line = ReadBigEndian(data, 48);
  const uint32_t masks[3] = {ReadBigEndian(data, 56), ReadBigEndian(data, 60),
                             ReadBigEndian(data, 64)};
  const uint32_t colours = ReadBigEndian(data, 76);
  const size_t pixels_at = header_size + static_cast<size_t>(colours) * 12;
  const size_t bytes = bits_per_pixel / 8;
  if ((bytes != 3 && bytes != 4) ||
      pixels_at + static_cast<size_t>(bytes_per_line) * height > data.size()) {
    return std::nullopt;
  }
  Screenshot shot;
  shot.width = static_cast<int>(width);
  shot.height = static_cast<int>(height);
  shot.pixels.resize(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    const size_t row = pixels_at + static_cast<size_t>(y) * bytes_per_line;
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t value = 0;
      for (size_t i = 0; i < bytes; ++i) {
        const auto byte = static_cast<unsigned char>(data[row + x * bytes + i]);
        // Byte order 0 is least significant first.
        value |= byte_order == 0 ? static_cast<uint32_t>(byte) << (8 * i)
                                 : static_cast<uint32_t>(byte) << (8 * (bytes - 1 - i));
      }
      uint32_t rgb = 0;
      for (int c = 0; c < 3; ++c) {
        rgb = (rgb << 8) | ((value & masks[c]) >> MaskShift(masks[c]));
      }
      shot.pixels[static_cast<size_t>(y) * width + x] = rgb;
    }
  }
  return shot;
}

}  // namespace ui
