#include "data/HotKeys.h"

#include "data/UtilData.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

HotKeyRecord HotKeyTable[kHotKeyTableSize];

namespace {

struct DefaultHotKey {
  const char* name;
  const char* text;
};

// Command names and default keys of ids 1..81, in id order.
constexpr DefaultHotKey kDefaults[kHotKeyCount] = {
    {"闪电图", "0+ENTER"},        {"1分钟线", "1+ENTER"},       {"3分钟线", ""},
    {"5分钟线", "2+ENTER"},       {"15分钟线", "3+ENTER"},      {"30分钟线", "4+ENTER"},
    {"60分钟线", "5+ENTER"},      {"120分钟线", ""},            {"240分钟线", ""},
    {"日线", "6+ENTER"},          {"周线", "7+ENTER"},          {"月线", "8+ENTER"},
    {"季线", "9+ENTER"},          {"任意分钟", "M+ENTER"},      {"任意天", "D+ENTER"},
    {"上证Ａ股", "1+ENTER"},      {"上证Ｂ股", "2+ENTER"},      {"上证债券", "5+ENTER"},
    {"深证Ａ股", "3+ENTER"},      {"深证Ｂ股", "4+ENTER"},      {"深证债券", "6+ENTER"},
    {"上证Ａ股涨幅", "61+ENTER"}, {"上证Ｂ股涨幅", "62+ENTER"}, {"上证债券涨幅", "65+ENTER"},
    {"深证Ａ股涨幅", "63+ENTER"}, {"深证Ｂ股涨幅", "64+ENTER"}, {"深证债券涨幅", "66+ENTER"},
    {"成交明细", "F1"},           {"成交明细", "01+ENTER"},     {"价量分布", "F2"},
    {"价量分布", "02+ENTER"},     {"上证领先指标", "F3"},       {"上证领先指标", "03+ENTER"},
    {"深证领先指标", "F4"},       {"深证领先指标", "04+ENTER"}, {"图形切换", "F5"},
    {"图形切换", "05+ENTER"},     {"自选品种", "F6"},           {"自选品种", "06+ENTER"},
    {"窗口缩放", "F7"},           {"窗口缩放", "07+ENTER"},     {"周期循环", "F8"},
    {"周期循环", "08+ENTER"},     {"新闻资讯", "F9"},           {"新闻资讯", "09+ENTER"},
    {"基本面资料", "F10"},        {"基本面资料", "10+ENTER"},   {"网上交易", "F12"},
    {"信息地雷", "16+ENTER"},     {"上交所公告", "71+ENTER"},   {"深交所公告", "72+ENTER"},
    {"沪Ａ综合排名", "81+ENTER"}, {"沪Ｂ综合排名", "82+ENTER"}, {"沪债券综合排名", "85+ENTER"},
    {"深Ａ综合排名", "83+ENTER"}, {"深Ｂ综合排名", "84+ENTER"}, {"深债券综合排名", "86+ENTER"},
    {"循环报价", "-"},            {"全屏", "CTRL+P"},           {"关闭窗口", "CTRL+F4"},
    {"页面循环", "CTRL+S"},       {"数据刷新", ""},             {"添加板块", "CTRL+M"},
    {"关闭板块", "CTRL+C"},       {"加入自选", "CTRL+Z"},       {"信息窗口", "CTRL+L"},
    {"商品叠加", "CTRL+O"},       {"套利分析", "CTRL+A"},       {"画线工具", "ALT+F12"},
    {"前复权", "CTRL+V"},         {"后复权", "CTRL+B"},         {"指标管理", "CTRL+F"},
    {"坐标反转", "CTRL+R"},       {"反向周期循环", "SHIFT+F8"}, {"反向页面循环", "SHIFT+CTRL+S"},
    {"退出", "ALT+F4"},           {"指标上翻", "/"},            {"指标上翻", "HOME"},
    {"指标下翻", "*"},            {"指标下翻", "END"},          {"预警设置", ""},
};

struct NamedKey {
  const char* text;
  std::uint32_t bit;
};

// Named keys in the order the parser tries them. F12..F10 come before F1 so that "F1" does not
// take the start of "F10". ESC is parsed as well, since FormatHotKey writes it.
constexpr NamedKey kParsedKeys[] = {
    {"TAB", kKeyTab},     {"BACKSPACE", kKeyBackspace}, {"INSERT", kKeyInsert},
    {"DELETE", kKeyDelete}, {"HOME", kKeyHome},         {"END", kKeyEnd},
    {"PAGEUP", kKeyPageUp}, {"PAGEDOWN", kKeyPageDown}, {"UP", kKeyUp},
    {"LEFT", kKeyLeft},   {"DOWN", kKeyDown},           {"RIGHT", kKeyRight},
    {"SPACE", kKeySpace}, {"F12", KeyF(12)},            {"F11", KeyF(11)},
    {"F10", KeyF(10)},    {"F1", KeyF(1)},              {"F2", KeyF(2)},
    {"F3", KeyF(3)},      {"F4", KeyF(4)},              {"F5", KeyF(5)},
    {"F6", KeyF(6)},      {"F7", KeyF(7)},              {"F8", KeyF(8)},
    {"F9", KeyF(9)},      {"ESC", kKeyEsc},
};

// Names of the named-key bits, lowest bit first (the order the formatter picks the first).
constexpr NamedKey kFormattedKeys[] = {
    {"TAB", kKeyTab},       {"BACKSPACE", kKeyBackspace}, {"INSERT", kKeyInsert},
    {"DELETE", kKeyDelete}, {"HOME", kKeyHome},           {"END", kKeyEnd},
    {"PAGEUP", kKeyPageUp}, {"PAGEDOWN", kKeyPageDown},   {"UP", kKeyUp},
    {"LEFT", kKeyLeft},     {"DOWN", kKeyDown},           {"RIGHT", kKeyRight},
    {"SPACE", kKeySpace},   {"F1", KeyF(1)},              {"F2", KeyF(2)},
    {"F3", KeyF(3)},        {"F4", KeyF(4)},              {"F5", KeyF(5)},
    {"F6", KeyF(6)},        {"F7", KeyF(7)},              {"F8", KeyF(8)},
    {"F9", KeyF(9)},        {"F10", KeyF(10)},            {"F11", KeyF(11)},
    {"F12", KeyF(12)},      {"ESC", kKeyEsc},
};

constexpr std::uint32_t kNamedKeys = ~(kKeyModifiers | kKeyEnter);
constexpr int kMaxTypedKeys = kHotKeyTypedSize - 1;
constexpr int kMaxKeyText = 255;

bool IsKeptCharacter(char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::strchr("'*+,-./;=[\\]`", c) != nullptr && c != 0;
}

bool StartsWith(const std::string& text, std::size_t pos, const char* prefix) {
  return text.compare(pos, std::strlen(prefix), prefix) == 0;
}

bool EndsWithModifierName(std::string_view typed) {
  for (const std::string_view name : {"CTRL", "SHIFT", "ALT"}) {
    if (typed.ends_with(name)) return true;
  }
  return false;
}

void CopyText(char* out, int size, const std::string& text) {
  if (out == nullptr || size <= 0) return;
  std::size_t length = std::min(text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(out, text.data(), length);
  out[length] = 0;
}

// The typed keys of a record, never read past their field.
std::string_view TypedKeys(const HotKeyRecord& record) {
  const void* end = std::memchr(record.typedKeys, 0, kHotKeyTypedSize);
  return {record.typedKeys,
          end ? static_cast<std::size_t>(static_cast<const char*>(end) - record.typedKeys)
              : static_cast<std::size_t>(kHotKeyTypedSize)};
}

const char* FirstNamedKey(std::uint32_t mask) {
  for (const NamedKey& key : kFormattedKeys) {
    if (mask & key.bit) return key.text;
  }
  return nullptr;
}

std::string Modifiers(std::uint32_t mask) {
  std::string text;
  if (mask & kKeyCtrl) text += "CTRL+";
  if (mask & kKeyAlt) text += "ALT+";
  if (mask & kKeyShift) text += "SHIFT+";
  return text;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The lines of [HotKey] as they stand in the file (none when it or the section is missing).
std::vector<std::string> ReadSectionLines(const char* ini) {
  std::vector<char> buffer(16 * 1024);
  DWORD length = 0;
  for (;;) {
    length = GetPrivateProfileSectionA("HotKey", buffer.data(), static_cast<DWORD>(buffer.size()), ini);
    if (length + 2 < buffer.size() || buffer.size() >= (1u << 24)) break;
    buffer.resize(buffer.size() * 4);   // cut short: read again with room for all of it
  }
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < length && buffer[at] != 0;) {
    std::string line(buffer.data() + at);
    at += line.size() + 1;
    lines.push_back(std::move(line));
  }
  return lines;
}

std::function<KeyboardState()>& KeyboardSource() {
  static std::function<KeyboardState()> source;
  return source;
}

KeyboardState PlatformKeyboardState() {
  KeyboardState state;
  state.ctrl = GetKeyState(VK_CONTROL) < 0;
  state.shift = GetKeyState(VK_SHIFT) < 0;
  state.alt = GetKeyState(VK_MENU) < 0;
  state.numLock = (GetKeyState(VK_NUMLOCK) & 1) != 0;
  return state;
}

// What a pressed key stands for: a named-key bit or a typed character (never both).
struct PressedKey {
  std::uint32_t bit = 0;
  char character = 0;
};

PressedKey TranslateKey(unsigned vk, bool numLock) {
  PressedKey key;
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) {
    const unsigned digit = vk - VK_NUMPAD0;
    if (numLock) {
      key.character = static_cast<char>('0' + digit);
    } else {
      // Keypad keys without NUM LOCK are the navigation keys printed on them; 5 has none.
      static constexpr std::uint32_t kNavigation[10] = {kKeyInsert, kKeyEnd, kKeyDown, kKeyPageDown,
                                                        kKeyLeft,   0,       kKeyRight, kKeyHome,
                                                        kKeyUp,     kKeyPageUp};
      key.bit = kNavigation[digit];
    }
    return key;
  }
  if (vk >= VK_F1 && vk <= VK_F12) {
    key.bit = KeyF(static_cast<int>(vk - VK_F1) + 1);
    return key;
  }
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
    key.character = static_cast<char>(vk);
    return key;
  }
  switch (vk) {
    case VK_BACK: key.bit = kKeyBackspace; break;
    case VK_TAB: key.bit = kKeyTab; break;
    case VK_RETURN: key.bit = kKeyEnter; break;
    case VK_ESCAPE: key.bit = kKeyEsc; break;
    case VK_SPACE: key.bit = kKeySpace; break;
    case VK_PRIOR: key.bit = kKeyPageUp; break;
    case VK_NEXT: key.bit = kKeyPageDown; break;
    case VK_END: key.bit = kKeyEnd; break;
    case VK_HOME: key.bit = kKeyHome; break;
    case VK_LEFT: key.bit = kKeyLeft; break;
    case VK_UP: key.bit = kKeyUp; break;
    case VK_RIGHT: key.bit = kKeyRight; break;
    case VK_DOWN: key.bit = kKeyDown; break;
    case VK_INSERT: key.bit = kKeyInsert; break;
    case VK_DELETE: key.bit = kKeyDelete; break;
    case VK_MULTIPLY: key.character = '*'; break;
    case VK_ADD: key.character = '+'; break;
    case VK_SUBTRACT:
    case VK_OEM_MINUS: key.character = '-'; break;
    case VK_DECIMAL:
    case VK_OEM_PERIOD: key.character = '.'; break;
    case VK_DIVIDE:
    case VK_OEM_2: key.character = '/'; break;
    case VK_OEM_1: key.character = ';'; break;
    case VK_OEM_PLUS: key.character = '='; break;
    case VK_OEM_COMMA: key.character = ','; break;
    case VK_OEM_3: key.character = '`'; break;
    case VK_OEM_4: key.character = '['; break;
    case VK_OEM_5: key.character = '\\'; break;
    case VK_OEM_6: key.character = ']'; break;
    case VK_OEM_7: key.character = '\''; break;
    default: break;
  }
  return key;
}

}  // namespace

const char* HotKeyCommandName(int id) {
  return id >= 1 && id <= kHotKeyCount ? kDefaults[id - 1].name : nullptr;
}

const char* DefaultHotKeyText(int id) {
  return id >= 1 && id <= kHotKeyCount ? kDefaults[id - 1].text : nullptr;
}

void LoadHotKeys() {
  std::memset(HotKeyTable, 0, sizeof HotKeyTable);
  const std::string ini = UserFilePath("HotKey.ini");
  for (int id = 1; id <= kHotKeyCount; ++id) {
    char key[8];
    std::snprintf(key, sizeof key, "h%d", id);
    char text[kMaxKeyText + 1] = {};
    GetPrivateProfileStringA("HotKey", key, kDefaults[id - 1].text, text, sizeof text, ini.c_str());
    HotKeyRecord& record = HotKeyTable[id - 1];
    record.commandId = static_cast<std::uint8_t>(id);
    ParseHotKey(&record, text);
    CopyText(record.name, kHotKeyNameSize, kDefaults[id - 1].name);
  }
}

bool SaveHotKeys() {
  const std::string ini = UserFilePath("HotKey.ini");
  // The whole section is written at once: one rewrite of the file instead of 81.
  std::string lines;
  std::vector<std::string> written;
  for (int i = 0; i < kHotKeyTableSize && HotKeyTable[i].commandId != 0; ++i) {
    char text[kHotKeyTextSize];
    FormatHotKey(HotKeyTable[i], text, sizeof text);
    char key[8];
    std::snprintf(key, sizeof key, "h%d", HotKeyTable[i].commandId);
    written.emplace_back(key);
    lines.append(key).append("=").append(text);
    lines += '\0';
  }
  // Other lines of the section (keys this program does not write) are kept after ours, as
  // key-by-key writes would keep them.
  for (const std::string& line : ReadSectionLines(ini.c_str())) {
    const std::string_view key = TrimBlanks(std::string_view(line).substr(0, line.find('=')));
    const bool replaced = std::any_of(written.begin(), written.end(), [&](const std::string& name) {
      return gbk::EqualsNoCase(key, name);
    });
    if (!replaced) {
      lines += line;
      lines += '\0';
    }
  }
  lines += '\0';
  return WritePrivateProfileSectionA("HotKey", lines.c_str(), ini.c_str()) != FALSE;
}

void ParseHotKey(HotKeyRecord* record, const char* text) {
  if (record == nullptr) return;
  record->keyMask = 0;
  std::memset(record->typedKeys, 0, sizeof record->typedKeys);
  if (text == nullptr) return;

  std::string keys;
  const std::string_view source = std::string_view(text).substr(0, kMaxKeyText);
  for (std::size_t at = 0; at < source.size();) {
    const std::size_t length = gbk::CharLength(source, at);
    char c = source[at];
    at += length;
    // A double-byte character is no key, and neither is its trail byte, which may look like
    // a letter or a bracket.
    if (length != 1) continue;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (IsKeptCharacter(c)) keys += c;
  }

  std::uint32_t mask = 0;
  std::string typed;
  std::size_t pos = 0;
  while (pos < keys.size()) {
    if (StartsWith(keys, pos, "CTRL+ENTER")) { mask |= kKeyCtrl | kKeyEnter; break; }
    if (StartsWith(keys, pos, "CTRL+")) { mask |= kKeyCtrl; pos += 5; continue; }
    if (StartsWith(keys, pos, "SHIFT+ENTER")) { mask |= kKeyShift | kKeyEnter; break; }
    if (StartsWith(keys, pos, "SHIFT+")) { mask |= kKeyShift; pos += 6; continue; }
    if (StartsWith(keys, pos, "ALT+ENTER")) { mask |= kKeyAlt | kKeyEnter; break; }
    if (StartsWith(keys, pos, "ALT+")) { mask |= kKeyAlt; pos += 4; continue; }
    if (StartsWith(keys, pos, "+ENTER")) {
      if ((mask & kKeyModifiers) != 0 || !typed.empty()) mask |= kKeyEnter;
      break;
    }
    const NamedKey* named = nullptr;
    for (const NamedKey& key : kParsedKeys) {
      if (StartsWith(keys, pos, key.text)) { named = &key; break; }
    }
    if (named != nullptr) { mask |= named->bit; break; }
    if (static_cast<int>(typed.size()) < kMaxTypedKeys) typed += keys[pos];
    ++pos;
  }

  if (mask & kNamedKeys) {
    typed.clear();
    mask &= ~kKeyEnter;
  } else if (!typed.empty() && (mask & kKeyModifiers) && (mask & kKeyEnter)) {
    mask &= ~kKeyEnter;
  }
  // Typed keys cut at 15 may end in a modifier's name ("...CTRL" of "...CTRLZ+ENTER"). Stored
  // with "+ENTER" after them, that name would read back as the modifier, so the cut goes back
  // one key: what is kept still means the keys it was typed as.
  if (mask & kKeyEnter) {
    while (EndsWithModifierName(typed)) typed.pop_back();
  }
  if (typed.size() > 1 && !(mask & kKeyEnter)) typed.resize(1);
  // A modifier with ENTER is a chord of its own (CTRL+ENTER); only a key with nothing to press
  // is empty.
  const bool modifiedEnter = (mask & kKeyEnter) && (mask & kKeyModifiers);
  if (!(mask & kNamedKeys) && typed.empty() && !modifiedEnter) mask = 0;

  record->keyMask = mask;
  CopyText(record->typedKeys, kHotKeyTypedSize, typed);
}

int FormatHotKey(const HotKeyRecord& record, char* out, int size) {
  const std::uint32_t mask = record.keyMask;
  const std::uint32_t enterChord = mask & (kKeyModifiers | kKeyEnter);
  std::string text;
  if (enterChord == (kKeyCtrl | kKeyAlt | kKeyShift | kKeyEnter)) {
    text = "CTRL+ALT+SHIFT+ENTER";
  } else if (enterChord == (kKeyCtrl | kKeyAlt | kKeyEnter)) {
    text = "CTRL+ALT+ENTER";
  } else if (enterChord == (kKeyCtrl | kKeyShift | kKeyEnter)) {
    text = "CTRL+SHIFT+ENTER";
  } else if (enterChord == (kKeyAlt | kKeyShift | kKeyEnter)) {
    text = "ALT+SHIFT+ENTER";
  } else if (enterChord == (kKeyCtrl | kKeyEnter)) {
    text = "CTRL+ENTER";
  } else {
    if (mask & kKeyCtrl) text += "CTRL+";
    if ((mask & kKeyAlt) && (mask & kKeyEnter)) {
      text += "ALT+ENTER";
    } else if ((mask & kKeyShift) && (mask & kKeyEnter)) {
      text += "SHIFT+ENTER";
    } else {
      if (mask & kKeyAlt) text += "ALT+";
      if (mask & kKeyShift) text += "SHIFT+";
      if (const char* named = FirstNamedKey(mask)) {
        text += named;
      } else {
        text += TypedKeys(record);
        if (mask & kKeyEnter) text += text.empty() ? "ENTER" : "+ENTER";
      }
    }
  }
  CopyText(out, size, text);
  return out != nullptr && size > 0 ? static_cast<int>(std::strlen(out)) : 0;
}

int FormatHotKeyCaption(const HotKeyRecord& record, char* out, int size) {
  const std::uint32_t mask = record.keyMask;
  std::string text;
  if ((mask & kKeyEnter) && (mask & kKeyModifiers)) {
    text = Modifiers(mask);
    text.pop_back();   // the trailing '+'
  } else {
    text = Modifiers(mask);
    if (const char* named = FirstNamedKey(mask)) {
      text += named;
    } else {
      text += TypedKeys(record);
      if (text.empty() && (mask & kKeyEnter)) text = "ENTER";
    }
  }
  CopyText(out, size, text);
  return out != nullptr && size > 0 ? static_cast<int>(std::strlen(out)) : 0;
}

int MatchHotKey(unsigned virtualKey, const KeyboardState& state) {
  const PressedKey key = TranslateKey(virtualKey, state.numLock);
  if (key.bit == 0 && key.character == 0) return 0;
  const std::uint32_t held = (state.ctrl ? kKeyCtrl : 0) | (state.shift ? kKeyShift : 0) |
                             (state.alt ? kKeyAlt : 0);
  for (int i = 0; i < kHotKeyTableSize && HotKeyTable[i].commandId != 0; ++i) {
    const HotKeyRecord& record = HotKeyTable[i];
    const std::size_t typedLength = TypedKeys(record).size();
    // Typed sequences and typed keys with ENTER belong to the keyboard wizard.
    if (typedLength > 1 || (typedLength == 1 && (record.keyMask & kKeyEnter))) continue;
    const bool matches = key.bit != 0 ? (record.keyMask & key.bit) != 0
                                      : typedLength == 1 && record.typedKeys[0] == key.character;
    if (matches && (record.keyMask & kKeyModifiers) == held) return record.commandId;
  }
  return 0;
}

KeyboardState CurrentKeyboardState() {
  const auto& source = KeyboardSource();
  return source ? source() : PlatformKeyboardState();
}

int MatchHotKey(unsigned virtualKey) { return MatchHotKey(virtualKey, CurrentKeyboardState()); }

void SetKeyboardStateSource(std::function<KeyboardState()> source) {
  KeyboardSource() = std::move(source);
}
