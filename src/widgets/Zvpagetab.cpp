#include "widgets/Zvpagetab.h"

#include "platform/Rect.h"
#include "widgets/Package.h"

#include <algorithm>
#include <cstdlib>

TZVPageTab::TZVPageTab(TComponent* owner) : TCustomControl(owner) {
  color_ = clBackground;
  // The strip paints with its own font; the base's would only invalidate when the parent's
  // font changes.
  parentFont_ = false;
  m_Font.SetName("Tahoma");
  m_Font.SetSize(9);
  m_Font.SetStyle(FontStyleBit(fsBold));
  m_Font.SetColor(clWhite);
  m_Font.SetCharset(DEFAULT_CHARSET);
  SetBounds(0, 0, 188, 24);
  LayoutSpinButtons();
}

TZVPageTab::~TZVPageTab() = default;

// ---- Properties ----------------------------------------------------------------------------

void TZVPageTab::SetColor(TColor c) {
  parentColor_ = false;
  if (c == color_) return;
  color_ = c;
  PaintTitles();
}

void TZVPageTab::SetFont(TFont* f) {
  if (f == nullptr) return;
  m_Font.Assign(*f);
  CalculateTitlesWidth();
  PaintTitles();
}

void TZVPageTab::SetFontColor(TColor c) {
  m_Font.SetColor(c);
  PaintTitles();
}

void TZVPageTab::SetActiveFontColor(TColor c) {
  if (c == m_clActiveFont) return;
  m_clActiveFont = c;
  // The sliver shows no text: only a wholly laid-out active tab changes.
  if (m_iFirstTitle <= m_iActiveTitle && m_iActiveTitle < m_iEndTitle) PaintActiveTitle();
}

void TZVPageTab::SetActiveButtonColor(TColor c) {
  if (c == m_clActiveButton) return;
  m_clActiveButton = c;
  if (m_iFirstTitle - 1 <= m_iActiveTitle && m_iActiveTitle < m_iEndTitle) PaintActiveTitle();
}

void TZVPageTab::SetBorderColor(TColor c) {
  if (c == m_clBorder) return;
  m_clBorder = c;
  Paint();
}

void TZVPageTab::SetButtonColor(TColor c) {
  if (c == m_clButton) return;
  m_clButton = c;
  Paint();
}

void TZVPageTab::SetArrowColor(TColor c) {
  if (c == m_clArrow) return;
  m_clArrow = c;
  PaintSpinButtons();
}

void TZVPageTab::SetSlope(int s) {
  if (s == m_iSlope) return;
  m_iSlope = s;
  PaintTitles();
}

// ---- Titles --------------------------------------------------------------------------------

void TZVPageTab::SetTitles(TStrings* list) {
  if (list == nullptr) return;
  // Copied through a second list, so that the strip's own titles may be given back to it.
  // The width and rectangle tables hold kMaxTitles entries: further lines are dropped.
  TStringList copy;
  const int count = std::min(list->Count(), kMaxTitles);
  for (int i = 0; i < count; ++i) copy.AddObject(list->Get(i), list->GetObject(i));
  m_Titles.Assign(copy);
  m_iFirstTitle = m_iEndTitle = m_iActiveTitle = 0;
  CalculateTitlesWidth();
  PaintTitles();
}

void TZVPageTab::ClearTitle() {
  m_Titles.Clear();
  m_iFirstTitle = m_iEndTitle = m_iActiveTitle = 0;
  CalculateTitlesWidth();
  PaintTitles();
}

void TZVPageTab::AddTitle(const char* s) {
  if (s == nullptr || m_Titles.Count() >= kMaxTitles) return;
  m_Titles.Add(s);
  CalculateTitlesWidth();
  PaintTitles();
}

void TZVPageTab::SetActiveTabItem(int i) {
  if (i == m_iActiveTitle || i < 0 || i >= m_Titles.Count()) return;
  m_iActiveTitle = i;
  CalculateTitlesWidth();
  if (i < m_iFirstTitle) {
    m_iFirstTitle = i;
  } else if (i >= m_iEndTitle) {
    m_iFirstTitle = ScrollIntoView(i);
  }
  if (TTitleChangeEvent changed = OnTitleChange) changed(this, i);
  CalculateTabRects();
  PaintTitles();
}

int TZVPageTab::TitleWidth(int i) const {
  return i >= 0 && i < m_Titles.Count() ? m_iTitleWidths[static_cast<size_t>(i)] : 0;
}

TRect TZVPageTab::TabRect(int i) const {
  return i >= 0 && i < kMaxTitles ? m_rcTabs[static_cast<size_t>(i)] : TRect();
}

// ---- Layout --------------------------------------------------------------------------------

int TZVPageTab::ButtonWidth() const {
  // A size in points gives a negative height; a height given in pixels counts as it stands.
  return std::abs(m_Font.Height());
}

void TZVPageTab::LayoutSpinButtons() {
  const int b = ButtonWidth();
  const int w = Width();
  const int h = Height();
  m_rcLeftButton = TRect(0, 0, b, h);
  m_rcRightButton = TRect(w - b, 0, w, h);
  const int cy = m_rcLeftButton.top + (h >> 1);
  const int lx = m_rcLeftButton.left + ((m_rcLeftButton.right - m_rcLeftButton.left) >> 1);
  const int rx = m_rcRightButton.right - ((m_rcRightButton.right - m_rcRightButton.left) >> 1);
  m_ptLeftArrow = {TPoint(lx - 2, cy), TPoint(lx + 2, cy - 4), TPoint(lx + 2, cy + 4)};
  m_ptRightArrow = {TPoint(rx + 2, cy), TPoint(rx - 2, cy - 4), TPoint(rx - 2, cy + 4)};
  for (size_t k = 0; k < 3; ++k) {
    m_ptLeftArrowDown[k] = TPoint(m_ptLeftArrow[k].x - 1, m_ptLeftArrow[k].y);
    m_ptRightArrowDown[k] = TPoint(m_ptRightArrow[k].x + 1, m_ptRightArrow[k].y);
  }
}

TCanvas* TZVPageTab::DrawingCanvas() {
  // Asking the canvas for a context makes the window: a strip not yet placed draws nothing.
  if (!HandleAllocated()) return nullptr;
  TCanvas* canvas = Canvas();
  // Taking a context gives the canvas the base control's font: take it first, then ours.
  if (canvas->Handle() == nullptr) return nullptr;
  canvas->Font()->Assign(m_Font);
  return canvas;
}

void TZVPageTab::CalculateTitlesWidth() {
  const int count = std::min(m_Titles.Count(), kMaxTitles);
  if (TCanvas* canvas = DrawingCanvas()) {
    for (int i = 0; i < count; ++i) m_iTitleWidths[static_cast<size_t>(i)] = canvas->TextWidth(m_Titles.Get(i));
  } else {
    // Without a window the titles are measured on a memory context, so that an owner may
    // activate a title before the strip is shown.
    HDC dc = CreateCompatibleDC(nullptr);
    TCanvas scratch;
    scratch.SetHandle(dc);
    scratch.Font()->Assign(m_Font);
    for (int i = 0; i < count; ++i) m_iTitleWidths[static_cast<size_t>(i)] = scratch.TextWidth(m_Titles.Get(i));
    scratch.SetHandle(nullptr);
    if (dc != nullptr) DeleteDC(dc);
  }
  CalculateTabRects();
}

void TZVPageTab::CalculateTabRects() {
  const int f = m_iFirstTitle;
  const int s = m_iSlope;
  const int count = std::min(m_Titles.Count(), kMaxTitles);
  const int leftEdge = m_rcLeftButton.right;
  const int cut = m_rcRightButton.left - s;
  m_iEndTitle = count;
  if (m_rcLeftButton.right <= m_rcLeftButton.left) {
    // A font without a size gives no spin buttons to lay out against: nothing is shown.
    m_iEndTitle = std::max(f - 1, 0);
    return;
  }
  for (int i = std::max(f - 1, 0); i < count; ++i) {
    TRect r;
    r.top = 0;
    r.bottom = Height();
    if (i == f - 1) {
      r.left = leftEdge;
      r.right = leftEdge + s;
    } else {
      r.left = i == f ? leftEdge + s : m_rcTabs[static_cast<size_t>(i - 1)].right;
      r.right = r.left + m_iTitleWidths[static_cast<size_t>(i)] + 4 * s + 8;
    }
    if (cut < r.right) {
      r.right = cut;
      // No room left at all (a strip narrower than its buttons): this title and the rest are
      // not laid out, rather than given a rectangle that ends before it starts.
      m_iEndTitle = r.right < r.left ? i : i + 1;
      if (r.right >= r.left) m_rcTabs[static_cast<size_t>(i)] = r;
      return;
    }
    m_rcTabs[static_cast<size_t>(i)] = r;
  }
}

int TZVPageTab::ScrollIntoView(int active) const {
  // Counts each title as its text and 4 x Slope, leaving out the 8 pixels of each tab.
  const int s = m_iSlope;
  int x = m_rcRightButton.left - 2 * s;
  int j = active;
  for (; j >= 0; --j) {
    x -= m_iTitleWidths[static_cast<size_t>(j)] + 4 * s;
    if (x < m_rcLeftButton.right) break;
  }
  return std::min(j + 1, active);
}

bool TZVPageTab::CanScrollRight(int extra) const {
  const int e = m_iEndTitle - 1;
  // Nothing laid out, or the last title already the first shown: scrolling on would leave only
  // a sliver, then nothing, however long the button is pressed.
  if (e < 0 || e < m_iFirstTitle || e >= kMaxTitles) return false;
  if (m_iFirstTitle >= std::min(m_Titles.Count(), kMaxTitles) - 1) return false;
  return m_rcTabs[static_cast<size_t>(e)].left + m_iTitleWidths[static_cast<size_t>(e)] + extra > m_rcRightButton.left;
}

// ---- Painting ------------------------------------------------------------------------------

void TZVPageTab::Paint() {
  LayoutSpinButtons();
  Canvas()->Pen()->SetWidth(1);
  PaintSpinButtons();
  CalculateTitlesWidth();
  PaintTitles();
}

void TZVPageTab::PaintSpinButtons() {
  TCanvas* canvas = DrawingCanvas();
  if (canvas == nullptr) return;
  TPen* pen = canvas->Pen();
  TBrush* brush = canvas->Brush();
  pen->SetStyle(psSolid);
  pen->SetWidth(1);
  pen->SetColor(m_clBorder);
  brush->SetColor(m_clButton);
  brush->SetStyle(bsSolid);
  canvas->Rectangle(m_rcLeftButton);
  canvas->Rectangle(m_rcRightButton);
  pen->SetColor(m_clArrow);
  brush->SetColor(m_clArrow);
  canvas->Polygon((m_cSpinDown == 0 ? m_ptLeftArrowDown : m_ptLeftArrow).data(), 3);
  canvas->Polygon((m_cSpinDown == 1 ? m_ptRightArrowDown : m_ptRightArrow).data(), 3);
}

void TZVPageTab::PaintSliver(TCanvas* canvas) {
  const int left = m_rcLeftButton.right;
  const POINT points[3] = {{left, 0}, {left + 2 * m_iSlope, 0}, {left, Height()}};
  canvas->Polygon(points, 3);
}

void TZVPageTab::PaintTab(TCanvas* canvas, int i, bool active) {
  const TRect& r = m_rcTabs[static_cast<size_t>(i)];
  const int s = m_iSlope;
  if (!active || s != 0) {
    const POINT points[4] = {{r.left - s, r.top}, {r.right + s, r.top}, {r.right - s, r.bottom}, {r.left + s, r.bottom}};
    canvas->Polygon(points, 4);
  } else {
    // The flat active tab: outlined in ActiveButtonColor, then shaded from ButtonColor at its
    // middle row to about 40 percent lighter at its top and bottom edges.
    const POINT points[4] = {{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}};
    canvas->Polygon(points, 4);
    const int middle = (r.top + r.bottom) / 2;
    const int height = r.bottom - r.top;
    if (height > 0) {
      auto line = [&](int y, int percent) {
        canvas->Pen()->SetColor(static_cast<TColor>(zuvo::widgets::LightenColor(m_clButton, percent)));
        canvas->MoveTo(r.left, y);
        canvas->LineTo(r.right, y);
      };
      for (int y = middle; y >= r.top + 1; --y) line(y, 80 * (middle - y) / height);
      for (int y = middle; y <= r.bottom - 1; ++y) line(y, 80 * (y - middle) / height);
    }
  }
  const int width = m_iTitleWidths[static_cast<size_t>(i)];
  const int x = active ? r.left + (r.right - r.left - width) / 2 : r.left + 2 * s + 4;
  const int y = r.top + ((r.bottom - r.top - std::abs(m_Font.Height())) >> 1);
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetColor(active ? m_clActiveFont : m_Font.Color());
  canvas->TextRect(r, x, y, m_Titles.Get(i));
  canvas->Font()->SetColor(m_Font.Color());
}

void TZVPageTab::PaintTitles() {
  TCanvas* canvas = DrawingCanvas();
  if (canvas == nullptr) return;
  TBrush* brush = canvas->Brush();
  TPen* pen = canvas->Pen();
  const TBrushStyle savedStyle = brush->Style();
  brush->SetColor(Color());
  brush->SetStyle(bsSolid);
  const TRect area(m_rcLeftButton.right, m_rcLeftButton.top, m_rcRightButton.left, m_rcRightButton.bottom);
  if (area.right > area.left) canvas->FillRect(area);
  const int f = m_iFirstTitle;
  for (int i = std::max(f - 1, 0); i < m_iEndTitle; ++i) {
    if (i == m_iActiveTitle) continue;
    pen->SetStyle(psSolid);
    pen->SetColor(m_clBorder);
    brush->SetColor(m_clButton);
    brush->SetStyle(bsSolid);
    if (i == f - 1) {
      if (m_iSlope != 0) PaintSliver(canvas);
      continue;
    }
    PaintTab(canvas, i, false);
  }
  brush->SetStyle(savedStyle);
  if (f - 1 <= m_iActiveTitle && m_iActiveTitle < m_iEndTitle) PaintActiveTitle();
}

void TZVPageTab::PaintActiveTitle() {
  const int active = m_iActiveTitle;
  const int f = m_iFirstTitle;
  if (active < 0 || active < f - 1 || active >= m_iEndTitle || active >= m_Titles.Count()) return;
  TCanvas* canvas = DrawingCanvas();
  if (canvas == nullptr) return;
  TBrush* brush = canvas->Brush();
  const TBrushStyle savedStyle = brush->Style();
  canvas->Pen()->SetStyle(psSolid);
  canvas->Pen()->SetColor(m_clActiveButton);
  brush->SetColor(m_clActiveButton);
  brush->SetStyle(bsSolid);
  if (active == f - 1) {
    // With Slope 0 there is no sliver to show.
    if (m_iSlope != 0) PaintSliver(canvas);
  } else {
    PaintTab(canvas, active, true);
  }
  brush->SetStyle(savedStyle);
}

// ---- Mouse and keys ------------------------------------------------------------------------

void TZVPageTab::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button != mbLeft) return;
  const POINT point{x, y};
  const int f = m_iFirstTitle;
  if (PtInRect(&m_rcLeftButton, point)) {
    m_cSpinDown = 0;
    PaintSpinButtons();
    if (f > 0) {
      m_iFirstTitle = f - 1;
      CalculateTabRects();
      PaintTitles();
    }
    return;
  }
  if (PtInRect(&m_rcRightButton, point)) {
    m_cSpinDown = 1;
    PaintSpinButtons();
    if (CanScrollRight(9 * m_iSlope)) {
      m_iFirstTitle = f + 1;
      CalculateTabRects();
      PaintTitles();
    }
    return;
  }
  for (int i = std::max(f - 1, 0); i < m_iEndTitle; ++i) {
    if (!PtInRect(&m_rcTabs[static_cast<size_t>(i)], point)) continue;
    if (i == m_iActiveTitle) return;
    m_iActiveTitle = i;
    const int e = m_iEndTitle - 1;
    if (i == f - 1) {
      m_iFirstTitle = i;
    } else if (i == e && m_rcTabs[static_cast<size_t>(e)].left + m_iTitleWidths[static_cast<size_t>(e)] + 5 * m_iSlope >
                             m_rcRightButton.left) {
      m_iFirstTitle = ScrollIntoView(i);
    }
    CalculateTabRects();
    PaintTitles();
    if (TTitleChangeEvent changed = OnTitleChange) changed(this, i);
    return;
  }
}

void TZVPageTab::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  m_cSpinDown = 255;
  PaintSpinButtons();
}

void TZVPageTab::KeyDown(WORD& key, TShiftState shift) {
  if (key == VK_LEFT) {
    if (m_iFirstTitle >= 1) {
      --m_iFirstTitle;
      CalculateTabRects();
      PaintTitles();
    }
  } else if (key == VK_RIGHT) {
    if (CanScrollRight(5 * m_iSlope)) {
      ++m_iFirstTitle;
      CalculateTabRects();
      PaintTitles();
    }
  }
}

void TZVPageTab::KeyUp(WORD& key, TShiftState shift) {}

void TZVPageTab::WndProc(TMessage& message) {
  TCustomControl::WndProc(message);
  if (message.Msg == WM_GETDLGCODE) message.Result = DLGC_WANTARROWS;
}

namespace zuvo::widgets {

void RegisterZvpagetab() { RegisterComponentClass("TZVPageTab"); }

COLORREF LightenColor(TColor color, int percent) {
  const COLORREF rgb = ColorToRGB(color);
  const int p = std::clamp(percent, 0, 100);
  auto towardWhite = [p](int c) { return static_cast<BYTE>(c + p * (255 - c) / 100); };
  return RGB(towardWhite(GetRValue(rgb)), towardWhite(GetGValue(rgb)), towardWhite(GetBValue(rgb)));
}

}  // namespace zuvo::widgets
