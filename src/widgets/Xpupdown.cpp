#include "widgets/Xpupdown.h"

#include "platform/Gdi.h"
#include "widgets/Package.h"
#include "widgets/XpOwnerDraw.h"

namespace {

using namespace zuvo::widgets;

constexpr int kNone = 0;
constexpr int kHotOffset = 2;   // hot states follow the pressed ones: 3 and 4

void Run(HDC dc, int row, int from, int to, COLORREF colour) {
  for (int x = from; x <= to; ++x) SetPixel(dc, x, row, colour);
}

}  // namespace

TXPUpDown::TXPUpDown(TComponent* owner) : TUpDown(owner) {
  m_bHot = 0;
  m_iState = 0;
}

int TXPUpDown::HalfAt(int x, int y) const {
  return Orientation() == udVertical ? UpDownHalf(y, Height()) : UpDownHalf(x, Width());
}

void TXPUpDown::WndProc(TMessage& message) {
  if (message.Msg == WM_LBUTTONDBLCLK) message.Msg = WM_LBUTTONDOWN;
  const int x = GET_X_LPARAM(message.LParam);
  const int y = GET_Y_LPARAM(message.LParam);
  switch (message.Msg) {
    case WM_PAINT: {
      if (!HandleAllocated()) break;
      TPaintScope scope(handle_, message);
      if (scope.Dc() != nullptr) OnPaint(scope.Dc());
      message.Result = 0;
      return;
    }
    case WM_ERASEBKGND:
      message.Result = 1;
      return;
    case WM_MOUSELEAVE:
      OnMouseLeave();
      message.Result = 0;
      return;
    case WM_CREATE:
      OnCreate(reinterpret_cast<const CREATESTRUCTA*>(message.LParam));
      break;
    case WM_MOUSEMOVE:
      OnMouseMove(message.WParam, x, y);
      break;
    case WM_LBUTTONDOWN:
      OnLButtonDown(x, y);
      break;
    case WM_LBUTTONUP:
      OnLButtonUp(x, y);
      break;
    default:
      break;
  }
  TUpDown::WndProc(message);
}

void TXPUpDown::OnLButtonDown(int x, int y) { m_iState = HalfAt(x, y); }

void TXPUpDown::OnLButtonUp(int x, int y) {
  const bool inside = x >= 0 && x < Width() && y >= 0 && y < Height();
  const int half = inside ? HalfAt(x, y) : kNone;
  m_iState = half == kNone ? kNone : half + kHotOffset;
}

void TXPUpDown::OnMouseMove(WPARAM keys, int x, int y) {
  if (m_bHot == 0) {
    m_bHot = 1;
    RequestMouseLeave(handle_);
  }
  const int half = HalfAt(x, y);
  const int state = half == kNone ? kNone : (keys & MK_LBUTTON) != 0 ? half : half + kHotOffset;
  if (state == m_iState) return;
  m_iState = state;
  xpface::RepaintNow(HandleAllocated() ? handle_ : nullptr);
}

void TXPUpDown::OnMouseLeave() {
  if (m_bHot != 1) return;
  m_bHot = 0;
  m_iState = kNone;
  xpface::RepaintNow(HandleAllocated() ? handle_ : nullptr);
}

void TXPUpDown::OnPaint(void* context) {
  HDC dc = static_cast<HDC>(context);
  if (dc == nullptr || Orientation() != udVertical) return;
  const int w = Width(), h = Height();

  HBRUSH face = CreateSolidBrush(kXpFaceNormal);
  const RECT all{0, 0, w, h};
  FillRect(dc, &all, face);
  DeleteObject(face);

  // Top, right and bottom; the left stays open against the associated edit's border.
  HPEN border = CreatePen(PS_SOLID, 1, kXpBorderColor);
  HGDIOBJ oldPen = SelectObject(dc, border);
  MoveToEx(dc, 0, 0, nullptr);
  LineTo(dc, w - 1, 0);
  LineTo(dc, w - 1, h - 1);
  LineTo(dc, -1, h - 1);
  SelectObject(dc, oldPen);
  DeleteObject(border);

  if (m_iState >= 1 && m_iState <= 4) {
    const bool hot = m_iState >= 3;
    const bool first = m_iState == 1 || m_iState == 3;
    const int top = first ? 1 : h - (h + 1) / 2;
    const int bottom = first ? (h + 1) / 2 : h - 1;
    HBRUSH brush = CreateSolidBrush(hot ? kXpFaceHot : kXpFacePressed);
    HPEN outline = CreatePen(PS_SOLID, 1, hot ? kXpHotOutline : kXpPressedOutline);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    oldPen = SelectObject(dc, outline);
    Rectangle(dc, 0, top, w - 1, bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(outline);
  }

  const int cx = (w - 1) / 2;
  const int q = h / 4;
  // The up arrow from its tip down, the down arrow from its tip up; the widest row has a notch.
  SetPixel(dc, cx, q - 1, kXpArrowColor);
  Run(dc, q, cx - 1, cx + 1, kXpArrowColor);
  Run(dc, q + 1, cx - 2, cx + 2, kXpArrowColor);
  Run(dc, q + 2, cx - 3, cx - 1, kXpArrowColor);
  Run(dc, q + 2, cx + 1, cx + 3, kXpArrowColor);
  SetPixel(dc, cx, h - q, kXpArrowColor);
  Run(dc, h - q - 1, cx - 1, cx + 1, kXpArrowColor);
  Run(dc, h - q - 2, cx - 2, cx + 2, kXpArrowColor);
  Run(dc, h - q - 3, cx - 3, cx - 1, kXpArrowColor);
  Run(dc, h - q - 3, cx + 1, cx + 3, kXpArrowColor);
}

namespace zuvo::widgets {

int UpDownHalf(int position, int size) {
  const int half = size / 2;
  if (position < half) return 1;
  if (position < size - half) return 0;
  return 2;
}

void RegisterXpupdown() { RegisterComponentClass("TXPUpDown"); }

}  // namespace zuvo::widgets
