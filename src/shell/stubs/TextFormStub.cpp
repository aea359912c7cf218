// Stand-in company information view: the navigation list it holds, codes 1/8/14/15 and the
// section requests recorded.
#include "shell/NavList.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubCommon.h"
#include "shell/stubs/StubViews.h"

namespace {

using stubview::Format;

class TextFormStub final : public TTextForm, public StubRecorder {
 public:
  TextFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
               EArray<VIEW_ATTR_12>* history, PageNode* node)
      : TTextForm(owner, source, data, history, node) {
    stubview::InitAttributes(*this, VIEW_F10, source);
    // The creator added the reference this view now holds.
    if (source != nullptr) stubview::TakeNavList(navListId, navPosition, *source);
    stubview::ClearNavWords(attr);
  }
  ~TextFormStub() override { navlist::Release(navListId); }
  const char* ClassName() const override { return "TTextForm"; }

  int ViewNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) override {
    notifications.push_back({code, instrument, arg, extra});
    switch (code) {
      case VN_SHOWINSTRUMENT:
        attr.instrument = instrument;
        attr.currentBlock = static_cast<std::uint32_t>(arg);
        if (extra != 0)
          stubview::TakeNavList(navListId, navPosition, *reinterpret_cast<const VIEW_ATTR_12*>(extra));
        Invalidate();
        break;
      case VN_TIMER:
        if (arg == 0) calls.push_back("PageDown");
        break;
      case VN_INFOLINKS:
        if (instrument == attr.instrument) calls.push_back(arg == 1 ? "ReloadSection" : "ReloadLinks");
        break;
      case VN_FONTSTEP:
        stubview::StepFont(textStep, arg);
        Invalidate();
        break;
      default: break;
    }
    return 0;
  }

  void ShowSection(int request) override { calls.push_back(Format("ShowSection %d", request)); }

 protected:
  void Paint() override {
    stubview::PaintLines(*this, *this,
                         {"背景资料", Format("%d", VIEW_F10), stubview::InstrumentText(attr.instrument)});
  }
};

}  // namespace

TChildView* MakeTextFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                             EArray<VIEW_ATTR_12>* history, PageNode* node) {
  return new TextFormStub(owner, source, data, history, node);
}
