#include "data/DbfTable.h"

#include "core/DataFile.h"
#include "core/GuardedAlloc.h"
#include "platform/Text.h"

#include <climits>
#include <cstring>

using namespace zuvo::platform;

namespace {

constexpr int kHeaderBytes = 16;
constexpr int kDescriptorBytes = 32;
constexpr int kDescriptorsOffset = 32;
constexpr unsigned char kDescriptorTerminator = 0x0D;
constexpr int kSpareRecords = 258;
constexpr int kBufferSlack = 256;

std::uint32_t ReadU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t ReadU16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void WriteU32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// Decimal text to integer as a numeric field holds it: leading blanks, an optional sign,
// digits; anything after the digits is ignored; out-of-range values are clamped.
int TextToInt(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  bool negative = false;
  if (*text == '-' || *text == '+') negative = (*text++ == '-');
  long long value = 0;
  while (*text >= '0' && *text <= '9') {
    if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (*text - '0');
    ++text;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// What the header declares about the rest of the file, checked against the file's size.
struct TableLayout {
  std::uint32_t headerLength = 0;   // offset of the first record
  int descriptorCount = 0;          // field descriptors to read (at most kMaxFields)
};

// Read-only: the table is never written, and opening for update would create a missing file.
bool OpenForReading(TDbfTable& table) {
  table.fileHandle = OpenDataFile(static_cast<const char*>(table.path), "rb");
  if (table.fileHandle > 0) return true;
  table.fileHandle = -1;
  return false;
}

// Reads the header and sets the record length and the record count: the smaller of the declared
// count and the whole records the file holds. False when the file is no table.
bool ReadHeader(TDbfTable& table, TableLayout* layout) {
  const std::uint32_t fileSize = GetDataFileSize(table.fileHandle);
  // A file shorter than the header has none.
  if (fileSize < static_cast<std::uint32_t>(kHeaderBytes) ||
      ReadDataFile(table.fileHandle, table.header, 1, kHeaderBytes) != kHeaderBytes) {
    return false;
  }
  const std::uint32_t declaredRecords = ReadU32(table.header + 4);
  const std::uint32_t headerLength = ReadU16(table.header + 8);
  const std::uint32_t declaredRecordLength = ReadU16(table.header + 10);

  // A header length below 33 or past the end of the file would make the field and record
  // arithmetic wrap; such a file is not a table.
  if (headerLength < static_cast<std::uint32_t>(TDbfTable::kMinHeaderLength) || headerLength > fileSize ||
      declaredRecordLength == 0) {
    return false;
  }

  layout->headerLength = headerLength;
  const int declaredFields = static_cast<int>((headerLength - TDbfTable::kMinHeaderLength) / kDescriptorBytes);
  // Fields past the 256th are ignored.
  layout->descriptorCount = declaredFields < TDbfTable::kMaxFields ? declaredFields : TDbfTable::kMaxFields;
  table.recordLength = static_cast<int>(declaredRecordLength);
  const std::uint32_t present = (fileSize - headerLength) / declaredRecordLength;
  table.recordCount = static_cast<int>(declaredRecords < present ? declaredRecords : present);
  return true;
}

// The descriptor block, the record block (with spare records), the record buffer and the text
// buffer. False when memory is short.
bool AllocateBuffers(TDbfTable& table, const TableLayout& layout) {
  const std::uint64_t recordBlockBytes = (static_cast<std::uint64_t>(table.recordCount) + kSpareRecords) *
                                         static_cast<std::uint64_t>(table.recordLength);
  // The guarded allocator takes 32-bit sizes.
  if (recordBlockBytes > UINT32_MAX) return false;
  if (layout.descriptorCount > 0) {
    table.descriptors = static_cast<unsigned char*>(
        GuardedAlloc(static_cast<std::uint32_t>(layout.descriptorCount) * kDescriptorBytes));
  }
  table.records = static_cast<unsigned char*>(GuardedAlloc(static_cast<std::uint32_t>(recordBlockBytes)));
  const auto bufferBytes = static_cast<std::uint32_t>(table.recordLength + kBufferSlack);
  table.recordBuffer = static_cast<unsigned char*>(GuardedAlloc(bufferBytes));
  table.textBuffer = static_cast<char*>(GuardedAlloc(bufferBytes));
  return (layout.descriptorCount == 0 || table.descriptors) && table.records && table.recordBuffer &&
         table.textBuffer;
}

// The field descriptors behind the 32 header bytes. False when they cannot be read whole.
bool ReadDescriptors(TDbfTable& table, const TableLayout& layout) {
  if (layout.descriptorCount == 0) return true;
  const std::uint32_t descriptorBytes = static_cast<std::uint32_t>(layout.descriptorCount) * kDescriptorBytes;
  return SeekDataFile(table.fileHandle, kDescriptorsOffset, 0) == static_cast<std::uint32_t>(kDescriptorsOffset) &&
         ReadDataFile(table.fileHandle, table.descriptors, 1, descriptorBytes) == descriptorBytes;
}

// Every record behind the header. A short read keeps the whole records that arrived. False
// when the first record cannot be reached.
bool ReadRecords(TDbfTable& table, const TableLayout& layout) {
  if (table.recordCount == 0) return true;
  if (SeekDataFile(table.fileHandle, static_cast<std::int32_t>(layout.headerLength), 0) != layout.headerLength) {
    return false;
  }
  const std::uint32_t wanted = static_cast<std::uint32_t>(table.recordCount) * static_cast<std::uint32_t>(table.recordLength);
  const std::uint32_t got = ReadDataFile(table.fileHandle, table.records, 1, wanted);
  if (got < wanted) table.recordCount = static_cast<int>(got / static_cast<std::uint32_t>(table.recordLength));
  return true;
}

// The fields from the descriptors, up to the terminator. Fields lie one after the other
// behind the deletion mark. A field that runs past the record is cut there, so that reading
// it never leaves the record.
void BuildFields(TDbfTable& table, const TableLayout& layout) {
  int offset = 1;
  table.fieldCount = 0;
  for (int i = 0; i < layout.descriptorCount; ++i) {
    unsigned char* d = table.descriptors + i * kDescriptorBytes;
    if (d[0] == kDescriptorTerminator) break;   // fewer fields than the header length allows
    WriteU32(d + 12, static_cast<std::uint32_t>(offset));
    const int declaredLength = d[16];
    TDbfField* field = new TDbfField(d);
    table.fields[table.fieldCount] = field;
    const int room = offset < table.recordLength ? table.recordLength - offset : 0;
    field->length = declaredLength < room ? declaredLength : room;
    if (field->offset > table.recordLength) field->offset = table.recordLength;   // empty, at the record's end
    ++table.fieldCount;
    offset += declaredLength;
  }
}

}  // namespace

TDbfField::TDbfField(const unsigned char* descriptorBytes) {
  std::memcpy(descriptor, descriptorBytes, sizeof descriptor);
  std::memcpy(name, descriptor, 11);
  name[11] = '\0';
  type = descriptor[11];
  offset = static_cast<std::int32_t>(ReadU32(descriptor + 12));
  length = descriptor[16];
  decimals = descriptor[17];
}

TDbfTable::TDbfTable(const char* tablePath) {
  std::memset(path, 0, sizeof path);
  if (tablePath) std::strncpy(path, tablePath, sizeof path - 1);
}

TDbfTable::~TDbfTable() { Close(); }

bool TDbfTable::Open(bool keepFileOpen) {
  if (isOpen) return true;
  Close();   // a failed earlier attempt may have left nothing behind; start clean

  TableLayout layout;
  const bool read = OpenForReading(*this) && ReadHeader(*this, &layout) && AllocateBuffers(*this, layout) &&
                    ReadDescriptors(*this, layout) && ReadRecords(*this, layout);
  if (read) {
    if (!keepFileOpen) {
      CloseDataFile(fileHandle);
      fileHandle = -1;
    }
    BuildFields(*this, layout);
    current = 0;
    if (recordCount > 0) LoadRecord(0);
    isOpen = true;
  } else {
    Close();   // no handle, field or buffer stays behind
  }
  return read;
}

void TDbfTable::Close() {
  if (fileHandle > 0) CloseDataFile(fileHandle);
  fileHandle = -1;
  for (int i = 0; i < kMaxFields; ++i) {
    delete fields[i];
    fields[i] = nullptr;
  }
  GuardedFree(descriptors);
  GuardedFree(records);
  GuardedFree(recordBuffer);
  GuardedFree(textBuffer);
  descriptors = nullptr;
  records = nullptr;
  recordBuffer = nullptr;
  textBuffer = nullptr;
  isOpen = false;
  fieldCount = 0;
  recordLength = 0;
  recordCount = 0;
  current = 0;
}

int TDbfTable::FindField(const char* fieldName) const {
  if (!fieldName) return -1;
  for (int i = 0; i < fieldCount; ++i) {
    if (fields[i] && gbk::EqualsNoCase(fields[i]->name, fieldName)) return i;
  }
  return -1;
}

bool TDbfTable::LoadRecord(int index) {
  if (!records || !recordBuffer || index < 0 || index >= recordCount) return false;
  std::memcpy(recordBuffer, records + static_cast<std::size_t>(index) * recordLength, static_cast<std::size_t>(recordLength));
  return true;
}

bool TDbfTable::GetFieldText(int fieldIndex) {
  if (fieldIndex < 0 || fieldIndex >= fieldCount || !fields[fieldIndex] || !recordBuffer || !textBuffer) return false;
  const TDbfField* field = fields[fieldIndex];
  std::memcpy(textBuffer, recordBuffer + field->offset, static_cast<std::size_t>(field->length));
  textBuffer[field->length] = '\0';
  return true;
}

bool TDbfTable::GoTo(int index) {
  if (!isOpen || !LoadRecord(index)) return false;
  current = index;
  return true;
}

const char* TDbfTable::GetFieldByName(const char* fieldName) {
  if (!isOpen) return nullptr;
  const int field = FindField(fieldName);
  if (field < 0 || !GetFieldText(field)) return nullptr;
  return textBuffer;
}

int TDbfTable::FindInterval(const char* fieldName, int value) {
  const int remembered = current;
  const int field = FindField(fieldName);
  if (field < 0 || !isOpen) return -1;
  for (int i = 0; i < recordCount; ++i) {
    GoTo(i);
    GetFieldText(field);
    if (value < TextToInt(textBuffer)) return i - 1;
  }
  // No record is greater: the value lies in the last record's interval.
  GoTo(remembered);
  return recordCount - 1;
}
