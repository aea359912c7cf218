// The dialogs the shell opens for cells and views, behind one seam: the program's dialogs are
// registered by their own units; tests script answers and read back what was asked. With
// nothing registered every dialog is cancelled (the program runs without them).
#pragma once

#include "data/Records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TWinControl;

// A request for the block chooser (the block list dialog in choosing mode).
struct BlockChooserRequest {
  int highestKind = 3;
  int lowestKind = 0;
  std::string caption = "选择板块";
  bool hideNewAndModify = true;
};

// The options dialog on the user's view defaults, as the options command fills it.
struct QuoteOptionsFill {
  std::string caption;
  STKPTR instrument;            // none: 255, 255, 0xFFFF
  int pageIndex = 0;            // "走势图和 K 线图"
  bool saveAsDefaultVisible = true;
  bool hollowKLine = false;     // "空心 K 线"
  bool antiAlias = false;       // "曲线平滑"
  int zoomIndex = 0;            // "K 线宽窄"
  bool infoVisible = false;     // "显示信息窗口"
  bool infoLeft = false;        // "将信息窗口置于左侧"
  bool todayMinOnly = false;    // "分钟线只显示当日数据"
  bool noAxis = false;          // "不显示坐标"
  bool axisRight = false;       // "坐标置于右侧"
  bool detailBottomUp = false;  // "成交明细由下至上显示"
  bool enterCycles = false;     // "按下回车键时在报价、走"
  bool trendCentred = false;    // "分时图以昨收为中线"
  int wheelIndex = 0;           // "滚动鼠标滚轮时:"
  int cycleIndex = 0;           // "默认周期:"
  std::string mainGraph;        // "主图指标:"
  std::string subGraph;         // "副图指标:"
  struct Item {
    int id;
    std::string caption;
    bool checked;
  };
  std::vector<Item> detailItems;   // "依次显示被勾选的数据项:"
};

class IShellDialogs {
 public:
  virtual ~IShellDialogs() = default;
  // Modal block chooser; the chosen block's id, or nothing when cancelled.
  virtual std::optional<std::uint16_t> ChooseBlock(TWinControl* owner,
                                                   const BlockChooserRequest& request) = 0;
  // Modal options dialog, filled as given; saving is the dialog's own.
  virtual void ShowQuoteOptions(TWinControl* owner, const QuoteOptionsFill& fill) = 0;
};

// The registered dialogs (a cancelling default when none is set).
IShellDialogs& ShellDialogs();
// Installs dialogs (not owned; null restores the default); returns the previous ones.
IShellDialogs* SetShellDialogs(IShellDialogs* dialogs);
