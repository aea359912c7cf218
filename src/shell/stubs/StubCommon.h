// What the stand-in views share: attributes from a source record or the kind's defaults, the
// navigation list taken over from a record, instruments collected with rights and without
// duplicates, and the painting of a few lines of text on COLOR01 in its inverse colour.
#pragma once

#include "core/EArray.h"
#include "data/Records.h"
#include "shell/ViewTypes.h"
#include "shell/stubs/StubViews.h"

#include <cstdint>
#include <string>
#include <vector>

class TMultiViewChild;

namespace stubview {

// The view's attributes: a copy of `source`, or DefaultViewAttr of `kind`; the kind is `kind`
// either way.
void InitAttributes(TMultiViewChild& view, ViewKind kind, const VIEW_ATTR_12* source);

// Takes over the navigation list a record carries (its sender added the reference the view now
// holds) and drops one reference of the list held before. A stale or absent id leaves no list.
void TakeNavList(std::uint32_t& heldId, std::int32_t& position, const VIEW_ATTR_12& record);

// Clears the navigation list words of a view's own attribute copy: the view keeps the list in
// its fields, and a copy of the record must not look like a second holder.
void ClearNavWords(VIEW_ATTR_12& attr);

// Adds the instrument's key when it names an instrument of the tables, the host grants its
// market category and the list does not hold it yet. No host: nothing is granted.
void CollectInstrument(EArray<STKMS>& instruments, STKPTR instrument);

// "<market code> <code> <name>", or "－" when the reference does not resolve.
std::string InstrumentText(STKPTR instrument);

// Fills the view with COLOR01 and draws the lines top-down in its inverse colour; the lines
// are kept in recorder.paintedLines.
void PaintLines(TMultiViewChild& view, StubRecorder& recorder, const std::vector<std::string>& lines);

// Common handling of code 15: the step moves by arg within 0..10.
void StepFont(int& step, int arg);

std::string Format(const char* format, ...);

}  // namespace stubview
