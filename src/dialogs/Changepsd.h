// The change-password form "更改登录密码". The opener copies the login's 32-byte user name and
// then its 32-byte stored password into Block() before ShowModal; on showing, the user name goes
// into the read-only Edit1. 确定 (modal result 1) closes the form only when the new password
// (Edit3) equals its confirmation (Edit4) and has 6 to 11 characters and - while the account
// library is not loaded in the process - the current password typed into Edit2 equals the stored
// one; otherwise it warns, empties the offending edits, focuses the first of them and stays open.
// After a result of 1 the opener reads Edit2 and Edit3 and deletes the form. The block is
// cleared when the form is destroyed, so the stored password does not outlive the dialog.
// UI thread only; all text is GBK.
#pragma once

#include "platform/Form.h"

#include <cstddef>
#include <string>

class TLabel;
class TXPEdit;
namespace zuvo::widgets {
class TXPButton;
}

class TChangeDiag : public TForm {
 public:
  static constexpr std::size_t kFieldBytes = 32;   // user name, then stored password
  static constexpr std::size_t kBlockBytes = 2 * kFieldBytes;
  static constexpr int kMinPassword = 6;
  static constexpr int kMaxPassword = 11;

  // Builds the form only.
  explicit TChangeDiag(TComponent* owner);
  ~TChangeDiag() override;
  const char* ClassName() const override { return "TChangeDiag"; }

  // The 64-byte block the opener fills: bytes 0-31 the user name, 32-63 the stored password,
  // each read up to 32 bytes even without a terminating zero.
  char* Block() { return block_; }
  const char* Block() const { return block_; }
  std::string UserName() const;         // the first field, up to its zero or 32 bytes
  std::string StoredPassword() const;   // the second field, likewise

  void FormShow(TObject* Sender);
  void Button1Click(TObject* Sender);

  TLabel* Label1 = nullptr;   // "用户名:"
  TLabel* Label2 = nullptr;   // "当前密码:"
  TLabel* Label3 = nullptr;   // "新密码（不少于6位）:"
  TLabel* Label4 = nullptr;   // "新密码确认:"
  TXPEdit* Edit1 = nullptr;   // user name: read-only, disabled, no tab stop
  TXPEdit* Edit2 = nullptr;   // current password, shown as '*'
  TXPEdit* Edit3 = nullptr;   // new password, at most 11 characters, '*'
  TXPEdit* Edit4 = nullptr;   // confirmation, at most 11 characters, '*'
  zuvo::widgets::TXPButton* Button1 = nullptr;   // 确定 (default, modal result 1 when the checks pass)
  zuvo::widgets::TXPButton* Button2 = nullptr;   // 取消 (cancel)

 private:
  char block_[kBlockBytes] = {};
};
