// The two blits of Msimg32.dll: a copy that leaves one colour out (icons on a chart) and a copy
// blended over the destination (translucent bars). Both stretch nearest-pixel like StretchBlt,
// draw only inside the destination's clip and follow the rules of platform/Gdi.h (UI thread,
// dead contexts fail). Reached directly or through GetProcAddress on "Msimg32.dll".
#pragma once

#include "platform/Gdi.h"

// Copies the source rectangle to the destination rectangle, skipping every source pixel of
// the transparent colour (0x00BBGGRR). FALSE for a dead context, a negative extent or a
// source rectangle not wholly inside the source's image.
BOOL TransparentBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                    int sourceWidth, int sourceHeight, UINT transparentColor);

constexpr BYTE AC_SRC_OVER = 0x00;
constexpr BYTE AC_SRC_ALPHA = 0x01;

struct BLENDFUNCTION {
  BYTE BlendOp;               // AC_SRC_OVER, the only operation
  BYTE BlendFlags;            // 0
  BYTE SourceConstantAlpha;   // 0 transparent .. 255 opaque
  BYTE AlphaFormat;           // 0, or AC_SRC_ALPHA for premultiplied per-pixel alpha
};

// Blends the source rectangle over the destination rectangle: each channel becomes
// (source * a + destination * (255 - a)) / 255 with a = SourceConstantAlpha, or with
// AC_SRC_ALPHA the premultiplied source over the destination scaled by the constant alpha.
// Bitmaps of this platform are opaque, so their per-pixel alpha is 255. FALSE for a dead
// context, an operation other than AC_SRC_OVER, a negative extent or a source rectangle not
// wholly inside the source's image.
BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, BLENDFUNCTION blend);
