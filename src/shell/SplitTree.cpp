// The page's split tree: layout, divider hit tests and drags, splits, closes and zoom, with every
// effect on cells and windows handed to the page window through ISplitTreeHost.
#include "shell/SplitTree.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

namespace {

// round(v) of the layout: truncate(v + 0.5), kept inside the int range.
int RoundExtent(double value) {
  value += 0.5;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

bool SideBySide(int side) { return side == NODE_LEFT || side == NODE_RIGHT; }
bool IsHorizontalEdge(int edge) { return edge == 1 || edge == 2; }   // the divider is vertical
int Extent(const PageNode* node, bool acrossWidth) { return acrossWidth ? node->width : node->height; }

// N's rectangle from its parent's, by N's side.
void ComputeRect(PageNode* node) {
  const PageNode* parent = node->parent;
  switch (node->side) {
    case NODE_RIGHT:
      node->width = RoundExtent(static_cast<double>(node->ratio) * parent->width);
      node->left = parent->left + parent->width - node->width;
      node->top = parent->top;
      node->height = parent->height;
      break;
    case NODE_TOP:
      node->left = parent->left;
      node->width = parent->width;
      node->top = parent->top;
      node->height = RoundExtent(static_cast<double>(parent->height) * node->ratio);
      break;
    case NODE_BOTTOM:
      node->left = parent->left;
      node->width = parent->width;
      node->height = RoundExtent(static_cast<double>(node->ratio) * parent->height);
      node->top = parent->top + parent->height - node->height;
      break;
    default:   // NODE_LEFT
      node->left = parent->left;
      node->top = parent->top;
      node->width = RoundExtent(static_cast<double>(parent->width) * node->ratio);
      node->height = parent->height;
      break;
  }
}

PageNode* NewNode(PageNode* parent, int side, float ratio) {
  auto* node = new PageNode;
  node->parent = parent;
  node->side = side;
  node->ratio = ratio;
  return node;
}

void CopyRect(PageNode* to, const PageNode* from) {
  to->left = from->left;
  to->top = from->top;
  to->width = from->width;
  to->height = from->height;
}

const char kTooSmallText[] = "已有窗口太小，无法切分。  ";
const char kTooSmallCaption[] = "提示";
constexpr int kMinSplitHeight = 100;   // two stacked halves of at least 50
constexpr int kMinSplitWidth = 200;    // two halves side by side of at least 100

}  // namespace

SplitTree::SplitTree(ISplitTreeHost* host) : host_(host), root_(nullptr) {
  root_ = NewNode(nullptr, NODE_LEFT, 1.0f);
  root_->width = 1;
  root_->height = 1;
}

SplitTree::~SplitTree() { DeleteNodes(root_); }

void SplitTree::DeleteNodes(PageNode* node) {
  if (node == nullptr) return;
  DeleteNodes(node->first);
  DeleteNodes(node->second);
  delete node;
}

void SplitTree::Reset() {
  FreeSubtree(root_->first);
  delete root_;
  root_ = NewNode(nullptr, NODE_LEFT, 1.0f);
  root_->width = 1;
  root_->height = 1;
  dragging_ = false;
  dragEdge_ = 0;
  dragNode_ = nullptr;
  dragX_ = dragY_ = 0;
}

void SplitTree::FreeNode(PageNode* node) {
  if (node == nullptr) return;
  if (node == root_) {
    Reset();
    return;
  }
  if (PageNode* parent = node->parent) {
    if (parent->first == node) parent->first = nullptr;
    if (parent->second == node) parent->second = nullptr;
  }
  FreeSubtree(node);
}

void SplitTree::FreeSubtree(PageNode* node) {
  if (node == nullptr) return;
  if (TMultiViewChild* cell = node->cell) {
    node->cell = nullptr;
    host_->DestroyCell(cell);
  }
  FreeSubtree(node->first);
  FreeSubtree(node->second);
  if (dragNode_ == node) dragNode_ = nullptr;
  delete node;
}

PageNode* SplitTree::FindNode(const TMultiViewChild* cell) const {
  if (cell == nullptr) return nullptr;
  std::vector<PageNode*> pending{root_};
  while (!pending.empty()) {
    PageNode* node = pending.back();
    pending.pop_back();
    if (node->cell == cell) return node;
    if (node->second) pending.push_back(node->second);
    if (node->first) pending.push_back(node->first);
  }
  return nullptr;
}

void SplitTree::PlaceNodeCell(const PageNode* node) {
  host_->PlaceCell(node->cell, node->left + kCellInset, node->top + kCellInset,
                   std::max(0, node->width - kCellShrink), std::max(0, node->height - kCellShrink));
  host_->InitCell(node->cell);
}

void SplitTree::Dissolve(PageNode* from, PageNode* into) {
  into->cell = from->cell;
  into->first = from->first;
  into->second = from->second;
  if (into->cell) host_->SetCellNode(into->cell, into);
  if (into->first) into->first->parent = into;
  if (into->second) into->second->parent = into;
  if (dragNode_ == from) dragNode_ = nullptr;
  delete from;
}

void SplitTree::LayoutNode(PageNode* node, bool move, bool settle) {
  if (node == nullptr) return;
  // Repeated from the rectangle when an empty child was removed and its sibling merged into node.
  for (;;) {
    if (node->parent) ComputeRect(node);   // the root's rectangle is the client area
    if (move && node->cell && host_->ZoomedCell() == nullptr) PlaceNodeCell(node);

    bool mergedChild = false;
    PageNode* const children[2] = {node->second, node->first};
    for (PageNode* child : children) {
      if (child == nullptr) continue;
      if (!settle || child->cell || child->first || child->second) {
        LayoutNode(child, move, settle);
        continue;
      }
      // An empty piece left by a drag of the page's outer edge: it gets its minimum extent and
      // an empty cell, or goes when the node cannot hold it beside its sibling.
      PageNode* piece = child;
      PageNode* sibling = piece == node->first ? node->second : node->first;
      const bool acrossWidth = SideBySide(piece->side);
      const int minimum = acrossWidth ? kMinCellWidth : kMinCellHeight;
      const int extent = acrossWidth ? node->width : node->height;
      bool remove = false;
      if (static_cast<int>(static_cast<float>(extent) * piece->ratio) < minimum) {
        if (extent < 2 * minimum) {
          remove = true;
        } else {
          const float share = static_cast<float>(minimum) / static_cast<float>(extent);
          piece->ratio = share;
          if (sibling) sibling->ratio = 1.0f - share;
          if (piece == node->first && sibling) LayoutNode(sibling, move, settle);
        }
      }
      TMultiViewChild* cell = remove ? nullptr : host_->CreateCell(piece, nullptr);
      if (cell == nullptr) {
        // Too small, or no cell could be made: the piece goes and the sibling takes the node.
        node->first = nullptr;
        node->second = nullptr;
        if (dragNode_ == piece) dragNode_ = nullptr;
        delete piece;
        if (sibling) Dissolve(sibling, node);
        mergedChild = true;
        break;
      }
      piece->cell = cell;
      LayoutNode(piece, move, settle);
      host_->InitCell(cell);
    }
    if (!mergedChild) return;
  }
}

void SplitTree::LayoutPage(int clientWidth, int clientHeight) {
  root_->width = clientWidth;
  root_->height = clientHeight;
  LayoutNode(root_->first, true, true);
  if (TMultiViewChild* zoomed = host_->ZoomedCell()) {
    host_->PlaceCell(zoomed, kCellInset, kCellInset, std::max(0, clientWidth - kCellShrink),
                     std::max(0, clientHeight - kCellShrink));
    host_->InitCell(zoomed);
  }
}

EdgeHit SplitTree::HitTestEdge(int x, int y) const { return HitTestEdge(root_, x, y); }

EdgeHit SplitTree::HitTestEdge(PageNode* node, int x, int y) const {
  if (node == nullptr) return {};
  const long long right = static_cast<long long>(node->left) + node->width;
  const long long bottom = static_cast<long long>(node->top) + node->height;
  const bool withinHeight = node->top <= y && y < bottom;
  const bool withinWidth = node->left <= x && x < right;
  if (node->left <= x && x < static_cast<long long>(node->left) + 2 && withinHeight) return {node, 1};
  if ((x == right - 2 || x == right - 1) && withinHeight) return {node, 2};
  if (node->top <= y && y < static_cast<long long>(node->top) + 2 && withinWidth) return {node, 3};
  if ((y == bottom - 2 || y == bottom - 1) && withinWidth) return {node, 4};
  if (EdgeHit hit = HitTestEdge(node->first, x, y)) return hit;
  return HitTestEdge(node->second, x, y);
}

int SplitTree::CellsAcross(const PageNode* node, bool acrossWidth) {
  if (node == nullptr) return 0;
  if (node->cell) return 1;
  const int first = CellsAcross(node->first, acrossWidth);
  const int second = CellsAcross(node->second, acrossWidth);
  const PageNode* child = node->first ? node->first : node->second;
  if (child == nullptr) return 0;   // an empty piece has no minimum
  // Parts that lie across the measured direction add up; parts along it count the larger.
  const bool partsAcross = SideBySide(child->side) == acrossWidth;
  return partsAcross ? first + second : std::max(first, second);
}

int SplitTree::MinimumExtent(const PageNode* node, bool acrossWidth) {
  return CellsAcross(node, acrossWidth) * (acrossWidth ? kMinCellWidth : kMinCellHeight);
}

bool SplitTree::CheckExtent(int& proposed, const PageNode* node, bool acrossWidth) {
  const int minimum = MinimumExtent(node, acrossWidth);
  if (proposed >= minimum) return true;
  proposed = minimum;
  return false;
}

bool SplitTree::BeginDrag(EdgeHit hit, int x, int y) {
  if (!hit || hit.edge < 1 || hit.edge > 4 || host_->ZoomedCell() != nullptr) return false;
  dragging_ = true;
  dragNode_ = hit.node;
  dragEdge_ = hit.edge;
  dragX_ = x;
  dragY_ = y;
  host_->XorFeedbackLine(*dragNode_, dragEdge_, IsHorizontalEdge(dragEdge_) ? x : y);
  return true;
}

bool SplitTree::DragEdge(int x, int y) {
  if (!dragging_ || dragNode_ == nullptr) return false;
  const int position = IsHorizontalEdge(dragEdge_) ? x : y;
  const int last = IsHorizontalEdge(dragEdge_) ? dragX_ : dragY_;
  if (position == last) return false;
  if (dragNode_ == root_) return DragOuter(dragEdge_, position, last);
  return DragInterior(dragNode_, dragEdge_, position, last);
}

bool SplitTree::DragInterior(PageNode* node, int edge, int position, int last) {
  PageNode* parent = node->parent;
  if (parent == nullptr) return false;
  // Edges 1 and 3 are dividers only for a second child (a first child's is its parent's own),
  // edges 2 and 4 only for a first child. The divider lies between `before` and `after`.
  PageNode* before;
  PageNode* after;
  if (edge == 1 || edge == 3) {
    if (node == parent->first) return false;
    before = parent->first;
    after = node;
  } else {
    if (node != parent->first) return false;
    before = node;
    after = parent->second;
  }
  const bool acrossWidth = IsHorizontalEdge(edge);
  if (before == nullptr || after == nullptr) return false;
  // Only a split in the dragged direction has this divider.
  if (before->side != (acrossWidth ? NODE_LEFT : NODE_TOP) || after->side != (acrossWidth ? NODE_RIGHT : NODE_BOTTOM))
    return false;

  const int beforeExtent = Extent(before, acrossWidth);
  const int afterExtent = Extent(after, acrossWidth);
  const int parentExtent = Extent(parent, acrossWidth);
  int delta = position - last;
  if (delta > 0) {
    int proposed = afterExtent - delta;
    if (!CheckExtent(proposed, after, acrossWidth)) delta = afterExtent - proposed;
    // A part already below its minimum (a small page) never pushes the divider back at the mouse.
    delta = std::max(delta, 0);
  } else {
    int proposed = beforeExtent + delta;
    if (!CheckExtent(proposed, before, acrossWidth)) delta = proposed - beforeExtent;
    delta = std::min(delta, 0);
  }
  if (delta == 0 || parentExtent <= 0) return false;

  const float share = std::min(1.0f, static_cast<float>(beforeExtent + delta) / static_cast<float>(parentExtent));
  before->ratio = share;
  after->ratio = 1.0f - share;
  host_->XorFeedbackLine(*node, edge, last);
  host_->XorFeedbackLine(*node, edge, last + delta);
  LayoutNode(before, false, true);
  LayoutNode(after, false, true);
  if (acrossWidth) {
    dragX_ = last + delta;
  } else {
    dragX_ = 0;   // a horizontal divider keeps only y
    dragY_ = last + delta;
  }
  return true;
}

bool SplitTree::DragOuter(int edge, int position, int last) {
  if (host_->ZoomedCell() != nullptr) return false;
  PageNode* top = root_->first;
  if (top == nullptr) return false;
  const int delta = position - last;
  // Only inwards: right from the left edge, left from the right edge, and so on.
  const bool inwards = (edge == 1 || edge == 3) ? delta > 0 : delta < 0;
  if (!inwards) return false;
  const bool acrossWidth = IsHorizontalEdge(edge);
  const int topExtent = Extent(top, acrossWidth);
  // One jump of the mouse takes no more than the top node can give up above its minimum (at
  // least a pixel), and never all of it: both shares stay in (0, 1).
  const int room = std::max(topExtent - MinimumExtent(top, acrossWidth), 1);
  const int amount = std::min(std::abs(delta), room);
  if (amount >= topExtent) return false;

  PageNode* split = NewNode(root_, NODE_LEFT, 1.0f);
  CopyRect(split, top);
  PageNode* piece = NewNode(split, NODE_LEFT, static_cast<float>(amount) / static_cast<float>(topExtent));
  top->parent = split;
  top->ratio = 1.0f - piece->ratio;
  int continueEdge = 0;
  switch (edge) {
    case 1:
      piece->side = NODE_LEFT;
      top->side = NODE_RIGHT;
      continueEdge = 2;
      break;
    case 2:
      top->side = NODE_LEFT;
      piece->side = NODE_RIGHT;
      continueEdge = 1;
      break;
    case 3:
      piece->side = NODE_TOP;
      top->side = NODE_BOTTOM;
      continueEdge = 4;
      break;
    default:
      top->side = NODE_TOP;
      piece->side = NODE_BOTTOM;
      continueEdge = 3;
      break;
  }
  const bool pieceFirst = edge == 1 || edge == 3;
  split->first = pieceFirst ? piece : top;
  split->second = pieceFirst ? top : piece;
  root_->first = split;
  LayoutNode(split, false, false);

  const int moved = last + (delta > 0 ? amount : -amount);
  host_->XorFeedbackLine(*root_, edge, last);
  host_->XorFeedbackLine(*piece, continueEdge, moved);
  dragNode_ = piece;
  dragEdge_ = continueEdge;
  if (acrossWidth) {
    dragX_ = moved;
  } else {
    dragX_ = 0;
    dragY_ = moved;
  }
  return true;
}

void SplitTree::EndDrag() {
  if (!dragging_) return;
  LayoutPage(root_->width, root_->height);
  dragging_ = false;
  dragEdge_ = 0;
  dragNode_ = nullptr;
  dragX_ = dragY_ = 0;
}

TMultiViewChild* SplitTree::SplitCell(PageNode* node, const VIEW_ATTR_12* attr, float ratio, int direction) {
  if (node == nullptr || node->first || node->second) return nullptr;
  if (node->cell == nullptr) {
    // An empty page: the view covers the node as its first child.
    PageNode* whole = NewNode(node, NODE_LEFT, 1.0f);
    CopyRect(whole, node);
    TMultiViewChild* cell = host_->CreateCell(whole, attr);
    if (cell == nullptr) {
      delete whole;
      return nullptr;
    }
    whole->cell = cell;
    node->first = whole;
    return cell;
  }
  if (!(ratio > 0.0f && ratio < 1.0f) || (direction != SPLIT_HORZ && direction != SPLIT_VERT)) return nullptr;

  PageNode* kept = NewNode(node, direction == SPLIT_HORZ ? NODE_TOP : NODE_LEFT, 1.0f - ratio);
  PageNode* added = NewNode(node, direction == SPLIT_HORZ ? NODE_BOTTOM : NODE_RIGHT, ratio);
  TMultiViewChild* cell = host_->CreateCell(added, attr);
  if (cell == nullptr) {
    delete kept;
    delete added;
    return nullptr;
  }
  added->cell = cell;
  kept->left = node->left;
  kept->top = node->top;
  if (direction == SPLIT_HORZ) {
    added->height = RoundExtent(static_cast<double>(ratio) * node->height);
    added->top = node->top + node->height - added->height;
    added->left = node->left;
    added->width = node->width;
    kept->width = node->width;
    kept->height = node->height - added->height;
  } else {
    added->width = RoundExtent(static_cast<double>(ratio) * node->width);
    added->left = node->left + node->width - added->width;
    added->top = node->top;
    added->height = node->height;
    kept->width = node->width - added->width;
    kept->height = node->height;
  }
  kept->cell = node->cell;
  node->cell = nullptr;
  host_->SetCellNode(kept->cell, kept);
  node->first = kept;
  node->second = added;
  host_->RepaintPage();
  return cell;
}

TMultiViewChild* SplitTree::SplitCellCommand(TMultiViewChild* cell, int direction) {
  if (host_->ZoomedCell() != nullptr) return nullptr;
  PageNode* node = FindNode(cell);
  if (node == nullptr) return nullptr;
  const bool tooSmall =
      direction == SPLIT_HORZ ? node->height < kMinSplitHeight : node->width < kMinSplitWidth;
  if (tooSmall) {
    host_->ShowRefusal(kTooSmallText, kTooSmallCaption);
    return nullptr;
  }
  TMultiViewChild* added = SplitCell(node, nullptr, 0.5f, direction);
  if (added == nullptr) return nullptr;
  host_->ActivateCell(cell);
  LayoutNode(node, true, true);
  return added;
}

void SplitTree::CloseCell(TMultiViewChild* cell) {
  PageNode* node = FindNode(cell);
  if (node == nullptr) return;
  PageNode* parent = node->parent;
  if (parent == nullptr || parent == root_) return;   // the page's only cell stays

  if (host_->ActiveCell() == cell) {
    TMultiViewChild* first = host_->CellAt(0);
    TMultiViewChild* next = first == cell ? host_->CellAt(1) : first;
    if (next) host_->ActivateCell(next);
  }
  PageNode* sibling = parent->first == node ? parent->second : parent->first;
  parent->first = nullptr;
  parent->second = nullptr;
  if (sibling) Dissolve(sibling, parent);

  const bool wasZoomed = host_->ZoomedCell() == cell;
  node->cell = nullptr;
  if (dragNode_ == node) dragNode_ = nullptr;
  delete node;
  host_->DestroyCell(cell);
  if (wasZoomed) host_->SetZoomedCell(nullptr);
  LayoutNode(parent, true, true);
  host_->RepaintPage();
}

void SplitTree::CloseCellCommand(TMultiViewChild* cell) {
  if (cell == nullptr || cell == host_->ZoomedCell()) return;
  CloseCell(cell);
}

void SplitTree::ShowCells(const PageNode* node, const TMultiViewChild* except, bool visible) {
  if (node == nullptr) return;
  if (node->cell && node->cell != except) host_->ShowCell(node->cell, visible);
  ShowCells(node->first, except, visible);
  ShowCells(node->second, except, visible);
}

void SplitTree::ZoomCell(TMultiViewChild* cell, bool zoom) {
  if (FindNode(cell) == nullptr) return;
  TMultiViewChild* zoomed = host_->ZoomedCell();
  if (zoom) {
    if (zoomed == cell) return;
    if (zoomed) host_->SetCellZoomFlag(zoomed, false);
    host_->SetCellZoomFlag(cell, true);
    host_->SetZoomedCell(cell);
    ShowCells(root_, cell, false);
    host_->PlaceCell(cell, kCellInset, kCellInset, std::max(0, root_->width - kCellShrink),
                     std::max(0, root_->height - kCellShrink));
    host_->InitCell(cell);
    if (host_->ActiveCell() != cell) host_->ActivateCell(cell);
  } else {
    if (zoomed != cell) return;
    host_->SetCellZoomFlag(cell, false);
    host_->SetZoomedCell(nullptr);
    ShowCells(root_, nullptr, true);
    LayoutPage(root_->width, root_->height);
  }
  host_->RepaintPage();
}
