// How every control draws itself: compositing, the fixed paint order, state
// looks with the hot fade, images and the background frame animation.

#include <algorithm>

#include "ui/animation/timer_manager.h"
#include "ui/core/animation_manager.h"
#include "ui/core/control.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/render/render.h"

namespace ui {

namespace {

bool IsAbsolutePath(const std::wstring& path) {
  return !path.empty() &&
         (path[0] == L'/' || path[0] == L'\\' || (path.size() > 1 && path[1] == L':'));
}

const Image* FindImage(const std::map<ControlStateType, Image>& set, ControlStateType state) {
  auto it = set.find(state);
  if (it == set.end() || it->second.image_attribute.file.empty()) return nullptr;
  return &it->second;
}

// Dark outside, light inside: visible on light and dark skins alike.
constexpr uint32_t kFocusRingColor = 0xFF1E1E1E;
constexpr uint32_t kFocusRingInnerColor = 0xFFFFFFFF;
constexpr int kFocusRingWidth = 2;

// Fills a frame `width` pixels wide along the inside of `rect`.
void FillFrame(IRenderContext* context, const UiRect& rect, int width, uint32_t color) {
  if (rect.GetWidth() <= 2 * width || rect.GetHeight() <= 2 * width) {
    context->DrawColor(rect, color);
    return;
  }
  context->DrawColor(UiRect(rect.left, rect.top, rect.right, rect.top + width), color);
  context->DrawColor(UiRect(rect.left, rect.bottom - width, rect.right, rect.bottom), color);
  context->DrawColor(UiRect(rect.left, rect.top + width, rect.left + width, rect.bottom - width),
                     color);
  context->DrawColor(UiRect(rect.right - width, rect.top + width, rect.right, rect.bottom - width),
                     color);
}

}  // namespace

void Control::PaintComposited(IRenderContext* context, const UiRect& paint_area) {
  if (alpha_ == 0) return;
  UiRect visible = paint_area;
  if (!visible.Intersect(item_rect_)) return;
  const bool round = border_round_.cx > 0 || border_round_.cy > 0;

  if (alpha_ < 255 || use_cache_) {
    IRenderFactory* factory = GlobalManager::GetRenderFactory();
    if (!cache_context_ && factory) cache_context_ = factory->CreateRenderContext();
    if (!cache_context_) return;
    const int width = item_rect_.GetWidth();
    const int height = item_rect_.GetHeight();
    if (cache_context_->Resize(width, height)) cache_dirty_ = true;
    const bool with_children = alpha_ < 255;
    if (cache_dirty_) {
      IRenderContext* cache = cache_context_.get();
      cache->Clear();
      const UiRect bounds(0, 0, width, height);
      {
        AutoClip clip(cache, bounds, clip_);
        AutoClip round_clip(cache, bounds, border_round_.cx, border_round_.cy, round);
        // Image pieces must keep their alpha in an off-screen surface.
        bool old_transparent = cache->SetRenderTransparent(true);
        CPoint old_origin = cache->OffsetWindowOrg(
            CPoint(item_rect_.left + render_offset_.x, item_rect_.top + render_offset_.y));
        Paint(cache, item_rect_);
        if (with_children) PaintChildren(cache, paint_area);
        cache->SetWindowOrg(old_origin);
        cache->SetRenderTransparent(old_transparent);
      }
      cache_dirty_ = false;
    }
    context->AlphaBlend(visible.left, visible.top, visible.GetWidth(), visible.GetHeight(),
                        cache_context_->GetPixelImage(), visible.left - item_rect_.left,
                        visible.top - item_rect_.top, visible.GetWidth(), visible.GetHeight(),
                        static_cast<uint8_t>(std::clamp(alpha_, 0, 255)));
    if (with_children) {
      cache_context_.reset();
    } else {
      PaintChildren(context, paint_area);
    }
    return;
  }

  AutoClip clip(context, item_rect_, clip_);
  AutoClip round_clip(context, item_rect_, border_round_.cx, border_round_.cy, round);
  CPoint old_origin = context->OffsetWindowOrg(render_offset_);
  Paint(context, paint_area);
  PaintChildren(context, paint_area);
  context->SetWindowOrg(old_origin);
}

void Control::Paint(IRenderContext* context, const UiRect& paint_area) {
  paint_rect_ = paint_area;
  if (!paint_rect_.Intersect(item_rect_)) return;
  PaintBkColor(context);
  PaintBkImage(context);
  PaintStateColor(context);
  PaintStateImage(context);
  PaintText(context);
  PaintBorder(context);
  PaintFocusRing(context);
}

void Control::PaintFocusRing(IRenderContext* context) {
  if (!focus_ring_ || !focused_ || !window_ || window_->GetFocus() != this ||
      !window_->IsFocusFromKeyboard()) {
    return;
  }
  uint32_t color = kFocusRingColor;
  if (!focus_ring_color_.empty()) color = GlobalManager::GetTextColor(focus_ring_color_);
  if (color == 0) return;
  const int width = GlobalManager::GetScaledLength(kFocusRingWidth);
  FillFrame(context, item_rect_, width, color);
  UiRect inner = item_rect_;
  inner.Deflate(UiRect(width, width, width, width));
  if (!inner.IsRectEmpty()) FillFrame(context, inner, std::max(1, width / 2), kFocusRingInnerColor);
}

void Control::PaintChildren(IRenderContext* /*context*/, const UiRect& /*paint_area*/) {}

void Control::PaintBkColor(IRenderContext* context) {
  if (bk_color_.empty()) return;
  uint32_t color = GlobalManager::GetTextColor(bk_color_);
  if (color == 0) return;
  // A translucent fill must cover the whole item: a partial repaint would
  // otherwise blend twice over the rest.
  const bool translucent = (color >> 24) < 0xFF;
  context->DrawColor(translucent ? item_rect_ : paint_rect_, color, 255);
}

void Control::PaintBkImage(IRenderContext* context) {
  DrawImage(context, bk_image_);
}

void Control::PaintStateColor(IRenderContext* context) {
  const bool fading = animation_manager_ && animation_manager_->GetAnimationPlayer(kAnimationHot);
  const std::wstring hot = GetStateColor(kControlStateHot);
  if (fading && (state_ == kControlStateNormal || state_ == kControlStateHot) && !hot.empty()) {
    context->DrawColor(paint_rect_, GetStateColor(kControlStateNormal), 255);
    if (hot_alpha_ >= 1) {
      context->DrawColor(paint_rect_, hot, static_cast<uint8_t>(std::min(hot_alpha_, 255)));
    }
    return;
  }
  ControlStateType state = state_;
  if (state == kControlStatePushed && GetStateColor(state).empty()) state = kControlStateHot;
  if (state == kControlStateHot && GetStateColor(state).empty()) state = kControlStateNormal;
  if (state == kControlStateDisabled && GetStateColor(state).empty()) state = kControlStateNormal;
  context->DrawColor(paint_rect_, GetStateColor(state), 255);
}

void Control::PaintStateImage(IRenderContext* context) {
  PaintStateImageSet(context, kStateImageBk);
  PaintStateImageSet(context, kStateImageFore);
}

void Control::PaintStateImageSet(IRenderContext* context, StateImageType type) {
  auto& set = state_images_[type];
  const bool fading = animation_manager_ && animation_manager_->GetAnimationPlayer(kAnimationHot);
  Image* normal = const_cast<Image*>(FindImage(set, kControlStateNormal));
  Image* hot = const_cast<Image*>(FindImage(set, kControlStateHot));
  if (fading && (state_ == kControlStateNormal || state_ == kControlStateHot)) {
    const int hot_alpha = std::clamp(hot_alpha_, 0, 255);
    if (normal && hot && normal->image_attribute.file == hot->image_attribute.file &&
        normal->image_attribute.source == hot->image_attribute.source) {
      const double ratio = hot_alpha / 255.0;
      const int fade = static_cast<int>(hot->image_attribute.fade * ratio +
                                        (1.0 - ratio) * normal->image_attribute.fade);
      DrawImage(context, *hot, L"", fade);
      return;
    }
    if (normal) DrawImage(context, *normal);
    if (hot && hot_alpha > 0) {
      DrawImage(context, *hot, L"", hot->image_attribute.fade * hot_alpha / 255);
    }
    return;
  }
  ControlStateType state = state_;
  int fade = -1;
  if (state == kControlStatePushed && !FindImage(set, state)) {
    state = kControlStateHot;
    fade = 255;
  }
  if (state == kControlStateHot && !FindImage(set, state)) {
    state = kControlStateNormal;
    fade = -1;
  }
  if (state == kControlStateDisabled && !FindImage(set, state)) state = kControlStateNormal;
  auto it = set.find(state);
  if (it != set.end()) DrawImage(context, it->second, L"", fade);
}

void Control::PaintText(IRenderContext* /*context*/) {}

void Control::PaintBorder(IRenderContext* context) {
  if (border_color_.empty()) return;
  const uint32_t color = GlobalManager::GetTextColor(border_color_);
  if (color == 0) return;
  const UiRect& r = item_rect_;
  const UiRect& s = border_sides_;
  if (s.left > 0 || s.top > 0 || s.right > 0 || s.bottom > 0) {
    if (s.left > 0) {
      const int x = r.left + s.left / 2;
      context->DrawLine(UiRect(x, r.top, x, r.bottom - (s.left == 1 ? 1 : 0)), s.left, color);
    }
    if (s.top > 0) {
      const int y = r.top + s.top / 2;
      context->DrawLine(UiRect(r.left, y, r.right - (s.top == 1 ? 1 : 0), y), s.top, color);
    }
    if (s.right > 0) {
      const int x = r.right - (s.right + 1) / 2;
      context->DrawLine(UiRect(x, r.top, x, r.bottom - (s.right == 1 ? 1 : 0)), s.right, color);
    }
    if (s.bottom > 0) {
      const int y = r.bottom - (s.bottom + 1) / 2;
      context->DrawLine(UiRect(r.left, y, r.right - (s.bottom == 1 ? 1 : 0), y), s.bottom, color);
    }
    return;
  }
  if (border_size_ > 0) {
    UiRect rect = r;
    const int inset = border_size_ / 2;
    rect.Deflate(UiRect(inset, inset, inset, inset));
    if (border_size_ % 2 != 0) {
      rect.right -= 1;
      rect.bottom -= 1;
    }
    context->DrawRect(rect, border_size_, color);
  }
}

void Control::GetImage(Image& image) {
  if (image.IsLoaded()) return;
  const std::wstring& file = image.image_attribute.file;
  if (file.empty()) return;
  std::wstring path = file;
  if (!IsAbsolutePath(file)) {
    path = GlobalManager::GetResourceRoot();
    if (window_) path += window_->GetResourcePath();
    path += file;
  }
  path = GlobalManager::NormalizeImagePath(path);
  const auto& loaded = image.GetImageInfo();
  if (loaded && loaded->GetPath() == path) return;
  image.SetImageInfo(GlobalManager::GetImage(path));
}

bool Control::DrawImage(IRenderContext* context, Image& image, const std::wstring& modifier,
                        int fade) {
  if (image.image_attribute.file.empty()) return false;
  GetImage(image);
  if (!image.IsLoaded()) return false;
  const std::shared_ptr<ImageInfo>& info = image.GetImageInfo();

  ImageAttribute attribute = image.image_attribute;
  if (!modifier.empty()) attribute.ModifyAttribute(modifier);

  UiRect dest = item_rect_;
  if (ImageAttribute::IsRectSet(attribute.dest)) {
    dest = attribute.dest;
    dest.Offset(item_rect_.left, item_rect_.top);
  }
  UiRect source(0, 0, info->GetWidth(), info->GetHeight());
  if (ImageAttribute::IsRectSet(attribute.source)) source = attribute.source;

  if (&image == &bk_image_ && info->GetFrameCount() > 1 && play_bk_animation_ &&
      !bk_image_.IsPlaying()) {
    StartBkImageAnimation();
    return true;
  }
  const PixelImage* frame = image.GetCurrentFrameImage();
  if (!frame) return false;
  const int alpha = fade == -1 ? attribute.fade : std::clamp(fade, 0, 255);
  context->DrawImage(paint_rect_, frame, info->HasAlpha(), dest, source, attribute.corner,
                     static_cast<uint8_t>(alpha), attribute.xtiled, attribute.ytiled);
  return true;
}

bool Control::StartBkImageAnimation() {
  if (!bk_image_.IsLoaded() || bk_image_.GetImageInfo()->GetFrameCount() <= 1) return false;
  if (bk_image_.image_attribute.play_count == 0) {
    play_bk_animation_ = false;
    return false;
  }
  image_weak_flag_.Cancel();
  bk_image_.SetCurrentFrame(0);
  const int interval = bk_image_.GetCurrentInterval();
  if (interval <= 0) {
    bk_image_.SetPlaying(false);
    play_bk_animation_ = false;
    Invalidate();
    return false;
  }
  bk_image_.SetPlaying(true);
  bk_animation_interval_ = interval;
  GetAnimationManager().GetTimerManager()->AddCancelableTimer(
      image_weak_flag_.AcquireWeakFlag(), [this] { OnBkImageAnimationTick(); }, interval, -1);
  Invalidate();
  return true;
}

void Control::OnBkImageAnimationTick() {
  if (!bk_image_.IsLoaded()) {
    StopBkImageAnimation(kAnimationFrameCurrent);
    return;
  }
  const int shown_interval = bk_image_.GetCurrentInterval();
  bk_image_.IncrementCurrentFrame();
  const int play_count = bk_image_.image_attribute.play_count;
  if (play_count > 0 && bk_image_.GetPlayedCount() >= play_count) {
    play_bk_animation_ = false;
    StopBkImageAnimation(kAnimationFrameLast);
    std::weak_ptr<nbase::WeakFlag> alive = AcquireWeakFlag();
    EventArgs event;
    event.type = kEventNone;
    event.sender = this;
    event.timestamp = GetEventTickCount();
    RunEventCallbacks(image_events_, kImageEventAnimationStopped, event);
    if (!alive.expired()) Invalidate();
    return;
  }
  const int next_interval = bk_image_.GetCurrentInterval();
  if (shown_interval <= 0 || next_interval <= 0) {
    image_weak_flag_.Cancel();
    bk_image_.SetPlaying(false);
    Invalidate();
    return;
  }
  if (next_interval != bk_animation_interval_) {
    image_weak_flag_.Cancel();
    bk_animation_interval_ = next_interval;
    GetAnimationManager().GetTimerManager()->AddCancelableTimer(
        image_weak_flag_.AcquireWeakFlag(), [this] { OnBkImageAnimationTick(); }, next_interval,
        -1);
  }
  Invalidate();
}

void Control::StopBkImageAnimation(int frame) {
  image_weak_flag_.Cancel();
  bk_image_.SetPlaying(false);
  if (bk_image_.IsLoaded()) {
    const int count = static_cast<int>(bk_image_.GetImageInfo()->GetFrameCount());
    if (frame == kAnimationFrameLast) {
      bk_image_.SetCurrentFrame(std::max(count - 1, 0));
    } else if (frame >= 0 && frame < count) {
      bk_image_.SetCurrentFrame(frame);
    }
  }
  Invalidate();
}

}  // namespace ui
