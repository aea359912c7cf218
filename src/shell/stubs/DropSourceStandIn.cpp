// The quote lists' process-wide drop source.
#include "shell/stubs/DropSourceStandIn.h"

#include <atomic>

CReportViewDropSource* ReportViewDropSource = nullptr;

namespace {
std::atomic<int> liveSources{0};
}  // namespace

CReportViewDropSource::CReportViewDropSource() { ++liveSources; }

CReportViewDropSource::~CReportViewDropSource() { --liveSources; }

int CReportViewDropSource::LiveCount() { return liveSources.load(); }

HRESULT CReportViewDropSource::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_NOINTERFACE;
  if (IsEqualIID(riid, IID_IDropSource) || IsEqualIID(riid, IID_IUnknown)) {
    AddRef();
    *object = static_cast<IDropSource*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CReportViewDropSource::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG CReportViewDropSource::Release() {
  const LONG count = InterlockedDecrement(&references_);
  if (count <= 0) {
    delete this;
    return 0;
  }
  return static_cast<ULONG>(count);
}

HRESULT CReportViewDropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
  if (escapePressed) return DRAGDROP_S_CANCEL;
  if ((keyState & MK_LBUTTON) == 0) return DRAGDROP_S_DROP;
  return S_OK;
}

HRESULT CReportViewDropSource::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }
