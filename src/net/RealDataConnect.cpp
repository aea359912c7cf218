// Placeholder until the push connection is written.
#include "net/RealDataClnt.h"

int TRealDataClnt::ConnectAndLogin() { return 0; }
int TRealDataClnt::SendHeartbeat() { return 0; }
int TRealDataClnt::Subscribe(EArray<STKMS>* list, std::int16_t, bool) {
  delete list;
  return -1;
}
