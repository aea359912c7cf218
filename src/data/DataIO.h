// The market loader: TDataIO builds every market table at login (online through the request
// client, offline from the data folder), reporting progress to the login dialog, and frees
// them at shutdown (each table saves its quotes). The loader runs on the login worker while the
// user-interface thread waits in the modal login dialog; its messages are sent synchronously
// and its message boxes are marshalled to the user-interface thread by the platform.
#pragma once

#include "data/MarketData.h"
#include "platform/WinBase.h"

#include <atomic>

// How the loader reaches the login dialog and the user: a blocking send to a window and an
// error box (no owner, error icon, top-most). The default goes to the platform's SendMessageA
// and MessageBoxA; tests install a recording double.
class ILoadNotifier {
 public:
  virtual ~ILoadNotifier() = default;
  // Sends `message` to `window` and returns once it was handled. Never called with no window.
  virtual void Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // Shows a GBK error text with its caption and waits until the user closed it.
  virtual void ShowError(const char* text, const char* caption) = 0;
};
// The platform-backed notifier (process-wide object, never null).
ILoadNotifier* PlatformLoadNotifier();

// The texts the loader shows (GBK), all with caption kLoadErrorCaption.
extern const char* const kOutOfMemoryText;       // "内存不足，初始化失败。  "
extern const char* const kDownloadFailedText;    // "网络故障，下载市场信息失败。  "
extern const char* const kNoMarketFilesText;     // "市场信息不存在，不能脱机浏览。请连接服务器查看。  "
extern const char* const kLoadErrorCaption;      // "错误"

// The records of ..\cfg\mkinfo.cfg as last read, validated (SanitizeMarketRecord), and their
// number (at most 48; surplus records are ignored).
extern MarketRecord MarketConfigRecords[kMaxMarkets];
extern int MarketConfigCount;

class TDataIO {
 public:
  // Clears MarketTables and MarketCount, then LoadMarkets(delete old, notifyWindow). `status`
  // is 0 after a successful load and -1 after a failed one. A null notifier means
  // PlatformLoadNotifier().
  explicit TDataIO(HWND notifyWindow, ILoadNotifier* notifier = nullptr);
  // Deletes every table (each writes its quotes) and empties the slots; MarketCount becomes 0.
  ~TDataIO();
  TDataIO(const TDataIO&) = delete;
  TDataIO& operator=(const TDataIO&) = delete;

  int status = 0;
};

// Deletes every table in MarketTables (each saves its quotes), empties the slots, MarketCount 0.
void DeleteMarketTables();

// Reads ..\cfg\mkinfo.cfg into MarketConfigRecords (size / 1590 records, at most 48, each
// validated) and sets MarketConfigCount. Returns 0 when the file does not open (count 0),
// else 1. MarketCount is not touched: it counts the tables actually loaded.
int ReadMarketConfig();

// Set by the login dialog when the user cancels or closes it while the loader runs on the login
// worker: the load ends before its next market as a failed load (return 0, no message). The
// dialog clears it before it starts the worker. Any thread.
extern std::atomic<bool> MarketLoadStopRequested;

// The whole load: deletes the old tables when asked, loads the time-zone table, reads
// mkinfo.cfg (returns 0 at once, with no message, when it does not open), then per market
// builds the table, sends MsgLoginSyncMarket (market count, i) and loads its files. A table
// that cannot be built or whose arrays are missing (status 3001) shows kOutOfMemoryText; a
// failed name load shows its own text; either way MsgLoginError (0, 0) is sent, the failed
// table is deleted and 0 returned. The tables loaded before the failure stay, and MarketCount
// always equals the number of tables in place. Sends MsgLoginDone (0, 0) and returns 1 on
// success. Messages go only to a non-null window.
int LoadMarkets(bool deleteOld, HWND notifyWindow, ILoadNotifier* notifier = nullptr);

// Names and quotes of one market. With loadNames: online (RequestClient() set) through
// DownloadMarketNames, whose failure has the owner drop the request client and shows
// kDownloadFailedText; offline from nametbl.<ext>, whose absence shows kNoMarketFilesText.
// Then reads min(size / 124, count) quotes from real.<ext> (none: quotes zero), zeroes the last
// trade prices and the extras. 1 on success, 0 on failure (message shown).
int LoadMarketFiles(TMarketData* table, bool loadNames, ILoadNotifier* notifier = nullptr);
// RequestClient()->DownloadNameTable for the table's market, then FinishNameTable. 1 on
// success, 0 on failure (or without a client).
int DownloadMarketNames(TMarketData* table);
// Reads nametbl.<ext> (min(capacity, size / 32) records; a missing file leaves the table
// empty) and, for market number 3, count alternative codes from nametble.<ext> when it opens;
// then FinishNameTable.
void LoadNameTable(TMarketData* table);
