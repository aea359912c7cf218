#include "net/ServerList.h"

#include "data/UtilData.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zuvo::net {

namespace {

constexpr char kRight[] = "RIGHT";
constexpr char kServer[] = "Server";
constexpr char kProxy[] = "ProxyServer";
// Reads of texts go through a buffer as wide as the widest field plus room to detect nothing:
// the profile layer cuts at size-1 and never inside a double-byte character.
constexpr int kTextBuffer = 256;

std::string ReadText(const char* section, const char* key, const char* fallback, const char* file) {
  char buffer[kTextBuffer] = {};
  GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer, file);
  return buffer;
}

void ReadField(char* field, std::size_t size, const char* section, const char* key, const char* file) {
  // Read with exactly the field's room, so the layer cuts on a character boundary.
  GetPrivateProfileStringA(section, key, "", field, static_cast<DWORD>(size), file);
}

int ReadInt(const char* section, const char* key, int fallback, const char* file) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, file));
}

// A 16-bit port; anything else reads as the default.
std::uint16_t ReadPort(const char* section, const char* key, int fallback, const char* file) {
  const int value = ReadInt(section, key, fallback, file);
  return static_cast<std::uint16_t>(value >= 0 && value <= 0xFFFF ? value : fallback);
}

bool WriteText(const char* section, const char* key, const char* value, const char* file) {
  return WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

bool WriteInt(const char* section, const char* key, int value, const char* file) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return WriteText(section, key, text, file);
}

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

int KeyIndexed(char* key, std::size_t size, const char* stem, int i) {
  return std::snprintf(key, size, "%s%d", stem, i);
}

}  // namespace

std::string UserServerIniPath() { return UserFilePath("SERVER.INI"); }

void CopyField(char* field, std::size_t size, const char* text) {
  if (size == 0) return;
  std::size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0 && text[n] != '\r' && text[n] != '\n') ++n;
  }
  if (n > size - 1) {
    // Cut on a character boundary: walk the characters up to the limit.
    std::size_t kept = 0;
    while (kept < size - 1) {
      const std::size_t step = IsGbkLead(static_cast<unsigned char>(text[kept])) ? 2 : 1;
      if (kept + step > size - 1) break;
      kept += step;
    }
    n = kept;
  }
  if (n > 0) std::memcpy(field, text, n);
  std::memset(field + n, 0, size - n);
}

// ---- ServerList ----

int ServerList::Count() const {
  int n = 0;
  while (n < kMaxServers && entries_[static_cast<std::size_t>(n)].Valid()) ++n;
  return n;
}

int ServerList::Insert(int position, const char* name, const char* address, int port, int network) {
  if (Full() || name == nullptr || address == nullptr || name[0] == 0 || address[0] == 0) return -1;
  const int count = Count();
  if (position < 0 || position > count) position = 0;
  for (int i = kMaxServers - 1; i > position; --i) entries_[static_cast<std::size_t>(i)] = entries_[static_cast<std::size_t>(i - 1)];
  ServerEntry& entry = entries_[static_cast<std::size_t>(position)];
  entry = ServerEntry{};
  CopyField(entry.name, sizeof entry.name, name);
  CopyField(entry.address, sizeof entry.address, address);
  entry.port = static_cast<std::uint16_t>(std::clamp(port, 0, 0xFFFF));
  entry.network = static_cast<std::uint8_t>(network == kNetworkNetcom ? kNetworkNetcom : kNetworkTelecom);
  return position;
}

bool ServerList::Update(int index, const char* name, const char* address, int port, int network) {
  if (index < 0 || index >= Count() || name == nullptr || address == nullptr || name[0] == 0 || address[0] == 0) {
    return false;
  }
  ServerEntry& entry = entries_[static_cast<std::size_t>(index)];
  CopyField(entry.name, sizeof entry.name, name);
  CopyField(entry.address, sizeof entry.address, address);
  entry.port = static_cast<std::uint16_t>(std::clamp(port, 0, 0xFFFF));
  entry.network = static_cast<std::uint8_t>(network == kNetworkNetcom ? kNetworkNetcom : kNetworkTelecom);
  return true;
}

int ServerList::Remove(int index) {
  const int count = Count();
  if (index < 0 || index >= count) return -1;
  for (int i = index; i < kMaxServers - 1; ++i) entries_[static_cast<std::size_t>(i)] = entries_[static_cast<std::size_t>(i + 1)];
  entries_[kMaxServers - 1] = ServerEntry{};
  const int remaining = count - 1;
  if (remaining == 0) return -1;
  return index < remaining ? index : 0;
}

// ---- The program copy ----

ServerList ReadServerList(const char* programIni) {
  ServerList list;
  char key[32];
  for (int i = 0; i < kMaxServers; ++i) {
    ServerEntry entry;
    KeyIndexed(key, sizeof key, "svraddr", i);
    ReadField(entry.address, sizeof entry.address, kRight, key, programIni);
    KeyIndexed(key, sizeof key, "company", i);
    ReadField(entry.name, sizeof entry.name, kRight, key, programIni);
    // The list ends at the first incomplete entry; later ones are not reachable.
    if (!entry.Valid()) break;
    KeyIndexed(key, sizeof key, "Network", i);
    const int network = ReadInt(kRight, key, kNetworkTelecom, programIni);
    entry.network = static_cast<std::uint8_t>(network == kNetworkNetcom ? kNetworkNetcom : kNetworkTelecom);
    KeyIndexed(key, sizeof key, "svrport", i);
    entry.port = ReadPort(kRight, key, kDefaultServerPort, programIni);
    KeyIndexed(key, sizeof key, "login", i);
    ReadField(entry.loginServer, sizeof entry.loginServer, kRight, key, programIni);
    KeyIndexed(key, sizeof key, "loginport", i);
    entry.loginPort = ReadPort(kRight, key, 0, programIni);
    KeyIndexed(key, sizeof key, "GC", i);
    ReadField(entry.relayHost, sizeof entry.relayHost, kRight, key, programIni);
    KeyIndexed(key, sizeof key, "GCPort", i);
    entry.relayPort = ReadPort(kRight, key, 0, programIni);
    list[i] = entry;
  }
  return list;
}

int ReadLastIndex(int count, const char* programIni) {
  const int index = ReadInt(kRight, "lastindex", 0, programIni);
  return index >= 0 && index < count ? index : 0;
}

bool WriteServerList(const ServerList& list, int selected, const char* programIni) {
  const int count = list.Count();
  if (selected < 0 || selected >= count) return false;
  // The section is written in one replacement, so a crash leaves the old list or the new one.
  std::string lines;
  auto add = [&lines](const char* stem, int i, const std::string& value) {
    char key[32];
    KeyIndexed(key, sizeof key, stem, i);
    lines += key;
    lines += '=';
    lines += value;
    lines += '\0';
  };
  lines += "lastindex=" + std::to_string(selected);
  lines += '\0';
  for (int i = 0; i < count; ++i) {
    const ServerEntry& e = list[i];
    add("svraddr", i, e.address);
    add("company", i, e.name);
    add("Network", i, std::to_string(e.network));
    add("svrport", i, std::to_string(e.port));
    add("login", i, e.loginServer);
    add("loginport", i, std::to_string(e.loginPort));
    add("GC", i, e.relayHost);
    add("GCPort", i, std::to_string(e.relayPort));
  }
  lines += '\0';
  bool ok = WritePrivateProfileSectionA(kRight, lines.data(), programIni) != FALSE;
  const ServerEntry& s = list[selected];
  ok = WriteText(kServer, "Address", s.address, programIni) && ok;
  ok = WriteInt(kServer, "Network", s.network, programIni) && ok;
  ok = WriteInt(kServer, "Port", s.port, programIni) && ok;
  ok = WriteText(kServer, "LoginServer", s.loginServer, programIni) && ok;
  ok = WriteInt(kServer, "LoginPort", s.loginPort, programIni) && ok;
  ok = WriteText(kServer, "GC", s.relayHost, programIni) && ok;
  ok = WriteInt(kServer, "GCPort", s.relayPort, programIni) && ok;
  return ok;
}

int OtherNetwork(int network) { return network == kNetworkTelecom ? kNetworkNetcom : kNetworkTelecom; }

bool WriteNetwork(int network, const char* programIni) { return WriteInt(kServer, "Network", network, programIni); }

bool OneStageLogin(const char* programIni) { return ReadInt(kServer, "NOJH", 0, programIni) != 0; }

VerificationTarget ReadLoginServer(const char* programIni) {
  VerificationTarget target;
  ReadField(target.host, sizeof target.host, kServer, "LoginServer", programIni);
  target.port = ReadPort(kServer, "LoginPort", 0, programIni);
  return target;
}

VerificationTarget ReadRelayServer(const char* programIni) {
  VerificationTarget target;
  ReadField(target.host, sizeof target.host, kServer, "GC", programIni);
  target.port = ReadPort(kServer, "GCPort", 0, programIni);
  return target;
}

// ---- The user copy ----

UserSettings ReadUserSettings(bool readPassword, const std::string& userIni) {
  UserSettings user;
  const char* file = userIni.c_str();
  ReadField(user.userName, sizeof user.userName, kServer, "UserName", file);
  if (readPassword) ReadField(user.password, sizeof user.password, kServer, "Password", file);
  user.savePass = ReadInt(kServer, "SavePass", 1, file) != 0;
  return user;
}

ProxySettings ReadProxySettings(const std::string& userIni) {
  ProxySettings proxy;
  const char* file = userIni.c_str();
  proxy.useProxy = ReadInt(kProxy, "UseProxy", 0, file);
  ReadField(proxy.address, sizeof proxy.address, kProxy, "Address", file);
  proxy.port = ReadPort(kProxy, "Port", 1080, file);
  proxy.certUser = ReadInt(kProxy, "CertUser", 1, file) != 0;
  ReadField(proxy.userName, sizeof proxy.userName, kProxy, "UserName", file);
  ReadField(proxy.password, sizeof proxy.password, kProxy, "Password", file);
  proxy.greenWay = ReadInt(kProxy, "GreenWay", 0, file) != 0;
  return proxy;
}

bool ReadGreenWay(const std::string& userIni) { return ReadInt(kProxy, "GreenWay", 0, userIni.c_str()) != 0; }

bool WriteUserSettings(const UserSettings& user, bool writePassword, const ProxySettings& proxy,
                       const std::string& userIni) {
  const char* file = userIni.c_str();
  char name[32];
  char password[32];
  CopyField(name, sizeof name, user.userName);
  CopyField(password, sizeof password, writePassword ? user.password : "");
  bool ok = WriteText(kServer, "SavePass", user.savePass ? "1" : "0", file);
  ok = WriteText(kServer, "UserName", name, file) && ok;
  ok = WriteText(kServer, "Password", password, file) && ok;
  ok = WriteText(kProxy, "GreenWay", proxy.greenWay ? "1" : "0", file) && ok;
  if (proxy.useProxy == kProxyNone) return WriteText(kProxy, "UseProxy", "0", file) && ok;
  char text[32];
  const int kind = proxy.useProxy == kProxySocks5 || proxy.useProxy == kProxySocks4 ? proxy.useProxy : kProxyHttp;
  ok = WriteInt(kProxy, "UseProxy", kind, file) && ok;
  CopyField(text, sizeof proxy.address, proxy.address);
  ok = WriteText(kProxy, "Address", text, file) && ok;
  CopyField(text, sizeof text, proxy.userName);
  ok = WriteText(kProxy, "UserName", text, file) && ok;
  CopyField(text, sizeof text, proxy.password);
  ok = WriteText(kProxy, "Password", text, file) && ok;
  ok = WriteInt(kProxy, "Port", std::clamp(proxy.port, 0, 0xFFFF), file) && ok;
  ok = WriteText(kProxy, "CertUser", proxy.certUser ? "1" : "0", file) && ok;
  return ok;
}

int MigrateUserSettings(const char* programIni, const std::string& userIni) {
  struct Key {
    const char* name;
    const char* fallback;
  };
  static constexpr Key kServerKeys[] = {{"UserName", ""}, {"Password", ""}, {"SavePass", "1"}};
  // The proxy password defaults to empty: a "0" would become a proxy password nobody chose.
  static constexpr Key kProxyKeys[] = {{"UseProxy", "0"}, {"Address", ""}, {"Port", "0"},      {"CertUser", "0"},
                                       {"UserName", ""},  {"Password", ""}, {"GreenWay", "0"}};
  const char* user = userIni.c_str();
  auto migrate = [&](const char* section, const Key* keys, std::size_t n) {
    const int programVersion = ReadInt(section, "Version", 0, programIni);
    const int userVersion = ReadInt(section, "Version", 0, user);
    if (userVersion != 0 && userVersion >= programVersion) return false;
    WriteInt(section, "Version", std::max(1, programVersion), user);
    for (std::size_t i = 0; i < n; ++i) {
      const std::string value = ReadText(section, keys[i].name, keys[i].fallback, programIni);
      WriteText(section, keys[i].name, value.c_str(), user);
    }
    for (std::size_t i = 0; i < n; ++i) WriteText(section, keys[i].name, "", programIni);
    return true;
  };
  int moved = 0;
  if (migrate(kServer, kServerKeys, std::size(kServerKeys))) moved |= 1;
  if (migrate(kProxy, kProxyKeys, std::size(kProxyKeys))) moved |= 2;
  return moved;
}

// ---- Rules ----

ProxyControls ApplyProxyRules(ProxyControls c) {
  c.groupEnabled = c.useProxy;
  if (c.useProxy && c.type == kProxyNone) c.type = kProxyHttp;
  if (c.type == kProxySocks4) c.certUser = false;
  c.certEnabled = c.useProxy && c.type != kProxySocks4;
  c.credentialsEnabled = c.certEnabled && c.certUser;
  return c;
}

ProxyType ProxyTypeOfStored(int useProxy) {
  if (useProxy == 0) return kProxyNone;
  if (useProxy == kProxySocks5) return kProxySocks5;
  if (useProxy == kProxySocks4) return kProxySocks4;
  return kProxyHttp;
}

int NextServerIndex(int selected, int count) {
  if (count <= 0) return 0;
  const int next = selected + 1;
  return next >= count || next < 0 ? 0 : next;
}

}  // namespace zuvo::net
