#include <gtest/gtest.h>

#include "control_test_support.h"

namespace ui {
namespace {

TEST(ControlGeometryTest, SetPosSendsOneResizeAndGuardsReentry) {
  HeadlessWindowFixture fixture(CSize(100, 100));
  auto* root = fixture.Attach(new VBox);
  auto* control = new Control;
  control->SetFloat(true);
  root->Add(control);
  fixture.Paint();
  int resized = 0;
  control->AttachEvent(kEventResize, [&](const EventArgs& args) {
    ++resized;
    EXPECT_EQ(args.sender, control);
    // A handler moving the control again must not recurse.
    control->SetPos(UiRect(1, 1, 9, 9));
    return true;
  });
  control->SetPos(UiRect(0, 0, 10, 10));
  EXPECT_EQ(resized, 1);
  EXPECT_EQ(control->GetPos(), UiRect(1, 1, 9, 9));
  EXPECT_FALSE(control->IsArranged());
  control->SetPos(UiRect(1, 1, 9, 9));
  EXPECT_EQ(resized, 1);
}

TEST(ControlGeometryTest, MovingInvalidatesTheUnionClippedByAncestors) {
  HeadlessWindowFixture fixture(CSize(100, 100));
  auto* root = new VBox;
  auto* frame = new Box;
  frame->SetFixedHeight(50);
  auto* child = new Control;
  child->SetFloat(true);
  child->SetFixedWidth(10);
  child->SetFixedHeight(10);
  frame->Add(child);
  root->Add(frame);
  fixture.Attach(root);
  fixture.Paint();
  ASSERT_TRUE(fixture.headless()->GetUpdateRect().IsRectEmpty());

  child->SetPos(UiRect(20, 40, 30, 60));
  // Old (0,0,10,10) and new rect united, then cut by the 100 x 50 frame.
  EXPECT_EQ(fixture.headless()->GetUpdateRect(), UiRect(0, 0, 30, 50));
  fixture.Paint();
  // Leaving the frame repaints only the part that was inside; moving on
  // outside repaints nothing.
  child->SetPos(UiRect(20, 60, 30, 70));
  child->SetPos(UiRect(20, 70, 30, 80));
  EXPECT_EQ(fixture.headless()->GetUpdateRect(), UiRect(20, 40, 30, 50));
}

TEST(ControlGeometryTest, RelayoutUpwardMarksAutoAncestorsAndArrangesTheFirstFixedOne) {
  HeadlessWindowFixture fixture(CSize(100, 100));
  auto* root = new VBox;
  auto* fixed = new VBox;
  fixed->SetFixedHeight(60);
  auto* auto_box = new VBox;
  auto_box->SetAttribute(L"height", L"auto");
  auto* leaf = new Control;
  leaf->SetFixedHeight(10);
  auto_box->Add(leaf);
  fixed->Add(auto_box);
  root->Add(fixed);
  fixture.Attach(root);
  fixture.Paint();
  ASSERT_EQ(auto_box->GetPos(), UiRect(0, 0, 100, 10));
  ASSERT_FALSE(fixed->IsArranged());

  leaf->SetFixedHeight(30);
  EXPECT_TRUE(auto_box->IsReEstimateSize());
  EXPECT_TRUE(fixed->IsArranged());
  EXPECT_FALSE(root->IsArranged());
  fixture.Paint();
  EXPECT_EQ(auto_box->GetPos(), UiRect(0, 0, 100, 30));
  EXPECT_FALSE(fixed->IsArranged());
}

TEST(ControlGeometryTest, WithoutWindowTheParentArrangesItself) {
  VBox parent;
  auto* child = new Control;
  parent.Add(child);
  parent.SetArranged(false);
  child->SetFixedWidth(12);
  EXPECT_TRUE(parent.IsArranged());
  Control alone;
  alone.SetArranged(false);
  alone.SetMinWidth(5);
  EXPECT_TRUE(alone.IsArranged());
  EXPECT_EQ(alone.GetMinWidth(), 5);
}

TEST(ControlGeometryTest, PointerUpInsideActivatesAndLeavesNormalUnlessPointerIsRefused) {
  HeadlessWindowFixture fixture(CSize(100, 100));
  auto* root = fixture.Attach(new RecordingBox);
  auto* button = new TestButton;
  root->Add(button);
  fixture.Paint();
  NativeMessage down;
  down.type = NativeMessageType::kPointerDown;
  down.point = CPoint(5, 5);
  down.pressure = 0.5f;
  NativeMessage up = down;
  up.type = NativeMessageType::kPointerUp;
  EXPECT_TRUE(fixture.headless()->Send(down));
  EXPECT_EQ(button->GetState(), kControlStatePushed);
  EXPECT_TRUE(fixture.headless()->Send(up));
  EXPECT_EQ(button->GetState(), kControlStateNormal);
  EXPECT_EQ(button->activations, 1);

  button->SetReceivePointer(false);
  root->handled_kinds.clear();
  EXPECT_FALSE(fixture.headless()->Send(down));
  EXPECT_FALSE(fixture.headless()->Send(up));
  EXPECT_EQ(button->activations, 1);
  EXPECT_EQ(root->handled_kinds, (std::vector<int32_t>{kEventPointDown, kEventPointUp}));
}

TEST(ControlGeometryTest, DoubleClickPressesAndWheelReachesTheControlUnderThePoint) {
  HeadlessWindowFixture fixture(CSize(100, 100));
  auto* root = fixture.Attach(new VBox);
  auto* button = new TestButton;
  root->Add(button);
  fixture.Paint();
  intptr_t delta = 0;
  button->AttachEvent(kEventMouseScrollWheel, [&](const EventArgs& args) {
    delta = static_cast<intptr_t>(args.w_param);
    return true;
  });
  fixture.headless()->Wheel(CPoint(50, 50), -120);
  EXPECT_EQ(delta, -120);
  fixture.headless()->DoubleClick(CPoint(50, 50));
  EXPECT_EQ(button->GetState(), kControlStatePushed);
  fixture.headless()->ButtonUp(CPoint(50, 50));
  EXPECT_EQ(button->activations, 1);
}

}  // namespace
}  // namespace ui
