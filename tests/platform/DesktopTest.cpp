// Other programs on the desktop: the window calls on their handles (and unchanged on ours), the
// process list, the Windows folder, synthesised input and the fake desktop that tests drive it
// with, up to a scripted order window filled in by the hand-off's sequence of steps.
#include "platform/Desktop.h"
#include "platform/FakeDesktop.h"

#include "support/TempInstall.h"

#include "platform/Files.h"
#include "platform/Gdi.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using zuvo::platform::FakeDesktop;
using zuvo::platform::ScopedFakeDesktop;

constexpr DWORD DS_3DLOOK = 0x04;
constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_3DLOOK | DS_SETFONT;

LRESULT PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// One of our own windows, destroyed with the object.
class OwnWindow {
 public:
  explicit OwnWindow(const char* caption) {
    static const bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = PlainProc;
      wc.lpszClassName = "DesktopTestOwn";
      return RegisterClassA(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    handle_ = CreateWindowExA(0, "DesktopTestOwn", caption, WS_POPUP | WS_VISIBLE, 10, 20, 200, 100, nullptr,
                              nullptr, nullptr, nullptr);
    EXPECT_NE(handle_, nullptr);
  }
  ~OwnWindow() {
    DestroyWindow(handle_);
    zuvo::platform::ProcessPendingMessages();
  }
  HWND get() const { return handle_; }

 private:
  HWND handle_ = nullptr;
};

std::string Str(long long v) { return std::to_string(v); }
std::string Str(const RECT& r) {
  return Str(r.left) + "," + Str(r.top) + "," + Str(r.right) + "," + Str(r.bottom);
}

std::vector<HWND> EnumTopLevel() {
  std::vector<HWND> all;
  EnumWindows([](HWND h, LPARAM p) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&all));
  return all;
}

std::string ItemText(HWND dialog, int id) {
  char text[32] = "";
  SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// ---- The window calls on foreign handles --------------------------------------------------

TEST(DesktopWindowCalls, EveryCallAnswersAForeignHandleFromItsDesktop) {
  OwnWindow ours("ours");
  ScopedFakeDesktop desktop;
  const DWORD pid = desktop->AddProcess("C:\\Trade\\XiaDan.exe");
  HWND main = desktop->AddWindow(pid, {.className = "#32770", .title = "交易系统", .style = kDialogStyle,
                                       .exStyle = WS_EX_WINDOWEDGE, .rect = {100, 80, 600, 480}});
  HWND code = desktop->AddItem(main, {.id = 1446, .text = "IF2403", .rect = {10, 30, 110, 50}});
  HWND next = desktop->AddItem(main, {.id = 1447, .className = "Static", .rect = {10, 60, 110, 80}, .visible = false});
  HWND order = desktop->AddWindow(pid, {.className = "#32770", .title = "委托下单", .style = kDialogStyle,
                                        .rect = {150, 120, 450, 400}, .owner = main, .visible = false});
  HWND plain = desktop->AddWindow(pid, {.title = "tip", .style = WS_CAPTION, .owner = main});

  struct Case {
    const char* call;
    std::function<std::string()> run;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"IsWindow", [&] { return Str(IsWindow(main)); }, "1"},
      {"IsWindowVisible shown", [&] { return Str(IsWindowVisible(main)); }, "1"},
      {"IsWindowVisible hidden item", [&] { return Str(IsWindowVisible(next)); }, "0"},
      {"GetWindowThreadProcessId",
       [&] {
         DWORD process = 0;
         DWORD thread = GetWindowThreadProcessId(code, &process);
         return Str(thread != 0) + " " + Str(process == pid);
       },
       "1 1"},
      {"GetWindowTextA", [&] { char b[32]; int n = GetWindowTextA(main, b, sizeof b); return Str(n) + " " + b; },
       "8 交易系统"},
      {"GetWindowTextA cut", [&] { char b[4]; int n = GetWindowTextA(code, b, sizeof b); return Str(n) + " " + b; },
       "3 IF2"},
      {"GetWindowTextLengthA", [&] { return Str(GetWindowTextLengthA(code)); }, "6"},
      {"GetClassNameA", [&] { char b[16]; int n = GetClassNameA(main, b, sizeof b); return Str(n) + " " + b; },
       "6 #32770"},
      {"GetWindowRect window", [&] { RECT r{}; GetWindowRect(main, &r); return Str(r); }, "100,80,600,480"},
      {"GetWindowRect item", [&] { RECT r{}; GetWindowRect(code, &r); return Str(r); }, "110,110,210,130"},
      {"GetWindowLongA style",
       [&] { return Str(static_cast<DWORD>(GetWindowLongA(main, GWL_STYLE)) == (kDialogStyle | WS_VISIBLE)); }, "1"},
      {"GetWindowLongA style hidden",
       [&] { return Str((static_cast<DWORD>(GetWindowLongA(order, GWL_STYLE)) & WS_VISIBLE) != 0); }, "0"},
      {"GetWindowLongA ex-style", [&] { return Str(GetWindowLongA(main, GWL_EXSTYLE)); }, Str(WS_EX_WINDOWEDGE)},
      {"GetWindowLongA id", [&] { return Str(GetWindowLongA(code, GWL_ID)); }, "1446"},
      {"GetParent item", [&] { return Str(GetParent(code) == main); }, "1"},
      {"GetParent owned pop-up", [&] { return Str(GetParent(order) == main); }, "1"},
      {"GetParent owned overlapped", [&] { return Str(GetParent(plain) == nullptr); }, "1"},
      {"GetWindow next", [&] { return Str(GetWindow(code, GW_HWNDNEXT) == next); }, "1"},
      {"GetWindow child", [&] { return Str(GetWindow(main, GW_CHILD) == code); }, "1"},
      {"GetWindow owner", [&] { return Str(GetWindow(order, GW_OWNER) == main); }, "1"},
      {"GetDlgItem", [&] { return Str(GetDlgItem(main, 1447) == next); }, "1"},
      {"GetDlgItem missing", [&] { return Str(GetDlgItem(main, 9) == nullptr); }, "1"},
      {"SendMessageA WM_GETTEXT", [&] { return ItemText(main, 1446); }, "IF2403"},
      {"SendMessageA WM_SETTEXT",
       [&] {
         SendMessageA(code, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("AU2406"));
         return desktop->Text(code);
       },
       "AU2406"},
      {"PostMessageA",
       [&] {
         BOOL ok = PostMessageA(main, WM_USER + 3001, 7, 9);
         auto posted = desktop->Posted();
         return Str(ok) + " " + Str(posted.size()) + " " + Str(posted.back().message) + " " + Str(posted.back().wParam);
       },
       "1 1 4025 7"},
      {"ShowWindow shows and brings in front",
       [&] {
         BOOL was = ShowWindow(order, SW_SHOW);
         return Str(was) + " " + Str(IsWindowVisible(order)) + " " + Str(desktop->Foreground() == order);
       },
       "0 1 1"},
      {"BringWindowToTop", [&] { BringWindowToTop(main); return Str(desktop->Foreground() == main); }, "1"},
      {"InvalidateRect and UpdateWindow accepted",
       [&] { return Str(InvalidateRect(main, nullptr, TRUE)) + Str(UpdateWindow(main)); }, "11"},
      {"EnumWindows: ours first, then the desktop's top first, owned windows above their owner",
       [&] {
         std::vector<HWND> all = EnumTopLevel();
         auto at = [&](HWND h) { return std::find(all.begin(), all.end(), h) - all.begin(); };
         return Str(at(ours.get()) < at(order)) + " " + Str(at(order) < at(main)) + " " + Str(at(plain) < at(main)) +
                " " + Str(std::count(all.begin(), all.end(), code));
       },
       "1 1 1 0"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.run(), c.expected) << c.call;

  // Foreign handles come from the registry's id space: none is one of ours.
  for (HWND h : {main, code, next, order, plain}) EXPECT_NE(h, ours.get());
  // A window the program destroyed is dead to every call.
  desktop->DestroyWindow(order);
  EXPECT_FALSE(IsWindow(order));
  EXPECT_FALSE(PostMessageA(order, WM_USER, 0, 0));
  EXPECT_FALSE(ShowWindow(order, SW_SHOW));
}

TEST(DesktopWindowCalls, OurWindowsKeepTheirOwnAnswersAndForeignHandlesDieWithTheirDesktop) {
  OwnWindow ours("ours");
  HWND lent = nullptr;
  {
    ScopedFakeDesktop desktop;
    lent = desktop->AddWindow(desktop->AddProcess("C:\\x.exe"), {.title = "ours", .rect = {10, 20, 210, 120}});

    char text[16] = "";
    EXPECT_EQ(GetWindowTextA(ours.get(), text, sizeof text), 4);
    EXPECT_STREQ(text, "ours");
    char className[32] = "";
    GetClassNameA(ours.get(), className, sizeof className);
    EXPECT_STREQ(className, "DesktopTestOwn");
    DWORD process = 0;
    EXPECT_EQ(GetWindowThreadProcessId(ours.get(), &process), GetCurrentThreadId());
    EXPECT_NE(process, 0u);
    DWORD lentProcess = 0;
    GetWindowThreadProcessId(lent, &lentProcess);
    EXPECT_NE(process, lentProcess);
    // Hiding ours leaves the foreign window with the same caption untouched, and the reverse.
    ShowWindow(ours.get(), SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(ours.get()));
    EXPECT_TRUE(IsWindowVisible(lent));
    ShowWindow(lent, SW_HIDE);
    ShowWindow(ours.get(), SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(ours.get()));
    EXPECT_FALSE(IsWindowVisible(lent));
    EXPECT_EQ(GetParent(ours.get()), nullptr);
    RECT r{};
    GetWindowRect(ours.get(), &r);
    EXPECT_EQ(Str(r), "10,20,210,120");
    EXPECT_TRUE(IsWindow(lent));
  }
  EXPECT_FALSE(IsWindow(lent));
  char text[8] = "x";
  EXPECT_EQ(GetWindowTextA(lent, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(PostMessageA(lent, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(SendMessageA(lent, WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_TRUE(IsWindow(ours.get()));
}

// ---- Processes ---------------------------------------------------------------------------------

std::vector<std::string> SnapshotNames() {
  std::vector<std::string> names;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return {"<failed>"};
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry)) {
    names.push_back(entry.szExeFile);
  }
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  CloseHandle(snapshot);
  return names;
}

TEST(DesktopProcesses, SnapshotOpenAndImagePathFollowTheDesktop) {
  // The desktop of a real run shows no other program.
  const std::size_t handlesBefore = zuvo::platform::handles::OpenCount();
  EXPECT_TRUE(SnapshotNames().empty());
  EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, 4000), nullptr);

  ScopedFakeDesktop desktop;
  const DWORD trade = desktop->AddProcess("C:\\Trade\\交易\\XiaDan.exe");
  const DWORD other = desktop->AddProcess("D:\\tools\\notepad.exe");
  EXPECT_EQ(SnapshotNames(), (std::vector<std::string>{"XiaDan.exe", "notepad.exe"}));

  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, trade);
  ASSERT_NE(process, nullptr);
  char path[260] = "";
  EXPECT_EQ(GetModuleFileNameExA(process, nullptr, path, sizeof path), std::strlen("C:\\Trade\\交易\\XiaDan.exe"));
  EXPECT_STREQ(path, "C:\\Trade\\交易\\XiaDan.exe");
  // A short buffer is cut, never inside a double-byte character.
  char shortPath[11] = "";
  EXPECT_EQ(GetModuleFileNameExA(process, nullptr, shortPath, sizeof shortPath), 9u);
  EXPECT_STREQ(shortPath, "C:\\Trade\\");
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  // An ended process: its handle no longer reads, and it cannot be opened again.
  desktop->EndProcess(trade);
  EXPECT_EQ(GetModuleFileNameExA(process, nullptr, path, sizeof path), 0u);
  EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, trade), nullptr);
  EXPECT_EQ(SnapshotNames(), (std::vector<std::string>{"notepad.exe"}));
  CloseHandle(process);

  // Bad arguments.
  EXPECT_EQ(CreateToolhelp32Snapshot(0x8 /* modules */, other), INVALID_HANDLE_VALUE);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = 8;
  EXPECT_FALSE(Process32First(snapshot, &entry));
  EXPECT_EQ(GetLastError(), ERROR_BAD_LENGTH);
  CloseHandle(snapshot);
  EXPECT_FALSE(Process32First(snapshot, &entry));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetModuleFileNameExA(snapshot, nullptr, path, sizeof path), 0u);
  EXPECT_EQ(zuvo::platform::handles::OpenCount(), handlesBefore);
}

TEST(DesktopWindowsFolder, MadeUnderTheInstallRootOnDemandAndReplaceable) {
  testsupport::TempInstall install;
  char folder[MAX_PATH] = "";
  const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  EXPECT_EQ(length, std::strlen(folder));
  EXPECT_STREQ(folder, "C:\\WINDOWS");
  const std::string posix = zuvo::platform::paths::Resolve(folder);
  EXPECT_EQ(posix.rfind(zuvo::platform::paths::InstallRoot(), 0), 0u) << posix;
  EXPECT_TRUE(std::filesystem::is_directory(posix));
  // Too small a buffer: the size needed, terminator included.
  char tiny[4] = "";
  EXPECT_EQ(GetWindowsDirectoryA(tiny, sizeof tiny), length + 1);

  {
    zuvo::platform::desktop::ScopedWindowsFolder replaced("..\\data\\win");
    EXPECT_EQ(GetWindowsDirectoryA(folder, sizeof folder), std::strlen("..\\data\\win"));
    EXPECT_STREQ(folder, "..\\data\\win");
    EXPECT_TRUE(std::filesystem::is_directory(zuvo::platform::paths::Resolve(folder)));
  }
  {
    // A folder that cannot be made (a file is in the way) cannot be read.
    testsupport::WriteBytes(install.root() / "data" / "blocker", "x");
    zuvo::platform::desktop::ScopedWindowsFolder replaced("..\\data\\blocker\\win");
    EXPECT_EQ(GetWindowsDirectoryA(folder, sizeof folder), 0u);
  }
  GetWindowsDirectoryA(folder, sizeof folder);
  EXPECT_STREQ(folder, "C:\\WINDOWS");
}

// ---- Input -------------------------------------------------------------------------------------

void Click() {
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}
void KeyDown(BYTE key, BYTE scan = 0) { keybd_event(key, scan, 0, 0); }

TEST(DesktopInput, KeysAndClicksReachTheDesktopOnlyWhileOneOfItsWindowsIsInFront) {
  OwnWindow ours("ours");
  ScopedFakeDesktop desktop;
  HWND w = desktop->AddWindow(desktop->AddProcess("C:\\a.exe"), {.title = "a", .rect = {300, 300, 500, 400}});
  HWND edit = desktop->AddItem(w, {.id = 5, .text = "12", .rect = {10, 10, 90, 30}});
  HWND other = desktop->AddItem(w, {.id = 6, .rect = {10, 40, 90, 60}});
  int typed = 0, clicked = 0;
  desktop->OnTyped(edit, 0, [&](FakeDesktop&) { ++typed; });
  desktop->OnClick(w, 0, [&](FakeDesktop&) { ++clicked; });

  desktop->SetForeground(nullptr);   // our own window is in front: the input is ours, unseen here
  SetCursorPos(320, 315);
  Click();
  KeyDown('7');
  EXPECT_EQ(desktop->Text(edit), "12");
  EXPECT_TRUE(desktop->LogLines().empty());
  EXPECT_EQ(desktop->Foreground(), nullptr);

  desktop->SetForeground(w);
  Click();   // focuses the item under the pointer, its text selected
  KeyDown('7');
  KeyDown(VK_DECIMAL);
  KeyDown(VK_NUMPAD0 + 5);
  KeyDown(VK_TAB);   // to the next item, then typing goes there
  KeyDown('A');
  keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
  EXPECT_EQ(desktop->Text(edit), "7.5");
  EXPECT_EQ(desktop->Text(other), "A");
  EXPECT_EQ(typed, 3);
  EXPECT_EQ(clicked, 1);
  SetCursorPos(100, 100);   // outside every window of the desktop
  Click();
  EXPECT_EQ(desktop->LogLines(), (std::vector<std::string>{
                                     "+0 left-down 320,315 -> 5",
                                     "+0 left-up 320,315 -> 5",
                                     "+0 key-down 37/0 -> 5",
                                     "+0 key-down 6E/0 -> 5",
                                     "+0 key-down 65/0 -> 5",
                                     "+0 key-down 09/0 -> 5",
                                     "+0 key-down 41/0 -> 6",
                                     "+0 key-up 12/0 -> 6",
                                     "+0 left-down 100,100 -> nowhere",
                                     "+0 left-up 100,100 -> nowhere",
                                 }));
}

// A wait as the hand-off polls: until the condition holds or `limit` ms have passed on the
// tick source, with Sleep(0) between looks. True when the condition held.
bool PollFor(DWORD limit, const std::function<bool()>& condition) {
  const DWORD start = GetTickCount();
  // The look count only stops a clock that fails to move from hanging the test.
  for (int looks = 0; GetTickCount() - start < limit; ++looks) {
    if (looks > 1000000) {
      ADD_FAILURE() << "the clock did not move while polling";
      return false;
    }
    if (condition()) return true;
    Sleep(0);
  }
  return condition();
}

TEST(DesktopInput, AKeyShowsAWindowAfterItsDelayAndAPollRunsOutOnTheDrivenClock) {
  ScopedFakeDesktop desktop;
  const DWORD pid = desktop->AddProcess("C:\\a.exe");
  HWND main = desktop->AddWindow(pid, {.title = "main", .rect = {0, 0, 400, 300}});
  HWND panel = desktop->AddWindow(pid, {.title = "panel", .rect = {50, 50, 300, 200}, .owner = main, .visible = false});
  desktop->OnKeyDown(VK_F2, 300, [=](FakeDesktop& d) { d.SetVisible(panel, true); }, main);

  const DWORD start = GetTickCount();
  KeyDown(VK_F2, 2);
  EXPECT_FALSE(IsWindowVisible(panel));
  EXPECT_TRUE(PollFor(5000, [&] { return IsWindowVisible(panel) != FALSE; }));
  EXPECT_EQ(GetTickCount() - start, 300u);

  // Nothing ever fills this: the wait ends when its 5000 ms have passed on the driven clock.
  const DWORD before = GetTickCount();
  EXPECT_FALSE(PollFor(5000, [&] { return GetWindowTextLengthA(panel) > 7; }));
  EXPECT_EQ(GetTickCount() - before, 5000u);
  // Sleep moves the clock without waiting.
  Sleep(100);
  EXPECT_EQ(GetTickCount() - before, 5100u);
  EXPECT_EQ(desktop->LogLines(), (std::vector<std::string>{"+0 key-down 71/2 -> main"}));
}

TEST(DesktopInput, TheNoneDesktopBlocksNothingAndTakesNoInput) {
  EXPECT_FALSE(BlockInput(TRUE));
  EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  keybd_event(VK_TAB, 0, 0, 0);   // goes nowhere, harmlessly
  const std::vector<HWND> before = EnumTopLevel();
  ScopedFakeDesktop desktop;
  HWND w = desktop->AddWindow(desktop->AddProcess("C:\\a.exe"), {.title = "a"});
  EXPECT_EQ(EnumTopLevel().size(), before.size() + 1);
  EXPECT_TRUE(BlockInput(TRUE));
  EXPECT_TRUE(desktop->InputBlocked());
  EXPECT_TRUE(BlockInput(FALSE));
  EXPECT_FALSE(desktop->InputBlocked());
  EXPECT_TRUE(IsWindow(w));
}

// ---- A scripted order window driven by the hand-off's steps --------------------------------

struct OrderTicket {
  std::string code;
  int lots;
  double price;
  bool buy;
  int openClose;   // 0 open, 1 close, 2 close today
};

struct Offsets {
  int border = GetSystemMetrics(SM_CXBORDER);
  int caption = GetSystemMetrics(SM_CYCAPTION);
};

struct Search {
  std::string path;
  DWORD process = 0;
  HWND found = nullptr;
};

// The running program's first top-level dialog (the search's style filter), climbed to its
// topmost parent.
HWND FindProgramWindow(const std::string& imagePath) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
  Search search{imagePath};
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32First(snapshot, &entry); ok && search.found == nullptr; ok = Process32Next(snapshot, &entry)) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    char path[1024] = "";
    GetModuleFileNameExA(process, nullptr, path, sizeof path);
    if (zuvo::platform::gbk::EqualsNoCase(path, imagePath)) {
      search.process = entry.th32ProcessID;
      EnumWindows([](HWND h, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE));
        if (owner != s->process || (style & 0x00CF0000) == 0 || (style & WS_POPUP) == 0 ||
            (style & (DS_3DLOOK | DS_SETFONT)) != (DS_3DLOOK | DS_SETFONT)) {
          return TRUE;
        }
        s->found = h;
        return FALSE;
      }, reinterpret_cast<LPARAM>(&search));
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  HWND top = search.found;
  while (top != nullptr && GetParent(top) != nullptr) top = GetParent(top);
  return top;
}

HWND FindOrderWindow(HWND program) {
  struct Find {
    HWND program;
    HWND found;
  } find{program, nullptr};
  EnumWindows([](HWND h, LPARAM p) -> BOOL {
    auto* f = reinterpret_cast<Find*>(p);
    char caption[15] = "";
    GetWindowTextA(h, caption, sizeof caption);
    if (GetParent(h) != f->program || std::strcmp(caption, "委托下单") != 0) return TRUE;
    f->found = h;
    return FALSE;
  }, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

void ClickAt(int x, int y) {
  SetCursorPos(x, y);
  Click();
}

void TypeText(const std::string& text) {
  for (char c : text) {
    if (c >= '0' && c <= '9') KeyDown(static_cast<BYTE>(c));
    else if (c >= 'a' && c <= 'z') KeyDown(static_cast<BYTE>(c - 'a' + 'A'));
    else if (c >= 'A' && c <= 'Z') KeyDown(static_cast<BYTE>(c));
    else if (c == '.') KeyDown(VK_DECIMAL);
  }
}

HWND RequiredItem(HWND window, int id) {
  HWND item = GetDlgItem(window, id);
  if (item == nullptr) throw std::runtime_error("no item " + std::to_string(id));
  return item;
}

// The order window's part of the hand-off, with its input blocked throughout: an empty result
// when the order was filled in, else the error it shows.
std::string FillOrderWindow(const std::string& programPath, const OrderTicket& ticket) {
  const Offsets o;
  HWND program = FindProgramWindow(programPath);
  if (program == nullptr) return "program not running";
  ScopedInputBlock block;
  ShowWindow(program, SW_SHOW);
  ShowWindow(program, SW_RESTORE);
  BringWindowToTop(program);
  Sleep(100);
  HWND order = FindOrderWindow(program);
  if (order == nullptr) {
    block.Release();
    return "无法确定下单窗口位置，操作失败。  ";
  }
  RECT r{};
  GetWindowRect(order, &r);
  ClickAt(r.left + 45, r.top + 5);
  HWND code = RequiredItem(order, 1411);
  PollFor(5000, [&] {
    ClickAt(r.left + o.border + 91, r.top + o.caption + 55);
    KeyDown(VK_DELETE);
    return GetWindowTextLengthA(code) == 0;
  });
  TypeText(ticket.code);
  ClickAt(r.left + o.border + 165, r.top + o.caption + 132);
  TypeText(std::to_string(ticket.lots));
  PollFor(5000, [&] { return !ItemText(order, 1412).empty(); });
  KeyDown(VK_TAB);
  char price[32];
  std::snprintf(price, sizeof price, "%.2f", ticket.price);
  TypeText(price);
  ClickAt(r.left + o.border + 30, r.top + o.caption + (ticket.buy ? 111 : 87));
  const int openCloseY[] = {88, 108, 129};
  SetCursorPos(r.left + o.border + 94, r.top + o.caption + openCloseY[ticket.openClose]);
  Click();
  SetCursorPos(r.left + o.border + 428, r.top + o.caption + 83);
  block.Release();
  return {};
}

class DesktopOrderWindow : public testing::Test {
 protected:
  void SetUp() override {
    const Offsets o;
    // A decoy: another program with the same file name and a dialog of the same title.
    const DWORD decoy = desktop_->AddProcess("C:\\Other\\XiaDan.exe");
    desktop_->AddWindow(decoy, {.className = "#32770", .title = "交易系统", .style = kDialogStyle, .rect = {0, 0, 300, 200}});
    process_ = desktop_->AddProcess(kPath);
    program_ = desktop_->AddWindow(process_, {.className = "#32770", .title = "交易系统", .style = kDialogStyle,
                                              .rect = {20, 20, 780, 580}});
    order_ = desktop_->AddWindow(process_, {.className = "#32770", .title = "委托下单", .style = kDialogStyle,
                                            .rect = {100, 60, 700, 460}, .owner = program_});
    // Items around the points the steps click, in tab order.
    const int b = o.border, c = o.caption;
    code_ = desktop_->AddItem(order_, {.id = 1411, .text = "IF2312", .rect = {b + 60, c + 45, b + 140, c + 65}});
    name_ = desktop_->AddItem(order_, {.id = 1412, .className = "Static", .rect = {b + 150, c + 45, b + 260, c + 65}});
    lots_ = desktop_->AddItem(order_, {.id = 1413, .text = "1", .rect = {b + 130, c + 122, b + 200, c + 142}});
    price_ = desktop_->AddItem(order_, {.id = 1414, .rect = {b + 210, c + 122, b + 300, c + 142}});
    desktop_->AddItem(order_, {.id = 1421, .className = "Button", .rect = {b + 10, c + 80, b + 60, c + 95}});   // sell
    desktop_->AddItem(order_, {.id = 1420, .className = "Button", .rect = {b + 10, c + 104, b + 60, c + 118}});  // buy
    desktop_->AddItem(order_, {.id = 1430, .className = "Button", .rect = {b + 70, c + 80, b + 120, c + 95}});   // open
    desktop_->AddItem(order_, {.id = 1431, .className = "Button", .rect = {b + 70, c + 100, b + 120, c + 115}});  // close
    // The program looks the typed code up and shows its name 250 ms later.
    desktop_->OnTyped(code_, 250, [this](FakeDesktop& d) {
      d.SetText(name_, d.Text(code_).size() >= 6 ? "沪深300" : "");
    });
    // Something else of the desktop is in front when the hand-off starts.
    desktop_->SetForeground(nullptr);
  }

  static constexpr const char* kPath = "C:\\Trade\\XiaDan.exe";
  ScopedFakeDesktop desktop_;
  DWORD process_ = 0;
  HWND program_ = nullptr, order_ = nullptr, code_ = nullptr, name_ = nullptr, lots_ = nullptr, price_ = nullptr;
};

TEST_F(DesktopOrderWindow, FoundByImagePathAndTitleThenFilledWithKeysAndClicksInOrder) {
  const Offsets o;
  ASSERT_EQ(o.border, 1);
  ASSERT_EQ(o.caption, 19);
  EXPECT_EQ(FillOrderWindow("c:\\trade\\xiadan.EXE", {"IF2403", 2, 3456.2, true, 0}), "");

  EXPECT_EQ(desktop_->Text(code_), "IF2403");
  EXPECT_EQ(desktop_->Text(name_), "沪深300");
  EXPECT_EQ(desktop_->Text(lots_), "2");
  EXPECT_EQ(desktop_->Text(price_), "3456.20");
  EXPECT_FALSE(desktop_->InputBlocked());
  POINT pointer{};
  GetCursorPos(&pointer);
  EXPECT_EQ(pointer.x, 100 + 1 + 428);
  EXPECT_EQ(pointer.y, 60 + 19 + 83);
  // Order window at (100, 60): its caption clicked after the Sleep(100); the code field
  // (1 + 91, 19 + 55) cleared with one Delete (a click selects its text); the code typed; the
  // lots; the wait for the name (250 ms after the last typed key, polled 1 ms a look); Tab to the
  // price; buy (y + 111) and open (y + 88).
  EXPECT_EQ(desktop_->LogLines(), (std::vector<std::string>{
                                      "+0 block on",
                                      "+100 left-down 145,65 -> 委托下单",
                                      "+100 left-up 145,65 -> 委托下单",
                                      "+100 left-down 192,134 -> 1411",
                                      "+100 left-up 192,134 -> 1411",
                                      "+100 key-down 2E/0 -> 1411",
                                      "+100 key-down 49/0 -> 1411",
                                      "+100 key-down 46/0 -> 1411",
                                      "+100 key-down 32/0 -> 1411",
                                      "+100 key-down 34/0 -> 1411",
                                      "+100 key-down 30/0 -> 1411",
                                      "+100 key-down 33/0 -> 1411",
                                      "+100 left-down 266,211 -> 1413",
                                      "+100 left-up 266,211 -> 1413",
                                      "+100 key-down 32/0 -> 1413",
                                      "+350 key-down 09/0 -> 1413",
                                      "+350 key-down 33/0 -> 1414",
                                      "+350 key-down 34/0 -> 1414",
                                      "+350 key-down 35/0 -> 1414",
                                      "+350 key-down 36/0 -> 1414",
                                      "+350 key-down 6E/0 -> 1414",
                                      "+350 key-down 32/0 -> 1414",
                                      "+350 key-down 30/0 -> 1414",
                                      "+350 left-down 131,190 -> 1420",
                                      "+350 left-up 131,190 -> 1420",
                                      "+350 left-down 195,167 -> 1430",
                                      "+350 left-up 195,167 -> 1430",
                                      "+350 block off",
                                  }));
}

TEST_F(DesktopOrderWindow, InputIsUnblockedWhenAStepFails) {
  // No order window: the search after showing the program fails, and the error follows the
  // unblocking.
  desktop_->DestroyWindow(order_);
  EXPECT_EQ(FillOrderWindow(kPath, {"IF2403", 1, 3456, true, 0}), "无法确定下单窗口位置，操作失败。  ");
  EXPECT_FALSE(desktop_->InputBlocked());
  EXPECT_EQ(desktop_->LogLines(), (std::vector<std::string>{"+0 block on", "+100 block off"}));
  EXPECT_EQ(desktop_->Foreground(), program_);
}

TEST_F(DesktopOrderWindow, InputIsUnblockedWhenAStepThrows) {
  // The order window lacks its code field: the step that needs it throws, and the guard unblocks.
  const DWORD pid = process_;
  desktop_->DestroyWindow(order_);
  HWND bare = desktop_->AddWindow(pid, {.className = "#32770", .title = "委托下单", .style = kDialogStyle,
                                        .rect = {100, 60, 700, 460}, .owner = program_});
  EXPECT_THROW(FillOrderWindow(kPath, {"IF2403", 1, 3456, true, 0}), std::runtime_error);
  EXPECT_FALSE(desktop_->InputBlocked());
  const std::vector<std::string> log = desktop_->LogLines();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "+0 block on");
  EXPECT_EQ(log.back(), "+100 block off");
  EXPECT_TRUE(IsWindow(bare));
}

TEST_F(DesktopOrderWindow, AProgramThatIsNotRunningIsNotFoundAndNothingIsBlocked) {
  desktop_->EndProcess(process_);
  EXPECT_EQ(FillOrderWindow(kPath, {"IF2403", 1, 3456, true, 0}), "program not running");
  EXPECT_TRUE(desktop_->LogLines().empty());
}

}  // namespace
