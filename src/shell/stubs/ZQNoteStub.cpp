// Stand-in notes view: its category, the note asked for, codes 1/8/15.
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubCommon.h"
#include "shell/stubs/StubViews.h"

#include <cstring>

namespace {

using stubview::Format;

class ZQNoteStub final : public TZQNote, public StubRecorder {
 public:
  ZQNoteStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
             EArray<VIEW_ATTR_12>* history, PageNode* node)
      : TZQNote(owner, source, data, history, node) {
    stubview::InitAttributes(*this, VIEW_NOTE, source);
    // A notes view opened for a list names its category as the current block.
    category = static_cast<std::int32_t>(attr.currentBlock);
  }
  const char* ClassName() const override { return "TZQNote"; }

  int ViewNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) override {
    notifications.push_back({code, instrument, arg, extra});
    if (code == VN_SHOWINSTRUMENT && (arg == 0 || arg == 2)) {
      LoadNoteList(arg);
    } else if (code == VN_TIMER && arg == 0) {
      calls.push_back("PageDown");
    } else if (code == VN_FONTSTEP) {
      stubview::StepFont(textStep, arg);
      Invalidate();
    }
    return 0;
  }

  void LoadNoteList(int listCategory) override {
    calls.push_back(Format("LoadNoteList %d", listCategory));
    category = listCategory;
    Invalidate();
  }

  void OpenNote(const NoteRecord& note) override {
    const std::string name(note.fileName, strnlen(note.fileName, sizeof note.fileName));
    calls.push_back("OpenNote " + name);
    rememberedNote = note;
    hasRememberedNote = true;
    textPaneVisible = true;
    Invalidate();
  }

 protected:
  void Paint() override {
    stubview::PaintLines(*this, *this,
                         {"公告", Format("%d", VIEW_NOTE), stubview::InstrumentText(attr.instrument),
                          Format("%d", category)});
  }
};

}  // namespace

TChildView* MakeZQNoteStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                           EArray<VIEW_ATTR_12>* history, PageNode* node) {
  return new ZQNoteStub(owner, source, data, history, node);
}
