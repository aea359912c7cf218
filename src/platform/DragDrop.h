// OLE drag and drop under its Windows names: the interfaces as abstract classes (operations in
// the platform's order, its result codes), data in global memory, the drop-target registry and
// the drag loop.
//
// The program implements the objects (data object, drop source, drop targets); the platform
// only calls them. DoDragDrop runs its own loop on the UI thread: it takes the mouse capture,
// handles the queue with GetMessageA (mouse and key messages are the drag's own and are not
// dispatched; everything else is), and at every pointer move or key change asks the source
// whether to go on, then tells the registered target under the pointer (the window there or its
// nearest registered parent) with DragEnter / DragOver / DragLeave and, at the drop, Drop.
// Points given to targets are screen coordinates.
//
// A text dragged from another program onto a registered window reaches its target the same
// way, with a data object that offers CF_TEXT (GBK in global memory); text GBK cannot hold
// exactly is refused before any target is asked.
//
// The interfaces have no virtual destructor (an object ends itself in Release): declare
// implementations `final` or give them a virtual destructor of their own.
#pragma once

#include "platform/Clipboard.h"   // CF_TEXT
#include "platform/Kernel.h"      // global memory
#include "platform/WinUser.h"

#include <cstdint>
#include <optional>
#include <string>

// ---- Results -----------------------------------------------------------------------------------
using HRESULT = std::int32_t;

constexpr HRESULT MakeHresult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }
constexpr bool SUCCEEDED(HRESULT result) { return result >= 0; }
constexpr bool FAILED(HRESULT result) { return result < 0; }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002);
constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057);
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = MakeHresult(0x80040003);
constexpr HRESULT DV_E_FORMATETC = MakeHresult(0x80040064);
constexpr HRESULT DV_E_TYMED = MakeHresult(0x80040069);
constexpr HRESULT DATA_S_SAMEFORMATETC = MakeHresult(0x00040130);
constexpr HRESULT DRAGDROP_S_DROP = MakeHresult(0x00040100);
constexpr HRESULT DRAGDROP_S_CANCEL = MakeHresult(0x00040101);
constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = MakeHresult(0x00040102);
constexpr HRESULT DRAGDROP_E_NOTREGISTERED = MakeHresult(0x80040100);
constexpr HRESULT DRAGDROP_E_ALREADYREGISTERED = MakeHresult(0x80040101);
constexpr HRESULT DRAGDROP_E_INVALIDHWND = MakeHresult(0x80040102);

// ---- Interface ids -----------------------------------------------------------------------------
struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

constexpr bool IsEqualGUID(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }

constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IDataObject{0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IDropSource{0x00000121, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IDropTarget{0x00000122, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// ---- Data formats and media --------------------------------------------------------------------
using CLIPFORMAT = WORD;

struct DVTARGETDEVICE;   // target devices are never used here: always null

constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD DVASPECT_THUMBNAIL = 2;
constexpr DWORD DVASPECT_ICON = 4;
constexpr DWORD DVASPECT_DOCPRINT = 8;

constexpr DWORD TYMED_NULL = 0;
constexpr DWORD TYMED_HGLOBAL = 1;
constexpr DWORD TYMED_FILE = 2;
constexpr DWORD TYMED_ISTREAM = 4;

struct FORMATETC {
  CLIPFORMAT cfFormat;
  DVTARGETDEVICE* ptd;
  DWORD dwAspect;
  LONG lindex;
  DWORD tymed;   // the media asked for (TYMED_ flags)
};

class IUnknown;

struct STGMEDIUM {
  DWORD tymed;   // the one medium given
  union {
    HGLOBAL hGlobal;
    void* pOther;   // media other than global memory are not carried here
  };
  IUnknown* pUnkForRelease;   // when set, releasing the medium releases it instead of the memory
};

// Frees a medium: releases pUnkForRelease when set, otherwise frees the global memory of a
// TYMED_HGLOBAL medium. The medium is then empty (TYMED_NULL). Null is ignored.
void ReleaseStgMedium(STGMEDIUM* medium);

// ---- Effects and key state -------------------------------------------------------------------
constexpr DWORD DROPEFFECT_NONE = 0;
constexpr DWORD DROPEFFECT_COPY = 1;
constexpr DWORD DROPEFFECT_MOVE = 2;
constexpr DWORD DROPEFFECT_LINK = 4;

// Key state of the drag calls: MK_LBUTTON, MK_RBUTTON, MK_MBUTTON, MK_SHIFT, MK_CONTROL (WinUser.h)
// and Alt.
constexpr DWORD MK_ALT = 0x0020;

struct POINTL {
  LONG x;
  LONG y;
};

// ---- Interfaces ------------------------------------------------------------------------------
class IEnumFORMATETC;   // enumerators and advise sinks are not offered by this platform
class IAdviseSink;
class IEnumSTATDATA;

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IDropSource : public IUnknown {
 public:
  // S_OK to go on, DRAGDROP_S_DROP to drop, DRAGDROP_S_CANCEL (or a failure) to give up.
  virtual HRESULT QueryContinueDrag(BOOL escapePressed, DWORD keyState) = 0;
  // DRAGDROP_S_USEDEFAULTCURSORS lets the platform show the cursor of the effect: the class
  // library's no-drop shape for DROPEFFECT_NONE, its multi-drag shape (the one with the plus)
  // for a copy, its drag shape otherwise.
  virtual HRESULT GiveFeedback(DWORD effect) = 0;

 protected:
  ~IDropSource() = default;
};

class IDataObject : public IUnknown {
 public:
  virtual HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT QueryGetData(FORMATETC* format) = 0;
  virtual HRESULT GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) = 0;
  virtual HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) = 0;
  virtual HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) = 0;
  virtual HRESULT DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) = 0;
  virtual HRESULT DUnadvise(DWORD connection) = 0;
  virtual HRESULT EnumDAdvise(IEnumSTATDATA** enumerator) = 0;

 protected:
  ~IDataObject() = default;
};

// `effect` comes in as the effects the source allows and goes out as the one the target would
// perform there (DROPEFFECT_NONE: no drop here). A failed result counts as DROPEFFECT_NONE.
class IDropTarget : public IUnknown {
 public:
  virtual HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) = 0;
  virtual HRESULT DragOver(DWORD keyState, POINTL point, DWORD* effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) = 0;

 protected:
  ~IDropTarget() = default;
};

// ---- Calls -----------------------------------------------------------------------------------
// Only counted per thread: S_OK the first time on a thread, S_FALSE when already initialised.
HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize();

// Makes the target receive drops on the window (and on its unregistered children) and adds a
// reference to it. E_INVALIDARG for a null target, DRAGDROP_E_INVALIDHWND for a window that is
// not ours, DRAGDROP_E_ALREADYREGISTERED for a window that has one.
HRESULT RegisterDragDrop(HWND window, IDropTarget* target);
// Withdraws the registration and releases the target's reference; the target is never called
// again, not even by a drag running now. DRAGDROP_E_NOTREGISTERED when there is none. A
// window's registration is also withdrawn when the window is destroyed.
HRESULT RevokeDragDrop(HWND window);

// Runs a drag until the source drops or cancels. Returns the source's DRAGDROP_S_DROP or
// DRAGDROP_S_CANCEL (or its failure) with the effect performed in *effect (DROPEFFECT_NONE
// unless a target's Drop succeeded with an allowed effect). A drop where the target last
// answered DROPEFFECT_NONE gives it DragLeave, not Drop. E_INVALIDARG for a null data object,
// source or effect; E_UNEXPECTED off the UI thread or inside a running drag. A WM_QUIT taken
// during the drag cancels it and is posted again for the loop outside.
HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD allowedEffects, DWORD* effect);

namespace zuvo::platform {

// The CF_TEXT of a data object (DVASPECT_CONTENT, TYMED_HGLOBAL): the bytes up to the first zero
// byte, or the whole block when it has none (never past GlobalSize). The medium is released.
// nullopt when the object gives no such text.
std::optional<std::string> DroppedText(IDataObject* data);

}  // namespace zuvo::platform
