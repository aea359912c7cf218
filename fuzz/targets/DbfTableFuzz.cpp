// Fuzz target "dbf": the dBase table reader (TDbfTable) over the broker list file.
// Input: the .dbf file; then, after the part separator, 4-byte values to search for with
// FindInterval (without them, the numbers held in the records, one below and one above).
// Property: a table that opens holds exactly what the file declares and actually contains
// (record count the smaller of the two, fields up to the terminator or the 256th); every
// field of every record reads back as the very bytes of the file at the field's place, never
// outside its record; fields are found by name as the first of that name without regard to
// case; FindInterval gives the last record not above the value as its contract says and leaves
// the current record where it says; a table that does not open is closed with no handle left;
// the file is never written.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "data/DbfTable.h"
#include "platform/Text.h"

#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr const char* kTablePath = "..\\cfg\\Brokerlist.dbf";
constexpr int kMaxCheckedRecords = 64;
constexpr int kMaxSearches = 24;

std::uint32_t U32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint32_t U16(std::string_view bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8);
}

// A numeric field's text as FindInterval reads it: blanks, a sign and digits, clamped.
int NumberOf(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  bool negative = false;
  if (*text == '-' || *text == '+') negative = *text++ == '-';
  long long value = 0;
  while (*text >= '0' && *text <= '9') {
    if (value <= INT_MAX + 1LL) value = value * 10 + (*text - '0');
    ++text;
  }
  if (negative) value = -value;
  return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

struct Layout {
  std::uint32_t headerLength;
  std::uint32_t recordLength;
  int recordCount;
  int fieldCount;
  std::vector<int> offsets;   // where each field starts, before clamping to the record
  std::vector<int> lengths;   // declared
};

Layout LayoutOf(std::string_view file) {
  Layout layout{};
  layout.headerLength = U16(file, 8);
  layout.recordLength = U16(file, 10);
  const std::uint32_t present = (static_cast<std::uint32_t>(file.size()) - layout.headerLength) / layout.recordLength;
  layout.recordCount = static_cast<int>(U32(file, 4) < present ? U32(file, 4) : present);
  const int declaredFields = std::min<int>(static_cast<int>((layout.headerLength - 33) / 32), TDbfTable::kMaxFields);
  int offset = 1;
  for (int i = 0; i < declaredFields; ++i) {
    const std::size_t at = 32 + static_cast<std::size_t>(i) * 32;
    if (static_cast<unsigned char>(file[at]) == 0x0D) break;
    layout.offsets.push_back(offset);
    layout.lengths.push_back(static_cast<unsigned char>(file[at + 16]));
    offset += static_cast<unsigned char>(file[at + 16]);
  }
  layout.fieldCount = static_cast<int>(layout.offsets.size());
  return layout;
}

void CheckFields(TDbfTable& table, std::string_view file, const Layout& layout) {
  FUZZ_CHECK(table.fieldCount == layout.fieldCount, "fields run to the terminator or the 256th");
  for (int f = 0; f < table.fieldCount; ++f) {
    const TDbfField* field = table.fields[f];
    FUZZ_CHECK(field != nullptr, "every field counted exists");
    const int room = layout.offsets[f] < static_cast<int>(layout.recordLength)
                         ? static_cast<int>(layout.recordLength) - layout.offsets[f] : 0;
    FUZZ_CHECK(field->length == std::min(layout.lengths[f], room), "a field is cut where it would pass its record");
    FUZZ_CHECK(field->offset == std::min(layout.offsets[f], static_cast<int>(layout.recordLength)),
               "fields lie one after the other behind the deletion mark");
    FUZZ_CHECK(field->offset + field->length <= table.recordLength, "a field never leaves its record");
    const std::string_view name(file.data() + 32 + f * 32, strnlen(file.data() + 32 + f * 32, 11));
    FUZZ_CHECK(name == field->name, "a field's name is its descriptor's first 11 bytes");
    int first = 0;
    while (!gbk::EqualsNoCase(table.fields[first]->name, field->name)) ++first;
    FUZZ_CHECK(table.FindField(field->name) == first, "a field is found as the first of its name, ignoring case");
  }
}

void CheckRecords(TDbfTable& table, std::string_view file, const Layout& layout) {
  const int checked = std::min(table.recordCount, kMaxCheckedRecords);
  for (int r = 0; r < checked; ++r) {
    const int index = r < kMaxCheckedRecords / 2 ? r : table.recordCount - (checked - r);
    FUZZ_CHECK(table.GoTo(index) && table.current == index, "every record can be made current");
    for (int f = 0; f < table.fieldCount; ++f) {
      FUZZ_CHECK(table.GetFieldText(f), "every field of a record reads");
      const TDbfField* field = table.fields[f];
      const std::size_t at = layout.headerLength + static_cast<std::size_t>(index) * layout.recordLength + field->offset;
      FUZZ_CHECK(std::memcmp(table.textBuffer, file.data() + at, static_cast<std::size_t>(field->length)) == 0 &&
                     table.textBuffer[field->length] == '\0',
                 "a field reads back as the file's bytes at its place");
    }
  }
  FUZZ_CHECK(!table.GoTo(table.recordCount) && !table.GoTo(-1), "only records can be made current");
  FUZZ_CHECK(!table.GetFieldText(table.fieldCount) && !table.GetFieldText(-1), "only fields can be read");
}

void CheckSearch(TDbfTable& table, int field, int value) {
  std::vector<int> numbers;
  for (int r = 0; r < table.recordCount && r < 4096; ++r) {
    table.GoTo(r);
    table.GetFieldText(field);
    numbers.push_back(NumberOf(table.textBuffer));
  }
  if (table.recordCount > 4096) return;
  const int start = table.recordCount > 0 ? table.recordCount / 2 : 0;
  table.GoTo(start);
  const int before = table.current;
  int expected = table.recordCount - 1;
  int greater = -1;
  for (int r = 0; r < table.recordCount; ++r) {
    if (value < numbers[static_cast<std::size_t>(r)]) {
      expected = r - 1;
      greater = r;
      break;
    }
  }
  const int found = table.FindInterval(table.fields[field]->name, value);
  // The name finds the first field of that name, which may be another one holding other text.
  if (table.FindField(table.fields[field]->name) != field) return;
  FUZZ_CHECK(found == expected, "FindInterval gives the last record not above the value, in file order");
  FUZZ_CHECK(table.current == (greater >= 0 ? greater : before),
             "FindInterval leaves the first greater record current, or the one before the search");
}

}  // namespace

int FuzzDbfTable(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  const std::string_view file = parts[0];
  fuzz::Sandbox::Write("cfg/Brokerlist.dbf", file);

  TDbfTable table(kTablePath);
  const bool opened = table.Open(false);
  const bool valid = file.size() >= 16 && U16(file, 8) >= 33 && U16(file, 8) <= file.size() && U16(file, 10) > 0;
  FUZZ_CHECK(opened == valid, "a table opens exactly when its header lengths fit the file");
  if (!opened) {
    FUZZ_CHECK(!table.isOpen && table.fileHandle == -1 && table.fieldCount == 0, "a table that failed to open is closed");
    FUZZ_CHECK(fuzz::Sandbox::Read("cfg/Brokerlist.dbf") == file, "the table file is never written");
    return 0;
  }
  const Layout layout = LayoutOf(file);
  FUZZ_CHECK(table.isOpen && table.fileHandle == -1, "a table opened without keeping its file holds no handle");
  FUZZ_CHECK(table.recordLength == static_cast<int>(layout.recordLength) && table.recordCount == layout.recordCount,
             "the record count is the smaller of the declared and the present records");
  CheckFields(table, file, layout);
  CheckRecords(table, file, layout);

  std::vector<int> values;
  if (parts.size() > 1) {
    fuzz::ControlReader control(parts[1]);
    for (int i = 0; i < kMaxSearches; ++i) values.push_back(static_cast<int>(control.U32(static_cast<std::uint32_t>(i * 7 - 3))));
  } else {
    for (int r = 0; r < table.recordCount && values.size() < kMaxSearches; ++r) {
      table.GoTo(r);
      if (table.fieldCount == 0 || !table.GetFieldText(0)) break;
      const int number = NumberOf(table.textBuffer);
      values.push_back(number);
      values.push_back(number == INT_MIN ? number : number - 1);
      values.push_back(number == INT_MAX ? number : number + 1);
    }
  }
  for (std::size_t i = 0; i < values.size() && table.fieldCount > 0; ++i) {
    CheckSearch(table, static_cast<int>(i % static_cast<std::size_t>(table.fieldCount)), values[i]);
  }
  FUZZ_CHECK(table.FindInterval("\x01no such field", 0) == -1 && table.GetFieldByName("\x01no such field") == nullptr,
             "an unknown field is found nowhere");

  // Opened again, keeping the file: the same table, and the handle goes with Close.
  table.Close();
  FUZZ_CHECK(table.Open(true) && table.fileHandle > 0 && table.recordCount == layout.recordCount,
             "a table opens again the same, keeping its file when asked");
  table.Close();
  FUZZ_CHECK(table.fileHandle == -1 && !table.isOpen, "Close lets go of the file");
  FUZZ_CHECK(fuzz::Sandbox::Read("cfg/Brokerlist.dbf") == file, "the table file is never written");
  return 0;
}
