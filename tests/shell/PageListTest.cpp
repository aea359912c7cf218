// The page list: the scan over the page index and the two page folders (which never deletes),
// the index written whole, the page menus, the page dialog driven headless, and the main
// window's page commands over a scripted host.
#include "shell/PageList.h"

#include "PageFileWriter.h"
#include "ShellSettingsFixture.h"

#include "platform/Button.h"
#include "platform/Edit.h"
#include "platform/FileFaults.h"
#include "platform/ListBox.h"
#include "platform/Menu.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "shell/ModalDialog.h"
#include "support/KillTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;
using namespace pagetest;
namespace fs = std::filesystem;

namespace {

std::string OnDisk(const fs::path& dir, const std::string& name) {
  if (!fs::exists(dir)) return "<missing>";
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (gbk::EqualsNoCase(entry.path().filename().string(), name)) return testsupport::ReadBytes(entry.path());
  }
  return "<missing>";
}

std::string PagePath(const char* folder, int n) {
  char path[64];
  std::snprintf(path, sizeof path, "%szvpage%d.ppg", folder, n);
  return path;
}

std::string IndexBytes(std::uint32_t word, const std::vector<std::string>& paths) {
  std::string bytes(4 + 260 * paths.size(), '\0');
  std::memcpy(bytes.data(), &word, 4);
  for (std::size_t i = 0; i < paths.size(); ++i) std::memcpy(bytes.data() + 4 + 260 * i, paths[i].data(), paths[i].size());
  return bytes;
}

std::vector<std::string> ListNames() {
  std::vector<std::string> names;
  for (int i = 0; i < PageListCount(); ++i) names.push_back(PageListEntry(i).name);
  return names;
}

std::vector<std::string> ListPaths() {
  std::vector<std::string> paths;
  for (int i = 0; i < PageListCount(); ++i) paths.push_back(PageListEntry(i).path);
  return paths;
}

// The main window as the page commands see it: records every call in order.
class ScriptedHost final : public IPageListHost {
 public:
  ScriptedHost() : importMenu(new TMenuItem(nullptr)), boxMenu(new TMenuItem(nullptr)) {}
  ~ScriptedHost() override {
    TComponent::Free(importMenu);
    TComponent::Free(boxMenu);
  }
  std::string PagePath() override { return pagePath; }
  bool PageHasEmptyCell() override { return emptyCell; }
  int SavePage(int mode) override {
    log.push_back("save " + std::to_string(mode));
    return onSave ? onSave(mode) : static_cast<int>(saveResult);
  }
  void OpenPage(const std::string& path, PageOpenMode mode) override {
    log.push_back("open " + std::to_string(mode) + " " + path);
    pagePath = mode == PAGE_OPEN_DEFAULT ? "Default" : gbk::Upper(path);
  }
  void ReplacePageWindow(PageOpenMode mode) override { log.push_back("replace " + std::to_string(mode)); }
  bool AutoSavePage() override { return autoSave; }
  void SetAutoSavePage(bool checked) override { autoSave = checked; }
  std::vector<TMenuItem*> PageMenus() override { return {importMenu, boxMenu}; }
  void ShowPageBoxText(const std::string& text) override {
    box = text;
    log.push_back("box");
  }
  TWinControl* DialogOwner() override { return nullptr; }

  // The checked page item's tag in both menus (-1 none; they must agree).
  int CheckedTag() {
    int tags[2] = {-1, -1};
    TMenuItem* menus[2] = {importMenu, boxMenu};
    for (int m = 0; m < 2; ++m) {
      for (int i = 0; i < menus[m]->Count(); ++i) {
        if (menus[m]->Items(i)->Checked()) tags[m] = menus[m]->Items(i)->Tag();
      }
    }
    EXPECT_EQ(tags[0], tags[1]);
    return tags[0];
  }
  TMenuItem* ItemWithTag(int tag) {
    for (int i = 0; i < importMenu->Count(); ++i) {
      if (importMenu->Items(i)->Tag() == tag && !importMenu->Items(i)->IsLine()) return importMenu->Items(i);
    }
    return nullptr;
  }

  TMenuItem* importMenu;
  TMenuItem* boxMenu;
  std::string pagePath;
  bool emptyCell = false;
  bool autoSave = true;
  PageSaveResult saveResult = PageSaveResult::kSaved;
  std::function<int(int)> onSave;
  std::string box = "<unchanged>";
  std::vector<std::string> log;
};

class PageListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.AddMarket("SH", "上海", {"600000"});
    settings.BuildBlocks();
    runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    ClearPageList();
  }
  void TearDown() override { ClearPageList(); }

  static std::string Page(const char* name, int version = 12) {
    VIEW_ATTR_12 attr;
    attr.kind = VIEW_REPORT;
    return PageFileBytes(version, *Leaf(AttrRecord(version, attr), DataRecord(version, MVCDATA_12())), name);
  }
  fs::path User() const { return settings.install().user(); }
  fs::path Cfg() const { return settings.install().cfg(); }
  void PutUser(const std::string& file, const std::string& bytes) { testsupport::WriteBytes(User() / file, bytes); }
  void PutCfg(const std::string& file, const std::string& bytes) { testsupport::WriteBytes(Cfg() / file, bytes); }
  std::string Index() { return OnDisk(User(), "zvpage.idx"); }
  std::string LastPage() {
    const std::string bytes = OnDisk(User(), "LASTPAGE.DAT");
    return bytes == "<missing>" ? bytes : std::string(bytes.c_str());
  }
  std::vector<MessageBoxRequest> Boxes() { return boxes->Shown(); }

  shelltest::ShellSettings settings;
  ScopedScriptedMessageBoxes boxes;
  ScopedScriptedModalRunner runner;
};

TButton* ButtonOf(TForm& form, const char* name) { return static_cast<TButton*>(form.FindComponent(name)); }
TEdit* EditOf(TForm& form) { return static_cast<TEdit*>(form.FindComponent("Edit1")); }
TListBox* ListOf(TForm& form) { return static_cast<TListBox*>(form.FindComponent("ListBox1")); }
void Select(TForm& form, int index) {
  ListOf(form)->SetItemIndex(index);
  static_cast<TPageMngr&>(form).ListBox1Click(ListOf(form));
}

// ---- Scanning -----------------------------------------------------------------------------------

TEST_F(PageListTest, ScanTakesTheIndexOrderThenTheFoldersAndWritesTheIndexWhenItAdded) {
  PutUser("zvpage3.ppg", Page("三"));
  PutUser("zvpage5.ppg", Page("五", 9));
  PutCfg("zvpage0.ppg", Page("零", 5));
  PutCfg("zvpage1.ppg", Page("一", 11));
  // The same path twice gives two entries; the folder file listed in another case is not added again.
  PutUser("zvpage.idx", IndexBytes(1, {"..\\user\\zvpage3.ppg", "..\\CFG\\ZVPAGE1.PPG", "..\\user\\zvpage3.ppg"}));
  ScanPageFiles();
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"三", "一", "三", "零", "五"}));
  EXPECT_EQ(ListPaths(), (std::vector<std::string>{"..\\user\\zvpage3.ppg", "..\\CFG\\ZVPAGE1.PPG", "..\\user\\zvpage3.ppg",
                                                   "..\\cfg\\zvpage0.ppg", "..\\user\\zvpage5.ppg"}));
  EXPECT_EQ(Index(), IndexBytes(1, ListPaths()));

  // Nothing new found: the index is left as it is.
  PutUser("zvpage.idx", IndexBytes(1, {"..\\cfg\\zvpage0.ppg", "..\\cfg\\zvpage1.ppg", "..\\user\\zvpage3.ppg",
                                       "..\\user\\zvpage5.ppg"}));
  const std::string before = Index();
  ScanPageFiles();
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"零", "一", "三", "五"}));
  EXPECT_EQ(Index(), before);
}

TEST_F(PageListTest, AnIndexOfAnotherFormatIsIgnoredAndWrittenAnew) {
  PutUser("zvpage0.ppg", Page("甲"));
  PutUser("zvpage1.ppg", Page("乙"));
  PutUser("zvpage.idx", IndexBytes(2, {"..\\user\\zvpage1.ppg"}));
  ScanPageFiles();
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"甲", "乙"}));
  EXPECT_EQ(Index(), IndexBytes(1, {"..\\user\\zvpage0.ppg", "..\\user\\zvpage1.ppg"}));
  // A truncated index (shorter than its word) is no index either.
  PutUser("zvpage.idx", std::string("\x01\x00", 2));
  ScanPageFiles();
  EXPECT_EQ(PageListCount(), 2);
}

TEST_F(PageListTest, NoScanDeletesAndNoFileTheReaderRefusesIsListed) {
  const std::string good = Page("好");
  std::string wrongLength = good;
  wrongLength[72] ^= 1;
  std::string badMagic = good;
  badMagic[6] = '1';
  badMagic[7] = '3';
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"5 bytes", good.substr(0, 5)},
      {"header only", good.substr(0, 76)},
      {"unknown magic", badMagic},
      {"body length not the size", wrongLength},
      {"a split without children (the reader refuses it)", PageFileBytes(12, std::string(20, '\0'), "坏")},
  };
  std::vector<std::string> listed;
  for (int n = 0; n < static_cast<int>(std::size(cases)); ++n) {
    PutUser(PagePath("", n), cases[n].bytes);
    PutCfg(PagePath("", n), cases[n].bytes);
    listed.push_back(PagePath("..\\user\\", n));
  }
  listed.push_back("..\\user\\gone.ppg");   // cannot be opened
  const std::string index = IndexBytes(1, listed);
  PutUser("zvpage.idx", index);
  ScanPageFiles();
  EXPECT_EQ(PageListCount(), 0);
  for (int n = 0; n < static_cast<int>(std::size(cases)); ++n) {
    EXPECT_EQ(OnDisk(User(), PagePath("", n)), cases[n].bytes) << cases[n].what;
    EXPECT_EQ(OnDisk(Cfg(), PagePath("", n)), cases[n].bytes) << cases[n].what;
  }
  EXPECT_EQ(Index(), index) << "nothing was added, the index stays";
}

TEST_F(PageListTest, TheListHoldsAt128Pages) {
  std::vector<std::string> listed;
  fs::create_directories(User() / "more");
  for (int n = 0; n < 100; ++n) {
    testsupport::WriteBytes(User() / "more" / ("p" + std::to_string(n) + ".ppg"), Page("多"));
    listed.push_back("..\\user\\more\\p" + std::to_string(n) + ".ppg");
  }
  for (int n = 0; n < 64; ++n) {
    PutCfg(PagePath("", n), Page("cfg"));
    PutUser(PagePath("", n), Page("user"));
  }
  PutUser("zvpage.idx", IndexBytes(1, listed));
  ScanPageFiles();
  ASSERT_EQ(PageListCount(), kPageListCapacity);
  EXPECT_STREQ(PageListEntry(99).path, "..\\user\\more\\p99.ppg");
  EXPECT_STREQ(PageListEntry(127).path, "..\\cfg\\zvpage27.ppg");
  for (const std::string& path : ListPaths()) EXPECT_EQ(path.find("..\\user\\zvpage"), std::string::npos) << path;
  EXPECT_EQ(AppendPage("x", "..\\user\\x.ppg"), -1);
}

// ---- The index ----------------------------------------------------------------------------------

TEST_F(PageListTest, TheIndexIsReplacedWholeOrNotAtAll) {
  AppendPage("一", "..\\user\\zvpage0.ppg");
  AppendPage("二", "..\\cfg\\zvpage1.ppg");
  const std::string old = IndexBytes(1, {"..\\user\\old.ppg"});
  PutUser("zvpage.idx", old);
  for (files::FileCall call : {files::FileCall::kCreate, files::FileCall::kWrite, files::FileCall::kSync,
                               files::FileCall::kRename}) {
    files::ScopedFileFault fault(call);
    EXPECT_FALSE(WritePageIndex());
    EXPECT_EQ(fault.Failures(), 1);
    EXPECT_EQ(Index(), old);
  }
  EXPECT_TRUE(WritePageIndex());
  EXPECT_EQ(Index(), IndexBytes(1, {"..\\user\\zvpage0.ppg", "..\\cfg\\zvpage1.ppg"}));
  ClearPageList();
  EXPECT_TRUE(WritePageIndex());
  EXPECT_EQ(Index(), IndexBytes(1, {}));
}

// A writer of the index killed at random moments leaves the old index or the new one.
TEST_F(PageListTest, AKilledIndexWriteLeavesTheOldOrTheNewIndex) {
  std::vector<std::string> few{"..\\user\\zvpage0.ppg"};
  std::vector<std::string> many;
  for (int n = 0; n < 128; ++n) many.push_back(PagePath("..\\user\\", n));
  const std::string fewBytes = IndexBytes(1, few);
  const std::string manyBytes = IndexBytes(1, many);
  auto fill = [](const std::vector<std::string>& paths) {
    ClearPageList();
    for (const std::string& path : paths) AppendPage("页", path);
  };
  fill(few);
  ASSERT_TRUE(WritePageIndex());
  const auto start = std::chrono::steady_clock::now();
  fill(many);
  ASSERT_TRUE(WritePageIndex());
  const auto oneWrite =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  std::uniform_int_distribution<int> killAfter(0, std::max<int>(3000, static_cast<int>(2 * oneWrite)));
  std::mt19937 random(20261211);
  int sawFew = 0, sawMany = 0;
  for (int round = 0; round < 100; ++round) {
    ASSERT_TRUE(killtest::KillASaverAfter(
        [&](int i) {
          fill(i % 2 == 0 ? few : many);
          WritePageIndex();
        },
        killAfter(random)));
    const std::string now = Index();
    ASSERT_TRUE(now == fewBytes || now == manyBytes) << "round " << round << " left " << now.size() << " bytes";
    (now == fewBytes ? sawFew : sawMany)++;
  }
  EXPECT_GT(sawFew, 0);
  EXPECT_GT(sawMany, 0);
}

// ---- The page menus -----------------------------------------------------------------------------

TEST_F(PageListTest, MenusCheckThePageOfLastPageOrTheDefaultPage) {
  AppendPage("自选一", "..\\user\\zvpage0.ppg");
  AppendPage("A一二三四五六七八九十一二三四五", "..\\user\\zvpage1.ppg");   // 1 + 30 bytes
  AppendPage("无文件", "");
  AppendPage("短", "..\\a.ppg");
  struct Case {
    const char* lastPage;   // null: no LASTPAGE.DAT
    int selection;
    int checked;            // tag checked, -1 none
    const char* box;        // null: unchanged
  } cases[] = {
      {nullptr, kPageSelectLastPage, 0, "▲ 默认页面"},
      {"Default", kPageSelectLastPage, 0, "▲ 默认页面"},
      {"..\\a.ppg", kPageSelectLastPage, 0, "▲ 默认页面"},   // 10 characters or fewer name no page
      {"..\\USER\\ZVPAGE1.PPG", kPageSelectLastPage, 2, "▲A一二三四五六七八九十一二三"},   // cut at 27 bytes
      {"..\\user\\zvpage9.ppg", kPageSelectLastPage, 0, "▲ 默认页面"},
      {nullptr, 1, 1, "▲自选一"},
      {nullptr, kDefaultPageTag, 0, "▲ 默认页面"},
      {nullptr, kPageSelectNone, -1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastPage ? c.lastPage : "(none)");
    fs::remove(User() / "LASTPAGE.DAT");
    if (c.lastPage != nullptr) {
      ASSERT_TRUE(WriteLastPage(c.lastPage));
    }
    ScriptedHost host;
    PageCommands commands(host);
    commands.BuildPageMenu(c.selection);
    EXPECT_EQ(host.CheckedTag(), c.checked);
    EXPECT_EQ(host.box, c.box ? c.box : "<unchanged>");
    // "默认页面(&D)", a separator, then the pages with a path, tags = position + 1.
    for (TMenuItem* menu : host.PageMenus()) {
      ASSERT_EQ(menu->Count(), 5);
      EXPECT_EQ(menu->Items(0)->Caption(), "默认页面(&D)");
      EXPECT_EQ(menu->Items(0)->Tag(), 0);
      EXPECT_TRUE(menu->Items(1)->IsLine());
      EXPECT_EQ(menu->Items(2)->Caption(), "自选一");
      EXPECT_EQ(menu->Items(2)->Tag(), 1);
      EXPECT_EQ(menu->Items(3)->Tag(), 2);
      EXPECT_EQ(menu->Items(4)->Caption(), "短");
      EXPECT_EQ(menu->Items(4)->Tag(), 4);
      EXPECT_TRUE(menu->Items(4)->OnClick);
    }
  }
}

// ---- The page dialog, save form -----------------------------------------------------------------

class PageDialogTest : public PageListTest {
 protected:
  void SetUp() override {
    PageListTest::SetUp();
    AppendPage("甲", "..\\user\\zvpage0.ppg");
    AppendPage("乙", "..\\user\\zvpage1.ppg");
    AppendPage("丙", "..\\cfg\\zvpage0.ppg");
  }
  // The save form as a save asks it.
  bool Ask(PageSaveChoice& choice) {
    ScriptedHost host;
    PageCommands commands(host);
    return commands.AskPageName(choice);
  }
};

TEST_F(PageDialogTest, SaveFormBuildsItsControlsAndListsThePages) {
  runner->Add("TPageMngr", [](TForm& form) {
    EXPECT_EQ(form.Caption(), "页面管理");
    EXPECT_EQ(form.ClientWidth(), 307);
    EXPECT_EQ(form.ClientHeight(), 225);
    EXPECT_EQ(form.BorderStyle(), bsDialog);
    EXPECT_FALSE(ButtonOf(form, "XPButton1")->Visible());
    EXPECT_FALSE(ButtonOf(form, "XPButton2")->Visible());
    EXPECT_TRUE(ButtonOf(form, "Button1")->Default());
    EXPECT_TRUE(ButtonOf(form, "Button2")->Cancel());
    EXPECT_EQ(EditOf(form)->MaxLength(), 10);
    TListBox* list = ListOf(form);
    ASSERT_EQ(list->Items()->Count(), 3);
    EXPECT_EQ(list->Items()->Get(2), "丙");
    EXPECT_EQ(list->ItemHeight(), 14);
    ButtonOf(form, "Button2")->Click();
  });
  PageSaveChoice choice;
  EXPECT_FALSE(Ask(choice));
}

TEST_F(PageDialogTest, SaveFormAnswers) {
  struct Case {
    const char* what;
    int select;           // -1 none
    const char* typed;    // null: the selected name stays
    int answer;           // to the overwrite question, 0 none asked
    const char* name;
    const char* path;
    int position;
  } cases[] = {
      {"new name, nothing selected", -1, "新页", 0, "新页", "", -1},
      {"an existing name typed without a selection is a new file", -1, "乙", 0, "乙", "", -1},
      {"selected, renamed, Yes overwrites under the new name", 1, "丁", IDYES, "丁", "..\\user\\zvpage1.ppg", 1},
      {"selected, renamed, No makes a new file", 1, "丁", IDNO, "丁", "", 1},
      {"selected, same name, Yes", 2, nullptr, IDYES, "丙", "..\\cfg\\zvpage0.ppg", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t before = boxes->Count();
    if (c.answer != 0) boxes->Answer(c.answer);
    runner->Add("TPageMngr", [&](TForm& form) {
      if (c.select >= 0) Select(form, c.select);
      if (c.select >= 0) {
        EXPECT_EQ(EditOf(form)->Text(), PageListEntry(c.select).name) << "a click copies the name";
      }
      if (c.typed != nullptr) EditOf(form)->SetText(c.typed);
      ButtonOf(form, "Button1")->Click();
    });
    PageSaveChoice choice;
    ASSERT_TRUE(Ask(choice));
    EXPECT_STREQ(choice.name, c.name);
    EXPECT_STREQ(choice.path, c.path);
    EXPECT_EQ(choice.position, c.position);
    const auto shown = Boxes();
    ASSERT_EQ(shown.size() - before, c.answer != 0 ? 1u : 0u);
    if (c.answer != 0) {
      EXPECT_EQ(shown.back().caption, "确认");
      EXPECT_EQ(shown.back().buttons, static_cast<UINT>(MB_YESNO));
      const std::string expected = c.typed != nullptr ? "点击“是”覆盖已有页面 乙 ，点击“否”创建新页面文件。  "
                                                      : "确定要覆盖页面 丙 吗？  ";
      EXPECT_EQ(shown.back().text, expected);
    }
  }
}

TEST_F(PageDialogTest, SaveFormStaysOpenForAnEmptyNameAndARefusedOverwrite) {
  boxes->Answer(IDOK);
  boxes->Answer(IDNO);
  runner->Add("TPageMngr", [](TForm& form) {
    ButtonOf(form, "Button1")->Click();   // empty name
    EXPECT_EQ(form.ModalResult(), mrNone);
    EXPECT_EQ(form.ActiveControl(), EditOf(form));
    Select(form, 0);
    ButtonOf(form, "Button1")->Click();   // same name, No
    EXPECT_EQ(form.ModalResult(), mrNone);
    EXPECT_EQ(form.ActiveControl(), EditOf(form));
    ButtonOf(form, "Button2")->Click();
  });
  PageSaveChoice choice;
  EXPECT_FALSE(Ask(choice));
  const auto shown = Boxes();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "请指定页面文件的名称。  ");
  EXPECT_EQ(shown[0].caption, "未命名");
  EXPECT_EQ(shown[0].icon, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_TRUE(shown[0].topMost);
  EXPECT_EQ(shown[1].text, "确定要覆盖页面 甲 吗？  ");
}

// ---- The page dialog, management form -----------------------------------------------------------

TEST_F(PageDialogTest, ManagementDeletesAndReordersThenWritesTheIndexAndMenus) {
  PutUser("zvpage0.ppg", Page("甲"));
  PutUser("zvpage1.ppg", Page("乙"));
  PutCfg("zvpage0.ppg", Page("丙"));
  ScriptedHost host;
  host.pagePath = "..\\USER\\ZVPAGE0.PPG";
  PageCommands commands(host);
  boxes->Answer(IDOK);
  boxes->Answer(IDNO);
  boxes->Answer(IDYES);
  bool modal = false;
  runner->Add("TPageMngr", [&](TForm& form) {
    modal = ModalDialogOpen();
    TButton* remove = ButtonOf(form, "Button1");
    EXPECT_EQ(remove->Caption(), "删除");
    EXPECT_EQ(remove->Left(), 144);
    EXPECT_FALSE(remove->Default());
    EXPECT_TRUE(ButtonOf(form, "Button2")->Default());
    EXPECT_EQ(ButtonOf(form, "Button2")->Caption(), "关闭");
    EXPECT_FALSE(EditOf(form)->Enabled());
    TListBox* list = ListOf(form);
    remove->Click();   // no selection: nothing
    // Moving the first up or the last down does nothing.
    Select(form, 0);
    ButtonOf(form, "XPButton1")->Click();
    Select(form, 2);
    ButtonOf(form, "XPButton2")->Click();
    EXPECT_FALSE(static_cast<TPageMngr&>(form).changed);
    // The open page cannot be deleted (paths compared without regard to case).
    Select(form, 0);
    remove->Click();
    EXPECT_EQ(form.ModalResult(), mrNone);
    // 乙: No keeps it, Yes deletes it.
    Select(form, 1);
    remove->Click();
    EXPECT_EQ(list->Items()->Count(), 3);
    remove->Click();
    EXPECT_EQ(list->Items()->Count(), 2);
    // 丙 moves up before 甲.
    Select(form, 1);
    ButtonOf(form, "XPButton1")->Click();
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_EQ(list->Items()->Get(0), "丙");
    EXPECT_EQ(form.ModalResult(), mrNone);
    ButtonOf(form, "Button2")->Click();
  });
  commands.N53Click(nullptr);
  EXPECT_TRUE(modal);
  EXPECT_FALSE(ModalDialogOpen());
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"丙", "甲"}));
  EXPECT_EQ(OnDisk(User(), "zvpage1.ppg"), "<missing>");
  EXPECT_EQ(OnDisk(User(), "zvpage0.ppg"), Page("甲"));
  EXPECT_EQ(Index(), IndexBytes(1, {"..\\cfg\\zvpage0.ppg", "..\\user\\zvpage0.ppg"}));
  const auto shown = Boxes();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "您不能删除当前正在使用的页面。  ");
  EXPECT_EQ(shown[0].icon, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(shown[1].text, "确定删除页面 乙 吗？  ");
  ASSERT_NE(host.ItemWithTag(1), nullptr) << "menus rebuilt";
  EXPECT_EQ(host.ItemWithTag(1)->Caption(), "丙");

  // Nothing changed: neither the index nor the menus are touched.
  fs::remove(User() / "zvpage.idx");
  runner->Add("TPageMngr", [](TForm& form) { ButtonOf(form, "Button2")->Click(); });
  host.log.clear();
  commands.N53Click(nullptr);
  EXPECT_EQ(Index(), "<missing>");
  EXPECT_TRUE(host.log.empty());
}

// ---- The page commands --------------------------------------------------------------------------

class PageCommandTest : public PageListTest {
 protected:
  void SetUp() override {
    PageListTest::SetUp();
    PutUser("zvpage0.ppg", Page("甲"));
    PutUser("zvpage1.ppg", Page("乙"));
    ScanPageFiles();
    ASSERT_EQ(PageListCount(), 2);
    commands.BuildPageMenu(kPageSelectNone);
  }
  ScriptedHost host;
  PageCommands commands{host};
};

TEST_F(PageCommandTest, OpeningAPageFromItsMenuItem) {
  host.pagePath = "..\\USER\\ZVPAGE0.PPG";
  host.ItemWithTag(2)->Click();   // frees the item on the way: the menus are rebuilt
  EXPECT_EQ(host.log, (std::vector<std::string>{"open 0 ..\\user\\zvpage1.ppg", "box"}));
  EXPECT_EQ(host.CheckedTag(), 2);
  EXPECT_EQ(host.box, "▲乙");
  EXPECT_EQ(LastPage(), "..\\USER\\ZVPAGE1.PPG");
  EXPECT_EQ(OnDisk(User(), "LASTPAGE.DAT").size(), 260u);

  host.log.clear();
  host.ItemWithTag(0)->Click();
  EXPECT_EQ(host.log, (std::vector<std::string>{"open 2 ", "box"}));
  EXPECT_EQ(host.CheckedTag(), 0);
  EXPECT_EQ(LastPage(), "Default");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PageCommandTest, AnUnsavedPageIsLeftOnlyWhenSaved) {
  struct Case {
    const char* what;
    int answer;
    bool emptyCell;
    PageSaveResult saved;
    bool opens;
    std::vector<std::string> texts;
  } cases[] = {
      {"No: the page is dropped", IDNO, false, PageSaveResult::kSaved, true, {"是否保存当前页面？  "}},
      {"Yes and saved", IDYES, false, PageSaveResult::kSaved, true, {"是否保存当前页面？  "}},
      {"Yes, save cancelled", IDYES, false, PageSaveResult::kCancelled, false, {"是否保存当前页面？  "}},
      {"Yes, save failed", IDYES, false, PageSaveResult::kFailed, false, {"是否保存当前页面？  "}},
      {"Yes, no room for the file", IDYES, false, PageSaveResult::kLimit, false, {"是否保存当前页面？  "}},
      {"Yes with an empty cell", IDYES, true, PageSaveResult::kSaved, false,
       {"是否保存当前页面？  ", "请先指定空白窗口的内容。  "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedScriptedMessageBoxes scripted;
    scripted->Answer(c.answer);
    host.pagePath.clear();
    host.emptyCell = c.emptyCell;
    host.saveResult = c.saved;
    host.log.clear();
    fs::remove(User() / "LASTPAGE.DAT");
    commands.OpenPageByTag(1);
    std::vector<std::string> texts;
    for (const auto& box : scripted->Shown()) texts.push_back(box.text);
    EXPECT_EQ(texts, c.texts);
    const bool saveAsked = c.answer == IDYES && !c.emptyCell;
    EXPECT_EQ(!host.log.empty() && host.log[0] == "save 0", saveAsked);
    EXPECT_EQ(host.pagePath == "..\\USER\\ZVPAGE0.PPG", c.opens);
    EXPECT_EQ(LastPage(), c.opens ? "..\\USER\\ZVPAGE0.PPG" : "<missing>");
  }
}

TEST_F(PageCommandTest, AMissingPageIsReportedAndTheListRescanned) {
  host.pagePath = "Default";
  fs::remove(User() / "zvpage0.ppg");
  host.ItemWithTag(1)->Click();
  const auto shown = Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "指定的页面不存在。  ");
  EXPECT_EQ(shown[0].caption, "提示");
  EXPECT_EQ(shown[0].icon, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(shown[0].topMost);
  EXPECT_EQ(ListNames(), std::vector<std::string>{"乙"});
  EXPECT_EQ(host.ItemWithTag(1)->Caption(), "乙");
  EXPECT_EQ(host.ItemWithTag(2), nullptr);
  EXPECT_EQ(host.pagePath, "Default") << "nothing opened";
  commands.OpenPageByTag(7);   // beyond the list (a stale wizard result)
  EXPECT_EQ(Boxes().size(), 2u);
}

TEST_F(PageCommandTest, StartAndNewPageSaveTheOldPageBeforeTheNewWindow) {
  host.pagePath = "..\\USER\\ZVPAGE0.PPG";
  commands.ToolButton4Click(nullptr);
  EXPECT_EQ(host.log, (std::vector<std::string>{"save 2", "replace 0", "box"}));
  host.log.clear();
  commands.N10Click(nullptr);
  EXPECT_EQ(host.log, (std::vector<std::string>{"save 2", "replace 1"})) << "a new page checks nothing";
  host.autoSave = false;
  host.log.clear();
  commands.N10Click(nullptr);
  EXPECT_EQ(host.log, std::vector<std::string>{"replace 1"});

  // An unsaved blank page: Yes with an empty cell keeps the page.
  host.pagePath.clear();
  host.emptyCell = true;
  boxes->Answer(IDYES);
  host.log.clear();
  commands.ToolButton4Click(nullptr);
  EXPECT_TRUE(host.log.empty());
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].text, "请先指定空白窗口的内容。  ");
}

TEST_F(PageCommandTest, AutoSaveSwitchWritesTheSetting) {
  const std::string file = UserFilePath("SETTING.INI");
  char value[8];
  commands.N17Click(nullptr);
  EXPECT_FALSE(host.autoSave);
  GetPrivateProfileStringA("Parameter", "AutoSavePage", "", value, sizeof value, file.c_str());
  EXPECT_STREQ(value, "0");
  commands.N17Click(nullptr);
  EXPECT_TRUE(host.autoSave);
  GetPrivateProfileStringA("Parameter", "AutoSavePage", "", value, sizeof value, file.c_str());
  EXPECT_STREQ(value, "1");
}

// Save as through the real page file writer, with these commands as its page dialog and list.
TEST_F(PageCommandTest, SaveAsMakesAPageFileListsItAndChecksIt) {
  PageModel model;
  model.top = std::make_unique<PageModelNode>();
  model.top->attr.kind = VIEW_REPORT;
  std::string pagePath = "..\\USER\\ZVPAGE0.PPG";
  host.onSave = [&](int mode) { return static_cast<int>(SavePageFile(model, pagePath, mode, &commands)); };

  host.emptyCell = true;
  commands.N19Click(nullptr);
  EXPECT_TRUE(host.log.empty()) << "an empty cell is refused first";
  host.emptyCell = false;

  runner->Add("TPageMngr", [](TForm& form) {
    EditOf(form)->SetText("新页");
    ButtonOf(form, "Button1")->Click();
  });
  commands.N19Click(nullptr);
  EXPECT_EQ(pagePath, "..\\USER\\ZVPAGE2.PPG");
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"甲", "乙", "新页"}));
  EXPECT_EQ(host.CheckedTag(), 3);
  EXPECT_EQ(host.box, "▲新页");
  EXPECT_EQ(Index(), IndexBytes(1, {"..\\user\\zvpage0.ppg", "..\\user\\zvpage1.ppg", "..\\user\\zvpage2.ppg"}));
  EXPECT_EQ(gbk::Upper(LastPage()), "..\\USER\\ZVPAGE2.PPG");

  // Cancelled: nothing saved, nothing rebuilt.
  runner->Add("TPageMngr", [](TForm& form) { ButtonOf(form, "Button2")->Click(); });
  host.log.clear();
  commands.N19Click(nullptr);
  EXPECT_EQ(host.log, std::vector<std::string>{"save 1"});

  // With 128 pages listed no further page file is made.
  while (AppendPage("满", "..\\user\\zvpage0.ppg") >= 0) {
  }
  runner->Add("TPageMngr", [](TForm& form) {
    EditOf(form)->SetText("再一页");
    ButtonOf(form, "Button1")->Click();
  });
  commands.N19Click(nullptr);
  EXPECT_EQ(Boxes().back().text, kPageLimitText);
  EXPECT_EQ(OnDisk(User(), "zvpage3.ppg"), "<missing>");
}

// Writes the fuzz target's seeds (fuzz/seeds/pageindex) when ZUVO_PAGEINDEX_SEEDS names a folder:
// an index over valid and refused pages, another format word, a duplicate and an unterminated path.
TEST_F(PageListTest, WritesFuzzSeedsWhenAsked) {
  const char* out = std::getenv("ZUVO_PAGEINDEX_SEEDS");
  if (out == nullptr) GTEST_SKIP() << "ZUVO_PAGEINDEX_SEEDS not set";
  const fs::path dir(out);
  fs::create_directories(dir);
  const std::string sep = "\n--zuvo--\n";
  const std::string good = Page("种子");
  const std::string old = Page("旧", 5);
  testsupport::WriteBytes(dir / "listed-and-found.bin",
                          IndexBytes(1, {"..\\user\\zvpage1.ppg", "..\\USER\\ZVPAGE1.PPG", "..\\user\\gone.ppg"}) + sep +
                              good + sep + old + sep + good.substr(0, 76));
  testsupport::WriteBytes(dir / "other-format.bin", IndexBytes(7, {"..\\user\\zvpage0.ppg"}) + sep + good);
  testsupport::WriteBytes(dir / "unterminated.bin", IndexBytes(1, {std::string(260, 'a')}) + sep + good);
}

}  // namespace
