// The keyboard wizard's form: the input, the list of hits and the result.
#include "shell/SmartKB.h"

#include "data/StkPtr.h"
#include "platform/Canvas.h"
#include "platform/Edit.h"
#include "platform/Grid.h"
#include "platform/WinUser.h"
#include "shell/ModalDialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

TSmartKB* SmartKB = nullptr;

namespace {

constexpr int kClientWidth = 151;
constexpr int kClientHeight = 167;
constexpr int kEditHeight = 21;
constexpr int kRowHeight = 18;
constexpr int kFirstColumnWidth = 50;

constexpr TColor Rgb(int r, int g, int b) { return static_cast<TColor>(r | g << 8 | b << 16); }
constexpr TColor kSelectedBack = Rgb(128, 128, 128);
constexpr TColor kSelectedText = Rgb(255, 255, 0);
constexpr TColor kCommandText = Rgb(255, 0, 0);
constexpr TColor kInstrumentText = Rgb(0, 0, 255);
constexpr TColor kFormulaText = Rgb(0, 128, 0);
constexpr TColor kPageText = Rgb(128, 0, 128);

// A fixed text field as a string, up to its terminator or its size.
std::string Field(const char* text, std::size_t size) {
  if (text == nullptr) return {};
  return std::string(text, strnlen(text, size));
}

}  // namespace

TSmartKB::TSmartKB(TComponent* owner) : TForm(owner) {
  SetName("SmartKB");
  SetCaption("智能键盘");
  SetBorderStyle(bsToolWindow);
  SetClientWidth(kClientWidth);
  SetClientHeight(kClientHeight);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-12);
  SetKeyPreview(false);

  Edit1 = new TEdit(this);
  Edit1->SetName("Edit1");
  Edit1->SetParent(this);
  Edit1->SetBounds(0, 0, kClientWidth, kEditHeight);
  Edit1->SetMaxLength(8);
  Edit1->OnChange = Handler(this, &TSmartKB::Edit1Change);
  Edit1->OnKeyDown = Handler(this, &TSmartKB::Edit1KeyDown);

  DrawGrid1 = new TDrawGrid(this);
  DrawGrid1->SetName("DrawGrid1");
  DrawGrid1->SetParent(this);
  DrawGrid1->SetBounds(0, kEditHeight, kClientWidth, kClientHeight - kEditHeight);
  DrawGrid1->SetFixedCols(0);
  DrawGrid1->SetFixedRows(0);
  DrawGrid1->SetColCount(2);
  DrawGrid1->SetRowCount(1);
  DrawGrid1->SetGridLineWidth(0);
  DrawGrid1->SetOptions(goRowSelect);
  DrawGrid1->SetScrollBars(ssNone);
  DrawGrid1->SetDefaultRowHeight(kRowHeight);
  DrawGrid1->SetColWidths(0, kFirstColumnWidth);
  DrawGrid1->SetColWidths(1, DrawGrid1->ClientWidth() - kFirstColumnWidth);
  DrawGrid1->SetEnabled(false);
  DrawGrid1->OnDrawCell = Handler(this, &TSmartKB::DrawGrid1DrawCell);
  DrawGrid1->OnKeyPress = Handler(this, &TSmartKB::DrawGrid1KeyPress);
  DrawGrid1->OnDblClick = Handler(this, &TSmartKB::DrawGrid1DblClick);
  SetActiveControl(Edit1);

  search_.level2.Load();
  search_.hitCount = 0;
  search_.instrumentCount = 0;
  Accepted = 0;
}

TSmartKB::~TSmartKB() {
  if (SmartKB == this) SmartKB = nullptr;
}

bool TSmartKB::SmartKBSearch(const char* text) { return ::SmartKBSearch(search_, text, *sources_); }

TModalResult TSmartKB::ShowModal() {
  // A wizard kept between runs must not report the last run's choice when closed otherwise.
  Accepted = 0;
  ModalDialogScope scope;
  return TForm::ShowModal();
}

void TSmartKB::Edit1Change(TObject*) {
  const std::string text = Edit1->Text();
  if (SmartKBSearch(text.c_str())) {
    DrawGrid1->SetEnabled(true);
    DrawGrid1->SetRowCount(search_.hitCount);
  } else {
    // One blank row that offers nothing; the input keeps the focus.
    DrawGrid1->SetRowCount(1);
    DrawGrid1->SetEnabled(false);
    if (Edit1->HandleAllocated() && Edit1->Visible()) Edit1->SetFocus();
  }
  DrawGrid1->SetRow(0);
  DrawGrid1->Invalidate();
}

void TSmartKB::Edit1KeyDown(TObject*, WORD& key, TShiftState) {
  switch (key) {
    case VK_RETURN: {
      key = 0;
      if (search_.hitCount > 0) {
        const int row = std::clamp(DrawGrid1->Row(), 0, search_.hitCount - 1);
        const SmartKBHit hit = search_.hits[row];
        HitKind = hit.kind;
        switch (hit.kind) {
          case kSmartKBHitCommand:
            ResultKind = kSmartKBResultCommand;
            ResultIndex = hit.index;
            break;
          case kSmartKBHitFormula: {
            ResultKind = kSmartKBResultAttr;
            std::memset(ResultAttr.paneIndicators[0], 0, sizeof ResultAttr.paneIndicators[0]);
            if (const IndicatorDef* def = sources_->IndicatorAt(hit.index); def != nullptr) {
              std::memcpy(ResultAttr.paneIndicators[0], def->name, sizeof ResultAttr.paneIndicators[0]);
              ResultAttr.paneIndicators[0][sizeof ResultAttr.paneIndicators[0] - 1] = '\0';
            }
            break;
          }
          case kSmartKBHitPage:
            ResultKind = kSmartKBResultPage;
            ResultIndex = hit.index;
            break;
          default: {
            ResultKind = kSmartKBResultAttr;
            const InstrumentRecord& copy = search_.instruments[hit.index];
            ResultAttr.instrument = STKPTR(copy.market, copy.category, copy.index);
            break;
          }
        }
        Accepted = 1;
        SetModalResult(mrOk);
      }
      Edit1->SetText("");
      break;
    }
    case VK_ESCAPE:
      key = 0;
      Accepted = 0;
      SetModalResult(mrCancel);
      break;
    case VK_PRIOR:
    case VK_NEXT:
    case VK_UP:
    case VK_DOWN: {
      const WORD passed = key;
      key = 0;
      DrawGrid1->Perform(WM_KEYDOWN, passed, 0);
      if (passed == VK_UP || passed == VK_DOWN) Edit1->SetSelStart(static_cast<int>(Edit1->Text().size()));
      break;
    }
    default:
      break;
  }
}

void TSmartKB::DrawGrid1DrawCell(TObject*, int col, int row, TRect rect, TGridDrawState state) {
  TCanvas* canvas = DrawGrid1->Canvas();
  const bool selected = (state & (gdSelected | gdFocused)) != 0;
  std::string text;
  TColor color = clBlack;
  if (row >= 0 && row < search_.hitCount) {
    const SmartKBHit hit = search_.hits[row];
    switch (hit.kind) {
      case kSmartKBHitCommand:
        if (const HotKeyRecord* record = sources_->HotKeyAt(hit.index); record != nullptr) {
          text = col == 0 ? Field(record->typedKeys, sizeof record->typedKeys) : Field(record->name, sizeof record->name);
        }
        color = kCommandText;
        break;
      case kSmartKBHitInstrument: {
        const InstrumentRecord& copy = search_.instruments[hit.index];
        text = col == 0 ? Field(copy.code, sizeof copy.code) : Field(copy.name, sizeof copy.name);
        color = kInstrumentText;
        break;
      }
      case kSmartKBHitFormula:
        if (const IndicatorDef* def = sources_->IndicatorAt(hit.index); def != nullptr) {
          text = col == 0 ? Field(def->name, sizeof def->name) : def->description;
        }
        color = kFormulaText;
        break;
      case kSmartKBHitPage: {
        char buffer[64];
        if (col == 0) {
          std::snprintf(buffer, sizeof buffer, ".%d", hit.index);
          text = buffer;
        } else if (hit.index == 0) {
          text = "默认页面";
        } else {
          const char* name = sources_->PageName(hit.index);
          text = std::string("页面:") + (name != nullptr ? name : "");
        }
        color = kPageText;
        break;
      }
      default:
        break;
    }
  } else {
    text = col == 0 ? "    " : "";
  }
  if (col == 0) color = clBlack;
  if (selected) color = kSelectedText;
  canvas->Brush()->SetColor(selected ? kSelectedBack : clWhite);
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Font()->SetColor(color);
  canvas->TextRect(rect, rect.left + 1, rect.top + 1, text);
}

void TSmartKB::DrawGrid1KeyPress(TObject*, char& key) {
  const char typed = key;
  key = 0;
  // The character goes after the text, as if typed there (focusing the input selects it).
  if (Edit1->HandleAllocated() && Edit1->Visible()) Edit1->SetFocus();
  Edit1->SetSelStart(static_cast<int>(Edit1->Text().size()));
  Edit1->Perform(WM_CHAR, static_cast<unsigned char>(typed), 0);
}

void TSmartKB::DrawGrid1DblClick(TObject*) {
  if (!DrawGrid1->Enabled()) return;
  Edit1->Perform(WM_KEYDOWN, VK_RETURN, 0);
}
