// Request frames: the exact bytes of every kind's frame, the sort codes of the quote columns,
// the records refused (and what a refused sort releases), untrusted fields cut to their fields,
// the send buffer's limits and a socket that would block, the local copies of the market files
// and the password change's credentials.
#include "net/NetTestSupport.h"
#include "net/RequestFrames.h"

#include "core/GuardedAlloc.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

namespace {

using nettest::ScriptedRequest;

std::string Header(std::uint8_t type, std::size_t length) {
  std::string header = {'@', static_cast<char>(type), 1, 0, 0, 0, static_cast<char>(length & 0xFF),
                        static_cast<char>(length >> 8), 0, 0};
  return header;
}

// A body of `length` zero bytes with the given pieces written at their offsets.
struct Piece {
  std::size_t offset;
  std::string bytes;
};
std::string Body(std::size_t length, std::initializer_list<Piece> pieces) {
  std::string body(length, '\0');
  for (const Piece& piece : pieces) body.replace(piece.offset, piece.bytes.size(), piece.bytes);
  return body;
}
std::string Le32(std::uint32_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
          static_cast<char>(value >> 24)};
}
std::string Le16(std::uint32_t value) { return {static_cast<char>(value), static_cast<char>(value >> 8)}; }
std::string Key(int market, int index) { return std::string(1, static_cast<char>(market)) + Le16(index); }

RequestRecord Record(std::uint8_t kind, std::function<void(RequestRecord&)> fill = nullptr) {
  RequestRecord record;
  record.kind = kind;
  if (fill) fill(record);
  return record;
}
void SetCode(RequestRecord& r, const char* code) { std::strncpy(r.code, code, sizeof r.code); }

STKMS* KeyArray(std::initializer_list<STKMS> keys) {
  auto* array = static_cast<STKMS*>(GuardedAlloc(static_cast<std::uint32_t>(sizeof(STKMS) * keys.size())));
  int at = 0;
  for (const STKMS& key : keys) array[at++] = key;
  return array;
}

// A date as the bar and trend requests carry it (PackedTime, time bits clear).
constexpr std::uint32_t kDate = 0x12345800;
const std::string kCode = "600000";
const std::string kCodeField = kCode + std::string(2, '\0');

struct GoldenCase {
  const char* name;
  std::function<RequestRecord()> record;
  std::uint8_t wireCode;
  std::string body;
};

class RequestFramesTest : public testing::Test {
 protected:
  // Builds the record's frame into a fresh client that accepts everything; the bytes sent.
  std::string Sent(RequestRecord record, int* result = nullptr) {
    ScriptedRequest client;
    const int built = BuildRequestFrame(&client, &record);
    if (result != nullptr) *result = built;
    ReleaseRequestData(&record);
    return client.sent;
  }
};

TEST_F(RequestFramesTest, EveryKindHasItsGoldenFrame) {
  static std::uint8_t dataServerBlock[kDataServerBlockBytes];
  for (int i = 0; i < kDataServerBlockBytes; ++i) dataServerBlock[i] = static_cast<std::uint8_t>(i);
  zuvo::net::ScopedCredentialSource credentials([] {
    zuvo::net::RequestCredentials c;
    std::strcpy(c.userName, "trader");
    std::strcpy(c.password, "secret");
    return c;
  });
  std::string dataServerBody = Body(160, {{0, "ann"}, {16, "pw"}, {28, Le16(2)}});
  for (int i = 0; i < 96; ++i) dataServerBody[30 + i] = static_cast<char>(2 + i);
  for (int i = 0; i < 16; ++i) dataServerBody[126 + i] = static_cast<char>(98 + i);
  for (int i = 0; i < 10; ++i) dataServerBody[142 + i] = static_cast<char>(118 + i);

  std::string snapshot = Body(770, {{0, Key(1, 2) + Key(0, 0x1234) + Key(3, 65535)}, {768, Le16(3)}});
  std::string sortNoKeys = Body(775, {{0, "\x0e"}, {1, Le32(1)}, {5, Le16(7)}});
  std::string sortKeys = Body(775, {{0, "\x07"}, {1, Le32(0)}, {5, Le16(2)}, {7, Key(1, 5) + Key(2, 0x0102)}});

  const GoldenCase cases[] = {
      {"name table", [] { return Record(3, [](RequestRecord& r) { r.market = 1; }); }, 6, "\x01"},
      {"wire 7", [] { return Record(4, [](RequestRecord& r) { r.market = 2; }); }, 7, "\x02"},
      {"name table extension", [] { return Record(34, [](RequestRecord& r) { r.market = 3; }); }, 34, "\x03"},
      {"day bars from a date",
       [] { return Record(7, [](RequestRecord& r) { r.param = 8; r.market = 1; SetCode(r, "600000"); r.value1 = kDate; }); },
       12, Body(22, {{0, "\x08\x01"}, {2, kCodeField}, {14, Le32(kDate)}})},
      {"1-minute bars up to a time",
       [] { return Record(6, [](RequestRecord& r) { r.param = 1; r.market = 0; SetCode(r, "000001"); r.value2 = 0x01020304; }); },
       12, Body(22, {{0, "\x01"}, {2, "000001"}, {18, Le32(0x01020304)}})},
      {"company text",
       [] { return Record(8, [](RequestRecord& r) { r.market = 1; SetCode(r, "600000"); r.value1 = 0xA1B2C3D4; }); },
       21, Body(13, {{0, "\x01"}, {1, Le32(0xA1B2C3D4)}, {5, kCodeField}})},
      {"ex-rights", [] { return Record(13, [](RequestRecord& r) { r.market = 2; SetCode(r, "600000"); }); }, 18,
       Body(13, {{0, "\x02"}, {5, kCodeField}})},
      {"news newer than the newest held",
       [] { return Record(9, [](RequestRecord& r) { r.market = 0; r.value2 = 0; r.value1 = 101; }); }, 15,
       Body(10, {{6, Le32(101)}})},
      {"news older than the oldest held (100)",
       [] { return Record(9, [](RequestRecord& r) { r.market = 0; r.value2 = 1; r.value1 = 99; }); }, 15,
       Body(10, {{2, Le32(1)}, {6, Le32(99)}})},
      {"news with none held: newer than 0",
       [] { return Record(9, [](RequestRecord& r) { r.market = 4; }); }, 15, Body(10, {{1, "\x04"}})},
      {"news text",
       [] { return Record(9, [](RequestRecord& r) { r.param = 2; r.market = 3; r.value1 = 12345; }); }, 15,
       Body(6, {{0, "\x02\x03"}, {2, Le32(12345)}})},
      {"trade details",
       [] { return Record(10, [](RequestRecord& r) { r.param = 1; r.market = 1; SetCode(r, "600000"); r.value1 = 77; }); },
       10, Body(14, {{0, "\x01\x01"}, {2, kCodeField}, {10, Le32(77)}})},
      {"ticks", [] { return Record(14, [](RequestRecord& r) { r.market = 1; SetCode(r, "600000"); r.value1 = 9; }); },
       20, Body(14, {{1, "\x01"}, {2, kCodeField}, {10, Le32(9)}})},
      {"newest trades",
       [] { return Record(11, [](RequestRecord& r) { r.market = 1; SetCode(r, "600000"); r.value1 = 30; }); }, 11,
       Body(13, {{0, "\x01"}, {1, kCodeField}, {9, Le32(30)}})},
      {"broker queue", [] { return Record(16, [](RequestRecord& r) { r.market = 5; SetCode(r, "00700"); }); }, 102,
       Body(9, {{0, "\x05"}, {1, "00700"}})},
      {"login, one stage",
       [] {
         return Record(17, [](RequestRecord& r) {
           std::strcpy(r.text, "ann");
           std::strcpy(r.code, "pw");
           r.value1 = 1;
           r.value2 = 2;
         });
       },
       3, Body(64, {{0, "ann"}, {16, "pw"}, {28, Le16(1)}, {60, Le32(2)}})},
      {"login, data server",
       [] {
         return Record(17, [](RequestRecord& r) {
           r.param = kLoginDataServer;
           std::strcpy(r.text, "ann");
           std::strcpy(r.code, "pw");
           r.dataServerBlock = dataServerBlock;
         });
       },
       207, dataServerBody},
      {"version", [] { return Record(21); }, 202, Body(4, {})},
      {"system message", [] { return Record(22); }, 203, Body(4, {})},
      {"real-time message, special record",
       [] { return Record(23, [](RequestRecord& r) { r.value1 = 0xFFFFFFFF; }); }, 204, Le32(0xFFFFFFFF)},
      {"sort without keys: the view's market group",
       [] { return Record(25, [](RequestRecord& r) { r.param = 10; r.value1 = 7; }); }, 101, sortNoKeys},
      {"sort of two keys",
       [] {
         return Record(25, [](RequestRecord& r) {
           r.param = 24;
           r.value1 = 2;
           r.keyArray = KeyArray({{1, 5}, {2, 0x0102}});
         });
       },
       101, sortKeys},
      {"notes list", [] { return Record(26, [](RequestRecord& r) { r.market = 4; }); }, 16, Body(10, {{1, "\x04"}})},
      {"one note",
       [] {
         return Record(27, [](RequestRecord& r) {
           r.market = 2;
           std::strcpy(r.text, "NOTE0001.TXT");
           r.param = 0x0102;
         });
       },
       16, Body(20, {{0, "\x01\x02"}, {2, "NOTE0001.TXT"}, {18, Le16(0x0102)}})},
      {"snapshot of three keys",
       [] {
         return Record(28, [](RequestRecord& r) {
           r.keyList = new EArray<STKMS>();
           r.keyList->Add({1, 2});
           r.keyList->Add({0, 0x1234});
           r.keyList->Add({3, 65535});
         });
       },
       9, snapshot},
      {"password change",
       [] { return Record(29, [](RequestRecord& r) { std::strcpy(r.code, "newpass"); }); }, 30,
       Body(40, {{0, "trader"}, {16, "secret"}, {28, "newpass"}})},
      {"advice",
       [] { return Record(32, [](RequestRecord& r) { r.market = 1; SetCode(r, "600000"); r.value1 = 3; r.value2 = 4; }); },
       33, Body(17, {{0, "\x01"}, {1, kCodeField}, {9, Le32(3)}, {13, Le32(4)}})},
      {"a past day's trend",
       [] { return Record(33, [](RequestRecord& r) { r.market = 1; SetCode(r, "600000"); r.value1 = kDate; }); }, 31,
       Body(14, {{0, "\x01\x01"}, {2, kCodeField}, {10, Le32(kDate)}})},
      {"information index 3 from the records held",
       [] { return Record(35, [](RequestRecord& r) { r.market = 1; SetCode(r, "600000"); r.value1 = 3; r.value2 = 12; }); },
       40, Body(14, {{0, "\x01"}, {1, kCodeField}, {9, "\x03"}, {10, Le32(12)}})},
      {"information index 2 always whole",
       [] { return Record(35, [](RequestRecord& r) { r.market = 1; SetCode(r, "600000"); r.value1 = 2; r.value2 = 12; }); },
       40, Body(14, {{0, "\x01"}, {1, kCodeField}, {9, "\x02"}})},
      {"information text",
       [] {
         return Record(36, [](RequestRecord& r) {
           r.market = 1;
           SetCode(r, "600000");
           r.param = 1;
           std::strcpy(r.text, "F10\\profile");
           r.value1 = 4096;
           r.value2 = 512;
         });
       },
       41, Body(98, {{0, "\x01"}, {1, kCodeField}, {9, "\x01"}, {10, "F10\\profile"}, {90, Le32(4096)}, {94, Le32(512)}})},
  };
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.name);
    int result = 0;
    const std::string sent = Sent(c.record(), &result);
    EXPECT_EQ(sent, Header(c.wireCode, c.body.size()) + c.body);
    EXPECT_EQ(result, static_cast<int>(sent.size()));
  }
}

TEST_F(RequestFramesTest, SortColumnsMapToTheServerCodes) {
  const int mapped[][2] = {{2, 0},   {3, 1},   {4, 2},   {5, 3},   {6, 4},   {7, 5},   {8, 6},
                           {10, 14}, {11, 15}, {12, 13}, {13, 16}, {14, 17}, {15, 19}, {16, 20},
                           {17, 21}, {18, 22}, {19, 23}, {20, 18}, {21, 24}, {22, 25}, {23, 26},
                           {24, 7},  {25, 8},  {26, 9},  {27, 12}, {28, 10}, {29, 11}};
  for (const auto& [column, code] : mapped) {
    SCOPED_TRACE(column);
    EXPECT_EQ(ServerSortCode(column), code);
    const std::string sent = Sent(Record(25, [column](RequestRecord& r) { r.param = column; }));
    ASSERT_EQ(sent.size(), 10u + 775u);
    EXPECT_EQ(static_cast<std::uint8_t>(sent[10]), code);
  }
  for (int column : {-1, 0, 1, 9, 30, 34, 38, 255}) {
    SCOPED_TRACE(column);
    EXPECT_EQ(ServerSortCode(column), -1);
  }
}

TEST_F(RequestFramesTest, RefusedRecordsSendNothing) {
  struct Refusal {
    const char* name;
    std::function<RequestRecord()> record;
  };
  const Refusal refusals[] = {
      {"withdrawn slot (kind 0)", [] { return Record(0); }},
      {"kind 1", [] { return Record(1); }},
      {"kind 5", [] { return Record(5); }},
      {"kind 12", [] { return Record(12); }},
      {"kind 37", [] { return Record(37); }},
      {"kind 255", [] { return Record(255); }},
      {"sort on column 9 without keys", [] { return Record(25, [](RequestRecord& r) { r.param = 9; }); }},
      {"sort on column 34 with keys",
       [] { return Record(25, [](RequestRecord& r) { r.param = 34; r.value1 = 1; r.keyArray = KeyArray({{1, 1}}); }); }},
      {"data-server login without its block",
       [] { return Record(17, [](RequestRecord& r) { r.param = kLoginDataServer; }); }},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    ScriptedRequest client;
    client.sendCount = 3;
    RequestRecord record = refusal.record();
    EXPECT_EQ(BuildRequestFrame(&client, &record), -1);
    EXPECT_EQ(client.sendCount, 3);
    EXPECT_EQ(client.sent, "");
    // A refused sort has released its array (the leak check would report it otherwise).
    EXPECT_EQ(record.keyArray, nullptr);
  }
}

TEST_F(RequestFramesTest, UntrustedFieldsAreCutToTheirFields) {
  // An instrument code filling all 12 bytes: 8 go out.
  std::string sent = Sent(Record(16, [](RequestRecord& r) { std::memset(r.code, 'A', sizeof r.code); }));
  EXPECT_EQ(sent.substr(10), Body(9, {{1, "AAAAAAAA"}}));

  // Texts keep their last byte for the terminator.
  sent = Sent(Record(36, [](RequestRecord& r) { std::memset(r.text, 'T', sizeof r.text); }));
  EXPECT_EQ(sent.substr(10 + 10, 80), std::string(79, 'T') + '\0');
  sent = Sent(Record(27, [](RequestRecord& r) { std::memset(r.text, 'N', sizeof r.text); }));
  EXPECT_EQ(sent.substr(10 + 2, 16), std::string(15, 'N') + '\0');
  EXPECT_EQ(sent.size(), 30u);
  sent = Sent(Record(29, [](RequestRecord& r) { std::memset(r.code, 'P', sizeof r.code); }));
  EXPECT_EQ(sent.substr(10 + 28, 12), std::string(11, 'P') + '\0');
  sent = Sent(Record(17, [](RequestRecord& r) {
    std::memset(r.text, 'U', sizeof r.text);
    std::memset(r.code, 'P', sizeof r.code);
  }));
  EXPECT_EQ(sent.substr(10, 28), std::string(15, 'U') + '\0' + std::string(11, 'P') + '\0');

  // A list of 300 keys sends the first 256 and says 256.
  sent = Sent(Record(28, [](RequestRecord& r) {
    r.keyList = new EArray<STKMS>();
    for (int i = 0; i < 300; ++i) r.keyList->Add({1, static_cast<std::uint16_t>(i)});
  }));
  ASSERT_EQ(sent.size(), 780u);
  EXPECT_EQ(sent.substr(10 + 255 * 3, 3), Key(1, 255));
  EXPECT_EQ(sent.substr(10 + 768, 2), Le16(256));

  // A sort's count is believed only as far as 256 keys and the array's own size.
  sent = Sent(Record(25, [](RequestRecord& r) {
    r.param = 2;
    r.value1 = 1000;
    r.keyArray = static_cast<STKMS*>(GuardedAlloc(300 * sizeof(STKMS)));
    for (int i = 0; i < 300; ++i) r.keyArray[i] = {2, static_cast<std::uint16_t>(i + 1)};
  }));
  EXPECT_EQ(sent.substr(10 + 5, 2), Le16(256));
  EXPECT_EQ(sent.substr(10 + 7 + 255 * 3, 3), Key(2, 256));
  sent = Sent(Record(25, [](RequestRecord& r) {
    r.param = 2;
    r.value1 = 5;
    r.keyArray = KeyArray({{1, 1}, {1, 2}});
  }));
  EXPECT_EQ(sent.substr(10 + 5, 2), Le16(2));
  EXPECT_EQ(sent.substr(10 + 7, 9), Key(1, 1) + Key(1, 2) + std::string(3, '\0'));
}

TEST_F(RequestFramesTest, FramesGoOnlyWhereTheSendBufferHasRoom) {
  const RequestRecord nameTable = Record(3, [](RequestRecord& r) { r.market = 1; });
  struct Case {
    int waiting;
    int result;
    int countAfter;
  };
  // 11 bytes: 2040 + 11 > 2048 is refused, 2037 + 11 = 2048 fits.
  for (const Case& c : {Case{2040, -1, 2040}, Case{2038, -1, 2038}, Case{2037, 0, 2048}, Case{0, 0, 11}}) {
    SCOPED_TRACE(c.waiting);
    ScriptedRequest client;
    client.sendRoom = 0;   // would block: what was appended stays
    client.sendCount = c.waiting;
    std::memset(client.sendBuffer, 'w', static_cast<std::size_t>(c.waiting));
    RequestRecord record = nameTable;
    EXPECT_EQ(BuildRequestFrame(&client, &record), c.result);
    EXPECT_EQ(client.sendCount, c.countAfter);
    if (c.result == 0) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(client.sendBuffer) + c.waiting, 11), Header(6, 1) + "\x01");
    }
  }
}

TEST_F(RequestFramesTest, TheWholeBufferIsOfferedAndTheAcceptedBytesLeaveItsFront) {
  ScriptedRequest client;
  std::memcpy(client.sendBuffer, "old", 3);
  client.sendCount = 3;
  client.sendRoom = 5;
  RequestRecord record = Record(3, [](RequestRecord& r) { r.market = 1; });
  EXPECT_EQ(BuildRequestFrame(&client, &record), 5);
  EXPECT_EQ(client.sent, std::string("old") + Header(6, 1).substr(0, 2));
  EXPECT_EQ(client.sendCount, 9);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(client.sendBuffer), 9), Header(6, 1).substr(2) + "\x01");
}

TEST_F(RequestFramesTest, ASocketThatWouldBlockKeepsTheFrameForTheNextWriteNotification) {
  ScriptedRequest client;
  client.sendRoom = 0;
  RequestRecord record = Record(22);
  EXPECT_EQ(BuildRequestFrame(&client, &record), 0);
  EXPECT_EQ(client.sendCount, 14);
  EXPECT_EQ(client.sent, "");

  client.sendRoom = 1 << 20;
  client.OnSend(0);
  EXPECT_EQ(client.sent, Header(203, 4) + Body(4, {}));
  EXPECT_EQ(client.sendCount, 0);
}

TEST_F(RequestFramesTest, ASendErrorReportsFailureAndKeepsTheFrame) {
  ScriptedRequest client;
  client.sendRoom = 0;
  client.sendError = WSAECONNRESET;
  RequestRecord record = Record(22);
  EXPECT_EQ(BuildRequestFrame(&client, &record), -1);
  EXPECT_EQ(client.sendCount, 14);
}

class LocalCopyTest : public testing::Test {
 protected:
  // Writes `bytes` bytes as the local copy and sets its last-write time (UTC).
  void WriteCopy(const char* name, std::size_t bytes, WORD year, WORD month, WORD day, WORD hour) {
    testsupport::WriteBytes(install_.cfg() / name, std::string(bytes, 'c'));
    HANDLE file = CreateFileA((std::string("..\\cfg\\") + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = 30;
    FILETIME fileTime{};
    ASSERT_TRUE(SystemTimeToFileTime(&time, &fileTime));
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &fileTime));
    CloseHandle(file);
  }

  testsupport::TempInstall install_;
};

TEST_F(LocalCopyTest, MarketFilesCarryTheLocalCopysSizeAndDate) {
  // 70000 bytes: the low 16 bits are 4464. 23:30 UTC stays on the 28th whatever the local zone.
  WriteCopy("mkinfo.cfg", 70000, 2024, 6, 28, 23);
  WriteCopy("SysTime.dat", 812, 2023, 12, 31, 0);
  struct Case {
    std::uint8_t kind;
    std::string body;
  };
  const Case cases[] = {
      {kRequestMarketConfig, Body(38, {{0, "MKINFO.CFG"}, {32, Le16(4464)}, {34, Le32(20240628)}})},
      {kRequestTimeZones, Body(38, {{0, "SYSTIME.DAT"}, {32, Le16(812)}, {34, Le32(20231231)}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    ScriptedRequest client;
    RequestRecord record = Record(c.kind);
    ASSERT_EQ(BuildRequestFrame(&client, &record), 48);
    EXPECT_EQ(client.sent, Header(206, 38) + c.body);
  }
}

TEST_F(LocalCopyTest, WithoutALocalCopyTheWholeFileIsAskedFor) {
  for (std::uint8_t kind : {kRequestMarketConfig, kRequestTimeZones}) {
    SCOPED_TRACE(kind);
    ScriptedRequest client;
    RequestRecord record = Record(kind);
    ASSERT_EQ(BuildRequestFrame(&client, &record), 48);
    EXPECT_EQ(client.sent.substr(10 + 32), std::string(6, '\0'));
  }
}

class CredentialsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(savedUserDir_, UserDir);
    std::strcpy(UserDir, "..\\user\\");
  }
  void TearDown() override { std::strcpy(UserDir, savedUserDir_); }

  testsupport::TempInstall install_;
  char savedUserDir_[kUserDirSize] = {};
};

TEST_F(CredentialsTest, PasswordChangeReadsTheUsersServerIniCuttingThePassword) {
  testsupport::WriteBytes(install_.user() / "SERVER.INI",
                          testsupport::CrlfLines({"[Server]", "UserName=abcdefghijklmno", "Password=123456789012345"}));
  ScriptedRequest client;
  RequestRecord record = Record(kRequestPasswordChange, [](RequestRecord& r) { std::strcpy(r.code, "fresh"); });
  ASSERT_EQ(BuildRequestFrame(&client, &record), 50);
  EXPECT_EQ(client.sent.substr(10),
            Body(40, {{0, "abcdefghijklmno"}, {16, "12345678901"}, {28, "fresh"}}));
}

TEST_F(CredentialsTest, WithoutServerIniTheCredentialsAreEmpty) {
  ScriptedRequest client;
  RequestRecord record = Record(kRequestPasswordChange);
  ASSERT_EQ(BuildRequestFrame(&client, &record), 50);
  EXPECT_EQ(client.sent.substr(10), Body(40, {}));
}

TEST_F(CredentialsTest, AReplacedSourceIsCutAndTerminatedToo) {
  zuvo::net::ScopedCredentialSource source([] {
    zuvo::net::RequestCredentials c;
    std::memset(c.userName, 'u', sizeof c.userName);
    std::memset(c.password, 'p', sizeof c.password);
    return c;
  });
  const zuvo::net::RequestCredentials read = zuvo::net::ReadRequestCredentials();
  EXPECT_EQ(std::string(read.userName), std::string(15, 'u'));
  EXPECT_EQ(std::string(read.password), std::string(11, 'p'));
}

}  // namespace
