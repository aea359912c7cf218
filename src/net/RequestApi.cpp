// Placeholder bodies until the request operations are written.
#include "net/NormalClnt.h"

void TNormalClnt::RequestHistoryBars(int, int, int, int, int, int, std::uint32_t) {}
void TNormalClnt::RequestTicks(int, int, std::uint32_t) {}
void TNormalClnt::RequestTradeDetails(int, int, std::uint32_t) {}
void TNormalClnt::RequestRecentTicks(int, int, int, std::uint32_t) {}
void TNormalClnt::RequestTrendDay(int, int, std::uint32_t, std::uint32_t) {}
void TNormalClnt::RequestWeights(int, int, std::uint32_t) {}
void TNormalClnt::RequestBrokerQueue(int, int) {}
void TNormalClnt::RequestNews(bool, int) {}
void TNormalClnt::RequestNewsText(const NewsRecord&) {}
bool TNormalClnt::RequestInfoMineIndex(int, int, int, std::uint32_t) { return false; }
void TNormalClnt::RequestInfoMineText(int, int, int, const char*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void TNormalClnt::RequestNotesList(int) {}
void TNormalClnt::RequestNote(int, const char*, int) {}
void TNormalClnt::RequestNameTable(int) {}
void TNormalClnt::RequestServerSort(std::uint32_t, int, std::uint32_t, STKMS*, std::uint32_t, int) {}
void TNormalClnt::RequestSystemMessage() {}
void TNormalClnt::RequestRealtimeMessage(int) {}
void TNormalClnt::RequestQuotes(EArray<STKMS>*) {}
void TNormalClnt::RequestPasswordChange(const char*) {}
int TNormalClnt::CheckVersion(HWND) { return 0; }
