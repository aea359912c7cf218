// Stand-in quote list: the rows of the shown block, its tabs, the local sorts, and the rest of
// the quote list's surface recorded.
#include "data/BlockGroup.h"
#include "data/MarketData.h"
#include "shell/PageWindow.h"
#include "shell/ShellHost.h"
#include "shell/ViewHelpers.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubCommon.h"
#include "shell/stubs/StubViews.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using stubview::Format;

constexpr int kRowHeight = 18;
constexpr int kFastChangeColumn = 21;

std::string BlockName(std::uint16_t id) {
  const BlockRecord* block = FindBlockById(id);
  return block != nullptr ? std::string(block->name) : Format("%u", static_cast<unsigned>(id));
}

class ReportStub final : public TReport, public StubRecorder {
 public:
  ReportStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
             EArray<VIEW_ATTR_12>* history, PageNode* node)
      : TReport(owner, source, data, history, node) {
    stubview::InitAttributes(*this, VIEW_REPORT, source);
    textStep = std::clamp(attr.fontStep, 0, 10);
    N1 = new TMenuItem(this);
    N1->SetCaption("添加板块");
    N3 = new TMenuItem(this);
    N3->SetCaption("关闭板块");
    LoadRows();
  }
  const char* ClassName() const override { return "TReport"; }

  int ViewNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) override {
    notifications.push_back({code, instrument, arg, extra});
    switch (code) {
      case VN_QUOTE:
        for (std::size_t i = 0; i < rows_.size(); ++i) {
          if (rows_[i].Instrument() != instrument) continue;
          if (extra != 0) rows_[i].changeFlags = static_cast<std::uint32_t>(extra);
          calls.push_back(Format("RepaintRow %d", static_cast<int>(i)));
          Invalidate();
        }
        break;
      case VN_SHOWINSTRUMENT: ShowBlock(static_cast<std::uint16_t>(arg), extra); break;
      case VN_TIMER:
        if (arg == 0) {
          calls.push_back("PageStep");
        } else if ((arg == 1 || arg == 2) && !AnotherCellZoomed()) {
          calls.push_back(arg == 1 ? "SortRefresh" : "FastChangeRefresh");
        }
        break;
      case VN_BLOCKCHANGED:
        if (TabIndex(static_cast<std::uint16_t>(arg)) >= 0) {
          calls.push_back(Format("BlockChanged %d", arg));
          if (static_cast<std::uint32_t>(arg) == attr.currentBlock) LoadRows();
          Invalidate();
        }
        break;
      case VN_FONTSTEP:
        stubview::StepFont(textStep, arg);
        attr.fontStep = textStep;
        Invalidate();
        break;
      default: break;
    }
    return 0;
  }

  void ViewCollectInstruments(EArray<STKMS>& instruments) override {
    if (AnotherCellZoomed()) return;
    ForVisibleRows([&](const ReportRow& row) { stubview::CollectInstrument(instruments, row.Instrument()); });
  }

  void N1Click(TObject*) override { calls.push_back("N1Click"); }
  void N3Click(TObject*) override { calls.push_back("N3Click"); }
  void N10Click(TObject*) override { calls.push_back("N10Click"); }

  void AddSelectedToBlock(int blockId) override {
    calls.push_back(Format("AddSelectedToBlock %d", blockId));
    const int row = CurrentRow() - 1;
    if (row < 0 || row >= RowCount()) return;
    if (AddMemberAndSave(static_cast<std::uint16_t>(blockId), rows_[static_cast<std::size_t>(row)].Instrument()) != 1)
      return;
    if (IShellHost* host = ShellHost()) host->NotifyViews(VN_BLOCKCHANGED, STKPTR(0, 0, 0), blockId, 0);
  }

  void RemoveBlockTab(int blockId) override {
    calls.push_back(Format("RemoveBlockTab %d", blockId));
    const int tab = TabIndex(static_cast<std::uint16_t>(blockId));
    if (tab < 0) return;
    const bool shown = attr.currentBlock == static_cast<std::uint32_t>(blockId);
    if (attr.blockTabCount == 1) {
      const BlockRecord* first = FindFirstSysBlock();
      attr.blockTabs[0] = first != nullptr ? first->id : 0;
      attr.currentBlock = attr.blockTabs[0];
      LoadRows();
      return;
    }
    std::memmove(&attr.blockTabs[tab], &attr.blockTabs[tab + 1],
                 (attr.blockTabCount - static_cast<std::uint32_t>(tab) - 1) * sizeof attr.blockTabs[0]);
    --attr.blockTabCount;
    if (shown) {
      attr.currentBlock = attr.blockTabs[tab > 0 ? tab - 1 : 0];
      LoadRows();
    }
  }

  void RedrawFastChangeColumn() override {
    if (ShowsColumn(kFastChangeColumn)) calls.push_back("RedrawFastChangeColumn");
  }

  void CollectSnapshotRequests(EArray<STKMS>& snapshot) override {
    if (AnotherCellZoomed()) return;
    if (ShowsColumn(kFastChangeColumn)) calls.push_back("FastChangeSort");
    ForVisibleRows([&](const ReportRow& row) { stubview::CollectInstrument(snapshot, row.Instrument()); });
  }

  void SortReport() override {
    // Position and code are sorted here; every other column is the server's.
    if (attr.sortColumn == 0) {
      CocktailSortByKey(this, rows_.data(), RowCount(), 1);
    } else if (attr.sortColumn == 1) {
      CocktailSortByInstrument(this, rows_.data(), RowCount(), 1);
    } else {
      calls.push_back(Format("ServerSort %u %u", attr.sortColumn, requestSerial));
      return;
    }
    calls.push_back(Format("LocalSort %u", attr.sortColumn));
    Invalidate();
  }

  int CurrentRow() const override { return currentRow_; }
  void SetCurrentRow(int row) override { currentRow_ = std::clamp(row, RowCount() > 0 ? 1 : 0, RowCount()); }
  int TopRow() const override { return topRow_; }
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  STKPTR RowInstrument(int row) const override {
    if (row < 0 || row >= RowCount()) return STKPTR();
    return rows_[static_cast<std::size_t>(row)].Instrument();
  }
  int TabCount() const override { return static_cast<int>(std::min<std::uint32_t>(attr.blockTabCount, kMaxBlockTabs)); }
  std::string TabText(int tab) const override {
    if (tab < 0 || tab >= TabCount()) return {};
    return BlockName(attr.blockTabs[tab]);
  }

 protected:
  void Paint() override {
    std::vector<std::string> lines{"报价画面", Format("%d", VIEW_REPORT), stubview::InstrumentText(attr.instrument)};
    std::string tabs;
    for (int t = 0; t < TabCount(); ++t) {
      const bool current = attr.blockTabs[t] == attr.currentBlock;
      tabs += (t > 0 ? " " : "") + (current ? "[" + TabText(t) + "]" : TabText(t));
    }
    lines.push_back(tabs);
    ForVisibleRows([&](const ReportRow& row) {
      const InstrumentRecord* record = GetInstrumentRecord(row.Instrument());
      double last = 0, change = 0;
      const std::string lastText = GetQuoteField(row.Instrument(), 6, last) ? Format("%.2f", last) : "-";
      const std::string changeText = GetQuoteField(row.Instrument(), 11, change) ? Format("%.2f", change) : "-";
      lines.push_back(Format("%s %s 最新 %s 幅度%% %s", record ? record->code : "－", record ? record->name : "",
                             lastText.c_str(), changeText.c_str()));
    });
    stubview::PaintLines(*this, *this, lines);
  }

 private:
  void LoadRows() {
    rows_.clear();
    const BlockRecord* block = FindBlockById(static_cast<std::uint16_t>(attr.currentBlock));
    if (block != nullptr && block->used && block->members != nullptr) {
      for (int i = 0; i < block->memberCount && i < kMaxBlockMembers; ++i) {
        ReportRow row;
        std::memcpy(&row, &block->members[i], sizeof row);
        rows_.push_back(row);
      }
    }
    currentRow_ = rows_.empty() ? 0 : 1;
    topRow_ = attr.topRowOrN >= 1 && attr.topRowOrN <= RowCount() ? attr.topRowOrN : 1;
  }

  void ShowBlock(std::uint16_t blockId, std::intptr_t sortColumn) {
    if (TabIndex(blockId) < 0) {
      if (attr.blockTabCount >= kMaxBlockTabs) {
        calls.push_back("TabLimit");
        return;
      }
      attr.blockTabs[attr.blockTabCount++] = blockId;
    }
    attr.currentBlock = blockId;
    attr.sortColumn = static_cast<std::uint32_t>(sortColumn);
    LoadRows();
    calls.push_back(Format("ShowBlock %u", static_cast<unsigned>(blockId)));
    Invalidate();
  }

  int TabIndex(std::uint16_t blockId) const {
    for (int t = 0; t < TabCount(); ++t)
      if (attr.blockTabs[t] == blockId) return t;
    return -1;
  }

  bool ShowsColumn(int id) const {
    for (std::uint32_t c = 0; c < attr.columnCount && c < kMaxColumns; ++c)
      if (attr.columnIds[c] == id) return true;
    return false;
  }

  bool AnotherCellZoomed() const {
    return page != nullptr && page->zoomedCell != nullptr && page->zoomedCell != this;
  }

  // The rows from the top row down as far as the cell's height shows them (the header row
  // takes the first line).
  template <typename Visit>
  void ForVisibleRows(Visit visit) const {
    const int visible = std::max(1, ClientHeight() / kRowHeight - 1);
    for (int r = std::max(topRow_, 1) - 1, n = 0; r < RowCount() && n < visible; ++r, ++n)
      visit(rows_[static_cast<std::size_t>(r)]);
  }

  std::vector<ReportRow> rows_;
  int currentRow_ = 0;
  int topRow_ = 1;
};

}  // namespace

TChildView* MakeReportStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                           EArray<VIEW_ATTR_12>* history, PageNode* node) {
  return new ReportStub(owner, source, data, history, node);
}
