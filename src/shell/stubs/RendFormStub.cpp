// Stand-in trend view: its mode flags, side panel and pane count kept from its view data, the
// last price and time painted.
#include "shell/ViewHelpers.h"
#include "shell/stubs/ChartStub.h"

#include <cstring>

namespace {

using stubview::Format;

class RendFormStub final : public stubview::ChartStub<TRendForm> {
 public:
  RendFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
               EArray<VIEW_ATTR_12>* history, PageNode* node)
      : ChartStub(VIEW_TREND, owner, source, data, history, node) {
    // The cell always has a view data record by now (its own when none was given).
    if (viewData != nullptr) {
      if (viewData->trendPaneCount != 0) attr.paneCount = viewData->trendPaneCount;
      sidePanel = viewData->sidePanelShown != 0;
      std::memcpy(attr.detailItems, viewData->detailItems, sizeof attr.detailItems);
      attr.propertyFlags = viewData->propertyFlags;
    }
  }
  const char* ClassName() const override { return "TRendForm"; }

  int ViewNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) override {
    notifications.push_back({code, instrument, arg, extra});
    if (ChartNotify(code, instrument, arg, extra)) return 0;
    if (code == VN_TICKS && instrument == attr.instrument) calls.push_back(Format("TrendData %d", arg));
    return 0;
  }

  void ViewKeyCommand(int commandId) override {
    calls.push_back(Format("ViewKeyCommand %d", commandId));
    if (IndexLike()) return;
    if (commandId == 28 || commandId == 29) {
      attr.modeFlags = (attr.modeFlags & ~kChartModePriceSpread) | kChartModeTradeList;
    } else if (commandId == 30 || commandId == 31) {
      attr.modeFlags = (attr.modeFlags & ~kChartModeTradeList) | kChartModePriceSpread;
    }
  }

  void N16Click(TObject*) override {
    calls.push_back("N16Click");
    if (IndexLike()) return;
    attr.modeFlags ^= kChartModeFlash;
    Invalidate();
  }
  void N5Click(TObject*) override {
    calls.push_back("N5Click");
    sidePanel = !sidePanel;
  }
  void FormKeyDown(TObject*, WORD& key, TShiftState shift) override {
    calls.push_back(Format("FormKeyDown %u %d", key, shift.Contains(ssShift) ? 1 : 0));
  }
  void ShowHistoryDay(std::uint32_t date) override { calls.push_back(Format("ShowHistoryDay %u", date)); }

 protected:
  void Paint() override {
    double last = 0, time = 0;
    const std::string lastText = GetQuoteField(attr.instrument, 6, last) ? Format("%.2f", last) : "-";
    std::string timeText = "-";
    if (GetQuoteField(attr.instrument, 31, time)) {
      std::uint32_t word = 0;
      std::memcpy(&word, &time, sizeof word);
      timeText = Format("%u", word);
    }
    stubview::PaintLines(*this, *this,
                         {IsFlashChart(*this) ? "闪电图" : "分时图", Format("%d", VIEW_TREND),
                          stubview::InstrumentText(attr.instrument),
                          Format("最新 %s 时间 %s", lastText.c_str(), timeText.c_str())});
  }
};

}  // namespace

TChildView* MakeRendFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                             EArray<VIEW_ATTR_12>* history, PageNode* node) {
  return new RendFormStub(owner, source, data, history, node);
}
