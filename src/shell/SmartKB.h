// The keyboard wizard ("智能键盘"): a small modal tool window that opens when the trader types
// a character anywhere in the main window and lists, while the trader types, everything the
// text can mean: hot-key commands typed as a sequence ("61+ENTER"), indicator formulas by name,
// pages by number (".3") and instruments by code, name, alternative code or pinyin initials.
// Enter takes the selected line, Esc cancels. The main window's message hook shows it and
// carries out the result; the search itself is in SmartKBSearch.h, apart from the form.
#pragma once

#include "data/Records.h"
#include "platform/Form.h"
#include "platform/Grid.h"
#include "shell/SmartKBSearch.h"
#include "shell/ViewTypes.h"

#include <cstdint>


// What the wizard's result says was chosen.
constexpr int kSmartKBResultAttr = 1;      // ResultAttr holds an instrument or indicator name
constexpr int kSmartKBResultPage = 2;      // ResultIndex is a page number
constexpr int kSmartKBResultCommand = 3;   // ResultIndex is a hot-key record index

class TSmartKB : public TForm {
 public:
  // Builds the form (client 151 x 167, Tahoma -12, tool window), an empty ResultAttr, reads the
  // level-2 pinyin table of "..\CFG\SETTING.INI" [PYLEVEL2], clears the counts and Accepted.
  explicit TSmartKB(TComponent* owner);
  ~TSmartKB() override;
  const char* ClassName() const override { return "TSmartKB"; }

  TEdit* Edit1 = nullptr;          // the input, at most 8 characters
  TDrawGrid* DrawGrid1 = nullptr;  // 2 columns, one row per hit

  // The search state over the current text (hits, matched instruments, level-2 table).
  SmartKBSearchState& Search() { return search_; }
  const SmartKBSearchState& Search() const { return search_; }

  // Fills the hits for `text`; true when there is at least one.
  bool SmartKBSearch(const char* text);
  // What the search reads (DefaultSmartKBSources() unless replaced; not owned).
  void SetSources(ISmartKBSources* sources) { sources_ = sources != nullptr ? sources : &DefaultSmartKBSources(); }
  ISmartKBSources& Sources() { return *sources_; }

  // Clears Accepted and runs the form modally under a ModalDialogScope (the caller places it:
  // at the bottom right of the main window).
  TModalResult ShowModal() override;

  // ---- The result, read by the message hook after ShowModal -----------------------------
  std::uint8_t Accepted = 0;       // 1: a line was taken
  int ResultKind = 0;              // kSmartKBResult*
  int HitKind = 0;                 // the chosen hit's kind (kSmartKBHit*)
  int ResultIndex = 0;             // page number or hot-key record index
  // The caller sets ResultAttr.kind (the active view's kind, the wizard's context) before
  // showing; the wizard fills the instrument or the indicator name (paneIndicators[0]).
  VIEW_ATTR_12 ResultAttr;

  // ---- Event handlers --------------------------------------------------------------------
  void Edit1Change(TObject* sender);
  void Edit1KeyDown(TObject* sender, WORD& key, TShiftState shift);
  void DrawGrid1DrawCell(TObject* sender, int col, int row, TRect rect, TGridDrawState state);
  void DrawGrid1KeyPress(TObject* sender, char& key);
  void DrawGrid1DblClick(TObject* sender);

 private:
  SmartKBSearchState search_;
  ISmartKBSources* sources_ = &DefaultSmartKBSources();
};

// The process-wide wizard (owner: the main window), null while there is none.
extern TSmartKB* SmartKB;
