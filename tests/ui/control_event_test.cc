#include <gtest/gtest.h>

#include <vector>

#include "animation_test_support.h"
#include "control_test_support.h"
#include "ui/core/animation_manager.h"

namespace ui {
namespace {

// A 200 x 100 window whose root column holds a 200 x 40 button at the top.
class ControlEventTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fixture_.Attach(new RecordingBox);
    button_ = new TestButton;
    button_->SetFixedHeight(40);
    root_->Add(button_);
    fixture_.Paint();
    ASSERT_EQ(button_->GetPos(), UiRect(0, 0, 200, 40));
  }

  HeadlessWindowFixture fixture_;
  RecordingBox* root_ = nullptr;
  TestButton* button_ = nullptr;
};

TEST_F(ControlEventTest, ButtonDownInsideUpOutsideReturnsToNormalWithoutClick) {
  int clicks = 0;
  button_->AttachEvent(kEventClick, [&](const EventArgs&) {
    ++clicks;
    return true;
  });
  HeadlessWindow* input = fixture_.headless();
  input->MouseMove(CPoint(10, 10));
  EXPECT_EQ(button_->GetState(), kControlStateHot);
  input->ButtonDown(CPoint(10, 10));
  EXPECT_EQ(button_->GetState(), kControlStatePushed);
  EXPECT_TRUE(button_->IsButtonHeld());
  EXPECT_TRUE(input->HasCapture());
  input->MouseMove(CPoint(10, 80));
  input->ButtonUp(CPoint(10, 80));
  EXPECT_EQ(button_->GetState(), kControlStateNormal);
  EXPECT_EQ(button_->GetHotAlpha(), 0);
  EXPECT_FALSE(button_->IsButtonHeld());
  EXPECT_FALSE(input->HasCapture());
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(button_->activations, 0);

  input->MouseMove(CPoint(20, 20));
  input->Click(CPoint(20, 20));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(button_->GetState(), kControlStateHot);
  EXPECT_EQ(button_->GetHotAlpha(), 255);
}

TEST_F(ControlEventTest, DisabledControlIgnoresPressAndShowsArrowForHand) {
  button_->SetCursorType(kCursorHand);
  HeadlessWindow* input = fixture_.headless();
  input->MouseMove(CPoint(5, 5));
  EXPECT_EQ(input->GetCursor(), NativeCursor::kHand);
  button_->SetEnabled(false);
  EXPECT_EQ(button_->GetState(), kControlStateDisabled);
  input->MouseMove(CPoint(6, 6));
  EXPECT_EQ(input->GetCursor(), NativeCursor::kArrow);
  input->Click(CPoint(6, 6));
  EXPECT_EQ(button_->activations, 0);
  EXPECT_EQ(button_->GetState(), kControlStateDisabled);
  button_->SetEnabled(true);
  EXPECT_EQ(button_->GetState(), kControlStateNormal);

  // Disabled while held: the release neither activates nor drops the disabled look.
  input->ButtonDown(CPoint(6, 6));
  ASSERT_EQ(button_->GetState(), kControlStatePushed);
  button_->SetEnabled(false);
  input->ButtonUp(CPoint(6, 6));
  EXPECT_EQ(button_->GetState(), kControlStateDisabled);
  EXPECT_EQ(button_->activations, 0);
  EXPECT_FALSE(button_->IsButtonHeld());
}

TEST_F(ControlEventTest, MouseDisabledPassesMouseEventsToParentWithOriginalSender) {
  button_->SetAttribute(L"mouse", L"false");
  int own = 0;
  button_->AttachEvent(kEventAll, [&](const EventArgs&) {
    ++own;
    return true;
  });
  root_->handled_kinds.clear();
  root_->handled_senders.clear();
  // Hit tests skip it, so the window talks to the root; dispatch directly.
  button_->SendEvent(kEventMouseButtonDown);
  EXPECT_EQ(own, 1);
  EXPECT_EQ(button_->GetState(), kControlStateNormal);
  ASSERT_EQ(root_->handled_kinds.size(), 1u);
  EXPECT_EQ(root_->handled_kinds[0], kEventMouseButtonDown);
  EXPECT_EQ(root_->handled_senders[0], button_);
  // Keyboard events are not mouse events: they bubble from the default handling.
  button_->SendEvent(kEventKeyDown);
  ASSERT_EQ(root_->handled_kinds.size(), 2u);
  EXPECT_EQ(root_->handled_senders[1], button_);
  EXPECT_EQ(fixture_.window()->FindControl(CPoint(10, 10)), root_);
}

TEST_F(ControlEventTest, KindHandlersRunBeforeAllAndFalseStopsTheChain) {
  std::vector<std::string> order;
  button_->AttachEvent(kEventAll, [&](const EventArgs&) {
    order.push_back("all");
    return true;
  });
  button_->AttachEvent(kEventSelect, [&](const EventArgs&) {
    order.push_back("kind1");
    return false;
  });
  button_->AttachEvent(kEventSelect, [&](const EventArgs&) {
    order.push_back("kind2");
    return true;
  });
  button_->AttachXmlEvent(kEventSelect, [&](const EventArgs&) {
    order.push_back("xml");
    return true;
  });
  button_->SendEvent(kEventSelect);
  EXPECT_EQ(order, (std::vector<std::string>{"kind1", "all", "xml"}));

  order.clear();
  button_->AttachEvent(kEventAll, [&](const EventArgs&) {
    order.push_back("all-stop");
    return false;
  });
  root_->handled_kinds.clear();
  button_->SendEvent(kEventSelect);
  EXPECT_EQ(order, (std::vector<std::string>{"kind1", "all", "all-stop"}));
  EXPECT_TRUE(root_->handled_kinds.empty());
}

TEST_F(ControlEventTest, BubbledHandlerReturningFalseStopsBubbling) {
  auto* outer = new RecordingBox;
  auto* inner = new RecordingBox;
  auto* leaf = new TestButton;
  inner->Add(leaf);
  outer->Add(inner);
  root_->Add(outer);
  int outer_calls = 0;
  int inner_calls = 0;
  outer->AttachBubbledEvent(kEventSelect, [&](const EventArgs& args) {
    EXPECT_EQ(args.sender, leaf);
    ++outer_calls;
    return true;
  });
  inner->AttachBubbledEvent(kEventSelect, [&](const EventArgs&) {
    ++inner_calls;
    return true;
  });
  leaf->SendEvent(kEventSelect);
  EXPECT_EQ(inner_calls, 1);
  EXPECT_EQ(outer_calls, 1);

  inner->AttachBubbledEvent(kEventSelect, [&](const EventArgs&) { return false; });
  outer->handled_kinds.clear();
  leaf->SendEvent(kEventSelect);
  EXPECT_EQ(inner_calls, 2);
  EXPECT_EQ(outer_calls, 1);
  EXPECT_TRUE(outer->handled_kinds.empty());
}

TEST_F(ControlEventTest, ControlRemovedInItsClickHandlerIsFreedAtCleanup) {
  bool dead = false;
  button_->SetUserData(std::make_unique<DeathFlag>(&dead));
  bool handled_after_removal = false;
  button_->AttachEvent(kEventClick, [&](const EventArgs& args) {
    root_->Remove(args.sender);
    handled_after_removal = true;
    return true;
  });
  HeadlessWindow* input = fixture_.headless();
  input->MouseMove(CPoint(10, 10));
  input->Click(CPoint(10, 10));
  EXPECT_TRUE(handled_after_removal);
  EXPECT_FALSE(dead);
  EXPECT_EQ(root_->GetCount(), 0u);
  EXPECT_EQ(fixture_.window()->GetDelayedCleanupCount(), 1u);
  EXPECT_EQ(input->GetPendingTaskCount(), 1u);
  input->RunPendingTasks();
  EXPECT_TRUE(dead);
  EXPECT_EQ(fixture_.window()->GetDelayedCleanupCount(), 0u);
  // The window forgot it: further input reaches nothing stale.
  EXPECT_EQ(fixture_.window()->GetNewHover(), nullptr);
  EXPECT_EQ(fixture_.window()->GetClickControl(), nullptr);
  input->MouseMove(CPoint(12, 12));
  EXPECT_EQ(fixture_.window()->GetNewHover(), root_);
  input->Click(CPoint(12, 12));
}

TEST(ControlDispatchTest, HandlerDestroyingItsControlStopsAtOnce) {
  auto* control = new Control;
  bool dead = false;
  control->SetUserData(std::make_unique<DeathFlag>(&dead));
  int later = 0;
  control->AttachEvent(kEventSelect, [&](const EventArgs&) {
    delete control;
    return true;
  });
  control->AttachEvent(kEventAll, [&](const EventArgs&) {
    ++later;
    return true;
  });
  control->AttachXmlEvent(kEventSelect, [&](const EventArgs&) {
    ++later;
    return true;
  });
  control->SendEvent(kEventSelect);
  EXPECT_TRUE(dead);
  EXPECT_EQ(later, 0);
}

TEST_F(ControlEventTest, HoverFadesTheHotLookInAndOut) {
  ManualTimerService timers;
  button_->GetAnimationManager().SetTimerManager(timers.manager());
  button_->SetAttribute(L"hotcolor", L"red");
  HeadlessWindow* input = fixture_.headless();
  input->MouseMove(CPoint(10, 10));
  EXPECT_EQ(button_->GetState(), kControlStateHot);
  EXPECT_LT(button_->GetHotAlpha(), 255);
  for (int i = 0; i < 6; ++i) timers.Tick(16);
  int midway = button_->GetHotAlpha();
  EXPECT_GT(midway, 0);
  EXPECT_LT(midway, 255);
  for (int i = 0; i < 20; ++i) timers.Tick(16);
  EXPECT_EQ(button_->GetHotAlpha(), 255);

  input->MouseMove(CPoint(10, 90));
  EXPECT_EQ(button_->GetState(), kControlStateNormal);
  for (int i = 0; i < 20; ++i) timers.Tick(16);
  EXPECT_EQ(button_->GetHotAlpha(), 0);
}

TEST_F(ControlEventTest, MenuRequestNotifiesMenuOnlyWhenMenuIsUsed) {
  std::vector<int32_t> kinds;
  button_->AttachEvent(kEventAll, [&](const EventArgs& args) {
    kinds.push_back(args.type);
    return true;
  });
  HeadlessWindow* input = fixture_.headless();
  input->RightButtonDown(CPoint(5, 5));
  input->RightButtonUp(CPoint(5, 5));
  input->ContextMenu(CPoint(5, 5));
  EXPECT_EQ(kinds, (std::vector<int32_t>{kEventMouseRightButtonDown, kEventMouseRightButtonUp}));
  button_->SetMenuUsed(true);
  kinds.clear();
  input->RightButtonDown(CPoint(5, 5));
  input->RightButtonUp(CPoint(5, 5));
  input->ContextMenu(CPoint(5, 5));
  EXPECT_EQ(kinds, (std::vector<int32_t>{kEventMouseRightButtonDown, kEventMouseRightButtonUp,
                                         kEventMouseMenu}));
}

TEST_F(ControlEventTest, HidingTheFocusedControlClearsTheWindowFocus) {
  std::vector<int32_t> kinds;
  button_->AttachEvent(kEventAll, [&](const EventArgs& args) {
    kinds.push_back(args.type);
    return true;
  });
  button_->SetFocus();
  EXPECT_TRUE(button_->IsFocused());
  EXPECT_EQ(kinds, (std::vector<int32_t>{kEventSetFocus}));
  fixture_.headless()->KeyDown(13);
  fixture_.headless()->Char(L'x');
  fixture_.headless()->KeyUp(13);
  button_->SetVisible(false);
  EXPECT_EQ(fixture_.window()->GetFocus(), nullptr);
  EXPECT_FALSE(button_->IsFocused());
  EXPECT_EQ(kinds, (std::vector<int32_t>{kEventSetFocus, kEventKeyDown, kEventChar, kEventKeyUp,
                                         kEventKillFocus}));
}

TEST_F(ControlEventTest, KillFocusHandlerMovingTheFocusLeavesOneFocusedControl) {
  auto* other = new TestButton;
  auto* keeper = new TestButton;
  root_->Add(other);
  root_->Add(keeper);
  fixture_.Paint();
  bool moved = false;
  button_->AttachEvent(kEventKillFocus, [&](const EventArgs&) {
    if (!moved) {
      moved = true;
      keeper->SetFocus();
    }
    return true;
  });
  button_->SetFocus();
  other->SetFocus();
  Window* window = fixture_.window();
  ASSERT_NE(window->GetFocus(), nullptr);
  int focused = 0;
  for (Control* c : {static_cast<Control*>(button_), static_cast<Control*>(other),
                     static_cast<Control*>(keeper)}) {
    if (c->IsFocused()) {
      ++focused;
      EXPECT_EQ(window->GetFocus(), c);
    }
  }
  EXPECT_EQ(focused, 1);
  EXPECT_FALSE(button_->IsFocused());
}

}  // namespace
}  // namespace ui
