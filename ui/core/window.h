#pragma once

// The platform-neutral part of the window host: the tables controls use, input
// routing to controls, and the lay-out-and-paint pass into a render context.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "ui/core/control.h"
#include "ui/geometry/geometry.h"
#include "ui/native/native_window.h"

namespace ui {

class Box;
class IRenderContext;

class Window : public virtual nbase::SupportWeakCallback, public NativeWindowDelegate {
 public:
  Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() override;

  // Binds a created native window: becomes its delegate and makes the render context.
  bool Init(std::unique_ptr<NativeWindow> native);
  NativeWindow* GetNativeWindow() const { return native_.get(); }
  virtual void OnInitLayout();
  // Runs once, right after the first frame was painted (what a user first
  // sees of the window), as its pixels go to the screen: work that may wait
  // for it starts here, on another thread or in a posted task.
  virtual void OnFirstFrame() {}

  // The tree. The window owns the root.
  void AttachDialog(Control* root);
  Control* GetRoot() const { return root_; }
  // Gives `control` the window and registers the names of its subtree.
  bool InitControls(Control* control, Box* parent = nullptr);
  // Forgets every reference to `control` (called by its destructor).
  void ReapObjects(Control* control);
  // Deletes `control` on the next clean-up task, after the current event.
  void AddDelayedCleanup(Control* control);
  size_t GetDelayedCleanupCount() const { return delayed_cleanup_.size(); }

  Control* FindControl(CPoint point) const;
  Control* FindControl(const std::wstring& name) const;
  // Case-insensitive search below `parent`.
  Control* FindSubControlByName(Control* parent, const std::wstring& name) const;

  // Focus and hover.
  Control* GetFocus() const { return focus_; }
  void SetFocus(Control* control);
  void KillFocus() { SetFocus(nullptr); }
  // Keyboard navigation: the focus goes to the next (or previous) Tab stop in tree order,
  // wrapping; false when the window has none.
  bool MoveFocus(bool forward);
  // True while the focus was last placed by the keyboard: then the focused control shows its
  // focus ring. A focus from the mouse or the program shows none.
  bool IsFocusFromKeyboard() const { return focus_from_keyboard_; }
  // `control` was disabled: a focus on it or inside it moves on to the next
  // Tab stop, or goes when there is none.
  void OnControlDisabled(Control* control);
  Control* GetNewHover() const { return new_hover_; }
  Control* GetEventHover() const { return event_hover_; }
  Control* GetClickControl() const { return click_; }
  CPoint GetLastMousePos() const { return last_mouse_point_; }
  void SetCursor(CursorType cursor);

  bool SendNotify(Control* control, int32_t kind, uintptr_t w_param = 0, intptr_t l_param = 0);
  // Handlers for events of the window itself (window close).
  void AttachWindowEvent(int32_t kind, EventCallback callback);

  // Option groups.
  bool AddOptionGroup(const std::wstring& group, Control* control);
  std::vector<Control*>* GetOptionGroup(const std::wstring& group);
  void RemoveOptionGroup(const std::wstring& group, Control* control);
  void RemoveAllOptionGroups() { option_groups_.clear(); }

  // The window's own classes.
  void AddClass(const std::wstring& name, const std::wstring& attributes);
  std::wstring GetClassAttributes(const std::wstring& name) const;
  void RemoveAllClasses() { classes_.clear(); }

  // Folder of this window's skin files; ends in a separator when not empty.
  const std::wstring& GetResourcePath() const { return resource_path_; }
  void SetResourcePath(const std::wstring& path);

  // The title from the language strings.
  void SetWindowTextId(const std::wstring& id);

  // Layout and painting.
  void SetNeedLayout() { need_layout_ = true; }
  bool IsNeedLayout() const { return need_layout_; }
  void Invalidate(const UiRect& rect);
  IRenderContext* GetRenderContext() const { return render_context_.get(); }
  // Lays out what asked for it and paints `update_rect`; what OnNativePaint does.
  void Paint(const UiRect& update_rect);
  CSize GetClientSize() const;
  bool IsLayered() const { return layered_; }
  void SetLayered(bool layered) { layered_ = layered; }
  uint8_t GetWindowAlpha() const { return window_alpha_; }
  void SetWindowAlpha(int alpha);
  CPoint GetRenderOffset() const { return render_offset_; }
  void SetRenderOffset(CPoint offset);

  // Shadow sides around the root (kept here: control positions depend on them).
  bool IsShadowAttached() const { return shadow_attached_; }
  void SetShadowAttached(bool attached) { shadow_attached_ = attached; }
  UiRect GetShadowCorner() const { return shadow_corner_; }
  void SetShadowCorner(const UiRect& corner) { shadow_corner_ = corner; }
  UiRect GetAlphaFixCorner() const { return alpha_fix_corner_; }
  // Wraps `root` in a ShadowBox when the shadow is attached and returns the
  // new root (or `root` unchanged); call before AttachDialog.
  Control* AttachShadow(Control* root);
  // The box made by AttachShadow, or nullptr; it is the root, not owned apart.
  Box* GetShadowBox() const { return shadow_box_; }

  // What the skin's `Window` element sets (the window builder fills it; the
  // native host applies it).
  struct SkinAttributes {
    CSize init_size;
    CSize min_info;
    CSize max_info;
    UiRect size_box;
    UiRect caption;
    CSize round_corner;
    std::wstring shadow_image = L"file='../public/bk/bk_shadow.png' corner='30,30,30,30'";
    bool use_default_shadow_image = true;
    UiRect shadow_corner_unscaled{14, 14, 14, 14};
    UiRect shadow_corner_restore;
  };
  SkinAttributes& GetSkinAttributes() { return skin_attributes_; }
  void SetAlphaFixCorner(const UiRect& corner) { alpha_fix_corner_ = corner; }

  // NativeWindowDelegate.
  bool OnNativeMessage(const NativeMessage& message) override;
  void OnNativePaint(const UiRect& update_rect) override;
  void OnNativeDestroyed() override;
  void OnNativeComposition(const std::wstring& text, int cursor) override;

  // Runs the delayed clean-up now (normally a posted task does it).
  void DoDelayedCleanup();

  // Assistive technology: the one observer of the control tree (the native
  // accessibility tree, while something asks for it). Without one, telling
  // it costs a test.
  void SetAccessibilityObserver(AccessibilityObserver* observer) {
    accessibility_observer_ = observer;
  }
  AccessibilityObserver* GetAccessibilityObserver() const { return accessibility_observer_; }
  void NotifyAccessible(Control* control, AccessibleChange change) {
    if (accessibility_observer_) accessibility_observer_->OnAccessibleChange(control, change);
  }

 protected:
  // Sends `kind` to `control` with the point and parameters of an input message.
  void SendInputEvent(Control* control, int32_t kind, CPoint point, uintptr_t w_param = 0,
                      intptr_t l_param = 0, wchar_t key = 0, float pressure = 0.0f);
  // False when the control under `point` belongs to another window.
  bool UpdateHover(CPoint point, uintptr_t w_param = 0, intptr_t l_param = 0);
  // The control under the point, only when it belongs to this window.
  Control* FindOwnControl(CPoint point) const;
  void LayoutIfNeeded();

  bool OnMouseMove(const NativeMessage& message);
  bool OnButtonDown(const NativeMessage& message, int32_t kind);
  bool OnButtonUp(const NativeMessage& message, int32_t kind, bool keep_click);
  bool OnTouch(const NativeMessage& message);
  bool OnPointer(const NativeMessage& message);
  bool OnMouseHover(const NativeMessage& message);
  bool OnClose();
  bool OnKeyDown(const NativeMessage& message);
  void StartFadeIn();

  // SetFocus without telling the accessibility observer.
  void ChangeFocus(Control* control);
  static Control* RegisterNameProc(Control* control, void* window);

  std::unique_ptr<NativeWindow> native_;
  Control* root_ = nullptr;
  EventMap window_events_;
  std::unique_ptr<IRenderContext> render_context_;
  bool layered_ = true;
  uint8_t window_alpha_ = 255;
  CPoint render_offset_;
  bool first_layout_ = true;
  Control* focus_ = nullptr;
  Control* new_hover_ = nullptr;
  Control* event_hover_ = nullptr;
  Control* click_ = nullptr;
  Control* key_ = nullptr;
  CPoint last_mouse_point_{-1, -1};
  Control* touch_ = nullptr;
  CPoint last_touch_point_{-1, -1};
  Control* pointer_ = nullptr;
  bool pointer_enabled_ = true;
  bool need_layout_ = false;
  bool mouse_tracking_ = false;
  bool cleanup_posted_ = false;
  bool first_frame_painted_ = false;
  bool focus_from_keyboard_ = false;
  // The Tab that moved the focus also types a tab character; it is not for the new focus.
  bool swallow_tab_char_ = false;
  std::wstring resource_path_;
  std::map<std::wstring, std::wstring> classes_;
  std::map<std::wstring, std::vector<Control*>> option_groups_;
  std::vector<Control*> delayed_cleanup_;
  std::map<std::wstring, Control*> names_;
  nbase::WeakCallbackFlag weak_flag_;
  // Attached with the default corner (scaled when the window is made), so
  // that a skin's "size" read before any shadow attribute includes it.
  bool shadow_attached_ = true;
  UiRect shadow_corner_;
  Box* shadow_box_ = nullptr;
  UiRect alpha_fix_corner_;
  SkinAttributes skin_attributes_;
  AccessibilityObserver* accessibility_observer_ = nullptr;
};

}  // namespace ui
