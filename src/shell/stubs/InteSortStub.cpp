// Stand-in ranking view: its group, nine empty panes, codes 1 and 8 recorded.
#include "data/BlockGroup.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubCommon.h"
#include "shell/stubs/StubViews.h"

namespace {

using stubview::Format;

class InteSortStub final : public TInteSort, public StubRecorder {
 public:
  InteSortStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
               EArray<VIEW_ATTR_12>* history, PageNode* node)
      : TInteSort(owner, source, data, history, node) {
    stubview::InitAttributes(*this, VIEW_INTESORT, source);
  }
  const char* ClassName() const override { return "TInteSort"; }

  int ViewNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) override {
    notifications.push_back({code, instrument, arg, extra});
    if (code == VN_SHOWINSTRUMENT && arg != attr.blockTabs[0]) {
      attr.blockTabs[0] = static_cast<std::uint16_t>(arg);
      calls.push_back(Format("Group %d", arg));
      Invalidate();
    } else if (code == VN_TIMER && arg == 1) {
      calls.push_back("Refresh");
    }
    return 0;
  }

  void ViewCollectInstruments(EArray<STKMS>& instruments) override {
    const EArray<ISCI>& rows = paneRows[currentPane];
    for (int i = 0; i < rows.GetSize(); ++i) stubview::CollectInstrument(instruments, rows[i].instrument);
  }

 protected:
  void Paint() override {
    const BlockRecord* group = FindBlockById(attr.blockTabs[0]);
    stubview::PaintLines(*this, *this,
                         {"综合排名", Format("%d", VIEW_INTESORT), stubview::InstrumentText(attr.instrument),
                          group != nullptr ? std::string(group->name) : Format("%u", attr.blockTabs[0])});
  }
};

}  // namespace

TChildView* MakeInteSortStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                             EArray<VIEW_ATTR_12>* history, PageNode* node) {
  return new InteSortStub(owner, source, data, history, node);
}
