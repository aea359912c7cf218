// Rectangle arithmetic under the Windows names. Rectangles exclude their right and bottom edges
// (a point on them is outside); an empty rectangle has right <= left or bottom <= top. Every
// call given a null pointer does nothing and returns FALSE. Pure functions, any thread.
#pragma once

#include "platform/WinBase.h"

// Rectangles exclude right and bottom; an empty one has right <= left or bottom <= top.
BOOL SetRect(RECT* rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(RECT* rect);
BOOL CopyRect(RECT* dest, const RECT* source);
BOOL OffsetRect(RECT* rect, int dx, int dy);
BOOL InflateRect(RECT* rect, int dx, int dy);
BOOL IsRectEmpty(const RECT* rect);
BOOL EqualRect(const RECT* a, const RECT* b);
BOOL PtInRect(const RECT* rect, POINT point);
// The common part; FALSE (and an empty result) when they do not meet.
BOOL IntersectRect(RECT* dest, const RECT* a, const RECT* b);
BOOL UnionRect(RECT* dest, const RECT* a, const RECT* b);
