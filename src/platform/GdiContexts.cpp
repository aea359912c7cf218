// Device contexts: making and deleting them, their state (colours, modes, origins, clipping),
// and the surface a drawing call resolves a context to.

#include "platform/internal/GdiSurface.h"

#include "platform/internal/Window.h"

#include <algorithm>
#include <utility>

namespace zuvo::platform::gdi {
namespace {

DcState InitialState(Registry& registry) {
  DcState state;
  state.pen = registry.Stock(BLACK_PEN);
  state.brush = registry.Stock(WHITE_BRUSH);
  state.font = registry.Stock(SYSTEM_FONT);
  state.palette = registry.Stock(DEFAULT_PALETTE);
  return state;
}

DcPtr ContextOf(HDC dc) { return GdiRegistry().FindContext(dc); }

// One field of a context's state: set, handing back what it held, or read; `failed` for a dead
// context.
template <typename T>
T Exchange(HDC dc, T DcState::*field, T value, T failed) {
  DcPtr context = ContextOf(dc);
  return context ? std::exchange(context->State().*field, value) : failed;
}

template <typename T>
T Read(HDC dc, T DcState::*field, T failed) {
  DcPtr context = ContextOf(dc);
  return context ? context->State().*field : failed;
}

BOOL SetOrigin(HDC dc, POINT DcState::*field, POINT origin, POINT* previous) {
  DcPtr context = ContextOf(dc);
  if (!context) return FALSE;
  POINT old = std::exchange(context->State().*field, origin);
  if (previous != nullptr) *previous = old;
  return TRUE;
}

}  // namespace

Dc::Dc(Target target, HWND window, const QRect* paintClip, DcState initial, bool wholeWindow)
    : target_(target),
      window_(window),
      hasPaintClip_(paintClip != nullptr),
      paintClip_(paintClip != nullptr ? *paintClip : QRect()),
      wholeWindow_(wholeWindow),
      drawing_("a GDI context's drawing state", Drawing{std::move(initial), {}}) {}

int ClampToDevice(long long value) {
  return static_cast<int>(std::clamp(value, -kDeviceLimit, kDeviceLimit));
}

QPoint ToQPoint(DevicePoint point) { return QPoint(ClampToDevice(point.x), ClampToDevice(point.y)); }

int SaturateToInt(long long value) {
  return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

Surface SurfaceOf(HDC handle) {
  Surface s;
  s.dc = ContextOf(handle);
  if (!s.dc) return s;
  const DcState& st = s.dc->State();
  // A client context on a window draws on the client part of the window's image: its origin is
  // the client area's corner and it never reaches the edges.
  QRect client;
  switch (s.dc->target()) {
    case Dc::Target::Window: s.image = platform::win::BackingImage(s.dc->window(), &client); break;
    case Dc::Target::Memory:
    case Dc::Target::Page:
      if (st.bitmap) {
        SettleBitmap(*st.bitmap);
        s.image = &st.bitmap->image;
      }
      break;
    case Dc::Target::Screen: s.image = &GdiRegistry().ScreenImage(); break;
  }
  if (s.image == nullptr) return s;
  const bool clientOnly = s.dc->target() == Dc::Target::Window && !s.dc->wholeWindow();
  const QPoint corner = clientOnly ? client.topLeft() : QPoint();
  s.offsetX = static_cast<long long>(st.viewportOrg.x) - st.windowOrg.x + corner.x();
  s.offsetY = static_cast<long long>(st.viewportOrg.y) - st.windowOrg.y + corner.y();
  s.clip = s.image->rect();
  if (clientOnly) s.clip &= client;
  if (const QRect* paint = s.dc->paintClip()) s.clip &= paint->translated(corner);
  if (st.clipped) s.clip &= st.clip;
  return s;
}

void Changed(const Surface& s) {
  if (!s.dc) return;
  if (s.dc->target() == Dc::Target::Window) {
    platform::win::ImageChanged(s.dc->window());
    return;
  }
  const DcState& st = s.dc->State();
  if (s.dc->target() == Dc::Target::Memory && st.bitmap && st.bitmap->bitsPixel == 1) st.bitmap->monoDirty = true;
}

void SettleBitmap(Object& bitmap) {
  if (bitmap.bitsPixel != 1 || !bitmap.monoDirty) return;
  bitmap.monoDirty = false;
  const int width = bitmap.image.width();
  for (int y = 0; y < bitmap.image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(bitmap.image.scanLine(y));
    for (int x = 0; x < width; ++x) line[x] = 0xFF000000u | NearerBlackOrWhite(line[x] & 0xFFFFFF);
  }
}

HDC CreatePageDc(const DeviceCaps& device, int width, int height, ObjectPtr* page) {
  if (width < 1 || height < 1 || static_cast<long long>(width) * height > 64LL * 1024 * 1024) return nullptr;
  if (!platform::EnsureApplication()) return nullptr;
  auto bitmap = std::make_shared<Object>();
  bitmap->kind = Kind::Bitmap;
  bitmap->image = QImage(width, height, QImage::Format_RGB32);
  if (bitmap->image.isNull()) return nullptr;
  bitmap->image.fill(Qt::white);
  Registry& registry = GdiRegistry();
  DcState state = InitialState(registry);
  state.bitmap = bitmap;
  auto context = std::make_shared<Dc>(Dc::Target::Page, nullptr, nullptr, std::move(state));
  DeviceCaps caps = device;
  caps.set = true;
  context->SetDevice(caps);
  if (page != nullptr) *page = std::move(bitmap);
  return registry.AddContext(std::move(context));
}

bool DeletePageDc(HDC dc) { return GdiRegistry().DeleteContext(dc, Registry::Which::Page); }

QRect DeviceRect(const Surface& s, const RECT& r) {
  DevicePoint a = s.Device(r.left, r.top);
  DevicePoint b = s.Device(r.right, r.bottom);
  if (b.x <= a.x || b.y <= a.y) return QRect();
  return QRect(ToQPoint(a), ToQPoint(DevicePoint{b.x - 1, b.y - 1}));
}

HDC CreateWindowDc(HWND window, const QRect* clip, bool wholeWindow) {
  Registry& registry = GdiRegistry();
  auto target = window == nullptr ? Dc::Target::Screen : Dc::Target::Window;
  if (target == Dc::Target::Screen) registry.RefreshScreenImage();
  return registry.AddContext(std::make_shared<Dc>(target, window, clip, InitialState(registry),
                                                  wholeWindow && window != nullptr));
}

void DeleteWindowDc(HDC handle) { GdiRegistry().DeleteContext(handle, Registry::Which::NotMemory); }

}  // namespace zuvo::platform::gdi

using namespace zuvo::platform::gdi;

HWND WindowFromDC(HDC dc) {
  DcPtr context = ContextOf(dc);
  return context ? context->window() : nullptr;
}

HDC CreateCompatibleDC(HDC dc) {
  if (!zuvo::platform::EnsureApplication()) return nullptr;
  Registry& registry = GdiRegistry();
  DcState state = InitialState(registry);
  state.bitmap = registry.DefaultBitmap();
  auto context = std::make_shared<Dc>(Dc::Target::Memory, nullptr, nullptr, std::move(state));
  // A context made for a printer page draws at the page's resolution.
  if (DcPtr like = ContextOf(dc)) context->SetDevice(like->device());
  return registry.AddContext(std::move(context));
}

BOOL DeleteDC(HDC dc) { return GdiRegistry().DeleteContext(dc, Registry::Which::Any) ? TRUE : FALSE; }

int SaveDC(HDC dc) {
  DcPtr context = ContextOf(dc);
  if (!context) return 0;
  std::vector<DcState>& saved = context->Saved();
  saved.push_back(context->State());
  return static_cast<int>(saved.size());
}

BOOL RestoreDC(HDC dc, int level) {
  DcPtr context = ContextOf(dc);
  if (!context) return FALSE;
  std::vector<DcState>& saved = context->Saved();
  if (saved.empty()) return FALSE;
  int count = static_cast<int>(saved.size());
  int index = level < 0 ? count + level : level - 1;
  if (index < 0 || index >= count) return FALSE;
  context->State() = saved[static_cast<std::size_t>(index)];
  saved.resize(static_cast<std::size_t>(index));
  return TRUE;
}

int SetROP2(HDC dc, int mode) {
  if (mode < R2_BLACK || mode > R2_WHITE) return 0;
  return Exchange(dc, &DcState::rop2, mode, 0);
}
int GetROP2(HDC dc) { return Read(dc, &DcState::rop2, 0); }

COLORREF SetTextColor(HDC dc, COLORREF color) { return Exchange(dc, &DcState::textColor, color & 0xFFFFFF, CLR_INVALID); }
COLORREF GetTextColor(HDC dc) { return Read(dc, &DcState::textColor, CLR_INVALID); }

COLORREF SetBkColor(HDC dc, COLORREF color) { return Exchange(dc, &DcState::bkColor, color & 0xFFFFFF, CLR_INVALID); }
COLORREF GetBkColor(HDC dc) { return Read(dc, &DcState::bkColor, CLR_INVALID); }

int SetBkMode(HDC dc, int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  return Exchange(dc, &DcState::bkMode, mode, 0);
}
int GetBkMode(HDC dc) { return Read(dc, &DcState::bkMode, 0); }

UINT SetTextAlign(HDC dc, UINT align) { return Exchange(dc, &DcState::textAlign, align, GDI_ERROR); }
UINT GetTextAlign(HDC dc) { return Read(dc, &DcState::textAlign, GDI_ERROR); }

BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* previous) {
  return SetOrigin(dc, &DcState::viewportOrg, POINT{x, y}, previous);
}

BOOL GetViewportOrgEx(HDC dc, POINT* origin) {
  DcPtr context = ContextOf(dc);
  if (!context || origin == nullptr) return FALSE;
  *origin = context->State().viewportOrg;
  return TRUE;
}

BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* previous) {
  return SetOrigin(dc, &DcState::windowOrg, POINT{x, y}, previous);
}

BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* previous) {
  DcPtr context = ContextOf(dc);
  if (!context) return FALSE;
  POINT& origin = context->State().viewportOrg;
  if (previous != nullptr) *previous = origin;
  origin.x += dx;
  origin.y += dy;
  return TRUE;
}

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
  Surface s = SurfaceOf(dc);
  if (!s.dc) return ERROR;
  QRect area = DeviceRect(s, RECT{left, top, right, bottom});
  DcState& st = s.dc->State();
  st.clip = st.clipped ? (st.clip & area) : area;
  st.clipped = true;
  return st.clip.isEmpty() ? NULLREGION : SIMPLEREGION;
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
  Surface s = SurfaceOf(dc);
  if (!s.dc || !s.ok()) return ERROR;
  // The clip is kept as one rectangle: an excluded band along one side shrinks it; anything
  // else leaves it as it is.
  QRect cut = DeviceRect(s, RECT{left, top, right, bottom});
  DcState& st = s.dc->State();
  QRect clip = st.clipped ? st.clip : s.image->rect();
  if (cut.top() <= clip.top() && cut.bottom() >= clip.bottom()) {
    if (cut.left() <= clip.left() && cut.right() >= clip.left()) clip.setLeft(cut.right() + 1);
    else if (cut.right() >= clip.right() && cut.left() <= clip.right()) clip.setRight(cut.left() - 1);
  } else if (cut.left() <= clip.left() && cut.right() >= clip.right()) {
    if (cut.top() <= clip.top() && cut.bottom() >= clip.top()) clip.setTop(cut.bottom() + 1);
    else if (cut.bottom() >= clip.bottom() && cut.top() <= clip.bottom()) clip.setBottom(cut.top() - 1);
  }
  st.clip = clip;
  st.clipped = true;
  return clip.isEmpty() ? NULLREGION : SIMPLEREGION;
}

int GetClipBox(HDC dc, RECT* rect) {
  Surface s = SurfaceOf(dc);
  if (!s.ok() || rect == nullptr) return ERROR;
  const QRect& c = s.clip;
  *rect = RECT{SaturateToInt(c.left() - s.offsetX), SaturateToInt(c.top() - s.offsetY),
               SaturateToInt(c.left() + c.width() - s.offsetX), SaturateToInt(c.top() + c.height() - s.offsetY)};
  return c.isEmpty() ? NULLREGION : SIMPLEREGION;
}

int SelectClipRgn(HDC dc, HRGN region) {
  DcPtr context = ContextOf(dc);
  if (!context) return ERROR;
  if (region == nullptr) context->State().clipped = false;
  return SIMPLEREGION;
}
