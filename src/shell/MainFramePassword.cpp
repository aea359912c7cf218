// 修改密码(&P): the change-password dialog, then the change through the account library (directly
// or relayed through the local listener), on a connection of its own on a worker (two-stage
// login), or as a queued request on the current connection (one-stage login).
#include "shell/MainFrame.h"

#include "core/GuardedAlloc.h"
#include "dialogs/Changepsd.h"
#include "net/AccountCheck.h"
#include "net/NormalClnt.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/MessageBox.h"
#include "platform/WinUser.h"
#include "shell/ModalDialog.h"
#include "shell/ShellClients.h"
#include "widgets/Xpedit.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace zuvo::platform;

namespace {

constexpr UINT kErrorBox = MB_OK | MB_ICONERROR | MB_TOPMOST;
constexpr UINT kInfoBox = MB_OK | MB_ICONINFORMATION | MB_TOPMOST;
constexpr char kChangedText[] = "修改密码成功，下次登录请使用新密码。  ";
// The server's login takes at most 11 characters of a password: a longer one could never be
// used to log in again.
constexpr std::size_t kMaxNewPassword = 11;
constexpr char kTooLongText[] = "新密码不能超过11个字符，密码没有修改。  ";

// Copies at most `chars` characters of `text` into `field` (zero-filled, always terminated).
void PutField(std::uint8_t* field, std::size_t bytes, const char* text, std::size_t chars) {
  std::memset(field, 0, bytes);
  const std::size_t n = std::min({std::strlen(text), chars, bytes - 1});
  std::memcpy(field, text, n);
}

void ShowAccountResult(HWND owner, const zuvo::net::AccountOutcome& outcome) {
  using zuvo::net::AccountPurpose;
  if (outcome.Failed()) {
    MessageBoxA(owner, zuvo::net::AccountFaultText(outcome.fault, AccountPurpose::kPasswordChange).c_str(),
                zuvo::net::AccountFaultCaption(outcome.fault, AccountPurpose::kPasswordChange).c_str(),
                MB_OK | MB_TOPMOST | zuvo::net::AccountFaultIcon(outcome.fault, AccountPurpose::kPasswordChange));
  } else if (outcome.result < 0) {
    MessageBoxA(owner, outcome.text.c_str(), "修改密码失败", kErrorBox);
  } else if (outcome.result > 0) {
    MessageBoxA(owner, outcome.text.c_str(), "修改密码成功", kInfoBox);
  } else {
    MessageBoxA(owner, kChangedText, "提示", kInfoBox);
  }
}

}  // namespace

namespace zuvo::shell {

unsigned PasswordChangeWorker(void* argument) {
  auto* block = static_cast<std::uint8_t*>(argument);
  auto* client = new TNormalClnt();
  const int result = client->ChangePassword(block);
  std::memset(block, 0, kPasswordBlockBytes);
  GuardedFree(block);
  std::string text;
  switch (result) {
    case 0: break;
    case 1: text = "无法连接服务器，修改密码失败。  "; break;
    case 3: text = "网络错误，修改密码失败。  "; break;
    case 5: text = "内部错误，修改密码失败。  "; break;
    default:
      // 2 (the proxy or relay failed) and 4 (refused): the client's own text says why.
      text.assign(client->errorText, strnlen(client->errorText, sizeof client->errorText));
      if (text.empty()) text = "网络错误，修改密码失败。  ";
      break;
  }
  if (result == 0) {
    MessageBoxA(nullptr, kChangedText, "成功", kInfoBox);
  } else {
    MessageBoxA(nullptr, text.c_str(), "失败", kErrorBox);
  }
  delete client;
  return 0;
}

}  // namespace zuvo::shell

void TMFrame::N73Click(TObject*) {
  HWND owner = HandleAllocated() ? Handle() : nullptr;
  if (GetConnectionState() == 0) {
    MessageBoxA(owner, "登录成功后才能修改密码。  ", "提示", kInfoBox);
    return;
  }
  TChangeDiag* dialog = NewForm<TChangeDiag>(this);
  std::memcpy(dialog->Block(), UserName, std::min(sizeof UserName, TChangeDiag::kFieldBytes));
  std::memcpy(dialog->Block() + TChangeDiag::kFieldBytes, Password,
              std::min(sizeof Password, TChangeDiag::kFieldBytes));
  int result = 0;
  {
    ModalDialogScope modal;
    result = dialog->ShowModal();
  }
  IShellClients& clients = ShellClients();
  if (result == 1 && clients.HasRequestClient()) {
    const std::string current = dialog->Edit2 != nullptr ? dialog->Edit2->Text() : std::string();
    const std::string fresh = dialog->Edit3 != nullptr ? dialog->Edit3->Text() : std::string();
    if (HMODULE library = zuvo::net::FindAccountLibrary()) {
      QXModifyAccountPWProc modify = zuvo::net::FindModifyAccountPW(library);
      if (modify == nullptr) {
        zuvo::net::AccountOutcome missing;
        missing.fault = zuvo::net::AccountFault::kMissingExport;
        ShowAccountResult(owner, missing);
      } else {
        char user[32], oldPassword[32], newPassword[32];
        PutField(reinterpret_cast<std::uint8_t*>(user), sizeof user, UserName, 31);
        PutField(reinterpret_cast<std::uint8_t*>(oldPassword), sizeof oldPassword, current.c_str(), 31);
        PutField(reinterpret_cast<std::uint8_t*>(newPassword), sizeof newPassword, fresh.c_str(), 31);
        const zuvo::net::AccountOutcome outcome = zuvo::net::ModifyAccountPassword(
            modify, user, oldPassword, newPassword, zuvo::net::ReadAccountRoute());
        std::memset(oldPassword, 0, sizeof oldPassword);
        std::memset(newPassword, 0, sizeof newPassword);
        ShowAccountResult(owner, outcome);
      }
    } else if (fresh.size() > kMaxNewPassword) {
      MessageBoxA(owner, kTooLongText, "错误", kErrorBox);
    } else if (clients.RequestLoginMode() == 1) {
      auto* block = static_cast<std::uint8_t*>(GuardedAlloc(zuvo::shell::kPasswordBlockBytes));
      if (block != nullptr) {
        PutField(block, 16, UserName, 15);
        PutField(block + 16, 12, Password, 11);
        PutField(block + 28, 12, fresh.c_str(), kMaxNewPassword);
        unsigned id = 0;
        const UINT_PTR thread = _beginthreadex(nullptr, 0, &zuvo::shell::PasswordChangeWorker, block, 0, &id);
        if (thread != 0) {
          CloseHandle(reinterpret_cast<HANDLE>(thread));
        } else {
          GuardedFree(block);
        }
      }
    } else {
      // The reply comes through the queue (type 30, or the server's error text).
      clients.RequestPasswordChange(fresh.c_str());
    }
  }
  delete dialog;
}
