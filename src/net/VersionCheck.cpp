// The version exchange at login: the server names the newest client version; when the
// installed one (".\version.txt") is older, the updater is started and the login goes on.
#include "net/NormalClnt.h"

#include "data/Messages.h"
#include "net/NetHooks.h"
#include "net/RequestFrames.h"
#include "net/RequestRecord.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/WinUser.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint8_t kVersionReplyType = 202;
constexpr const char* kVersionFile = ".\\version.txt";
// The version text is a short decimal number; more is not read.
constexpr DWORD kVersionTextBytes = 11;
constexpr const char* kUpdaterCommand = ".\\update.exe -Silently -runbyzuvo";
constexpr const char* kUpdaterFailedText = "客户端软件已更新，但无法启动自动升级程序。请稍后手动下载更新。  ";
constexpr const char* kUpdaterFailedCaption = "提示";

// The installed version: the decimal number at the start of ".\version.txt", 0 when the file
// is missing or holds no number.
long InstalledVersion() {
  char text[kVersionTextBytes + 1] = {};
  zuvo::platform::files::ScopedHandle file(
      CreateFileA(kVersionFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD read = 0;
  if (file.ok() && !ReadFile(file.get(), text, kVersionTextBytes, &read, nullptr)) text[0] = '\0';
  return std::strtol(text, nullptr, 10);
}

// Starts the updater beside the program; shows why when it cannot be started.
void StartUpdater() {
  char command[64];
  std::strcpy(command, kUpdaterCommand);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return;
  }
  MessageBoxA(zuvo::net::MainWindow(), kUpdaterFailedText, kUpdaterFailedCaption, MB_ICONERROR | MB_TOPMOST);
}

}  // namespace

int TNormalClnt::CheckVersion(HWND progress) {
  RequestRecord record;
  record.kind = kRequestVersion;
  if (BuildRequestFrame(this, &record) < 0) return -1;
  // A blocking send normally takes everything; whatever it left is sent now.
  while (sendCount > 0) {
    const int before = sendCount;
    if (FlushSendBuffer() != 1 || sendCount == before) return -1;
  }
  if (ReadFrameHeader() != 1 || ReadFrameBody() < 0) return -1;
  if (header.type != kVersionReplyType) return 0;
  // A body too short to hold the version is no answer: the stream cannot be trusted further.
  if (bodyLength < 4) return -1;
  std::int32_t serverVersion = 0;
  std::memcpy(&serverVersion, body, sizeof serverVersion);

  const long installed = InstalledVersion();
  if (progress) SendMessageA(progress, MsgLoginCheckVersion, 1, 1);
  if (installed >= serverVersion) return 0;
  StartUpdater();
  return 0;
}
