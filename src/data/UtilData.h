// The user's settings and the process-wide tables read from them: where the user's files live
// (UserDir), the colours and fonts of the current theme, the order and visibility of the chart
// cycles, the bar limit MaxDataRecords with its shared bar scratch buffer, and the clock word.
// TUtilData::Startup settles all of them; the program's entry and tests call it explicitly (no
// work happens in a static constructor). Every table here belongs to the user-interface thread;
// the clock word is written by that thread only (start-up, connect, the push client).
#pragma once

#include "platform/WinBase.h"

#include <cstdint>
#include <string>
#include <string_view>

constexpr int kColorCount = 64;        // COLOR01 .. COLOR64
constexpr int kFontCount = 16;         // FONT01 .. FONT16
constexpr int kCycleCount = 15;        // chart cycles 0 .. 14
constexpr int kFontFaceSize = 15;      // 14 bytes of face name and the terminator
constexpr int kUserDirSize = MAX_PATH; // at most 259 characters, always ending in a backslash

constexpr int kDefaultMaxDataRecords = 15000;
// MaxDataRecords is clamped into this range: it sizes buffers, so it must be neither 0 nor huge.
constexpr int kMinMaxDataRecords = 100;
constexpr int kMaxMaxDataRecords = 1000000;
constexpr int kBarRecordSize = 32;     // one ChartBar
constexpr int kBarScratchSlack = 100;  // extra bytes after the bars in the scratch buffer

// One font of the theme: "%d,%d,%s" = style (bit 0: bold), height, face.
struct FontRecord {
  std::uint8_t style;          // 1 bold, 0 normal
  char face[kFontFaceSize];    // GBK, zero-terminated, cut on a character boundary
  std::int32_t height;
};
static_assert(sizeof(FontRecord) == 20);

// The chart cycles in display order with their visibility (CycleOrder setting).
struct CycleOrderRecord {
  std::uint8_t cycles[kCycleCount];  // chart cycle codes 0..14, each once
  std::uint8_t shown[kCycleCount];   // 1 shown, 0 hidden
};

// ---- Process-wide state ---------------------------------------------------------------------
// The user directory; every user file is named by prefixing it ("%sSETTING.INI").
extern char UserDir[kUserDirSize];
// Entry n-1 is COLOR<nn> of [Color<theme>] of the user's SETTING.INI (0x00BBGGRR); the entries
// stay at fixed addresses for the whole run (formulas keep pointers to single entries).
extern COLORREF ColorTable[kColorCount];
extern FontRecord FontTable[kFontCount];
extern CycleOrderRecord CycleOrderTable;
extern int LastTheme;
// The most bars a bar series holds and the size of bar buffers; always within
// [kMinMaxDataRecords, kMaxMaxDataRecords].
extern int MaxDataRecords;
// The clock word: a PackedTime (bits 0-5 minute, 6-10 hour, 11-15 day, 16-19 month, 20-31 year)
// of the current UTC date and time. Set by UpdateSystemNow and by the push client.
extern std::uint32_t SystemNow;

// How the user directory was settled by TUtilData::Startup.
enum class UserDirStatus {
  Configured,   // [Path] UserPath of ..\CFG\UserPath.INI, writable
  Default,      // UserPath empty: the application-data folder's "zuvo\" (or ..\cfg\user\)
  Replaced,     // UserPath not writable: replaced by a writable folder, written back
  NotWritable,  // no candidate folder could be written: settings cannot be saved
};

class TUtilData {
 public:
  // The start-up sequence: makes programDir the current directory (null: the program file's
  // folder; "." keeps the current one, as tests do inside a temporary install tree), settles
  // UserDir (a configured path that is not writable, or longer than 259 characters with its
  // final backslash, is replaced by a writable fall-back, which is written back to
  // UserPath.INI), creates "<UserDir>stoporder", seeds SETTING.INI, the theme colours and fonts and
  // blocks.ini in the user directory, then UpdateSystemNow and LoadUserSettings. Returns how
  // the user directory was settled; on NotWritable the tables still hold the readable settings
  // (or defaults) and the caller must tell the user (UserDirNotWritableText).
  static UserDirStatus Startup(const char* programDir = nullptr);
  // Frees the bar scratch buffer. Safe to call more than once.
  static void Shutdown();
};

// The status of the last Startup (NotWritable before any Startup).
UserDirStatus GetUserDirStatus();
// A GBK message naming UserDir for an error box when the status is NotWritable.
std::string UserDirNotWritableText();
// UserDir followed by name ("HotKey.ini" -> "<UserDir>HotKey.ini").
std::string UserFilePath(std::string_view name);

// Reads LastTheme, MaxDataRecords, the theme's colours and fonts, CycleOrder and the hot keys,
// in that order. Missing files and keys give the defaults; nothing fails.
void LoadUserSettings();
// Reload ColorTable / FontTable from [Color<theme>] / [Font<theme>] of the user's SETTING.INI.
// A missing colour is 0; a missing font is "0,11,宋体". A face longer than 14 bytes is cut on a
// GBK character boundary; faces may contain spaces. An unreadable height gives 11.
void LoadThemeColors(int theme);
void LoadThemeFonts(int theme);
// Rereads [Parameter] MaxDataRecords of ..\CFG\SETTING.INI (the program's copy, never the
// user's), clamped into range; when the value changes the scratch buffer is released and the
// next GetBarScratch allocates one of the new size. Returns the new value.
int LoadMaxDataRecords();

// CycleOrder text <-> table. The text is comma-separated tokens: a visibility character ('0'
// hidden, anything else shown) and a cycle code T 1 3 Y 5 15 30 60 D W M S X 120 240 (cycles 0
// to 14). Unknown tokens are dropped whole (up to their comma), empty tokens and repeats are
// skipped; missing cycles are appended hidden in numeric order, so the result always holds each
// cycle exactly once.
void ParseCycleOrderText(const char* text, CycleOrderRecord* out);
// Writes "1D,0T,01,..." (no trailing comma) into out (size bytes, always terminated); returns
// the length written. 128 bytes always suffice.
int FormatCycleOrder(const CycleOrderRecord& order, char* out, int size);
// ParseCycleOrderText of [Parameter] CycleOrder of the user's SETTING.INI into CycleOrderTable.
void ParseCycleOrder();
// Writes CycleOrderTable to [Parameter] CycleOrder; false when the file cannot be written.
bool WriteCycleOrder();

// Sets SystemNow from the system clock (UTC): year, month, day, hour, minute.
void UpdateSystemNow();

// Colour-table index of a price against its reference, the value first as every caller passes
// it ("PriceColorIndex(last, previousClose)"): 19 (COLOR20, level) when the value is 0 or equals
// the reference, 20 (COLOR21, up) when it is above, 18 (COLOR19, down) when below; unsigned.
int PriceColorIndex(std::uint32_t value, std::uint32_t reference);

// The shared bar scratch buffer of MaxDataRecords * 32 + 100 bytes, made on first use; null
// when it cannot be allocated (the bar reader then reads nothing). It is replaced when
// MaxDataRecords changes, so callers never keep the pointer across a settings change.
void* GetBarScratch();
// Its usable size in bytes (what GetBarScratch returns now, or would allocate).
std::uint32_t GetBarScratchSize();
