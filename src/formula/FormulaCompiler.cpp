// The compiler's outer layer: the compile entry, statements with their line attributes,
// reference lines and drawing calls.
#include "formula/FormulaCompiler.h"

#include "core/GuardedAlloc.h"
#include "formula/FormulaErrors.h"
#include "formula/FormulaLexer.h"
#include "platform/Text.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

using namespace zuvo::formula;
namespace msg = formula_messages;

namespace {

constexpr int kMaxVariableNameLength = 15;
constexpr int kMaxAttributeDigits = 10;
constexpr long kMaxDrawText = 256;
constexpr std::uint32_t kSysColourEntries = 64;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
unsigned char At(const char* p) { return static_cast<unsigned char>(*p); }

// The end of a word: the first blank, ",", ";" (also ")" when asked) or the end of the text.
const char* WordEnd(const char* p, bool stopAtParenthesis = false) {
  while (*p && !IsFormulaSpace(At(p)) && *p != ',' && *p != ';' && !(stopAtParenthesis && *p == ')')) ++p;
  return p;
}

bool StartsWith(const char* p, const char* keyword) { return std::strncmp(p, keyword, std::strlen(keyword)) == 0; }

struct NamedColour {
  const char* name;
  std::uint32_t value;   // 0x00BBGGRR
};
constexpr NamedColour kColourNames[] = {
    {"RED", 0x0000FF},    {"BLUE", 0xFF0000},    {"GRAY", 0x808080},   {"LIME", 0x00FF00},
    {"NAVY", 0x800000},   {"TEAL", 0x808000},    {"CYAN", 0xFFFF00},   {"AQUA", 0xFFFF00},
    {"GREEN", 0x00FF00},  {"OLIVE", 0x008080},   {"BROWN", 0x000084},  {"YELLOW", 0x00FFFF},
    {"SILVER", 0xC0C0C0}, {"MAROON", 0x000080},  {"PURPLE", 0x800080}, {"MAGENTA", 0xFF00FF},
    {"FUCHSIA", 0xFF00FF}, {"WHITE", 0xFFFFFF},
};

struct StyleKeyword {
  const char* keyword;
  std::uint8_t style;
};
// Matched by leading letters in this order (COLORSTICK before the COLOR attribute).
constexpr StyleKeyword kStyleKeywords[] = {
    {"KSTICK", kStyleKStick},         {"BARSTICK", kStyleBarStick},     {"TOWERSTICK", kStyleTowerStick},
    {"VOLSTICK", kStyleVolStick},     {"COLORSTICK", kStyleColorStick}, {"CIRCLEDOT", kStyleCircleDot},
    {"CROSSDOT", kStyleCrossDot},     {"POINTDOT", kStylePointDot},     {"STICK", kStyleStick},
    {"POINTFIGURE", kStylePointFigure}, {"SSL_ZUVOINTERNAL", kStyleSslInternal},
};

struct DrawKeyword {
  const char* keyword;
  IndexDrawKind kind;
};
constexpr DrawKeyword kDrawKeywords[] = {
    {"DRAWTEXT", kDrawText}, {"DRAWICON", kDrawIcon},       {"DRAWBMP", kDrawBmp},  {"DRAWBKBMP", kDrawBkBmp},
    {"DRAWGBK", kDrawGbk},   {"STICKLINE", kDrawStickLine}, {"DRAWKLINE", kDrawKLine},
};

int DrawKindOf(const char* p, int length) {
  for (const DrawKeyword& keyword : kDrawKeywords) {
    if (length == static_cast<int>(std::strlen(keyword.keyword)) &&
        std::memcmp(p, keyword.keyword, static_cast<std::size_t>(length)) == 0)
      return keyword.kind;
  }
  return 0;
}

// The messages of a decimal attribute with a range.
struct DigitRule {
  std::uint64_t maximum;
  const char* missing;   // no digit right after the keyword
  const char* range;     // a byte that is no digit, or a value past the maximum
  const char* tooLong;   // more than 10 digits
};
constexpr DigitRule kPrecisRule = {6, msg::kSyntax, msg::kPrecisRange, msg::kPrecisTooLong};
constexpr DigitRule kThickRule = {7, msg::kThickMissing, msg::kThickRange, msg::kThickTooLong};
constexpr DigitRule kAlignRule = {2, msg::kSyntax, msg::kAlignRange, msg::kAlignTooLong};

std::uint64_t DigitsValue(const char* p, const char* end) {
  std::uint64_t value = 0;
  for (; p < end; ++p) value = value * 10 + static_cast<std::uint64_t>(*p - '0');
  return value;
}

// The digits of an attribute right after its keyword, up to a blank, ",", ";" or the end.
// Returns their end, or null after reporting.
const char* ParseDigitAttribute(CZvIndex* indicator, const char* text, const char* p, const DigitRule& rule,
                                std::uint32_t* value) {
  if (!IsDigit(*p)) return Fail(indicator, rule.missing, p - text, OneByteAt(p)), nullptr;
  const char* end = WordEnd(p);
  for (const char* q = p; q < end; ++q) {
    if (!IsDigit(*q)) return Fail(indicator, rule.range, q - text, 1), nullptr;
  }
  if (end - p > kMaxAttributeDigits) return Fail(indicator, rule.tooLong, p - text, end - p), nullptr;
  const std::uint64_t number = DigitsValue(p, end);
  if (number > rule.maximum) return Fail(indicator, rule.range, p - text, end - p), nullptr;
  *value = static_cast<std::uint32_t>(number);
  return end;
}

struct ColourSetting {
  std::uint32_t value = 0;
  bool themeEntry = false;   // value is a ColorTable entry number
};

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The word after COLOR: a colour name, six hexadecimal characters BBGGRR, or (for statements)
// SYSCOLORn with n 0..63. Returns the word's end, or null after reporting.
const char* ParseColourAttribute(CZvIndex* indicator, const char* text, const char* p, bool allowThemeEntry,
                                 ColourSetting* colour) {
  const char* end = WordEnd(p);
  const long length = end - p;
  auto bad = [&](const char* at, long badLength) {
    Fail(indicator, msg::kBadColour, at - text, badLength);
    return nullptr;
  };
  if (allowThemeEntry && StartsWith(p, "SYSCOLOR")) {
    const char* digits = p + 8;
    const long count = end - digits;
    if (count < 1 || count > 2 || !IsDigit(digits[0]) || (count == 2 && !IsDigit(digits[1]))) return bad(p, length);
    const std::uint32_t entry = static_cast<std::uint32_t>(DigitsValue(digits, end));
    if (entry >= kSysColourEntries) return bad(p, length);
    colour->value = entry;
    colour->themeEntry = true;
    return end;
  }
  for (const NamedColour& named : kColourNames) {
    if (length == static_cast<long>(std::strlen(named.name)) && std::memcmp(p, named.name, static_cast<std::size_t>(length)) == 0) {
      colour->value = named.value;
      colour->themeEntry = false;
      return end;
    }
  }
  if (length == 6) {
    std::uint32_t value = 0;
    for (const char* q = p; q < end; ++q) {
      const int digit = HexDigit(*q);
      if (digit < 0) return bad(q, 1);
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    colour->value = value;
    colour->themeEntry = false;
    return end;
  }
  return bad(p, length > 0 ? length : OneByteAt(p));
}

// An unknown attribute: highlighted up to the end of its word, at least one byte (none at the
// end of the text, so that the highlight stays inside it).
int FailUnknownAttribute(CZvIndex* indicator, const char* text, const char* p) {
  const long length = WordEnd(p) - p;
  return Fail(indicator, msg::kUnknownAttribute, p - text, length > 0 ? length : OneByteAt(p));
}

// The line attributes of a statement, from after its expression. Returns the position of the
// ";" or the end that closes the statement, or null after reporting.
const char* ParseLineAttributes(CZvIndex* indicator, const char* text, const char* p, CZvIndexVariable* variable) {
  p = SkipSpaceAndComments(p);
  while (*p && *p != ';') {
    if (*p != ',') return Fail(indicator, msg::kSyntax, p - text, 1), nullptr;
    p = SkipSpaceAndComments(p + 1);
    bool matched = false;
    for (const StyleKeyword& keyword : kStyleKeywords) {
      if (StartsWith(p, keyword.keyword)) {
        variable->style = keyword.style;
        p += std::strlen(keyword.keyword);
        matched = true;
        break;
      }
    }
    if (!matched) {
      if (StartsWith(p, "PRECIS")) {
        std::uint32_t value = 0;
        if (!(p = ParseDigitAttribute(indicator, text, p + 6, kPrecisRule, &value))) return nullptr;
        variable->decimals = static_cast<std::int32_t>(value);
      } else if (StartsWith(p, "COLOR")) {
        ColourSetting colour;
        if (!(p = ParseColourAttribute(indicator, text, p + 5, true, &colour))) return nullptr;
        // Any colour of the formula's own keeps the theme colours off the line; only SYSCOLOR
        // leaves an entry number to be read when drawing.
        variable->colour = colour.value;
        variable->flags |= kVariableOwnColour;
        if (colour.themeEntry) {
          variable->flags |= kVariableSysColour;
        } else {
          variable->flags &= ~kVariableSysColour;
        }
      } else if (StartsWith(p, "LINETHICK")) {
        std::uint32_t value = 0;
        if (!(p = ParseDigitAttribute(indicator, text, p + 9, kThickRule, &value))) return nullptr;
        variable->thickness = static_cast<std::int32_t>(value);
      } else {
        return FailUnknownAttribute(indicator, text, p), nullptr;
      }
    }
    p = SkipSpaceAndComments(p);
  }
  return p;
}

// The attributes of a drawing call: ALIGN, VALIGN and COLOR (no theme entries).
const char* ParseDrawAttributes(CZvIndex* indicator, const char* text, const char* p, CZvIndexDraw* call) {
  p = SkipSpaceAndComments(p);
  while (*p && *p != ';') {
    if (*p != ',') return Fail(indicator, msg::kSyntax, p - text, 1), nullptr;
    p = SkipSpaceAndComments(p + 1);
    std::uint32_t value = 0;
    if (StartsWith(p, "ALIGN")) {
      if (!(p = ParseDigitAttribute(indicator, text, p + 5, kAlignRule, &value))) return nullptr;
      call->alignment = (call->alignment & 0xFFFF0000u) | value;
    } else if (StartsWith(p, "VALIGN")) {
      if (!(p = ParseDigitAttribute(indicator, text, p + 6, kAlignRule, &value))) return nullptr;
      call->alignment = (call->alignment & 0x0000FFFFu) | (value << 16);
    } else if (StartsWith(p, "COLOR")) {
      ColourSetting colour;
      if (!(p = ParseColourAttribute(indicator, text, p + 5, false, &colour))) return nullptr;
      call->colour = colour.value;
    } else {
      return FailUnknownAttribute(indicator, text, p), nullptr;
    }
    p = SkipSpaceAndComments(p);
  }
  return p;
}

// The bytes from text to the end of the statement at p, its ";" included.
int ConsumedThrough(const char* text, const char* p) { return static_cast<int>(p - text) + (*p == ';' ? 1 : 0); }

// While a statement is parsed, its variable is the indicator's current one; it is cleared again
// however the statement ends, and the variable freed unless it was handed over.
class CurrentVariableScope {
 public:
  CurrentVariableScope(CZvIndex* indicator, CZvIndexVariable* variable) : indicator_(indicator), variable_(variable) {
    indicator_->currentVariable = variable;
  }
  ~CurrentVariableScope() { indicator_->currentVariable = nullptr; }
  CurrentVariableScope(const CurrentVariableScope&) = delete;
  CurrentVariableScope& operator=(const CurrentVariableScope&) = delete;

 private:
  CZvIndex* indicator_;
  CZvIndexVariable* variable_;
};

// An expression argument of a drawing call at p; returns its end or null after reporting.
const char* ParseDrawExpression(CZvIndex* indicator, const char* text, const char* p, CZvIndexExpression** slot,
                                bool noCodeCheck, bool* future) {
  *slot = new (std::nothrow) CZvIndexExpression;
  if (!*slot) return Fail(indicator, msg::kOutOfMemory, p - text, 0), nullptr;
  const int used = ParseExpression(indicator, p, *slot, noCodeCheck, future);
  if (used == 0) {
    if (HasError(indicator)) return ShiftError(indicator, p - text), nullptr;
    return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p)), nullptr;
  }
  return p + used;
}

// The quoted text argument of DRAWTEXT, DRAWBMP and DRAWBKBMP.
const char* ParseDrawText(CZvIndex* indicator, const char* text, const char* p, CZvIndexDraw* call) {
  const bool isText = call->kind == kDrawText;
  if (*p != '\'') return Fail(indicator, msg::kNeedString, p - text, OneByteAt(p)), nullptr;
  const char* close = std::strchr(p + 1, '\'');
  if (!close) return Fail(indicator, msg::kUnexpectedEnd, p - text, static_cast<long>(std::strlen(p))), nullptr;
  const long length = close - (p + 1);
  if (length == 0) return Fail(indicator, isText ? msg::kEmptyText : msg::kEmptyPicture, p - text, 2), nullptr;
  if (length > kMaxDrawText) {
    return Fail(indicator, isText ? msg::kTextTooLong : msg::kPictureTooLong, p + 1 - text, length), nullptr;
  }
  std::memset(call->text, 0, sizeof call->text);
  std::memcpy(call->text, p + 1, static_cast<std::size_t>(length));
  return close + 1;
}

// The icon number of DRAWICON. A number past 32 bits is kept as the largest one: drawing takes
// every number above 13 to the last icon anyway.
const char* ParseIconNumber(CZvIndex* indicator, const char* text, const char* p, CZvIndexDraw* call) {
  const char* end = WordEnd(p, true);
  for (const char* q = p; q < end; ++q) {
    if (!IsDigit(*q)) return Fail(indicator, msg::kIconRange, q - text, 1), nullptr;
  }
  if (end == p) return Fail(indicator, msg::kIconRange, p - text, OneByteAt(p)), nullptr;
  if (end - p > kMaxAttributeDigits) return Fail(indicator, msg::kIconTooLong, p - text, end - p), nullptr;
  const std::uint64_t number = DigitsValue(p, end);
  call->SetIconNumber(number > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                                          : static_cast<std::uint32_t>(number));
  return end;
}

enum class DrawArgument { Expression, Text, Icon };

}  // namespace

int ParseRefLineValue(CZvIndex* indicator, const char* text) {
  const char* p = SkipSpaceAndComments(text);
  if (*p == ';' || *p == 0) return static_cast<int>(p - text);
  if (*p != '+' && *p != '-' && *p != '.' && !IsDigit(*p)) return Fail(indicator, msg::kRefLineNotNumber, p - text, 1);
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    p = SkipSpaceAndComments(p + 1);
  }
  const char* number = p;
  while (IsDigit(*p) || *p == '.') ++p;
  const char* numberEnd = p;
  if (*p != ',' && *p != ';' && *p != 0) {
    // Only blanks and comments may stand between the number and its separator.
    const char* after = IsFormulaSpace(At(p)) ? SkipSpaceAndComments(p) : p;
    if (*after != ',' && *after != ';' && *after != 0) return Fail(indicator, msg::kBadNumber, after - text, 1);
    p = after;
  }
  const int length = static_cast<int>(numberEnd - number);
  if (!IsNumberText(number, length)) return Fail(indicator, msg::kBadNumber, number - text, length > 0 ? length : 1);
  const double value = ParseNumberText(number, length);
  const char* point = static_cast<const char*>(std::memchr(number, '.', static_cast<std::size_t>(length)));
  const int decimals = point ? static_cast<int>(numberEnd - point - 1) : 0;
  // An equal value already present, or a seventeenth line, is dropped without a message.
  indicator->AddRefLine(negative ? -value : value, decimals);
  if (*p == ',') ++p;
  return static_cast<int>(p - text);
}

int ParseRefLines(CZvIndex* indicator, const char* text) {
  const char* p = text;
  for (;;) {
    const char* next = SkipSpaceAndComments(p);
    if (*next == ';') return static_cast<int>(next + 1 - text);
    if (*next == 0) return static_cast<int>(next - text);
    const int used = ParseRefLineValue(indicator, p);
    if (used == 0) return ShiftError(indicator, p - text);
    p += used;
  }
}

int ParseDrawCall(CZvIndex* indicator, const char* text, bool noCodeCheck) {
  const int keywordLength = ScanName(text);
  const int kind = DrawKindOf(text, keywordLength);
  if (kind == 0) return Fail(indicator, msg::kInternal, 0, 0);
  std::unique_ptr<CZvIndexDraw> call(new (std::nothrow) CZvIndexDraw);
  if (!call) return Fail(indicator, msg::kOutOfMemory, 0, 0);
  call->kind = kind;

  const char* p = SkipSpaceAndComments(text + keywordLength);
  if (*p != '(') return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p));
  p = SkipSpaceAndComments(p + 1);
  if (*p == 0 || *p == ',' || *p == ';' || *p == ')') return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p));

  // The arguments of each kind, in order, and where each expression goes.
  struct Slot {
    DrawArgument what;
    CZvIndexExpression** expression;
  };
  Slot slots[5];
  int slotCount = 0;
  auto expression = [&](CZvIndexExpression** target) { slots[slotCount++] = {DrawArgument::Expression, target}; };
  auto other = [&](DrawArgument what) { slots[slotCount++] = {what, nullptr}; };
  switch (kind) {
    case kDrawText:
    case kDrawBmp:
      expression(&call->condition), expression(&call->expressions[0]), other(DrawArgument::Text);
      break;
    case kDrawIcon:
      expression(&call->condition), expression(&call->expressions[0]), other(DrawArgument::Icon);
      break;
    case kDrawBkBmp:
      expression(&call->condition), other(DrawArgument::Text);
      break;
    case kDrawGbk:
      expression(&call->condition);
      for (int i = 0; i < 3; ++i) expression(&call->expressions[i]);
      break;
    case kDrawStickLine:
      expression(&call->condition);
      for (int i = 0; i < 4; ++i) expression(&call->expressions[i]);
      break;
    default:   // DRAWKLINE: high, open, low, close; no condition
      for (int i = 0; i < 4; ++i) expression(&call->expressions[i]);
      break;
  }

  bool future = false;
  for (int i = 0; i < slotCount; ++i) {
    const Slot& slot = slots[i];
    if (slot.what == DrawArgument::Expression) {
      p = ParseDrawExpression(indicator, text, p, slot.expression, noCodeCheck, &future);
    } else if (slot.what == DrawArgument::Text) {
      p = ParseDrawText(indicator, text, p, call.get());
    } else {
      p = ParseIconNumber(indicator, text, p, call.get());
    }
    if (!p) return 0;
    if (i + 1 == slotCount) break;
    if (slot.what != DrawArgument::Expression) p = SkipSpaceAndComments(p);
    if (*p == ')') return Fail(indicator, msg::kMissingArgument, p - text, 1);
    if (*p != ',') return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p));
    p = SkipSpaceAndComments(p + 1);
    if (*p == 0 || *p == ',' || *p == ';' || *p == ')') return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p));
  }
  p = SkipSpaceAndComments(p);
  if (*p != ')') return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p));
  if (!(p = ParseDrawAttributes(indicator, text, p + 1, call.get()))) return 0;
  if (future) call->flags |= kVariableFuture;
  indicator->AddDrawCall(call.release());
  return ConsumedThrough(text, p);
}

int ParseStatement(CZvIndex* indicator, const char* text, bool noCodeCheck) {
  const char* p = SkipSpaceAndComments(text);
  if (*p == ';') return static_cast<int>(p + 1 - text);
  if (*p == 0) return static_cast<int>(p - text);
  if (*p == ',') return Fail(indicator, msg::kSyntax, p - text, 1);

  std::unique_ptr<CZvIndexVariable> variable(new (std::nothrow) CZvIndexVariable);
  if (!variable) return Fail(indicator, msg::kOutOfMemory, p - text, 0);
  CurrentVariableScope current(indicator, variable.get());

  const char* expressionStart = p;
  bool drawn = true;
  const int nameLength = ScanName(p);
  if (nameLength > 0) {
    const char* colon = SkipSpaceAndComments(p + nameLength);
    if (*colon == ':') {
      if (nameLength > kMaxVariableNameLength) return Fail(indicator, msg::kNameTooLong, p - text, nameLength);
      if (nameLength == 7 && std::memcmp(p, "REFLINE", 7) == 0) {
        if (indicator->refLineCount > 0) return Fail(indicator, msg::kRefLineTwice, p - text, 7);
        const char* values = colon + 1;
        if (*values == 0) return static_cast<int>(values - text);
        const int used = ParseRefLines(indicator, values);
        if (used == 0) return ShiftError(indicator, values - text);
        return static_cast<int>(values - text) + used;
      }
      if (indicator->FindParam(p, nameLength) >= 0) return Fail(indicator, msg::kNameIsParam, p - text, nameLength);
      if (indicator->FindVariable(p, nameLength) >= 0) return Fail(indicator, msg::kNameIsVariable, p - text, nameLength);
      std::memcpy(variable->name, p, static_cast<std::size_t>(nameLength));
      const char* after = colon + 1;
      if (*after == '=') {
        drawn = false;
        ++after;
      }
      after = SkipSpaceAndComments(after);
      if (*after == ',' || *after == ';' || *after == 0) {
        return Fail(indicator, msg::kEmptyExpression, p - text, nameLength);
      }
      expressionStart = after;
    } else if (DrawKindOf(p, nameLength) != 0) {
      const int used = ParseDrawCall(indicator, p, noCodeCheck);
      if (used == 0) return ShiftError(indicator, p - text);
      return static_cast<int>(p - text) + used;
    }
  }
  if (drawn) variable->flags |= kVariableDrawn;

  variable->expression = new (std::nothrow) CZvIndexExpression;
  if (!variable->expression) return Fail(indicator, msg::kOutOfMemory, expressionStart - text, 0);
  bool future = false;
  const int used = ParseExpression(indicator, expressionStart, variable->expression, noCodeCheck, &future);
  if (used == 0 && HasError(indicator)) return ShiftError(indicator, expressionStart - text);
  // An expression that is empty ("X: )") leaves its first byte to the attribute check below.
  const char* end = ParseLineAttributes(indicator, text, expressionStart + used, variable.get());
  if (!end) return 0;
  if (future) variable->flags |= kVariableFuture;
  indicator->AddVariable(variable.release());
  return ConsumedThrough(text, end);
}

bool CompileFormula(CZvIndex* indicator, const char* text, bool noCodeCheck) {
  indicator->refLineCount = 0;
  indicator->DestroyCompiledParts();
  indicator->SetError("", 0, 0);
  if (!text) text = "";
  if (*SkipSpaceAndComments(text) == 0) {
    indicator->SetError(msg::kEmptyFormula, 0, 0);
    return false;
  }
  // Recompiling the indicator's own text: keep a copy, the buffer may be replaced below.
  std::string ownText;
  if (indicator->formulaText && text >= indicator->formulaText &&
      text < indicator->formulaText + GuardedSize(indicator->formulaText)) {
    ownText = text;
    text = ownText.c_str();
  }
  const std::size_t length = std::strlen(text);
  if (length >= UINT32_MAX || !EnsureIndexTextCapacity(indicator->formulaText, static_cast<std::uint32_t>(length + 1))) {
    indicator->SetError(msg::kOutOfMemory, 0, 0);
    return false;
  }
  char* buffer = indicator->formulaText;
  std::memcpy(buffer, text, length + 1);
  const long start = SkipSpaceAndComments(buffer) - buffer;
  zuvo::platform::gbk::UpperInPlace(buffer + start);

  long position = start;
  while (buffer[position]) {
    const int used = ParseStatement(indicator, buffer + position, noCodeCheck);
    if (used == 0) {
      ShiftError(indicator, position);
      indicator->Clear();
      return false;
    }
    position += used;
  }
  for (const CZvIndexVariable* variable = indicator->variables; variable; variable = variable->next) {
    if (variable->flags & kVariableFuture) indicator->flags |= kIndexFuture;
  }
  for (const CZvIndexDraw* call = indicator->drawCalls; call; call = call->next) {
    if (call->flags & kVariableFuture) indicator->flags |= kIndexFuture;
  }
  return true;
}
