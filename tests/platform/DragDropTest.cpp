// Drag and drop: the loop driven by input queued before it starts, the target registry, and
// drops of text from other programs (Qt drop events on the windows' widgets).
#include "LoggingWindowProc.h"
#include "platform/DragDrop.h"
#include "platform/Application.h"
#include "platform/Control.h"
#include "platform/Cursor.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using platformtest::handler;

const char* TestClass() {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = platformtest::LoggingWindowProc;
    wc.lpszClassName = "DragDropTestWindow";
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return "DragDropTestWindow";
}

struct Call {
  std::string what;   // "enter A", "over A", "leave A", "drop A"
  POINTL point;
  DWORD keys;
};

// A drop target that logs its calls and answers every one with `effect` and `result` (Drop
// with dropEffect and dropResult). Counts its references as the program's objects do.
class LogTarget final : public IDropTarget {
 public:
  LogTarget(std::string name, std::vector<Call>* log) : name_(std::move(name)), log_(log) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
      AddRef();
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++count; }
  ULONG Release() override { return --count; }   // the test owns the object

  HRESULT DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override {
    log_->push_back({"enter " + name_, point, keys});
    offered = *effect;
    *effect = this->effect;
    return result;
  }
  HRESULT DragOver(DWORD keys, POINTL point, DWORD* effect) override {
    log_->push_back({"over " + name_, point, keys});
    *effect = this->effect;
    if (onOver) onOver();
    return result;
  }
  HRESULT DragLeave() override {
    log_->push_back({"leave " + name_, POINTL{0, 0}, 0});
    return S_OK;
  }
  HRESULT Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override {
    log_->push_back({"drop " + name_, point, keys});
    dropped = zuvo::platform::DroppedText(data);
    *effect = dropEffect;
    return dropResult;
  }

  ULONG count = 1;
  DWORD effect = DROPEFFECT_COPY;
  HRESULT result = S_OK;
  DWORD dropEffect = DROPEFFECT_COPY;
  HRESULT dropResult = S_OK;
  DWORD offered = 0;
  std::optional<std::string> dropped;
  std::function<void()> onOver;

 private:
  std::string name_;
  std::vector<Call>* log_;
};

// The program's drop source: Escape cancels, releasing the left button drops.
class LogSource final : public IDropSource {
 public:
  HRESULT QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT QueryContinueDrag(BOOL escape, DWORD keys) override {
    asked.push_back(keys);
    if (onQuery) onQuery();
    if (escape) return DRAGDROP_S_CANCEL;
    if ((keys & MK_LBUTTON) == 0) return DRAGDROP_S_DROP;
    return S_OK;
  }
  HRESULT GiveFeedback(DWORD effect) override {
    feedback.push_back(effect);
    return feedbackAnswer;
  }
  HRESULT feedbackAnswer = DRAGDROP_S_USEDEFAULTCURSORS;
  std::vector<DWORD> asked;
  std::vector<DWORD> feedback;
  std::function<void()> onQuery;
};

// A data object with fixed bytes as CF_TEXT (no terminating zero unless given).
class BytesData final : public IDataObject {
 public:
  explicit BytesData(std::string bytes) : bytes_(std::move(bytes)) {}
  HRESULT QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (format->cfFormat != CF_TEXT || (format->tymed & TYMED_HGLOBAL) == 0) return DV_E_FORMATETC;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    std::memcpy(GlobalLock(block), bytes_.data(), bytes_.size());
    GlobalUnlock(block);
    *medium = STGMEDIUM{};
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
  }
  HRESULT GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT QueryGetData(FORMATETC* format) override { return format->cfFormat == CF_TEXT ? S_OK : DV_E_FORMATETC; }
  HRESULT GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  std::string bytes_;
};

enum Win { A, B, C, D, P };   // A, B registered; C unregistered; D an unregistered child of A; P the page

// A page at (100, 100) with three children side by side (A, B, C: 100 x 100 each) and D at
// (10, 10) inside A. A and B have targets registered.
class DragDropTest : public testing::Test {
 protected:
  void SetUp() override {
    handler = nullptr;
    log_.clear();
    source_.feedback.clear();
    source_.asked.clear();
    page_ = CreateWindowExA(0, TestClass(), "page", WS_POPUP | WS_VISIBLE, 100, 100, 400, 200, nullptr, nullptr,
                            nullptr, nullptr);
    ASSERT_NE(page_, nullptr);
    for (int i = 0; i < 3; ++i) {
      windows_[i] = CreateWindowExA(0, TestClass(), "", WS_CHILD | WS_VISIBLE, i * 100, 0, 100, 100, page_,
                                    nullptr, nullptr, nullptr);
    }
    windows_[D] = CreateWindowExA(0, TestClass(), "", WS_CHILD | WS_VISIBLE, 10, 10, 30, 30, windows_[A], nullptr,
                                  nullptr, nullptr);
    windows_[P] = page_;
    ASSERT_EQ(RegisterDragDrop(windows_[A], &targetA_), S_OK);
    ASSERT_EQ(RegisterDragDrop(windows_[B], &targetB_), S_OK);
    zuvo::platform::ProcessPendingMessages();
  }
  void TearDown() override {
    DestroyWindow(page_);
    zuvo::platform::ProcessPendingMessages();
    handler = nullptr;
    // The registrations went with the windows: only the test's own references are left.
    EXPECT_EQ(targetA_.count, 1u);
    EXPECT_EQ(targetB_.count, 1u);
  }

  HWND W(Win w) const { return windows_[w]; }
  void Post(Win w, UINT message, int x, int y, WPARAM keys) {
    ASSERT_TRUE(PostMessageA(W(w), message, keys, MAKELPARAM(x, y)));
  }
  void Move(Win w, int x, int y, WPARAM keys = MK_LBUTTON) { Post(w, WM_MOUSEMOVE, x, y, keys); }
  void Release(Win w, int x, int y) { Post(w, WM_LBUTTONUP, x, y, 0); }
  void Key(int vk, bool down) { ASSERT_TRUE(PostMessageA(page_, down ? WM_KEYDOWN : WM_KEYUP, vk, 0)); }

  HRESULT Drag(DWORD allowed, DWORD* effect) { return DoDragDrop(&data_, &source_, allowed, effect); }
  std::vector<std::string> Calls() const {
    std::vector<std::string> out;
    for (const Call& c : log_) out.push_back(c.what);
    return out;
  }

  HWND page_ = nullptr;
  HWND windows_[5] = {};
  std::vector<Call> log_;
  LogTarget targetA_{"A", &log_};
  LogTarget targetB_{"B", &log_};
  LogSource source_;
  BytesData data_{std::string("SH,600000", 10)};
};

TEST_F(DragDropTest, TargetsAreCalledInOrderForEachInputSequence) {
  struct Step {
    Win window;
    UINT message;   // WM_MOUSEMOVE, WM_LBUTTONUP, WM_KEYDOWN / WM_KEYUP (x = key)
    int x, y;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> calls;
    HRESULT result;
    DWORD effect;
    std::vector<DWORD> feedback;
  };
  const DWORD none = DROPEFFECT_NONE, copy = DROPEFFECT_COPY, move = DROPEFFECT_MOVE;
  const Case cases[] = {
      {"drop on A",
       {{A, WM_MOUSEMOVE, 50, 50}, {A, WM_MOUSEMOVE, 60, 50}, {A, WM_LBUTTONUP, 60, 50}},
       {"enter A", "over A", "over A", "drop A"}, DRAGDROP_S_DROP, copy, {copy}},
      {"from A to B, which moves",
       {{A, WM_MOUSEMOVE, 50, 50}, {B, WM_MOUSEMOVE, 50, 50}, {B, WM_LBUTTONUP, 50, 50}},
       {"enter A", "leave A", "enter B", "over B", "drop B"}, DRAGDROP_S_DROP, move, {copy, move}},
      {"released over an unregistered window",
       {{A, WM_MOUSEMOVE, 50, 50}, {C, WM_MOUSEMOVE, 50, 50}, {C, WM_LBUTTONUP, 50, 50}},
       {"enter A", "leave A"}, DRAGDROP_S_DROP, none, {copy, none}},
      {"an unregistered child is its registered parent's",
       {{D, WM_MOUSEMOVE, 5, 5}, {D, WM_LBUTTONUP, 5, 5}},
       {"enter A", "over A", "drop A"}, DRAGDROP_S_DROP, copy, {copy}},
      {"from nowhere into A",
       {{C, WM_MOUSEMOVE, 10, 10}, {A, WM_MOUSEMOVE, 50, 50}, {A, WM_LBUTTONUP, 50, 50}},
       {"enter A", "over A", "drop A"}, DRAGDROP_S_DROP, copy, {none, copy}},
      {"Escape cancels without a drop",
       {{A, WM_MOUSEMOVE, 50, 50}, {P, WM_KEYDOWN, VK_ESCAPE, 0}, {A, WM_LBUTTONUP, 50, 50}},
       {"enter A", "leave A"}, DRAGDROP_S_CANCEL, none, {copy}},
      {"a key change asks again",
       {{A, WM_MOUSEMOVE, 50, 50}, {P, WM_KEYDOWN, VK_CONTROL, 0}, {P, WM_KEYUP, VK_CONTROL, 0},
        {A, WM_LBUTTONUP, 50, 50}},
       {"enter A", "over A", "over A", "over A", "drop A"}, DRAGDROP_S_DROP, copy, {copy}},
      {"A, B and back to A",
       {{A, WM_MOUSEMOVE, 50, 50}, {B, WM_MOUSEMOVE, 1, 1}, {A, WM_MOUSEMOVE, 99, 99}, {A, WM_LBUTTONUP, 99, 99}},
       {"enter A", "leave A", "enter B", "leave B", "enter A", "over A", "drop A"}, DRAGDROP_S_DROP, copy,
       {copy, move, copy}},
  };
  targetB_.effect = DROPEFFECT_MOVE;
  targetB_.dropEffect = DROPEFFECT_MOVE;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    source_.feedback.clear();
    for (const Step& s : c.steps) {
      if (s.message == WM_KEYDOWN || s.message == WM_KEYUP) Key(s.x, s.message == WM_KEYDOWN);
      else Post(s.window, s.message, s.x, s.y, s.message == WM_MOUSEMOVE ? MK_LBUTTON : 0);
    }
    DWORD effect = 0xFFFF;
    EXPECT_EQ(Drag(copy | move, &effect), c.result);
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(effect, c.effect);
    EXPECT_EQ(source_.feedback, c.feedback);
    EXPECT_EQ(GetCapture(), nullptr);
    zuvo::platform::ProcessPendingMessages();   // what the drag left queued
  }
}

TEST_F(DragDropTest, TargetsGetScreenPointsKeysAndTheAllowedEffects) {
  Move(D, 5, 5);
  Key(VK_SHIFT, true);
  Release(A, 70, 80);
  DWORD effect = 0;
  ASSERT_EQ(Drag(DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
  ASSERT_EQ(Calls(), (std::vector<std::string>{"enter A", "over A", "over A", "drop A"}));
  // D's (5, 5) is A's (15, 15), the page's (15, 15), the screen's (115, 115).
  EXPECT_EQ(log_[0].point.x, 115);
  EXPECT_EQ(log_[0].point.y, 115);
  EXPECT_EQ(log_[0].keys, MK_LBUTTON);
  EXPECT_EQ(log_[1].keys, MK_LBUTTON | MK_SHIFT);
  EXPECT_EQ(log_[3].point.x, 170);
  EXPECT_EQ(log_[3].point.y, 180);
  EXPECT_EQ(targetA_.offered, DROPEFFECT_COPY);
  EXPECT_EQ(source_.asked, (std::vector<DWORD>{MK_LBUTTON, MK_LBUTTON | MK_SHIFT, 0}));
  EXPECT_EQ(targetA_.dropped, std::optional<std::string>("SH,600000"));
  Key(VK_SHIFT, false);
}

TEST_F(DragDropTest, SimulatedInputDrivesTheLoop) {
  ASSERT_TRUE(zuvo::platform::SimulateMouse(W(A), WM_MOUSEMOVE, 20, 20, MK_LBUTTON));
  ASSERT_TRUE(zuvo::platform::SimulateMouse(W(B), WM_MOUSEMOVE, 20, 20, MK_LBUTTON));
  ASSERT_TRUE(zuvo::platform::SimulateMouse(W(B), WM_LBUTTONUP, 20, 20, 0));
  DWORD effect = 0;
  EXPECT_EQ(Drag(DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"enter A", "leave A", "enter B", "over B", "drop B"}));
  EXPECT_EQ(effect, DROPEFFECT_COPY);
}

// A failed answer counts as "no drop here", whatever effect the target wrote.
TEST_F(DragDropTest, ATargetAnsweringInvalidArgLeavesTheEffectNone) {
  struct Case {
    const char* name;
    HRESULT result;       // of DragEnter / DragOver
    HRESULT dropResult;
    DWORD effect;         // what the target writes for DragEnter / DragOver
    std::vector<std::string> calls;
    std::vector<DWORD> feedback;
  };
  const Case cases[] = {
      {"refused at enter", E_INVALIDARG, S_OK, DROPEFFECT_COPY, {"enter A", "over A", "over A", "leave A"},
       {DROPEFFECT_NONE}},
      {"refused at the drop", S_OK, E_INVALIDARG, DROPEFFECT_COPY, {"enter A", "over A", "over A", "drop A"},
       {DROPEFFECT_COPY}},
      {"an effect not allowed", S_OK, S_OK, DROPEFFECT_MOVE, {"enter A", "over A", "over A", "leave A"},
       {DROPEFFECT_NONE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    source_.feedback.clear();
    targetA_.result = c.result;
    targetA_.dropResult = c.dropResult;
    targetA_.effect = c.effect;
    Move(A, 50, 50);
    Move(A, 51, 50);
    Release(A, 51, 50);
    DWORD effect = 0xFFFF;
    EXPECT_EQ(Drag(DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(source_.feedback, c.feedback);
  }
}

// The cursor in force when the source is next asked: the default shape of the effect, or the
// source's own when it answers the feedback itself.
TEST_F(DragDropTest, DefaultCursorsFollowTheEffect) {
  struct Case {
    const char* name;
    Win over;
    HRESULT answer;   // of GiveFeedback
    LPCSTR cursor;
  };
  const Case cases[] = {
      {"a copy over A", A, DRAGDROP_S_USEDEFAULTCURSORS, LibraryCursorName(crMultiDrag)},
      {"a move over B", B, DRAGDROP_S_USEDEFAULTCURSORS, LibraryCursorName(crDrag)},
      {"no drop over C", C, DRAGDROP_S_USEDEFAULTCURSORS, LibraryCursorName(crNoDrop)},
      {"the source's own cursor", A, S_OK, IDC_WAIT},
  };
  targetB_.effect = DROPEFFECT_MOVE;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    source_.feedbackAnswer = c.answer;
    HCURSOR seen = nullptr;
    source_.onQuery = [&] { seen = GetCursor(); };
    Move(c.over, 50, 50);
    Key(VK_ESCAPE, true);
    DWORD effect = 0xFFFF;
    EXPECT_EQ(Drag(DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect), DRAGDROP_S_CANCEL);
    EXPECT_EQ(seen, LoadCursorA(nullptr, c.cursor));
    EXPECT_NE(seen, nullptr);
  }
  source_.onQuery = nullptr;
}

TEST_F(DragDropTest, BadArgumentsAndANestedDragAreRefused) {
  DWORD effect = 0xFFFF;
  EXPECT_EQ(DoDragDrop(nullptr, &source_, DROPEFFECT_COPY, &effect), E_INVALIDARG);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  EXPECT_EQ(DoDragDrop(&data_, nullptr, DROPEFFECT_COPY, &effect), E_INVALIDARG);
  EXPECT_EQ(DoDragDrop(&data_, &source_, DROPEFFECT_COPY, nullptr), E_INVALIDARG);
  HRESULT fromWorker = S_OK;
  std::thread([&] { fromWorker = DoDragDrop(&data_, &source_, DROPEFFECT_COPY, &effect); }).join();
  EXPECT_EQ(fromWorker, E_UNEXPECTED);

  // A drag started from inside a running one (here from the source's own callback).
  std::vector<HRESULT> nested;
  source_.onQuery = [&] {
    DWORD inner = 0xFFFF;
    nested.push_back(DoDragDrop(&data_, &source_, DROPEFFECT_COPY, &inner));
    EXPECT_EQ(inner, DROPEFFECT_NONE);
  };
  Move(A, 50, 50);
  Release(A, 50, 50);
  EXPECT_EQ(Drag(DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
  source_.onQuery = nullptr;
  EXPECT_EQ(nested, (std::vector<HRESULT>{E_UNEXPECTED, E_UNEXPECTED}));
  EXPECT_EQ(effect, DROPEFFECT_COPY);   // the outer drag went on unharmed
}

TEST_F(DragDropTest, RegistrationCountsReferencesAndRefusesBadWindowsAndTargets) {
  LogTarget other("X", &log_);
  EXPECT_EQ(RegisterDragDrop(W(C), nullptr), E_INVALIDARG);
  EXPECT_EQ(RegisterDragDrop(reinterpret_cast<HWND>(0x7654321), &other), DRAGDROP_E_INVALIDHWND);
  EXPECT_EQ(RegisterDragDrop(W(A), &other), DRAGDROP_E_ALREADYREGISTERED);
  EXPECT_EQ(other.count, 1u);
  EXPECT_EQ(targetA_.count, 2u);   // the registration's reference
  EXPECT_EQ(RevokeDragDrop(W(C)), DRAGDROP_E_NOTREGISTERED);

  ASSERT_EQ(RegisterDragDrop(W(C), &other), S_OK);
  EXPECT_EQ(other.count, 2u);
  EXPECT_EQ(RevokeDragDrop(W(C)), S_OK);
  EXPECT_EQ(other.count, 1u);
  // A registration from a worker is made on the UI thread.
  std::atomic<bool> registered{false};
  HRESULT fromWorker = E_UNEXPECTED;
  std::thread worker([&] {
    fromWorker = RegisterDragDrop(W(C), &other);
    registered = true;
  });
  ASSERT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return registered.load(); }, 10000));
  worker.join();
  EXPECT_EQ(fromWorker, S_OK);
  // Destroying the window withdraws it.
  DestroyWindow(W(C));
  EXPECT_EQ(other.count, 1u);

  EXPECT_EQ(OleInitialize(nullptr), S_OK);
  EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
  OleUninitialize();
  OleUninitialize();
  EXPECT_EQ(OleInitialize(nullptr), S_OK);
  OleUninitialize();
}

// A target withdrawn while the drag runs (its window destroyed, revoked by a message handled
// in the loop, or revoking itself inside its own call) hears nothing more.
TEST_F(DragDropTest, ATargetWithdrawnDuringTheLoopIsNeverCalledAgain) {
  const UINT kWithdraw = WM_APP + 1;
  struct Case {
    const char* name;
    bool destroy;
    bool fromOwnCall;
  };
  const Case cases[] = {{"revoked by a message", false, false},
                        {"its window destroyed", true, false},
                        {"revoking itself in DragOver", false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    handler = [&](HWND w, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
      if (message != kWithdraw) return std::nullopt;
      if (c.destroy) DestroyWindow(W(A));
      else EXPECT_EQ(RevokeDragDrop(W(A)), S_OK);
      return 0;
    };
    if (c.fromOwnCall) {
      targetA_.onOver = [&] { EXPECT_EQ(RevokeDragDrop(W(A)), S_OK); };
      Move(A, 50, 50);
      Move(A, 51, 50);   // over: it withdraws itself
    } else {
      Move(A, 50, 50);
      ASSERT_TRUE(PostMessageA(page_, kWithdraw, 0, 0));
    }
    // The rest is posted to the page at A's place, as A may be gone by then.
    Move(P, 52, 50);
    Move(P, 53, 50);
    Release(P, 53, 50);
    DWORD effect = 0xFFFF;
    EXPECT_EQ(Drag(DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    std::vector<std::string> expected{"enter A"};
    if (c.fromOwnCall) expected.push_back("over A");
    EXPECT_EQ(Calls(), expected);
    EXPECT_EQ(targetA_.count, 1u);
    targetA_.onOver = nullptr;
  }
}

TEST(DroppedTextTest, ReadsNoFurtherThanTheBlockWithoutATerminatingZero) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {{std::string(64, 'x'), std::string(64, 'x')},
                        {std::string("SZ,000001\0junk", 14), "SZ,000001"},
                        {"", ""}};
  for (const Case& c : cases) {
    BytesData data(c.bytes);
    EXPECT_EQ(zuvo::platform::DroppedText(&data), std::optional<std::string>(c.text));
  }
  EXPECT_EQ(zuvo::platform::DroppedText(nullptr), std::nullopt);

  // ReleaseStgMedium frees the memory, or releases the owner given instead.
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = GlobalAlloc(GHND, 8);
  ReleaseStgMedium(&medium);
  EXPECT_EQ(medium.tymed, TYMED_NULL);
  EXPECT_EQ(medium.hGlobal, nullptr);
}

// ---- Drops from other programs ---------------------------------------------------------------

QWidget* WidgetOf(HWND window) { return zuvo::platform::win::Find(window)->widget; }

// Sends a drag event as the windowing system delivers one to a window's widget. Qt gives the
// enter to the nearest enabled widget that accepts drops, and the moves, the drop and the
// leave to the widget that accepted the enter. Returns whether the event was accepted.
bool SendDrag(HWND window, QEvent::Type type, QPoint at, const QMimeData* mime, Qt::DropActions actions,
              Qt::DropAction* action = nullptr) {
  QWidget* widget = WidgetOf(window);
  if (type == QEvent::DragLeave) {
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(widget, &leave);
    return leave.isAccepted();
  }
  std::unique_ptr<QDropEvent> e;
  if (type == QEvent::DragEnter) e = std::make_unique<QDragEnterEvent>(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
  else if (type == QEvent::DragMove) e = std::make_unique<QDragMoveEvent>(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
  else e = std::make_unique<QDropEvent>(QPointF(at), actions, mime, Qt::LeftButton, Qt::NoModifier);
  e->ignore();
  QCoreApplication::sendEvent(widget, e.get());
  if (action) *action = e->dropAction();
  return e->isAccepted();
}

TEST_F(DragDropTest, TextDroppedFromAnotherProgramReachesTheTargetAsGbk) {
  const std::u16string text = u"SH,600000 浦发银行";
  QMimeData mime;
  mime.setText(QString::fromStdU16String(text));
  const Qt::DropActions both = Qt::CopyAction | Qt::MoveAction;
  Qt::DropAction action = Qt::IgnoreAction;
  EXPECT_TRUE(SendDrag(W(A), QEvent::DragEnter, QPoint(10, 30), &mime, both));
  EXPECT_TRUE(SendDrag(W(A), QEvent::Drop, QPoint(20, 30), &mime, both, &action));
  EXPECT_EQ(action, Qt::CopyAction);
  ASSERT_EQ(Calls(), (std::vector<std::string>{"enter A", "over A", "drop A"}));
  EXPECT_EQ(log_[0].point.x, 110);
  EXPECT_EQ(log_[2].point.x, 120);
  EXPECT_EQ(log_[2].point.y, 130);
  EXPECT_EQ(log_[2].keys, MK_LBUTTON);
  EXPECT_EQ(targetA_.offered, DROPEFFECT_COPY | DROPEFFECT_MOVE);
  EXPECT_EQ(targetA_.dropped, std::optional<std::string>(zuvo::platform::gbk::FromUtf16(text)));

  // Over an unregistered child the calls go to its registered parent, at the child's place.
  log_.clear();
  EXPECT_TRUE(SendDrag(W(D), QEvent::DragEnter, QPoint(1, 1), &mime, Qt::CopyAction));
  EXPECT_TRUE(SendDrag(W(D), QEvent::DragMove, QPoint(2, 2), &mime, Qt::CopyAction));
  SendDrag(W(D), QEvent::DragLeave, QPoint(), &mime, Qt::CopyAction);
  ASSERT_EQ(Calls(), (std::vector<std::string>{"enter A", "over A", "leave A"}));
  EXPECT_EQ(log_[0].point.x, 111);
  EXPECT_EQ(log_[1].point.y, 112);

  // A target that refuses: Qt is told, and the drop becomes a leave.
  log_.clear();
  targetB_.result = E_INVALIDARG;
  EXPECT_TRUE(SendDrag(W(B), QEvent::DragEnter, QPoint(5, 5), &mime, Qt::CopyAction));
  EXPECT_FALSE(SendDrag(W(B), QEvent::Drop, QPoint(5, 5), &mime, Qt::CopyAction));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"enter B", "over B", "leave B"}));
}

TEST_F(DragDropTest, TextFromAnotherProgramThatGbkCannotHoldIsRefused) {
  const std::u16string refused[] = {u"한국어", u"SH,600000 \U0001F600", std::u16string(u"a\0b", 3)};
  for (const std::u16string& text : refused) {
    QMimeData mime;
    mime.setText(QString::fromStdU16String(text));
    EXPECT_FALSE(SendDrag(W(A), QEvent::DragEnter, QPoint(5, 5), &mime, Qt::CopyAction));
    EXPECT_FALSE(SendDrag(W(A), QEvent::Drop, QPoint(5, 5), &mime, Qt::CopyAction));
  }
  QMimeData noText;
  noText.setData("application/octet-stream", QByteArray("x"));
  EXPECT_FALSE(SendDrag(W(A), QEvent::DragEnter, QPoint(5, 5), &noText, Qt::CopyAction));
  // Nothing reaches an unregistered window either.
  QMimeData plain;
  plain.setText("SH,600000");
  EXPECT_FALSE(SendDrag(W(C), QEvent::DragEnter, QPoint(5, 5), &plain, Qt::CopyAction));
  EXPECT_FALSE(SendDrag(W(C), QEvent::Drop, QPoint(5, 5), &plain, Qt::CopyAction));
  EXPECT_TRUE(Calls().empty());
}

}  // namespace
