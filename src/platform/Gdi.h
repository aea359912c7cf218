// Drawing under the Windows GDI names: device contexts on images (a window's backing image or a
// memory bitmap), pens, brushes, fonts, text and blits, with the Windows rules: lines exclude
// their end point, rectangles exclude right and bottom, SetROP2 modes combine pen and brush
// colours with the pixels, COLORREF is 0x00BBGGRR. Coordinates may lie anywhere in the int
// range, also once a viewport or window origin has moved them: what reaches the image is drawn.
// BMP files load as bitmaps, and image lists draw pictures of one size by index with a mask.
// Fonts are chosen by face and pixel height; faces this system lacks (宋体, 黑体, 隶书, Arial,
// Tahoma...) are mapped to installed fonts. Text is GBK. Handles are ids checked against a
// registry: a dead or unknown handle makes a call do nothing and return 0 / FALSE / null. Pens,
// brushes, fonts and bitmaps may be made and deleted on any thread; contexts are drawn with on
// the UI thread only (a drawing call from another thread stops the program).
#pragma once

#include "platform/WinBase.h"

#include <cstddef>
#include <cstdint>

// ---- Objects ----------------------------------------------------------------------------------
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;        // 18 on, 6 off (width 1)
constexpr int PS_DOT = 2;         // 3 on, 3 off (width 1)
constexpr int PS_DASHDOT = 3;
constexpr int PS_DASHDOTDOT = 4;
constexpr int PS_NULL = 5;
constexpr int PS_INSIDEFRAME = 6;
constexpr int PS_ALTERNATE = 8;   // every other pixel
constexpr int PS_STYLE_MASK = 0x0000000F;

constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = 1;

struct LOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;   // x is the width
  COLORREF lopnColor;
};

struct LOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  std::uintptr_t lbHatch;
};

constexpr int LF_FACESIZE = 32;
constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_THIN = 100;
constexpr LONG FW_LIGHT = 300;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_MEDIUM = 500;
constexpr LONG FW_SEMIBOLD = 600;
constexpr LONG FW_BOLD = 700;
constexpr LONG FW_HEAVY = 900;
constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE GB2312_CHARSET = 134;
constexpr BYTE OUT_DEFAULT_PRECIS = 0;
constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE ANTIALIASED_QUALITY = 4;
constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FIXED_PITCH = 1;
constexpr BYTE VARIABLE_PITCH = 2;
constexpr BYTE FF_DONTCARE = 0x00;
constexpr BYTE FF_ROMAN = 0x10;
constexpr BYTE FF_SWISS = 0x20;
constexpr BYTE FF_MODERN = 0x30;

// lfHeight < 0: the character (em) height in pixels is -lfHeight; > 0: the cell height
// (ascent + descent) is lfHeight; 0: a default of 12 pixels.
struct LOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  char lfFaceName[LF_FACESIZE];
};

struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

// Null on failure (a width below 0 is taken as 0; width 0 or 1 draws one pixel wide).
HPEN CreatePen(int style, int width, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* pen);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight,
                  DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                  DWORD outPrecision, DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily,
                  LPCSTR faceName);
HFONT CreateFontIndirectA(const LOGFONTA* font);
// A 32-bit colour bitmap, black, of the given size; null when either side is below 1 or too big.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// One plane of 1 bit per pixel makes a two-colour bitmap: its pixels are only black and white
// (a colour drawn or copied into it becomes the nearer of the two; SetPixel returns which),
// GetObjectA reports 1 bit, and it copies onto colour images as black and white. `bits` (or
// null: black) holds rows of whole 16-bit words, the leftmost pixel in the highest bit, 1 for
// white. 32 bits per pixel takes `bits` as 0x00RRGGBB values; other depths make a black 32-bit
// bitmap.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);

constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int OEM_FIXED_FONT = 10;
constexpr int ANSI_FIXED_FONT = 11;
constexpr int ANSI_VAR_FONT = 12;
constexpr int SYSTEM_FONT = 13;
constexpr int DEVICE_DEFAULT_FONT = 14;
constexpr int SYSTEM_FIXED_FONT = 16;
constexpr int DEFAULT_GUI_FONT = 17;
// Stock objects live for the whole process; DeleteObject on them does nothing.
HGDIOBJ GetStockObject(int index);
// Selects a pen, brush, font or bitmap (bitmaps into memory contexts only); returns the object it
// replaces, or null on failure.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Frees the object. An object still selected into a context stays usable by that context until
// it is replaced there; its handle is dead at once.
BOOL DeleteObject(HGDIOBJ object);
// Fills a LOGPEN, LOGBRUSH, LOGFONTA or BITMAP; returns the bytes written, 0 on failure.
int GetObjectA(HGDIOBJ object, int size, void* buffer);
constexpr UINT OBJ_PEN = 1;
constexpr UINT OBJ_BRUSH = 2;
constexpr UINT OBJ_DC = 3;
constexpr UINT OBJ_FONT = 6;
constexpr UINT OBJ_BITMAP = 7;
constexpr UINT OBJ_MEMDC = 10;
// OBJ_PEN... for objects, OBJ_DC or OBJ_MEMDC for contexts, 0 for a dead or unknown handle.
DWORD GetObjectType(HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);

// ---- Contexts ---------------------------------------------------------------------------------
// A memory context holding the default 1x1 bitmap (one stock object shared by all memory
// contexts) until a bitmap is selected. Null on failure.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);   // memory contexts
int SaveDC(HDC dc);               // returns the saved level, 0 on failure
BOOL RestoreDC(HDC dc, int level);   // -1 is the latest

constexpr int R2_BLACK = 1;
constexpr int R2_NOTMERGEPEN = 2;
constexpr int R2_MASKNOTPEN = 3;
constexpr int R2_NOTCOPYPEN = 4;
constexpr int R2_MASKPENNOT = 5;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOTMASKPEN = 8;
constexpr int R2_MASKPEN = 9;
constexpr int R2_NOTXORPEN = 10;
constexpr int R2_NOP = 11;
constexpr int R2_MERGENOTPEN = 12;
constexpr int R2_COPYPEN = 13;
constexpr int R2_MERGEPENNOT = 14;
constexpr int R2_MERGEPEN = 15;
constexpr int R2_WHITE = 16;
// Mix mode of pens and brushes (lines, outlines and fills of shapes; not text, FillRect or
// blits). Returns the previous mode, 0 on failure.
int SetROP2(HDC dc, int mode);
int GetROP2(HDC dc);

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
COLORREF SetTextColor(HDC dc, COLORREF color);   // previous, CLR_INVALID on failure
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);   // previous, 0 on failure
int GetBkMode(HDC dc);
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
UINT SetTextAlign(HDC dc, UINT align);   // previous; GDI_ERROR on failure
UINT GetTextAlign(HDC dc);
constexpr UINT GDI_ERROR = 0xFFFFFFFF;

// Coordinate origin of a context (device point of logical 0,0 is the viewport origin minus the
// window origin). Returns FALSE on a dead context.
BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* previous);
BOOL GetViewportOrgEx(HDC dc, POINT* origin);
BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* previous);
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* previous);

// Clipping to rectangles (logical coordinates). Return the region kind: NULLREGION,
// SIMPLEREGION, or ERROR on a dead context.
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
int GetClipBox(HDC dc, RECT* rect);
// Removes the clipping set by IntersectClipRect (a BeginPaint context keeps its update
// rectangle). Only a null region is supported here.
int SelectClipRgn(HDC dc, HRGN region);

// ---- Drawing ----------------------------------------------------------------------------------
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
BOOL GetCurrentPositionEx(HDC dc, POINT* position);
// Draws from the current position to (x, y), which is not drawn, and moves there.
BOOL LineTo(HDC dc, int x, int y);
BOOL Polyline(HDC dc, const POINT* points, int count);   // the last point is not drawn
BOOL PolylineTo(HDC dc, const POINT* points, int count);
// Outline with the pen, interior with the brush, both through the ROP2 mode; the shape covers
// left..right-1 and top..bottom-1.
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int cornerWidth, int cornerHeight);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
BOOL Polygon(HDC dc, const POINT* points, int count);
BOOL Pie(HDC dc, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2);
BOOL Arc(HDC dc, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2);
// Copies the brush into the rectangle, right and bottom excluded, whatever the ROP2 mode. The
// brush may be (HBRUSH)(COLOR_xxx + 1). Returns 0 on failure.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// A one-pixel frame with the brush just inside the rectangle.
int FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
// Inverts the colours inside the rectangle.
BOOL InvertRect(HDC dc, const RECT* rect);
// The focus rectangle: every other pixel of the one-pixel frame just inside the rectangle is
// inverted (the pixels whose device x + y is even), so a second call with the same rectangle
// restores the image exactly. Whatever the ROP2 mode. FALSE on a dead context.
BOOL DrawFocusRect(HDC dc, const RECT* rect);
// Returns the colour set (CLR_INVALID outside the image) / read (CLR_INVALID outside).
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
BOOL SetPixelV(HDC dc, int x, int y, COLORREF color);
COLORREF GetPixel(HDC dc, int x, int y);

// ---- Text -------------------------------------------------------------------------------------
// Draws GBK text with its top-left at (x, y) (see SetTextAlign), filling its cell with the
// background colour when the mode is OPAQUE. count is in bytes.
BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count);
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const int* dx);
// Width and height of the text with the selected font; FALSE on a dead context.
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size);
BOOL GetTextExtentPointA(HDC dc, LPCSTR text, int count, SIZE* size);
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
int GetTextFaceA(HDC dc, int size, LPSTR face);

constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004;
constexpr UINT DT_BOTTOM = 0x00000008;
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_EXPANDTABS = 0x00000040;
constexpr UINT DT_TABSTOP = 0x00000080;
constexpr UINT DT_NOCLIP = 0x00000100;
constexpr UINT DT_EXTERNALLEADING = 0x00000200;
constexpr UINT DT_CALCRECT = 0x00000400;
constexpr UINT DT_NOPREFIX = 0x00000800;
constexpr UINT DT_INTERNAL = 0x00001000;
constexpr UINT DT_EDITCONTROL = 0x00002000;
constexpr UINT DT_PATH_ELLIPSIS = 0x00004000;
constexpr UINT DT_END_ELLIPSIS = 0x00008000;
constexpr UINT DT_MODIFYSTRING = 0x00010000;
constexpr UINT DT_WORD_ELLIPSIS = 0x00040000;
constexpr UINT DT_HIDEPREFIX = 0x00100000;
// Formats GBK text in the rectangle (count -1: up to the zero). DT_VCENTER and DT_BOTTOM apply
// to single lines only. With DT_CALCRECT nothing is drawn: the rectangle's right and bottom are
// set to fit the text (the width is kept with DT_WORDBREAK). Unless DT_NOPREFIX, "&x" draws x
// underlined (the last such x of the text; with DT_HIDEPREFIX none) and "&&" draws "&"; an
// underlined character cut off by an end ellipsis or dropped at a line break loses its
// underline. Returns the height of the text, 0 on failure.
int DrawTextA(HDC dc, LPCSTR text, int count, RECT* rect, UINT format);

// ---- Blits ------------------------------------------------------------------------------------
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
// Copies between contexts (the same context allowed) combining source, destination and the
// destination's brush by the raster operation above. FALSE on a dead context or an
// unsupported operation.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop);
BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                int sourceY, int sourceWidth, int sourceHeight, DWORD rop);
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
constexpr int BLACKONWHITE = 1;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
int SetStretchBltMode(HDC dc, int mode);   // accepted; stretching is nearest-pixel

// ---- System colours and metrics ---------------------------------------------------------------
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_3DSHADOW = COLOR_BTNSHADOW;
constexpr int COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT;
// The classic colour scheme; 0 for an unknown index.
COLORREF GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);   // stock brush of that colour

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CYSMCAPTION = 51;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
// Screen size from the primary screen (1024x768 when there is none); small fixed values for the
// rest.
int GetSystemMetrics(int index);

// Device capabilities per context. A window, screen or memory context: 96 dots per inch, 32 bits
// per pixel in one plane, and the screen's size in pixels (no physical sizes). A printer page:
// its printer's dots per inch, printable area (HORZRES x VERTRES) and sheet (PHYSICALWIDTH x
// PHYSICALHEIGHT, the printable area's corner at PHYSICALOFFSETX/Y), all in its pixels. A memory
// context made with CreateCompatibleDC of a context answers as that context does. 0 for a dead
// context or another index.
constexpr int TECHNOLOGY = 2;
constexpr int DT_RASDISPLAY = 1;
constexpr int DT_RASPRINTER = 2;
constexpr int HORZSIZE = 4;   // millimetres
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int PHYSICALWIDTH = 110;
constexpr int PHYSICALHEIGHT = 111;
constexpr int PHYSICALOFFSETX = 112;
constexpr int PHYSICALOFFSETY = 113;
int GetDeviceCaps(HDC dc, int index);

// ---- Images -----------------------------------------------------------------------------------
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT IMAGE_CURSOR = 2;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_MONOCHROME = 0x0001;
constexpr UINT LR_LOADFROMFILE = 0x0010;
constexpr UINT LR_LOADTRANSPARENT = 0x0020;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_LOADMAP3DCOLORS = 0x1000;
constexpr UINT LR_CREATEDIBSECTION = 0x2000;
constexpr UINT LR_SHARED = 0x8000;
// A BMP file (Windows-form GBK path) as a bitmap like CreateCompatibleBitmap's: IMAGE_BITMAP
// with LR_LOADFROMFILE only (LR_CREATEDIBSECTION and LR_DEFAULTSIZE are accepted and change
// nothing); the module is ignored. cx / cy other than 0 stretch the picture to that size
// (nearest pixel). Files as CreateBitmapFromBmpBytes reads them. Null for another type or flag,
// a missing, unreadable, damaged or unsupported file. Any thread.
HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags);

namespace zuvo::platform {

// The largest picture a BMP file or an image list may hold, in pixels (4096 x 4096).
constexpr long long kMaxImagePixels = 16LL * 1024 * 1024;

// A BMP file's bytes as a bitmap: the file header and a BITMAPINFOHEADER (or one of its longer
// successors), 1, 4 or 8 bits per pixel through the colour table, 24 or 32 bits per pixel
// (uncompressed, BI_RGB), rows bottom-up or top-down (negative height). Every field is checked
// before use: the header sizes, planes, depth and compression, a width and height of at least
// one and together at most kMaxImagePixels, a colour-table count within the depth, the table
// and the pixels inside the bytes (and no pixel offset inside the headers or the table), and a
// file-header size no larger than the bytes. Null for anything else; a pixel naming an entry
// beyond the table is black. Any thread.
HBITMAP CreateBitmapFromBmpBytes(const void* bytes, std::size_t size);

}  // namespace zuvo::platform

// ---- Image lists ------------------------------------------------------------------------------
// Pictures of one size kept in order, drawn by index (tool bars, order bars, alarm windows).
// Lists are made, destroyed and asked about on any thread; images are added and drawn where
// their bitmaps and contexts may be touched (the UI thread). A dead or unknown list handle
// makes a call fail.
struct HIMAGELIST__;
using HIMAGELIST = HIMAGELIST__*;

constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLORDDB = 0x00FE;
constexpr UINT ILC_COLOR4 = 0x0004;
constexpr UINT ILC_COLOR8 = 0x0008;
constexpr UINT ILC_COLOR16 = 0x0010;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILC_COLOR32 = 0x0020;

constexpr UINT ILD_NORMAL = 0x0000;
constexpr UINT ILD_TRANSPARENT = 0x0001;
constexpr UINT ILD_MASK = 0x0010;
constexpr UINT ILD_BLEND25 = 0x0002;
constexpr UINT ILD_BLEND50 = 0x0004;
constexpr UINT ILD_FOCUS = ILD_BLEND25;
constexpr UINT ILD_SELECTED = ILD_BLEND50;
constexpr UINT ILD_BLEND = ILD_BLEND50;

constexpr COLORREF CLR_NONE = 0xFFFFFFFF;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

// A list of cx x cy images (the colour depth of `flags` is accepted, images are kept at 32
// bits; ILC_MASK keeps a mask per image). `initial` and `grow` are capacity hints. Null when a
// side is below 1 or the image is larger than kMaxImagePixels.
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
BOOL ImageList_Destroy(HIMAGELIST list);
// Adds the bitmap as images: one per whole cx-wide column of it, left to right (rows below cy
// are ignored; rows missing below a short bitmap are black, and masked in ILC_MASK lists). With ILC_MASK, a mask
// bitmap marks in white what is transparent (no mask: nothing is). Returns the index of the
// first image added, -1 when nothing was (dead list or bitmap, bitmap narrower than cx).
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
// Adds as ImageList_Add with the mask made from the pixels of maskColour, which become black
// in the image (ILC_MASK lists; others take the pixels as they are).
int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF maskColour);
// Removes one image (the later ones move down), or every image for -1.
BOOL ImageList_Remove(HIMAGELIST list, int index);
int ImageList_GetImageCount(HIMAGELIST list);   // 0 for a dead list
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
// The colour masked parts are drawn in by ILD_NORMAL; CLR_NONE (the initial one): they keep
// what is under them. Returns the previous colour, CLR_NONE for a dead list.
COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF colour);
COLORREF ImageList_GetBkColor(HIMAGELIST list);
// Draws image `index` with its top-left at (x, y), through the context's origin and clip, as
// ImageList_DrawEx with the whole image, CLR_DEFAULT and CLR_DEFAULT.
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
// Draws the top-left dx x dy of the image (0: the whole width / height). Masked pixels keep the
// destination under ILD_TRANSPARENT or when the background is CLR_NONE; otherwise they take the
// background: rgbBk, or the list's colour for CLR_DEFAULT. ILD_MASK draws the mask (black
// where the image is, white where it is masked). rgbFg and the blend styles are accepted and
// draw as ILD_NORMAL. FALSE, drawing nothing, for an index outside the list or a dead context.
BOOL ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy, COLORREF rgbBk,
                      COLORREF rgbFg, UINT style);

// ---- Device-independent bitmaps and palettes --------------------------------------------------
// Every context holds the default palette (GetStockObject(DEFAULT_PALETTE)) until another is
// selected; its colours are the fixed ones below. Bitmaps are read out as device-independent
// pixels by GetDIBits.
using HPALETTE = HGDIOBJ;
constexpr int DEFAULT_PALETTE = 15;
constexpr UINT OBJ_PAL = 5;
// Selects a palette into a context and returns the one it replaces (null for a dead context or
// a handle that is no palette). The background flag is accepted and changes nothing.
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);

constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;

struct BITMAPINFOHEADER {
  DWORD biSize;          // 40
  LONG biWidth;
  LONG biHeight;         // positive: rows bottom-up; negative: top-down
  WORD biPlanes;         // 1
  WORD biBitCount;       // 1, 4, 8, 24 or 32
  DWORD biCompression;   // BI_RGB
  DWORD biSizeImage;     // bytes of the pixels; 0: not stated
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

// The header and its colour table: at 1, 4 and 8 bits the table has 2^bits entries, so the
// caller allocates 40 + 4 * 2^bits bytes and reads the table from bmiColors on.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

// The colours of the default palette as a colour table of `bits` (1, 4 or 8) bits: black and
// white; the 16 standard colours; 256 entries with the 20 system colours at 0-9 and 246-255 and
// black between. Empty for another depth.
namespace zuvo::platform {
int DefaultColourTable(int bits, RGBQUAD* table);   // entries written (2^bits), 0 for another depth
constexpr int kMaxDibColours = 256;
}  // namespace zuvo::platform

// Reads `lines` rows of the bitmap, from scan line `start` (counted from the bottom for a
// bottom-up header), into `bits` as rows of ((width * bits + 31) / 32) * 4 bytes. At 24 and 32
// bits pixels are blue, green, red (and a zero byte); at 1, 4 and 8 bits each pixel is the
// index of its nearest colour (least squared distance, the lower index on a tie) in the default
// palette's table, which is written to bmiColors, and the leftmost pixel takes the highest
// bits of its byte. The context only has to be alive; its palette does not change the colours.
// Everything is checked before a byte is written: a live context and bitmap, DIB_RGB_COLORS,
// a 40-byte header with 1 plane, BI_RGB, a bit count of 1, 4, 8, 24 or 32, the bitmap's width
// and height (either sign), 1 or more lines inside the bitmap, and a stated biSizeImage (when
// not 0) holding the lines; the caller's buffer must hold stride x lines bytes. Returns the
// lines written and sets biSizeImage to their bytes; 0 with nothing written on any failure.
// With `bits` null and biBitCount 0 the header is filled with the bitmap's size at 32 bits
// (biSizeImage the whole picture) and its height is returned. UI thread.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);
