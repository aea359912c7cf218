// Platform-internal: windows that are not ours. Another program of ours (reached through the
// message channel) or the desktop (other programs' windows, a fake one in tests) lends us
// handles for its windows; the window calls route a handle they do not know to the source that
// lent it and keep their own behaviour for ours. Foreign handles come from the window
// registry's id space (WindowRegistry::NewHandle), so they never collide with ours and are never
// reused. Any thread; a source answers under its own lock.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/WinUser.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zuvo::platform::win {

// One lender of foreign handles. Every call names a handle the source lent (Owns is true);
// a call a source cannot answer returns the empty/false answer of a dead window.
class ForeignWindowSource {
 public:
  virtual ~ForeignWindowSource() = default;

  // The handle is one this source lent (alive or not).
  virtual bool Owns(HWND window) const = 0;
  virtual bool IsWindow(HWND window) = 0;
  // The process and thread that own the window; 0 when dead.
  virtual DWORD ThreadProcessId(HWND window, DWORD* processId) = 0;
  virtual BOOL Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // A sent message (WM_COPYDATA, WM_GETTEXT...): blocks until the owner answered or gave up.
  virtual LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

  // Window queries of the desktop; a source without them keeps the defaults.
  virtual bool IsVisible(HWND) { return false; }
  virtual std::optional<std::string> Text(HWND) { return std::nullopt; }   // GBK
  virtual std::optional<std::string> ClassName(HWND) { return std::nullopt; }
  virtual bool Rect(HWND, RECT*) { return false; }   // screen coordinates
  virtual LONG_PTR Long(HWND, int /*index*/) { return 0; }   // GWL_STYLE, GWL_EXSTYLE, GWL_ID
  virtual HWND Parent(HWND) { return nullptr; }
  virtual HWND Relative(HWND, UINT /*GW_ relation*/) { return nullptr; }
  virtual HWND DialogItem(HWND, int /*id*/) { return nullptr; }
  virtual BOOL Show(HWND, int /*SW_ command*/) { return FALSE; }
  virtual BOOL BringToTop(HWND) { return FALSE; }
  // The source's top-level windows in z-order, top first (EnumWindows lists ours first).
  virtual std::vector<HWND> TopLevelWindows() { return {}; }
};

// Adds or removes a source. A source stays registered while any call may reach it.
void AddForeignSource(std::shared_ptr<ForeignWindowSource> source);
void RemoveForeignSource(const std::shared_ptr<ForeignWindowSource>& source);
// The source that lent the handle, or null (ours, or unknown).
std::shared_ptr<ForeignWindowSource> FindForeign(HWND window);
// Every registered source, in the order added.
std::vector<std::shared_ptr<ForeignWindowSource>> ForeignSources();

}  // namespace zuvo::platform::win
