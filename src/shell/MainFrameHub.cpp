// The main window as the hub of the program: the network clients, the views, the dialogs, the
// alarm engine and the two outside programs post or send their private messages here, and the
// window procedure turns each into calls on the page's cells, the market tables, the data
// series, the alarm engine and the status bar. Also the quote events, the broadcast of view
// notifications, the forwarding of activation to the active cell and the hint display.
//
// Cells are visited from the last to the first of the page's cell list; without a page window
// the steps that visit cells are skipped. UI thread only.
#include "shell/MainFrame.h"

#include "core/PackedTime.h"
#include "data/BlockGroup.h"
#include "data/DataAgent.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/StkPtr.h"
#include "data/TimeZones.h"
#include "data/UtilData.h"
#include "net/PushRecords.h"
#include "platform/MessageChannel.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "shell/Cell.h"
#include "shell/ChildView.h"
#include "shell/ShellClients.h"
#include "shell/SmallWindows.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/FrameStandIns.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// The bar limit changed (an outside settings program).
constexpr WPARAM kQuoteEventBarLimit = 4099;
constexpr WPARAM kQuoteEventOpenView = 0;
// The login block the messenger receives: the user name at 0, the password at 64.
constexpr int kMessengerBlockBytes = 128;
constexpr int kMessengerPasswordAt = 64;

// The notice time word: only its minute, hour, day and month are ever written (its year stays
// 0), shared by every notice of the process.
PackedTime noticeTime = 0;

// Every cell of the page, last to first, that `visit` is offered; the list may shrink while it
// runs (a view that closes its cell), so the position is checked again each time.
template <typename Visit>
void ForEachCell(TMultiViewMain* page, Visit visit) {
  if (page == nullptr) return;
  for (int i = page->cells.GetSize() - 1; i >= 0; --i) {
    if (i >= page->cells.GetSize()) continue;
    TMultiViewChild* cell = page->cells[i];
    if (cell != nullptr) visit(cell);
  }
}

bool IsChart(const TMultiViewChild* cell) {
  return cell->attr.kind == VIEW_TREND || cell->attr.kind == VIEW_KLINE;
}

// The cell shows the instrument of the reference (market and index).
bool Matches(const TMultiViewChild* cell, STKPTR reference) {
  return cell->attr.instrument.market == reference.market && cell->attr.instrument.index == reference.index;
}

STKPTR ReferenceOf(LPARAM value) { return StkPtrFromWord(static_cast<std::uint32_t>(value)); }

// The quote of the reference's instrument, null when its market or record is missing.
const QuoteRecord* QuoteOf(STKPTR instrument) {
  TMarketData* table = GetMarketTable(instrument.market);
  if (table == nullptr || table->quotes == nullptr || instrument.index >= table->count) return nullptr;
  return &table->quotes[instrument.index];
}

// The file part of a path (after the last '\' or '/').
std::string_view FileNamePart(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The private messages other programs may send the main window: the settings tool's options
// and bar limit, the messenger's hello, the trading program's order window. Every other private
// message carries, or may carry, an address in this process.
bool FromOutsideProgram(const TMessage& message) {
  switch (message.Msg) {
    case MsgQuoteEvent: return message.WParam == kQuoteEventBarLimit;
    case MsgOptionsChanged:
    case MsgMessengerHello:
    case MsgTradeWindowOpened:
    case MsgTradeWindowClosed: return true;
    default: return message.Msg < kWmUser || message.Msg >= 0xC000;
  }
}

}  // namespace

// ---- Window procedure --------------------------------------------------------------------------

void TMFrame::WndProc(TMessage& message) {
  // Another program (over the message channel) reaches only what outside programs send: its
  // numbers could otherwise pass as addresses of records in this process.
  if (zuvo::platform::CurrentMessageSenderProcessId() != 0 && !FromOutsideProgram(message)) {
    TMFrameForm::WndProc(message);
    return;
  }
  switch (message.Msg) {
    case WM_GETMINMAXINFO: HubGetMinMaxInfo(message); return;
    case MsgQuoteEvent: QuoteEvent(message); return;
    case MsgReattachIndicator:
    case MsgIndicatorParamsChanged: HubRelayToKLines(message); return;
    case MsgOptionsChanged: HubOptionsChanged(message.LParam); return;
    case MsgRequestSystemMessage:
      if (ShellClients().HasRequestClient()) ShellClients().RequestSystemMessage();
      return;
    case MsgConnectionLost: HubConnectionLost(message.WParam, message.LParam); return;
    case MsgAlarmTriggered: HubAlarmTriggered(); return;
    case MsgShowMessenger: HubShowMessenger(); return;
    case MsgServerText: HubServerText(); return;
    case MsgOnlineNotice: HubOnlineNotice(message.LParam); return;
    case MsgLinkInstrument: HubLinkInstrument(message.LParam); return;
    case MsgMessengerHello: HubMessengerHello(message.WParam, message.LParam); return;
    case MsgServerData: HubServerData(message.WParam, message.LParam); return;
    case MsgResubscribe: UpdateSubscription(this, 1); return;
    case MsgBlockDeleted: HubBlockDeleted(message.WParam); return;
    case MsgRefreshKLineViews:
      ForEachCell(PageWindow(), [](TMultiViewChild* cell) {
        if (auto* kline = dynamic_cast<TTechForm*>(cell)) kline->RefreshBars();
      });
      return;
    // These three go on to the default processing after their handling.
    case MsgQuickDeal: HubQuickDeal(message.WParam, message.LParam); break;
    case MsgTradeWindowOpened: TradeOrderWindow = reinterpret_cast<HWND>(message.WParam); break;
    case MsgTradeWindowClosed: TradeOrderWindow = nullptr; break;
    default: break;
  }
  TMFrameForm::WndProc(message);
  if (message.Msg == WM_SYSCOMMAND && (message.WParam & 0xFFF0) == SC_RESTORE) RestoredOnce = true;
}

void TMFrame::Dispatch(TMessage& message) {
  if (message.Msg == WM_ACTIVATE || message.Msg == WM_NCMOUSEMOVE) {
    HubForwardActivation(message);
    return;
  }
  TMFrameForm::Dispatch(message);
}

void TMFrame::HubGetMinMaxInfo(TMessage& message) {
  message.Result = 0;
  auto* info = reinterpret_cast<MINMAXINFO*>(message.LParam);
  RECT area{};
  if (info == nullptr || !SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return;
  info->ptMaxSize = POINT{area.right - area.left, area.bottom - area.top};
  info->ptMaxPosition = POINT{area.left, area.top};
  // Until the user has once restored the window through the window menu it may not be made
  // smaller than 640 x 480. The sizes are the whole window's; the platform's window rectangle
  // leaves out the frame the form adds.
  const POINT minimum = RestoredOnce ? POINT{250, 275} : POINT{640, 480};
  info->ptMinTrackSize = POINT{std::max(0, minimum.x - FrameWidth()), std::max(0, minimum.y - FrameHeight())};
}

void TMFrame::HubForwardActivation(TMessage& message) {
  TMultiViewChild* cell = ActiveView();
  if (message.Msg == WM_NCMOUSEMOVE) {
    // A chart in the active cell takes away its mouse-following display.
    if (cell != nullptr && cell->HandleAllocated()) PostMessageA(cell->Handle(), WM_NCMOUSEMOVE, 0, 0);
    return;
  }
  const bool deactivated = LOWORD(static_cast<DWORD>(message.WParam)) == WA_INACTIVE;
  if (cell != nullptr && cell->HandleAllocated())
    PostMessageA(cell->Handle(), deactivated ? CM_DEACTIVATE : CM_ACTIVATE, 0, 0);
  if (deactivated) {
    Deactivate();
  } else {
    DoActivate();
  }
  message.Result = 1;
}

void TMFrame::HubRelayToKLines(TMessage& message) {
  ForEachCell(PageWindow(), [&](TMultiViewChild* cell) {
    if (cell->attr.kind == VIEW_KLINE && cell->HandleAllocated())
      SendMessageA(cell->Handle(), message.Msg, message.WParam, message.LParam);
  });
}

void TMFrame::HubOptionsChanged(LPARAM what) {
  TMultiViewMain* page = PageWindow();
  if (what == 0 || what == 1) {
    LoadThemeColors(LastTheme);
    LoadThemeFonts(LastTheme);
    RebuildSharedViewFonts();
    ForEachCell(page, [](TMultiViewChild* cell) { cell->ViewApplyColors(); });
    // The information-link dialog applies the colours once its unit has made it.
    if (StatusBox6 != nullptr) {
      StatusBox6->Font()->SetColor(ColorTable[52]);
      StatusBox6->Invalidate();
    }
    if (StatusBox2 != nullptr) StatusBox2->Invalidate();
    if (page != nullptr) page->Invalidate();
    ApplyQuoteStripColors();
    RebuildQuoteStrip();
    UpdateSubscription(this, 1);
    if (Panel1 != nullptr) Panel1->Invalidate();
    return;
  }
  if (what == 3) {
    const std::string file = UserFilePath("SETTING.INI");
    const int level = static_cast<int>(GetPrivateProfileIntA("PARAMETER", "ZoomLevel", 16, file.c_str()));
    ForEachCell(page, [level](TMultiViewChild* cell) {
      if (auto* kline = dynamic_cast<TTechForm*>(cell)) kline->SetZoomLevel(level);
    });
    return;
  }
  ForEachCell(page, [](TMultiViewChild* cell) {
    if (cell->attr.kind == VIEW_KLINE) cell->ViewApplyColors();
  });
}

void TMFrame::HubConnectionLost(WPARAM ask, LPARAM which) {
  IShellClients& clients = ShellClients();
  if (ask == 1) {
    HWND owner = HandleAllocated() ? Handle() : nullptr;
    if (MessageBoxA(owner, "网络故障，与服务器的连接已断开。是否重新连接？  ", "错误",
                    MB_YESNO | MB_ICONERROR | MB_TOPMOST) == IDYES)
      C1Click(nullptr);
    return;
  }
  if (ask != 0) return;
  // Only a client whose socket has really closed goes; a late notice of an old connection
  // leaves the new one alone.
  if (which == 0 && clients.HasRequestClient() && clients.RequestSocket() == INVALID_SOCKET) {
    clients.DestroyRequestClient();
  } else if (which == 1 && clients.HasPushClient() && clients.PushSocket() == INVALID_SOCKET) {
    clients.DestroyPushClient();
  }
}

void TMFrame::HubAlarmTriggered() {
  if (AlarmWin != nullptr) {
    AlarmWin->FillTriggeredGrid();
  } else {
    AlarmWin = new TAlarmWin(nullptr);
  }
  AlarmWin->Show();
  if (Alartfm != nullptr) Alartfm->FillAlarmGrid();
}

void TMFrame::HubShowMessenger() {
  HWND window = MessengerWindow;
  if (window == nullptr || !IsWindow(window)) return;
  if (!IsWindowVisible(window)) {
    ShowWindow(window, SW_SHOW);
  } else if (IsIconic(window)) {
    ShowWindow(window, SW_RESTORE);
  } else {
    SetForegroundWindow(window);
  }
}

void TMFrame::HubServerText() {
  IShellClients& clients = ShellClients();
  if (!clients.HasRequestClient()) return;
  const std::string text = clients.RequestServerText();
  MessageBoxA(HandleAllocated() ? Handle() : nullptr, text.c_str(), "提示", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

void TMFrame::HubOnlineNotice(LPARAM value) {
  const auto* record = reinterpret_cast<const NewsRecord*>(value);
  if (record == nullptr) return;
  // The title need not be terminated within its record.
  const std::string text(record->title, strnlen(record->title, sizeof record->title));
  AddTickerNotice(record->title, sizeof record->title);

  const std::uint32_t newsType = record->categoryAndRead >> 1;
  const std::uint32_t date = record->stamp & 0xFFFFF;
  const std::uint32_t time = record->stamp >> 20;
  ForEachCell(PageWindow(), [&](TMultiViewChild* cell) {
    auto* news = dynamic_cast<TMsgForm*>(cell);
    if (news == nullptr || (news->newsType != 0 && news->newsType != newsType)) return;
    noticeTime = MakePackedTime(PackedYear(noticeTime), static_cast<int>(date % 10000 / 100),
                                static_cast<int>(date % 100), static_cast<int>(time / 100),
                                static_cast<int>(time % 100));
    PackedTime shown = noticeTime;
    ShiftTimeToZone(0, 0, &shown);
    char line[160];
    std::snprintf(line, sizeof line, "  %2d/%02d %2d:%02d %s", PackedMonth(shown), PackedDay(shown),
                  PackedHour(shown), PackedMinute(shown), text.c_str());
    news->InsertNewsLine(line, record->id);
  });
}

void TMFrame::HubLinkInstrument(LPARAM value) {
  TMultiViewMain* page = PageWindow();
  if (page == nullptr) return;
  // Only a cell of this page is followed (the sender's view may have gone meanwhile).
  TMultiViewChild* source = page->KnownCell(reinterpret_cast<const void*>(value));
  if (source == nullptr || !source->linkFlag) return;
  const STKPTR instrument = source->attr.instrument;
  const int block = static_cast<int>(source->attr.currentBlock);
  ForEachCell(page, [&](TMultiViewChild* cell) {
    if (cell != source && cell->linkFlag && IsChart(cell)) cell->ViewNotify(VN_SHOWINSTRUMENT, instrument, block, 0);
  });
}

void TMFrame::HubMessengerHello(WPARAM what, LPARAM value) {
  if (what != 0) return;
  HWND window = reinterpret_cast<HWND>(value);
  if (window == nullptr || !IsWindow(window)) return;
  // The login name and password go only to the messenger this program started: the window must
  // belong to that process, and the hello must come from it (or from this program, which says
  // hello again for it after a reconnect). Any other sender gets nothing.
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  const DWORD sender = zuvo::platform::CurrentMessageSenderProcessId();
  if (MessengerProcessId == 0 || owner != MessengerProcessId || (sender != 0 && sender != MessengerProcessId)) return;
  MessengerWindow = window;

  // The main window takes the focus back from the messenger's window.
  if (HandleAllocated()) SetForegroundWindow(Handle());

  std::uint8_t block[kMessengerBlockBytes] = {};
  if (GetConnectionState() != 0) {
    std::memcpy(block, UserName, sizeof UserName);
    std::memcpy(block + kMessengerPasswordAt, Password, sizeof Password);
  }
  COPYDATASTRUCT data{0, kMessengerBlockBytes, block};
  SendMessageA(window, WM_COPYDATA, reinterpret_cast<WPARAM>(HandleAllocated() ? Handle() : nullptr),
               reinterpret_cast<LPARAM>(&data));
  std::memset(block, 0, sizeof block);
}

void TMFrame::HubQuickDeal(WPARAM button, LPARAM lots) {
  if (button > 5) return;
  // Nothing to price without an active cell showing an instrument with a quote.
  TMultiViewChild* cell = ActiveView();
  if (cell == nullptr) return;
  const STKPTR instrument = cell->attr.instrument;
  const InstrumentRecord* record = GetInstrumentRecord(instrument);
  const QuoteRecord* quote = QuoteOf(instrument);
  if (record == nullptr || quote == nullptr) return;
  const double divisor = record->priceDivisor != 0 ? static_cast<double>(record->priceDivisor) : 1.0;
  const int direction = static_cast<int>(button % 2);
  const std::uint32_t price = direction == 0 ? quote->asks[0].price : quote->bids[0].price;
  static constexpr int kKinds[3] = {0, 2, 1};
  SendSmartOrder(instrument, direction, kKinds[button / 2], static_cast<int>(lots), price / divisor, 1);
}

void TMFrame::HubServerData(WPARAM codes, LPARAM value) {
  const int code = static_cast<int>((codes >> 16) & 0xFFFF);
  const int subCode = static_cast<int>(codes & 0xFFFF);
  TMultiViewMain* page = PageWindow();
  const STKPTR reference = ReferenceOf(value);
  switch (code) {
    case 6: HubNameTableReplaced(value); break;
    case 9:
      ForEachCell(page, [](TMultiViewChild* cell) {
        if (cell->attr.kind == VIEW_REPORT) {
          cell->Repaint();
        } else if (IsChart(cell)) {
          cell->ViewNotify(VN_LISTDATA, cell->attr.instrument, 0, 0);
        }
      });
      break;
    case 10: NotifyAgentsDataArrived(reference, 3, 0, subCode); break;
    case 11: NotifyAgentsDataArrived(reference, 2, 0, subCode); break;
    case 20: NotifyAgentsDataArrived(reference, 1, 0, subCode); break;
    case 12: {
      int kind = 7;
      std::uint32_t period = 1;
      switch (subCode & 0xFF) {
        case 1: kind = 6; period = 1; break;
        case 4: kind = 6; period = 5; break;
        case 7: kind = 6; period = 60; break;
        default: break;
      }
      NotifyAgentsDataArrived(reference, kind, period, (subCode >> 8) & 0xFF);
      break;
    }
    case 15:
      if (page == nullptr || page->cells.GetSize() == 0) break;
      if (subCode == 0) {
        ForEachCell(page, [](TMultiViewChild* cell) {
          if (auto* news = dynamic_cast<TMsgForm*>(cell)) news->RefreshNewsList();
        });
      } else if (subCode == 2) {
        char name[32];
        std::snprintf(name, sizeof name, "%08u.txt", static_cast<unsigned>(value));
        ForEachCell(page, [&](TMultiViewChild* cell) {
          auto* news = dynamic_cast<TMsgForm*>(cell);
          if (news != nullptr && news->textPaneVisible &&
              zuvo::platform::gbk::EqualsNoCase(FileNamePart(news->textFileName), name))
            news->ShowNewsText();
        });
      }
      break;
    case 16:
      if (subCode != 0) break;
      ForEachCell(page, [&](TMultiViewChild* cell) {
        auto* note = dynamic_cast<TZQNote*>(cell);
        if (note != nullptr && note->category == static_cast<std::int32_t>(value)) note->LoadNoteList(note->category);
      });
      break;
    case 18:
      ForEachCell(page, [&](TMultiViewChild* cell) {
        if (cell->attr.kind == VIEW_KLINE) cell->ViewNotify(VN_WEIGHTS, reference, 0, 0);
      });
      break;
    case 21:
      ForEachCell(page, [&](TMultiViewChild* cell) {
        auto* text = dynamic_cast<TTextForm*>(cell);
        if (text != nullptr && Matches(cell, reference)) text->ShowSection(1);
      });
      break;
    case 31: {
      // Sent: the parameter points to the instrument word and the day, valid during the call.
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(value);
      if (bytes == nullptr) break;
      std::uint32_t word = 0;
      std::uint32_t day = 0;
      std::memcpy(&word, bytes, 4);
      std::memcpy(&day, bytes + 4, 4);
      const STKPTR instrument = StkPtrFromWord(word);
      ForEachCell(page, [&](TMultiViewChild* cell) {
        if (cell->attr.kind == VIEW_TREND) cell->ViewNotify(VN_TICKS, instrument, static_cast<int>(day), 0);
      });
      break;
    }
    case 33:
      ForEachCell(page, [&](TMultiViewChild* cell) {
        if (cell->attr.kind == VIEW_KLINE) cell->ViewNotify(VN_ADVICE, reference, 0, 0);
      });
      break;
    case 40: {
      // The information-link dialog reloads its list once its unit has made it.
      const ViewKind kind = subCode == 1 ? VIEW_F10 : subCode == 2 ? VIEW_KLINE : VIEW_TREND;
      ForEachCell(page, [&](TMultiViewChild* cell) {
        if (cell->attr.kind == kind && Matches(cell, reference)) cell->ViewNotify(VN_INFOLINKS, reference, 0, 0);
      });
      break;
    }
    case 41:
      // Other sub-codes refresh the information-link dialog's text once its unit has made it.
      if (subCode != 1) break;
      ForEachCell(page, [&](TMultiViewChild* cell) {
        if (cell->attr.kind == VIEW_F10 && Matches(cell, reference)) cell->ViewNotify(VN_INFOLINKS, reference, 1, 0);
      });
      break;
    case 102:
      ForEachCell(page, [&](TMultiViewChild* cell) {
        auto* chart = dynamic_cast<TDrawView*>(cell);
        if (chart != nullptr && Matches(cell, reference)) chart->RepaintSideTradeGrid();
      });
      break;
    case 203: N52Click(nullptr); break;
    case 204: ShowOnlineNoticeWindow(); break;
    default: break;
  }
}

void TMFrame::HubNameTableReplaced(LPARAM market) {
  if (market != 1) return;
  const std::string settings = UserFilePath("SETTING.INI");
  const bool stripShown = Panel1 != nullptr && Panel1->Visible();
  if (stripShown) {
    const BlockRecord* block = QuoteBlockId >= 0 ? FindBlockById(static_cast<std::uint16_t>(QuoteBlockId)) : nullptr;
    WritePrivateProfileStringA("Parameter", "QuoteBlock", block != nullptr ? block->name : "", settings.c_str());
  }
  if (Alarm != nullptr) Alarm->SaveFiles();
  for (int m = 0; m < 2; ++m) {
    TMarketData* table = GetMarketTable(m);
    if (table == nullptr) continue;
    for (int c = 0; c < table->record.categoryCount; ++c) {
      table->ClearCategoryQuotes(c);
      table->ClearCategoryExtras(c);
    }
  }
  RebuildBlocks();
  // The instrument chooser refills its groups once its unit has made it.
  LookUpIndexSlots();
  ReloadMarketAgents(255, 255);
  const STKPTR none(0, 0, 0);
  ForEachCell(PageWindow(), [&](TMultiViewChild* cell) {
    if (cell->attr.kind == VIEW_REPORT) {
      cell->ViewNotify(VN_BLOCKCHANGED, none, static_cast<int>(cell->attr.currentBlock), 0);
    } else if (auto* chart = dynamic_cast<TDrawView*>(cell); chart != nullptr && cell->attr.instrument.market == 1) {
      chart->RefreshView();
    }
  });
  if (stripShown) {
    char name[64] = {};
    GetPrivateProfileStringA("Parameter", "QuoteBlock", "", name, sizeof name, settings.c_str());
    const BlockRecord* block = FindBlockByName(name);
    QuoteBlockId = block != nullptr ? block->id : -1;
    RebuildQuoteStrip();
    Panel1->Invalidate();
  }
  if (Alarm != nullptr) Alarm->LoadFiles();
  UpdateSubscription(this, 0);
}

void TMFrame::HubBlockDeleted(WPARAM value) {
  const int block = static_cast<int>(value & 0xFFFF);
  if (Panel1 != nullptr && Panel1->Visible() && QuoteBlockId == block) {
    QuoteBlockId = -1;
    RebuildQuoteStrip();
    UpdateSubscription(this, 1);
    Panel1->Invalidate();
  }
  ForEachCell(PageWindow(), [block](TMultiViewChild* cell) {
    if (auto* report = dynamic_cast<TReport*>(cell)) report->RemoveBlockTab(block);
  });
}

// ---- Quote events ------------------------------------------------------------------------------

void TMFrame::QuoteEvent(TMessage& message) {
  TMultiViewMain* page = PageWindow();
  switch (message.WParam) {
    case kQuoteEventBarLimit:
      LoadMaxDataRecords();
      ForEachCell(page, [](TMultiViewChild* cell) { cell->Repaint(); });
      NotifyViews(VN_TIMER, STKPTR(0, 0, 0), 2, 0);
      return;
    case kQuoteEventOpenView: {
      const auto* attr = reinterpret_cast<const VIEW_ATTR_12*>(message.LParam);
      if (page == nullptr || attr == nullptr) return;
      if (page->ShowInLinkedViews(attr, page->zoomedCell != nullptr)) return;
      TMultiViewChild* active = page->activeCell;
      if (active == nullptr || active->node == nullptr) return;
      TMultiViewChild* view = page->ChangeCellView(active->node, attr, 1);
      // The trend view opens in the mode 闪电图优先 asks for.
      if (auto* trend = dynamic_cast<TRendForm*>(view)) {
        const bool flashFirst = T1 != nullptr && T1->Checked();
        if (flashFirst != IsFlashChart(*trend)) trend->N16Click(nullptr);
      }
      return;
    }
    case kQuoteEventClock: {
      const int clock = static_cast<int>(message.LParam);
      ServerClock = clock;
      if (StatusBox5 != nullptr) StatusBox5->Invalidate();
      auto hourUtc8 = [](int minutes) { return ((minutes / 60 + 8) % 24 + 24) % 24; };
      if (hourUtc8(PreviousServerClock) == 23 && hourUtc8(clock) == 0) {
        // A new day in China: every alarm may fire again.
        if (Alarm != nullptr) {
          for (int i = 0; i < Alarm->alarms.GetSize(); ++i) {
            AlarmData& alarm = Alarm->alarms[i];
            alarm.reasons = 0;
            std::memset(alarm.triggerTime, 0, sizeof alarm.triggerTime);
          }
        }
        UpdateSubscription(this, 1);
      }
      PreviousServerClock = clock;
      return;
    }
    case kQuoteEventUpdate: {
      const auto* slot = reinterpret_cast<const _zvapp_pkg_*>(message.LParam);
      if (slot == nullptr) return;
      const STKPTR instrument(slot->instrument);
      const std::uint32_t flags = slot->flags;
      NotifyViews(VN_QUOTE, instrument, 0, static_cast<std::intptr_t>(flags));
      const QuoteRecord* quote = QuoteOf(instrument);
      if (O1 != nullptr && O1->Checked() && Alarm != nullptr && quote != nullptr) Alarm->CheckQuote(instrument, quote);
      UpdateAgentsFromQuote(instrument, quote, flags);
      if (quote != nullptr && instrument.market < 2) {
        IndexSlot& slotOfIndex = IndexSlots[instrument.market];
        if (slotOfIndex.index >= 0 && slotOfIndex.index == instrument.index) {
          slotOfIndex.previousClose = quote->prevClose;
          slotOfIndex.last = quote->last;
          slotOfIndex.amount = quote->amount;
          if (StatusBox1 != nullptr) StatusBox1->Invalidate();
        }
      }
      if (Panel1 != nullptr && Panel1->Visible()) UpdateQuoteCell(instrument);
      return;
    }
    default: return;
  }
}

void TMFrame::NotifyViews(int code, STKPTR instrument, int arg, std::intptr_t extra) {
  if (code == VN_BLOCKCHANGED && Panel1 != nullptr && Panel1->Visible() && QuoteBlockId == arg) {
    RebuildQuoteStrip();
    UpdateSubscription(this, 1);
    Panel1->Invalidate();
  }
  ForEachCell(PageWindow(), [&](TMultiViewChild* cell) {
    if (cell->initialised && cell->attr.kind != VIEW_NONE) cell->ViewNotify(code, STKPTR(instrument), arg, extra);
  });
}

// ---- Hint --------------------------------------------------------------------------------------

void TMFrame::AppHint(TObject*) {
  if (!HandleAllocated() || Application == nullptr) return;
  HWND self = Handle();
  if (ToolTip == nullptr) ToolTip = new EToolTip(self);

  POINT point{};
  GetCursorPos(&point);
  point.y += 21;

  const std::string& hint = Application->Hint();
  char text[64] = {};
  const std::size_t length = zuvo::platform::gbk::CutLength(hint, sizeof text - 1);
  std::memcpy(text, hint.data(), length);
  const SIZE size = ToolTip->SetText(text);

  RECT frame{};
  GetWindowRect(self, &frame);
  if (point.y + size.cy > frame.bottom) point.y = std::max<LONG>(0, point.y - size.cy - 22);
  if (point.x + size.cx > frame.right) point.x = std::max<LONG>(0, frame.right - size.cx);
  ::ScreenToClient(self, &point);
  ToolTip->ShowAt(point, text, self);
}
