// The page window and its split tree, as far as cells need them: the page window owns the cell
// list (cells append and remove themselves), knows the active and the zoomed cell, and receives
// the cell commands cells post. The layout, page files and cell commands are the page window's
// own unit.
#pragma once

#include "core/EArray.h"
#include "platform/Form.h"

class TMultiViewChild;

constexpr int NODE_LEFT = 1;
constexpr int NODE_RIGHT = 2;
constexpr int NODE_TOP = 3;
constexpr int NODE_BOTTOM = 4;

// One node of the page's binary split tree; plain record owned by the page window.
struct PageNode {
  PageNode* parent = nullptr;
  PageNode* first = nullptr;    // left or top part
  PageNode* second = nullptr;   // right or bottom part
  TMultiViewChild* cell = nullptr;   // leaves only
  int left = 0, top = 0, width = 0, height = 0;   // page client coordinates
  int side = NODE_LEFT;
  float ratio = 1.0f;
};

class TMultiViewMain : public TForm {
 public:
  explicit TMultiViewMain(TComponent* owner);
  ~TMultiViewMain() override;
  const char* ClassName() const override { return "TMultiViewMain"; }

  // Makes `cell` the active cell: ViewDeactivated on the old one, ViewActivated on the new one.
  // Nothing when it already is.
  virtual void SetActiveCell(TMultiViewChild* cell);

  // Every cell of the page, in creation order (a cell appends itself when constructed and
  // removes itself when destroyed; the others keep their order).
  EArray<TMultiViewChild*> cells{20};
  TMultiViewChild* activeCell = nullptr;
  TMultiViewChild* zoomedCell = nullptr;
};
