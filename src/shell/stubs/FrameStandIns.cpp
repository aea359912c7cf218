#include "shell/stubs/FrameStandIns.h"

#include <cstdlib>
#include <ctime>

namespace {
std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}
void Note(const char* what) { Log().emplace_back(what); }

CZvIndexManager* manager = nullptr;
bool poolsExist = false;
}  // namespace

std::vector<std::string> FrameStandInLog() { return Log(); }
void ClearFrameStandInLog() { Log().clear(); }

TAlarm* Alarm = nullptr;
TAlartfm* Alartfm = nullptr;
TAlarmWin* AlarmWin = nullptr;
TSmartDealTriggeredDlg* SmartDealTriggeredDlg = nullptr;

TAlarm::TAlarm() { Note("TAlarm"); }
TAlarm::~TAlarm() {
  Note("~TAlarm");
  if (Alarm == this) Alarm = nullptr;
}

void TAlarm::CheckQuote(STKPTR instrument, const QuoteRecord*) {
  calls.push_back("CheckQuote " + std::to_string(instrument.market) + " " + std::to_string(instrument.index));
}

HWND TradeOrderWindow = nullptr;

std::vector<SmartOrderRecord>& SmartOrderLog() {
  static std::vector<SmartOrderRecord> log;
  return log;
}

void SendSmartOrder(STKPTR instrument, int direction, int kind, int lots, double price, int confirm) {
  SmartOrderLog().push_back(SmartOrderRecord{instrument, direction, kind, lots, price, confirm});
}

TAlartfm::~TAlartfm() {
  Note("~TAlartfm");
  if (Alartfm == this) Alartfm = nullptr;
}
TAlarmWin::~TAlarmWin() {
  Note("~TAlarmWin");
  if (AlarmWin == this) AlarmWin = nullptr;
}

TSmartDealTriggeredDlg::TSmartDealTriggeredDlg(TComponent* owner) : TForm(owner) {
  SetVisible(false);
  Note("TSmartDealTriggeredDlg");
}
TSmartDealTriggeredDlg::~TSmartDealTriggeredDlg() {
  Note("~TSmartDealTriggeredDlg");
  if (SmartDealTriggeredDlg == this) SmartDealTriggeredDlg = nullptr;
}

void SaveTableDefs() { Note("SaveTableDefs"); }

void CreateIndexManager() {
  if (manager != nullptr) return;
  manager = new CZvIndexManager;
  // Later random delays (the name-table resend) rely on a seeded generator.
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  Note("CreateIndexManager");
}
void DestroyIndexManager() {
  if (manager == nullptr) return;
  delete manager;
  manager = nullptr;
  Note("DestroyIndexManager");
}
CZvIndexManager* IndexManager() { return manager; }
int LoadIndicatorFiles(CZvIndexManager* m) {
  Note("LoadIndicatorFiles");
  if (m != nullptr) ++m->loadCount;
  return 0;
}

void CreateFormulaPools() {
  if (poolsExist) return;
  poolsExist = true;
  Note("CreateFormulaPools");
}
void DestroyFormulaPools() {
  if (!poolsExist) return;
  poolsExist = false;
  Note("DestroyFormulaPools");
}
bool FormulaPoolsExist() { return poolsExist; }
