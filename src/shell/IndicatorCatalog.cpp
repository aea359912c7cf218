// The registered indicator catalog. The pointer is atomic: the indicator-file save worker
// takes the catalog's lock from its own thread.
#include "shell/IndicatorCatalog.h"

#include "shell/stubs/IndicatorStandIn.h"

#include <atomic>

namespace {
std::atomic<IIndicatorCatalog*> registered{nullptr};
}  // namespace

IIndicatorCatalog& IndicatorCatalog() {
  IIndicatorCatalog* catalog = registered.load(std::memory_order_acquire);
  return catalog != nullptr ? *catalog : IndicatorStandIn();
}

IIndicatorCatalog* SetIndicatorCatalog(IIndicatorCatalog* catalog) {
  return registered.exchange(catalog, std::memory_order_acq_rel);
}
