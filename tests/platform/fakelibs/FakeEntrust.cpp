// A stand-in for an outside trading program's library: fEntrust keeps a copy of the 52-byte
// order record, the number and the folder it was handed, and returns the result the test chose.
// fQueryAmount and fIsOpen only need to exist (fIsOpen is left out of the incomplete variant).
// The Fake* exports let the test read what was recorded and choose the result.

#include <cstring>

namespace {

constexpr int kRecordBytes = 52;
constexpr int kFolderBytes = 1024;

unsigned char lastRecord[kRecordBytes];
char lastFolder[kFolderBytes];
int lastNumber = -1;
int calls = 0;
int result = 0;

}  // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT int fEntrust(const void* record, int number, const char* folder) {
  ++calls;
  std::memset(lastRecord, 0, sizeof lastRecord);
  if (record != nullptr) std::memcpy(lastRecord, record, sizeof lastRecord);
  std::memset(lastFolder, 0, sizeof lastFolder);
  if (folder != nullptr) std::strncpy(lastFolder, folder, sizeof lastFolder - 1);
  lastNumber = number;
  return result;
}

FAKE_EXPORT int fQueryAmount() { return 0; }

#ifndef FAKE_ENTRUST_WITHOUT_IS_OPEN
FAKE_EXPORT int fIsOpen() { return 1; }
#endif

FAKE_EXPORT void FakeEntrustSetResult(int value) { result = value; }
FAKE_EXPORT int FakeEntrustCalls() { return calls; }
FAKE_EXPORT int FakeEntrustLastNumber() { return lastNumber; }
// Copies the last record (52 bytes) and folder (zero-terminated, at most 1023 bytes).
FAKE_EXPORT void FakeEntrustLastRecord(unsigned char* record) { std::memcpy(record, lastRecord, sizeof lastRecord); }
FAKE_EXPORT const char* FakeEntrustLastFolder() { return lastFolder; }
