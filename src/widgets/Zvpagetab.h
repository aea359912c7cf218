// A strip of title tabs with a spin button at each end: up to 128 titles, as many shown as fit
// between the buttons, each tab a trapezoid whose sides lean by Slope pixels (rectangles with a
// shaded active tab when Slope is 0). One title is active; OnTitleChange reports a change made
// by a click or by SetActiveTabItem. The news view and the quote list's block tabs use it.
// UI thread only. Titles are GBK.
//
// Layout. The spin buttons are b pixels wide, b being the font's size in pixels (Tahoma 9 pt:
// 12). Titles are laid out from the first shown one (FirstTitle), each text width + 4 x Slope
// + 8 wide; the title before it shows as a sliver next to the left button; the last one that
// does not fit is cut at the right button less Slope. A strip too narrow for anything between
// its buttons (or a font without a size) lays out no title; the buttons still paint.
//
// Things that look odd and are meant:
// - The setters draw at once on the control's window and do not invalidate; each repaints only
//   its own part (the titles, the active tab or the buttons; border and button colours all).
//   Without a window they only store (and measure): the first paint shows the result.
// - SetTitles and ClearTitle make title 0 active without raising OnTitleChange; clicking the
//   active title raises nothing.
// - The right spin button scrolls while the last shown title's text plus 9 x Slope reaches
//   past the right button, the right arrow key only while its text plus 5 x Slope does: with
//   two titles that both fit the button may still scroll where the key does not.
// - Activating the last, cut title (or one right of the shown range) scrolls by an estimate
//   that leaves out the 8 pixels of each tab, so the title may stay partly cut.
// - The strip never scrolls past its last title: once the last title is the first fully
//   shown one, the right button and key do nothing.
// Bad input is ignored without a message: a null title or list, a 129th title (a longer list
// keeps its first 128 lines), an index outside the titles.
#pragma once

#include "platform/Control.h"
#include "platform/StringList.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

using TTitleChangeEvent = std::function<void(TObject* Sender, int TabIndex)>;

class TZVPageTab : public TCustomControl {
 public:
  static constexpr int kMaxTitles = 128;

  explicit TZVPageTab(TComponent* owner);   // 188 x 24
  ~TZVPageTab() override;
  const char* ClassName() const override { return "TZVPageTab"; }

  // The strip's background between the buttons (the control's Color). Hides the base's
  // setter, which would invalidate.
  void SetColor(TColor c);
  // The titles' font, owned by the strip: Tahoma 9 pt bold white at first. Its colour is the
  // inactive titles' text colour. Change it through SetFont / SetFontColor, which repaint.
  TFont* Font() { return &m_Font; }
  void SetFont(TFont* f);   // copies f; null is ignored
  void SetFontColor(TColor c);
  TColor ActiveFontColor() const { return m_clActiveFont; }
  void SetActiveFontColor(TColor c);
  TColor BorderColor() const { return m_clBorder; }
  void SetBorderColor(TColor c);
  TColor ArrowColor() const { return m_clArrow; }
  void SetArrowColor(TColor c);
  TColor ButtonColor() const { return m_clButton; }
  void SetButtonColor(TColor c);
  TColor ActiveButtonColor() const { return m_clActiveButton; }
  void SetActiveButtonColor(TColor c);
  int Slope() const { return m_iSlope; }
  // The titles are repainted with the new lean; the tab rectangles follow at the next paint.
  void SetSlope(int s);

  const TStrings* Titles() const { return &m_Titles; }
  void SetTitles(TStrings* list);
  void ClearTitle();
  void AddTitle(const char* s);
  void SetActiveTabItem(int i);

  // The layout as last computed, for the owner's views and tests.
  int FirstTitle() const { return m_iFirstTitle; }
  int EndTitle() const { return m_iEndTitle; }
  int ActiveTitle() const { return m_iActiveTitle; }
  int TitleWidth(int i) const;   // 0 outside the titles
  TRect TabRect(int i) const;    // valid for FirstTitle() - 1 .. EndTitle() - 1; empty outside 0..127
  TRect LeftButtonRect() const { return m_rcLeftButton; }
  TRect RightButtonRect() const { return m_rcRightButton; }
  // 0 left, 1 right, 255 none.
  std::uint8_t SpinDown() const { return m_cSpinDown; }

  void WndProc(TMessage& message) override;   // WM_GETDLGCODE: the strip wants the arrow keys

  TTitleChangeEvent OnTitleChange;

 protected:
  void Paint() override;
  void PaintSpinButtons();
  void CalculateTitlesWidth();
  void CalculateTabRects();
  void PaintTitles();
  void PaintActiveTitle();
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void KeyUp(WORD& key, TShiftState shift) override;

 private:
  // b: the spin buttons' width, the font's size in pixels; 0 without one.
  int ButtonWidth() const;
  // The spin-button rectangles and their arrows from the size and the font.
  void LayoutSpinButtons();
  // A canvas on the control's window, with the titles' font; null while there is no window.
  TCanvas* DrawingCanvas();
  // The first shown title that brings title `active` into view, by the estimate.
  int ScrollIntoView(int active) const;
  // The last laid-out title is a whole title whose text and `extra` pixels reach past the
  // right button: the strip can scroll one title to the right.
  bool CanScrollRight(int extra) const;
  void FillTitlesBackground(TCanvas* canvas);
  // Title i's tab and text: an inactive one with its text after the slope, the active one
  // (pen and brush already in ActiveButtonColor) shaded when flat, its text centred.
  void PaintTab(TCanvas* canvas, int i, bool active);
  void PaintSliver(TCanvas* canvas);

  TFont m_Font;
  TStringList m_Titles;
  TColor m_clActiveFont = clBlue;
  TColor m_clBorder = clGray;
  TColor m_clArrow = clBlack;
  TColor m_clButton = clSilver;
  TColor m_clActiveButton = clBlack;
  int m_iSlope = 4;

  TRect m_rcLeftButton;
  TRect m_rcRightButton;
  std::array<TPoint, 3> m_ptLeftArrow{};
  std::array<TPoint, 3> m_ptRightArrow{};
  std::array<TPoint, 3> m_ptLeftArrowDown{};
  std::array<TPoint, 3> m_ptRightArrowDown{};
  std::array<TRect, kMaxTitles> m_rcTabs{};
  std::array<int, kMaxTitles> m_iTitleWidths{};
  int m_iFirstTitle = 0;
  int m_iEndTitle = 0;
  int m_iActiveTitle = 0;
  std::uint8_t m_cSpinDown = 255;
};

namespace zuvo::widgets {
// Names TZVPageTab to the package's class table.
void RegisterZvpagetab();
// ButtonColor lightened for the flat active tab: each of red, green and blue moved `percent`
// (held to 0..100) of the way to 255. A system colour is resolved first.
COLORREF LightenColor(TColor color, int percent);
}  // namespace zuvo::widgets
