#include "core/EWnd.h"

#include <cstring>

const char kEWndClassName[] = "EWnd";

namespace {

constexpr int kMapBuckets = 131;
constexpr int kMapNodesPerBlock = 10;

EMap<void*, EWnd*> handleMap(kMapNodesPerBlock);
EWnd* objectBeingCreated = nullptr;
bool classRegistered = false;

LRESULT SharedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE && objectBeingCreated != nullptr) {
    EWnd* object = objectBeingCreated;
    objectBeingCreated = nullptr;
    handleMap[window] = object;
    EWnd* entered = nullptr;
    // Bound only when the map really holds the handle (it may lack memory).
    if (handleMap.Lookup(window, entered) && entered == object) object->handle = window;
  }
  EWnd* object = nullptr;
  if (!handleMap.Lookup(window, object) || object == nullptr) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (message == WM_SIZE) {
    object->width = LOWORD(static_cast<DWORD_PTR>(lParam));
    object->height = HIWORD(static_cast<DWORD_PTR>(lParam));
  }
  LRESULT result = object->WindowProc(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    handleMap.RemoveKey(window);
    object->handle = nullptr;
    if (object->autoDelete) delete object;
  }
  return result;
}

void RegisterEWndClass() {
  if (classRegistered) return;
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = SharedWindowProc;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = kEWndClassName;
  if (RegisterClassA(&wc) != 0 || GetClassInfoA(nullptr, kEWndClassName, nullptr)) {
    classRegistered = true;
    handleMap.ResizeBuckets(kMapBuckets, false);
  }
}

}  // namespace

EWnd::EWnd() { RegisterEWndClass(); }

EWnd::~EWnd() {
  // Being deleted already: the window's destruction must not delete the object a second time.
  autoDelete = 0;
  Destroy();
}

int EWnd::Create(DWORD exStyle, DWORD style, int x, int y, int width, int height, HWND parent) {
  RegisterEWndClass();
  // Kept and restored so that a window created while another is being created cannot leave a
  // stale pointer behind.
  EWnd* outer = objectBeingCreated;
  objectBeingCreated = this;
  HWND created = CreateWindowExA(exStyle, kEWndClassName, nullptr, style, x, y, width, height, parent,
                                 nullptr, nullptr, nullptr);
  objectBeingCreated = outer;
  // A window that is gone again may have taken an autoDelete object with it: no member may be
  // touched. A window that lives keeps its object alive.
  if (created == nullptr) return 0;
  if (handle == created) return 1;
  // The map had no room for the handle: the window cannot reach its object.
  DestroyWindow(created);
  return 0;
}

LRESULT EWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(handle, message, wParam, lParam);
}

HDC EWnd::GetDC() { return handle != nullptr ? ::GetDC(handle) : nullptr; }

void EWnd::ReleaseDC(HDC dc) {
  if (dc != nullptr) ::ReleaseDC(handle, dc);
}

SIZE EWnd::GetTextExtent(const char* text, HDC dc, HFONT font) {
  SIZE size{0, 0};
  if (text == nullptr) return size;
  bool own = dc == nullptr;
  if (own) dc = GetDC();
  if (dc == nullptr) return size;
  HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
  GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
  if (previous != nullptr) SelectObject(dc, previous);
  if (own) ReleaseDC(dc);
  return size;
}

void EWnd::Repaint() { Redraw(); }

void EWnd::Redraw() {
  if (handle != nullptr) RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void EWnd::Destroy() {
  if (handle != nullptr) DestroyWindow(handle);
}

EWnd* LookupEWnd(HWND window) {
  EWnd* object = nullptr;
  return handleMap.Lookup(window, object) ? object : nullptr;
}

EMap<void*, EWnd*>& EWndHandleMap() { return handleMap; }
