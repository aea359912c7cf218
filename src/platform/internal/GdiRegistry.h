// Platform-internal: GDI objects and device contexts as records, and the one registry that hands
// out their handles (GdiRegistry()). Who may touch what is written into the types:
// - the handle tables are Guarded: any thread may make, find and delete objects, and find and
//   delete contexts, always under the tables' lock;
// - a context's drawing state and the screen's scratch image are UiThreadOwned: contexts are
//   drawn with on the UI thread only, and the program stops at the first drawing call from
//   another thread;
// - the stock objects are built once, after the application exists, and never change.
// An object's description never changes once made; a bitmap's pixels are drawn through a
// context, so on the UI thread.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/internal/Ownership.h"

#include "platform/Gdi.h"
#include "platform/WinUser.h"

#include <QFont>
#include <QImage>
#include <QRect>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zuvo::platform::gdi {

enum class Kind { Pen, Brush, Font, Bitmap, Palette };   // palettes: the default one only

struct Object {
  Kind kind = Kind::Pen;
  bool stock = false;   // lives for the whole process; DeleteObject leaves it
  LOGPEN pen{};
  LOGBRUSH brush{};
  LOGFONTA font{};
  // Fonts only: a QFont reads the application's font as it is made, which is not there (or not
  // yet whole) while a worker makes a pen before or during the application's start.
  std::optional<QFont> qfont;
  QImage image;   // bitmaps (kept at 32 bits whatever their depth)
  // Bitmaps: 32, or 1 for a two-colour bitmap, whose pixels are only black and white. Drawing
  // writes colours into `image` and marks it dirty; the next use of it through a context snaps
  // every pixel to the nearer of black and white first (SetPixel snaps its one pixel itself).
  // `monoDirty` is pixel state: UI thread.
  int bitsPixel = 32;
  bool monoDirty = false;
};
using ObjectPtr = std::shared_ptr<Object>;

// What SaveDC saves and RestoreDC brings back.
struct DcState {
  ObjectPtr pen, brush, font, bitmap;
  ObjectPtr palette;   // the default palette unless SelectPalette chose another
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
  UINT textAlign = TA_LEFT | TA_TOP;
  POINT position{0, 0};
  POINT viewportOrg{0, 0};
  POINT windowOrg{0, 0};
  bool clipped = false;
  QRect clip;   // device coordinates, when clipped
};

// What GetDeviceCaps answers for a context. Windows, the screen and memory contexts made from
// them have the screen's (`set` false: 96 dpi and the screen's size, asked when needed); a
// printer page has its printer's, and a memory context made compatible with a context takes
// that context's.
struct DeviceCaps {
  bool set = false;
  int dpiX = 96;
  int dpiY = 96;
  int horzRes = 0;          // printable area in pixels
  int vertRes = 0;
  int physicalWidth = 0;    // the whole sheet in pixels
  int physicalHeight = 0;
  int offsetX = 0;          // the printable area's corner on the sheet
  int offsetY = 0;
};

// A device context: on a window's backing image, on a memory bitmap, or on the screen's scratch
// image. What it draws on is fixed when it is made and may be asked on any thread; its state
// belongs to the UI thread.
class Dc {
 public:
  // Page: a printer page, drawing on its page bitmap as a memory context does, which never
  // selects another bitmap and is deleted by the printer only.
  enum class Target { Window, Memory, Screen, Page };
  // `paintClip` (client coordinates) is BeginPaint's update area; null for none. A window
  // context draws on the window's client area, or on the whole window (edges included) when
  // `wholeWindow`. The state starts with `initial`. Any thread.
  Dc(Target target, HWND window, const QRect* paintClip, DcState initial, bool wholeWindow = false);

  Target target() const { return target_; }
  bool memory() const { return target_ == Target::Memory; }
  HWND window() const { return window_; }
  const QRect* paintClip() const { return hasPaintClip_ ? &paintClip_ : nullptr; }
  bool wholeWindow() const { return wholeWindow_; }
  // Set once before the context is registered; read on any thread after.
  const DeviceCaps& device() const { return device_; }
  void SetDevice(const DeviceCaps& device) { device_ = device; }

  DcState& State() { return drawing_->current; }
  // SaveDC's stack, the oldest first.
  std::vector<DcState>& Saved() { return drawing_->saved; }

 private:
  struct Drawing {
    DcState current;
    std::vector<DcState> saved;
  };
  Target target_;
  HWND window_;
  bool hasPaintClip_;
  QRect paintClip_;
  bool wholeWindow_;
  DeviceCaps device_;
  platform::UiThreadOwned<Drawing> drawing_;
};
using DcPtr = std::shared_ptr<Dc>;

// The handle tables of objects and contexts, and the stock objects.
class Registry {
 public:
  // ---- Objects: any thread.
  // Registers the object under a new handle.
  HGDIOBJ Add(ObjectPtr object);
  // The live object of a handle, or null.
  ObjectPtr Find(HGDIOBJ handle);
  // The handle the object is registered under; null for null or a deleted object.
  HGDIOBJ HandleOf(const ObjectPtr& object);
  // Drops the handle (a stock object stays); false for a dead or unknown handle.
  bool Delete(HGDIOBJ handle);
  // Stock objects by GetStockObject index (null for an index that has none), the shared 1x1
  // bitmap of fresh memory contexts and the brushes of the system colours. Built on first use,
  // which creates the application when there is none.
  ObjectPtr Stock(int index);
  ObjectPtr DefaultBitmap();
  // The brush of (HBRUSH)(COLOR_xxx + 1), for values 1..kSysColorBrushLimit; null otherwise.
  ObjectPtr SysColorBrush(std::uintptr_t value);
  static constexpr std::uintptr_t kSysColorBrushLimit = 0x40;

  // ---- Contexts: made, found and deleted on any thread; drawn with on the UI thread.
  HDC AddContext(DcPtr context);
  DcPtr FindContext(HDC handle);
  // Any: memory, window and screen contexts (DeleteDC); NotMemory: window and screen contexts
  // (ReleaseDC); Page: printer pages only (the printer). A page is never deleted as another kind.
  enum class Which { Any, NotMemory, Page };
  // Drops the context when it is of the kind asked for; false otherwise.
  bool DeleteContext(HDC handle, Which which);
  // What a screen context reads and draws on (GetDC(nullptr)): the screen as it was when the
  // newest screen context was made (platform/Screen.h). Composing the screen costs a copy of
  // every window, so it is done once per context, not once per drawing call. UI thread.
  QImage& ScreenImage();
  void RefreshScreenImage();

 private:
  struct Tables {
    std::map<std::uintptr_t, ObjectPtr> objects;
    std::map<const Object*, std::uintptr_t> handleOf;   // the reverse of `objects`
    std::map<std::uintptr_t, DcPtr> contexts;
    // Objects and contexts draw their handles from one counter and no handle is ever reused,
    // so a context's handle can never also name an object (a program that makes a few pens per
    // paint would otherwise reach the contexts' range within hours).
    std::uintptr_t nextHandle = 0x100000;
  };
  struct StockSet {
    std::map<int, ObjectPtr> byIndex;
    // One for all memory contexts, as on Windows: a context that selects a bitmap and back
    // hands out this handle, and nothing is registered per context.
    ObjectPtr defaultBitmap;
    // Windows erase and fill with these on every paint: built once, never registered.
    std::array<ObjectPtr, kSysColorBrushLimit> sysColorBrushes;
  };
  static std::uintptr_t NextHandle(Tables& tables);
  const StockSet& Stocks();

  platform::Guarded<Tables> tables_;
  std::once_flag stockOnce_;
  StockSet stock_;   // written once under stockOnce_, read-only after
  platform::UiThreadOwned<QImage> screenImage_{"the screen context's image"};
};

// The process's registry. Never destroyed: a worker may still release a handle while the
// process exits, and Qt objects must not be torn down after the application is gone.
Registry& GdiRegistry();

// Object records, not yet registered.
ObjectPtr MakePen(int style, int width, COLORREF color);
ObjectPtr MakeBrush(UINT style, COLORREF color);
ObjectPtr MakeFont(const LOGFONTA& font);

// The brush object of a handle, including the system-colour pseudo-handles; null otherwise.
ObjectPtr BrushObject(HBRUSH brush);

// A printer page: a context of the device's resolution drawing on a white width x height
// bitmap, handed back in `page` (its pixels are what the page shows). Null when a side is below
// 1 or the image cannot be made. UI thread. DeletePageDc drops it (false for anything else).
HDC CreatePageDc(const DeviceCaps& device, int width, int height, ObjectPtr* page);
bool DeletePageDc(HDC dc);

// Snaps a two-colour bitmap's pixels to black and white when drawing left it dirty. UI thread.
void SettleBitmap(Object& bitmap);
// The nearer of black and white to a colour (0xRRGGBB in, 0 or 0xFFFFFF out).
inline std::uint32_t NearerBlackOrWhite(std::uint32_t rgb) {
  const unsigned sum = ((rgb >> 16) & 0xFF) + ((rgb >> 8) & 0xFF) + (rgb & 0xFF);
  return sum * 2 >= 3 * 255 ? 0xFFFFFFu : 0u;
}

}  // namespace zuvo::platform::gdi
