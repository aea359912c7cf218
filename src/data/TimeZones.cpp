// Market time zones: systime.dat, the user's zone choice and the display shifts.
#include "data/TimeZones.h"

#include "core/DataFile.h"
#include "core/PackedTime.h"
#include "data/MarketData.h"
#include "data/UtilData.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

TimeZoneTable TimeZones;

namespace {

constexpr const char* kSysTimePath = "..\\cfg\\systime.dat";
constexpr const char* kSettingSection = "Parameter";
constexpr const char* kSettingKey = "TimeZone";

#pragma pack(push, 1)
// The file's layout, byte for byte.
struct SysTimeFile {
  std::int32_t zoneCount;
  std::int32_t currentZone;
  std::int8_t marketZoneHour[kMaxMarkets];
  ZoneEntry categoryZones[kMaxMarkets][kMaxCategories];
  ZoneEntry zones[kMaxZones];
};
#pragma pack(pop)
static_assert(sizeof(SysTimeFile) == kSysTimeFileSize);

std::int8_t ClampOffset(int offset) {
  return static_cast<std::int8_t>(std::clamp(offset, -kMaxHourOffset, kMaxHourOffset));
}

void SanitizeEntry(ZoneEntry* entry) {
  entry->offset = ClampOffset(entry->offset);
  entry->name[sizeof entry->name - 1] = '\0';
}

std::string SettingsPath() { return UserFilePath("SETTING.INI"); }

}  // namespace

bool LoadTimeZoneTable(TimeZoneTable* table) {
  if (table == nullptr) return false;
  const int file = OpenDataFile(kSysTimePath, "rb");
  if (file <= 0) return false;
  // A short file is read as far as it goes; the rest stays zero (no zones, offsets 0).
  SysTimeFile raw{};
  const std::uint32_t bytesRead =
      ReadDataFile(file, &raw, 1, std::min<std::uint32_t>(GetDataFileSize(file), sizeof raw));
  CloseDataFile(file);

  // Only zones the file really holds are offered: a zone cut off would read as offset 0 and
  // shift every market by its own zone hour.
  const std::uint32_t zonesAt = offsetof(SysTimeFile, zones);
  const std::int32_t zonesInFile =
      bytesRead > zonesAt ? static_cast<std::int32_t>((bytesRead - zonesAt) / sizeof(ZoneEntry)) : 0;
  const std::int32_t zoneCount = raw.zoneCount;   // packed field: copy before clamping
  table->zoneCount = std::clamp<std::int32_t>(zoneCount, 0, std::min<std::int32_t>(kMaxZones, zonesInFile));
  // The file's own choice is not used: the user's saved zone is applied below, and with no
  // zones to choose from the choice is zone 0 (an index from the file must not stand unchecked).
  table->currentZone = 0;
  for (int m = 0; m < kMaxMarkets; ++m) {
    table->marketZoneHour[m] = ClampOffset(raw.marketZoneHour[m]);
    for (int c = 0; c < kMaxCategories; ++c) {
      table->categoryZones[m][c] = raw.categoryZones[m][c];
      SanitizeEntry(&table->categoryZones[m][c]);
      table->effective[m][c] = ZoneEntry{};
    }
  }
  for (int z = 0; z < kMaxZones; ++z) {
    table->zones[z] = raw.zones[z];
    SanitizeEntry(&table->zones[z]);
  }

  const std::string settings = SettingsPath();
  int saved = static_cast<int>(GetPrivateProfileIntA(kSettingSection, kSettingKey, 0, settings.c_str()));
  // A negative or too large saved zone would apply nothing and leave every offset 0.
  if (saved < 0 || saved >= table->zoneCount) saved = 0;
  // With no zones at all nothing is applied: every offset stays 0.
  ApplyTimeZone(table, saved);
  return true;
}

bool ApplyTimeZone(TimeZoneTable* table, int zone) {
  if (table == nullptr || zone < 0 || zone >= table->zoneCount) return false;
  for (int m = 0; m < kMaxMarkets; ++m) {
    for (int c = 0; c < kMaxCategories; ++c) {
      ZoneEntry& entry = table->effective[m][c];
      if (zone == 0) {
        entry = table->categoryZones[m][c];
      } else {
        entry.offset = ClampOffset(table->zones[zone].offset - table->marketZoneHour[m]);
        std::memcpy(entry.name, table->zones[zone].name, sizeof entry.name);
      }
      entry.name[sizeof entry.name - 1] = '\0';
    }
  }
  table->currentZone = zone;
  char text[16];
  std::snprintf(text, sizeof text, "%i", zone);
  WritePrivateProfileStringA(kSettingSection, kSettingKey, text, SettingsPath().c_str());
  return true;
}

int ZoneOffset(const TimeZoneTable* table, int market, int category) {
  if (table == nullptr || market < 0 || market >= kMaxMarkets || category < 0 || category >= kMaxCategories) {
    return 0;
  }
  return table->effective[market][category].offset;
}

void ShiftTimeToZone(const TimeZoneTable* table, int market, int category, PackedTime* time) {
  if (time == nullptr) return;
  const int offset = ZoneOffset(table, market, category);
  if (offset == 0) return;
  *time = AddHoursWithDayCarry(*time, offset);
}

PackedTime ShiftSystemTimeToZone(const TimeZoneTable* table, int market, int category,
                                 const SYSTEMTIME& time) {
  PackedTime packed = MakePackedTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
  ShiftTimeToZone(table, market, category, &packed);
  return packed;
}

int ShiftHourToZone(const TimeZoneTable* table, int market, int category, int* hour) {
  if (hour == nullptr) return 2;
  const int shifted = *hour + ZoneOffset(table, market, category) + 48;
  *hour = shifted % 24;
  return shifted / 24;
}
