// Check boxes and options through the builder and the headless window:
// toggling with select/unselect notifications, the selected look (colours,
// images, text colour), and option groups within a window.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/ui/control_basic_test_support.h"
#include "ui/control/check_box.h"
#include "ui/control/option.h"

namespace ui {
namespace {

using testing::CountHue;
using testing::Hue;
using testing::SkinWindow;
using testing::WindowSkin;

class BasicCheckBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::AddBasicColors(); }
  void TearDown() override { GlobalManager::ClearTextColors(); }

  // Records click, select and unselect of `control` as (name, kind).
  void Record(Control* control) {
    ASSERT_NE(control, nullptr);
    for (int kind : {kEventClick, kEventSelect, kEventUnSelect}) {
      control->AttachEvent(kind, [this, control](const EventArgs& args) {
        events_.emplace_back(control->GetName(), args.type);
        return true;
      });
    }
  }
  void Click(const std::wstring& name) {
    const UiRect r = w_.Pos(name);
    w_.native()->Click(CPoint(r.left + 2, r.top + 2));
  }
  using Events = std::vector<std::pair<std::wstring, int>>;

  SkinWindow w_{CSize(300, 200)};
  Events events_;
};

TEST_F(BasicCheckBoxTest, ClickTogglesAndNotifiesSelectOrUnselectButNoClick) {
  ASSERT_NE(w_.Build(WindowSkin(LR"(<VBox>
      <CheckBox name="c" width="40" height="20" selected="true"/></VBox>)")),
            nullptr);
  w_.Layout();
  auto* check = w_.Find<CheckBox>(L"c");
  ASSERT_NE(check, nullptr);
  EXPECT_TRUE(check->IsSelected());
  Record(check);
  Click(L"c");
  EXPECT_FALSE(check->IsSelected());
  Click(L"c");
  EXPECT_TRUE(check->IsSelected());
  EXPECT_EQ(events_, (Events{{L"c", kEventUnSelect}, {L"c", kEventSelect}}));

  // Setting the same state again, or without sending, notifies nothing.
  check->Selected(true, true);
  check->Selected(false, false);
  EXPECT_EQ(events_.size(), 2u);
  // Disabled: clicks change nothing.
  check->SetEnabled(false);
  Click(L"c");
  EXPECT_FALSE(check->IsSelected());
  EXPECT_EQ(events_.size(), 2u);

  // Outside a window the flag changes silently.
  CheckBox loose;
  loose.Selected(true, true);
  EXPECT_TRUE(loose.IsSelected());
}

TEST_F(BasicCheckBoxTest, SelectedStatePaintsTheSelectedColoursImagesAndText) {
  testing::PictureFolder pictures;
  const std::wstring red = pictures.WriteSolid("red.png", 24, 16, testing::kBasicRed);
  const std::wstring green = pictures.WriteSolid("green.png", 24, 16, testing::kBasicGreen);
  ASSERT_NE(w_.Build(WindowSkin(L"<VBox bkcolor=\"basic_white\">"
                                L"<CheckBox name=\"colors\" width=\"40\" height=\"20\" "
                                L"normalcolor=\"basic_red\" selectednormalcolor=\"basic_green\"/>"
                                L"<CheckBox name=\"images\" normalimage=\"file='" +
                                red + L"'\" selectednormalimage=\"file='" + green +
                                L"'\"/>"
                                L"<CheckBox name=\"auto\" selectednormalimage=\"file='" +
                                green +
                                L"'\"/>"
                                L"<CheckBox name=\"text\" width=\"200\" height=\"30\" "
                                L"text=\"███████\" normaltextcolor=\"basic_red\" "
                                L"selectedtextcolor=\"basic_blue\" "
                                L"disabledtextcolor=\"basic_green\"/></VBox>")),
            nullptr);
  w_.Layout();
  auto* colors = w_.Find<CheckBox>(L"colors");
  auto* images = w_.Find<CheckBox>(L"images");
  auto* text = w_.Find<CheckBox>(L"text");
  ASSERT_TRUE(colors && images && text);
  HeadlessWindow* native = w_.native();
  const UiRect c = w_.Pos(L"colors");
  const UiRect i = w_.Pos(L"images");
  const UiRect t = w_.Pos(L"text");
  // The picture of an auto-sized box is found in the selected set too.
  EXPECT_EQ(w_.Pos(L"auto").GetWidth(), 24);
  EXPECT_EQ(w_.Pos(L"auto").GetHeight(), 16);
  EXPECT_EQ(i.GetWidth(), 24);

  EXPECT_TRUE(testing::IsHue(native->GetPixel(c.left + 20, c.top + 10), Hue::kRed));
  EXPECT_TRUE(testing::IsHue(native->GetPixel(i.left + 12, i.top + 8), Hue::kRed));
  EXPECT_GT(CountHue(native, t, Hue::kRed), 20);
  EXPECT_EQ(CountHue(native, t, Hue::kBlue), 0);

  colors->Selected(true);
  images->Selected(true);
  text->Selected(true);
  native->PaintPending();
  EXPECT_TRUE(testing::IsHue(native->GetPixel(c.left + 20, c.top + 10), Hue::kGreen));
  EXPECT_TRUE(testing::IsHue(native->GetPixel(i.left + 12, i.top + 8), Hue::kGreen));
  EXPECT_GT(CountHue(native, t, Hue::kBlue), 20);
  EXPECT_EQ(CountHue(native, t, Hue::kRed), 0);

  // Hot without a selected hot look falls back to the selected normal one.
  colors->SetState(kControlStateHot);
  images->SetState(kControlStateHot);
  native->PaintPending();
  EXPECT_TRUE(testing::IsHue(native->GetPixel(c.left + 20, c.top + 10), Hue::kGreen));
  EXPECT_TRUE(testing::IsHue(native->GetPixel(i.left + 12, i.top + 8), Hue::kGreen));

  // Disabled and selected: the disabled text colour wins over the selected one.
  text->SetEnabled(false);
  native->PaintPending();
  EXPECT_GT(CountHue(native, t, Hue::kGreen), 20);
  EXPECT_EQ(CountHue(native, t, Hue::kBlue), 0);

  // Unselected again: the normal look returns.
  colors->Selected(false);
  images->Selected(false);
  native->PaintPending();
  EXPECT_TRUE(testing::IsHue(native->GetPixel(c.left + 20, c.top + 10), Hue::kRed));
  EXPECT_TRUE(testing::IsHue(native->GetPixel(i.left + 12, i.top + 8), Hue::kRed));
}

class BasicOptionTest : public BasicCheckBoxTest {
 protected:
  void Build() {
    ASSERT_NE(w_.Build(WindowSkin(LR"(<VBox>
        <Option name="o1" group="g" width="40" height="20" selected="true"/>
        <Option name="o2" group="g" width="40" height="20"/>
        <OptionBox name="o3" group="g" width="40" height="20"><Control mouse="false"/></OptionBox>
        <Option name="h1" selected="true" group="h" width="40" height="20"/>
        <Option name="loner" width="40" height="20"/>
        </VBox>)")),
              nullptr);
    w_.Layout();
    for (const wchar_t* name : {L"o1", L"o2", L"o3", L"h1", L"loner"}) {
      Record(w_.Find<Control>(name));
    }
  }
  bool Selected(const std::wstring& name) {
    Control* control = w_.Find<Control>(name);
    if (auto* option = dynamic_cast<Option*>(control)) return option->IsSelected();
    if (auto* box = dynamic_cast<OptionBox*>(control)) return box->IsSelected();
    ADD_FAILURE() << "no option " << nbase::WideToUTF8(name);
    return false;
  }
};

TEST_F(BasicOptionTest, SelectingOneUnselectsTheOthersOfItsGroupOnly) {
  Build();
  ASSERT_NE(w_.window()->GetOptionGroup(L"g"), nullptr);
  EXPECT_EQ(w_.window()->GetOptionGroup(L"g")->size(), 3u);
  EXPECT_TRUE(Selected(L"o1"));
  EXPECT_TRUE(Selected(L"h1"));

  Click(L"o2");
  EXPECT_EQ(events_,
            (Events{{L"o2", kEventClick}, {L"o1", kEventUnSelect}, {L"o2", kEventSelect}}));
  EXPECT_FALSE(Selected(L"o1"));
  EXPECT_TRUE(Selected(L"o2"));
  EXPECT_TRUE(Selected(L"h1"));

  // The box variant is a member like any other.
  events_.clear();
  Click(L"o3");
  EXPECT_EQ(events_,
            (Events{{L"o3", kEventClick}, {L"o2", kEventUnSelect}, {L"o3", kEventSelect}}));

  // Clicking the selected one again keeps it selected and unselects nobody.
  events_.clear();
  Click(L"o3");
  EXPECT_EQ(events_, (Events{{L"o3", kEventClick}, {L"o3", kEventSelect}}));
  EXPECT_TRUE(Selected(L"o3"));

  // Without a group an option only ever becomes selected.
  events_.clear();
  Click(L"loner");
  Click(L"loner");
  EXPECT_TRUE(Selected(L"loner"));
  EXPECT_TRUE(Selected(L"o3"));
}

TEST_F(BasicOptionTest, RegroupingCarriesTheSelectionAndDestroyedMembersLeave) {
  Build();
  auto* h1 = w_.Find<Option>(L"h1");
  ASSERT_NE(h1, nullptr);
  // A selected option joining a group unselects the member selected there.
  h1->SetGroup(L"g");
  EXPECT_EQ(h1->GetGroup(), L"g");
  EXPECT_EQ(w_.window()->GetOptionGroup(L"h"), nullptr);
  EXPECT_EQ(w_.window()->GetOptionGroup(L"g")->size(), 4u);
  EXPECT_FALSE(Selected(L"o1"));
  EXPECT_TRUE(Selected(L"h1"));
  EXPECT_EQ(events_, (Events{{L"o1", kEventUnSelect}, {L"h1", kEventSelect}}));

  // A removed member is forgotten by the group; selecting goes on safely.
  Control* o2 = w_.Find<Control>(L"o2");
  auto* parent = dynamic_cast<Box*>(o2->GetParentControl());
  ASSERT_NE(parent, nullptr);
  ASSERT_TRUE(parent->Remove(o2));
  w_.window()->DoDelayedCleanup();
  EXPECT_EQ(w_.window()->GetOptionGroup(L"g")->size(), 3u);
  Click(L"o1");
  EXPECT_TRUE(Selected(L"o1"));
  EXPECT_FALSE(Selected(L"h1"));
}

TEST_F(BasicOptionTest, AHandlerThatDeletesAMemberDuringSelectionIsSurvived) {
  Build();
  // o1's unselect handler removes o3 from the tree before o3's turn comes.
  Control* o3 = w_.Find<Control>(L"o3");
  auto* parent = dynamic_cast<Box*>(o3->GetParentControl());
  ASSERT_NE(parent, nullptr);
  parent->SetDelayedDestroy(false);
  w_.Find<Control>(L"o1")->AttachEvent(kEventUnSelect, [parent, o3](const EventArgs&) {
    parent->Remove(o3);
    return true;
  });
  w_.Find<OptionBox>(L"o3")->Selected(false);
  w_.Find<Option>(L"o2")->Selected(true, true);
  EXPECT_TRUE(Selected(L"o2"));
  EXPECT_FALSE(Selected(L"o1"));
  EXPECT_EQ(w_.window()->GetOptionGroup(L"g")->size(), 2u);
}

}  // namespace
}  // namespace ui
