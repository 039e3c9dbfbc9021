// Labels built from markup: the builder's tags, alignment words, the text
// estimate with padding, the wrapping auto label, and text colours by state.

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/control_basic_test_support.h"
#include "ui/control/button.h"
#include "ui/control/check_box.h"
#include "ui/control/label.h"
#include "ui/control/option.h"
#include "ui/control/progress.h"
#include "ui/core/animation_manager.h"

namespace ui {
namespace {

using testing::CountHue;
using testing::Hue;
using testing::SkinWindow;
using testing::WindowSkin;

constexpr wchar_t kLongText[] =
    L"The quick brown fox jumps over the lazy dog and keeps running far away";

class BasicLabelTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::AddBasicColors(); }
  void TearDown() override {
    GlobalManager::ClearTextColors();
    GlobalManager::ClearLanguageStrings();
  }

  template <typename T = Label>
  T* Get(const std::wstring& name) {
    T* control = w_.Find<T>(name);
    EXPECT_NE(control, nullptr) << nbase::WideToUTF8(name);
    return control;
  }

  SkinWindow w_{CSize(400, 300)};
};

TEST_F(BasicLabelTest, TagsBuildTheControlsWithTheirStartingLooks) {
  ASSERT_NE(w_.Build(WindowSkin(LR"(<VBox>
      <Label name="label"/><LabelBox name="label_box"/>
      <Button name="button"/><ButtonBox name="button_box"/>
      <CheckBox name="check"/><CheckBoxBox name="check_box"/>
      <Option name="option"/><OptionBox name="option_box"/>
      <Progress name="progress"/></VBox>)")),
            nullptr);
  // Over Control the size follows the content; over Box it stretches and holds children.
  Label* label = Get<Label>(L"label");
  EXPECT_EQ(label->GetFixedWidth(), kLengthAuto);
  EXPECT_EQ(label->GetFixedHeight(), kLengthAuto);
  EXPECT_EQ(label->GetTextStyle(), DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS);
  LabelBox* label_box = Get<LabelBox>(L"label_box");
  EXPECT_EQ(label_box->GetFixedWidth(), kLengthStretch);
  EXPECT_EQ(label_box->GetFixedHeight(), kLengthStretch);
  EXPECT_EQ(Get<Button>(L"button")->GetTextStyle(), 0x8125u);
  EXPECT_EQ(Get<ButtonBox>(L"button_box")->GetTextStyle(), 0x8125u);
  EXPECT_NE(Get<CheckBox>(L"check"), nullptr);
  EXPECT_NE(Get<CheckBoxBox>(L"check_box"), nullptr);
  EXPECT_NE(Get<Option>(L"option"), nullptr);
  EXPECT_NE(Get<OptionBox>(L"option_box"), nullptr);
  Progress* progress = Get<Progress>(L"progress");
  EXPECT_EQ(progress->GetTextStyle(), DT_SINGLELINE | DT_CENTER);
  EXPECT_EQ(progress->GetFixedHeight(), 12);
  EXPECT_EQ(progress->GetFixedWidth(), kLengthAuto);
  // The class chain: an option is a check box is a button is a label.
  EXPECT_NE(dynamic_cast<CheckBox*>(Get<Option>(L"option")), nullptr);
  EXPECT_NE(dynamic_cast<Box*>(Get<OptionBox>(L"option_box")), nullptr);
}

TEST_F(BasicLabelTest, AlignWordsChangeTheStyleButTheSingleLineFlagDecides) {
  ASSERT_NE(w_.Build(WindowSkin(LR"(<VBox>
      <Label name="vcenter" align="vcenter" text="x"/>
      <Label name="right" align="right" text="x"/>
      <Label name="left_bottom" align="left bottom" text="x"/>
      <Label name="unknown" align="middle" text="x"/>
      <Label name="short" width="60" text="fox"/>
      <Label name="one_line" width="60" align="right" text=")" +
                                std::wstring(kLongText) + LR"("/>
      <Label name="wrapped" width="60" align="right" singleline="false" text=")" +
                                std::wstring(kLongText) + LR"("/>
      </VBox>)")),
            nullptr);
  // "vcenter" contains "center": both ways.
  EXPECT_EQ(Get(L"vcenter")->GetTextStyle(),
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS);
  EXPECT_EQ(Get(L"right")->GetTextStyle(), DT_RIGHT | DT_NOCLIP | DT_END_ELLIPSIS);
  EXPECT_EQ(Get(L"left_bottom")->GetTextStyle(),
            DT_BOTTOM | DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS);
  EXPECT_EQ(Get(L"unknown")->GetTextStyle(), DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS);
  w_.Layout();
  // "right" cleared the flag in the style word, yet the label measures one line.
  const int line = w_.Pos(L"short").GetHeight();
  ASSERT_GT(line, 0);
  EXPECT_EQ(w_.Pos(L"one_line").GetHeight(), line);
  EXPECT_GE(w_.Pos(L"wrapped").GetHeight(), 3 * line);
}

TEST_F(BasicLabelTest, EstimateAddsThePaddingAndFollowsTextChanges) {
  ASSERT_NE(w_.Build(WindowSkin(LR"(<VBox>
      <Label name="plain" text="Hello world"/>
      <Label name="padded" text="Hello world" textpadding="5,3,7,2"/>
      <Label name="empty"/>
      <Label name="by_id" textid="STRING_HELLO"/>
      </VBox>)")),
            nullptr);
  GlobalManager::LoadLanguageData("STRING_HELLO=Hello world\n");
  w_.window()->GetRoot()->RelayoutSelf();
  w_.Layout();
  const UiRect plain = w_.Pos(L"plain");
  EXPECT_GT(plain.GetWidth(), 20);
  EXPECT_EQ(w_.Pos(L"padded").GetWidth(), plain.GetWidth() + 12);
  EXPECT_EQ(w_.Pos(L"padded").GetHeight(), plain.GetHeight() + 5);
  EXPECT_EQ(w_.Pos(L"empty").GetWidth(), 0);
  EXPECT_EQ(w_.Pos(L"empty").GetHeight(), 0);
  // A text id reads the language string.
  EXPECT_EQ(Get(L"by_id")->GetText(), L"Hello world");
  EXPECT_EQ(w_.Pos(L"by_id").GetWidth(), plain.GetWidth());

  // A longer text makes an auto label relayout by itself.
  Get(L"plain")->SetText(L"Hello world, hello again");
  w_.native()->PaintPending();
  EXPECT_GT(w_.Pos(L"plain").GetWidth(), plain.GetWidth());
  EXPECT_EQ(w_.Pos(L"plain").GetHeight(), plain.GetHeight());
  Get(L"plain")->SetTextUtf8("Hello world");
  w_.native()->PaintPending();
  EXPECT_EQ(w_.Pos(L"plain"), plain);
}

TEST_F(BasicLabelTest, FixedWidthLabelWrapsItsAutoHeightInsideTheTextPadding) {
  const std::wstring text =
      std::wstring(LR"(singleline="false" height="auto" text=")") + kLongText + L"\"";
  ASSERT_NE(w_.Build(WindowSkin(L"<VBox><Label name=\"padded\" width=\"150\" "
                                L"textpadding=\"40,0,40,0\" " +
                                text + L"/><Label name=\"inner\" width=\"70\" " + text +
                                L"/><Label name=\"wide\" width=\"150\" " + text + L"/></VBox>")),
            nullptr);
  w_.Layout();
  // The text is drawn 70 pixels wide: it takes as many lines as a 70-pixel label.
  ASSERT_GT(w_.Pos(L"inner").GetHeight(), w_.Pos(L"wide").GetHeight());
  EXPECT_EQ(w_.Pos(L"padded").GetHeight(), w_.Pos(L"inner").GetHeight());
  EXPECT_EQ(w_.Pos(L"padded").GetWidth(), 150);
}

TEST_F(BasicLabelTest, AutoLabelWithStretchMaxWidthWrapsAtItsParentsWidth) {
  ASSERT_NE(w_.Build(WindowSkin(LR"(<VBox>
      <VBox name="column" width="150" height="200">
        <Label name="wrap" width="auto" height="auto" maxwidth="stretch" singleline="false"
               text=")" + std::wstring(kLongText) +
                                LR"("/>
      </VBox>
      <Label name="one_line" text=")" +
                                std::wstring(kLongText) + LR"("/>
      <Label name="no_stretch" singleline="false" text=")" +
                                std::wstring(kLongText) + LR"("/>
      </VBox>)")),
            nullptr);
  w_.Layout();
  const UiRect one_line = w_.Pos(L"one_line");
  ASSERT_GT(one_line.GetWidth(), 150);
  const UiRect narrow = w_.Pos(L"wrap");
  EXPECT_LE(narrow.GetWidth(), 150);
  EXPECT_GE(narrow.GetHeight(), 2 * one_line.GetHeight());
  // Without "stretch" as max width a multi-line label does not wrap.
  EXPECT_EQ(w_.Pos(L"no_stretch").GetHeight(), one_line.GetHeight());

  // A wider parent: the same label takes fewer lines.
  w_.Find<Control>(L"column")->SetFixedWidth(300);
  w_.native()->PaintPending();
  const UiRect wide = w_.Pos(L"wrap");
  EXPECT_GT(wide.GetWidth(), 150);
  EXPECT_LE(wide.GetWidth(), 300);
  EXPECT_LT(wide.GetHeight(), narrow.GetHeight());
}

TEST_F(BasicLabelTest, TextColourFollowsTheStateWithFallbacksAndTheHotFade) {
  ASSERT_NE(w_.Build(WindowSkin(LR"(<VBox bkcolor="basic_white">
      <Label name="l" width="200" height="40" font="1" text="███████"
             normaltextcolor="basic_red" disabledtextcolor="basic_green"/>
      <Label name="h" width="200" height="40" text="███████"
             normaltextcolor="basic_red" hottextcolor="basic_blue"/>
      </VBox>)")),
            nullptr);
  w_.Layout();
  const UiRect l = w_.Pos(L"l");
  const UiRect h = w_.Pos(L"h");
  EXPECT_GT(CountHue(w_.native(), l, Hue::kRed), 20);
  EXPECT_EQ(CountHue(w_.native(), l, Hue::kGreen), 0);

  Get(L"l")->SetEnabled(false);
  w_.native()->PaintPending();
  EXPECT_GT(CountHue(w_.native(), l, Hue::kGreen), 20);
  EXPECT_EQ(CountHue(w_.native(), l, Hue::kRed), 0);
  // Pushed without a pushed colour falls back to hot, then to normal.
  Get(L"l")->SetEnabled(true);
  Get(L"l")->SetState(kControlStatePushed);
  w_.native()->PaintPending();
  EXPECT_GT(CountHue(w_.native(), l, Hue::kRed), 20);

  // The hot colour creates the fade: at hot alpha 0 only the normal colour shows,
  // at 255 the hot colour covers it.
  Label* hot = Get(L"h");
  ASSERT_NE(hot->GetAnimationManager().GetAnimationPlayer(kAnimationHot), nullptr);
  EXPECT_TRUE(hot->HasHotState());
  hot->SetState(kControlStateHot);
  hot->SetHotAlpha(0);
  w_.native()->PaintPending();
  EXPECT_GT(CountHue(w_.native(), h, Hue::kRed), 20);
  EXPECT_EQ(CountHue(w_.native(), h, Hue::kBlue), 0);
  hot->SetHotAlpha(255);
  w_.native()->PaintPending();
  EXPECT_GT(CountHue(w_.native(), h, Hue::kBlue), 20);
  EXPECT_EQ(CountHue(w_.native(), h, Hue::kRed), 0);
  // Pushed: no fade, the hot colour stands in for the missing pushed one.
  hot->SetState(kControlStatePushed);
  w_.native()->PaintPending();
  EXPECT_GT(CountHue(w_.native(), h, Hue::kBlue), 20);
}

}  // namespace
}  // namespace ui
