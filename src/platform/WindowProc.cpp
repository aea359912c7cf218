// A window's default processing, its words and its text and state.
#include "platform/internal/Cursor.h"
#include "platform/internal/ForeignWindows.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"

#include "platform/Kernel.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

using namespace zuvo::platform;

using namespace zuvo::platform::win;

// ---- Default processing -------------------------------------------------------------------

namespace {

void FillSys(HDC dc, LONG left, LONG top, LONG right, LONG bottom, int color) {
  RECT r{left, top, right, bottom};
  FillRect(dc, &r, GetSysColorBrush(color));
}

// One pixel ring along the inside of `r`: top and left in one colour, then bottom and right in
// the other (which take the two corners the sides share); `r` shrinks past it.
void Ring(HDC dc, RECT& r, int topLeft, int bottomRight) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  FillSys(dc, r.left, r.top, r.right, r.top + 1, topLeft);
  FillSys(dc, r.left, r.top, r.left + 1, r.bottom, topLeft);
  FillSys(dc, r.left, r.bottom - 1, r.right, r.bottom, bottomRight);
  FillSys(dc, r.right - 1, r.top, r.right, r.bottom, bottomRight);
  r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
}

// The classic edges of a child window's styles, outermost first (DefaultClientArea measures
// the same layers).
void PaintEdges(HWND window, const Window& w) {
  if ((w.style & WS_CHILD) == 0) return;
  HDC dc = GetWindowDC(window);
  if (dc == nullptr) return;
  RECT r{0, 0, w.width(), w.height()};
  const bool modalFrame = (w.exStyle & WS_EX_DLGMODALFRAME) != 0;
  if (modalFrame) {
    Ring(dc, r, COLOR_3DLIGHT, COLOR_3DDKSHADOW);
    Ring(dc, r, COLOR_3DHIGHLIGHT, COLOR_3DSHADOW);
    Ring(dc, r, COLOR_3DFACE, COLOR_3DFACE);
  } else {
    if ((w.exStyle & WS_EX_STATICEDGE) != 0) Ring(dc, r, COLOR_3DSHADOW, COLOR_3DHIGHLIGHT);
    if ((w.style & WS_BORDER) != 0) Ring(dc, r, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME);
  }
  if ((w.exStyle & WS_EX_CLIENTEDGE) != 0) {
    Ring(dc, r, COLOR_3DSHADOW, COLOR_3DHIGHLIGHT);
    Ring(dc, r, COLOR_3DDKSHADOW, COLOR_3DLIGHT);
  }
  ReleaseDC(window, dc);
}

// Where a screen point lies on the window: its client area, its edge, or neither.
LRESULT HitTest(const Window& w, LPARAM lParam) {
  const QPoint point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
  const QPoint client = ClientOrigin(w);
  if (QRect(client.x(), client.y(), w.clientWidth(), w.clientHeight()).contains(point)) return HTCLIENT;
  const QPoint corner = WindowOrigin(w);
  if (QRect(corner.x(), corner.y(), w.width(), w.height()).contains(point)) return kHitBorder;
  return HTNOWHERE;
}

}  // namespace

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowPtr w = Find(window);
  if (!w) return 0;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_NCCALCSIZE:
      // lParam is the window rectangle (the first rectangle of the TRUE form), answered with the
      // client rectangle.
      if (lParam != 0) {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        *rect = DefaultClientArea(*w, *rect);
      }
      return 0;
    case WM_NCHITTEST:
      return HitTest(*w, lParam);
    case WM_NCPAINT:
      PaintEdges(window, *w);
      return 0;
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(static_cast<DWORD_PTR>(lParam)) != 0) InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(w->font);
    case WM_MOUSEACTIVATE:
      // A child lets its parent decide; the top-level window (or a parent without an answer)
      // activates unless it was made never to be activated.
      if ((w->style & WS_CHILD) != 0 && w->parent != nullptr) {
        if (LRESULT answer = SendMessageA(w->parent, message, wParam, lParam); answer != 0) return answer;
      }
      return (w->exStyle & WS_EX_NOACTIVATE) != 0 ? MA_NOACTIVATE : MA_ACTIVATE;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE: ShowWindow(window, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(window, SW_MAXIMIZE); break;
        case SC_RESTORE: ShowWindow(window, SW_RESTORE); break;
        case SC_CLOSE: SendMessageA(window, WM_CLOSE, 0, 0); break;
        default: break;
      }
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (BeginPaint(window, &ps) != nullptr) EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush = w->windowClass->info.hbrBackground;
      COLORREF color;
      if (brush == nullptr || !zuvo::platform::gdi::BrushColor(brush, &color)) return 0;
      RECT client{0, 0, w->clientWidth(), w->clientHeight()};
      FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
      return 1;
    }
    case WM_SETTEXT:
      w->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      if (w->widget != nullptr && w->widget->isWindow()) {
        w->widget->setWindowTitle(QString::fromStdU16String(gbk::ToUtf16(w->text)));
      }
      return TRUE;
    case WM_GETTEXT: {
      if (wParam == 0 || lParam == 0) return 0;
      auto* buffer = reinterpret_cast<char*>(lParam);
      std::size_t n = std::min<std::size_t>(w->text.size(), wParam - 1);
      std::memcpy(buffer, w->text.data(), n);
      buffer[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (pos == nullptr) return 0;
      // WM_MOVE and WM_SIZE tell of the client area: its position in the parent's client
      // coordinates (or on the screen) and its size.
      if ((pos->flags & kSwpNoClientMove) == 0) {
        CallProc(window, WM_MOVE, 0,
                 MAKELPARAM(static_cast<WORD>(w->rect.left + w->clientArea.left),
                            static_cast<WORD>(w->rect.top + w->clientArea.top)));
      }
      if ((pos->flags & kSwpNoClientSize) == 0) {
        WPARAM kind = (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                      : (w->style & WS_MINIMIZE) ? SIZE_MINIMIZED : SIZE_RESTORED;
        CallProc(window, WM_SIZE, kind,
                 MAKELPARAM(static_cast<WORD>(w->clientWidth()), static_cast<WORD>(w->clientHeight())));
      }
      return 0;
    }
    case WM_SETCURSOR: {
      // The parent decides first; a non-zero answer ends it.
      const HCURSOR classCursor = w->windowClass->info.hCursor;
      w.reset();
      if (LRESULT answer = zuvo::platform::cursor::AskParent(window, wParam, lParam); answer != 0) return answer;
      // A descendant's question was only passed up: its own default shows its cursor.
      if (reinterpret_cast<HWND>(wParam) != window) return FALSE;
      if (static_cast<short>(LOWORD(static_cast<DWORD_PTR>(lParam))) == HTCLIENT) {
        if (classCursor == nullptr) return FALSE;
        SetCursor(classCursor);
        return TRUE;
      }
      // Outside the client area: the edges and nowhere show the arrow.
      SetCursor(LoadCursorA(nullptr, IDC_ARROW));
      return TRUE;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && (FocusWindow() == nullptr || RootOf(FocusWindow()) != window)) {
        SetFocus(window);
      }
      return 0;
    case WM_MOUSEWHEEL:
      if ((w->style & WS_CHILD) != 0 && w->parent != nullptr) {
        return SendMessageA(w->parent, message, wParam, lParam);
      }
      return 0;
    default:
      return 0;
  }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc == nullptr ? 0 : proc(window, message, wParam, lParam);
}

// ---- Window words -------------------------------------------------------------------------

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  WindowPtr w = Find(window);
  if (!w) {
    auto foreign = FindForeign(window);
    return foreign ? foreign->Long(window, index) : 0;
  }
  switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->windowClass->info.hInstance);
    case GWL_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->owner);
    case GWL_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    case GWL_USERDATA: return w->userData;
    default: break;
  }
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extraBytes.size()) {
    // Windows allows 4-byte words at the end of the extra bytes.
    if (index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG) <= w->extraBytes.size()) {
      LONG v;
      std::memcpy(&v, w->extraBytes.data() + index, sizeof v);
      return v;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  LONG_PTR v;
  std::memcpy(&v, w->extraBytes.data() + index, sizeof v);
  return v;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  WindowPtr w = Find(window);
  if (!w) return 0;
  LONG_PTR old = GetWindowLongPtrA(window, index);
  switch (index) {
    case GWL_WNDPROC:
      if (value != 0) w->proc = reinterpret_cast<WNDPROC>(value);
      return old;
    case GWL_HWNDPARENT: w->owner = reinterpret_cast<HWND>(value); return old;
    case GWL_ID: w->id = value; return old;
    case GWL_STYLE: w->style = static_cast<DWORD>(value); return old;
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); return old;
    case GWL_USERDATA: w->userData = value; return old;
    case GWL_HINSTANCE: return old;
    default: break;
  }
  if (index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG_PTR) <= w->extraBytes.size()) {
    std::memcpy(w->extraBytes.data() + index, &value, sizeof value);
  } else if (index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG) <= w->extraBytes.size()) {
    LONG v = static_cast<LONG>(value);
    std::memcpy(w->extraBytes.data() + index, &v, sizeof v);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return old;
}

int GetDlgCtrlID(HWND window) {
  WindowPtr w = Find(window);
  return w && (w->style & WS_CHILD) != 0 ? static_cast<int>(w->id) : 0;
}

HWND GetDlgItem(HWND dialog, int id) {
  WindowPtr d = Find(dialog);
  if (!d) {
    auto foreign = FindForeign(dialog);
    return foreign ? foreign->DialogItem(dialog, id) : nullptr;
  }
  for (HWND child : d->children()) {
    if (WindowPtr c = Find(child); c && c->id == id) return child;
  }
  return nullptr;
}

// ---- Text and state -----------------------------------------------------------------------

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  if (!Find(window)) return FALSE;
  return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text != nullptr ? text : "")) ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  if (!Find(window)) {
    auto foreign = FindForeign(window);
    std::optional<std::string> text = foreign ? foreign->Text(window) : std::nullopt;
    if (!text) return 0;
    const int n = std::min<int>(static_cast<int>(text->size()), size - 1);
    std::memcpy(buffer, text->data(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
  }
  return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND window) {
  if (!Find(window)) {
    auto foreign = FindForeign(window);
    std::optional<std::string> text = foreign ? foreign->Text(window) : std::nullopt;
    return text ? static_cast<int>(text->size()) : 0;
  }
  return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL EnableWindow(HWND window, BOOL enable) {
  return OnUi([&]() -> BOOL {
    WindowPtr w = Find(window);
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0 ? TRUE : FALSE;
    if (enable && wasDisabled) {
      w->style &= ~WS_DISABLED;
      CallProc(window, WM_ENABLE, TRUE, 0);
    } else if (!enable && !wasDisabled) {
      w->style |= WS_DISABLED;
      if (FocusWindow() != nullptr && IsInSubtree(FocusWindow(), window)) SetFocus(nullptr);
      if (CaptureWindow() == window) ReleaseCapture();
      CallProc(window, WM_ENABLE, FALSE, 0);
    }
    return wasDisabled;
  });
}

BOOL IsWindowVisible(HWND window) {
  WindowPtr w = Find(window);
  if (!w) {
    auto foreign = FindForeign(window);
    return foreign && foreign->IsVisible(window) ? TRUE : FALSE;
  }
  return IsVisibleChain(*w) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
  WindowPtr w = Find(window);
  return w && (w->style & WS_DISABLED) == 0 ? TRUE : FALSE;
}

