// System colours and metrics, and what the window unit asks of the drawing layer. The rest of
// Gdi.h lives in GdiObjects.cpp, GdiContexts.cpp, GdiDrawing.cpp, GdiText.cpp, GdiBlits.cpp,
// GdiFocusRect.cpp, GdiImages.cpp (bitmap files) and GdiImageLists.cpp over the private headers internal/GdiRegistry.h and internal/GdiSurface.h.

#include "platform/internal/GdiSurface.h"

#include "platform/internal/Screen.h"
#include "platform/internal/Window.h"

#include "platform/Screen.h"

#include <QGuiApplication>
#include <QScreen>

#include <atomic>
#include <cstring>
#include <optional>

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

namespace {

// The primary screen's whole and available geometry; 1024 x 768 without a screen. A test
// picture standing in for the screen is the whole screen.
QRect ScreenGeometry(bool available) {
  if (std::optional<QRect> picture = zuvo::platform::screen::TestPictureRect()) return *picture;
  QRect screen(0, 0, 1024, 768);
  if (zuvo::platform::EnsureApplication()) {
    if (QScreen* s = QGuiApplication::primaryScreen()) screen = available ? s->availableGeometry() : s->geometry();
  }
  return screen;
}

}  // namespace

int GetSystemMetrics(int index) {
  QRect screen = ScreenGeometry(false);
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
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CYSMCAPTION: return 15;
    case SM_CYMENU: return 19;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    default: return 0;
  }
}

BOOL SystemParametersInfoA(UINT action, UINT /*uiParam*/, void* param, UINT /*winIni*/) {
  if (action != SPI_GETWORKAREA || param == nullptr) return FALSE;
  QRect area = ScreenGeometry(true);
  *static_cast<RECT*>(param) = RECT{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
  return TRUE;
}

int GetDeviceCaps(HDC dc, int index) {
  zuvo::platform::gdi::DcPtr context = zuvo::platform::gdi::GdiRegistry().FindContext(dc);
  if (!context) return 0;
  const zuvo::platform::gdi::DeviceCaps& caps = context->device();
  if (caps.set) {
    switch (index) {
      case TECHNOLOGY: return DT_RASPRINTER;
      case HORZSIZE: return caps.horzRes * 254 / (caps.dpiX * 10);
      case VERTSIZE: return caps.vertRes * 254 / (caps.dpiY * 10);
      case HORZRES: return caps.horzRes;
      case VERTRES: return caps.vertRes;
      case BITSPIXEL: return 32;
      case PLANES: return 1;
      case LOGPIXELSX: return caps.dpiX;
      case LOGPIXELSY: return caps.dpiY;
      case PHYSICALWIDTH: return caps.physicalWidth;
      case PHYSICALHEIGHT: return caps.physicalHeight;
      case PHYSICALOFFSETX: return caps.offsetX;
      case PHYSICALOFFSETY: return caps.offsetY;
      default: return 0;
    }
  }
  switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return GetSystemMetrics(SM_CXSCREEN) * 254 / 960;
    case VERTSIZE: return GetSystemMetrics(SM_CYSCREEN) * 254 / 960;
    case HORZRES: return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES: return GetSystemMetrics(SM_CYSCREEN);
    case BITSPIXEL: return zuvo::platform::screen::BitsPerPixel();
    case PLANES: return 1;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    default: return 0;   // the physical sizes are a printer's
  }
}

// ---- The system version -------------------------------------------------------------------

namespace {

constexpr DWORD kBuildNumber = 2600;

// The version reported; replaced only by the test seam. Atomics, as workers may ask.
struct ReportedVersion {
  std::atomic<DWORD> major{5};
  std::atomic<DWORD> minor{1};
};

ReportedVersion& Reported() {
  static ReportedVersion version;
  return version;
}

}  // namespace

DWORD GetVersion() {
  return (Reported().major.load() & 0xFF) | ((Reported().minor.load() & 0xFF) << 8) | (kBuildNumber << 16);
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return FALSE;
  info->dwMajorVersion = Reported().major.load();
  info->dwMinorVersion = Reported().minor.load();
  info->dwBuildNumber = kBuildNumber;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  return TRUE;
}

namespace zuvo::platform {

ScopedOsVersionForTest::ScopedOsVersionForTest(DWORD major, DWORD minor)
    : previousMajor_(Reported().major.exchange(major)), previousMinor_(Reported().minor.exchange(minor)) {}

ScopedOsVersionForTest::~ScopedOsVersionForTest() {
  Reported().major = previousMajor_;
  Reported().minor = previousMinor_;
}

}  // namespace zuvo::platform
