// Skin events from `Event` and `BubbledEvent`, and bubbling through boxes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/layout_test_support.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

// Records the attributes it receives, tagged with its own name.
class RecordingControl : public Control {
 public:
  explicit RecordingControl(std::vector<std::wstring>* log) : log_(log) {}
  void SetAttribute(const std::wstring& name, const std::wstring& value) override {
    if (name == L"note") log_->push_back(GetName() + L":" + value);
    Control::SetAttribute(name, value);
  }

 private:
  std::vector<std::wstring>* log_;
};

TEST(BuilderEventsTest, TwoKindsAndTwoReceiversRegisterFourHandlersInOrder) {
  std::vector<std::wstring> log;
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox name="owner"><Event type="select   unselect" receiver="r1 r2"
        applyattribute="note=&quot;fired&quot;"/><Recorder name="r1"/><Recorder
        name="r2"/></VBox>)"),
              [&log](const std::wstring& tag) -> Control* {
                return tag == L"Recorder" ? new RecordingControl(&log) : nullptr;
              }));
  Control* owner = w.Find(L"owner");
  owner->SendEvent(kEventSelect);
  EXPECT_EQ(log, (std::vector<std::wstring>{L"r1:fired", L"r2:fired"}));
  owner->SendEvent(kEventUnSelect);
  owner->SendEvent(kEventClick);  // not registered
  EXPECT_EQ(log, (std::vector<std::wstring>{L"r1:fired", L"r2:fired", L"r1:fired", L"r2:fired"}));
}

TEST(BuilderEventsTest, ReceiversFromTheSubtreeAndUnknownWordsGiveKindNone) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><VBox name="owner"><Event type="nonsense"
      receiver="./inner" applyattribute="dataid=&quot;sub&quot;"/><Event type="all"
      receiver="outside" applyattribute="bkcolor=&quot;red&quot;"/><Control
      name="inner"/></VBox><Control name="outside"/></VBox>)")));
  w.Find(L"owner")->SendEvent(kEventNone);
  EXPECT_EQ(w.Find(L"inner")->GetDataId(), L"sub");
  // "all" fired for kind 4 as well.
  EXPECT_EQ(w.Find(L"outside")->GetBkColor(), L"red");
}

TEST(BuilderEventsTest, BubbledEventReachesTheBoxFromADescendant) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox name="outer"><BubbledEvent type="select"
      receiver="target" applyattribute="dataid=&quot;bubbled&quot;"/><HBox><Control
      name="leaf"/></HBox><Control name="target"/><Control name="plain"><BubbledEvent
      type="select" receiver="target" applyattribute="dataid=&quot;wrong&quot;"/></Control>
      </VBox>)")));
  w.Find(L"leaf")->SendEvent(kEventSelect);
  EXPECT_EQ(w.Find(L"target")->GetDataId(), L"bubbled");
}

TEST(BuilderEventsTest, BubbledHandlerReturningFalseStopsTheBubbling) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox name="outer"><VBox name="inner"><Control
      name="leaf"/></VBox></VBox>)")));
  std::vector<std::wstring> seen;
  auto* outer = w.Find<Box>(L"outer");
  auto* inner = w.Find<Box>(L"inner");
  bool inner_verdict = true;
  outer->AttachBubbledEvent(kEventClick, [&seen](const EventArgs& e) {
    seen.push_back(L"outer:" + e.sender->GetName());
    return true;
  });
  inner->AttachBubbledEvent(kEventAll, [&](const EventArgs& e) {
    seen.push_back(L"inner:" + e.sender->GetName());
    return inner_verdict;
  });
  Control* leaf = w.Find(L"leaf");
  leaf->SendEvent(kEventClick);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"inner:leaf", L"outer:leaf"}));
  seen.clear();
  inner_verdict = false;
  leaf->SendEvent(kEventClick);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"inner:leaf"}));
}

TEST(BuilderEventsTest, OwnHandlerReturningFalseKeepsTheEventFromBubbling) {
  SkinWindow w;
  ASSERT_TRUE(w.Build(WindowSkin(LR"(<VBox name="outer"><VBox name="inner"/></VBox>)")));
  int outer_calls = 0;
  w.Find<Box>(L"outer")->AttachBubbledEvent(kEventSelect, [&](const EventArgs&) {
    ++outer_calls;
    return true;
  });
  Control* inner = w.Find(L"inner");
  inner->AttachEvent(kEventSelect, [](const EventArgs&) { return false; });
  inner->SendEvent(kEventSelect);
  EXPECT_EQ(outer_calls, 0);
  inner->DetachEvent(kEventSelect);
  inner->SendEvent(kEventSelect);
  EXPECT_EQ(outer_calls, 1);
}

TEST(BuilderEventsTest, BoxRemovingItselfInItsHandlerLivesUntilTheCleanUp) {
  SkinWindow w;
  ASSERT_TRUE(w.Build(WindowSkin(LR"(<VBox name="outer"><VBox name="victim"/></VBox>)")));
  auto* outer = w.Find<Box>(L"outer");
  Control* victim = w.Find(L"victim");
  victim->AttachEvent(kEventClick, [outer, victim](const EventArgs&) {
    outer->Remove(victim);
    return true;
  });
  victim->SendEvent(kEventClick);
  EXPECT_EQ(outer->GetCount(), 0u);
  EXPECT_EQ(w.window()->GetDelayedCleanupCount(), 1u);
  w.native()->RunPendingTasks();
  EXPECT_EQ(w.window()->GetDelayedCleanupCount(), 0u);
  EXPECT_EQ(w.window()->FindControl(L"victim"), nullptr);
}

}  // namespace
}  // namespace ui
