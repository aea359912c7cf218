// A string grid with the package's flat border that paints its whole client area itself: fixed
// rows and columns in FixedColor without lines, one-pixel light grey lines between the scrolling
// cells only, the current cell (or, with goRowSelect, its row) in the system highlight colour
// with white text, and each text on one line, 3 pixels in from the cell's left line and cut
// before its right one.
//
// Only the painting changes: selection, scrolling, editing and events are the base grid's. The
// painting reads nothing but the base's geometry, cells, colours and font; DefaultDrawing,
// OnDrawCell, the line width and options and the focus rectangle play no part. The in-place
// editor is a child window and paints itself over the grid. A column or row of size 0 draws no
// text; a text never spills into the next cell. UI thread only.
#pragma once

#include "platform/Grid.h"
#include "widgets/XpFlatBorder.h"

class TXPStringGrid : public TXPFlatBorder<TStringGrid> {
 public:
  explicit TXPStringGrid(TComponent* owner) : TXPFlatBorder<TStringGrid>(owner) {}
  const char* ClassName() const override { return "TXPStringGrid"; }

  // WM_PAINT paints through OnPaint, not the base; WM_ERASEBKGND erases nothing (answers 1).
  void WndProc(TMessage& message) override;
  // Paints the client area into `dc` (a paint or client context of the grid's window).
  void OnPaint(void* dc);
};

namespace zuvo::widgets {
// Names TXPStringGrid in the package's class table.
void RegisterXpstringgrid();
}  // namespace zuvo::widgets
