#include "net/NormalClnt.h"

// Placeholders until the downloads land.
int TNormalClnt::DownloadMarketConfig() { return -1; }
int TNormalClnt::DownloadNameTable(int) { return -1; }
