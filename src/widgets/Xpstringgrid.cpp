#include "widgets/Xpstringgrid.h"

#include "platform/Gdi.h"
#include "widgets/Package.h"

#include <cstring>
#include <string>

namespace {

constexpr COLORREF kGridLineColor = RGB(192, 192, 192);
constexpr COLORREF kHighlightTextColor = RGB(255, 255, 255);
// The text keeps this far from the cell's left line and from its right edge.
constexpr int kTextInset = 3;

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  if (right <= left || bottom <= top) return;
  const RECT r{left, top, right, bottom};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

HFONT MakeFont(TFont* font) {
  LOGFONTA description{};
  description.lfHeight = font->Height();
  const TFontStyles style = font->Style();
  description.lfWeight = (style & FontStyleBit(fsBold)) != 0 ? FW_BOLD : FW_NORMAL;
  description.lfItalic = (style & FontStyleBit(fsItalic)) != 0 ? 1 : 0;
  description.lfUnderline = (style & FontStyleBit(fsUnderline)) != 0 ? 1 : 0;
  description.lfStrikeOut = (style & FontStyleBit(fsStrikeOut)) != 0 ? 1 : 0;
  description.lfCharSet = DEFAULT_CHARSET;
  description.lfPitchAndFamily = FF_SWISS;
  std::strncpy(description.lfFaceName, font->Name().c_str(), LF_FACESIZE - 1);
  return CreateFontIndirectA(&description);
}

}  // namespace

void TXPStringGrid::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT: {
      if (!HandleAllocated()) break;
      TPaintScope scope(handle_, message);
      if (scope.Dc() != nullptr) OnPaint(scope.Dc());
      message.Result = 0;
      return;
    }
    case WM_ERASEBKGND:
      message.Result = 1;
      return;
    default:
      break;
  }
  TXPFlatBorder<TStringGrid>::WndProc(message);
}

void TXPStringGrid::OnPaint(void* context) {
  HDC dc = static_cast<HDC>(context);
  if (dc == nullptr) return;
  // The client area; whatever lies past it is clipped away.
  const int width = ClientWidth();
  const int height = ClientHeight();
  const int fixedRows = FixedRows(), fixedCols = FixedCols();
  const int rowCount = RowCount(), colCount = ColCount();
  const int topRow = TopRow(), leftCol = LeftCol();
  const bool rowSelect = (Options() & goRowSelect) != 0;

  Fill(dc, 0, 0, width, height, ColorToRGB(Color()));

  // How far the drawn rows and columns reach; the scrolling ones add their line.
  int bottom = 0;
  for (int r = 0; r < fixedRows && bottom < height; ++r) bottom += RowHeights(r);
  for (int r = topRow; r < rowCount && bottom < height; ++r) bottom += RowHeights(r) + 1;
  int right = 0;
  for (int c = 0; c < fixedCols && right < width; ++c) right += ColWidths(c);
  for (int c = leftCol; c < colCount && right < width; ++c) right += ColWidths(c) + 1;

  const COLORREF fixedColour = ColorToRGB(FixedColor());
  if (fixedRows > 0) {
    int fixedHeight = 0;
    for (int r = 0; r < fixedRows; ++r) fixedHeight += RowHeights(r);
    Fill(dc, 0, 0, right, fixedHeight, fixedColour);
  }
  if (fixedCols > 0) {
    int fixedWidth = 0;
    for (int c = 0; c < fixedCols; ++c) fixedWidth += ColWidths(c);
    Fill(dc, 0, 0, fixedWidth, bottom, fixedColour);
  }

  HPEN pen = CreatePen(PS_SOLID, 1, kGridLineColor);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  {
    auto horizontal = [&](int y) {
      MoveToEx(dc, 0, y, nullptr);
      LineTo(dc, right + 1, y);   // through the last column's line
    };
    int y = 0;
    for (int r = 0; r < fixedRows && y < height; ++r) horizontal(y += RowHeights(r));
    for (int r = topRow; r < rowCount && y < height; ++r) horizontal(y += RowHeights(r) + 1);
    auto vertical = [&](int x) {
      MoveToEx(dc, x, 0, nullptr);
      LineTo(dc, x, bottom);
    };
    int x = 0;
    for (int c = 0; c < fixedCols && x < width; ++c) vertical(x += ColWidths(c));
    for (int c = leftCol; c < colCount && x < width; ++c) vertical(x += ColWidths(c) + 1);
  }
  SelectObject(dc, oldPen);
  DeleteObject(pen);

  HFONT font = MakeFont(Font());
  HGDIOBJ oldFont = SelectObject(dc, font);
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF textColour = ColorToRGB(Font()->Color());
  const COLORREF oldColour = SetTextColor(dc, textColour);
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);

  auto drawCell = [&](int col, int row, int x, int y, COLORREF colour) {
    const std::string text = Cells(col, row);
    if (text.empty()) return;
    RECT r{x + kTextInset, y, x + ColWidths(col) - kTextInset, y + RowHeights(row)};
    // A column or row too small for any text draws none (and no inverted rectangle).
    if (r.right <= r.left || r.bottom <= r.top) return;
    SetTextColor(dc, colour);
    // Clipped to the rectangle: a long text is cut there and never reaches the next cell.
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_SINGLELINE | DT_LEFT | DT_VCENTER | DT_NOPREFIX);
  };
  auto drawFixedColumns = [&](int row, int y, int& x) {
    for (int c = 0; c < fixedCols && x < width; ++c) {
      drawCell(c, row, x, y, textColour);
      x += ColWidths(c);
    }
  };

  int y = 0;
  for (int r = 0; r < fixedRows && y < height; ++r) {
    int x = 0;
    drawFixedColumns(r, y, x);
    for (int c = leftCol; c < colCount && x < width; ++c) {
      drawCell(c, r, x, y, textColour);
      x += ColWidths(c) + 1;
    }
    y += RowHeights(r);
  }
  for (int r = topRow; r < rowCount && y < height; ++r) {
    int x = 0;
    drawFixedColumns(r, y, x);
    for (int c = leftCol; c < colCount && x < width; ++c) {
      const int cellWidth = ColWidths(c), cellHeight = RowHeights(r);
      if (r == Row() && (c == Col() || rowSelect)) {
        Fill(dc, x + 1, y + 1, x + cellWidth + 1, y + cellHeight + 1, highlight);
        drawCell(c, r, x, y, kHighlightTextColor);
      } else {
        drawCell(c, r, x, y, textColour);
      }
      x += cellWidth + 1;
    }
    y += RowHeights(r) + 1;
  }

  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
  SelectObject(dc, oldFont);
  DeleteObject(font);
}

namespace zuvo::widgets {

void RegisterXpstringgrid() { RegisterComponentClass("TXPStringGrid"); }

}  // namespace zuvo::widgets
