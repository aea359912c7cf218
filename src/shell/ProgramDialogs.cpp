#include "shell/ProgramDialogs.h"

#include "dialogs/Quoteoption.h"
#include "platform/Form.h"
#include "shell/IndicatorCatalog.h"
#include "widgets/Xpcheckbox.h"
#include "widgets/Xpchecklistbox.h"
#include "widgets/Xpcombobox.h"
#include "widgets/Xpedit.h"
#include "widgets/Xplistbox.h"

namespace {

TProgramDialogs& ProgramDialogs() {
  static TProgramDialogs dialogs;
  return dialogs;
}

bool dialogsInstalled = false;
bool lookupInstalled = false;

// The catalogue at the time of the lookup (a test or the formula engine may register another).
std::optional<int> CatalogKind(const std::string& name) {
  const IndicatorDef* def = IndicatorCatalog().FindIndex(name.c_str());
  if (def == nullptr) return std::nullopt;
  return def->Placement();
}

}  // namespace

std::optional<std::uint16_t> TProgramDialogs::ChooseBlock(TWinControl*, const BlockChooserRequest&) {
  return std::nullopt;
}

void FillQuoteOptionDlg(TQuoteOptionDlg& dialog, const QuoteOptionsFill& fill) {
  dialog.SetCaption(fill.caption);
  dialog.Instrument = fill.instrument;
  dialog.XPListBox1->SetItemIndex(fill.pageIndex);
  dialog.XPListBox1Click(dialog.XPListBox1);
  dialog.XPCheckBox100->SetVisible(fill.saveAsDefaultVisible);
  dialog.XPCheckBox1->SetChecked(fill.todayMinOnly);
  dialog.XPCheckBox2->SetChecked(fill.infoVisible);
  dialog.XPCheckBox3->SetChecked(fill.infoLeft);
  dialog.XPCheckBox4->SetChecked(fill.axisRight);
  dialog.XPCheckBox5->SetChecked(fill.trendCentred);
  dialog.XPCheckBox6->SetChecked(fill.noAxis);
  dialog.XPCheckBox7->SetChecked(fill.detailBottomUp);
  dialog.XPCheckBox8->SetChecked(fill.hollowKLine);
  dialog.XPCheckBox9->SetChecked(fill.antiAlias);
  dialog.XPCheckBox10->SetChecked(fill.enterCycles);
  dialog.XPComboBox1->SetItemIndex(fill.cycleIndex);
  dialog.XPComboBox2->SetItemIndex(fill.wheelIndex);
  dialog.XPComboBox3->SetItemIndex(fill.zoomIndex);
  dialog.XPEdit1->SetText(fill.mainGraph);
  dialog.XPEdit2->SetText(fill.subGraph);
  dialog.XPCheckListBox1->Items()->Clear();
  for (const QuoteOptionsFill::Item& item : fill.detailItems) dialog.AddDetailItem(item.id, item.caption, item.checked);
}

void TProgramDialogs::ShowQuoteOptions(TWinControl* owner, const QuoteOptionsFill& fill) {
  TQuoteOptionDlg* dialog = NewForm<TQuoteOptionDlg>(owner);
  if (owner != nullptr) dialog->MainWindow = owner->Handle();
  FillQuoteOptionDlg(*dialog, fill);
  dialog->ShowModal();
  TComponent::Free(dialog);
}

void InstallProgramDialogs() {
  if (!dialogsInstalled) {
    IShellDialogs* previous = SetShellDialogs(&ProgramDialogs());
    if (previous != nullptr) {
      SetShellDialogs(previous);
    } else {
      dialogsInstalled = true;
    }
  }
  if (!lookupInstalled && !zuvo::dialogs::GetIndicatorKindLookup()) {
    zuvo::dialogs::SetIndicatorKindLookup(&CatalogKind);
    lookupInstalled = true;
  }
}

void RemoveProgramDialogs() {
  if (dialogsInstalled) {
    if (&ShellDialogs() == &ProgramDialogs()) SetShellDialogs(nullptr);
    dialogsInstalled = false;
  }
  if (lookupInstalled) {
    // Only our own adapter is taken back; a lookup registered since then stays.
    using Adapter = std::optional<int> (*)(const std::string&);
    const zuvo::dialogs::IndicatorKindLookup current = zuvo::dialogs::GetIndicatorKindLookup();
    const Adapter* adapter = current.target<Adapter>();
    if (adapter != nullptr && *adapter == &CatalogKind) zuvo::dialogs::SetIndicatorKindLookup(nullptr);
    lookupInstalled = false;
  }
}
