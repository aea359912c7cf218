#include "FuzzSupport.h"

#include "FuzzTargets.h"
#include "core/GuardedAlloc.h"
#include "data/BlockGroup.h"
#include "data/DataIO.h"
#include "data/HotKeys.h"
#include "data/MarketData.h"
#include "data/TimeZones.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Profile.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

using namespace zuvo::platform;

namespace fuzz {
namespace {

namespace fs = std::filesystem;

// The clock word every input starts with (Friday 2024-06-28 07:00 UTC, the sample market's
// newest trading day), so that nothing depends on the day the fuzzer runs.
constexpr std::uint32_t kFixedClockWord = (2024u << 20) | (6u << 16) | (28u << 11) | (7u << 6);

std::string& RootPath() {
  static std::string root;
  return root;
}

pid_t& OwnerPid() {
  static pid_t owner = 0;
  return owner;
}

void RemoveSandbox() {
  if (RootPath().empty() || OwnerPid() != getpid()) return;
  std::error_code ignored;
  fs::current_path("/", ignored);
  fs::remove_all(RootPath(), ignored);
}

// A sandbox holds the id of the process that made it; one whose process is gone (it aborted on
// a finding, or was killed) is removed by the next process that makes one beside it.
constexpr const char* kOwnerFile = "owner.pid";

void RemoveAbandonedSandboxes(const fs::path& parent) {
  std::error_code ignored;
  for (auto it = fs::directory_iterator(parent, ignored); it != fs::directory_iterator(); it.increment(ignored)) {
    if (it->path().filename().string().rfind("zuvo-fuzz-", 0) != 0) continue;
    std::ifstream in(it->path() / kOwnerFile);
    long owner = 0;
    if (!(in >> owner) || owner <= 0) continue;
    if (kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH) continue;
    fs::remove_all(it->path(), ignored);
  }
}

std::string SandboxParent() {
  if (const char* configured = std::getenv("ZUVO_FUZZ_TMP"); configured && *configured) {
    std::error_code ignored;
    fs::create_directories(configured, ignored);
    return configured;
  }
  if (access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
  std::error_code error;
  const fs::path temp = fs::temp_directory_path(error);
  return error ? std::string("/tmp") : temp.string();
}

// Empties a folder, keeping the folder itself.
void Empty(const fs::path& folder) {
  std::error_code ignored;
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::directory_iterator(folder, ignored); it != fs::directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(it->path(), ignored);
  }
}

// Drops the market tables without the quote file each one writes when deleted.
void DropMarketTables() {
  for (TMarketData*& table : MarketTables) {
    if (table) table->quotesLoaded = false;
    delete table;
    table = nullptr;
  }
  MarketCount = 0;
}

}  // namespace

void Fail(const char* condition, const char* what, const char* file, int line) {
  std::fprintf(stderr, "\nfuzz target %s: property broken: %s\n  check: %s\n  at %s:%d\n", CurrentTargetName(),
               what, condition, file, line);
  std::fflush(stderr);
  RemoveSandbox();
  std::abort();
}

std::vector<std::string_view> SplitParts(std::string_view input, std::size_t maxParts) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < maxParts) {
    const std::size_t cut = input.find(kPartSeparator);
    if (cut == std::string_view::npos) break;
    parts.push_back(input.substr(0, cut));
    input.remove_prefix(cut + kPartSeparator.size());
  }
  parts.push_back(input);
  return parts;
}

std::string JoinParts(const std::vector<std::string>& parts) {
  std::string input;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) input.append(kPartSeparator);
    input.append(parts[i]);
  }
  return input;
}

std::uint8_t ControlReader::U8(std::uint8_t fallback) {
  if (at_ >= bytes_.size()) return fallback;
  return static_cast<std::uint8_t>(bytes_[at_++]);
}

std::uint16_t ControlReader::U16(std::uint16_t fallback) {
  if (at_ + 2 > bytes_.size()) {
    at_ = bytes_.size();
    return fallback;
  }
  const std::uint16_t low = U8();
  return static_cast<std::uint16_t>(low | (U8() << 8));
}

std::uint32_t ControlReader::U32(std::uint32_t fallback) {
  if (at_ + 4 > bytes_.size()) {
    at_ = bytes_.size();
    return fallback;
  }
  const std::uint32_t low = U16();
  return low | (static_cast<std::uint32_t>(U16()) << 16);
}

std::string_view ControlReader::Bytes(std::size_t count) {
  const std::size_t available = at_ < bytes_.size() ? bytes_.size() - at_ : 0;
  const std::string_view taken = bytes_.substr(at_, count < available ? count : available);
  at_ += taken.size();
  return taken;
}

void PutU8(std::string& control, std::uint8_t value) { control.push_back(static_cast<char>(value)); }

void PutU16(std::string& control, std::uint16_t value) {
  PutU8(control, static_cast<std::uint8_t>(value));
  PutU8(control, static_cast<std::uint8_t>(value >> 8));
}

void PutU32(std::string& control, std::uint32_t value) {
  PutU16(control, static_cast<std::uint16_t>(value));
  PutU16(control, static_cast<std::uint16_t>(value >> 16));
}

void Sandbox::Prepare() {
  if (!RootPath().empty()) return;
  const fs::path parent = SandboxParent();
  RemoveAbandonedSandboxes(parent);
  std::string pattern = (parent / "zuvo-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("zuvo fuzz: cannot make the sandbox folder");
    std::abort();
  }
  RootPath() = pattern;
  OwnerPid() = getpid();
  std::ofstream(fs::path(pattern) / kOwnerFile) << getpid() << '\n';
  std::atexit(RemoveSandbox);
  for (const char* sub : {"bin", "cfg", "data", "user"}) fs::create_directories(fs::path(pattern) / sub);
}

void Sandbox::Reset() {
  Prepare();
  const fs::path root = RootPath();
  std::error_code ignored;
  fs::current_path(root / "bin", ignored);
  // Drive folders and whatever else an input made beside the four folders go as well.
  for (auto it = fs::directory_iterator(root, ignored); it != fs::directory_iterator(); it.increment(ignored)) {
    const std::string name = it->path().filename().string();
    if (name == kOwnerFile) continue;
    if (name == "bin" || name == "cfg" || name == "data" || name == "user") {
      Empty(it->path());
    } else {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      fs::remove_all(it->path(), ignored);
    }
  }
  for (const char* sub : {"bin", "cfg", "data", "user"}) fs::create_directories(root / sub, ignored);
  fs::current_path(root / "bin", ignored);

  paths::SetInstallRoot(RootPath());
  paths::InvalidateCache();
  profile::ClearCache();

  ReleaseTables();
  MarketConfigCount = 0;
  TimeZones = TimeZoneTable{};
  std::memset(HotKeyTable, 0, sizeof HotKeyTable);
  std::snprintf(UserDir, sizeof UserDir, "%s", "..\\user\\");
  SystemNow = kFixedClockWord;
  MaxDataRecords = kDefaultMaxDataRecords;
}

void Sandbox::ReleaseTables() {
  ClearBlocks();
  DropMarketTables();
  TUtilData::Shutdown();
}

const std::string& Sandbox::Root() {
  Prepare();
  return RootPath();
}

void Sandbox::Write(const std::string& relativePath, std::string_view bytes) {
  WriteAbsolute((fs::path(Root()) / relativePath).string(), bytes);
}

void Sandbox::WriteAbsolute(const std::string& posixPath, std::string_view bytes) {
  FUZZ_CHECK(IsInside(posixPath, Root()), "the harness writes only inside its install tree");
  const fs::path file(posixPath);
  std::error_code ignored;
  fs::create_directories(file.parent_path(), ignored);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  paths::InvalidateCache();
  profile::ClearCache();
}

std::string Sandbox::Read(const std::string& relativePath) {
  return ReadAbsolute((fs::path(Root()) / relativePath).string());
}

std::string Sandbox::ReadAbsolute(const std::string& posixPath) {
  std::ifstream in(posixPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Sandbox::ExistsAbsolute(const std::string& posixPath) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(posixPath, ignored));
}

bool Sandbox::IsInside(const std::string& posixPath, const std::string& posixFolder) {
  std::string folder = posixFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (posixPath.size() <= folder.size() + 1 || posixPath.compare(0, folder.size(), folder) != 0 ||
      posixPath[folder.size()] != '/')
    return false;
  // No component of the rest may climb back out.
  std::string_view rest(posixPath);
  rest.remove_prefix(folder.size() + 1);
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    if (part == ".." || part == ".") return false;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return true;
}

MarketRecord TwoSessionMarket(int kind, std::string_view code, int hourOffset, int capacity, int dayChangeMinute) {
  MarketRecord record{};
  record.kind = static_cast<std::uint8_t>(kind);
  std::memcpy(record.code, code.data(), std::min(code.size(), sizeof record.code));
  std::memcpy(record.fileExt, "sh", 2);
  record.hourOffset = static_cast<std::int16_t>(hourOffset);
  record.capacity = static_cast<std::uint16_t>(capacity);
  record.categoryCount = 1;
  CategoryRecord& category = record.categories[0];
  category.sessionCount = 2;
  category.openMinute[0] = 570;
  category.closeMinute[0] = 690;
  category.openMinute[1] = 780;
  category.closeMinute[1] = 900;
  category.dayChangeMinute = static_cast<std::uint16_t>(dayChangeMinute);
  return record;
}

ControlledInput SplitControlAndParts(std::string_view input, std::size_t maxParts) {
  ControlledInput out;
  out.parts = SplitParts(input, maxParts);
  if (out.parts.size() > 1) {
    out.control = out.parts.front();
    out.parts.erase(out.parts.begin());
  }
  return out;
}

HWND HiddenWindow(const char* className, WNDPROC procedure) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, className, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace fuzz
