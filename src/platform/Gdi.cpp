// System colours and metrics, and what the window unit asks of the drawing layer. The rest of
// Gdi.h lives in GdiObjects.cpp, GdiContexts.cpp, GdiDrawing.cpp, GdiText.cpp and GdiBlits.cpp
// over the private headers internal/GdiRegistry.h and internal/GdiSurface.h.

#include "platform/internal/GdiSurface.h"

#include "platform/internal/Window.h"

#include <QGuiApplication>
#include <QScreen>

namespace zuvo::platform::gdi {

bool BrushColor(HBRUSH brush, COLORREF* color) {
  ObjectPtr o = BrushObject(brush);
  if (!o || o->brush.lbStyle == BS_NULL) return false;
  if (color != nullptr) *color = o->brush.lbColor;
  return true;
}

QColor ToQColor(COLORREF color) { return QColor(ToRgb(color)); }

}  // namespace zuvo::platform::gdi

COLORREF GetSysColor(int index) {
  static const COLORREF kColors[] = {
      RGB(200, 200, 200), RGB(0, 128, 128),   RGB(10, 36, 106),   RGB(128, 128, 128),
      RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
      RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
      RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200),
      RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
      RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),
      RGB(255, 255, 225),
  };
  if (index < 0 || index >= static_cast<int>(sizeof kColors / sizeof kColors[0])) return 0;
  return kColors[index];
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index > COLOR_INFOBK) return nullptr;
  return reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(index + 1));
}

int GetSystemMetrics(int index) {
  QRect screen(0, 0, 1024, 768);
  if (zuvo::platform::EnsureApplication()) {
    if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry();
  }
  switch (index) {
    case SM_CXSCREEN: return screen.width();
    case SM_CYSCREEN: return screen.height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CYMENU: return 19;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    default: return 0;
  }
}
