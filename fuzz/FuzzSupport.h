// What every fuzz target shares: the check that aborts on a broken property, the split of an
// input into parts, a reader of small control values, and the temporary install tree each
// input runs in (<root>/{bin,cfg,data,user}, bin/ the current directory), emptied and the
// process-wide tables reset before every input so that inputs never see each other's files.
#pragma once

#include "data/Records.h"
#include "platform/WinUser.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Prints what broke (with the input's target, when known) and aborts: the fuzzer records the
// input as a crash, the replay test fails.
[[noreturn]] void Fail(const char* condition, const char* what, const char* file, int line);

#define FUZZ_CHECK(condition, what)                                        \
  do {                                                                     \
    if (!(condition)) ::fuzz::Fail(#condition, what, __FILE__, __LINE__);  \
  } while (0)

// Inputs are cut into parts at this line (a text a fuzzer keeps whole and a dictionary can
// insert); an input without it is one part.
constexpr std::string_view kPartSeparator = "\n--zuvo--\n";

// The parts of an input, at most maxParts (the last one keeps any further separators).
std::vector<std::string_view> SplitParts(std::string_view input, std::size_t maxParts);
// An input of a control part followed by file parts: with more than one part the first is the
// control and at most maxParts - 1 parts follow; a single part is a file part under an empty
// control.
struct ControlledInput {
  std::string_view control;
  std::vector<std::string_view> parts;
};
ControlledInput SplitControlAndParts(std::string_view input, std::size_t maxParts);
// The input that SplitParts cuts into these parts (used by the seed writer).
std::string JoinParts(const std::vector<std::string>& parts);

// Small values read one after the other from a control part; once the part is used up every
// value is its default, so a short or empty control part still gives a complete setting.
class ControlReader {
 public:
  explicit ControlReader(std::string_view bytes) : bytes_(bytes) {}
  std::uint8_t U8(std::uint8_t fallback = 0);
  std::uint16_t U16(std::uint16_t fallback = 0);
  std::uint32_t U32(std::uint32_t fallback = 0);
  // Bytes as they stand (fewer when the part runs out).
  std::string_view Bytes(std::size_t count);

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

// Appends the little-endian bytes of a control value (used by the seed writer).
void PutU8(std::string& control, std::uint8_t value);
void PutU16(std::string& control, std::uint16_t value);
void PutU32(std::string& control, std::uint32_t value);

// The install tree of this process. Prepare makes it once (a driver calls it before the
// fuzzer's fork server starts, so every child reuses one folder); Reset empties it and resets
// the caches and process-wide tables before each input. The folder is made under
// $ZUVO_FUZZ_TMP when set, else /dev/shm when writable, else the system's temporary folder,
// and removed at a normal exit of the process that made it.
class Sandbox {
 public:
  static void Prepare();
  static void Reset();
  // Frees what the process-wide tables hold (run after each input, so that nothing of it
  // lingers, and leak checks at exit see only real leaks).
  static void ReleaseTables();
  static const std::string& Root();
  // Whole-file helpers on paths relative to the root ("cfg/x.ini"); parents are made and the
  // platform's caches told.
  static void Write(const std::string& relativePath, std::string_view bytes);
  // Writes to an absolute POSIX path, which must lie inside the root.
  static void WriteAbsolute(const std::string& posixPath, std::string_view bytes);
  static std::string Read(const std::string& relativePath);
  static std::string ReadAbsolute(const std::string& posixPath);
  static bool ExistsAbsolute(const std::string& posixPath);
  // True when a resolved POSIX path lies strictly inside the folder (not the folder itself).
  static bool IsInside(const std::string& posixPath, const std::string& posixFolder);
};

// Bytes of a value as they stand in memory, for comparing records.
template <typename T>
std::string_view BytesOf(const T& value) {
  return std::string_view(reinterpret_cast<const char*>(&value), sizeof value);
}

// A market of one category with two sessions (09:30-11:30, 13:00-15:00) for the cache
// targets: the kind, the market code (at most 8 bytes kept), the hour offset, the capacity
// and the category's day-change minute as the input chose them.
MarketRecord TwoSessionMarket(int kind, std::string_view code, int hourOffset, int capacity, int dayChangeMinute);

// A hidden window of its own class with the given procedure, made on first use and kept for
// the process (the main window a target's messages go to).
HWND HiddenWindow(const char* className, WNDPROC procedure);

}  // namespace fuzz
