// The base of every view that lives in a cell (quote list, texts, news, notes, ranking, charts):
// a text size step, the shared view fonts rebuilt at every construction, no popup menu of the
// cell, and closing frees the view.
#pragma once

#include "platform/Gdi.h"
#include "shell/Cell.h"

class TChildView : public TMultiViewChild {
 public:
  // `source` (or none): the attributes to copy; the view itself decides what it takes of them.
  // The other arguments go to the cell.
  TChildView(TMultiViewMain* page, const VIEW_ATTR_12* source, MVCDATA_12* viewData,
             EArray<VIEW_ATTR_12>* history, PageNode* node);
  const char* ClassName() const override { return "TChildView"; }

  int ViewNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) override { return 0; }
  void ViewUpdateHotKeys() override { TMultiViewChild::ViewUpdateHotKeys(); }

  // Runs the cell's close handling, then frees the view.
  void FormClose(TObject* sender, TCloseAction& action);

  int textStep = 1;   // text size step, 0..10
};

// The three shared view fonts (side panel, quote board, trade list), built from FONT03..FONT05.
// Deleted and made anew by every TChildView construction and after a theme's fonts reload.
void RebuildSharedViewFonts();
HFONT SharedViewFont(int i);   // i = 0..2; null before the first build
