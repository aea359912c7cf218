// Platform-internal: the Qt popup menu built from a menu's levels, as the real presenter shows
// it. UI thread.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/Menu.h"

#include <QMenu>

#include <vector>

namespace zuvo::platform {

// Fills `menu` with the visible items of the level under `path`: captions converted from GBK
// with the hot-key text after a tab, separators, disabled items, checks (a radio item as a
// radio mark), the default item in bold, sub-menus filled as they open. Triggering an item
// stores its path in `*chosen`; `levels` and `chosen` must outlive the menu.
void FillQtMenu(QMenu* menu, MenuLevels& levels, const std::vector<int>& path, std::vector<int>* chosen);

}  // namespace zuvo::platform
