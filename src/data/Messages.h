// The program's private window messages (numbers after WM_USER). Every subsystem uses these
// names; the numbers are fixed because outside programs (the trading program, the settings
// tool, the messenger) send some of them.
#pragma once

#include "platform/WinBase.h"

constexpr UINT kWmUser = 0x0400;
constexpr UINT kWmApp = 0x8000;

constexpr UINT MsgShowNewsItem = kWmUser + 1;
constexpr UINT MsgQuoteEvent = kWmUser + 1002;
constexpr UINT MsgReattachIndicator = kWmUser + 1101;
constexpr UINT MsgIndicatorParamsChanged = kWmUser + 1102;
constexpr UINT MsgScrollTickList = kWmUser + 1103;
constexpr UINT MsgOptionsChanged = kWmUser + 1104;
constexpr UINT MsgRequestSystemMessage = kWmUser + 1502;
constexpr UINT MsgConnectionLost = kWmUser + 1503;
constexpr UINT MsgServerSortReady = kWmUser + 1505;
constexpr UINT MsgAlarmTriggered = kWmUser + 1506;
constexpr UINT MsgShowMessenger = kWmUser + 1507;
constexpr UINT MsgSortReportByColumn = kWmUser + 1508;
constexpr UINT MsgServerText = kWmUser + 1509;
constexpr UINT MsgCellZoom = kWmUser + 1510;
constexpr UINT MsgCellRestore = kWmUser + 1511;
constexpr UINT MsgCellSplitHorz = kWmUser + 1512;
constexpr UINT MsgCellSplitVert = kWmUser + 1513;
constexpr UINT MsgCellClose = kWmUser + 1514;
constexpr UINT MsgCellShowReport = kWmUser + 1515;
constexpr UINT MsgCellShowFlash = kWmUser + 1516;
constexpr UINT MsgCellShowTrend = kWmUser + 1517;
constexpr UINT MsgCellShowKLine = kWmUser + 1518;
constexpr UINT MsgCellShowF10 = kWmUser + 1519;
constexpr UINT MsgCellShowNews = kWmUser + 1520;
constexpr UINT MsgCellBack = kWmUser + 1521;
constexpr UINT MsgCellInit = kWmUser + 1522;
constexpr UINT MsgOnlineNotice = kWmUser + 1523;
constexpr UINT MsgCellKeyLeft = kWmUser + 1524;
constexpr UINT MsgCellKeyRight = kWmUser + 1525;
constexpr UINT MsgLinkInstrument = kWmUser + 1526;
constexpr UINT MsgDropInstrument = kWmUser + 1528;
constexpr UINT MsgAgentData = kWmUser + 1535;
constexpr UINT MsgMessengerHello = kWmUser + 1540;
constexpr UINT MsgQuickDeal = kWmUser + 1541;
constexpr UINT MsgServerData = kWmUser + 1600;
constexpr UINT MsgResubscribe = kWmUser + 1602;
constexpr UINT MsgBlockDeleted = kWmUser + 1603;
constexpr UINT MsgRefreshKLineViews = kWmUser + 1604;
constexpr UINT MsgLoginError = kWmUser + 1701;
constexpr UINT MsgLoginSyncMarket = kWmUser + 1702;
constexpr UINT MsgLoginDone = kWmUser + 1703;
constexpr UINT MsgLoginSearchServer = kWmUser + 1704;
constexpr UINT MsgLoginConnectServer = kWmUser + 1705;
constexpr UINT MsgLoginCheckVersion = kWmUser + 1706;
constexpr UINT MsgLoginUpdateMarkets = kWmUser + 1707;
constexpr UINT MsgLoginNextServer = kWmUser + 1720;
constexpr UINT MsgTradeWindowOpened = kWmUser + 3001;
constexpr UINT MsgTradeWindowClosed = kWmUser + 3002;
// Posted by a chart view to the main window when it becomes active (wParam 0, lParam the view);
// nothing handles it.
constexpr UINT MsgChartViewActivated = kWmApp + 9;
// The activation forwarding posts the form class library's own CM_ACTIVATE (0xB000) and
// CM_DEACTIVATE (0xB001) to the active cell; they are the library's messages, declared with
// it in platform/Control.h, not private ones.
// Socket notifications of the hidden socket window (below WM_USER).
constexpr UINT MsgSocketEvent = 883;
