// Fuzz target "formula_compile": the indicator formula compiler.
// Input: a formula text (GBK, as a user types it or an indicator file holds it); with a control
// part first, its first byte chooses the cross-instrument code check (bit 0 set: no check) and
// how many of the parameters N, M, P1..P4 are declared (bits 1-3). Without one the codes are
// checked and all six parameters exist. Three small markets are loaded for the code check.
// Property: a compile either succeeds with postfix code that reduces to exactly one value in
// every expression, argument and drawing call, or fails with a message shorter than 64 bytes, a
// highlight inside the text, and an indicator that holds nothing but the error.
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "data/MarketData.h"
#include "formula/FormulaCompiler.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

// Statements are appended to lists one by one: a megabyte of ";" is only slow, not wrong.
constexpr std::size_t kMaxFormula = 16 * 1024;

void AddMarket(int number, const char* code, std::initializer_list<const char*> codes) {
  MarketRecord record{};
  record.kind = 1;
  std::strncpy(record.code, code, sizeof record.code - 1);
  record.capacity = 8;
  record.categoryCount = 1;
  auto* table = new TMarketData(number, record);
  int count = 0;
  if (table->names) {
    for (const char* instrument : codes) {
      InstrumentRecord& name = table->names[count++];
      std::strncpy(name.code, instrument, sizeof name.code - 1);
      name.priceDivisor = 100;
    }
  }
  table->count = count;
  table->FinishNameTable();
  MarketTables[number] = table;
  if (MarketCount < number + 1) MarketCount = number + 1;
}

bool IsWellFormed(const CZvIndexExpression* expression) {
  if (!expression) return true;
  int depth = 0;
  for (std::uint32_t i = 0; i < expression->itemCount; ++i) {
    const PostfixItem& item = expression->items[i];
    if (item.kind == kItemOperator) {
      if (item.op < kOpMultiply || item.op > kOpOr || depth < 2) return false;
      --depth;
    } else {
      ++depth;
    }
  }
  if (depth != 1 || expression->Capacity() < 2 * expression->itemCount) return false;
  for (const CZvIndexExpressionFunction* call = expression->functions; call; call = call->next) {
    for (const CZvIndexFunctionParam* argument = call->arguments; argument; argument = argument->next) {
      if (!IsWellFormed(argument)) return false;
    }
  }
  return true;
}

}  // namespace

int FuzzFormulaCompile(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const fuzz::ControlledInput parts = fuzz::SplitControlAndParts(input, 2);
  fuzz::ControlReader control(parts.control);
  const std::uint8_t choice = control.U8(0x0E);
  const bool noCodeCheck = (choice & 1) != 0;
  const int paramCount = (choice >> 1) & 7;
  std::string formula(parts.parts.empty() ? std::string_view() : parts.parts[0].substr(0, kMaxFormula));

  AddMarket(0, "SH", {"000001", "600000"});
  AddMarket(1, "SZ", {"000001", "399001"});
  AddMarket(2, "CF", {"IF2406", "CU"});

  CZvIndex indicator;
  static const char* const kParams[] = {"N", "M", "P1", "P2", "P3", "P4"};
  for (int i = 0; i < paramCount && i < 6; ++i) {
    CZvIndexParam param{};
    std::strcpy(param.name, kParams[i]);
    param.value = i + 1;
    indicator.AddParam(param);
  }
  std::strcpy(indicator.name, "FUZZ");

  if (CompileFormula(&indicator, formula.c_str(), noCodeCheck)) {
    FUZZ_CHECK(indicator.errorText[0] == 0, "a successful compile leaves no error");
    FUZZ_CHECK(indicator.currentVariable == nullptr, "no statement stays current after a compile");
    for (const CZvIndexVariable* variable = indicator.variables; variable; variable = variable->next) {
      FUZZ_CHECK(IsWellFormed(variable->expression), "every statement's postfix code reduces to one value");
      FUZZ_CHECK(variable->decimals >= 0 && variable->decimals <= 6, "PRECIS stays within 0..6");
      FUZZ_CHECK(variable->thickness >= 0 && variable->thickness <= 7, "LINETHICK stays within 0..7");
      FUZZ_CHECK(!(variable->flags & kVariableSysColour) || variable->colour < 64, "a theme colour is an entry 0..63");
    }
    for (const CZvIndexDraw* call = indicator.drawCalls; call; call = call->next) {
      FUZZ_CHECK(IsWellFormed(call->condition), "every drawing condition reduces to one value");
      for (const CZvIndexExpression* expression : call->expressions) {
        FUZZ_CHECK(IsWellFormed(expression), "every drawing argument reduces to one value");
      }
      FUZZ_CHECK(std::memchr(call->text, 0, sizeof call->text) != nullptr, "a drawing text is terminated");
    }
    FUZZ_CHECK(indicator.refLineCount <= kMaxIndexRefLines, "at most 16 reference lines");
    return 0;
  }
  const int textLength = static_cast<int>(std::strlen(formula.c_str()));
  const std::size_t messageLength = strnlen(indicator.errorText, sizeof indicator.errorText);
  FUZZ_CHECK(messageLength > 0 && messageLength < 64, "a failure has a message shorter than 64 bytes");
  FUZZ_CHECK(indicator.errorPosition >= 0 && indicator.errorLength >= 0, "the highlight is not negative");
  FUZZ_CHECK(indicator.errorPosition + indicator.errorLength <= textLength, "the highlight lies inside the text");
  if (std::strcmp(indicator.errorText, formula_messages::kEmptyFormula) != 0) {
    FUZZ_CHECK(indicator.name[0] == 0 && indicator.paramCount == 0, "a failed compile clears name and parameters");
    FUZZ_CHECK(!indicator.variables && !indicator.drawCalls && indicator.refLineCount == 0,
               "a failed compile keeps no compiled part");
  }
  FUZZ_CHECK(indicator.currentVariable == nullptr, "no statement stays current after a failed compile");
  return 0;
}
