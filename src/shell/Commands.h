// The main window's numbered commands (ids 1 to 81, the commands of the hot keys, menu items,
// tool buttons and status-bar double clicks): the rules they share, kept apart from the windows
// so they can be read and tested alone. TMFrame::ExecuteCommand, OpenBlockList, ChangeCycle and
// ShowViewOfKind (Commands.cpp) carry them out on the page.
//
// UI thread only.
#pragma once

#include "data/Records.h"
#include "data/UtilData.h"
#include "platform/Form.h"
#include "shell/ViewTypes.h"

#include <cstdint>
#include <string>

constexpr int kFirstCommand = 1;
constexpr int kLastCommand = 81;

// The chart cycle a command 1..15 shows (1 flash chart, 2 one-minute bars ... 15 any N days);
// -1 for any other id.
int CommandCycle(int commandId);

// The automatic block a quote-list command (16..21, 22..27) or ranking command (52..57) shows:
// categories 1, 2 and 5 of markets 0 and 1, numbered after the per-market blocks (M markets,
// C0 categories of market 0): M + k for market 0, M + C0 + k for market 1. -1 for any other id
// or when market 0 is not loaded.
int CommandBlockId(int commandId);

// The cycle rotation (commands 42, 43 and 74): the enabled entry after (or, `backwards`, before)
// the current cycle's entry of the rotation, wrapping round. A current cycle that is not in the
// rotation starts the search at the first entry (backwards: the last one), that entry included,
// so no enabled entry is skipped. -1 when no entry is enabled.
int NextRotationCycle(const CycleOrderRecord& order, int currentCycle, bool backwards);
// The first enabled entry of the rotation in rotation order; -1 when none is.
int FirstRotationCycle(const CycleOrderRecord& order);

// A block's tab caption in a quote list: its name without a trailing "市场".
std::string BlockTabCaption(const char* blockName);

// How ShowViewOfKind treats a view of the kind that exists already: which views may be reused
// and which steps run on it, in order. A new view (the active cell's content replaced) gets
// none of the steps.
enum class ShowStep : std::uint8_t {
  kNone,
  kAddRef,     // the attributes' navigation list gains the reference the view takes over
  kNotify,     // ViewNotify (1, instrument, current block or notifyArg, extra)
  kActivate,   // TMultiViewChild::Activate
  kZoom,       // MsgCellZoom posted when another cell is zoomed
};

struct ShowViewVariant {
  bool anyView = false;             // any view of the kind, else linked views only
  ShowStep steps[4] = {};           // in order; kNone ends
  bool passAttr = false;            // extra of the notification: the attributes
  int notifyArg = -1;               // the notification's argument (-1: the current block id)
  bool flashPreference = false;     // trend views follow 闪电图优先
};

// The instrument chooser of the chart commands (商品叠加, 套利分析), as the keyboard wizard sees
// it while it is open: its chosen instrument and its confirmation.
class TSelStockDlg : public TForm {
 public:
  using TForm::TForm;
  // Confirms the dialog (modal result 1).
  virtual void Button1Click(TObject* sender) = 0;
  STKPTR chosen;
};
// The open chooser, set by whoever shows it and cleared after it was freed; null otherwise.
extern TSelStockDlg* SelStockDlg;
