// A virtual list over a million rows in a headless window: few element
// controls, refilled as it scrolls by keys, the wheel and the bar; a provider
// whose row count changes while scrolling.

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/animation_test_support.h"
#include "tests/ui/layout_test_support.h"
#include "ui/control/virtual_list_box.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

class RowProvider : public VirtualListDataProvider {
 public:
  explicit RowProvider(size_t rows) : rows(rows) {}
  Control* CreateElement() override {
    ++created;
    auto* label = new ListContainerElement();
    label->SetFixedHeight(20);
    return label;
  }
  void FillElement(Control* element, size_t index) override {
    ++fills;
    EXPECT_LT(index, rows);
    dynamic_cast<ListContainerElement*>(element)->SetText(L"row " + std::to_wstring(index));
  }
  size_t GetElementCount() override { return rows; }

  size_t rows;
  int created = 0;
  int fills = 0;
};

class VirtualListTest : public ::testing::Test {
 protected:
  VirtualListBox* Build(size_t rows, int elements) {
    provider_ = std::make_unique<RowProvider>(rows);
    EXPECT_NE(w_.Build(WindowSkin(LR"(<VirtualListBox name="v" vscrollbar="true"/>)")), nullptr);
    auto* list = w_.Find<VirtualListBox>(L"v");
    list->SetDataProvider(provider_.get());
    list->SetElementHeight(20);
    list->InitElement(elements);
    w_.Layout();
    return list;
  }
  // The text of the element painted at window point (50, y).
  std::wstring TextAt(int y) {
    auto* label = dynamic_cast<ListContainerElement*>(w_.window()->FindControl(CPoint(50, y)));
    return label ? label->GetText() : L"<none>";
  }

  SkinWindow w_{CSize(200, 100)};
  std::unique_ptr<RowProvider> provider_;
};

TEST_F(VirtualListTest, AMillionRowsScrollWithAFewElements) {
  VirtualListBox* list = Build(1000000, 7);
  EXPECT_EQ(list->GetCount(), 7u);
  EXPECT_EQ(provider_->created, 7);
  EXPECT_TRUE(list->IsVirtual());
  EXPECT_EQ(list->GetScrollRange().cy, 20000000 - 100);
  EXPECT_EQ(TextAt(10), L"row 0");
  EXPECT_EQ(TextAt(90), L"row 4");

  list->SetScrollPosY(5000 * 20);
  EXPECT_EQ(TextAt(10), L"row 5000");
  EXPECT_EQ(TextAt(95), L"row 5004");
  // One more row down refills at most one element.
  const int fills = provider_->fills;
  list->SetScrollPosY(5001 * 20);
  EXPECT_EQ(TextAt(10), L"row 5001");
  EXPECT_EQ(TextAt(95), L"row 5005");
  EXPECT_LE(provider_->fills - fills, 1);
  // Half a row: the rows straddle the edge.
  list->SetScrollPosY(5001 * 20 + 10);
  EXPECT_EQ(TextAt(5), L"row 5001");
  EXPECT_EQ(TextAt(15), L"row 5002");
  // Back up by a few rows.
  list->SetScrollPosY(4990 * 20);
  EXPECT_EQ(TextAt(10), L"row 4990");
  EXPECT_EQ(list->GetCount(), 7u);
  EXPECT_EQ(provider_->created, 7);

  // A selected element that scrolls away to show another row is no longer selected.
  w_.native()->Click(CPoint(50, 10));
  ASSERT_GE(list->GetCurSel(), 0);
  Control* chosen = list->GetItemAt(static_cast<size_t>(list->GetCurSel()));
  EXPECT_EQ(list->GetElementRow(chosen), 4990);
  list->SetScrollPosY(6000 * 20);
  EXPECT_EQ(list->GetCurSel(), -1);
}

TEST_F(VirtualListTest, KeysAndTheWheelScrollTheRows) {
  VirtualListBox* list = Build(1000000, 7);
  w_.native()->Click(CPoint(50, 10));
  ASSERT_NE(w_.window()->GetFocus(), nullptr);
  int scroll_events = 0;
  list->AttachEvent(kEventScrollChange, [&scroll_events](const EventArgs&) {
    ++scroll_events;
    return true;
  });
  w_.native()->KeyDown(0x23);  // End
  EXPECT_EQ(TextAt(95), L"row 999999");
  EXPECT_EQ(scroll_events, 1);
  w_.native()->KeyDown(0x26);  // Up
  EXPECT_EQ(TextAt(95), L"row 999998");
  w_.native()->KeyDown(0x24);  // Home
  EXPECT_EQ(TextAt(10), L"row 0");
  w_.native()->KeyDown(0x22);  // Page down
  EXPECT_EQ(TextAt(10), L"row 5");

  ManualTimerService clock;
  list->SetTimerManager(clock.manager());
  w_.native()->Wheel(CPoint(50, 50), -120);
  for (int i = 0; i < 100; ++i) clock.Tick(16);
  // One notch is one scroll unit (30 pixels) further down.
  EXPECT_EQ(list->GetScrollPos().cy, 130);
  EXPECT_EQ(TextAt(5), L"row 6");
  EXPECT_EQ(TextAt(15), L"row 7");
}

TEST_F(VirtualListTest, RowCountChangingWhileScrollingStaysInRange) {
  VirtualListBox* list = Build(1000, 7);
  list->SetScrollPosY(500 * 20);
  EXPECT_EQ(TextAt(10), L"row 500");

  // Fewer rows than elements: the next scroll shrinks the elements to fit.
  provider_->rows = 3;
  list->SetScrollPosY(501 * 20);
  w_.Layout();
  EXPECT_EQ(list->GetCount(), 3u);
  EXPECT_FALSE(list->IsVirtual());
  EXPECT_EQ(list->GetScrollPos().cy, 0);
  EXPECT_EQ(TextAt(10), L"row 0");
  EXPECT_EQ(TextAt(50), L"row 2");

  // Many rows again: Refresh brings the elements back.
  provider_->rows = 50;
  list->Refresh();
  w_.Layout();
  EXPECT_EQ(list->GetCount(), 7u);
  list->SetScrollPosY(40 * 20);
  EXPECT_EQ(TextAt(10), L"row 40");
  // Shrinking below the scroll position while scrolling clamps it.
  provider_->rows = 20;
  list->SetScrollPosY(41 * 20);
  w_.Layout();
  EXPECT_LE(list->GetScrollPos().cy, 20 * 20 - 100);
  w_.native()->KeyDown(0x23);
  list->EndDown(false, false);
  EXPECT_EQ(TextAt(95), L"row 19");
  w_.native()->RunPendingTasks();
}

}  // namespace
}  // namespace ui
