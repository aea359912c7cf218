#include "InstallTree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <fstream>
#include <system_error>

namespace zuvo::quoteserver {
namespace {

// Larger than anything a download of 65535 frames could carry; a guard against reading a huge
// file by mistake.
constexpr std::uintmax_t kMaxServedFile = 16u << 20;

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The entry of `folder` named `name`: the exact name when it exists, else the first entry that
// matches it without regard to case (the terminal names files in any case). Empty when none.
std::filesystem::path FindEntry(const std::filesystem::path& folder, const std::string& name) {
  std::error_code error;
  if (std::filesystem::exists(folder / name, error)) return folder / name;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (EqualNoCase(entry.path().filename().string(), name)) return entry.path();
  }
  return {};
}

std::filesystem::path FindPath(const std::filesystem::path& root, std::initializer_list<std::string> parts) {
  std::filesystem::path path = root;
  for (const std::string& part : parts) {
    path = FindEntry(path, part);
    if (path.empty()) return {};
  }
  return path;
}

bool ReadWhole(const std::filesystem::path& file, std::uintmax_t limit, std::vector<std::uint8_t>* bytes,
               std::string* error) {
  std::error_code code;
  const std::uintmax_t size = std::filesystem::file_size(file, code);
  if (code) {
    *error = "cannot read " + file.string() + ": " + code.message();
    return false;
  }
  if (size > limit) {
    *error = file.string() + " is too large (" + std::to_string(size) + " bytes)";
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  bytes->resize(static_cast<std::size_t>(size));
  if (!in || !in.read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(size))) {
    *error = "cannot read " + file.string();
    return false;
  }
  return true;
}

// A text field of a record: terminated inside its field and not empty.
bool TerminatedText(const char* field, std::size_t size) {
  const std::size_t length = strnlen(field, size);
  return length > 0 && length < size;
}

// A name that stays one component inside its folder.
bool SafeComponent(const char* name) {
  return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 && std::strpbrk(name, "/\\:") == nullptr;
}

void CutTrailingBlanks(char* text, std::size_t size) {
  std::size_t length = strnlen(text, size);
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
}

bool LoadServedFile(const std::filesystem::path& root, const char* fileName, const char* servedName, ServedFile* file,
                    std::string* error) {
  const std::filesystem::path path = FindPath(root, {"cfg", fileName});
  if (path.empty()) {
    *error = "missing " + (root / "cfg" / fileName).string();
    return false;
  }
  if (!ReadWhole(path, kMaxServedFile, &file->bytes, error)) return false;
  file->name = servedName;
  file->date = FileDate(path);
  return true;
}

bool LoadMarket(const std::filesystem::path& root, int number, ServedMarket* market, std::string* error) {
  const MarketRecord& record = market->record;
  const std::string what = "market " + std::to_string(number) + " of mkinfo.cfg";
  if (!TerminatedText(record.code, sizeof record.code) || !SafeComponent(record.code)) {
    *error = what + " has no usable code";
    return false;
  }
  if (!TerminatedText(record.fileExt, sizeof record.fileExt) || !SafeComponent(record.fileExt)) {
    *error = what + " has no usable file extension";
    return false;
  }
  if (record.categoryCount < 1 || record.categoryCount > kMaxCategories) {
    *error = what + " has " + std::to_string(record.categoryCount) + " categories (1 to 15 expected)";
    return false;
  }
  for (int c = 0; c < record.categoryCount; ++c) {
    const CategoryRecord& category = record.categories[c];
    if (category.sessionCount < 1 || category.sessionCount > kMaxSessions) {
      *error = what + ", category " + std::to_string(c) + ": session count outside 1-4";
      return false;
    }
    for (int s = 0; s < category.sessionCount; ++s) {
      if (category.openMinute[s] >= category.closeMinute[s] || category.closeMinute[s] > 1440) {
        *error = what + ", category " + std::to_string(c) + ": a session that does not open before it closes";
        return false;
      }
    }
  }
  market->folder = record.code;
  const std::string ext = record.fileExt;

  const std::filesystem::path namesPath = FindPath(root, {"data", market->folder, "nametbl." + ext});
  if (namesPath.empty()) {
    *error = "missing " + (root / "data" / market->folder / ("nametbl." + ext)).string();
    return false;
  }
  std::vector<std::uint8_t> bytes;
  if (!ReadWhole(namesPath, static_cast<std::uintmax_t>(record.capacity) * sizeof(InstrumentRecord), &bytes, error))
    return false;
  if (bytes.size() % sizeof(InstrumentRecord) != 0) {
    *error = namesPath.string() + " does not hold whole 32-byte records";
    return false;
  }
  market->names.resize(bytes.size() / sizeof(InstrumentRecord));
  std::memcpy(market->names.data(), bytes.data(), bytes.size());
  for (std::size_t i = 0; i < market->names.size(); ++i) {
    InstrumentRecord& name = market->names[i];
    name.code[sizeof name.code - 1] = '\0';
    name.name[sizeof name.name - 1] = '\0';
    CutTrailingBlanks(name.code, sizeof name.code);
    CutTrailingBlanks(name.name, sizeof name.name);
    name.market = static_cast<std::uint8_t>(number);
    name.index = static_cast<std::uint16_t>(i);
    if (name.category >= record.categoryCount) {
      *error = namesPath.string() + ": instrument " + std::to_string(i) + " names category " +
               std::to_string(name.category) + ", which the market does not have";
      return false;
    }
    if (name.code[0] == '\0') {
      *error = namesPath.string() + ": instrument " + std::to_string(i) + " has no code";
      return false;
    }
  }

  if (const std::filesystem::path altPath = FindPath(root, {"data", market->folder, "nametble." + ext}); !altPath.empty()) {
    if (!ReadWhole(altPath, market->names.size() * sizeof(InstrumentExtRecord), &bytes, error)) return false;
    if (bytes.size() != market->names.size() * sizeof(InstrumentExtRecord)) {
      *error = altPath.string() + " does not hold one 7-byte record per instrument";
      return false;
    }
    market->altCodes.resize(market->names.size());
    std::memcpy(market->altCodes.data(), bytes.data(), bytes.size());
    for (InstrumentExtRecord& alt : market->altCodes) alt.code[sizeof alt.code - 1] = '\0';
  }
  return true;
}

}  // namespace

std::uint32_t FileDate(const std::filesystem::path& file) {
  struct stat info {};
  if (stat(file.c_str(), &info) != 0) return 0;
  std::tm utc{};
  if (gmtime_r(&info.st_mtime, &utc) == nullptr) return 0;
  return static_cast<std::uint32_t>((utc.tm_year + 1900) * 10000 + (utc.tm_mon + 1) * 100 + utc.tm_mday);
}

bool InstallTree::Load(const std::filesystem::path& root, std::string* error) {
  std::error_code code;
  if (!std::filesystem::is_directory(root, code)) {
    *error = "--data " + root.string() + " is not a folder";
    return false;
  }
  root_ = root;
  if (!LoadServedFile(root, "mkinfo.cfg", "MKINFO.CFG", &marketConfig_, error)) return false;
  if (!LoadServedFile(root, "systime.dat", "SYSTIME.DAT", &timeZones_, error)) return false;

  const std::vector<std::uint8_t>& config = marketConfig_.bytes;
  if (config.empty() || config.size() % sizeof(MarketRecord) != 0 ||
      config.size() / sizeof(MarketRecord) > static_cast<std::size_t>(kMaxMarkets)) {
    *error = "cfg/mkinfo.cfg holds " + std::to_string(config.size()) +
             " bytes: not 1 to 48 whole 1590-byte market records";
    return false;
  }
  markets_.resize(config.size() / sizeof(MarketRecord));
  for (std::size_t m = 0; m < markets_.size(); ++m) {
    std::memcpy(&markets_[m].record, config.data() + m * sizeof(MarketRecord), sizeof(MarketRecord));
    if (!LoadMarket(root, static_cast<int>(m), &markets_[m], error)) return false;
  }
  return true;
}

const ServedMarket* InstallTree::Market(int number) const {
  if (number < 0 || number >= static_cast<int>(markets_.size())) return nullptr;
  return &markets_[static_cast<std::size_t>(number)];
}

int InstallTree::FindCode(int market, const char* code, std::size_t size) const {
  const ServedMarket* served = Market(market);
  const std::size_t length = strnlen(code, size);
  if (served == nullptr || length == 0 || length == size) return -1;
  for (const InstrumentRecord& name : served->names) {
    if (std::strlen(name.code) == length && std::memcmp(name.code, code, length) == 0) return name.index;
  }
  return -1;
}

}  // namespace zuvo::quoteserver
