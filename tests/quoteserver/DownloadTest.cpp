// The downloads of the login: the version, the market description and time-zone files (up to
// date or outdated), the name tables and market 3's alternative codes.
#include "quoteserver/ServerFixture.h"

#include "InstallTree.h"
#include "data/Records.h"
#include "support/TempInstall.h"

#include <cstring>

namespace quoteservertest {
namespace {

using testsupport::ReadBytes;

class DownloadTest : public ServerTest {};

TEST_F(DownloadTest, VersionReplyCarriesTheConfiguredNumber) {
  auto config = SampleConfig();
  config.version = 1234;
  StartServer(config);
  const Reply reply = Ask(202, std::string(4, '\0'));
  ASSERT_EQ(reply.type, 202);
  ASSERT_EQ(reply.frames[0].body.size(), 4u);
  EXPECT_EQ(Get32(reply.frames[0].body, 0), 1234u);
}

TEST_F(DownloadTest, ConfigFilesComeWholeWhenOutdatedAndAsTheHeadAloneWhenCurrent) {
  StartServer();
  struct Case {
    const char* name;
    const char* file;
  };
  const Case cases[] = {{"MKINFO.CFG", "mkinfo.cfg"}, {"SYSTIME.DAT", "systime.dat"}, {"systime.dat", "systime.dat"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = ReadBytes(SampleRoot() / "cfg" / c.file);
    const std::uint32_t date = zuvo::quoteserver::FileDate(SampleRoot() / "cfg" / c.file);
    const auto size = static_cast<std::uint16_t>(bytes.size());

    // Outdated (no local copy, then a wrong date, then a wrong size): the whole file.
    for (const std::string& body : {ConfigFileBody(c.name, 0, 0), ConfigFileBody(c.name, size, date - 1),
                                    ConfigFileBody(c.name, static_cast<std::uint16_t>(size + 1), date)}) {
      const Reply reply = Ask(206, body);
      ASSERT_EQ(reply.type, 206);
      for (const Frame& frame : reply.frames) {
        ASSERT_GT(frame.body.size(), 38u);
        ASSERT_LE(frame.body.size(), 38u + 8154u);
        EXPECT_EQ(frame.body.substr(0, 32), body.substr(0, 32));
        EXPECT_EQ(Get16(frame.body, 32), size);
        EXPECT_EQ(Get32(frame.body, 34), date);
      }
      EXPECT_EQ(reply.Data(38), bytes);
    }
    // Current: one frame of the 38-byte head alone.
    const Reply current = Ask(206, ConfigFileBody(c.name, size, date));
    ASSERT_EQ(current.type, 206);
    ASSERT_EQ(current.frames.size(), 1u);
    EXPECT_EQ(current.frames[0].body.size(), 38u);
  }
  // systime.dat (24872 bytes) needs several frames.
  EXPECT_GT(Ask(206, ConfigFileBody("SYSTIME.DAT", 0, 0)).frames.size(), 1u);
}

TEST_F(DownloadTest, NameTablesListEveryInstrumentWithItsPosition) {
  StartServer();
  const std::pair<int, const char*> markets[] = {{0, "SH/nametbl.sh"}, {1, "SZ/nametbl.sz"},
                                                 {2, "QH/nametbl.qh"}, {3, "HK/nametbl.hk"}};
  for (const auto& [market, file] : markets) {
    SCOPED_TRACE(file);
    const std::string stored = ReadBytes(SampleRoot() / "data" / file);
    const Reply reply = Ask(6, std::string(1, static_cast<char>(market)));
    ASSERT_EQ(reply.type, 6);
    for (const Frame& frame : reply.frames) {
      ASSERT_GE(frame.body.size(), 1u);
      EXPECT_EQ(frame.body[0], static_cast<char>(market));
      EXPECT_EQ((frame.body.size() - 1) % 32, 0u);
    }
    const std::string data = reply.Data(1);
    ASSERT_EQ(data.size(), stored.size());
    for (std::size_t i = 0; i < data.size() / 32; ++i) {
      InstrumentRecord sent{};
      InstrumentRecord file{};
      std::memcpy(&sent, data.data() + i * 32, 32);
      std::memcpy(&file, stored.data() + i * 32, 32);
      EXPECT_EQ(+sent.index, i);
      EXPECT_EQ(+sent.market, market);
      EXPECT_EQ(+sent.category, +file.category);
      EXPECT_EQ(+sent.priceDivisor, +file.priceDivisor);
      // Codes travel without the file's blank padding.
      std::string code(file.code, strnlen(file.code, sizeof file.code));
      code.erase(code.find_last_not_of(' ') + 1);
      EXPECT_STREQ(sent.code, code.c_str());
    }
  }
}

TEST_F(DownloadTest, AlternativeCodesOfMarket3) {
  StartServer();
  const Reply reply = Ask(34, std::string(1, '\x03'));
  ASSERT_EQ(reply.type, 34);
  const std::string data = reply.Data(1);
  const std::string names = ReadBytes(SampleRoot() / "data" / "HK" / "nametbl.hk");
  const std::string alternatives = ReadBytes(SampleRoot() / "data" / "HK" / "nametble.hk");
  ASSERT_EQ(data.size(), names.size() / 32 * 14);
  for (std::size_t i = 0; i < data.size() / 14; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::string(data.c_str() + i * 14), std::string(alternatives.c_str() + i * 7));
    std::string code(names.c_str() + i * 32 + 2);
    code.erase(code.find_last_not_of(' ') + 1);
    EXPECT_EQ(std::string(data.c_str() + i * 14 + 7), code);
    EXPECT_EQ(data[i * 14 + 13], '\0');
  }
  // Markets without alternative codes, and unknown markets, are refused quietly.
  for (char market : {'\x00', '\x04', '\x2F'}) {
    const Reply refused = Ask(34, std::string(1, market));
    EXPECT_EQ(refused.type, 2);
    EXPECT_EQ(refused.level(), 0);
  }
  const Reply unknown = Ask(6, std::string(1, '\x09'));
  EXPECT_EQ(unknown.type, 2);
  EXPECT_EQ(unknown.level(), 0);
}

}  // namespace
}  // namespace quoteservertest
