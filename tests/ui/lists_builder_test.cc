// The skin tags of the selection and value controls: each tag makes its
// control with the layout it is listed with, and each attribute (given
// directly or through a window class) reaches the control.

#include <gtest/gtest.h>

#include "tests/ui/layout_test_support.h"
#include "ui/control/combo.h"
#include "ui/control/slider.h"
#include "ui/control/tab_box.h"
#include "ui/control/tree_view.h"
#include "ui/control/virtual_list_box.h"

namespace ui {
namespace {

using testing::SkinWindow;

TEST(ListsBuilderTest, TagsMakeTheirControlsWithTheirAttributes) {
  SkinWindow w(CSize(400, 300));
  ASSERT_NE(w.Build(LR"(<?xml version="1.0" encoding="UTF-8"?><Window>
      <Class name="wheel_list" value="scrollselect=&quot;true&quot;"/>
      <VBox>
        <ListBox name="plain"/><HListBox name="h"/><VListBox name="v" class="wheel_list"/>
        <TileListBox name="tile"/>
        <TreeView name="tree" indent="12" scrollselect="true"><TreeNode name="n"/></TreeView>
        <TabBox name="tabs" fadeswitch="true"/>
        <Slider name="s" step="7" thumbsize="8,14" progressbarpadding="1,2,3,4"
                thumbnormalimage="file='a.png'" thumbhotimage="file='b.png'"
                thumbpushedimage="file='c.png'" thumbdisabledimage="file='d.png'"/>
        <Combo name="c" dropboxsize="90,60" popuptop="true" vscrollbar="false"
               dropbox="padding=&quot;2,2,2,2&quot;"><ListContainerElement name="e"/></Combo>
        <VirtualListBox name="virtual"/>
      </VBox></Window>)"),
            nullptr);
  w.Layout();

  auto* plain = w.Find<ListBox>(L"plain");
  ASSERT_NE(plain, nullptr);
  auto* plain_layout = plain->GetLayout();
  EXPECT_EQ(dynamic_cast<VLayout*>(plain_layout), nullptr);
  EXPECT_EQ(dynamic_cast<HLayout*>(plain_layout), nullptr);
  EXPECT_NE(dynamic_cast<HLayout*>(w.Find<ListBox>(L"h")->GetLayout()), nullptr);
  EXPECT_NE(dynamic_cast<VLayout*>(w.Find<ListBox>(L"v")->GetLayout()), nullptr);
  EXPECT_TRUE(w.Find<ListBox>(L"v")->IsScrollSelect());
  EXPECT_FALSE(plain->IsScrollSelect());
  EXPECT_NE(dynamic_cast<TileLayout*>(w.Find<ListBox>(L"tile")->GetLayout()), nullptr);

  auto* tree = w.Find<TreeView>(L"tree");
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->GetIndent(), 12);
  EXPECT_TRUE(tree->IsScrollSelect());
  EXPECT_NE(dynamic_cast<VLayout*>(tree->GetLayout()), nullptr);
  EXPECT_EQ(w.Find<TreeNode>(L"n")->GetTreeView(), tree);

  EXPECT_TRUE(w.Find<TabBox>(L"tabs")->IsFadeSwitch());
  EXPECT_EQ(w.Find<TabBox>(L"tabs")->GetCurSel(), -1);

  auto* s = w.Find<Slider>(L"s");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetChangeStep(), 7);
  EXPECT_EQ(s->GetThumbSize(), CSize(8, 14));
  EXPECT_EQ(s->GetProgressBarPadding(), UiRect(1, 2, 3, 4));
  EXPECT_EQ(s->GetThumbStateImage(kControlStateHot), L"file='b.png'");
  EXPECT_EQ(s->GetThumbStateImage(kControlStateDisabled), L"file='d.png'");

  auto* c = w.Find<Combo>(L"c");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->GetDropBoxSize(), CSize(90, 60));
  EXPECT_TRUE(c->IsPopupTop());
  EXPECT_EQ(c->GetListBox()->GetLayout()->GetPadding(), UiRect(2, 2, 2, 2));
  // The combo's list scrolls whatever the skin says about its bar.
  EXPECT_NE(c->GetListBox()->GetVerticalScrollBar(), nullptr);
  EXPECT_EQ(c->GetCount(), 1u);
  EXPECT_EQ(c->GetListBox()->GetWindow(), w.window());

  auto* virtual_list = w.Find<VirtualListBox>(L"virtual");
  ASSERT_NE(virtual_list, nullptr);
  EXPECT_NE(dynamic_cast<VirtualLayout*>(virtual_list->GetLayout()), nullptr);
  // Without a provider it is an empty list.
  virtual_list->Refresh();
  EXPECT_EQ(virtual_list->GetCount(), 0u);
}

}  // namespace
}  // namespace ui
