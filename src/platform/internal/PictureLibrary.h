// The exports of the built-in picture library smoothdc.dll (LibrarySmoothDc.cpp), for the module
// table of Library.cpp. Their contracts are in platform/Library.h.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/WinBase.h"

namespace zuvo::platform::smoothdc {

int ConvertBitmap(LPCSTR sourceBmp, LPCSTR destination);
BOOL TextOutAntialiasing(HDC dc, int x, int y, LPCSTR text, int length);
BOOL DrawLineAntialiasing(HDC dc, int x1, int y1, int x2, int y2, COLORREF color);

}  // namespace zuvo::platform::smoothdc
