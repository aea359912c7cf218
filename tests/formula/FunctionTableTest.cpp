// The built-in function table: every row against the published list (order, argument counts,
// category, future flag, title line), the lookups by name with their edges, and the help texts.
#include "formula/FunctionEvaluators.h"
#include "formula/FunctionTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct ExpectedRow {
  const char* name;
  int minArguments;
  int maxArguments;
  int category;
  bool future;
  const char* title;
};

const ExpectedRow kExpectedRows[] = {
    {"ABS", 1, 1, 2, false, "求绝对值。"},
    {"ACOS", 1, 1, 3, false, "求反余弦值。"},
    {"AMOUNT", 0, 0, 1, false, "求持仓量（期货）或成交金额（股票）。"},
    {"ASIN", 1, 1, 3, false, "求反正弦值。"},
    {"ATAN", 1, 1, 3, false, "求反正切值。"},
    {"AVEDEV", 2, 2, 7, false, "求平均绝对偏差。"},
    {"BACKSET", 2, 2, 8, true, "逆向赋值。注意：此函数为未来函数。"},
    {"BARPOS", 0, 0, 5, false, "求当前周期的位置。"},
    {"BARSCOUNT", 0, 1, 8, false, "求到当前周期为止有效的周期数。"},
    {"BARSLAST", 1, 1, 8, false, "求上一次条件成立到当前的周期数。"},
    {"BARSSINCE", 1, 1, 8, false, "求第一次条件成立到当前的周期数，如返回0表示条件从未成立。"},
    {"BARSTATUS", 0, 0, 5, false, "求当前周期的位置状态。"},
    {"BETWEEN", 3, 3, 6, false, "求是否介于两个数之间。"},
    {"C", 0, 0, 1, false, "求收盘价。"},
    {"CEILING", 1, 1, 2, false, "向上取整函数。"},
    {"CLOSE", 0, 0, 1, false, "求收盘价。"},
    {"COLORRGB", 3, 3, 4, false, "计算颜色值。"},
    {"COS", 1, 1, 3, false, "求余弦值。"},
    {"COUNT", 2, 2, 8, false, "求满足条件的周期数。"},
    {"CROSS", 2, 2, 6, false, "判断是否交叉。"},
    {"CURRENTDATE", 0, 0, 5, false, "求当前（计算时）的年月日。"},
    {"CURRENTTIME", 0, 0, 5, false, "求当前（计算时）的时分秒。"},
    {"DATE", 0, 0, 5, false, "求当前周期的年月日。"},
    {"DAY", 0, 0, 5, false, "求当前周期的日期。"},
    {"DEVSQ", 2, 2, 7, false, "求数据偏差平方和。"},
    {"DMA", 2, 2, 8, false, "求动态移动平均。"},
    {"EMA", 2, 2, 8, false, "求指数平滑移动平均。"},
    {"EXP", 1, 1, 3, false, "求指数。"},
    {"FILTER", 2, 2, 8, true, "信号过滤。"},
    {"FLOOR", 1, 1, 2, false, "向下取整函数。"},
    {"FRACPART", 1, 1, 2, false, "取小数部分。"},
    {"H", 0, 0, 1, false, "求最高价。"},
    {"HHV", 2, 2, 8, false, "求最高值。"},
    {"HIGH", 0, 0, 1, false, "求最高价。"},
    {"HOUR", 0, 0, 5, false, "求当前周期的小时数。"},
    {"IF", 3, 3, 6, false, "条件函数。"},
    {"INTPART", 1, 1, 2, false, "取整函数。"},
    {"ISDOWN", 0, 0, 6, false, "当前周期是否收阴。"},
    {"ISEQUAL", 0, 0, 6, false, "当前周期是否平盘。"},
    {"ISLASTBAR", 0, 0, 6, false, "当前周期是否最后一个周期。"},
    {"ISLASTPERIOD", 0, 0, 6, false, "当前周期是否最后一个周期，同ISLASTBAR。"},
    {"ISUP", 0, 0, 6, false, "当前周期是否收阳。"},
    {"L", 0, 0, 1, false, "求最低价。"},
    {"LLV", 2, 2, 8, false, "求最低值。"},
    {"LN", 1, 1, 3, false, "求自然对数。"},
    {"LOG", 1, 1, 3, false, "求以10为底的对数。"},
    {"LONGCROSS", 3, 3, 6, false, "维持交叉函数。"},
    {"LOW", 0, 0, 1, false, "求最低价。"},
    {"MA", 2, 2, 8, false, "求简单移动平均。"},
    {"MAX", 2, 16, 2, false, "求最大值。"},
    {"MIN", 2, 16, 2, false, "求最小值。"},
    {"MINUTE", 0, 0, 5, false, "求当前周期的分钟数。"},
    {"MOD", 2, 2, 2, false, "求模（求余）。"},
    {"MONTH", 0, 0, 5, false, "求当前周期的月份。"},
    {"NOT", 1, 1, 6, false, "求逻辑非（逻辑取反）。"},
    {"O", 0, 0, 1, false, "求开盘价。"},
    {"OPEN", 0, 0, 1, false, "求开盘价。"},
    {"POW", 2, 2, 3, false, "求幂。"},
    {"RANGE", 3, 3, 6, false, "范围判断。"},
    {"REF", 2, 2, 8, false, "向前引用。"},
    {"REVERSE", 1, 1, 2, false, "求相反数。"},
    {"SAR", 3, 3, 7, false, "抛物转向。"},
    {"SAR_ZUVO", 3, 3, 7, false, "抛物转向（柯苏传统算法）。"},
    {"SETTLE", 0, 0, 1, false, "求结算价。"},
    {"SGN", 1, 1, 2, false, "正负判断。"},
    {"SIN", 1, 1, 3, false, "求正弦值。"},
    {"SMA", 3, 3, 8, false, "求移动平均。"},
    {"SQRT", 1, 1, 3, false, "求平方根（开平方）。"},
    {"STD", 2, 2, 7, false, "求估算标准差。"},
    {"STDP", 2, 2, 7, false, "求总体标准差。"},
    {"SUM", 2, 2, 8, false, "求和。"},
    {"T0TOTIME", 1, 1, 5, false, "秒数转换为时间。"},
    {"TAN", 1, 1, 3, false, "求正切值。"},
    {"TIME", 0, 0, 5, false, "求当前周期的时分秒。"},
    {"TIME0", 0, 0, 5, false, "求当前周期自该日0点以来的秒数。"},
    {"TIMETOT0", 1, 1, 5, false, "时间转换为秒数。"},
    {"V", 0, 0, 1, false, "求成交量。"},
    {"VAR", 2, 2, 7, false, "求估算样本方差。"},
    {"VARP", 2, 2, 7, false, "求总体样本方差。"},
    {"VOL", 0, 0, 1, false, "求成交量。"},
    {"WEEKDAY", 0, 0, 5, false, "求当前周期的星期数。"},
    {"YEAR", 0, 0, 5, false, "求当前周期的年份。"},
    {"ZIG", 2, 2, 7, true, "之字转向。注意：此函数为未来函数。"},
};

std::string TitleLine(const char* help) {
  const char* end = std::strchr(help, '\n');
  return end ? std::string(help, end) : std::string(help);
}

std::string Lower(const char* text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

TEST(FunctionTable, EveryRowMatchesTheListInOrder) {
  ASSERT_EQ(sizeof kExpectedRows / sizeof kExpectedRows[0], 83u);
  ASSERT_EQ(GetFunctionCount(), 83);
  for (int i = 0; i < 83; ++i) {
    const ExpectedRow& expected = kExpectedRows[i];
    SCOPED_TRACE(expected.name);
    IndexFunctionEntry entry;
    ASSERT_TRUE(GetFunctionEntry(i, &entry));
    EXPECT_STREQ(entry.name, expected.name);
    EXPECT_EQ(entry.minArguments, expected.minArguments);
    EXPECT_EQ(entry.maxArguments, expected.maxArguments);
    EXPECT_EQ(entry.category, expected.category);
    EXPECT_EQ(entry.flags, expected.future ? kFunctionFuture : 0u);
    EXPECT_EQ(TitleLine(entry.help), expected.title);
    EXPECT_NE(entry.evaluator, nullptr);
    // The name field is NUL-padded and the help text fits its field.
    EXPECT_EQ(entry.name[15], 0);
    EXPECT_LT(std::strlen(entry.help), 256u);
  }
}

TEST(FunctionTable, HelpTextsHaveUsageAndArgumentLines) {
  for (const IndexFunctionEntry& entry : IndexFunctionTable) {
    SCOPED_TRACE(entry.name);
    const std::string help = entry.help;
    EXPECT_NE(help.find("\n用法：" + std::string(entry.name)), std::string::npos);
    EXPECT_NE(help.find("\n参数："), std::string::npos);
    EXPECT_EQ(help.find('\r'), std::string::npos);
    EXPECT_NE(help.back(), '\n');
  }
}

TEST(FunctionTable, ThreeHelpTextsAreExact) {
  struct Case {
    const char* name;
    const char* help;
  } const cases[] = {
      {"MA", "求简单移动平均。\n用法：MA(X,N)\n参数：X为变量，N为常数（建议小于1024，否则将计算缓慢）。\n"
             "说明：计算X最近N周期的简单移动平均，若N为0则从第一个有效周期开始计算。"},
      {"SAR_ZUVO", "抛物转向（柯苏传统算法）。\n用法：SAR_ZUVO(N,S,M)\n参数：N、S、M为常数。\n"
                   "说明：N为计算周期，S为步长，M为极值。例如SAR_ZUVO(10,2,20)表示10日抛物转向，步长为2%，极限值为20%。"},
      {"ZIG", "之字转向。注意：此函数为未来函数。\n用法：ZIG(K,N)\n参数：K、N为常数。\n"
              "说明：当价格变化量超过N%时转向。K取值：0-开盘价；1-最高价；2-最低价；3-收盘价；4-低点采用最低价，高点采用最高价。"},
  };
  for (const Case& c : cases) {
    IndexFunctionEntry entry;
    ASSERT_TRUE(FindFunctionByName(c.name, &entry));
    EXPECT_STREQ(entry.help, c.help);
  }
}

TEST(FunctionTable, TableIsSortedWithoutRegardToCase) {
  for (int i = 0; i + 1 < 83; ++i) {
    EXPECT_LT(Lower(IndexFunctionTable[i].name), Lower(IndexFunctionTable[i + 1].name)) << i;
  }
}

TEST(FunctionTable, EveryNameIsFoundInLowerCase) {
  for (const IndexFunctionEntry& row : IndexFunctionTable) {
    const std::string lower = Lower(row.name);
    SCOPED_TRACE(lower);
    IndexFunctionEntry entry{};
    ASSERT_TRUE(FindFunctionByName(lower.c_str(), &entry));
    EXPECT_STREQ(entry.name, row.name);
    EXPECT_EQ(FindFunctionEvaluator(lower.c_str()), row.evaluator);
    EXPECT_EQ(FindFunctionEvaluator(lower.c_str(), static_cast<int>(lower.size())), row.evaluator);
    EXPECT_TRUE(FindFunctionByName(lower.c_str(), static_cast<int>(lower.size()), nullptr));
  }
}

TEST(FunctionTable, NeighboursAreTold) {
  for (const char* name : {"SAR", "SAR_ZUVO", "SETTLE", "T0TOTIME", "TAN"}) {
    IndexFunctionEntry entry{};
    EXPECT_TRUE(FindFunctionByName(name, &entry)) << name;
    EXPECT_STREQ(entry.name, name);
  }
  // Before the first, after the last, and between two neighbours.
  for (const char* name : {"AAA", "AB", "", "ZIGZAG", "ZZ", "SAR_", "SARX", "SE", "T0", "TA", "MB", "ISLASTBARS",
                           "CLOSED", "_", "漲"}) {
    EXPECT_FALSE(FindFunctionByName(name, nullptr)) << name;
    EXPECT_EQ(FindFunctionEvaluator(name), nullptr) << name;
  }
  EXPECT_FALSE(FindFunctionByName(nullptr, nullptr));
}

TEST(FunctionTable, TextAndLengthFormsStopAtFifteen) {
  // The text may go on past the length: only the given bytes count.
  EXPECT_NE(FindFunctionEvaluator("MAX(C,O)", 3), nullptr);
  EXPECT_EQ(FindFunctionEvaluator("MAX(C,O)", 3), FindFunctionEvaluator("MAX"));
  EXPECT_EQ(FindFunctionEvaluator("MAX", 2), FindFunctionEvaluator("MA"));
  const char sixteen[] = "ABCDEFGHIJKLMNOP";
  EXPECT_FALSE(FindFunctionByName(sixteen, 16, nullptr));
  EXPECT_EQ(FindFunctionEvaluator(sixteen, 16), nullptr);
  EXPECT_FALSE(FindFunctionByName("MA", 0, nullptr));
  EXPECT_FALSE(FindFunctionByName("MA", -1, nullptr));
  // A sixteen-character text that begins with a name is no name either.
  EXPECT_EQ(FindFunctionEvaluator("MAXXXXXXXXXXXXXX", 16), nullptr);
}

TEST(FunctionTable, EntriesByPosition) {
  IndexFunctionEntry entry{};
  EXPECT_TRUE(GetFunctionEntry(82, &entry));
  EXPECT_STREQ(entry.name, "ZIG");
  EXPECT_TRUE(GetFunctionEntry(0, &entry));
  EXPECT_STREQ(entry.name, "ABS");
  std::strcpy(entry.name, "KEPT");
  EXPECT_FALSE(GetFunctionEntry(83, &entry));
  EXPECT_FALSE(GetFunctionEntry(-1, &entry));
  EXPECT_STREQ(entry.name, "KEPT");
}

TEST(FunctionTable, SharedEvaluatorsAndStandIns) {
  const char* pairs[][2] = {{"C", "CLOSE"}, {"H", "HIGH"}, {"L", "LOW"}, {"O", "OPEN"}, {"V", "VOL"},
                            {"ISLASTBAR", "ISLASTPERIOD"}};
  for (const auto& pair : pairs) EXPECT_EQ(FindFunctionEvaluator(pair[0]), FindFunctionEvaluator(pair[1])) << pair[0];
  // Only COLORRGB is a drawing function of the table.
  int drawing = 0;
  for (const IndexFunctionEntry& row : IndexFunctionTable) drawing += row.category == kCategoryDrawing;
  EXPECT_EQ(drawing, 1);
  // Until the evaluators are written every entry gives 0.
  const IndexEvalContext context{};
  for (const IndexFunctionEntry& row : IndexFunctionTable) EXPECT_EQ(row.evaluator(context, nullptr), 0.0) << row.name;
}

}  // namespace
