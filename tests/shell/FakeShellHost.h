// A main window for tests: every request does nothing and every right is granted. Tests derive
// from it and override what they record.
#pragma once

#include "shell/ShellHost.h"

namespace shelltest {

class FakeShellHost : public IShellHost {
 public:
  HWND MainWindowHandle() override { return nullptr; }
  void SetInfoButtonVisible(bool) override {}
  void SetLineToolVisible(bool) override {}
  void SetBlockMenuVisible(bool) override {}
  void SetLineToolMenuItemVisible(bool) override {}
  void ShowLineToolBox(bool) override {}
  void SetCycleButtonsVisible(bool) override {}
  void SetToolGroupVisible(int, bool) override {}
  void RelayoutMenuBar() override {}
  void CheckPeriodItems(TMultiViewChild*) override {}
  bool HasMarketRight(int, int) override { return true; }
  void NotifyViews(int, STKPTR, int, std::intptr_t) override {}
  void PostResubscribe() override {}
};

}  // namespace shelltest
