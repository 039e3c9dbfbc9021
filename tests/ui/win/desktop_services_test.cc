// The desktop's services on Windows under Wine: the clipboard against the X
// clipboard, the caret blink time, and the timer service's ticks.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/string_util.h"
#include "desktop_test_support.h"
#include "ui/animation/tick_source.h"
#include "ui/animation/timer_manager.h"
#include "ui/native/clipboard.h"
#include "ui/native/desktop_settings.h"

namespace ui {
namespace {

// Wine bridges the system clipboard to the X CLIPBOARD selection: what one
// side copies, the other pastes, CJK and characters beyond U+FFFF included.
TEST(DesktopClipboardTest, TextRoundTripsWithTheXClipboard) {
  std::string why;
  if (!HaveXDesktop(&why)) GTEST_SKIP() << why;
  std::unique_ptr<Clipboard> clipboard = CreateDesktopClipboard();
  ASSERT_NE(clipboard, nullptr);
  const std::wstring ours = L"from Wine \u4E2D\u6587 \U0001F600";
  ASSERT_TRUE(clipboard->SetText(ClipboardKind::kClipboard, ours));
  EXPECT_EQ(clipboard->GetText(ClipboardKind::kClipboard), ours);
  std::string pasted;
  ASSERT_TRUE(PumpUntil([&] {
    RunUnix("xclip -selection clipboard -o", &pasted);
    return pasted == nbase::WideToUTF8(ours);
  })) << pasted;

  // Another program copies; the clipboard here then holds its text. xclip
  // serves it in the foreground until it is ended.
  const std::wstring folder = MakeTempFolder();
  const std::string pid_file = UnixPath(folder) + "/xclip.pid";
  ASSERT_EQ(RunUnix("printf 'from X \\345\\244\\226\\351\\203\\250' | "
                    "xclip -quiet -selection clipboard -i >/dev/null 2>&1 &\n"
                    "echo $! >'" +
                    pid_file + "'"),
            0);
  ASSERT_TRUE(PumpUntil([&] {
    return clipboard->GetText(ClipboardKind::kClipboard) ==
           std::optional<std::wstring>(L"from X \u5916\u90E8");
  })) << nbase::WideToUTF8(clipboard->GetText(ClipboardKind::kClipboard).value_or(L"(none)"));
  RunUnix("kill $(cat '" + pid_file + "')");
  ::DeleteFileW((folder + L"\\xclip.pid").c_str());
  ::RemoveDirectoryW(folder.c_str());

  // Windows has no primary selection.
  EXPECT_FALSE(clipboard->SetText(ClipboardKind::kPrimary, L"x"));
  EXPECT_EQ(clipboard->GetText(ClipboardKind::kPrimary), std::nullopt);
}

TEST(DesktopSettingsTest, CaretBlinkFollowsTheSystemBlinkTime) {
  const UINT original = ::GetCaretBlinkTime();
  ASSERT_TRUE(::SetCaretBlinkTime(300));
  EXPECT_EQ(ReadCaretBlinkSettings().interval_ms, 300);
  EXPECT_TRUE(ReadCaretBlinkSettings().blink);
  ASSERT_TRUE(::SetCaretBlinkTime(original));
  EXPECT_EQ(ReadCaretBlinkSettings().interval_ms, static_cast<int>(original));
}

// True when no message at all arrives for `ms`: nothing wakes the thread.
bool QueueStaysQuiet(int ms) {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  const DWORD result = ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(ms),
                                                     QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  return result == WAIT_TIMEOUT;
}

TEST(DesktopTickSourceTest, TicksRunTheTimerServiceAndNothingWakesTheThreadOnceItIsIdle) {
  TimerManager manager(CreateTickSource());
  nbase::WeakCallbackFlag owner;
  int runs = 0;
  manager.AddCancelableTimer(
      owner.AcquireWeakFlag(), [&] { ++runs; }, 5, 3);
  EXPECT_TRUE(manager.IsFastTimeout());
  ASSERT_TRUE(PumpUntil([&] { return runs == 3; }, 3000));
  EXPECT_EQ(manager.GetTimeoutInterval(), 0);
  PumpFor(50);  // a tick that was already queued
  EXPECT_EQ(runs, 3);
  EXPECT_TRUE(QueueStaysQuiet(300));

  // A far timer waits on one long period, and a cancelled one never runs.
  nbase::WeakCallbackFlag gone;
  manager.AddCancelableTimer(
      gone.AcquireWeakFlag(), [&] { ++runs; }, 30, 1);
  gone.Cancel();
  ASSERT_TRUE(PumpUntil([&] { return manager.GetPendingCount() == 0; }, 3000));
  EXPECT_EQ(runs, 3);
  EXPECT_EQ(manager.GetTimeoutInterval(), 0);
  EXPECT_TRUE(QueueStaysQuiet(300));
}

TEST(DesktopTickSourceTest, ATickMayRestartOrStopItsOwnSource) {
  std::unique_ptr<TickSource> source = CreateTickSource();
  std::vector<int> seen;
  std::function<void()> second = [&] {
    seen.push_back(2);
    source->Stop();
  };
  source->Start(1, [&] {
    seen.push_back(1);
    source->Start(1, second);
  });
  ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2; }, 3000));
  PumpFor(100);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  EXPECT_TRUE(QueueStaysQuiet(200));
}

}  // namespace
}  // namespace ui
