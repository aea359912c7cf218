// A text pane's load: a 1 MB GBK text with 500 links loaded from a file into a rich edit with
// link detection on (the information views' case), and the same without detection beside it.
#include "BenchOffscreenMain.h"
#include "BenchInstall.h"

#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/RichEdit.h"
#include "platform/WinUser.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

// About 1 MB of lines of Chinese text with digits, with 500 links spread evenly among them.
std::string SampleText() {
  const std::string line = "公司简介：本公司主营业务为期货经纪，注册资本10000万元，2008年度净利润同比增长35.6%。";
  constexpr std::size_t kTarget = 1 << 20;
  constexpr int kLinks = 500;
  std::string text;
  text.reserve(kTarget + 4096);
  const std::size_t lines = kTarget / (line.size() + 2);
  const std::size_t every = lines / kLinks;
  int links = 0;
  for (std::size_t i = 0; text.size() < kTarget; ++i) {
    text += line;
    if (i % every == 0 && links < kLinks) {
      text += " 详见http://www.example" + std::to_string(links) + ".com.cn/f10/" + std::to_string(i) + ".html。";
      ++links;
    }
    text += "\r\n";
  }
  return text;
}

void BM_LoadWithLinks(benchmark::State& state) {
  benchsupport::BenchInstall install("zuvo-bench-richedit");
  const std::string text = SampleText();
  benchsupport::WriteFile(install.root() / "data" / "f10.txt", text);
  TForm* form = NewForm<TForm>(nullptr);
  form->SetClientWidth(800);
  form->SetClientHeight(600);
  auto* edit = new TRichEdit(form);
  edit->SetBounds(0, 0, 800, 600);
  edit->SetReadOnly(true);
  edit->SetScrollBars(ssVertical);
  edit->SetParent(form);
  form->Show();
  zuvo::platform::ProcessPendingMessages();
  edit->Perform(EM_AUTOURLDETECT, state.range(0) != 0 ? AURL_ENABLEURL : 0, 0);
  edit->Perform(EM_SETEVENTMASK, 0, static_cast<LPARAM>(edit->Perform(EM_GETEVENTMASK) | ENM_LINK));
  for (auto _ : state) {
    if (!edit->LoadFromFile("..\\data\\f10.txt")) state.SkipWithError("load failed");
    zuvo::platform::ProcessPendingMessages();
    state.PauseTiming();
    edit->Clear();
    zuvo::platform::ProcessPendingMessages();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
  TComponent::Free(form);
  zuvo::platform::ProcessPendingMessages();
}

BENCHMARK(BM_LoadWithLinks)->ArgName("detect")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

ZUVO_OFFSCREEN_BENCHMARK_MAIN()
