// What the reply dispatch needs of the page on screen: its cells from last to first, each with
// the requester id its view passes with its requests and its view kind, and three things a cell
// can do. The shell implements it over the page's cells; tests install a fake. While nothing is
// installed there is no page: sort results and notes reach no view.
//
// UI thread only.
#pragma once

#include <cstdint>

// View kinds the dispatch looks for.
constexpr int kViewKindQuoteList = 8193;
constexpr int kViewKindNotes = 8197;

class IPageCells {
 public:
  virtual ~IPageCells() = default;

  virtual int CellCount() const = 0;
  virtual std::uint32_t CellRequesterId(int cell) const = 0;
  virtual int CellViewKind(int cell) const = 0;

  // Posts MsgServerSortReady (fileNumber, serial) to the cell's view.
  virtual void PostSortReady(int cell, int fileNumber, std::uint32_t serial) = 0;
  // The cell's quote list repaints its fast-change column.
  virtual void RedrawFastChangeColumn(int cell) = 0;
  // The cell's notes view shows its remembered note when its text pane is visible and that
  // note's file name is `fileName` (16 bytes, terminated); otherwise nothing.
  virtual void OpenNoteIfRemembered(int cell, const char* fileName) = 0;
};

namespace zuvo::net {

// The page's cells, or null (no page). Installed by the shell; not owned.
IPageCells* PageCells();
void SetPageCells(IPageCells* cells);

}  // namespace zuvo::net
