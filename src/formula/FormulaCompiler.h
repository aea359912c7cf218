// The formula compiler: turns an indicator's GBK formula text into its compiled statements,
// drawing calls and reference lines. Compile errors are a message (fixed texts, all shorter than
// 64 bytes), a byte position from the start of the formula and a length, stored in the
// indicator; nothing throws. The first error ends a compile, and a failed compile clears the
// indicator (parameters and name included) leaving only the error. The indicator's parameters
// must be set before compiling: expressions read them by name. User-interface thread only.
//
// Every parser below reads a NUL-terminated text, reports positions relative to that text and
// returns the bytes consumed, 0 on error. A caller that hands an inner parser a text further on
// adds that offset to the error position, so the stored position counts from the formula start.
// noCodeCheck: when set, the instruments of cross-instrument references are not looked up.
#pragma once

#include "formula/IndexModel.h"

// Compiles a whole formula into the indicator. The text is copied into the formula buffer and
// upper-cased (single-byte letters only) from its first byte that is not blank or in a leading
// comment. A text of nothing but blanks and comments fails with the indicator otherwise
// unchanged. Sets the indicator's future flag when a statement uses a future function.
bool CompileFormula(CZvIndex* indicator, const char* text, bool noCodeCheck);

// One statement, up to and including its ";".
int ParseStatement(CZvIndex* indicator, const char* text, bool noCodeCheck);
// The values after "REFLINE:", up to and including the ";".
int ParseRefLines(CZvIndex* indicator, const char* text);
// One reference-line value and the "," after it. At ";" or the end it returns the blanks it
// skipped (0 when there are none: callers stop at ";" and the end before calling).
int ParseRefLineValue(CZvIndex* indicator, const char* text);
// One drawing call from its keyword, its attributes and the ";" after them.
int ParseDrawCall(CZvIndex* indicator, const char* text, bool noCodeCheck);

// One expression: up to (not including) the end, ",", ";" or a ")" that closes nothing of it.
// With an expression object it is also converted to postfix items (the array sized once to
// twice the item count); without one it is only checked. Sets *future when a future function is
// called (never clears it). An empty expression consumes its blanks and sets no error.
int ParseExpression(CZvIndex* indicator, const char* text, CZvIndexExpression* expression, bool noCodeCheck,
                    bool* future);
// A function call from its name through its ")". With a node, its name, evaluator and
// arguments are filled; on error they are cleared.
int ParseFunctionCall(CZvIndex* indicator, const char* text, CZvIndexFunction* node, bool noCodeCheck,
                      bool* future);
// A cross-instrument reference from its opening '"' through the closing one.
int ParseCrossReference(CZvIndex* indicator, const char* text, CZvIndexRefother* node, bool noCodeCheck);

// Function calls nest at most this deep inside one another's arguments; deeper nesting is
// refused (kMessageNestingTooDeep) rather than exhausting the stack on a hostile formula.
constexpr int kMaxCallNesting = 64;

// The messages (GBK at run time).
namespace formula_messages {
inline constexpr char kEmptyFormula[] = "指标公式不能为空。";
inline constexpr char kOutOfMemory[] = "内存不足。";
inline constexpr char kSyntax[] = "语法错误。";
inline constexpr char kNameTooLong[] = "变量名太长，名称最长为 15 个字符。";
inline constexpr char kRefLineTwice[] = "参考线重复定义。";
inline constexpr char kNameIsParam[] = "变量名称与参数名称重复，请使用其它名称。";
inline constexpr char kNameIsVariable[] = "变量名称与已有变量相同，请使用其它名称。";
inline constexpr char kEmptyExpression[] = "变量的表达式不能为空。";
inline constexpr char kUnknownAttribute[] = "控制符不可识别或不可在此使用。";
inline constexpr char kBadColour[] = "颜色值格式不正确。";
inline constexpr char kPrecisRange[] = "此处需要十进制整数，取值范围 0 - 6 。";
inline constexpr char kPrecisTooLong[] = "数值太长。此处取值范围为 0 - 6 。";
inline constexpr char kThickRange[] = "此处需要十进制整数，取值范围 0 - 7 。";
inline constexpr char kThickTooLong[] = "数值太长。此处取值范围为 0 - 7 。";
inline constexpr char kThickMissing[] = "语法错误。此处需要十进制整数，取值范围 0 - 7 。";
inline constexpr char kRefLineNotNumber[] = "设置参考线时必须使用数值。";
inline constexpr char kBadNumber[] = "语法错误，数值格式不正确。";
inline constexpr char kMissingArgument[] = "函数缺少参数。";
inline constexpr char kNeedString[] = "此处应使用字符串。";
inline constexpr char kUnexpectedEnd[] = "表达式意外结束。";
inline constexpr char kEmptyText[] = "文字不能为空。";
inline constexpr char kEmptyPicture[] = "图片路径不能为空。";
inline constexpr char kTextTooLong[] = "文字长度不能超过256（128个汉字）。";
inline constexpr char kPictureTooLong[] = "图片路径长度不能超过 256。";
inline constexpr char kIconRange[] = "此处需要十进制整数，取值范围 1 - 14 。";
inline constexpr char kIconTooLong[] = "数值太长。此处取值范围为 1 - 14 。";
inline constexpr char kAlignRange[] = "此处需要十进制整数，取值范围 0 - 2 。";
inline constexpr char kAlignTooLong[] = "数值太长。此处取值范围为 0 - 2 。";
inline constexpr char kInternal[] = "内部错误。";
inline constexpr char kBadCharacter[] = "错误字符。";
inline constexpr char kUnknownFunction[] = "不支持此函数。";
inline constexpr char kUndefined[] = "变量未定义。";
inline constexpr char kFunctionIsVariable[] = "由于已定义了同名的变量，此函数不再可用。请更改同名变量的名称。";
inline constexpr char kFunctionIsParam[] = "由于已定义了同名的参数，此函数不再可用。请更改同名参数的名称。";
inline constexpr char kNumberTooLong[] = "数值太长。";
inline constexpr char kMisplacedOperator[] = "运算符使用有误。";
inline constexpr char kUnbalanced[] = "括号不匹配。";
inline constexpr char kTooManyArguments[] = "函数参数过多。";
inline constexpr char kUnmatchedQuote[] = "语法错误，无与之匹配的 \" 。";
inline constexpr char kOnlyCrossReference[] = "语法错误，目前仅支持跨品种数据调用。";
inline constexpr char kMissingCode[] = "语法错误，请指定需要引用数据的品种代码。";
inline constexpr char kCodeTooLong[] = "语法错误，品种代码太长。";
inline constexpr char kNoSuchInstrument[] = "错误，指定的品种不存在。";
inline constexpr char kMissingField[] = "语法错误，请指定需要引用的数据类型。";
inline constexpr char kNoSuchField[] = "语法错误，指定的数据类型不存在。";
inline constexpr char kFieldNotReferable[] = "语法错误，数据类型不可引用。";
inline constexpr char kNestingTooDeep[] = "函数嵌套层数过多。";
}  // namespace formula_messages
