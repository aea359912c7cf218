// What the quote server serves straight from its install tree (the folder given by --data, as
// tools/sample-market writes it): the market description cfg/mkinfo.cfg and the time-zone file
// cfg/systime.dat with their dates, and per market its name table data/<code>/nametbl.<ext>
// and, where present, the alternative codes nametble.<ext>. Everything is read once, measured
// and checked at start-up; nothing outside the folder is read and nothing is ever written.
#pragma once

#include "data/Records.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zuvo::quoteserver {

// A downloadable configuration file: its bytes and the date of its last write in UTC as the
// decimal number yyyymmdd.
struct ServedFile {
  std::string name;                    // the name clients ask for, e.g. "MKINFO.CFG"
  std::vector<std::uint8_t> bytes;
  std::uint32_t date = 0;
};

struct ServedMarket {
  MarketRecord record{};
  std::string folder;                  // the market's code: its folder under data/
  std::vector<InstrumentRecord> names; // position = index; codes and names without trailing blanks
  std::vector<InstrumentExtRecord> altCodes;   // empty, or one per instrument
};

class InstallTree {
 public:
  // Loads the tree. False with a one-line reason in *error when a file is missing, unreadable
  // or malformed: mkinfo.cfg not whole 1590-byte records, or none, or more than 48; a market
  // code or extension that is empty, unterminated or could leave the folder; a name table that
  // is missing, not whole 32-byte records, or larger than the market's capacity; a category
  // outside the market's categories; an alternative-code file of another length than its table.
  bool Load(const std::filesystem::path& root, std::string* error);

  const std::filesystem::path& root() const { return root_; }
  const ServedFile& marketConfig() const { return marketConfig_; }
  const ServedFile& timeZones() const { return timeZones_; }
  const std::vector<ServedMarket>& markets() const { return markets_; }
  // The market with that number, or null.
  const ServedMarket* Market(int number) const;
  // The index of the instrument with that code (NUL-terminated within `size` bytes, compared
  // exactly) in the market, or -1.
  int FindCode(int market, const char* code, std::size_t size) const;

 private:
  std::filesystem::path root_;
  ServedFile marketConfig_;
  ServedFile timeZones_;
  std::vector<ServedMarket> markets_;
};

// The UTC date of a file's last write as yyyymmdd; 0 when it cannot be read.
std::uint32_t FileDate(const std::filesystem::path& file);

}  // namespace zuvo::quoteserver
