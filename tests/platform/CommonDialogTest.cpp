#include "platform/CommonDialog.h"

#include "platform/Files.h"
#include "platform/Form.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <QPrinterInfo>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace zuvo::platform;
using testsupport::TempInstall;
using testsupport::WriteBytes;

// A folder outside the install tree, removed afterwards.
class OutsideFolder {
 public:
  OutsideFolder() {
    std::string pattern = (fs::temp_directory_path() / "zuvo-dlg-outside-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~OutsideFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// An OPENFILENAMEA as the program fills it, with a name buffer of `size` bytes.
struct FileNameRecord {
  explicit FileNameRecord(std::size_t size, const char* filter) : buffer(size, '\0') {
    std::memset(&record, 0, sizeof record);
    record.lStructSize = sizeof(OPENFILENAMEA);
    record.lpstrFilter = filter;
    record.nFilterIndex = 1;
    record.lpstrFile = buffer.data();
    record.nMaxFile = static_cast<DWORD>(buffer.size());
  }
  std::string Name() const { return std::string(buffer.data()); }
  std::vector<char> buffer;
  OPENFILENAMEA record;
};

// The bytes of a filter list with its NULs ("a\0*.a\0\0").
std::string Nuls(std::initializer_list<const char*> texts) {
  std::string list;
  for (const char* t : texts) list.append(t).push_back('\0');
  list.push_back('\0');
  return list;
}

TEST(CommonDialogTest, SaveDialogAsksWhatItWasGivenAndReturnsTheChoice) {
  TempInstall install;
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerFile("shot", 2);
  TSaveDialog dialog(nullptr);
  dialog.SetTitle("保存图片");
  dialog.SetFilter("PNG(*.PNG) 推荐选用的格式|*.png|JPG(*.JPG)|*.jpg");
  dialog.SetFilterIndex(1);
  dialog.SetInitialDir(".\\");
  dialog.SetDefaultExt("jpg");
  dialog.SetOptions({ofOverwritePrompt, ofPathMustExist, ofNoReadOnlyReturn, ofNoChangeDir});
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), ".\\shot.jpg");
  EXPECT_EQ(dialog.FilterIndex(), 2);

  ASSERT_EQ(dialogs->Count(), 1u);
  const DialogRequest asked = dialogs->Asked()[0];
  EXPECT_EQ(asked.kind, DialogKind::Save);
  EXPECT_EQ(asked.title, "保存图片");
  EXPECT_EQ(asked.filters, (std::vector<FileFilter>{{"PNG(*.PNG) 推荐选用的格式", "*.png"}, {"JPG(*.JPG)", "*.jpg"}}));
  EXPECT_EQ(asked.filterIndex, 1);
  EXPECT_EQ(asked.initialDir, ".\\");
  EXPECT_EQ(fs::path(asked.initialFolder), (install.root() / "bin").lexically_normal());
  EXPECT_EQ(asked.defaultExt, "jpg");
  EXPECT_EQ(asked.options, (TOpenOptions{ofOverwritePrompt, ofPathMustExist, ofNoReadOnlyReturn, ofNoChangeDir}));
}

TEST(CommonDialogTest, OpenDialogStartsWithTheClassLibraryOptionsAndCancelKeepsItsFields) {
  TempInstall install;
  ScopedScriptedDialogs dialogs;
  dialogs->Cancel();
  TOpenDialog dialog(nullptr);
  EXPECT_EQ(dialog.Options(), (TOpenOptions{ofHideReadOnly, ofEnableSizing}));
  dialog.SetFileName("..\\user\\old.wav");
  dialog.SetFilterIndex(1);
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), "..\\user\\old.wav");
  EXPECT_EQ(dialog.FilterIndex(), 1);
  EXPECT_EQ(dialogs->Asked()[0].kind, DialogKind::Open);
  EXPECT_EQ(dialogs->Asked()[0].fileName, "..\\user\\old.wav");
}

TEST(CommonDialogTest, FilterIndexOutsideTheListIsTakenAsOneAndTheChosenOneComesBack) {
  TempInstall install;
  struct Case {
    int given;
    int answered;   // 0: the user kept the filter shown
    int asked;
    int returned;
  };
  const Case cases[] = {
      {1, 0, 1, 1}, {2, 0, 2, 2}, {3, 0, 3, 3}, {0, 0, 1, 1}, {4, 0, 1, 1},
      {-1, 0, 1, 1}, {1, 3, 1, 3}, {3, 2, 3, 2}, {2, 7, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "given " << c.given << ", answered " << c.answered);
    ScopedScriptedDialogs dialogs;
    dialogs->AnswerFile("a.txt", c.answered);
    TOpenDialog dialog(nullptr);
    dialog.SetFilter("A|*.a|B|*.b|C|*.c");
    dialog.SetFilterIndex(c.given);
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialogs->Asked()[0].filterIndex, c.asked);
    EXPECT_EQ(dialog.FilterIndex(), c.returned);

    // The same through the record.
    dialogs->AnswerFile("a.txt", c.answered);
    const std::string list = Nuls({"A", "*.a", "B", "*.b", "C", "*.c"});
    FileNameRecord r(260, list.c_str());
    r.record.nFilterIndex = static_cast<DWORD>(c.given);
    ASSERT_TRUE(GetOpenFileNameA(&r.record));
    EXPECT_EQ(dialogs->Asked()[1].filterIndex, c.asked);
    EXPECT_EQ(r.record.nFilterIndex, static_cast<DWORD>(c.returned));
  }
}

TEST(CommonDialogTest, MalformedFilterListsEndAtTheLastCompletePair) {
  TempInstall install;
  // A list that never ends: pairs, then a text running to the reading bound.
  std::string unterminated = std::string("A\0*.a\0B\0*.b\0", 12);
  unterminated.resize(kMaxFilterListBytes, 'x');
  // Pairs filling the bound exactly, with no closing empty text.
  std::string noClosing;
  while (noClosing.size() + 6 <= kMaxFilterListBytes) noClosing.append("A\0*.a\0", 6);
  noClosing.resize(kMaxFilterListBytes, 'y');
  static_assert(kMaxFilterListBytes % 6 != 0, "the last text must be cut by the bound");

  struct Case {
    const char* label;
    std::string list;   // the bytes handed over, read through list.data()
    std::vector<FileFilter> expected;
  };
  const std::vector<Case> cases = {
      {"well formed", Nuls({"指标导出文件(*.pio)", "*.pio", "B", "*.b"}), {{"指标导出文件(*.pio)", "*.pio"}, {"B", "*.b"}}},
      {"lone description at the end", Nuls({"A", "*.a", "B"}), {{"A", "*.a"}}},
      {"description with an empty pattern", std::string("A\0*.a\0B\0\0", 10), {{"A", "*.a"}}},
      {"empty list", std::string("\0\0", 2), {}},
      {"only a description", Nuls({"A"}), {}},
      {"no closing double NUL", unterminated, {{"A", "*.a"}, {"B", "*.b"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ScopedScriptedDialogs dialogs;
    dialogs->AnswerFile("x.a");
    // Exactly the list's bytes on the heap: a read past them is caught by the sanitizer.
    std::vector<char> bytes(c.list.begin(), c.list.end());
    FileNameRecord r(260, bytes.data());
    r.record.nFilterIndex = 2;
    ASSERT_TRUE(GetSaveFileNameA(&r.record));
    EXPECT_EQ(dialogs->Asked()[0].filters, c.expected);
    EXPECT_EQ(dialogs->Asked()[0].filterIndex, c.expected.size() >= 2 ? 2 : 1);
  }
  {
    SCOPED_TRACE("pairs up to the bound");
    ScopedScriptedDialogs dialogs;
    dialogs->AnswerFile("x.a");
    std::vector<char> bytes(noClosing.begin(), noClosing.end());
    FileNameRecord r(260, bytes.data());
    ASSERT_TRUE(GetSaveFileNameA(&r.record));
    const auto filters = dialogs->Asked()[0].filters;
    // Every pair before the bound; the text the bound cuts goes.
    EXPECT_EQ(filters.size(), kMaxFilterListBytes / 6);
    for (const FileFilter& f : filters) EXPECT_EQ(f, (FileFilter{"A", "*.a"}));
  }
  {
    SCOPED_TRACE("a null list");
    ScopedScriptedDialogs dialogs;
    dialogs->AnswerFile("x.a");
    FileNameRecord r(260, nullptr);
    ASSERT_TRUE(GetSaveFileNameA(&r.record));
    EXPECT_TRUE(dialogs->Asked()[0].filters.empty());
  }
}

TEST(CommonDialogTest, PipeFiltersSplitOnlyOnARealBar) {
  TempInstall install;
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerFile("x.a");
  // 0x81 0x7C is one GBK character whose trail byte is '|'.
  const std::string barTrail = "\x81\x7C";
  TOpenDialog dialog(nullptr);
  dialog.SetFilter("A" + barTrail + "|*.a|lone");
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialogs->Asked()[0].filters, (std::vector<FileFilter>{{"A" + barTrail, "*.a"}}));
}

TEST(CommonDialogTest, ANameLongerThanTheCallersBufferFailsTheCallUncut) {
  TempInstall install;
  OutsideFolder outside;
  const std::string filter = Nuls({"PNG", "*.png"});
  // The Windows form of the outside folder plus '\', then a name making the path 511 or 512 bytes.
  const std::string prefix = paths::ToWindows(outside.path().string()) + "\\";
  ASSERT_LT(prefix.size(), 400u);
  for (std::size_t length : {511u, 512u, 600u}) {
    SCOPED_TRACE(length);
    const std::string name(length - prefix.size() - 4, 'n');
    ScopedScriptedDialogs dialogs;
    dialogs->AnswerFile((outside.path() / (name + ".png")).string());
    FileNameRecord r(512, filter.c_str());
    BOOL ok = GetSaveFileNameA(&r.record);
    if (length < 512) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(CommDlgExtendedError(), 0u);
      EXPECT_EQ(r.Name(), prefix + name + ".png");
      EXPECT_EQ(r.record.nFileOffset, prefix.size());
      EXPECT_EQ(r.record.nFileExtension, length - 3);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);
      WORD needed = 0;
      std::memcpy(&needed, r.buffer.data(), sizeof needed);
      EXPECT_EQ(needed, length + 1);
      // Nothing past the size was written: no cut name left behind.
      EXPECT_TRUE(std::all_of(r.buffer.begin() + 2, r.buffer.end(), [](char c) { return c == '\0'; }));
    }
  }
}

TEST(CommonDialogTest, AFileOutsideTheInstallTreeComesBackUnchangedAndOpens) {
  TempInstall install;
  OutsideFolder outside;
  const std::string utf8Name = "Mixed Case " + gbk::ToUtf8("图片") + ".PNG";
  const fs::path file = outside.path() / "Sub Dir" / utf8Name;
  WriteBytes(file, "png");
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerFile(file.string());
  const std::string filter = Nuls({"PNG", "*.png"});
  FileNameRecord r(512, filter.c_str());
  r.record.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  ASSERT_TRUE(GetOpenFileNameA(&r.record));
  const std::string expected = paths::ToWindows(outside.path().string()) + "\\Sub Dir\\Mixed Case 图片.PNG";
  EXPECT_EQ(r.Name(), expected);
  EXPECT_EQ(r.Name().substr(r.record.nFileOffset), "Mixed Case 图片.PNG");
  HANDLE h = CreateFileA(r.Name().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

TEST(CommonDialogTest, AFileInsideTheInstallTreeComesBackInTheProgramsFormAndOpens) {
  TempInstall install;
  struct Case {
    fs::path file;   // under the root
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"bin/Alarm.wav", ".\\Alarm.wav"},
      {"bin/sounds/" + gbk::ToUtf8("报警.wav"), ".\\sounds\\报警.wav"},
      {"user/Export.PIO", "..\\user\\Export.PIO"},
      {"cfg/x/y.ini", "..\\cfg\\x\\y.ini"},
      {"drive_c/Trade/Order.exe", "C:\\Trade\\Order.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    WriteBytes(install.root() / c.file, "x");
    ScopedScriptedDialogs dialogs;
    dialogs->AnswerFile((install.root() / c.file).string());
    const std::string filter = Nuls({"*", "*.*"});
    FileNameRecord r(260, filter.c_str());
    ASSERT_TRUE(GetOpenFileNameA(&r.record));
    EXPECT_EQ(r.Name(), c.expected);
    HANDLE h = CreateFileA(r.Name().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
}

TEST(CommonDialogTest, RecordCallAsksWithTheCallersFieldsAndSetsTheOffsets) {
  TempInstall install;
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerFile("Trade.exe", 1);
  const std::string filter = Nuls({"应用程序(*.exe)", "*.exe"});
  FileNameRecord r(260, filter.c_str());
  std::strcpy(r.buffer.data(), "start.exe");
  char title[16] = {};
  r.record.lpstrFileTitle = title;
  r.record.nMaxFileTitle = sizeof title;
  r.record.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  r.record.lpstrTitle = "选择交易程序";
  r.record.lpstrInitialDir = "..\\user";
  r.record.lpstrDefExt = "exe";
  r.record.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLESIZING | OFN_EXPLORER;
  ASSERT_TRUE(GetOpenFileNameA(&r.record));
  EXPECT_EQ(r.Name(), "..\\user\\Trade.exe");
  EXPECT_STREQ(title, "Trade.exe");
  EXPECT_EQ(r.record.nFileOffset, 8u);
  EXPECT_EQ(r.record.nFileExtension, 14u);
  const DialogRequest asked = dialogs->Asked()[0];
  EXPECT_EQ(asked.title, "选择交易程序");
  EXPECT_EQ(asked.fileName, "start.exe");
  EXPECT_EQ(fs::path(asked.initialFolder), (install.root() / "user").lexically_normal());
  EXPECT_EQ(asked.options, (TOpenOptions{ofFileMustExist, ofHideReadOnly, ofNoChangeDir, ofEnableSizing}));
  EXPECT_EQ(asked.options.ToFlags(), OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLESIZING);
}

TEST(CommonDialogTest, DefaultExtensionIsAddedOnlyToANameWithout) {
  TempInstall install;
  const std::pair<const char*, const char*> cases[] = {
      {"report", ".\\report.pio"}, {"report.PIO", ".\\report.PIO"}, {"report.txt", ".\\report.txt"},
  };
  for (const auto& [typed, expected] : cases) {
    SCOPED_TRACE(typed);
    ScopedScriptedDialogs dialogs;
    dialogs->AnswerFile(typed);
    TSaveDialog dialog(nullptr);
    dialog.SetInitialDir(".\\");
    dialog.SetDefaultExt("pio");
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(), expected);
  }
}

TEST(CommonDialogTest, RecordFailuresAndCancelLeaveTheBufferAlone) {
  TempInstall install;
  ScopedScriptedDialogs dialogs;
  const std::string filter = Nuls({"A", "*.a"});
  {
    FileNameRecord r(64, filter.c_str());
    r.record.lStructSize = 12;
    EXPECT_FALSE(GetOpenFileNameA(&r.record));
    EXPECT_EQ(CommDlgExtendedError(), CDERR_STRUCTSIZE);
  }
  EXPECT_FALSE(GetOpenFileNameA(nullptr));
  EXPECT_EQ(CommDlgExtendedError(), CDERR_INITIALIZATION);
  {
    dialogs->Cancel();
    FileNameRecord r(64, filter.c_str());
    std::strcpy(r.buffer.data(), "keep.a");
    r.record.nFilterIndex = 1;
    EXPECT_FALSE(GetSaveFileNameA(&r.record));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(r.Name(), "keep.a");
  }
  {
    // A file title buffer too small fails the same way as the name buffer.
    dialogs->AnswerFile("long-name.a");
    FileNameRecord r(64, filter.c_str());
    char title[4] = {};
    r.record.lpstrFileTitle = title;
    r.record.nMaxFileTitle = sizeof title;
    EXPECT_FALSE(GetOpenFileNameA(&r.record));
    EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);
    EXPECT_EQ(r.Name(), "");
  }
  EXPECT_EQ(dialogs->Pending(), 0u);
}

TEST(CommonDialogTest, ColorDialogKeepsTheLow24Bits) {
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerColor(static_cast<TColor>(0x7F123456));
  dialogs->Cancel();
  TColorDialog dialog(nullptr);
  dialog.SetColor(static_cast<TColor>(0x0A00FF80));
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialogs->Asked()[0].kind, DialogKind::Color);
  EXPECT_EQ(dialogs->Asked()[0].color, 0x00FF80);
  EXPECT_EQ(dialog.Color(), 0x123456);
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.Color(), 0x123456);
}

TEST(CommonDialogTest, FontDialogShowsTheFontAndTakesTheChoice) {
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerFont(FontChoice{"黑体", -16, static_cast<TFontStyles>((1u << fsBold) | (1u << fsItalic)), clRed});
  TFontDialog dialog(nullptr);
  dialog.Font()->SetName("宋体");
  dialog.Font()->SetHeight(-12);
  dialog.Font()->SetColor(clBlue);
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialogs->Asked()[0].font, (FontChoice{"宋体", -12, 0, clBlue}));
  EXPECT_EQ(dialog.Font()->Name(), "黑体");
  EXPECT_EQ(dialog.Font()->Height(), -16);
  EXPECT_EQ(dialog.Font()->Style(), (1u << fsBold) | (1u << fsItalic));
  EXPECT_EQ(dialog.Font()->Color(), clRed);
}

TEST(CommonDialogTest, PrintDialogMakesTheChosenPrinterCurrent) {
  ScopedScriptedDialogs dialogs;
  SetPrinterListSource([] { return std::vector<std::string>{"Office", "Lab"}; });
  SetCurrentPrinterName("Office");
  dialogs->AnswerPrinter("Lab");
  dialogs->Cancel();
  TPrintDialog dialog(nullptr);
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(CurrentPrinterName(), "Lab");
  EXPECT_EQ(dialogs->Asked()[0].printers, (std::vector<std::string>{"Office", "Lab"}));
  EXPECT_EQ(dialogs->Asked()[0].currentPrinter, "Office");
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(CurrentPrinterName(), "Lab");
  SetPrinterListSource(nullptr);
  SetCurrentPrinterName("");
}

// With no source installed the print dialog offers the print system's own printers, so the
// program needs no start-up call; a test's source replaces them until it is taken away. (Empty
// on a machine without printers, as here headless.)
TEST(CommonDialogTest, PrintDialogOffersThePrintSystemsPrintersByDefault) {
  std::vector<std::string> system;
  for (const QString& name : QPrinterInfo::availablePrinterNames()) system.push_back(name.toStdString());
  EXPECT_EQ(AvailablePrinters(), system);
  SetPrinterListSource([] { return std::vector<std::string>{"Stand-in"}; });
  EXPECT_EQ(AvailablePrinters(), std::vector<std::string>{"Stand-in"});
  SetPrinterListSource(nullptr);
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerPrinter(system.empty() ? std::string() : system.back());
  TPrintDialog dialog(nullptr);
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialogs->Asked()[0].printers, system);
  EXPECT_EQ(CurrentPrinterName(), system.empty() ? std::string() : system.back());
  SetCurrentPrinterName("");
}

// Records whether the owner could take input while the dialog was up.
class OwnerWatchingService : public DialogService {
 public:
  explicit OwnerWatchingService(HWND owner) : owner_(owner) {}
  DialogAnswer Show(const DialogRequest& request) override {
    ownerEnabled = IsWindowEnabled(owner_) != FALSE;
    askedOwner = request.owner;
    return DialogAnswer{};
  }
  bool ownerEnabled = true;
  HWND askedOwner = nullptr;

 private:
  HWND owner_;
};

TEST(CommonDialogTest, TheOwnerIsDisabledWhileTheDialogRuns) {
  TempInstall install;
  TForm* form = NewForm<TForm>(nullptr);
  form->Show();
  auto service = std::make_shared<OwnerWatchingService>(form->Handle());
  auto previous = SetDialogService(service);
  const std::string filter = Nuls({"A", "*.a"});
  FileNameRecord r(64, filter.c_str());
  r.record.hwndOwner = form->Handle();
  EXPECT_FALSE(GetOpenFileNameA(&r.record));
  SetDialogService(previous);
  EXPECT_FALSE(service->ownerEnabled);
  EXPECT_EQ(service->askedOwner, form->Handle());
  EXPECT_TRUE(IsWindowEnabled(form->Handle()));
  TComponent::Free(form);
}

TEST(CommonDialogTest, QtsDialogsWithoutAScreenCancelInsteadOfWaiting) {
  TempInstall install;
  auto previous = SetDialogService(nullptr);
  const std::string filter = Nuls({"A", "*.a"});
  FileNameRecord r(64, filter.c_str());
  EXPECT_FALSE(GetSaveFileNameA(&r.record));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  TColorDialog color(nullptr);
  EXPECT_FALSE(color.Execute());
  TFontDialog font(nullptr);
  EXPECT_FALSE(font.Execute());
  TPrintDialog print(nullptr);
  EXPECT_FALSE(print.Execute());
  SetDialogService(previous);
}

TEST(CommonDialogDeathTest, ADialogWithoutAnAnswerStopsTheRun) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        ScopedScriptedDialogs dialogs;
        TColorDialog dialog(nullptr);
        dialog.Execute();
      },
      "colour dialog .*\n.*with no scripted answer");
  EXPECT_DEATH(
      {
        ScopedScriptedDialogs dialogs;
        dialogs->AnswerColor(clRed);
        TOpenDialog dialog(nullptr);
        dialog.SetTitle("T");
        dialog.Execute();
      },
      "open dialog \"T\".*answer for another kind");
}

}  // namespace
