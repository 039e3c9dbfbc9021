#pragma once

#include <algorithm>
#include <cstdint>

namespace ui {

struct CPoint {
  int x = 0;
  int y = 0;
  constexpr CPoint() = default;
  constexpr CPoint(int px, int py) : x(px), y(py) {}
  void Offset(int dx, int dy) { x += dx, y += dy; }
  friend constexpr bool operator==(const CPoint&, const CPoint&) = default;
};

struct CSize {
  int cx = 0;
  int cy = 0;
  constexpr CSize() = default;
  constexpr CSize(int w, int h) : cx(w), cy(h) {}
  friend constexpr bool operator==(const CSize&, const CSize&) = default;
};

// Left, top, right, bottom; right and bottom are exclusive, as in markup.
struct UiRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  constexpr UiRect() = default;
  constexpr UiRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}

  constexpr int GetWidth() const { return right - left; }
  constexpr int GetHeight() const { return bottom - top; }
  constexpr bool IsRectEmpty() const { return right <= left || bottom <= top; }
  constexpr bool IsPointIn(const CPoint& pt) const {
    return pt.x >= left && pt.x < right && pt.y >= top && pt.y < bottom;
  }
  void Clear() { left = top = right = bottom = 0; }
  void Offset(int dx, int dy) { left += dx, right += dx, top += dy, bottom += dy; }
  void Inflate(int dx, int dy) { left -= dx, right += dx, top -= dy, bottom += dy; }
  void Deflate(const UiRect& r) {
    left += r.left, top += r.top, right -= r.right, bottom -= r.bottom;
  }
  // Intersection; an empty result is all zero, as IntersectRect gives.
  bool Intersect(const UiRect& other) {
    UiRect r(std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
             std::min(bottom, other.bottom));
    if (r.IsRectEmpty()) {
      Clear();
      return false;
    }
    *this = r;
    return true;
  }
  // Union; an empty side is ignored.
  void Union(const UiRect& other) {
    if (other.IsRectEmpty()) return;
    if (IsRectEmpty()) {
      *this = other;
      return;
    }
    left = std::min(left, other.left), top = std::min(top, other.top);
    right = std::max(right, other.right), bottom = std::max(bottom, other.bottom);
  }
  friend constexpr bool operator==(const UiRect&, const UiRect&) = default;
};

}  // namespace ui
