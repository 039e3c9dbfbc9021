// The main window as a real GTK window on a private Xvfb: the folder chooser
// is the desktop's own dialog, answered with real keys.

// GoogleTest before X11: X defines None and Bool as macros.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>

#include "app/command_line.h"
#include "app/machine_info.h"
#include "app/main_window.h"
#include "app/system/folder_picker.h"
#include "app/system/folders.h"
#include "base/string_util.h"
#include "gtk_test_support.h"
#include "tests/app/app_test_support.h"
#include "tests/app/main_window_fixture.h"
#include "tests/app/skin_layout_support.h"
#include "tests/app/x_client_support.h"
#include "ui/core/global_manager.h"

namespace corvane {
namespace {

class AppMainWindowGtkTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    // No session bus, so no portal: the chooser is GTK's own dialog. An
    // unreachable bus also keeps GIO from autolaunching one (dbus-launch),
    // which would signal this process's group when the private X server
    // ends.
    env_.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + env_.dir().Sub("no-bus"));
    if (!ui::InitGtkForTest()) GTEST_SKIP() << "no X server for GTK";
    MainWindowFixture::SetUp();
    // The chooser starts from the default install folder.
    ParseCommandLine({});
    ASSERT_TRUE(StartSkinFromBuiltArchive(L"themes/default"));
    ASSERT_TRUE(CreateMainWindow());
    native_ = static_cast<ui::GtkNativeWindow*>(window_->GetNativeWindow());
    const ui::UiRect r = native_->GetWindowRect();
    native_->SetWindowRect(ui::UiRect(40, 40, 40 + r.GetWidth(), 40 + r.GetHeight()), false);
    window_->ShowWindow(true, true);
    ASSERT_TRUE(ui::PumpUntil([this] { return native_->GetDrawCount() > 0; }));
  }
  void TearDown() override {
    if (native_) native_->Destroy();
    ui::PumpFor(50);
    window_.reset();
    ui::GlobalManager::Shutdown();
    MainWindowFixture::TearDown();
  }
  // No UI loop runs here: ending the process is only counted.
  void OnProcessEnd() override {}

  // A real click in the middle of a control of the main window.
  void Click(const wchar_t* name) {
    ui::Control* control = window_->FindControl(name);
    ASSERT_NE(control, nullptr) << nbase::WideToUTF8(name);
    ASSERT_TRUE(control->IsVisible()) << nbase::WideToUTF8(name);
    const ui::UiRect w = native_->GetWindowRect();
    const ui::UiRect c = control->GetPos();
    ui::FakeClick(w.left + (c.left + c.right) / 2, w.top + (c.top + c.bottom) / 2);
    ui::PumpFor(100);
  }

  // The chooser the desktop shows for GtkFileChooserNative without a portal.
  static GtkWidget* OpenChooser() {
    GtkWidget* found = nullptr;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next) {
      auto* widget = static_cast<GtkWidget*>(item->data);
      if (GTK_IS_FILE_CHOOSER_DIALOG(widget) && gtk_widget_get_mapped(widget)) found = widget;
    }
    g_list_free(toplevels);
    return found;
  }
  GtkWidget* WaitForChooser() {
    GtkWidget* chooser = nullptr;
    ui::PumpUntil([&] { return (chooser = OpenChooser()) != nullptr; }, 5000);
    // Its first folder listing comes on later idle turns.
    ui::PumpFor(300);
    return chooser;
  }

  // Types with real key events into whatever has the keyboard.
  void Type(const std::string& text) {
    Display* display = ui::TestXDisplay();
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    for (const app_test::XKeyPress& key : app_test::KeysForText(display, text)) {
      if (key.shift) XTestFakeKeyEvent(display, shift, True, CurrentTime);
      XTestFakeKeyEvent(display, key.keycode, True, CurrentTime);
      XTestFakeKeyEvent(display, key.keycode, False, CurrentTime);
      if (key.shift) XTestFakeKeyEvent(display, shift, False, CurrentTime);
      XFlush(display);
      ui::PumpFor(15);
    }
  }
  void Press(unsigned long keysym) {
    ui::FakeKey(keysym, true);
    ui::FakeKey(keysym, false);
  }

  std::wstring DirectoryField() {
    auto* edit = dynamic_cast<ui::RichEdit*>(window_->FindControl(L"edit_installdir"));
    return edit ? edit->GetText() : L"<none>";
  }

  ui::GtkNativeWindow* native_ = nullptr;
};

TEST_F(AppMainWindowGtkTest, FolderChooserTypedPathWithBlanksAndCancel) {
  const std::string start =
      nbase::WideToUTF8(nbase::NativePathToWide(ProductFolderUnder(ProgramFilesFolder())));
  EXPECT_EQ(nbase::WideToUTF8(DirectoryField()), start);
  const std::string chosen = env_.dir().Sub("My Apps 2");
  ASSERT_EQ(mkdir(chosen.c_str(), 0755), 0);

  Click(L"btn_customize");
  ASSERT_TRUE(window_->customize_bar_expanded());
  Click(L"btn_changeinstallpath");
  GtkWidget* chooser = WaitForChooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(chooser)), "请选择安装路径");
  EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(chooser)),
            GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(chooser)));
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(chooser)), GTK_WINDOW(native_->GetWidget()));
  gchar* current = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
  EXPECT_EQ(current ? std::string(current) : "", ProgramFilesFolder());
  g_free(current);

  // "/" opens the location entry; the whole path is typed, then confirmed.
  const ui::UiRect w = native_->GetWindowRect();
  int x = 0, y = 0;
  gtk_window_get_position(GTK_WINDOW(chooser), &x, &y);
  ui::FakeMove(x + 20, y + 20);
  Type(chosen);
  ui::PumpFor(300);
  Press(XK_Return);
  ASSERT_TRUE(ui::PumpUntil([] { return OpenChooser() == nullptr; }, 3000));
  const std::wstring expected = nbase::NativePathToWide(chosen + "/brightmoor/corvane");
  ASSERT_TRUE(ui::PumpUntil([&] { return DirectoryField() == expected; }, 2000))
      << nbase::WideToUTF8(DirectoryField());
  EXPECT_EQ(window_->flow().install_directory(), expected);
  EXPECT_EQ(native_->GetWindowRect().left, w.left);

  // Cancel (Escape) keeps the folder chosen before.
  Click(L"btn_changeinstallpath");
  chooser = WaitForChooser();
  ASSERT_NE(chooser, nullptr);
  gtk_window_get_position(GTK_WINDOW(chooser), &x, &y);
  ui::FakeMove(x + 20, y + 20);
  Press(XK_Escape);
  ASSERT_TRUE(ui::PumpUntil([] { return OpenChooser() == nullptr; }, 3000));
  ui::PumpFor(100);
  EXPECT_EQ(DirectoryField(), expected);
  EXPECT_EQ(window_->flow().install_directory(), expected);
  EXPECT_EQ(process_ends_, 0);
}

}  // namespace
}  // namespace corvane
