// The page's split tree as a model apart from any window: the PageNode tree under its root, the
// layout of node rectangles (with the settling of an empty piece dragged out of the page's outer
// edge), divider hit tests and drags with their minimum extents, splits, closes, zoom and the
// drag state. Everything that touches a cell or a window (creating, placing, showing, zooming,
// destroying a cell, activating it, message boxes, the drag feedback line, repaints) goes
// through ISplitTreeHost, which the page window implements and tests record.
//
// Cells are opaque here: the model only stores and hands back TMultiViewChild pointers.
// User-interface thread only, like the page window that owns the model.
#pragma once

#include "shell/PageWindow.h"

struct VIEW_ATTR_12;

// What the split tree asks of the page window.
class ISplitTreeHost {
 public:
  virtual ~ISplitTreeHost() = default;

  // Creates the view of `attr`'s kind in `node` (the cell's node is `node`); null `attr` asks
  // for a plain empty cell without view data or history. Null when no cell could be made; the
  // model then leaves the tree as it was.
  virtual TMultiViewChild* CreateCell(PageNode* node, const VIEW_ATTR_12* attr) = 0;
  // The cell now lives in `node` (its node pointer follows the tree).
  virtual void SetCellNode(TMultiViewChild* cell, PageNode* node) = 0;
  // Frees the cell's history and view data record, sends it WM_CLOSE and destroys it.
  virtual void DestroyCell(TMultiViewChild* cell) = 0;
  // Moves the cell window to the rectangle (sizes are never negative) and shows it without
  // activation, keeping the z-order.
  virtual void PlaceCell(TMultiViewChild* cell, int left, int top, int width, int height) = 0;
  // Posts MsgCellInit to the cell unless it is initialised.
  virtual void InitCell(TMultiViewChild* cell) = 0;
  virtual void ShowCell(TMultiViewChild* cell, bool visible) = 0;
  // The cell's zoom flag and the first icon of its command strip (1 zoom, 2 restore), redrawn.
  virtual void SetCellZoomFlag(TMultiViewChild* cell, bool zoomed) = 0;

  // The page's zoomed and active cells and its cell list (creation order).
  virtual TMultiViewChild* ZoomedCell() = 0;
  virtual void SetZoomedCell(TMultiViewChild* cell) = 0;
  virtual TMultiViewChild* ActiveCell() = 0;
  virtual void ActivateCell(TMultiViewChild* cell) = 0;
  // The cell at `index` of the cell list, null beyond its end.
  virtual TMultiViewChild* CellAt(int index) = 0;

  // A top-most error message box with its caption.
  virtual void ShowRefusal(const char* text, const char* caption) = 0;
  // Draws the drag feedback in XOR on the overlay (drawing it again erases it): for edges 1 and
  // 2 vertical lines at position - 1, position and position + 1 over the node's height, for
  // edges 3 and 4 horizontal lines at those y over the node's width.
  virtual void XorFeedbackLine(const PageNode& node, int edge, int position) = 0;
  virtual void RepaintPage() = 0;
};

// Which divider is under a point: the node and its edge (1 left, 2 right, 3 top, 4 bottom).
struct EdgeHit {
  PageNode* node = nullptr;
  int edge = 0;
  explicit operator bool() const { return node != nullptr; }
};

enum SplitDirection { SPLIT_HORZ = 1, SPLIT_VERT = 2 };   // new part below / to the right

constexpr int kMinCellWidth = 100;    // per cell side by side
constexpr int kMinCellHeight = 50;    // per cell stacked
// The cell window sits inside its node's rectangle, leaving room for the frames.
constexpr int kCellInset = 2;
constexpr int kCellShrink = 5;

class SplitTree {
 public:
  // A new root: position 0, 0, size 1 x 1, side 1, ratio 1.0, no children. `host` is not owned
  // and must outlive the model.
  explicit SplitTree(ISplitTreeHost* host);
  // Deletes the nodes only; the cells are the page window's (FreeNode destroys them).
  ~SplitTree();
  SplitTree(const SplitTree&) = delete;
  SplitTree& operator=(const SplitTree&) = delete;

  // The root stands for the whole client area; its first child is the page's top node and it
  // never has a second child or a cell.
  PageNode* Root() const { return root_; }
  PageNode* TopNode() const { return root_->first; }
  int ClientWidth() const { return root_->width; }
  int ClientHeight() const { return root_->height; }

  // Frees the whole tree with its cells and starts again from a new root (page reopened).
  void Reset();
  // Frees a subtree: a leaf's cell is destroyed; a split's first, then second subtree; then the
  // node. The node is unlinked from its parent first; freeing the root is Reset.
  void FreeNode(PageNode* node);
  // The node holding `cell`, null when it is not in the tree.
  PageNode* FindNode(const TMultiViewChild* cell) const;

  // Computes the node's rectangle from its parent and lays out its subtree; `move` places the
  // cell windows (not while a cell is zoomed), `settle` gives an empty piece its minimum extent
  // and a cell, or removes it when the node is too small for both parts.
  void LayoutNode(PageNode* node, bool move, bool settle);
  // Root size = client size, the whole tree laid out with move and settle; a zoomed cell is
  // placed over the whole client area.
  void LayoutPage(int clientWidth, int clientHeight);

  // The divider under (x, y): the root first, then a node before its children, the first
  // subtree before the second. Dividers are 4 pixels: the last 2 of one side, the first 2 of
  // the other.
  EdgeHit HitTestEdge(int x, int y) const;
  EdgeHit HitTestEdge(PageNode* node, int x, int y) const;

  // Cells across the width (height) of a subtree: a cell 1, an empty piece 0, parts side by side
  // add up, stacked parts count the larger.
  static int CellsAcross(const PageNode* node, bool acrossWidth);
  // The minimum extent of a subtree in one direction. CheckExtent replaces a proposed extent
  // below it by it and returns false.
  static int MinimumExtent(const PageNode* node, bool acrossWidth);
  static bool CheckExtent(int& proposed, const PageNode* node, bool acrossWidth);

  // ---- A divider drag: idle -> BeginDrag -> DragEdge steps -> EndDrag -> idle ----
  // Stores the point, edge and node and draws the feedback line. False (nothing stored) for no
  // edge or while a cell is zoomed.
  bool BeginDrag(EdgeHit hit, int x, int y);
  // One step to (x, y). Interior dividers stop where a side would fall below its minimum extent
  // and never move against the mouse; the page's outer edge dragged inwards makes a new empty
  // piece whose inner edge the drag then moves. True when the step was accepted.
  bool DragEdge(int x, int y);
  // Lays the page out (the new piece settles) and clears the drag state.
  void EndDrag();
  bool Dragging() const { return dragging_; }
  PageNode* DragNode() const { return dragNode_; }
  int DragEdgeNumber() const { return dragEdge_; }
  int DragX() const { return dragX_; }
  int DragY() const { return dragY_; }

  // Splits the leaf `node`: the new view (attr's kind; null for an empty cell) takes the bottom
  // (direction 1) or right (direction 2) part of `ratio`, the old cell moves to a new node for
  // the rest. A node without cell or children (an empty page) gets the new view in a first
  // child covering it. Returns the new cell; null (tree unchanged) for a split node or when the
  // host made no cell. Nothing is laid out here beyond the two new rectangles.
  TMultiViewChild* SplitCell(PageNode* node, const VIEW_ATTR_12* attr, float ratio, int direction);
  // The split commands of a cell: ignored while a cell is zoomed; refused with a message box when
  // the cell is less than 100 pixels high (direction 1) or 200 wide (direction 2); otherwise an
  // empty cell takes half, the old cell is activated and the node laid out with move and settle.
  TMultiViewChild* SplitCellCommand(TMultiViewChild* cell, int direction);

  // Removes the cell and merges its sibling into the parent, activating another cell when it was
  // the active one. Nothing for the page's only cell or a cell not in the tree.
  void CloseCell(TMultiViewChild* cell);
  // The close command: ignored for null or the zoomed cell.
  void CloseCellCommand(TMultiViewChild* cell);

  // Shows one cell over the whole page (zoom on), or restores the page (zoom off, only for the
  // zoomed cell).
  void ZoomCell(TMultiViewChild* cell, bool zoom);

 private:
  void PlaceNodeCell(const PageNode* node);
  // Moves `from`'s cell or children into `into` and deletes `from`.
  void Dissolve(PageNode* from, PageNode* into);
  bool DragInterior(PageNode* node, int edge, int x, int y);
  bool DragOuter(int edge, int x, int y);
  void ShowCells(const PageNode* node, const TMultiViewChild* except, bool visible);
  void FreeSubtree(PageNode* node);
  static void DeleteNodes(PageNode* node);

  ISplitTreeHost* host_;
  PageNode* root_;
  bool dragging_ = false;
  int dragEdge_ = 0;
  PageNode* dragNode_ = nullptr;
  int dragX_ = 0, dragY_ = 0;
};
