#pragma once

// A tree drawn as a flat list: every node is an item of the tree view's list,
// placed after its parent and its earlier siblings' subtrees, indented by its
// depth. A hidden root holds the top-level nodes.

#include <string>
#include <vector>

#include "ui/control/list_box.h"

namespace ui {

class TreeView;

class TreeNode : public ListContainerElement {
 public:
  TreeNode() = default;
  // A node outside any tree view owns its child nodes; inside one, the list does.
  ~TreeNode() override;

  // Control and Box.
  bool IsVisible() const override;
  void HandleEvent(EventArgs& event) override;
  void SetInheritedVisible(bool visible) override;
  using ListContainerElement::SetWindow;
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  // Tree nodes become child nodes; anything else is the node's own content.
  bool Add(Control* control) override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;

  // False for a node that already has a parent, for this node itself and for
  // one of its ancestors (a node cannot hold its own ancestor).
  bool AddChildNode(TreeNode* node);
  bool AddChildNodeAt(TreeNode* node, size_t index);
  // Removes and destroys `node` with its subtree.
  bool RemoveChildNode(TreeNode* node);
  bool RemoveChildNodeAt(size_t index);
  void RemoveAllChildNodes();
  // Takes `node` with its subtree out of the tree without destroying it.
  bool DetachChildNode(TreeNode* node);

  size_t GetChildNodeCount() const { return children_.size(); }
  TreeNode* GetChildNode(size_t index) const;
  int GetChildNodeIndex(const TreeNode* node) const;
  // Nodes below this one, at every depth.
  size_t GetDescendantNodeCount() const;
  TreeNode* GetParentNode() const { return parent_node_; }
  TreeView* GetTreeView() const { return tree_view_; }
  int GetDepth() const { return depth_; }
  bool IsExpand() const { return expanded_; }
  void SetExpand(bool expand);
  bool IsAncestorOf(const TreeNode* node) const;

 private:
  friend class TreeView;

  // The list index right after this node's subtree.
  int SubtreeEnd() const;
  // Puts this node and its subtree into `view`'s list from `index` on.
  void AttachTo(TreeView* view, int depth, size_t index);
  // Takes this node and its subtree out of the list, destroying them or not.
  void DetachFromView(bool destroy);
  // Forgets the tree view below this node and undoes the depth's indent.
  void ForgetView();
  void SetIndentFor(int depth);

  int depth_ = -1;
  bool expanded_ = true;
  TreeNode* parent_node_ = nullptr;
  std::vector<TreeNode*> children_;
  TreeView* tree_view_ = nullptr;
  // The indent this node's padding carries for its depth.
  int applied_indent_ = 0;
};

class TreeView : public ListBox {
 public:
  TreeView();
  ~TreeView() override;

  // Control and Box.
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  // Only tree nodes are taken: they become top-level nodes.
  bool Add(Control* control) override;
  bool AddAt(Control* control, size_t index) override;
  bool Remove(Control* control) override;
  bool RemoveAt(size_t index) override;
  void RemoveAll() override;
  void GetAccessibleInfo(AccessibleInfo* info) const override;

  TreeNode* GetRootNode() const { return root_; }
  int GetIndent() const { return indent_; }
  void SetIndent(int indent) { indent_ = indent; }

 private:
  friend class TreeNode;
  bool ListInsert(Control* control, size_t index) { return ListBox::AddAt(control, index); }
  bool ListRemove(Control* control) {
    const int index = GetItemIndex(control);
    return index >= 0 && ListBox::RemoveAt(static_cast<size_t>(index));
  }

  int indent_ = 0;
  TreeNode* root_;
};

}  // namespace ui
