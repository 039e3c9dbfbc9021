// The GTK clipboard round-trips through the X server: what a field copies
// another program (xclip) reads, and what that program offers a field pastes.
// Runs under Xvfb (scripts/test provides one); skipped without a display.

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/string_util.h"
#include "tests/ui/control_test_support.h"
#include "ui/control/rich_edit.h"
#include "ui/native/clipboard.h"
#include "ui/native/desktop_settings.h"
#include "ui/native/key_codes.h"
#include "ui/native/linux/gtk_window.h"

namespace ui {
namespace {

// Runs `command` on a thread while this thread serves the X selection
// requests (the clipboard's owner must answer them from its main loop).
std::string RunServing(const std::string& command) {
  std::atomic<bool> done{false};
  std::string output;
  std::thread reader([&] {
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4096];
      size_t n = 0;
      while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, n);
      pclose(pipe);
    }
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, FALSE);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  reader.join();
  return output;
}

class GtkClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display";
    if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xclip";
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    clipboard_ = CreateDesktopClipboard();
    ASSERT_NE(clipboard_, nullptr);
  }

  std::unique_ptr<Clipboard> clipboard_;
};

TEST_F(GtkClipboardTest, TextRoundTripsThroughAnotherProgramAndBetweenFields) {
  const std::wstring text = L"安装目录 /opt/Corvane 1";
  ASSERT_TRUE(clipboard_->SetText(ClipboardKind::kClipboard, text));
  EXPECT_EQ(nbase::UTF8ToWide(RunServing("xclip -o -selection clipboard")), text);
  ASSERT_TRUE(clipboard_->SetText(ClipboardKind::kPrimary, L"primary 选择"));
  EXPECT_EQ(RunServing("xclip -o -selection primary"), "primary 选择");

  // Another program owns the clipboard: the text comes from it.
  ASSERT_EQ(std::system("printf 'from xclip 外部' | xclip -selection clipboard -loops 1 "
                        ">/dev/null 2>&1 &"),
            0);
  std::optional<std::wstring> pasted;
  for (int i = 0; i < 200 && pasted != std::optional<std::wstring>(L"from xclip 外部"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pasted = clipboard_->GetText(ClipboardKind::kClipboard);
  }
  EXPECT_EQ(pasted, std::optional<std::wstring>(L"from xclip 外部"));

  // One test on purpose: parallel tests would race for the one X clipboard.
  // Fields copy and paste through it too.
  SetDefaultClipboard(CreateDesktopClipboard());
  HeadlessWindowFixture w(CSize(300, 100));
  auto* root = new VBox();
  auto* first = new RichEdit();
  auto* second = new RichEdit();
  for (RichEdit* edit : {first, second}) {
    edit->SetFixedHeight(30);
    edit->SetAttribute(L"multiline", L"false");
    root->Add(edit);
  }
  w.Attach(root);
  first->SetText(L"C:/Program Files/Corvane视频");
  w.headless()->Click(CPoint(5, 5));
  NativeMessage key;
  key.type = NativeMessageType::kKeyDown;
  key.l_param = kKeyStateControl;
  key.w_param = 'A';
  w.headless()->Send(key);
  key.w_param = 'C';
  w.headless()->Send(key);
  EXPECT_EQ(nbase::UTF8ToWide(RunServing("xclip -o -selection clipboard")),
            L"C:/Program Files/Corvane视频");
  w.headless()->Click(CPoint(5, 35));
  ASSERT_TRUE(second->IsFocused());
  key.w_param = 'V';
  w.headless()->Send(key);
  EXPECT_EQ(second->GetText(), L"C:/Program Files/Corvane视频");
  SetDefaultClipboard(nullptr);
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

TEST(DesktopSettingsTest, CaretBlinkFollowsGtkSettings) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display";
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  GtkSettings* settings = gtk_settings_get_default();
  g_object_set(settings, "gtk-cursor-blink", TRUE, "gtk-cursor-blink-time", 800,
               "gtk-cursor-blink-timeout", 3, nullptr);
  CaretBlinkSettings read = ReadCaretBlinkSettings();
  EXPECT_TRUE(read.blink);
  EXPECT_EQ(read.interval_ms, 400);
  EXPECT_EQ(read.timeout_ms, 3000);

  // A desktop without blinking: a focused field of a desktop window shows a
  // steady caret.
  g_object_set(settings, "gtk-cursor-blink", FALSE, nullptr);
  InstallTestRenderFactory();
  auto native = std::make_unique<GtkNativeWindow>();
  ASSERT_TRUE(native->Create(nullptr, L"blink test", UiRect(0, 0, 200, 50), false));
  Window window;
  ASSERT_TRUE(window.Init(std::move(native)));
  auto* root = new VBox();
  auto* edit = new RichEdit();
  root->Add(edit);
  window.AttachDialog(root);
  window.SetFocus(edit);
  EXPECT_TRUE(edit->IsCaretVisible());
  EXPECT_FALSE(edit->IsCaretBlinking());
  g_object_set(settings, "gtk-cursor-blink", TRUE, nullptr);
  window.GetNativeWindow()->Destroy();
}

}  // namespace
}  // namespace ui
