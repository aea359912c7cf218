// The quote list's grid: a draw grid that offers its raw mouse-button and key messages to six
// events before the grid handles them. Each event gets a handled flag that starts true: left
// set, the message ends there (result 0; the grid's selection, its own OnMouseDown, OnKeyDown,
// click and popup menu never see it); cleared, the message goes on as if the event were not
// assigned. Everything else is the draw grid's. UI thread only.
//
// Mouse positions are client coordinates taken as signed halves of lParam: a press or release
// left of or above the grid while it holds the mouse capture arrives negative, outside every
// cell, not as a position near 65535.
#pragma once

#include "platform/Grid.h"

#include <functional>

// Sender, x, y (client coordinates), handled flag.
using TMsgMouseEvent = std::function<void(TObject* Sender, int x, int y, bool* pHandled)>;
// Sender, virtual key code (wParam), handled flag.
using TMsgKeyEvent = std::function<void(TObject* Sender, WPARAM dwKey, bool* pHandled)>;

class TMsgDrawGrid : public TDrawGrid {
 public:
  explicit TMsgDrawGrid(TComponent* owner);
  const char* ClassName() const override { return "TMsgDrawGrid"; }

  void WndProc(TMessage& message) override;

  TMsgMouseEvent OnLButtonDown;
  TMsgMouseEvent OnLButtonUp;
  TMsgMouseEvent OnRButtonDown;
  TMsgMouseEvent OnRButtonUp;
  TMsgKeyEvent OnKeyDown2;
  TMsgKeyEvent OnKeyUp2;
};

namespace zuvo::widgets {
// Names TMsgDrawGrid to the package's class table.
void RegisterMsgdrawgrid();
}  // namespace zuvo::widgets
