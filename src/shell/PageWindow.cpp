// The page window as far as cells need it: a borderless form holding the cell list and the
// active and zoomed cells.
#include "shell/PageWindow.h"

#include "shell/Cell.h"

TMultiViewMain::TMultiViewMain(TComponent* owner) : TForm(owner) { SetBorderStyle(bsNone); }

TMultiViewMain::~TMultiViewMain() {
  // The cells remove themselves from the list as they go, so they must go while it still
  // exists (the form would free them, as its components, only after this body).
  while (cells.GetSize() > 0) TComponent::Free(cells[cells.GetSize() - 1]);
  activeCell = nullptr;
  zoomedCell = nullptr;
}

void TMultiViewMain::SetActiveCell(TMultiViewChild* cell) {
  if (cell == activeCell) return;
  if (TMultiViewChild* old = activeCell) {
    old->active = false;
    old->ViewDeactivated();
  }
  activeCell = cell;
  if (cell == nullptr) return;
  cell->active = true;
  cell->ViewActivated();
  cell->SetVisible(true);
  if (cell->CanFocus()) cell->SetFocus();
}
