// A main window offscreen for the command and key-hook tests: two hand-made markets with six
// categories each (so the automatic blocks of the quote-list and ranking commands exist), the
// offline start, the default hot keys, recording dialogs, a scripted modal runner, and a page of
// stand-in views built cell by cell.
//
// Markets: 0 "SH" holds 000001 (the first index, category 0), 600000 (category 1), 900901
// (category 2) and 010101 (category 5); 1 "SZ" holds 399001 (category 0) and 000002 (category 1).
// Automatic blocks: 0 SH, 1 SZ, 2..7 the SH categories, 8..13 the SZ categories. The preset
// block "自选" (SH 600000) is the SysBlocks default.
#pragma once

#include "FakeShellClients.h"
#include "LoginScript.h"
#include "ShellSettingsFixture.h"

#include "data/BlockGroup.h"
#include "data/HotKeys.h"
#include "data/MarketData.h"
#include "data/MarketTestUtil.h"
#include "data/NewsIndex.h"
#include "data/UtilData.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Shell.h"
#include "shell/Cell.h"
#include "shell/Commands.h"
#include "shell/MainFrame.h"
#include "shell/ModalDialog.h"
#include "shell/PageList.h"
#include "shell/PageWindow.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/FrameStandIns.h"
#include "shell/stubs/StubViews.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace cmdtest {

using namespace zuvo::platform;

inline const STKPTR kSh000001() { return STKPTR(0, 0, 0); }
inline const STKPTR kSh600000() { return STKPTR(0, 0, 1); }
inline const STKPTR kSz399001() { return STKPTR(1, 0, 0); }

inline std::string Ref(STKPTR stk) { return std::to_string(stk.market) + ":" + std::to_string(stk.index); }

inline void LoadDefaultHotKeys() {
  std::memset(HotKeyTable, 0, sizeof HotKeyTable);
  for (int id = 1; id <= kHotKeyCount; ++id) {
    HotKeyRecord& record = HotKeyTable[id - 1];
    record.commandId = static_cast<std::uint8_t>(id);
    std::snprintf(record.name, sizeof record.name, "%s", HotKeyCommandName(id));
    ParseHotKey(&record, DefaultHotKeyText(id));
  }
}

class CommandFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteMarkets();
    settings.AddBlock("自选", {"SH 600000"});
    settings.BuildBlocks();
    settings.SetSysBlocks("自选");
    runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    shelltest::AnswerLoginOffline(*runner, 1);
    ClearPageList();
    savedCycles = CycleOrderTable;
    frame = NewForm<TMFrame>(nullptr);
    ASSERT_FALSE(frame->CloseForced);
    frame->Timer1->SetEnabled(false);
    frame->Timer2->SetEnabled(false);
    frame->Show();
    ProcessPendingMessages();
    LoadDefaultHotKeys();
    previousDialogs = SetShellDialogs(&dialogs);
    frame->ReplacePageWindow(PAGE_OPEN_EMPTY);
    ProcessPendingMessages();
    page = frame->PageWindow();
    ASSERT_NE(page, nullptr);
  }

  void TearDown() override {
    SetShellDialogs(previousDialogs);
    TComponent::Free(frame);
    ProcessPendingMessages();
    delete Alarm;
    Alarm = nullptr;
    CycleOrderTable = savedCycles;
    ClearPageList();
    NewsIndex.Discard();
  }

  void WriteMarkets() {
    struct Market {
      const char* code;
      std::vector<std::pair<const char*, int>> instruments;
    };
    const std::vector<Market> markets = {
        {"SH", {{"000001", 0}, {"600000", 1}, {"900901", 2}, {"010101", 5}}},
        {"SZ", {{"399001", 0}, {"000002", 1}}}};
    std::string config;
    for (const Market& m : markets) {
      config += markettest::Bytes(markettest::MakeRecord(m.code, 1, 16, 6, "tst"));
      std::vector<InstrumentRecord> names;
      for (const auto& [code, category] : m.instruments) names.push_back(markettest::MakeInstrument(code, category));
      std::vector<QuoteRecord> quotes(names.size());
      testsupport::WriteBytes(settings.install().data() / m.code / "nametbl.tst", markettest::Bytes(names));
      testsupport::WriteBytes(settings.install().data() / m.code / "real.tst", markettest::Bytes(quotes));
    }
    testsupport::WriteBytes(settings.install().cfg() / "mkinfo.cfg", config);
    profile::ClearCache();
  }

  static VIEW_ATTR_12 Attr(ViewKind kind, STKPTR instrument = STKPTR()) {
    VIEW_ATTR_12 attr;
    DefaultViewAttr(kind, &attr);
    if (instrument != STKPTR()) attr.instrument = instrument;
    return attr;
  }

  // The page's first cell takes the first view; later ones are split off the last cell. The
  // newest cell is made the active one.
  TMultiViewChild* AddCell(const std::string& name, const VIEW_ATTR_12& attr) {
    TMultiViewChild* last = page->cells[page->cells.GetSize() - 1];
    TMultiViewChild* cell = named.empty() ? page->ChangeCellView(last->node, &attr, 0)
                                          : page->SplitCell(last->node, &attr, 0.5f, 2);
    page->LayoutPage();
    ProcessPendingMessages();
    named.emplace_back(name, cell);
    return cell;
  }
  TMultiViewChild* Cell(const std::string& name) {
    for (auto& [n, cell] : named)
      if (n == name) return cell;
    return nullptr;
  }
  std::string NameOf(const TMultiViewChild* view) {
    for (auto& [n, cell] : named)
      if (cell == view) return n;
    return view == nullptr ? "none" : "new";
  }
  void Activate(const std::string& name) {
    page->SetActiveCell(Cell(name));
    ProcessPendingMessages();
    Clear();
  }

  static StubRecorder& Log(TMultiViewChild* cell) { return *dynamic_cast<StubRecorder*>(cell); }
  void Clear() {
    for (int i = 0; i < page->cells.GetSize(); ++i) {
      if (auto* log = dynamic_cast<StubRecorder*>(page->cells[i])) {
        log->calls.clear();
        log->notifications.clear();
      }
    }
  }
  // What each named view was asked since the last Clear ("N<code> <market>:<index> <arg>" and
  // the stand-in's call texts); views asked nothing are left out.
  std::map<std::string, std::vector<std::string>> Activity() {
    std::map<std::string, std::vector<std::string>> activity;
    for (auto& [name, cell] : named) {
      if (page->KnownCell(cell) == nullptr) continue;
      std::vector<std::string> lines;
      for (const ViewNotifyRecord& n : Log(cell).notifications)
        lines.push_back("N" + std::to_string(n.code) + " " + Ref(n.instrument) + " " + std::to_string(n.arg));
      for (const std::string& call : Log(cell).calls)
        if (call != "InitView" && call != "ViewApplyColors") lines.push_back(call);
      if (!lines.empty()) activity[name] = lines;
    }
    Clear();
    return activity;
  }

  // The messages of `message` waiting for `window` (taken from the queue).
  static std::vector<MSG> Posted(HWND window, UINT message) {
    std::vector<MSG> found;
    MSG msg;
    while (PeekMessageA(&msg, window, message, message, PM_REMOVE)) found.push_back(msg);
    return found;
  }

  shelltest::ShellSettings settings;
  shelltest::FakeShellClients clients;
  shelltest::RecordingShellDialogs dialogs;
  IShellDialogs* previousDialogs = nullptr;
  ScopedScriptedMessageBoxes boxes;
  ScopedScriptedModalRunner runner;
  ScopedRecordingShell shell;
  ScopedProcessLauncher launcher{[](const ProcessLaunch&) { return LaunchResult{false, ERROR_FILE_NOT_FOUND, 0}; }};
  TMFrame* frame = nullptr;
  TMultiViewMain* page = nullptr;
  std::vector<std::pair<std::string, TMultiViewChild*>> named;
  CycleOrderRecord savedCycles{};
};

}  // namespace cmdtest
