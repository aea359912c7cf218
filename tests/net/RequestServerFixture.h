// A request client against the local quote server, in-process, the way the program runs it: a
// temporary install tree, the server on its manual clock with a driven ticker, a TNormalClnt
// connected and logged in through its own Connect (one stage, from server.ini), the markets
// loaded online through it, then made asynchronous and installed as the process-wide client
// (NormalClnt and the RequestClientOwner). A MessageRecorder stands in for the main window, so
// the replies go through the real dispatch into the cache files and the tables.
#pragma once

#include "data/UtilData.h"
#include "net/NetTestSupport.h"
#include "net/RequestQueue.h"

#include "MarketModel.h"
#include "data/IRequestClient.h"
#include "data/MarketData.h"
#include "platform/DrivenClock.h"
#include "quoteserver/ServerFixture.h"
#include "support/TempInstall.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nettest {

// Friday 2024-06-28 10:30 in the sample markets' time (02:30 UTC): a trading day, in session.
constexpr std::int64_t kFridayMorning = quoteservertest::kSampleNow - 86400 + 2 * 3600 + 30 * 60;

class RequestServerTest : public quoteservertest::ServerTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the server over the sample tree with its clock at utc (seconds) and a driven ticker;
  // the clock word and the market clocks follow the server's.
  void Start(std::int64_t utc = kFridayMorning);
  // Logs in through TNormalClnt::Connect, downloads the market description and loads every
  // market online, makes the client asynchronous and installs it. `beforeAsync` runs on the
  // still blocking client (a version exchange).
  void Connect(const std::function<void(TNormalClnt*)>& beforeAsync = nullptr);
  // A client logged in through TNormalClnt::Connect (one stage, from the tree's server.ini and
  // the user's SERVER.INI), still blocking and not installed anywhere.
  std::unique_ptr<TNormalClnt> LoginClient();
  // Moves the server's clock, the clock word SystemNow and every market table's clock to utc.
  void SetClock(std::int64_t utc);

  void On(const std::string& fault);
  void Off(const std::string& name);

  // Pumps the socket notifications and the posted messages until done holds, at most `seconds`
  // of real time (the platform's clock is driven and would never run out).
  bool Pump(const std::function<bool()>& done, int seconds = 30);
  // Pumps until no request waits or is in flight.
  bool AwaitIdle();
  // Pumps until the server has received `total` frames of a type on its request port.
  bool AwaitServerReceived(std::uint8_t type, std::uint64_t total);
  // The queue's clock moves on by ms (past the repeat window, to an expiry).
  void Later(std::uint32_t ms) { clock_.Advance(ms); }

  // The market table, an instrument's position (asserted to exist) and its packed STKPTR.
  static TMarketData* Table(int market);
  static int Index(int market, const char* code);
  static LPARAM Packed(int market, int index);
  // The MsgServerData messages of a reply type (type in the high word of wParam), pumped.
  std::vector<MessageRecorder::Message> ServerData(int type);
  // How many request frames of a type the server has received.
  std::uint64_t Received(std::uint8_t type);

  // The sample market model the server answers from (loaded once), and now_ as its `now`.
  static const zuvo::model::MarketModel& Model();
  std::int64_t ServerNow() const { return now_.load(); }

  // The install tree's files: a Windows-form path under it as a POSIX path, and a listing of
  // every regular file under a folder (relative names), for "nothing written elsewhere".
  std::filesystem::path Local(const std::string& windowsPath) const;
  static std::vector<std::string> FilesUnder(const std::filesystem::path& folder);

  testsupport::TempInstall install_;
  zuvo::platform::ScopedDrivenClock clock_;
  MessageRecorder main_;
  std::unique_ptr<RequestClientOwner> owner_;
  TNormalClnt* client_ = nullptr;

 private:
  char savedUserDir_[kUserDirSize] = {};
  std::uint32_t savedNow_ = 0;
  int savedMaxDataRecords_ = 0;
};

// Little helpers on file contents.
std::string FileBytes(const std::filesystem::path& file);
template <class Record>
std::vector<Record> Records(const std::string& bytes, std::size_t skip = 0) {
  std::vector<Record> records(bytes.size() > skip ? (bytes.size() - skip) / sizeof(Record) : 0);
  if (!records.empty()) std::memcpy(records.data(), bytes.data() + skip, records.size() * sizeof(Record));
  return records;
}
template <class Record>
std::string BytesOf(const std::vector<Record>& records) {
  return std::string(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(Record));
}

}  // namespace nettest
