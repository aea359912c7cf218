// The indicator manager as the shell sees it: the list of indicator definitions in group order,
// lookup by name, and the manager's lock. The formula engine registers the real manager; until
// then a built-in stand-in with the common indicators serves (stubs/IndicatorStandIn.cpp).
#pragma once

#include <string>

struct IndicatorDef {
  char name[16];             // GBK, at most 15 characters
  std::string description;
  unsigned flags = 0;        // low two bits: placement (0 sub-chart, 1 over the main chart, 2 main chart)
  int Placement() const { return static_cast<int>(flags & 3u); }
};

class IIndicatorCatalog {
 public:
  virtual ~IIndicatorCatalog() = default;
  // The n-th definition counting through all groups in list order; null past the end.
  virtual const IndicatorDef* GetIndexAt(int n) = 0;
  // The definition of that name, compared without regard to ASCII case, or null.
  virtual const IndicatorDef* FindIndex(const char* name) = 0;
  // The manager's lock (held while the indicator manager dialog is open).
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

// The registered catalog (the stand-in when none is registered).
IIndicatorCatalog& IndicatorCatalog();
// Registers a catalog (not owned; null restores the stand-in); returns the previous one.
IIndicatorCatalog* SetIndicatorCatalog(IIndicatorCatalog* catalog);
