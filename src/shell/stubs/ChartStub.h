// The part the two stand-in chart views share: the chart base's operations recorded, the
// navigation list held, code 0 and code 1, the instrument collected, and the popup items.
#pragma once

#include "data/BlockGroup.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "shell/NavList.h"
#include "shell/ShellHost.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubCommon.h"
#include "shell/stubs/StubViews.h"

namespace stubview {

constexpr int kBrokerQueueMarketKind = 6;

template <class Surface>
class ChartStub : public Surface, public StubRecorder {
 public:
  ChartStub(ViewKind kind, TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
            EArray<VIEW_ATTR_12>* history, PageNode* node)
      : Surface(owner, source, data, history, node) {
    InitAttributes(*this, kind, source);
    // The creator added the reference this view now holds.
    if (source != nullptr) TakeNavList(this->navListId, this->navPosition, *source);
    ClearNavWords(this->attr);
    this->NLine = Item("画线工具");
    const char* adjustments[3] = {"不除权", "前复权", "后复权"};
    for (int i = 0; i < 3; ++i) {
      this->adjustItems[i] = Item(adjustments[i]);
      this->adjustItems[i]->SetTag(i);
      this->adjustItems[i]->SetRadioItem(true);
    }
    this->adjustItems[0]->SetChecked(true);
    this->N29 = Item("商品叠加");
    this->N20 = Item("套利分析");
    this->N30 = Item("指标管理");
    this->N37 = Item("启用");
    this->N39 = Item("反转副图");
  }
  ~ChartStub() override { navlist::Release(this->navListId); }

  void InitView() override {
    ++initViews;
    calls.push_back("InitView");
  }

  void ViewCollectInstruments(EArray<STKMS>& instruments) override {
    CollectInstrument(instruments, this->attr.instrument);
  }

  void ShowContextMenu(int x, int y) override { calls.push_back(Format("ShowContextMenu %d %d", x, y)); }
  void RefreshView() override { calls.push_back("RefreshView"); }
  void DrawCrosshair(int x, int y) override { calls.push_back(Format("DrawCrosshair %d %d", x, y)); }
  void InfoPanelToggled() override { calls.push_back("InfoPanelToggled"); }
  void ReloadData() override { calls.push_back("ReloadData"); }

  void AddToBlock(int blockId) override {
    calls.push_back(Format("AddToBlock %d", blockId));
    if (AddMemberAndSave(static_cast<std::uint16_t>(blockId), this->attr.instrument) != 1) return;
    if (IShellHost* host = ShellHost()) host->NotifyViews(VN_BLOCKCHANGED, STKPTR(0, 0, 0), blockId, 0);
  }
  void RepaintSideTradeGrid() override { calls.push_back("RepaintSideTradeGrid"); }
  void ViewApplyColors() override {
    calls.push_back("ViewApplyColors");
    Surface::ViewApplyColors();
  }
  // The indicator messages the main window relays to the charts are noted with their parameters.
  void WndProc(TMessage& message) override {
    if (message.Msg == MsgReattachIndicator || message.Msg == MsgIndicatorParamsChanged) {
      calls.push_back(Format("%s %llu %llu", message.Msg == MsgReattachIndicator ? "ReattachIndicator" : "IndicatorParams",
                             static_cast<unsigned long long>(message.WParam),
                             static_cast<unsigned long long>(message.LParam)));
    }
    Surface::WndProc(message);
  }
  bool SidePanelShown() const override { return sidePanel; }

  bool sidePanel = false;
  int initViews = 0;

 protected:
  // Codes 0 and 1 as the chart base handles them; true when the code was one of them.
  bool ChartNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) {
    if (code == VN_QUOTE) {
      if (instrument != this->attr.instrument) return true;
      const TMarketData* table = instrument.market < kMaxMarkets ? MarketTables[instrument.market] : nullptr;
      if (table != nullptr && table->record.kind == kBrokerQueueMarketKind) calls.push_back("BrokerQueue");
      calls.push_back("Repaint");
      this->Invalidate();
      return true;
    }
    if (code == VN_SHOWINSTRUMENT) {
      this->attr.instrument = instrument;
      this->attr.currentBlock = static_cast<std::uint32_t>(arg);
      if (extra != 0) TakeNavList(this->navListId, this->navPosition, *reinterpret_cast<const VIEW_ATTR_12*>(extra));
      this->Invalidate();
      return true;
    }
    return false;
  }

  bool IndexLike() const {
    const TMarketData* table =
        this->attr.instrument.market < kMaxMarkets ? MarketTables[this->attr.instrument.market] : nullptr;
    const std::uint8_t category = this->attr.instrument.category;
    return table != nullptr && category < kMaxCategories && table->record.categories[category].noDepth != 0;
  }

 private:
  TMenuItem* Item(const char* caption) {
    auto* item = new TMenuItem(this);
    item->SetCaption(caption);
    return item;
  }
};

}  // namespace stubview
