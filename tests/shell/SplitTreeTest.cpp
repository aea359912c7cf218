// The page's split tree without a window: a recording host stands in for the page window and
// its cells are opaque tokens. Layout rounding, divider hit tests, drags with their minimum
// extents, pieces dragged out of the page's outer edge, splits and their refusals, closes, zoom,
// and a seeded random walk of all of them keeping the tree's invariants.
#include "shell/SplitTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "(" << r.left << "," << r.top << " " << r.width << "x" << r.height << ")";
}

Rect RectOf(const PageNode* node) { return {node->left, node->top, node->width, node->height}; }

// Plays the page window: cells are numbered tokens kept in creation order, and every request
// is recorded.
class RecordingTreeHost final : public ISplitTreeHost {
 public:
  struct CellState {
    PageNode* node = nullptr;
    const VIEW_ATTR_12* attr = nullptr;
    bool visible = true;
    bool zoomFlag = false;
    bool placed = false;
    Rect placedAt;
    int initPosts = 0;
  };

  static TMultiViewChild* Token(int id) {
    return reinterpret_cast<TMultiViewChild*>(static_cast<std::uintptr_t>(id) << 4);
  }
  static int Id(const TMultiViewChild* cell) {
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(cell) >> 4);
  }

  TMultiViewChild* CreateCell(PageNode* node, const VIEW_ATTR_12* attr) override {
    if (failCreate) return nullptr;
    TMultiViewChild* cell = Token(++lastId);
    cells.push_back(cell);
    state[cell] = CellState{};
    state[cell].node = node;
    state[cell].attr = attr;
    Log("create " + std::to_string(lastId));
    return cell;
  }
  void SetCellNode(TMultiViewChild* cell, PageNode* node) override { Live(cell).node = node; }
  void DestroyCell(TMultiViewChild* cell) override {
    Live(cell);
    cells.erase(std::find(cells.begin(), cells.end(), cell));
    state.erase(cell);
    if (active == cell) active = nullptr;
    Log("destroy " + std::to_string(Id(cell)));
  }
  void PlaceCell(TMultiViewChild* cell, int left, int top, int width, int height) override {
    CellState& s = Live(cell);
    s.placed = true;
    s.placedAt = {left, top, width, height};
    s.visible = true;
  }
  void InitCell(TMultiViewChild* cell) override { ++Live(cell).initPosts; }
  void ShowCell(TMultiViewChild* cell, bool visible) override { Live(cell).visible = visible; }
  void SetCellZoomFlag(TMultiViewChild* cell, bool zoomed) override {
    Live(cell).zoomFlag = zoomed;
    Log("icon " + std::to_string(Id(cell)) + (zoomed ? " 2" : " 1"));
  }
  TMultiViewChild* ZoomedCell() override { return zoomed; }
  void SetZoomedCell(TMultiViewChild* cell) override { zoomed = cell; }
  TMultiViewChild* ActiveCell() override { return active; }
  void ActivateCell(TMultiViewChild* cell) override {
    Live(cell);
    active = cell;
    Log("activate " + std::to_string(Id(cell)));
  }
  TMultiViewChild* CellAt(int index) override {
    return index >= 0 && index < static_cast<int>(cells.size()) ? cells[index] : nullptr;
  }
  void ShowRefusal(const char* text, const char* caption) override {
    refusals.push_back(std::string(caption) + "|" + text);
  }
  // XOR: a line drawn twice is gone; `lines` holds what is visible on the overlay.
  void XorFeedbackLine(const PageNode& node, int edge, int position) override {
    const bool vertical = edge == 1 || edge == 2;
    auto line = vertical ? std::make_tuple(true, position, node.top, node.top + node.height)
                         : std::make_tuple(false, position, node.left, node.left + node.width);
    if (!lines.erase(line)) lines.insert(line);
  }
  void RepaintPage() override { ++repaints; }

  CellState& Live(TMultiViewChild* cell) {
    auto it = state.find(cell);
    if (it == state.end()) {
      ADD_FAILURE() << "request for a cell that is not alive: " << Id(cell);
      static CellState dummy;
      return dummy;
    }
    return it->second;
  }
  void Log(const std::string& line) { log.push_back(line); }

  int lastId = 0;
  bool failCreate = false;
  std::vector<TMultiViewChild*> cells;
  std::map<TMultiViewChild*, CellState> state;
  TMultiViewChild* active = nullptr;
  TMultiViewChild* zoomed = nullptr;
  std::vector<std::string> refusals;
  std::vector<std::string> log;
  std::set<std::tuple<bool, int, int, int>> lines;
  int repaints = 0;
};

TMultiViewChild* Cell(int id) { return RecordingTreeHost::Token(id); }

// Checks what must hold between operations: one cell per leaf and nothing else alive, links both
// ways, split pairs, ratios in (0, 1] summing to 1, children inside their parent and covering it
// to the pixel.
void ExpectTreeInvariants(const SplitTree& tree, RecordingTreeHost& host) {
  const PageNode* root = tree.Root();
  ASSERT_EQ(root->parent, nullptr);
  EXPECT_EQ(root->second, nullptr) << "the root never has a second child";
  EXPECT_EQ(root->cell, nullptr) << "the root never holds a cell";
  EXPECT_EQ(root->left, 0);
  EXPECT_EQ(root->top, 0);
  int leaves = 0;
  std::vector<const PageNode*> pending;
  if (root->first) pending.push_back(root->first);
  while (!pending.empty()) {
    const PageNode* node = pending.back();
    pending.pop_back();
    SCOPED_TRACE(testing::Message() << "node " << RectOf(node));
    ASSERT_TRUE(node->parent != nullptr);
    ASSERT_TRUE(node->parent->first == node || node->parent->second == node);
    EXPECT_TRUE(std::isfinite(node->ratio));
    EXPECT_GT(node->ratio, 0.0f);
    EXPECT_LE(node->ratio, 1.0f);
    if (node->cell) {
      ++leaves;
      EXPECT_EQ(node->first, nullptr);
      EXPECT_EQ(node->second, nullptr);
      ASSERT_EQ(host.state.count(node->cell), 1u) << "a leaf's cell is alive";
      EXPECT_EQ(host.state[node->cell].node, node) << "the cell knows its node";
      continue;
    }
    ASSERT_TRUE(node->first && node->second) << "a node without a cell is a split of two parts";
    const PageNode* a = node->first;
    const PageNode* b = node->second;
    const bool across = a->side == NODE_LEFT;
    EXPECT_TRUE((a->side == NODE_LEFT && b->side == NODE_RIGHT) || (a->side == NODE_TOP && b->side == NODE_BOTTOM));
    EXPECT_NEAR(a->ratio + b->ratio, 1.0f, 1e-6f);
    for (const PageNode* child : {a, b}) {
      EXPECT_GE(child->left, node->left);
      EXPECT_GE(child->top, node->top);
      EXPECT_LE(child->left + child->width, node->left + node->width);
      EXPECT_LE(child->top + child->height, node->top + node->height);
    }
    const int covered = across ? a->width + b->width : a->height + b->height;
    EXPECT_LE(std::abs(covered - (across ? node->width : node->height)), 1);
    pending.push_back(a);
    pending.push_back(b);
  }
  EXPECT_EQ(leaves, static_cast<int>(host.cells.size())) << "every live cell is a leaf of the tree";
  if (host.zoomed) {
    EXPECT_NE(tree.FindNode(host.zoomed), nullptr);
  }
}

// A page of one empty cell laid out at the given client size, as a blank page is made.
struct Page {
  RecordingTreeHost host;
  SplitTree tree{&host};
  Page(int width, int height) {
    tree.SplitCell(tree.Root(), nullptr, 1.0f, SPLIT_HORZ);
    tree.LayoutPage(width, height);
    host.active = Cell(1);
  }
  PageNode* NodeOf(int id) { return tree.FindNode(Cell(id)); }
  // Drags from (x0, y0) through the points and lets go; true when any step was accepted.
  bool Drag(int x0, int y0, std::initializer_list<std::pair<int, int>> moves) {
    if (!tree.BeginDrag(tree.HitTestEdge(x0, y0), x0, y0)) return false;
    bool accepted = false;
    for (auto [x, y] : moves) accepted |= tree.DragEdge(x, y);
    tree.EndDrag();
    return accepted;
  }
};

TEST(SplitTreeTest, NewRootAndBlankPageFollowTheRootConventions) {
  RecordingTreeHost host;
  SplitTree tree(&host);
  EXPECT_EQ(RectOf(tree.Root()), (Rect{0, 0, 1, 1}));
  EXPECT_EQ(tree.Root()->side, NODE_LEFT);
  EXPECT_EQ(tree.Root()->ratio, 1.0f);
  EXPECT_EQ(tree.TopNode(), nullptr);

  TMultiViewChild* cell = tree.SplitCell(tree.Root(), nullptr, 1.0f, SPLIT_HORZ);
  ASSERT_EQ(cell, Cell(1));
  ASSERT_NE(tree.TopNode(), nullptr);
  EXPECT_EQ(tree.TopNode()->cell, cell);
  EXPECT_EQ(tree.TopNode()->side, NODE_LEFT);
  EXPECT_EQ(tree.TopNode()->ratio, 1.0f);
  EXPECT_EQ(tree.Root()->second, nullptr);
  EXPECT_EQ(host.state[cell].node, tree.TopNode());

  tree.LayoutPage(640, 480);
  EXPECT_EQ(RectOf(tree.Root()), (Rect{0, 0, 640, 480}));
  EXPECT_EQ(RectOf(tree.TopNode()), (Rect{0, 0, 640, 480}));
  EXPECT_EQ(host.state[cell].placedAt, (Rect{2, 2, 635, 475})) << "inside its frames";
  EXPECT_GE(host.state[cell].initPosts, 1);

  // A split node cannot be filled like an empty page.
  EXPECT_EQ(tree.SplitCell(tree.Root(), nullptr, 1.0f, SPLIT_HORZ), nullptr);
  ExpectTreeInvariants(tree, host);
}

TEST(SplitTreeTest, LayoutRoundsEachSideFromItsParent) {
  struct Case {
    int side;
    float ratio;
    Rect expected;
  };
  // Parent at (10, 20), 101 x 51: halves round up, so two halves overlap by a pixel.
  const Case cases[] = {
      {NODE_LEFT, 0.5f, {10, 20, 51, 51}},     {NODE_RIGHT, 0.5f, {60, 20, 51, 51}},
      {NODE_TOP, 0.5f, {10, 20, 101, 26}},     {NODE_BOTTOM, 0.5f, {10, 45, 101, 26}},
      {NODE_LEFT, 0.333f, {10, 20, 34, 51}},   {NODE_RIGHT, 0.25f, {86, 20, 25, 51}},
      {NODE_TOP, 0.1f, {10, 20, 101, 5}},      {NODE_BOTTOM, 0.1f, {10, 66, 101, 5}},
      {NODE_RIGHT, 1.0f, {10, 20, 101, 51}},   {NODE_BOTTOM, 0.99f, {10, 21, 101, 50}},
  };
  RecordingTreeHost host;
  SplitTree tree(&host);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "side " << c.side << " ratio " << c.ratio);
    PageNode parent;
    parent.left = 10, parent.top = 20, parent.width = 101, parent.height = 51;
    PageNode node;
    node.parent = &parent;
    node.side = c.side;
    node.ratio = c.ratio;
    tree.LayoutNode(&node, true, true);
    EXPECT_EQ(RectOf(&node), c.expected);
  }
  EXPECT_TRUE(host.state.empty()) << "a node without cell or children makes no cell";
}

TEST(SplitTreeTest, LayoutPlacesCellWindowsOnlyWhenMovingAndNotZoomed) {
  Page page(400, 300);
  page.tree.SplitCellCommand(Cell(1), SPLIT_VERT);
  ASSERT_EQ(page.host.cells.size(), 2u);
  EXPECT_EQ(page.host.state[Cell(1)].placedAt, (Rect{2, 2, 195, 295}));
  EXPECT_EQ(page.host.state[Cell(2)].placedAt, (Rect{202, 2, 195, 295}));

  // Without move only the rectangles change.
  page.tree.Root()->width = 600;
  page.tree.LayoutNode(page.tree.TopNode(), false, true);
  EXPECT_EQ(RectOf(page.NodeOf(2)), (Rect{300, 0, 300, 300}));
  EXPECT_EQ(page.host.state[Cell(2)].placedAt, (Rect{202, 2, 195, 295}));

  // While a cell is zoomed, layouts leave the other windows where they are.
  page.tree.ZoomCell(Cell(2), true);
  page.tree.LayoutPage(800, 300);
  EXPECT_EQ(RectOf(page.NodeOf(1)), (Rect{0, 0, 400, 300}));
  EXPECT_EQ(page.host.state[Cell(1)].placedAt, (Rect{2, 2, 195, 295}));
  EXPECT_EQ(page.host.state[Cell(2)].placedAt, (Rect{2, 2, 795, 295}));
}

// A 400 x 300 page: cell 1 on the left half, cell 2 over cell 3 on the right half.
struct ThreeCellPage : Page {
  ThreeCellPage() : Page(400, 300) {
    tree.SplitCellCommand(Cell(1), SPLIT_VERT);
    tree.SplitCellCommand(Cell(2), SPLIT_HORZ);
  }
};

TEST(SplitTreeTest, HitTestFindsTheFourPixelDividersRootFirst) {
  ThreeCellPage page;
  const PageNode* root = page.tree.Root();
  const PageNode* left = page.NodeOf(1);
  const PageNode* right = page.NodeOf(2)->parent;
  const PageNode* upper = page.NodeOf(2);
  const PageNode* lower = page.NodeOf(3);
  ASSERT_EQ(RectOf(right), (Rect{200, 0, 200, 300}));
  struct Case {
    int x, y;
    const PageNode* node;
    int edge;
  };
  const Case cases[] = {
      {0, 100, root, 1},    {1, 100, root, 1},    {2, 100, nullptr, 0},  {0, 0, root, 1},
      {399, 100, root, 2},  {398, 100, root, 2},  {397, 100, nullptr, 0},
      {100, 0, root, 3},    {100, 1, root, 3},    {100, 299, root, 4},   {300, 298, root, 4},
      {197, 100, nullptr, 0}, {198, 100, left, 2}, {199, 100, left, 2},  {200, 100, right, 1},
      {201, 100, right, 1}, {202, 100, nullptr, 0},
      {300, 147, nullptr, 0}, {300, 148, upper, 4}, {300, 149, upper, 4}, {300, 150, lower, 3},
      {300, 151, lower, 3}, {300, 152, nullptr, 0},
      {100, 150, nullptr, 0},   // no divider across the left cell
      {-1, 100, nullptr, 0},  {400, 100, nullptr, 0}, {100, 300, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "point " << c.x << "," << c.y);
    EdgeHit hit = page.tree.HitTestEdge(c.x, c.y);
    EXPECT_EQ(hit.node, c.node);
    EXPECT_EQ(hit.edge, c.edge);
  }
}

TEST(SplitTreeTest, MinimumExtentsCountCellsAcrossEachDirection) {
  ThreeCellPage page;           // 1 | (2 / 3)
  page.tree.SplitCellCommand(Cell(3), SPLIT_VERT);   // 1 | (2 / (3 | 4))
  const PageNode* top = page.tree.TopNode();
  const PageNode* right = page.NodeOf(2)->parent;
  EXPECT_EQ(SplitTree::CellsAcross(top, true), 3);     // 1 + max(1, 2)
  EXPECT_EQ(SplitTree::CellsAcross(top, false), 2);    // max(1, 1 + 1)
  EXPECT_EQ(SplitTree::CellsAcross(right, true), 2);
  EXPECT_EQ(SplitTree::MinimumExtent(top, true), 300);
  EXPECT_EQ(SplitTree::MinimumExtent(top, false), 100);
  PageNode piece;
  EXPECT_EQ(SplitTree::MinimumExtent(&piece, true), 0) << "an empty piece has no minimum";

  int proposed = 299;
  EXPECT_FALSE(SplitTree::CheckExtent(proposed, top, true));
  EXPECT_EQ(proposed, 300);
  proposed = 300;
  EXPECT_TRUE(SplitTree::CheckExtent(proposed, top, true));
  EXPECT_EQ(proposed, 300);
}

TEST(SplitTreeTest, DividerDragsStopAtTheMinimumExtents) {
  struct Case {
    const char* name;
    int pageWidth, pageHeight;
    int direction;           // of the one split
    int grabX, grabY;        // on the divider
    std::vector<std::pair<int, int>> moves;
    bool accepted;
    int firstExtent;         // width (vertical divider) or height of cell 1 after letting go
  };
  const Case cases[] = {
      {"right 50", 400, 300, SPLIT_VERT, 199, 10, {{249, 10}}, true, 250},
      {"right beyond stops at 100 for the right cell", 400, 300, SPLIT_VERT, 199, 10, {{380, 10}}, true, 300},
      {"left beyond stops at 100 for the left cell", 400, 300, SPLIT_VERT, 200, 10, {{5, 10}}, true, 100},
      {"steps past the limit", 400, 300, SPLIT_VERT, 199, 10, {{250, 10}, {290, 10}, {330, 10}, {360, 10}}, true, 300},
      {"vertical moves ignored", 400, 300, SPLIT_VERT, 199, 10, {{199, 200}}, false, 200},
      {"down beyond stops at 50 for the lower cell", 400, 300, SPLIT_HORZ, 10, 149, {{10, 290}}, true, 250},
      {"up beyond stops at 50 for the upper cell", 400, 300, SPLIT_HORZ, 10, 150, {{10, 3}}, true, 50},
      {"at the limit nothing", 200, 300, SPLIT_VERT, 99, 10, {{120, 10}, {80, 10}}, false, 100},
      {"at the height limit nothing", 400, 100, SPLIT_HORZ, 10, 49, {{10, 60}, {10, 30}}, false, 50},
      // A page resized below its minimum: a drag never pushes the divider back at the mouse.
      {"below the minimum", 150, 300, SPLIT_VERT, 74, 10, {{90, 10}}, false, 75},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Page page(c.direction == SPLIT_VERT ? std::max(c.pageWidth, 200) : c.pageWidth,
              c.direction == SPLIT_HORZ ? std::max(c.pageHeight, 100) : c.pageHeight);
    ASSERT_NE(page.tree.SplitCellCommand(Cell(1), c.direction), nullptr);
    page.tree.LayoutPage(c.pageWidth, c.pageHeight);
    EdgeHit hit = page.tree.HitTestEdge(c.grabX, c.grabY);
    ASSERT_TRUE(hit);
    ASSERT_TRUE(page.tree.BeginDrag(hit, c.grabX, c.grabY));
    bool accepted = false;
    for (auto [x, y] : c.moves) accepted |= page.tree.DragEdge(x, y);
    EXPECT_EQ(accepted, c.accepted);
    EXPECT_EQ(page.host.lines.size(), 1u) << "one feedback line stays on the overlay";
    page.tree.EndDrag();
    EXPECT_FALSE(page.tree.Dragging());
    const PageNode* first = page.NodeOf(1);
    EXPECT_EQ(c.direction == SPLIT_VERT ? first->width : first->height, c.firstExtent);
    EXPECT_EQ(page.host.cells.size(), 2u);
    ExpectTreeInvariants(page.tree, page.host);
  }
}

TEST(SplitTreeTest, DragKeepsTheMinimumOfEveryCellOnEachSide) {
  // 1 | (2 | 3) on 600: the right part holds two cells side by side, so it keeps 200.
  Page page(600, 300);
  page.tree.SplitCellCommand(Cell(1), SPLIT_VERT);
  page.tree.SplitCellCommand(Cell(2), SPLIT_VERT);
  ASSERT_EQ(page.NodeOf(1)->width, 300);
  EXPECT_TRUE(page.Drag(299, 10, {{590, 10}}));
  EXPECT_EQ(page.NodeOf(1)->width, 400);
  EXPECT_EQ(page.NodeOf(2)->width, 100);
  EXPECT_EQ(page.NodeOf(3)->width, 100);
  ExpectTreeInvariants(page.tree, page.host);

  // The feedback line moves with each accepted step: erased at the old place, drawn at the new.
  Page other(400, 300);
  other.tree.SplitCellCommand(Cell(1), SPLIT_VERT);
  ASSERT_TRUE(other.tree.BeginDrag(other.tree.HitTestEdge(199, 5), 199, 5));
  EXPECT_TRUE(other.tree.DragEdge(230, 5));
  EXPECT_EQ(other.tree.DragX(), 230);
  EXPECT_TRUE(other.tree.DragEdge(400, 5));
  EXPECT_EQ(other.tree.DragX(), 299) << "stopped where the right cell keeps 100";
  EXPECT_EQ(other.host.lines.size(), 1u);
  EXPECT_EQ(std::get<1>(*other.host.lines.begin()), 299);
  EXPECT_EQ(RectOf(other.NodeOf(2)), (Rect{300, 0, 100, 300})) << "rectangles follow the drag";
  EXPECT_EQ(other.host.state[Cell(2)].placedAt, (Rect{202, 2, 195, 295})) << "windows wait for the button";
  other.tree.EndDrag();
  EXPECT_EQ(other.host.state[Cell(2)].placedAt, (Rect{302, 2, 95, 295}));
}

TEST(SplitTreeTest, OuterEdgeDragsMakeAPieceThatSettlesOrVanishes) {
  struct Case {
    const char* name;
    int width, height;
    int grabX, grabY;
    std::vector<std::pair<int, int>> moves;
    bool piece;           // a new cell after letting go
    Rect pieceRect;
  };
  const Case cases[] = {
      {"left, small piece grows to 100", 400, 300, 0, 50, {{30, 50}}, true, {0, 0, 100, 300}},
      {"left, moved on and back", 400, 300, 1, 50, {{30, 50}, {131, 50}, {80, 50}}, true, {0, 0, 100, 300}},
      {"left, wide piece kept", 400, 300, 0, 50, {{20, 50}, {150, 50}}, true, {0, 0, 150, 300}},
      {"left, stops at the old cell's minimum", 400, 300, 0, 50, {{20, 50}, {390, 50}}, true, {0, 0, 300, 300}},
      {"left, page at 200 makes a 100 piece", 200, 300, 0, 50, {{10, 50}}, true, {0, 0, 100, 300}},
      {"left, page under 200 vanishes", 199, 300, 0, 50, {{30, 50}}, false, {}},
      {"right", 400, 300, 399, 50, {{370, 50}}, true, {300, 0, 100, 300}},
      {"top", 400, 300, 50, 0, {{50, 20}}, true, {0, 0, 400, 50}},
      {"bottom", 400, 300, 50, 299, {{50, 220}}, true, {0, 221, 400, 79}},
      {"top, page at 100 makes a 50 piece", 400, 100, 50, 1, {{50, 5}}, true, {0, 0, 400, 50}},
      {"bottom, page under 100 vanishes", 400, 90, 50, 89, {{50, 80}}, false, {}},
      {"left outwards does nothing", 400, 300, 0, 50, {{-20, 50}}, false, {}},
      {"right outwards does nothing", 400, 300, 399, 50, {{420, 50}}, false, {}},
      {"bottom outwards does nothing", 400, 300, 50, 298, {{50, 310}}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Page page(c.width, c.height);
    ASSERT_TRUE(page.tree.BeginDrag(page.tree.HitTestEdge(c.grabX, c.grabY), c.grabX, c.grabY));
    ASSERT_EQ(page.tree.DragNode(), page.tree.Root());
    for (auto [x, y] : c.moves) page.tree.DragEdge(x, y);
    EXPECT_EQ(page.host.lines.size(), 1u);
    page.tree.EndDrag();
    ExpectTreeInvariants(page.tree, page.host);
    EXPECT_EQ(page.host.cells.size(), c.piece ? 2u : 1u);
    EXPECT_EQ(page.host.state[Cell(1)].node, page.NodeOf(1));
    if (!c.piece) {
      EXPECT_EQ(page.tree.TopNode(), page.NodeOf(1)) << "the old cell fills the page again";
      EXPECT_EQ(RectOf(page.NodeOf(1)), (Rect{0, 0, c.width, c.height}));
      continue;
    }
    const PageNode* piece = page.NodeOf(2);
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(page.host.state[Cell(2)].attr, nullptr) << "an empty cell";
    EXPECT_EQ(RectOf(piece), c.pieceRect);
    EXPECT_GE(page.host.state[Cell(2)].initPosts, 1);
    EXPECT_EQ(page.host.state[Cell(2)].placedAt,
              (Rect{c.pieceRect.left + 2, c.pieceRect.top + 2, c.pieceRect.width - 5, c.pieceRect.height - 5}));
  }
}

TEST(SplitTreeTest, OuterEdgeDragContinuesOnThePiecesInnerEdge) {
  Page page(400, 300);
  ASSERT_TRUE(page.tree.BeginDrag(page.tree.HitTestEdge(399, 10), 399, 10));
  ASSERT_TRUE(page.tree.DragEdge(390, 10));
  const PageNode* piece = page.tree.DragNode();
  ASSERT_NE(piece, page.tree.Root());
  EXPECT_EQ(page.tree.DragEdgeNumber(), 1) << "the right piece's left edge";
  EXPECT_EQ(piece->side, NODE_RIGHT);
  EXPECT_EQ(piece->cell, nullptr) << "empty until the button goes up";
  EXPECT_EQ(page.NodeOf(1)->side, NODE_LEFT);
  EXPECT_EQ(page.NodeOf(1)->parent->parent, page.tree.Root());
  EXPECT_EQ(page.NodeOf(1)->parent->side, NODE_LEFT);
  EXPECT_EQ(page.NodeOf(1)->parent->ratio, 1.0f);
  EXPECT_EQ(piece->left, 391);
  EXPECT_TRUE(page.tree.DragEdge(250, 10));
  EXPECT_EQ(piece->width, 149);
  // Back past the page's edge the piece shrinks to nothing, but no further.
  EXPECT_TRUE(page.tree.DragEdge(450, 10));
  EXPECT_EQ(piece->width, 0);
  EXPECT_FALSE(page.tree.DragEdge(460, 10));
  page.tree.EndDrag();
  EXPECT_EQ(RectOf(page.NodeOf(2)), (Rect{300, 0, 100, 300})) << "settled to the minimum";
  ExpectTreeInvariants(page.tree, page.host);

  // A zoomed page has no outer-edge pieces.
  Page zoomed(400, 300);
  zoomed.tree.SplitCellCommand(Cell(1), SPLIT_VERT);
  zoomed.tree.ZoomCell(Cell(1), true);
  EXPECT_FALSE(zoomed.tree.BeginDrag(zoomed.tree.HitTestEdge(0, 10), 0, 10));
}

TEST(SplitTreeTest, SplitCommandsRefuseCellsTooSmall) {
  const std::string refusal = std::string("提示|") + "已有窗口太小，无法切分。  ";
  struct Case {
    int width, height, direction;
    bool splits;
    Rect kept, added;
  };
  const Case cases[] = {
      {199, 300, SPLIT_VERT, false, {}, {}},
      {200, 300, SPLIT_VERT, true, {0, 0, 100, 300}, {100, 0, 100, 300}},
      {201, 300, SPLIT_VERT, true, {0, 0, 101, 300}, {100, 0, 101, 300}},
      {400, 99, SPLIT_HORZ, false, {}, {}},
      {400, 100, SPLIT_HORZ, true, {0, 0, 400, 50}, {0, 50, 400, 50}},
      {150, 100, SPLIT_HORZ, true, {0, 0, 150, 50}, {0, 50, 150, 50}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " direction " << c.direction);
    Page page(c.width, c.height);
    page.host.log.clear();
    TMultiViewChild* added = page.tree.SplitCellCommand(Cell(1), c.direction);
    ExpectTreeInvariants(page.tree, page.host);
    if (!c.splits) {
      EXPECT_EQ(added, nullptr);
      EXPECT_EQ(page.host.refusals, std::vector<std::string>{refusal});
      EXPECT_EQ(page.host.cells.size(), 1u);
      EXPECT_EQ(page.tree.TopNode()->cell, Cell(1));
      continue;
    }
    EXPECT_TRUE(page.host.refusals.empty());
    ASSERT_EQ(added, Cell(2));
    EXPECT_EQ(page.host.state[added].attr, nullptr);
    EXPECT_EQ(RectOf(page.NodeOf(1)), c.kept);
    EXPECT_EQ(RectOf(page.NodeOf(2)), c.added);
    EXPECT_EQ(page.NodeOf(1)->parent, page.tree.TopNode());
    EXPECT_EQ(page.host.log, (std::vector<std::string>{"create 2", "activate 1"})) << "the old view stays active";
    EXPECT_EQ(page.host.state[added].placedAt.left, c.added.left + 2) << "laid out with move";
  }

  // Ignored while a cell is zoomed: no message either.
  Page page(400, 300);
  page.tree.ZoomCell(Cell(1), true);
  EXPECT_EQ(page.tree.SplitCellCommand(Cell(1), SPLIT_VERT), nullptr);
  EXPECT_TRUE(page.host.refusals.empty());
}

TEST(SplitTreeTest, SplitCellHandsTheAttributesToTheNewViewAndUndoesAFailedOne) {
  Page page(400, 300);
  const auto* attr = reinterpret_cast<const VIEW_ATTR_12*>(&page);   // opaque to the model
  PageNode* node = page.NodeOf(1);
  TMultiViewChild* added = page.tree.SplitCell(node, attr, 0.25f, SPLIT_HORZ);
  ASSERT_EQ(added, Cell(2));
  EXPECT_EQ(page.host.state[added].attr, attr);
  EXPECT_EQ(node->cell, nullptr);
  EXPECT_EQ(node->first->cell, Cell(1));
  EXPECT_EQ(node->first->side, NODE_TOP);
  EXPECT_FLOAT_EQ(node->first->ratio, 0.75f);
  EXPECT_EQ(node->second->side, NODE_BOTTOM);
  EXPECT_EQ(RectOf(node->second), (Rect{0, 225, 400, 75}));
  EXPECT_EQ(RectOf(node->first), (Rect{0, 0, 400, 225}));

  page.host.failCreate = true;
  EXPECT_EQ(page.tree.SplitCell(page.NodeOf(2), nullptr, 0.5f, SPLIT_VERT), nullptr);
  EXPECT_EQ(page.NodeOf(2)->first, nullptr) << "a view that could not be made leaves the node as it was";
  EXPECT_EQ(page.tree.SplitCell(page.NodeOf(1), nullptr, 1.5f, SPLIT_VERT), nullptr);
  ExpectTreeInvariants(page.tree, page.host);
}

TEST(SplitTreeTest, CloseMergesTheSiblingAndKeepsTheLastCell) {
  ThreeCellPage page;   // 1 | (2 / 3)
  page.host.active = Cell(2);
  page.host.log.clear();
  page.tree.CloseCellCommand(Cell(2));
  EXPECT_EQ(page.host.log, (std::vector<std::string>{"activate 1", "destroy 2"}));
  EXPECT_EQ(page.NodeOf(3)->parent, page.tree.TopNode()) << "the sibling took its parent's place";
  EXPECT_EQ(RectOf(page.NodeOf(3)), (Rect{200, 0, 200, 300}));
  EXPECT_EQ(page.host.state[Cell(3)].placedAt, (Rect{202, 2, 195, 295}));
  ExpectTreeInvariants(page.tree, page.host);

  // Closing the first cell of the list while active activates the second.
  page.host.active = Cell(1);
  page.host.log.clear();
  page.tree.CloseCellCommand(Cell(1));
  EXPECT_EQ(page.host.log, (std::vector<std::string>{"activate 3", "destroy 1"}));
  EXPECT_EQ(page.tree.TopNode()->cell, Cell(3));
  EXPECT_EQ(RectOf(page.tree.TopNode()), (Rect{0, 0, 400, 300}));

  // The page's only cell stays.
  page.host.log.clear();
  page.tree.CloseCellCommand(Cell(3));
  page.tree.CloseCell(Cell(3));
  EXPECT_TRUE(page.host.log.empty());
  EXPECT_EQ(page.host.cells.size(), 1u);
  page.tree.CloseCellCommand(nullptr);
  ExpectTreeInvariants(page.tree, page.host);
}

TEST(SplitTreeTest, ClosingASubtreeSiblingMovesItsChildren) {
  ThreeCellPage page;   // 1 | (2 / 3)
  page.tree.CloseCell(Cell(1));
  const PageNode* top = page.tree.TopNode();
  EXPECT_EQ(top->first, page.NodeOf(2));
  EXPECT_EQ(top->second, page.NodeOf(3));
  EXPECT_EQ(top->side, NODE_LEFT) << "the parent keeps its own place";
  EXPECT_EQ(RectOf(page.NodeOf(2)), (Rect{0, 0, 400, 150}));
  ExpectTreeInvariants(page.tree, page.host);
}

TEST(SplitTreeTest, ZoomHidesTheOthersAndRestoreLaysThePageOut) {
  ThreeCellPage page;
  page.host.active = Cell(1);
  page.host.log.clear();
  page.tree.ZoomCell(Cell(2), true);
  EXPECT_EQ(page.host.zoomed, Cell(2));
  EXPECT_TRUE(page.host.state[Cell(2)].zoomFlag);
  EXPECT_TRUE(page.host.state[Cell(2)].visible);
  EXPECT_FALSE(page.host.state[Cell(1)].visible);
  EXPECT_FALSE(page.host.state[Cell(3)].visible);
  EXPECT_EQ(page.host.state[Cell(2)].placedAt, (Rect{2, 2, 395, 295}));
  EXPECT_EQ(page.host.log, (std::vector<std::string>{"icon 2 2", "activate 2"}));

  // Zooming it again changes nothing; zooming another hands the zoom over.
  page.host.log.clear();
  page.tree.ZoomCell(Cell(2), true);
  EXPECT_TRUE(page.host.log.empty());
  page.tree.ZoomCell(Cell(3), true);
  EXPECT_EQ(page.host.log, (std::vector<std::string>{"icon 2 1", "icon 3 2", "activate 3"}));
  EXPECT_FALSE(page.host.state[Cell(2)].visible);
  EXPECT_EQ(page.host.zoomed, Cell(3));

  // While zoomed: no divider drag, no split, the zoomed cell is not closed.
  EXPECT_FALSE(page.tree.BeginDrag(page.tree.HitTestEdge(199, 10), 199, 10));
  page.tree.CloseCellCommand(Cell(3));
  EXPECT_EQ(page.host.cells.size(), 3u);

  // Restore applies to the zoomed cell only.
  page.host.log.clear();
  page.tree.ZoomCell(Cell(1), false);
  EXPECT_TRUE(page.host.log.empty());
  page.tree.ZoomCell(Cell(3), false);
  EXPECT_EQ(page.host.log, (std::vector<std::string>{"icon 3 1"}));
  EXPECT_EQ(page.host.zoomed, nullptr);
  for (int id : {1, 2, 3}) EXPECT_TRUE(page.host.state[Cell(id)].visible) << id;
  EXPECT_EQ(page.host.state[Cell(3)].placedAt, (Rect{202, 152, 195, 145}));
  ExpectTreeInvariants(page.tree, page.host);
}

TEST(SplitTreeTest, ClosingTheZoomedCellDirectlyEndsTheZoom) {
  ThreeCellPage page;
  page.tree.ZoomCell(Cell(3), true);
  page.tree.CloseCell(Cell(3));
  EXPECT_EQ(page.host.zoomed, nullptr);
  EXPECT_EQ(page.host.cells.size(), 2u);
  ExpectTreeInvariants(page.tree, page.host);
}

TEST(SplitTreeTest, FreeNodeDestroysEveryCellAndResetMakesANewRoot) {
  ThreeCellPage page;
  page.host.log.clear();
  page.tree.FreeNode(page.tree.Root()->first->second);   // the right part: 2 and 3
  EXPECT_EQ(page.host.log, (std::vector<std::string>{"destroy 2", "destroy 3"}));
  EXPECT_EQ(page.tree.TopNode()->second, nullptr);
  page.tree.FreeNode(page.tree.Root());
  EXPECT_TRUE(page.host.cells.empty());
  EXPECT_EQ(page.tree.TopNode(), nullptr);
  EXPECT_EQ(RectOf(page.tree.Root()), (Rect{0, 0, 1, 1}));
  EXPECT_EQ(page.tree.Root()->ratio, 1.0f);
}

// A seeded walk of splits, closes, divider and outer-edge drags, resizes and zooms.
TEST(SplitTreeTest, RandomOperationsKeepTheTreeInvariants) {
  for (unsigned seed = 1; seed <= 150; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    int width = pick(150, 1400), height = pick(80, 900);
    Page page(width, height);
    for (int step = 0; step < 80; ++step) {
      SCOPED_TRACE(testing::Message() << "step " << step);
      auto& cells = page.host.cells;
      TMultiViewChild* someCell = cells[pick(0, static_cast<int>(cells.size()) - 1)];
      switch (pick(0, 9)) {
        case 0:
        case 1:
          page.tree.SplitCellCommand(someCell, pick(1, 2));
          break;
        case 2:
          page.tree.CloseCellCommand(someCell);
          break;
        case 3:
          width = pick(60, 1400), height = pick(40, 900);
          page.tree.LayoutPage(width, height);
          break;
        case 4:
          page.tree.ZoomCell(page.host.zoomed ? page.host.zoomed : someCell, page.host.zoomed == nullptr);
          break;
        default: {
          // Grab a divider (the outer edges included) and move it about.
          int x = pick(-2, width + 1), y = pick(-2, height + 1);
          if (pick(0, 3) == 0) {   // often the page's outer edge, to make pieces
            if (pick(0, 1)) x = pick(0, 1) ? 0 : width - 1;
            else y = pick(0, 1) ? 0 : height - 1;
          }
          EdgeHit hit = page.tree.HitTestEdge(x, y);
          if (!page.tree.BeginDrag(hit, x, y)) break;
          const int steps = pick(1, 6);
          for (int i = 0; i < steps; ++i) {
            PageNode* node = page.tree.DragNode();
            const bool across = page.tree.DragEdgeNumber() <= 2;
            const int grabbed = across ? page.tree.DragX() : page.tree.DragY();
            const int to = grabbed + pick(-300, 300);
            // The part a step shrinks keeps its minimum (a pixel of rounding aside).
            PageNode* parent = node->parent;
            std::vector<std::pair<PageNode*, int>> before;
            if (parent && parent->first && parent->second)
              for (PageNode* part : {parent->first, parent->second})
                before.push_back({part, across ? part->width : part->height});
            if (!page.tree.DragEdge(across ? to : x, across ? y : to) || node == page.tree.Root()) continue;
            for (auto [part, old] : before) {
              const int now = across ? part->width : part->height;
              if (now < old) {
                EXPECT_GE(now + 1, SplitTree::MinimumExtent(part, across));
              }
            }
          }
          EXPECT_EQ(page.host.lines.size(), 1u);
          page.host.lines.clear();
          page.tree.EndDrag();
          break;
        }
      }
      ASSERT_FALSE(page.tree.Dragging());
      ASSERT_NO_FATAL_FAILURE(ExpectTreeInvariants(page.tree, page.host));
      ASSERT_FALSE(HasFailure());
    }
  }
}

}  // namespace
