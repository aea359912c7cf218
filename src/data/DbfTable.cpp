#include "data/DbfTable.h"

#include "core/DataFile.h"
#include "core/GuardedAlloc.h"
#include "platform/Text.h"

#include <climits>
#include <cstring>

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

  // Read-only: the table is never written, and opening for update would create a missing file.
  fileHandle = OpenDataFile(static_cast<const char*>(path), "rb");
  if (fileHandle <= 0) {
    fileHandle = -1;
    return false;
  }

  const std::uint32_t fileSize = GetDataFileSize(fileHandle);
  if (fileSize < static_cast<std::uint32_t>(kHeaderBytes) ||
      ReadDataFile(fileHandle, header, 1, kHeaderBytes) != kHeaderBytes) {
    Close();
    return false;
  }
  const std::uint32_t declaredRecords = ReadU32(header + 4);
  const std::uint32_t headerLength = ReadU16(header + 8);
  const std::uint32_t declaredRecordLength = ReadU16(header + 10);

  // A header length below 33 or past the end of the file would make the field and record
  // arithmetic wrap; such a file is not a table.
  if (headerLength < static_cast<std::uint32_t>(kMinHeaderLength) || headerLength > fileSize ||
      declaredRecordLength == 0) {
    Close();
    return false;
  }

  int declaredFields = static_cast<int>((headerLength - kMinHeaderLength) / kDescriptorBytes);
  if (declaredFields > kMaxFields) declaredFields = kMaxFields;   // the rest are ignored
  recordLength = static_cast<int>(declaredRecordLength);
  const std::uint32_t present = (fileSize - headerLength) / declaredRecordLength;
  recordCount = static_cast<int>(declaredRecords < present ? declaredRecords : present);

  const std::uint64_t recordBlockBytes =
      (static_cast<std::uint64_t>(recordCount) + kSpareRecords) * static_cast<std::uint64_t>(recordLength);
  if (recordBlockBytes > UINT32_MAX) {
    Close();
    return false;
  }
  if (declaredFields > 0) {
    descriptors = static_cast<unsigned char*>(GuardedAlloc(static_cast<std::uint32_t>(declaredFields) * kDescriptorBytes));
  }
  records = static_cast<unsigned char*>(GuardedAlloc(static_cast<std::uint32_t>(recordBlockBytes)));
  recordBuffer = static_cast<unsigned char*>(GuardedAlloc(static_cast<std::uint32_t>(recordLength + kBufferSlack)));
  textBuffer = static_cast<char*>(GuardedAlloc(static_cast<std::uint32_t>(recordLength + kBufferSlack)));
  if ((declaredFields > 0 && !descriptors) || !records || !recordBuffer || !textBuffer) {
    Close();
    return false;
  }

  const std::uint32_t descriptorBytes = static_cast<std::uint32_t>(declaredFields) * kDescriptorBytes;
  if (declaredFields > 0 &&
      (SeekDataFile(fileHandle, kDescriptorsOffset, 0) != static_cast<std::uint32_t>(kDescriptorsOffset) ||
       ReadDataFile(fileHandle, descriptors, 1, descriptorBytes) != descriptorBytes)) {
    Close();
    return false;
  }
  if (recordCount > 0) {
    if (SeekDataFile(fileHandle, static_cast<std::int32_t>(headerLength), 0) != headerLength) {
      Close();
      return false;
    }
    const std::uint32_t wanted = static_cast<std::uint32_t>(recordCount) * static_cast<std::uint32_t>(recordLength);
    const std::uint32_t got = ReadDataFile(fileHandle, records, 1, wanted);
    // A short read keeps the whole records that arrived.
    if (got < wanted) recordCount = static_cast<int>(got / static_cast<std::uint32_t>(recordLength));
  }

  if (!keepFileOpen) {
    CloseDataFile(fileHandle);
    fileHandle = -1;
  }

  // Fields lie one after the other behind the deletion mark. A field that runs past the record
  // is cut there, so that reading it never leaves the record.
  int offset = 1;
  fieldCount = 0;
  for (int i = 0; i < declaredFields; ++i) {
    unsigned char* d = descriptors + i * kDescriptorBytes;
    if (d[0] == kDescriptorTerminator) break;   // fewer fields than the header length allows
    WriteU32(d + 12, static_cast<std::uint32_t>(offset));
    const int declaredLength = d[16];
    fields[fieldCount] = new TDbfField(d);
    TDbfField* field = fields[fieldCount];
    const int room = offset < recordLength ? recordLength - offset : 0;
    field->length = declaredLength < room ? declaredLength : room;
    if (field->offset > recordLength) field->offset = recordLength;   // empty, at the record's end
    ++fieldCount;
    offset += declaredLength;
  }

  current = 0;
  if (recordCount > 0) LoadRecord(0);
  isOpen = true;
  return true;
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
