// Keyboard operation of a skinned window under the tests' X server: Tab order,
// activation keys and the focus ring, with real keys through XTest.

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <string>
#include <vector>

#include "base/string_util.h"
#include "control_test_support.h"
#include "gtk_test_support.h"
#include "ui/control/check_box.h"
#include "ui/control/option.h"
#include "ui/control/rich_edit.h"

namespace ui {
namespace {

// Stops in tree order: first, check, opt_a, opt_b, field, noring, last. Not stops: the label,
// the disabled and opted-out buttons, the button of the hidden page, the buttons of a
// disabled box and a read-only field marked nofocus.
constexpr wchar_t kFocusSkin[] =
    LR"(<Window shadowattached="false" size="320,330">
  <VBox bkcolor="kb_test_bk">
    <Button name="first" width="100" height="30" bkcolor="kb_test_btn" text="first"/>
    <Label name="label" width="100" height="20" text="label"/>
    <Button name="disabled" width="100" height="20" bkcolor="kb_test_btn" enabled="false"/>
    <Button name="optout" width="100" height="20" bkcolor="kb_test_btn" tabstop="false"/>
    <VBox name="page" height="20" visible="false">
      <Button name="hidden" width="100" height="20" bkcolor="kb_test_btn"/>
    </VBox>
    <HBox name="offbox" height="20" enabled="false">
      <Button name="in_offbox" width="100" height="20" bkcolor="kb_test_btn"/>
    </HBox>
    <CheckBox name="check" width="100" height="30" bkcolor="kb_test_btn" text="check"/>
    <HBox height="30">
      <Option name="opt_a" group="g" width="60" height="30" bkcolor="kb_test_btn" selected="true"/>
      <Option name="opt_b" group="g" width="60" height="30" bkcolor="kb_test_btn"/>
    </HBox>
    <RichEdit name="field" width="200" height="30" multiline="false" text="one line"/>
    <RichEdit name="notes" width="200" height="20" multiline="true" readonly="true" nofocus="true"/>
    <Button name="noring" width="100" height="30" bkcolor="kb_test_btn" focusring="false"/>
    <Button name="last" width="100" height="30" bkcolor="kb_test_btn" text="last"/>
  </VBox>
</Window>)";

class KeyboardFocusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InitGtkForTest()) GTEST_SKIP() << "no private X server (Xvfb)";
    InstallTestRenderFactory();
    GlobalManager::AddTextColor(L"kb_test_bk", 0xFFF0F0F0);
    GlobalManager::AddTextColor(L"kb_test_btn", 0xFF2080E0);
  }
  void TearDown() override {
    if (window_ && window_->GetNativeWindow() && window_->GetNativeWindow()->IsValid()) {
      window_->GetNativeWindow()->Destroy();
    }
    window_.reset();
    PumpFor(20);
  }

  MarkupWindow* Open(const std::wstring& skin) {
    window_ = std::make_unique<MarkupWindow>(skin);
    EXPECT_TRUE(window_->Create(nullptr, L"keyboard test", UiRect(40, 40, 140, 140)))
        << nbase::WideToUTF8(window_->GetLastError());
    EXPECT_TRUE(window_->ShowAt(40, 40));
    EXPECT_TRUE(PumpUntil([&] { return window_->GetNativeWindow()->HasFocus(); }));
    return window_.get();
  }

  Control* Find(const wchar_t* name) { return window_->FindControl(std::wstring(name)); }
  std::string FocusName() {
    Control* focus = window_->GetFocus();
    return focus ? nbase::WideToUTF8(focus->GetName()) : "<none>";
  }
  static void Press(unsigned long keysym, unsigned long modifier = 0) {
    if (modifier) FakeKey(modifier, true);
    FakeKey(keysym, true);
    FakeKey(keysym, false);
    if (modifier) FakeKey(modifier, false);
  }
  // The names the focus visits on `count` presses of (Shift+)Tab.
  std::vector<std::string> Walk(int count, bool backward = false) {
    std::vector<std::string> seen;
    for (int i = 0; i < count; ++i) {
      Press(XK_Tab, backward ? XK_Shift_L : 0);
      PumpFor(10);
      seen.push_back(FocusName());
    }
    return seen;
  }
  // The control's pixels on the screen once the window has drawn everything asked for.
  std::vector<uint32_t> Shot(const wchar_t* name) {
    PumpFor(60);
    const UiRect r = Find(name)->GetPos();
    const CPoint at = window_->ToScreen(CPoint(r.left, r.top));
    return GrabScreen(TestXDisplay(), at.x, at.y, r.GetWidth(), r.GetHeight());
  }

  std::unique_ptr<MarkupWindow> window_;
};

TEST_F(KeyboardFocusTest, TabWalksTheStopsInTreeOrderAndShiftTabWalksBack) {
  Open(kFocusSkin);
  const std::vector<std::string> forward = {"first", "check",  "opt_a", "opt_b",
                                            "field", "noring", "last"};
  EXPECT_EQ(FocusName(), "<none>");
  // Once round and on to the start again: the end wraps.
  std::vector<std::string> expected = forward;
  expected.push_back("first");
  EXPECT_EQ(Walk(static_cast<int>(forward.size()) + 1), expected);
  // From the first stop Shift+Tab wraps to the last and goes on backwards.
  EXPECT_EQ(Walk(3, true), (std::vector<std::string>{"last", "noring", "field"}));
  // The Tab typed no tab character into the single-line field it left.
  EXPECT_EQ(dynamic_cast<RichEdit*>(Find(L"field"))->GetText(), L"one line");

  // The order follows the tree as it is now: a shown page and enabled controls join it,
  // a hidden or disabled one leaves it.
  Find(L"page")->SetVisible(true);
  Find(L"disabled")->SetEnabled(true);
  Find(L"check")->SetEnabled(false);
  window_->SetFocus(Find(L"first"));
  EXPECT_EQ(Walk(3), (std::vector<std::string>{"disabled", "hidden", "opt_a"}));
  // The focused control disappearing leaves no focus; Tab starts over at the first stop.
  Find(L"opt_a")->SetVisible(false);
  EXPECT_EQ(FocusName(), "<none>");
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"first"}));
}

// A disabled control cannot keep the focus: it goes on to the next stop, as
// Tab would take it, and the focus ring follows only a keyboard focus.
TEST_F(KeyboardFocusTest, DisablingTheFocusMovesItOnToTheNextStop) {
  Open(kFocusSkin);
  ASSERT_EQ(Walk(2), (std::vector<std::string>{"first", "check"}));
  Find(L"check")->SetEnabled(false);
  EXPECT_EQ(FocusName(), "opt_a");
  EXPECT_TRUE(window_->IsFocusFromKeyboard());
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"opt_b"}));

  // A box disabled around the focus takes it away from all it holds.
  Find(L"offbox")->SetEnabled(true);
  window_->SetFocus(Find(L"in_offbox"));
  EXPECT_FALSE(window_->IsFocusFromKeyboard());
  Find(L"offbox")->SetEnabled(false);
  EXPECT_EQ(FocusName(), "opt_a");
  EXPECT_FALSE(window_->IsFocusFromKeyboard());

  // The last stop hands it round to the first; with no stop left there is none.
  window_->SetFocus(Find(L"last"));
  Find(L"last")->SetEnabled(false);
  EXPECT_EQ(FocusName(), "first");
  for (const wchar_t* name : {L"first", L"opt_a", L"opt_b", L"field", L"noring"}) {
    Find(name)->SetEnabled(false);
  }
  EXPECT_EQ(FocusName(), "<none>");
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"<none>"}));
}

TEST_F(KeyboardFocusTest, SpaceAndEnterActivateButtonsCheckBoxesAndOptions) {
  Open(kFocusSkin);
  int clicks = 0;
  Find(L"first")->AttachEvent(kEventClick, [&](const EventArgs&) {
    ++clicks;
    return true;
  });
  int last_clicks = 0;
  Find(L"last")->AttachEvent(kEventClick, [&](const EventArgs&) {
    ++last_clicks;
    return true;
  });
  ASSERT_EQ(Walk(1), (std::vector<std::string>{"first"}));
  Press(XK_space);
  ASSERT_TRUE(PumpUntil([&] { return clicks == 1; }));
  Press(XK_Return);
  ASSERT_TRUE(PumpUntil([&] { return clicks == 2; }));
  Press(XK_KP_Enter);
  ASSERT_TRUE(PumpUntil([&] { return clicks == 3; }));

  auto* check = dynamic_cast<CheckBox*>(Find(L"check"));
  ASSERT_FALSE(check->IsSelected());
  ASSERT_EQ(Walk(1), (std::vector<std::string>{"check"}));
  Press(XK_space);
  ASSERT_TRUE(PumpUntil([&] { return check->IsSelected(); }));
  Press(XK_Return);
  ASSERT_TRUE(PumpUntil([&] { return !check->IsSelected(); }));

  auto* a = dynamic_cast<Option*>(Find(L"opt_a"));
  auto* b = dynamic_cast<Option*>(Find(L"opt_b"));
  ASSERT_EQ(Walk(2), (std::vector<std::string>{"opt_a", "opt_b"}));
  EXPECT_TRUE(a->IsSelected());
  Press(XK_space);
  ASSERT_TRUE(PumpUntil([&] { return b->IsSelected(); }));
  EXPECT_FALSE(a->IsSelected());
  // A selected option stays selected on a second press.
  Press(XK_Return);
  PumpFor(50);
  EXPECT_TRUE(b->IsSelected());

  // Keys on other controls click nothing; none of the keys above reached another button.
  ASSERT_EQ(Walk(1), (std::vector<std::string>{"field"}));
  Press(XK_Return);
  Press(XK_space);
  PumpFor(50);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(last_clicks, 0);
  // A skin's "keyboard=false" button is no stop: its keys would do nothing.
  Find(L"last")->SetKeyboardEnabled(false);
  EXPECT_EQ(Walk(2), (std::vector<std::string>{"noring", "first"}));
}

TEST_F(KeyboardFocusTest, FocusRingShowsOnlyForTheKeyboardFocus) {
  Open(kFocusSkin);
  const std::vector<uint32_t> plain = Shot(L"first");
  ASSERT_FALSE(plain.empty());
  const UiRect r = Find(L"first")->GetPos();
  const auto width = static_cast<size_t>(r.GetWidth());

  // A focus given by the program (as the message box gives it) changes no pixel.
  window_->SetFocus(Find(L"first"));
  EXPECT_EQ(Shot(L"first"), plain);

  // From the keyboard: a dark edge with a light line inside, the middle unchanged.
  window_->KillFocus();
  Walk(1);
  ASSERT_EQ(FocusName(), "first");
  const std::vector<uint32_t> ringed = Shot(L"first");
  ASSERT_EQ(ringed.size(), plain.size());
  const size_t middle_row = static_cast<size_t>(r.GetHeight() / 2) * width;
  EXPECT_EQ(ringed[0], 0x1E1E1Eu);
  EXPECT_EQ(ringed[middle_row + 1], 0x1E1E1Eu);
  EXPECT_EQ(ringed[middle_row + width - 1], 0x1E1E1Eu);
  EXPECT_EQ(ringed[middle_row + 2], 0xFFFFFFu);
  EXPECT_EQ(ringed[2 * width + 10], 0xFFFFFFu);
  EXPECT_EQ(ringed[middle_row + 4], plain[middle_row + 4]);
  EXPECT_NE(ringed, plain);

  // The ring follows the focus and leaves the previous control as it was.
  Walk(1);
  EXPECT_EQ(Shot(L"first"), plain);
  Walk(1, true);
  EXPECT_EQ(Shot(L"first"), ringed);

  // A press of the mouse takes the ring away; the focus itself stays.
  const UiRect label_rect = Find(L"label")->GetPos();
  const CPoint label = window_->ToScreen(
      CPoint((label_rect.left + label_rect.right) / 2, (label_rect.top + label_rect.bottom) / 2));
  FakeClick(label.x, label.y);
  EXPECT_EQ(Shot(L"first"), plain);
  EXPECT_EQ(FocusName(), "first");

  // A skin can turn the ring off.
  const std::vector<uint32_t> noring = Shot(L"noring");
  window_->SetFocus(Find(L"field"));
  Walk(1);
  ASSERT_EQ(FocusName(), "noring");
  EXPECT_EQ(Shot(L"noring"), noring);
}

TEST_F(KeyboardFocusTest, OnlyAnEditableMultiLineFieldKeepsTabAndControlTabLeavesIt) {
  constexpr wchar_t kFieldsSkin[] =
      LR"(<Window shadowattached="false" size="300,200">
  <VBox bkcolor="kb_test_bk">
    <RichEdit name="editor" width="200" height="60" multiline="true" text="x"/>
    <RichEdit name="viewer" width="200" height="60" multiline="true" readonly="true" text="y"/>
    <Button name="ok" width="100" height="30" bkcolor="kb_test_btn"/>
  </VBox>
</Window>)";
  Open(kFieldsSkin);
  auto* editor = dynamic_cast<RichEdit*>(Find(L"editor"));
  ASSERT_EQ(Walk(1), (std::vector<std::string>{"editor"}));
  editor->SetSel(1, 1);
  // Tab types into the editor and keeps the focus there.
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"editor"}));
  EXPECT_EQ(editor->GetText(), L"x\t");
  // Control+Tab moves on; the read-only viewer lets plain Tab through.
  Press(XK_Tab, XK_Control_L);
  PumpFor(10);
  EXPECT_EQ(FocusName(), "viewer");
  EXPECT_EQ(Walk(1), (std::vector<std::string>{"ok"}));
  EXPECT_EQ(editor->GetText(), L"x\t");
  EXPECT_EQ(dynamic_cast<RichEdit*>(Find(L"viewer"))->GetText(), L"y");
}

}  // namespace
}  // namespace ui
