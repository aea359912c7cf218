#include "shell/PageList.h"

#include "data/UtilData.h"
#include "platform/Button.h"
#include "platform/Edit.h"
#include "platform/Files.h"
#include "platform/ListBox.h"
#include "platform/Menu.h"
#include "platform/Panel.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "shell/ModalDialog.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace files = zuvo::platform::files;
namespace gbk = zuvo::platform::gbk;

namespace {

constexpr std::uint32_t kPageIndexFormat = 1;
constexpr int kPageFileNumbers = 64;   // zvpage0.ppg .. zvpage63.ppg in each folder
constexpr std::size_t kLastPageMinLength = 10;   // LASTPAGE.DAT paths this short name no page

const char* const kIndexFile = "zvpage.idx";
const char* const kDefaultItemCaption = "默认页面(&D)";
const char* const kDefaultBoxText = "▲ 默认页面";
const char* const kBoxMark = "▲";

std::vector<CPageData>& List() {
  static std::vector<CPageData> list = [] {
    std::vector<CPageData> v;
    v.reserve(kPageListCapacity);
    return v;
  }();
  return list;
}

void CopyField(char* field, std::size_t size, std::string_view text) {
  std::memset(field, 0, size);
  const std::size_t length = gbk::CutLength(text.substr(0, std::min(text.size(), text.find('\0'))), size - 1);
  std::memcpy(field, text.data(), length);
}

std::string Field(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

// Lists `path` when the page reader reads it; the file is never changed.
bool AddWhenReadable(const std::string& path) {
  PageModel model;
  if (LoadPageFile(path, model) != PageLoadResult::kLoaded) return false;
  return AppendPage(Field(model.name, sizeof model.name), path) >= 0;
}

// The paths of the page index in order, none when it is missing or of another format.
std::vector<std::string> ReadPageIndex() {
  std::vector<std::string> paths;
  const std::string path = UserFilePath(kIndexFile);
  files::ScopedHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return paths;
  std::uint32_t format = 0;
  DWORD got = 0;
  if (!ReadFile(file.get(), &format, sizeof format, &got, nullptr) || got != sizeof format) return paths;
  if (format != kPageIndexFormat) return paths;
  char record[kPagePathSize];
  while (static_cast<int>(paths.size()) < kPageListCapacity) {
    got = 0;
    if (!ReadFile(file.get(), record, sizeof record, &got, nullptr) || got != sizeof record) break;
    // A record without its terminator names no path that fits the list.
    if (std::memchr(record, '\0', sizeof record) == nullptr) continue;
    paths.push_back(record);
  }
  return paths;
}

bool Openable(const std::string& path) {
  if (path.empty()) return false;
  files::ScopedHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.ok();
}

std::string Format1(const char* format, const char* value) {
  char text[256];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

HWND HandleOf(TWinControl* control) {
  return control != nullptr && control->HandleAllocated() ? control->Handle() : nullptr;
}

}  // namespace

// ---- The page list ------------------------------------------------------------------------------

int PageListCount() { return static_cast<int>(List().size()); }

CPageData& PageListEntry(int position) { return List().at(static_cast<std::size_t>(position)); }

int FindPageByPath(std::string_view path) {
  const auto& list = List();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (gbk::EqualsNoCase(Field(list[i].path, kPagePathSize), path)) return static_cast<int>(i);
  }
  return -1;
}

int AppendPage(std::string_view name, std::string_view path) {
  auto& list = List();
  if (static_cast<int>(list.size()) >= kPageListCapacity) return -1;
  // A path is kept whole or not at all: a cut one would name another file.
  path = path.substr(0, std::min(path.size(), path.find('\0')));
  if (path.size() >= kPagePathSize) return -1;
  CPageData entry{};
  CopyField(entry.name, sizeof entry.name, name);
  std::memcpy(entry.path, path.data(), path.size());
  list.push_back(entry);
  return static_cast<int>(list.size()) - 1;
}

void RemovePage(int position) {
  auto& list = List();
  if (position < 0 || position >= static_cast<int>(list.size())) return;
  list.erase(list.begin() + position);
}

void SwapPages(int a, int b) {
  auto& list = List();
  const int count = static_cast<int>(list.size());
  if (a < 0 || b < 0 || a >= count || b >= count) return;
  std::swap(list[static_cast<std::size_t>(a)], list[static_cast<std::size_t>(b)]);
}

void ClearPageList() { List().clear(); }

void ScanPageFiles() {
  ClearPageList();
  for (const std::string& path : ReadPageIndex()) {
    if (PageListCount() >= kPageListCapacity) break;
    AddWhenReadable(path);
  }
  bool added = false;
  const std::string folders[2] = {"..\\cfg\\", std::string(UserDir)};
  for (const std::string& folder : folders) {
    for (int n = 0; n < kPageFileNumbers && PageListCount() < kPageListCapacity; ++n) {
      char file[32];
      std::snprintf(file, sizeof file, "zvpage%d.ppg", n);
      const std::string path = folder + file;
      if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
      if (FindPageByPath(path) >= 0) continue;
      if (AddWhenReadable(path)) added = true;
    }
  }
  if (added) WritePageIndex();
}

bool WritePageIndex() {
  const auto& list = List();
  std::string bytes(sizeof kPageIndexFormat + kPagePathSize * list.size(), '\0');
  std::memcpy(bytes.data(), &kPageIndexFormat, sizeof kPageIndexFormat);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string path = Field(list[i].path, kPagePathSize);
    std::memcpy(bytes.data() + sizeof kPageIndexFormat + i * kPagePathSize, path.data(), path.size());
  }
  return files::AtomicReplace(UserFilePath(kIndexFile), bytes.data(), bytes.size());
}

// ---- The page menus -----------------------------------------------------------------------------

PageMenuResult BuildPageMenu(TMenuItem& menu, int selection, const TNotifyEvent& onClick) {
  PageMenuResult result;
  menu.Clear();
  if (selection == kPageSelectLastPage) {
    const std::string last = ReadLastPage();
    if (last.size() > kLastPageMinLength) {
      const int position = FindPageByPath(last);
      if (position >= 0) selection = position + 1;
    }
  }
  result.selection = selection;

  auto add = [&](const std::string& caption, int tag) {
    auto* item = new TMenuItem(&menu);
    item->SetCaption(caption);
    item->SetTag(tag);
    if (tag >= 0) item->OnClick = onClick;
    menu.Add(item);
    return item;
  };
  TMenuItem* defaultItem = add(kDefaultItemCaption, kDefaultPageTag);
  add("-", -1);
  if (selection == kDefaultPageTag || selection == kPageSelectLastPage) {
    defaultItem->SetChecked(true);
    result.boxChanged = true;
    result.boxText = kDefaultBoxText;
  }
  for (int i = 0; i < PageListCount(); ++i) {
    const CPageData& entry = PageListEntry(i);
    if (entry.path[0] == '\0') continue;
    const std::string name = Field(entry.name, sizeof entry.name);
    TMenuItem* item = add(name, i + 1);
    if (i + 1 == selection) {
      item->SetChecked(true);
      result.boxChanged = true;
      result.boxText = std::string(kBoxMark) + name.substr(0, gbk::CutLength(name, kPageBoxNameBytes));
    }
  }
  return result;
}

// ---- The page dialog ----------------------------------------------------------------------------

TPageMngr::TPageMngr(TComponent* owner, Form form, const std::string& currentPathText)
    : TForm(owner), form_(form) {
  SetName("TPageMngr");
  SetCaption("页面管理");
  SetBorderStyle(bsDialog);
  SetPosition(poDesktopCenter);
  SetClientWidth(307);
  SetClientHeight(225);

  Label2 = new TLabel(this);
  Label2->SetName("Label2");
  Label2->SetParent(this);
  Label2->SetBounds(8, 10, 60, 17);
  Label2->SetCaption("页面名称:");
  Edit1 = new TEdit(this);
  Edit1->SetName("Edit1");
  Edit1->SetParent(this);
  Edit1->SetBounds(72, 6, 227, 21);
  Edit1->SetMaxLength(10);
  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetBounds(8, 36, 90, 17);
  Label1->SetCaption("已保存的页面:");
  ListBox1 = new TListBox(this);
  ListBox1->SetName("ListBox1");
  ListBox1->SetParent(this);
  ListBox1->SetBounds(8, 54, 291, 130);
  ListBox1->SetItemHeight(14);
  ListBox1->OnClick = Handler(this, &TPageMngr::ListBox1Click);

  auto button = [this](const char* name, const char* caption, int left, TModalResult result) {
    auto* b = new TButton(this);
    b->SetName(name);
    b->SetParent(this);
    b->SetBounds(left, 192, 70, 25);
    b->SetCaption(caption);
    b->SetModalResult(result);
    return b;
  };
  XPButton1 = button("XPButton1", "上移", 8, mrNone);
  XPButton1->OnClick = Handler(this, &TPageMngr::XPButton1Click);
  XPButton2 = button("XPButton2", "下移", 82, mrNone);
  XPButton2->OnClick = Handler(this, &TPageMngr::XPButton2Click);
  Button1 = button("Button1", "确定", 152, mrOk);
  Button1->SetDefault(true);
  Button1->OnClick = Handler(this, &TPageMngr::Button1Click);
  Button2 = button("Button2", "取消", 229, mrCancel);
  Button2->SetCancel(true);

  if (form_ == Form::kSave) {
    XPButton1->SetVisible(false);
    XPButton2->SetVisible(false);
    SetActiveControl(Edit1);
  } else {
    Button1->SetLeft(144);
    Button1->SetCaption("删除");
    Button1->SetDefault(false);
    Button1->SetModalResult(mrNone);
    Button2->SetCaption("关闭");
    Button2->SetDefault(true);
    Edit1->SetEnabled(false);
    CopyField(currentPath, sizeof currentPath, currentPathText);
    SetActiveControl(ListBox1);
  }

  for (int i = 0; i < PageListCount(); ++i) {
    const CPageData& entry = PageListEntry(i);
    ListBox1->Items()->Add(Field(entry.name, sizeof entry.name));
  }
}

void TPageMngr::ListBox1Click(TObject*) {
  const int index = ListBox1->ItemIndex();
  if (form_ != Form::kSave || index < 0 || index >= PageListCount()) return;
  const CPageData& entry = PageListEntry(index);
  Edit1->SetText(Field(entry.name, sizeof entry.name));
  SetActiveControl(Edit1);
}

void TPageMngr::Button1Click(TObject*) {
  if (form_ == Form::kSave) {
    SaveClick();
  } else {
    DeleteClick();
  }
}

void TPageMngr::SaveClick() {
  const HWND self = HandleOf(this);
  const std::string text = Edit1->Text();
  if (text.empty()) {
    SetModalResult(mrNone);
    MessageBoxA(self, "请指定页面文件的名称。  ", "未命名", MB_OK | MB_ICONWARNING | MB_TOPMOST);
    SetActiveControl(Edit1);
    return;
  }
  chosen = CPageData{};
  CopyField(chosen.name, sizeof chosen.name, text);
  const int index = ListBox1->ItemIndex();
  if (index < 0 || index >= PageListCount()) {
    chosenPosition = -1;
    SetModalResult(mrOk);
    return;
  }
  const CPageData& entry = PageListEntry(index);
  const std::string name = Field(entry.name, sizeof entry.name);
  if (name != Field(chosen.name, sizeof chosen.name)) {
    const std::string question = Format1("点击“是”覆盖已有页面 %s ，点击“否”创建新页面文件。  ", name.c_str());
    if (MessageBoxA(self, question.c_str(), "确认", MB_YESNO) == IDYES) {
      std::memcpy(chosen.path, entry.path, sizeof chosen.path);
    }
    chosenPosition = index;
    SetModalResult(mrOk);
    return;
  }
  const std::string question = Format1("确定要覆盖页面 %s 吗？  ", name.c_str());
  if (MessageBoxA(self, question.c_str(), "确认", MB_YESNO) == IDYES) {
    chosen = entry;
    chosenPosition = index;
    SetModalResult(mrOk);
    return;
  }
  SetModalResult(mrNone);
  SetActiveControl(Edit1);
}

void TPageMngr::DeleteClick() {
  const HWND self = HandleOf(this);
  const int index = ListBox1->ItemIndex();
  if (index < 0 || index >= PageListCount()) return;
  const CPageData& entry = PageListEntry(index);
  const std::string path = Field(entry.path, sizeof entry.path);
  if (gbk::EqualsNoCase(path, Field(currentPath, sizeof currentPath))) {
    MessageBoxA(self, "您不能删除当前正在使用的页面。  ", "提示", MB_OK | MB_ICONINFORMATION);
    return;
  }
  const std::string question = Format1("确定删除页面 %s 吗？  ", Field(entry.name, sizeof entry.name).c_str());
  if (MessageBoxA(self, question.c_str(), "确认", MB_YESNO) != IDYES) return;
  // A file that stays (it could not be deleted) keeps its entry: the next scan would list it again.
  if (!path.empty() && !DeleteFileA(path.c_str()) && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  RemovePage(index);
  ListBox1->Items()->Delete(index);
  changed = true;
}

void TPageMngr::MoveSelection(int delta) {
  const int index = ListBox1->ItemIndex();
  const int target = index + delta;
  if (index < 0 || target < 0 || index >= PageListCount() || target >= PageListCount()) return;
  SwapPages(index, target);
  ListBox1->Items()->Exchange(index, target);
  ListBox1->SetItemIndex(target);
  changed = true;
}

void TPageMngr::XPButton1Click(TObject*) { MoveSelection(-1); }
void TPageMngr::XPButton2Click(TObject*) { MoveSelection(1); }

// ---- The main window's page commands ------------------------------------------------------------

HWND PageCommands::OwnerHandle() { return HandleOf(host_.DialogOwner()); }

void PageCommands::BuildPageMenu(int selection) {
  const TNotifyEvent onClick = [this](TObject* sender) { OpenPageClick(sender); };
  PageMenuResult result;
  for (TMenuItem* menu : host_.PageMenus()) {
    if (menu != nullptr) result = ::BuildPageMenu(*menu, selection, onClick);
  }
  if (result.boxChanged) host_.ShowPageBoxText(result.boxText);
}

bool PageCommands::RefuseEmptyCell() {
  if (!host_.PageHasEmptyCell()) return false;
  MessageBoxA(OwnerHandle(), "请先指定空白窗口的内容。  ", "提示", MB_OK | MB_ICONINFORMATION);
  return true;
}

bool PageCommands::SaveUnsavedPage() {
  if (!host_.PagePath().empty()) return true;
  if (MessageBoxA(OwnerHandle(), "是否保存当前页面？  ", "确认", MB_YESNO) != IDYES) return true;
  if (RefuseEmptyCell()) return false;
  // The user chose to keep this page: leave it only when it was saved.
  return host_.SavePage(kPageSaveNormal) == static_cast<int>(PageSaveResult::kSaved);
}

void PageCommands::OpenPageClick(TObject* sender) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (item == nullptr) return;
  // The menus are rebuilt below, which frees the item: only its tag is used.
  OpenPageByTag(item->Tag());
}

void PageCommands::OpenPageByTag(int tag) {
  if (tag < 0) return;
  if (!SaveUnsavedPage()) return;
  if (tag > 0) {
    const std::string path =
        tag <= PageListCount() ? Field(PageListEntry(tag - 1).path, kPagePathSize) : std::string();
    if (!Openable(path)) {
      ScanPageFiles();
      BuildPageMenu(kPageSelectLastPage);
      MessageBoxA(OwnerHandle(), "指定的页面不存在。  ", "提示", MB_OK | MB_ICONERROR | MB_TOPMOST);
      return;
    }
    host_.OpenPage(path, PAGE_OPEN_FILE);
    BuildPageMenu(tag);
    WriteLastPage(host_.PagePath());
    return;
  }
  host_.OpenPage(std::string(), PAGE_OPEN_DEFAULT);
  BuildPageMenu(kDefaultPageTag);
  WriteLastPage("Default");
}

void PageCommands::NewPageWindow(PageOpenMode mode, int selection) {
  if (!SaveUnsavedPage()) return;
  // The old page is saved before the new page window reads anything, so a start page that
  // names the same file shows its latest state.
  if (host_.AutoSavePage()) host_.SavePage(kPageSaveAuto);
  host_.ReplacePageWindow(mode);
  BuildPageMenu(selection);
}

void PageCommands::ToolButton4Click(TObject*) { NewPageWindow(PAGE_OPEN_FILE, kPageSelectLastPage); }

void PageCommands::N10Click(TObject*) { NewPageWindow(PAGE_OPEN_EMPTY, kPageSelectNone); }

void PageCommands::N19Click(TObject*) {
  if (RefuseEmptyCell()) return;
  host_.SavePage(kPageSaveAs);
}

void PageCommands::N53Click(TObject*) {
  TPageMngr* dialog = NewForm<TPageMngr>(host_.DialogOwner(), TPageMngr::Form::kManage, host_.PagePath());
  {
    ModalDialogScope modal;
    dialog->ShowModal();
  }
  const bool changed = dialog->changed;
  TComponent::Free(dialog);
  if (!changed) return;
  WritePageIndex();
  BuildPageMenu(kPageSelectLastPage);
}

void PageCommands::N17Click(TObject*) {
  const bool checked = !host_.AutoSavePage();
  host_.SetAutoSavePage(checked);
  const std::string file = UserFilePath("SETTING.INI");
  WritePrivateProfileStringA("Parameter", "AutoSavePage", checked ? "1" : "0", file.c_str());
}

bool PageCommands::AskPageName(PageSaveChoice& choice) {
  savedPath_.clear();
  TPageMngr* dialog = NewForm<TPageMngr>(host_.DialogOwner(), TPageMngr::Form::kSave);
  const bool ok = dialog->ShowModal() == mrOk;
  if (ok) {
    std::memcpy(choice.name, dialog->chosen.name, sizeof choice.name);
    std::memcpy(choice.path, dialog->chosen.path, sizeof choice.path);
    choice.position = dialog->chosenPosition;
    savedPath_ = Field(choice.path, sizeof choice.path);
  }
  TComponent::Free(dialog);
  return ok;
}

int PageCommands::PageCount() { return PageListCount(); }

int PageCommands::AddPage(const char* name, const char* path) {
  const int position = AppendPage(name != nullptr ? name : "", path != nullptr ? path : "");
  WritePageIndex();
  savedPath_ = path != nullptr ? path : "";
  return position;
}

void PageCommands::PageSaved(int position) {
  ScanPageFiles();
  // The scan may list the saved page elsewhere than the dialog saw it: check it by its path.
  const int found = savedPath_.empty() ? -1 : FindPageByPath(savedPath_);
  BuildPageMenu(found >= 0 ? found + 1 : position + 1);
}
