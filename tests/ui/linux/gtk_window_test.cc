// The GTK host under a real X server (the tests' Xvfb), driven by XTest.

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <set>
#include <vector>

#include "base/string_util.h"
#include "control_test_support.h"
#include "gtk_test_support.h"
#include "tests/ui/animation_test_support.h"
#include "ui/builder/window_builder.h"
#include "ui/control/rich_edit.h"
#include "ui/core/animation_manager.h"
#include "ui/native/linux/gtk_keys.h"
#include "ui/text/text_services.h"

namespace ui {
namespace {

// Caption 40 px with a label in it; a button below; sizing borders of 4 px.
constexpr wchar_t kInputSkin[] =
    LR"(<Window shadowattached="false" size="300,200" caption="0,0,0,40" sizebox="4,4,4,4" mininfo="200,150"
    maxinfo="400,300">
  <VBox bkcolor="gtk_test_bk">
    <Label name="title" width="stretch" height="40" text="title"/>
    <Button name="btn" width="100" height="30" bkcolor="gtk_test_btn" tooltiptext="tip text"
            tooltipwidth="120"/>
    <Control name="target" width="100" height="30" bkcolor="gtk_test_btn"/>
    <Button name="closebtn" width="30" height="30" bkcolor="gtk_test_btn"/>
  </VBox>
</Window>)";

struct Recorder {
  std::vector<int32_t> kinds;
  std::vector<EventArgs> events;
  void Attach(Control* control) {
    control->AttachAllEvents([this](const EventArgs& event) {
      kinds.push_back(event.type);
      events.push_back(event);
      return true;
    });
  }
  int Count(int32_t kind) const {
    return static_cast<int>(std::count(kinds.begin(), kinds.end(), kind));
  }
  void Clear() {
    kinds.clear();
    events.clear();
  }
};

class GtkWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InitGtkForTest()) GTEST_SKIP() << "no private X server (Xvfb)";
    InstallTestRenderFactory();
    GlobalManager::AddTextColor(L"gtk_test_bk", 0xFFF0F0F0);
    GlobalManager::AddTextColor(L"gtk_test_btn", 0xFF2080E0);
  }
  void TearDown() override {
    for (auto& window : windows_) {
      if (window->GetNativeWindow() && window->GetNativeWindow()->IsValid()) {
        window->GetNativeWindow()->Destroy();
      }
    }
    windows_.clear();
    PumpFor(20);
  }

  MarkupWindow* Open(const std::wstring& skin, int x, int y, MarkupWindow* owner = nullptr) {
    windows_.push_back(std::make_unique<MarkupWindow>(skin));
    MarkupWindow* window = windows_.back().get();
    EXPECT_TRUE(window->Create(owner, L"gtk test", UiRect(x, y, x + 100, y + 100)))
        << nbase::WideToUTF8(window->GetLastError());
    EXPECT_TRUE(window->ShowAt(x, y));
    return window;
  }

  std::vector<std::unique_ptr<MarkupWindow>> windows_;
};

TEST_F(GtkWindowTest, WindowHasTheSkinSizeAndPaintsOnlyOnDemand) {
  MarkupWindow* window = Open(kInputSkin, 60, 60);
  EXPECT_EQ(window->GetNativeWindow()->GetClientSize(), CSize(300, 200));
  EXPECT_FALSE(window->gtk()->HasAlphaChannel());  // no compositor on the tests' server
  // Settled: no further frames without a reason (no polling).
  PumpFor(400);
  const size_t draws = window->gtk()->GetDrawCount();
  PumpFor(300);
  EXPECT_EQ(window->gtk()->GetDrawCount(), draws);
  // A change repaints only its own rect.
  window->FindControl(std::wstring(L"target"))->Invalidate();
  ASSERT_TRUE(PumpUntil([&] { return window->gtk()->GetDrawCount() > draws; }));
  EXPECT_EQ(window->gtk()->GetLastDrawRect(), UiRect(0, 70, 100, 100));
}

TEST_F(GtkWindowTest, ClicksDoubleClicksAndRightClicksReachTheControl) {
  MarkupWindow* window = Open(kInputSkin, 60, 60);
  Recorder button;
  button.Attach(window->FindControl(std::wstring(L"btn")));
  const CPoint at = window->ToScreen(CPoint(50, 55));
  FakeClick(at.x, at.y);
  ASSERT_TRUE(PumpUntil([&] { return button.Count(kEventClick) == 1; }));
  EXPECT_EQ(button.Count(kEventMouseButtonDown), 1);
  EXPECT_EQ(button.Count(kEventMouseButtonUp), 1);
  // The event carries the client point.
  const auto down =
      std::find_if(button.events.begin(), button.events.end(),
                   [](const EventArgs& e) { return e.type == kEventMouseButtonDown; });
  EXPECT_EQ(down->mouse_point, CPoint(50, 55));

  // A second press soon after is the double click, not another down.
  FakeClick(at.x, at.y);
  ASSERT_TRUE(PumpUntil([&] { return button.Count(kEventMouseButtonUp) == 2; }));
  EXPECT_EQ(button.Count(kEventMouseButtonDown), 1);

  PumpFor(600);  // past the double-click time
  button.Clear();
  FakeClick(at.x, at.y, 3);
  ASSERT_TRUE(PumpUntil([&] { return button.Count(kEventMouseRightButtonUp) == 1; }));
  EXPECT_EQ(button.Count(kEventMouseRightButtonDown), 1);
}

TEST_F(GtkWindowTest, DragThatLeavesTheWindowKeepsReportingToThePressedControl) {
  MarkupWindow* window = Open(kInputSkin, 60, 60);
  Recorder button;
  button.Attach(window->FindControl(std::wstring(L"btn")));
  const CPoint at = window->ToScreen(CPoint(50, 55));
  FakeMove(at.x, at.y);
  FakeButton(1, true);
  FakeMove(at.x + 500, at.y + 300);  // far outside the window
  ASSERT_TRUE(PumpUntil([&] {
    return !button.events.empty() && button.events.back().type == kEventMouseMove &&
           button.events.back().mouse_point.x > 400;
  }));
  FakeButton(1, false);
  ASSERT_TRUE(PumpUntil([&] { return button.Count(kEventMouseButtonUp) == 1; }));
  // Released outside: no click.
  EXPECT_EQ(button.Count(kEventClick), 0);
}

TEST_F(GtkWindowTest, CaptionDragMovesTheWindowAndButtonsThereStayClickable) {
  MarkupWindow* window = Open(kInputSkin, 80, 80);
  EXPECT_EQ(window->HitTest(CPoint(150, 20)), NativeHitTest::kCaption);
  const CPoint start = window->ToScreen(CPoint(150, 20));
  FakeMove(start.x, start.y);
  FakeButton(1, true);
  for (int step = 1; step <= 5; ++step) FakeMove(start.x + step * 10, start.y + step * 6);
  FakeButton(1, false);
  ASSERT_TRUE(PumpUntil([&] {
    const UiRect r = window->GetNativeWindow()->GetWindowRect();
    return r.left == 130 && r.top == 110;
  })) << window->GetNativeWindow()->GetWindowRect().left;
}

TEST_F(GtkWindowTest, BorderDragResizesWithinMinAndMaxInfo) {
  MarkupWindow* window = Open(kInputSkin, 60, 60);
  EXPECT_EQ(window->HitTest(CPoint(298, 100)), NativeHitTest::kRight);
  const CPoint edge = window->ToScreen(CPoint(298, 100));
  FakeMove(edge.x, edge.y);
  FakeButton(1, true);
  FakeMove(edge.x + 40, edge.y);
  FakeMove(edge.x + 60, edge.y);
  FakeButton(1, false);
  ASSERT_TRUE(PumpUntil([&] { return window->GetNativeWindow()->GetClientSize().cx == 360; }))
      << window->GetNativeWindow()->GetClientSize().cx;

  // Far beyond the largest size: held at maxinfo; the root follows.
  const CPoint corner = window->ToScreen(CPoint(358, 198));
  EXPECT_EQ(window->HitTest(CPoint(358, 198)), NativeHitTest::kBottomRight);
  FakeMove(corner.x, corner.y);
  FakeButton(1, true);
  FakeMove(corner.x + 200, corner.y + 200);
  FakeMove(corner.x + 400, corner.y + 400);
  FakeButton(1, false);
  ASSERT_TRUE(PumpUntil([&] {
    return window->GetNativeWindow()->GetClientSize() == CSize(400, 300);
  })) << window->GetNativeWindow()->GetClientSize().cx;
  ASSERT_TRUE(PumpUntil([&] { return window->GetRoot()->GetPos().right == 400; }));

  // And the smallest size on the way back.
  const CPoint left = window->ToScreen(CPoint(1, 150));
  FakeMove(left.x, left.y);
  FakeButton(1, true);
  FakeMove(left.x + 300, left.y);
  FakeMove(left.x + 390, left.y);
  FakeButton(1, false);
  ASSERT_TRUE(PumpUntil([&] { return window->GetNativeWindow()->GetClientSize().cx == 200; }))
      << window->GetNativeWindow()->GetClientSize().cx;
}

TEST_F(GtkWindowTest, WheelSends120PerNotchToTheControlUnderThePointer) {
  MarkupWindow* window = Open(kInputSkin, 60, 60);
  Recorder target;
  target.Attach(window->FindControl(std::wstring(L"target")));
  const CPoint at = window->ToScreen(CPoint(20, 80));
  FakeMove(at.x, at.y);
  FakeButton(4, true);
  FakeButton(4, false);
  FakeButton(5, true);
  FakeButton(5, false);
  ASSERT_TRUE(PumpUntil([&] { return target.Count(kEventMouseScrollWheel) == 2; }));
  std::vector<int> deltas;
  for (const EventArgs& e : target.events) {
    if (e.type == kEventMouseScrollWheel) deltas.push_back(static_cast<int>(e.w_param));
  }
  EXPECT_EQ(deltas, (std::vector<int>{120, -120}));
}

TEST_F(GtkWindowTest, TypingSendsKeyCodesAndCharactersToTheFocus) {
  MarkupWindow* window = Open(kInputSkin, 60, 60);
  Control* target = window->FindControl(std::wstring(L"target"));
  Recorder keys;
  keys.Attach(target);
  window->SetFocus(target);
  ASSERT_TRUE(PumpUntil([&] { return window->GetNativeWindow()->HasFocus(); }));
  FakeType("a1");
  FakeKey(XK_Return, true);
  FakeKey(XK_Return, false);
  FakeKey(XK_F5, true);
  FakeKey(XK_F5, false);
  ASSERT_TRUE(PumpUntil([&] { return keys.Count(kEventKeyUp) == 4; }));
  std::vector<int> down;
  std::vector<wchar_t> chars;
  for (const EventArgs& e : keys.events) {
    if (e.type == kEventKeyDown) down.push_back(static_cast<int>(e.w_param));
    if (e.type == kEventChar) chars.push_back(e.key);
  }
  EXPECT_EQ(down, (std::vector<int>{'A', '1', kVkReturn, kVkF1 + 4}));
  EXPECT_EQ(chars, (std::vector<wchar_t>{L'a', L'1', L'\r'}));
}

// Typed through the real keyboard: characters come from the input method,
// and Shift and Control reach the field with the keys they modify.
TEST_F(GtkWindowTest, RealKeysEditARichEditWithShiftAndControl) {
  constexpr wchar_t kEditSkin[] =
      LR"(<Window shadowattached="false" size="300,100">
    <VBox bkcolor="gtk_test_bk">
      <RichEdit name="field" width="stretch" height="30" multiline="false"/>
    </VBox></Window>)";
  MarkupWindow* window = Open(kEditSkin, 60, 60);
  auto* field = dynamic_cast<RichEdit*>(window->FindControl(std::wstring(L"field")));
  ASSERT_NE(field, nullptr);
  const CPoint at = window->ToScreen(CPoint(100, 15));
  FakeClick(at.x, at.y);
  ASSERT_TRUE(PumpUntil([&] { return window->GetNativeWindow()->HasFocus(); }));
  FakeType("abc def");
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"abc def"; }))
      << nbase::WideToUTF8(field->GetText());
  // Shift+Left selects one character; it does not move alone.
  FakeKey(XK_Shift_L, true);
  FakeKey(XK_Left, true);
  FakeKey(XK_Left, false);
  FakeKey(XK_Shift_L, false);
  ASSERT_TRUE(PumpUntil([&] { return field->GetSelText() == L"f"; }))
      << nbase::WideToUTF8(field->GetSelText());
  // Ctrl+Backspace deletes back by word and types no control character.
  FakeKey(XK_Right, true);
  FakeKey(XK_Right, false);
  FakeKey(XK_Control_L, true);
  FakeKey(XK_BackSpace, true);
  FakeKey(XK_BackSpace, false);
  FakeKey(XK_Control_L, false);
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"abc "; }))
      << nbase::WideToUTF8(field->GetText());
  // Ctrl+A selects everything instead of typing "a".
  FakeKey(XK_Control_L, true);
  FakeKey(XK_a, true);
  FakeKey(XK_a, false);
  FakeKey(XK_Control_L, false);
  ASSERT_TRUE(PumpUntil([&] { return field->GetSelText() == L"abc "; }));
  EXPECT_EQ(field->GetText(), L"abc ");
}

// Two single-line fields for the input-method, selection and caret tests.
constexpr wchar_t kTwoFieldSkin[] =
    LR"(<Window shadowattached="false" size="300,100">
    <VBox bkcolor="gtk_test_bk">
      <RichEdit name="field" width="stretch" height="30" multiline="false"/>
      <RichEdit name="other" width="stretch" height="30" multiline="false"/>
    </VBox></Window>)";

RichEdit* FindEdit(MarkupWindow* window, const wchar_t* name) {
  return dynamic_cast<RichEdit*>(window->FindControl(std::wstring(name)));
}

void PressWith(std::initializer_list<unsigned long> held, unsigned long key) {
  for (unsigned long modifier : held) FakeKey(modifier, true);
  FakeKey(key, true);
  FakeKey(key, false);
  for (auto it = std::rbegin(held); it != std::rend(held); ++it) FakeKey(*it, false);
}

// GTK's own simple input method composes U+4E2D from Ctrl+Shift+U, the hex
// digits and a space; the field shows the uncommitted text inline and the
// candidate window follows the caret.
TEST_F(GtkWindowTest, InputMethodComposesInlineAndCommitsAtTheCaret) {
  MarkupWindow* window = Open(kTwoFieldSkin, 60, 60);
  RichEdit* field = FindEdit(window, L"field");
  ASSERT_NE(field, nullptr);
  Recorder events;
  events.Attach(field);
  const CPoint at = window->ToScreen(CPoint(100, 15));
  FakeClick(at.x, at.y);
  ASSERT_TRUE(PumpUntil([&] { return window->GetNativeWindow()->HasFocus(); }));
  ASSERT_TRUE(PumpUntil([&] { return field->IsFocusedState(); }));
  FakeType("ab");
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"ab"; }));
  // The caret's place reached the input method, in client coordinates.
  const UiRect before = window->gtk()->GetImeCaretRect();
  EXPECT_EQ(before, field->GetCaretRect());
  EXPECT_TRUE(field->GetPos().IsPointIn(CPoint(before.left, before.top)));
  EXPECT_GT(before.left, field->GetPos().left);

  PressWith({XK_Control_L, XK_Shift_L}, XK_u);
  FakeType("4e2d");
  TextServices* services = field->GetTextServices();
  ASSERT_TRUE(PumpUntil([&] { return services->GetPreedit() == L"u4e2d"; }))
      << nbase::WideToUTF8(services->GetPreedit());
  EXPECT_TRUE(field->IsComposing());
  EXPECT_EQ(events.Count(kEventImeStartComposition), 1);
  // Composing changes nothing in the text yet; the candidate window sits at
  // the caret inside the shown preedit.
  EXPECT_EQ(field->GetText(), L"ab");
  EXPECT_EQ(window->gtk()->GetImeCaretRect(), field->GetCaretRect());
  EXPECT_GT(window->gtk()->GetImeCaretRect().left, before.left);

  FakeKey(XK_space, true);
  FakeKey(XK_space, false);
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"ab\u4e2d"; }))
      << nbase::WideToUTF8(field->GetText());
  EXPECT_FALSE(field->IsComposing());
  EXPECT_TRUE(services->GetPreedit().empty());
  EXPECT_EQ(events.Count(kEventImeEndComposition), 1);
  EXPECT_EQ(field->GetTextLength(), 3);
  EXPECT_EQ(window->gtk()->GetImeCaretRect(), field->GetCaretRect());
  EXPECT_GT(window->gtk()->GetImeCaretRect().left, before.left);

  // A composition abandoned by leaving the field leaves nothing behind.
  PressWith({XK_Control_L, XK_Shift_L}, XK_u);
  FakeType("41");
  ASSERT_TRUE(PumpUntil([&] { return field->IsComposing(); }));
  const CPoint other = window->ToScreen(CPoint(100, 45));
  FakeClick(other.x, other.y);
  ASSERT_TRUE(PumpUntil([&] { return !field->IsFocusedState(); }));
  EXPECT_FALSE(field->IsComposing());
  EXPECT_TRUE(services->GetPreedit().empty());
  EXPECT_EQ(field->GetText(), L"ab\u4e2d");
}

// The middle button pastes the X primary selection at the pointer: what
// another field selected, then what another program (xclip) owns.
TEST_F(GtkWindowTest, MiddleClickPastesThePrimarySelection) {
  if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xclip";
  MarkupWindow* window = Open(kTwoFieldSkin, 60, 60);
  RichEdit* field = FindEdit(window, L"field");
  RichEdit* other = FindEdit(window, L"other");
  ASSERT_NE(field, nullptr);
  ASSERT_NE(other, nullptr);
  field->SetText(L"alpha beta");
  const CPoint word = window->ToScreen(CPoint(field->GetPos().left + 4, 15));
  FakeClick(word.x, word.y);
  FakeClick(word.x, word.y);  // a double click selects the word and owns PRIMARY
  ASSERT_TRUE(PumpUntil([&] { return field->GetSelText() == L"alpha"; }))
      << nbase::WideToUTF8(field->GetSelText());
  Display* display = TestXDisplay();
  ASSERT_TRUE(PumpUntil([&] { return XGetSelectionOwner(display, XA_PRIMARY) != None; }));

  const CPoint target = window->ToScreen(CPoint(150, 45));
  FakeClick(target.x, target.y, 2);
  ASSERT_TRUE(PumpUntil([&] { return other->GetText() == L"alpha"; }))
      << nbase::WideToUTF8(other->GetText());
  EXPECT_EQ(field->GetText(), L"alpha beta");  // the source keeps its text

  // Another program takes PRIMARY; the next middle click pastes its text
  // where the pointer is (the end of the short text here).
  const ::Window ours = XGetSelectionOwner(display, XA_PRIMARY);
  ASSERT_EQ(std::system("printf ' from xclip 外部' | xclip -selection primary -loops 1 "
                        ">/dev/null 2>&1 &"),
            0);
  ASSERT_TRUE(PumpUntil([&] {
    const ::Window owner = XGetSelectionOwner(display, XA_PRIMARY);
    return owner != None && owner != ours;
  }));
  FakeClick(target.x, target.y, 2);
  ASSERT_TRUE(PumpUntil([&] { return other->GetText() == L"alpha from xclip 外部"; }, 5000))
      << nbase::WideToUTF8(other->GetText());
}

// A GTK host takes the desktop's blink settings: the caret blinks at
// GtkSettings' pace after input and stops, shown, after its timeout.
TEST_F(GtkWindowTest, CaretBlinksAtTheDesktopPaceAndStopsAfterItsTimeout) {
  GtkSettings* settings = gtk_settings_get_default();
  g_object_set(settings, "gtk-cursor-blink", TRUE, "gtk-cursor-blink-time", 200,
               "gtk-cursor-blink-timeout", 1, nullptr);
  MarkupWindow* window = Open(kTwoFieldSkin, 60, 60);
  RichEdit* field = FindEdit(window, L"field");
  ASSERT_NE(field, nullptr);
  const CPoint at = window->ToScreen(CPoint(100, 15));
  FakeClick(at.x, at.y);
  ASSERT_TRUE(PumpUntil([&] { return field->IsFocusedState(); }));
  FakeType("x");
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"x"; }));
  const auto typed = std::chrono::steady_clock::now();
  EXPECT_TRUE(field->IsCaretBlinking());
  // Both phases show, and each one repaints.
  const size_t draws = window->gtk()->GetDrawCount();
  ASSERT_TRUE(PumpUntil([&] { return !field->IsCaretVisible(); }));
  ASSERT_TRUE(PumpUntil([&] { return field->IsCaretVisible(); }));
  ASSERT_TRUE(PumpUntil([&] { return window->gtk()->GetDrawCount() >= draws + 2; }));
  // One second without input stops it, the caret left shown; timers never
  // fire early, so it cannot have stopped before that.
  ASSERT_TRUE(PumpUntil([&] { return !field->IsCaretBlinking(); }, 5000));
  EXPECT_GE(std::chrono::steady_clock::now() - typed, std::chrono::milliseconds(900));
  EXPECT_TRUE(field->IsCaretVisible());
  PumpFor(300);
  EXPECT_TRUE(field->IsCaretVisible());
  // Typing again starts it again.
  FakeType("y");
  ASSERT_TRUE(PumpUntil([&] { return field->GetText() == L"xy"; }));
  EXPECT_TRUE(field->IsCaretBlinking());

  g_object_set(settings, "gtk-cursor-blink-time", 1200, "gtk-cursor-blink-timeout", 10, nullptr);
}

// A field blinks at the pace of its own window: a desktop window at the
// desktop's, a headless one at the defaults, whichever was made before.
TEST_F(GtkWindowTest, EachFieldBlinksAtItsOwnWindowsPace) {
  GtkSettings* settings = gtk_settings_get_default();
  g_object_set(settings, "gtk-cursor-blink", TRUE, "gtk-cursor-blink-time", 200,
               "gtk-cursor-blink-timeout", 1, nullptr);
  MarkupWindow* desktop = Open(kTwoFieldSkin, 60, 60);
  ASSERT_NE(FindEdit(desktop, L"field"), nullptr);

  HeadlessWindowFixture headless(CSize(200, 50));
  ManualTimerService timers;
  auto* root = new VBox();
  auto* edit = new RichEdit();
  edit->GetAnimationManager().SetTimerManager(timers.manager());
  root->Add(edit);
  headless.Attach(root);
  headless.headless()->Click(CPoint(5, 5));
  ASSERT_TRUE(edit->IsCaretVisible());
  timers.Tick(RichEdit::kCaretBlinkMs - 1);
  EXPECT_TRUE(edit->IsCaretVisible());
  timers.Tick(1);
  EXPECT_FALSE(edit->IsCaretVisible());
  timers.Tick(RichEdit::kCaretBlinkTimeoutMs);
  EXPECT_TRUE(edit->IsCaretBlinking());
  g_object_set(settings, "gtk-cursor-blink-time", 1200, "gtk-cursor-blink-timeout", 10, nullptr);
}

TEST_F(GtkWindowTest, TooltipShowsAfterHoverAndGoesOnLeaveAndPress) {
  MarkupWindow* window = Open(kInputSkin, 60, 60);
  const CPoint at = window->ToScreen(CPoint(50, 55));
  FakeMove(at.x, at.y);
  FakeMove(at.x + 1, at.y);
  PumpFor(GtkNativeWindow::kHoverTimeMs / 2);
  EXPECT_FALSE(window->gtk()->IsToolTipVisible());
  ASSERT_TRUE(PumpUntil([&] { return window->gtk()->IsToolTipVisible(); }));
  EXPECT_EQ(window->gtk()->GetToolTipText(), L"tip text");
  FakeMove(at.x + 600, at.y + 400);  // leaves the window
  ASSERT_TRUE(PumpUntil([&] { return !window->gtk()->IsToolTipVisible(); }));

  FakeMove(at.x, at.y);
  ASSERT_TRUE(PumpUntil([&] { return window->gtk()->IsToolTipVisible(); }));
  FakeButton(1, true);
  EXPECT_FALSE(window->gtk()->IsToolTipVisible());
  FakeButton(1, false);
}

TEST_F(GtkWindowTest, FocusMovesBetweenWindowsWithClicks) {
  MarkupWindow* first = Open(kInputSkin, 40, 40);
  MarkupWindow* second = Open(kInputSkin, 500, 40);
  const CPoint a = first->ToScreen(CPoint(50, 85));
  const CPoint b = second->ToScreen(CPoint(50, 85));
  FakeClick(a.x, a.y);
  ASSERT_TRUE(PumpUntil([&] { return first->gtk()->HasFocus() && !second->gtk()->HasFocus(); }));
  FakeClick(b.x, b.y);
  ASSERT_TRUE(PumpUntil([&] { return second->gtk()->HasFocus() && !first->gtk()->HasFocus(); }));
}

TEST_F(GtkWindowTest, ModalBoxBlocksItsOwnerUntilItCloses) {
  MarkupWindow* owner = Open(kInputSkin, 40, 40);
  Recorder button;
  button.Attach(owner->FindControl(std::wstring(L"btn")));
  windows_.push_back(std::make_unique<MarkupWindow>(kInputSkin));
  MarkupWindow* box = windows_.back().get();
  ASSERT_TRUE(box->Create(owner, L"box", UiRect(0, 0, 100, 100)));
  box->ShowModalFake(owner);
  ASSERT_TRUE(PumpUntil([&] { return box->laid_out && box->gtk()->GetDrawCount() > 0; }));
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(box->gtk()->GetWidget())),
            GTK_WINDOW(owner->gtk()->GetWidget()));
  EXPECT_FALSE(owner->GetNativeWindow()->IsEnabled());
  // Centred on the owner.
  const UiRect o = owner->GetNativeWindow()->GetWindowRect();
  const UiRect b = box->GetNativeWindow()->GetWindowRect();
  EXPECT_EQ(b.left - o.left, o.right - b.right);

  // Clicks on the owner go nowhere while the box is open... (click the part
  // of the owner's button the box does not cover)
  const CPoint at = owner->ToScreen(CPoint(5, 45));
  FakeClick(at.x, at.y);
  PumpFor(100);
  EXPECT_EQ(button.Count(kEventMouseButtonDown), 0);

  box->Close(WindowImplBase::kIdOk);
  EXPECT_TRUE(owner->GetNativeWindow()->IsEnabled());
  ASSERT_TRUE(PumpUntil([&] { return box->destroyed; }, 2000));
  PumpFor(600);
  FakeClick(at.x, at.y);
  ASSERT_TRUE(PumpUntil([&] { return button.Count(kEventClick) == 1; }));
}

TEST_F(GtkWindowTest, CloseButtonClosesAfterTheFadeAndPendingWorkDoesNothingAfterwards) {
  MarkupWindow* window = Open(kInputSkin, 60, 60);
  int ran = 0;
  window->GetNativeWindow()->PostTask(window->MakeWeakCallback([&ran] { ++ran; }));
  // Starts a hover animation that is still running when the window goes.
  const CPoint close = window->ToScreen(CPoint(15, 115));
  FakeClick(close.x, close.y);
  EXPECT_FALSE(window->destroyed);
  ASSERT_TRUE(PumpUntil([&] { return window->destroyed; }, 2000));
  EXPECT_EQ(window->GetCloseResult(), WindowImplBase::kIdOk);
  EXPECT_EQ(ran, 1);
  window->GetNativeWindow()->PostTask(window->MakeWeakCallback([&ran] { ++ran; }));
  windows_.clear();  // the object goes; its queued task must not run
  PumpFor(400);
  EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

// The installer's own skins, from the source tree, as the installer loads them.
class GtkSkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InitGtkForTest()) GTEST_SKIP() << "no private X server (Xvfb)";
    InstallTestRenderFactory();
    GlobalManager::SetImageLoader(MakeSkinImageLoader());
    GlobalManager::SetResourceRoot(nbase::UTF8ToWide(CORVANE_SOURCE_DIR) +
                                   L"/resources/themes/default");
    WindowBuilder().Build(L"global.xml");
    GlobalManager::LoadLanguageFile(nbase::UTF8ToWide(CORVANE_SOURCE_DIR) +
                                    L"/resources/lang/zh_CN/gdstrings.ini");
  }
  void TearDown() override {
    GlobalManager::Shutdown();
    PumpFor(20);
  }
};

TEST_F(GtkSkinTest, ScreenshotOfTheRealWindowEqualsTheHeadlessPicture) {
  // No compositor here: both windows drop the shadow alike.
  FakeMove(1270, 1010);
  MarkupWindow real(L"basic.xml", L"basic/");
  ASSERT_TRUE(real.Create(nullptr, L"main", UiRect(0, 0, 100, 100)))
      << nbase::WideToUTF8(real.GetLastError());
  ASSERT_TRUE(real.ShowAt(20, 30, false));
  PumpFor(400);  // the fade-in has no effect without compositing, but let it end

  MarkupWindow headless_window(L"basic.xml", L"basic/");
  auto native = std::make_unique<HeadlessWindow>();
  native->SetAlphaChannel(false);
  HeadlessWindow* headless = native.get();
  ASSERT_TRUE(
      headless_window.Create(nullptr, L"main", UiRect(0, 0, 100, 100), true, std::move(native)));
  headless->PaintAll();
  PumpFor(400);
  headless->PaintAll();

  const CSize size = real.GetNativeWindow()->GetClientSize();
  ASSERT_EQ(size, CSize(headless->GetFrameWidth(), headless->GetFrameHeight()));
  const std::vector<uint32_t> shot = GrabScreen(TestXDisplay(), 20, 30, size.cx, size.cy);
  ASSERT_EQ(shot.size(), headless->GetPixels().size());
  int differing = 0;
  for (size_t i = 0; i < shot.size(); ++i) {
    // X drops the alpha byte of an opaque visual; the colour bytes must match.
    if ((headless->GetPixels()[i] & 0xFFFFFFu) != shot[i]) ++differing;
  }
  EXPECT_EQ(differing, 0);
  // A picture, not a blank.
  EXPECT_GT(std::set<uint32_t>(shot.begin(), shot.end()).size(), 50u);
  real.GetNativeWindow()->Destroy();
  headless_window.GetNativeWindow()->Destroy();
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

class GtkCaptionTest : public GtkWindowTest {
 protected:
  void DoubleClick(MarkupWindow* window, CPoint point) {
    const CPoint at = window->ToScreen(point);
    FakeClick(at.x, at.y);
    FakeClick(at.x, at.y);
  }
};

// The caption drags the window; its double click does nothing, not even on a
// window with sizing borders (maximising is the "maxbtn" button's).
TEST_F(GtkCaptionTest, DoubleClickOnTheCaptionChangesNothingEvenOnASizableWindow) {
  constexpr wchar_t kSizable[] =
      LR"(<Window shadowattached="false" size="300,200" caption="0,0,0,40" sizebox="4,4,4,4">
    <VBox bkcolor="gtk_test_bk"><Label height="40" width="stretch" text="t"/></VBox></Window>)";
  MarkupWindow* window = Open(kSizable, 60, 60);
  NativeWindow* native = window->GetNativeWindow();
  const UiRect before = native->GetWindowRect();
  ASSERT_EQ(window->HitTest(CPoint(100, 20)), NativeHitTest::kCaption);
  DoubleClick(window, CPoint(100, 20));
  PumpFor(400);
  EXPECT_FALSE(native->IsMaximized());
  EXPECT_EQ(native->GetWindowRect(), before);

  // Maximised by its button's way, a double click does not restore it either,
  // and the borders no longer size it.
  native->SetShowState(NativeShowState::kMaximize);
  ASSERT_TRUE(PumpUntil([&] { return native->IsMaximized(); }));
  const UiRect maximised = native->GetWindowRect();
  EXPECT_EQ(window->HitTest(CPoint(1, 100)), NativeHitTest::kClient);
  PumpFor(600);
  DoubleClick(window, CPoint(100, 20));
  PumpFor(400);
  EXPECT_TRUE(native->IsMaximized());
  EXPECT_EQ(native->GetWindowRect(), maximised);

  constexpr wchar_t kFixed[] =
      LR"(<Window shadowattached="false" size="300,200" caption="0,0,0,40">
    <VBox bkcolor="gtk_test_bk"><Label height="40" width="stretch" text="t"/></VBox></Window>)";
  MarkupWindow* fixed = Open(kFixed, 500, 500);
  DoubleClick(fixed, CPoint(100, 20));
  PumpFor(300);
  EXPECT_FALSE(fixed->GetNativeWindow()->IsMaximized());
  EXPECT_EQ(fixed->GetNativeWindow()->GetClientSize(), CSize(300, 200));
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

TEST_F(GtkWindowTest, RoundCornersCutTheWindowShapeAndTheCursorPositionIsInClientPixels) {
  constexpr wchar_t kRound[] =
      LR"(<Window shadowattached="false" size="200,120" roundcorner="24,24">
    <VBox bkcolor="gtk_test_btn"/></Window>)";
  const std::vector<uint32_t> before = GrabScreen(TestXDisplay(), 300, 300, 200, 120);
  MarkupWindow* window = Open(kRound, 300, 300);
  PumpFor(100);
  const std::vector<uint32_t> after = GrabScreen(TestXDisplay(), 300, 300, 200, 120);
  ASSERT_EQ(before.size(), after.size());
  auto at = [](const std::vector<uint32_t>& pixels, int x, int y) {
    return pixels[static_cast<size_t>(y) * 200 + static_cast<size_t>(x)];
  };
  // The desktop shows through the four corners; the window covers the rest.
  for (CPoint corner :
       {CPoint(0, 0), CPoint(199, 0), CPoint(0, 119), CPoint(199, 119), CPoint(2, 1)}) {
    EXPECT_EQ(at(after, corner.x, corner.y), at(before, corner.x, corner.y))
        << corner.x << "," << corner.y;
  }
  for (CPoint inside : {CPoint(12, 0), CPoint(0, 12), CPoint(100, 60), CPoint(8, 8)}) {
    EXPECT_EQ(at(after, inside.x, inside.y), 0x2080E0u) << inside.x << "," << inside.y;
  }

  const CPoint screen = window->ToScreen(CPoint(37, 41));
  FakeMove(screen.x, screen.y);
  EXPECT_EQ(window->GetNativeWindow()->GetCursorPos(), CPoint(37, 41));
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

// Touchpads scroll in fractions of a notch; made as GDK delivers them.
TEST_F(GtkWindowTest, SmoothScrollFractionsAddUpToWholeNotches) {
  MarkupWindow* window = Open(kInputSkin, 60, 60);
  Recorder target;
  target.Attach(window->FindControl(std::wstring(L"target")));
  GdkWindow* gdk_window = gtk_widget_get_window(window->gtk()->GetWidget());
  GdkDevice* device = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
  auto scroll = [&](double delta_y) {
    GdkEvent* event = gdk_event_new(GDK_SCROLL);
    event->scroll.window = GDK_WINDOW(g_object_ref(gdk_window));
    event->scroll.direction = GDK_SCROLL_SMOOTH;
    event->scroll.x = 20;
    event->scroll.y = 80;
    event->scroll.delta_y = delta_y;
    gdk_event_set_device(event, device);
    gtk_main_do_event(event);
    gdk_event_free(event);
  };
  scroll(0.4);
  scroll(0.4);
  EXPECT_EQ(target.Count(kEventMouseScrollWheel), 0);
  scroll(0.4);   // 1.2 notches down: one notch now, the rest kept
  scroll(-2.2);  // back up past the start: two notches in one message
  std::vector<int> deltas;
  for (const EventArgs& e : target.events) {
    if (e.type == kEventMouseScrollWheel) deltas.push_back(static_cast<int>(e.w_param));
  }
  EXPECT_EQ(deltas, (std::vector<int>{-120, 240}));
}

}  // namespace
}  // namespace ui
