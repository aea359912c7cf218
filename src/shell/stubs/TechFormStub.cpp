// Stand-in K-line chart: keeps what its view data gave it (panes, indicator names, parameter
// values, reference lines, the indicators over the main pane, overlays and arbitrage, pane
// ratios, side panel) and hands it back through the surface the page writer reads; the chart's
// commands are recorded, its menu states kept as checks.
#include "data/StkPtr.h"
#include "shell/stubs/ChartStub.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

using stubview::Format;

constexpr int kMaxParams = 16;
constexpr int kMaxRefLines = 16;
constexpr int kMaxRatios = 5;

bool AllFF(const std::uint8_t* bytes, int n) {
  for (int i = 0; i < n; ++i)
    if (bytes[i] != 0xFF) return false;
  return true;
}

class StubIndicator final : public IChartIndicator {
 public:
  StubIndicator() = default;
  // Takes the name (cut to 15 bytes) and the values of a stored parameter block: a block whose
  // first value is all 0xFF holds none, any other block all 16 (the stand-in has no indicator
  // definitions to count them by).
  void Load(const char* storedName, const std::uint8_t (*paramBlock)[8]) {
    std::memcpy(name_, storedName, sizeof name_ - 1);
    name_[sizeof name_ - 1] = 0;
    params_.clear();
    if (paramBlock == nullptr || AllFF(paramBlock[0], 8)) return;
    for (int k = 0; k < kMaxParams; ++k) {
      std::array<std::uint8_t, 8> value;
      std::memcpy(value.data(), paramBlock[k], 8);
      params_.push_back(value);
    }
  }
  // The stored reference lines up to the first slot whose value is all 0xFF.
  void LoadRefLines(const std::uint8_t (*slots)[16]) {
    refLines_.clear();
    for (int j = 0; j < kMaxRefLines && !AllFF(slots[j] + 8, 8); ++j) {
      std::array<std::uint8_t, 16> line;
      std::memcpy(line.data(), slots[j], 16);
      refLines_.push_back(line);
    }
  }
  void SetName(const char* text) {
    std::strncpy(name_, text, sizeof name_ - 1);
    name_[sizeof name_ - 1] = 0;
  }
  void SetNext(const IChartIndicator* next) { next_ = next; }

  const char* Name() const override { return name_; }
  int ParamCount() const override { return static_cast<int>(params_.size()); }
  const std::uint8_t* GetParam(int i) const override {
    return i >= 0 && i < ParamCount() ? params_[static_cast<std::size_t>(i)].data() : nullptr;
  }
  int RefLineCount() const override { return static_cast<int>(refLines_.size()); }
  const std::uint8_t* GetRefLine(int i) const override {
    return i >= 0 && i < RefLineCount() ? refLines_[static_cast<std::size_t>(i)].data() : nullptr;
  }
  const IChartIndicator* Next() const override { return next_; }

 private:
  char name_[16] = {};
  std::vector<std::array<std::uint8_t, 8>> params_;
  std::vector<std::array<std::uint8_t, 16>> refLines_;
  const IChartIndicator* next_ = nullptr;
};

bool IsEndMarker(const STKPTR& slot) { return slot.market == 255 && slot.index == kNoInstrument; }

class TechFormStub final : public stubview::ChartStub<TTechForm> {
 public:
  TechFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
               EArray<VIEW_ATTR_12>* history, PageNode* node)
      : ChartStub(VIEW_KLINE, owner, source, data, history, node) {
    if (viewData != nullptr) LoadViewData(*viewData);
  }
  const char* ClassName() const override { return "TTechForm"; }

  int ViewNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) override {
    notifications.push_back({code, instrument, arg, extra});
    if (ChartNotify(code, instrument, arg, extra)) return 0;
    const bool own = instrument == attr.instrument;
    switch (code) {
      case VN_TIMER:
        if (arg == 0) calls.push_back("PageDown");
        if (arg == 3) calls.push_back("Recalculate");
        break;
      case VN_INFOLINKS:
        if (own) calls.push_back("ReloadLinks");
        break;
      case VN_FONTSTEP:
        if (arg != 0) calls.push_back(arg > 0 ? "KeyUp" : "KeyDown");
        break;
      case VN_ADVICE:
        if (own) calls.push_back("Advice");
        break;
      case VN_LISTDATA: calls.push_back("RefreshSidePanel"); break;
      case VN_WEIGHTS:
        if (own) calls.push_back("ReloadWeights");
        break;
      case VN_OPENINFOLINK: calls.push_back("OpenInfoLink"); break;
      default: break;
    }
    return 0;
  }

  void ViewCollectInstruments(EArray<STKMS>& instruments) override {
    ChartStub::ViewCollectInstruments(instruments);
    for (const ChartOverlay& overlay : overlays_) stubview::CollectInstrument(instruments, overlay.instrument);
  }

  void ViewKeyCommand(int commandId) override { calls.push_back(Format("ViewKeyCommand %d", commandId)); }

  void ChangePeriod(int cycle) override {
    if (cycle < 1 || cycle > 14) return;
    if (cycle == attr.cycle && cycle != 3 && cycle != 12) return;
    attr.cycle = static_cast<std::uint8_t>(cycle);
    calls.push_back(Format("ChangePeriod %d", cycle));
    Invalidate();
  }
  void CheckPeriodItems() override { calls.push_back("CheckPeriodItems"); }
  void SetZoomLevel(int level) override {
    if (level < 0 || level > 28 || level == zoomLevel) return;
    zoomLevel = level;
    calls.push_back(Format("SetZoomLevel %d", level));
  }
  void RefreshBars() override { calls.push_back("RefreshBars"); }
  void AttachIndicator(const char* name, int flag) override {
    calls.push_back(Format("AttachIndicator %s %d", name, flag));
    if (selectedPane < 0 || selectedPane >= PaneCount()) return;
    std::strncpy(attr.paneIndicators[selectedPane], name, 15);
    attr.paneIndicators[selectedPane][15] = 0;
    panes_[static_cast<std::size_t>(selectedPane)].SetName(attr.paneIndicators[selectedPane]);
    Invalidate();
  }
  void FormKeyDown(TObject*, WORD& key, TShiftState shift) override {
    calls.push_back(Format("FormKeyDown %u %d", key, shift.Contains(ssShift) ? 1 : 0));
  }
  void DeleteAllLines() override { calls.push_back("DeleteAllLines"); }

  void N29Click(TObject*) override { calls.push_back("N29Click"); }
  void N20Click(TObject*) override { calls.push_back("N20Click"); }
  void NLineClick(TObject*) override { Toggle(NLine, "NLineClick"); }
  void N25Click(TObject* item) override {
    calls.push_back("N25Click");
    bool known = false;
    for (TMenuItem* adjust : adjustItems) known = known || adjust == item;
    if (!known) return;
    for (TMenuItem* adjust : adjustItems) adjust->SetChecked(adjust == item);
  }
  void N30Click(TObject*) override { calls.push_back("N30Click"); }
  void N37Click(TObject*) override { Toggle(N37, "N37Click"); }
  void N39Click(TObject*) override { Toggle(N39, "N39Click"); }
  void N3Click(TObject*) override { calls.push_back("N3Click"); }
  void R3Click(TObject*) override { calls.push_back("R3Click"); }
  void R1Click(TObject* item) override {
    calls.push_back("R1Click");
    if (auto* component = dynamic_cast<TComponent*>(item)) overlayRelativeAxis = component->Tag() == 0;
  }
  void V1Click(TObject*) override { calls.push_back("V1Click"); }
  void N5Click(TObject*) override {
    calls.push_back("N5Click");
    sidePanel = !sidePanel;
  }

  const IChartIndicator* PaneIndicator(int pane) const override {
    return pane >= 0 && pane < PaneCount() ? &panes_[static_cast<std::size_t>(pane)] : nullptr;
  }
  double PaneRatio(int pane) const override {
    return pane >= 0 && pane < kMaxPanes ? ratios_[static_cast<std::size_t>(pane)] : 0.0;
  }
  int OverlayCount() const override { return static_cast<int>(overlays_.size()); }
  ChartOverlay OverlayAt(int i) const override {
    return i >= 0 && i < OverlayCount() ? overlays_[static_cast<std::size_t>(i)] : ChartOverlay{};
  }

  int zoomLevel = 16;
  int selectedPane = 0;

 protected:
  void Paint() override {
    std::string names;
    for (int p = 0; p < PaneCount(); ++p) names += (p > 0 ? "," : "") + std::string(panes_[static_cast<std::size_t>(p)].Name());
    stubview::PaintLines(*this, *this,
                         {"K线图", Format("%d", VIEW_KLINE), stubview::InstrumentText(attr.instrument),
                          Format("周期 %u", attr.cycle), names});
  }

 private:
  int PaneCount() const { return static_cast<int>(std::min<std::uint32_t>(attr.paneCount, kMaxPanes)); }

  // The attributes (current block included) come from the source or the defaults; the view
  // data record holds the chart's own state.
  void LoadViewData(const MVCDATA_12& data) {
    if (data.klinePaneCount >= 1 && data.klinePaneCount <= kMaxPanes) {
      attr.paneCount = data.klinePaneCount;
      std::memcpy(attr.paneIndicators, data.paneIndicators, sizeof attr.paneIndicators);
    }
    for (int p = 0; p < PaneCount(); ++p) {
      StubIndicator& pane = panes_[static_cast<std::size_t>(p)];
      pane.Load(attr.paneIndicators[p], data.paneParams[p]);
      pane.LoadRefLines(data.refLines[p]);
    }
    for (int r = 0; r < kMaxRatios; ++r) ratios_[static_cast<std::size_t>(r)] = data.paneRatios[r];
    sidePanel = data.sidePanelShown != 0;
    std::memcpy(attr.detailItems, data.detailItems, sizeof attr.detailItems);
    attr.propertyFlags = data.propertyFlags;
    LoadOverlays(data);
    // The indicators over the main pane count only when no overlaid instrument is stored.
    if (IsEndMarker(data.overlays[0]) && PaneCount() > 0) {
      StubIndicator* previous = &panes_[0];
      for (int k = 0; k < kMaxOverIndicators && data.overIndicators[k][0] != 0; ++k) {
        StubIndicator& over = chained_[static_cast<std::size_t>(k)];
        over.Load(data.overIndicators[k], data.overParams[k]);
        previous->SetNext(&over);
        previous = &over;
      }
    }
  }

  // With the arbitrage byte and a resolvable first instrument, that instrument is the arbitrage
  // partner; otherwise every resolvable instrument up to the end marker is an overlay.
  void LoadOverlays(const MVCDATA_12& data) {
    if (data.arbitrage != 0 && !IsEndMarker(data.overlays[0])) {
      const STKPTR partner = StkPtrFromRecord(&data.overlays[0]);
      if (GetInstrumentRecord(partner) != nullptr) {
        overlays_.push_back(ChartOverlay{partner, 0, data.overlayByte, data.arbitrageParam});
        return;
      }
    }
    for (int k = 0; k < 8 && !IsEndMarker(data.overlays[k]); ++k) {
      const STKPTR instrument = StkPtrFromRecord(&data.overlays[k]);
      if (GetInstrumentRecord(instrument) != nullptr) overlays_.push_back(ChartOverlay{instrument, 1, data.overlayByte, 0});
    }
    overlayRelativeAxis = data.overlayByte != 0;
  }

  void Toggle(TMenuItem* item, const char* call) {
    calls.push_back(call);
    item->SetChecked(!item->Checked());
    Invalidate();
  }

  std::array<StubIndicator, kMaxPanes> panes_;
  std::array<StubIndicator, kMaxOverIndicators> chained_;
  std::array<double, kMaxPanes> ratios_{};
  std::vector<ChartOverlay> overlays_;
};

}  // namespace

TChildView* MakeTechFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                             EArray<VIEW_ATTR_12>* history, PageNode* node) {
  return new TechFormStub(owner, source, data, history, node);
}
