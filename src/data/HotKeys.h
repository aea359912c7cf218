// The hot keys of the 81 main-window commands: the record and key-mask bits, the default table,
// the user's HotKey.ini ([HotKey] h1..h81), the text form of a key ("CTRL+S", "61+ENTER",
// "ALT+F12") in both directions, and the matching of a pressed virtual key to a command.
// A key chord fires its command directly; typed keys finished with ENTER are offered by the
// keyboard wizard instead and are never matched here. User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>

constexpr int kHotKeyCount = 81;        // command ids 1..81, records 0..80
constexpr int kHotKeyTableSize = 128;   // records after the 81st stay zero
constexpr int kHotKeyTypedSize = 16;    // at most 15 typed characters and the terminator
constexpr int kHotKeyNameSize = 16;
constexpr int kHotKeyTextSize = 64;     // room for any text FormatHotKey writes

// Held in memory only (HotKey.ini stores texts), so the record keeps its natural alignment and
// its fields can be bound to references.
struct HotKeyRecord {
  std::uint8_t commandId;               // 0 ends the table
  std::uint32_t keyMask;                // kKey* bits
  char typedKeys[kHotKeyTypedSize];     // upper-case, zero-terminated
  char name[kHotKeyNameSize];           // command name, GBK, zero-terminated
};
static_assert(sizeof(HotKeyRecord) == 40);

// Key-mask bits.
constexpr std::uint32_t kKeyCtrl = 0x1;
constexpr std::uint32_t kKeyShift = 0x2;
constexpr std::uint32_t kKeyAlt = 0x4;
constexpr std::uint32_t kKeyEnter = 0x8;
constexpr std::uint32_t kKeyTab = 0x10;
constexpr std::uint32_t kKeyBackspace = 0x20;
constexpr std::uint32_t kKeyInsert = 0x40;
constexpr std::uint32_t kKeyDelete = 0x80;
constexpr std::uint32_t kKeyHome = 0x100;
constexpr std::uint32_t kKeyEnd = 0x200;
constexpr std::uint32_t kKeyPageUp = 0x400;
constexpr std::uint32_t kKeyPageDown = 0x800;
constexpr std::uint32_t kKeyUp = 0x1000;
constexpr std::uint32_t kKeyLeft = 0x2000;
constexpr std::uint32_t kKeyDown = 0x4000;
constexpr std::uint32_t kKeyRight = 0x8000;
constexpr std::uint32_t kKeySpace = 0x10000;
constexpr std::uint32_t kKeyF1 = 0x20000;       // F1..F12 are consecutive bits up to 0x10000000
constexpr std::uint32_t kKeyF12 = 0x10000000;
constexpr std::uint32_t kKeyEsc = 0x20000000;
constexpr std::uint32_t kKeyModifiers = kKeyCtrl | kKeyShift | kKeyAlt;
// Bit of function key n (1..12).
constexpr std::uint32_t KeyF(int n) { return kKeyF1 << (n - 1); }

// The hot-key table: records 0..80 hold ids 1..81 after LoadHotKeys, the rest are zero.
// The hot-key editor parses into a copy of the table and puts the copy here only once every
// row passed; it then calls SaveHotKeys and puts the old records back when that fails.
extern HotKeyRecord HotKeyTable[kHotKeyTableSize];

// Command name and default key text of a command id 1..81; null for any other id.
const char* HotKeyCommandName(int id);
const char* DefaultHotKeyText(int id);

// Clears the table and fills ids 1..81 from [HotKey] h<id> of <UserDir>HotKey.ini (a missing
// key or file takes the default text). Never fails.
void LoadHotKeys();
// Writes h<id> = FormatHotKey of every record up to the first zero id; false when a write
// fails (the remaining keys are still attempted).
bool SaveHotKeys();

// Parses a key text into the record's key mask and typed keys (command id and name untouched).
// Case and blanks do not matter ("ctrl + s" is "CTRL+S"); characters outside A-Z 0-9 and
// ' * + , - . / ; = [ \ ] ` are dropped, double-byte characters with both their bytes. Unknown or empty text gives an empty key (mask 0).
// At most 15 typed keys are kept; where that cut would leave them ending in a modifier's name
// ("...CTRL" before "+ENTER"), one key fewer. Every text FormatHotKey writes of a parsed record
// parses back to the same mask and typed keys.
void ParseHotKey(HotKeyRecord* record, const char* text);
// The key as stored text ("SHIFT+CTRL+S" is written "CTRL+SHIFT+S"); an empty key gives "".
// Writes at most size-1 bytes and a terminator; returns the length written.
int FormatHotKey(const HotKeyRecord& record, char* out, int size = kHotKeyTextSize);
// The key as menu text: like FormatHotKey, but ENTER after modifiers or typed keys is left out
// ("CTRL+ENTER" shows as "CTRL", "61+ENTER" as "61"). A single typed key without modifiers
// (key mask 0, such as the default "-") shows as itself, as it fires its command; only a record
// without any key gives "".
// Both formatters read at most the 16 bytes of typedKeys, terminated or not.
int FormatHotKeyCaption(const HotKeyRecord& record, char* out, int size = kHotKeyTextSize);

// States of the modifier keys and NUM LOCK at the moment of a key press.
struct KeyboardState {
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
  bool numLock = false;
};

// The command id whose hot key is this virtual key (Windows codes) under these states, or 0.
// Only chords take part (no typed key, or one typed key without ENTER); modifiers must match
// exactly; keypad digits are digits with NUM LOCK on and navigation keys with it off.
int MatchHotKey(unsigned virtualKey, const KeyboardState& state);
// Same, with the states read from the keyboard state source at the moment of the call.
int MatchHotKey(unsigned virtualKey);
// The states the keyboard state source gives now.
KeyboardState CurrentKeyboardState();
// Replaces the keyboard state source (for a caller that tracks the key
// states differently, tests install fixed states). An empty function restores the default,
// the platform's GetKeyState of CTRL, SHIFT, ALT and the NUM LOCK toggle.
void SetKeyboardStateSource(std::function<KeyboardState()> source);
