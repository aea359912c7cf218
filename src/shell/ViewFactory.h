// The view factory: makes the view of a kind in a cell. Each view folder registers its maker at
// start-up; kinds no folder has registered are served by the stand-in views of shell/stubs,
// which are registered from the start. The shell creates views only through here, so it never
// includes a view's own header.
//
// UI thread only.
#pragma once

#include "core/EArray.h"
#include "shell/ViewTypes.h"

class TChildView;
class TMultiViewMain;
struct PageNode;

// Makes a view with the five constructor arguments every view takes: owner page window, source
// attributes or none, view data or none, cell history or none, page node.
using ViewMaker = TChildView* (*)(TMultiViewMain* owner, const VIEW_ATTR_12* source,
                                  MVCDATA_12* data, EArray<VIEW_ATTR_12>* history,
                                  PageNode* node);

// The view of `kind` made by its registered maker; null for a kind without one (0 included).
TChildView* CreateView(ViewKind kind, TMultiViewMain* owner, const VIEW_ATTR_12* source,
                       MVCDATA_12* data, EArray<VIEW_ATTR_12>* history, PageNode* node);

// Registers the maker of a kind and returns the one it replaces (null when none). Registering
// null restores the stand-in of a view kind (or removes the maker of any other kind).
ViewMaker RegisterViewFactory(ViewKind kind, ViewMaker maker);

// The stand-in maker of one of the seven view kinds; null for any other kind.
ViewMaker StubViewMaker(ViewKind kind);
