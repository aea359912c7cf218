// Market time zones for display: the table read from ..\cfg\systime.dat, the user's choice of a
// reference zone ([Parameter] TimeZone of the user's SETTING.INI), and the shifts that views
// apply to market times. Zone 0 keeps every market in its own zone; another zone shifts every
// market by the difference between that zone and the market's own. Every offset is kept within
// +/-23 hours, so a shift moves a time by at most one day. User-interface thread only.
#pragma once

#include "data/Records.h"
#include "platform/WinBase.h"

#include <cstdint>

constexpr int kMaxZones = 32;
constexpr std::uint32_t kSysTimeFileSize = 24872;

// The file's fields in file order, with the effective (market, category) entries that the
// current choice gives inserted before the selectable zones.
struct TimeZoneTable {
  std::int32_t zoneCount = 0;                              // 0..32
  std::int32_t currentZone = 0;                            // the chosen zone
  std::int8_t marketZoneHour[kMaxMarkets] = {};            // each market's own zone
  ZoneEntry categoryZones[kMaxMarkets][kMaxCategories] = {};
  ZoneEntry effective[kMaxMarkets][kMaxCategories] = {};   // what the shifts use
  ZoneEntry zones[kMaxZones] = {};                         // the selectable zones
};

// The process-wide table, loaded by LoadMarkets.
extern TimeZoneTable TimeZones;

// Reads systime.dat into the table (a short file is read as far as it goes, the rest zero),
// clamps zoneCount to 32 and to the zones the file really holds, every offset to +/-23, forces the name terminators, then applies
// the saved [Parameter] TimeZone (0 when it is negative or not below zoneCount) and writes it
// back. A file with no zones applies nothing: every effective offset is 0 and zone 0 is the
// chosen one (the file's own choice is never used). Returns false, leaving the table as it was, when the file does not open.
bool LoadTimeZoneTable(TimeZoneTable* table);

// Rebuilds `effective` for zone z (z = 0: each category's own entry; otherwise the zone's
// offset minus the market's zone hour, clamped to +/-23, with the zone's name), stores z in
// currentZone and writes it to [Parameter] TimeZone. Returns false and changes nothing when z
// is negative or not below zoneCount.
bool ApplyTimeZone(TimeZoneTable* table, int zone);

// The effective hour offset of (market, category); 0 when either is out of range.
int ZoneOffset(const TimeZoneTable* table, int market, int category);

// Adds the effective offset to the time's hour in place, carrying into the next or previous
// calendar day. Minutes are kept.
void ShiftTimeToZone(const TimeZoneTable* table, int market, int category, PackedTime* time);
// Packs the record into a PackedTime (seconds dropped) and shifts it as above.
PackedTime ShiftSystemTimeToZone(const TimeZoneTable* table, int market, int category,
                                 const SYSTEMTIME& time);
// hour := (hour + offset + 48) mod 24; returns (hour + offset + 48) / 24 taken before the
// reduction: 1 previous day, 2 same day, 3 next day.
int ShiftHourToZone(const TimeZoneTable* table, int market, int category, int* hour);

// The same shifts on the process-wide table.
inline void ShiftTimeToZone(int market, int category, PackedTime* time) {
  ShiftTimeToZone(&TimeZones, market, category, time);
}
inline PackedTime ShiftSystemTimeToZone(int market, int category, const SYSTEMTIME& time) {
  return ShiftSystemTimeToZone(&TimeZones, market, category, time);
}
inline int ShiftHourToZone(int market, int category, int* hour) {
  return ShiftHourToZone(&TimeZones, market, category, hour);
}
