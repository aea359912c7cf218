// CZvIndex: construction, copying, texts, error, parameters, reference lines and the small
// operations on its compiled parts.
#include "formula/IndexModel.h"

#include "core/GuardedAlloc.h"
#include "data/UtilData.h"
#include "formula/FormulaCompiler.h"
#include "platform/Text.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

using zuvo::platform::gbk::CompareNoCase;
using zuvo::platform::gbk::CutLength;

namespace {

constexpr int kMaxParamNameLength = 31;
constexpr int kMaxVariableNameLength = 15;
// Theme colours handed to lines in turn: COLOR04 to COLOR11.
constexpr int kFirstLineColour = 3;
constexpr int kLastLineColour = 10;

// Copies a NUL-terminated text into a fixed field, cut on a character boundary.
template <std::size_t N>
void CopyField(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  if (!text) return;
  const std::size_t length = CutLength(std::string_view(text, strnlen(text, N)), N - 1);
  std::memcpy(field, text, length);
}

// ASCII upper case; other bytes (GBK lead bytes among them) as they are.
char FoldUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A name field (NUL-padded, longer than the wanted name) against a name without regard to case.
// Names of another length are told apart by one byte, which keeps the compiler's many lookups
// cheap.
template <std::size_t N>
bool SameName(const char (&field)[N], std::string_view wanted) {
  if (wanted.size() >= N || field[wanted.size()] != 0) return false;
  if (wanted.empty()) return field[0] == 0;
  if (field[wanted.size() - 1] == 0 || FoldUpper(field[0]) != FoldUpper(wanted[0])) return false;
  return CompareNoCase(std::string_view(field, wanted.size()), wanted) == 0;
}

bool TakesThemeColour(const CZvIndexVariable& variable) {
  if (!(variable.flags & kVariableDrawn) || (variable.flags & kVariableOwnColour)) return false;
  switch (variable.style) {
    case kStylePlain:
    case kStyleCircleDot:
    case kStyleStick:
    case kStylePointDot:
    case kStyleCrossDot:
    case kStyleSslInternal:
      return true;
    default:
      return false;
  }
}

bool ExpressionRefersTo(const CZvIndexExpression* expression, STKPTR instrument);

bool ArgumentsReferTo(const CZvIndexFunctionParam* argument, STKPTR instrument) {
  for (; argument; argument = argument->next) {
    if (ExpressionRefersTo(argument, instrument)) return true;
  }
  return false;
}

bool ExpressionRefersTo(const CZvIndexExpression* expression, STKPTR instrument) {
  if (!expression) return false;
  for (const CZvIndexRefother* ref = expression->refothers; ref; ref = ref->next) {
    if (ref->series >= 0 && ref->instrument == instrument) return true;
  }
  for (const CZvIndexExpressionFunction* call = expression->functions; call; call = call->next) {
    if (ArgumentsReferTo(call->arguments, instrument)) return true;
  }
  return false;
}

}  // namespace

bool EnsureIndexTextCapacity(char*& buffer, std::uint32_t needed) {
  needed = std::max(needed, kMinIndexTextCapacity);
  if (buffer && GuardedSize(buffer) >= needed) return true;
  GuardedFree(buffer);
  buffer = static_cast<char*>(GuardedAlloc(needed));
  return buffer != nullptr;
}

CZvIndex::CZvIndex()
    : params(new CZvIndexParam[kMaxIndexParams]()), refLines(new CZvIndexRefLine[kMaxIndexRefLines]()) {}

CZvIndex::~CZvIndex() {
  // The chain first, one by one, so that a long chain never recurses deeply.
  CZvIndex* chained = next;
  next = nullptr;
  while (chained) {
    CZvIndex* after = chained->next;
    chained->next = nullptr;
    delete chained;
    chained = after;
  }
  Clear();
  GuardedFree(formulaText);
  GuardedFree(usageText);
  delete[] params;
  delete[] refLines;
}

void CZvIndex::Clear() {
  name[0] = 0;
  password[0] = 0;
  description[0] = 0;
  if (formulaText) formulaText[0] = 0;
  if (usageText) usageText[0] = 0;
  flags = 0;
  paramCount = 0;
  refLineCount = 0;
  DestroyCompiledParts();
  instrument = nullptr;
  calculatedBarCount = 0;
  selected = 0;
  std::fill(std::begin(titleRect), std::end(titleRect), 0);
}

void CZvIndex::DestroyCompiledParts() {
  currentVariable = nullptr;
  delete variables;
  variables = nullptr;
  delete drawCalls;
  drawCalls = nullptr;
}

void CZvIndex::Assign(const CZvIndex& source) {
  if (&source == this) return;
  Clear();
  SetError("", 0, 0);
  std::memcpy(name, source.name, sizeof name);
  std::memcpy(password, source.password, sizeof password);
  std::memcpy(description, source.description, sizeof description);
  flags = source.flags;
  std::copy(source.params, source.params + kMaxIndexParams, params);
  paramCount = std::min<std::uint32_t>(source.paramCount, kMaxIndexParams);
  SetUsageText(source.usageText);
  SetFormulaText(source.formulaText);
}

void CZvIndex::AssignDefinition(const CZvIndex& definition) {
  if (&definition == this) return;
  Assign(definition);
  if (formulaText) formulaText[0] = 0;
  if (definition.formulaText && definition.formulaText[0]) CompileFormula(this, definition.formulaText, true);
}

void CZvIndex::SetUsageText(const char* text) {
  if (!text || !text[0]) return;
  const std::size_t length = std::strlen(text);
  if (length >= UINT32_MAX || !EnsureIndexTextCapacity(usageText, static_cast<std::uint32_t>(length + 1))) return;
  std::memcpy(usageText, text, length + 1);
}

void CZvIndex::SetUsageTextFromWindow(HWND window) {
  const int length = std::max(GetWindowTextLengthA(window), 0);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::clamp(copied, 0, length)));
  if (text.empty()) {
    if (usageText) usageText[0] = 0;
    return;
  }
  SetUsageText(text.c_str());
}

void CZvIndex::SetFormulaText(const char* text) {
  if (!text || !text[0]) {
    if (formulaText) formulaText[0] = 0;
    return;
  }
  if (text == formulaText) return;
  const std::size_t length = std::strlen(text);
  if (length >= UINT32_MAX || !EnsureIndexTextCapacity(formulaText, static_cast<std::uint32_t>(length + 1))) return;
  std::memcpy(formulaText, text, length + 1);
}

void CZvIndex::SetError(const char* text, int position, int length) {
  CopyField(errorText, text);
  errorPosition = position;
  errorLength = length;
}

void CZvIndex::GetError(char* text, int* position, int* length) const {
  if (text) std::memcpy(text, errorText, sizeof errorText);
  if (position) *position = errorPosition;
  if (length) *length = errorLength;
}

bool CZvIndex::AddParam(const CZvIndexParam& param) {
  if (paramCount >= kMaxIndexParams) return false;
  if (FindParam(param.name, static_cast<int>(strnlen(param.name, sizeof param.name))) >= 0) return false;
  params[paramCount] = param;
  params[paramCount].name[sizeof param.name - 1] = 0;
  ++paramCount;
  return true;
}

CZvIndexParam* CZvIndex::GetParam(int index) {
  return index >= 0 && static_cast<std::uint32_t>(index) < paramCount ? &params[index] : nullptr;
}

const CZvIndexParam* CZvIndex::GetParam(int index) const {
  return index >= 0 && static_cast<std::uint32_t>(index) < paramCount ? &params[index] : nullptr;
}

void CZvIndex::SetParam(int index, const CZvIndexParam& param) {
  if (CZvIndexParam* slot = GetParam(index)) {
    *slot = param;
    slot->name[sizeof slot->name - 1] = 0;
  }
}

int CZvIndex::FindParam(const char* name) const {
  return name ? FindParam(name, static_cast<int>(std::strlen(name))) : -1;
}

int CZvIndex::FindParam(const char* text, int length) const {
  if (!text || length < 0 || length > kMaxParamNameLength) return -1;
  const std::string_view wanted(text, strnlen(text, static_cast<std::size_t>(length)));
  for (std::uint32_t i = 0; i < paramCount; ++i) {
    if (SameName(params[i].name, wanted)) return static_cast<int>(i);
  }
  return -1;
}

bool CZvIndex::AddRefLine(double value, std::int32_t decimals) {
  for (std::uint32_t i = 0; i < refLineCount; ++i) {
    if (refLines[i].value == value) return true;
  }
  if (refLineCount >= kMaxIndexRefLines) return false;
  refLines[refLineCount] = CZvIndexRefLine{};
  refLines[refLineCount].decimals = decimals;
  refLines[refLineCount].value = value;
  ++refLineCount;
  return true;
}

CZvIndexRefLine* CZvIndex::GetRefLine(int index) {
  return index >= 0 && static_cast<std::uint32_t>(index) < refLineCount ? &refLines[index] : nullptr;
}

CZvIndexVariable* CZvIndex::GetVariable(int index) const {
  if (index == kOwnVariable) return currentVariable;
  if (index < 0) return nullptr;
  CZvIndexVariable* variable = variables;
  for (; variable && index > 0; --index) variable = variable->next;
  return variable;
}

void CZvIndex::AddVariable(CZvIndexVariable* variable) {
  CZvIndexVariable** link = &variables;
  while (*link) link = &(*link)->next;
  *link = variable;
}

void CZvIndex::AddDrawCall(CZvIndexDraw* call) {
  CZvIndexDraw** link = &drawCalls;
  while (*link) link = &(*link)->next;
  *link = call;
}

CZvIndexDraw* CZvIndex::GetDrawCall(int index) const {
  if (index < 0) return nullptr;
  CZvIndexDraw* call = drawCalls;
  for (; call && index > 0; --index) call = call->next;
  return call;
}

int CZvIndex::FindVariable(const char* name) const {
  return name ? FindVariable(name, static_cast<int>(std::strlen(name))) : -1;
}

int CZvIndex::FindVariable(const char* text, int length) const {
  if (!text || length < 0 || length > kMaxVariableNameLength) return -1;
  const std::string_view wanted(text, strnlen(text, static_cast<std::size_t>(length)));
  int index = 0;
  for (const CZvIndexVariable* variable = variables; variable; variable = variable->next, ++index) {
    if (SameName(variable->name, wanted)) return index;
  }
  return -1;
}

int CZvIndex::AssignLineColours(int firstColourIndex) {
  int colourIndex = firstColourIndex;
  for (CZvIndexVariable* variable = variables; variable; variable = variable->next) {
    if (!TakesThemeColour(*variable)) continue;
    // A start outside the table (a caller's stale index) begins again at the first line colour.
    if (colourIndex < 0 || colourIndex >= kColorCount) colourIndex = kFirstLineColour;
    variable->colour = ColorTable[colourIndex];
    colourIndex = colourIndex >= kLastLineColour ? kFirstLineColour : colourIndex + 1;
  }
  return colourIndex;
}

bool CZvIndex::RefersToInstrument(STKPTR stk, bool withChain) const {
  for (const CZvIndex* indicator = this; indicator; indicator = withChain ? indicator->next : nullptr) {
    for (const CZvIndexVariable* variable = indicator->variables; variable; variable = variable->next) {
      if (ExpressionRefersTo(variable->expression, stk)) return true;
    }
    for (const CZvIndexDraw* call = indicator->drawCalls; call; call = call->next) {
      if (ExpressionRefersTo(call->condition, stk)) return true;
      for (const CZvIndexExpression* expression : call->expressions) {
        if (ExpressionRefersTo(expression, stk)) return true;
      }
    }
  }
  return false;
}

bool CZvIndex::CompileFromWindow(HWND window, bool noCodeCheck) {
  const int length = std::max(GetWindowTextLengthA(window), 0);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::clamp(copied, 0, length)));
  return CompileFormula(this, text.c_str(), noCodeCheck);
}
