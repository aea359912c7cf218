#include "LoggingWindowProc.h"
#include "platform/Application.h"
#include "platform/DrivenClock.h"
#include "platform/Files.h"
#include "platform/Input.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

using platformtest::handler;
using platformtest::Logged;
using platformtest::messageLog;

const char* TestClass() {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = platformtest::LoggingWindowProc;
    wc.lpszClassName = "PlatformTestWindow";
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return "PlatformTestWindow";
}

// Every test runs on a driven clock: timers fire, and timed waits end, exactly when the test
// moves it.
class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    messageLog.clear();
    handler = nullptr;
  }
  void TearDown() override {
    for (HWND w : created_) DestroyWindow(w);
    zuvo::platform::ProcessPendingMessages();
    handler = nullptr;
    messageLog.clear();
  }
  HWND Make(DWORD style = WS_POPUP | WS_VISIBLE, HWND parent = nullptr, int w = 100, int h = 50,
            void* param = nullptr) {
    HWND window = CreateWindowExA(0, TestClass(), "t", style, 10, 20, w, h, parent, nullptr, nullptr, param);
    if ((style & WS_CHILD) == 0) created_.push_back(window);
    return window;
  }
  // Messages of one kind received by a window, in order.
  static std::vector<UINT> Received(HWND window, std::initializer_list<UINT> kinds) {
    std::vector<UINT> out;
    for (const Logged& l : messageLog) {
      if (l.window != window) continue;
      for (UINT k : kinds) {
        if (l.message == k) out.push_back(k);
      }
    }
    return out;
  }
  std::vector<HWND> created_;
  zuvo::platform::ScopedDrivenClock clock_;
};

TEST_F(WindowTest, CreationSendsMessagesInOrderWithTheCreationParameter) {
  int tag = 42;
  void* seenParam = nullptr;
  handler = [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_CREATE) seenParam = reinterpret_cast<CREATESTRUCTA*>(l)->lpCreateParams;
    return std::nullopt;
  };
  HWND w = Make(WS_POPUP, nullptr, 300, 20, &tag);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(seenParam, &tag);
  EXPECT_EQ(Received(w, {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}),
            (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
  auto size = std::find_if(messageLog.begin(), messageLog.end(), [](const Logged& l) { return l.message == WM_SIZE; });
  EXPECT_EQ(LOWORD(static_cast<DWORD_PTR>(size->lParam)), 300);
  EXPECT_EQ(HIWORD(static_cast<DWORD_PTR>(size->lParam)), 20);
  RECT client;
  ASSERT_TRUE(GetClientRect(w, &client));
  EXPECT_EQ(client.right, 300);
  EXPECT_EQ(client.bottom, 20);
}

TEST_F(WindowTest, RefusedCreationReturnsNullAndLeavesNoWindow) {
  HWND seen = nullptr;
  handler = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_CREATE) {
      seen = h;
      return -1;
    }
    return std::nullopt;
  };
  EXPECT_EQ(Make(), nullptr);
  ASSERT_NE(seen, nullptr);
  EXPECT_FALSE(IsWindow(seen));
  EXPECT_EQ(Received(seen, {WM_DESTROY, WM_NCDESTROY}), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(Make(WS_CHILD, reinterpret_cast<HWND>(0x7777)), nullptr);
}

TEST_F(WindowTest, DestroyingAParentDestroysChildrenFirstAndNcDestroyComesLast) {
  HWND parent = Make();
  HWND child = Make(WS_CHILD | WS_VISIBLE, parent);
  HWND grandchild = Make(WS_CHILD | WS_VISIBLE, child);
  HWND owned = Make(WS_POPUP, parent);
  messageLog.clear();
  bool parentAliveDuringNcDestroy = false;
  handler = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (h == parent && m == WM_NCDESTROY) parentAliveDuringNcDestroy = IsWindow(parent) != FALSE;
    return std::nullopt;
  };
  ASSERT_TRUE(DestroyWindow(parent));
  std::vector<std::pair<HWND, UINT>> order;
  for (const Logged& l : messageLog) {
    if (l.message == WM_DESTROY || l.message == WM_NCDESTROY) order.emplace_back(l.window, l.message);
  }
  std::vector<std::pair<HWND, UINT>> expected = {
      {owned, WM_DESTROY},       {owned, WM_NCDESTROY},     {parent, WM_DESTROY},
      {child, WM_DESTROY},       {grandchild, WM_DESTROY},  {grandchild, WM_NCDESTROY},
      {child, WM_NCDESTROY},     {parent, WM_NCDESTROY}};
  EXPECT_EQ(order, expected);
  EXPECT_TRUE(parentAliveDuringNcDestroy);
  for (HWND h : {parent, child, grandchild, owned}) EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(parent));
}

TEST_F(WindowTest, ClosingWithTheCloseBoxDestroysTheWindowSafely) {
  // The close box sends WM_CLOSE from inside the window's own widget event, so the window is
  // destroyed under it: by default processing, or by a handler that then runs a nested loop
  // (as one showing a message box would) while that event is still on the stack.
  for (bool pumpInsideTheHandler : {false, true}) {
    HWND w = Make();
    zuvo::platform::ProcessPendingMessages();
    handler = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
      if (m != WM_CLOSE || !pumpInsideTheHandler) return std::nullopt;
      DestroyWindow(h);
      zuvo::platform::ProcessPendingMessages();
      return 0;
    };
    messageLog.clear();
    ASSERT_TRUE(zuvo::platform::SimulateCloseRequest(w));
    zuvo::platform::ProcessPendingMessages();
    zuvo::platform::ProcessPendingMessages();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(Received(w, {WM_CLOSE, WM_DESTROY, WM_NCDESTROY}),
              (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    handler = nullptr;
  }
}

TEST_F(WindowTest, CallsOnDeadOrUnknownHandlesDoNothing) {
  HWND w = Make();
  DestroyWindow(w);
  HWND unknown = reinterpret_cast<HWND>(0x12345678);
  for (HWND h : {w, unknown}) {
    messageLog.clear();
    EXPECT_EQ(SendMessageA(h, WM_USER, 1, 2), 0);
    EXPECT_FALSE(PostMessageA(h, WM_USER, 1, 2));
    RECT r;
    EXPECT_FALSE(GetClientRect(h, &r));
    EXPECT_FALSE(ShowWindow(h, SW_SHOW));
    EXPECT_FALSE(InvalidateRect(h, nullptr, TRUE));
    EXPECT_EQ(GetDC(h), nullptr);
    EXPECT_EQ(SetTimer(h, 1, 10, nullptr), 0u);
    EXPECT_TRUE(messageLog.empty());
  }
}

TEST_F(WindowTest, SendIsReentrantAcrossWindows) {
  HWND a = Make();
  HWND b = Make();
  std::vector<std::string> trace;
  handler = [&](HWND h, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_USER) return std::nullopt;
    std::string entry = h == a ? "a" : "b";
    entry += std::to_string(w);
    trace.push_back(entry);
    if (h == a && w == 1) return 10 + SendMessageA(b, WM_USER, 2, 0);
    if (h == b && w == 2) return 20 + SendMessageA(a, WM_USER, 3, 0);
    return 3;
  };
  EXPECT_EQ(SendMessageA(a, WM_USER, 1, 0), 33);
  EXPECT_EQ(trace, (std::vector<std::string>{"a1", "b2", "a3"}));
}

TEST_F(WindowTest, SendFromWorkerBlocksUntilTheUiThreadHandledIt) {
  HWND w = Make();
  std::atomic<bool> handled{false};
  std::atomic<bool> workerDone{false};
  std::atomic<LRESULT> result{0};
  std::thread::id handlerThread;
  handler = [&](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_USER + 5) return std::nullopt;
    handlerThread = std::this_thread::get_id();
    EXPECT_FALSE(workerDone.load());
    handled = true;
    return static_cast<LRESULT>(wp * 2);
  };
  std::thread worker([&] {
    result = SendMessageA(w, WM_USER + 5, 21, 0);
    workerDone = true;
  });
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return workerDone.load(); }, 5000));
  worker.join();
  EXPECT_TRUE(handled);
  EXPECT_EQ(result.load(), 42);
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TEST_F(WindowTest, WorkerSendToAWindowDestroyedBeforeDeliveryReturnsZero) {
  HWND w = Make();
  std::atomic<bool> done{false};
  std::atomic<LRESULT> result{-1};
  std::thread worker([&] {
    result = SendMessageA(w, WM_USER, 0, 0);
    done = true;
  });
  // Destroy while the worker's message waits; it must wake with 0, not hang.
  zuvo::platform::AwaitCrossThreadCalls(1);
  DestroyWindow(w);
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return done.load(); }, 5000));
  worker.join();
  EXPECT_EQ(result.load(), 0);
}

// A worker started through the kernel layer, so that the UI thread can wait for it with the
// kernel's waits. Its body runs the given function.
struct Worker {
  explicit Worker(std::function<void()> body) : body_(std::move(body)) {
    handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Worker::Run, this, 0, nullptr));
  }
  ~Worker() {
    // Handles what the worker still sends, so that a failing test cannot hang here.
    zuvo::platform::WaitHandlingSentMessages(handle_, INFINITE);
    CloseHandle(handle_);
  }
  HANDLE handle() const { return handle_; }
  static unsigned Run(void* self) {
    static_cast<Worker*>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  HANDLE handle_ = nullptr;
};

TEST_F(WindowTest, DestroyingTheTargetReleasesAWaitingSenderWithoutPumping) {
  // The login dialog pattern: the UI thread destroys the dialog, then waits (without pumping)
  // for the worker that is blocked sending progress to it.
  HWND w = Make();
  std::atomic<LRESULT> result{-1};
  Worker worker([&] { result = SendMessageA(w, WM_USER, 0, 0); });
  zuvo::platform::AwaitCrossThreadCalls(1);
  DestroyWindow(w);
  EXPECT_EQ(WaitForSingleObject(worker.handle(), INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(result.load(), 0);
  EXPECT_TRUE(Received(w, {WM_USER}).empty());
}

TEST_F(WindowTest, SendersRacingTheDestructionOfTheirWindowAllReturn) {
  // Workers keep sending while the UI thread handles some of it and then destroys the window at
  // an arbitrary moment; afterwards it waits without pumping. Every sender must come back.
  for (int round = 0; round < 5; ++round) {
    HWND w = Make();
    std::atomic<int> handled{0};
    handler = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
      if (h == w && m == WM_USER) ++handled;
      return std::nullopt;
    };
    std::vector<std::unique_ptr<Worker>> workers;
    for (int t = 0; t < 3; ++t) {
      workers.push_back(std::make_unique<Worker>([w] {
        while (IsWindow(w)) SendMessageA(w, WM_USER, 0, 0);
        SendMessageA(w, WM_USER, 0, 0);
      }));
    }
    zuvo::platform::PumpMessagesUntil([&] { return handled.load() >= 20 * (round + 1); }, 5000);
    DestroyWindow(w);
    for (auto& worker : workers) EXPECT_EQ(WaitForSingleObject(worker->handle(), INFINITE), WAIT_OBJECT_0);
    workers.clear();
    handler = nullptr;
  }
}

TEST_F(WindowTest, UiThreadWaitingForAWorkerHandlesItsSendsOnlyInAMessageWait) {
  HWND w = Make();
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  boxes->Answer(IDYES);
  std::atomic<LRESULT> sendResult{0};
  std::atomic<int> boxAnswer{0};
  std::atomic<bool> sent{false};
  handler = [&](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_USER + 7) return static_cast<LRESULT>(wp + 1);
    return std::nullopt;
  };
  PostMessageA(w, WM_USER + 8, 0, 0);
  {
    Worker worker([&] {
      sendResult = SendMessageA(w, WM_USER + 7, 41, 0);
      sent = true;
      boxAnswer = MessageBoxA(w, "x", "y", MB_YESNO);
    });
    zuvo::platform::AwaitCrossThreadCalls(1);
    // A plain wait handles nothing, as on Windows: it can only time out (the clock is driven past
    // its timeout from another thread once it waits).
    std::thread driver([&] {
      clock_.AwaitWaitingThreads(1);
      clock_.Advance(50);
    });
    EXPECT_EQ(WaitForSingleObject(worker.handle(), 50), WAIT_TIMEOUT);
    driver.join();
    EXPECT_FALSE(sent);
    EXPECT_EQ(zuvo::platform::CrossThreadCallsWaiting(), 1);
    // A wait that handles sent messages lets the worker's send and box through, and nothing else.
    EXPECT_EQ(zuvo::platform::WaitHandlingSentMessages(worker.handle(), INFINITE), WAIT_OBJECT_0);
  }
  EXPECT_EQ(sendResult.load(), 42);
  EXPECT_EQ(boxAnswer.load(), IDYES);
  EXPECT_EQ(boxes->Count(), 1u);
  EXPECT_TRUE(Received(w, {WM_USER + 8}).empty());   // the posted message still waits
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(Received(w, {WM_USER + 8}).size(), 1u);
}

TEST_F(WindowTest, WorkerPostsQuitAndInvalidatesWithoutWaitingForTheUiThread) {
  HWND w = Make();
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
  {
    Worker worker([&] {
      EXPECT_TRUE(InvalidateRect(w, nullptr, FALSE));
      PostQuitMessage(5);
      MSG msg;
      EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), -1);   // a worker has no queue
      EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    });
    // The UI thread does not pump while it waits.
    ASSERT_EQ(WaitForSingleObject(worker.handle(), INFINITE), WAIT_OBJECT_0);
  }
  // Both take effect once the UI thread looks at its queue (the quit before painting).
  MSG msg;
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 5u);
  RECT update;
  EXPECT_TRUE(GetUpdateRect(w, &update, FALSE));
}

TEST_F(WindowTest, WindowCallsOfAWorkerAreHandledByTheUiThread) {
  // A worker creates, shows, moves, names and times a window, then destroys it; each call is
  // handed to the UI thread and the worker waits for its result. The UI thread checks the window
  // between the two halves. (The application is made here first: the thread that makes it is
  // the UI thread.)
  ASSERT_TRUE(zuvo::platform::EnsureApplication());
  TestClass();
  const std::thread::id uiThread = std::this_thread::get_id();
  std::vector<std::pair<UINT, std::thread::id>> handledOn;
  bool inSendDuringSetText = false;
  handler = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    handledOn.emplace_back(m, std::this_thread::get_id());
    if (m == WM_SETTEXT) inSendDuringSetText = InSendMessage() != FALSE;
    return std::nullopt;
  };
  HANDLE made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE goOn = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<HWND> window{nullptr};
  BOOL shown = FALSE, moved = FALSE, named = FALSE, destroyed = FALSE, killed = FALSE;
  UINT_PTR timer = 0;
  BOOL workerInSend = TRUE;
  {
    Worker worker([&] {
      HWND w = CreateWindowExA(0, "PlatformTestWindow", "t", WS_POPUP, 0, 0, 40, 30, nullptr, nullptr, nullptr,
                               nullptr);
      window = w;
      shown = ShowWindow(w, SW_SHOW) == FALSE;   // FALSE: it was hidden before
      moved = MoveWindow(w, 7, 8, 90, 60, TRUE);
      named = SetWindowTextA(w, "行情");
      timer = SetTimer(w, 3, 100, nullptr);
      workerInSend = InSendMessage();
      SetEvent(made);
      WaitForSingleObject(goOn, INFINITE);
      killed = KillTimer(w, 3);
      destroyed = DestroyWindow(w);
    });
    // Expectations only until goOn is set: the worker waits for it.
    EXPECT_EQ(zuvo::platform::WaitHandlingSentMessages(made, INFINITE), WAIT_OBJECT_0);
    HWND w = window;
    EXPECT_TRUE(IsWindow(w));
    EXPECT_TRUE(shown);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_TRUE(moved);
    RECT r{};
    EXPECT_TRUE(GetWindowRect(w, &r));
    EXPECT_EQ(r.left, 7);
    EXPECT_EQ(r.top, 8);
    EXPECT_EQ(r.right - r.left, 90);
    EXPECT_TRUE(named);
    char text[8] = {};
    EXPECT_EQ(GetWindowTextA(w, text, sizeof text), 4);
    EXPECT_STREQ(text, "行情");
    EXPECT_TRUE(inSendDuringSetText);   // the worker's send is being handled
    EXPECT_FALSE(workerInSend);         // a worker has no queue to be inside a send of
    EXPECT_EQ(timer, 3u);
    clock_.FastForward(100);
    EXPECT_EQ(Received(w, {WM_TIMER}).size(), 1u);
    SetEvent(goOn);
    EXPECT_EQ(zuvo::platform::WaitHandlingSentMessages(worker.handle(), INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(killed);
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(Received(w, {WM_CREATE, WM_SHOWWINDOW, WM_MOVE, WM_SETTEXT, WM_DESTROY, WM_NCDESTROY}),
              (std::vector<UINT>{WM_CREATE, WM_MOVE, WM_SHOWWINDOW, WM_MOVE, WM_SETTEXT, WM_DESTROY, WM_NCDESTROY}));
  }
  for (const auto& [message, thread] : handledOn) {
    SCOPED_TRACE(message);
    EXPECT_EQ(thread, uiThread);
  }
  CloseHandle(made);
  CloseHandle(goOn);
}

TEST_F(WindowTest, InSendMessageAndGetMessageTimeAnswerForTheCallingThread) {
  // A worker has no queue: it is never inside a sent message and has no message time, even while
  // the UI thread is inside one a worker sent.
  HWND w = Make();
  PostMessageA(w, WM_USER + 2, 0, 0);
  zuvo::platform::ProcessPendingMessages();
  const DWORD uiTime = GetMessageTime();
  EXPECT_NE(uiTime, 0u);
  BOOL uiInSend = FALSE;
  std::atomic<BOOL> otherInSend{TRUE};
  std::atomic<DWORD> otherTime{1};
  handler = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_USER + 3) return std::nullopt;
    uiInSend = InSendMessage();
    Worker other([&] {
      otherInSend = InSendMessage();
      otherTime = GetMessageTime();
    });
    return 0;
  };
  {
    Worker sender([&] { SendMessageA(w, WM_USER + 3, 0, 0); });
    EXPECT_EQ(zuvo::platform::WaitHandlingSentMessages(sender.handle(), INFINITE), WAIT_OBJECT_0);
  }
  EXPECT_TRUE(uiInSend);
  EXPECT_FALSE(otherInSend);
  EXPECT_EQ(otherTime.load(), 0u);
  EXPECT_FALSE(InSendMessage());
  EXPECT_EQ(GetMessageTime(), uiTime);
}

TEST_F(WindowTest, PostedMessagesComeInOrderAfterTheCurrentHandler) {
  HWND w = Make();
  std::vector<WPARAM> order;
  handler = [&](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_USER) return std::nullopt;
    order.push_back(wp);
    if (wp == 1) {
      PostMessageA(w, WM_USER, 3, 0);
      order.push_back(100);   // the post is not handled inside this handler
    }
    return 0;
  };
  PostMessageA(w, WM_USER, 1, 0);
  PostMessageA(w, WM_USER, 2, 0);
  zuvo::platform::PumpMessagesUntil([&] { return order.size() >= 4; }, 2000);
  EXPECT_EQ(order, (std::vector<WPARAM>{1, 100, 2, 3}));
}

TEST_F(WindowTest, PostsToAWindowDestroyedBeforeDeliveryAreDropped) {
  HWND doomed = Make();
  HWND other = Make();
  PostMessageA(doomed, WM_USER, 1, 0);
  PostMessageA(other, WM_USER, 2, 0);
  DestroyWindow(doomed);
  messageLog.clear();
  zuvo::platform::PumpMessagesUntil([&] { return !Received(other, {WM_USER}).empty(); }, 2000);
  EXPECT_TRUE(Received(doomed, {WM_USER}).empty());
  EXPECT_EQ(Received(other, {WM_USER}).size(), 1u);
}

TEST_F(WindowTest, PostsFromManyWorkersAllArrive) {
  HWND w = Make();
  int count = 0;
  handler = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_USER) ++count;
    return std::nullopt;
  };
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < 250; ++i) PostMessageA(w, WM_USER, 0, 0);
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return count == 1000; }, 5000));
}

TEST_F(WindowTest, TimerKeepsAtMostOneMessageWaiting) {
  HWND w = Make();
  ASSERT_EQ(SetTimer(w, 7, 10, nullptr), 7u);
  // Six intervals pass while the UI thread is busy: one WM_TIMER waits, not six.
  clock_.Advance(60);
  MSG msg;
  int timers = 0;
  while (PeekMessageA(&msg, w, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    ++timers;
    EXPECT_EQ(msg.wParam, 7u);
  }
  EXPECT_EQ(timers, 1);
  // Due again one interval after it fired; it keeps firing while pumped, and stops after KillTimer.
  messageLog.clear();
  clock_.FastForward(20);
  EXPECT_EQ(Received(w, {WM_TIMER}).size(), 2u);
  EXPECT_TRUE(KillTimer(w, 7));
  EXPECT_FALSE(KillTimer(w, 7));
  messageLog.clear();
  clock_.FastForward(100);
  EXPECT_TRUE(Received(w, {WM_TIMER}).empty());
}

std::vector<DWORD> timerProcTicks;
void RecordTimerProc(HWND, UINT message, UINT_PTR, DWORD ticks) {
  if (message == WM_TIMER) timerProcTicks.push_back(ticks);
}

TEST_F(WindowTest, TimersFireAtTheirIntervalsAsTheClockIsDriven) {
  // The main window's pair: a 30 ms timer and a one-second timer that calls its procedure.
  HWND w = Make();
  ASSERT_EQ(SetTimer(w, 1, 30, nullptr), 1u);
  timerProcTicks.clear();
  const UINT_PTR threadTimer = SetTimer(nullptr, 0, 1000, RecordTimerProc);
  ASSERT_NE(threadTimer, 0u);
  const DWORD start = GetTickCount();
  messageLog.clear();
  clock_.FastForward(29);
  EXPECT_TRUE(Received(w, {WM_TIMER}).empty());
  clock_.FastForward(1);
  EXPECT_EQ(Received(w, {WM_TIMER}).size(), 1u);
  clock_.FastForward(3000 - 30);
  EXPECT_EQ(Received(w, {WM_TIMER}).size(), 100u);
  EXPECT_EQ(timerProcTicks, (std::vector<DWORD>{start + 1000, start + 2000, start + 3000}));
  // A timer set again starts its interval afresh.
  ASSERT_EQ(SetTimer(w, 1, 500, nullptr), 1u);
  messageLog.clear();
  clock_.FastForward(499);
  EXPECT_TRUE(Received(w, {WM_TIMER}).empty());
  clock_.FastForward(1);
  EXPECT_EQ(Received(w, {WM_TIMER}).size(), 1u);
  EXPECT_TRUE(KillTimer(nullptr, threadTimer));
  EXPECT_TRUE(KillTimer(w, 1));
}

TEST_F(WindowTest, TimerOfADestroyedWindowStops) {
  HWND w = Make();
  ASSERT_EQ(SetTimer(w, 1, 10, nullptr), 1u);
  clock_.FastForward(10);
  EXPECT_EQ(Received(w, {WM_TIMER}).size(), 1u);   // it did fire while the window lived
  clock_.Advance(10);                               // and one more is due, not yet handled
  DestroyWindow(w);
  messageLog.clear();
  clock_.FastForward(100);
  EXPECT_TRUE(messageLog.empty());
}

TEST(SystemClockTimerTest, ADueTimerWakesAWaitingGetMessage) {
  // The one timer test on the system's clock: with no driven clock, the queue's own Qt timer has
  // to wake the UI thread out of its event wait when a timer falls due. It waits for the message,
  // never for a length of time.
  HWND w = CreateWindowExA(0, TestClass(), "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(SetTimer(w, 9, 10, nullptr), 9u);
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, w, WM_TIMER, WM_TIMER), TRUE);
  EXPECT_EQ(msg.hwnd, w);
  EXPECT_EQ(msg.wParam, 9u);
  EXPECT_TRUE(KillTimer(w, 9));
  DestroyWindow(w);
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
}

TEST(MessageQueueOwnershipTest, PumpingFromAWorkerStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The queue's retrieval state belongs to the UI thread: a worker that pumped would race it.
  EXPECT_DEATH(
      {
        zuvo::platform::EnsureApplication();
        std::thread([] { zuvo::platform::ProcessPendingMessages(); }).join();
      },
      "message queue's UI-thread state touched off the UI thread");
}

TEST_F(WindowTest, HooksSeeQueuedMessagesBeforeDispatchAndMayConsumeThem) {
  HWND w = Make();
  std::vector<UINT> hooked;
  int id = zuvo::platform::AddMessageHook([&](MSG& m) {
    if (m.hwnd != w) return false;
    hooked.push_back(m.message);
    return m.message == WM_USER + 1;   // consumed
  });
  SendMessageA(w, WM_USER + 9, 0, 0);   // sent messages bypass the hooks
  PostMessageA(w, WM_USER + 1, 0, 0);
  PostMessageA(w, WM_USER + 2, 0, 0);
  zuvo::platform::PumpMessagesUntil([&] { return !Received(w, {WM_USER + 2}).empty(); }, 2000);
  zuvo::platform::RemoveMessageHook(id);
  EXPECT_EQ(std::count(hooked.begin(), hooked.end(), WM_USER + 9), 0);
  EXPECT_EQ(std::count(hooked.begin(), hooked.end(), WM_USER + 1), 1);
  EXPECT_TRUE(Received(w, {WM_USER + 1}).empty());
  EXPECT_EQ(Received(w, {WM_USER + 2}).size(), 1u);
}

TEST_F(WindowTest, GetMessageEndsOnQuitAfterEarlierPosts) {
  HWND w = Make();
  zuvo::platform::ProcessPendingMessages();
  PostMessageA(w, WM_USER, 1, 0);
  PostQuitMessage(3);
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, WM_USER, WM_USER));
  EXPECT_EQ(msg.message, WM_USER);
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(WindowTest, InvalidWindowGetsOnePaintWhenTheQueueIsEmpty) {
  HWND w = Make();
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
  RECT part{5, 5, 20, 10};
  InvalidateRect(w, &part, FALSE);
  InvalidateRect(w, &part, FALSE);
  RECT update;
  EXPECT_TRUE(GetUpdateRect(w, &update, FALSE));
  zuvo::platform::ProcessPendingMessages();
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(Received(w, {WM_PAINT}).size(), 1u);
  EXPECT_FALSE(GetUpdateRect(w, &update, FALSE));
  // Hidden windows are not painted until shown.
  ShowWindow(w, SW_HIDE);
  InvalidateRect(w, nullptr, TRUE);
  messageLog.clear();
  zuvo::platform::ProcessPendingMessages();
  EXPECT_TRUE(Received(w, {WM_PAINT}).empty());
}

TEST_F(WindowTest, RedrawWithUpdateNowPaintsAtOnceAndErases) {
  HWND w = Make();
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  EXPECT_EQ(Received(w, {WM_PAINT, WM_ERASEBKGND}), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
}

TEST_F(WindowTest, GeometryAndCoordinates) {
  HWND parent = Make(WS_POPUP | WS_VISIBLE, nullptr, 200, 200);
  HWND child = Make(WS_CHILD | WS_VISIBLE, parent, 50, 40);
  POINT p{1, 2};
  ClientToScreen(child, &p);
  EXPECT_EQ(p.x, 10 + 10 + 1);
  EXPECT_EQ(p.y, 20 + 20 + 2);
  ScreenToClient(parent, &p);
  EXPECT_EQ(p.x, 11);
  EXPECT_EQ(p.y, 22);
  messageLog.clear();
  MoveWindow(child, 5, 6, 70, 30, TRUE);
  EXPECT_EQ(Received(child, {WM_MOVE, WM_SIZE}), (std::vector<UINT>{WM_MOVE, WM_SIZE}));
  RECT r;
  GetWindowRect(child, &r);
  EXPECT_EQ(r.left, 15);
  EXPECT_EQ(r.right - r.left, 70);
  EXPECT_EQ(GetParent(child), parent);
  EXPECT_TRUE(IsChild(parent, child));
  EXPECT_EQ(GetWindow(parent, GW_CHILD), child);
}

TEST_F(WindowTest, TextFocusEnableAndCapture) {
  HWND w = Make();
  HWND child = Make(WS_CHILD | WS_VISIBLE, w);
  SetWindowTextA(w, "行情");
  char buffer[3];
  EXPECT_EQ(GetWindowTextA(w, buffer, sizeof buffer), 2);   // truncated, zero-terminated
  EXPECT_STREQ(buffer, "\xD0\xD0");
  EXPECT_EQ(GetWindowTextLengthA(w), 4);

  SetFocus(w);
  messageLog.clear();
  EXPECT_EQ(SetFocus(child), w);
  EXPECT_EQ(GetFocus(), child);
  EXPECT_EQ(Received(w, {WM_KILLFOCUS}).size(), 1u);
  EXPECT_EQ(Received(child, {WM_SETFOCUS}).size(), 1u);
  EnableWindow(child, FALSE);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(SetFocus(child), nullptr);   // a disabled window takes no focus

  SetCapture(w);
  EXPECT_EQ(GetCapture(), w);
  messageLog.clear();
  ReleaseCapture();
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(Received(w, {WM_CAPTURECHANGED}).size(), 1u);
}

TEST_F(WindowTest, KeysBecomeVirtualKeyMessagesWithGbkCharacters) {
  HWND w = Make();
  SetFocus(w);
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
  SHORT ctrlInHandler = 0;
  handler = [&](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_KEYDOWN && wp == 'S') ctrlInHandler = GetKeyState(VK_CONTROL);
    return std::nullopt;
  };
  zuvo::platform::SimulateKey(w, 'A', true, 0, "a");
  zuvo::platform::SimulateKey(w, 'A', false, 0);
  zuvo::platform::SimulateKey(w, VK_F3, true, 0);
  zuvo::platform::SimulateKey(w, VK_CONTROL, true, MK_CONTROL);
  zuvo::platform::SimulateKey(w, 'S', true, MK_CONTROL, "\x13");
  zuvo::platform::SimulateKey(w, VK_CONTROL, false, 0);
  zuvo::platform::SimulateKey(w, 'X', true, zuvo::platform::kSimulatedAlt, "x");
  zuvo::platform::SimulateCommittedText(w, "中");
  zuvo::platform::ProcessPendingMessages();
  std::vector<std::pair<UINT, WPARAM>> got;
  for (const Logged& l : messageLog) {
    if (l.message >= WM_KEYFIRST && l.message <= WM_KEYLAST) got.emplace_back(l.message, l.wParam);
  }
  std::vector<std::pair<UINT, WPARAM>> expected = {
      {WM_KEYDOWN, 'A'},        {WM_CHAR, 'a'},          {WM_KEYUP, 'A'},
      {WM_KEYDOWN, VK_F3},      {WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, 'S'},
      {WM_CHAR, 0x13},          {WM_KEYUP, VK_CONTROL},   {WM_SYSKEYDOWN, 'X'},
      {WM_SYSCHAR, 'x'},        {WM_CHAR, 0xD6},          {WM_CHAR, 0xD0}};
  EXPECT_EQ(got, expected);
  EXPECT_LT(ctrlInHandler, 0);
  EXPECT_GE(GetKeyState(VK_CONTROL), 0);
}

TEST_F(WindowTest, NumLockToggleBitFollowsPresses) {
  HWND w = Make();
  SetFocus(w);
  SHORT before = GetKeyState(VK_NUMLOCK) & 1;
  zuvo::platform::SimulateKey(w, VK_NUMLOCK, true, 0);
  zuvo::platform::SimulateKey(w, VK_NUMLOCK, false, 0);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(GetKeyState(VK_NUMLOCK) & 1, before ^ 1);
}

TEST_F(WindowTest, MouseMessagesGoToTheWindowUnderTheMouseOrTheCapture) {
  HWND parent = Make(WS_POPUP | WS_VISIBLE, nullptr, 200, 200);
  HWND child = Make(WS_CHILD | WS_VISIBLE, parent, 50, 50);
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
  zuvo::platform::SimulateMouse(child, WM_LBUTTONDOWN, 3, 4, MK_LBUTTON);
  zuvo::platform::SimulateMouse(child, WM_LBUTTONDBLCLK, 3, 4, MK_LBUTTON);
  SetCapture(parent);
  zuvo::platform::SimulateMouse(child, WM_MOUSEMOVE, 5, 6, 0);
  ReleaseCapture();
  zuvo::platform::SimulateWheel(child, -120, 1, 1);
  zuvo::platform::ProcessPendingMessages();
  std::vector<Logged> mouse;
  for (const Logged& l : messageLog) {
    if (l.message >= WM_MOUSEFIRST && l.message <= WM_MOUSELAST) mouse.push_back(l);
  }
  ASSERT_EQ(mouse.size(), 4u);
  EXPECT_EQ(mouse[0].window, child);
  EXPECT_EQ(mouse[0].message, WM_LBUTTONDOWN);
  EXPECT_EQ(GET_X_LPARAM(mouse[0].lParam), 3);
  EXPECT_EQ(mouse[0].wParam & MK_LBUTTON, MK_LBUTTON);
  EXPECT_EQ(mouse[1].message, WM_LBUTTONDBLCLK);   // the class asked for double clicks
  EXPECT_EQ(mouse[2].window, parent);               // captured: parent coordinates
  EXPECT_EQ(GET_X_LPARAM(mouse[2].lParam), 15);
  EXPECT_EQ(GET_Y_LPARAM(mouse[2].lParam), 26);
  EXPECT_EQ(mouse[3].message, WM_MOUSEWHEEL);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(mouse[3].wParam), -120);
}

TEST_F(WindowTest, TrackMouseEventReportsLeavingOnce) {
  HWND a = Make(WS_POPUP | WS_VISIBLE, nullptr, 100, 100);
  HWND b = Make(WS_POPUP | WS_VISIBLE, nullptr, 100, 100);
  zuvo::platform::SimulateMouse(a, WM_MOUSEMOVE, 1, 1, 0);
  TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, a, 0};
  ASSERT_TRUE(_TrackMouseEvent(&track));
  zuvo::platform::SimulateMouse(b, WM_MOUSEMOVE, 1, 1, 0);
  zuvo::platform::SimulateMouse(a, WM_MOUSEMOVE, 1, 1, 0);
  zuvo::platform::SimulateMouse(b, WM_MOUSEMOVE, 1, 1, 0);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(Received(a, {WM_MOUSELEAVE}).size(), 1u);
}

TEST_F(WindowTest, DisabledWindowGetsNoInput) {
  HWND w = Make();
  EnableWindow(w, FALSE);
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
  zuvo::platform::SimulateMouse(w, WM_LBUTTONDOWN, 1, 1, MK_LBUTTON);
  zuvo::platform::SimulateKey(w, 'A', true, 0, "a");
  zuvo::platform::ProcessPendingMessages();
  EXPECT_TRUE(Received(w, {WM_LBUTTONDOWN, WM_KEYDOWN, WM_CHAR}).empty());
}

}  // namespace
