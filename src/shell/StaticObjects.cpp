// The process-wide objects that exist before the entry runs and go after it returns, built and
// destroyed explicitly in one order (no work happens in static constructors).
#include "shell/MainFrame.h"

#include "core/EWnd.h"
#include "data/DataAgent.h"
#include "data/NewsIndex.h"
#include "data/TimeZones.h"
#include "data/UtilData.h"
#include "platform/WinUser.h"
#include "shell/stubs/FrameStandIns.h"

namespace {
bool started = false;
}  // namespace

void StartupStaticObjects(const char* programDir) {
  if (started) return;
  started = true;
  // The settings settle the user directory, which the time-zone choice is read from.
  if (TUtilData::Startup(programDir) == UserDirStatus::NotWritable) {
    const std::string text = UserDirNotWritableText();
    MessageBoxA(nullptr, text.c_str(), "错误", MB_OK | MB_ICONERROR);
  }
  LoadTimeZoneTable(&TimeZones);
  EWndHandleMap();
  (void)NewsIndex;
  GetAgentRegistry();
  CreateIndexManager();
  CreateFormulaPools();
}

void ShutdownStaticObjects() {
  if (!started) return;
  started = false;
  DestroyFormulaPools();
  DestroyIndexManager();
  FreeAllAgents();
  NewsIndex.Save();
  TUtilData::Shutdown();
}
