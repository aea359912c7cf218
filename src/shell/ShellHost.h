// What cells and views ask of the main window, as a narrow interface: the main window (a later
// unit) implements it; tests install a recording host. Null until one is set: callers then do
// nothing (cells work in a bare page without a main window).
#pragma once

#include "data/Records.h"
#include "platform/WinBase.h"

#include <cstdint>

class TMultiViewChild;

class IShellHost {
 public:
  virtual ~IShellHost() = default;

  // The main window's handle (target of MsgResubscribe and the views' messages); may be null.
  virtual HWND MainWindowHandle() = 0;

  // Adapting the main window to the kind of the newly active view (cell activation).
  virtual void SetInfoButtonVisible(bool visible) = 0;        // "信息窗口" tool button
  virtual void SetLineToolVisible(bool visible) = 0;          // line-tool button, "分析" menu
  virtual void SetBlockMenuVisible(bool visible) = 0;         // "板块" menu
  virtual void SetLineToolMenuItemVisible(bool visible) = 0;  // "画线工具      Alt+F12" item
  virtual void ShowLineToolBox(bool forKLine) = 0;            // hidden, or shown when LineBtn is down
  virtual void SetCycleButtonsVisible(bool visible) = 0;      // the 14 cycle tool buttons
  virtual void SetToolGroupVisible(int group, bool visible) = 0;
  virtual void RelayoutMenuBar() = 0;                         // after the menus were switched
  virtual void CheckPeriodItems(TMultiViewChild* klineView) = 0;

  // Rights of the logged-in user.
  virtual bool HasMarketRight(int market, int category) = 0;
  // A view notification to every initialised view of the page (NotifyViews).
  virtual void NotifyViews(int code, STKPTR instrument, int arg, std::intptr_t extra) = 0;
  // Posts MsgResubscribe to the main window.
  virtual void PostResubscribe() = 0;
};

IShellHost* ShellHost();
// Installs the host (not owned); returns the previous one.
IShellHost* SetShellHost(IShellHost* host);
