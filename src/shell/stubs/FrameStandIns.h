// Stand-ins for what the main window creates and destroys before their own units land: the
// alarm engine with its two windows and the triggered-order dialog, the quote lists' column
// schemes (SaveTableDefs), the indicator manager and the formula engine's buffer pools. Each
// keeps the name and the life of the real one and does nothing else; each notes its calls in a
// log that tests read to see the order of start-up and shut-down.
#pragma once

#include "core/EArray.h"
#include "data/Records.h"
#include "platform/Form.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The calls noted so far ("TAlarm", "~TAlarm", "SaveTableDefs", ...), oldest first.
std::vector<std::string> FrameStandInLog();
void ClearFrameStandInLog();

// ---- Alarm engine -------------------------------------------------------------------------------
// One price alarm. `reasons` is 0 while the alarm is armed; the reason bits once it fired.
struct AlarmData {
  STKPTR stk;
  std::uint32_t reasons = 0;
  float priceUpper = 0;
  float priceLower = 0;
  float tradeVolUpper = 0;
  float volumeUpper = 0;
  float amountUpper = 0;
  char soundPath[260] = {};
  std::uint16_t triggerTime[8] = {};   // local time it fired (SYSTEMTIME words); zero while armed
};
static_assert(sizeof(AlarmData) == 304);

// One conditional order (72 bytes, also its file layout). Kinds 2 (spread) and 3 (ratio) have a
// second instrument; `state` is 0 while the order waits for its trigger.
struct DealData {
  std::int16_t kind = 1;
  STKPTR stk1;
  std::int16_t direction1 = 0;
  std::int16_t openClose1 = 0;
  std::int16_t reserved1 = 0;
  std::uint16_t lots1 = 0;
  STKPTR stk2;
  std::int16_t padding1 = 0;
  union {
    struct {
      std::int16_t direction2;
      std::int16_t openClose2;
    } leg2;
    std::uint32_t lastBatchTick;   // kind 1: the tick of the last batch sent
  } over = {};
  std::int16_t reserved2 = 0;
  std::uint16_t lots2 = 0;
  std::int16_t confirm = 0;
  std::int16_t watchPrice = 0;
  std::int16_t compare = 0;
  std::int16_t padding2 = 0;
  float trigger = 0;
  std::int16_t priceKind = 0;
  std::int16_t padding3 = 0;
  float price = 0;
  std::int16_t split = 0;
  std::uint16_t lotsPerBatch = 0;
  std::uint16_t interval = 0;
  std::int16_t state = 0;
  std::uint8_t reserved3[16] = {};
};
static_assert(sizeof(DealData) == 72);
static_assert(offsetof(DealData, stk2) == 14 && offsetof(DealData, trigger) == 36 && offsetof(DealData, state) == 54);

class TAlarm {
 public:
  TAlarm();
  // The real one stops its sound thread and saves the alarm and order lists.
  ~TAlarm();
  TAlarm(const TAlarm&) = delete;
  TAlarm& operator=(const TAlarm&) = delete;
  // The alarm and order lists written to / read back from the user's files, and the test of
  // one quote update against the alarms. Each is noted in `calls` ("SaveFiles", "LoadFiles",
  // "CheckQuote <market> <index>").
  void SaveFiles() { calls.emplace_back("SaveFiles"); }
  void LoadFiles() { calls.emplace_back("LoadFiles"); }
  void CheckQuote(STKPTR instrument, const QuoteRecord* quote);
  void OnTimer() {}
  std::vector<std::string> calls;

  // The alarm list and the conditional-order list (empty in this stand-in unless a test fills
  // them).
  EArray<AlarmData> alarms{100};
  EArray<DealData> deals{200};
};
// The process-wide engine, null when absent.
extern TAlarm* Alarm;

// The alarm list form and the triggered-alarm window: null until their unit makes them.
class TAlartfm : public TForm {
 public:
  using TForm::TForm;
  ~TAlartfm() override;
  const char* ClassName() const override { return "TAlartfm"; }
  // Refills the alarm grid from the alarm list (counted).
  void FillAlarmGrid() { ++fills; }
  int fills = 0;
};
class TAlarmWin : public TForm {
 public:
  using TForm::TForm;
  ~TAlarmWin() override;
  const char* ClassName() const override { return "TAlarmWin"; }
  // Refills the grid of triggered alarms (counted).
  void FillTriggeredGrid() { ++fills; }
  int fills = 0;
};
extern TAlartfm* Alartfm;
extern TAlarmWin* AlarmWin;

// The triggered conditional-order dialog: one hidden instance from the main window's creation
// to its close.
class TSmartDealTriggeredDlg : public TForm {
 public:
  explicit TSmartDealTriggeredDlg(TComponent* owner);
  ~TSmartDealTriggeredDlg() override;
  const char* ClassName() const override { return "TSmartDealTriggeredDlg"; }
};
extern TSmartDealTriggeredDlg* SmartDealTriggeredDlg;

// ---- Order placement -----------------------------------------------------------------------------
// The outside trading program's order window (null none), kept from its MsgTradeWindowOpened.
extern HWND TradeOrderWindow;
// Places an order through the outside trading program (direction 0 buy, 1 sell; kind 0, 1 or
// 2; the price in units). The stand-in only notes it in SmartOrderLog.
struct SmartOrderRecord {
  STKPTR instrument;
  int direction;
  int kind;
  int lots;
  double price;
  int confirm;
};
void SendSmartOrder(STKPTR instrument, int direction, int kind, int lots, double price, int confirm);
std::vector<SmartOrderRecord>& SmartOrderLog();

// ---- Quote-list column schemes -----------------------------------------------------------------
// Writes the column schemes back to the user's settings (nothing here: no scheme was loaded).
void SaveTableDefs();

// ---- Indicator manager --------------------------------------------------------------------------
class CZvIndexManager {
 public:
  int loadCount = 0;   // LoadIndicatorFiles calls
};
// Builds the process-wide manager (and seeds the random numbers with the time); idempotent.
void CreateIndexManager();
void DestroyIndexManager();
// The manager, null outside CreateIndexManager .. DestroyIndexManager.
CZvIndexManager* IndexManager();
// Reads the system and user indicator files into the manager: 1 when both were read, else 0
// (the caller ignores it). The built-in stand-in list serves meanwhile.
int LoadIndicatorFiles(CZvIndexManager* manager);

// ---- Formula engine pools -----------------------------------------------------------------------
void CreateFormulaPools();
void DestroyFormulaPools();
bool FormulaPoolsExist();
