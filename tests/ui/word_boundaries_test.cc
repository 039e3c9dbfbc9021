// Word boundaries are the same on every target, whichever engine finds them:
// written out as "[" before a word and "]" after it, the texts below must
// read the same on Linux and on Windows.

#include <gtest/gtest.h>

#include <string>

#include "base/string_util.h"
#include "ui/text/word_breaker.h"

namespace ui {
namespace {

std::string Marked(const std::wstring& text) {
  const WordAttrs attrs = AnalyseWords(text);
  std::wstring out;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (attrs.word_start[i]) out += L'[';
    if (attrs.word_end[i]) out += L']';
    if (i < text.size()) out += text[i];
  }
  return nbase::WideToUTF8(out);
}

std::wstring W(const char* utf8) {
  return nbase::UTF8ToWide(utf8);
}

TEST(WordBoundariesTest, LettersAndDigitsMakeWordsAndEverythingElseSeparatesThem) {
  EXPECT_EQ(Marked(L"hello, world!"), "[hello], [world]!");
  EXPECT_EQ(Marked(L"x2 12ab"), "[x2] [12ab]");
  // Connectors and points end a word as blanks do.
  EXPECT_EQ(Marked(L"foo_bar 3.14 it's a-b"), "[foo]_[bar] [3].[14] [it]'[s] [a]-[b]");
  EXPECT_EQ(Marked(L"ab\tcd\nef"), "[ab]\t[cd]\n[ef]");
  EXPECT_EQ(Marked(W("\xC3\x80\xC3\x89 \xCE\xA9mega \xD1\x80\xD1\x83\xD1\x81")),
            "[\xC3\x80\xC3\x89] [\xCE\xA9mega] [\xD1\x80\xD1\x83\xD1\x81]");
  EXPECT_EQ(Marked(L""), "");
  EXPECT_EQ(Marked(L"  "), "  ");
}

TEST(WordBoundariesTest, MarksAndJoinersStayInsideTheirWord) {
  // e + combining ring, then x; a zero-width joiner and a zero-width space
  // between letters.
  EXPECT_EQ(Marked(W("e\xCC\x8Ax")), "[e\xCC\x8Ax]");
  EXPECT_EQ(Marked(W("x\xE2\x80\x8Dy a\xE2\x80\x8B"
                     "b")),
            "[x\xE2\x80\x8Dy] [a\xE2\x80\x8B"
            "b]");
}

TEST(WordBoundariesTest, IdeographsAndHangulRunTogetherKanaAreCutOff) {
  // 中文，英文。: punctuation between runs of ideographs.
  EXPECT_EQ(Marked(W("\xE4\xB8\xAD\xE6\x96\x87\xEF\xBC\x8C\xE8\x8B\xB1\xE6\x96\x87\xE3\x80\x82")),
            "[\xE4\xB8\xAD\xE6\x96\x87]\xEF\xBC\x8C[\xE8\x8B\xB1\xE6\x96\x87]\xE3\x80\x82");
  // abc中文 and 한국어中文: no cut between scripts.
  EXPECT_EQ(Marked(W("abc\xE4\xB8\xAD\xE6\x96\x87")), "[abc\xE4\xB8\xAD\xE6\x96\x87]");
  EXPECT_EQ(Marked(W("\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4\xE4\xB8\xAD\xE6\x96\x87")),
            "[\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4\xE4\xB8\xAD\xE6\x96\x87]");
  // 漢字かな: the kanji end where the kana begin, and the kana run on to
  // the end without a start of their own.
  EXPECT_EQ(Marked(W("\xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\x8B\xE3\x81\xAA")),
            "[\xE6\xBC\xA2\xE5\xAD\x97]\xE3\x81\x8B\xE3\x81\xAA]");
  // カタカナひらがな is one word; ひらがなカタカナ is cut after the hiragana.
  EXPECT_EQ(Marked(W("\xE3\x82\xAB\xE3\x82\xBF\xE3\x81\xB2\xE3\x82\x89")),
            "[\xE3\x82\xAB\xE3\x82\xBF\xE3\x81\xB2\xE3\x82\x89]");
  EXPECT_EQ(Marked(W("\xE3\x81\xB2\xE3\x82\x89\xE3\x82\xAB\xE3\x82\xBF")),
            "[\xE3\x81\xB2\xE3\x82\x89]\xE3\x82\xAB\xE3\x82\xBF]");
}

TEST(WordBoundariesTest, CharactersBeyondTheBasicPlane) {
  // Ideographs of the supplementary planes are letters; emoji are not.
  std::wstring han, face;
  nbase::AppendCodePoint(U'\U00020000', &han);
  nbase::AppendCodePoint(U'\U0001F600', &face);
  EXPECT_EQ(Marked(L"a" + face + L"b"), "[a]" + nbase::WideToUTF8(face) + "[b]");
  EXPECT_EQ(Marked(han + han + L" " + face),
            "[" + nbase::WideToUTF8(han + han) + "] " + nbase::WideToUTF8(face));
}

}  // namespace
}  // namespace ui
