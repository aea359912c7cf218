// The main window's operations that the units built on it fill in. Each does nothing until its
// unit lands; the start-up and shut-down steps already call them in their places.
#include "shell/MainFrame.h"

// The hot-key unit writes the current hot-key texts into the menu captions.
void TMFrame::UpdateHotkeyCaptions() {}

// The keyboard wizard's unit creates TSmartKB (owner: the main window) unless it exists.
void TMFrame::CreateKeyboardWizard() {}

// The keyboard wizard's unit destroys TSmartKB.
void TMFrame::DestroyKeyboardWizard() {}

// The trading-menu unit rebuilds 交易 from the trading settings.
void TMFrame::BuildTradingMenu() {}

// The block-menu unit rebuilds 自选板块 under 板块.
void TMFrame::BuildUserBlockMenu() {}

// The block-menu unit shows the tag's block in a quote list.
void TMFrame::NClick(TObject*) {}

// The command unit's application message hook (hot keys, the keyboard wizard).
void TMFrame::AppMessage(MSG&, bool&) {}

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

// The login unit restores lost clients quietly (the reconnect countdown calls it).
void TMFrame::Reconnect() {}

// The quote strip's unit refreshes the instrument's cell.
void TMFrame::UpdateQuoteCell(STKPTR) {}

// The quote strip's unit rebuilds its cells for QuoteBlockId.
void TMFrame::RebuildQuoteStrip() {}

// The quote strip's unit takes COLOR17 as its background and measures its cells again.
void TMFrame::ApplyQuoteStripColors() {}

// The news menus' unit shows the system message (系统消息).
void TMFrame::N52Click(TObject*) {}

// The login unit's connect command.
void TMFrame::C1Click(TObject*) {}

// The online-notice unit makes its window anew ("在线通知") and brings it to the front.
void TMFrame::ShowOnlineNoticeWindow() {}
