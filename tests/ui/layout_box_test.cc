// Layouts measured on trees built from skin markup in a headless window.

#include <gtest/gtest.h>

#include <memory>

#include "tests/ui/layout_test_support.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

UiRect Rect(int l, int t, int r, int b) {
  return UiRect(l, t, r, b);
}

TEST(LayoutRowTest, StretchChildrenShareRemainderFromTheFirst) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><HBox width="100" height="20">
      <Control name="a"/><Control name="b"/><Control name="c"/></HBox></VBox>)")));
  w.Layout();
  EXPECT_EQ(w.Pos(L"a"), Rect(0, 0, 34, 20));
  EXPECT_EQ(w.Pos(L"b"), Rect(34, 0, 67, 20));
  EXPECT_EQ(w.Pos(L"c"), Rect(67, 0, 100, 20));
}

TEST(LayoutRowTest, MaxWidthCapsAStretchChildAndLeavesTheRestEmpty) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><HBox width="100" height="20">
      <Control name="a" maxwidth="20"/><Control name="b" width="30"/></HBox></VBox>)")));
  w.Layout();
  EXPECT_EQ(w.Pos(L"a"), Rect(0, 0, 20, 20));
  EXPECT_EQ(w.Pos(L"b"), Rect(20, 0, 50, 20));
}

TEST(LayoutRowTest, MarginsChildMarginAndVerticalAlignment) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><HBox name="row" width="200" height="40"
      padding="5,5,5,5" childmargin="4">
      <Control name="a" width="20" height="10" valign="center"/>
      <Control name="b" margin="3,0,2,0" height="10" valign="bottom"/>
      <Control name="hidden" width="50" visible="false"/>
      <Control name="c" width="30" margin="0,2,0,2"/></HBox></VBox>)")));
  w.Layout();
  // Inner rect 5..195 x 5..35: b takes 190 - 20 - 30 - 2 * 4 - 5 = 127.
  EXPECT_EQ(w.Pos(L"a"), Rect(5, 15, 25, 25));
  EXPECT_EQ(w.Pos(L"b"), Rect(32, 25, 159, 35));
  EXPECT_EQ(w.Pos(L"c"), Rect(165, 7, 195, 33));
  EXPECT_TRUE(w.Pos(L"hidden").IsRectEmpty());
}

TEST(LayoutRowTest, StretchChildrenGetNothingWhenFixedOnesOverflow) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><HBox width="50" height="10">
      <Control name="a" width="40"/><Control name="s"/><Control name="b" width="40"/>
      </HBox></VBox>)")));
  w.Layout();
  EXPECT_EQ(w.Pos(L"s").GetWidth(), 0);
  EXPECT_EQ(w.Pos(L"b"), Rect(40, 0, 80, 10));
}

TEST(LayoutRowTest, AutoRowWithoutVisibleChildrenMeasuresToItsPadding) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><HBox name="row" width="auto" height="auto"
      padding="3,4,5,6"><Control width="10" height="10" visible="false"/></HBox></VBox>)")));
  w.Layout();
  EXPECT_EQ(w.Pos(L"row"), Rect(0, 0, 8, 10));
}

TEST(LayoutRowTest, AutoRowSumsChildrenMarginsAndPadding) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><HBox name="row" width="auto" height="auto"
      padding="1,2,3,4" childmargin="5">
      <Control width="10" height="20" margin="1,0,1,0"/><Control width="30" height="8"
      margin="0,0,0,6"/></HBox></VBox>)")));
  w.Layout();
  // Width 1 + (1 + 10 + 1) + 5 + 30 + 3, height 2 + 20 + 4.
  EXPECT_EQ(w.Pos(L"row"), Rect(0, 0, 51, 26));
}

TEST(LayoutColumnTest, CentredChildKeepsItsLeftMarginOutOfTheCentring) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><VBox width="200" height="100">
      <Control name="a" width="50" height="20" halign="center" margin="10,0,0,0"/>
      <Control name="b" width="50" height="20" halign="right"/></VBox></VBox>)")));
  w.Layout();
  EXPECT_EQ(w.Pos(L"a"), Rect(80, 0, 130, 20));
  EXPECT_EQ(w.Pos(L"b"), Rect(150, 20, 200, 40));
}

TEST(LayoutColumnTest, StretchHeightsShareTheColumn) {
  SkinWindow w(CSize(100, 101));
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox childmargin="1">
      <Control name="a"/><Control name="fixed" height="20"/><Control name="b"
      maxheight="30"/><Control name="c"/></VBox>)")));
  w.Layout();
  // 101 - 20 - 3 = 78 for three: 26 each; b is capped at 30 (no effect).
  EXPECT_EQ(w.Pos(L"a"), Rect(0, 0, 100, 26));
  EXPECT_EQ(w.Pos(L"fixed"), Rect(0, 27, 100, 47));
  EXPECT_EQ(w.Pos(L"b"), Rect(0, 48, 100, 74));
  EXPECT_EQ(w.Pos(L"c"), Rect(0, 75, 100, 101));
}

TEST(LayoutFloatTest, PlainBoxPlacesEveryChildByMarginAndAlignment) {
  SkinWindow w(CSize(200, 100));
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<Box>
      <Control name="br" width="20" height="10" halign="right" valign="bottom"
      margin="0,0,5,5"/><Control name="c" width="20" height="10" halign="center"
      valign="center"/><Control name="fill" margin="1,2,3,4"/></Box>)")));
  w.Layout();
  EXPECT_EQ(w.Pos(L"br"), Rect(175, 85, 195, 95));
  EXPECT_EQ(w.Pos(L"c"), Rect(90, 45, 110, 55));
  EXPECT_EQ(w.Pos(L"fill"), Rect(1, 2, 197, 96));
}

TEST(LayoutFloatTest, FloatingChildLeavesTheRowFlow) {
  SkinWindow w(CSize(100, 50));
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<HBox>
      <Control name="a"/><Control name="f" float="true" width="10" height="10"
      margin="30,20,0,0"/><Control name="b"/></HBox>)")));
  w.Layout();
  EXPECT_EQ(w.Pos(L"a"), Rect(0, 0, 50, 50));
  EXPECT_EQ(w.Pos(L"b"), Rect(50, 0, 100, 50));
  EXPECT_EQ(w.Pos(L"f"), Rect(30, 20, 40, 30));
}

TEST(LayoutTileTest, RemainderPixelsGoToTheFirstCellsOfEveryRow) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><TileBox width="100" height="100" columns="3"
      childmargin="4"><Control name="t0" height="20"/><Control name="t1" height="20"/>
      <Control name="t2" height="20"/><Control name="t3" height="20"/>
      <Control name="t4" height="20"/></TileBox></VBox>)")));
  w.Layout();
  // Cells 0..34, 34..67, 67..100; each child is inset by half the child margin.
  EXPECT_EQ(w.Pos(L"t0"), Rect(2, 0, 32, 20));
  EXPECT_EQ(w.Pos(L"t1"), Rect(36, 0, 65, 20));
  EXPECT_EQ(w.Pos(L"t2"), Rect(69, 0, 98, 20));
  EXPECT_EQ(w.Pos(L"t3"), Rect(2, 24, 32, 44));
  EXPECT_EQ(w.Pos(L"t4"), Rect(36, 24, 65, 44));
}

TEST(LayoutTileTest, ItemSizeDecidesColumnsAndChildrenAreCentred) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><TileBox name="tiles" width="130" height="100"
      itemsize="40,30"><Control name="t0" width="20" height="10"/>
      <Control name="t1" width="20" height="30"/><Control name="t2" width="20" height="10"/>
      <Control name="t3" width="20" height="10"/></TileBox></VBox>)")));
  w.Layout();
  auto* layout = dynamic_cast<TileLayout*>(w.Find<Box>(L"tiles")->GetLayout());
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(layout->GetColumns(), 3);
  // Cells 44, 43, 43 wide; the first row is 30 high (its tallest member).
  EXPECT_EQ(w.Pos(L"t0"), Rect(12, 10, 32, 20));
  EXPECT_EQ(w.Pos(L"t1"), Rect(55, 0, 75, 30));
  EXPECT_EQ(w.Pos(L"t3"), Rect(12, 30, 32, 40));
}

TEST(LayoutTileTest, AutoHeightTileBoxCountsRowsOfTheFirstChildHeight) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><TileBox name="tiles" width="90" height="auto"
      columns="2" childmargin="6" padding="0,1,0,2"><Control height="20"/><Control
      height="20"/><Control height="20"/></TileBox></VBox>)")));
  w.Layout();
  EXPECT_EQ(w.Pos(L"tiles").GetHeight(), 20 * 2 + 6 + 1 + 2);
}

TEST(LayoutBoxTest, ChildrenFollowVisibilityAndIndexChanges) {
  SkinWindow w(CSize(90, 10));
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<HBox name="row"><Control name="a"/><Control
      name="b"/><Control name="c"/></HBox>)")));
  w.Layout();
  Box* row = w.Find<Box>(L"row");
  Control* a = w.Find(L"a");
  EXPECT_EQ(w.Pos(L"c"), Rect(60, 0, 90, 10));
  a->SetVisible(false);
  w.Layout();
  EXPECT_EQ(w.Pos(L"b"), Rect(0, 0, 45, 10));
  a->SetVisible(true);
  ASSERT_TRUE(row->SetItemIndex(a, 2));
  EXPECT_FALSE(row->SetItemIndex(a, 3));
  w.Layout();
  EXPECT_EQ(w.Pos(L"a"), Rect(60, 0, 90, 10));
  EXPECT_EQ(row->GetItemIndex(a), 2);
  auto extra = std::make_unique<Control>();
  EXPECT_FALSE(row->AddAt(extra.get(), 4));
  EXPECT_FALSE(row->Add(nullptr));
  // A child already listed is not listed twice (the box would delete it twice).
  EXPECT_FALSE(row->Add(a));
  EXPECT_FALSE(row->AddAt(a, 0));
  EXPECT_EQ(row->GetCount(), 3u);
  EXPECT_EQ(row->GetItemIndex(a), 2);
  Control stranger;
  EXPECT_FALSE(row->Remove(&stranger));
  EXPECT_EQ(row->FindSelectable(0, true), 0);

  // Without auto destroy a removed child is the caller's, detached from the box.
  row->SetAutoDestroy(false);
  ASSERT_TRUE(row->Remove(a));
  row->SetAutoDestroy(true);
  std::unique_ptr<Control> kept(a);
  EXPECT_EQ(kept->GetParent(), nullptr);
  EXPECT_EQ(w.window()->GetDelayedCleanupCount(), 0u);
  w.Layout();
  EXPECT_EQ(w.Pos(L"c"), Rect(45, 0, 90, 10));
}

TEST(LayoutBoxTest, RemoveAllWithoutAutoDestroyDetachesEveryChild) {
  SkinWindow w(CSize(90, 10));
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><HBox name="row"><Control name="a"/><Control
      name="b"/></HBox></VBox>)")));
  w.Layout();
  Box* row = w.Find<Box>(L"row");
  std::unique_ptr<Control> a(w.Find(L"a"));
  std::unique_ptr<Control> b(w.Find(L"b"));
  row->SetAutoDestroy(false);
  row->RemoveAll();
  EXPECT_EQ(row->GetCount(), 0u);
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(b->GetParent(), nullptr);
  // The children outlive their former box: relaying them out must not reach it.
  ASSERT_TRUE(w.Find<Box>(L"row") == row);
  static_cast<Box*>(row->GetParent())->Remove(row);
  w.window()->DoDelayedCleanup();
  a->SetFixedWidth(20, true, false);
  b->SetVisible(false);
  EXPECT_EQ(a->GetFixedWidth(), 20);
}

TEST(LayoutBoxTest, HiddenBoxHidesItsChildrenThroughInheritance) {
  SkinWindow w;
  ASSERT_TRUE(
      w.Build(WindowSkin(LR"(<VBox><VBox name="outer"><Control
      name="leaf"/></VBox></VBox>)")));
  w.Layout();
  Control* leaf = w.Find(L"leaf");
  w.Find(L"outer")->SetVisible(false);
  EXPECT_FALSE(leaf->IsVisible());
  EXPECT_FALSE(leaf->IsInternVisible());
  w.Find(L"outer")->SetVisible(true);
  EXPECT_TRUE(leaf->IsVisible());

  // Moved out of a hidden box into a shown one, the child shows again.
  auto* outer = w.Find<Box>(L"outer");
  outer->SetVisible(false);
  outer->SetAutoDestroy(false);
  ASSERT_TRUE(outer->Remove(leaf));
  outer->SetAutoDestroy(true);
  auto* root = static_cast<Box*>(outer->GetParent());
  ASSERT_TRUE(root->Add(leaf));
  EXPECT_TRUE(leaf->IsVisible());
  w.Layout();
  EXPECT_FALSE(leaf->GetPos().IsRectEmpty());
}

}  // namespace
}  // namespace ui
