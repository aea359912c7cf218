// Three small windows that serve the page and the views:
// - TMVCmdBox: a strip of glyph buttons in the top right corner of a cell or chart; a click
//   activates the cell and posts a cell command to the page window;
// - EToolTip: a light-yellow multi-line tooltip (the main window's hints, the charts);
// - TTranspWnd: a background-less window laid over the page while a divider is dragged, so the
//   drag feedback drawn on it in XOR shows over the cells.
#pragma once

#include "core/EWnd.h"
#include "platform/Form.h"
#include "platform/Gdi.h"

class TMultiViewChild;

class TMVCmdBox : public EWnd {
 public:
  static constexpr int kMaxIcons = 4;
  static constexpr int kIconPitch = 17;   // 16-pixel icon and a one-pixel gap
  static constexpr int kHeight = 14;

  // A visible child of the cell's window at (client right - count * 17 - 3, client top + 3),
  // rendered in the normal colours. Icon codes 0..6 post MsgCellClose, MsgCellZoom,
  // MsgCellRestore, MsgCellSplitHorz, MsgCellSplitVert, MsgCellKeyLeft, MsgCellKeyRight; any other
  // code draws and posts nothing. At most 4 codes are taken.
  TMVCmdBox(TMultiViewChild* cell, const int* codes, int count);
  ~TMVCmdBox() override;

  // Moves the window to (x, y) with the strip's size and shows it without activating it.
  void SetPosition(int x, int y);
  // Draws the whole strip into the off-screen bitmap.
  void RenderIcons();
  // Renders and repaints the window (after a colour or an icon code changed).
  void Redraw();   // hides EWnd::Redraw: renders first
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  int Count() const { return count; }
  int StripWidth() const { return count > 0 ? count * kIconPitch - 1 : 0; }
  // The icon under client x (signed), or -1 left of the strip or past its last icon. Each icon
  // owns its 16 pixels and the gap column after it (x / 17).
  int IconAt(int x) const;
  // The command posted for an icon code (0 for none).
  static UINT CommandOf(int code);

  TMultiViewChild* cell = nullptr;
  int hotIndex = -1;
  int codes[kMaxIcons] = {};
  int count = 0;
  bool tracking = false;
  HBITMAP bitmap = nullptr;
  COLORREF background = 0;
  COLORREF normalColor = 16760703;
  COLORREF hotColor = 4167423;
};

class EToolTip : public EWnd {
 public:
  static constexpr int kMaxText = 1023;   // characters kept (cut on a character boundary)

  // A hidden child window of `parent` at 0,0 with zero size and the 宋体 12-pixel font.
  explicit EToolTip(HWND parent);
  ~EToolTip() override;

  // Measures the text (lines split at "\r\n"); returns the window size: widest line + 5,
  // sum of line heights + 5. (0, 0) for an empty or absent text.
  SIZE SetText(const char* text);
  // An empty or absent text hides the tooltip; otherwise re-parents to `parent` when given and
  // different, sets the text and shows it at `point` (parent client coordinates) without
  // activation.
  void ShowAt(POINT point, const char* text, HWND parent);
  void Hide();
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  HFONT font = nullptr;
  char text[kMaxText + 1] = {};
  bool multiLine = false;
  int lineHeight = 0;
};

class TTranspWnd : public TForm {
 public:
  // A borderless form made a plain child window of `mainWindow` (re-parented into it), with no
  // class background brush: when shown it shows what lies beneath it.
  explicit TTranspWnd(TWinControl* mainWindow);
  // Clears TranspWnd when it points here.
  ~TTranspWnd() override;
  const char* ClassName() const override { return "TTranspWnd"; }
  void WndProc(TMessage& message) override;

  // The canvas the drag feedback is drawn on at any time, not only while painting: a context of
  // the window taken on first use and given back when the window paints or goes. Hides the
  // form's paint-time canvas.
  TCanvas* Canvas() { return &drawCanvas_; }

 protected:
  // WS_EX_TRANSPARENT: the window starts with the pixels beneath it each time it is shown.
  void CreateParams(TCreateParams& params) override;
  // Closing frees it.
  void DoClose(TCloseAction& action) override;

 private:
  TControlCanvas drawCanvas_{this};
};

// The one drag overlay of the process (null until the first page window makes it).
extern TTranspWnd* TranspWnd;
