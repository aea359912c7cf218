#include "platform/Paths.h"

#include "platform/Files.h"

#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;

namespace fs = std::filesystem;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

// Creates a file behind the platform's back, without telling the cache.
void CreateQuietly(const fs::path& file) { std::ofstream(file, std::ios::binary) << "x"; }

TEST(PathResolve, ReopensFileCreatedUpperCaseUnderMixedCase) {
  TempInstall install;
  WriteBytes(install.data() / "sh" / "NAMETBL.SH", "x");
  EXPECT_EQ(paths::Resolve("..\\data\\SH\\nametbl.sh"), (install.data() / "sh" / "NAMETBL.SH").string());
  EXPECT_EQ(paths::Resolve("..\\DATA\\Sh\\NameTbl.Sh"), (install.data() / "sh" / "NAMETBL.SH").string());
}

TEST(PathResolve, MapsWindowsFormsOntoTheInstallTree) {
  TempInstall install;
  WriteBytes(install.cfg() / "setting.ini", "x");
  fs::create_directories(install.data() / "sh" / "day");
  const std::string root = install.root().string();
  struct Case {
    std::string windows;
    std::string posix;   // relative to the install root
  };
  const Case cases[] = {
      {"..\\cfg\\setting.ini", "/cfg/setting.ini"},
      {"..\\CFG\\Setting.INI", "/cfg/setting.ini"},
      {"..\\Data\\SH\\Day\\600000.day", "/data/sh/day/600000.day"},   // missing name kept as given
      {"..\\data\\New\\Sub\\File.Day", "/data/New/Sub/File.Day"},
      {".\\x\\..\\Y.dat", "/bin/Y.dat"},
      {"..\\data/sh\\\\day\\.\\a", "/data/sh/day/a"},                   // mixed and doubled separators
      {"C:\\zuvo\\a.txt", "/drive_c/zuvo/a.txt"},
      {"d:\\", "/drive_d"},
      {"C:\\..\\..\\..\\etc\\passwd", "/drive_c/etc/passwd"},            // no climbing above a drive
      {"..\\user\\自选股.blk", "/user/" + Utf8(u8"自选股.blk")},           // GBK names are UTF-8 on disk
      {"..\\user\\嘰\\x", "/user/" + Utf8(u8"嘰") + "/x"},                // trail byte 0x5C is no separator
      {"..\\user\\\x81/..\\x", "/user/x"},                                // a broken lead byte hides nothing
  };
  for (const auto& c : cases) EXPECT_EQ(paths::Resolve(c.windows), root + c.posix) << c.windows;
  EXPECT_TRUE(fs::is_directory(install.root() / "drive_c"));   // a drive always exists
  EXPECT_EQ(paths::Resolve(""), "");
}

TEST(PathResolve, ExactSpellingWinsWhenSeveralNamesDifferOnlyInCase) {
  TempInstall install;
  WriteBytes(install.cfg() / "a.txt", "lower");
  WriteBytes(install.cfg() / "A.TXT", "upper");
  EXPECT_EQ(paths::Resolve("..\\cfg\\a.txt"), (install.cfg() / "a.txt").string());
  EXPECT_EQ(paths::Resolve("..\\cfg\\A.TXT"), (install.cfg() / "A.TXT").string());
  EXPECT_EQ(paths::Resolve("..\\cfg\\A.txt"), (install.cfg() / "A.TXT").string());   // first in byte order
  // Removing one spelling through the platform leaves the other reachable under both.
  ASSERT_TRUE(DeleteFileA("..\\cfg\\A.TXT"));
  EXPECT_EQ(paths::Resolve("..\\cfg\\A.TXT"), (install.cfg() / "a.txt").string());
  ASSERT_TRUE(DeleteFileA("..\\cfg\\a.txt"));
  EXPECT_EQ(paths::Resolve("..\\cfg\\A.TXT"), (install.cfg() / "A.TXT").string());
}

TEST(PathResolve, SeesNamesCreatedBehindItsBack) {
  TempInstall install;
  for (bool settled : {false, true}) {
    SCOPED_TRACE(settled);
    // A folder changed long ago is listed once and trusted until its mtime moves; one changed
    // just now is re-read on a miss.
    fs::path dir = install.cfg() / (settled ? "old" : "new");
    fs::create_directories(dir);
    if (settled) fs::last_write_time(dir, fs::last_write_time(dir) - std::chrono::hours(1));
    std::string windows = std::string("..\\cfg\\") + (settled ? "old" : "new") + "\\late.ini";
    EXPECT_EQ(paths::Resolve(windows), (dir / "late.ini").string());   // lists the folder without it
    CreateQuietly(dir / "LATE.INI");
    EXPECT_EQ(paths::Resolve(windows), (dir / "LATE.INI").string());
  }
}

TEST(PathResolve, ReportsWhetherEveryComponentCameFromTheCache) {
  TempInstall install;
  WriteBytes(install.cfg() / "x.ini", "x");
  bool found = false;
  paths::Resolve("..\\cfg\\X.INI", &found);
  EXPECT_TRUE(found);
  paths::Resolve("..\\cfg\\missing.ini", &found);
  EXPECT_FALSE(found);
}

TEST(PathResolve, RepeatedPathsFollowEveryChangeMadeThroughThePlatform) {
  // Each path is resolved once before the change (so it is known) and once after.
  TempInstall install;
  const fs::path cfg = install.cfg();
  WriteBytes(cfg / "A.TXT", "x");
  WriteBytes(cfg / "X.INI", "x");
  WriteBytes(cfg / "OLD" / "f.dat", "x");
  EXPECT_EQ(paths::Resolve("..\\cfg\\a.txt"), (cfg / "A.TXT").string());
  CreateQuietly(cfg / "a.txt");   // a case twin, told to the cache as the file calls do
  paths::NoteCreated((cfg / "a.txt").string());
  EXPECT_EQ(paths::Resolve("..\\cfg\\a.txt"), (cfg / "a.txt").string());

  EXPECT_EQ(paths::Resolve("..\\cfg\\x.ini"), (cfg / "X.INI").string());
  ASSERT_TRUE(DeleteFileA("..\\cfg\\x.ini"));
  HANDLE file = CreateFileA("..\\cfg\\x.Ini", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_EQ(paths::Resolve("..\\cfg\\x.ini"), (cfg / "x.Ini").string());

  EXPECT_EQ(paths::Resolve("..\\cfg\\old\\F.DAT"), (cfg / "OLD" / "f.dat").string());
  ASSERT_TRUE(MoveFileA("..\\cfg\\old", "..\\cfg\\New"));
  EXPECT_EQ(paths::Resolve("..\\cfg\\old\\F.DAT"), (cfg / "old" / "F.DAT").string());
  EXPECT_EQ(paths::Resolve("..\\cfg\\new\\F.DAT"), (cfg / "New" / "f.dat").string());

  EXPECT_EQ(paths::Resolve("C:\\"), (install.root() / "drive_c").string());
  paths::SetInstallRoot(cfg.string());
  EXPECT_EQ(paths::Resolve("C:\\"), (cfg / "drive_c").string());
  paths::SetInstallRoot(install.root().string());
}

TEST(PathResolve, RelativePathsFollowTheCurrentDirectory) {
  TempInstall install;
  WriteBytes(install.cfg() / "x.ini", "x");
  fs::current_path(install.cfg());
  EXPECT_EQ(paths::Resolve("X.INI"), (install.cfg() / "x.ini").string());
  fs::current_path(install.bin());
  EXPECT_EQ(paths::Resolve("X.INI"), (install.bin() / "X.INI").string());
}

TEST(PathResolve, WindowsFormOfAPosixPathResolvesBack) {
  TempInstall install;
  fs::create_directories(install.user() / fs::path(u8"自选"));
  std::string posix = (install.user() / fs::path(u8"自选")).string();
  std::string windows = paths::ToWindows(posix);
  EXPECT_EQ(windows.find('/'), std::string::npos);
  EXPECT_NE(windows.find("自选"), std::string::npos);
  EXPECT_EQ(paths::Resolve(windows), posix);
}

TEST(PathResolve, InstallRootCanBeSetAndIsUsedForDrives) {
  TempInstall install;
  EXPECT_EQ(paths::InstallRoot(), install.root().string());
  paths::SetInstallRoot(install.cfg().string() + "/");
  EXPECT_EQ(paths::InstallRoot(), install.cfg().string());
  EXPECT_EQ(paths::Resolve("E:\\q"), (install.cfg() / "drive_e" / "q").string());
  paths::SetInstallRoot(install.root().string());
}

TEST(PathResolve, StaysConsistentUnderConcurrentLookupsAndInvalidation) {
  TempInstall install;
  for (int i = 0; i < 20; ++i) WriteBytes(install.data() / std::string("F").append(std::to_string(i)).append(".DAY"), "x");
  std::vector<std::thread> threads;
  std::vector<int> wrong(5, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 400; ++i) {
        int n = i % 20;
        if (t == 0 && i % 50 == 0) paths::InvalidateCache();
        if (paths::Resolve(std::string("..\\data\\f").append(std::to_string(n)).append(".day")) !=
            (install.data() / std::string("F").append(std::to_string(n)).append(".DAY")).string())
          ++wrong[t];
      }
    });
  }
  // Meanwhile another thread (the login worker) creates and deletes files in the same folder
  // and must find each of its own under any case at once, and never after it is gone.
  threads.emplace_back([&] {
    for (int i = 0; i < 100; ++i) {
      std::string upper = "..\\data\\NEW" + std::to_string(i % 7) + ".TMP";
      std::string lower = "..\\data\\new" + std::to_string(i % 7) + ".tmp";
      HANDLE file = CreateFileA(upper.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE || !CloseHandle(file)) ++wrong[4];
      if (GetFileAttributesA(lower.c_str()) != FILE_ATTRIBUTE_ARCHIVE) ++wrong[4];
      if (!DeleteFileA(lower.c_str())) ++wrong[4];
      if (GetFileAttributesA(upper.c_str()) != INVALID_FILE_ATTRIBUTES) ++wrong[4];
    }
  });
  for (auto& thread : threads) thread.join();
  for (int count : wrong) EXPECT_EQ(count, 0);
}

TEST(PathResolve, MatchesCaseAgainOnceDotDotLeavesAMissingFolder) {
  TempInstall install;
  WriteBytes(install.data() / "sh" / "NAMETBL.SH", "x");
  const std::string sh = (install.data() / "sh").string();
  struct Case {
    const char* windows;
    std::string posix;
    bool found;
  };
  const Case cases[] = {
      {"..\\x\\..\\Data\\SH", sh, true},
      {"..\\Data\\x\\..\\SH\\nametbl.sh", sh + "/NAMETBL.SH", true},
      {"..\\x\\y\\..\\..\\DATA\\Sh", sh, true},
      {"..\\data\\x\\..\\..\\DATA\\SH", sh, true},                            // past a found folder too
      {"..\\x\\y\\..\\DATA\\Sh", install.root().string() + "/x/DATA/Sh", false},   // still under x
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.windows);
    for (int pass = 0; pass < 2; ++pass) {   // the second answer may come from the path table
      bool found = !c.found;
      EXPECT_EQ(paths::Resolve(c.windows, &found), c.posix);
      EXPECT_EQ(found, c.found);
    }
  }
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
    out.push_back(' ');
  }
  return out;
}

// The whole content of a file opened through the platform, or "<missing>".
std::string ReadThroughPlatform(const std::string& windowsPath) {
  HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string content(256, '\0');
  DWORD read = 0;
  ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
  CloseHandle(file);
  content.resize(read);
  return content;
}

std::string InUser(std::string_view name) {
  std::string path = "..\\user\\";
  path.append(name);
  return path;
}

TEST(PathNames, EveryByteStringNamesItsOwnFileAndListsBackUnchanged) {
  TempInstall install;
  const std::string names[] = {
      "自选股",                    // valid GBK keeps its UTF-8 name
      "C\xC3",                    // lead bytes cut at the end
      "C\xC4",
      "C\x80",                    // bytes that are never GBK
      "C\xFF",
      "C\xC3" "0",                // a lead byte before a byte that is no trail byte
      "\x81\x30\x81\x30",         // GB18030 four-byte sequences: four GBK characters each
      "\x95\x32\x82\x36",
      "a嘰b",                      // a trail byte equal to '\\'
      "\xAA\xA1",                 // user-defined area
      "\x81\x7F",
      "\x80自\xC3" "1嘰\xFF\xFE",  // all of it mixed
  };
  for (const auto& name : names) {
    SCOPED_TRACE(Hex(name));
    // CREATE_NEW: no other name of the table made this one exist already.
    HANDLE file = CreateFileA(InUser(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, name.data(), static_cast<DWORD>(name.size()), &written, nullptr));
    CloseHandle(file);
  }

  std::multiset<std::string> listed;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA("..\\user\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") listed.insert(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  EXPECT_EQ(listed, std::multiset<std::string>(std::begin(names), std::end(names)));

  std::string userFolder = paths::ToWindows(install.user().string());
  userFolder.push_back('\\');
  for (const auto& name : listed) {
    SCOPED_TRACE(Hex(name));
    EXPECT_EQ(ReadThroughPlatform(InUser(name)), name);   // the listed name reaches its own file
    EXPECT_EQ(paths::ToWindows(paths::Resolve(InUser(name))), userFolder + name);
  }
  // ASCII case still folds beside the escaped bytes, and a name never created does not exist.
  EXPECT_EQ(ReadThroughPlatform(InUser("c\xC3")), "C\xC3");
  EXPECT_EQ(GetFileAttributesA(InUser("C\xC5").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(InUser("C?").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(PathNames, AFolderEndingInALoneLeadByteKeepsItsWindowsForm) {
  // "D\xC3\\x" would read as "D" + one character: the Windows form keeps '/' after such a name.
  TempInstall install;
  ASSERT_TRUE(CreateDirectoryA(InUser("D\xC3").c_str(), nullptr));
  HANDLE file = CreateFileA(InUser("D\xC3/x.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  const std::string posix = paths::Resolve(InUser("d\xC3/X.TXT"));
  const std::string windows = paths::ToWindows(posix);
  EXPECT_NE(windows.find("\\D\xC3/x.txt"), std::string::npos) << windows;
  EXPECT_EQ(paths::Resolve(windows), posix);
  EXPECT_NE(GetFileAttributesA(windows.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CheckedJoin, RefusesComponentsThatCouldLeaveTheBase) {
  struct Case {
    std::string component;
    bool safe;
  };
  const Case cases[] = {
      {"600000", true},   {"600000.day", true}, {"自选股", true},  {"嘰", true},   // trail byte 0x5C
      {"...", true},      {"", false},          {".", false},      {"..", false},
      {"a\\b", false},    {"..\\..\\etc", false}, {"a/b", false},  {"C:", false},
      {"a*", false},      {"a?", false},        {"a|b", false},    {"a\tb", false},
      {std::string("a\0b", 3), false},          {"\x81", false},   {"\x81/", false},    // cut characters
      {"\x7F", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(paths::IsSafeComponent(c.component), c.safe) << c.component;
    std::string out = "untouched";
    EXPECT_EQ(paths::CheckedJoin("..\\data", c.component, out), c.safe) << c.component;
    EXPECT_EQ(out, c.safe ? "..\\data\\" + c.component : "untouched");
  }
}

TEST(CheckedJoin, AddsOneSeparatorOnly) {
  std::string out;
  ASSERT_TRUE(paths::CheckedJoin("..\\data\\", "sh", out));
  EXPECT_EQ(out, "..\\data\\sh");
  ASSERT_TRUE(paths::CheckedJoin("..\\user\\嘰", "x", out));   // ends in a trail byte 0x5C, not a separator
  EXPECT_EQ(out, "..\\user\\嘰\\x");
  ASSERT_TRUE(paths::CheckedJoin("", "x", out));
  EXPECT_EQ(out, "x");
}

}  // namespace
