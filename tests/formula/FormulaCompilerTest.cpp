// The formula compiler: statements and their attributes, reference lines, drawing calls, the
// postfix code of expressions, and every compile error with its position and length.
#include "FormulaTestUtil.h"

#include "core/GuardedAlloc.h"
#include "formula/FormulaLexer.h"
#include "platform/Application.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using formulatest::IsWellFormed;
using formulatest::MakeIndicator;
using formulatest::Postfix;
namespace msg = formula_messages;

// ---- Expressions ------------------------------------------------------------------------------

struct PostfixCase {
  const char* formula;
  const char* postfix;
};

TEST(FormulaExpression, PostfixCode) {
  const PostfixCase cases[] = {
      {"A+B*C", "A B C * +"},
      {"(A+B)*C", "A B + C *"},
      {"A-B-C", "A B - C -"},
      {"A/B*C", "A B / C *"},
      {"A>B AND D<E OR B", "A B > D E < AND B OR"},
      {"A OR B AND C", "A B C AND OR"},
      {"A=B>C", "A B C > ="},
      {"A<>B<=C", "A B C <= <>"},
      {"A>=B", "A B >="},
      {"-A*B", "0 A B * -"},
      {"A*(-B)", "A 0 B - *"},
      {"+A", "A"},
      {"A>-1", "A 0 1 - >"},
      {"A>-0.5", "A 0 0.5 - >"},
      {"A<-B>C", "A 0 B - < C >"},
      {"A AND -B", "A 0 B - AND"},
      {".5+A", "0.5 A +"},
      {"(.25)", "0.25"},
      {"-.5", "0 0.5 -"},
      {"12.75", "12.75"},
      {"((A))", "A"},
      {"A {comment} + {more} B", "A B +"},
      {"MA(C,5)", "MA(C,5)"},
      {"MA(C+O,5)*2", "MA(C O +,5) 2 *"},
      {"MAX(C,O,H)", "MAX(C,O,H)"},
      {"MAX(MA(C,5),-1)", "MAX(MA(C,5),0 1 -)"},
      {"C+BARSCOUNT", "C BARSCOUNT +"},
      {"BARSCOUNT(C)", "BARSCOUNT(C)"},
      {"C()", "C"},
      {"MA(\"600000$CLOSE\",5)", "MA(600000$,5)"},
      {"\"SH600000$C\"*2", "600000$ 2 *"},
      {"\" 000001 {x} $ VOL \"", "000001$"},
      {"a+b", "A B +"},
  };
  for (const PostfixCase& c : cases) {
    SCOPED_TRACE(c.formula);
    // C stays the close: a function without arguments shows as its name.
    auto indicator = MakeIndicator({"A", "B", "D", "E"});
    ASSERT_TRUE(CompileFormula(indicator.get(), c.formula, true)) << indicator->errorText;
    const CZvIndexVariable* variable = indicator->GetVariable(0);
    ASSERT_NE(variable, nullptr);
    EXPECT_EQ(Postfix(*indicator, variable->expression), c.postfix);
    EXPECT_TRUE(IsWellFormed(variable->expression));
    // The item array has room for twice its items: the upper half is working space.
    EXPECT_GE(variable->expression->Capacity(), 2 * variable->expression->itemCount);
  }
}

TEST(FormulaExpression, NamesResolveToParameterThenVariableThenFunctionThenOwnName) {
  auto indicator = MakeIndicator({"N"});
  ASSERT_TRUE(CompileFormula(indicator.get(), "A: C*N; B: A+B+VOL; C: C;", true)) << indicator->errorText;
  EXPECT_EQ(Postfix(*indicator, indicator->GetVariable(0)->expression), "C N *");
  EXPECT_EQ(Postfix(*indicator, indicator->GetVariable(1)->expression), "A SELF + VOL +");
  // A statement named like a function without arguments: the function comes first.
  EXPECT_EQ(Postfix(*indicator, indicator->GetVariable(2)->expression), "C");
  const PostfixItem& item = indicator->GetVariable(1)->expression->items[0];
  EXPECT_EQ(item.kind, kItemVariable);
  EXPECT_EQ(item.index, 0);
  // Calls keep their evaluator and their position in the chain.
  const CZvIndexExpression* expression = indicator->GetVariable(1)->expression;
  ASSERT_NE(expression->GetFunction(0), nullptr);
  EXPECT_EQ(expression->GetFunction(0)->evaluator, FindFunctionEvaluator("VOL"));
  EXPECT_EQ(expression->GetFunction(1), nullptr);
}

TEST(FormulaExpression, CrossReferencesAreStoredByPrefix) {
  formulatest::ScopedFormulaMarkets markets;
  auto indicator = MakeIndicator();
  ASSERT_TRUE(CompileFormula(indicator.get(), "\"SH600000$C\"+\"SZ399001$HIGH\"+\"IF2406$AMOUNT\"+\"cu$v\";", false))
      << indicator->errorText;
  const CZvIndexExpression* expression = indicator->GetVariable(0)->expression;
  const struct {
    int market;
    const char* code;
    const char* field;
  } expected[] = {{0, "600000", "C"}, {1, "399001", "HIGH"}, {255, "IF2406", "AMOUNT"}, {255, "CU", "V"}};
  for (int i = 0; i < 4; ++i) {
    const CZvIndexRefother* ref = expression->GetRefother(i);
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(ref->market, expected[i].market);
    EXPECT_STREQ(ref->code, expected[i].code);
    EXPECT_EQ(ref->fieldEvaluator, FindFunctionEvaluator(expected[i].field));
    EXPECT_EQ(ref->series, -1);
    EXPECT_TRUE(ref->instrument == STKPTR());
  }
  // Without the code check any code of six bytes or fewer passes.
  EXPECT_TRUE(CompileFormula(indicator.get(), "\"ZZZZZZ$C\";", true));
  // With it: SH in market 0 only, SZ in market 1 only, others anywhere from market 0.
  EXPECT_TRUE(CompileFormula(indicator.get(), "\"SZ000001$C\"+\"SH000001$C\"+\"000001$C\";", false));
  EXPECT_FALSE(CompileFormula(indicator.get(), "\"SH399001$C\";", false));
  EXPECT_FALSE(CompileFormula(indicator.get(), "\"SZ600000$C\";", false));
}

// ---- Statements -------------------------------------------------------------------------------

struct VariableExpectation {
  const char* name;
  std::uint32_t flags;
  int style;
  std::uint32_t colour;
  int decimals;
  int thickness;
  const char* postfix;
};

struct StatementCase {
  const char* formula;
  std::vector<VariableExpectation> variables;
};

TEST(FormulaStatements, VariablesAndAttributes) {
  const std::uint32_t drawn = kVariableDrawn;
  const std::uint32_t own = kVariableOwnColour;
  const StatementCase cases[] = {
      {"MA5:MA(C,5);", {{"MA5", drawn, 0, 0, 4, 1, "MA(C,5)"}}},
      {"MA5:=MA(C,5);", {{"MA5", 0, 0, 0, 4, 1, "MA(C,5)"}}},
      {"MA(C,5)", {{"", drawn, 0, 0, 4, 1, "MA(C,5)"}}},
      {"X: C, COLORSTICK", {{"X", drawn, 1, 0, 4, 1, "C"}}},
      {"X: C, VOLSTICK, KSTICK", {{"X", drawn, 4, 0, 4, 1, "C"}}},
      {"X: C, BARSTICK; Y: C, TOWERSTICK; Z: C, CIRCLEDOT",
       {{"X", drawn, 5, 0, 4, 1, "C"}, {"Y", drawn, 6, 0, 4, 1, "C"}, {"Z", drawn, 3, 0, 4, 1, "C"}}},
      {"X: C, CROSSDOT; Y: C, POINTDOT; Z: C, STICK; W: C, POINTFIGURE; S: C, SSL_ZUVOINTERNAL",
       {{"X", drawn, 10, 0, 4, 1, "C"},
        {"Y", drawn, 9, 0, 4, 1, "C"},
        {"Z", drawn, 8, 0, 4, 1, "C"},
        {"W", drawn, 7, 0, 4, 1, "C"},
        {"S", drawn, 11, 0, 4, 1, "C"}}},
      {"X: C, COLORRED, PRECIS2, LINETHICK3", {{"X", drawn | own, 0, 0x0000FF, 2, 3, "C"}}},
      {"X: C, COLOR00FF00", {{"X", drawn | own, 0, 0x00FF00, 4, 1, "C"}}},
      {"X: C, COLORFF0080", {{"X", drawn | own, 0, 0xFF0080, 4, 1, "C"}}},
      {"X: C, COLORSYSCOLOR5", {{"X", drawn | own | kVariableSysColour, 0, 5, 4, 1, "C"}}},
      {"X: C, COLORSYSCOLOR63", {{"X", drawn | own | kVariableSysColour, 0, 63, 4, 1, "C"}}},
      // A later colour wins, and no longer refers to the theme.
      {"X: C, COLORSYSCOLOR5, COLORBLUE", {{"X", drawn | own, 0, 0xFF0000, 4, 1, "C"}}},
      {"X: C, COLORYELLOW, PRECIS0, LINETHICK0, PRECIS6, LINETHICK7", {{"X", drawn | own, 0, 0x00FFFF, 6, 7, "C"}}},
      {"X: C {note}, {x} COLORBROWN {y};", {{"X", drawn | own, 0, 0x000084, 4, 1, "C"}}},
      {"x: c, colorfuchsia", {{"X", drawn | own, 0, 0xFF00FF, 4, 1, "C"}}},
      {";;X: C;;", {{"X", drawn, 0, 0, 4, 1, "C"}}},
      {"X : C", {{"X", drawn, 0, 0, 4, 1, "C"}}},
      {"X: X + 1; Y: X * 2", {{"X", drawn, 0, 0, 4, 1, "SELF 1 +"}, {"Y", drawn, 0, 0, 4, 1, "X 2 *"}}},
      {"Z: ZIG(3,5)", {{"Z", drawn | kVariableFuture, 0, 0, 4, 1, "ZIG(3,5)"}}},
      {"\x9D" "\x71: C; \x9D" "\x51: \x9D" "\x71",
       {{"\x9D" "\x71", drawn, 0, 0, 4, 1, "C"}, {"\x9D" "\x51", drawn, 0, 0, 4, 1, "\x9D" "\x71"}}},
  };
  for (const StatementCase& c : cases) {
    SCOPED_TRACE(c.formula);
    auto indicator = MakeIndicator();
    ASSERT_TRUE(CompileFormula(indicator.get(), c.formula, true)) << indicator->errorText << " at "
                                                                   << indicator->errorPosition;
    int index = 0;
    for (const VariableExpectation& expected : c.variables) {
      const CZvIndexVariable* variable = indicator->GetVariable(index++);
      ASSERT_NE(variable, nullptr);
      EXPECT_STREQ(variable->name, expected.name);
      EXPECT_EQ(variable->flags, expected.flags);
      EXPECT_EQ(variable->style, expected.style);
      EXPECT_EQ(variable->colour, expected.colour);
      EXPECT_EQ(variable->decimals, expected.decimals);
      EXPECT_EQ(variable->thickness, expected.thickness);
      EXPECT_EQ(Postfix(*indicator, variable->expression), expected.postfix);
    }
    EXPECT_EQ(indicator->GetVariable(index), nullptr);
    EXPECT_EQ(indicator->currentVariable, nullptr);
  }
}

TEST(FormulaStatements, FutureFunctionsMarkTheIndicator) {
  auto indicator = MakeIndicator();
  ASSERT_TRUE(CompileFormula(indicator.get(), "A: C; B: MA(BACKSET(C>O,2),5);", true));
  EXPECT_EQ(indicator->flags & kIndexFuture, kIndexFuture);
  EXPECT_EQ(indicator->GetVariable(0)->flags & kVariableFuture, 0u);
  ASSERT_TRUE(CompileFormula(indicator.get(), "DRAWTEXT(FILTER(C>O,3), L, 'B');", true));
  EXPECT_EQ(indicator->drawCalls->flags & kVariableFuture, kVariableFuture);
  EXPECT_EQ(indicator->flags & kIndexFuture, kIndexFuture);
}

TEST(FormulaStatements, UpperCasingStartsAfterLeadingCommentsAndSparesDoubleByteCharacters) {
  auto indicator = MakeIndicator();
  // 漲 is 9D 71: its trail byte is a lower-case q to a byte-wise fold.
  const std::string formula = " {keep me} x: c; DRAWTEXT(c>o, l, 'a\x9D\x71" "b');";
  ASSERT_TRUE(CompileFormula(indicator.get(), formula.c_str(), true)) << indicator->errorText;
  EXPECT_STREQ(indicator->formulaText, " {keep me} X: C; DRAWTEXT(C>O, L, 'A\x9D\x71" "B');");
  EXPECT_STREQ(indicator->drawCalls->text, "A\x9D\x71" "B");
  // A comment holding a double-byte character whose trail byte is "}" (0x7D) goes on past it.
  ASSERT_TRUE(CompileFormula(indicator.get(), "X: C {\x81\x7D still a comment } ;", true)) << indicator->errorText;
}

TEST(FormulaStatements, ReferenceLines) {
  const struct {
    const char* formula;
    std::vector<std::pair<double, int>> lines;
  } cases[] = {
      {"REFLINE: -100, 0, 100;", {{-100, 0}, {0, 0}, {100, 0}}},
      {"REFLINE: 0.50;", {{0.5, 2}}},
      {"REFLINE: + 20 {c} , - .25, 20, 5.;", {{20, 0}, {-0.25, 2}, {5, 0}}},
      {"REFLINE: -, 3", {{0, 0}, {3, 0}}},
      {"REFLINE:", {}},
      {"REFLINE: 1,", {{1, 0}}},
      {"X: C; REFLINE: 80, 20; Y: O", {{80, 0}, {20, 0}}},
      {"REFLINE: 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,1", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.formula);
    auto indicator = MakeIndicator();
    ASSERT_TRUE(CompileFormula(indicator.get(), c.formula, true)) << indicator->errorText;
    if (c.lines.empty() && std::string(c.formula).size() > 20) {
      EXPECT_EQ(indicator->refLineCount, 16u);   // the seventeenth is dropped
      continue;
    }
    ASSERT_EQ(indicator->refLineCount, c.lines.size());
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      EXPECT_EQ(indicator->GetRefLine(static_cast<int>(i))->value, c.lines[i].first);
      EXPECT_EQ(indicator->GetRefLine(static_cast<int>(i))->decimals, c.lines[i].second);
    }
  }
}

TEST(FormulaStatements, DrawingCalls) {
  // RGB2 is a parameter.
  auto withParam = MakeIndicator({"RGB2"});
  ASSERT_TRUE(CompileFormula(withParam.get(),
                             "DRAWTEXT(C>O, L, '涨'), ALIGN0, VALIGN2, COLORGREEN;"
                             "DRAWICON(C>O, L, 20);"
                             "DRAWBMP(C<O, H, 'UP.BMP');"
                             "DRAWBKBMP(1, 'BG');"
                             "DRAWGBK(C>O, COLORRGB(255,0,0), RGB2, 1);"
                             "STICKLINE(C>O, C, O, 4, 0), COLOR0000FF;"
                             "DRAWKLINE(H, O, L, C);"
                             "DRAWICON(1, L, 9999999999);"
                             "DRAWICON(1, L, 0)",
                             true))
      << withParam->errorText;
  const struct {
    int kind;
    const char* condition;
    std::vector<const char*> expressions;
    std::uint32_t alignment;
    std::uint32_t colour;
  } expected[] = {
      {kDrawText, "C O >", {"L"}, 0x00020000, 0x00FF00},
      {kDrawIcon, "C O >", {"L"}, 0x00010001, 0xFFFFFFFF},
      {kDrawBmp, "C O <", {"H"}, 0x00010001, 0xFFFFFFFF},
      {kDrawBkBmp, "1", {}, 0x00010001, 0xFFFFFFFF},
      {kDrawGbk, "C O >", {"COLORRGB(255,0,0)", "RGB2", "1"}, 0x00010001, 0xFFFFFFFF},
      {kDrawStickLine, "C O >", {"C", "O", "4", "0"}, 0x00010001, 0x0000FF},
      {kDrawKLine, "<none>", {"H", "O", "L", "C"}, 0x00010001, 0xFFFFFFFF},
      {kDrawIcon, "1", {"L"}, 0x00010001, 0xFFFFFFFF},
      {kDrawIcon, "1", {"L"}, 0x00010001, 0xFFFFFFFF},
  };
  const CZvIndexDraw* call = withParam->drawCalls;
  for (const auto& e : expected) {
    ASSERT_NE(call, nullptr);
    SCOPED_TRACE(e.kind);
    EXPECT_EQ(call->kind, e.kind);
    EXPECT_EQ(Postfix(*withParam, call->condition), e.condition);
    for (int i = 0; i < 4; ++i) {
      const char* want = i < static_cast<int>(e.expressions.size()) ? e.expressions[static_cast<std::size_t>(i)] : "<none>";
      EXPECT_EQ(Postfix(*withParam, call->expressions[i]), want) << i;
    }
    EXPECT_EQ(call->alignment, e.alignment);
    EXPECT_EQ(call->colour, e.colour);
    call = call->next;
  }
  EXPECT_EQ(call, nullptr);
  const CZvIndexDraw* text = withParam->GetDrawCall(0);
  EXPECT_STREQ(text->text, "涨");
  EXPECT_EQ(withParam->GetDrawCall(1)->IconNumber(), 20u);
  EXPECT_STREQ(withParam->GetDrawCall(2)->text, "UP.BMP");
  EXPECT_STREQ(withParam->GetDrawCall(3)->text, "BG");
  // Ten digits past 32 bits are kept as the largest number; drawing takes it to the last icon.
  EXPECT_EQ(withParam->GetDrawCall(7)->IconNumber(), 0xFFFFFFFFu);
  EXPECT_EQ(withParam->GetDrawCall(8)->IconNumber(), 0u);
  EXPECT_EQ(withParam->variables, nullptr);
}

TEST(FormulaStatements, CompileFromWindowReadsTheEditText) {
  HWND edit = CreateWindowExA(0, "EDIT", "x: ma(c,5);", WS_OVERLAPPED | ES_MULTILINE, 0, 0, 200, 100, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  auto indicator = MakeIndicator();
  EXPECT_TRUE(indicator->CompileFromWindow(edit, true)) << indicator->errorText;
  EXPECT_STREQ(indicator->GetVariable(0)->name, "X");
  SetWindowTextA(edit, "");
  EXPECT_FALSE(indicator->CompileFromWindow(edit, true));
  EXPECT_STREQ(indicator->errorText, msg::kEmptyFormula);
  SetWindowTextA(edit, "usage 说明");
  indicator->SetUsageTextFromWindow(edit);
  EXPECT_STREQ(indicator->GetUsageText(), "usage 说明");
  SetWindowTextA(edit, "");
  indicator->SetUsageTextFromWindow(edit);
  EXPECT_STREQ(indicator->GetUsageText(), "");
  DestroyWindow(edit);
}

TEST(FormulaStatements, RecompilingTheOwnTextWorks) {
  auto indicator = MakeIndicator();
  ASSERT_TRUE(CompileFormula(indicator.get(), "x: c;", true));
  EXPECT_TRUE(CompileFormula(indicator.get(), indicator->formulaText, true));
  EXPECT_STREQ(indicator->GetVariable(0)->name, "X");
  // A text longer than the buffer it came from grows it without reading freed memory.
  const std::string longFormula = "X: C;" + std::string(5000, ' ');
  indicator->SetFormulaText(longFormula.c_str());
  EXPECT_TRUE(CompileFormula(indicator.get(), indicator->formulaText, true));
}

// ---- Errors -----------------------------------------------------------------------------------

struct ErrorCase {
  const char* formula;
  const char* message;
  const char* at;    // the error starts at the first occurrence of this text after `skip` bytes
  int length;
  int skip = 0;
  std::vector<std::string> params = {};
};

std::string Text256(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }

TEST(FormulaErrors, MessagesPositionsAndLengths) {
  const std::string longText = "DRAWTEXT(C>O, L, '" + Text256('T', 257) + "');";
  const std::string longPicture = "DRAWBMP(C>O, L, '" + Text256('P', 257) + "');";
  const std::string longNumber = "X: " + Text256('1', 32) + ";";
  const std::string okNumber = "X: " + Text256('1', 31) + " +;";
  const ErrorCase cases[] = {
      // Statements.
      {", C", msg::kSyntax, ",", 1},
      {"X: C C", msg::kSyntax, "C", 1, 4},
      {"ABCDEFGHIJKLMNOP: C", msg::kNameTooLong, "ABCDEFGHIJKLMNOP", 16},
      {"REFLINE: 1; REFLINE: 2", msg::kRefLineTwice, "REFLINE", 7, 1},
      {"n: C", msg::kNameIsParam, "n", 1, 0, {"N"}},
      {"A: C; a: O;", msg::kNameIsVariable, "a", 1},
      {"X: ;", msg::kEmptyExpression, "X", 1},
      {"X:=, COLORRED", msg::kEmptyExpression, "X", 1},
      {"X:", msg::kEmptyExpression, "X", 1},
      {"X: C,, COLORRED", msg::kUnknownAttribute, ",", 1, 5},
      {"X: C, FOO BAR", msg::kUnknownAttribute, "FOO", 3},
      {"X: C,", msg::kUnknownAttribute, "", 0, 5},
      {"X: C, KSTICKS", msg::kSyntax, "S", 1, 11},
      {"X: C COLORRED", msg::kUndefined, "COLORRED", 8},
      {"X: C O, COLORRED", msg::kSyntax, "O", 1},
      {"X: C, COLORSYSCOLOR64", msg::kBadColour, "SYSCOLOR64", 10},
      {"X: C, COLORSYSCOLOR", msg::kBadColour, "SYSCOLOR", 8},
      {"X: C, COLORSYSCOLOR1A", msg::kBadColour, "SYSCOLOR1A", 10},
      {"X: C, COLOR00GG00", msg::kBadColour, "G", 1},
      {"X: C, COLORPINK", msg::kBadColour, "PINK", 4},
      {"X: C, COLOR", msg::kBadColour, "", 0, 11},
      {"X: C, COLOR;", msg::kBadColour, ";", 1},
      {"X: C, PRECIS7", msg::kPrecisRange, "7", 1},
      {"X: C, PRECIS10", msg::kPrecisRange, "10", 2},
      {"X: C, PRECIS1A", msg::kPrecisRange, "A", 1, 13},
      {"X: C, PRECIS12345678901", msg::kPrecisTooLong, "12345678901", 11},
      {"X: C, PRECIS", msg::kSyntax, "", 0, 12},
      {"X: C, PRECIS X", msg::kSyntax, " X", 1},
      {"X: C, LINETHICK8", msg::kThickRange, "8", 1},
      {"X: C, LINETHICK2.5", msg::kThickRange, ".", 1},
      {"X: C, LINETHICK99999999999", msg::kThickTooLong, "99999999999", 11},
      {"X: C, LINETHICK", msg::kThickMissing, "", 0, 15},
      {"X: C, LINETHICKA", msg::kThickMissing, "A", 1, 14},
      // Reference lines.
      {"REFLINE: A", msg::kRefLineNotNumber, "A", 1},
      {"REFLINE: 1, X", msg::kRefLineNotNumber, "X", 1},
      {"REFLINE: 1.2.3", msg::kBadNumber, "1.2.3", 5},
      {"REFLINE: 1 2", msg::kBadNumber, "2", 1},
      {"REFLINE: 12A", msg::kBadNumber, "A", 1},
      {"REFLINE: + X", msg::kBadNumber, "X", 1},
      // Drawing calls.
      {"DRAWKLINE(H,O,L);", msg::kMissingArgument, ")", 1},
      {"DRAWTEXT C>O", msg::kSyntax, "C", 1, 9},
      {"DRAWTEXT(", msg::kSyntax, "", 0, 9},
      {"DRAWTEXT(,L,'A')", msg::kSyntax, ",", 1},
      {"DRAWTEXT(C>O,,'A')", msg::kSyntax, ",", 1, 13},
      {"DRAWTEXT(C>O L,'A')", msg::kSyntax, "L", 1},
      {"DRAWTEXT(C>O, L, 5)", msg::kNeedString, "5", 1},
      {"DRAWTEXT(C>O, L, 'ABC", msg::kUnexpectedEnd, "'ABC", 4},
      {"DRAWTEXT(C>O, L, '')", msg::kEmptyText, "''", 2},
      {"DRAWBKBMP(C>O, '')", msg::kEmptyPicture, "''", 2},
      {"DRAWBMP(C>O, L, '');", msg::kEmptyPicture, "''", 2},
      {longText.c_str(), msg::kTextTooLong, "TTT", 257},
      {longPicture.c_str(), msg::kPictureTooLong, "PPP", 257},
      {"DRAWTEXT(C>O, L, 'A' X", msg::kSyntax, "X", 1, 9},
      {"DRAWTEXT(C>O, L, 'A'), ALIGN", msg::kSyntax, "", 0, 28},
      {"DRAWTEXT(C>O, L, 'A'), ALIGN3", msg::kAlignRange, "3", 1},
      {"DRAWTEXT(C>O, L, 'A'), VALIGN2X", msg::kAlignRange, "X", 1, 9},
      {"DRAWTEXT(C>O, L, 'A'), VALIGN12345678901", msg::kAlignTooLong, "12345678901", 11},
      {"DRAWTEXT(C>O, L, 'A'), COLORSYSCOLOR1", msg::kBadColour, "SYSCOLOR1", 9},
      {"DRAWTEXT(C>O, L, 'A'), PRECIS2", msg::kUnknownAttribute, "PRECIS2", 7},
      {"DRAWTEXT(C>O, L, 'A') ALIGN1", msg::kSyntax, "ALIGN1", 1},
      {"DRAWICON(C>O, L, 2X)", msg::kIconRange, "X", 1},
      {"DRAWICON(C>O, L, -2)", msg::kIconRange, "-", 1},
      {"DRAWICON(C>O, L, 12345678901)", msg::kIconTooLong, "12345678901", 11},
      {"DRAWGBK(C>O, 1, 2)", msg::kMissingArgument, ")", 1},
      {"STICKLINE(C>O, C, O, 4, 0, 1)", msg::kSyntax, ",", 1, 25},
      // Expressions.
      {"C # O", msg::kBadCharacter, "#", 1},
      {"C + 'A'", msg::kBadCharacter, "'", 1},
      {"C+\x81\x20", msg::kBadCharacter, "\x81", 1},
      {"X: FOO(C)", msg::kUnknownFunction, "FOO", 3},
      {"X: ABCDEFGHIJKLMNOP(C)", msg::kUnknownFunction, "ABCDEFGHIJKLMNOP", 16},
      {"X: ABCDEFGHIJKLMNOP", msg::kUndefined, "ABCDEFGHIJKLMNOP", 16},
      {"X: FOO+1", msg::kUndefined, "FOO", 3},
      {"X: MA", msg::kUndefined, "MA", 2},
      {"MA: C; X: MA(C,5)", msg::kFunctionIsVariable, "MA", 2, 10},
      {"X: MA(C,5)", msg::kFunctionIsParam, "MA", 2, 0, {"MA"}},
      {"X: 1.2.3", msg::kBadNumber, ".", 1, 6},
      {longNumber.c_str(), msg::kNumberTooLong, "111", 32},
      {okNumber.c_str(), msg::kUnexpectedEnd, ";", 1},
      {"X: C*.5", msg::kMisplacedOperator, ".", 1},
      {"X: C .5", msg::kSyntax, ".", 1},
      {"X: .", msg::kSyntax, "", 0, 4},
      {"X: .A", msg::kSyntax, "A", 1},
      {"X: . A", msg::kSyntax, ".", 1},
      {"X: C+", msg::kUnexpectedEnd, "", 0, 5},
      {"X: C AND;", msg::kUnexpectedEnd, ";", 1},
      {"X: (C", msg::kUnbalanced, "", 0, 5},
      {"X: (C,", msg::kUnbalanced, ",", 1},
      {"X: C C", msg::kSyntax, "C", 1, 4},
      {"X: C MA(C,5)", msg::kSyntax, "MA", 1},
      {"X: AND C", msg::kSyntax, "AND", 3},
      {"X: C OR OR", msg::kSyntax, "OR", 2, 8},
      {"X: C > = O", msg::kSyntax, "=", 1},
      {"X: C*-O", msg::kSyntax, "-", 1},
      {"X: C <= <> O", msg::kSyntax, "<>", 2},
      {"X: - - C", msg::kSyntax, "-", 1},
      {"X: C > - .5", msg::kMisplacedOperator, ".", 1},
      {"X: C \"600000$C\"", msg::kSyntax, "\"", 1},
      {"X: MA(C)", msg::kMissingArgument, "MA", 2},
      {"X: MA()", msg::kMissingArgument, "MA", 2},
      {"X: MA(C,5,1)", msg::kTooManyArguments, "1", 1},
      {"X: ABS(C, O {c} )", msg::kTooManyArguments, "O", 1},
      {"X: MA(,5)", msg::kSyntax, ",", 1},
      {"X: MA(C,)", msg::kSyntax, ")", 1},
      {"X: MA(C, *5)", msg::kSyntax, "*", 1},
      {"X: MA(C,\"600000$C\")", msg::kSyntax, "\"", 1},
      {"X: MA(C;5)", msg::kSyntax, ";", 1},
      {"X: MA(C,5", msg::kSyntax, "", 0, 9},
      {"X: \"600000$C", msg::kUnmatchedQuote, "\"", 1},
      {"X: \"600000\"", msg::kOnlyCrossReference, "\"", 1},
      {"X: \"600000\" + \"$C\"", msg::kOnlyCrossReference, "\"", 1},
      {"X: \" {c} $C\"", msg::kMissingCode, "$", 1},
      {"X: \"6000001$C\"", msg::kCodeTooLong, "6000001", 7},
      {"X: \"SH60000A$C\"", msg::kCodeTooLong, "SH60000A", 8},
      {"X: \"600000$\"", msg::kMissingField, "$", 1},
      {"X: \"600000$ {c} \"", msg::kMissingField, "$", 1},
      {"X: \"600000$FOO\"", msg::kNoSuchField, "FOO", 3},
      {"X: \"600000$ABCDEFGHIJKLMNOP\"", msg::kNoSuchField, "ABCDEFGHIJKLMNOP", 16},
      {"X: \"600000$MA\"", msg::kFieldNotReferable, "MA", 2},
      {"X: \"600000$BARSCOUNT\"", msg::kFieldNotReferable, "BARSCOUNT", 9},
      // Groups must end on an operand: these would leave an operator short of operands.
      {"X: (C+)O", msg::kUnexpectedEnd, ")", 1},
      {"X: -()", msg::kSyntax, ")", 1},
      {"X: ()", msg::kSyntax, ")", 1},
      {"X: )", msg::kSyntax, ")", 1},
      // Errors deep inside: the offsets add up to the position in the formula.
      {"X: C; Y: MA(C,5,1);", msg::kTooManyArguments, "1", 1},
      {"X: MAX(C, MA(C, 5, 1))", msg::kTooManyArguments, "1", 1},
      {"X: MAX(C, MA(C+, 5))", msg::kUnexpectedEnd, ",", 1, 14},
      {"X: C; Y: ABS(\"600000$MA\")", msg::kFieldNotReferable, "MA", 2, 10},
      {"X: C; DRAWTEXT(C>O, FOO, 'A')", msg::kUndefined, "FOO", 3},
      {"X: C; DRAWGBK(C>O, 1, MAX(C, 1#), 1)", msg::kBadCharacter, "#", 1},
      {"X: C; DRAWGBK(C>O, 1, MAX(C, #), 1)", msg::kSyntax, "#", 1},
      {"{lead} X: C; STICKLINE(C>O, C, O, 4, 0), ALIGN1, COLORXYZ", msg::kBadColour, "XYZ", 3},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.formula);
    auto indicator = MakeIndicator(c.params);
    std::strcpy(indicator->name, "NAME");
    EXPECT_FALSE(CompileFormula(indicator.get(), c.formula, true));
    const std::string formula = c.formula;
    const std::size_t expectedPosition = *c.at ? formula.find(c.at, static_cast<std::size_t>(c.skip))
                                               : static_cast<std::size_t>(c.skip);
    ASSERT_NE(expectedPosition, std::string::npos);
    EXPECT_STREQ(indicator->errorText, c.message);
    EXPECT_EQ(indicator->errorPosition, static_cast<int>(expectedPosition));
    EXPECT_EQ(indicator->errorLength, c.length);
    // A failed compile keeps only the error.
    EXPECT_EQ(indicator->name[0], 0);
    EXPECT_EQ(indicator->paramCount, 0u);
    EXPECT_EQ(indicator->variables, nullptr);
    EXPECT_EQ(indicator->drawCalls, nullptr);
    EXPECT_EQ(indicator->refLineCount, 0u);
  }
}

TEST(FormulaErrors, CodesAreLookedUpUnlessToldNotTo) {
  formulatest::ScopedFormulaMarkets markets;
  auto indicator = MakeIndicator();
  EXPECT_FALSE(CompileFormula(indicator.get(), "X: \"999999$C\"", false));
  EXPECT_STREQ(indicator->errorText, msg::kNoSuchInstrument);
  EXPECT_EQ(indicator->errorPosition, 4);
  EXPECT_EQ(indicator->errorLength, 6);
  EXPECT_FALSE(CompileFormula(indicator.get(), "X: C; Y: MA(\"SH399001$C\", 5)", false));
  EXPECT_STREQ(indicator->errorText, msg::kNoSuchInstrument);
  EXPECT_EQ(indicator->errorPosition, 13);
  EXPECT_EQ(indicator->errorLength, 8);
  EXPECT_TRUE(CompileFormula(indicator.get(), "X: \"999999$C\"", true));
}

TEST(FormulaErrors, EmptyFormulaLeavesTheIndicatorAsItWas) {
  for (const char* formula : {"", "   ", "{only a comment}", " {a} \t{b", static_cast<const char*>(nullptr)}) {
    auto indicator = MakeIndicator({"N"});
    std::strcpy(indicator->name, "NAME");
    EXPECT_FALSE(CompileFormula(indicator.get(), formula, true));
    EXPECT_STREQ(indicator->errorText, msg::kEmptyFormula);
    EXPECT_EQ(indicator->errorPosition, 0);
    EXPECT_EQ(indicator->errorLength, 0);
    EXPECT_STREQ(indicator->name, "NAME");
    EXPECT_EQ(indicator->paramCount, 1u);
  }
}

TEST(FormulaErrors, OutOfMemory) {
  auto indicator = MakeIndicator();
  {
    ScopedGuardedAllocLimit limit(0);
    EXPECT_FALSE(CompileFormula(indicator.get(), "X: C;", true));
  }
  EXPECT_STREQ(indicator->errorText, msg::kOutOfMemory);
  EXPECT_EQ(indicator->errorPosition, 0);
  // The formula buffer fits, the item array of a long expression does not.
  std::string formula = "X: C";
  for (int i = 0; i < 200; ++i) formula += "+C";
  formula += ";";
  {
    ScopedGuardedAllocLimit limit(4096);
    EXPECT_FALSE(CompileFormula(indicator.get(), formula.c_str(), true));
  }
  EXPECT_STREQ(indicator->errorText, msg::kOutOfMemory);
  EXPECT_EQ(indicator->errorPosition, static_cast<int>(formula.size() - 1));
}

TEST(FormulaErrors, NestingIsBounded) {
  std::string deep;
  for (int i = 0; i < kMaxCallNesting; ++i) deep += "ABS(";
  deep += "C";
  deep += std::string(kMaxCallNesting, ')');
  auto indicator = MakeIndicator();
  EXPECT_TRUE(CompileFormula(indicator.get(), deep.c_str(), true)) << indicator->errorText;
  const std::string tooDeep = "X: ABS(" + deep + ")";
  EXPECT_FALSE(CompileFormula(indicator.get(), tooDeep.c_str(), true));
  EXPECT_STREQ(indicator->errorText, msg::kNestingTooDeep);
  EXPECT_EQ(indicator->errorPosition, static_cast<int>(3 + 4 * kMaxCallNesting));
  EXPECT_EQ(indicator->errorLength, 3);
}

TEST(FormulaErrors, DrawCallOfAnotherKeywordIsAnInternalError) {
  auto indicator = MakeIndicator();
  EXPECT_EQ(ParseDrawCall(indicator.get(), "DRAWLINE(1)", true), 0);
  EXPECT_STREQ(indicator->errorText, msg::kInternal);
  EXPECT_EQ(indicator->errorPosition, 0);
  EXPECT_EQ(indicator->errorLength, 0);
}

TEST(FormulaErrors, EveryMessageFitsItsField) {
  for (const char* message : {msg::kFunctionIsVariable, msg::kFunctionIsParam, msg::kThickMissing, msg::kUnmatchedQuote,
                              msg::kTextTooLong, msg::kNestingTooDeep}) {
    EXPECT_LT(std::strlen(message), 64u) << message;
  }
  EXPECT_STREQ(msg::kUnmatchedQuote, "语法错误，无与之匹配的 \" 。");
}

// ---- Lexical helpers --------------------------------------------------------------------------

TEST(FormulaLexer, BlanksCommentsWordsAndNumbers) {
  EXPECT_TRUE(IsFormulaSpace(1));
  EXPECT_TRUE(IsFormulaSpace(' '));
  EXPECT_TRUE(IsFormulaSpace(127));
  EXPECT_TRUE(IsFormulaSpace(255));
  EXPECT_FALSE(IsFormulaSpace(0));
  EXPECT_FALSE(IsFormulaSpace('!'));
  EXPECT_FALSE(IsFormulaSpace(0x81));

  const char text[] = " \t{a}{b} {unclosed";
  EXPECT_EQ(*SkipSpaceAndComments(text), 0);
  const char mixed[] = "X {c} \n Y";
  EXPECT_EQ(SkipSpaceAndComments(mixed + 1), mixed + 8);
  EXPECT_EQ(SkipSpaceAndCommentsBack(mixed + 8, mixed), mixed + 1);
  EXPECT_EQ(SkipSpaceAndCommentsBack(mixed + 8, mixed + 2), mixed + 2);
  EXPECT_EQ(SkipSpaceAndCommentsBack(mixed + 1, mixed), mixed + 1);
  const char call[] = " {x} (";
  EXPECT_EQ(ExpectChar(call, '('), call + 5);
  EXPECT_EQ(ExpectChar(call, ')'), nullptr);

  EXPECT_TRUE(IsNumberText("12.5", 4));
  EXPECT_TRUE(IsNumberText(".5", 2));
  EXPECT_FALSE(IsNumberText("1.2.3", 5));
  EXPECT_FALSE(IsNumberText("1a", 2));
  EXPECT_FALSE(IsNumberText(std::string(32, '1').c_str(), 32));
  EXPECT_TRUE(IsNumberText(std::string(31, '1').c_str(), 31));
  EXPECT_EQ(ParseNumberText("12.5", 4), 12.5);
  EXPECT_EQ(ParseNumberText(".25", 3), 0.25);
  EXPECT_EQ(ParseNumberText("1.2.3", 5), 0.0);
  EXPECT_EQ(ParseNumberText("", 0), 0.0);

  char word[64];
  const char expression[] = "A AND-B";
  EXPECT_EQ(PreviousWord(expression + 4, expression, word), 3);
  EXPECT_STREQ(word, "AND");
  EXPECT_EQ(PreviousWord(expression + 5, expression, word), 1);
  EXPECT_STREQ(word, "-");
  const char gbk[] = "X\x9D\x71" "1.5";
  EXPECT_EQ(PreviousWord(gbk + 5, gbk, word), 6);
  const std::string longWord(80, 'W');
  EXPECT_EQ(PreviousWord(longWord.c_str() + 79, longWord.c_str(), word), 62);

  EXPECT_EQ(ScanName("MA5(C)"), 3);
  EXPECT_EQ(ScanName("_X"), 2);
  EXPECT_EQ(ScanName("5A"), 0);
  EXPECT_EQ(ScanName("\x9D\x71" "A1+"), 4);
  EXPECT_EQ(ScanName("A\x81\x20"), 1);
}

}  // namespace
