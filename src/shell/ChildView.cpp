// The view base and the three fonts the chart views share.
#include "shell/ChildView.h"

#include "data/UtilData.h"

namespace {

constexpr int kSharedFontCount = 3;
constexpr int kFirstSharedFontEntry = 2;   // FONT03, FONT04, FONT05
constexpr int kBoldStyle = 1;
constexpr int kBoldWeight = 700;
constexpr int kNormalWeight = 400;

HFONT sharedFonts[kSharedFontCount] = {};

}  // namespace

void RebuildSharedViewFonts() {
  for (int i = 0; i < kSharedFontCount; ++i) {
    if (sharedFonts[i] != nullptr) DeleteObject(sharedFonts[i]);
    const FontRecord& entry = FontTable[kFirstSharedFontEntry + i];
    sharedFonts[i] = CreateFontA(entry.height, 0, 0, 0, entry.style == kBoldStyle ? kBoldWeight : kNormalWeight, 0, 0,
                                 0, DEFAULT_CHARSET, 0, 0, 0, FF_SWISS, entry.face);
  }
}

HFONT SharedViewFont(int i) { return i >= 0 && i < kSharedFontCount ? sharedFonts[i] : nullptr; }

TChildView::TChildView(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                       EArray<VIEW_ATTR_12>* cellHistory, PageNode* pageNode)
    : TMultiViewChild(owner, data, cellHistory, pageNode) {
  Font()->SetName("Tahoma");
  Font()->SetHeight(-12);
  // Views offer their own menus, not the empty cell's.
  SetPopupMenu(nullptr);
  RebuildSharedViewFonts();
  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
}

void TChildView::FormClose(TObject* sender, TCloseAction& action) {
  TMultiViewChild::FormClose(sender, action);
  action = caFree;
}
