// Stand-in views: one per view kind, registered with the view factory until the real view of
// that kind registers. Each implements its kind's surface (ViewSurfaces.h) well enough for the
// shell to be built and tested against it: it records what it is asked, keeps what it was given
// and paints what it holds (a title, its kind, its instrument and a few lines of its kind).
//
// UI thread only.
#pragma once

#include "core/EArray.h"
#include "data/Records.h"
#include "shell/ViewTypes.h"

#include <cstdint>
#include <string>
#include <vector>

class TChildView;
class TMultiViewMain;
struct PageNode;

// The seven kinds that have a stand-in.
constexpr ViewKind kStubViewKinds[] = {VIEW_REPORT, VIEW_INTESORT, VIEW_NEWS, VIEW_F10,
                                       VIEW_NOTE,   VIEW_TREND,    VIEW_KLINE};

// One ViewNotify as a stand-in received it.
struct ViewNotifyRecord {
  int code;
  STKPTR instrument;
  int arg;
  std::intptr_t extra;
};

// What every stand-in records; reach it with dynamic_cast from the view.
class StubRecorder {
 public:
  virtual ~StubRecorder() = default;

  std::vector<ViewNotifyRecord> notifications;   // every ViewNotify, in order
  std::vector<std::string> calls;                // operations asked of it, e.g. "N1Click"
  std::vector<std::string> paintedLines;         // GBK lines of the last paint, top to bottom
  int paints = 0;

  bool Called(const std::string& call) const;
};

TChildView* MakeReportStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                           EArray<VIEW_ATTR_12>* history, PageNode* node);
TChildView* MakeInteSortStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                             EArray<VIEW_ATTR_12>* history, PageNode* node);
TChildView* MakeMsgFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                            EArray<VIEW_ATTR_12>* history, PageNode* node);
TChildView* MakeTextFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                             EArray<VIEW_ATTR_12>* history, PageNode* node);
TChildView* MakeZQNoteStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                           EArray<VIEW_ATTR_12>* history, PageNode* node);
TChildView* MakeRendFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                             EArray<VIEW_ATTR_12>* history, PageNode* node);
TChildView* MakeTechFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                             EArray<VIEW_ATTR_12>* history, PageNode* node);
