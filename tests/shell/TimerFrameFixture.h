// A main window made and shown offscreen for the timer and status-bar tests: a temporary
// install with two markets ("SH" with 000001 and 600000, "SZ" with 399001) that the offline
// login loads, a driven clock so that no timer fires unless the test moves it, recording
// clients (none exist until the test says so), fresh timer state, and pixel reading of the
// status boxes.
#pragma once

#include "FakeShellClients.h"
#include "LoginScript.h"
#include "ShellSettingsFixture.h"

#include "data/MarketData.h"
#include "data/MarketTestUtil.h"
#include "data/NewsIndex.h"
#include "data/UtilData.h"
#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/Panel.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Shell.h"
#include "platform/WinUser.h"
#include "shell/MainFrame.h"
#include "shell/PageList.h"
#include "shell/TimerRules.h"
#include "shell/stubs/FrameStandIns.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <string>
#include <vector>

namespace shelltest {

class TimerFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteMarkets();
    runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    AnswerLoginOffline(*runner, 1);
    ClearPageList();
    zuvo::shell::ProcessTimerState() = zuvo::shell::TimerState{};
    zuvo::shell::ProcessRefreshIntervals() = zuvo::shell::RefreshIntervals{};
    frame = NewForm<TMFrame>(nullptr);
    frame->Show();
    zuvo::platform::ProcessPendingMessages();
  }
  void TearDown() override {
    if (frame != nullptr) TComponent::Free(frame);
    frame = nullptr;
    zuvo::platform::ProcessPendingMessages();
    delete Alarm;
    Alarm = nullptr;
    ClearPageList();
    NewsIndex.Discard();
  }

  // The colours of a status box as its panel shows them, row by row.
  std::vector<std::vector<COLORREF>> BoxPixels(TPaintBox* box) {
    box->Parent()->Repaint();
    zuvo::platform::ProcessPendingMessages();
    return ReadBox(box);
  }
  // The pixels as they stand now (after drawing at once, without a repaint).
  static std::vector<std::vector<COLORREF>> ReadBox(TPaintBox* box) {
    HWND panel = box->Parent()->Handle();
    HDC dc = GetDC(panel);
    std::vector<std::vector<COLORREF>> rows(static_cast<std::size_t>(box->Height()));
    for (int y = 0; y < box->Height(); ++y) {
      auto& row = rows[static_cast<std::size_t>(y)];
      for (int x = 0; x < box->Width(); ++x) row.push_back(GetPixel(dc, box->Left() + x, box->Top() + y));
    }
    ReleaseDC(panel, dc);
    return rows;
  }
  // How many pixels of `color` lie in the columns [left, right).
  static int Count(const std::vector<std::vector<COLORREF>>& rows, COLORREF color, int left = 0,
                   int right = 1 << 20) {
    int n = 0;
    for (const auto& row : rows) {
      const int end = std::min(right, static_cast<int>(row.size()));
      for (int x = left; x < end; ++x) n += row[static_cast<std::size_t>(x)] == color;
    }
    return n;
  }
  // The left- and rightmost column holding `color`, or {-1, -1}.
  static std::pair<int, int> Columns(const std::vector<std::vector<COLORREF>>& rows, COLORREF color) {
    int first = -1, last = -1;
    for (const auto& row : rows) {
      for (int x = 0; x < static_cast<int>(row.size()); ++x) {
        if (row[static_cast<std::size_t>(x)] != color) continue;
        if (first < 0 || x < first) first = x;
        if (x > last) last = x;
      }
    }
    return {first, last};
  }
  // True when every pixel of the box's outline has `color`. With `textOnEdges` (texts that may
  // run over the lines), every pixel of the left line and at least half of each other line.
  static bool Framed(const std::vector<std::vector<COLORREF>>& rows, COLORREF color, bool textOnEdges = false) {
    const std::size_t h = rows.size(), w = rows.empty() ? 0 : rows[0].size();
    if (h < 2 || w < 2) return false;
    std::size_t top = 0, bottom = 0, left = 0, right = 0;
    for (std::size_t x = 0; x < w; ++x) {
      top += rows[0][x] == color;
      bottom += rows[h - 1][x] == color;
    }
    for (std::size_t y = 0; y < h; ++y) {
      left += rows[y][0] == color;
      right += rows[y][w - 1] == color;
    }
    if (left != h) return false;
    if (!textOnEdges) return top == w && bottom == w && right == h;
    return top * 2 >= w && bottom * 2 >= w && right * 2 >= h;
  }

  ShellSettings settings;
  zuvo::platform::ScopedDrivenClock clock;
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  zuvo::platform::ScopedScriptedModalRunner runner;
  zuvo::platform::ScopedRecordingShell shell;
  // Nothing really starts.
  zuvo::platform::ScopedProcessLauncher launcher{[](const zuvo::platform::ProcessLaunch&) {
    return zuvo::platform::LaunchResult{false, ERROR_FILE_NOT_FOUND, 0};
  }};
  FakeShellClients clients;
  TMFrame* frame = nullptr;

 private:
  void WriteMarkets() {
    struct Market {
      const char* code;
      std::vector<std::string> codes;
    };
    const std::vector<Market> markets = {{"SH", {"000001", "600000"}}, {"SZ", {"399001"}}};
    std::string config;
    for (const Market& m : markets) {
      config += markettest::Bytes(markettest::MakeRecord(m.code, 1, 16, 2, "tst"));
      std::vector<InstrumentRecord> names;
      std::vector<QuoteRecord> quotes;
      for (const std::string& c : m.codes) {
        names.push_back(markettest::MakeInstrument(c.c_str()));
        quotes.push_back(QuoteRecord{});
      }
      testsupport::WriteBytes(settings.install().data() / m.code / "nametbl.tst", markettest::Bytes(names));
      testsupport::WriteBytes(settings.install().data() / m.code / "real.tst", markettest::Bytes(quotes));
    }
    testsupport::WriteBytes(settings.install().cfg() / "mkinfo.cfg", config);
    zuvo::platform::profile::ClearCache();
  }
};

}  // namespace shelltest
