#include "SampleHistory.h"

#include "SampleMarket.h"

bool WriteSampleHistory(const std::filesystem::path& root) {
  (void)root;
  return true;
}
