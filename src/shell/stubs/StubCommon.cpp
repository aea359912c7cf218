#include "shell/stubs/StubCommon.h"

#include "data/MarketData.h"
#include "data/StkPtr.h"
#include "data/UtilData.h"
#include "platform/Canvas.h"
#include "shell/Cell.h"
#include "shell/NavList.h"
#include "shell/ShellHost.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

bool StubRecorder::Called(const std::string& call) const {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

namespace stubview {

void InitAttributes(TMultiViewChild& view, ViewKind kind, const VIEW_ATTR_12* source) {
  if (source != nullptr)
    view.attr = *source;
  else
    DefaultViewAttr(kind, &view.attr);
  view.attr.kind = kind;
}

void TakeNavList(std::uint32_t& heldId, std::int32_t& position, const VIEW_ATTR_12& record) {
  const std::uint32_t next = record.NavListId();
  const std::uint32_t previous = heldId;
  heldId = navlist::Resolve(next) != nullptr ? next : 0;
  position = heldId != 0 ? record.NavPosition() : 0;
  // Released after taking the new one: the same list handed again keeps the sender's reference.
  navlist::Release(previous);
}

void ClearNavWords(VIEW_ATTR_12& attr) {
  attr.SetNavListId(0);
  attr.SetNavPosition(0);
}

void CollectInstrument(EArray<STKMS>& instruments, STKPTR instrument) {
  if (GetInstrumentRecord(instrument) == nullptr) return;
  IShellHost* host = ShellHost();
  if (host == nullptr || !host->HasMarketRight(instrument.market, instrument.category)) return;
  const STKMS key = StkPtrToStkms(instrument);
  for (int i = 0; i < instruments.GetSize(); ++i)
    if (instruments[i] == key) return;
  instruments.Add(key);
}

std::string InstrumentText(STKPTR instrument) {
  const InstrumentRecord* record = GetInstrumentRecord(instrument);
  if (record == nullptr) return "－";
  return Format("%s %s %s", MarketTables[instrument.market]->record.code, record->code, record->name);
}

void PaintLines(TMultiViewChild& view, StubRecorder& recorder, const std::vector<std::string>& lines) {
  const COLORREF background = ColorTable[0];
  const COLORREF ink = ~background & 0xFFFFFFu;
  TCanvas* canvas = view.Canvas();
  canvas->Brush()->SetColor(static_cast<TColor>(background));
  canvas->FillRect(TRect(0, 0, view.ClientWidth(), view.ClientHeight()));
  canvas->Font()->SetColor(static_cast<TColor>(ink));
  const int lineHeight = std::max<int>(1, canvas->TextExtent("A").cy + 2);
  int y = 4;
  for (const std::string& line : lines) {
    canvas->TextOut(4, y, line);
    y += lineHeight;
  }
  recorder.paintedLines = lines;
  ++recorder.paints;
}

void StepFont(int& step, int arg) {
  step = std::clamp(step + (arg > 0 ? 1 : arg < 0 ? -1 : 0), 0, 10);
}

std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

}  // namespace stubview
