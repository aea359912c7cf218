// Helpers of the formula tests: indicators with parameters, the postfix code of an expression
// as text ("A B C * +", calls as "MA(C,5)", references as "600000$"), a check that postfix code
// leaves exactly one value, and small market tables for cross-instrument codes.
#pragma once

#include "data/MarketTestUtil.h"
#include "formula/FormulaCompiler.h"
#include "formula/IndexModel.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace formulatest {

inline std::unique_ptr<CZvIndex> MakeIndicator(const std::vector<std::string>& params = {}) {
  auto indicator = std::make_unique<CZvIndex>();
  for (const std::string& name : params) {
    CZvIndexParam param{};
    std::strncpy(param.name, name.c_str(), sizeof param.name - 1);
    param.value = 1;
    indicator->AddParam(param);
  }
  return indicator;
}

inline const char* OperatorText(int code) {
  static const char* const names[] = {"(", "?", "?", "?", "*", "/", "+", "-", "<", ">", "<=", ">=", "=", "<>", "AND", "OR"};
  return code >= 0 && code < 16 ? names[code] : "?";
}

std::string Postfix(const CZvIndex& indicator, const CZvIndexExpression* expression);

inline std::string CallText(const CZvIndex& indicator, const CZvIndexFunction* call) {
  std::string text = call->name;
  if (!call->arguments) return text;
  text += "(";
  for (const CZvIndexFunctionParam* argument = call->arguments; argument; argument = argument->next) {
    if (argument != call->arguments) text += ",";
    text += Postfix(indicator, argument);
  }
  return text + ")";
}

inline std::string Postfix(const CZvIndex& indicator, const CZvIndexExpression* expression) {
  if (!expression) return "<none>";
  std::string text;
  for (std::uint32_t i = 0; i < expression->itemCount; ++i) {
    const PostfixItem& item = expression->items[i];
    if (!text.empty()) text += " ";
    switch (item.kind) {
      case kItemOperator:
        text += OperatorText(item.op);
        break;
      case kItemConstant: {
        char number[32];
        std::snprintf(number, sizeof number, "%g", item.constant);
        text += number;
        break;
      }
      case kItemParameter:
        text += indicator.GetParam(item.index) ? indicator.GetParam(item.index)->name : "?param";
        break;
      case kItemVariable:
        if (item.index == kOwnVariable) {
          text += "SELF";
        } else {
          text += indicator.GetVariable(item.index) ? indicator.GetVariable(item.index)->name : "?variable";
        }
        break;
      case kItemFunction: {
        const CZvIndexExpressionFunction* call = expression->GetFunction(item.index);
        text += call ? CallText(indicator, call) : "?call";
        break;
      }
      case kItemRefother: {
        const CZvIndexRefother* ref = expression->GetRefother(item.index);
        text += ref ? std::string(ref->code) + "$" : "?ref";
        break;
      }
      default:
        text += "?kind";
    }
  }
  return text;
}

// True when the postfix code reduces to exactly one value without running short of operands,
// in this expression and in every argument of its calls.
inline bool IsWellFormed(const CZvIndexExpression* expression) {
  if (!expression) return true;
  int depth = 0;
  for (std::uint32_t i = 0; i < expression->itemCount; ++i) {
    const PostfixItem& item = expression->items[i];
    if (item.kind == kItemOperator) {
      if (item.op < 4 || item.op > 15 || depth < 2) return false;
      --depth;
    } else {
      ++depth;
    }
  }
  if (depth != 1) return false;
  for (const CZvIndexExpressionFunction* call = expression->functions; call; call = call->next) {
    for (const CZvIndexFunctionParam* argument = call->arguments; argument; argument = argument->next) {
      if (!IsWellFormed(argument)) return false;
    }
  }
  return true;
}

// Markets 0, 1 and 2 with a few codes each.
class ScopedFormulaMarkets {
 public:
  ScopedFormulaMarkets() {
    using markettest::MakeInstrument;
    using markettest::MakeRecord;
    markets_.Add(0, MakeRecord("SH"), {MakeInstrument("000001"), MakeInstrument("600000")});
    markets_.Add(1, MakeRecord("SZ"), {MakeInstrument("000001"), MakeInstrument("399001")});
    markets_.Add(2, MakeRecord("CF", 2), {MakeInstrument("IF2406"), MakeInstrument("CU")});
  }

 private:
  markettest::ScopedMarkets markets_;
};

}  // namespace formulatest
