// The text services on a recording host without a window: line and page
// moves on wrapped text, keeping the caret in view, alignment, the input
// method's preedit, repaint of only the edited paragraph, and the change
// notification.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/native/clipboard.h"
#include "ui/native/key_codes.h"
#include "ui/text/text_services.h"

namespace ui {
namespace {

class RecordingHost : public TextHost {
 public:
  UiRect client{0, 0, 200, 100};
  CharFormat format;
  ParaFormat para;
  uint32_t bits = kTxtBitMultiLine | kTxtBitWordWrap | kTxtBitHideSelection;
  uint32_t bars = kScrollVertical | kScrollAutoVertical | kScrollAutoHorizontal;
  int max_length = 32767;
  MemoryClipboard clipboard;
  int changes = 0;
  int v_range = 0, v_pos = 0, h_range = 0, h_pos = 0;
  std::vector<UiRect> invalid;
  CPoint caret;
  CSize caret_size;
  bool capture = false;
  std::vector<int> timers;

  UiRect TxGetClientRect() override { return client; }
  const CharFormat& TxGetCharFormat() override { return format; }
  const NativeFont* TxGetFont() override { return nullptr; }
  const ParaFormat& TxGetParaFormat() override { return para; }
  uint32_t TxGetPropertyBits(uint32_t mask) override { return bits & mask; }
  uint32_t TxGetScrollBars() override { return bars; }
  int TxGetMaxLength() override { return max_length; }
  void TxSetScrollRange(bool vertical, int min, int max) override {
    (vertical ? v_range : h_range) = max - min;
  }
  void TxSetScrollPos(bool vertical, int pos) override { (vertical ? v_pos : h_pos) = pos; }
  void TxInvalidateRect(const UiRect* rect) override { invalid.push_back(rect ? *rect : client); }
  void TxCreateCaret(int width, int height) override { caret_size = CSize(width, height); }
  void TxSetCaretPos(int x, int y) override { caret = CPoint(x, y); }
  void TxShowCaret(bool) override {}
  void TxSetTimer(int id, int) override { timers.push_back(id); }
  void TxKillTimer(int id) override { std::erase(timers, id); }
  void TxSetCapture(bool value) override { capture = value; }
  void TxSetCursor(TextCursor) override {}
  void TxSetFocus() override {}
  Clipboard* TxGetClipboard() override { return &clipboard; }
  void TxNotify(int code, void*) override {
    if (code == kNotifyChange) ++changes;
  }
};

std::wstring Lines(int count, const std::wstring& body) {
  std::wstring text;
  for (int i = 0; i < count; ++i) {
    if (i) text += L'\n';
    text += body + std::to_wstring(i);
  }
  return text;
}

TEST(TextServicesTest, LineAndPageMovesKeepTheColumnAndTheCaretInView) {
  RecordingHost host;
  TextServices services(&host);
  services.SetText(Lines(40, L"row "));
  services.SetSelection(0, 0);
  services.OnKeyDown(kVkRight, 0);
  services.OnKeyDown(kVkRight, 0);
  services.OnKeyDown(kVkDown, 0);
  // Same column, next line: "row 1" starts at 6.
  EXPECT_EQ(services.GetSelection().caret, 8);
  services.OnKeyDown(kVkDown, kModShift);
  EXPECT_EQ(services.GetSelection(), TextRange(8, 14));
  services.OnKeyDown(kVkNext, 0);
  const int after_page = services.GetSelection().caret;
  EXPECT_GT(after_page, 14 + 6 * 3);
  EXPECT_GT(services.GetScrollPos().y, 0);
  // The caret stays inside the client rect.
  const UiRect caret = services.GetCaretRect();
  EXPECT_GE(caret.top, host.client.top);
  EXPECT_LE(caret.bottom, host.client.bottom);
  services.OnKeyDown(kVkEnd, kModControl);
  EXPECT_EQ(services.GetSelection().caret, services.GetTextLength());
  EXPECT_EQ(host.v_pos, services.GetScrollPos().y);
  EXPECT_GT(host.v_range, host.client.GetHeight());
  EXPECT_LE(services.GetCaretRect().bottom, host.client.bottom);
  services.OnKeyDown(kVkHome, kModControl);
  EXPECT_EQ(services.GetScrollPos().y, 0);
  services.OnKeyDown(kVkUp, 0);
  EXPECT_EQ(services.GetSelection().caret, 0);
}

TEST(TextServicesTest, HomeAndEndFollowWrappedLinesAndNaturalSizeWraps) {
  RecordingHost host;
  host.client = UiRect(0, 0, 120, 300);
  TextServices services(&host);
  const std::wstring text = L"中文和Latin混合的文本在这个宽度会换成好几行 wraps here too";
  services.SetText(text);
  services.SetSelection(0, 0);
  services.OnKeyDown(kVkEnd, 0);
  const int first_end = services.GetSelection().caret;
  EXPECT_GT(first_end, 0);
  EXPECT_LT(first_end, static_cast<int>(text.size()));
  services.OnKeyDown(kVkRight, 0);
  services.OnKeyDown(kVkRight, 0);
  services.OnKeyDown(kVkHome, 0);
  EXPECT_GE(services.GetSelection().caret, first_end);
  EXPECT_LE(services.GetSelection().caret, first_end + 1);
  const CSize wrapped = services.GetNaturalSize(120);
  EXPECT_LE(wrapped.cx, 120);
  const CSize wide = services.GetNaturalSize(2000);
  EXPECT_LT(wide.cy, wrapped.cy);
}

TEST(TextServicesTest, SingleLineScrollsSidewaysToKeepTheCaretVisible) {
  RecordingHost host;
  host.bits = kTxtBitHideSelection;
  host.client = UiRect(10, 10, 110, 40);
  TextServices services(&host);
  services.SetText(std::wstring(200, L'x'));
  EXPECT_GT(services.GetScrollPos().x, 0);
  UiRect caret = services.GetCaretRect();
  EXPECT_GE(caret.left, host.client.left);
  EXPECT_LT(caret.left, host.client.right);
  services.OnKeyDown(kVkHome, 0);
  EXPECT_EQ(services.GetScrollPos().x, 0);
  EXPECT_EQ(services.GetCaretRect().left, host.client.left);
  // Single-line Enter and pasted line breaks.
  EXPECT_FALSE(services.OnChar(L'\r'));
  host.clipboard.SetText(ClipboardKind::kClipboard, L"a\r\nb\n");
  services.SetText(L"");
  services.Paste();
  EXPECT_EQ(services.GetText(), L"a b");
}

TEST(TextServicesTest, AlignmentPlacesTheLine) {
  for (TextAlign align : {TextAlign::kLeft, TextAlign::kCenter, TextAlign::kRight}) {
    for (uint32_t wrap : {0u, kTxtBitWordWrap}) {
      RecordingHost host;
      host.para.align = align;
      host.bits = kTxtBitMultiLine | wrap;
      TextServices services(&host);
      services.SetText(L"abc");
      services.SetSelection(0, 0);
      const int left = services.GetCaretRect().left;
      const int width = services.GetContentSize().cx;
      const int room = host.client.GetWidth() - width;
      const int expected = align == TextAlign::kLeft     ? 0
                           : align == TextAlign::kCenter ? room / 2
                                                         : room;
      EXPECT_NEAR(left, expected, 2) << static_cast<int>(align) << " wrap " << wrap;
    }
  }
}

TEST(TextServicesTest, PreeditShowsAtTheCaretAndCommitTypesOnce) {
  RecordingHost host;
  TextServices services(&host);
  services.SetText(L"ab");
  services.SetSelection(1, 1);
  const int caret_before = services.GetCaretRect().left;
  services.SetPreedit(L"zhong", 5);
  EXPECT_TRUE(services.IsComposing());
  EXPECT_EQ(services.GetText(), L"ab");  // the composition is not text yet
  EXPECT_GT(services.GetCaretRect().left, caret_before + 10);
  EXPECT_EQ(host.changes, 1);
  services.CommitComposition(L"中");
  EXPECT_FALSE(services.IsComposing());
  EXPECT_EQ(services.GetText(), L"a中b");
  EXPECT_EQ(services.GetSelection(), TextRange(2, 2));
  EXPECT_EQ(host.changes, 2);
  services.Undo();
  EXPECT_EQ(services.GetText(), L"ab");
}

TEST(TextServicesTest, TypingRepaintsOnlyTheEditedParagraphAndNotifiesRealChanges) {
  RecordingHost host;
  host.client = UiRect(0, 0, 400, 2000);
  TextServices services(&host);
  // A long text is measured without holding a layout per paragraph.
  services.SetText(Lines(3000, L"paragraph "));
  EXPECT_LE(services.GetPeakLayoutCount(), TextServices::kLayoutCacheLimit);
  services.SetText(Lines(50, L"paragraph "));
  services.SetSelection(0, 0);
  host.invalid.clear();
  const int changes = host.changes;
  services.OnChar(L'x');
  ASSERT_FALSE(host.invalid.empty());
  const UiRect first_line = services.GetCaretRect();
  for (const UiRect& rect : host.invalid) {
    EXPECT_LE(rect.GetHeight(), first_line.GetHeight() + 2);
  }
  EXPECT_EQ(host.changes, changes + 1);
  // Moving, selecting and a no-op replacement are no change.
  services.OnKeyDown(kVkRight, kModShift);
  services.ReplaceSelection(services.GetSelText(), true);
  services.OnKeyDown(kVkDelete, 0);  // deletes one char: a change
  EXPECT_EQ(host.changes, changes + 2);
  EXPECT_EQ(services.GetParagraphCount(), 50u);
  // Typing on and on keeps a bounded number of layouts.
  for (int i = 0; i < 2000; ++i) services.OnChar(L'y');
  EXPECT_LE(services.GetLayoutCount(), TextServices::kLayoutCacheLimit);
  // Joining two paragraphs relayouts below.
  services.OnKeyDown(kVkEnd, 0);
  services.OnKeyDown(kVkDelete, 0);
  EXPECT_EQ(services.GetParagraphCount(), 49u);
}

}  // namespace
}  // namespace ui
