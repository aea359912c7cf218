// A cell's view changes: replacing its view by a view of another kind, the history of its
// earlier contents and the way back, the cell commands that switch it to a given kind, and the
// look-ups through which the main window reaches views (by kind, and the linked charts).
//
// Navigation lists: a view change that hands a list to the new view adds the one reference the
// view takes over; ShowInLinkedViews adds one for every view it hands the list to. History
// entries copy list ids without holding a reference: an id whose list has gone since resolves to
// no list (NavList.h), so going back to such an entry shows the view without a list.
#include "data/Messages.h"
#include "platform/Message.h"
#include "shell/Cell.h"
#include "shell/NavList.h"
#include "shell/PageWindow.h"
#include "shell/SmallWindows.h"
#include "shell/ViewFactory.h"
#include "shell/ViewState.h"
#include "shell/ViewSurfaces.h"

#include <cstdint>
#include <vector>

namespace {

constexpr int kMaxHistory = 20;
constexpr int kHistoryDropWhenFull = 5;
constexpr int kZoomIconCode = 1;
constexpr int kRestoreIconCode = 2;

// The kinds whose attributes can carry a navigation list.
bool CarriesNavList(ViewKind kind) { return kind == VIEW_TREND || kind == VIEW_KLINE || kind == VIEW_F10; }

// The kinds that follow a linked instrument change.
bool FollowsLinkedInstrument(ViewKind kind) { return CarriesNavList(kind); }

// Two records describe the same history slot: the same kind and, for a trend view, the same
// mode (flash chart or minute trend).
bool SameHistorySlot(const VIEW_ATTR_12& entry, const VIEW_ATTR_12& view) {
  if (entry.kind != view.kind) return false;
  if (view.kind != VIEW_TREND) return true;
  return ((entry.modeFlags ^ view.modeFlags) & kChartModeFlash) == 0;
}

// Drops the `count` newest entries (never below none).
void DropNewest(EArray<VIEW_ATTR_12>& history, int count) {
  const int keep = history.GetSize() > count ? history.GetSize() - count : 0;
  history.RemoveAt(keep, history.GetSize() - keep);
}

// The old view's attributes become the newest entry: an older entry of the same slot goes, and a
// full history first loses its oldest entries.
void RememberView(EArray<VIEW_ATTR_12>& history, const VIEW_ATTR_12& view) {
  for (int i = history.GetSize() - 1; i >= 0; --i) {
    if (SameHistorySlot(history[i], view)) {
      history.RemoveAt(i);
      break;
    }
  }
  if (history.GetSize() >= kMaxHistory) history.RemoveAt(0, kHistoryDropWhenFull);
  history.Add(view);
}

// The first icon of the cell's strip showing `from` shows `to`, and the strip is redrawn.
void SwapStripIcon(TMultiViewChild* cell, int from, int to) {
  TMVCmdBox* strip = cell->cmdBox;
  if (strip == nullptr) return;
  for (int i = 0; i < strip->count; ++i) {
    if (strip->codes[i] == from) {
      strip->codes[i] = to;
      strip->Redraw();
      return;
    }
  }
}

struct ShowCommand {
  ViewKind kind;
  bool trendMode;   // the message asks for a trend view in a given mode
  bool flash;       // that mode: flash chart or minute trend
};

bool ShowCommandOf(UINT message, ShowCommand& command) {
  if (message == MsgCellShowReport) command = {VIEW_REPORT, false, false};
  else if (message == MsgCellShowFlash) command = {VIEW_TREND, true, true};
  else if (message == MsgCellShowTrend) command = {VIEW_TREND, true, false};
  else if (message == MsgCellShowKLine) command = {VIEW_KLINE, false, false};
  else if (message == MsgCellShowF10) command = {VIEW_F10, false, false};
  else if (message == MsgCellShowNews) command = {VIEW_NEWS, false, false};
  else return false;
  return true;
}

}  // namespace

TMultiViewChild* TMultiViewMain::ChangeCellView(PageNode* node, const VIEW_ATTR_12* attr, int saveFirst) {
  if (node == nullptr || node->cell == nullptr || attr == nullptr) return nullptr;
  TMultiViewChild* old = node->cell;
  // A copy: the caller's record may live in the history or in the old view, both changed below.
  const VIEW_ATTR_12 wanted = *attr;

  if (saveFirst != 0) SaveViewState(old);

  // The reference the new view takes over.
  const std::uint32_t listId = CarriesNavList(wanted.kind) ? wanted.NavListId() : 0;
  const bool handsList = navlist::Resolve(listId) != nullptr;
  if (handsList) navlist::AddRef(listId);

  TMultiViewChild* view = CreateView(wanted.kind, this, &wanted, old->viewData, old->history, node);
  if (view == nullptr) {
    // Nobody took the list.
    if (handsList) navlist::Release(listId);
    view = CreateView(VIEW_REPORT, this, nullptr, old->viewData, old->history, node);
    if (view == nullptr) return old;
  }

  view->linkFlag = old->linkFlag;
  view->requesterId = old->requesterId;
  view->node = node;
  node->cell = view;
  if (activeCell == old) view->Activate();
  if (zoomedCell == old) {
    old->zoomed = false;
    view->zoomed = true;
    zoomedCell = view;
    SwapStripIcon(view, kZoomIconCode, kRestoreIconCode);
    LayoutPage();
  } else {
    // Another cell covers the page: the new view stays hidden, like every cell behind it.
    if (zoomedCell != nullptr) view->SetVisible(false);
    LayoutNode(node, true, true);
  }

  if (old->HandleAllocated()) SendMessageA(old->Handle(), WM_CLOSE, 0, 0);

  if (old->history != nullptr) RememberView(*old->history, old->attr);

  TComponent::Free(old);
  if (IPageHost* host = PageHost()) host->ActivateMainWindow();
  return view;
}

TMultiViewChild* TMultiViewMain::CellBack(TMultiViewChild* cell) {
  if (cell == nullptr || cell->node == nullptr || cell->node->cell != cell || cell->history == nullptr) return cell;
  EArray<VIEW_ATTR_12>* history = cell->history;

  if (history->GetSize() == 0) {
    if (cell->attr.kind == VIEW_REPORT) return cell;
    VIEW_ATTR_12 report;
    DefaultViewAttr(VIEW_REPORT, &report);
    report.instrument = cell->attr.instrument;
    TMultiViewChild* view = ChangeCellView(cell->node, &report, 1);
    // The view just left is not a place to come back to.
    if (view != nullptr && view != cell) DropNewest(*history, 1);
    return view != nullptr ? view : cell;
  }

  // The entry shown leaves the history first, so that the view change cannot take it for the
  // older entry of the view left's kind and drop an unrelated one in its place.
  VIEW_ATTR_12 back = (*history)[history->GetSize() - 1];
  DropNewest(*history, 1);
  if (CarriesNavList(back.kind)) {
    // The list being browsed now goes along; ChangeCellView adds the new view's reference.
    if (auto* chart = dynamic_cast<TDrawView*>(cell)) {
      back.SetNavListId(chart->navListId);
      back.SetNavPosition(chart->navPosition);
    } else if (auto* text = dynamic_cast<TTextForm*>(cell)) {
      back.SetNavListId(text->navListId);
      back.SetNavPosition(text->navPosition);
    }
  } else if (back.kind == VIEW_REPORT) {
    if (back.instrument.market == cell->attr.instrument.market) back.instrument = cell->attr.instrument;
  }
  TMultiViewChild* view = ChangeCellView(cell->node, &back, 1);
  // The view just left.
  if (view != nullptr && view != cell)
    DropNewest(*history, 1);
  else
    history->Add(back);   // nothing changed
  return view != nullptr ? view : cell;
}

TMultiViewChild* TMultiViewMain::FindViewByKind(ViewKind kind, bool any) {
  const auto matches = [kind, any](const TMultiViewChild* cell) {
    return cell != nullptr && cell->attr.kind == kind && (any || cell->linkFlag);
  };
  if (matches(activeCell)) return activeCell;
  for (int i = 0; i < cells.GetSize(); ++i) {
    if (matches(cells[i])) return cells[i];
  }
  return nullptr;
}

bool TMultiViewMain::ShowInLinkedViews(const VIEW_ATTR_12* attr, bool zoom) {
  if (attr == nullptr) return false;
  // A notified view may change the page; the cells are taken first and checked again.
  std::vector<TMultiViewChild*> linked;
  for (int i = 0; i < cells.GetSize(); ++i) {
    TMultiViewChild* cell = cells[i];
    if (FollowsLinkedInstrument(cell->attr.kind) && cell->linkFlag) linked.push_back(cell);
  }
  // Every view that receives the record takes over the list it carries.
  const std::uint32_t listId = attr->NavListId();
  bool lastIsChart = false;
  bool zoomPosted = false;
  for (TMultiViewChild* cell : linked) {
    if (KnownCell(cell) == nullptr) continue;
    if (navlist::Resolve(listId) != nullptr) navlist::AddRef(listId);
    const ViewKind kind = cell->attr.kind;
    cell->ViewNotify(VN_SHOWINSTRUMENT, attr->instrument, static_cast<int>(attr->currentBlock),
                     reinterpret_cast<std::intptr_t>(attr));
    if (zoom && !zoomPosted && cell != zoomedCell) {
      PostMessageA(Handle(), MsgCellZoom, 0, reinterpret_cast<LPARAM>(cell));
      zoomPosted = true;
    }
    lastIsChart = kind != VIEW_F10;
  }
  return lastIsChart;
}

bool TMultiViewMain::HandleCellViewCommand(TMessage& message) {
  ShowCommand command{};
  const bool back = message.Msg == MsgCellBack;
  if (!back && !ShowCommandOf(message.Msg, command)) return false;
  message.Result = 0;

  // The command was posted: its cell may have gone (closed, or replaced by a view change) since.
  TMultiViewChild* cell = KnownCell(reinterpret_cast<const void*>(message.LParam));
  if (cell == nullptr) return true;

  if (back) {
    CellBack(cell);
    return true;
  }

  TMultiViewChild* view = cell;
  if (cell->attr.kind != command.kind) {
    if (cell->node == nullptr || cell->node->cell != cell) return true;
    VIEW_ATTR_12 next;
    bool fromHistory = false;
    if (EArray<VIEW_ATTR_12>* history = cell->history) {
      for (int i = history->GetSize() - 1; i >= 0 && !fromHistory; --i) {
        if ((*history)[i].kind == command.kind) {
          next = (*history)[i];
          fromHistory = true;
        }
      }
    }
    if (!fromHistory) DefaultViewAttr(command.kind, &next);
    if (cell->attr.kind != VIEW_NONE) {
      next.instrument = cell->attr.instrument;
      next.currentBlock = cell->attr.currentBlock;
    }
    view = ChangeCellView(cell->node, &next, 1);
    if (view == nullptr) return true;
    if (command.trendMode && view->attr.kind == VIEW_TREND && IsFlashChart(*view) != command.flash) {
      // The new view toggles once it is in place: the same command again, after this one.
      PostMessageA(Handle(), message.Msg, message.WParam, reinterpret_cast<LPARAM>(view));
      return true;
    }
  } else if (command.trendMode && IsFlashChart(*cell) != command.flash) {
    if (auto* trend = dynamic_cast<TRendForm*>(cell)) trend->N16Click(nullptr);
  }

  if (message.Msg == MsgCellShowTrend && message.WParam != 0) {
    if (auto* trend = dynamic_cast<TRendForm*>(view)) trend->ShowHistoryDay(static_cast<std::uint32_t>(message.WParam));
  }
  return true;
}
