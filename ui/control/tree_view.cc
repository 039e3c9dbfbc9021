#include "ui/control/tree_view.h"

#include <algorithm>
#include <cwchar>

#include "ui/core/window.h"
#include "ui/native/key_codes.h"

namespace ui {

// TreeNode -----------------------------------------------------------------------

TreeNode::~TreeNode() {
  if (tree_view_) return;
  std::vector<TreeNode*> children;
  children.swap(children_);
  for (TreeNode* child : children) {
    child->parent_node_ = nullptr;
    delete child;
  }
}

bool TreeNode::IsVisible() const {
  if (!ListContainerElement::IsVisible()) return false;
  return !parent_node_ || (parent_node_->expanded_ && parent_node_->IsVisible());
}

void TreeNode::SetInheritedVisible(bool visible) {
  ListContainerElement::SetInheritedVisible(visible);
  for (TreeNode* child : children_) child->SetInheritedVisible(IsVisible());
}

void TreeNode::SetWindow(Window* window, Box* parent, bool init) {
  ListContainerElement::SetWindow(window, parent, init);
  for (TreeNode* child : children_) child->SetWindow(window, child->GetParent(), init);
}

void TreeNode::HandleEvent(EventArgs& event) {
  if (event.type == kEventInternalDoubleClick && !children_.empty()) {
    std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
    ListContainerElement::HandleEvent(event);
    if (!alive.expired()) SetExpand(!expanded_);
    return;
  }
  if (event.type == kEventKeyDown && IsKeyboardEnabled() && !children_.empty() &&
      ((event.w_param == kVkLeft && expanded_) || (event.w_param == kVkRight && !expanded_))) {
    SetExpand(event.w_param == kVkRight);
    return;
  }
  ListContainerElement::HandleEvent(event);
}

bool TreeNode::Add(Control* control) {
  if (TreeNode* node = dynamic_cast<TreeNode*>(control)) return AddChildNode(node);
  return ListContainerElement::Add(control);
}

bool TreeNode::IsAncestorOf(const TreeNode* node) const {
  for (const TreeNode* n = node ? node->parent_node_ : nullptr; n; n = n->parent_node_) {
    if (n == this) return true;
  }
  return false;
}

TreeNode* TreeNode::GetChildNode(size_t index) const {
  return index < children_.size() ? children_[index] : nullptr;
}

int TreeNode::GetChildNodeIndex(const TreeNode* node) const {
  auto it = std::find(children_.begin(), children_.end(), node);
  return it == children_.end() ? -1 : static_cast<int>(it - children_.begin());
}

size_t TreeNode::GetDescendantNodeCount() const {
  size_t count = children_.size();
  for (const TreeNode* child : children_) count += child->GetDescendantNodeCount();
  return count;
}

int TreeNode::SubtreeEnd() const {
  if (children_.empty()) return index_ + 1;
  return children_.back()->SubtreeEnd();
}

void TreeNode::SetIndentFor(int depth) {
  const int indent = (tree_view_ && depth > 0) ? depth * tree_view_->GetIndent() : 0;
  if (indent == applied_indent_) return;
  // Both the node's children and its own text move right by the indent.
  UiRect padding = GetLayout()->GetPadding();
  padding.left += indent - applied_indent_;
  GetLayout()->SetPadding(padding, false);
  UiRect text_padding = GetTextPadding();
  text_padding.left += indent - applied_indent_;
  SetTextPadding(text_padding, false);
  applied_indent_ = indent;
}

void TreeNode::AttachTo(TreeView* view, int depth, size_t index) {
  tree_view_ = view;
  depth_ = depth;
  SetIndentFor(depth);
  view->ListInsert(this, index);
  size_t next = index + 1;
  for (TreeNode* child : children_) {
    child->AttachTo(view, depth + 1, next);
    next = static_cast<size_t>(child->SubtreeEnd());
  }
}

void TreeNode::ForgetView() {
  SetIndentFor(0);
  tree_view_ = nullptr;
  depth_ = -1;
  index_ = -1;
  for (TreeNode* child : children_) child->ForgetView();
}

void TreeNode::DetachFromView(bool destroy) {
  TreeView* view = tree_view_;
  if (!view) return;
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) (*it)->DetachFromView(destroy);
  if (destroy) {
    view->ListRemove(this);
    return;
  }
  const bool auto_destroy = view->IsAutoDestroy();
  view->SetAutoDestroy(false);
  view->ListRemove(this);
  view->SetAutoDestroy(auto_destroy);
}

bool TreeNode::AddChildNode(TreeNode* node) {
  return AddChildNodeAt(node, children_.size());
}

bool TreeNode::AddChildNodeAt(TreeNode* node, size_t index) {
  if (!node || node == this || node->IsAncestorOf(this) || index > children_.size()) {
    return false;
  }
  // The tree view's root lives outside the list; no other detached node may take it.
  if (tree_view_ && node == tree_view_->GetRootNode()) return false;
  if (node->parent_node_) {
    TreeNode* old_parent = node->parent_node_;
    // Moving within the same parent shifts the later positions.
    const int old_index = old_parent->GetChildNodeIndex(node);
    old_parent->DetachChildNode(node);
    if (old_parent == this && old_index >= 0 && static_cast<size_t>(old_index) < index) --index;
  }
  children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(index), node);
  node->parent_node_ = this;
  if (tree_view_) {
    const int at = index == 0 ? index_ + 1 : children_[index - 1]->SubtreeEnd();
    node->AttachTo(tree_view_, depth_ + 1, static_cast<size_t>(at));
  }
  return true;
}

bool TreeNode::DetachChildNode(TreeNode* node) {
  const int index = GetChildNodeIndex(node);
  if (index < 0) return false;
  node->DetachFromView(false);
  node->ForgetView();
  children_.erase(children_.begin() + index);
  node->parent_node_ = nullptr;
  return true;
}

bool TreeNode::RemoveChildNode(TreeNode* node) {
  const int index = GetChildNodeIndex(node);
  if (index < 0) return false;
  return RemoveChildNodeAt(static_cast<size_t>(index));
}

bool TreeNode::RemoveChildNodeAt(size_t index) {
  if (index >= children_.size()) return false;
  TreeNode* node = children_[index];
  if (!node->tree_view_) {
    DetachChildNode(node);
    delete node;
    return true;
  }
  children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(index));
  node->parent_node_ = nullptr;
  node->DetachFromView(true);
  return true;
}

void TreeNode::RemoveAllChildNodes() {
  while (!children_.empty()) RemoveChildNodeAt(children_.size() - 1);
}

void TreeNode::GetAccessibleInfo(AccessibleInfo* info) const {
  ListContainerElement::GetAccessibleInfo(info);
  info->role = AccessibleRole::kTreeItem;
  if (!children_.empty()) {
    info->states |= kAccessibleExpandable | (expanded_ ? kAccessibleExpanded : 0u);
  }
}

void TreeView::GetAccessibleInfo(AccessibleInfo* info) const {
  ListBox::GetAccessibleInfo(info);
  info->role = AccessibleRole::kTree;
}

void TreeNode::SetExpand(bool expand) {
  if (expanded_ == expand) return;
  expanded_ = expand;
  NotifyAccessible(AccessibleChange::kState);
  if (!tree_view_) return;
  const int sel = tree_view_->GetCurSel();
  if (!expand && sel > index_ && sel < SubtreeEnd()) tree_view_->SelectItem(-1, false, false);
  tree_view_->RelayoutSelf();
  tree_view_->Invalidate();
}

// TreeView -----------------------------------------------------------------------

TreeView::TreeView() : root_(new TreeNode()) {
  root_->tree_view_ = this;
  root_->depth_ = -1;
}

TreeView::~TreeView() {
  // The nodes are list items and die with the list; the root only links them.
  root_->children_.clear();
  delete root_;
}

void TreeView::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"indent") {
    SetIndent(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
  } else {
    ListBox::SetAttribute(name, value);
  }
}

bool TreeView::Add(Control* control) {
  TreeNode* node = dynamic_cast<TreeNode*>(control);
  return node && root_->AddChildNode(node);
}

bool TreeView::AddAt(Control* control, size_t index) {
  TreeNode* node = dynamic_cast<TreeNode*>(control);
  return node && root_->AddChildNodeAt(node, index);
}

bool TreeView::Remove(Control* control) {
  TreeNode* node = dynamic_cast<TreeNode*>(control);
  if (!node || node->tree_view_ != this || !node->parent_node_) return false;
  return node->parent_node_->RemoveChildNode(node);
}

bool TreeView::RemoveAt(size_t index) {
  Control* item = GetItemAt(index);
  return item && Remove(item);
}

void TreeView::RemoveAll() {
  root_->RemoveAllChildNodes();
  ListBox::RemoveAll();
}

}  // namespace ui
