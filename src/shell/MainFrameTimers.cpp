// The main window's two timers: the one-second rules (shell/TimerRules.h) over this window, and
// the ticker's scroll with the list of waiting notices.
#include "core/GuardedAlloc.h"
#include "data/DataAgent.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "platform/Gdi.h"
#include "platform/Message.h"
#include "platform/Profile.h"
#include "platform/WinUser.h"
#include "shell/MainFrame.h"
#include "shell/TimerRules.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/FrameStandIns.h"

#include <cstddef>
#include <cstring>

using zuvo::shell::RefreshIntervals;
using zuvo::shell::TimerState;

namespace {

const char kProgramSettings[] = "..\\CFG\\SETTING.INI";
// The next notice starts this far behind the end of the one before.
constexpr int kTickerGap = 30;
constexpr int kTickerFontHeight = 15;

// The instrument of the periodic broadcasts: market, category and index all 0.
STKPTR ZeroInstrument() { return STKPTR(0, 0, 0); }

bool IsChartKind(ViewKind kind) { return kind == VIEW_TREND || kind == VIEW_KLINE; }

class FrameTimerWindow : public zuvo::shell::ITimerWindow {
 public:
  explicit FrameTimerWindow(TMFrame& frame) : frame_(frame) {}

  void ActivateAfterDisabledWindow() override {
    HWND active = GetActiveWindow();
    if (active == nullptr || IsWindowEnabled(active)) return;
    // A modal window left behind a disabled one would keep the program deaf to the keyboard.
    HWND next = GetWindow(active, GW_HWNDNEXT);
    if (next != nullptr) SetActiveWindow(next);
  }
  void DrawTitleLetters(int highlighted) override { frame_.DrawTitleLetters(highlighted); }
  void ShowServerClock(int minutes) override {
    frame_.ServerClock = minutes;
    if (frame_.StatusBox5 != nullptr) frame_.StatusBox5->Repaint();
  }
  int& ReconnectCountdown() override { return frame_.ReconnectCountdown; }
  void Reconnect() override { frame_.Reconnect(); }
  void AskToReconnect() override {
    if (frame_.HandleAllocated()) PostMessageA(frame_.Handle(), MsgConnectionLost, 1, 0);
  }
  bool QuoteCycling() override { return frame_.QuoteCycling; }
  void BroadcastTimer(int arg) override { frame_.NotifyViews(8, ZeroInstrument(), arg, 0); }
  void RunPendingRecalculations() override {
    ForEachCell([](TMultiViewChild* cell) {
      if (IsChartKind(cell->attr.kind)) cell->ViewNotify(8, ZeroInstrument(), 3, 0);
    });
  }
  void ClearCategoryDay(int market, int category) override {
    TMarketData* table = GetMarketTable(market);
    if (table == nullptr) return;
    table->ClearCategory(category);
    if (market != 0 || category != 0) return;
    for (TMFrame::IndexSlot& slot : frame_.IndexSlots) {
      slot.previousClose = 0;
      slot.last = 0;
      slot.amount = 0;
    }
    if (frame_.StatusBox1 != nullptr) frame_.StatusBox1->Repaint();
  }
  void Resubscribe() override { UpdateSubscription(&frame_, 1); }
  void RepaintQuoteLists() override {
    ForEachCell([](TMultiViewChild* cell) {
      if (cell->attr.kind == VIEW_REPORT) cell->Invalidate();
    });
  }
  void ReloadCategory(int market, int category) override {
    ReloadMarketAgents(market, category);
    ForEachCell([market, category](TMultiViewChild* cell) {
      if (!IsChartKind(cell->attr.kind)) return;
      const STKPTR& instrument = cell->attr.instrument;
      if (instrument.market != market || instrument.category != category) return;
      if (auto* chart = dynamic_cast<TDrawView*>(cell)) chart->RefreshView();
    });
  }
  void AlarmTimer() override {
    if (Alarm != nullptr) Alarm->OnTimer();
  }

 private:
  template <typename Visit>
  void ForEachCell(Visit visit) {
    TMultiViewMain* page = frame_.PageWindow();
    if (page == nullptr) return;
    for (int i = 0; i < page->cells.GetSize(); ++i) {
      if (TMultiViewChild* cell = page->cells[i]) visit(cell);
    }
  }

  TMFrame& frame_;
};

// The width of a notice in the ticker's font, "Arial" 15 px.
int MeasureTickerText(const char* text, int length) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return 0;
  HFONT font = CreateFontA(kTickerFontHeight, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32A(dc, text, length, &size);
  SelectObject(dc, previous);
  DeleteObject(font);
  DeleteDC(dc);
  return size.cx;
}

}  // namespace

namespace zuvo::shell {

TimerState& ProcessTimerState() {
  static TimerState state;
  return state;
}

RefreshIntervals& ProcessRefreshIntervals() {
  static RefreshIntervals intervals;
  return intervals;
}

}  // namespace zuvo::shell

void LoadRefreshIntervals() {
  auto read = [](const char* key, int defaultSeconds) {
    return static_cast<int>(GetPrivateProfileIntA("Parameter", key, defaultSeconds, kProgramSettings));
  };
  zuvo::shell::ProcessRefreshIntervals() =
      zuvo::shell::ValidRefreshIntervals(read("SortTime", RefreshIntervals::kDefaultSortTime),
                                         read("PageTime", RefreshIntervals::kDefaultPageTime),
                                         read("RefreshTime", RefreshIntervals::kDefaultRefreshTime));
}

void TMFrame::Timer1Timer(TObject*) {
  FrameTimerWindow window(*this);
  zuvo::shell::RunTimer1Tick(zuvo::shell::ProcessTimerState(), zuvo::shell::ProcessRefreshIntervals(), window);
}

void TMFrame::Timer2Timer(TObject*) {
  if (TickerHead == nullptr) {
    if (Timer2 != nullptr) Timer2->SetEnabled(false);
    return;
  }
  const int boxWidth = StatusBox6 != nullptr ? StatusBox6->Width() : 0;
  ++TickerOffset;
  if (TickerOffset >= TickerHead->width + boxWidth) {
    TickerOffset = 0;
    if (TickerHead->next != nullptr) {
      TickerNode* gone = TickerHead;
      TickerHead = gone->next;
      GuardedFree(gone);
      TickerOffset = boxWidth - kTickerGap;
    }
  }
  if (StatusBox6 != nullptr) StatusBox6->Repaint();
}

bool TMFrame::AddTickerNotice(const char* text, std::size_t maxBytes) {
  if (text == nullptr) return false;
  const std::size_t length = strnlen(text, maxBytes);
  void* block = GuardedAlloc(static_cast<std::uint32_t>(offsetof(TickerNode, text) + length + 1));
  if (block == nullptr) return false;
  auto* node = static_cast<TickerNode*>(block);
  node->next = nullptr;
  std::memcpy(node->text, text, length);
  node->text[length] = '\0';
  node->width = MeasureTickerText(node->text, static_cast<int>(length));

  // A notice has started once its left edge is inside the box; those after the first one that
  // has not are waiting. The oldest waiting one goes when the queue is full.
  TickerNode** link = &TickerHead;
  int start = 0;   // the notice's left edge behind the first one's
  while (*link != nullptr && start < TickerOffset) {
    start += (*link)->width + kTickerGap;
    link = &(*link)->next;
  }
  int waiting = 0;
  for (TickerNode* n = *link; n != nullptr; n = n->next) ++waiting;
  if (waiting >= kMaxWaitingNotices) {
    TickerNode* dropped = *link;
    *link = dropped->next;
    GuardedFree(dropped);
  }

  TickerNode** tail = &TickerHead;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = node;
  if (Timer2 != nullptr) Timer2->SetEnabled(true);
  return true;
}

void TMFrame::FreeTickerNotices() {
  while (TickerHead != nullptr) {
    TickerNode* next = TickerHead->next;
    GuardedFree(TickerHead);
    TickerHead = next;
  }
  TickerOffset = 0;
}
