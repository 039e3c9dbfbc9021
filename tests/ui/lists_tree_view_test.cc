// Trees built from skin markup and changed at run time: depth, indent,
// expand and collapse through events, and list indexes after every change.

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/control_test_support.h"
#include "tests/ui/layout_test_support.h"
#include "ui/control/tree_view.h"

namespace ui {
namespace {

using testing::SkinWindow;
using testing::WindowSkin;

constexpr int kLeft = 0x25;
constexpr int kRight = 0x27;

class TreeViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(w_.Build(WindowSkin(LR"(<TreeView name="tree" indent="10" vscrollbar="true">
        <TreeNode name="a" height="20">
          <TreeNode name="a1" height="20"/>
          <TreeNode name="a2" height="20"><TreeNode name="a2a" height="20"/></TreeNode>
        </TreeNode>
        <TreeNode name="b" height="20"/>
      </TreeView>)")),
              nullptr);
    w_.Layout();
    tree_ = w_.Find<TreeView>(L"tree");
    ASSERT_NE(tree_, nullptr);
  }
  TreeNode* Node(const std::wstring& name) { return w_.Find<TreeNode>(name); }
  // The names of the list items in order, and every item's index must match.
  std::wstring Order() {
    std::wstring names;
    for (size_t i = 0; i < tree_->GetCount(); ++i) {
      auto* node = dynamic_cast<TreeNode*>(tree_->GetItemAt(i));
      EXPECT_EQ(node->GetIndex(), static_cast<int>(i));
      names += node->GetName() + L" ";
    }
    return names;
  }

  SkinWindow w_{CSize(200, 200)};
  TreeView* tree_ = nullptr;
};

TEST_F(TreeViewTest, NestedMarkupBecomesAnIndentedListUnderAHiddenRoot) {
  EXPECT_EQ(Order(), L"a a1 a2 a2a b ");
  EXPECT_EQ(tree_->GetRootNode()->GetChildNodeCount(), 2u);
  EXPECT_EQ(Node(L"a")->GetParentNode(), tree_->GetRootNode());
  EXPECT_EQ(Node(L"a")->GetDepth(), 0);
  EXPECT_EQ(Node(L"a2")->GetDepth(), 1);
  EXPECT_EQ(Node(L"a2a")->GetDepth(), 2);
  EXPECT_EQ(Node(L"a2a")->GetLayout()->GetPadding().left, 20);
  EXPECT_EQ(Node(L"a")->GetLayout()->GetPadding().left, 0);
  EXPECT_EQ(w_.Pos(L"b").top, 80);
  EXPECT_EQ(Node(L"a")->GetDescendantNodeCount(), 3u);
  // Only nodes go into a tree view.
  Control* stray = new Control();
  EXPECT_FALSE(tree_->Add(stray));
  delete stray;
}

TEST_F(TreeViewTest, DoubleClickAndArrowKeysCollapseAndExpand) {
  w_.native()->DoubleClick(CPoint(50, 10));
  EXPECT_FALSE(Node(L"a")->IsExpand());
  EXPECT_FALSE(Node(L"a1")->IsVisible());
  EXPECT_FALSE(Node(L"a2a")->IsVisible());
  w_.Layout();
  EXPECT_EQ(w_.Pos(L"b").top, 20);

  // Select "a" by a click, then Right expands and Left collapses it again.
  w_.native()->Click(CPoint(50, 10));
  EXPECT_EQ(tree_->GetCurSel(), 0);
  w_.native()->KeyDown(kRight);
  EXPECT_TRUE(Node(L"a")->IsExpand());
  EXPECT_TRUE(Node(L"a2a")->IsVisible());
  w_.native()->KeyDown(kLeft);
  EXPECT_FALSE(Node(L"a")->IsExpand());
  // Down skips the hidden children.
  w_.native()->KeyDown(0x28);
  EXPECT_EQ(tree_->GetCurSel(), 4);

  // Collapsing the parent of the selected node clears the selection.
  Node(L"a")->SetExpand(true);
  ASSERT_TRUE(tree_->SelectItem(3));
  Node(L"a2")->SetExpand(false);
  EXPECT_EQ(tree_->GetCurSel(), -1);
  // A hidden node cannot be selected.
  EXPECT_FALSE(tree_->SelectItem(3));
}

TEST_F(TreeViewTest, AddingRemovingAndMovingKeepIndexesRight) {
  auto* fresh = new TreeNode();
  fresh->SetName(L"n");
  auto* fresh_child = new TreeNode();
  fresh_child->SetName(L"nc");
  ASSERT_TRUE(fresh->AddChildNode(fresh_child));
  ASSERT_TRUE(Node(L"a")->AddChildNodeAt(fresh, 1));
  EXPECT_EQ(Order(), L"a a1 n nc a2 a2a b ");
  EXPECT_EQ(fresh_child->GetDepth(), 2);
  auto outside = std::make_unique<TreeNode>();
  EXPECT_FALSE(Node(L"a")->AddChildNodeAt(outside.get(), 9));
  EXPECT_EQ(outside->GetParentNode(), nullptr);

  ASSERT_TRUE(tree_->SelectItem(6));
  EXPECT_TRUE(Node(L"a")->RemoveChildNode(Node(L"a2")));
  EXPECT_EQ(Order(), L"a a1 n nc b ");
  EXPECT_EQ(tree_->GetCurSel(), 4);

  // A node cannot go under itself or its own descendant.
  TreeNode* a = Node(L"a");
  EXPECT_FALSE(fresh_child->AddChildNode(a));
  EXPECT_FALSE(a->AddChildNode(a));
  EXPECT_EQ(Order(), L"a a1 n nc b ");

  // Moving a subtree takes it from its old place.
  ASSERT_TRUE(Node(L"b")->AddChildNode(fresh));
  EXPECT_EQ(Order(), L"a a1 b n nc ");
  EXPECT_EQ(fresh->GetDepth(), 1);
  EXPECT_EQ(fresh_child->GetLayout()->GetPadding().left, 20);
  EXPECT_EQ(fresh->GetParentNode(), Node(L"b"));

  EXPECT_TRUE(tree_->Remove(Node(L"b")));
  EXPECT_EQ(Order(), L"a a1 ");
  tree_->RemoveAll();
  EXPECT_EQ(tree_->GetCount(), 0u);
  EXPECT_EQ(tree_->GetRootNode()->GetChildNodeCount(), 0u);
  w_.native()->RunPendingTasks();
}

TEST(TreeNodeOwnership, NodesOutsideATreeOwnTheirChildren) {
  bool child_dead = false;
  auto* parent = new TreeNode();
  auto* child = new TreeNode();
  child->SetUserData(std::make_unique<DeathFlag>(&child_dead));
  ASSERT_TRUE(parent->AddChildNode(child));
  auto* grandchild = new TreeNode();
  ASSERT_TRUE(child->AddChildNode(grandchild));
  EXPECT_FALSE(grandchild->AddChildNode(parent));
  delete parent;
  EXPECT_TRUE(child_dead);
}

}  // namespace
}  // namespace ui
