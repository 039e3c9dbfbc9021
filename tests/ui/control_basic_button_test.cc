// Buttons driven through the headless window: click after down and up
// inside, keyboard activation, the menu request, and the box variant.

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/control_basic_test_support.h"
#include "ui/control/button.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

constexpr int kKeySpace = 0x20;
constexpr int kKeyReturn = 0x0D;

class BasicButtonTest : public ::testing::Test {
 protected:
  // A 100 x 40 button at the top left and a plain area below it.
  Button* Build(const std::wstring& attributes = L"") {
    EXPECT_NE(w_.Build(WindowSkin(L"<VBox><Button name=\"b\" width=\"100\" height=\"40\" "
                                  L"text=\"OK\" " +
                                  attributes + L"/><Control/></VBox>")),
              nullptr);
    w_.Layout();
    Button* button = w_.Find<Button>(L"b");
    if (button) Record(button);
    return button;
  }
  void Record(Control* control) {
    for (int kind : {kEventClick, kEventMouseMenu}) {
      control->AttachEvent(kind, [this, control](const EventArgs& args) {
        kinds_.push_back(args.type);
        senders_.push_back(args.sender);
        EXPECT_EQ(args.sender, control);
        return true;
      });
    }
  }
  int Count(int kind) const {
    int n = 0;
    for (int k : kinds_) n += k == kind;
    return n;
  }

  SkinWindow w_{CSize(200, 120)};
  std::vector<int> kinds_;
  std::vector<Control*> senders_;
};

TEST_F(BasicButtonTest, DownAndUpInsideClicksOnceAndLeavesTheButtonHot) {
  Button* button = Build();
  ASSERT_NE(button, nullptr);
  w_.native()->ButtonDown(CPoint(50, 20));
  EXPECT_EQ(button->GetState(), kControlStatePushed);
  EXPECT_EQ(Count(kEventClick), 0);
  w_.native()->ButtonUp(CPoint(60, 25));
  EXPECT_EQ(Count(kEventClick), 1);
  EXPECT_EQ(button->GetState(), kControlStateHot);
  EXPECT_EQ(button->GetHotAlpha(), 255);

  // Released outside: no click, back to normal.
  w_.native()->ButtonDown(CPoint(50, 20));
  w_.native()->ButtonUp(CPoint(50, 100));
  EXPECT_EQ(Count(kEventClick), 1);
  EXPECT_EQ(button->GetState(), kControlStateNormal);

  // Disabled: nothing.
  button->SetEnabled(false);
  w_.native()->Click(CPoint(50, 20));
  EXPECT_EQ(Count(kEventClick), 1);
  EXPECT_EQ(button->GetState(), kControlStateDisabled);
}

TEST_F(BasicButtonTest, SpaceOrReturnOnTheFocusedButtonClicks) {
  Button* button = Build();
  ASSERT_NE(button, nullptr);
  w_.window()->SetFocus(button);
  ASSERT_EQ(w_.window()->GetFocus(), button);
  w_.native()->KeyDown(kKeySpace);
  w_.native()->KeyDown(kKeyReturn);
  EXPECT_EQ(Count(kEventClick), 2);
  w_.native()->KeyDown('A');
  EXPECT_EQ(Count(kEventClick), 2);

  button->SetKeyboardEnabled(false);
  w_.native()->KeyDown(kKeySpace);
  EXPECT_EQ(Count(kEventClick), 2);
  // A hidden button cannot be activated even through code.
  button->SetKeyboardEnabled(true);
  button->SetVisible(false);
  button->Activate();
  EXPECT_EQ(Count(kEventClick), 2);
}

TEST_F(BasicButtonTest, MenuRequestBecomesAMenuEventOnlyWhenMenuIsUsed) {
  Button* button = Build(L"menu=\"true\"");
  ASSERT_NE(button, nullptr);
  w_.native()->RightButtonDown(CPoint(50, 20));
  w_.native()->RightButtonUp(CPoint(50, 20));
  w_.native()->ContextMenu(CPoint(50, 20));
  EXPECT_EQ(Count(kEventMouseMenu), 1);
  EXPECT_EQ(Count(kEventClick), 0);

  button->SetMenuUsed(false);
  w_.native()->RightButtonDown(CPoint(50, 20));
  w_.native()->RightButtonUp(CPoint(50, 20));
  w_.native()->ContextMenu(CPoint(50, 20));
  EXPECT_EQ(Count(kEventMouseMenu), 1);
}

TEST_F(BasicButtonTest, ButtonBoxHoldsChildrenAndTakesClicksThroughMouseFreeOnes) {
  ASSERT_NE(w_.Build(WindowSkin(LR"(<VBox>
      <ButtonBox name="bb" width="100" height="40">
        <Label name="caption" text="Go" mouse="false"/>
        <Button name="inner" width="30" height="20" float="true" margin="60,10,0,0"/>
      </ButtonBox></VBox>)")),
            nullptr);
  w_.Layout();
  auto* box = w_.Find<ButtonBox>(L"bb");
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(box->GetCount(), 2u);
  Record(box);
  Record(w_.Find<Control>(L"inner"));
  // Over the mouse-free label the box itself is pressed.
  const UiRect caption = w_.Pos(L"caption");
  w_.native()->Click(CPoint(caption.left + 2, caption.top + 2));
  ASSERT_EQ(kinds_.size(), 1u);
  EXPECT_EQ(senders_[0], box);
  // A button inside clicks on its own.
  w_.native()->Click(CPoint(70, 15));
  ASSERT_EQ(kinds_.size(), 2u);
  EXPECT_EQ(senders_[1], w_.Find<Control>(L"inner"));
}

}  // namespace
}  // namespace ui
