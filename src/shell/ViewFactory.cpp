#include "shell/ViewFactory.h"

#include "shell/stubs/StubViews.h"

#include <map>

namespace {

std::map<ViewKind, ViewMaker>& Makers() {
  // Filled on first use, so registrations made during static start-up find the stubs there.
  static std::map<ViewKind, ViewMaker> makers = [] {
    std::map<ViewKind, ViewMaker> initial;
    for (ViewKind kind : kStubViewKinds) initial[kind] = StubViewMaker(kind);
    return initial;
  }();
  return makers;
}

}  // namespace

ViewMaker StubViewMaker(ViewKind kind) {
  switch (kind) {
    case VIEW_REPORT: return &MakeReportStub;
    case VIEW_INTESORT: return &MakeInteSortStub;
    case VIEW_NEWS: return &MakeMsgFormStub;
    case VIEW_F10: return &MakeTextFormStub;
    case VIEW_NOTE: return &MakeZQNoteStub;
    case VIEW_TREND: return &MakeRendFormStub;
    case VIEW_KLINE: return &MakeTechFormStub;
    default: return nullptr;
  }
}

TChildView* CreateView(ViewKind kind, TMultiViewMain* owner, const VIEW_ATTR_12* source,
                       MVCDATA_12* data, EArray<VIEW_ATTR_12>* history, PageNode* node) {
  auto& makers = Makers();
  auto found = makers.find(kind);
  if (found == makers.end() || found->second == nullptr) return nullptr;
  return found->second(owner, source, data, history, node);
}

ViewMaker RegisterViewFactory(ViewKind kind, ViewMaker maker) {
  auto& makers = Makers();
  ViewMaker previous = nullptr;
  auto found = makers.find(kind);
  if (found != makers.end()) previous = found->second;
  if (maker == nullptr) maker = StubViewMaker(kind);
  if (maker == nullptr)
    makers.erase(kind);
  else
    makers[kind] = maker;
  return previous;
}
