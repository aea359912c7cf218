// The main window's operations that the units built on it fill in. Each does nothing until its
// unit lands; the start-up and shut-down steps already call them in their places.
#include "shell/MainFrame.h"

// The trading-menu unit rebuilds 交易 from the trading settings.
void TMFrame::BuildTradingMenu() {}

// The block-menu unit rebuilds 自选板块 under 板块.
void TMFrame::BuildUserBlockMenu() {}

// The block-menu unit shows the tag's block in a quote list.
void TMFrame::NClick(TObject*) {}

// The menu unit switches the colour scheme of the item's tag.
void TMFrame::ColorClick(TObject*) {}

// The menu unit switches the reference time zone of the item's tag.
void TMFrame::ReferZoneClick(TObject*) {}

// The tool-bar unit opens the web entry of the item's tag.
void TMFrame::WebClick(TObject*) {}

// The quote-strip unit builds and fills the strip in Panel1 (colour, block, columns).
void TMFrame::BuildQuoteStrip() {}

// The menu-bar unit makes its window in Panel9 and lays out its items.
void TMFrame::CreateMenuBarWindow() {}

// The quick-order unit makes its bar's window in Panel4.
void TMFrame::CreateQuickDealWindow() {}

// The menu-bar unit shows the two caption texts.
void TMFrame::SetMenuBarCaptions(const std::string&, const std::string&) {}

// The menu-bar and quick-order units destroy their windows.
void TMFrame::DestroyBarWindows() {}

// The alarm unit closes and destroys TAlartfm and TAlarmWin when they exist.
void TMFrame::CloseAlarmWindows() {}

// The menu-bar unit lays out and repaints its items after menus were shown or hidden.
void TMFrame::RelayoutMenuBar() {}

// The quote strip's unit refreshes the instrument's cell.
void TMFrame::UpdateQuoteCell(STKPTR) {}

// The quote strip's unit rebuilds its cells for QuoteBlockId.
void TMFrame::RebuildQuoteStrip() {}

// The quote strip's unit takes COLOR17 as its background and measures its cells again.
void TMFrame::ApplyQuoteStripColors() {}

// The news menus' unit shows the system message (系统消息).
void TMFrame::N52Click(TObject*) {}

// The online-notice unit makes its window anew ("在线通知") and brings it to the front.
void TMFrame::ShowOnlineNoticeWindow() {}

// ---- commands ----
// The menu unit's actions that commands 48, 58, 59, 61/75, 62, 66 and 81 run.
// 交易 without an item: the first configured order program, else the trading settings.
void TMFrame::MenuItem142Click(TObject*) {}
// 循环报价: the quote-cycling dialog.
void TMFrame::N55Click(TObject*) {}
// 全屏显示: toggles full screen.
void TMFrame::MenuItem95Click(TObject*) {}
// 页面循环: the next (Shift: previous) page.
void TMFrame::ToolButton23Click(TObject*) {}
// 数据刷新: the active chart reloads its data.
void TMFrame::N22Click(TObject*) {}
// 信息窗口: the active chart's side panel.
void TMFrame::ToolButton22Click(TObject*) {}
// 预警设置: the alarm list form.
void TMFrame::S1Click(TObject*) {}
// ---- end of commands ----
