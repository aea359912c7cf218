// The page's cells as the reply dispatch of the request client sees them: over the main
// window's current page window, in the page's cell list order (the dispatch walks them from the
// last), installed while the main window has a page window.
#include "data/Messages.h"
#include "net/PageCells.h"
#include "platform/WinUser.h"
#include "shell/Cell.h"
#include "shell/MainFrame.h"
#include "shell/PageWindow.h"
#include "shell/ViewSurfaces.h"

#include <cstring>

namespace {

class FramePageCells final : public IPageCells {
 public:
  TMFrame* frame = nullptr;

  int CellCount() const override {
    const TMultiViewMain* page = Page();
    return page != nullptr ? page->cells.GetSize() : 0;
  }
  std::uint32_t CellRequesterId(int cell) const override {
    const TMultiViewChild* view = Cell(cell);
    return view != nullptr ? static_cast<std::uint32_t>(view->requesterId) : 0;
  }
  int CellViewKind(int cell) const override {
    const TMultiViewChild* view = Cell(cell);
    return view != nullptr ? static_cast<int>(view->attr.kind) : 0;
  }
  void PostSortReady(int cell, int fileNumber, std::uint32_t serial) override {
    TMultiViewChild* view = Cell(cell);
    if (view == nullptr || !view->HandleAllocated()) return;
    PostMessageA(view->Handle(), MsgServerSortReady, static_cast<WPARAM>(fileNumber), static_cast<LPARAM>(serial));
  }
  void RedrawFastChangeColumn(int cell) override {
    if (auto* report = dynamic_cast<TReport*>(Cell(cell))) report->RedrawFastChangeColumn();
  }
  void OpenNoteIfRemembered(int cell, const char* fileName) override {
    auto* notes = dynamic_cast<TZQNote*>(Cell(cell));
    if (notes == nullptr || fileName == nullptr || !notes->textPaneVisible || !notes->hasRememberedNote) return;
    if (std::strncmp(notes->rememberedNote.fileName, fileName, sizeof notes->rememberedNote.fileName) != 0) return;
    // A copy: the view may remember the record again while it opens it.
    const NoteRecord note = notes->rememberedNote;
    notes->OpenNote(note);
  }

 private:
  TMultiViewMain* Page() const { return frame != nullptr ? frame->PageWindow() : nullptr; }
  TMultiViewChild* Cell(int cell) const {
    TMultiViewMain* page = Page();
    if (page == nullptr || cell < 0 || cell >= page->cells.GetSize()) return nullptr;
    return page->cells[cell];
  }
};

FramePageCells& Adapter() {
  static FramePageCells adapter;
  return adapter;
}

}  // namespace

void InstallPageCells(TMFrame* frame) {
  Adapter().frame = frame;
  zuvo::net::SetPageCells(&Adapter());
}

void RemovePageCells(TMFrame* frame) {
  if (Adapter().frame != frame) return;
  if (zuvo::net::PageCells() == &Adapter()) zuvo::net::SetPageCells(nullptr);
  Adapter().frame = nullptr;
}
