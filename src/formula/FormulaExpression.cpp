// Expressions of the formula language: the check-and-count pass, the conversion to postfix
// items (shunting-yard over the upper half of the item array), function calls with their
// argument rules, and cross-instrument references.
#include "core/GuardedAlloc.h"
#include "data/MarketData.h"
#include "formula/FormulaCompiler.h"
#include "formula/FormulaErrors.h"
#include "formula/FormulaLexer.h"
#include "platform/Text.h"

#include <cstring>
#include <new>
#include <string_view>

using namespace zuvo::formula;
namespace msg = formula_messages;

namespace {

constexpr int kMaxNameLength = 15;
constexpr int kMaxNumberLength = 31;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
unsigned char At(const char* p) { return static_cast<unsigned char>(*p); }

// Function calls being parsed inside one another (user-interface thread only).
int callNesting = 0;
struct NestingScope {
  NestingScope() { ++callNesting; }
  ~NestingScope() { --callNesting; }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;
};

bool BeginsOperand(const char* p) {
  const char c = *p;
  return c == '(' || c == '_' || IsUpper(c) || IsDigit(c) || IsDoubleByteAt(p) || (c == '.' && IsDigit(p[1]));
}

// A sign is unary when an operand follows it and nothing, or an open parenthesis, a comparison,
// AND or OR, stands before it within the expression. After "*", "/", "+", "-" it is binary.
bool IsUnarySign(const char* text, const char* sign) {
  if (!BeginsOperand(SkipSpaceAndComments(sign + 1))) return false;
  const char* before = SkipSpaceAndCommentsBack(sign, text);
  if (before == text) return true;
  char word[64];
  const int length = PreviousWord(before - 1, text, word);
  const std::string_view w(word, static_cast<std::size_t>(length));
  return w == "(" || w == "=" || w == ">" || w == "<" || w == "AND" || w == "OR";
}

bool IsWord(const char* p, int length, const char* word) {
  return length == static_cast<int>(std::strlen(word)) && std::memcmp(p, word, static_cast<std::size_t>(length)) == 0;
}

// A comparison operator's code and length at p, or 0.
int ComparisonAt(const char* p, int* length) {
  *length = 1;
  switch (*p) {
    case '<':
      if (p[1] == '=') return *length = 2, kOpLessEqual;
      if (p[1] == '>') return *length = 2, kOpNotEqual;
      return kOpLess;
    case '>':
      if (p[1] == '=') return *length = 2, kOpGreaterEqual;
      return kOpGreater;
    case '=':
      return kOpEqual;
    case '*':
      return kOpMultiply;
    case '/':
      return kOpDivide;
    default:
      return 0;
  }
}

// What a name stands for as an operand: parameter, earlier variable, function without
// arguments, or the statement's own variable, in that order.
bool ResolveName(const CZvIndex* indicator, const char* p, int length, PostfixKind* kind, int* index) {
  if ((*index = indicator->FindParam(p, length)) >= 0) return *kind = kItemParameter, true;
  if ((*index = indicator->FindVariable(p, length)) >= 0) return *kind = kItemVariable, true;
  const IndexFunctionEntry* entry = FindFunctionEntry(p, length);
  if (entry && entry->minArguments == 0) return *kind = kItemFunction, *index = 0, true;
  const CZvIndexVariable* own = indicator->currentVariable;
  if (own && own->name[0] &&
      zuvo::platform::gbk::CompareNoCase(own->name, std::string_view(p, static_cast<std::size_t>(length))) == 0) {
    *kind = kItemVariable;
    *index = kOwnVariable;
    return true;
  }
  return false;
}

// The number that starts at p (a digit, or "." and a digit): its end, or null after reporting a
// second ".". A number that starts with "." ends at a further ".".
const char* ScanNumber(CZvIndex* indicator, const char* text, const char* p) {
  const char* e = p;
  if (*e == '.') {
    ++e;
    while (IsDigit(*e)) ++e;
    return e;
  }
  bool point = false;
  while (IsDigit(*e) || *e == '.') {
    if (*e == '.') {
      if (point) return Fail(indicator, msg::kBadNumber, e - text, 1), nullptr;
      point = true;
    }
    ++e;
  }
  return e;
}

// First pass: checks the expression and counts its items. Returns the offset of the byte where
// it stops, or -1 after reporting an error.
long CheckExpression(CZvIndex* indicator, const char* text, bool noCodeCheck, bool* future, int* count) {
  bool seenOperand = false;
  bool operatorPending = false;
  bool justOpened = false;   // "(" read and no operand since
  int depth = 0;
  *count = 0;
  const char* p = text;
  auto fail = [&](const char* message, const char* at, long length) {
    Fail(indicator, message, at - text, length);
    return -1L;
  };
  auto operandAllowed = [&] { return !seenOperand || operatorPending; };
  auto operatorAllowed = [&] { return seenOperand && !operatorPending; };
  auto takeOperand = [&] {
    seenOperand = true;
    operatorPending = false;
    justOpened = false;
    ++*count;
  };
  auto takeOperator = [&] {
    operatorPending = true;
    ++*count;
  };
  for (;;) {
    p = SkipSpaceAndComments(p);
    const char c = *p;
    if (c == 0 || c == ',' || c == ';') break;
    if (c == ')') {
      if (depth == 0) break;
      // "(C+)O" and "-()" would pass the operand/operator rules and leave the postfix code with
      // an operator short of operands: a group must end on an operand.
      if (operatorPending) return fail(msg::kUnexpectedEnd, p, 1);
      if (justOpened) return fail(msg::kSyntax, p, 1);
      --depth;
      ++p;
      continue;
    }
    if (c == '(') {
      ++depth;
      ++*count;
      justOpened = true;
      ++p;
      continue;
    }
    if (c == '"') {
      const int used = ParseCrossReference(indicator, p, nullptr, noCodeCheck);
      if (used == 0) return ShiftError(indicator, p - text), -1L;
      if (!operandAllowed()) return fail(msg::kSyntax, p, 1);
      takeOperand();
      p += used;
      continue;
    }
    if (IsUpper(c) || c == '_' || At(p) >= 0x81) {
      if (!IsDoubleByteAt(p) && At(p) >= 0x81) return fail(msg::kBadCharacter, p, 1);
      const int length = ScanName(p);
      const bool call = *SkipSpaceAndComments(p + length) == '(';
      if (length > kMaxNameLength) return fail(call ? msg::kUnknownFunction : msg::kUndefined, p, length);
      if (IsWord(p, length, "AND") || IsWord(p, length, "OR")) {
        if (!operatorAllowed()) return fail(msg::kSyntax, p, length);
        takeOperator();
        p += length;
        continue;
      }
      if (call) {
        if (!FindFunctionEntry(p, length)) return fail(msg::kUnknownFunction, p, length);
        if (indicator->FindVariable(p, length) >= 0) return fail(msg::kFunctionIsVariable, p, length);
        if (indicator->FindParam(p, length) >= 0) return fail(msg::kFunctionIsParam, p, length);
        if (!operandAllowed()) return fail(msg::kSyntax, p, 1);
        const int used = ParseFunctionCall(indicator, p, nullptr, noCodeCheck, future);
        if (used == 0) return ShiftError(indicator, p - text), -1L;
        takeOperand();
        p += used;
        continue;
      }
      PostfixKind kind;
      int index;
      if (!ResolveName(indicator, p, length, &kind, &index)) return fail(msg::kUndefined, p, length);
      if (kind == kItemFunction && (FindFunctionEntry(p, length)->flags & kFunctionFuture)) *future = true;
      if (!operandAllowed()) return fail(msg::kSyntax, p, 1);
      takeOperand();
      p += length;
      continue;
    }
    if (IsDigit(c)) {
      const char* end = ScanNumber(indicator, text, p);
      if (!end) return -1;
      if (end - p > kMaxNumberLength) return fail(msg::kNumberTooLong, p, end - p);
      if (!operandAllowed()) return fail(msg::kSyntax, p, 1);
      takeOperand();
      p = end;
      continue;
    }
    if (c == '.') {
      if (!IsDigit(p[1])) return fail(msg::kSyntax, IsFormulaSpace(At(p + 1)) ? p : p + 1, OneByteAt(p + 1));
      const char* end = ScanNumber(indicator, text, p);
      if (end - p > kMaxNumberLength) return fail(msg::kNumberTooLong, p, end - p);
      if (operatorPending) return fail(msg::kMisplacedOperator, p, 1);
      if (seenOperand) return fail(msg::kSyntax, p, 1);
      takeOperand();
      p = end;
      continue;
    }
    int operatorLength = 0;
    if (ComparisonAt(p, &operatorLength) != 0) {
      if (!operatorAllowed()) return fail(msg::kSyntax, p, operatorLength);
      takeOperator();
      p += operatorLength;
      continue;
    }
    if (c == '+' || c == '-') {
      if (IsUnarySign(text, p)) {
        if (!operandAllowed()) return fail(msg::kSyntax, p, 1);
        if (c == '-') *count += 2;   // a constant 0 and a binary minus
      } else {
        if (!operatorAllowed()) return fail(msg::kSyntax, p, 1);
        takeOperator();
      }
      ++p;
      continue;
    }
    return fail(msg::kBadCharacter, p, 1);
  }
  if (operatorPending) return fail(msg::kUnexpectedEnd, p, OneByteAt(p));
  if (depth > 0) return fail(msg::kUnbalanced, p, OneByteAt(p));
  return p - text;
}

// Operators leave the stack for the output while their code is at most the incoming
// operator's limit: "*" "/" 5, "+" "-" 7, comparisons 11, "=" "<>" 13, AND 14, OR 15.
int PopLimit(int code) {
  switch (code) {
    case kOpMultiply:
    case kOpDivide:
      return 5;
    case kOpAdd:
    case kOpSubtract:
      return 7;
    case kOpLess:
    case kOpGreater:
    case kOpLessEqual:
    case kOpGreaterEqual:
      return 11;
    case kOpEqual:
    case kOpNotEqual:
      return 13;
    case kOpAnd:
      return 14;
    default:
      return 15;
  }
}

class PostfixBuilder {
 public:
  PostfixBuilder(PostfixItem* items, int count) : output_(items), stack_(items + count) {}

  void Operand(PostfixKind kind, int index) {
    PostfixItem& item = output_[size_++];
    item.kind = kind;
    item.index = index;
  }
  void Constant(double value) {
    PostfixItem& item = output_[size_++];
    item.kind = kItemConstant;
    item.constant = value;
  }
  void Operator(int code) {
    const int limit = PopLimit(code);
    while (depth_ > 0 && stack_[depth_ - 1].op != kOpOpenParen && stack_[depth_ - 1].op <= limit) {
      output_[size_++] = stack_[--depth_];
    }
    Push(code);
  }
  void Open() { Push(kOpOpenParen); }
  void Close() {
    while (depth_ > 0 && stack_[depth_ - 1].op != kOpOpenParen) output_[size_++] = stack_[--depth_];
    if (depth_ > 0) --depth_;
  }
  std::uint32_t Finish() {
    while (depth_ > 0) {
      if (stack_[depth_ - 1].op != kOpOpenParen) output_[size_++] = stack_[depth_ - 1];
      --depth_;
    }
    return size_;
  }

 private:
  void Push(int code) {
    PostfixItem& item = stack_[depth_++];
    item.kind = kItemOperator;
    item.index = 0;
    item.op = static_cast<std::uint8_t>(code);
  }

  PostfixItem* output_;
  PostfixItem* stack_;
  std::uint32_t size_ = 0;
  std::uint32_t depth_ = 0;
};

// Second pass over a text the first pass accepted: fills the expression. False after
// reporting an error (the expression is then emptied).
bool BuildExpression(CZvIndex* indicator, const char* text, long stop, int count, CZvIndexExpression* expression,
                     bool noCodeCheck, bool* future) {
  expression->Reset();
  if (count == 0) return true;
  const std::uint64_t bytes = 2ull * static_cast<std::uint64_t>(count) * sizeof(PostfixItem);
  if (expression->Capacity() < 2u * static_cast<std::uint32_t>(count)) {
    GuardedFree(expression->items);
    expression->items = bytes <= UINT32_MAX ? static_cast<PostfixItem*>(GuardedAlloc(static_cast<std::uint32_t>(bytes)))
                                            : nullptr;
    if (!expression->items) return Fail(indicator, msg::kOutOfMemory, stop, OneByteAt(text + stop)), false;
  }
  auto fail = [&](const char* message, const char* at, long length) {
    expression->Reset();
    Fail(indicator, message, at - text, length);
    return false;
  };
  auto failInner = [&](const char* at) {
    expression->Reset();
    ShiftError(indicator, at - text);
    return false;
  };
  PostfixBuilder builder(expression->items, count);
  const char* end = text + stop;
  const char* p = text;
  for (;;) {
    p = SkipSpaceAndComments(p);
    if (p >= end) break;
    const char c = *p;
    if (c == '(') {
      builder.Open();
      ++p;
    } else if (c == ')') {
      builder.Close();
      ++p;
    } else if (c == '"') {
      auto* node = new (std::nothrow) CZvIndexRefother;
      if (!node) return fail(msg::kOutOfMemory, p, 0);
      const int index = expression->AppendRefother(node);
      const int used = ParseCrossReference(indicator, p, node, noCodeCheck);
      if (used == 0) return failInner(p);
      builder.Operand(kItemRefother, index);
      p += used;
    } else if (IsUpper(c) || c == '_' || At(p) >= 0x81) {
      const int length = ScanName(p);
      if (IsWord(p, length, "AND") || IsWord(p, length, "OR")) {
        builder.Operator(length == 3 ? kOpAnd : kOpOr);
        p += length;
        continue;
      }
      const bool call = *SkipSpaceAndComments(p + length) == '(';
      PostfixKind kind = kItemFunction;
      int index = 0;
      if (!call && !ResolveName(indicator, p, length, &kind, &index)) return fail(msg::kInternal, p, length);
      if (kind != kItemFunction) {
        builder.Operand(kind, index);
        p += length;
        continue;
      }
      auto* node = new (std::nothrow) CZvIndexExpressionFunction;
      if (!node) return fail(msg::kOutOfMemory, p, 0);
      index = expression->AppendFunction(node);
      node->SetName(p, length);
      int used = length;
      if (call) {
        used = ParseFunctionCall(indicator, p, node, noCodeCheck, future);
        if (used == 0) return failInner(p);
      }
      builder.Operand(kItemFunction, index);
      p += used;
    } else if (IsDigit(c) || c == '.') {
      const char* numberEnd = ScanNumber(indicator, text, p);
      if (!numberEnd) return false;
      builder.Constant(ParseNumberText(p, static_cast<int>(numberEnd - p)));
      p = numberEnd;
    } else if (c == '+' || c == '-') {
      if (IsUnarySign(text, p)) {
        // -X is 0 - X: the constant, then the sign as a binary minus.
        if (c == '-') {
          builder.Constant(0.0);
          builder.Operator(kOpSubtract);
        }
      } else {
        builder.Operator(c == '+' ? kOpAdd : kOpSubtract);
      }
      ++p;
    } else {
      int length = 0;
      const int code = ComparisonAt(p, &length);
      if (code == 0) return fail(msg::kInternal, p, 1);
      builder.Operator(code);
      p += length;
    }
  }
  expression->itemCount = builder.Finish();
  return true;
}

bool AllowedAfterComma(const char* p) {
  const char c = *p;
  return IsUpper(c) || IsDigit(c) || c == '_' || c == '+' || c == '-' || c == '(' || c == '.' || IsDoubleByteAt(p);
}

bool IsSixDigits(const char* p) {
  for (int i = 0; i < 6; ++i) {
    if (!IsDigit(p[i])) return false;
  }
  return true;
}

}  // namespace

int ParseExpression(CZvIndex* indicator, const char* text, CZvIndexExpression* expression, bool noCodeCheck,
                    bool* future) {
  bool unused = false;
  if (!future) future = &unused;
  int count = 0;
  const long stop = CheckExpression(indicator, text, noCodeCheck, future, &count);
  if (stop < 0) return 0;
  if (expression && !BuildExpression(indicator, text, stop, count, expression, noCodeCheck, future)) return 0;
  return static_cast<int>(stop);
}

int ParseFunctionCall(CZvIndex* indicator, const char* text, CZvIndexFunction* node, bool noCodeCheck, bool* future) {
  bool unused = false;
  if (!future) future = &unused;
  int length = 0;
  while (IsUpper(text[length]) || IsDigit(text[length]) || text[length] == '_') ++length;
  const IndexFunctionEntry* entry = length <= kMaxNameLength ? FindFunctionEntry(text, length) : nullptr;
  if (!entry) return Fail(indicator, msg::kUnknownFunction, 0, length);
  if (callNesting >= kMaxCallNesting) return Fail(indicator, msg::kNestingTooDeep, 0, length);
  NestingScope nesting;
  if (entry->flags & kFunctionFuture) *future = true;
  if (node) node->SetName(text, length);
  auto failed = [&] {
    if (node) node->Reset();
    return 0;
  };
  const char* p = SkipSpaceAndComments(text + length);
  if (*p != '(') return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p)), failed();
  p = SkipSpaceAndComments(p + 1);
  int arguments = 0;
  if (*p != ')') {
    for (;;) {
      CZvIndexFunctionParam* argument = nullptr;
      if (node && !(argument = new (std::nothrow) CZvIndexFunctionParam)) {
        return Fail(indicator, msg::kOutOfMemory, p - text, 0), failed();
      }
      const int used = ParseExpression(indicator, p, argument, noCodeCheck, future);
      if (used == 0) {
        delete argument;
        if (HasError(indicator)) return ShiftError(indicator, p - text), failed();
        return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p)), failed();
      }
      if (arguments == entry->maxArguments) {
        delete argument;
        return Fail(indicator, msg::kTooManyArguments, p - text, SkipSpaceAndCommentsBack(p + used, p) - p), failed();
      }
      if (node) node->AppendArgument(argument);
      ++arguments;
      p += used;
      if (*p == ',') {
        p = SkipSpaceAndComments(p + 1);
        if (!AllowedAfterComma(p)) return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p)), failed();
        continue;
      }
      if (*p == ')') break;
      return Fail(indicator, msg::kSyntax, p - text, OneByteAt(p)), failed();
    }
  }
  if (arguments < entry->minArguments) return Fail(indicator, msg::kMissingArgument, 0, length), failed();
  return static_cast<int>(p + 1 - text);
}

int ParseCrossReference(CZvIndex* indicator, const char* text, CZvIndexRefother* node, bool noCodeCheck) {
  const char* p = SkipSpaceAndComments(text + 1);
  const char* close = std::strchr(p, '"');
  if (!close) return Fail(indicator, msg::kUnmatchedQuote, 0, 1);
  const char* dollar = static_cast<const char*>(std::memchr(p, '$', static_cast<std::size_t>(close - p)));
  if (!dollar) return Fail(indicator, msg::kOnlyCrossReference, 0, 1);

  const long codeLength = SkipSpaceAndCommentsBack(dollar, p) - p;
  if (codeLength == 0) return Fail(indicator, msg::kMissingCode, dollar - text, 1);
  const bool sh = codeLength == 8 && p[0] == 'S' && p[1] == 'H' && IsSixDigits(p + 2);
  const bool sz = codeLength == 8 && p[0] == 'S' && p[1] == 'Z' && IsSixDigits(p + 2);
  if (codeLength > 6 && !sh && !sz) return Fail(indicator, msg::kCodeTooLong, p - text, codeLength);
  char code[8] = {};
  if (sh || sz) {
    std::memcpy(code, p + 2, 6);
  } else {
    std::memcpy(code, p, static_cast<std::size_t>(codeLength));
  }
  if (!noCodeCheck) {
    // A prefixed code names its market; any other code is looked for in market 0, then in all.
    int market = sz ? 1 : 0;
    if (!FindInstrumentByCode(code, &market, !sh && !sz)) {
      return Fail(indicator, msg::kNoSuchInstrument, p - text, codeLength);
    }
  }
  if (node) {
    node->market = sh ? 0 : sz ? 1 : CZvIndexRefother::kAnyMarket;
    std::memcpy(node->code, code, sizeof node->code);
    node->series = -1;
  }

  // A comment opened in the field may run past the closing quote: the field then is empty.
  const char* field = SkipSpaceAndComments(dollar + 1);
  if (field > close) field = close;
  const long fieldLength = SkipSpaceAndCommentsBack(close, field) - field;
  if (fieldLength == 0) return Fail(indicator, msg::kMissingField, dollar - text, 1);
  const IndexFunctionEntry* entry =
      fieldLength <= kMaxNameLength ? FindFunctionEntry(field, static_cast<int>(fieldLength)) : nullptr;
  if (!entry) return Fail(indicator, msg::kNoSuchField, field - text, fieldLength);
  if (entry->maxArguments != 0) return Fail(indicator, msg::kFieldNotReferable, field - text, fieldLength);
  if (node) node->fieldEvaluator = entry->evaluator;
  return static_cast<int>(close + 1 - text);
}
