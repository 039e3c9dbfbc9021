// The combo's drop-down as a real popup on the tests' X server, driven by
// XTest: where it opens, and that a choice, a press outside and Escape each
// close it with the right report.

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <string>
#include <vector>

#include "control_test_support.h"
#include "gtk_test_support.h"
#include "ui/control/combo.h"
#include "ui/control/slider.h"

namespace ui {
namespace {

std::wstring ComboWindowSkin(int items, const std::wstring& attributes) {
  std::wstring skin =
      L"<Window shadowattached=\"false\" size=\"300,200\"><VBox "
      L"bkcolor=\"gtk_test_bk\">"
      L"<Control height=\"40\"/>"
      L"<Combo name=\"c\" width=\"100\" height=\"24\" margin=\"10,0,0,0\" " +
      attributes + L">";
  for (int i = 0; i < items; ++i) {
    skin += L"<ListContainerElement height=\"24\" text=\"item " + std::to_wstring(i) + L"\"/>";
  }
  return skin +
         L"</Combo><Control height=\"60\"/>"
         L"<Slider name=\"s\" width=\"200\" height=\"20\" "
         L"margin=\"10,0,0,0\" hor=\"true\" "
         L"min=\"0\" max=\"100\" value=\"0\" "
         L"thumbsize=\"10,10\"/></VBox></Window>";
}

class GtkComboTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InitGtkForTest()) GTEST_SKIP() << "no private X server (Xvfb)";
    InstallTestRenderFactory();
    GlobalManager::AddTextColor(L"gtk_test_bk", 0xFFF0F0F0);
  }
  void TearDown() override {
    if (window_ && window_->GetNativeWindow() && window_->GetNativeWindow()->IsValid()) {
      window_->GetNativeWindow()->Destroy();
    }
    window_.reset();
    PumpFor(20);
  }

  Combo* Build(int items, const std::wstring& attributes = L"", int y = 60) {
    window_ = std::make_unique<MarkupWindow>(ComboWindowSkin(items, attributes));
    EXPECT_TRUE(window_->Create(nullptr, L"combo test", UiRect(60, y, 160, y + 100)));
    EXPECT_TRUE(window_->ShowAt(60, y));
    auto* combo = dynamic_cast<Combo*>(window_->FindControl(std::wstring(L"c")));
    if (!combo) return nullptr;
    combo->AttachEvent(kEventSelect, [this](const EventArgs& e) {
      selects_.push_back(static_cast<int>(e.w_param));
      return true;
    });
    return combo;
  }

  // Clicks the field and waits until the drop-down is on screen.
  GtkNativeWindow* Open(Combo* combo) {
    const UiRect field = combo->GetPos();
    const CPoint at = window_->ToScreen(CPoint(field.left + 5, field.top + 5));
    FakeClick(at.x, at.y);
    GtkNativeWindow* popup = nullptr;
    const bool shown = PumpUntil([&] {
      CComboWnd* drop = combo->GetDropWindow();
      popup = drop ? static_cast<GtkNativeWindow*>(drop->GetNativeWindow()) : nullptr;
      return popup && popup->IsVisible() && popup->GetDrawCount() > 0;
    });
    return shown ? popup : nullptr;
  }

  // Where X really shows the popup, in root coordinates.
  static UiRect ScreenRect(GtkNativeWindow* popup) {
    GdkWindow* window = gtk_widget_get_window(popup->GetWidget());
    int x = 0;
    int y = 0;
    gdk_window_get_origin(window, &x, &y);
    return UiRect(x, y, x + gdk_window_get_width(window), y + gdk_window_get_height(window));
  }

  bool WaitClosed(Combo* combo) {
    return PumpUntil([combo] { return combo->GetDropWindow() == nullptr; });
  }

  std::unique_ptr<MarkupWindow> window_;
  std::vector<int> selects_;
};

TEST_F(GtkComboTest, PopupOpensBelowAndClosesOnAChoiceAPressOutsideAndEscape) {
  Combo* combo = Build(3);
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->GetPos(), UiRect(10, 40, 110, 64));

  GtkNativeWindow* popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_TRUE(popup->IsPopup());
  EXPECT_TRUE(popup->HasPopupGrab());
  EXPECT_TRUE(popup->HasFocus());
  EXPECT_EQ(popup->GetOwner(), window_->GetNativeWindow());
  // One pixel below the field, as wide as it, three items of 24 and the border.
  const UiRect expected(70, 60 + 64 + 1, 170, 60 + 64 + 1 + 74);
  EXPECT_EQ(popup->GetWindowRect(), expected);
  EXPECT_EQ(ScreenRect(popup), expected);

  // A click on the second item chooses it, reports it once and closes.
  FakeClick(expected.left + 50, expected.top + 24 + 12);
  ASSERT_TRUE(WaitClosed(combo));
  PumpFor(100);
  EXPECT_EQ(selects_, std::vector<int>{1});
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(combo->GetText(), L"item 1");
  EXPECT_TRUE(window_->GetNativeWindow()->HasFocus());

  // A press outside closes it with no choice, and the grab is gone: the
  // field opens the list again at once.
  popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  FakeClick(400, 400);
  ASSERT_TRUE(WaitClosed(combo));
  popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_TRUE(popup->HasPopupGrab());

  // Escape closes it too; moving over other items chose nothing.
  FakeMove(expected.left + 50, expected.top + 12);
  PumpFor(50);
  FakeKey(XK_Escape, true);
  FakeKey(XK_Escape, false);
  ASSERT_TRUE(WaitClosed(combo));
  PumpFor(100);
  EXPECT_EQ(selects_, std::vector<int>{1});
  EXPECT_EQ(combo->GetCurSel(), 1);
}

TEST_F(GtkComboTest, PopupOpensAboveWhenAskedOrAtTheWorkAreaEdge) {
  Combo* combo = Build(3, L"popuptop=\"true\"");
  ASSERT_NE(combo, nullptr);
  GtkNativeWindow* popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  const UiRect above(70, 60 + 40 - 74, 170, 60 + 40);
  EXPECT_EQ(ScreenRect(popup), above);
  FakeKey(XK_Escape, true);
  FakeKey(XK_Escape, false);
  ASSERT_TRUE(WaitClosed(combo));

  // A window whose field ends 30 pixels above the bottom of the work area:
  // the list does not fit below it.
  const UiRect work = window_->GetNativeWindow()->GetWorkArea();
  ASSERT_FALSE(work.IsRectEmpty());
  window_->GetNativeWindow()->Destroy();
  PumpFor(20);
  const int y = work.bottom - 30 - 64;
  combo = Build(3, L"", y);
  ASSERT_NE(combo, nullptr);
  popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(ScreenRect(popup), UiRect(70, y + 40 - 74, 170, y + 40));
  // A choice from the list above the field is reported like one below.
  FakeClick(100, y + 40 - 74 + 2 + 12);
  ASSERT_TRUE(WaitClosed(combo));
  PumpFor(100);
  EXPECT_EQ(selects_, std::vector<int>{0});
}

TEST_F(GtkComboTest, SliderThumbFollowsARealDragAndReportsOnRelease) {
  ASSERT_NE(Build(3), nullptr);
  auto* slider = dynamic_cast<Slider*>(window_->FindControl(std::wstring(L"s")));
  ASSERT_NE(slider, nullptr);
  ASSERT_EQ(slider->GetPos(), UiRect(10, 124, 210, 144));
  int changes = 0;
  slider->AttachEvent(kEventValueChange, [&changes](const EventArgs&) {
    ++changes;
    return true;
  });
  const UiRect thumb = slider->GetThumbRect();
  const CPoint grip = window_->ToScreen(CPoint(thumb.left + 5, thumb.top + 5));
  FakeMove(grip.x, grip.y);
  PumpFor(30);
  FakeButton(1, true);
  PumpFor(30);
  // Half way along the 190-pixel track (the thumb's centre 100 pixels in).
  FakeMove(grip.x + 100, grip.y + 3);
  ASSERT_TRUE(PumpUntil([&] { return slider->GetValue() > 0; }));
  EXPECT_NEAR(slider->GetValue(), 100.0 * 100 / 190, 1e-9);
  EXPECT_EQ(changes, 0);
  // The held button keeps the pointer even outside the window.
  FakeMove(grip.x + 400, grip.y + 200);
  ASSERT_TRUE(PumpUntil([&] { return slider->GetValue() == 100; }));
  FakeButton(1, false);
  ASSERT_TRUE(PumpUntil([&] { return changes == 1; }));
  PumpFor(100);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(slider->GetValue(), 100);
}

}  // namespace
}  // namespace ui
