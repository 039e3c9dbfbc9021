// Skinned windows on the Win32 native window under Wine, driven from the X
// side: Tab order, a modal box, the combo's drop-down, closing with work
// pending, typing into a field, tooltips, and the screen against the
// picture the same window paints in memory.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "control_test_support.h"
#include "ui/control/combo.h"
#include "ui/control/rich_edit.h"
#include "ui/host/window_impl_base.h"
#include "ui/native/headless_window.h"

// After the UI library's headers: winuser.h names the text flags (DT_*) as
// macros.
#include "desktop_test_support.h"
#include "ui/native/win/win_window.h"

namespace ui {
namespace {

// A host window built from markup text, kept by the test.
class SkinWindow : public WindowImplBase {
 public:
  explicit SkinWindow(std::wstring markup) : markup_(std::move(markup)) { SetDeleteOnFinal(false); }
  std::wstring GetSkinFolder() override { return L""; }
  std::wstring GetSkinFile() override { return markup_; }
  std::wstring GetWindowClassName() const override { return L"DesktopHostTest"; }
  void OnInitLayout() override {
    WindowImplBase::OnInitLayout();
    laid_out = true;
  }
  void OnFinalMessage() override {
    WindowImplBase::OnFinalMessage();
    destroyed = true;
  }
  WinNativeWindow* win() const { return static_cast<WinNativeWindow*>(GetNativeWindow()); }
  CPoint ToScreen(CPoint point) const {
    const UiRect r = GetNativeWindow()->GetWindowRect();
    return CPoint(r.left + point.x, r.top + point.y);
  }
  // Shown at `x`,`y`, laid out, pushed, and with the fade-in over.
  bool ShowAt(int x, int y) {
    const UiRect r = GetNativeWindow()->GetWindowRect();
    GetNativeWindow()->SetWindowRect(UiRect(x, y, x + r.GetWidth(), y + r.GetHeight()), false);
    ShowWindow(true, true);
    if (!PumpUntil([&] { return laid_out && win()->GetPresentCount() > 0; })) return false;
    return PumpUntil([&] { return GetWindowAlpha() == 255; });
  }

  bool laid_out = false;
  bool destroyed = false;

 private:
  std::wstring markup_;
};

constexpr wchar_t kFormSkin[] =
    LR"(<Window shadowattached="false" size="320,220" caption="0,0,0,30">
  <VBox bkcolor="desk_bk">
    <Label name="title" width="stretch" height="30" text="title"/>
    <Button name="first" width="100" height="30" bkcolor="desk_btn" text="first"
            tooltiptext="first tip"/>
    <RichEdit name="field" width="200" height="30" multiline="false"/>
    <Button name="disabled" width="100" height="20" bkcolor="desk_btn" enabled="false"/>
    <Button name="last" width="100" height="30" bkcolor="desk_btn" text="last"/>
    <Combo name="combo" width="120" height="24">
      <ListContainerElement height="24" text="item 0"/>
      <ListContainerElement height="24" text="item 1"/>
      <ListContainerElement height="24" text="item 2"/>
    </Combo>
    <Button name="closebtn" width="40" height="20" bkcolor="desk_btn"/>
  </VBox>
</Window>)";

class DesktopHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!HaveXDesktop(&why)) GTEST_SKIP() << why;
    InstallTestRenderFactory();
    GlobalManager::AddTextColor(L"desk_bk", 0xFFF0F0F0);
    GlobalManager::AddTextColor(L"desk_btn", 0xFF2080E0);
    // The texts need a font, the system's UI face, and their colour.
    GlobalManager::AddTextColor(L"textdefaultcolor", 0xFF000000);
    if (GlobalManager::GetFontCount() == 0)
      GlobalManager::AddFont(L"system", 14, false, false, false);
    Xdo("mousemove 1200 1000");
  }
  void TearDown() override {
    for (auto& window : windows_) {
      if (window->GetNativeWindow() && window->GetNativeWindow()->IsValid()) {
        window->GetNativeWindow()->Destroy();
      }
    }
    windows_.clear();
    PumpFor(50);
  }

  SkinWindow* Open(const wchar_t* skin, int x, int y, SkinWindow* owner = nullptr) {
    windows_.push_back(std::make_unique<SkinWindow>(skin));
    SkinWindow* window = windows_.back().get();
    EXPECT_TRUE(window->Create(owner, L"host test", UiRect(x, y, x + 100, y + 100)))
        << nbase::WideToUTF8(window->GetLastError());
    EXPECT_TRUE(window->ShowAt(x, y));
    return window;
  }
  void Click(SkinWindow* window, CPoint point) {
    const CPoint at = window->ToScreen(point);
    ASSERT_TRUE(Xdo("mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 1"));
  }
  Control* Find(SkinWindow* window, const wchar_t* name) {
    return window->FindControl(std::wstring(name));
  }

  std::vector<std::unique_ptr<SkinWindow>> windows_;
};

TEST_F(DesktopHostTest, ScreenshotEqualsThePictureTheWindowPaintsInMemory) {
  SkinWindow* real = Open(kFormSkin, 40, 40);
  auto native = std::make_unique<HeadlessWindow>();
  HeadlessWindow* headless = native.get();
  windows_.push_back(std::make_unique<SkinWindow>(kFormSkin));
  SkinWindow* memory = windows_.back().get();
  ASSERT_TRUE(memory->Create(nullptr, L"memory", UiRect(0, 0, 100, 100), true, std::move(native)));
  headless->PaintAll();
  PumpFor(400);  // the fade-in
  headless->PaintAll();
  const CSize size = real->GetNativeWindow()->GetClientSize();
  ASSERT_EQ(size, CSize(headless->GetFrameWidth(), headless->GetFrameHeight()));
  PumpFor(100);
  auto shot = GrabScreen();
  ASSERT_TRUE(shot);
  // The same back end paints both: every pixel equals, text included.
  int differing = 0;
  std::set<uint32_t> colours;
  for (int y = 0; y < size.cy; ++y) {
    for (int x = 0; x < size.cx; ++x) {
      const uint32_t seen = shot->At(40 + x, 40 + y);
      colours.insert(seen);
      if (seen != (headless->GetPixel(x, y) & 0xFFFFFFu)) ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(colours.size(), 10u);  // a picture, not a blank
}

TEST_F(DesktopHostTest, TabWalksTheStopsInTreeOrderAndShiftTabGoesBack) {
  SkinWindow* window = Open(kFormSkin, 40, 40);
  Click(window, CPoint(300, 200));  // the background: the window has the keyboard
  ASSERT_TRUE(PumpUntil([&] { return window->GetNativeWindow()->HasFocus(); }));
  std::vector<std::wstring> order;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(Xdo("key Tab"));
    ASSERT_TRUE(PumpUntil([&] {
      return window->GetFocus() && (order.empty() || window->GetFocus()->GetName() != order.back());
    }));
    order.push_back(window->GetFocus()->GetName());
  }
  // The disabled button is no stop; the combo's field is; the order wraps.
  EXPECT_EQ(order, (std::vector<std::wstring>{L"first", L"field", L"last", L"combo", L"closebtn"}));
  ASSERT_TRUE(Xdo("key shift+Tab"));
  ASSERT_TRUE(PumpUntil([&] { return window->GetFocus()->GetName() == L"combo"; }));
  EXPECT_TRUE(window->IsFocusFromKeyboard());
}

TEST_F(DesktopHostTest, TypingReachesTheFieldWithShiftControlAndCharactersBeyondTheBmp) {
  SkinWindow* window = Open(kFormSkin, 40, 40);
  auto* field = dynamic_cast<RichEdit*>(Find(window, L"field"));
  ASSERT_NE(field, nullptr);
  Click(window, CPoint(100, 75));
  ASSERT_TRUE(PumpUntil([&] { return field->IsFocusedState(); }));
  ASSERT_TRUE(Xdo("type --delay 30 'abc Def'"));
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"abc Def"; }))
      << nbase::WideToUTF8(field->GetText());
  ASSERT_TRUE(Xdo("key shift+Left"));
  ASSERT_TRUE(PumpUntil([&] { return field->GetSelText() == L"f"; }));
  ASSERT_TRUE(Xdo("key End ctrl+BackSpace"));
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"abc "; }))
      << nbase::WideToUTF8(field->GetText());
  // Beyond U+FFFF, typed as the emoji panel types (two Unicode key events):
  // one character of two units, deleted by one Backspace.
  std::vector<INPUT> inputs;
  for (wchar_t unit : std::wstring(L"\U0001F600")) {
    for (DWORD flags : {DWORD{KEYEVENTF_UNICODE}, DWORD{KEYEVENTF_UNICODE | KEYEVENTF_KEYUP}}) {
      INPUT input = {};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = unit;
      input.ki.dwFlags = flags;
      inputs.push_back(input);
    }
  }
  ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)),
            inputs.size());
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"abc \U0001F600"; }))
      << nbase::WideToUTF8(field->GetText());
  ASSERT_TRUE(Xdo("key BackSpace"));
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"abc "; }));
  ASSERT_TRUE(Xdo("key ctrl+a"));
  ASSERT_TRUE(PumpUntil([&] { return field->GetSelText() == L"abc "; }));
}

TEST_F(DesktopHostTest, HoveringAControlShowsItsTooltip) {
  SkinWindow* window = Open(kFormSkin, 40, 40);
  const CPoint at = window->ToScreen(CPoint(50, 45));
  ASSERT_TRUE(Xdo("mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) +
                  " mousemove_relative 1 1"));
  ASSERT_TRUE(PumpUntil([&] { return window->win()->IsToolTipVisible(); }));
  EXPECT_EQ(window->win()->GetToolTipText(), L"first tip");
  ASSERT_TRUE(Xdo("mousemove 1200 1000"));
  ASSERT_TRUE(PumpUntil([&] { return !window->win()->IsToolTipVisible(); }));
}

TEST_F(DesktopHostTest, AModalBoxBlocksItsOwnerUntilItCloses) {
  SkinWindow* owner = Open(kFormSkin, 40, 40);
  int clicks = 0;
  Find(owner, L"first")->AttachEvent(kEventClick, [&](const EventArgs&) {
    ++clicks;
    return true;
  });
  windows_.push_back(
      std::make_unique<SkinWindow>(LR"(<Window shadowattached="false" size="120,60">
    <VBox bkcolor="desk_btn"/></Window>)"));
  SkinWindow* box = windows_.back().get();
  ASSERT_TRUE(box->Create(owner, L"box", UiRect(0, 0, 100, 100)));
  box->ShowModalFake(owner);
  ASSERT_TRUE(PumpUntil([&] { return box->laid_out && box->win()->GetPresentCount() > 0; }));
  EXPECT_FALSE(owner->GetNativeWindow()->IsEnabled());
  EXPECT_EQ(::GetWindow(box->win()->GetHwnd(), GW_OWNER), owner->win()->GetHwnd());
  // Centred on its owner.
  const UiRect o = owner->GetNativeWindow()->GetWindowRect();
  const UiRect b = box->GetNativeWindow()->GetWindowRect();
  EXPECT_EQ(b.left - o.left, o.right - b.right);

  Click(owner, CPoint(10, 45));  // a part of the button the box does not cover
  PumpFor(300);
  EXPECT_EQ(clicks, 0);

  box->Close(WindowImplBase::kIdOk);
  EXPECT_TRUE(owner->GetNativeWindow()->IsEnabled());
  ASSERT_TRUE(PumpUntil([&] { return box->destroyed; }));
  PumpFor(static_cast<int>(::GetDoubleClickTime()) + 100);
  Click(owner, CPoint(10, 45));
  ASSERT_TRUE(PumpUntil([&] { return clicks == 1; }));
}

TEST_F(DesktopHostTest, TheComboDropDownOpensAndAClickOutsideClosesIt) {
  SkinWindow* window = Open(kFormSkin, 40, 40);
  auto* combo = dynamic_cast<Combo*>(Find(window, L"combo"));
  ASSERT_NE(combo, nullptr);
  const UiRect field = combo->GetPos();
  auto open = [&] {
    Click(window, CPoint(field.left + 5, field.top + 5));
    return PumpUntil([&] {
      CComboWnd* drop = combo->GetDropWindow();
      return drop && drop->GetNativeWindow()->IsVisible();
    });
  };
  ASSERT_TRUE(open());
  auto* popup = static_cast<WinNativeWindow*>(combo->GetDropWindow()->GetNativeWindow());
  EXPECT_TRUE(popup->IsPopup());
  EXPECT_TRUE(popup->HasFocus());
  // Just below the field, as wide as it.
  const UiRect frame = popup->GetWindowRect();
  const CPoint below = window->ToScreen(CPoint(field.left, field.bottom + 1));
  EXPECT_EQ(frame.left, below.x);
  EXPECT_EQ(frame.top, below.y);
  EXPECT_EQ(frame.GetWidth(), field.GetWidth());

  // A press on the owner outside the list closes it and chooses nothing.
  Click(window, CPoint(300, 40));
  ASSERT_TRUE(PumpUntil([&] { return combo->GetDropWindow() == nullptr; }));
  EXPECT_EQ(combo->GetCurSel(), -1);

  // A press on an item chooses it.
  PumpFor(static_cast<int>(::GetDoubleClickTime()) + 100);
  ASSERT_TRUE(open());
  const UiRect list = combo->GetDropWindow()->GetNativeWindow()->GetWindowRect();
  ASSERT_TRUE(Xdo("mousemove " + std::to_string(list.left + 20) + " " +
                  std::to_string(list.top + 24 + 12) + " click 1"));
  ASSERT_TRUE(PumpUntil([&] { return combo->GetDropWindow() == nullptr; }));
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(combo->GetText(), L"item 1");
}

TEST_F(DesktopHostTest, AWindowClosedWithWorkPendingDoesNothingAfterwards) {
  SkinWindow* window = Open(kFormSkin, 40, 40);
  int ran = 0;
  window->GetNativeWindow()->PostTask(window->MakeWeakCallback([&ran] { ++ran; }));
  const UiRect close = Find(window, L"closebtn")->GetPos();
  Click(window, CPoint(close.left + 5, close.top + 5));
  EXPECT_FALSE(window->destroyed);  // the fade-out runs first
  ASSERT_TRUE(PumpUntil([&] { return window->destroyed; }));
  EXPECT_EQ(window->GetCloseResult(), WindowImplBase::kIdOk);
  EXPECT_EQ(ran, 1);
  // Work still queued for the window when it goes, and a hover animation
  // still running, come to nothing.
  window->GetNativeWindow()->PostTask(window->MakeWeakCallback([&ran] { ++ran; }));
  windows_.clear();
  PumpFor(400);
  EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace ui
