// The sample market: a small, deterministic description of four markets (two stock markets of
// six categories each holding the indexes "000001" and "399001", a futures market with night
// sessions, and market number 3 with alternative codes and broker queues) and the writer of its
// description files: cfg/mkinfo.cfg, cfg/systime.dat, cfg/Brokerlist.dbf and per market
// nametbl and nametble (market 3). Prices are not described here: every quote and history file
// comes from the market model (SampleHistory.h). Texts are GBK (the sources are compiled with a
// GBK execution character set).
#pragma once

#include "data/Records.h"

#include <cstdint>
#include <filesystem>
#include <vector>

struct SampleSession {
  int open;    // minute of day
  int close;
};

struct SampleCategory {
  const char* name;
  bool noDepth;
  std::vector<SampleSession> sessions;
  int dayChangeMinute;
};

struct SampleInstrument {
  const char* code;          // at most 6 characters; shorter codes are blank-padded in nametbl
  const char* name;          // GBK, at most 8 bytes
  int category;
  std::uint32_t priceDivisor;
  std::uint32_t volumeDivisor;
  int decimals;
  const char* altCode;       // market 3 only, else null
};

struct SampleMarket {
  int number;                // position in mkinfo.cfg
  int kind;
  const char* name;          // GBK
  const char* code;          // also the data folder name
  const char* fileExt;
  int hourOffset;
  int capacity;
  std::vector<SampleCategory> categories;
  std::vector<SampleInstrument> instruments;
};

// The markets in market-number order.
const std::vector<SampleMarket>& SampleMarkets();

// The records as the generator writes them.
MarketRecord SampleMarketRecord(const SampleMarket& market);
InstrumentRecord SampleInstrumentRecord(const SampleMarket& market, int index);
// Writes cfg/mkinfo.cfg, cfg/systime.dat, cfg/Brokerlist.dbf and data/<code>/nametbl.<ext>
// (and nametble.<ext> for market 3) under root, creating folders. False when a file cannot be
// written.
bool WriteSampleMarkets(const std::filesystem::path& root);
