// The indicator object model: parameters, reference lines, copying, texts, line colours, the
// value accessors and the destruction of chains and lists.
#include "formula/FormulaCompiler.h"
#include "formula/IndexModel.h"

#include "core/GuardedAlloc.h"
#include "data/UtilData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

CZvIndexParam MakeParam(const char* name, double value) {
  CZvIndexParam param{};
  std::strncpy(param.name, name, sizeof param.name - 1);
  param.minimum = 0;
  param.maximum = 100;
  param.defaultValue = value;
  param.step = 1.0;
  param.value = value;
  return param;
}

TEST(IndexModel, NewIndicatorIsEmpty) {
  CZvIndex indicator;
  EXPECT_EQ(indicator.name[0], 0);
  EXPECT_EQ(indicator.formulaText, nullptr);
  EXPECT_EQ(indicator.paramCount, 0u);
  EXPECT_EQ(indicator.refLineCount, 0u);
  EXPECT_EQ(indicator.GetParam(0), nullptr);
  EXPECT_EQ(indicator.GetRefLine(0), nullptr);
  EXPECT_EQ(indicator.GetVariable(0), nullptr);
  // Outside a compile or calculation there is no current variable.
  EXPECT_EQ(indicator.GetVariable(-1), nullptr);
  EXPECT_EQ(indicator.GetVariable(-2), nullptr);
  EXPECT_EQ(indicator.next, nullptr);
}

TEST(IndexModel, ParametersAreUniqueWithoutRegardToCaseAndAtMostSixteen) {
  CZvIndex indicator;
  EXPECT_TRUE(indicator.AddParam(MakeParam("N", 5)));
  EXPECT_FALSE(indicator.AddParam(MakeParam("n", 6)));
  EXPECT_EQ(indicator.paramCount, 1u);
  // Double-byte names: only the single-byte letters fold, so these two are different names.
  EXPECT_TRUE(indicator.AddParam(MakeParam("\x9D" "\x71", 1)));
  EXPECT_TRUE(indicator.AddParam(MakeParam("\x9D" "\x51", 2)));
  EXPECT_EQ(indicator.FindParam("\x9D" "\x71"), 1);
  EXPECT_EQ(indicator.FindParam("\x9D" "\x51"), 2);
  for (int i = 3; i < 16; ++i) EXPECT_TRUE(indicator.AddParam(MakeParam(("P" + std::to_string(i)).c_str(), i)));
  EXPECT_FALSE(indicator.AddParam(MakeParam("P16", 16)));
  EXPECT_EQ(indicator.paramCount, 16u);

  EXPECT_EQ(indicator.FindParam("p15"), 15);
  EXPECT_EQ(indicator.FindParam("P15X", 3), 15);
  EXPECT_EQ(indicator.FindParam("nothing"), -1);
  const std::string longName(32, 'N');
  EXPECT_EQ(indicator.FindParam(longName.c_str(), 32), -1);

  indicator.SetParam(0, MakeParam("M", 9));
  EXPECT_STREQ(indicator.GetParam(0)->name, "M");
  indicator.SetParam(16, MakeParam("X", 1));   // past the count: nothing
  EXPECT_EQ(indicator.GetParam(16), nullptr);
  EXPECT_EQ(indicator.GetParam(-1), nullptr);
}

TEST(IndexModel, ReferenceLinesDropEqualValuesAndStopAtSixteen) {
  CZvIndex indicator;
  EXPECT_TRUE(indicator.AddRefLine(50.0, 0));
  EXPECT_TRUE(indicator.AddRefLine(50.0, 2));   // present: true, nothing added
  EXPECT_EQ(indicator.refLineCount, 1u);
  EXPECT_EQ(indicator.GetRefLine(0)->decimals, 0);
  for (int i = 1; i < 16; ++i) EXPECT_TRUE(indicator.AddRefLine(i, 1));
  EXPECT_FALSE(indicator.AddRefLine(99.0, 0));
  EXPECT_TRUE(indicator.AddRefLine(7.0, 0));     // still present
  EXPECT_EQ(indicator.refLineCount, 16u);
  const CZvIndexRefLine* line = indicator.GetRefLine(15);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->value, 15.0);
  EXPECT_EQ(indicator.GetRefLine(16), nullptr);
}

TEST(IndexModel, AssignCopiesTheDefinitionButNotTheCompiledParts) {
  CZvIndex source;
  std::strcpy(source.name, "MACD");
  std::strcpy(source.password, "pw");
  std::strcpy(source.description, "desc");
  source.flags = kIndexSystem | 1;
  source.AddParam(MakeParam("SHORT", 12));
  source.SetUsageText("usage");
  ASSERT_TRUE(CompileFormula(&source, "DIF: EMA(C,SHORT); REFLINE: 0;", true));
  ASSERT_EQ(source.refLineCount, 1u);

  CZvIndex copy;
  copy.SetError("old", 3, 4);
  copy.Assign(source);
  EXPECT_STREQ(copy.name, "MACD");
  EXPECT_STREQ(copy.password, "pw");
  EXPECT_STREQ(copy.description, "desc");
  EXPECT_EQ(copy.flags, source.flags);
  EXPECT_EQ(copy.paramCount, 1u);
  EXPECT_STREQ(copy.GetUsageText(), "usage");
  EXPECT_STREQ(copy.GetFormulaText(), source.formulaText);
  EXPECT_EQ(copy.variables, nullptr);
  EXPECT_EQ(copy.refLineCount, 0u);
  EXPECT_EQ(copy.errorText[0], 0);

  // An empty formula leaves the copy's formula empty, not the one it had.
  CZvIndex empty;
  copy.Assign(empty);
  EXPECT_STREQ(copy.GetFormulaText(), "");
  EXPECT_STREQ(copy.GetUsageText(), "");

  // A definition is compiled into the instance.
  CZvIndex instance;
  instance.AssignDefinition(source);
  ASSERT_NE(instance.GetVariable(0), nullptr);
  EXPECT_STREQ(instance.GetVariable(0)->name, "DIF");
  EXPECT_EQ(instance.refLineCount, 1u);
  EXPECT_STREQ(instance.name, "MACD");
  // Itself: nothing happens.
  instance.Assign(instance);
  EXPECT_STREQ(instance.name, "MACD");
  EXPECT_NE(instance.GetVariable(0), nullptr);
}

TEST(IndexModel, ClearKeepsErrorAndChain) {
  auto* chained = new CZvIndex;
  CZvIndex indicator;
  indicator.next = chained;
  ASSERT_TRUE(CompileFormula(&indicator, "X: C;", true));
  std::strcpy(indicator.name, "N");
  indicator.selected = 1;
  indicator.titleRect[2] = 5;
  indicator.SetError("e", 1, 2);
  indicator.Clear();
  EXPECT_EQ(indicator.name[0], 0);
  EXPECT_EQ(indicator.formulaText[0], 0);
  EXPECT_EQ(indicator.variables, nullptr);
  EXPECT_EQ(indicator.selected, 0);
  EXPECT_EQ(indicator.titleRect[2], 0);
  EXPECT_STREQ(indicator.errorText, "e");
  EXPECT_EQ(indicator.next, chained);
}

TEST(IndexModel, TextsAndError) {
  CZvIndex indicator;
  indicator.SetUsageText(nullptr);
  indicator.SetUsageText("");
  EXPECT_EQ(indicator.usageText, nullptr);
  indicator.SetUsageText("short");
  EXPECT_GE(GuardedSize(indicator.usageText), 4096u);
  const std::string longText(5000, 'u');
  indicator.SetUsageText(longText.c_str());
  EXPECT_EQ(indicator.GetUsageText(), longText);
  EXPECT_GE(GuardedSize(indicator.usageText), 5001u);

  char text[64];
  int position = -1;
  int length = -1;
  indicator.SetError("语法错误。", 7, 3);
  indicator.GetError(text, &position, &length);
  EXPECT_STREQ(text, "语法错误。");
  EXPECT_EQ(position, 7);
  EXPECT_EQ(length, 3);
  indicator.GetError(nullptr, nullptr, &length);   // only what is asked
  EXPECT_EQ(length, 3);
  // A message never overflows its field.
  const std::string tooLong(100, 'x');
  indicator.SetError(tooLong.c_str(), 0, 0);
  EXPECT_EQ(std::strlen(indicator.errorText), 63u);
}

TEST(IndexModel, UsageTextWithoutMemoryStaysAbsent) {
  CZvIndex indicator;
  ScopedGuardedAllocLimit limit(100);
  indicator.SetUsageText("text");
  EXPECT_EQ(indicator.usageText, nullptr);
}

TEST(IndexModel, LineColoursGoRoundTheEightThemeEntries) {
  for (int i = 0; i < kColorCount; ++i) ColorTable[i] = 0x100u + static_cast<unsigned>(i);
  CZvIndex indicator;
  // Nine plain lines, one red and one with a hexadecimal colour, a hidden one, a SYSCOLOR one, a
  // stick line (takes colours) and a volume stick (does not).
  ASSERT_TRUE(CompileFormula(&indicator,
                             "A1:C; R:C,COLORRED; A2:C; H:=C; A3:C; X:C,COLOR123456; A4:C; A5:C; S:C,COLORSYSCOLOR5; "
                             "A6:C; A7:C; A8:C; A9:C; V:C,VOLSTICK;",
                             true));
  EXPECT_EQ(indicator.AssignLineColours(3), 4);
  const struct {
    const char* name;
    std::uint32_t colour;
  } expected[] = {{"A1", 0x103}, {"R", 0x0000FF}, {"A2", 0x104}, {"H", 0},     {"A3", 0x105},
                  {"X", 0x123456}, {"A4", 0x106}, {"A5", 0x107}, {"S", 5},     {"A6", 0x108},
                  {"A7", 0x109}, {"A8", 0x10A},   {"A9", 0x103}, {"V", 0}};
  int index = 0;
  for (const auto& line : expected) {
    const CZvIndexVariable* variable = indicator.GetVariable(index++);
    ASSERT_NE(variable, nullptr);
    EXPECT_STREQ(variable->name, line.name);
    EXPECT_EQ(variable->colour, line.colour) << line.name;
  }
  // The next indicator of the pane goes on from there.
  CZvIndex second;
  ASSERT_TRUE(CompileFormula(&second, "B:C;", true));
  EXPECT_EQ(second.AssignLineColours(10), 3);
  EXPECT_EQ(second.GetVariable(0)->colour, 0x10Au);
}

TEST(IndexModel, VariableValuesOnlyForStylesWithOneDoublePerBar) {
  CZvIndexVariable variable;
  EXPECT_EQ(variable.GetValue(0), 0.0);   // no array yet
  variable.values = GuardedAlloc(4 * sizeof(double));
  for (int style : {0, 1, 8, 11}) {
    variable.style = static_cast<std::uint8_t>(style);
    variable.SetValue(2, 1.5 + style);
    EXPECT_EQ(variable.GetValue(2), 1.5 + style);
  }
  static_cast<double*>(variable.values)[1] = 7.0;
  for (int style : {4, 5, 6, 7, 12}) {
    variable.style = static_cast<std::uint8_t>(style);
    EXPECT_EQ(variable.GetValue(1), 0.0);
    variable.SetValue(1, 9.0);
  }
  variable.style = kStylePlain;
  EXPECT_EQ(variable.GetValue(1), 7.0);
  EXPECT_EQ(variable.GetValue(4), 0.0);   // past the array
}

TEST(IndexModel, DestroyingTheFirstOfAChainDestroysAll) {
  // The sanitizers report anything left behind; each indicator holds compiled parts.
  auto* first = new CZvIndex;
  first->next = new CZvIndex;
  first->next->next = new CZvIndex;
  for (CZvIndex* indicator = first; indicator; indicator = indicator->next) {
    ASSERT_TRUE(CompileFormula(indicator, "A: MA(C,5); DRAWTEXT(C>O, L, 'T'); B: MAX(\"600000$C\", A);", true));
  }
  delete first;
}

TEST(IndexModel, LongListsAreDestroyedWithoutDeepRecursion) {
  std::string formula;
  for (int i = 0; i < 20000; ++i) formula += "C;";
  auto indicator = std::make_unique<CZvIndex>();
  ASSERT_TRUE(CompileFormula(indicator.get(), formula.c_str(), true));
  EXPECT_NE(indicator->GetVariable(19999), nullptr);
  EXPECT_EQ(indicator->GetVariable(20000), nullptr);
  indicator.reset();
}

TEST(IndexModel, RefersToInstrumentLooksIntoArgumentsAndTheChain) {
  CZvIndex indicator;
  ASSERT_TRUE(CompileFormula(&indicator, "X: C; DRAWTEXT(C>O, MA(\"600000$C\", 5), 'T');", true));
  auto* chained = new CZvIndex;
  indicator.next = chained;
  ASSERT_TRUE(CompileFormula(chained, "Y: \"000001$C\";", true));
  const STKPTR target(0, 0, 3);
  const STKPTR other(1, 0, 7);
  EXPECT_FALSE(indicator.RefersToInstrument(target, true));

  // Bind the nested reference by hand (binding itself belongs to the calculation).
  CZvIndexRefother* nested = indicator.drawCalls->expressions[0]->GetFunction(0)->arguments->GetRefother(0);
  ASSERT_NE(nested, nullptr);
  nested->instrument = target;
  nested->series = 1000;   // no such series: giving it back does nothing
  EXPECT_TRUE(indicator.RefersToInstrument(target, false));
  EXPECT_FALSE(indicator.RefersToInstrument(other, true));

  CZvIndexRefother* top = chained->GetVariable(0)->expression->GetRefother(0);
  top->instrument = other;
  top->series = 1001;
  EXPECT_FALSE(indicator.RefersToInstrument(other, false));
  EXPECT_TRUE(indicator.RefersToInstrument(other, true));
}

}  // namespace
