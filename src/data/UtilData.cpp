#include "data/UtilData.h"

#include "core/CoreUtil.h"
#include "core/GuardedAlloc.h"
#include "core/PackedTime.h"
#include "data/HotKeys.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace zuvo::platform;

char UserDir[kUserDirSize];
COLORREF ColorTable[kColorCount];
FontRecord FontTable[kFontCount];
CycleOrderRecord CycleOrderTable;
int LastTheme;
int MaxDataRecords = kDefaultMaxDataRecords;
std::uint32_t SystemNow;

namespace {

constexpr const char* kUserPathIni = "..\\CFG\\UserPath.INI";
constexpr const char* kSystemSettingIni = "..\\CFG\\SETTING.INI";
constexpr const char* kCfgUserDir = "..\\cfg\\user";
constexpr const char* kDefaultFont = "0,11,宋体";
constexpr const char* kDefaultCycleOrder = "0T,11,13,15,115,130,160,1120,1240,0Y,1D,1W,1M,1S,0X";
constexpr int kMaxUserDirLength = kUserDirSize - 1;

// The block file a new user directory starts with: an empty user block group.
constexpr char kEmptyBlocksIni[] = "[FileInfo]\r\nVersion=1\r\n\r\n[我的板块]\r\n";
static_assert(sizeof(kEmptyBlocksIni) - 1 == 37);

// Cycle codes of the CycleOrder text, indexed by chart cycle.
constexpr const char* kCycleCodes[kCycleCount] = {"T", "1",  "3", "Y", "5", "15", "30", "60",
                                                  "D", "W",  "M", "S", "X", "120", "240"};

UserDirStatus g_status = UserDirStatus::NotWritable;
void* g_barScratch = nullptr;
std::uint32_t g_barScratchSize = 0;

std::string UserSettingIni() { return UserFilePath("SETTING.INI"); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Offset of the last separator of a GBK path, or npos. The trail byte of a double-byte
// character may equal '\\' ("淺" is 9C 5C) and is no separator.
std::size_t LastSeparator(std::string_view path) {
  std::size_t last = std::string_view::npos;
  for (std::size_t at = 0; at < path.size();) {
    const std::size_t length = gbk::CharLength(path, at);
    if (length == 1 && IsSeparator(path[at])) last = at;
    at += length;
  }
  return last;
}

bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && LastSeparator(path) == path.size() - 1;
}

void StripTrailingSeparators(std::string& path) {
  while (EndsWithSeparator(path)) path.pop_back();
}

// Creates the folder (and its parents) and proves it writable by creating and deleting a file.
bool PrepareWritableDir(const std::string& dir) {
  CreateDirectoryPath(dir.c_str());
  const std::string probe = dir + "AccesChk.tmp";
  HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  DeleteFileA(probe.c_str());
  return true;
}

// The folders a user directory may fall back on, in order of preference: the per-user
// application-data folder's "zuvo", then the install tree's cfg\user. No trailing backslash.
std::vector<std::string> FallbackBases() {
  std::vector<std::string> bases;
  char appData[MAX_PATH] = {};
  if (SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, TRUE) && appData[0] != 0) {
    std::string base = appData;
    StripTrailingSeparators(base);
    base += "\\zuvo";
    if (static_cast<int>(base.size()) < kMaxUserDirLength) bases.push_back(base);
  }
  bases.push_back(kCfgUserDir);
  return bases;
}

// The last component of a configured path (the whole text when it has no separator), or ""
// when that component is not a plain folder name ("D:", "..").
std::string LastComponent(std::string path) {
  StripTrailingSeparators(path);
  const std::size_t cut = LastSeparator(path);
  std::string component = cut == std::string::npos ? path : path.substr(cut + 1);
  return paths::IsSafeComponent(component) ? component : std::string();
}

void SetUserDir(const std::string& dir) {
  std::snprintf(UserDir, sizeof UserDir, "%s", dir.c_str());
}

// Settles UserDir from [Path] UserPath; see TUtilData::Startup.
UserDirStatus SettleUserDir() {
  // Read more than a user directory may hold: a longer path must be refused, not cut to a
  // shorter one that may name another (parent) folder.
  char configured[4 * kUserDirSize] = {};
  GetPrivateProfileStringA("Path", "UserPath", "", configured, sizeof configured, kUserPathIni);
  std::string path = configured;

  std::string component;
  if (!path.empty()) {
    if (!EndsWithSeparator(path)) path += '\\';
    // A path that has no room for its backslash is as unusable as an unwritable one.
    if (static_cast<int>(path.size()) <= kMaxUserDirLength && PrepareWritableDir(path)) {
      SetUserDir(path);
      return UserDirStatus::Configured;
    }
    component = LastComponent(configured);
  }

  std::string first;
  for (const std::string& base : FallbackBases()) {
    std::string candidate = base + "\\";
    if (!component.empty() &&
        static_cast<int>(candidate.size() + component.size() + 1) <= kMaxUserDirLength) {
      candidate += component + "\\";
    }
    if (first.empty()) first = candidate;
    if (PrepareWritableDir(candidate)) {
      SetUserDir(candidate);
      if (path.empty()) return UserDirStatus::Default;
      WritePrivateProfileStringA("Path", "UserPath", UserDir, kUserPathIni);
      return UserDirStatus::Replaced;
    }
  }
  // Nothing can be written. Keep the preferred fall-back so that whatever settings it already
  // holds are still read; the configured path stays in UserPath.INI for the next start.
  SetUserDir(first);
  return UserDirStatus::NotWritable;
}

void WriteThemeSeeds(const std::string& ini) {
  struct Seed {
    const char* key;
    const char* value;
  };
  static constexpr Seed kDarkColors[] = {{"Color32", "15198183"}, {"Color56", "8404992"},
                                         {"Color62", "12615680"}, {"Color61", "2631720"},
                                         {"Color40", "5263440"}};
  static constexpr Seed kLightColors[] = {{"Color32", "16761992"}, {"Color56", "16768185"},
                                          {"Color62", "16772829"}, {"Color61", "15198183"}};
  static constexpr Seed kFonts[] = {{"Font01", "0,19,黑体"},   {"Font08", "0,16,Tahoma"},
                                    {"Font09", "0,19,Tahoma"}, {"Font11", "0,32,Tahoma"},
                                    {"Font15", "0,15,Tahoma"}};
  const char* file = ini.c_str();
  for (const Seed& s : kDarkColors) WritePrivateProfileStringA("COLOR0", s.key, s.value, file);
  for (const Seed& s : kLightColors) WritePrivateProfileStringA("COLOR1", s.key, s.value, file);
  for (int i = 0; i < 4; ++i) WritePrivateProfileStringA("COLOR2", kDarkColors[i].key, kDarkColors[i].value, file);
  for (const Seed& s : kDarkColors) WritePrivateProfileStringA("COLOR3", s.key, s.value, file);
  for (const char* section : {"Font0", "Font1", "Font2", "Font3"}) {
    for (const Seed& s : kFonts) WritePrivateProfileStringA(section, s.key, s.value, file);
  }
  WritePrivateProfileStringA("Parameter", "ThemeVer", "1", file);
}

// Reads a leading signed decimal number; false when there are no digits.
bool ReadNumber(const char*& p, long& value) {
  char* end = nullptr;
  value = std::strtol(p, &end, 10);
  if (end == p) return false;
  p = end;
  return true;
}

// "%d,%d,%s" = style, height, face. Fields that cannot be read keep the default's value; the
// face is the whole rest (spaces inside kept), cut to the field on a GBK character boundary.
FontRecord ParseFont(const char* text) {
  long style = 0;
  long height = 11;
  const char* face = "宋体";
  const char* p = text;
  long value = 0;
  if (ReadNumber(p, value) && *p == ',') {
    style = value;
    ++p;
    if (ReadNumber(p, value) && value >= INT32_MIN && value <= INT32_MAX) height = value;
    if (*p == ',') {
      ++p;
      while (*p == ' ' || *p == '\t') ++p;
      if (*p != 0) face = p;
    }
  }
  FontRecord font{};
  font.style = static_cast<std::uint8_t>(style & 1);
  font.height = static_cast<std::int32_t>(height);
  std::size_t length = gbk::CutLength(face, kFontFaceSize - 1);
  std::memcpy(font.face, face, length);
  font.face[length] = 0;
  return font;
}

}  // namespace

UserDirStatus TUtilData::Startup(const char* programDir) {
  if (programDir == nullptr) {
    char module[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length > 0 && length < sizeof module) {
      char* slash = std::strrchr(module, '\\');
      if (slash != nullptr) {
        *slash = 0;
        SetCurrentDirectoryA(module);
      }
    }
  } else {
    SetCurrentDirectoryA(programDir);
  }

  g_status = SettleUserDir();

  CreateDirectoryPath(UserFilePath("stoporder").c_str());

  const std::string settingIni = UserSettingIni();
  if (GetFileAttributesA(settingIni.c_str()) == INVALID_FILE_ATTRIBUTES) {
    CopyFileA(kSystemSettingIni, settingIni.c_str(), TRUE);
  }
  if (GetPrivateProfileIntA("Parameter", "ThemeVer", 0, settingIni.c_str()) == 0) {
    WriteThemeSeeds(settingIni);
  }

  const std::string blocksIni = UserFilePath("blocks.ini");
  if (GetFileAttributesA(blocksIni.c_str()) == INVALID_FILE_ATTRIBUTES) {
    files::AtomicReplace(blocksIni, kEmptyBlocksIni, sizeof(kEmptyBlocksIni) - 1);
  }

  UpdateSystemNow();
  LoadUserSettings();
  return g_status;
}

void TUtilData::Shutdown() {
  GuardedFree(g_barScratch);
  g_barScratch = nullptr;
  g_barScratchSize = 0;
}

UserDirStatus GetUserDirStatus() { return g_status; }

std::string UserDirNotWritableText() {
  return std::string("无法写入用户目录“") + UserDir + "”，设置将无法保存。  ";
}

std::string UserFilePath(std::string_view name) {
  std::string path = UserDir;
  path.append(name);
  return path;
}

void LoadUserSettings() {
  const std::string ini = UserSettingIni();
  LastTheme = static_cast<int>(GetPrivateProfileIntA("Parameter", "LastTheme", 0, ini.c_str()));
  LoadMaxDataRecords();
  LoadThemeColors(LastTheme);
  LoadThemeFonts(LastTheme);
  ParseCycleOrder();
  LoadHotKeys();
}

void LoadThemeColors(int theme) {
  const std::string ini = UserSettingIni();
  char section[32];
  std::snprintf(section, sizeof section, "Color%d", theme);
  for (int n = 1; n <= kColorCount; ++n) {
    char key[16];
    std::snprintf(key, sizeof key, "COLOR%02d", n);
    ColorTable[n - 1] = static_cast<COLORREF>(GetPrivateProfileIntA(section, key, 0, ini.c_str()));
  }
}

void LoadThemeFonts(int theme) {
  const std::string ini = UserSettingIni();
  char section[32];
  std::snprintf(section, sizeof section, "Font%d", theme);
  for (int n = 1; n <= kFontCount; ++n) {
    char key[16];
    std::snprintf(key, sizeof key, "FONT%02d", n);
    char value[32] = {};
    GetPrivateProfileStringA(section, key, kDefaultFont, value, sizeof value, ini.c_str());
    FontTable[n - 1] = ParseFont(value);
  }
}

int LoadMaxDataRecords() {
  int value = static_cast<int>(GetPrivateProfileIntA("Parameter", "MaxDataRecords",
                                                     kDefaultMaxDataRecords, kSystemSettingIni));
  if (value <= 0) value = kDefaultMaxDataRecords;
  if (value < kMinMaxDataRecords) value = kMinMaxDataRecords;
  if (value > kMaxMaxDataRecords) value = kMaxMaxDataRecords;
  if (value != MaxDataRecords) {
    // Buffers are sized from the limit: a buffer of the old size must not serve the new one.
    MaxDataRecords = value;
    TUtilData::Shutdown();
  }
  return MaxDataRecords;
}

void ParseCycleOrderText(const char* text, CycleOrderRecord* out) {
  bool held[kCycleCount] = {};
  int count = 0;
  const std::size_t length = text ? std::strlen(text) : 0;
  std::size_t pos = 0;
  while (pos < length && count < kCycleCount) {
    if (text[pos] == ',') {   // an empty token: nothing to read, and no visibility to take
      ++pos;
      continue;
    }
    const char visibility = text[pos];
    const char* code = text + pos + 1;
    std::size_t codeLength = std::strcspn(code, ",");
    int cycle = -1;
    for (int c = 0; c < kCycleCount; ++c) {
      if (std::strlen(kCycleCodes[c]) == codeLength && std::strncmp(code, kCycleCodes[c], codeLength) == 0) {
        cycle = c;
        break;
      }
    }
    if (cycle < 0) {
      // An unknown token is dropped whole. Stepping two characters into it instead would read
      // its tail as a token of its own: "1QQQ,015" would show 5 minutes instead of hiding 15.
      pos += 1 + codeLength + 1;
      continue;
    }
    if (!held[cycle]) {
      held[cycle] = true;
      out->cycles[count] = static_cast<std::uint8_t>(cycle);
      out->shown[count] = visibility != '0' ? 1 : 0;
      ++count;
    }
    pos += 1 + codeLength + 1;   // past the code and its comma
  }
  for (int c = 0; c < kCycleCount && count < kCycleCount; ++c) {
    if (held[c]) continue;
    out->cycles[count] = static_cast<std::uint8_t>(c);
    out->shown[count] = 0;
    ++count;
  }
}

int FormatCycleOrder(const CycleOrderRecord& order, char* out, int size) {
  if (out == nullptr || size <= 0) return 0;
  std::string text;
  for (int i = 0; i < kCycleCount; ++i) {
    if (order.cycles[i] >= kCycleCount) continue;
    if (!text.empty()) text += ',';
    text += order.shown[i] ? '1' : '0';
    text += kCycleCodes[order.cycles[i]];
  }
  const int length = std::min(static_cast<int>(text.size()), size - 1);
  std::memcpy(out, text.data(), static_cast<std::size_t>(length));
  out[length] = 0;
  return length;
}

void ParseCycleOrder() {
  char text[64] = {};
  GetPrivateProfileStringA("Parameter", "CycleOrder", kDefaultCycleOrder, text, sizeof text,
                           UserSettingIni().c_str());
  ParseCycleOrderText(text, &CycleOrderTable);
}

bool WriteCycleOrder() {
  char text[128];
  FormatCycleOrder(CycleOrderTable, text, sizeof text);
  return WritePrivateProfileStringA("Parameter", "CycleOrder", text, UserSettingIni().c_str()) != FALSE;
}

void UpdateSystemNow() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  SystemNow = MakePackedTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
}

int PriceColorIndex(std::uint32_t value, std::uint32_t reference) {
  if (value == 0 || value == reference) return 19;
  return value > reference ? 20 : 18;
}

void* GetBarScratch() {
  if (g_barScratch == nullptr) {
    std::uint32_t size = GetBarScratchSize();
    g_barScratch = GuardedAlloc(size);
    g_barScratchSize = g_barScratch ? size : 0;
  }
  return g_barScratch;
}

std::uint32_t GetBarScratchSize() {
  if (g_barScratch != nullptr) return g_barScratchSize;
  return static_cast<std::uint32_t>(MaxDataRecords) * kBarRecordSize + kBarScratchSlack;
}
