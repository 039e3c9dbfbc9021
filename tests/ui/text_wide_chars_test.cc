// Editing characters beyond the basic plane (U+1F600, U+20000): where wchar_t
// is UTF-16 each is two units, and no caret, selection, delete, cut to the
// maximum length or password mask may split one; where wchar_t holds code
// points the same steps see one unit each. The expectations are written in
// characters, so they hold on both.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "ui/native/key_codes.h"
#include "ui/text/text_model.h"
#include "ui/text/text_services.h"
#include "ui/text/word_breaker.h"

namespace ui {
namespace {

std::wstring Char(char32_t code_point) {
  std::wstring out;
  nbase::AppendCodePoint(code_point, &out);
  return out;
}

const std::wstring kFace = Char(U'\U0001F600');
const std::wstring kHan = Char(U'\U00020000');

std::wstring Repeat(const std::wstring& s, size_t times) {
  std::wstring out;
  for (size_t i = 0; i < times; ++i) out += s;
  return out;
}

int Units(const std::wstring& s) {
  return static_cast<int>(s.size());
}

// Whether `index` lies between two characters of `text`, judged from the
// units themselves.
bool BetweenCharacters(const std::wstring& text, int index) {
  if (index <= 0 || index >= Units(text)) return true;
  const auto unit = [&](int i) { return static_cast<uint32_t>(text[static_cast<size_t>(i)]); };
  return !(unit(index) >= 0xDC00 && unit(index) <= 0xDFFF && unit(index - 1) >= 0xD800 &&
           unit(index - 1) <= 0xDBFF);
}

TEST(TextModelWideCharsTest, TheMaximumLengthCountsUnitsAndKeepsWholeCharacters) {
  for (int max_length : {2, 3, 5}) {
    SCOPED_TRACE(max_length);
    TextModel model;
    model.SetMaxLength(max_length);
    EXPECT_TRUE(model.Edit(Repeat(kFace, 4)));
    EXPECT_EQ(model.GetText(),
              Repeat(kFace, static_cast<size_t>(std::min(4, max_length / Units(kFace)))));
    // The program's replacement is cut the same way.
    model.SelectAll();
    model.ReplaceSelectionNoUndo(L"x" + Repeat(kHan, 4));
    EXPECT_EQ(
        model.GetText(),
        L"x" + Repeat(kHan, static_cast<size_t>(std::min(4, (max_length - 1) / Units(kHan)))));
  }
}

TEST(TextModelWideCharsTest, DeletesAndSelectionsTakeWholeCharacters) {
  TextModel model;
  model.SetText(L"a" + kFace + kHan);
  EXPECT_TRUE(model.DeleteBackward());
  EXPECT_EQ(model.GetText(), L"a" + kFace);
  model.SetSelection(TextRange(1, 1));
  EXPECT_TRUE(model.DeleteForward());
  EXPECT_EQ(model.GetText(), L"a");
  EXPECT_TRUE(model.Undo());
  EXPECT_EQ(model.GetText(), L"a" + kFace);

  // Every end of a selection lands between characters, wherever it is asked for.
  model.SetText(L"a" + kFace + kHan + L"b");
  const std::wstring text = model.GetText();
  for (int i = 0; i <= Units(text); ++i) {
    model.SetSelection(TextRange(i, Units(text) - i));
    EXPECT_TRUE(BetweenCharacters(text, model.GetSelection().anchor)) << i;
    EXPECT_TRUE(BetweenCharacters(text, model.GetSelection().caret)) << i;
    EXPECT_LE(model.GetSelection().caret, Units(text) - i);
  }
  // A word delete up to a boundary inside a character takes all of it.
  model.SetSelection(TextRange(1, 1));
  model.DeleteForward(1 + Units(kFace) / 2 + (Units(kFace) == 1 ? 1 : 0));
  EXPECT_EQ(model.GetText(), L"a" + kHan + L"b");
}

TEST(TextModelWideCharsTest, SanitisingKeepsPairsDropsHalvesAndMasksPerCharacter) {
  TextModel model;
  EXPECT_EQ(model.Sanitize(kFace + L"x" + kHan), kFace + L"x" + kHan);
  const wchar_t lone[] = {L'x', static_cast<wchar_t>(0xD83D), L'y', static_cast<wchar_t>(0xDE00)};
  EXPECT_EQ(model.Sanitize(std::wstring_view(lone, 4)), L"x\xFFFDy\xFFFD");
  model.SetNumber(true);
  EXPECT_EQ(model.Sanitize(L"1" + kFace + L"2"), L"12");
  model.SetNumber(false);
  model.SetPassword(true);
  model.SetText(L"a" + kFace + kHan);
  EXPECT_EQ(model.GetDisplayText(), std::wstring(3, TextModel::kPasswordMask));
  EXPECT_FALSE(model.GetCopyableText().has_value());
}

class PlainHost : public TextHost {
 public:
  uint32_t bits = kTxtBitMultiLine;
  CharFormat format;
  ParaFormat para;
  MemoryClipboard clipboard;

  UiRect TxGetClientRect() override { return UiRect(0, 0, 400, 60); }
  const CharFormat& TxGetCharFormat() override { return format; }
  const NativeFont* TxGetFont() override { return nullptr; }
  const ParaFormat& TxGetParaFormat() override { return para; }
  uint32_t TxGetPropertyBits(uint32_t mask) override { return bits & mask; }
  uint32_t TxGetScrollBars() override { return 0; }
  int TxGetMaxLength() override { return 100; }
  void TxSetScrollRange(bool, int, int) override {}
  void TxSetScrollPos(bool, int) override {}
  void TxInvalidateRect(const UiRect*) override {}
  void TxCreateCaret(int, int) override {}
  void TxSetCaretPos(int, int) override {}
  void TxShowCaret(bool) override {}
  void TxSetTimer(int, int) override {}
  void TxKillTimer(int) override {}
  void TxSetCapture(bool) override {}
  void TxSetCursor(TextCursor) override {}
  void TxSetFocus() override {}
  Clipboard* TxGetClipboard() override { return &clipboard; }
  void TxNotify(int, void*) override {}
};

TEST(TextServicesWideCharsTest, ArrowsAndBackspaceStepOverWholeCharacters) {
  PlainHost host;
  TextServices services(&host);
  const std::wstring text = L"a" + kFace + kHan + L"b";
  services.SetText(text);
  std::vector<int> carets;
  for (int i = 0; i < 5; ++i) {
    carets.push_back(services.GetSelection().caret);
    services.OnKeyDown(kVkLeft, 0);
  }
  const int after_face = 1 + Units(kFace);
  const int after_han = after_face + Units(kHan);
  EXPECT_EQ(carets, (std::vector<int>{after_han + 1, after_han, after_face, 1, 0}));
  services.OnKeyDown(kVkRight, 0);
  services.OnKeyDown(kVkRight, 0);
  EXPECT_EQ(services.GetSelection().caret, after_face);
  services.OnKeyDown(kVkRight, kModShift);
  EXPECT_EQ(services.GetSelText(), kHan);
  services.OnKeyDown(kVkBack, 0);
  EXPECT_EQ(services.GetText(), L"a" + kFace + L"b");
  services.OnKeyDown(kVkBack, 0);
  EXPECT_EQ(services.GetText(), L"ab");
}

TEST(TextServicesWideCharsTest, ACharacterTypedAsTwoUnitsArrivesWhole) {
  PlainHost host;
  TextServices services(&host);
  // As Windows sends U+1F600: its high then its low surrogate.
  EXPECT_TRUE(services.OnChar(static_cast<wchar_t>(0xD83D)));
  EXPECT_EQ(services.GetText(), L"");
  EXPECT_TRUE(services.OnChar(static_cast<wchar_t>(0xDE00)));
  EXPECT_TRUE(services.OnChar(L'x'));
  EXPECT_EQ(services.GetText(), kFace + L"x");
  EXPECT_EQ(services.GetSelection().caret, Units(kFace) + 1);
  // A high unit not followed by its low one is dropped; a lone low one
  // shows as the replacement character.
  services.OnChar(static_cast<wchar_t>(0xD83D));
  services.OnChar(L'y');
  services.OnChar(static_cast<wchar_t>(0xDE00));
  EXPECT_EQ(services.GetText(), kFace + L"xy\xFFFD");
  // One undo step for the whole run of typing.
  EXPECT_TRUE(services.Undo());
  EXPECT_EQ(services.GetText(), L"");
}

TEST(TextServicesWideCharsTest, APasswordShowsOneMaskPerCharacterAndHitsWholeOnes) {
  PlainHost host;
  host.bits = kTxtBitUsePassword;
  TextServices services(&host);
  services.SetText(kFace + kHan + kFace);
  const int step = Units(kFace);
  ASSERT_EQ(Units(kHan), step);
  std::vector<int> xs;
  for (int i = 0; i <= 3; ++i) {
    services.SetSelection(i * step, i * step);
    xs.push_back(services.GetCaretRect().left);
  }
  // Equal masks, one per character.
  EXPECT_GT(xs[1], xs[0]);
  EXPECT_EQ(xs[2] - xs[1], xs[1] - xs[0]);
  EXPECT_EQ(xs[3] - xs[2], xs[1] - xs[0]);
  // A click anywhere finds a caret between characters.
  for (int x = xs[0]; x <= xs[3] + 3; ++x) {
    const int hit = services.HitTest(CPoint(x, 5));
    EXPECT_EQ(hit % step, 0) << x;
    EXPECT_GE(hit, 0);
    EXPECT_LE(hit, 3 * step);
  }
  EXPECT_EQ(services.HitTest(CPoint(xs[2] + 1, 5)), 2 * step);
}

TEST(WordBreakerWideCharsTest, WordBoundariesFallBetweenCharacters) {
  const std::wstring text = L"ab " + kHan + kHan + L" " + kFace + L" cd";
  for (int pos = 0; pos <= Units(text); ++pos) {
    if (!BetweenCharacters(text, pos)) continue;
    EXPECT_TRUE(BetweenCharacters(text, PrevWordStart(text, pos))) << pos;
    EXPECT_TRUE(BetweenCharacters(text, NextWordEnd(text, pos))) << pos;
    int start = 0, end = 0;
    WordAt(text, pos, &start, &end);
    EXPECT_TRUE(BetweenCharacters(text, start)) << pos;
    EXPECT_TRUE(BetweenCharacters(text, end)) << pos;
  }
  int start = 0, end = 0;
  WordAt(text, 3, &start, &end);
  EXPECT_EQ(text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)), kHan + kHan);
}

}  // namespace
}  // namespace ui
