// List boxes driven through the headless window: clicks, keys and the wheel
// select items; bad indexes, removals and hidden items leave a defined state.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/ui/layout_test_support.h"
#include "ui/control/list_box.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

constexpr int kUp = 0x26;
constexpr int kDown = 0x28;
constexpr int kHome = 0x24;
constexpr int kEnd = 0x23;
constexpr int kPageUp = 0x21;
constexpr int kPageDown = 0x22;
constexpr int kReturn = 0x0D;

// Ten 20-pixel items in a 100-pixel list: five show at once.
std::wstring TenItems(const std::wstring& list_attributes) {
  std::wstring items;
  for (int i = 0; i < 10; ++i) {
    items += L"<ListContainerElement name=\"i" + std::to_wstring(i) + L"\" height=\"20\"/>";
  }
  return WindowSkin(L"<VListBox name=\"list\" vscrollbar=\"true\" " + list_attributes + L">" +
                    items + L"</VListBox>");
}

class ListBoxTest : public ::testing::Test {
 protected:
  ListBox* Build(const std::wstring& attributes = L"") {
    EXPECT_NE(w_.Build(TenItems(attributes)), nullptr);
    w_.Layout();
    ListBox* list = w_.Find<ListBox>(L"list");
    list->AttachEvent(kEventSelect, [this](const EventArgs& e) {
      selections_.emplace_back(static_cast<int>(e.w_param), static_cast<int>(e.l_param));
      return true;
    });
    return list;
  }
  ListContainerElement* Item(int i) {
    return w_.Find<ListContainerElement>(L"i" + std::to_wstring(i));
  }
  void ClickItem(int i) { w_.native()->Click(CPoint(50, Item(i)->GetPos().top + 10)); }

  SkinWindow w_{CSize(200, 100)};
  std::vector<std::pair<int, int>> selections_;
};

TEST_F(ListBoxTest, ClickSelectsOneItemAndReportsTheChangeOnce) {
  ListBox* list = Build();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->GetCurSel(), -1);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Item(i)->GetIndex(), i);

  ClickItem(2);
  EXPECT_EQ(list->GetCurSel(), 2);
  EXPECT_TRUE(Item(2)->IsSelected());
  ASSERT_EQ(selections_.size(), 1u);
  EXPECT_EQ(selections_[0], std::make_pair(2, -1));

  ClickItem(3);
  EXPECT_EQ(list->GetCurSel(), 3);
  EXPECT_FALSE(Item(2)->IsSelected());
  EXPECT_TRUE(Item(3)->IsSelected());
  ASSERT_EQ(selections_.size(), 2u);
  EXPECT_EQ(selections_[1], std::make_pair(3, 2));

  // Enter on the focused item is reported as return.
  int returns = 0;
  Item(3)->AttachEvent(kEventReturn, [&returns](const EventArgs&) {
    ++returns;
    return true;
  });
  w_.native()->KeyDown(kReturn);
  EXPECT_EQ(returns, 1);
  EXPECT_EQ(list->GetCurSel(), 3);
}

TEST_F(ListBoxTest, KeysMoveTheSelectionAndKeepItInView) {
  ListBox* list = Build();
  ClickItem(0);
  ASSERT_EQ(w_.window()->GetFocus(), Item(0));

  w_.native()->KeyDown(kDown);
  w_.native()->KeyDown(kDown);
  EXPECT_EQ(list->GetCurSel(), 2);
  EXPECT_EQ(list->GetScrollPos().cy, 0);

  // End brings the last item to the bottom edge: 10 × 20 − 100.
  w_.native()->KeyDown(kEnd);
  EXPECT_EQ(list->GetCurSel(), 9);
  EXPECT_EQ(list->GetScrollPos().cy, 100);
  // Down at the end stays there.
  w_.native()->KeyDown(kDown);
  EXPECT_EQ(list->GetCurSel(), 9);

  w_.native()->KeyDown(kHome);
  EXPECT_EQ(list->GetCurSel(), 0);
  EXPECT_EQ(list->GetScrollPos().cy, 0);
  w_.native()->KeyDown(kUp);
  EXPECT_EQ(list->GetCurSel(), 0);

  // A page is five items; the selection scrolls into view by the least amount.
  w_.native()->KeyDown(kPageDown);
  EXPECT_EQ(list->GetCurSel(), 5);
  EXPECT_EQ(list->GetScrollPos().cy, 20);
  w_.native()->KeyDown(kPageUp);
  EXPECT_EQ(list->GetCurSel(), 0);
  EXPECT_EQ(list->GetScrollPos().cy, 0);

  // Disabled and hidden items are stepped over.
  Item(1)->SetEnabled(false);
  Item(2)->SetVisible(false);
  w_.native()->KeyDown(kDown);
  EXPECT_EQ(list->GetCurSel(), 3);
  w_.native()->KeyDown(kUp);
  EXPECT_EQ(list->GetCurSel(), 0);
  // When the last item cannot be selected, End stops at the one before it.
  Item(9)->SetEnabled(false);
  w_.native()->KeyDown(kEnd);
  EXPECT_EQ(list->GetCurSel(), 8);
}

TEST_F(ListBoxTest, WheelSelectsWithScrollSelectAndScrollsWithout) {
  ListBox* list = Build(L"scrollselect=\"true\"");
  ASSERT_TRUE(list->IsScrollSelect());
  ClickItem(1);
  w_.native()->Wheel(CPoint(50, 50), -120);
  EXPECT_EQ(list->GetCurSel(), 2);
  w_.native()->Wheel(CPoint(50, 50), 120);
  w_.native()->Wheel(CPoint(50, 50), 120);
  EXPECT_EQ(list->GetCurSel(), 0);
  EXPECT_EQ(list->GetScrollPos().cy, 0);

  list->SetScrollSelect(false);
  w_.native()->Wheel(CPoint(50, 50), -120);
  EXPECT_EQ(list->GetCurSel(), 0);
}

TEST_F(ListBoxTest, BadIndexesAndRemovalsLeaveADefinedSelection) {
  ListBox* list = Build();
  EXPECT_TRUE(list->SelectItem(4));
  EXPECT_FALSE(list->SelectItem(99));
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_FALSE(Item(4)->IsSelected());
  EXPECT_FALSE(list->SelectItem(-1));
  EXPECT_EQ(list->GetCurSel(), -1);

  // Removing an item before the selection moves its index down.
  ASSERT_TRUE(list->SelectItem(4));
  ListContainerElement* selected = Item(4);
  EXPECT_TRUE(list->RemoveAt(0));
  EXPECT_EQ(list->GetCurSel(), 3);
  EXPECT_EQ(selected->GetIndex(), 3);
  EXPECT_FALSE(list->RemoveAt(50));

  // Removing the selected item hands the selection to the one taking its place.
  selections_.clear();
  EXPECT_TRUE(list->Remove(selected));
  EXPECT_EQ(list->GetCurSel(), 3);
  EXPECT_EQ(list->GetItemAt(3)->GetName(), L"i5");
  ASSERT_EQ(selections_.size(), 1u);
  EXPECT_EQ(selections_[0].first, 3);
  // ... and, at the end of the list, to the one before it.
  ASSERT_TRUE(list->SelectItem(static_cast<int>(list->GetCount()) - 1));
  EXPECT_TRUE(list->RemoveAt(list->GetCount() - 1));
  EXPECT_EQ(list->GetCurSel(), static_cast<int>(list->GetCount()) - 1);
  ASSERT_TRUE(list->SelectItem(2));
  for (size_t i = 0; i < list->GetCount(); ++i) {
    EXPECT_EQ(dynamic_cast<ListContainerElement*>(list->GetItemAt(i))->GetIndex(),
              static_cast<int>(i));
  }

  // Moving an item keeps the selection on the same element.
  Control* kept = list->GetItemAt(2);
  EXPECT_TRUE(list->SetItemIndex(list->GetItemAt(5), 0));
  EXPECT_EQ(list->GetItemAt(static_cast<size_t>(list->GetCurSel())), kept);
  EXPECT_EQ(list->GetCurSel(), 3);

  // Unselecting the selected element clears the list's selection.
  auto* element = dynamic_cast<ListContainerElement*>(kept);
  element->Selected(false);
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_FALSE(element->IsSelected());
  ASSERT_TRUE(list->SelectItem(3));

  // Hiding the selected item clears the selection.
  kept->SetVisible(false);
  EXPECT_EQ(list->GetCurSel(), -1);

  list->SelectItem(0);
  list->RemoveAll();
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_FALSE(list->SelectItem(0));
  w_.native()->RunPendingTasks();
}

TEST_F(ListBoxTest, SelectingBeforeLayoutShowsTheItemOnceLaidOut) {
  EXPECT_NE(w_.Build(TenItems(L"")), nullptr);
  ListBox* list = w_.Find<ListBox>(L"list");
  ASSERT_TRUE(list->SelectItem(8));
  w_.Layout();
  const int top = list->GetScrollPos().cy;
  EXPECT_LE(top, Item(8)->GetPos().top);
  EXPECT_GE(top + 100, Item(8)->GetPos().bottom);
  EXPECT_EQ(list->GetTopItem(), Item(4));
  EXPECT_TRUE(list->ScrollItemToTop(L"i2"));
  EXPECT_EQ(list->GetTopItem(), Item(2));
  EXPECT_FALSE(list->ScrollItemToTop(L"none"));
}

}  // namespace
}  // namespace ui
