// Placeholder until the reply dispatch is written.
#include "net/DispatchInfo.h"

const char* const kPasswordChangedText = "";
int DispatchInfo(TNormalClnt*, const std::uint8_t*, int) { return -1; }

namespace zuvo::net {
namespace {
std::string tempFolder;
}
void InitDispatchTempFolder() {}
void SetDispatchTempFolder(const std::string& folder) { tempFolder = folder; }
const std::string& DispatchTempFolder() { return tempFolder; }
std::int64_t CurrentNewsTextId() { return -1; }
void DiscardUnfinishedReply() {}
void ResetDispatchState() {}
}  // namespace zuvo::net
