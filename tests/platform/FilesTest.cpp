#include "platform/Files.h"

#include "platform/FileFaults.h"
#include "platform/HandleTable.h"
#include "platform/Paths.h"

#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

HANDLE Open(const char* path, DWORD access, DWORD disposition) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

bool Write(HANDLE file, std::string_view bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
}

std::string ReadAll(HANDLE file) {
  std::string out(4096, '\0');
  DWORD read = 0;
  if (!ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &read, nullptr)) return "<failed>";
  out.resize(read);
  return out;
}

std::vector<std::string> Find(const char* pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.emplace_back(data.cFileName);
  while (FindNextFileA(find, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(find));
  return names;
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CreateFile, DispositionsOnExistingAndMissingFiles) {
  struct Case {
    const char* name;
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;
    const char* contentAfter;   // null: no file
  };
  const Case cases[] = {
      {"CREATE_NEW missing", CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {"CREATE_NEW existing", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {"CREATE_ALWAYS missing", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {"CREATE_ALWAYS existing", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {"OPEN_EXISTING missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"OPEN_EXISTING existing", OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {"OPEN_ALWAYS missing", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {"OPEN_ALWAYS existing", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {"TRUNCATE_EXISTING missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"TRUNCATE_EXISTING existing", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempInstall install;
    if (c.exists) WriteBytes(install.data() / "QUOTE.DAT", "old");
    SetLastError(12345);
    HANDLE file = Open("..\\data\\quote.dat", GENERIC_READ | GENERIC_WRITE, c.disposition);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(GetLastError(), c.error);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    // A new file takes the name as given; an existing one keeps its own.
    fs::path expected = install.data() / (c.exists ? "QUOTE.DAT" : "quote.dat");
    if (c.contentAfter) {
      EXPECT_TRUE(fs::exists(expected));
      EXPECT_EQ(ReadBytes(expected), c.contentAfter);
    } else {
      EXPECT_TRUE(fs::is_empty(install.data()));
    }
  }
}

TEST(CreateFile, RefusesMissingFoldersDirectoriesAndBadArguments) {
  TempInstall install;
  EXPECT_EQ(Open("..\\nowhere\\x.dat", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Open("..\\data", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open(nullptr, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open("x", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Open("x", GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);   // needs write access
}

TEST(CreateFile, HandlesAreSmallNonZeroAndClosedOnce) {
  TempInstall install;
  std::size_t before = handles::OpenCount();
  HANDLE a = Open("a.dat", GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE b = Open("b.dat", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  for (HANDLE h : {a, b}) {
    int value = handles::ToInt(h);
    EXPECT_GT(value, 0);
    EXPECT_LT(value, 1 << 24);
  }
  EXPECT_NE(a, b);
  EXPECT_EQ(handles::OpenCount(), before + 2);
  EXPECT_TRUE(CloseHandle(a));
  EXPECT_FALSE(CloseHandle(a));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(Write(a, "x"));   // a closed handle reaches nothing
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(CloseHandle(handles::FromInt(handles::ToInt(b) + 1)));   // not a handle value
  EXPECT_TRUE(CloseHandle(b));
  EXPECT_EQ(handles::OpenCount(), before);
}

TEST(ScopedHandle, ClosesItsHandleOnceAndNeverAFailedOne) {
  TempInstall install;
  const std::size_t before = handles::OpenCount();
  {
    files::ScopedHandle file(Open("a.dat", GENERIC_WRITE, CREATE_ALWAYS));
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(handles::OpenCount(), before + 1);
  }
  EXPECT_EQ(handles::OpenCount(), before);

  files::ScopedHandle early(Open("a.dat", GENERIC_READ, OPEN_EXISTING));
  const HANDLE raw = early.get();
  early.Close();
  EXPECT_FALSE(early.ok());
  EXPECT_FALSE(CloseHandle(raw));   // already closed by Close()
  early.Close();                    // a second Close and the destructor do nothing
  EXPECT_EQ(handles::OpenCount(), before);

  files::ScopedHandle failed(Open("missing.dat", GENERIC_READ, OPEN_EXISTING));
  files::ScopedHandle null(nullptr);
  EXPECT_FALSE(failed.ok());
  EXPECT_FALSE(null.ok());
}

TEST(CreateFile, HandlesStayDistinctAcrossThreads) {
  TempInstall install;
  for (int t = 0; t < 4; ++t)
    WriteBytes(install.data() / std::string("T").append(std::to_string(t)).append(".DAT"), std::string(8, char('a' + t)));
  std::size_t before = handles::OpenCount();
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      std::string path = "..\\data\\t" + std::to_string(t) + ".dat";
      for (int i = 0; i < 150; ++i) {
        HANDLE file = Open(path.c_str(), GENERIC_READ, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE || ReadAll(file) != std::string(8, char('a' + t))) ++wrong[t];
        if (!CloseHandle(file)) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int count : wrong) EXPECT_EQ(count, 0);
  EXPECT_EQ(handles::OpenCount(), before);
}

TEST(HandleTable, StaleCopyOfAClosedHandleReachesNothingOpenedSince) {
  TempInstall install;
  WriteBytes(install.bin() / "own.dat", "own");
  WriteBytes(install.bin() / "other.dat", "other");
  HANDLE stale = Open("own.dat", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(stale, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(stale));
  // Other code opens and closes files meanwhile, as the bar loader does per quote; the stale
  // copy must never name one of them, and the values must stay small.
  int largest = 0;
  for (int i = 0; i < 600; ++i) {
    HANDLE other = Open("other.dat", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ASSERT_NE(other, stale) << "reused after " << i << " opens";
    largest = std::max(largest, handles::ToInt(other));
    if (i == 599) {
      EXPECT_FALSE(Write(stale, "oops"));
      EXPECT_FALSE(CloseHandle(stale));
      EXPECT_EQ(ReadAll(other), "other");
    }
    CloseHandle(other);
  }
  EXPECT_LT(largest, 1 << 16);
  EXPECT_EQ(ReadBytes(install.bin() / "other.dat"), "other");
}

struct Counting : handles::KernelObject {
  int* closes;
  explicit Counting(int* closes) : closes(closes) {}
  void Close() override { ++*closes; }
};
struct Other : handles::KernelObject {};

TEST(HandleTable, ClosesAnyRegisteredObjectOnceAndKeepsItAliveForCallsInFlight) {
  int closes = 0;
  HANDLE handle = handles::Register(std::make_shared<Counting>(&closes));
  ASSERT_NE(handle, nullptr);
  auto inFlight = handles::LookupAs<Counting>(handle);
  ASSERT_TRUE(inFlight);
  EXPECT_FALSE(handles::LookupAs<Other>(handle));
  EXPECT_TRUE(CloseHandle(handle));
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(handles::Lookup(handle), nullptr);
  EXPECT_EQ(inFlight->closes, &closes);   // still valid for the caller that looked it up
  EXPECT_EQ(handles::Register(nullptr), nullptr);
}

TEST(FileAccess, ReadsAndWritesOnlyWhatTheHandleWasOpenedFor) {
  TempInstall install;
  WriteBytes(install.data() / "x.dat", "0123456789");
  HANDLE readOnly = Open("..\\data\\x.dat", GENERIC_READ, OPEN_EXISTING);
  HANDLE writeOnly = Open("..\\data\\x.dat", GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
  ASSERT_NE(writeOnly, INVALID_HANDLE_VALUE);
  DWORD count = 99;
  char buffer[4];
  EXPECT_FALSE(ReadFile(writeOnly, buffer, 4, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(WriteFile(readOnly, "ab", 2, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SetEndOfFile(readOnly));
  FILETIME time{};
  EXPECT_FALSE(SetFileTime(readOnly, nullptr, nullptr, &time));
  EXPECT_EQ(ReadAll(readOnly), "0123456789");
  CloseHandle(readOnly);
  CloseHandle(writeOnly);
  EXPECT_EQ(ReadBytes(install.data() / "x.dat"), "0123456789");
}

TEST(FileAccess, SeeksTruncatesAndReportsSize) {
  TempInstall install;
  HANDLE file = Open("x.dat", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(Write(file, std::string(100, 'a')));
  EXPECT_EQ(GetFileSize(file, nullptr), 100u);
  EXPECT_EQ(SetFilePointer(file, 10, nullptr, FILE_BEGIN), 10u);
  EXPECT_TRUE(SetEndOfFile(file));
  EXPECT_EQ(GetFileSize(file, nullptr), 10u);
  EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_CURRENT), 8u);
  EXPECT_EQ(SetFilePointer(file, -9, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 8u);   // a refused move leaves the position
  EXPECT_EQ(ReadAll(file), "aa");
  EXPECT_EQ(ReadAll(file), "");   // at the end: success with nothing read
  LONG high = 1;   // 64-bit move to 4 GB + 5 and back: only the position moves
  EXPECT_EQ(SetFilePointer(file, 5, &high, FILE_BEGIN), 5u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);   // past 4 GB without high
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  DWORD sizeHigh = 9;
  EXPECT_EQ(GetFileSize(file, &sizeHigh), 10u);
  EXPECT_EQ(sizeHigh, 0u);
  EXPECT_TRUE(FlushFileBuffers(file));
  CloseHandle(file);
  EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
}

TEST(FileNames, ReopensUnderAnyCaseAndKeepsGbkNamesAsUtf8) {
  TempInstall install;
  HANDLE file = Open("..\\data\\NAMETBL.SH", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  Write(file, "table");
  CloseHandle(file);
  file = Open("..\\DATA\\nametbl.sh", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(file), "table");
  CloseHandle(file);
  EXPECT_EQ(Entries(install.data()), std::vector<std::string>{"NAMETBL.SH"});

  file = Open("..\\user\\自选股.blk", GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(fs::exists(install.user() / fs::path(u8"自选股.blk")));
  ASSERT_TRUE(CreateDirectoryA("..\\user\\嘰", nullptr));   // trail byte 0x5C
  file = Open("..\\user\\嘰\\x.dat", GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(fs::exists(install.user() / fs::path(u8"嘰") / "x.dat"));
  EXPECT_EQ(Find("..\\user\\*.blk"), std::vector<std::string>{"自选股.blk"});
}

TEST(FileNames, CacheFollowsCreateDeleteAndRenameThroughThePlatform) {
  TempInstall install;
  EXPECT_EQ(GetFileAttributesA("..\\data\\q.dat"), INVALID_FILE_ATTRIBUTES);   // data/ listed now
  HANDLE file = Open("..\\data\\Q.DAT", GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_EQ(GetFileAttributesA("..\\data\\q.dat"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(MoveFileA("..\\data\\q.dat", "..\\data\\Moved.Dat"));
  EXPECT_EQ(GetFileAttributesA("..\\data\\q.dat"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("..\\data\\MOVED.DAT"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(DeleteFileA("..\\data\\moved.dat"));
  EXPECT_EQ(GetFileAttributesA("..\\data\\Moved.Dat"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(fs::is_empty(install.data()));
}

TEST(FileNames, RecoversWhenAFileWasReplacedBehindThePlatformsBack) {
  TempInstall install;
  WriteBytes(install.data() / "quote.dat", "old");
  HANDLE file = Open("..\\data\\QUOTE.DAT", GENERIC_READ, OPEN_EXISTING);   // cached as quote.dat
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  fs::remove(install.data() / "quote.dat");
  std::ofstream(install.data() / "QUOTE.DAT", std::ios::binary) << "new";   // no invalidation
  file = Open("..\\data\\quote.dat", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(file), "new");
  CloseHandle(file);
}

TEST(Entries, AttributesDirectoriesAndDeletion) {
  TempInstall install;
  WriteBytes(install.data() / "sh" / "x.dat", "x");
  EXPECT_EQ(GetFileAttributesA("..\\DATA\\SH"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("..\\data\\sh\\X.DAT"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetFileAttributesA("..\\data\\none\\x.dat"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  EXPECT_FALSE(CreateDirectoryA("..\\DATA\\Sh", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("..\\data\\a\\b", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(CreateDirectoryA("..\\data\\SZ", nullptr));
  EXPECT_TRUE(fs::is_directory(install.data() / "SZ"));

  EXPECT_FALSE(DeleteFileA("..\\data\\sh"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFileA("..\\data\\sh\\y.dat"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(RemoveDirectoryA("..\\data\\sh"));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_TRUE(DeleteFileA("..\\data\\sh\\X.dat"));
  EXPECT_TRUE(RemoveDirectoryA("..\\data\\SH"));
  EXPECT_EQ(GetFileAttributesA("..\\data\\sh"), INVALID_FILE_ATTRIBUTES);
}

TEST(CopyAndMove, CopyKeepsBytesAndTimeAndRefusesToDestroyItsSource) {
  TempInstall install;
  WriteBytes(install.data() / "a.dat", "source");
  WriteBytes(install.data() / "b.dat", "target");
  fs::last_write_time(install.data() / "a.dat", fs::last_write_time(install.data() / "a.dat") - std::chrono::hours(50));

  EXPECT_FALSE(CopyFileA("..\\data\\a.dat", "..\\data\\B.DAT", TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadBytes(install.data() / "b.dat"), "target");
  EXPECT_TRUE(CopyFileA("..\\data\\A.DAT", "..\\data\\b.dat", FALSE));
  EXPECT_EQ(ReadBytes(install.data() / "b.dat"), "source");
  EXPECT_EQ(fs::last_write_time(install.data() / "b.dat"), fs::last_write_time(install.data() / "a.dat"));
  EXPECT_TRUE(CopyFileA("..\\data\\a.dat", "..\\data\\C.dat", TRUE));
  EXPECT_EQ(ReadBytes(install.data() / "C.dat"), "source");

  // The same file under another spelling: a plain copy would have emptied it.
  EXPECT_FALSE(CopyFileA("..\\data\\a.dat", "..\\DATA\\A.DAT", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ReadBytes(install.data() / "a.dat"), "source");
  EXPECT_FALSE(CopyFileA("..\\data\\none.dat", "..\\data\\d.dat", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Entries(install.data()), (std::vector<std::string>{"C.dat", "a.dat", "b.dat"}));   // no temporaries
}

TEST(CopyAndMove, MoveRefusesAnExistingTargetAndMayChangeCaseOnly) {
  TempInstall install;
  WriteBytes(install.data() / "a.dat", "a");
  WriteBytes(install.data() / "b.dat", "b");
  EXPECT_FALSE(MoveFileA("..\\data\\a.dat", "..\\data\\B.DAT"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileA("..\\data\\a.dat", "..\\data\\A.DAT"));
  EXPECT_EQ(Entries(install.data()), (std::vector<std::string>{"A.DAT", "b.dat"}));
  ASSERT_TRUE(CreateDirectoryA("..\\data\\sub", nullptr));
  EXPECT_TRUE(MoveFileA("..\\data\\b.dat", "..\\data\\SUB\\c.dat"));
  EXPECT_EQ(ReadBytes(install.data() / "sub" / "c.dat"), "b");
  EXPECT_FALSE(MoveFileA("..\\data\\none", "..\\data\\x"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(CopyAndMove, MovesAFileToAnotherFileSystemButNotAFolder) {
  TempInstall install;
  const fs::path other = fs::path("/dev/shm") / ("zuvo-move-" + std::to_string(std::random_device{}()));
  std::error_code error;
  if (!fs::create_directory(other, error)) GTEST_SKIP() << "no second file system";
  struct Cleanup {
    fs::path dir;
    ~Cleanup() { fs::remove_all(dir); }
  } cleanup{other};
  WriteBytes(other / "probe", "");
  fs::rename(other / "probe", install.data() / "probe", error);
  if (error != std::errc::cross_device_link) GTEST_SKIP() << "no second file system";
  fs::remove(other / "probe");
  WriteBytes(install.data() / "quote.dat", "bytes");
  WriteBytes(other / "taken.dat", "kept");
  fs::create_directories(install.data() / "sub");
  const std::string away = paths::ToWindows(other.string());

  EXPECT_FALSE(MoveFileA("..\\data\\QUOTE.DAT", (away + "\\TAKEN.DAT").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileA("..\\data\\QUOTE.DAT", (away + "\\moved.dat").c_str()));
  EXPECT_EQ(ReadBytes(other / "moved.dat"), "bytes");
  EXPECT_EQ(GetFileAttributesA("..\\data\\quote.dat"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(MoveFileA((away + "\\moved.dat").c_str(), "..\\data\\back.dat"));
  EXPECT_EQ(ReadBytes(install.data() / "back.dat"), "bytes");
  EXPECT_FALSE(MoveFileA("..\\data\\sub", (away + "\\sub").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
  EXPECT_EQ(Entries(other), (std::vector<std::string>{"taken.dat"}));
  EXPECT_EQ(Entries(install.data()), (std::vector<std::string>{"back.dat", "sub"}));
}

TEST(FileTimes, LastWriteTimeRoundTripsThroughTheFileInUtc) {
  TempInstall install;
  HANDLE file = Open("t.dat", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SYSTEMTIME when{2024, 2, 0, 29, 13, 45, 30, 250};
  FILETIME written;
  ASSERT_TRUE(SystemTimeToFileTime(&when, &written));
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
  FILETIME creation, access, lastWrite;
  ASSERT_TRUE(GetFileTime(file, &creation, &access, &lastWrite));
  CloseHandle(file);
  EXPECT_EQ(lastWrite.dwLowDateTime, written.dwLowDateTime);
  EXPECT_EQ(lastWrite.dwHighDateTime, written.dwHighDateTime);
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&lastWrite, &back));
  EXPECT_EQ(back.wYear, 2024);
  EXPECT_EQ(back.wMonth, 2);
  EXPECT_EQ(back.wDay, 29);
  EXPECT_EQ(back.wDayOfWeek, 4);   // a Thursday
  EXPECT_EQ(back.wHour, 13);
  EXPECT_EQ(back.wMinute, 45);
  EXPECT_EQ(back.wSecond, 30);
  EXPECT_EQ(back.wMilliseconds, 250);
  // The file system holds it as seconds since the Unix epoch, UTC.
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      fs::last_write_time(install.bin() / "t.dat").time_since_epoch() -
      std::chrono::file_clock::now().time_since_epoch() +
      std::chrono::system_clock::now().time_since_epoch());
  EXPECT_NEAR(static_cast<double>(seconds.count()), 1709214330.0, 2.0);
}

TEST(FileTimes, ConversionsKnowTheCalendarAndRefuseBadFields) {
  struct Case {
    std::uint64_t ticks;
    SYSTEMTIME time;
  };
  const Case cases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},                                // a Monday
      {116444736000000000ULL, {1970, 1, 4, 1, 0, 0, 0, 0}},            // the Unix epoch, a Thursday
      {116444736000000000ULL + 951782400ULL * 10000000ULL + 1234 * 10000ULL, {2000, 2, 2, 29, 0, 0, 1, 234}},
  };
  for (const auto& c : cases) {
    FILETIME fileTime{static_cast<DWORD>(c.ticks), static_cast<DWORD>(c.ticks >> 32)};
    SYSTEMTIME out;
    ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &out));
    EXPECT_EQ(std::memcmp(&out, &c.time, sizeof out), 0) << out.wYear << "-" << out.wMonth << "-" << out.wDay;
    FILETIME back;
    ASSERT_TRUE(SystemTimeToFileTime(&c.time, &back));
    EXPECT_EQ((std::uint64_t{back.dwHighDateTime} << 32) | back.dwLowDateTime, c.ticks);
  }
  const SYSTEMTIME bad[] = {
      {1600, 12, 0, 31, 0, 0, 0, 0}, {2023, 13, 0, 1, 0, 0, 0, 0}, {2023, 2, 0, 29, 0, 0, 0, 0},
      {2024, 1, 0, 0, 0, 0, 0, 0},   {2024, 1, 0, 1, 24, 0, 0, 0}, {2024, 1, 0, 1, 0, 0, 0, 1000},
  };
  for (const auto& t : bad) {
    FILETIME out;
    EXPECT_FALSE(SystemTimeToFileTime(&t, &out)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
  }
  FILETIME tooLarge{0, 0x80000000u};
  SYSTEMTIME out;
  EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &out));
}

TEST(FindFiles, MatchesWildcardsWithoutCaseAndListsSorted) {
  TempInstall install;
  for (const char* name : {"600000.DAY", "600001.day", "000001.DAY", "notes.txt", "README"})
    WriteBytes(install.data() / name, "1234");
  fs::create_directories(install.data() / "sub");
  struct Case {
    const char* pattern;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"..\\data\\*.day", {"000001.DAY", "600000.DAY", "600001.day"}},
      {"..\\DATA\\60000?.Day", {"600000.DAY", "600001.day"}},
      {"..\\data\\*.*", {".", "..", "000001.DAY", "600000.DAY", "600001.day", "notes.txt", "README", "sub"}},
      {"..\\data\\readme.*", {"README"}},
      {"..\\data\\NOTES.TXT", {"notes.txt"}},
      {"..\\data\\*1*", {"000001.DAY", "600001.day"}},
      {"..\\data\\nomatch*", {}},
      {"..\\nowhere\\*", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Find(c.pattern), c.names) << c.pattern;
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA("..\\data\\nomatch*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA("..\\nowhere\\*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  HANDLE find = FindFirstFileA("..\\data\\s*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  FindClose(find);
  find = FindFirstFileA("..\\data\\600000.*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 4u);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_FALSE(CloseHandle(handles::FromInt(-1)));
  EXPECT_TRUE(FindClose(find));
  EXPECT_FALSE(FindNextFileA(find, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(FindFiles, NamesDifferingOnlyInCaseComeInOneOrder) {
  TempInstall install;
  // Pairs created in both orders, so the folder's own listing order cannot decide.
  std::vector<std::string> expected;
  for (char c = 'a'; c < 'i'; ++c) {
    std::string lower = std::string(1, c) + ".txt";
    std::string upper = std::string(1, static_cast<char>(c - 'a' + 'A')) + ".TXT";
    bool upperFirst = (c - 'a') % 2 == 0;
    WriteBytes(install.user() / (upperFirst ? upper : lower), "x");
    WriteBytes(install.user() / (upperFirst ? lower : upper), "x");
    expected.push_back(upper);
    expected.push_back(lower);
  }
  EXPECT_EQ(Find("..\\user\\*.txt"), expected);
}

TEST(FindFiles, QuestionMarkIsOneGbkCharacter) {
  TempInstall install;
  WriteBytes(install.user() / fs::path(u8"自选1.blk"), "x");
  WriteBytes(install.user() / fs::path(u8"自选股.blk"), "x");
  EXPECT_EQ(Find("..\\user\\自选?.blk"), (std::vector<std::string>{"自选1.blk", "自选股.blk"}));
  EXPECT_EQ(Find("..\\user\\自??.BLK"), (std::vector<std::string>{"自选1.blk", "自选股.blk"}));
  EXPECT_EQ(Find("..\\user\\自?.blk"), std::vector<std::string>{});
}

TEST(FileMappings, ReadWriteMappingExtendsTheFileAndWritesThrough) {
  TempInstall install;
  HANDLE file = Open("m.dat", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  Write(file, "head");
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 10000, nullptr);
  ASSERT_NE(mapping, nullptr);
  EXPECT_EQ(GetFileSize(file, nullptr), 10000u);
  auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(view, 4), "head");
  EXPECT_EQ(view[9999], 0);
  std::memcpy(view + 9990, "tail", 4);
  // The view outlives both handles.
  CloseHandle(mapping);
  CloseHandle(file);
  view[0] = 'H';
  // An unaligned view starts at the byte asked for.
  file = Open("m.dat", GENERIC_READ, OPEN_EXISTING);
  HANDLE readMapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(readMapping, nullptr);
  auto* tail = static_cast<const char*>(MapViewOfFile(readMapping, FILE_MAP_READ, 0, 9990, 4));
  ASSERT_NE(tail, nullptr);
  EXPECT_EQ(std::string(tail, 4), "tail");
  EXPECT_TRUE(UnmapViewOfFile(tail));
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(UnmapViewOfFile(view));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
  CloseHandle(readMapping);
  CloseHandle(file);
  std::string bytes = ReadBytes(install.bin() / "m.dat");
  ASSERT_EQ(bytes.size(), 10000u);
  EXPECT_EQ(bytes.substr(0, 4), "Head");
  EXPECT_EQ(bytes.substr(9990, 4), "tail");
}

TEST(FileMappings, RefusesWhatTheHandleOrMappingDoesNotAllow) {
  TempInstall install;
  WriteBytes(install.bin() / "r.dat", std::string(100, 'r'));
  WriteBytes(install.bin() / "empty.dat", "");
  HANDLE readOnly = Open("r.dat", GENERIC_READ, OPEN_EXISTING);
  EXPECT_EQ(CreateFileMappingA(readOnly, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileMappingA(readOnly, nullptr, PAGE_READONLY, 0, 200, nullptr), nullptr);   // cannot extend
  HANDLE mapping = CreateFileMappingA(readOnly, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 50, 51), nullptr);   // beyond the mapping
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 100, 0), nullptr);
  EXPECT_EQ(MapViewOfFile(readOnly, FILE_MAP_READ, 0, 0, 0), nullptr);   // a file is not a mapping
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(mapping);
  CloseHandle(readOnly);
  HANDLE empty = Open("empty.dat", GENERIC_READ, OPEN_EXISTING);
  EXPECT_EQ(CreateFileMappingA(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
  CloseHandle(empty);
}

TEST(FileMappings, NoCallEmptiesAFileWhileItIsMapped) {
  // A reader maps a bar file; another handle (the writer's) tries to start it afresh. Had the
  // file been cut, touching the reader's view would kill the process.
  TempInstall install;
  WriteBytes(install.data() / "600000.DAY", std::string(8192, 'b'));
  HANDLE reader = Open("..\\data\\600000.day", GENERIC_READ, OPEN_EXISTING);
  HANDLE mapping = CreateFileMappingA(reader, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  HANDLE writer = Open("..\\data\\600000.day", GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  SetFilePointer(writer, 0, nullptr, FILE_BEGIN);
  EXPECT_FALSE(SetEndOfFile(writer));   // a mapping without a view yet holds the file too
  EXPECT_EQ(GetLastError(), ERROR_USER_MAPPED_FILE);
  const char* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  CloseHandle(mapping);   // the view alone still holds it
  for (DWORD disposition : {CREATE_ALWAYS, TRUNCATE_EXISTING}) {
    SCOPED_TRACE(disposition);
    EXPECT_EQ(Open("..\\data\\600000.day", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_USER_MAPPED_FILE);
  }
  ASSERT_EQ(GetFileSize(reader, nullptr), 8192u);
  EXPECT_EQ(view[8191], 'b');
  EXPECT_TRUE(UnmapViewOfFile(view));
  HANDLE fresh = Open("..\\data\\600000.day", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(fresh, nullptr), 0u);
  ASSERT_TRUE(Write(fresh, "abc"));
  HANDLE readOnly = Open("..\\data\\600000.day", GENERIC_READ, CREATE_ALWAYS);   // empties it as well
  ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(readOnly, nullptr), 0u);
  for (HANDLE h : {readOnly, fresh, writer, reader}) CloseHandle(h);
}

TEST(FileMappings, FileCannotShrinkUnderAMappedView) {
  TempInstall install;
  HANDLE file = Open("m.dat", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 8192, nullptr);
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  SetFilePointer(file, 10, nullptr, FILE_BEGIN);
  EXPECT_FALSE(SetEndOfFile(file));   // touching the cut pages would kill the process
  EXPECT_EQ(GetLastError(), ERROR_USER_MAPPED_FILE);
  EXPECT_EQ(static_cast<char*>(view)[8191], 0);
  SetFilePointer(file, 10000, nullptr, FILE_BEGIN);
  EXPECT_TRUE(SetEndOfFile(file));   // growing is harmless
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  SetFilePointer(file, 10, nullptr, FILE_BEGIN);
  EXPECT_TRUE(SetEndOfFile(file));
  EXPECT_EQ(GetFileSize(file, nullptr), 10u);
  CloseHandle(file);
}

TEST(FileMappings, AnonymousMappingIsZeroedMemory) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
  ASSERT_NE(mapping, nullptr);
  auto* view = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[0] | view[4095], 0);
  view[1] = 7;
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(mapping));
}

TEST(AtomicReplace, ReplacesWholeFilesAndCreatesMissingOnes) {
  TempInstall install;
  WriteBytes(install.cfg() / "PAGE.IDX", std::string(100, 'o'));
  ASSERT_TRUE(files::AtomicReplace("..\\cfg\\page.idx", "new", 3));
  EXPECT_EQ(ReadBytes(install.cfg() / "PAGE.IDX"), "new");   // the existing spelling is kept
  ASSERT_TRUE(files::AtomicReplace("..\\cfg\\New.Dat", "", 0));
  EXPECT_EQ(Entries(install.cfg()), (std::vector<std::string>{"New.Dat", "PAGE.IDX"}));
  EXPECT_EQ(GetFileAttributesA("..\\cfg\\NEW.DAT"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_FALSE(files::AtomicReplace("..\\nowhere\\x.dat", "x", 1));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(AtomicReplace, ReadOnlyFilesAreNotReplacedCopiedOverOrDeleted) {
  TempInstall install;
  WriteBytes(install.cfg() / "setting.ini", "kept");
  WriteBytes(install.cfg() / "source.ini", "other");
  fs::permissions(install.cfg() / "setting.ini", fs::perms::owner_read | fs::perms::group_read);
  ASSERT_EQ(GetFileAttributesA("..\\cfg\\setting.ini"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(files::AtomicReplace("..\\cfg\\SETTING.INI", "lost", 4));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CopyFileA("..\\cfg\\source.ini", "..\\cfg\\setting.ini", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFileA("..\\cfg\\setting.ini"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  fs::permissions(install.cfg() / "setting.ini", fs::perms::owner_all);
  EXPECT_EQ(ReadBytes(install.cfg() / "setting.ini"), "kept");
  EXPECT_EQ(Entries(install.cfg()), (std::vector<std::string>{"setting.ini", "source.ini"}));
}

// The steps of a replace, each failing as the system fails it.
struct FailingStep {
  const char* name;
  files::FileCall call;
  int error;
  DWORD reported;
};
constexpr FailingStep kReplaceSteps[] = {
    {"create", files::FileCall::kCreate, EACCES, ERROR_ACCESS_DENIED},
    {"write", files::FileCall::kWrite, EIO, ERROR_WRITE_FAULT},
    {"write, disk full", files::FileCall::kWrite, ENOSPC, ERROR_DISK_FULL},
    {"flush", files::FileCall::kSync, EIO, ERROR_WRITE_FAULT},
    {"rename", files::FileCall::kRename, EIO, ERROR_ACCESS_DENIED},
};

TEST(AtomicReplace, FailureAtAnyStepLeavesTheOldFileAndNoTemporary) {
  TempInstall install;
  WriteBytes(install.cfg() / "lastpage.dat", "old contents");
  for (const FailingStep& step : kReplaceSteps) {
    SCOPED_TRACE(step.name);
    files::ScopedFileFault fault(step.call, 1, files::FaultRepeat::kOnce, step.error);
    EXPECT_FALSE(files::AtomicReplace("..\\cfg\\LASTPAGE.DAT", "replacement", 11));
    EXPECT_EQ(GetLastError(), step.reported);
    EXPECT_EQ(fault.Failures(), 1);
    EXPECT_EQ(ReadBytes(install.cfg() / "lastpage.dat"), "old contents");
    EXPECT_EQ(Entries(install.cfg()), std::vector<std::string>{"lastpage.dat"});
  }
  EXPECT_TRUE(files::AtomicReplace("..\\cfg\\LASTPAGE.DAT", "replacement", 11));
  EXPECT_EQ(ReadBytes(install.cfg() / "lastpage.dat"), "replacement");
}

TEST(AtomicReplace, FailedCopiesLeaveTheTargetAndNoTemporary) {
  TempInstall install;
  WriteBytes(install.cfg() / "source.dat", "copied bytes");
  WriteBytes(install.cfg() / "target.dat", "old contents");
  for (const FailingStep& step : kReplaceSteps) {
    SCOPED_TRACE(step.name);
    files::ScopedFileFault fault(step.call, 1, files::FaultRepeat::kOnce, step.error);
    EXPECT_FALSE(CopyFileA("..\\cfg\\source.dat", "..\\cfg\\target.dat", FALSE));
    EXPECT_EQ(fault.Failures(), 1);
    EXPECT_EQ(ReadBytes(install.cfg() / "target.dat"), "old contents");
    EXPECT_EQ(Entries(install.cfg()), (std::vector<std::string>{"source.dat", "target.dat"}));
  }
  // A copy that must not replace puts its file in place by a link, counted as a rename.
  files::ScopedFileFault fault(files::FileCall::kRename);
  EXPECT_FALSE(CopyFileA("..\\cfg\\source.dat", "..\\cfg\\new.dat", TRUE));
  EXPECT_EQ(fault.Failures(), 1);
  EXPECT_EQ(Entries(install.cfg()), (std::vector<std::string>{"source.dat", "target.dat"}));
}

TEST(AtomicReplace, ATemporaryThatCouldNotBeRemovedGoesAtTheNextReplace) {
  TempInstall install;
  WriteBytes(install.data() / "QUOTE.DAT", "old");
  {
    files::ScopedFileFault rename(files::FileCall::kRename);
    files::ScopedFileFault remove(files::FileCall::kRemove);
    EXPECT_FALSE(files::AtomicReplace("..\\data\\quote.dat", "new", 3));
    EXPECT_EQ(remove.Failures(), 1);
  }
  EXPECT_EQ(Entries(install.data()), (std::vector<std::string>{".zuvo-tmp-QUOTE.DAT.0", "QUOTE.DAT"}));
  EXPECT_TRUE(files::AtomicReplace("..\\data\\quote.dat", "new", 3));
  EXPECT_EQ(Entries(install.data()), std::vector<std::string>{"QUOTE.DAT"});
  EXPECT_EQ(ReadBytes(install.data() / "QUOTE.DAT"), "new");
}

TEST(FileFaults, FailTheNthCallOfTheirKindOnlyWhileTheyLive) {
  TempInstall install;
  struct Case {
    const char* name;
    int nth;
    files::FaultRepeat repeat;
    std::vector<bool> replaced;   // per replace in a row: did it succeed
  };
  const Case cases[] = {
      {"first, once", 1, files::FaultRepeat::kOnce, {false, true, true}},
      {"second, once", 2, files::FaultRepeat::kOnce, {true, false, true}},
      {"second and on", 2, files::FaultRepeat::kEveryCallFromNth, {true, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      files::ScopedFileFault fault(files::FileCall::kRename, c.nth, c.repeat);
      for (std::size_t i = 0; i < c.replaced.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string bytes = "round " + std::to_string(i);
        EXPECT_EQ(files::AtomicReplace("..\\data\\f.dat", bytes.data(), bytes.size()), c.replaced[i]);
        if (c.replaced[i]) {
          EXPECT_EQ(ReadBytes(install.data() / "f.dat"), bytes);
        }
      }
      EXPECT_EQ(fault.Calls(), static_cast<int>(c.replaced.size()));
      EXPECT_EQ(fault.Failures(), std::count(c.replaced.begin(), c.replaced.end(), false));
    }
    EXPECT_TRUE(files::AtomicReplace("..\\data\\f.dat", "after", 5));   // the guard is gone
  }
}

TEST(FileFaults, ReachEveryFileCallThatChangesTheDisk) {
  TempInstall install;
  WriteBytes(install.data() / "a.dat", "old a");
  WriteBytes(install.data() / "b.dat", "old b");
  const std::vector<std::string> before{"a.dat", "b.dat"};
  using files::FileCall;

  {
    files::ScopedFileFault fault(FileCall::kCreate, 1, files::FaultRepeat::kOnce, ENOSPC);
    EXPECT_EQ(Open("..\\data\\new.dat", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    HANDLE created = Open("..\\data\\new.dat", GENERIC_WRITE, OPEN_ALWAYS);   // only the first fails
    EXPECT_NE(created, INVALID_HANDLE_VALUE);
    CloseHandle(created);
  }
  HANDLE file = Open("..\\data\\a.dat", GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  {
    files::ScopedFileFault fault(FileCall::kWrite, 1, files::FaultRepeat::kOnce, ENOSPC);
    DWORD written = 99;
    EXPECT_FALSE(WriteFile(file, "NEW A!", 6, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(written, 0u);
  }
  EXPECT_EQ(ReadBytes(install.data() / "a.dat"), "NEW a") << "a full disk stops a write halfway";
  {
    files::ScopedFileFault fault(FileCall::kSync);
    EXPECT_FALSE(FlushFileBuffers(file));
    EXPECT_TRUE(FlushFileBuffers(file));
  }
  CloseHandle(file);
  {
    files::ScopedFileFault fault(FileCall::kRemove, 1, files::FaultRepeat::kOnce, EROFS);
    EXPECT_FALSE(DeleteFileA("..\\data\\b.dat"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
  {
    files::ScopedFileFault fault(FileCall::kRename, 1, files::FaultRepeat::kEveryCallFromNth);
    EXPECT_FALSE(MoveFileA("..\\data\\b.dat", "..\\data\\c.dat"));
    EXPECT_FALSE(MoveFileA("..\\data\\b.dat", "..\\data\\B.DAT"));   // a change of case only
    EXPECT_EQ(fault.Failures(), 2);
  }
  EXPECT_EQ(Entries(install.data()), (std::vector<std::string>{"a.dat", "b.dat", "new.dat"}));
  EXPECT_EQ(ReadBytes(install.data() / "b.dat"), "old b");
}

// A hidden file beside the target as a writer leaves it; with held, a writer at work holds it
// (locked through a descriptor of its own, as another process's writer holds it).
class FakeTemporary {
 public:
  FakeTemporary(const fs::path& path, bool held) {
    WriteBytes(path, "partial");
    if (!held) return;
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
  }
  ~FakeTemporary() {
    if (fd_ >= 0) ::close(fd_);
  }
  FakeTemporary(const FakeTemporary&) = delete;
  FakeTemporary& operator=(const FakeTemporary&) = delete;

 private:
  int fd_ = -1;
};

TEST(AtomicReplace, RemovesOnlyTheTargetsTemporariesThatNoWriterHolds) {
  TempInstall install;
  const fs::path dir = install.data();
  WriteBytes(dir / "QUOTE.DAT", "old");
  const struct {
    const char* name;
    bool held;
    bool kept;
  } cases[] = {
      {".zuvo-tmp-QUOTE.DAT.0", false, false},   // left by killed writers of this target
      {".zuvo-tmp-QUOTE.DAT.7", false, false},
      {".zuvo-tmp-QUOTE.DAT.1", true, true},     // a writer at work
      {".zuvo-tmp-QUOTE.DAT.f", true, true},
      {".zuvo-tmp-OTHER.DAT.0", false, true},    // another target's
      {".zuvo-tmp-quote.dat.2", false, true},    // another spelling is another file's
      {".zuvo-tmp-QUOTE.DAT.x", false, true},    // not a name a writer uses
      {".zuvo-tmp-QUOTE.DAT.00", false, true},
      {".zuvo-tmp-a1B2c3", false, true},
      {"QUOTE.DAT.0", false, true},
  };
  std::vector<std::unique_ptr<FakeTemporary>> temporaries;
  for (const auto& c : cases) temporaries.push_back(std::make_unique<FakeTemporary>(dir / c.name, c.held));
  ASSERT_TRUE(files::AtomicReplace("..\\data\\quote.dat", "new", 3));
  EXPECT_EQ(ReadBytes(dir / "QUOTE.DAT"), "new");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(fs::exists(dir / c.name), c.kept);
    if (c.kept) {
      EXPECT_EQ(ReadBytes(dir / c.name), "partial");
    }
  }

  // Once its writer is gone, a held file is stale too; a copy onto the target cleans up alike.
  temporaries.clear();
  WriteBytes(install.cfg() / "source.dat", "copied");
  ASSERT_TRUE(CopyFileA("..\\cfg\\source.dat", "..\\data\\quote.dat", FALSE));
  EXPECT_EQ(ReadBytes(dir / "QUOTE.DAT"), "copied");
  EXPECT_FALSE(fs::exists(dir / ".zuvo-tmp-QUOTE.DAT.1"));
  EXPECT_FALSE(fs::exists(dir / ".zuvo-tmp-QUOTE.DAT.f"));
  EXPECT_TRUE(fs::exists(dir / ".zuvo-tmp-OTHER.DAT.0"));
}

TEST(AtomicReplace, FailsWithoutTouchingTheTargetWhenEverySlotIsHeld) {
  TempInstall install;
  WriteBytes(install.data() / "QUOTE.DAT", "old");
  std::vector<std::unique_ptr<FakeTemporary>> writers;
  for (char slot : std::string_view("0123456789abcdef"))
    writers.push_back(std::make_unique<FakeTemporary>(install.data() / (".zuvo-tmp-QUOTE.DAT." + std::string(1, slot)), true));
  EXPECT_FALSE(files::AtomicReplace("..\\data\\quote.dat", "new", 3));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ReadBytes(install.data() / "QUOTE.DAT"), "old");
  writers.pop_back();   // one writer done: its slot serves
  EXPECT_TRUE(files::AtomicReplace("..\\data\\quote.dat", "new", 3));
  EXPECT_EQ(ReadBytes(install.data() / "QUOTE.DAT"), "new");
}

TEST(AtomicReplace, TargetsWithLongNamesGetTemporariesThatFit) {
  TempInstall install;
  const std::string name = std::string(240, 'L') + ".DAT";
  ASSERT_TRUE(files::AtomicReplace("..\\data\\" + name, "new", 3));
  EXPECT_EQ(ReadBytes(install.data() / name), "new");
  EXPECT_EQ(Entries(install.data()), std::vector<std::string>{name});
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

TEST(ErrorPaths, LeaveNoDescriptorOrHandleOpen) {
  TempInstall install;
  if (!fs::is_directory("/proc/self/fd")) GTEST_SKIP() << "descriptors cannot be counted here";
  WriteBytes(install.data() / "a.dat", std::string(100, 'a'));
  WriteBytes(install.data() / "b.dat", "b");
  WriteBytes(install.data() / "empty.dat", "");
  HANDLE mapped = Open("..\\data\\a.dat", GENERIC_READ, OPEN_EXISTING);
  HANDLE mapping = CreateFileMappingA(mapped, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  const std::size_t descriptors = OpenDescriptors();
  const std::size_t handlesOpen = handles::OpenCount();
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(Open("..\\data", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);              // a folder
    EXPECT_EQ(Open("..\\data\\a.dat", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);      // mapped
    EXPECT_EQ(Open("..\\data\\a.dat", GENERIC_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("..\\data\\b.dat", GENERIC_READ, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CopyFileA("..\\data\\a.dat", "..\\data\\b.dat", TRUE));
    EXPECT_FALSE(CopyFileA("..\\data\\a.dat", "..\\nowhere\\b.dat", FALSE));
    EXPECT_FALSE(CopyFileA("..\\data", "..\\data\\c.dat", FALSE));
    HANDLE empty = Open("..\\data\\empty.dat", GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(CreateFileMappingA(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(CreateFileMappingA(empty, nullptr, PAGE_READWRITE, 0, 10, nullptr), nullptr);
    CloseHandle(empty);
    EXPECT_EQ(FindFirstFileA("..\\data\\none*", nullptr), INVALID_HANDLE_VALUE);
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA("..\\data\\none*", &data), INVALID_HANDLE_VALUE);
    for (const FailingStep& step : kReplaceSteps) {
      files::ScopedFileFault fault(step.call, 1, files::FaultRepeat::kEveryCallFromNth, step.error);
      EXPECT_FALSE(files::AtomicReplace("..\\data\\b.dat", "x", 1));
      EXPECT_FALSE(CopyFileA("..\\data\\a.dat", "..\\data\\b.dat", FALSE));
    }
    EXPECT_FALSE(files::AtomicReplace("..\\nowhere\\b.dat", "x", 1));
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(handles::OpenCount(), handlesOpen);
  CloseHandle(mapping);
  CloseHandle(mapped);
}

TEST(LastError, IsKeptPerThread) {
  SetLastError(ERROR_DISK_FULL);
  DWORD seenByOther = 1;
  std::thread([&] { seenByOther = GetLastError(); }).join();
  EXPECT_EQ(seenByOther, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
}

}  // namespace
