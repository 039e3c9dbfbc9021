// The text field through real window input on the headless window: typing,
// keys with modifiers, mouse selection, the clipboard, limits and bad input,
// events 44 to 47, the caret's blink, and the pixels it paints.

#include <gtest/gtest.h>

#include <string>

#include "base/build_config.h"
#include "tests/ui/animation_test_support.h"
#include "tests/ui/control_basic_test_support.h"
#include "tests/ui/control_test_support.h"
#include "ui/control/rich_edit.h"
#include "ui/control/scroll_bar.h"
#include "ui/core/animation_manager.h"
#include "ui/native/clipboard.h"
#include "ui/native/key_codes.h"
#include "ui/text/text_services.h"

namespace ui {
namespace {

using testing::CountHue;
using testing::Hue;

class RichEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::AddBasicColors();
    GlobalManager::AddFont(L"WenQuanYi Micro Hei", 16, false, false, false);
    font_ = GlobalManager::GetFontCount() - 1;
    SetDefaultClipboard(std::make_unique<MemoryClipboard>());
  }
  void TearDown() override { SetDefaultClipboard(nullptr); }

  // A field at (10, 10) of `size` inside a plain box, focused by a click.
  RichEdit* Build(const std::wstring& attributes, CSize size = CSize(200, 30)) {
    root_ = new VBox();
    root_->SetBkColor(L"basic_white");
    edit_ = new RichEdit();
    edit_->GetAnimationManager().SetTimerManager(timers_.manager());
    edit_->SetAttribute(L"font", std::to_wstring(font_));
    edit_->SetAttribute(L"normaltextcolor", L"basic_red");
    edit_->SetFixedWidth(size.cx);
    edit_->SetFixedHeight(size.cy);
    edit_->SetMargin(UiRect(10, 10, 0, 0));
    root_->Add(edit_);
    w_.Attach(root_);
    edit_->ApplyAttributeList(attributes);
    w_.headless()->PaintAll();
    return edit_;
  }
  void Focus() { w_.headless()->Click(CPoint(15, 15)); }
  void Key(int key, intptr_t mods = 0) {
    NativeMessage down;
    down.type = NativeMessageType::kKeyDown;
    down.w_param = key;
    down.l_param = mods;
    w_.headless()->Send(down);
    NativeMessage up = down;
    up.type = NativeMessageType::kKeyUp;
    w_.headless()->Send(up);
  }
  void Type(const std::wstring& text) {
    for (wchar_t c : text) w_.headless()->Char(c);
  }
  int CountEvents(int32_t kind) {
    int* count = new int(0);
    counters_.emplace_back(count);
    edit_->AttachEvent(kind, [count](const EventArgs&) {
      ++*count;
      return true;
    });
    return static_cast<int>(counters_.size() - 1);
  }
  int Events(int id) const { return *counters_[static_cast<size_t>(id)]; }

  HeadlessWindowFixture w_{CSize(400, 300)};
  ManualTimerService timers_;
  VBox* root_ = nullptr;
  RichEdit* edit_ = nullptr;
  int font_ = 0;
  std::vector<std::unique_ptr<int>> counters_;
};

TEST_F(RichEditTest, TypingArrowsShiftSelectAndWordKeys) {
  Build(L"");
  Focus();
  ASSERT_TRUE(edit_->IsFocused());
  Type(L"hello world");
  EXPECT_EQ(edit_->GetText(), L"hello world");
  Key(kVkLeft, kKeyStateShift | kKeyStateControl);
  EXPECT_EQ(edit_->GetSelText(), L"world");
  Type(L"中文");
  EXPECT_EQ(edit_->GetText(), L"hello 中文");
  Key(kVkHome);
  Key(kVkRight, kKeyStateShift);
  Key(kVkRight, kKeyStateShift);
  EXPECT_EQ(edit_->GetSelText(), L"he");
  Key(kVkDelete);
  EXPECT_EQ(edit_->GetText(), L"llo 中文");
  Key(kVkEnd);
  Key(kVkBack, kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"llo ");
  Key('Z', kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"llo 中文");
  Key('Y', kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"llo ");
  Key('A', kKeyStateControl);
  EXPECT_EQ(edit_->GetSelText(), L"llo ");
  // A single-line field ignores Enter; control characters are not typing.
  edit_->SetMultiLine(false);
  Key(kVkEnd);
  Type(L"\r\x01x");
  EXPECT_EQ(edit_->GetText(), L"llo x");
}

TEST_F(RichEditTest, MouseClickDoubleClickTripleClickAndDrag) {
  Build(L"", CSize(300, 30));
  edit_->SetText(L"alpha beta gamma");
  Focus();
  TextServices* services = edit_->GetTextServices();
  const UiRect b = services->GetCaretRect();
  // Double click on "beta" selects the word; a third click the line.
  const int beta_x = [&] {
    edit_->SetSel(8, 8);
    return services->GetCaretRect().left;
  }();
  w_.headless()->ButtonDown(CPoint(beta_x, b.top + 5));
  w_.headless()->ButtonUp(CPoint(beta_x, b.top + 5));
  w_.headless()->DoubleClick(CPoint(beta_x, b.top + 5));
  w_.headless()->ButtonUp(CPoint(beta_x, b.top + 5));
  EXPECT_EQ(edit_->GetSelText(), L"beta");
  w_.headless()->ButtonDown(CPoint(beta_x, b.top + 5));
  w_.headless()->ButtonUp(CPoint(beta_x, b.top + 5));
  EXPECT_EQ(edit_->GetSelText(), L"alpha beta gamma");
  // Drag from the start to beta's middle.
  w_.headless()->ButtonDown(CPoint(11, b.top + 5));
  w_.headless()->MouseMove(CPoint(beta_x, b.top + 5));
  w_.headless()->ButtonUp(CPoint(beta_x, b.top + 5));
  EXPECT_EQ(edit_->GetSelText(), L"alpha be");
  // The drag put the selection on the primary selection.
  EXPECT_EQ(GetDefaultClipboard()->GetText(ClipboardKind::kPrimary),
            std::optional<std::wstring>(L"alpha be"));
}

TEST_F(RichEditTest, DragBeyondTheFieldAutoScrolls) {
  Build(LR"(multiline="true" vscrollbar="true")", CSize(200, 60));
  std::wstring text;
  for (int i = 0; i < 30; ++i) text += L"line " + std::to_wstring(i) + L"\n";
  edit_->SetText(text);
  Focus();
  edit_->SetSel(0, 0);
  TextServices* services = edit_->GetTextServices();
  const int press = services->HitTest(CPoint(20, 20));
  w_.headless()->ButtonDown(CPoint(20, 20));
  w_.headless()->MouseMove(CPoint(20, 200));
  const int before = services->GetScrollPos().y;
  for (int i = 0; i < 10; ++i) timers_.Tick(TextServices::kAutoScrollIntervalMs);
  EXPECT_GT(services->GetScrollPos().y, before);
  EXPECT_GT(services->GetSelection().caret, 20);
  EXPECT_EQ(services->GetSelection().anchor, press);
  // The bar follows the text's scroll.
  ASSERT_NE(edit_->GetVerticalScrollBar(), nullptr);
  EXPECT_EQ(edit_->GetVerticalScrollBar()->GetScrollPos(), services->GetScrollPos().y);
  w_.headless()->ButtonUp(CPoint(20, 200));
}

TEST_F(RichEditTest, SkinnedBarAppearsForTallTextAndTheWheelScrolls) {
  Build(LR"(multiline="true" vscrollbar="true")", CSize(200, 60));
  ScrollBar* bar = edit_->GetVerticalScrollBar();
  ASSERT_NE(bar, nullptr);
  bar->SetFixedWidth(10);
  bar->SetAutoHideScroll(false);
  edit_->SetText(L"short");
  w_.headless()->PaintAll();
  EXPECT_EQ(bar->GetScrollRange(), 0);
  EXPECT_FALSE(bar->IsVisible());
  std::wstring text;
  for (int i = 0; i < 30; ++i) text += L"line " + std::to_wstring(i) + L"\n";
  edit_->SetText(text);
  w_.headless()->PaintAll();
  EXPECT_GT(bar->GetScrollRange(), 0);
  EXPECT_TRUE(bar->IsVisible());
  // The bar sits at the field's right edge and the text area gave it room.
  EXPECT_EQ(bar->GetPos().right, edit_->GetPos().right);
  EXPECT_EQ(bar->GetPos().GetWidth(), 10);
  TextServices* services = edit_->GetTextServices();
  const int bottom = services->GetScrollPos().y;  // the caret at the end keeps the view at the end
  EXPECT_EQ(bottom, bar->GetScrollRange());
  edit_->SetTimerManager(timers_.manager());
  // Ctrl+wheel is left alone; the plain wheel scrolls.
  NativeMessage wheel;
  wheel.type = NativeMessageType::kMouseWheel;
  wheel.point = CPoint(50, 30);
  wheel.w_param = 120;
  wheel.l_param = kKeyStateControl;
  w_.headless()->Send(wheel);
  for (int i = 0; i < 60; ++i) timers_.Tick(16);
  EXPECT_EQ(services->GetScrollPos().y, bottom);
  w_.headless()->Wheel(CPoint(50, 30), 120);
  for (int i = 0; i < 60; ++i) timers_.Tick(16);
  EXPECT_LT(services->GetScrollPos().y, bottom);
  EXPECT_EQ(bar->GetScrollPos(), services->GetScrollPos().y);
  // Back to a short text: the bar goes away.
  edit_->SetText(L"short again");
  w_.headless()->PaintAll();
  EXPECT_EQ(bar->GetScrollRange(), 0);
}

TEST_F(RichEditTest, ClipboardCopyCutPastePasswordAndNumber) {
  Build(L"");
  Focus();
  Type(L"copy me");
  Key('A', kKeyStateControl);
  Key('C', kKeyStateControl);
  EXPECT_EQ(GetDefaultClipboard()->GetText(ClipboardKind::kClipboard),
            std::optional<std::wstring>(L"copy me"));
  Key(kVkEnd);
  Key('V', kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"copy mecopy me");
  Key('A', kKeyStateControl);
  Key('X', kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"");

  // Password: shown masked, nothing copyable.
  edit_->SetPassword(true);
  Type(L"secret");
  Key('A', kKeyStateControl);
  Key('C', kKeyStateControl);
  EXPECT_EQ(GetDefaultClipboard()->GetText(ClipboardKind::kClipboard),
            std::optional<std::wstring>(L"copy mecopy me"));
  EXPECT_EQ(edit_->GetText(), L"secret");
  // Word keys treat a password as one word.
  Key(kVkEnd);
  Type(L" two");
  Key(kVkBack, kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"");
  edit_->SetPassword(false);

  // Number: typing filters, Ctrl+V pastes the digits and leaves the clipboard.
  edit_->SetText(L"");
  edit_->SetNumber(true);
  Type(L"a1b");
  EXPECT_EQ(edit_->GetText(), L"1");
  GetDefaultClipboard()->SetText(ClipboardKind::kClipboard, L"a12-3");
  Key('V', kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"1123");
  EXPECT_EQ(GetDefaultClipboard()->GetText(ClipboardKind::kClipboard),
            std::optional<std::wstring>(L"a12-3"));

  // Read-only: selectable and copyable, never edited.
  edit_->SetNumber(false);
  edit_->SetReadOnly(true);
  Key('A', kKeyStateControl);
  Key('C', kKeyStateControl);
  Type(L"x");
  Key(kVkBack);
  Key('V', kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"1123");
  EXPECT_EQ(GetDefaultClipboard()->GetText(ClipboardKind::kClipboard),
            std::optional<std::wstring>(L"1123"));
}

TEST_F(RichEditTest, LimitsHoldForHugePastesInvalidCodePointsAndNul) {
  Build(LR"(multiline="false" maxchar="260")");
  Focus();
  std::wstring huge(1 << 20, L'界');
  huge[3] = 0;
  // A lone low surrogate, then a code point past U+10FFFF where wchar_t can
  // hold one, else a high surrogate left alone by the line break after it.
  huge[4] = static_cast<wchar_t>(0xDC00);
  huge[5] = static_cast<wchar_t>(nbase::kWideIsUtf16 ? 0xD834 : 0x7FFFFFFF);
  huge[6] = L'\n';
  GetDefaultClipboard()->SetText(ClipboardKind::kClipboard, huge);
  const int changes = CountEvents(kEventTextChange);
  Key('V', kKeyStateControl);
  const std::wstring text = edit_->GetText();
  ASSERT_EQ(text.size(), 260u);
  EXPECT_EQ(text.substr(0, 6), std::wstring(L"界界界\xFFFD\xFFFD "));
  EXPECT_EQ(Events(changes), 1);
  Type(L"more");
  EXPECT_EQ(edit_->GetText().size(), 260u);
  EXPECT_EQ(Events(changes), 1);
  // Setting the same text again is no change.
  edit_->SetText(edit_->GetText());
  EXPECT_EQ(Events(changes), 1);
  // Links are clamped to the text; one wholly past it is refused.
  EXPECT_TRUE(edit_->AddLink(250, 100000));
  EXPECT_EQ(edit_->GetLinks().back().last, 260);
  EXPECT_FALSE(edit_->AddLink(300, 400));
  w_.headless()->PaintAll();
}

TEST_F(RichEditTest, ReturnTabAndLinkEvents) {
  Build(LR"(multiline="true" wantreturnmsg="true" wanttab="false")", CSize(300, 80));
  Focus();
  const int returns = CountEvents(kEventReturn);
  const int tabs = CountEvents(kEventTab);
  const int links = CountEvents(kEventCustomLinkClick);
  Type(L"ab");
  Key(kVkReturn);
  w_.headless()->Char(L'\r');
  EXPECT_EQ(Events(returns), 1);
  EXPECT_EQ(edit_->GetText(), L"ab");
  Key(kVkReturn, kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"ab\n");
  Key(kVkTab);
  w_.headless()->Char(L'\t');
  EXPECT_EQ(Events(tabs), 1);
  EXPECT_EQ(edit_->GetText(), L"ab\n");

  edit_->SetText(L"see the link here");
  ASSERT_TRUE(edit_->AddLink(8, 12));
  edit_->SetSel(10, 10);
  const UiRect caret = edit_->GetTextServices()->GetCaretRect();
  w_.headless()->Click(CPoint(caret.left, caret.top + 4));
  EXPECT_EQ(Events(links), 1);
  // The hand over the link, the I-beam elsewhere on the field.
  NativeMessage cursor;
  cursor.type = NativeMessageType::kSetCursor;
  cursor.point = CPoint(caret.left, caret.top + 4);
  w_.headless()->Send(cursor);
  EXPECT_EQ(w_.headless()->GetCursor(), NativeCursor::kHand);
  cursor.point = CPoint(12, caret.top + 4);
  w_.headless()->Send(cursor);
  EXPECT_EQ(w_.headless()->GetCursor(), NativeCursor::kIBeam);
  w_.headless()->Click(CPoint(12, caret.top + 4));
  EXPECT_EQ(Events(links), 1);
}

TEST_F(RichEditTest, CaretBlinksThenStopsShown) {
  Build(L"");
  Focus();
  EXPECT_TRUE(edit_->IsCaretVisible());
  EXPECT_TRUE(edit_->IsCaretBlinking());
  timers_.Tick(RichEdit::kCaretBlinkMs);
  EXPECT_FALSE(edit_->IsCaretVisible());
  timers_.Tick(RichEdit::kCaretBlinkMs);
  EXPECT_TRUE(edit_->IsCaretVisible());
  for (int i = 0; i < RichEdit::kCaretBlinkTimeoutMs / RichEdit::kCaretBlinkMs; ++i) {
    timers_.Tick(RichEdit::kCaretBlinkMs);
  }
  EXPECT_FALSE(edit_->IsCaretBlinking());
  EXPECT_TRUE(edit_->IsCaretVisible());
  // Typing starts it again.
  Type(L"x");
  EXPECT_TRUE(edit_->IsCaretBlinking());
  w_.headless()->LoseFocus();
  edit_->GetWindow()->KillFocus();
  EXPECT_FALSE(edit_->IsCaretVisible());
}

TEST_F(RichEditTest, PixelsTextCaretPromptAndRichRanges) {
  Build(LR"(multiline="true" rich="true" promptcolor="basic_blue" prompttext="输入路径")",
        CSize(300, 60));
  const UiRect area(10, 10, 310, 70);
  // Empty: the prompt in its colour.
  EXPECT_GT(CountHue(w_.headless(), area, Hue::kBlue), 20);
  edit_->SetText(L"红色 text");
  w_.headless()->PaintAll();
  EXPECT_EQ(CountHue(w_.headless(), area, Hue::kBlue), 0);
  EXPECT_GT(CountHue(w_.headless(), area, Hue::kRed), 20);
  // A green range.
  CharFormat green;
  green.mask = CharFormat::kColor;
  green.color = testing::kBasicGreen;
  edit_->SetCharFormat(3, 7, green);
  w_.headless()->PaintAll();
  EXPECT_GT(CountHue(w_.headless(), area, Hue::kGreen), 10);
  // The caret: a black line at its rect while shown.
  Focus();
  edit_->SetSel(0, 0);
  w_.headless()->PaintAll();
  const UiRect caret = edit_->GetCaretRect();
  ASSERT_GT(caret.GetHeight(), 8);
  const uint32_t pixel = w_.headless()->GetPixel(caret.left, caret.top + caret.GetHeight() / 2);
  EXPECT_LT(RedOf(pixel) + GreenOf(pixel), 80u);
}

TEST_F(RichEditTest, AutoHeightIsOneLinePlusPaddingAndCjkWraps) {
  root_ = new VBox();
  edit_ = new RichEdit();
  edit_->SetAttribute(L"font", std::to_wstring(font_));
  edit_->SetFixedWidth(120);
  edit_->SetAttribute(L"height", L"auto");
  edit_->SetAttribute(L"padding", L"6,6,6,6");
  root_->Add(edit_);
  w_.Attach(root_);
  const int one_line = edit_->GetHeight();
  EXPECT_GT(one_line, 12 + 10);
  EXPECT_LT(one_line, 12 + 30);
  edit_->SetText(L"中文和Latin混合的文本会在正确的宽度换行 mixed text wraps");
  w_.headless()->PaintAll();
  EXPECT_GT(edit_->GetHeight(), one_line + 10);
  const CSize natural = edit_->GetTextServices()->GetNaturalSize(108);
  EXPECT_LE(natural.cx, 108);
  // As the message box fits its body: three lines are taller than one.
  edit_->SetText(L"一行");
  const int one = edit_->GetNaturalSize(300).cy;
  edit_->SetText(L"一行\n二行\n三行");
  EXPECT_GE(edit_->GetNaturalSize(300).cy, 3 * one - 2);
  EXPECT_EQ(RichEdit().GetNaturalSize(300), CSize());
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

TEST_F(RichEditTest, AlignWordsReadOnlyAndDisabledColours) {
  Build(LR"(align="hcenter vcenter" disabledtextcolor="basic_blue")", CSize(300, 60));
  EXPECT_TRUE(edit_->GetStyle() & ES_CENTER);
  EXPECT_EQ(edit_->GetVerticalAlign(), 1);
  edit_->SetAttribute(L"align", L"left right");
  EXPECT_TRUE(edit_->GetStyle() & ES_RIGHT);
  EXPECT_FALSE(edit_->GetStyle() & ES_CENTER);
  edit_->SetAttribute(L"readonly", L"maybe");  // neither true nor false: unchanged
  EXPECT_FALSE(edit_->IsReadOnly());

  const UiRect area(10, 10, 310, 70);
  edit_->SetText(L"右对齐 text");
  w_.headless()->PaintAll();
  // Right aligned and vertically centred: the ink sits in the right half, mid-height.
  EXPECT_EQ(CountHue(w_.headless(), UiRect(10, 10, 160, 70), Hue::kRed), 0);
  EXPECT_GT(CountHue(w_.headless(), UiRect(160, 25, 310, 55), Hue::kRed), 20);
  edit_->SetEnabled(false);
  w_.headless()->PaintAll();
  EXPECT_EQ(CountHue(w_.headless(), area, Hue::kRed), 0);
  EXPECT_GT(CountHue(w_.headless(), area, Hue::kBlue), 20);
  // Disabled: typing does nothing.
  w_.headless()->Char(L'z');
  EXPECT_EQ(edit_->GetText(), L"右对齐 text");
  edit_->SetEnabled(true);

  // Read-only: no caret drawn even when focused; the selection collapses on focus loss.
  edit_->SetReadOnly(true);
  Focus();
  edit_->SetSel(0, -1);
  EXPECT_EQ(edit_->GetSelText(), L"右对齐 text");
  w_.headless()->PaintAll();
  const UiRect caret = edit_->GetCaretRect();
  const uint32_t pixel = w_.headless()->GetPixel(caret.left, caret.top + caret.GetHeight() / 2);
  EXPECT_FALSE(RedOf(pixel) < 40 && GreenOf(pixel) < 40 && BlueOf(pixel) < 40);
  edit_->GetWindow()->KillFocus();
  EXPECT_EQ(edit_->GetSelText(), L"");
}

TEST_F(RichEditTest, CompositionShowsThenCommitsAtTheCaret) {
  Build(L"");
  Focus();
  Type(L"ab");
  Key(kVkLeft);
  NativeMessage start;
  start.type = NativeMessageType::kImeStartComposition;
  w_.headless()->Send(start);
  edit_->SetCompositionText(L"zhong", 5);
  EXPECT_TRUE(edit_->IsComposing());
  EXPECT_EQ(edit_->GetText(), L"ab");
  // The candidate window goes at the caret, which sits after the preedit.
  const UiRect caret = edit_->GetCaretRect();
  EXPECT_GT(caret.left, 30);
  w_.headless()->PaintAll();
  // The preedit is drawn (in the text colour) at the caret's line.
  EXPECT_GT(CountHue(w_.headless(), UiRect(10, 10, caret.left, 40), Hue::kRed), 20);
  edit_->CommitCompositionText(L"中");
  NativeMessage end;
  end.type = NativeMessageType::kImeEndComposition;
  w_.headless()->Send(end);
  EXPECT_FALSE(edit_->IsComposing());
  EXPECT_EQ(edit_->GetText(), L"a中b");
  Key('Z', kKeyStateControl);
  EXPECT_EQ(edit_->GetText(), L"ab");
}

// The window passes the input method's preedit to the focused field, which
// shows it without changing the text and drops it when the method ends; the
// middle button pastes the primary selection where it is pressed.
TEST_F(RichEditTest, WindowRoutesPreeditAndMiddleClickToTheField) {
  Build(L"");
  Focus();
  Type(L"ab");
  Window* window = edit_->GetWindow();
  window->OnNativeComposition(L"ni", 1);
  EXPECT_TRUE(edit_->IsComposing());
  EXPECT_EQ(edit_->GetTextServices()->GetPreedit(), L"ni");
  EXPECT_EQ(edit_->GetText(), L"ab");
  NativeMessage end;
  end.type = NativeMessageType::kImeEndComposition;
  w_.headless()->Send(end);
  EXPECT_FALSE(edit_->IsComposing());
  EXPECT_TRUE(edit_->GetTextServices()->GetPreedit().empty());
  EXPECT_EQ(edit_->GetText(), L"ab");

  ASSERT_TRUE(GetDefaultClipboard()->SetText(ClipboardKind::kPrimary, L"XY"));
  ASSERT_TRUE(GetDefaultClipboard()->SetText(ClipboardKind::kClipboard, L"no"));
  NativeMessage middle;
  middle.type = NativeMessageType::kMiddleButtonDown;
  middle.point = CPoint(12, 15);  // before the first character
  w_.headless()->Send(middle);
  EXPECT_EQ(edit_->GetText(), L"XYab");

  // A read-only field neither composes nor takes the paste.
  edit_->SetReadOnly(true);
  window->OnNativeComposition(L"ni", 1);
  EXPECT_FALSE(edit_->IsComposing());
  w_.headless()->Send(middle);
  EXPECT_EQ(edit_->GetText(), L"XYab");
}
}  // namespace
}  // namespace ui
