#include "shell/SmallWindows.h"

#include "data/Messages.h"
#include "platform/Text.h"
#include "shell/Cell.h"
#include "shell/PageWindow.h"

#include <algorithm>
#include <cstring>

TTranspWnd* TranspWnd = nullptr;

namespace {

// ---- Glyphs ------------------------------------------------------------------------------
// Each glyph is a few polylines relative to the icon's left edge, drawn with a one-pixel pen
// from point to point (the last point itself left out, as LineTo does).

struct GlyphLine {
  int count;
  POINT points[8];
};

struct Glyph {
  int count;
  GlyphLine lines[8];
};

constexpr Glyph kGlyphs[] = {
    // 0: a thick X (close)
    {4,
     {{2, {{4, 3}, {11, 10}}},
      {2, {{5, 3}, {12, 10}}},
      {2, {{4, 9}, {11, 2}}},
      {2, {{5, 9}, {12, 2}}}}},
    // 1: a window frame with its title bar (zoom)
    {3,
     {{2, {{3, 2}, {13, 2}}},
      {2, {{3, 3}, {13, 3}}},
      {4, {{3, 4}, {3, 10}, {12, 10}, {12, 3}}}}},
    // 2: two overlapping frames (restore)
    {8,
     {{2, {{6, 2}, {13, 2}}},
      {2, {{6, 3}, {13, 3}}},
      {2, {{6, 4}, {6, 6}}},
      {2, {{12, 4}, {12, 8}}},
      {2, {{12, 7}, {8, 7}}},
      {2, {{3, 6}, {10, 6}}},
      {2, {{3, 7}, {10, 7}}},
      {4, {{3, 8}, {3, 11}, {9, 11}, {9, 7}}}}},
    // 3: a horizontal bar (split into top and bottom)
    {2, {{2, {{4, 6}, {14, 6}}}, {2, {{4, 7}, {14, 7}}}}},
    // 4: a vertical bar (split into left and right)
    {2, {{2, {{8, 2}, {8, 12}}}, {2, {{9, 2}, {9, 12}}}}},
    // 5: an arrow pointing left
    {1, {{8, {{2, 6}, {6, 2}, {6, 4}, {13, 4}, {13, 8}, {6, 8}, {6, 10}, {2, 6}}}}},
    // 6: an arrow pointing right
    {1, {{8, {{13, 6}, {9, 2}, {9, 4}, {2, 4}, {2, 8}, {9, 8}, {9, 10}, {13, 6}}}}},
};

constexpr int kGlyphCount = static_cast<int>(sizeof(kGlyphs) / sizeof(kGlyphs[0]));

void DrawGlyph(HDC dc, int code, int left) {
  if (code < 0 || code >= kGlyphCount) return;
  const Glyph& glyph = kGlyphs[code];
  for (int l = 0; l < glyph.count; ++l) {
    const GlyphLine& line = glyph.lines[l];
    MoveToEx(dc, left + line.points[0].x, line.points[0].y, nullptr);
    for (int p = 1; p < line.count; ++p) LineTo(dc, left + line.points[p].x, line.points[p].y);
  }
}

constexpr COLORREF kToolTipBackground = 15204351;   // light yellow

}  // namespace

// ---- TMVCmdBox -----------------------------------------------------------------------------

UINT TMVCmdBox::CommandOf(int code) {
  switch (code) {
    case 0: return MsgCellClose;
    case 1: return MsgCellZoom;
    case 2: return MsgCellRestore;
    case 3: return MsgCellSplitHorz;
    case 4: return MsgCellSplitVert;
    case 5: return MsgCellKeyLeft;
    case 6: return MsgCellKeyRight;
    default: return 0;
  }
}

TMVCmdBox::TMVCmdBox(TMultiViewChild* cell, const int* codes, int count) : cell(cell) {
  this->count = codes != nullptr ? std::clamp(count, 0, kMaxIcons) : 0;
  for (int i = 0; i < this->count; ++i) this->codes[i] = codes[i];
  HDC screen = ::GetDC(nullptr);
  // An empty strip still keeps a bitmap, so that painting never needs a check.
  bitmap = CreateCompatibleBitmap(screen, std::max(StripWidth(), 1), kHeight);
  ::ReleaseDC(nullptr, screen);
  RenderIcons();
  HWND parent = cell != nullptr ? cell->Handle() : nullptr;
  RECT client{0, 0, 0, 0};
  if (parent != nullptr) GetClientRect(parent, &client);
  Create(0, WS_CHILD | WS_VISIBLE, client.right - this->count * kIconPitch - 3, client.top + 3, StripWidth(),
         kHeight, parent);
}

TMVCmdBox::~TMVCmdBox() {
  // The window goes first: no paint may reach the bitmap once it is deleted.
  Destroy();
  if (bitmap != nullptr) DeleteObject(bitmap);
}

int TMVCmdBox::IconAt(int x) const {
  if (x < 0) return -1;
  int index = x / kIconPitch;
  return index < count ? index : -1;
}

void TMVCmdBox::SetPosition(int x, int y) {
  if (handle == nullptr) return;
  SetWindowPos(handle, nullptr, x, y, StripWidth(), kHeight, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void TMVCmdBox::RenderIcons() {
  if (bitmap == nullptr) return;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  RECT all{0, 0, std::max(StripWidth(), 1), kHeight};
  HBRUSH back = CreateSolidBrush(background);
  FillRect(dc, &all, back);
  DeleteObject(back);
  for (int i = 0; i < count; ++i) {
    COLORREF color = i == hotIndex ? hotColor : normalColor;
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    int left = i * kIconPitch;
    DrawGlyph(dc, codes[i], left);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    HBRUSH frame = CreateSolidBrush(color);
    RECT box{left, 0, left + 16, kHeight};
    FrameRect(dc, &box, frame);
    DeleteObject(frame);
  }
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
}

void TMVCmdBox::Redraw() {
  RenderIcons();
  EWnd::Redraw();
}

LRESULT TMVCmdBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(handle, &ps);
      HDC source = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(source, bitmap);
      BitBlt(dc, 0, 0, StripWidth(), kHeight, source, 0, 0, SRCCOPY);
      SelectObject(source, old);
      DeleteDC(source);
      EndPaint(handle, &ps);
      return 0;
    }
    case WM_MOUSEMOVE: {
      if (!tracking) {
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = handle;
        tracking = TrackMouseEvent(&track) != FALSE;
      }
      int index = IconAt(GET_X_LPARAM(lParam));
      if (index != hotIndex) {
        hotIndex = index;
        Redraw();
      }
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      // x is signed: a captured mouse left of the strip gives a negative x, and one past the
      // last icon an index beyond the codes. Neither is a click on an icon.
      int index = IconAt(GET_X_LPARAM(lParam));
      if (index < 0 || cell == nullptr) break;
      UINT command = CommandOf(codes[index]);
      TMultiViewChild* owner = cell;
      owner->Activate();
      if (command != 0 && owner->page != nullptr) {
        PostMessageA(owner->page->Handle(), command, 0, reinterpret_cast<LPARAM>(owner));
      }
      break;
    }
    case WM_MOUSELEAVE:
      tracking = false;
      hotIndex = -1;
      Redraw();
      break;
    default:
      break;
  }
  return EWnd::WindowProc(message, wParam, lParam);
}

// ---- EToolTip ------------------------------------------------------------------------------

namespace {

// Calls `line(piece, length)` for each line of the text as the tooltip shows it: pieces up to
// each "\r\n", and the piece after the last one when it is not empty. A text without line
// breaks is one piece.
template <class Line>
void ForEachLine(const char* text, bool multiLine, Line&& line) {
  if (!multiLine) {
    line(text, static_cast<int>(std::strlen(text)));
    return;
  }
  const char* piece = text;
  for (;;) {
    const char* lineBreak = std::strstr(piece, "\r\n");
    if (lineBreak == nullptr) {
      if (*piece != '\0') line(piece, static_cast<int>(std::strlen(piece)));
      return;
    }
    line(piece, static_cast<int>(lineBreak - piece));
    piece = lineBreak + 2;
  }
}

}  // namespace

EToolTip::EToolTip(HWND parent) {
  font = CreateFontA(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "宋体");
  Create(0, WS_CHILD, 0, 0, 0, 0, parent);
}

EToolTip::~EToolTip() {
  Destroy();
  if (font != nullptr) DeleteObject(font);
}

SIZE EToolTip::SetText(const char* newText) {
  SIZE size{0, 0};
  if (newText == nullptr || *newText == '\0') return size;
  // At most 1023 bytes, never half a double-byte character.
  std::size_t kept = zuvo::platform::gbk::CutLength(newText, kMaxText);
  std::memcpy(text, newText, kept);
  text[kept] = '\0';
  multiLine = std::strstr(text, "\r\n") != nullptr;

  HDC dc = handle != nullptr ? ::GetDC(handle) : ::GetDC(nullptr);
  if (dc == nullptr) return size;
  HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
  ForEachLine(text, multiLine, [&](const char* piece, int length) {
    SIZE extent{0, 0};
    // An empty line still takes the height of a line.
    if (length == 0) {
      GetTextExtentPoint32A(dc, " ", 1, &extent);
    } else {
      GetTextExtentPoint32A(dc, piece, length, &extent);
    }
    lineHeight = extent.cy;
    size.cx = std::max(size.cx, extent.cx);
    size.cy += extent.cy;
  });
  if (oldFont != nullptr) SelectObject(dc, oldFont);
  ::ReleaseDC(handle, dc);
  size.cx += 5;
  size.cy += 5;
  return size;
}

void EToolTip::ShowAt(POINT point, const char* newText, HWND parent) {
  if (newText == nullptr || *newText == '\0') {
    Hide();
    return;
  }
  if (handle == nullptr) return;
  if (parent != nullptr && GetParent(handle) != parent) SetParent(handle, parent);
  SIZE size = SetText(newText);
  InvalidateRect(handle, nullptr, TRUE);
  SetWindowPos(handle, HWND_TOP, point.x, point.y, size.cx, size.cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void EToolTip::Hide() {
  if (handle != nullptr) ShowWindow(handle, SW_HIDE);
}

LRESULT EToolTip::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETFOCUS: {
      // The tooltip never keeps the focus: straight back to where it came from.
      HWND previous = reinterpret_cast<HWND>(wParam);
      if (previous != nullptr && IsWindow(previous)) SetFocus(previous);
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(handle, &ps);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(0, 0, 0));
      RECT client;
      GetClientRect(handle, &client);
      HBRUSH fill = CreateSolidBrush(kToolTipBackground);
      FillRect(dc, &client, fill);
      DeleteObject(fill);
      HBRUSH frame = CreateSolidBrush(RGB(0, 0, 0));
      FrameRect(dc, &client, frame);
      DeleteObject(frame);
      HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
      int y = 3;
      ForEachLine(text, multiLine, [&](const char* piece, int length) {
        if (length > 0) TextOutA(dc, 3, y, piece, length);
        y += lineHeight;
      });
      if (oldFont != nullptr) SelectObject(dc, oldFont);
      EndPaint(handle, &ps);
      return 0;
    }
    case WM_MOUSEMOVE:
      Hide();
      return 0;
    default:
      return EWnd::WindowProc(message, wParam, lParam);
  }
}

// ---- TTranspWnd ----------------------------------------------------------------------------

TTranspWnd::TTranspWnd(TWinControl* mainWindow) : TForm(mainWindow) {
  SetBorderStyle(bsNone);
  if (mainWindow != nullptr) SetParent(mainWindow);
}

TTranspWnd::~TTranspWnd() {
  drawCanvas_.FreeHandle();
  if (TranspWnd == this) TranspWnd = nullptr;
}

void TTranspWnd::CreateParams(TCreateParams& params) {
  TForm::CreateParams(params);
  params.ExStyle |= WS_EX_TRANSPARENT;
}

void TTranspWnd::DoClose(TCloseAction& action) {
  action = caFree;
  TForm::DoClose(action);
}

void TTranspWnd::WndProc(TMessage& message) {
  if (message.Msg == WM_ERASEBKGND) {
    // Nothing painted: the window keeps what lay beneath it when it was shown.
    message.Result = 1;
    return;
  }
  if (message.Msg == WM_PAINT || message.Msg == WM_DESTROY) drawCanvas_.FreeHandle();
  TForm::WndProc(message);
}
