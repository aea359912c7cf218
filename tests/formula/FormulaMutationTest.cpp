// Valid formulas changed at random (bytes replaced, cut, duplicated, double-byte and broken
// double-byte characters inserted) and compiled under the sanitizers: no fault, and every result
// is sound: a failure leaves a short message, a highlight inside the text and an indicator that
// holds nothing but the error; a success leaves postfix code that reduces to one value.
#include "FormulaTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

using formulatest::IsWellFormed;
using formulatest::MakeIndicator;

const char* const kSeeds[] = {
    "MA5:MA(C,5); MA10:MA(C,10), COLORRED; MA20:MA(C,20), LINETHICK2; MA60:MA(C,60), COLORSYSCOLOR7;",
    "DIF:EMA(CLOSE,SHORT)-EMA(CLOSE,LONG);DEA:EMA(DIF,MID);MACD:(DIF-DEA)*2,COLORSTICK;",
    "RSV:=(CLOSE-LLV(LOW,N))/(HHV(HIGH,N)-LLV(LOW,N))*100;K:SMA(RSV,M1,1);D:SMA(K,M2,1);J:3*K-2*D;",
    "REFLINE: -100, 0, 0.5, 100; X: IF(C>O AND V>REF(V,1), 1, -1), PRECIS2;",
    "{comment} DRAWTEXT(CROSS(C,MA(C,5)), L*0.98, '买'), ALIGN1, VALIGN2, COLORYELLOW;"
    "DRAWICON(C>O, H, 3); STICKLINE(C>O, C, O, 4, 0), COLOR00FF00; DRAWKLINE(H,O,L,C);",
    "X: \"600000$CLOSE\" / \"SZ399001$C\" * 100; Y: MA(\"IF2406$VOL\", 5); Z: X>-0.5 OR Y<>-X;",
    "漲: MAX(C,O,H,L); 漄: 漲*2, CIRCLEDOT; DRAWBMP(漄>漲, L, 'UP.BMP'); DRAWGBK(C>O, COLORRGB(255,0,0), 0, 1);",
    "A:=BARSLAST(C>REF(C,1)); B: ZIG(3,5), POINTDOT; C1: BACKSET(C>O,2) + FILTER(C<O,3); REFLINE: 20, 80;",
};

std::string Mutate(std::string text, std::mt19937& random) {
  auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(random() % n); };
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int e = 0; e < edits; ++e) {
    switch (random() % 8) {
      case 0:   // one byte changed, often to a byte the language uses
        if (!text.empty()) {
          static const char kBytes[] = "(),;:='\"$+-*/<>{}.0123456789ACLOX_ \t";
          text[pick(text.size())] = random() % 2 ? kBytes[pick(sizeof kBytes - 1)] : static_cast<char>(random() % 256);
        }
        break;
      case 1:   // cut
        text.resize(pick(text.size() + 1));
        break;
      case 2: {   // a span removed
        const std::size_t at = pick(text.size() + 1);
        text.erase(at, pick(text.size() - at + 1));
        break;
      }
      case 3: {   // a span duplicated
        const std::size_t at = pick(text.size() + 1);
        const std::string span = text.substr(at, pick(40));
        text.insert(pick(text.size() + 1), span);
        break;
      }
      case 4: {   // a double-byte character, valid or broken
        static const char* const kInserts[] = {"\x9D\x71", "\x9D\x51", "\x81\x7D", "\x81", "\xFE\x40", "\xFF", "\x80"};
        text.insert(pick(text.size() + 1), kInserts[pick(7)]);
        break;
      }
      case 5: {   // nesting grown
        const std::size_t at = pick(text.size() + 1);
        text.insert(at, random() % 2 ? "ABS(" : "(");
        break;
      }
      default: {   // a fragment of the language: operators, groups, separators
        static const char* const kFragments[] = {"+", "-", ")", "(", "()", "*", " AND ", ",", "+)", "-(", "'", "\""};
        text.insert(pick(text.size() + 1), kFragments[pick(sizeof kFragments / sizeof kFragments[0])]);
        break;
      }
    }
  }
  return text;
}

void CheckExpressions(const CZvIndex& indicator, const std::string& formula) {
  for (const CZvIndexVariable* variable = indicator.variables; variable; variable = variable->next) {
    ASSERT_TRUE(IsWellFormed(variable->expression)) << formula;
  }
  for (const CZvIndexDraw* call = indicator.drawCalls; call; call = call->next) {
    ASSERT_TRUE(IsWellFormed(call->condition)) << formula;
    for (const CZvIndexExpression* expression : call->expressions) ASSERT_TRUE(IsWellFormed(expression)) << formula;
  }
}

TEST(FormulaMutation, MutatedFormulasCompileOrFailCleanly) {
  formulatest::ScopedFormulaMarkets markets;
  std::mt19937 random(20261211);
  int failures = 0;
  for (int round = 0; round < 30000; ++round) {
    const std::string formula = Mutate(kSeeds[random() % (sizeof kSeeds / sizeof kSeeds[0])], random);
    auto indicator = MakeIndicator({"SHORT", "LONG", "MID", "N", "M1", "M2"});
    std::strcpy(indicator->name, "KDJ");
    const bool noCodeCheck = round % 2 == 0;
    if (CompileFormula(indicator.get(), formula.c_str(), noCodeCheck)) {
      CheckExpressions(*indicator, formula);
      ASSERT_EQ(indicator->errorText[0], 0);
      ASSERT_EQ(indicator->currentVariable, nullptr);
      continue;
    }
    ++failures;
    const int textLength = static_cast<int>(std::strlen(formula.c_str()));
    const std::size_t messageLength = std::strlen(indicator->errorText);
    ASSERT_GT(messageLength, 0u) << formula;
    ASSERT_LT(messageLength, 64u) << formula;
    ASSERT_GE(indicator->errorPosition, 0) << formula;
    ASSERT_GE(indicator->errorLength, 0) << formula;
    ASSERT_LE(indicator->errorPosition + indicator->errorLength, textLength) << formula << " " << indicator->errorText;
    if (std::strcmp(indicator->errorText, formula_messages::kEmptyFormula) == 0) continue;
    ASSERT_EQ(indicator->name[0], 0) << formula;
    ASSERT_EQ(indicator->paramCount, 0u) << formula;
    ASSERT_EQ(indicator->variables, nullptr) << formula;
    ASSERT_EQ(indicator->drawCalls, nullptr) << formula;
    ASSERT_EQ(indicator->refLineCount, 0u) << formula;
    ASSERT_EQ(indicator->currentVariable, nullptr) << formula;
  }
  // The mutations reach both outcomes.
  EXPECT_GT(failures, 1000);
  EXPECT_LT(failures, 29000);
}

}  // namespace
