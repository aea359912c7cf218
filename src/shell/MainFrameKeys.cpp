// The main window's keyboard: the application message hook that turns keys into commands,
// typed characters into the keyboard wizard and the wheel into page keys (its decision is
// KeyRouting.h), the wizard's result carried out, the wizard's life, and the hot-key texts in
// the menu captions and tool-button hints.
#include "data/HotKeys.h"
#include "data/Messages.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "shell/Cell.h"
#include "shell/Commands.h"
#include "shell/KeyRouting.h"
#include "shell/MainFrame.h"
#include "shell/ModalDialog.h"
#include "shell/PageWindow.h"
#include "shell/SmartKB.h"
#include "shell/ViewSurfaces.h"

#include <cstdio>
#include <cstring>

namespace {

// Where the wizard sits: its right edge 3 pixels inside the main window's, its bottom 19
// pixels above the main window's bottom (clear of the status bar).
constexpr int kWizardRightGap = 3;
constexpr int kWizardBottomGap = 19;

// One hot-key caption: a menu item or a tool button of the main window, its command and the
// layout of its text.
struct HotkeyCaption {
  TMenuItem* TMFrameForm::*item;
  TToolButton* TMFrameForm::*button;
  int command;
  const char* format;
};

constexpr HotkeyCaption kHotkeyCaptions[] = {
    {&TMFrameForm::FullScreen1, nullptr, 59, "全屏显示      %s"},
    {&TMFrameForm::FullScreen2, nullptr, 59, "全屏显示      %s"},
    {&TMFrameForm::MenuItem109, nullptr, 76, "退出系统      %s"},
    {&TMFrameForm::N57, nullptr, 60, "关闭窗口      %s"},
    {&TMFrameForm::N65, nullptr, 67, "商品叠加      %s"},
    {&TMFrameForm::A1, nullptr, 68, "套利分析      %s"},
    {&TMFrameForm::CtrlR1, nullptr, 73, "启用          %s"},
    {&TMFrameForm::MenuItem119, nullptr, 10, "日线      %s"},
    {&TMFrameForm::MenuItem120, nullptr, 11, "周线      %s"},
    {&TMFrameForm::MenuItem121, nullptr, 12, "月线      %s"},
    {&TMFrameForm::N23, nullptr, 13, "季线      %s"},
    {&TMFrameForm::N27, nullptr, 15, "任意天    %s"},
    {&TMFrameForm::N28, nullptr, 2, "1分钟     %s"},
    {&TMFrameForm::N31, nullptr, 3, "3分钟     %s"},
    {&TMFrameForm::MenuItem122, nullptr, 4, "5分钟     %s"},
    {&TMFrameForm::MenuItem123, nullptr, 5, "15分钟    %s"},
    {&TMFrameForm::MenuItem124, nullptr, 6, "30分钟    %s"},
    {&TMFrameForm::MenuItem125, nullptr, 7, "60分钟    %s"},
    {&TMFrameForm::N1201, nullptr, 8, "120分钟   %s"},
    {&TMFrameForm::N241, nullptr, 9, "240分钟   %s"},
    {&TMFrameForm::N29, nullptr, 14, "任意分    %s"},
    {&TMFrameForm::N41, nullptr, 70, "前复权      %s"},
    {&TMFrameForm::N42, nullptr, 71, "后复权      %s"},
    {&TMFrameForm::MenuItem128, nullptr, 69, "画线工具      %s"},
    {&TMFrameForm::N81, nullptr, 72, "指标管理      %s"},
    {&TMFrameForm::N26, nullptr, 44, "即时新闻      %s"},
    {&TMFrameForm::F101, nullptr, 46, "背景资料      %s"},
    {&TMFrameForm::N161, nullptr, 49, "信息地雷      %s"},
    {&TMFrameForm::N44, nullptr, 50, "上证信息      %s"},
    {&TMFrameForm::N45, nullptr, 51, "深证信息      %s"},
    {&TMFrameForm::N55, nullptr, 58, "循环报价      %s"},
    {nullptr, &TMFrameForm::NewsBtn, 44, "新闻 %s"},
    {nullptr, &TMFrameForm::ToolButton14, 46, "背景资料 %s"},
    {nullptr, &TMFrameForm::ToolButton9, 62, "数据刷新 %s"},
    {&TMFrameForm::N22, nullptr, 62, "数据刷新      %s"},
    {nullptr, &TMFrameForm::ToolButton23, 61, "页面循环 %s"},
    {nullptr, &TMFrameForm::ToolButton22, 66, "信息窗口 %s"},
    {nullptr, &TMFrameForm::LineBtn, 69, "画线工具 %s"},
    // The quick-order bar's switch ("闪电手") is the trading button of the tool bar.
    {nullptr, &TMFrameForm::ToolButton17, 48, "交易 %s"},
    {nullptr, &TMFrameForm::AlarmBtn, 81, "预警设置 %s"},
    {&TMFrameForm::S1, nullptr, 81, "预警设置    %s"},
};

// The caption text of a command's current key ("" when it has none).
std::string KeyCaption(int command) {
  char text[kHotKeyTextSize] = {};
  for (int i = 0; i < kHotKeyTableSize && HotKeyTable[i].commandId != 0; ++i) {
    if (HotKeyTable[i].commandId != command) continue;
    FormatHotKeyCaption(HotKeyTable[i], text, sizeof text);
    break;
  }
  return text;
}

bool FollowsWizardInPlace(ViewKind kind) {
  return kind == VIEW_TREND || kind == VIEW_KLINE || kind == VIEW_F10 || kind == VIEW_NOTE;
}

}  // namespace

// ---- Hot-key captions ----------------------------------------------------------------------------

void TMFrame::UpdateHotkeyCaptions() {
  for (const HotkeyCaption& entry : kHotkeyCaptions) {
    char text[128];
    std::snprintf(text, sizeof text, entry.format, KeyCaption(entry.command).c_str());
    if (entry.item != nullptr) {
      if (TMenuItem* item = this->*entry.item) item->SetCaption(text);
    } else if (TToolButton* button = this->*entry.button) {
      button->SetHint(text);
    }
  }
  if (pageWindow_ == nullptr) return;
  for (int i = pageWindow_->cells.GetSize() - 1; i >= 0; --i) {
    if (i < pageWindow_->cells.GetSize()) pageWindow_->cells[i]->ViewUpdateHotKeys();
  }
}

// ---- The keyboard wizard's life ------------------------------------------------------------------

void TMFrame::CreateKeyboardWizard() {
  if (SmartKB == nullptr) SmartKB = NewForm<TSmartKB>(this);
}

void TMFrame::DestroyKeyboardWizard() {
  if (SmartKB == nullptr) return;
  TSmartKB* wizard = SmartKB;
  SmartKB = nullptr;
  TComponent::Free(wizard);
}

// ---- The application message hook ---------------------------------------------------------------

bool TMFrame::FocusInEdit() const {
  HWND focus = GetFocus();
  return focus != nullptr && SendMessageA(focus, EM_GETLINECOUNT, 0, 0) >= 1;
}

void TMFrame::AppMessage(MSG& msg, bool& handled) {
  KeyRouteInput input;
  input.message = msg.message;
  input.wParam = msg.wParam;
  input.lParam = msg.lParam;
  input.modalDepth = ModalDialogDepth();
  TMultiViewChild* active = pageWindow_ != nullptr ? pageWindow_->activeCell : nullptr;
  switch (msg.message) {
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
      if (input.modalDepth > 0) return;
      input.keys = CurrentKeyboardState();
      if (msg.message != WM_SYSKEYDOWN) input.focusInEdit = FocusInEdit();
      break;
    case WM_MOUSEWHEEL:
      input.mainWindowActive = HandleAllocated() && GetActiveWindow() == Handle();
      if (active != nullptr) {
        input.activeViewKind = active->attr.kind;
        input.activeModeFlags = active->attr.modeFlags;
        input.activePropertyFlags = active->attr.propertyFlags;
        if (auto* chart = dynamic_cast<TDrawView*>(active)) input.activeSideListMode = chart->sideListMode;
      }
      break;
    case WM_SYSCOMMAND:
    case WM_MOUSEMOVE: break;
    default: return;
  }

  const KeyRoute route = RouteMessage(input);
  switch (route.action) {
    case KeyAction::kPass: return;
    case KeyAction::kSwallow: handled = true; return;
    case KeyAction::kExecute:
      if (route.clearKey) msg.wParam = 0;
      handled = route.handled;
      ExecuteCommand(static_cast<std::int8_t>(route.command));
      return;
    case KeyAction::kOpenWizard:
      handled = true;
      AfterKeyboardWizard(msg, handled);
      return;
    case KeyAction::kWheelKeys:
      if (active != nullptr && active->HandleAllocated()) {
        PostMessageA(active->Handle(), WM_KEYDOWN, route.wheelKey, 0);
        PostMessageA(active->Handle(), WM_KEYUP, route.wheelKey, 0);
      }
      handled = true;
      return;
    case KeyAction::kSystemCommand: {
      if (route.leaveFullScreen && FullScreen1 != nullptr && FullScreen1->Checked()) MenuItem95Click(nullptr);
      if (HandleAllocated() && (route.addSizingFrame || route.removeSizingFrame)) {
        const LONG_PTR style = GetWindowLongPtrA(Handle(), GWL_STYLE);
        if (route.addSizingFrame && IsWindowVisible(Handle())) {
          SetWindowLongPtrA(Handle(), GWL_STYLE, style | WS_THICKFRAME);
        } else if (route.removeSizingFrame) {
          SetWindowLongPtrA(Handle(), GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_THICKFRAME));
        }
      }
      handled = route.handled;
      return;
    }
    case KeyAction::kDropCellHover:
      if (pageWindow_ == nullptr) return;
      for (int i = 0; i < pageWindow_->cells.GetSize(); ++i) {
        TMultiViewChild* cell = pageWindow_->cells[i];
        if (!cell->HandleAllocated() || cell->Handle() == msg.hwnd) continue;
        PostMessageA(cell->Handle(), WM_NCMOUSEMOVE, 0, 0);
      }
      return;
  }
}

// The wizard with the typed character, then its choice carried out. `handled` stays set except
// for an instrument shown in the active chart or text view in place and for a failed default
// view: the character is then dispatched as usual.
void TMFrame::AfterKeyboardWizard(MSG& msg, bool& handled) {
  CreateKeyboardWizard();
  TSmartKB* wizard = SmartKB;
  if (wizard == nullptr || wizard->Edit1 == nullptr) return;
  wizard->SetBounds(Left() + Width() - wizard->Width() - kWizardRightGap,
                    Top() + Height() - wizard->Height() - kWizardBottomGap, wizard->Width(), wizard->Height());
  wizard->Edit1->SetText("");
  PostMessageA(wizard->Edit1->Handle(), msg.message, msg.wParam, msg.lParam);
  TMultiViewChild* active = pageWindow_ != nullptr ? pageWindow_->activeCell : nullptr;
  wizard->ResultAttr.kind = active != nullptr ? active->attr.kind : VIEW_NONE;
  {
    ModalDialogScope modal;
    wizard->ShowModal();
  }
  // The run pumped messages: the wizard and the page's views may have changed.
  if (SmartKB != wizard || wizard->Accepted == 0) return;
  active = pageWindow_ != nullptr ? pageWindow_->activeCell : nullptr;

  switch (wizard->ResultKind) {
    case kSmartKBResultPage: pages_.OpenPageByTag(wizard->ResultIndex); return;
    case kSmartKBResultCommand:
      if (wizard->ResultIndex >= 0 && wizard->ResultIndex < kHotKeyTableSize)
        ExecuteCommand(static_cast<std::int8_t>(HotKeyTable[wizard->ResultIndex].commandId));
      return;
    case kSmartKBResultAttr: break;
    default: return;
  }

  if (wizard->HitKind == kSmartKBHitFormula) {
    if (auto* kline = dynamic_cast<TTechForm*>(active)) {
      char name[17] = {};
      std::memcpy(name, wizard->ResultAttr.paneIndicators[0], 16);
      kline->AttachIndicator(name, 1);
    }
    return;
  }
  if (wizard->HitKind != kSmartKBHitInstrument) return;

  const STKPTR instrument = wizard->ResultAttr.instrument;
  if (SelStockDlg != nullptr) {
    SelStockDlg->chosen = instrument;
    SelStockDlg->Button1Click(nullptr);
    return;
  }
  const ViewKind context = wizard->ResultAttr.kind;
  if (FollowsWizardInPlace(context)) {
    if (active != nullptr) {
      active->attr.currentBlock = instrument.market;
      active->ViewNotify(VN_SHOWINSTRUMENT, instrument, instrument.market, 0);
      if (context == VIEW_TREND || context == VIEW_KLINE)
        SendMessageA(Handle(), MsgLinkInstrument, 0, reinterpret_cast<LPARAM>(active));
    }
    handled = false;
    return;
  }
  const ViewKind kind = MenuItem94 != nullptr && MenuItem94->Checked() ? VIEW_TREND : VIEW_KLINE;
  VIEW_ATTR_12 attr;
  if (DefaultViewAttr(kind, &attr) == 0) {
    handled = false;
    return;
  }
  attr.instrument = instrument;
  attr.currentBlock = instrument.market;
  attr.SetNavListId(0);
  attr.SetNavPosition(0);
  wizard->ResultAttr = attr;
  if (pageWindow_ == nullptr) return;
  pageWindow_->ShowInLinkedViews(&attr, pageWindow_->zoomedCell != nullptr);
  ShowViewVariant variant;
  variant.steps[0] = ShowStep::kActivate;
  variant.steps[1] = ShowStep::kZoom;
  variant.flashPreference = true;
  ShowViewOfKind(attr, variant);
}
