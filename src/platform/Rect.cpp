#include "platform/Rect.h"

#include <algorithm>

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom) {
  if (rect == nullptr) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL SetRectEmpty(RECT* rect) { return SetRect(rect, 0, 0, 0, 0); }
BOOL CopyRect(RECT* dest, const RECT* source) {
  if (dest == nullptr || source == nullptr) return FALSE;
  *dest = *source;
  return TRUE;
}
BOOL OffsetRect(RECT* rect, int dx, int dy) {
  if (rect == nullptr) return FALSE;
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
  return TRUE;
}
BOOL InflateRect(RECT* rect, int dx, int dy) {
  if (rect == nullptr) return FALSE;
  rect->left -= dx;
  rect->right += dx;
  rect->top -= dy;
  rect->bottom += dy;
  return TRUE;
}
BOOL IsRectEmpty(const RECT* rect) {
  return rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top;
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a != nullptr && b != nullptr && a->left == b->left && a->top == b->top &&
         a->right == b->right && a->bottom == b->bottom;
}
BOOL PtInRect(const RECT* rect, POINT point) {
  return rect != nullptr && point.x >= rect->left && point.x < rect->right && point.y >= rect->top &&
         point.y < rect->bottom;
}
BOOL IntersectRect(RECT* dest, const RECT* a, const RECT* b) {
  if (dest == nullptr || a == nullptr || b == nullptr) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    *dest = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *dest = r;
  return TRUE;
}
BOOL UnionRect(RECT* dest, const RECT* a, const RECT* b) {
  if (dest == nullptr || a == nullptr || b == nullptr) return FALSE;
  if (IsRectEmpty(a)) {
    *dest = *b;
  } else if (IsRectEmpty(b)) {
    *dest = *a;
  } else {
    *dest = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                 std::max(a->bottom, b->bottom)};
  }
  return IsRectEmpty(dest) ? FALSE : TRUE;
}
