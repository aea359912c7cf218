// The indicator object model: one technical indicator (CZvIndex), as a definition of the
// indicator manager or as an instance on a chart pane, and the compiled objects its formula
// becomes: statements (CZvIndexVariable) and drawing calls (CZvIndexDraw) whose expressions
// (CZvIndexExpression) are postfix item arrays with their chains of function calls and
// cross-instrument references. Every object lives on the user-interface thread; the manager's
// definitions are also read by its save worker under the manager's lock.
//
// Ownership: an indicator owns its chain (next), texts, variables and drawing calls; every list
// node owns the rest of its list, so deleting a head deletes the whole list (iteratively: long
// lists cannot exhaust the stack). Item arrays, value arrays, masks and texts come from the
// guarded allocator, whose zero filling fresh value arrays rely on; small nodes from the heap.
#pragma once

#include "data/Records.h"
#include "formula/FunctionTable.h"
#include "platform/WinBase.h"

#include <cstdint>

constexpr int kMaxIndexParams = 16;
constexpr int kMaxIndexRefLines = 16;
constexpr int kIndexNameSize = 16;
constexpr int kIndexPasswordSize = 32;
constexpr int kIndexDescriptionSize = 512;
constexpr int kIndexErrorSize = 64;
constexpr std::uint32_t kMinIndexTextCapacity = 4096;

// CZvIndex flags.
constexpr std::uint32_t kIndexGraphTypeMask = 0x3;   // 0 sub pane, 1 overlay, 2 main chart
constexpr std::uint32_t kIndexHasPassword = 0x4;
constexpr std::uint32_t kIndexSystem = 0x8;
constexpr std::uint32_t kIndexRelativeOverlay = 0x10;
constexpr std::uint32_t kIndexFuture = 0x400;        // set by the compiler, cleared only by Clear

// CZvIndexVariable flags.
constexpr std::uint32_t kVariableDrawn = 0x1;
constexpr std::uint32_t kVariableOwnColour = 0x2;
// The colour member holds an entry number 0..63 of ColorTable, read when the line is drawn.
constexpr std::uint32_t kVariableSysColour = 0x4;
constexpr std::uint32_t kVariableFuture = 0x400;

// Line styles.
enum IndexLineStyle : std::uint8_t {
  kStylePlain = 0,
  kStyleColorStick = 1,
  kStyleVolStick = 2,
  kStyleCircleDot = 3,
  kStyleKStick = 4,
  kStyleBarStick = 5,
  kStyleTowerStick = 6,
  kStylePointFigure = 7,
  kStyleStick = 8,
  kStylePointDot = 9,
  kStyleCrossDot = 10,
  kStyleSslInternal = 11,
};

// Drawing call kinds.
enum IndexDrawKind : std::int32_t {
  kDrawText = 1,
  kDrawIcon = 2,
  kDrawBmp = 3,
  kDrawBkBmp = 4,
  kDrawGbk = 5,
  kDrawStickLine = 9,
  kDrawKLine = 10,
};

// One declared parameter. Stored as these 72 bytes in the definition and export files.
struct CZvIndexParam {
  char name[32];        // NUL-padded, at most 31 bytes
  double minimum;
  double maximum;
  double defaultValue;
  double step;          // the editor writes 1.0; nothing reads it
  double value;         // the current value formulas read
};
static_assert(sizeof(CZvIndexParam) == 72);

// One reference line. Stored as these 16 bytes in the K-line view's page data.
struct CZvIndexRefLine {
  std::int32_t decimals;   // digits typed after the point
  std::uint8_t spare[4];
  double value;
};
static_assert(sizeof(CZvIndexRefLine) == 16);

// Postfix item kinds and operator codes.
enum PostfixKind : std::uint8_t {
  kItemOperator = 0,
  kItemConstant = 1,
  kItemParameter = 2,
  kItemFunction = 3,
  kItemVariable = 4,
  kItemRefother = 5,
};
enum PostfixOperator : std::uint8_t {
  kOpOpenParen = 0,  // on the compiler's stack only
  kOpMultiply = 4,
  kOpDivide = 5,
  kOpAdd = 6,
  kOpSubtract = 7,
  kOpLess = 8,
  kOpGreater = 9,
  kOpLessEqual = 10,
  kOpGreaterEqual = 11,
  kOpEqual = 12,
  kOpNotEqual = 13,
  kOpAnd = 14,
  kOpOr = 15,
};

// Variable index of a statement that reads its own name.
constexpr std::int32_t kOwnVariable = -1;

struct PostfixItem {
  std::uint8_t kind;   // PostfixKind
  union {
    std::uint8_t op;         // kItemOperator
    double constant;         // kItemConstant
    std::int32_t index;      // parameter, function call, variable or reference index
  };
};

class CZvIndexExpressionFunction;
class CZvIndexRefother;

// A compiled expression. The item array holds at least twice the items: the upper half is
// scratch space (the compiler's operator stack, the evaluator's working copy).
class CZvIndexExpression {
 public:
  CZvIndexExpression() = default;
  virtual ~CZvIndexExpression();
  CZvIndexExpression(const CZvIndexExpression&) = delete;
  CZvIndexExpression& operator=(const CZvIndexExpression&) = delete;

  // Item count 0; function-call and reference chains destroyed (bound series unsubscribed).
  // The item array stays for reuse.
  void Reset();
  // Items the array can hold (0 without an array).
  std::uint32_t Capacity() const;
  // Appends at the end of the chain (takes ownership); the node's number in its chain.
  int AppendFunction(CZvIndexExpressionFunction* node);
  int AppendRefother(CZvIndexRefother* node);
  // The node at a position, null past the end.
  CZvIndexExpressionFunction* GetFunction(int index) const;
  CZvIndexRefother* GetRefother(int index) const;

  PostfixItem* items = nullptr;       // guarded allocator
  std::uint32_t itemCount = 0;
  CZvIndexExpressionFunction* functions = nullptr;
  CZvIndexRefother* refothers = nullptr;
};

// One argument of a function call: an expression and the next argument (owned).
class CZvIndexFunctionParam : public CZvIndexExpression {
 public:
  CZvIndexFunctionParam() = default;
  ~CZvIndexFunctionParam() override;

  CZvIndexFunctionParam* next = nullptr;
};

// One call of a built-in function.
class CZvIndexFunction {
 public:
  CZvIndexFunction() = default;
  virtual ~CZvIndexFunction();
  CZvIndexFunction(const CZvIndexFunction&) = delete;
  CZvIndexFunction& operator=(const CZvIndexFunction&) = delete;

  // Evaluator null, name empty, arguments destroyed.
  void Reset();
  // The name becomes the first length bytes of text (at most 31) and the evaluator is looked up
  // by it (null for a name that is no built-in function).
  void SetName(const char* text, int length);
  // Appends at the end of the argument chain (takes ownership).
  void AppendArgument(CZvIndexFunctionParam* argument);
  // 0 without an evaluator, else the evaluator on the context and the first argument.
  double Call(const IndexEvalContext& context) const;

  IndexEvaluator evaluator = nullptr;
  char name[32] = {};
  CZvIndexFunctionParam* arguments = nullptr;
};

// A node of an expression's function-call chain.
class CZvIndexExpressionFunction : public CZvIndexFunction {
 public:
  CZvIndexExpressionFunction() = default;
  ~CZvIndexExpressionFunction() override;

  CZvIndexExpressionFunction* next = nullptr;
};

// One cross-instrument reference ("code$FIELD"). Binding to a data series is the calculation's;
// the destructor gives a bound series back.
class CZvIndexRefother {
 public:
  static constexpr std::uint8_t kAnyMarket = 255;

  CZvIndexRefother() = default;
  ~CZvIndexRefother();
  CZvIndexRefother(const CZvIndexRefother&) = delete;
  CZvIndexRefother& operator=(const CZvIndexRefother&) = delete;

  // Unsubscribes a bound series and marks the reference unbound.
  void Unbind();

  std::uint8_t market = kAnyMarket;   // 0 (SH prefix), 1 (SZ prefix) or 255 (any market)
  char code[8] = {};
  STKPTR instrument;                  // no instrument until bound
  std::uint32_t priceDivisor = 0;
  std::int32_t series = -1;
  HWND subscriber = nullptr;
  IndexEvaluator fieldEvaluator = nullptr;
  CZvIndexRefother* next = nullptr;
};

// One statement of a formula.
class CZvIndexVariable {
 public:
  CZvIndexVariable() = default;
  ~CZvIndexVariable();
  CZvIndexVariable(const CZvIndexVariable&) = delete;
  CZvIndexVariable& operator=(const CZvIndexVariable&) = delete;

  // Flags, style, colour 0, thickness 1, name empty, expression destroyed, values freed, the
  // rest of the list destroyed; the decimals keep their value.
  void Reset();
  // values[bar] for styles that hold a double per bar; 0 (and no store) for KSTICK, BARSTICK,
  // TOWERSTICK, POINTFIGURE and codes above 11. No values array gives 0.
  double GetValue(std::uint32_t bar) const;
  void SetValue(std::uint32_t bar, double value);

  char name[16] = {};
  CZvIndexVariable* next = nullptr;
  std::uint32_t flags = 0;
  std::int32_t decimals = 4;
  std::uint8_t style = kStylePlain;
  std::uint32_t colour = 0;           // 0x00BBGGRR, or with kVariableSysColour a ColorTable entry
  std::int32_t thickness = 1;
  CZvIndexExpression* expression = nullptr;
  void* values = nullptr;             // guarded allocator; element by style

 private:
  void ResetOwnFields();
};

// One drawing call (DRAWTEXT, DRAWICON, ...).
class CZvIndexDraw {
 public:
  static constexpr std::uint32_t kDefaultAlignment = 0x00010001;   // centre, centre
  static constexpr std::uint32_t kDefaultColour = 0xFFFFFFFF;

  CZvIndexDraw() = default;
  ~CZvIndexDraw();
  CZvIndexDraw(const CZvIndexDraw&) = delete;
  CZvIndexDraw& operator=(const CZvIndexDraw&) = delete;

  // The DRAWICON number kept in the first four bytes of the text.
  std::uint32_t IconNumber() const;
  void SetIconNumber(std::uint32_t number);

  CZvIndexDraw* next = nullptr;
  std::int32_t kind = 0;
  std::uint32_t flags = 0;
  CZvIndexExpression* condition = nullptr;
  CZvIndexExpression* expressions[4] = {};
  std::uint8_t* mask = nullptr;       // one bit per bar; guarded allocator
  double* values[4] = {};             // guarded allocator
  std::uint32_t alignment = kDefaultAlignment;  // low half ALIGN, high half VALIGN
  std::uint32_t colour = kDefaultColour;
  HBITMAP bitmap = nullptr;
  char text[260] = {};

 private:
  void DestroyOwnParts();
};

struct InstrumentRecord;

// One indicator.
class CZvIndex {
 public:
  CZvIndex();
  // Destroys the chained indicators first, then everything this one holds.
  virtual ~CZvIndex();
  CZvIndex(const CZvIndex&) = delete;
  CZvIndex& operator=(const CZvIndex&) = delete;

  // Empties name, password, description and both texts (the buffers stay), zeroes flags and the
  // parameter and reference-line counts, destroys the compiled parts, forgets the instrument,
  // the calculated bar count, the selection and the title rectangle. Error and chain stay.
  void Clear();
  // Clear, clear the error, then copy name, password, description, flags, all parameter slots
  // and their count, usage text and formula text (not compiled). Reference lines stay empty;
  // the chain is not copied. Assigning an indicator to itself does nothing.
  void Assign(const CZvIndex& source);
  // As Assign, but compiles the definition's formula (cross-instrument codes not checked)
  // instead of copying it, when it is not empty. A failed compile leaves this indicator cleared
  // with only the error.
  void AssignDefinition(const CZvIndex& definition);

  // No effect for a null or empty text. Grows the buffer to max(length + 1, 4096) bytes; when
  // that fails the text is left absent.
  void SetUsageText(const char* text);
  // The same with an edit window's text; an empty text empties the usage text.
  void SetUsageTextFromWindow(HWND window);
  // Copies the text into the formula buffer (same capacity rule) without compiling; null or
  // empty empties it.
  void SetFormulaText(const char* text);
  const char* GetFormulaText() const { return formulaText ? formulaText : ""; }
  const char* GetUsageText() const { return usageText ? usageText : ""; }

  // The message is cut to 63 bytes on a character boundary.
  void SetError(const char* text, int position, int length);
  // Copies out whichever is asked (text needs 64 bytes).
  void GetError(char* text, int* position, int* length) const;

  // False when a parameter of that name exists (case ignored) or 16 exist.
  bool AddParam(const CZvIndexParam& param);
  CZvIndexParam* GetParam(int index);
  const CZvIndexParam* GetParam(int index) const;
  void SetParam(int index, const CZvIndexParam& param);
  // Index or -1, case ignored; the text-and-length form gives -1 for a length above 31.
  int FindParam(const char* name) const;
  int FindParam(const char* text, int length) const;

  // True without adding when an equal value exists; false when 16 lines exist.
  bool AddRefLine(double value, std::int32_t decimals);
  CZvIndexRefLine* GetRefLine(int index);

  // The index-th variable, null past the end; -1 is the current variable.
  CZvIndexVariable* GetVariable(int index) const;
  void AddVariable(CZvIndexVariable* variable);
  void AddDrawCall(CZvIndexDraw* call);
  CZvIndexDraw* GetDrawCall(int index) const;
  // Index or -1, case ignored; the text-and-length form gives -1 for a length above 15.
  int FindVariable(const char* name) const;
  int FindVariable(const char* text, int length) const;
  // Destroys the variables and drawing calls.
  void DestroyCompiledParts();

  // Gives each drawn plain-style line without its own colour the next theme colour, entries
  // first..10 then from 3 again; returns the next entry. The colour is copied.
  int AssignLineColours(int firstColourIndex);
  // True when a bound cross-instrument reference anywhere in the formula reads that instrument
  // (market and instrument index); withChain also asks the chained indicators.
  bool RefersToInstrument(STKPTR instrument, bool withChain) const;

  // Compiles an edit window's formula text (see CompileFormula).
  bool CompileFromWindow(HWND window, bool noCodeCheck);

  char name[kIndexNameSize] = {};
  char password[kIndexPasswordSize] = {};
  char description[kIndexDescriptionSize] = {};
  char* formulaText = nullptr;      // guarded allocator
  char* usageText = nullptr;        // guarded allocator
  std::uint32_t flags = 0;
  CZvIndexParam* params = nullptr;  // kMaxIndexParams slots
  std::uint32_t paramCount = 0;
  CZvIndexRefLine* refLines = nullptr;  // kMaxIndexRefLines slots
  std::uint32_t refLineCount = 0;
  CZvIndexVariable* variables = nullptr;
  CZvIndexVariable* currentVariable = nullptr;
  CZvIndexDraw* drawCalls = nullptr;
  char errorText[kIndexErrorSize] = {};
  std::int32_t errorPosition = 0;
  std::int32_t errorLength = 0;
  const InstrumentRecord* instrument = nullptr;
  std::uint32_t calculatedBarCount = 0;
  std::uint8_t selected = 0;
  std::int32_t titleRect[4] = {};
  CZvIndex* next = nullptr;
};

// Grows a guarded text buffer to hold at least max(needed, 4096) bytes, freeing a smaller one
// first; false (buffer null) when the allocator refuses.
bool EnsureIndexTextCapacity(char*& buffer, std::uint32_t needed);
