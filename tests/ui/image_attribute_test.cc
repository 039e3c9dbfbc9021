#include <gtest/gtest.h>

#include "base/string_util.h"
#include "ui/image/image.h"

namespace ui {
namespace {

// MulDiv rounding at 150 %, as the global manager scales a rect.
void ScaleBy150(UiRect* r) {
  auto scale = [](int v) {
    const long long x = static_cast<long long>(v) * 150;
    return static_cast<int>(x >= 0 ? (x + 50) / 100 : (x - 50) / 100);
  };
  const int width = scale(r->right - r->left), height = scale(r->bottom - r->top);
  r->left = scale(r->left);
  r->top = scale(r->top);
  r->right = r->left + width;
  r->bottom = r->top + height;
}

ImageAttribute Parse(std::wstring_view text, const RectScaler& scaler = ScaleBy150) {
  ImageAttribute attribute;
  attribute.ModifyAttribute(text, scaler);
  return attribute;
}

void ExpectResetExceptFile(const ImageAttribute& a) {
  EXPECT_EQ(a.dest, UiRect(-1, -1, -1, -1));
  EXPECT_EQ(a.source, UiRect(-1, -1, -1, -1));
  EXPECT_EQ(a.corner, UiRect(0, 0, 0, 0));
  EXPECT_EQ(a.fade, 255);
  EXPECT_FALSE(a.xtiled);
  EXPECT_FALSE(a.ytiled);
  EXPECT_EQ(a.play_count, -1);
}

TEST(ImageAttributeTest, BareValueIsTheFileName) {
  for (const wchar_t* text : {L"logo.png", L"../public/button/btn_wnd_white_close_hovered.png"}) {
    Image image;
    image.SetImageString(text, ScaleBy150);
    EXPECT_EQ(image.image_attribute.file, text);
    EXPECT_EQ(image.image_attribute.image_string, text);
    ExpectResetExceptFile(image.image_attribute);
  }
}

TEST(ImageAttributeTest, FullStringSetsEveryField) {
  Image image;
  image.SetImageString(
      L"file='../public/button/btn.png' dest='1,2,3,4' source='0,0,80,30' corner='8,7,6,5' "
      L"fade='80' xtiled='true' ytiled='true' playcount='3'",
      ScaleBy150);
  const ImageAttribute& a = image.image_attribute;
  EXPECT_EQ(a.file, L"../public/button/btn.png");
  EXPECT_EQ(a.dest, UiRect(2, 3, 5, 6));  // left 1.5 rounds up; width and height 2 * 1.5
  EXPECT_EQ(a.source, UiRect(0, 0, 80, 30));
  EXPECT_EQ(a.corner, UiRect(8, 7, 6, 5));
  EXPECT_EQ(a.fade, 80);
  EXPECT_TRUE(a.xtiled);
  EXPECT_TRUE(a.ytiled);
  EXPECT_EQ(a.play_count, 3);

  // "res" names the file as "file" does, and replaces the whole-string default.
  image.SetImageString(L"res='b.png' fade='10'", ScaleBy150);
  EXPECT_EQ(image.image_attribute.file, L"b.png");
  EXPECT_EQ(image.image_attribute.fade, 10);
  EXPECT_EQ(image.image_attribute.dest, UiRect(-1, -1, -1, -1));
}

TEST(ImageAttributeTest, DestScaleIsReadWhenDestIsParsed) {
  EXPECT_EQ(Parse(L"file='a.png' dest='0,0,16,16'").dest, UiRect(0, 0, 24, 24));
  EXPECT_EQ(Parse(L"destscale='false' dest='0,0,16,16'").dest, UiRect(0, 0, 16, 16));
  EXPECT_EQ(Parse(L"dest='0,0,16,16' destscale='false'").dest, UiRect(0, 0, 24, 24));
  // Only the exact "true" turns scaling back on; each parse starts with it on.
  EXPECT_EQ(Parse(L"destscale='false' destscale='TRUE' dest='0,0,16,16'").dest,
            UiRect(0, 0, 16, 16));
  EXPECT_EQ(Parse(L"destscale='false' destscale='true' dest='0,0,16,16'").dest,
            UiRect(0, 0, 24, 24));
  ImageAttribute a = Parse(L"destscale='false'");
  a.ModifyAttribute(L"dest='0,0,16,16'", ScaleBy150);
  EXPECT_EQ(a.dest, UiRect(0, 0, 24, 24));
  // Scaled size does not depend on position: 21 * 1.5 = 31.5 rounds up.
  EXPECT_EQ(Parse(L"dest='10,10,31,31'").dest, UiRect(15, 15, 47, 47));
  // Source and corner are never scaled.
  ImageAttribute b = Parse(L"source='0,0,16,16' corner='4,4,4,4'");
  EXPECT_EQ(b.source, UiRect(0, 0, 16, 16));
  EXPECT_EQ(b.corner, UiRect(4, 4, 4, 4));
}

TEST(ImageAttributeTest, BlankRulesBetweenPairs) {
  struct Case {
    const wchar_t* text;
    const wchar_t* file;
    int fade;
  };
  const Case cases[] = {
      {L"file='a.png'  fade='80'", L"a.png", 80},   // two blanks
      {L"file='a.png'\tfade='80'", L"a.png", 255},  // a tab right after the apostrophe
      {L"file='a.png'fade='80'", L"a.png", 255},    // nothing between pairs
      // Blanks and control characters around "=" and before the first name.
      {L" \t file \t= \n 'a.png' fade = '7'", L"a.png", 7},
      {L"fade='9' ", L"", 9},  // a trailing blank ends the parse cleanly
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(nbase::WideToUTF8(c.text));
    ImageAttribute a = Parse(c.text);
    EXPECT_EQ(a.file, c.file);
    EXPECT_EQ(a.fade, c.fade);
  }
}

TEST(ImageAttributeTest, FaultsStopTheParseKeepingEarlierPairs) {
  ImageAttribute unquoted = Parse(L"file='a.png' dest=0,0,1,1 fade='3'");
  EXPECT_EQ(unquoted.file, L"a.png");
  EXPECT_EQ(unquoted.dest, UiRect(-1, -1, -1, -1));
  EXPECT_EQ(unquoted.fade, 255);

  ImageAttribute unterminated = Parse(L"fade='3' file='a.png");
  EXPECT_EQ(unterminated.fade, 3);
  EXPECT_TRUE(unterminated.file.empty());

  ImageAttribute no_equals = Parse(L"fade '3' file='a.png'");
  EXPECT_EQ(no_equals.fade, 255);
  EXPECT_TRUE(no_equals.file.empty());

  // Double quotes are not apostrophes.
  EXPECT_EQ(Parse(L"fade=\"3\"").fade, 255);
}

TEST(ImageAttributeTest, ValueRules) {
  EXPECT_EQ(Parse(L"fade='300'").fade, 44);
  EXPECT_EQ(Parse(L"fade='-1'").fade, 255);
  EXPECT_EQ(Parse(L"fade='-300'").fade, 0xD4);  // negated modulo 2^32
  // Beyond 32 bits the number saturates: opaque, not its low byte.
  EXPECT_EQ(Parse(L"fade='4294967296'").fade, 255);
  EXPECT_EQ(Parse(L"fade='-4294967296'").fade, 255);
  EXPECT_EQ(Parse(L"fade='99999999999999999999'").fade, 255);
  EXPECT_FALSE(Parse(L"xtiled='TRUE'").xtiled);
  EXPECT_FALSE(Parse(L"ytiled='1'").ytiled);
  EXPECT_EQ(Parse(L"playcount='-1'").play_count, -1);
  EXPECT_EQ(Parse(L"playcount='0'").play_count, 0);
  // Names are case-sensitive; unknown names and empty values change nothing.
  ImageAttribute a = Parse(L"FILE='x.png' fade='' color='red' fade='12'");
  EXPECT_TRUE(a.file.empty());
  EXPECT_EQ(a.fade, 12);
  // Signs and leading blanks inside numbers; any one separator character.
  EXPECT_EQ(Parse(L"source=' -1; 2|  3,+4'").source, UiRect(-1, 2, 3, 4));
}

TEST(ImageAttributeTest, ShortRectValueNeverReadsPastItsEnd) {
  EXPECT_EQ(Parse(L"source='1,2'").source, UiRect(1, 2, 0, 0));
  EXPECT_EQ(Parse(L"corner='5'").corner, UiRect(5, 0, 0, 0));
  EXPECT_EQ(Parse(L"corner='5,'").corner, UiRect(5, 0, 0, 0));
  // The text after the value must not leak into the missing numbers.
  ImageAttribute a = Parse(L"source='1,2,3' corner='9,9,9,9'");
  EXPECT_EQ(a.source, UiRect(1, 2, 3, 0));
  EXPECT_EQ(a.corner, UiRect(9, 9, 9, 9));
}

TEST(ImageAttributeTest, EveryPrefixParsesToAPrefixOfTheFields) {
  const std::wstring full =
      L"file='a.png' dest='1,2,3,4' source='5,6,7,8' corner='1,1,1,1' fade='80' xtiled='true'";
  for (size_t length = 0; length <= full.size(); ++length) {
    // A copy of exactly the prefix, so reading past it would be caught.
    const std::wstring prefix = full.substr(0, length);
    ImageAttribute a = Parse(prefix, RectScaler());
    SCOPED_TRACE(length);
    EXPECT_TRUE(a.file.empty() || a.file == L"a.png");
    // A value counts only once its closing apostrophe is there.
    EXPECT_TRUE(a.fade == 255 || a.fade == 80);
    EXPECT_TRUE(a.dest == UiRect(-1, -1, -1, -1) || a.dest == UiRect(1, 2, 3, 4));
    if (a.fade != 255) {
      EXPECT_EQ(a.corner, UiRect(1, 1, 1, 1));
    }
    if (a.xtiled) {
      EXPECT_EQ(length, full.size());
    }
  }
}

TEST(ImageAttributeTest, ModifyKeepsUnmentionedFieldsAndSetImageStringResets) {
  Image image;
  image.SetImageString(L"file='a.png' fade='80' corner='1,1,1,1'", ScaleBy150);
  image.image_attribute.ModifyAttribute(L"destscale='false' dest='0,0,5,5'", ScaleBy150);
  EXPECT_EQ(image.image_attribute.file, L"a.png");
  EXPECT_EQ(image.image_attribute.fade, 80);
  EXPECT_EQ(image.image_attribute.corner, UiRect(1, 1, 1, 1));
  EXPECT_EQ(image.image_attribute.dest, UiRect(0, 0, 5, 5));

  image.SetCurrentFrame(2);
  image.SetPlaying(true);
  image.SetImageString(L"b.png", ScaleBy150);
  EXPECT_EQ(image.image_attribute.file, L"b.png");
  ExpectResetExceptFile(image.image_attribute);
  EXPECT_EQ(image.GetCurrentFrame(), 0);
  EXPECT_FALSE(image.IsPlaying());
}

TEST(ImageAttributeTest, PlayCountDecidesWhetherToContinue) {
  Image image;
  image.SetImageString(L"file='a.gif'", ScaleBy150);
  EXPECT_TRUE(image.ContinuePlay());  // -1 plays for ever
  image.SetImageString(L"file='a.gif' playcount='0'", ScaleBy150);
  EXPECT_FALSE(image.ContinuePlay());
  image.SetImageString(L"file='a.gif' playcount='2'", ScaleBy150);
  EXPECT_TRUE(image.ContinuePlay());
  // Without a picture there is nothing to step or time.
  image.IncrementCurrentFrame();
  EXPECT_EQ(image.GetCurrentFrame(), 0);
  EXPECT_EQ(image.GetCurrentInterval(), 0);
  EXPECT_EQ(image.GetCurrentFrameImage(), nullptr);
}

}  // namespace
}  // namespace ui
