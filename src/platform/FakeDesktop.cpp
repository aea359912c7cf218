// The fake desktop of tests (see FakeDesktop.h) and the backend that puts it behind the desktop
// and window calls.
#include "platform/FakeDesktop.h"

#include "platform/internal/Desktop.h"
#include "platform/internal/WindowRegistry.h"

#include "platform/Kernel.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace zuvo::platform {

namespace {

struct Reaction {
  enum class Trigger { kKeyDown, kTyped, kClick, kOnce } trigger;
  HWND subject = nullptr;   // kTyped: the item; kClick: the window; kKeyDown: in front (or null)
  BYTE key = 0;
  DWORD delay = 0;
  FakeDesktop::Action action;
};

struct Pending {
  DWORD due;
  std::uint64_t order;
  FakeDesktop::Action action;
};

struct Node {
  HWND handle = nullptr;
  DWORD processId = 0;
  HWND parent = nullptr;   // items: their window
  FakeDesktop::Window window;   // top-level windows: everything; items: class, text (title), styles, rect
  int id = 0;
  std::vector<HWND> items;
  // Editing state of an item.
  std::size_t caret = 0;
  bool selectedAll = false;
};

bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// The character a key types into an edit, or 0.
char TypedChar(BYTE key) {
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return static_cast<char>(key);
  if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9) return static_cast<char>('0' + (key - VK_NUMPAD0));
  if (key == VK_DECIMAL || key == 0xBE /* VK_OEM_PERIOD */) return '.';
  return 0;
}

}  // namespace

// Every field is reached under `mutex` only.
struct FakeDesktop::State {
  mutable std::mutex mutex;
  FakeDesktop* owner = nullptr;   // for reactions; cleared when the desktop goes
  DWORD startTick = GetTickCount();
  DWORD nextProcessId = 4000;
  std::map<DWORD, std::string> processes;   // running: id -> image path
  std::map<HWND, Node> nodes;               // alive
  std::vector<HWND> lent;                   // every handle ever lent
  std::vector<HWND> zOrder;                 // top-level windows, top first
  HWND foreground = nullptr;
  HWND focus = nullptr;
  bool blocked = false;
  HWND pressedOn = nullptr;   // the window a left button went down on, until it comes up
  std::vector<Reaction> reactions;
  std::vector<Pending> pending;
  std::uint64_t pendingCount = 0;
  std::vector<InputEvent> log;
  std::vector<PostedMessage> posted;

  // ---- Under the lock

  Node* Get(HWND h) {
    auto it = nodes.find(h);
    return it == nodes.end() ? nullptr : &it->second;
  }
  const Node* Get(HWND h) const {
    auto it = nodes.find(h);
    return it == nodes.end() ? nullptr : &it->second;
  }
  bool IsTopLevel(const Node& n) const { return n.parent == nullptr; }
  bool Visible(const Node& n) const {
    if (!n.window.visible) return false;
    if (n.parent == nullptr) return true;
    const Node* p = Get(n.parent);
    return p != nullptr && Visible(*p);
  }
  HWND NewHandle() {
    HWND h = win::WindowRegistry::Get().NewHandle();
    lent.push_back(h);
    return h;
  }
  void Schedule(DWORD delay, Action action) {
    pending.push_back(Pending{GetTickCount() + delay, pendingCount++, std::move(action)});
  }
  void Fire(Reaction::Trigger trigger, HWND subject, BYTE key = 0) {
    for (const Reaction& r : reactions) {
      if (r.trigger != trigger) continue;
      if (trigger == Reaction::Trigger::kKeyDown) {
        if (r.key != key || (r.subject != nullptr && r.subject != foreground)) continue;
      } else if (r.subject != subject) {
        continue;
      }
      Schedule(r.delay, r.action);
    }
  }
  bool OwnedBy(HWND h, HWND owner) const {
    for (const Node* n = Get(h); n != nullptr && n->window.owner != nullptr; n = Get(n->window.owner)) {
      if (n->window.owner == owner) return true;
    }
    return false;
  }
  // To the top of the z-order, below the windows it owns, which stay above their owner.
  void Raise(HWND h) {
    std::vector<HWND> moved;
    for (HWND other : zOrder) {
      if (OwnedBy(other, h)) moved.push_back(other);
    }
    moved.push_back(h);
    zOrder.erase(std::remove_if(zOrder.begin(), zOrder.end(),
                                [&](HWND x) { return std::find(moved.begin(), moved.end(), x) != moved.end(); }),
                 zOrder.end());
    zOrder.insert(zOrder.begin(), moved.begin(), moved.end());
  }
  void Activate(HWND h) {
    Raise(h);
    if (foreground != h) {
      foreground = h;
      const Node* f = Get(focus);
      if (f == nullptr || f->parent != h) focus = nullptr;
    }
  }
  void Destroy(HWND h) {
    Node* n = Get(h);
    if (n == nullptr) return;
    for (HWND item : std::vector<HWND>(n->items)) Destroy(item);
    if (n->parent != nullptr) {
      if (Node* p = Get(n->parent)) p->items.erase(std::remove(p->items.begin(), p->items.end(), h), p->items.end());
    }
    zOrder.erase(std::remove(zOrder.begin(), zOrder.end(), h), zOrder.end());
    if (foreground == h) foreground = nullptr;
    if (focus == h) focus = nullptr;
    nodes.erase(h);
  }
  // The foreground window when it is ours to receive input.
  Node* InFront() {
    Node* f = Get(foreground);
    return f != nullptr && Visible(*f) ? f : nullptr;
  }
  void Focus(Node& item) {
    focus = item.handle;
    item.selectedAll = true;
    item.caret = item.window.title.size();
  }
  bool Editable(const Node& item) const { return gbk::EqualsNoCase(item.window.className, "Edit"); }
  // Applies a key-down to the focused item; true when its text changed.
  bool Edit(Node& item, BYTE key) {
    std::string& text = item.window.title;
    const std::string before = text;
    item.caret = std::min(item.caret, text.size());
    const char c = TypedChar(key);
    if (c != 0 || key == VK_DELETE || key == VK_BACK) {
      if (item.selectedAll) {
        text.clear();
        item.caret = 0;
        item.selectedAll = false;
        if (c == 0) return text != before;
      } else if (key == VK_DELETE) {
        if (item.caret < text.size()) text.erase(item.caret, 1);
      } else if (key == VK_BACK) {
        if (item.caret > 0) text.erase(--item.caret, 1);
      }
      if (c != 0) text.insert(item.caret++, 1, c);
    }
    return text != before;
  }
  void Record(InputKind kind, BYTE key, BYTE scan, POINT pointer, HWND target) {
    log.push_back(InputEvent{GetTickCount(), kind, key, scan, pointer, target});
  }
  // The topmost visible window under the point, and its item there.
  HWND WindowAt(POINT p) const {
    for (HWND h : zOrder) {
      const Node* n = Get(h);
      if (n != nullptr && Visible(*n) && Contains(n->window.rect, p)) return h;
    }
    return nullptr;
  }
  HWND ItemAt(const Node& window, POINT p) const {
    for (HWND h : window.items) {
      const Node* n = Get(h);
      if (n != nullptr && Visible(*n) && Contains(n->window.rect, p)) return h;
    }
    return nullptr;
  }
  std::string Describe(HWND h) const {
    if (h == nullptr) return "nowhere";
    const Node* n = Get(h);
    if (n == nullptr) return "gone";
    return n->parent == nullptr ? n->window.title : std::to_string(n->id);
  }

  // ---- Without the lock

  // Runs every reaction whose time has come, in the order due; a reaction may make more due.
  void RunDue(std::unique_lock<std::mutex>& lock) {
    for (;;) {
      const DWORD now = GetTickCount();
      auto due = pending.end();
      for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (static_cast<std::int32_t>(now - it->due) < 0) continue;
        if (due == pending.end() || static_cast<std::int32_t>(it->due - due->due) < 0 ||
            (it->due == due->due && it->order < due->order)) {
          due = it;
        }
      }
      if (due == pending.end() || owner == nullptr) return;
      Action action = std::move(due->action);
      pending.erase(due);
      FakeDesktop* desktop = owner;
      lock.unlock();
      action(*desktop);
      lock.lock();
    }
  }
};

namespace {

using State = FakeDesktop::State;
using InputKind = FakeDesktop::InputKind;
using PostedMessage = FakeDesktop::PostedMessage;

// Every call first lets due reactions happen, then answers under the lock.
template <typename F>
auto Visit(const std::shared_ptr<State>& state, F&& f) -> decltype(f(*state)) {
  std::unique_lock lock(state->mutex);
  state->RunDue(lock);
  return f(*state);
}

class FakeBackend final : public desktop::DesktopBackend {
 public:
  explicit FakeBackend(std::shared_ptr<State> state) : state_(std::move(state)) {}

  bool Owns(HWND window) const override {
    std::lock_guard lock(state_->mutex);
    return std::find(state_->lent.begin(), state_->lent.end(), window) != state_->lent.end();
  }
  bool IsWindow(HWND window) override {
    return Visit(state_, [&](State& s) { return s.Get(window) != nullptr; });
  }
  DWORD ThreadProcessId(HWND window, DWORD* processId) override {
    return Visit(state_, [&](State& s) -> DWORD {
      const Node* n = s.Get(window);
      if (n == nullptr) return 0;
      if (processId != nullptr) *processId = n->processId;
      return n->processId + 1;   // one thread per process
    });
  }
  BOOL Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return Visit(state_, [&](State& s) -> BOOL {
      if (s.Get(window) == nullptr) return FALSE;
      s.posted.push_back(PostedMessage{window, message, wParam, lParam});
      return TRUE;
    });
  }
  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return Visit(state_, [&](State& s) -> LRESULT {
      Node* n = s.Get(window);
      if (n == nullptr) return 0;
      std::string& text = n->window.title;
      switch (message) {
        case WM_GETTEXT: {
          char* buffer = reinterpret_cast<char*>(lParam);
          if (buffer == nullptr || wParam == 0) return 0;
          const std::size_t count = gbk::CutLength(text, wParam - 1);
          std::memcpy(buffer, text.data(), count);
          buffer[count] = '\0';
          return static_cast<LRESULT>(count);
        }
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(text.size());
        case WM_SETTEXT: {
          const char* value = reinterpret_cast<const char*>(lParam);
          text = value != nullptr ? value : "";
          n->caret = text.size();
          n->selectedAll = false;
          return TRUE;
        }
        default: return 0;
      }
    });
  }
  bool IsVisible(HWND window) override {
    return Visit(state_, [&](State& s) {
      const Node* n = s.Get(window);
      return n != nullptr && s.Visible(*n);
    });
  }
  std::optional<std::string> Text(HWND window) override {
    return Visit(state_, [&](State& s) -> std::optional<std::string> {
      const Node* n = s.Get(window);
      if (n == nullptr) return std::nullopt;
      return n->window.title;
    });
  }
  std::optional<std::string> ClassName(HWND window) override {
    return Visit(state_, [&](State& s) -> std::optional<std::string> {
      const Node* n = s.Get(window);
      if (n == nullptr) return std::nullopt;
      return n->window.className;
    });
  }
  bool Rect(HWND window, RECT* rect) override {
    return Visit(state_, [&](State& s) {
      const Node* n = s.Get(window);
      if (n == nullptr) return false;
      *rect = n->window.rect;
      return true;
    });
  }
  LONG_PTR Long(HWND window, int index) override {
    return Visit(state_, [&](State& s) -> LONG_PTR {
      const Node* n = s.Get(window);
      if (n == nullptr) return 0;
      switch (index) {
        case GWL_STYLE: {
          DWORD style = n->window.style & ~WS_VISIBLE;
          if (n->window.visible) style |= WS_VISIBLE;
          return static_cast<LONG>(style);
        }
        case GWL_EXSTYLE: return static_cast<LONG>(n->window.exStyle);
        case GWL_ID: return n->id;
        case GWL_HWNDPARENT: return reinterpret_cast<LONG_PTR>(n->parent != nullptr ? n->parent : n->window.owner);
        default: return 0;
      }
    });
  }
  HWND Parent(HWND window) override {
    return Visit(state_, [&](State& s) -> HWND {
      const Node* n = s.Get(window);
      if (n == nullptr) return nullptr;
      if (n->parent != nullptr) return n->parent;
      // A pop-up's parent is its owner; other top-level windows have none.
      return (n->window.style & WS_POPUP) != 0 ? n->window.owner : nullptr;
    });
  }
  HWND Relative(HWND window, UINT relation) override {
    return Visit(state_, [&](State& s) -> HWND {
      const Node* n = s.Get(window);
      if (n == nullptr) return nullptr;
      if (relation == GW_CHILD) return n->items.empty() ? nullptr : n->items.front();
      if (relation == GW_OWNER) return n->parent == nullptr ? n->window.owner : nullptr;
      const std::vector<HWND>* siblings = &s.zOrder;
      if (n->parent != nullptr) siblings = &s.Get(n->parent)->items;
      auto it = std::find(siblings->begin(), siblings->end(), window);
      switch (relation) {
        case GW_HWNDFIRST: return siblings->front();
        case GW_HWNDLAST: return siblings->back();
        case GW_HWNDNEXT: return it + 1 == siblings->end() ? nullptr : *(it + 1);
        case GW_HWNDPREV: return it == siblings->begin() ? nullptr : *(it - 1);
        default: return nullptr;
      }
    });
  }
  HWND DialogItem(HWND window, int id) override {
    return Visit(state_, [&](State& s) -> HWND {
      const Node* n = s.Get(window);
      if (n == nullptr) return nullptr;
      for (HWND h : n->items) {
        if (s.Get(h)->id == id) return h;
      }
      return nullptr;
    });
  }
  BOOL Show(HWND window, int command) override {
    return Visit(state_, [&](State& s) -> BOOL {
      Node* n = s.Get(window);
      if (n == nullptr) return FALSE;
      const BOOL wasVisible = n->window.visible ? TRUE : FALSE;
      if (command == SW_HIDE) {
        n->window.visible = false;
        if (s.foreground == window) s.foreground = nullptr;
        return wasVisible;
      }
      n->window.visible = true;
      const bool activates = command != SW_SHOWNA && command != SW_SHOWNOACTIVATE &&
                             command != SW_SHOWMINNOACTIVE && command != SW_MINIMIZE;
      if (activates && n->parent == nullptr) s.Activate(window);
      return wasVisible;
    });
  }
  BOOL BringToTop(HWND window) override {
    return Visit(state_, [&](State& s) -> BOOL {
      Node* n = s.Get(window);
      if (n == nullptr) return FALSE;
      if (n->parent == nullptr) s.Activate(window);
      return TRUE;
    });
  }
  std::vector<HWND> TopLevelWindows() override {
    return Visit(state_, [&](State& s) { return s.zOrder; });
  }

  std::vector<desktop::ProcessRecord> Processes() override {
    return Visit(state_, [&](State& s) {
      std::vector<desktop::ProcessRecord> list;
      for (const auto& [id, path] : s.processes) list.push_back(desktop::ProcessRecord{id, 0, 1, path});
      return list;
    });
  }
  std::optional<std::string> ImagePath(DWORD processId) override {
    return Visit(state_, [&](State& s) -> std::optional<std::string> {
      auto it = s.processes.find(processId);
      if (it == s.processes.end()) return std::nullopt;
      return it->second;
    });
  }

  void Key(BYTE key, BYTE scan, DWORD flags) override {
    std::unique_lock lock(state_->mutex);
    State& s = *state_;
    s.RunDue(lock);
    const bool up = (flags & KEYEVENTF_KEYUP) != 0;
    Node* front = s.InFront();
    Node* item = front != nullptr ? s.Get(s.focus) : nullptr;
    if (item != nullptr && item->parent != front->handle) item = nullptr;
    HWND target = front == nullptr ? nullptr : item != nullptr ? item->handle : front->handle;
    s.Record(up ? InputKind::kKeyUp : InputKind::kKeyDown, key, scan, POINT{0, 0}, target);
    if (front != nullptr && !up) {
      if (key == VK_TAB) {
        // The next visible item after the focused one (from the first when none), wrapping.
        const std::vector<HWND>& items = front->items;
        auto at = std::find(items.begin(), items.end(), s.focus);
        for (std::size_t step = 1; step <= items.size(); ++step) {
          std::size_t index = at == items.end() ? step - 1 : (static_cast<std::size_t>(at - items.begin()) + step) % items.size();
          if (Node* next = s.Get(items[index]); next != nullptr && s.Visible(*next)) {
            s.Focus(*next);
            break;
          }
        }
      } else if (item != nullptr && s.Editable(*item) && s.Edit(*item, key)) {
        s.Fire(Reaction::Trigger::kTyped, item->handle);
      }
      s.Fire(Reaction::Trigger::kKeyDown, nullptr, key);
    }
    s.RunDue(lock);
  }

  void Mouse(DWORD flags, POINT pointer) override {
    std::unique_lock lock(state_->mutex);
    State& s = *state_;
    s.RunDue(lock);
    const std::pair<DWORD, InputKind> buttons[] = {
        {MOUSEEVENTF_LEFTDOWN, InputKind::kLeftDown}, {MOUSEEVENTF_LEFTUP, InputKind::kLeftUp},
        {MOUSEEVENTF_RIGHTDOWN, InputKind::kRightDown}, {MOUSEEVENTF_RIGHTUP, InputKind::kRightUp}};
    for (const auto& [flag, kind] : buttons) {
      if ((flags & flag) == 0) continue;
      // Input reaches the desktop only while one of its windows is in front.
      HWND window = s.InFront() != nullptr ? s.WindowAt(pointer) : nullptr;
      Node* w = s.Get(window);
      HWND item = w != nullptr ? s.ItemAt(*w, pointer) : nullptr;
      s.Record(kind, 0, 0, pointer, item != nullptr ? item : window);
      if (w == nullptr) continue;
      if (kind == InputKind::kLeftDown) {
        s.Activate(window);
        if (Node* i = s.Get(item)) s.Focus(*i);
        s.pressedOn = window;
      } else if (kind == InputKind::kLeftUp) {
        if (s.pressedOn == window) s.Fire(Reaction::Trigger::kClick, window);
        s.pressedOn = nullptr;
      }
    }
    s.RunDue(lock);
  }

  bool OtherProgramInFront() override {
    std::unique_lock lock(state_->mutex);
    state_->RunDue(lock);
    return state_->InFront() != nullptr;
  }

  BOOL Block(bool on) override {
    std::unique_lock lock(state_->mutex);
    state_->RunDue(lock);
    state_->blocked = on;
    state_->Record(on ? InputKind::kBlockOn : InputKind::kBlockOff, 0, 0, POINT{0, 0}, nullptr);
    return TRUE;
  }

 private:
  std::shared_ptr<State> state_;
};

}  // namespace

// ---- FakeDesktop ----------------------------------------------------------------------------

FakeDesktop::FakeDesktop() : state_(std::make_shared<State>()) { state_->owner = this; }

FakeDesktop::~FakeDesktop() {
  std::lock_guard lock(state_->mutex);
  state_->owner = nullptr;
}

DWORD FakeDesktop::AddProcess(std::string imagePath) {
  std::lock_guard lock(state_->mutex);
  DWORD id = state_->nextProcessId;
  state_->nextProcessId += 4;
  state_->processes[id] = std::move(imagePath);
  return id;
}

void FakeDesktop::EndProcess(DWORD processId) {
  std::lock_guard lock(state_->mutex);
  State& s = *state_;
  s.processes.erase(processId);
  std::vector<HWND> windows;
  for (const auto& [h, n] : s.nodes) {
    if (n.processId == processId && n.parent == nullptr) windows.push_back(h);
  }
  for (HWND h : windows) s.Destroy(h);
}

HWND FakeDesktop::AddWindow(DWORD processId, Window window) {
  std::lock_guard lock(state_->mutex);
  State& s = *state_;
  Node n;
  n.handle = s.NewHandle();
  n.processId = processId;
  n.window = std::move(window);
  n.window.style &= ~(WS_VISIBLE | WS_CHILD);
  const HWND h = n.handle;
  const bool visible = n.window.visible;
  s.nodes.emplace(h, std::move(n));
  if (visible) {
    s.Activate(h);
  } else {
    s.zOrder.insert(s.zOrder.begin(), h);
  }
  return h;
}

HWND FakeDesktop::AddItem(HWND window, Item item) {
  std::lock_guard lock(state_->mutex);
  State& s = *state_;
  Node* parent = s.Get(window);
  if (parent == nullptr || parent->parent != nullptr) return nullptr;
  Node n;
  n.handle = s.NewHandle();
  n.processId = parent->processId;
  n.parent = window;
  n.id = item.id;
  n.window.className = std::move(item.className);
  n.window.title = std::move(item.text);
  n.window.style = (item.style & ~WS_VISIBLE) | WS_CHILD;
  n.window.visible = item.visible;
  const RECT& base = parent->window.rect;
  n.window.rect = RECT{base.left + item.rect.left, base.top + item.rect.top, base.left + item.rect.right,
                       base.top + item.rect.bottom};
  n.caret = n.window.title.size();
  const HWND h = n.handle;
  s.nodes.emplace(h, std::move(n));
  s.Get(window)->items.push_back(h);
  return h;
}

void FakeDesktop::DestroyWindow(HWND window) {
  std::lock_guard lock(state_->mutex);
  state_->Destroy(window);
}

void FakeDesktop::SetVisible(HWND window, bool visible) {
  std::lock_guard lock(state_->mutex);
  if (Node* n = state_->Get(window)) {
    n->window.visible = visible;
    if (!visible && state_->foreground == window) state_->foreground = nullptr;
  }
}

void FakeDesktop::SetText(HWND window, std::string text) {
  std::lock_guard lock(state_->mutex);
  if (Node* n = state_->Get(window)) {
    n->window.title = std::move(text);
    n->caret = n->window.title.size();
    n->selectedAll = false;
  }
}

std::string FakeDesktop::Text(HWND window) const {
  std::lock_guard lock(state_->mutex);
  const Node* n = state_->Get(window);
  return n != nullptr ? n->window.title : std::string();
}

void FakeDesktop::SetForeground(HWND window) {
  std::lock_guard lock(state_->mutex);
  if (window == nullptr) {
    state_->foreground = nullptr;
    return;
  }
  if (Node* n = state_->Get(window); n != nullptr && n->parent == nullptr) state_->Activate(window);
}

HWND FakeDesktop::Foreground() const {
  std::lock_guard lock(state_->mutex);
  return state_->foreground;
}

HWND FakeDesktop::Focus() const {
  std::lock_guard lock(state_->mutex);
  return state_->focus;
}

RECT FakeDesktop::Rect(HWND window) const {
  std::lock_guard lock(state_->mutex);
  const Node* n = state_->Get(window);
  return n != nullptr ? n->window.rect : RECT{0, 0, 0, 0};
}

bool FakeDesktop::InputBlocked() const {
  std::lock_guard lock(state_->mutex);
  return state_->blocked;
}

void FakeDesktop::OnKeyDown(BYTE virtualKey, DWORD delay, Action action, HWND inFront) {
  std::lock_guard lock(state_->mutex);
  state_->reactions.push_back(Reaction{Reaction::Trigger::kKeyDown, inFront, virtualKey, delay, std::move(action)});
}

void FakeDesktop::OnTyped(HWND item, DWORD delay, Action action) {
  std::lock_guard lock(state_->mutex);
  state_->reactions.push_back(Reaction{Reaction::Trigger::kTyped, item, 0, delay, std::move(action)});
}

void FakeDesktop::OnClick(HWND window, DWORD delay, Action action) {
  std::lock_guard lock(state_->mutex);
  state_->reactions.push_back(Reaction{Reaction::Trigger::kClick, window, 0, delay, std::move(action)});
}

void FakeDesktop::After(DWORD delay, Action action) {
  std::lock_guard lock(state_->mutex);
  state_->Schedule(delay, std::move(action));
}

std::vector<FakeDesktop::InputEvent> FakeDesktop::Log() const {
  std::lock_guard lock(state_->mutex);
  return state_->log;
}

std::vector<std::string> FakeDesktop::LogLines() const {
  std::lock_guard lock(state_->mutex);
  const State& s = *state_;
  std::vector<std::string> lines;
  for (const InputEvent& e : s.log) {
    char head[48];
    std::snprintf(head, sizeof head, "+%u ", static_cast<unsigned>(e.tick - s.startTick));
    std::string line = head;
    char body[64];
    switch (e.kind) {
      case InputKind::kKeyDown:
      case InputKind::kKeyUp:
        std::snprintf(body, sizeof body, "%s %02X/%u", e.kind == InputKind::kKeyDown ? "key-down" : "key-up",
                      static_cast<unsigned>(e.virtualKey), static_cast<unsigned>(e.scanCode));
        break;
      case InputKind::kLeftDown:
      case InputKind::kLeftUp:
      case InputKind::kRightDown:
      case InputKind::kRightUp: {
        static const char* const names[] = {"left-down", "left-up", "right-down", "right-up"};
        const int index = static_cast<int>(e.kind) - static_cast<int>(InputKind::kLeftDown);
        std::snprintf(body, sizeof body, "%s %d,%d", names[index], static_cast<int>(e.pointer.x),
                      static_cast<int>(e.pointer.y));
        break;
      }
      case InputKind::kBlockOn: lines.push_back(line + "block on"); continue;
      case InputKind::kBlockOff: lines.push_back(line + "block off"); continue;
    }
    lines.push_back(line + body + " -> " + s.Describe(e.target));
  }
  return lines;
}

std::vector<FakeDesktop::PostedMessage> FakeDesktop::Posted() const {
  std::lock_guard lock(state_->mutex);
  return state_->posted;
}

// ---- ScopedFakeDesktop ------------------------------------------------------------------------

struct ScopedFakeDesktop::Installation {
  std::shared_ptr<desktop::DesktopBackend> previous;
  std::shared_ptr<desktop::DesktopBackend> backend;
  DWORD previousZeroSleepStep = 0;
};

ScopedFakeDesktop::ScopedFakeDesktop()
    : desktop_(std::make_unique<FakeDesktop>()), installation_(std::make_unique<Installation>()) {
  installation_->backend = std::make_shared<FakeBackend>(desktop_->state());
  installation_->previous = desktop::SetDesktopBackend(installation_->backend);
  // A poll with Sleep(0) until a deadline moves the driven clock on, so it runs out.
  installation_->previousZeroSleepStep = kernel::SetZeroSleepStepForTest(1);
}

ScopedFakeDesktop::~ScopedFakeDesktop() {
  kernel::SetZeroSleepStepForTest(installation_->previousZeroSleepStep);
  desktop::SetDesktopBackend(std::move(installation_->previous));
}

}  // namespace zuvo::platform
