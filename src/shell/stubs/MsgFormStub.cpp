// Stand-in news view: the titles of its type from the news index, newest first, and the shown
// text's file name.
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubCommon.h"
#include "shell/stubs/StubViews.h"

#include <cstring>
#include <vector>

namespace {

using stubview::Format;

constexpr int kMaxListed = 200;

class MsgFormStub final : public TMsgForm, public StubRecorder {
 public:
  MsgFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
              EArray<VIEW_ATTR_12>* history, PageNode* node)
      : TMsgForm(owner, source, data, history, node) {
    stubview::InitAttributes(*this, VIEW_NEWS, source);
    RefreshNewsList();
  }
  const char* ClassName() const override { return "TMsgForm"; }

  int ViewNotify(int code, STKPTR instrument, int arg, std::intptr_t extra) override {
    notifications.push_back({code, instrument, arg, extra});
    if (code == VN_TIMER && arg == 0) {
      calls.push_back("PageDown");
    } else if (code == VN_FONTSTEP) {
      stubview::StepFont(textStep, arg);
      Invalidate();
    }
    return 0;
  }

  void RefreshNewsList() override {
    const std::uint32_t selectedId = NewsLineValue(selected_);
    lines_.clear();
    titles_.clear();
    if (NewsIndex.records != nullptr) {
      for (std::uint32_t i = NewsIndex.count; i-- > 0 && static_cast<int>(lines_.size()) < kMaxListed;) {
        const NewsRecord& record = NewsIndex.records[i];
        if (newsType != 0 && (record.categoryAndRead >> 1) != newsType) continue;
        lines_.push_back(record.id);
        titles_.emplace_back(record.title, strnlen(record.title, sizeof record.title));
      }
    }
    selected_ = lines_.empty() ? -1 : 0;
    for (int i = 0; i < NewsLineCount(); ++i)
      if (lines_[static_cast<std::size_t>(i)] == selectedId) selected_ = i;
    calls.push_back("RefreshNewsList");
    Invalidate();
  }

  void ShowNewsText() override {
    calls.push_back("ShowNewsText");
    if (textFileName.empty()) return;
    textPaneVisible = true;
    Invalidate();
  }

  void N8Click(TObject*) override {
    calls.push_back("N8Click");
    textPaneVisible = false;
    Invalidate();
  }

  void MsgShowNewsItem(std::uint32_t category, std::uint32_t newsId) override {
    calls.push_back(Format("MsgShowNewsItem %u %u", category, newsId));
    newsType = category;
    RefreshNewsList();
    for (int i = 0; i < NewsLineCount(); ++i)
      if (lines_[static_cast<std::size_t>(i)] == newsId) selected_ = i;
    textFileName = Format("..\\data\\info\\%08u.txt", newsId);
    ShowNewsText();
  }

  void InsertNewsLine(const std::string& line, std::uint32_t item) override {
    calls.push_back(Format("InsertNewsLine %u ", item) + line);
    lines_.insert(lines_.begin(), item);
    titles_.insert(titles_.begin(), line);
    if (selected_ >= 0) ++selected_;
    Invalidate();
  }

  int NewsLineCount() const override { return static_cast<int>(lines_.size()); }
  std::uint32_t NewsLineValue(int line) const override {
    return line >= 0 && line < NewsLineCount() ? lines_[static_cast<std::size_t>(line)] : 0;
  }
  int SelectedNewsLine() const override { return selected_; }

  void WndProc(TMessage& message) override {
    if (message.Msg == ::MsgShowNewsItem) {
      MsgShowNewsItem(static_cast<std::uint32_t>(message.WParam), static_cast<std::uint32_t>(message.LParam));
      return;
    }
    TMsgForm::WndProc(message);
  }

 protected:
  void Paint() override {
    std::vector<std::string> lines{"新闻画面", Format("%d", VIEW_NEWS), stubview::InstrumentText(attr.instrument)};
    if (textPaneVisible)
      lines.push_back(textFileName);
    else
      lines.insert(lines.end(), titles_.begin(), titles_.end());
    stubview::PaintLines(*this, *this, lines);
  }

 private:
  std::vector<std::uint32_t> lines_;
  std::vector<std::string> titles_;
  int selected_ = -1;
};

}  // namespace

TChildView* MakeMsgFormStub(TMultiViewMain* owner, const VIEW_ATTR_12* source, MVCDATA_12* data,
                            EArray<VIEW_ATTR_12>* history, PageNode* node) {
  return new MsgFormStub(owner, source, data, history, node);
}
