// The request client as the market data store sees it: the blocking name-table download the
// market loader runs, and the queued request operations the cache readers and data series
// call. The data store declares it here and the network subsystem implements it, so that data
// never depends on net. RequestClient() is the process-wide client, which data code uses
// without owning it (null while offline); RequestClientOwner owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

struct NewsRecord;

class IRequestClient {
 public:
  virtual ~IRequestClient() = default;

  // Blocking download of market `market`'s name table into MarketTables[market] (names and
  // count, and the alternative codes of market number 3), finished with
  // TMarketData::FinishNameTable before nametbl.<ext> (and nametble.<ext> for market number 3)
  // is written through TMarketData::MarketFilePath. Returns the instrument count, or -1 on
  // failure (the records received so far stay in memory, finished too, and no file is written).
  // The loader runs FinishNameTable once more after the call; that is harmless (it changes
  // nothing a second time) and covers a client that does not finish the table itself. Runs on
  // the login worker.
  virtual int DownloadNameTable(int market) = 0;

  // The queued requests. Each decides itself whether the server must be asked (rights, a
  // pending duplicate, the local cache) and returns without queuing otherwise. Nothing fails
  // visibly; replies arrive later as MsgServerData. `requester` is the asking cell's or
  // series' 32-bit id.
  //
  // Bars of chart cycle `cycle` (N its multiplier). `reserved` is 0 from every caller.
  // `older` asks for history before the first bar held instead of bars after the last.
  virtual void RequestHistoryBars(int market, int index, int reserved, int cycle, int n,
                                  int older, std::uint32_t requester) = 0;
  // The day's full tick list (.tik).
  virtual void RequestTicks(int market, int index, std::uint32_t requester) = 0;
  // The day's minute trade details (.TRD).
  virtual void RequestTradeDetails(int market, int index, std::uint32_t requester) = 0;
  // The newest `count` trades (.nnt); callers give 30.
  virtual void RequestRecentTicks(int market, int index, int count, std::uint32_t requester) = 0;
  // One past day's trend (`day` a PackedTime; its time bits are cleared).
  virtual void RequestTrendDay(int market, int index, std::uint32_t day,
                               std::uint32_t requester) = 0;
  // Ex-rights records (.wgt).
  virtual void RequestWeights(int market, int index, std::uint32_t requester) = 0;
  // Broker queue of an instrument (markets of kind 6).
  virtual void RequestBrokerQueue(int market, int index) = 0;
  // News newer (older = false) or older than those held, of a category (0 = all).
  virtual void RequestNews(bool older, int category) = 0;
  // The text of a news item.
  virtual void RequestNewsText(const NewsRecord& news) = 0;
  // Information index n of an instrument; true when queued.
  virtual bool RequestInfoMineIndex(int market, int index, int n, std::uint32_t requester) = 0;
  // A piece of an information text file.
  virtual void RequestInfoMineText(int market, int index, int selector, const char* fileName,
                                   std::uint32_t offset, std::uint32_t length,
                                   std::uint32_t requester) = 0;
  // Notes list n, and one note of a list (16-byte note file name).
  virtual void RequestNotesList(int n) = 0;
  virtual void RequestNote(int listNumber, const char* noteFileName, int noteNumber) = 0;
  // The name table of a market through the queue (not the blocking download).
  virtual void RequestNameTable(int market) = 0;
};

// The process-wide request client, not owned by the caller; null while the program is offline
// (no owner, nothing installed, or the client was dropped). Callers check it at every use: the
// program can go offline between two calls.
IRequestClient* RequestClient();

// The program goes offline: the owner drops its client (RequestClientOwner::Drop). Does nothing
// when no client is in place. The market loader calls it on the login worker when a name-table
// download fails.
void DropRequestClient();

// Owns the process-wide request client. The start-up routine holds the one owner of the process
// for the program's lifetime; the network subsystem installs its client into it when it
// connects, and tests install recording doubles the same way. While a client is installed,
// RequestClient() gives it. Only one owner may exist at a time: a second one aborts the program
// (two owners would each take the other's client for their own). Made, filled and destroyed on
// the user-interface thread; Drop also runs on the login worker while the user-interface
// thread waits in the modal login dialog.
class RequestClientOwner {
 public:
  RequestClientOwner();
  // Drops the client; RequestClient() is null from then on.
  ~RequestClientOwner();
  RequestClientOwner(const RequestClientOwner&) = delete;
  RequestClientOwner& operator=(const RequestClientOwner&) = delete;

  // Takes the client and makes it the process-wide one, dropping the one before. Returns it
  // (null for a null client: the program is offline).
  template <typename Client>
  Client* Install(std::unique_ptr<Client> client) {
    Client* installed = client.get();
    Replace(std::unique_ptr<IRequestClient>(std::move(client)));
    return installed;
  }
  // RequestClient() becomes null first and then the client is destroyed, so nothing its
  // destructor sets off can reach it. The client is always destroyed on the user-interface
  // thread, which owns its socket and windows: a drop from another thread (the login worker)
  // makes RequestClient() null at once and hands the destruction to the user-interface thread,
  // waiting until it is done (the user-interface thread must be handling cross-thread calls, as
  // the modal login dialog does; the worker's error message box needs the same).
  void Drop() { Replace(nullptr); }
  // The client installed; user-interface thread only.
  IRequestClient* client() const { return client_.get(); }

 private:
  void Replace(std::unique_ptr<IRequestClient> client);

  std::unique_ptr<IRequestClient> client_;
};
