// Writing a live view's state into its cell's view data record, before a page is saved or the
// cell's view is changed: the quote list's tabs and columns, the K-line chart's panes,
// indicators with their parameters and reference lines, overlays, arbitrage, ratios and side
// panel, the trend view's panes and side panel, the detail items and property flags.
#pragma once

class TMultiViewChild;

// Nothing for a null view, an empty cell or a cell without view data.
void SaveViewState(TMultiViewChild* view);
