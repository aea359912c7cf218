#include "data/DbfTable.h"

#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

struct FieldSpec {
  std::string name;
  char type;
  int length;
};

// A dBase table built byte by byte. Overrides let a test lie in the header.
struct DbfLayout {
  std::vector<FieldSpec> fields;
  std::vector<std::vector<std::string>> rows;
  long declaredRecords = -1;      // -1: the real count
  long headerLength = -1;         // -1: 32 + 32 per field + 1
  long recordLength = -1;         // -1: 1 + the field lengths
};

void PutU16(std::string& s, std::size_t at, unsigned v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string BuildDbf(const DbfLayout& layout) {
  int realRecordLength = 1;
  for (const auto& f : layout.fields) realRecordLength += f.length;
  const long headerLength = layout.headerLength >= 0 ? layout.headerLength : 32 + 32 * static_cast<long>(layout.fields.size()) + 1;
  const long recordLength = layout.recordLength >= 0 ? layout.recordLength : realRecordLength;

  std::string out(32, '\0');
  out[0] = 0x03;
  out[1] = 124; out[2] = 5; out[3] = 17;
  PutU32(out, 4, static_cast<std::uint32_t>(layout.declaredRecords >= 0 ? layout.declaredRecords : static_cast<long>(layout.rows.size())));
  PutU16(out, 8, static_cast<unsigned>(headerLength));
  PutU16(out, 10, static_cast<unsigned>(recordLength));
  for (const auto& f : layout.fields) {
    std::string d(32, '\0');
    d.replace(0, f.name.size(), f.name);
    d[11] = f.type;
    d[16] = static_cast<char>(f.length);
    out += d;
  }
  out += '\x0D';
  for (const auto& row : layout.rows) {
    std::string record(static_cast<std::size_t>(realRecordLength), ' ');
    std::size_t at = 1;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
      const std::string value = i < row.size() ? row[i] : std::string();
      record.replace(at, value.size() < static_cast<std::size_t>(layout.fields[i].length) ? value.size() : layout.fields[i].length, value);
      at += static_cast<std::size_t>(layout.fields[i].length);
    }
    out += record;
  }
  return out;
}

std::vector<FieldSpec> BrokerFields() { return {{"IDS", 'N', 4}, {"BROKERNAME", 'C', 20}}; }

DbfLayout ThreeBrokers() {
  DbfLayout layout;
  layout.fields = BrokerFields();
  layout.rows = {{"1000", "甲证券"}, {"1100", "乙证券"}, {"1200", "丙证券"}};
  return layout;
}

const char* kBrokerList = "..\\cfg\\Brokerlist.dbf";

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

TEST(DbfTable, OpensBrokerListAndReadsFieldsByNameIgnoringCase) {
  TempInstall install;
  WriteBytes(install.cfg() / "Brokerlist.dbf", BuildDbf(ThreeBrokers()));

  TDbfTable table(kBrokerList);
  ASSERT_TRUE(table.Open(false));
  EXPECT_EQ(table.fileHandle, -1);
  EXPECT_EQ(table.recordCount, 3);
  ASSERT_EQ(table.fieldCount, 2);
  EXPECT_EQ(table.fields[0]->offset, 1);
  EXPECT_EQ(table.fields[0]->length, 4);
  EXPECT_EQ(table.fields[1]->offset, 5);
  EXPECT_EQ(table.fields[1]->length, 20);
  EXPECT_EQ(table.FindField("ids"), 0);
  EXPECT_EQ(table.FindField("NOSUCH"), -1);

  ASSERT_TRUE(table.GoTo(1));
  const char* name = table.GetFieldByName("brokername");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::string(name).size(), 20u) << "padding blanks are kept";
  EXPECT_EQ(Trimmed(name), "乙证券");
  EXPECT_EQ(table.GetFieldByName("NOSUCH"), nullptr);
  EXPECT_FALSE(table.GetFieldText(2));
  EXPECT_FALSE(table.GetFieldText(-1));

  // Out-of-range records leave the current record alone.
  EXPECT_FALSE(table.GoTo(3));
  EXPECT_FALSE(table.GoTo(-1));
  EXPECT_EQ(table.current, 1);
  EXPECT_EQ(Trimmed(table.GetFieldByName("IDS")), "1100");
}

TEST(DbfTable, FindIntervalGivesTheLastRecordNotAboveTheValue) {
  TempInstall install;
  WriteBytes(install.cfg() / "Brokerlist.dbf", BuildDbf(ThreeBrokers()));
  TDbfTable table(kBrokerList);
  ASSERT_TRUE(table.Open(false));

  struct Case { int value; int expected; };
  const Case cases[] = {
      {999, -1}, {1000, 0}, {1099, 0}, {1150, 1}, {1200, 2},
      {1300, 2},   // at or above the last number: the last record names the broker
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(table.GoTo(1));
    EXPECT_EQ(table.FindInterval("IDS", c.value), c.expected) << c.value;
  }
  ASSERT_TRUE(table.GoTo(1));
  EXPECT_EQ(table.FindInterval("IDS", 1300), 2);
  EXPECT_EQ(table.current, 1) << "no greater record: the current record is restored";
  EXPECT_EQ(table.FindInterval("NOSUCH", 1150), -1);
}

TEST(DbfTable, RecordCountIsCutToTheRecordsPresent) {
  TempInstall install;
  DbfLayout layout;
  layout.fields = BrokerFields();
  for (int i = 0; i < 40; ++i) layout.rows.push_back({std::to_string(1000 + i), std::string("B").append(std::to_string(i))});
  layout.declaredRecords = 50;
  WriteBytes(install.cfg() / "Brokerlist.dbf", BuildDbf(layout));

  TDbfTable table(kBrokerList);
  ASSERT_TRUE(table.Open(false));
  EXPECT_EQ(table.recordCount, 40);
  EXPECT_TRUE(table.GoTo(39));
  EXPECT_EQ(Trimmed(table.GetFieldByName("BROKERNAME")), "B39");
  EXPECT_FALSE(table.GoTo(40));
  EXPECT_EQ(table.FindInterval("IDS", 5000), 39);
}

TEST(DbfTable, RefusesDamagedHeadersAndLeavesNoHandleOpen) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  DbfLayout shortHeader = ThreeBrokers();
  shortHeader.headerLength = 32;
  DbfLayout zeroHeader = ThreeBrokers();
  zeroHeader.headerLength = 0;
  DbfLayout headerPastEnd = ThreeBrokers();
  headerPastEnd.headerLength = 60000;
  DbfLayout zeroRecordLength = ThreeBrokers();
  zeroRecordLength.recordLength = 0;
  const Case cases[] = {
      {"header length below 33", BuildDbf(shortHeader)},
      {"header length 0", BuildDbf(zeroHeader)},
      {"file shorter than its header", BuildDbf(headerPastEnd)},
      {"record length 0", BuildDbf(zeroRecordLength)},
      {"file shorter than 16 bytes", std::string("\x03\x7c\x05", 3)},
      {"empty file", std::string()},
  };
  for (const Case& c : cases) {
    TempInstall install;
    WriteBytes(install.cfg() / "Brokerlist.dbf", c.bytes);
    TDbfTable table(kBrokerList);
    EXPECT_FALSE(table.Open(true)) << c.what;
    EXPECT_EQ(table.fileHandle, -1) << c.what;
    EXPECT_FALSE(table.isOpen) << c.what;
    EXPECT_EQ(table.GetFieldByName("IDS"), nullptr) << c.what;
    EXPECT_EQ(table.FindInterval("IDS", 1150), -1) << c.what;
  }
}

TEST(DbfTable, MissingFileIsNotCreatedAndReadOnlyFileOpens) {
  TempInstall install;
  TDbfTable missing(kBrokerList);
  EXPECT_FALSE(missing.Open(false));
  EXPECT_FALSE(std::filesystem::exists(install.cfg() / "Brokerlist.dbf"));
  EXPECT_FALSE(std::filesystem::exists(install.cfg() / "BROKERLIST.DBF"));

  const auto file = install.cfg() / "Brokerlist.dbf";
  WriteBytes(file, BuildDbf(ThreeBrokers()));
  std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  TDbfTable table(kBrokerList);
  EXPECT_TRUE(table.Open(true));
  EXPECT_GT(table.fileHandle, 0);
  table.Close();
  EXPECT_EQ(table.fileHandle, -1);
  std::filesystem::permissions(file, std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadBytes(file), BuildDbf(ThreeBrokers())) << "the reader never writes";
}

TEST(DbfTable, OpenTwiceKeepsTheFirstReadAndReopenAfterCloseReadsAgain) {
  TempInstall install;
  const auto file = install.cfg() / "Brokerlist.dbf";
  WriteBytes(file, BuildDbf(ThreeBrokers()));
  TDbfTable table(kBrokerList);
  ASSERT_TRUE(table.Open(false));

  DbfLayout two;
  two.fields = BrokerFields();
  two.rows = {{"1", "X"}, {"2", "Y"}};
  WriteBytes(file, BuildDbf(two));
  EXPECT_TRUE(table.Open(false));
  EXPECT_EQ(table.recordCount, 3);

  table.Close();
  EXPECT_EQ(table.recordCount, 0);
  EXPECT_FALSE(table.GoTo(0));
  ASSERT_TRUE(table.Open(false));
  EXPECT_EQ(table.recordCount, 2);
}

TEST(DbfTable, FieldsRunningPastTheRecordAreCutAtItsEnd) {
  TempInstall install;
  DbfLayout layout = ThreeBrokers();
  layout.fields.push_back({"CITY", 'C', 255});
  layout.fields.push_back({"MEMO", 'C', 200});
  layout.recordLength = 10;   // IDS fits, BROKERNAME has only 5 of its 20 bytes inside a record
  WriteBytes(install.cfg() / "Brokerlist.dbf", BuildDbf(layout));

  TDbfTable table(kBrokerList);
  ASSERT_TRUE(table.Open(false));
  ASSERT_EQ(table.fieldCount, 4);
  EXPECT_EQ(table.fields[1]->offset, 5);
  EXPECT_EQ(table.fields[1]->length, 5);
  ASSERT_TRUE(table.GoTo(0));
  ASSERT_NE(table.GetFieldByName("BROKERNAME"), nullptr);
  EXPECT_EQ(std::string(table.textBuffer).size(), 5u);
  // Fields wholly past the record (the last starts beyond its buffer) are empty at its end.
  for (const char* name : {"CITY", "MEMO"}) {
    const TDbfField* field = table.fields[table.FindField(name)];
    EXPECT_EQ(field->offset, 10) << name;
    EXPECT_EQ(field->length, 0) << name;
    ASSERT_NE(table.GetFieldByName(name), nullptr) << name;
    EXPECT_STREQ(table.textBuffer, "") << name;
  }
}

TEST(DbfTable, KeepsAtMost256Fields) {
  TempInstall install;
  DbfLayout layout;
  for (int i = 0; i < 300; ++i) layout.fields.push_back({std::string("F").append(std::to_string(i)), 'C', 1});
  layout.rows = {std::vector<std::string>(300, "x")};
  WriteBytes(install.cfg() / "Brokerlist.dbf", BuildDbf(layout));

  TDbfTable table(kBrokerList);
  ASSERT_TRUE(table.Open(false));
  EXPECT_EQ(table.fieldCount, TDbfTable::kMaxFields);
  EXPECT_EQ(table.FindField("F255"), 255);
  EXPECT_EQ(table.FindField("F256"), -1);
  EXPECT_EQ(table.recordCount, 1);
}
