#include "widgets/Xpcombobox.h"

#include "platform/Gdi.h"
#include "widgets/Package.h"
#include "widgets/XpOwnerDraw.h"

namespace {

using namespace zuvo::widgets;

// The chevron's pixels: offsets from its centre, row by row.
struct ChevronRow {
  int dy;
  int from, to;   // a run of columns, both included
};
constexpr ChevronRow kChevron[] = {
    {-2, -3, -3}, {-2, 3, 3},   {-1, -4, -2}, {-1, 2, 4}, {0, -3, -1},
    {0, 1, 3},    {1, -2, 2},   {2, -1, 1},   {3, 0, 0},
};

void Line(HDC dc, int x1, int y1, int x2, int y2) {
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
}

}  // namespace

int TXPComboBox::m_iOsVersion = 0;

TXPComboBox::TXPComboBox(TComponent* owner) : TComboBox(owner) {
  m_bHot = 0;
  m_iState = 0;
}

void TXPComboBox::CreateParams(TCreateParams& params) {
  TComboBox::CreateParams(params);
  if (m_iOsVersion == 0) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (GetVersionExA(&info)) m_iOsVersion = static_cast<int>(info.dwMajorVersion * 10000 + info.dwMinorVersion);
  }
  if (Flat()) ApplyFlatBorderStyle(params);
}

void TXPComboBox::WndProc(TMessage& message) {
  if (!Flat()) {
    TComboBox::WndProc(message);
    return;
  }
  if (message.Msg == WM_LBUTTONDBLCLK) message.Msg = WM_LBUTTONDOWN;
  const int x = GET_X_LPARAM(message.LParam);
  const int y = GET_Y_LPARAM(message.LParam);
  switch (message.Msg) {
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
    case WM_MOUSELEAVE:
      OnMouseLeave();
      message.Result = 0;
      return;
    default:
      break;
  }
  TComboBox::WndProc(message);
  if (!HandleAllocated()) return;
  if (message.Msg == WM_PAINT) {
    HDC dc = GetDC(handle_);
    if (dc != nullptr) {
      OnPaint(dc);
      ReleaseDC(handle_, dc);
    }
  } else if (message.Msg == WM_NCPAINT) {
    PaintFlatBorder(handle_);
  }
}

void TXPComboBox::OnLButtonDown(int x, int y) { m_iState = kStatePressed; }

void TXPComboBox::OnLButtonUp(int x, int y) {
  const bool inside = x >= 0 && x < Width() && y >= 0 && y < Height();
  m_iState = inside ? kStateHot : kStateNormal;
}

void TXPComboBox::OnMouseMove(WPARAM keys, int x, int y) {
  if (m_bHot == 0) {
    m_bHot = 1;
    RequestMouseLeave(handle_);
  }
  const int state = (keys & MK_LBUTTON) != 0 ? kStatePressed : kStateHot;
  if (state == m_iState) return;
  m_iState = state;
  xpface::RepaintNow(HandleAllocated() ? handle_ : nullptr);
}

void TXPComboBox::OnMouseLeave() {
  if (m_bHot != 1) return;
  m_bHot = 0;
  m_iState = kStateNormal;
  xpface::RepaintNow(HandleAllocated() ? handle_ : nullptr);
}

void TXPComboBox::OnPaint(void* context) {
  HDC dc = static_cast<HDC>(context);
  if (dc == nullptr || !HandleAllocated()) return;
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(handle_, &info)) return;
  RECT button = info.rcButton;
  button.top -= 2;

  const COLORREF face = m_iState == kStatePressed ? kXpFacePressed : m_iState == kStateHot ? kXpFaceHot : kXpFaceNormal;
  HBRUSH brush = CreateSolidBrush(face);
  FillRect(dc, &button, brush);
  DeleteObject(brush);

  HPEN border = CreatePen(PS_SOLID, 1, kXpBorderColor);
  HGDIOBJ oldPen = SelectObject(dc, border);
  Line(dc, button.left, button.top, button.left, button.bottom);

  // The base's inner edge, two pixels along the top and left, painted over in the control's colour.
  HPEN background = CreatePen(PS_SOLID, 1, ColorToRGB(Color()));
  SelectObject(dc, background);
  const int height = Height();
  Line(dc, 0, 0, button.left, 0);
  Line(dc, 0, 0, 0, height);
  Line(dc, 1, 1, button.left, 1);
  Line(dc, 1, 1, 1, height);
  SelectObject(dc, oldPen);
  DeleteObject(border);
  DeleteObject(background);

  const int cx = button.left + (button.right - button.left - 1) / 2;
  const int cy = button.top + (button.bottom - button.top) / 2;
  for (const ChevronRow& row : kChevron) {
    for (int dx = row.from; dx <= row.to; ++dx) SetPixel(dc, cx + dx, cy + row.dy, kXpArrowColor);
  }
}

namespace zuvo::widgets {

void RegisterXpcombobox() { RegisterComponentClass("TXPComboBox"); }

}  // namespace zuvo::widgets
