// The market loader: mkinfo.cfg, the per-market name and quote files, the online name-table
// download, and the progress messages to the login dialog.
#include "data/DataIO.h"

#include "core/DataFile.h"
#include "data/IRequestClient.h"
#include "data/Messages.h"
#include "data/TimeZones.h"
#include "platform/Files.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstring>
#include <new>

const char* const kOutOfMemoryText = "内存不足，初始化失败。  ";
const char* const kDownloadFailedText = "网络故障，下载市场信息失败。  ";
const char* const kNoMarketFilesText = "市场信息不存在，不能脱机浏览。请连接服务器查看。  ";
const char* const kLoadErrorCaption = "错误";

MarketRecord MarketConfigRecords[kMaxMarkets] = {};
int MarketConfigCount = 0;

namespace {

constexpr const char* kMarketConfigPath = "..\\cfg\\mkinfo.cfg";

class PlatformNotifier final : public ILoadNotifier {
 public:
  void Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    SendMessageA(window, message, wParam, lParam);
  }
  void ShowError(const char* text, const char* caption) override {
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR | MB_TOPMOST);
  }
};

// Reads the file's first whole records (at most maxRecords of recordSize bytes) into buffer;
// returns the bytes read, or -1 when the file does not open.
long ReadFileStart(char* path, void* buffer, std::uint32_t recordSize, std::uint32_t maxRecords) {
  const int file = OpenDataFile(path, "rb");
  if (file <= 0) return -1;
  const std::uint32_t records = std::min(GetDataFileSize(file) / recordSize, maxRecords);
  const std::uint32_t read = records > 0 ? ReadDataFile(file, buffer, recordSize, records) : 0;
  CloseDataFile(file);
  return static_cast<long>(read);
}

}  // namespace

ILoadNotifier* PlatformLoadNotifier() {
  static PlatformNotifier notifier;
  return &notifier;
}

void DeleteMarketTables() {
  for (TMarketData*& table : MarketTables) {
    delete table;
    table = nullptr;
  }
  MarketCount = 0;
}

int ReadMarketConfig() {
  MarketConfigCount = 0;
  std::memset(MarketConfigRecords, 0, sizeof MarketConfigRecords);
  char path[MAX_PATH];
  std::strcpy(path, kMarketConfigPath);
  // Records beyond 48 are ignored: the tables hold 48 markets.
  const long read = ReadFileStart(path, MarketConfigRecords, sizeof(MarketRecord), kMaxMarkets);
  if (read < 0) return 0;
  MarketConfigCount = static_cast<int>(read / static_cast<long>(sizeof(MarketRecord)));
  for (int i = 0; i < MarketConfigCount; ++i) SanitizeMarketRecord(&MarketConfigRecords[i]);
  return 1;
}

void LoadNameTable(TMarketData* table) {
  if (table == nullptr || table->names == nullptr) return;
  table->count = 0;
  char path[MAX_PATH];
  if (table->MarketFilePath("nametbl", path, sizeof path)) {
    const long read = ReadFileStart(path, table->names, sizeof(InstrumentRecord),
                                    static_cast<std::uint32_t>(table->capacity));
    if (read > 0) table->count = static_cast<int>(read / static_cast<long>(sizeof(InstrumentRecord)));
  }
  if (table->altCodes != nullptr && table->count > 0 &&
      table->MarketFilePath("nametble", path, sizeof path)) {
    // A missing or short file leaves the remaining codes empty.
    ReadFileStart(path, table->altCodes, sizeof(InstrumentExtRecord), static_cast<std::uint32_t>(table->count));
  }
  table->FinishNameTable();
}

int DownloadMarketNames(TMarketData* table) {
  IRequestClient* client = RequestClient();
  if (table == nullptr || client == nullptr) return 0;
  const int result = client->DownloadNameTable(table->market);
  // Whatever arrived (all, or part on a failure) is made consistent before anyone reads it.
  table->FinishNameTable();
  return result >= 0 ? 1 : 0;
}

int LoadMarketFiles(TMarketData* table, bool loadNames, ILoadNotifier* notifier) {
  if (table == nullptr || table->quotes == nullptr) return 0;
  if (notifier == nullptr) notifier = PlatformLoadNotifier();
  char path[MAX_PATH];
  if (loadNames) {
    if (RequestClient() != nullptr) {
      if (!DownloadMarketNames(table)) {
        DropRequestClient();   // offline from here on
        notifier->ShowError(kDownloadFailedText, kLoadErrorCaption);
        return 0;
      }
    } else {
      if (!table->MarketFilePath("nametbl", path, sizeof path) ||
          GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        notifier->ShowError(kNoMarketFilesText, kLoadErrorCaption);
        return 0;
      }
      LoadNameTable(table);
    }
  }

  std::memset(table->quotes, 0, static_cast<std::size_t>(table->capacity) * sizeof(QuoteRecord));
  if (table->count > 0 && table->MarketFilePath("real", path, sizeof path)) {
    // Only the instruments loaded get quotes; a longer file's tail is ignored.
    ReadFileStart(path, table->quotes, sizeof(QuoteRecord), static_cast<std::uint32_t>(table->count));
  }
  table->quotesLoaded = true;
  std::memset(table->lastTrades, 0, static_cast<std::size_t>(table->capacity) * sizeof(LastTradePrices));
  table->ClearAllExtras();
  return 1;
}

std::atomic<bool> MarketLoadStopRequested{false};

int LoadMarkets(bool deleteOld, HWND notifyWindow, ILoadNotifier* notifier) {
  if (notifier == nullptr) notifier = PlatformLoadNotifier();
  auto send = [&](UINT message, WPARAM wParam, LPARAM lParam) {
    if (notifyWindow != nullptr) notifier->Send(notifyWindow, message, wParam, lParam);
  };
  if (deleteOld) DeleteMarketTables();
  LoadTimeZoneTable(&TimeZones);
  if (!ReadMarketConfig()) return 0;

  const int total = MarketConfigCount;
  MarketCount = 0;
  for (int i = 0; i < total; ++i) {
    // A cancelled login: the tables loaded so far stay, as after any failure.
    if (MarketLoadStopRequested.load()) return 0;
    delete MarketTables[i];
    MarketTables[i] = nullptr;
    TMarketData* table = new (std::nothrow) TMarketData(i, MarketConfigRecords[i]);
    if (table == nullptr || table->status == kStatusOutOfMemory) {
      // A table without its arrays cannot hold the market: stop as if it could not be made.
      delete table;
      send(MsgLoginError, 0, 0);
      notifier->ShowError(kOutOfMemoryText, kLoadErrorCaption);
      return 0;
    }
    MarketTables[i] = table;
    MarketCount = i + 1;
    send(MsgLoginSyncMarket, static_cast<WPARAM>(total), static_cast<LPARAM>(i));
    if (!LoadMarketFiles(table, true, notifier)) {
      send(MsgLoginError, 0, 0);
      // The failed market is not loaded: it leaves the tables, so MarketCount stays exact.
      MarketTables[i] = nullptr;
      MarketCount = i;
      delete table;
      return 0;
    }
  }
  // Tables of an earlier load beyond the new market count are no longer reachable.
  for (int i = total; i < kMaxMarkets; ++i) {
    delete MarketTables[i];
    MarketTables[i] = nullptr;
  }
  send(MsgLoginDone, 0, 0);
  return 1;
}

TDataIO::TDataIO(HWND notifyWindow, ILoadNotifier* notifier) {
  DeleteMarketTables();
  status = LoadMarkets(true, notifyWindow, notifier) ? 0 : -1;
}

TDataIO::~TDataIO() { DeleteMarketTables(); }
