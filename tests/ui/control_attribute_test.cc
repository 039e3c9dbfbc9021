#include <gtest/gtest.h>

#include "control_test_support.h"
#include "ui/core/animation_manager.h"
#include "ui/core/control.h"
#include "ui/core/global_manager.h"

namespace ui {
namespace {

class ControlAttributeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    GlobalManager::SetAdaptDPI(false);
    GlobalManager::SetDPIScale(100);
    GlobalManager::ClearClasses();
  }
};

TEST_F(ControlAttributeTest, BooleansAreTrueOnlyForExactTrue) {
  Control control;
  control.SetAttribute(L"visible", L"True");
  control.SetAttribute(L"enabled", L"1");
  control.SetAttribute(L"menu", L"yes");
  EXPECT_FALSE(control.IsVisible());
  EXPECT_FALSE(control.IsEnabled());
  EXPECT_FALSE(control.IsMenuUsed());
  control.SetAttribute(L"visible", L"true");
  control.SetAttribute(L"enabled", L"true");
  control.SetAttribute(L"menu", L"true");
  control.SetAttribute(L"mouse", L"false");
  control.SetAttribute(L"keyboard", L"TRUE");
  EXPECT_TRUE(control.IsVisible());
  EXPECT_TRUE(control.IsEnabled());
  EXPECT_TRUE(control.IsMenuUsed());
  EXPECT_FALSE(control.IsMouseEnabled());
  EXPECT_FALSE(control.IsKeyboardEnabled());
}

TEST_F(ControlAttributeTest, NoFocusWhateverTheValueAndSetFocusThenDoesNothing) {
  HeadlessWindowFixture fixture;
  auto* root = fixture.Attach(new VBox);
  auto* control = new Control;
  control->SetAttribute(L"nofocus", L"false");
  root->Add(control);
  EXPECT_TRUE(control->IsNoFocus());
  control->SetFocus();
  EXPECT_EQ(fixture.window()->GetFocus(), nullptr);

  auto* focusable = new Control;
  root->Add(focusable);
  focusable->SetFocus();
  EXPECT_EQ(fixture.window()->GetFocus(), focusable);
  EXPECT_TRUE(focusable->IsFocused());
}

TEST_F(ControlAttributeTest, ClassesApplyInPlaceAndGlobalTableWinsOverWindow) {
  HeadlessWindowFixture fixture;
  GlobalManager::AddClass(L"wide", L"width=\"30\" height=\"7\"");
  fixture.window()->AddClass(L"wide", L"width=\"99\"");
  fixture.window()->AddClass(L"local", L"height=\"11\"");
  auto* root = fixture.Attach(new VBox);

  auto* before = new Control;
  root->Add(before);
  before->ApplyAttributeList(L"class=\"wide local\" width=\"40\"");
  EXPECT_EQ(before->GetFixedWidth(), 40);
  EXPECT_EQ(before->GetFixedHeight(), 11);

  auto* after = new Control;
  root->Add(after);
  after->ApplyAttributeList(L"width=\"40\" class=\"wide\"");
  EXPECT_EQ(after->GetFixedWidth(), 30);
  EXPECT_EQ(after->GetFixedHeight(), 7);
}

TEST_F(ControlAttributeTest, MalformedAttributeListKeepsPairsBeforeTheFault) {
  Control control;
  control.ApplyAttributeList(L"width=\"10\" height=20 name=\"x\"");
  EXPECT_EQ(control.GetFixedWidth(), 10);
  EXPECT_EQ(control.GetFixedHeight(), kLengthStretch);
  EXPECT_TRUE(control.GetName().empty());

  Control unterminated;
  unterminated.ApplyAttributeList(L"name=\"a\" tooltiptext=\"open");
  EXPECT_EQ(unterminated.GetName(), L"a");
  EXPECT_TRUE(unterminated.GetToolTipText().empty());
}

TEST_F(ControlAttributeTest, LengthsAcceptWordsRefuseOtherNegativesAndScale) {
  Control control;
  control.SetAttribute(L"width", L"auto");
  control.SetAttribute(L"height", L"stretch");
  EXPECT_EQ(control.GetFixedWidth(), kLengthAuto);
  EXPECT_EQ(control.GetFixedHeight(), kLengthStretch);
  control.SetAttribute(L"width", L"-5");
  EXPECT_EQ(control.GetFixedWidth(), kLengthAuto);
  control.SetAttribute(L"minwidth", L"-3");
  EXPECT_EQ(control.GetMinWidth(), -1);

  GlobalManager::SetAdaptDPI(true);
  GlobalManager::SetDPIScale(150);
  control.SetAttribute(L"width", L"20");
  control.SetAttribute(L"maxheight", L"stretch");
  control.SetAttribute(L"margin", L"2,0,3,1");
  EXPECT_EQ(control.GetFixedWidth(), 30);
  EXPECT_EQ(control.GetMaxHeight(), kLengthStretch);
  EXPECT_EQ(control.GetMargin(), UiRect(3, 0, 5, 2));
}

TEST_F(ControlAttributeTest, BorderSizeUniformClearsSidesAndRectSetsSides) {
  Control control;
  control.SetAttribute(L"bordersize", L"1,0,0,0");
  EXPECT_EQ(control.GetBorderSideSizes(), UiRect(1, 0, 0, 0));
  EXPECT_EQ(control.GetBorderSize(), 0);
  control.SetAttribute(L"bordersize", L"2");
  EXPECT_EQ(control.GetBorderSize(), 2);
  EXPECT_EQ(control.GetBorderSideSizes(), UiRect());
  control.SetAttribute(L"topbordersize", L"3");
  EXPECT_EQ(control.GetBorderSideSizes(), UiRect(0, 3, 0, 0));
}

TEST_F(ControlAttributeTest, StateWordsSetHotAlphaAndHotLooksCreateTheFade) {
  Control control;
  control.SetAttribute(L"state", L"hot");
  EXPECT_EQ(control.GetState(), kControlStateHot);
  EXPECT_EQ(control.GetHotAlpha(), 255);
  control.SetAttribute(L"state", L"normal");
  EXPECT_EQ(control.GetHotAlpha(), 0);
  control.SetAttribute(L"state", L"bogus");
  EXPECT_EQ(control.GetState(), kControlStateNormal);

  EXPECT_FALSE(control.HasHotState());
  control.SetAttribute(L"hotcolor", L"red");
  EXPECT_TRUE(control.HasHotState());
  EXPECT_NE(control.GetAnimationManager().GetAnimationPlayer(kAnimationHot), nullptr);
  // A later "fadehot" "false" removes the fade again.
  control.SetAttribute(L"fadehot", L"false");
  EXPECT_EQ(control.GetAnimationManager().GetAnimationPlayer(kAnimationHot), nullptr);
}

TEST_F(ControlAttributeTest, SetPosNormalisesAndCursorAndTooltipWords) {
  Control control;
  control.SetPos(UiRect(50, 40, 10, 20));
  EXPECT_EQ(control.GetPos(), UiRect(50, 40, 50, 40));
  EXPECT_TRUE(control.GetPos().IsRectEmpty());

  control.SetAttribute(L"cursortype", L"ibeam");
  EXPECT_EQ(control.GetCursorType(), kCursorHandIbeam);
  control.SetAttribute(L"cursortype", L"cross");
  EXPECT_EQ(control.GetCursorType(), kCursorHandIbeam);
  control.SetAttribute(L"tooltiptext", L"one<n>two");
  EXPECT_EQ(control.GetToolTipText(), L"one\r\ntwo");
  control.SetAttribute(L"bkcolor", L" \tgrey");
  EXPECT_EQ(control.GetBkColor(), L"grey");
}

TEST_F(ControlAttributeTest, ApplyAttributeListToFindsSubtreeOrWindowNames) {
  HeadlessWindowFixture fixture;
  auto* root = fixture.Attach(new VBox);
  auto* group = new VBox;
  auto* inner = new Control;
  inner->SetName(L"Inner_Label");
  group->Add(inner);
  root->Add(group);
  auto* other = new Control;
  other->SetName(L"other");
  root->Add(other);

  EXPECT_TRUE(group->ApplyAttributeListTo(L"./inner_label", L"dataid=\"a\""));
  EXPECT_EQ(inner->GetDataId(), L"a");
  EXPECT_TRUE(group->ApplyAttributeListTo(L".\\INNER_LABEL", L"dataid=\"b\""));
  EXPECT_EQ(inner->GetDataId(), L"b");
  // Outside the subtree: not found, and still reported as success.
  EXPECT_TRUE(group->ApplyAttributeListTo(L"./other", L"dataid=\"c\""));
  EXPECT_TRUE(other->GetDataId().empty());
  // A plain name searches the whole window, letter case included.
  EXPECT_TRUE(group->ApplyAttributeListTo(L"other", L"dataid=\"d\""));
  EXPECT_EQ(other->GetDataId(), L"d");
  EXPECT_TRUE(group->ApplyAttributeListTo(L"OTHER", L"dataid=\"e\""));
  EXPECT_EQ(other->GetDataId(), L"d");
}

TEST_F(ControlAttributeTest, EventWordsMapToKindsAndUnknownWordsToNone) {
  EXPECT_EQ(EventTypeFromString(L"all"), kEventAll);
  EXPECT_EQ(EventTypeFromString(L"buttondown"), kEventMouseButtonDown);
  EXPECT_EQ(EventTypeFromString(L"select"), kEventSelect);
  EXPECT_EQ(EventTypeFromString(L"click"), kEventNone);
  EXPECT_EQ(EventTypeFromString(L"Select"), kEventNone);
}

}  // namespace
}  // namespace ui
