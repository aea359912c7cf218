// Read-only access to a dBase table (.dbf) held whole in memory: fields by name, records by
// index, and the interval search that maps a broker number to the broker list's record
// ("..\cfg\Brokerlist.dbf", fields IDS and BROKERNAME). The file is opened for reading only and
// never written. Used on the user-interface thread only.
#pragma once

#include <cstdint>

// One field of the table, built from its 32-byte descriptor (bytes 12..15 already hold the
// field's offset within the record, in place of the file's reserved bytes).
class TDbfField {
 public:
  explicit TDbfField(const unsigned char* descriptorBytes);

  unsigned char descriptor[32];
  char name[12];           // at most 11 characters, zero-terminated
  std::int32_t type;       // the type character ('C', 'N', ...)
  std::int32_t offset;     // first byte of the field within a record (the deletion mark is byte 0)
  std::int32_t length;     // bytes; cut at opening so that offset + length never passes the record
  std::int32_t decimals;
};

class TDbfTable {
 public:
  static constexpr int kMaxFields = 256;
  static constexpr int kMinHeaderLength = 33;   // 32 header bytes and the descriptor terminator

  // A closed table: handle -1, no fields, no records, current record 0.
  explicit TDbfTable(const char* path);
  ~TDbfTable();
  TDbfTable(const TDbfTable&) = delete;
  TDbfTable& operator=(const TDbfTable&) = delete;

  // Reads header, descriptors and every record into memory. True when the table is open
  // (at once, without reading again, when it already was). False, with the table closed and
  // no handle left open, when the file does not open, its header length is below 33, the
  // file is shorter than its header or descriptors, the record length is 0, or memory is short.
  // The record count is the smaller of the declared count and the records actually present.
  // Fields past the 256th are ignored. Without keepFileOpen the file is closed after reading.
  bool Open(bool keepFileOpen);
  // Closes the file, deletes the fields and frees every buffer; the table can be opened again.
  void Close();

  // Index of the field whose name equals the text without regard to case; -1 when none.
  int FindField(const char* fieldName) const;
  // Copies record i into recordBuffer; false when i is not a record (current record unchanged).
  bool LoadRecord(int index);
  // Copies the field's bytes of recordBuffer into textBuffer, zero-terminated, padding blanks
  // kept; false for an unknown field index.
  bool GetFieldText(int fieldIndex);
  // Makes record i current; false when the table is not open or i is not a record.
  bool GoTo(int index);
  // textBuffer holding the named field of the current record; null for an unknown name or a
  // closed table. Valid until the next field access.
  const char* GetFieldByName(const char* fieldName);
  // Index of the last record whose field, read as a decimal integer, does not exceed value,
  // scanning in file order and stopping at the first record that is greater (the table is
  // expected to be sorted by that field). When no record is greater the last record is the
  // answer. -1 when the field is unknown, the table is empty or the first record is already
  // greater. The current record is left on the first greater record when one was found, else
  // restored to the one current before the search.
  int FindInterval(const char* fieldName, int value);

  char path[260];
  int fileHandle = -1;
  int current = 0;
  unsigned char header[16] = {};
  unsigned char* descriptors = nullptr;   // fieldCount x 32 bytes, guarded block
  unsigned char* records = nullptr;       // (recordCount + 258) x recordLength, guarded block
  unsigned char* recordBuffer = nullptr;  // recordLength + 256 bytes
  char* textBuffer = nullptr;             // recordLength + 256 bytes
  bool isOpen = false;
  TDbfField* fields[kMaxFields] = {};
  int fieldCount = 0;
  int recordLength = 0;
  int recordCount = 0;
};
