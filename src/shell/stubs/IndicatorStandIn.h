// The built-in indicator list that serves until the formula engine registers its manager: the
// common indicators in three groups, enough for default chart panes and the menus.
#pragma once

#include "shell/IndicatorCatalog.h"

// The process-wide stand-in catalog (made on first use, never destroyed).
IIndicatorCatalog& IndicatorStandIn();
