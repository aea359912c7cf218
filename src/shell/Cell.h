// A cell of a page: a borderless child form of the page window that holds one view. An empty
// cell (kind 0) is a plain TMultiViewChild that paints a hint and offers a popup menu to choose
// its content; every view derives from it through TChildView (ChildView.h).
//
// The eight virtual operations after the constructor are the view interface, through which the
// main window, the page window and the subscription builder talk to any view; their order is
// fixed (slot order).
#pragma once

#include "core/EArray.h"
#include "data/Records.h"
#include "platform/Form.h"
#include "platform/Menu.h"
#include "shell/ViewTypes.h"

#include <cstdint>

class TMultiViewMain;
class TMVCmdBox;
struct PageNode;

class TMultiViewChild : public TForm {
 public:
  // Builds the cell (page window as owner and parent): default attributes (kind 0), a history
  // list and a view data record when none is given (the cell's defaults; the caller owns what it
  // passed and the page window frees what the cell made), the next requester id, appended to the
  // page's cell list, a visible child window with WS_CLIPCHILDREN, a command strip with the zoom
  // glyph in the top right corner.
  TMultiViewChild(TMultiViewMain* page, MVCDATA_12* viewData, EArray<VIEW_ATTR_12>* history,
                  PageNode* node);
  // Removes the cell from the page's cell list (the others keep their order).
  ~TMultiViewChild() override;
  const char* ClassName() const override { return "TMultiViewChild"; }

  // ---- The view interface, in slot order ----
  virtual int ViewNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) { return 0; }
  virtual void ViewPrint() {}
  virtual void InitView() {}
  // Gives the command strip COLOR01 as background, redraws it and invalidates the cell.
  virtual void ViewApplyColors();
  virtual void ViewCollectInstruments(EArray<STKMS>& instruments) {}
  virtual void ViewActivated() {}
  virtual void ViewDeactivated() {}
  virtual void ViewUpdateHotKeys() {}

  // Makes this cell the page's active cell and adapts the main window to its kind; when it
  // already is active, only focuses a trend, K-line or ranking view.
  void Activate();
  // Frees the command strip and has the form freed (close action caFree).
  void FormClose(TObject* sender, TCloseAction& action);

  void WndProc(TMessage& message) override;

  // The process-wide requester id counter (1, 17, 33, ...): the id the next cell gets.
  static std::int32_t NextRequesterId();
  static void ResetRequesterIdsForTest();

  // ---- Fields (read and set by the page window, the main window and the views) ----
  bool hoverTracking = false;       // a mouse-leave notification has been requested
  std::int32_t requesterId = 0;
  bool active = false;              // set by TMultiViewMain::SetActiveCell
  bool zoomed = false;              // set by the page window
  PageNode* node = nullptr;
  TMultiViewMain* page = nullptr;
  TMVCmdBox* cmdBox = nullptr;      // owned by the cell
  VIEW_ATTR_12 attr;                // kind 0 marks an empty cell
  bool linkFlag = false;            // follows instrument changes of linked views
  EArray<VIEW_ATTR_12>* history = nullptr;   // freed by the page window
  MVCDATA_12* viewData = nullptr;            // freed by the page window
  bool initialised = false;         // InitView has run

  // The empty cell's popup menu and its items (views clear the form's popup menu).
  TPopupMenu* MVCPM1 = nullptr;
  TMenuItem* NMVCZoom = nullptr;
  // The menu's OnPopup: the zoom item reads "还原" for a zoomed cell, "放大" otherwise.
  void MVCPM1Popup(TObject* sender);

 protected:
  // Paints the empty cell's hint (kind 0 only).
  void Paint() override;
  void Resize() override;

 private:
  void BuildPopupMenu();
  void PostCellCommand(UINT message);
};

// True for the three kinds that take the focus when their active cell is clicked again.
bool TakesFocusOnActivate(ViewKind kind);
