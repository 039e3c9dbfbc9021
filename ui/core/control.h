#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "ui/core/accessibility.h"
#include "ui/geometry/geometry.h"
#include "ui/image/image.h"

namespace ui {

class Box;
class Window;
class Control;
class IRenderContext;
class AnimationManager;

// Fixed sizes use these for "stretch" and "auto".
inline constexpr int kLengthStretch = -1;
inline constexpr int kLengthAuto = -2;
inline constexpr int kMaxLength = 9999999;

enum HorAlignType { kHorAlignLeft = 0, kHorAlignCenter = 1, kHorAlignRight = 2 };
enum VerAlignType { kVerAlignTop = 0, kVerAlignCenter = 1, kVerAlignBottom = 2 };
enum CursorType { kCursorArrow = 0, kCursorHand = 1, kCursorHandIbeam = 2 };
enum ControlStateType {
  kControlStateNormal = 0,
  kControlStateHot = 1,
  kControlStatePushed = 2,
  kControlStateDisabled = 3,
};
// The two state image sets.
enum StateImageType { kStateImageBk = 0, kStateImageFore = 1 };

// Special frame indexes for StopBkImageAnimation.
inline constexpr int kAnimationFrameCurrent = -1;
inline constexpr int kAnimationFrameLast = -2;

// Event kinds; the numbers are shared with skins and window messages.
enum EventType : int32_t {
  kEventInternalDoubleClick = 0,
  kEventInternalMenu = 1,
  kEventInternalSetFocus = 2,
  kEventInternalKillFocus = 3,
  kEventNone = 4,
  kEventAll = 6,
  kEventKeyDown = 8,
  kEventKeyUp = 9,
  kEventChar = 10,
  kEventSystemKey = 11,
  kEventMouseMove = 14,
  kEventMouseEnter = 15,
  kEventMouseLeave = 16,
  kEventMouseHover = 17,
  kEventMouseButtonDown = 18,
  kEventMouseButtonUp = 19,
  kEventMouseRightButtonDown = 20,
  kEventMouseRightButtonUp = 21,
  kEventMouseDoubleClick = 22,
  kEventMouseMenu = 23,
  kEventMouseScrollWheel = 24,
  kEventTouchDown = 27,
  kEventTouchMove = 28,
  kEventTouchUp = 29,
  kEventPointDown = 32,
  kEventPointMove = 33,
  kEventPointUp = 34,
  kEventSetFocus = 36,
  kEventKillFocus = 37,
  kEventWindowSize = 38,
  kEventWindowClose = 39,
  kEventSetCursor = 40,
  kEventClick = 41,
  kEventSelect = 42,
  kEventUnSelect = 43,
  kEventTextChange = 44,
  kEventReturn = 45,
  kEventTab = 46,
  kEventCustomLinkClick = 47,
  kEventImeStartComposition = 48,
  kEventImeEndComposition = 49,
  kEventScrollChange = 50,
  kEventValueChange = 51,
  kEventResize = 52,
  // The input method's uncommitted text changed; l_param points to an
  // ImeComposition that lives while the event is handled.
  kEventImeComposition = 53,
  // Middle button pressed: paste of the primary selection where there is one.
  kEventMouseMiddleButtonDown = 54,
};

struct ImeComposition {
  std::wstring text;
  int cursor = 0;  // wchar_t units into text
};

inline constexpr bool IsMouseEvent(int32_t kind) {
  return kind > 13 && kind < 25;
}
inline constexpr bool IsPointerEvent(int32_t kind) {
  return kind >= 32 && kind <= 34;
}

// The skin word of `Event`/`BubbledEvent` elements; unknown words give kEventNone.
EventType EventTypeFromString(const std::wstring& word);

// Key of the image events map: the background image animation stopped.
inline constexpr int kImageEventAnimationStopped = 1;

struct EventArgs {
  int32_t type = kEventNone;
  Control* sender = nullptr;
  uint32_t timestamp = 0;  // milliseconds of a monotonic clock
  CPoint mouse_point;
  wchar_t key = 0;
  // Message parameters; wide enough to carry a pointer.
  uintptr_t w_param = 0;
  intptr_t l_param = 0;
  float pressure = 0.0f;
};

// A handler returns false to stop the chain.
using EventCallback = std::function<bool(const EventArgs&)>;
using EventCallbackList = std::vector<EventCallback>;
using EventMap = std::map<int32_t, EventCallbackList>;

// Runs the handlers of `kind` in order; false as soon as one returns false.
bool RunEventCallbacks(const EventMap& map, int32_t kind, const EventArgs& args);

// Milliseconds of the monotonic clock, as event timestamps carry them.
uint32_t GetEventTickCount();

// FindControl flags.
inline constexpr uint32_t kFindAll = 0;
inline constexpr uint32_t kFindVisible = 0x1;
inline constexpr uint32_t kFindEnabled = 0x2;
inline constexpr uint32_t kFindHitTest = 0x4;
inline constexpr uint32_t kFindTopFirst = 0x8;
inline constexpr uint32_t kFindMeFirst = 0x80000000;

using FindControlProc = Control* (*)(Control* control, void* data);

// Markup value helpers: decimal integers separated by commas (wcstol rules).
UiRect ParseRectAttribute(const std::wstring& value);
CSize ParseSizeAttribute(const std::wstring& value);
CPoint ParsePointAttribute(const std::wstring& value);
// Lengths in markup: "stretch", "auto" or a number.
int ParseLengthAttribute(const std::wstring& value);

// Geometry and the place in the tree.
class PlaceHolder : public virtual nbase::SupportWeakCallback {
 public:
  PlaceHolder();
  PlaceHolder(const PlaceHolder&) = delete;
  PlaceHolder& operator=(const PlaceHolder&) = delete;
  ~PlaceHolder() override;

  virtual Window* GetWindow() const;
  virtual void SetWindow(Window* window);
  virtual void SetWindow(Window* window, Box* parent, bool init = true);
  virtual void Init();
  virtual void DoInit();
  virtual bool IsVisible() const;
  virtual CSize EstimateSize(CSize available);
  virtual UiRect GetPos(bool with_shadow = true) const;
  virtual void SetPos(UiRect rect);
  virtual void RequestLayout();
  virtual void RelayoutUpward();
  virtual void Invalidate();
  virtual void RelayoutSelf();

  Box* GetParent() const { return parent_; }
  // The parent seen as a control (Box derives from Control).
  Control* GetParentControl() const;

  const std::wstring& GetName() const { return name_; }
  std::string GetUtf8Name() const;
  void SetName(const std::wstring& name) { name_ = name; }

  int GetFixedWidth() const { return fixed_width_; }
  int GetFixedHeight() const { return fixed_height_; }
  // Accepts 0 or more, kLengthStretch and kLengthAuto; others are ignored.
  void SetFixedWidth(int width, bool relayout = true, bool scale = true);
  void SetFixedHeight(int height, bool scale = true);
  int GetMinWidth() const { return min_width_; }
  int GetMinHeight() const { return min_height_; }
  int GetMaxWidth() const { return max_width_; }
  int GetMaxHeight() const { return max_height_; }
  void SetMinWidth(int width);
  void SetMinHeight(int height);
  void SetMaxWidth(int width);
  void SetMaxHeight(int height);
  int GetWidth() const { return item_rect_.GetWidth(); }
  int GetHeight() const { return item_rect_.GetHeight(); }

  HorAlignType GetHorAlignType() const { return hor_align_; }
  void SetHorAlignType(HorAlignType type) { hor_align_ = type; }
  VerAlignType GetVerAlignType() const { return ver_align_; }
  void SetVerAlignType(VerAlignType type) { ver_align_ = type; }

  bool IsFloat() const { return float_; }
  void SetFloat(bool value);
  bool IsReEstimateSize() const { return re_estimate_; }
  void SetReEstimateSize(bool value) { re_estimate_ = value; }
  bool IsInternVisible() const { return inherited_visible_; }
  bool IsArranged() const { return arranged_; }
  void SetArranged(bool value) { arranged_ = value; }
  bool IsUseCache() const { return use_cache_; }
  void SetUseCache(bool value);
  bool IsCacheDirty() const { return cache_dirty_; }
  void SetCacheDirty(bool value) { cache_dirty_ = value; }
  IRenderContext* GetCacheContext() const { return cache_context_.get(); }

 protected:
  std::wstring name_;
  Window* window_ = nullptr;
  Box* parent_ = nullptr;
  int fixed_width_ = kLengthStretch;
  int fixed_height_ = kLengthStretch;
  int min_width_ = -1;
  int min_height_ = -1;
  int max_width_ = kMaxLength;
  int max_height_ = kMaxLength;
  UiRect item_rect_;
  HorAlignType hor_align_ = kHorAlignLeft;
  VerAlignType ver_align_ = kVerAlignTop;
  bool float_ = false;
  bool re_estimate_ = true;
  bool visible_ = true;
  bool inherited_visible_ = true;
  bool arranged_ = true;
  bool use_cache_ = false;
  bool cache_dirty_ = false;
  std::unique_ptr<IRenderContext> cache_context_;
};

// Owned data a program hangs on a control.
class UserDataBase {
 public:
  virtual ~UserDataBase() = default;
};

class Control : public PlaceHolder {
 public:
  Control();
  ~Control() override;

  CSize EstimateSize(CSize available) override;
  void SetPos(UiRect rect) override;

  // Slots 14 to 71, in order.
  virtual Image* GetEstimateImage();
  virtual CursorType GetCursorType() const;
  virtual std::wstring GetToolTipText() const;
  virtual std::string GetToolTipTextUtf8() const;
  virtual void SetToolTipText(const std::wstring& text);
  virtual void SetToolTipTextUtf8(const std::string& text);
  virtual void SetToolTipTextId(const std::wstring& id);
  virtual void SetToolTipTextIdUtf8(const std::string& id);
  virtual void SetToolTipWidth(int width);
  virtual int GetToolTipWidth() const;
  virtual bool IsMenuUsed() const;
  virtual void SetMenuUsed(bool used);
  virtual std::wstring GetDataId() const;
  virtual std::string GetDataIdUtf8() const;
  virtual void SetDataId(const std::wstring& id);
  virtual void SetDataIdUtf8(const std::string& id);
  virtual UserDataBase* GetUserData() const;
  virtual void SetUserData(std::unique_ptr<UserDataBase> data);
  virtual void SetFadeVisible(bool visible);
  virtual void SetInheritedVisible(bool visible);
  virtual void SetVisible(bool visible);
  virtual bool IsEnabled() const;
  virtual void SetEnabled(bool enabled);
  virtual bool IsMouseEnabled() const;
  virtual void SetMouseEnabled(bool enabled);
  virtual bool IsKeyboardEnabled() const;
  virtual void SetKeyboardEnabled(bool enabled);
  virtual bool IsFocused() const;
  virtual void SetFocus();
  virtual bool IsButtonHeld() const;
  virtual void SetButtonHeld(bool held);
  virtual bool IsActivatable() const;
  virtual void Activate();
  virtual Control* FindControl(FindControlProc proc, void* data, uint32_t flags,
                               CPoint scroll_pos = CPoint());
  virtual UiRect GetMargin() const;
  virtual void SetMargin(UiRect margin, bool scale = true);
  virtual CSize EstimateText(CSize available, bool* re_estimate);
  virtual bool HitTestScrolled(CPoint point);
  virtual void DispatchEvent(EventArgs& event);
  virtual bool HasHotState();
  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
  virtual void PaintComposited(IRenderContext* context, const UiRect& paint_area);
  virtual void Paint(IRenderContext* context, const UiRect& paint_area);
  virtual void PaintChildren(IRenderContext* context, const UiRect& paint_area);
  virtual void LoadImageCache();
  virtual void ReleaseImageCache();
  virtual void ClearImageCache();
  virtual void HandleEvent(EventArgs& event);
  virtual bool OnMouseEnter(EventArgs& event);
  virtual bool OnMouseLeave(EventArgs& event);
  virtual bool OnButtonDown(EventArgs& event);
  virtual bool OnButtonUp(EventArgs& event);
  virtual void PaintBkColor(IRenderContext* context);
  virtual void PaintBkImage(IRenderContext* context);
  virtual void PaintStateColor(IRenderContext* context);
  virtual void PaintStateImage(IRenderContext* context);
  virtual void PaintText(IRenderContext* context);
  virtual void PaintBorder(IRenderContext* context);

  // Keyboard focus. Whether this kind of control is a Tab stop (those that act on keys: buttons,
  // fields, lists); the skin can still take it out (IsTabStop).
  virtual bool IsKeyboardFocusable() const { return false; }
  // Whether the focused control takes Tab as input rather than the window moving the focus.
  virtual bool WantsTabKey() const { return false; }

  // A ScrollableBox reports the scroll position it applies to its children when one of its
  // bars has a range; other controls report nothing.
  virtual bool GetChildScrollOffset(CPoint* offset) const;

  // The offset applied to this control's rectangles by the nearest scrolled ancestor.
  CPoint GetScrollOffset() const;

  // Assistive technology. Controls fill in their role, text, states and
  // interfaces; a box may refine what its children say (a tab's page).
  virtual void GetAccessibleInfo(AccessibleInfo* info) const;
  virtual void GetChildAccessibleInfo(const Control* child, AccessibleInfo* info) const;
  // Both of the above, with the name falling back on the tooltip, then the control's name.
  AccessibleInfo DescribeAccessible() const;
  // Tells the window's accessibility observer, when there is one.
  void NotifyAccessible(AccessibleChange change);

  // Appearance.
  const std::wstring& GetBkColor() const { return bk_color_; }
  void SetBkColor(const std::wstring& color);
  std::wstring GetStateColor(ControlStateType state) const;
  void SetStateColor(ControlStateType state, const std::wstring& color);
  const std::wstring& GetBkImage() const;
  void SetBkImage(const std::wstring& image);
  std::wstring GetStateImage(ControlStateType state) const;
  void SetStateImage(ControlStateType state, const std::wstring& image);
  std::wstring GetForeStateImage(ControlStateType state) const;
  void SetForeStateImage(ControlStateType state, const std::wstring& image);
  const std::wstring& GetBorderColor() const { return border_color_; }
  void SetBorderColor(const std::wstring& color);
  int GetBorderSize() const { return border_size_; }
  void SetBorderSize(int size);  // scaled
  UiRect GetBorderSideSizes() const { return border_sides_; }
  void SetBorderSize(UiRect sides);  // scaled
  CSize GetBorderRound() const { return border_round_; }
  void SetBorderRound(CSize round);  // scaled
  int GetAlpha() const { return alpha_; }
  void SetAlpha(int alpha);
  int GetHotAlpha() const { return hot_alpha_; }
  void SetHotAlpha(int alpha);
  CPoint GetRenderOffset() const { return render_offset_; }
  void SetRenderOffset(CPoint offset);
  void SetRenderOffsetX(int x);
  void SetRenderOffsetY(int y);
  bool IsClip() const { return clip_; }
  void SetClip(bool clip) { clip_ = clip; }
  ControlStateType GetState() const { return state_; }
  void SetState(ControlStateType state);
  void SetCursorType(CursorType type) { cursor_type_ = type; }
  bool IsNoFocus() const { return no_focus_; }
  void SetNoFocus() { no_focus_ = true; }
  // A Tab stop now: of a focusable kind, not opted out by the skin (tabstop, nofocus,
  // keyboard), enabled and visible.
  bool IsTabStop() const;
  void SetTabStop(bool value) { tab_stop_ = value; }
  bool IsFocusRingEnabled() const { return focus_ring_; }
  void SetFocusRingEnabled(bool value);
  const std::wstring& GetFocusRingColor() const { return focus_ring_color_; }
  void SetFocusRingColor(const std::wstring& color);
  bool IsReceivePointer() const { return receive_pointer_; }
  void SetReceivePointer(bool value) { receive_pointer_ = value; }
  bool IsButtonUpOnFocusLoss() const { return button_up_on_focus_loss_; }
  void SetButtonUpOnFocusLoss(bool value) { button_up_on_focus_loss_ = value; }
  const std::wstring& GetToolTipTextId() const { return tooltip_text_id_; }
  const UiRect& GetPaintRect() const { return paint_rect_; }
  CSize GetEstimatedSize() const { return estimated_size_; }

  // Markup.
  void SetClass(const std::wstring& classes);
  void ApplyAttributeList(const std::wstring& list);
  // Applies `list` to the control named by `receiver` ("./name" searches this subtree).
  bool ApplyAttributeListTo(const std::wstring& receiver, const std::wstring& list);

  // Events.
  void AttachEvent(int32_t kind, EventCallback callback);
  void AttachXmlEvent(int32_t kind, EventCallback callback);
  void DetachEvent(int32_t kind);
  void AttachAllEvents(EventCallback callback) { AttachEvent(kEventAll, std::move(callback)); }
  void AttachBkImageAnimationStopped(EventCallback callback);
  // Builds the record (now, the window's last mouse point unless given) and dispatches it.
  void SendEvent(int32_t kind, uintptr_t w_param = 0, intptr_t l_param = 0, wchar_t key = 0,
                 const CPoint* mouse_point = nullptr);
  void SendEvent(EventArgs& event) { DispatchEvent(event); }

  // Painting helpers.
  bool DrawImage(IRenderContext* context, Image& image, const std::wstring& modifier = L"",
                 int fade = -1);
  // Loads the picture of `image` (joining relative paths onto the resource folders).
  void GetImage(Image& image);
  Image& GetBkImageRecord() { return bk_image_; }
  Image& GetStateImageRecord(StateImageType set, ControlStateType state) {
    return state_images_[set][state];
  }
  bool StartBkImageAnimation();
  void StopBkImageAnimation(int frame = kAnimationFrameCurrent);
  bool IsBkImageAnimationPlaying() const { return bk_image_.IsPlaying(); }

  AnimationManager& GetAnimationManager();

 protected:
  // Paints `set` of state images following the fallbacks.
  void PaintStateImageSet(IRenderContext* context, StateImageType set);
  // The ring of a control that has the focus from the keyboard; drawn last, inside the item.
  void PaintFocusRing(IRenderContext* context);
  void OnBkImageAnimationTick();
  std::wstring GetStateImageString(StateImageType set, ControlStateType state) const;
  // False when the image string is unchanged.
  bool StoreStateImage(StateImageType set, ControlStateType state, const std::wstring& image);
  bool IsAncestorOrSelfOf(const Control* control) const;

  EventMap xml_events_;
  EventMap events_;
  EventMap image_events_;
  std::unique_ptr<UserDataBase> user_data_;
  bool menu_used_ = false;
  bool enabled_ = true;
  bool mouse_enabled_ = true;
  bool keyboard_enabled_ = true;
  bool focused_ = false;
  bool button_held_ = false;
  bool in_resize_event_ = false;
  bool no_focus_ = false;
  bool clip_ = true;
  bool play_bk_animation_ = true;
  bool receive_pointer_ = true;
  bool button_up_on_focus_loss_ = false;
  bool tab_stop_ = true;
  bool focus_ring_ = true;
  int border_size_ = 0;
  int tooltip_width_ = 300;
  int alpha_ = 255;
  int hot_alpha_ = 0;
  CSize estimated_size_;
  CPoint render_offset_;
  CSize border_round_;
  UiRect margin_;
  UiRect paint_rect_;
  UiRect border_sides_;
  CursorType cursor_type_ = kCursorArrow;
  ControlStateType state_ = kControlStateNormal;
  std::wstring tooltip_text_;
  std::wstring tooltip_text_id_;
  std::wstring data_id_;
  std::wstring bk_color_;
  std::map<ControlStateType, std::wstring> state_colors_;
  Image bk_image_;
  std::array<std::map<ControlStateType, Image>, 2> state_images_;
  std::wstring border_color_;
  std::wstring focus_ring_color_;
  std::unique_ptr<AnimationManager> animation_manager_;
  nbase::WeakCallbackFlag image_weak_flag_;
  int bk_animation_interval_ = 0;
};

}  // namespace ui
