#include "platform/Application.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/Sound.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(MessageBoxTest, ScriptedAnswersInOrderAndRecordsTheBoxes) {
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  boxes->Answer(IDNO);
  boxes->Answer(IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "网络故障，与服务器的连接已断开。是否重新连接？  ", "网络错误",
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST),
            IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "b", "确认", MB_YESNOCANCEL), IDCANCEL);
  // Out of answers: the box's default button.
  EXPECT_EQ(MessageBoxA(nullptr, "c", "提示", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "d", nullptr, MB_OK | MB_ICONERROR), IDOK);
  auto shown = boxes->Shown();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].text, "网络故障，与服务器的连接已断开。是否重新连接？  ");
  EXPECT_EQ(shown[0].caption, "\xCD\xF8\xC2\xE7\xB4\xED\xCE\xF3");   // GBK bytes
  EXPECT_EQ(shown[0].buttons, MB_YESNO);
  EXPECT_EQ(shown[0].icon, MB_ICONQUESTION);
  EXPECT_EQ(shown[0].defaultButton, MB_DEFBUTTON2);
  EXPECT_TRUE(shown[0].topMost);
  EXPECT_FALSE(shown[1].topMost);
  EXPECT_EQ(shown[3].caption, "错误");
  EXPECT_EQ(shown[3].icon, MB_ICONERROR);
}

TEST(MessageBoxTest, WorkerBoxIsShownByTheUiThreadWhileTheWorkerWaits) {
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  boxes->Answer(IDRETRY);
  std::atomic<int> answer{0};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    answer = MessageBoxA(nullptr, "内存不足，初始化失败。  ", "错误", MB_RETRYCANCEL | MB_ICONERROR);
    done = true;
  });
  zuvo::platform::AwaitCrossThreadCalls(1);
  EXPECT_FALSE(done);   // its box waits for the UI thread, which has not pumped yet
  EXPECT_EQ(boxes->Count(), 0u);
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return done.load(); }, 5000));
  worker.join();
  EXPECT_EQ(answer.load(), IDRETRY);
  EXPECT_EQ(boxes->Count(), 1u);
}

LRESULT Plain(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

TEST(MessageBoxTest, OwnerIsDisabledWhileTheBoxIsUp) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = Plain;
  wc.lpszClassName = "MessageBoxOwner";
  RegisterClassA(&wc);
  HWND owner = CreateWindowExA(0, "MessageBoxOwner", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  struct Probe : zuvo::platform::MessageBoxService {
    HWND owner;
    bool enabledDuring = true;
    int Show(const zuvo::platform::MessageBoxRequest&) override {
      enabledDuring = IsWindowEnabled(owner) != FALSE;
      return IDOK;
    }
  };
  auto probe = std::make_shared<Probe>();
  probe->owner = owner;
  auto previous = zuvo::platform::SetMessageBoxService(probe);
  EXPECT_EQ(MessageBoxA(owner, "x", "y", MB_OK), IDOK);
  zuvo::platform::SetMessageBoxService(previous);
  EXPECT_FALSE(probe->enabledDuring);
  EXPECT_TRUE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

TEST(MessageBoxTest, DefaultServiceNeverBlocksWithoutAScreen) {
  // Headless runs answer with the default button instead of waiting for a click.
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
}

TEST(SoundTest, BeepsFromAnyThreadGoToTheInstalledSinkAndTheScopeRestoresThePreviousOne) {
  const std::shared_ptr<zuvo::platform::SoundSink> before = zuvo::platform::GetSoundSink();
  {
    zuvo::platform::ScopedRecordedBeeps beeps;
    EXPECT_TRUE(MessageBeep(MB_ICONERROR));
    std::thread([] { EXPECT_TRUE(MessageBeep(MB_OK)); }).join();
    EXPECT_TRUE(MessageBeep(0xFFFFFFFFu));
    EXPECT_EQ(beeps->Beeps(), (std::vector<UINT>{MB_ICONERROR, MB_OK, 0xFFFFFFFFu}));
  }
  EXPECT_EQ(zuvo::platform::GetSoundSink(), before);
}

TEST(SoundTest, DesktopBeepOfAWorkerDoesNotWaitForTheUiThread) {
  ASSERT_TRUE(zuvo::platform::EnsureApplication());   // made by this thread, not by the worker
  zuvo::platform::ProcessPendingMessages();
  // The UI thread is not pumping: a beep that waited for it would never return.
  std::thread([] { EXPECT_TRUE(MessageBeep(MB_ICONWARNING)); }).join();
  EXPECT_EQ(zuvo::platform::CrossThreadCallsWaiting(), 1);   // handed over, sounded when the UI thread looks
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(zuvo::platform::CrossThreadCallsWaiting(), 0);
}

}  // namespace
