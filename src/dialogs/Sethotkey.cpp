#include "dialogs/Sethotkey.h"

#include "data/HotKeys.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpmemo.h"
#include "widgets/Xpstringgrid.h"
#include "widgets/Xptabcontrol.h"

#include <cstring>

using zuvo::widgets::TXPButton;
namespace gbk = zuvo::platform::gbk;

namespace {

std::string RecordName(const HotKeyRecord& record) {
  return std::string(record.name, strnlen(record.name, sizeof record.name));
}

std::string NormalText(const HotKeyRecord& record) {
  char text[kHotKeyTextSize];
  const int length = FormatHotKey(record, text, sizeof text);
  return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace

TSetHotkeyDlg::TSetHotkeyDlg(TComponent* owner) : TForm(owner) {
  SetName("SetHotkeyDlg");
  SetCaption("设置快捷键");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(430);
  SetClientHeight(400);

  XPTabControl1 = new TXPTabControl(this);
  XPTabControl1->SetName("XPTabControl1");
  XPTabControl1->SetParent(this);
  XPTabControl1->SetBounds(8, 8, 414, 348);
  XPTabControl1->Tabs()->Add("快捷键");
  XPTabControl1->Tabs()->Add("帮助");
  XPTabControl1->SetTabIndex(0);
  XPTabControl1->OnChange = Handler(this, &TSetHotkeyDlg::XPTabControl1Change);

  XPStringGrid1 = new TXPStringGrid(this);
  XPStringGrid1->SetName("XPStringGrid1");
  XPStringGrid1->SetParent(XPTabControl1);
  XPStringGrid1->SetAlign(alClient);
  XPStringGrid1->SetColCount(2);
  XPStringGrid1->SetRowCount(kRows);
  XPStringGrid1->SetFixedCols(0);
  XPStringGrid1->SetFixedRows(0);
  XPStringGrid1->SetColWidths(0, 100);
  XPStringGrid1->SetColWidths(1, 280);
  XPStringGrid1->SetOptions(XPStringGrid1->Options() | goEditing | goAlwaysShowEditor);
  // Only the key column is edited; the command names are not read back.
  XPStringGrid1->OnSelectCell = [](TObject*, int col, int, bool& canSelect) { canSelect = col == 1; };
  XPStringGrid1->SetCol(1);

  XPMemo1 = new TXPMemo(this);
  XPMemo1->SetName("XPMemo1");
  XPMemo1->SetParent(XPTabControl1);
  XPMemo1->SetAlign(alClient);
  XPMemo1->SetReadOnly(true);
  XPMemo1->SetScrollBars(ssVertical);
  XPMemo1->SetVisible(false);
  XPMemo1->Lines()->BeginUpdate();
  for (const std::string& line : HelpLines()) XPMemo1->Lines()->Add(line);
  XPMemo1->Lines()->EndUpdate();

  XPButton1 = new TXPButton(this);
  XPButton1->SetName("XPButton1");
  XPButton1->SetParent(this);
  XPButton1->SetBounds(266, 366, 75, 25);
  XPButton1->SetCaption("确定");
  XPButton1->SetDefault(true);
  XPButton1->SetModalResult(mrOk);
  XPButton1->OnClick = Handler(this, &TSetHotkeyDlg::XPButton1Click);
  XPButton2 = new TXPButton(this);
  XPButton2->SetName("XPButton2");
  XPButton2->SetParent(this);
  XPButton2->SetBounds(347, 366, 75, 25);
  XPButton2->SetCaption("取消");
  XPButton2->SetCancel(true);
  XPButton2->SetModalResult(mrCancel);

  for (int row = 0; row < kRows; ++row) {
    const HotKeyRecord& record = HotKeyTable[row];
    XPStringGrid1->SetCells(0, row, RecordName(record));
    XPStringGrid1->SetCells(1, row, NormalText(record));
  }
  SetActiveControl(XPStringGrid1);
}

std::vector<std::string> TSetHotkeyDlg::HelpLines() {
  return {
      "设置快捷键时，可以使用以下按键（请输入引号内的字符）:",
      "\"CTRL\", \"ALT\", \"SHIFT\", \"ENTER\"（回车）, \"TAB\", \"BACKSPACE\"（退格）, \"INSERT\", "
      "\"DELETE\", \"HOME\", \"END\", \"PAGEUP\", \"PAGEDOWN\", \"UP\"（上）, \"LEFT\"（左）, "
      "\"DOWN\"（下）, \"RIGHT\"（右）, \"SPACE\"（空格）, \"F1\" 至 \"F12\", \"A\" 至 \"Z\", "
      "\"0\" 至 \"9\", \"`\", \"-\", \"=\", \"\\\", \"[\", \"]\", \";\", \"'\", \",\", \".\", \"/\", "
      "\"*\", \"+\"",
      "其中 CTRL、ALT、SHIFT 和 ENTER 必须与其他按键组合使用，按键之间用“+”连接。",
      "",
      "举例：",
      "CTRL+A      同时按下 CTRL 键和 A 键",
      "81+ENTER    依次按下 8、1 和回车键",
      "0           按下 0 键",
  };
}

void TSetHotkeyDlg::XPTabControl1Change(TObject*) {
  const bool help = XPTabControl1->TabIndex() == 1;
  XPStringGrid1->SetVisible(!help);
  XPMemo1->SetVisible(help);
}

void TSetHotkeyDlg::XPButton1Click(TObject*) {
  // The text still in the editor belongs to its cell.
  const bool editorShown = XPStringGrid1->EditorMode();
  if (editorShown) XPStringGrid1->SetEditorMode(false);
  auto stayOpen = [&] {
    SetModalResult(mrNone);
    if (editorShown) XPStringGrid1->SetEditorMode(true);
  };

  // Rows are parsed into a copy: the live table changes only once every row passed and the
  // keys are saved, so a refusal or a failed save leaves the program's keys as they were.
  HotKeyRecord working[kHotKeyTableSize];
  std::memcpy(working, HotKeyTable, sizeof working);
  for (int row = 0; row < kRows; ++row) {
    const std::string cell = XPStringGrid1->Cells(1, row);
    const std::string text = cell.substr(0, gbk::CutLength(cell, kMaxKeyText));
    ParseHotKey(&working[row], text.c_str());
    const std::string normal = NormalText(working[row]);
    if (gbk::EqualsNoCase(text, normal)) continue;
    const std::string question = "“" + RecordName(working[row]) + "”的快捷键“" + text +
                                 "”格式不正确。点击“是”将其设置为“" + normal + "”，点击“否”手工修改。";
    if (MessageBoxA(Handle(), question.c_str(), "错误", MB_YESNO | MB_ICONQUESTION) == IDYES) {
      XPStringGrid1->SetCells(1, row, normal);
      continue;
    }
    XPStringGrid1->SetRow(row);
    stayOpen();
    return;
  }

  HotKeyRecord previous[kHotKeyTableSize];
  std::memcpy(previous, HotKeyTable, sizeof previous);
  std::memcpy(HotKeyTable, working, sizeof working);
  if (!SaveHotKeys()) {
    std::memcpy(HotKeyTable, previous, sizeof previous);
    MessageBoxA(Handle(), "快捷键保存失败，设置未改变。  ", "错误", MB_OK | MB_ICONERROR);
    stayOpen();
    return;
  }
  SetModalResult(mrOk);
}
