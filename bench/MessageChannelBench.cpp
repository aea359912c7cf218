// Round trips over the message channel's socket, as a started program sees them: it posts to our
// window and our window posts back; it sends a 128-byte WM_COPYDATA and waits for the answer;
// and it asks our window to send it a 128-byte WM_COPYDATA (the messenger's hello, answered with
// the login block). The main thread is the UI thread running its message loop; the benchmarks
// run on a second thread with the stand-ins' client library.
#include "platform/Application.h"
#include "platform/Message.h"
#include "platform/MessageChannel.h"
#include "platform/WinUser.h"

#include "ChannelClient.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

namespace {

constexpr UINT kPing = WM_USER + 1;
constexpr UINT kPong = WM_USER + 2;
constexpr UINT kSendMeABlock = WM_USER + 3;

LRESULT EchoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kPing:
      PostMessageA(reinterpret_cast<HWND>(wParam), kPong, 0, 0);
      return 0;
    case kSendMeABlock: {
      std::string block(128, '\0');
      COPYDATASTRUCT data{0, 128, block.data()};
      SendMessageA(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                   reinterpret_cast<LPARAM>(&data));
      return 0;
    }
    case WM_COPYDATA:
      return 1;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

std::uint64_t gTarget = 0;

struct Client {
  zuvo::channelclient::ChannelClient client;
  std::uint64_t self = 0;
  Client() {
    if (!client.Connect()) std::abort();
    self = client.NewWindow();
  }
};

void BM_PostRoundTrip(benchmark::State& state) {
  Client c;
  for (auto _ : state) {
    c.client.Post(gTarget, kPing, c.self, 0, zuvo::platform::channel::kWParamIsWindow);
    if (!c.client.Receive(5000)) state.SkipWithError("no answer");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PostRoundTrip)->UseRealTime();

void BM_CopyDataSendToUs(benchmark::State& state) {
  Client c;
  const std::string block(128, 'b');
  for (auto _ : state) {
    if (!c.client.SendCopyData(gTarget, c.self, 0, block, 5000)) state.SkipWithError("no answer");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyDataSendToUs)->UseRealTime();

// Includes the post that asks for it: the UI thread's wait for the answer is part of it.
void BM_CopyDataSendFromUs(benchmark::State& state) {
  Client c;
  for (auto _ : state) {
    c.client.Post(gTarget, kSendMeABlock, c.self, 0, zuvo::platform::channel::kWParamIsWindow);
    if (!c.client.Receive(5000)) state.SkipWithError("no block");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyDataSendFromUs)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  using namespace zuvo::platform;
  if (!EnsureApplication()) return 1;
  WNDCLASSA wc{};
  wc.lpfnWndProc = EchoProc;
  wc.lpszClassName = "ChannelBench";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, "ChannelBench", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  gTarget = reinterpret_cast<std::uintptr_t>(window);
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("zuvo-channel-bench-" + std::to_string(std::random_device{}()));
  if (!StartMessageChannel({folder.string()})) return 1;

  benchmark::Initialize(&argc, argv);
  std::thread runner([] {
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PostQuitMessage(0);
  });
  RunMessageLoop();
  runner.join();
  StopMessageChannel();
  std::filesystem::remove_all(folder);
  DestroyWindow(window);
  return 0;
}
