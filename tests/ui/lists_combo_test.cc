// The combo's drop-down as a popup of the headless window: where it opens,
// how big it is, what closes it, and that a choice is reported once.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/layout_test_support.h"
#include "ui/control/combo.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

std::wstring ComboSkin(int items, const std::wstring& attributes, int top = 10) {
  std::wstring body = L"<VBox><Control height=\"" + std::to_wstring(top) + L"\"/>" +
                      L"<Combo name=\"c\" width=\"100\" height=\"24\" margin=\"10,0,0,0\" " +
                      attributes + L">";
  for (int i = 0; i < items; ++i) {
    body += L"<ListContainerElement height=\"24\" text=\"item " + std::to_wstring(i) + L"\"/>";
  }
  return WindowSkin(body + L"</Combo></VBox>");
}

class ComboTest : public ::testing::Test {
 protected:
  Combo* Build(int items, const std::wstring& attributes = L"", int top = 10) {
    w_.native()->SetWindowRect(UiRect(100, 100, 400, 400), false);
    EXPECT_NE(w_.Build(ComboSkin(items, attributes, top)), nullptr);
    w_.Layout();
    Combo* combo = w_.Find<Combo>(L"c");
    combo->AttachEvent(kEventSelect, [this](const EventArgs& e) {
      selects_.push_back(static_cast<int>(e.w_param));
      return true;
    });
    combo->AttachEvent(kEventClick, [this](const EventArgs&) {
      ++clicks_;
      return true;
    });
    return combo;
  }
  HeadlessWindow* Open(Combo* combo) {
    const UiRect r = combo->GetPos();
    w_.native()->Click(CPoint(r.left + 5, r.top + 5));
    HeadlessWindow* popup = w_.native()->GetLastPopup();
    if (popup) popup->PaintAll();
    return popup;
  }
  // Runs what the popup and the window posted: closing, then deleting.
  void Settle(HeadlessWindow* popup) {
    if (popup && popup->IsValid()) popup->RunPendingTasks();
    w_.native()->RunPendingTasks();
  }

  SkinWindow w_{CSize(300, 300)};
  std::vector<int> selects_;
  int clicks_ = 0;
};

TEST_F(ComboTest, OpensBelowSizedByItemsAndReportsAChoiceOnce) {
  Combo* combo = Build(20);
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->GetCount(), 20u);
  EXPECT_EQ(combo->GetText(), L"");
  EXPECT_EQ(combo->GetPos(), UiRect(10, 10, 110, 34));

  HeadlessWindow* popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(clicks_, 1);
  EXPECT_TRUE(popup->IsPopup());
  EXPECT_TRUE(popup->IsVisible());
  EXPECT_TRUE(popup->HasFocus());
  EXPECT_EQ(popup->GetOwner(), w_.native());
  // Below the field, one pixel apart; 20 items of 24 pixels: the full 150.
  EXPECT_EQ(popup->GetWindowRect(), UiRect(110, 135, 210, 285));
  EXPECT_EQ(combo->GetListBox()->GetWindow(), combo->GetDropWindow());
  // A second click while open makes no second popup.
  EXPECT_EQ(w_.native()->GetPopups().size(), 1u);

  popup->Click(CPoint(50, 24 + 12));
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(selects_, std::vector<int>{1});
  Settle(popup);
  EXPECT_EQ(combo->GetDropWindow(), nullptr);
  EXPECT_TRUE(w_.native()->GetPopups().empty());
  EXPECT_EQ(selects_, std::vector<int>{1});
  EXPECT_EQ(combo->GetText(), L"item 1");
  EXPECT_EQ(combo->GetListBox()->GetWindow(), w_.window());
  EXPECT_TRUE(w_.native()->HasFocus());

  // Opening again works, and the list still holds every item.
  popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(combo->GetListBox()->GetCurSel(), 1);
  popup->KeyDown(0x1B);
  Settle(popup);
  EXPECT_EQ(combo->GetDropWindow(), nullptr);
  EXPECT_EQ(combo->GetCount(), 20u);
}

TEST_F(ComboTest, FewItemsGiveAShortList) {
  Combo* combo = Build(3);
  HeadlessWindow* popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->GetWindowRect().GetHeight(), 74);
}

TEST_F(ComboTest, EscapeClickOutsideAndFocusLossCloseWithoutAChoice) {
  Combo* combo = Build(5);
  ASSERT_TRUE(combo->SelectItem(2));
  EXPECT_EQ(combo->GetText(), L"item 2");

  HeadlessWindow* popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  popup->KeyDown(0x1B);
  Settle(popup);
  EXPECT_EQ(combo->GetDropWindow(), nullptr);

  popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  // A press elsewhere in the owner takes the focus from the popup.
  w_.native()->Click(CPoint(250, 250));
  EXPECT_FALSE(popup->HasFocus());
  Settle(popup);
  EXPECT_EQ(combo->GetDropWindow(), nullptr);

  popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  popup->LoseFocus();
  Settle(popup);
  EXPECT_EQ(combo->GetDropWindow(), nullptr);

  EXPECT_TRUE(selects_.empty());
  EXPECT_EQ(combo->GetCurSel(), 2);
  EXPECT_EQ(clicks_, 3);
}

TEST_F(ComboTest, OpensAboveAtTheScreenEdgeOrWhenAsked) {
  Combo* combo = Build(5, L"dropboxsize=\"200,60\"", 200);
  // The window sits at 100,100: the field spans 300..324 on the screen.
  w_.native()->SetWorkArea(UiRect(0, 0, 1000, 360));
  HeadlessWindow* popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->GetWindowRect(), UiRect(110, 240, 310, 300));
  popup->KeyDown(0x1B);
  Settle(popup);

  w_.native()->SetWorkArea(UiRect(0, 0, 1000, 1000));
  popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->GetWindowRect(), UiRect(110, 325, 310, 385));
  popup->KeyDown(0x1B);
  Settle(popup);

  combo->SetPopupTop(true);
  popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->GetWindowRect().bottom, 300);
}

TEST_F(ComboTest, BadIndexesAndRemovalsKeepTheFieldConsistent) {
  Combo* combo = Build(4);
  EXPECT_FALSE(combo->SelectItem(9));
  EXPECT_EQ(combo->GetCurSel(), -1);
  EXPECT_EQ(combo->GetText(), L"");
  ASSERT_TRUE(combo->SelectItem(3, true));
  EXPECT_EQ(selects_, std::vector<int>{3});
  EXPECT_TRUE(combo->RemoveAt(3));
  EXPECT_EQ(combo->GetCurSel(), 2);
  EXPECT_EQ(combo->GetText(), L"item 2");
  combo->RemoveAll();
  EXPECT_EQ(combo->GetCurSel(), -1);
  // An empty combo still opens, two pixels high.
  HeadlessWindow* popup = Open(combo);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->GetWindowRect().GetHeight(), 2);
  w_.native()->RunPendingTasks();
}

TEST_F(ComboTest, DestroyingTheComboWhileOpenClosesThePopup) {
  Combo* combo = Build(4);
  ASSERT_NE(Open(combo), nullptr);
  // Replacing the tree deletes the combo with its open drop-down.
  w_.window()->AttachDialog(new VBox());
  w_.native()->RunPendingTasks();
  EXPECT_TRUE(w_.native()->GetPopups().empty());
  w_.Layout();
}

}  // namespace
}  // namespace ui
