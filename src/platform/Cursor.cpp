// Cursor handles and pictures, the virtual pointer, ClipCursor, hover tracking and the
// default WM_SETCURSOR's parent question.
#include "platform/Cursor.h"

#include "platform/internal/Cursor.h"
#include "platform/internal/Window.h"
#include "platform/internal/WindowRegistry.h"

#include "platform/Application.h"
#include "platform/Gdi.h"
#include "platform/Kernel.h"
#include "platform/Paths.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zuvo::platform::cursor {
namespace {

// One cursor: a Qt shape or a picture with its hot spot. The handle is its address.
struct CursorObject {
  UINT_PTR id = 0;   // the system or library number; 0 for a picture
  Qt::CursorShape shape = Qt::ArrowCursor;
  std::optional<QCursor> picture;
};

struct SystemEntry {
  UINT_PTR id;
  Qt::CursorShape shape;
};
const SystemEntry kSystem[] = {
    {32512, Qt::ArrowCursor},     {32513, Qt::IBeamCursor},     {32514, Qt::WaitCursor},
    {32515, Qt::CrossCursor},     {32516, Qt::UpArrowCursor},   {32642, Qt::SizeFDiagCursor},
    {32643, Qt::SizeBDiagCursor}, {32644, Qt::SizeHorCursor},   {32645, Qt::SizeVerCursor},
    {32646, Qt::SizeAllCursor},   {32648, Qt::ForbiddenCursor}, {32649, Qt::PointingHandCursor},
    // The class library's shapes (LibraryCursorName): drag, no-drop, the split cursors, multi-drag.
    {static_cast<WORD>(-12), Qt::DragMoveCursor},
    {static_cast<WORD>(-13), Qt::ForbiddenCursor},
    {static_cast<WORD>(-14), Qt::SplitHCursor},
    {static_cast<WORD>(-15), Qt::SplitVCursor},
    {static_cast<WORD>(-16), Qt::DragCopyCursor},
};

// The cursors made so far; never freed, so a handle stays valid for the whole run. Deliberately
// leaked: a window destroyed from another static's destructor may still show one.
struct Table {
  std::mutex mutex;
  std::map<UINT_PTR, std::unique_ptr<CursorObject>> system;
  std::map<std::string, std::unique_ptr<CursorObject>> pictures;   // by upper-case name
  std::map<const void*, const CursorObject*> live;
};
Table& TheTable() {
  static Table* table = new Table();
  return *table;
}

const CursorObject* Remember(Table& t, std::unique_ptr<CursorObject>& slot, std::unique_ptr<CursorObject> made) {
  slot = std::move(made);
  t.live[slot.get()] = slot.get();
  return slot.get();
}

const CursorObject* SystemCursor(UINT_PTR id) {
  const SystemEntry* entry = nullptr;
  for (const SystemEntry& e : kSystem) {
    if (e.id == id) entry = &e;
  }
  if (entry == nullptr) return nullptr;
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  auto& slot = t.system[id];
  if (slot) return slot.get();
  auto made = std::make_unique<CursorObject>();
  made->id = id;
  made->shape = entry->shape;
  return Remember(t, slot, std::move(made));
}

// A cursor name of the program: letters, digits and '_' (so no path can be made of it).
std::optional<std::string> UpperName(LPCSTR name) {
  std::string upper;
  for (const char* p = name; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (!std::isalnum(c) && c != '_') return std::nullopt;
    if (upper.size() >= 64) return std::nullopt;
    upper += static_cast<char>(std::toupper(c));
  }
  if (upper.empty()) return std::nullopt;
  return upper;
}

// The hot spot of a picture from its "HotSpot" text, held inside the picture; the top-left
// corner when the text is missing or wrong.
QPoint HotSpot(const QImage& image) {
  const QStringList parts = image.text(QStringLiteral("HotSpot")).split(QLatin1Char(','));
  if (parts.size() != 2) return QPoint(0, 0);
  bool okX = false, okY = false;
  const int x = parts[0].trimmed().toInt(&okX);
  const int y = parts[1].trimmed().toInt(&okY);
  if (!okX || !okY) return QPoint(0, 0);
  return QPoint(std::clamp(x, 0, image.width() - 1), std::clamp(y, 0, image.height() - 1));
}

// A cursor picture larger than this is refused (a cursor is 32 x 32).
constexpr int kMaxCursorSide = 256;

const CursorObject* PictureCursor(LPCSTR name) {
  std::optional<std::string> upper = UpperName(name);
  if (!upper) return nullptr;
  Table& t = TheTable();
  {
    std::lock_guard lock(t.mutex);
    if (auto it = t.pictures.find(*upper); it != t.pictures.end()) return it->second.get();
  }
  // Pictures become Qt cursors, which need the application.
  if (!EnsureApplication()) return nullptr;
  const std::string file = paths::Resolve(paths::InstallRoot() + "/bin/cursors/" + *upper + ".png");
  QImage image;
  if (!image.load(QString::fromStdString(file), "PNG") || image.isNull() || image.width() > kMaxCursorSide ||
      image.height() > kMaxCursorSide) {
    return nullptr;
  }
  const QPoint hot = HotSpot(image);
  auto made = std::make_unique<CursorObject>();
  made->picture = QCursor(QPixmap::fromImage(image), hot.x(), hot.y());
  std::lock_guard lock(t.mutex);
  auto& slot = t.pictures[*upper];
  if (slot) return slot.get();   // another thread loaded it meanwhile
  return Remember(t, slot, std::move(made));
}

// ---- The virtual pointer and the clip rectangle ----------------------------------------------

struct PointerState {
  std::mutex mutex;
  bool known = false;   // read from the windowing system on first use
  POINT at{0, 0};
  std::optional<RECT> clip;
  std::optional<POINT> echo;   // where SetCursorPos moved the real pointer
};
PointerState& ThePointer() {
  static PointerState* state = new PointerState();
  return *state;
}

POINT ClampLocked(const PointerState& s, POINT p) {
  if (!s.clip) return p;
  const RECT& r = *s.clip;
  p.x = std::clamp<LONG>(p.x, r.left, std::max(r.left, r.right - 1));
  p.y = std::clamp<LONG>(p.y, r.top, std::max(r.top, r.bottom - 1));
  return p;
}

void EnsureKnown(PointerState& s) {
  if (s.known) return;
  s.known = true;
  if (IsUiThread() && QGuiApplication::instance() != nullptr) {
    const QPoint real = QCursor::pos();
    s.at = POINT{real.x(), real.y()};
  }
}

// ---- Hover --------------------------------------------------------------------------------------

struct Hover {
  HWND window = nullptr;   // null: not armed
  POINT box{0, 0};         // where the pointer was when the box began
  DWORD time = kHoverDefaultTime;
  DWORD since = 0;         // tick when the box began
  UINT_PTR timer = 0;
};
Hover& TheHover() {
  static Hover* hover = new Hover();
  return *hover;
}

void StopHover() {
  Hover& h = TheHover();
  if (h.timer != 0) KillTimer(nullptr, h.timer);
  h = Hover{};
}

bool InBox(const Hover& h, POINT p) {
  const int half = kHoverBoxSize / 2;
  return p.x >= h.box.x - half && p.x < h.box.x + half && p.y >= h.box.y - half && p.y < h.box.y + half;
}

WPARAM MouseKeyState() {
  WPARAM keys = 0;
  if (GetKeyState(VK_LBUTTON) & 0x8000) keys |= MK_LBUTTON;
  if (GetKeyState(VK_RBUTTON) & 0x8000) keys |= MK_RBUTTON;
  if (GetKeyState(VK_MBUTTON) & 0x8000) keys |= MK_MBUTTON;
  if (GetKeyState(VK_SHIFT) & 0x8000) keys |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) & 0x8000) keys |= MK_CONTROL;
  return keys;
}

void HoverTimer(HWND, UINT, UINT_PTR, DWORD) {
  Hover& h = TheHover();
  if (h.window == nullptr) return;
  if (GetTickCount() - h.since < h.time) return;   // a late tick of a restarted box
  const HWND window = h.window;
  StopHover();
  POINT client = Pointer();
  if (!ScreenToClient(window, &client)) return;
  PostMessageA(window, WM_MOUSEHOVER, MouseKeyState(),
               MAKELPARAM(static_cast<WORD>(static_cast<short>(client.x)), static_cast<WORD>(static_cast<short>(client.y))));
}

void StartBox(POINT at) {
  Hover& h = TheHover();
  h.box = at;
  h.since = GetTickCount();
  h.timer = SetTimer(nullptr, h.timer, h.time, &HoverTimer);
}

}  // namespace

QCursor QtCursorOf(HCURSOR cursor) {
  if (cursor == nullptr) return QCursor(Qt::BlankCursor);
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  auto it = t.live.find(cursor);
  if (it == t.live.end()) return QCursor(Qt::ArrowCursor);
  const CursorObject& c = *it->second;
  return c.picture ? *c.picture : QCursor(c.shape);
}

POINT Pointer() {
  PointerState& s = ThePointer();
  std::lock_guard lock(s.mutex);
  EnsureKnown(s);
  return s.at;
}

POINT Clamp(POINT screen) {
  PointerState& s = ThePointer();
  std::lock_guard lock(s.mutex);
  return ClampLocked(s, screen);
}

void PointerMoved(HWND window, POINT screen, bool isMove) {
  {
    PointerState& s = ThePointer();
    std::lock_guard lock(s.mutex);
    s.known = true;
    s.at = screen;
    if (!isMove) s.echo.reset();
  }
  Hover& h = TheHover();
  if (h.window == nullptr) return;
  if (window != h.window) {
    // Hovering belongs to the window under the pointer (the capture keeps it).
    if (win::CaptureWindow() != h.window) StopHover();
    return;
  }
  if (isMove && !InBox(h, screen)) StartBox(screen);
}

void MouseLeft(HWND window) {
  if (TheHover().window == window && win::CaptureWindow() != window) StopHover();
}

bool TakeMoveEcho(POINT screen) {
  PointerState& s = ThePointer();
  std::lock_guard lock(s.mutex);
  if (!s.echo) return false;
  const bool same = s.echo->x == screen.x && s.echo->y == screen.y;
  s.echo.reset();
  return same;
}

bool TrackHover(HWND window, DWORD hoverTime, bool cancel) {
  if (!win::Find(window)) return false;
  Hover& h = TheHover();
  if (cancel) {
    if (h.window == window) StopHover();
    return true;
  }
  if (h.window != nullptr && h.window != window) StopHover();
  h.window = window;
  h.time = hoverTime == 0 || hoverTime == HOVER_DEFAULT ? kHoverDefaultTime : hoverTime;
  StartBox(Pointer());
  return true;
}

LRESULT AskParent(HWND window, WPARAM wParam, LPARAM lParam) {
  win::WindowPtr w = win::Find(window);
  if (!w || (w->style & WS_CHILD) == 0 || w->parent == nullptr) return 0;
  const HWND parent = w->parent;
  w.reset();
  return SendMessageA(parent, WM_SETCURSOR, wParam, lParam);
}

}  // namespace zuvo::platform::cursor

using namespace zuvo::platform;

namespace zuvo::platform {

bool CanMoveRealPointer() {
  return EnsureApplication() && QGuiApplication::platformName() == QLatin1String("xcb");
}

}  // namespace zuvo::platform

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (name == nullptr) return nullptr;
  const auto id = reinterpret_cast<UINT_PTR>(name);
  const bool isNumber = id < 0x10000;
  const cursor::CursorObject* made = nullptr;
  if (instance == nullptr) {
    if (isNumber) made = cursor::SystemCursor(id);
  } else if (instance == GetModuleHandleA(nullptr) && !isNumber) {
    made = cursor::PictureCursor(name);
  }
  return reinterpret_cast<HCURSOR>(const_cast<cursor::CursorObject*>(made));
}

BOOL GetCursorPos(POINT* point) {
  if (point == nullptr) return FALSE;
  *point = cursor::Pointer();
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  return win::OnUi([&]() -> BOOL {
    const POINT at = cursor::Clamp(POINT{x, y});
    {
      cursor::PointerState& s = cursor::ThePointer();
      std::lock_guard lock(s.mutex);
      s.known = true;
      s.at = at;
      s.echo.reset();
    }
    if (CanMoveRealPointer()) {
      {
        cursor::PointerState& s = cursor::ThePointer();
        std::lock_guard lock(s.mutex);
        s.echo = at;
      }
      QCursor::setPos(at.x, at.y);
    }
    HWND target = win::CaptureWindow();
    if (target == nullptr) target = WindowFromPoint(at);
    if (target != nullptr) input::DeliverMouseAt(target, WM_MOUSEMOVE, at, cursor::MouseKeyState());
    return TRUE;
  });
}

BOOL ClipCursor(const RECT* rect) {
  cursor::PointerState& s = cursor::ThePointer();
  std::lock_guard lock(s.mutex);
  if (rect == nullptr) {
    s.clip.reset();
    return TRUE;
  }
  s.clip = RECT{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
                std::max(rect->left, rect->right), std::max(rect->top, rect->bottom)};
  cursor::EnsureKnown(s);
  s.at = cursor::ClampLocked(s, s.at);
  return TRUE;
}

BOOL GetClipCursor(RECT* rect) {
  if (rect == nullptr) return FALSE;
  cursor::PointerState& s = cursor::ThePointer();
  std::lock_guard lock(s.mutex);
  if (s.clip) {
    *rect = *s.clip;
  } else {
    *rect = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return TRUE;
}
