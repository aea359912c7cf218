// The default page the install tree ships (cfg/Default.ppg): a quote list of the first system
// block beside a trend and a K-line of that block's first instrument, over a news view. The
// cells start from the attributes a new view of each kind gets (DefaultViewAttr), so the page
// follows the tree's SysBlocks setting and its markets.
#pragma once

#include "shell/PageFile.h"

#include <string>

namespace zuvo::tools {

// The page's name in the file header.
extern const char* const kDefaultPageTitle;

// Builds the page from the market tables and blocks loaded now. False, with the reason, when no
// system block with instruments is there to show.
bool BuildDefaultPage(PageModel& model, std::string& error);

// The whole job, with the install tree's bin/ as the current directory: loads the market
// tables' names (..\cfg\mkinfo.cfg, ..\data) and the automatic and preset blocks, builds the
// page, writes ..\cfg\Default.ppg whole through an atomic replace and frees the tables and
// blocks again (the market files are only read). Empty on success, else the reason.
std::string WriteDefaultPage();

}  // namespace zuvo::tools
