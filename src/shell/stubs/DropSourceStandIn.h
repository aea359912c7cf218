// The drag source of the quote lists: one process-wide OLE drop source that every drag of
// quote-list rows hands to DoDragDrop. The entry makes it after OLE is initialised and releases
// it after the message loop. It lives here until the quote list's drag and drop objects land.
#pragma once

#include "platform/DragDrop.h"

class CReportViewDropSource final : public IDropSource {
 public:
  CReportViewDropSource();   // reference count 1

  // IID_IDropSource and IID_IUnknown add a reference; anything else is E_NOINTERFACE.
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  // The object deletes itself when the count reaches 0 or less.
  ULONG Release() override;
  // Escape: cancel; left button no longer down: drop; otherwise go on.
  HRESULT QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
  HRESULT GiveFeedback(DWORD effect) override;

  // How many of these objects exist now (for tests of who makes and releases them).
  static int LiveCount();

 private:
  ~CReportViewDropSource();
  volatile LONG references_ = 1;
};

// The process-wide drag source; null before the entry made it and after it released it.
extern CReportViewDropSource* ReportViewDropSource;
