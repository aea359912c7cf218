// The login dialog's settings as plain logic: the quote-server list ([RIGHT] of the program's
// ".\SERVER.INI"), the selected server ([Server] of the same file), the user's name, password and
// proxy settings (the user copy "<UserDir>SERVER.INI"), the one-time migration of the user's keys
// from the program copy to the user copy, and the rules the dialog applies to its controls
// (relay check box, proxy group, proxy type) and to its fall-backs (next server, other network).
//
// Every value read from either file is untrusted: texts are cut to their fields, numbers outside
// their field read as the default, the list ends at the first incomplete entry or after 32, and
// a saved selection outside the list selects the first entry. No value becomes a path.
// Any thread; the profile layer serialises file access.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zuvo::net {

constexpr int kMaxServers = 32;
constexpr int kDefaultServerPort = 13130;
constexpr int kNetworkTelecom = 1;   // 电信
constexpr int kNetworkNetcom = 2;    // 网通

// The program copy, by the name every reader uses (the file layer resolves case).
inline constexpr char kProgramServerIni[] = ".\\SERVER.INI";
// The user copy: UserFilePath("SERVER.INI").
std::string UserServerIniPath();

// One server of the list, fields in their stored order.
struct ServerEntry {
  std::uint8_t network = 0;       // 1 电信, 2 网通
  std::uint16_t port = 0;         // svrport
  char address[64] = {};          // svraddr
  char name[32] = {};             // company, shown in the list box
  char loginServer[64] = {};      // login
  std::uint16_t loginPort = 0;    // loginport
  char relayHost[64] = {};        // GC
  std::uint16_t relayPort = 0;    // GCPort

  // Both address and name non-empty.
  bool Valid() const { return address[0] != 0 && name[0] != 0; }
  // A relay host and a non-zero relay port: the dialog offers "使用绿色通道".
  bool HasRelay() const { return relayHost[0] != 0 && relayPort != 0; }
};

// Copies `text` into a field of `size` bytes: at most size-1 bytes, never ending inside a GBK
// double-byte character, line breaks cut off, always terminated.
void CopyField(char* field, std::size_t size, const char* text);

// The list: entries 0..Count()-1 valid, the rest zeroed (their relay and login fields may keep
// what an earlier entry left there, as an insertion shifts whole entries).
class ServerList {
 public:
  int Count() const;
  bool Full() const { return Count() >= kMaxServers; }
  ServerEntry& operator[](int i) { return entries_[static_cast<std::size_t>(i)]; }
  const ServerEntry& operator[](int i) const { return entries_[static_cast<std::size_t>(i)]; }
  void Clear() { entries_ = {}; }

  // 添加: inserts at `position` (0 when out of range or negative), shifting the entries from
  // there down by one (the 32nd falls off). The new entry takes name, address, port and
  // network; its login server and relay are cleared (a new server has none). Returns the
  // position, or -1 (nothing changed) when the list is full or name or address is empty.
  int Insert(int position, const char* name, const char* address, int port, int network);
  // 修改: stores the four values into entry `index`; false when index is not a listed entry.
  bool Update(int index, const char* name, const char* address, int port, int network);
  // 删除: removes entry `index`, moving the following ones up. Returns the index to select
  // afterwards (the same position, or 0 when the removed entry was the last), -1 when the list
  // is then empty or `index` was not a listed entry.
  int Remove(int index);

 private:
  std::array<ServerEntry, kMaxServers> entries_{};
};

// ---- The program copy ----
// [RIGHT] entries 0 to 31, stopping at the first entry without address or name. Numbers outside
// their field (network other than 1 or 2, ports outside 0..65535) read as their defaults.
ServerList ReadServerList(const char* programIni = kProgramServerIni);
// [RIGHT] lastindex, 0 when it is not a listed entry (negative or not below `count`).
int ReadLastIndex(int count, const char* programIni = kProgramServerIni);
// 联机's save: [RIGHT] replaced whole (lastindex = selected, then every valid entry), and
// [Server] Address, Network, Port, LoginServer, LoginPort, GC, GCPort from the selected entry.
// False when a write failed. `selected` must be a listed entry.
bool WriteServerList(const ServerList& list, int selected, const char* programIni = kProgramServerIni);
// [Server] Network of the program copy: the other type of the entry's (2 for 1, else 1).
int OtherNetwork(int network);
bool WriteNetwork(int network, const char* programIni = kProgramServerIni);
// [Server] NOJH (one-stage login) of the program copy.
bool OneStageLogin(const char* programIni = kProgramServerIni);
// [Server] LoginServer / LoginPort and GC / GCPort of the program copy, read with 63 characters.
struct VerificationTarget {
  char host[64] = {};
  int port = 0;
};
VerificationTarget ReadLoginServer(const char* programIni = kProgramServerIni);
VerificationTarget ReadRelayServer(const char* programIni = kProgramServerIni);

// ---- The user copy ----
enum ProxyType : int { kProxyNone = 0, kProxySocks5 = 1, kProxySocks4 = 2, kProxyHttp = 3 };

struct UserSettings {
  char userName[32] = {};
  char password[32] = {};
  bool savePass = true;
};
struct ProxySettings {
  int useProxy = kProxyNone;      // as stored; any non-zero value other than 1 and 2 is HTTP
  char address[16] = {};
  int port = 1080;
  bool certUser = true;
  char userName[32] = {};         // the connection reads 31 characters: the dialog allows 31
  char password[32] = {};
  bool greenWay = false;
};

// [Server] UserName and, when `readPassword`, Password (31 characters each), SavePass (1).
UserSettings ReadUserSettings(bool readPassword, const std::string& userIni = UserServerIniPath());
// [ProxyServer] with the dialog's defaults (Port 1080, CertUser 1).
ProxySettings ReadProxySettings(const std::string& userIni = UserServerIniPath());
// [ProxyServer] GreenWay.
bool ReadGreenWay(const std::string& userIni = UserServerIniPath());
// 联机's save of the user copy. The password is written only when `writePassword` (the user
// wants it kept and no account library holds it); otherwise Password is written empty. With
// `useProxy` none only UseProxy "0" and GreenWay are written of [ProxyServer].
bool WriteUserSettings(const UserSettings& user, bool writePassword, const ProxySettings& proxy,
                       const std::string& userIni = UserServerIniPath());

// The one-time move of the user's keys from the program copy to the user copy, separately for
// [Server] (UserName, Password, SavePass) and [ProxyServer] (UseProxy, Address, Port,
// CertUser, UserName, Password, GreenWay): it runs when the user copy's Version is 0 or below
// the program copy's, records the larger of 1 and the program copy's Version in the user copy
// (so a program copy above 1 does not migrate again at every start), copies the keys and
// writes them empty in the program copy. Returns a bit set: 1 [Server] moved, 2 [ProxyServer].
int MigrateUserSettings(const char* programIni = kProgramServerIni, const std::string& userIni = UserServerIniPath());

// ---- Control rules ----
// The proxy part's state after the proxy, type or authentication rule.
struct ProxyControls {
  bool useProxy = false;          // "使用代理服务器" checked
  ProxyType type = kProxyNone;    // the chosen radio button (none when no button is checked)
  bool certUser = false;          // "代理需要身份验证" checked
  bool groupEnabled = false;      // proxy group, address, port, radio buttons
  bool certEnabled = false;       // "代理需要身份验证"
  bool credentialsEnabled = false;   // proxy user name and password
};
// Proxy rule: with a proxy and no type chosen, HTTP; then the type rule: SOCKS 4 unchecks the
// authentication box; it is enabled only with a proxy of another type; the credentials only
// while it is enabled and checked.
ProxyControls ApplyProxyRules(ProxyControls controls);
// The radio button to check for a stored UseProxy (0 none, 1 SOCKS 5, 2 SOCKS 4, else HTTP).
ProxyType ProxyTypeOfStored(int useProxy);

// The fall-back order: the server after `selected` (wrapping to 0); the caller compares it with
// the first server tried to know that every server failed.
int NextServerIndex(int selected, int count);

}  // namespace zuvo::net
