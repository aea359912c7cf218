// The built-in functions of the formula language: one constant table of 83 entries sorted by
// name (case ignored), with each function's argument counts, future flag, category, help text
// and evaluator, and the lookups the compiler and the function picker use. Also the evaluation
// context every evaluator receives. The table never changes; every call is safe from any thread.
#pragma once

#include <cstdint>

class CZvIndex;
class CZvIndexFunctionParam;
struct ChartBar;

// What a built-in function sees while an indicator is calculated: the bars of the run, how many
// exist for it, the bar being calculated, the price divisor of the instrument, the indicator
// and the run's pass number. Evaluators that need another bar copy it and change the copy.
struct IndexEvalContext {
  const ChartBar* bars;
  std::uint32_t barCount;
  std::uint32_t currentBar;
  std::uint32_t priceDivisor;
  CZvIndex* indicator;
  std::uint32_t passNumber;
};

// An evaluator: the value of one call at the context's current bar. firstArgument is null for a
// call without arguments; further arguments hang on its next link. Never fails: domain faults
// give the values each function defines.
using IndexEvaluator = double (*)(const IndexEvalContext& context, const CZvIndexFunctionParam* firstArgument);

constexpr std::uint32_t kFunctionFuture = 1;  // entry flag: the value at a bar depends on later bars

// Categories of the function picker.
enum IndexFunctionCategory : std::uint8_t {
  kCategoryQuote = 1,       // 行情
  kCategoryArithmetic = 2,  // 算术
  kCategoryMathematics = 3, // 数学
  kCategoryDrawing = 4,     // 绘图
  kCategoryTime = 5,        // 时间
  kCategoryLogic = 6,       // 逻辑
  kCategoryStatistics = 7,  // 统计
  kCategoryReference = 8,   // 引用
};

constexpr int kFunctionNameSize = 16;
constexpr int kFunctionHelpSize = 256;
constexpr int kFunctionCount = 83;

struct IndexFunctionEntry {
  char name[kFunctionNameSize];   // upper case, NUL-padded
  std::uint32_t flags;            // kFunctionFuture
  std::int32_t minArguments;
  std::int32_t maxArguments;
  IndexEvaluator evaluator;
  std::uint8_t category;          // IndexFunctionCategory
  char help[kFunctionHelpSize];   // GBK: title line, then 用法/参数/说明 or 示例 lines, '\n' between
};

// The table, sorted as gbk::CompareNoCase orders names (SAR, SAR_ZUVO, SETTLE; T0TOTIME, TAN).
extern const IndexFunctionEntry IndexFunctionTable[kFunctionCount];

// 83.
int GetFunctionCount();
// Copies entry `index`; false for an index outside 0..82 (out untouched).
bool GetFunctionEntry(int index, IndexFunctionEntry* out);
// Looks a name up without regard to case. Names ordering before ABS or after ZIG fail at once;
// otherwise a binary search that also fails as soon as the name falls between two neighbours.
// On success copies the entry when out is not null. The text-and-length form fails for a
// length above 15 (or below 1).
bool FindFunctionByName(const char* name, IndexFunctionEntry* out);
bool FindFunctionByName(const char* text, int length, IndexFunctionEntry* out);
// The same search giving the entry's evaluator, or null.
IndexEvaluator FindFunctionEvaluator(const char* name);
IndexEvaluator FindFunctionEvaluator(const char* text, int length);
// The same search giving the entry itself inside the table, or null (no copy of the help).
const IndexFunctionEntry* FindFunctionEntry(const char* text, int length);
