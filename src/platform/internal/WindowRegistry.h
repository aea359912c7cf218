// Platform-internal: the one object behind the window unit's global state: the live windows,
// the window classes, and the focus, activation, capture, mouse and cursor handles. The fields
// say who may touch them: the window and class tables are reached only under their locks (any
// thread); the focus, activation and capture handles are changed on the UI thread only (checked)
// and read from any thread; the window under the mouse belongs to the UI thread (checked).
#pragma once

#include "platform/internal/Guard.h"

#include "platform/internal/Ownership.h"
#include "platform/internal/Window.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace zuvo::platform::win {

class WindowRegistry {
 public:
  // The process's registry: a deliberately leaked function-local static, so that a window
  // destroyed from another static's destructor still finds it.
  static WindowRegistry& Get();

  // ---- Windows (any thread). Handles are never reused, so a stale handle can never reach a
  // newer window.
  HWND NewHandle();
  void Add(const WindowPtr& window);
  void Remove(HWND window);
  WindowPtr Find(HWND window) const;
  std::vector<WindowPtr> All() const;

  // ---- Classes (any thread), by name or atom (WindowClass::Matches).
  std::shared_ptr<WindowClass> FindClass(LPCSTR nameOrAtom) const;
  // Gives the class its atom and returns it; 0 when a class of that name exists already.
  WORD AddClass(const std::shared_ptr<WindowClass>& windowClass);
  void RemoveClass(const std::shared_ptr<WindowClass>& windowClass);

  // ---- Focus, activation, capture: set on the UI thread, read anywhere.
  HWND focus() const { return focus_.load(); }
  HWND active() const { return active_.load(); }
  HWND capture() const { return capture_.load(); }
  void SetFocusHandle(HWND window);
  void SetActiveHandle(HWND window);
  void SetCaptureHandle(HWND window);
  // The window under the mouse (UI thread).
  HWND& mouse() { return mouse_.Get(); }
  // Forgets a destroyed window in every handle. UI thread.
  void Forget(HWND window);

  // ---- Cursor: a handle and ShowCursor's counter, any thread.
  std::atomic<HCURSOR> cursor{nullptr};
  std::atomic<int> cursorShowCount{0};

 private:
  WindowRegistry() = default;

  struct Windows {
    std::map<std::uintptr_t, WindowPtr> byHandle;   // ordered by handle = creation order
    std::uintptr_t nextHandle = 0x10000;
  };
  struct Classes {
    std::vector<std::shared_ptr<WindowClass>> list;
    WORD nextAtom = 0xC000;
  };
  mutable Guarded<Windows> windows_;
  mutable Guarded<Classes> classes_;
  std::atomic<HWND> focus_{nullptr};
  std::atomic<HWND> active_{nullptr};
  std::atomic<HWND> capture_{nullptr};
  UiThreadOwned<HWND> mouse_{"the window under the mouse", nullptr};
};

}  // namespace zuvo::platform::win
