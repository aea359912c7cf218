#include "widgets/Xptabcontrol.h"

#include "platform/Gdi.h"
#include "widgets/Package.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using zuvo::widgets::XpBlend;

constexpr COLORREF kFrameColor = RGB(145, 155, 156);      // body frame, active sides, shadow target
constexpr COLORREF kTabOutline = RGB(145, 167, 180);      // inactive tab outline
constexpr COLORREF kHotTop = RGB(230, 139, 44);           // top line of the hot and active tab
constexpr COLORREF kHotBand = RGB(255, 199, 60);          // the two lines under it
constexpr COLORREF kHotInnerCorner = RGB(249, 185, 56);
constexpr COLORREF kInnerCorner = RGB(227, 233, 236);
constexpr COLORREF kFace = RGB(255, 255, 255);
constexpr COLORREF kDisabledText = RGB(161, 161, 146);

bool Inside(const RECT& r, const POINT& p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// Pens and brushes made for one paint, deleted with it.
class PaintTools {
 public:
  explicit PaintTools(HDC dc) : dc_(dc), oldPen_(GetCurrentObject(dc, OBJ_PEN)) {}
  ~PaintTools() {
    SelectObject(dc_, oldPen_);
    for (HGDIOBJ object : made_) DeleteObject(object);
  }
  PaintTools(const PaintTools&) = delete;
  PaintTools& operator=(const PaintTools&) = delete;
  void Pen(COLORREF colour) { SelectObject(dc_, Made(CreatePen(PS_SOLID, 1, colour))); }
  void Fill(int left, int top, int right, int bottom, COLORREF colour) {
    if (right <= left || bottom <= top) return;
    const RECT r{left, top, right, bottom};
    FillRect(dc_, &r, static_cast<HBRUSH>(Made(CreateSolidBrush(colour))));
  }
  void Frame(int left, int top, int right, int bottom, COLORREF colour) {
    const RECT r{left, top, right, bottom};
    FrameRect(dc_, &r, static_cast<HBRUSH>(Made(CreateSolidBrush(colour))));
  }
  void Line(int x1, int y1, int x2, int y2) {
    MoveToEx(dc_, x1, y1, nullptr);
    LineTo(dc_, x2, y2);
  }
  void Pixels(std::initializer_list<POINT> points, COLORREF colour) {
    for (const POINT& p : points) SetPixel(dc_, p.x, p.y, colour);
  }

 private:
  HGDIOBJ Made(HGDIOBJ object) {
    made_.push_back(object);
    return object;
  }
  HDC dc_;
  HGDIOBJ oldPen_;
  std::vector<HGDIOBJ> made_;
};

void Caption(HDC dc, const std::string& text, int x, int y) {
  if (!text.empty()) TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void PaintInactiveTab(PaintTools& tools, HDC dc, const RECT& tab, bool hot, COLORREF parent,
                      const std::string& caption) {
  const int l = tab.left, t = tab.top, r = tab.right, b = tab.bottom;
  tools.Fill(l + 1, t + 2, r - 2, b, kFace);
  tools.Pen(kTabOutline);
  MoveToEx(dc, l, b - 1, nullptr);
  LineTo(dc, l, t + 1);
  if (hot) tools.Pen(kHotTop);
  LineTo(dc, r - 2, t + 1);
  if (hot) tools.Pen(kTabOutline);
  LineTo(dc, r - 2, b);
  if (hot) {
    tools.Pen(kHotBand);
    tools.Line(l + 2, t + 3, r - 3, t + 3);
    tools.Line(l + 3, t + 2, r - 4, t + 2);
  }
  const COLORREF edge = hot ? kHotTop : kTabOutline;
  tools.Pixels({{l, t + 1}, {r - 2, t + 1}}, parent);
  tools.Pixels({{l + 1, t + 1}, {l, t + 2}, {r - 3, t + 1}, {r - 2, t + 2}}, XpBlend(parent, edge, 2, 3));
  tools.Pixels({{l + 2, t + 1}, {l + 1, t + 2}, {l, t + 3}, {r - 4, t + 1}, {r - 3, t + 2}, {r - 2, t + 3}},
               XpBlend(parent, edge, 1, 3));
  tools.Pixels({{l + 2, t + 2}, {l + 1, t + 3}, {r - 4, t + 2}, {r - 3, t + 3}}, hot ? kHotInnerCorner : kInnerCorner);
  Caption(dc, caption, l + 5, t + 4);
}

void PaintActiveTab(PaintTools& tools, HDC dc, const RECT& tab, COLORREF parent, const std::string& caption) {
  const int al = tab.left - 2, at = tab.top - 1, ar = tab.right, ab = tab.bottom;
  // Also covers the body frame's top line under the tab: the tab opens into the body.
  tools.Fill(al + 1, at + 3, ar, ab + 1, kFace);
  tools.Pen(kFrameColor);
  tools.Line(al, ab - 1, al, at + 2);
  tools.Line(ar, at + 3, ar, ab);
  tools.Pen(kHotBand);
  tools.Line(al + 2, at + 2, ar - 1, at + 2);
  tools.Line(al + 3, at + 1, ar - 2, at + 1);
  tools.Pen(kHotTop);
  tools.Line(al + 3, at, ar - 2, at);
  tools.Pixels({{al, at}, {ar, at}}, parent);
  tools.Pixels({{al + 1, at}, {al, at + 1}, {ar - 1, at}, {ar, at + 1}}, XpBlend(parent, kHotTop, 2, 3));
  tools.Pixels({{al + 2, at}, {al + 1, at + 1}, {al, at + 2}, {ar - 2, at}, {ar - 1, at + 1}, {ar, at + 2}},
               XpBlend(parent, kHotTop, 1, 3));
  tools.Pixels({{al + 2, at + 1}, {al + 1, at + 2}, {ar - 2, at + 1}, {ar - 1, at + 2}}, kHotInnerCorner);
  Caption(dc, caption, al + 5, at + 3);
}

}  // namespace

namespace zuvo::widgets {

COLORREF XpBlend(COLORREF a, COLORREF b, int n, int d) {
  auto channel = [n, d](int x, int y) {
    const int lo = std::min(x, y), hi = std::max(x, y);
    return static_cast<BYTE>(lo + ((hi - lo) * n) / d);
  };
  return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
             channel(GetBValue(a), GetBValue(b)));
}

void PaintXpTabs(TCustomTabControl* control, HDC dc) {
  if (control == nullptr || dc == nullptr) return;
  const int w = control->Width(), h = control->Height();
  const COLORREF parent = ColorToRGB(control->Parent() != nullptr ? control->Parent()->Color() : control->Color());
  PaintTools tools(dc);
  const int count = control->Tabs()->Count();
  if (count == 0) {
    tools.Fill(0, 0, w, h, parent);
    return;
  }
  const int tb = control->TabRect(0).bottom;
  tools.Fill(0, 0, w, tb, parent);
  tools.Frame(0, tb, w - 2, h - 2, kFrameColor);
  tools.Pen(XpBlend(parent, kFrameColor, 17, 20));
  tools.Line(w - 1, tb, w - 1, h);
  tools.Line(0, h - 1, w, h - 1);
  tools.Pen(XpBlend(parent, kFrameColor, 2, 3));
  tools.Line(w - 2, tb, w - 2, h - 1);
  tools.Line(0, h - 2, w - 1, h - 2);
  tools.Fill(1, tb + 1, w - 3, h - 3, kFace);

  HFONT font = reinterpret_cast<HFONT>(SendMessageA(control->Handle(), WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldText =
      SetTextColor(dc, control->Enabled() ? ColorToRGB(control->Font()->Color()) : kDisabledText);
  POINT cursor{};
  GetCursorPos(&cursor);
  ScreenToClient(control->Handle(), &cursor);

  // An index outside the tabs is no active tab.
  const int active = control->GetTabIndex() >= 0 && control->GetTabIndex() < count ? control->GetTabIndex() : -1;
  RECT activeShape{};
  if (active >= 0) {
    const TRect r = control->TabRect(active);
    activeShape = RECT{r.left - 2, r.top - 1, r.right + 1, r.bottom};   // as drawn, both sides included
  }
  const bool overActive = active >= 0 && Inside(activeShape, cursor);
  for (int i = 0; i < count; ++i) {
    if (i == active) continue;
    const TRect r = control->TabRect(i);
    const RECT tab{r.left, r.top, r.right, r.bottom};
    // The active tab is drawn over its neighbours' edges: a pointer there is on the active tab.
    const bool hot = !overActive && Inside(tab, cursor);
    PaintInactiveTab(tools, dc, tab, hot, parent, control->Tabs()->Get(i));
  }
  if (active >= 0) {
    const TRect r = control->TabRect(active);
    PaintActiveTab(tools, dc, RECT{r.left, r.top, r.right, r.bottom}, parent, control->Tabs()->Get(active));
  }

  SetTextColor(dc, oldText);
  SetBkMode(dc, oldMode);
  if (oldFont != nullptr) SelectObject(dc, oldFont);
}

bool HandleXpTabsPaint(TCustomTabControl* control, TMessage& message) {
  if (message.Msg == WM_ERASEBKGND) {
    message.Result = 1;
    return true;
  }
  if (message.Msg != WM_PAINT || !control->HandleAllocated()) return false;
  TPaintScope scope(control->Handle(), message);
  if (scope.Dc() != nullptr) PaintXpTabs(control, scope.Dc());
  message.Result = 0;
  return true;
}

void RegisterXptabcontrol() { RegisterComponentClass("TXPTabControl"); }

}  // namespace zuvo::widgets

TXPTabControl::TXPTabControl(TComponent* owner) : TTabControl(owner) {
  SetColor(clWhite);
  SetHotTrack(true);
  m_iTabClicking = 0;
}

void TXPTabControl::WndProc(TMessage& message) {
  if (zuvo::widgets::HandleXpTabsPaint(this, message)) return;
  if (message.Msg == WM_LBUTTONDOWN) {
    const int x = GET_X_LPARAM(message.LParam);
    const int y = GET_Y_LPARAM(message.LParam);
    for (int i = 0; i < Tabs()->Count(); ++i) {
      const TRect r = TabRect(i);
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
        m_iTabClicking = i + 1;
        break;
      }
    }
  }
  TTabControl::WndProc(message);
}

void TXPTabControl::OnPaint(void* dc) { zuvo::widgets::PaintXpTabs(this, static_cast<HDC>(dc)); }
