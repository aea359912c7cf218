// Fixture of the data series tests: a temporary install tree with the cache-test market (market
// 0 "SH", sessions 09:00-11:30 and 13:00-15:00, instruments 600000, 600001, IF08), its clock on
// Wednesday 2024-03-13, the recording request client, subscriber windows that log every
// MsgAgentData and may run an action inside their handler, and writers of cache files stamped
// with the market's day.
#pragma once

#include "data/AgentLoad.h"
#include "data/CacheTestMarket.h"
#include "data/DataAgent.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "platform/Paths.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace agenttest {

constexpr PackedTime kWednesday = MakePackedTime(2024, 3, 13);

struct Received {
  HWND window;
  WPARAM percent;
  LPARAM series;
};

inline std::vector<Received>& Log() {
  static std::vector<Received> log;
  return log;
}
// Actions run by a window inside its MsgAgentData handler.
inline std::map<HWND, std::function<void(int series)>>& Actions() {
  static std::map<HWND, std::function<void(int)>> actions;
  return actions;
}

inline LRESULT AgentTestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MsgAgentData) {
    Log().push_back({window, wParam, lParam});
    const auto found = Actions().find(window);
    if (found != Actions().end()) {
      const auto action = found->second;   // the action may replace itself
      action(static_cast<int>(lParam));
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

inline HWND MakeWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &AgentTestWindowProc;
    windowClass.lpszClassName = "AgentTestWindow";
    RegisterClassA(&windowClass);
    registered = true;
  }
  return CreateWindowExA(0, "AgentTestWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

// The messages one window received, in order: their percents.
inline std::vector<int> PercentsOf(HWND window) {
  std::vector<int> percents;
  for (const Received& r : Log())
    if (r.window == window) percents.push_back(static_cast<int>(r.percent));
  return percents;
}

class AgentTest : public ::testing::Test {
 protected:
  void SetUp() override { Open(1); }
  void TearDown() override { Close(); }

  void Open(int marketKind) {
    install = std::make_unique<testsupport::TempInstall>();
    market = std::make_unique<cachetest::TestMarket>(marketKind);
    client = std::make_unique<cachetest::RecordingClient>();
    std::memcpy(savedUserDir, UserDir, sizeof UserDir);
    const std::string user = zuvo::platform::paths::ToWindows(install->user().string()) + "\\";
    std::strncpy(UserDir, user.c_str(), sizeof UserDir - 1);
    SetClock(10, 0);
    Log().clear();
    Actions().clear();
    AgentCounters = AgentLoadCounters{};
  }
  void Close() {
    FreeAllAgents();
    for (HWND window : windows) DestroyWindow(window);
    windows.clear();
    Actions().clear();
    client.reset();
    market.reset();
    install.reset();
    std::memcpy(UserDir, savedUserDir, sizeof UserDir);
  }
  // Switches to a market of another kind (2 futures, 6 ...).
  void Reopen(int marketKind) {
    Close();
    Open(marketKind);
  }

  // Market time on the test Wednesday, which is the category's trading date.
  void SetClock(int hour, int minute, PackedTime day = kWednesday, PackedTime tradingDay = kWednesday) {
    market->SetClock(day | static_cast<PackedTime>(hour << 6) | static_cast<PackedTime>(minute), tradingDay);
    market->table->UpdateMinuteIndexes();
  }

  HWND Window() {
    HWND window = MakeWindow();
    windows.push_back(window);
    return window;
  }

  STKPTR Stock(int index = 0) const { return STKPTR(0, 0, static_cast<unsigned short>(index)); }
  QuoteRecord& QuoteOf(int index = 0) { return market->table->quotes[index]; }

  std::filesystem::path CacheFile(const char* folder, const std::string& name) const {
    return cachetest::MarketDir(*install) / folder / name;
  }
  // Writes a cache file stamped 09:30 market time of the test day, so it is not stale.
  template <typename Record>
  void WriteCache(const char* folder, const std::string& name, const std::vector<Record>& records,
                  const std::string& head = {}) {
    const auto file = CacheFile(folder, name);
    testsupport::WriteBytes(file, head + cachetest::Bytes(records));
    cachetest::SetWriteTimeUtc(file, 2024, 3, 13, 1, 30);
  }
  void WriteDetails(const std::vector<TodayMinuteRecord>& minutes, TradeDetailsHeader head = {}) {
    WriteCache("tick", "600000.TRD", minutes, cachetest::Bytes(head));
  }
  void WriteBars(const char* folder, const char* extension, const std::vector<ChartBar>& bars) {
    testsupport::WriteBytes(CacheFile(folder, std::string("600000.") + extension), cachetest::Bytes(bars));
  }

  static const CDataAgent& Agent(int index) { return *GetAgent(index); }
  template <typename Record>
  static std::vector<Record> Records(int index) {
    Record* records = nullptr;
    int count = 0;
    CDataAgent::GetRecords(index, &records, &count);
    return records ? std::vector<Record>(records, records + count) : std::vector<Record>{};
  }

  std::unique_ptr<testsupport::TempInstall> install;
  std::unique_ptr<cachetest::TestMarket> market;
  std::unique_ptr<cachetest::RecordingClient> client;
  std::vector<HWND> windows;
  char savedUserDir[kUserDirSize] = {};
};

inline TradeRecord Trade(PackedTime time, std::uint32_t price, float cumVolume,
                         std::uint8_t direction = kTradeUndetermined, float openInterest = 0) {
  TradeRecord trade{};
  trade.time = time;
  trade.price = price;
  trade.volume = cumVolume;
  trade.openInterest = openInterest;
  trade.direction = direction;
  return trade;
}

inline TodayMinuteRecord Minute(std::uint32_t price, float cumVolume, float cumAmount = 0) {
  TodayMinuteRecord minute{};
  minute.price = minute.open = minute.high = minute.low = price;
  minute.cumVolume = cumVolume;
  minute.cumAmount = cumAmount;
  return minute;
}

// A quote that carries one new trade of `volume` at `price`, the day's volume now `total`.
inline QuoteRecord Pushed(std::uint32_t price, float total, float volume, float amount = 0) {
  QuoteRecord quote{};
  quote.prevClose = 1000;
  quote.open = quote.high = quote.low = quote.last = price;
  quote.volume = total;
  quote.lastVolume = volume;
  quote.amount = amount;
  return quote;
}

}  // namespace agenttest
