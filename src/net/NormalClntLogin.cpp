#include "net/NormalClnt.h"

// Placeholders until the login exchange lands.
int TNormalClnt::Connect(HWND, bool) { return 3; }
int TNormalClnt::LoginExchange(bool, std::uint8_t*) { return 1; }
int TNormalClnt::SendHeartbeat() { return 0; }
int TNormalClnt::ChangePassword(const std::uint8_t*) { return 3; }
