// The compiled parts of an indicator: expressions, function calls and their arguments,
// cross-instrument references, statements and drawing calls.
#include "core/GuardedAlloc.h"
#include "data/DataAgent.h"
#include "formula/IndexModel.h"
#include "platform/Gdi.h"

#include <algorithm>
#include <cstring>

namespace {

// Deletes the nodes after a head one by one, so that a long list never recurses deeply: each
// node is unlinked before it is deleted and so deletes nothing but itself.
template <typename Node>
void DeleteRest(Node*& next) {
  Node* node = next;
  next = nullptr;
  while (node) {
    Node* after = node->next;
    node->next = nullptr;
    delete node;
    node = after;
  }
}

template <typename Node>
int AppendNode(Node*& head, Node* node) {
  int index = 0;
  Node** link = &head;
  while (*link) {
    link = &(*link)->next;
    ++index;
  }
  *link = node;
  return index;
}

template <typename Node>
Node* NodeAt(Node* head, int index) {
  if (index < 0) return nullptr;
  for (; head && index > 0; --index) head = head->next;
  return head;
}

}  // namespace

// ---- CZvIndexExpression ---------------------------------------------------------------------

CZvIndexExpression::~CZvIndexExpression() {
  Reset();
  GuardedFree(items);
  items = nullptr;
}

void CZvIndexExpression::Reset() {
  itemCount = 0;
  delete functions;   // the head deletes the rest of its chain
  functions = nullptr;
  delete refothers;
  refothers = nullptr;
}

std::uint32_t CZvIndexExpression::Capacity() const {
  return items ? GuardedSize(items) / static_cast<std::uint32_t>(sizeof(PostfixItem)) : 0;
}

int CZvIndexExpression::AppendFunction(CZvIndexExpressionFunction* node) { return AppendNode(functions, node); }
int CZvIndexExpression::AppendRefother(CZvIndexRefother* node) { return AppendNode(refothers, node); }
CZvIndexExpressionFunction* CZvIndexExpression::GetFunction(int index) const { return NodeAt(functions, index); }
CZvIndexRefother* CZvIndexExpression::GetRefother(int index) const { return NodeAt(refothers, index); }

CZvIndexFunctionParam::~CZvIndexFunctionParam() { DeleteRest(next); }

// ---- CZvIndexFunction -----------------------------------------------------------------------

CZvIndexFunction::~CZvIndexFunction() { Reset(); }

void CZvIndexFunction::Reset() {
  evaluator = nullptr;
  std::memset(name, 0, sizeof name);
  delete arguments;
  arguments = nullptr;
}

void CZvIndexFunction::SetName(const char* text, int length) {
  std::memset(name, 0, sizeof name);
  const int kept = std::clamp(length, 0, static_cast<int>(sizeof name) - 1);
  if (text && kept > 0) std::memcpy(name, text, static_cast<std::size_t>(kept));
  evaluator = FindFunctionEvaluator(text, length);
}

void CZvIndexFunction::AppendArgument(CZvIndexFunctionParam* argument) { AppendNode(arguments, argument); }

double CZvIndexFunction::Call(const IndexEvalContext& context) const {
  return evaluator ? evaluator(context, arguments) : 0.0;
}

CZvIndexExpressionFunction::~CZvIndexExpressionFunction() { DeleteRest(next); }

// ---- CZvIndexRefother -----------------------------------------------------------------------

CZvIndexRefother::~CZvIndexRefother() {
  Unbind();
  DeleteRest(next);
}

void CZvIndexRefother::Unbind() {
  if (series >= 0) UnsubscribeAgent(series, subscriber, kSubscribeWindow);
  series = -1;
  subscriber = nullptr;
}

// ---- CZvIndexVariable -----------------------------------------------------------------------

CZvIndexVariable::~CZvIndexVariable() { Reset(); }

void CZvIndexVariable::ResetOwnFields() {
  flags = 0;
  style = kStylePlain;
  colour = 0;
  thickness = 1;
  std::memset(name, 0, sizeof name);
  delete expression;
  expression = nullptr;
  GuardedFree(values);
  values = nullptr;
}

void CZvIndexVariable::Reset() {
  ResetOwnFields();
  DeleteRest(next);
}

namespace {
// Styles whose value array holds something other than one double per bar.
bool HoldsDoubles(std::uint8_t style) {
  return style != kStyleKStick && style != kStyleBarStick && style != kStyleTowerStick &&
         style != kStylePointFigure && style <= kStyleSslInternal;
}
}  // namespace

double CZvIndexVariable::GetValue(std::uint32_t bar) const {
  if (!values || !HoldsDoubles(style)) return 0.0;
  // A bar past the array (a caller ahead of the calculation) reads nothing.
  if (static_cast<std::uint64_t>(bar + 1ull) * sizeof(double) > GuardedSize(values)) return 0.0;
  return static_cast<const double*>(values)[bar];
}

void CZvIndexVariable::SetValue(std::uint32_t bar, double value) {
  if (!values || !HoldsDoubles(style)) return;
  if (static_cast<std::uint64_t>(bar + 1ull) * sizeof(double) > GuardedSize(values)) return;
  static_cast<double*>(values)[bar] = value;
}

// ---- CZvIndexDraw ---------------------------------------------------------------------------

CZvIndexDraw::~CZvIndexDraw() {
  DestroyOwnParts();
  DeleteRest(next);
}

void CZvIndexDraw::DestroyOwnParts() {
  delete condition;
  condition = nullptr;
  for (CZvIndexExpression*& expression : expressions) {
    delete expression;
    expression = nullptr;
  }
  GuardedFree(mask);
  mask = nullptr;
  for (double*& array : values) {
    GuardedFree(array);
    array = nullptr;
  }
  if (bitmap) DeleteObject(bitmap);
  bitmap = nullptr;
}

std::uint32_t CZvIndexDraw::IconNumber() const {
  std::uint32_t number;
  std::memcpy(&number, text, sizeof number);
  return number;
}

void CZvIndexDraw::SetIconNumber(std::uint32_t number) { std::memcpy(text, &number, sizeof number); }
