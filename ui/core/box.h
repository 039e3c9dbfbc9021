#pragma once

// Containers: a Box owns its children and hands their placement to a Layout.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/core/control.h"
#include "ui/core/layout.h"

namespace ui {

class Box : public Control {
 public:
  explicit Box(std::unique_ptr<Layout> layout = nullptr);
  ~Box() override;

  // Control.
  void SetWindow(Window* window) override;
  void SetWindow(Window* window, Box* parent, bool init = true) override;
  CSize EstimateSize(CSize available) override;
  void SetPos(UiRect rect) override;
  void SetInheritedVisible(bool visible) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  Control* FindControl(FindControlProc proc, void* data, uint32_t flags,
                       CPoint scroll_pos = CPoint()) override;
  void DispatchEvent(EventArgs& event) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintChildren(IRenderContext* context, const UiRect& paint_area) override;
  void LoadImageCache() override;
  void ReleaseImageCache() override;
  void ClearImageCache() override;

  // Children.
  virtual int FindSelectable(int index, bool forward) const;
  virtual Control* GetItemAt(size_t index) const;
  virtual int GetItemIndex(const Control* control) const;
  virtual bool SetItemIndex(Control* control, size_t index);
  virtual size_t GetCount() const { return items_.size(); }
  virtual bool Add(Control* control);
  virtual bool AddAt(Control* control, size_t index);
  virtual bool Remove(Control* control);
  virtual bool RemoveAt(size_t index);
  virtual void RemoveAll();
  virtual bool IsAutoDestroy() const { return auto_destroy_; }
  virtual void SetAutoDestroy(bool value) { auto_destroy_ = value; }
  virtual bool IsDelayedDestroy() const { return delayed_destroy_; }
  virtual void SetDelayedDestroy(bool value) { delayed_destroy_ = value; }
  virtual bool IsMouseChildEnabled() const { return mouse_child_; }
  virtual void SetMouseChildEnabled(bool value) { mouse_child_ = value; }
  virtual Layout* GetLayout() const { return layout_.get(); }
  virtual void ResetLayout(std::unique_ptr<Layout> layout);
  // The item rect less the layout's padding.
  virtual UiRect GetPaddingPos() const;

  const std::vector<Control*>& GetItems() const { return items_; }

  // Handlers for events of descendants that bubble up here.
  void AttachBubbledEvent(int32_t kind, EventCallback callback);
  void AttachXmlBubbledEvent(int32_t kind, EventCallback callback);
  const EventMap& GetXmlBubbledEvents() const { return xml_bubbled_events_; }

 protected:
  // Deletes `control` now or through the window's clean-up.
  void DestroyChild(Control* control);

  EventMap xml_bubbled_events_;
  std::unique_ptr<Layout> layout_;
  bool auto_destroy_ = true;
  bool delayed_destroy_ = true;
  bool mouse_child_ = true;
  std::vector<Control*> items_;
  EventMap bubbled_events_;
};

class HBox : public Box {
 public:
  HBox() : Box(std::make_unique<HLayout>()) {}
};

class VBox : public Box {
 public:
  VBox() : Box(std::make_unique<VLayout>()) {}
};

class TileBox : public Box {
 public:
  TileBox() : Box(std::make_unique<TileLayout>()) {}
};

}  // namespace ui
