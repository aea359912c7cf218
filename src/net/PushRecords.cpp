// Placeholder until the push records are written.
#include "net/PushRecords.h"
#include "net/RealDataClnt.h"

namespace zuvo::net {
namespace {
PushState state;
_zvapp_pkg_ slots[kNotificationSlots];
NewsRecord notices[kNoticeSlots];
}  // namespace
PushState& CurrentPushState() { return state; }
_zvapp_pkg_* NotificationSlots() { return slots; }
NewsRecord* NoticeRecords() { return notices; }
void ResetPushState() { state = PushState{}; }
}  // namespace zuvo::net

int TRealDataClnt::DispatchRecords(TRealDataClnt*, const std::uint8_t*, int) { return 0; }
