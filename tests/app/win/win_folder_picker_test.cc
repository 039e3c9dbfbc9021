// The shell's folder dialog as the installer's "更改目录" opens it: modal to
// a real window, titled as asked, answered later on the UI loop. The dialog
// is answered from another thread as a user would: its cancel button, or a
// folder typed into it and Enter.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/system/folder_picker.h"
#include "app/system/win/wide_text.h"
#include "base/message_loop.h"
#include "tests/app/win/win_test_support.h"
#include "ui/native/desktop.h"
#include "ui/native/headless_window.h"
#include "ui/native/win/win_window.h"

namespace {

using corvane::FolderPicker;
using corvane::Utf8ToUtf16;

constexpr wchar_t kTitle[] = L"请选择安装路径";

// What the answering thread saw of the dialog.
struct Seen {
  std::atomic<bool> found{false};
  std::atomic<bool> owned_by_owner{false};
  std::atomic<bool> owner_disabled{false};
  std::atomic<bool> stayed{false};
};

// This process's top-level window titled kTitle (tests of other processes
// may show theirs at the same time).
HWND FindOwnDialog() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        if (process != GetCurrentProcessId() || std::wstring(title) != kTitle) return TRUE;
        reinterpret_cast<Search*>(data)->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Types `text` and Enter as keyboard input to the foreground window.
void TypeAndEnter(const std::wstring& text) {
  std::vector<INPUT> keys;
  for (wchar_t c : text) {
    for (DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
      INPUT key = {};
      key.type = INPUT_KEYBOARD;
      key.ki.wScan = c;
      key.ki.dwFlags = KEYEVENTF_UNICODE | up;
      keys.push_back(key);
    }
  }
  for (DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
    INPUT key = {};
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = VK_RETURN;
    key.ki.dwFlags = up;
    keys.push_back(key);
  }
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

// Waits for the dialog titled kTitle, notes its owner and the owner's state,
// then cancels it, or, with a folder to type, types it into the file name
// field and presses Enter. A dialog still open 10 s later is cancelled, so
// that a failure cannot hang the test.
std::thread AnswerDialog(HWND owner, std::optional<std::wstring> typed, Seen* seen) {
  return std::thread([owner, typed, seen] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    HWND dialog = nullptr;
    while (!dialog && std::chrono::steady_clock::now() < end) {
      dialog = FindOwnDialog();
      if (!dialog) Sleep(50);
    }
    if (!dialog) return;
    seen->found = true;
    seen->owned_by_owner = GetWindow(dialog, GW_OWNER) == owner;
    seen->owner_disabled = !IsWindowEnabled(owner);
    // The dialog fills its folder view after it shows.
    Sleep(500);
    if (typed) {
      SetForegroundWindow(dialog);
      TypeAndEnter(*typed);
    } else {
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    for (int i = 0; i < 200 && IsWindow(dialog); ++i) Sleep(50);
    if (IsWindow(dialog)) {
      seen->stayed = true;
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
  });
}

class WinFolderPickerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = ui::CreateDesktopWindow();
    ASSERT_TRUE(owner_);
    ASSERT_TRUE(owner_->Create(nullptr, L"picker owner", ui::UiRect(100, 100, 400, 300), false));
    owner_->Show(true, true);
  }
  HWND OwnerHwnd() const { return static_cast<ui::WinNativeWindow*>(owner_.get())->GetHwnd(); }

  // Picks with the owner, the dialog cancelled or given `typed`; the answer as
  // `done` got it, counting its calls.
  std::optional<std::string> Pick(const std::optional<std::wstring>& typed,
                                  const std::string& start, int* calls) {
    Seen seen;
    std::thread answer = AnswerDialog(OwnerHwnd(), typed, &seen);
    std::optional<std::string> result;
    auto picker = corvane::MakeDesktopFolderPicker();
    const bool shown =
        picker->Pick(owner_.get(), "请选择安装路径", start, [&](std::optional<std::string> folder) {
          ++*calls;
          result = std::move(folder);
        });
    answer.join();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(seen.found) << "no dialog titled 请选择安装路径";
    EXPECT_TRUE(seen.owned_by_owner) << "the dialog is not owned by the window";
    EXPECT_TRUE(seen.owner_disabled) << "the window stays usable under the dialog";
    EXPECT_FALSE(seen.stayed) << "the dialog did not take the answer";
    // The answer comes later, from the loop, once.
    EXPECT_EQ(*calls, 0);
    loop_.RunUntilIdle();
    EXPECT_EQ(*calls, 1);
    EXPECT_TRUE(IsWindowEnabled(OwnerHwnd()));
    return result;
  }

  nbase::UIMessageLoop loop_;
  std::unique_ptr<ui::NativeWindow> owner_;
};

TEST_F(WinFolderPickerTest, CancelAnswersNothingAndATypedFolderIsTheAnswer) {
  win_test::TempDir dir;
  int calls = 0;
  EXPECT_EQ(Pick(std::nullopt, dir.path(), &calls), std::nullopt);

  const std::string wanted = dir.Sub("Picked 文件夹");
  ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(wanted).c_str(), nullptr));
  calls = 0;
  const std::optional<std::string> chosen = Pick(Utf8ToUtf16(wanted), dir.path(), &calls);
  ASSERT_TRUE(chosen);
  // The same folder, however the shell spells it.
  wchar_t want[MAX_PATH] = {};
  wchar_t got[MAX_PATH] = {};
  ASSERT_NE(GetLongPathNameW(Utf8ToUtf16(wanted).c_str(), want, MAX_PATH), 0u);
  ASSERT_NE(GetLongPathNameW(Utf8ToUtf16(*chosen).c_str(), got, MAX_PATH), 0u) << *chosen;
  EXPECT_EQ(CompareStringOrdinal(want, -1, got, -1, TRUE), CSTR_EQUAL) << *chosen;
}

TEST_F(WinFolderPickerTest, NoDialogOverAWindowThatIsNotADesktopOneOrWithoutALoop) {
  auto picker = corvane::MakeDesktopFolderPicker();
  bool called = false;
  ui::HeadlessWindow headless;
  EXPECT_FALSE(picker->Pick(&headless, "请选择安装路径", "C:\\",
                            [&](std::optional<std::string>) { called = true; }));
  // Off the UI thread there is no loop to answer on.
  bool shown = true;
  std::thread([&] {
    shown = picker->Pick(nullptr, "请选择安装路径", "C:\\",
                         [&](std::optional<std::string>) { called = true; });
  }).join();
  EXPECT_FALSE(shown);
  loop_.RunUntilIdle();
  EXPECT_FALSE(called);
  EXPECT_EQ(FindOwnDialog(), nullptr);
}

TEST(WinProductFolder, TheProductsFolderGoesUnderTheChosenOne) {
  EXPECT_EQ(corvane::ProductFolderUnder("C:\\"), "C:\\brightmoor\\corvane");
  EXPECT_EQ(corvane::ProductFolderUnder("D:\\Apps\\\\"), "D:\\Apps\\brightmoor\\corvane");
  EXPECT_EQ(corvane::ProductFolderUnder("E:\\My Apps/"), "E:\\My Apps\\brightmoor\\corvane");
}

}  // namespace
