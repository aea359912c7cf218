// The change-password form: the opener's 64-byte block, the four refusals with the edits they
// empty and focus, the length limits, the account library skipping the current-password check,
// and the block cleared when the form goes.
#include "dialogs/Changepsd.h"

#include "SmallDialogFixture.h"
#include "platform/Library.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpedit.h"

#include <filesystem>
#include <initializer_list>

namespace {

using dialogtest::SmallDialogTest;

class ChangePasswordTest : public SmallDialogTest {
 protected:
  // The opener's fill: 32 bytes of user name, then 32 of stored password (zero-padded).
  TChangeDiag* Open(const std::string& user = "trader01", const std::string& stored = "secret1") {
    auto* form = NewForm<TChangeDiag>(owner);
    std::memset(form->Block(), 0, TChangeDiag::kBlockBytes);
    std::memcpy(form->Block(), user.data(), std::min(user.size(), TChangeDiag::kFieldBytes));
    std::memcpy(form->Block() + TChangeDiag::kFieldBytes, stored.data(), std::min(stored.size(), TChangeDiag::kFieldBytes));
    return form;
  }
  static void Type(TChangeDiag& form, const std::string& current, const std::string& fresh, const std::string& again) {
    form.Edit2->SetText(current);
    form.Edit3->SetText(fresh);
    form.Edit4->SetText(again);
  }
};

TEST_F(ChangePasswordTest, ShowsTheUserNameReadOnlyAndAcceptsAGoodChange) {
  TChangeDiag* form = Open();
  EXPECT_EQ(form->Caption(), "更改登录密码");
  std::string shownName;
  const TModalResult result = Run(form, [&](TChangeDiag& f) {
    shownName = f.Edit1->Text();
    EXPECT_FALSE(f.Edit1->Enabled());
    EXPECT_FALSE(f.Edit1->TabStop());
    EXPECT_TRUE(f.Edit1->ReadOnly());
    for (TXPEdit* edit : {f.Edit2, f.Edit3, f.Edit4}) EXPECT_EQ(edit->PasswordChar(), '*');
    Type(f, "secret1", "newpass9", "newpass9");
    f.Button1->Click();
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(shownName, "trader01");
  // What the opener reads after OK.
  EXPECT_EQ(form->Edit2->Text(), "secret1");
  EXPECT_EQ(form->Edit3->Text(), "newpass9");
  EXPECT_TRUE(BoxTexts().empty());
  TComponent::Free(form);
}

TEST_F(ChangePasswordTest, EachRefusalWarnsEmptiesItsEditsAndFocusesTheFirst) {
  struct Case {
    const char* name;
    const char* current;
    const char* fresh;
    const char* again;
    const char* message;
    bool currentEmptied;
    bool newEmptied;
  };
  const Case cases[] = {
      {"wrong current", "Secret1", "newpass9", "newpass9", "输入的“当前密码”不正确，请重新输入。  ", true, false},
      {"confirmation differs", "secret1", "newpass9", "newpass8", "两次输入的“新密码”不相同，请重新输入。  ", false, true},
      {"5 characters", "secret1", "abcde", "abcde", "输入的“新密码”太短，请重新输入。  ", false, true},
      {"empty", "secret1", "", "", "输入的“新密码”太短，请重新输入。  ", false, true},
      // The current password is checked first: both faults, only its message.
      {"wrong current and short", "x", "ab", "ab", "输入的“当前密码”不正确，请重新输入。  ", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = boxes->Shown().size();
    TChangeDiag* form = Open();
    std::string edit2, edit3, edit4;
    TWinControl* focused = nullptr;
    const TModalResult result = Run(form, [&](TChangeDiag& f) {
      Type(f, c.current, c.fresh, c.again);
      f.Button1->Click();
      EXPECT_EQ(f.ModalResult(), mrNone);   // stays open
      edit2 = f.Edit2->Text();
      edit3 = f.Edit3->Text();
      edit4 = f.Edit4->Text();
      focused = f.ActiveControl();
      f.Button2->Click();
    });
    EXPECT_EQ(result, mrCancel);
    ASSERT_EQ(boxes->Shown().size(), before + 1);
    const auto box = boxes->Shown()[before];
    EXPECT_EQ(box.text, c.message);
    EXPECT_EQ(box.caption, "提示");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(edit2, c.currentEmptied ? "" : c.current);
    EXPECT_EQ(edit3, c.newEmptied ? "" : c.fresh);
    EXPECT_EQ(edit4, c.newEmptied ? "" : c.again);
    EXPECT_EQ(focused, c.currentEmptied ? static_cast<TWinControl*>(form->Edit2) : form->Edit3);
    TComponent::Free(form);
  }
}

TEST_F(ChangePasswordTest, NewPasswordLengthsAndTheElevenCharacterLimit) {
  for (const std::string password : {"abcdef", "abcdefghijk"}) {
    SCOPED_TRACE(password);
    TChangeDiag* form = Open();
    EXPECT_EQ(Run(form, [&](TChangeDiag& f) {
      Type(f, "secret1", password, password);
      f.Button1->Click();
    }), mrOk);
    TComponent::Free(form);
  }
  EXPECT_TRUE(BoxTexts().empty());

  // The edits hold no more than 11 bytes of typed text; a longer text set by code is refused.
  TChangeDiag* form = Open();
  EXPECT_EQ(form->Edit3->MaxLength(), 11);
  EXPECT_EQ(form->Edit4->MaxLength(), 11);
  EXPECT_EQ(Run(form, [&](TChangeDiag& f) {
    Type(f, "secret1", "abcdefghijkl", "abcdefghijkl");
    f.Button1->Click();
    EXPECT_EQ(f.ActiveControl(), f.Edit3);
    f.Button2->Click();
  }), mrCancel);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"输入的“新密码”太长，请重新输入。  "}));
  TComponent::Free(form);
}

TEST_F(ChangePasswordTest, FieldsWithoutTerminatorAreReadToThirtyTwoBytes) {
  const std::string user(32, 'u');
  const std::string stored(32, 'p');
  TChangeDiag* form = Open(user, stored);
  EXPECT_EQ(form->UserName(), user);
  EXPECT_EQ(form->StoredPassword(), stored);
  std::string shown;
  EXPECT_EQ(Run(form, [&](TChangeDiag& f) {
    shown = f.Edit1->Text();
    Type(f, stored, "abcdef", "abcdef");
    f.Button1->Click();
  }), mrOk);
  EXPECT_EQ(shown, user);
  TComponent::Free(form);
}

TEST_F(ChangePasswordTest, WithTheAccountLibraryLoadedTheCurrentPasswordIsNotCompared) {
#ifndef ZUVO_FAKE_ACCOUNT_LIBRARY
  GTEST_SKIP() << "no stand-in library built";
#else
  // Any shared object stands in for the account library: only its being loaded matters.
  std::filesystem::copy_file(ZUVO_FAKE_ACCOUNT_LIBRARY, install.bin() / "libQXAccountDll.so");
  HMODULE library = LoadLibraryA(".\\QXAccountDll.dll");
  ASSERT_NE(library, nullptr);
  TChangeDiag* form = Open();
  EXPECT_EQ(Run(form, [&](TChangeDiag& f) {
    Type(f, "not the stored one", "abcdef", "abcdef");
    f.Button1->Click();
  }), mrOk);
  EXPECT_TRUE(BoxTexts().empty());
  TComponent::Free(form);
  FreeLibrary(library);

  // Unloaded again, the check is back.
  form = Open();
  EXPECT_EQ(Run(form, [&](TChangeDiag& f) {
    Type(f, "not the stored one", "abcdef", "abcdef");
    f.Button1->Click();
    f.Button2->Click();
  }), mrCancel);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"输入的“当前密码”不正确，请重新输入。  "}));
  TComponent::Free(form);
#endif
}

// The stored password must not outlive the form: its destructor wipes the block. Checked on a
// form built in place, so the memory can be read after the destructor ran.
TEST_F(ChangePasswordTest, TheBlockIsClearedWhenTheFormIsDestroyed) {
  alignas(TChangeDiag) unsigned char storage[sizeof(TChangeDiag)];
  auto* form = new (storage) TChangeDiag(owner);
  std::memset(form->Block(), 'x', TChangeDiag::kBlockBytes);
  const std::ptrdiff_t offset = form->Block() - reinterpret_cast<char*>(storage);
  form->~TChangeDiag();
  const std::string after(reinterpret_cast<char*>(storage) + offset, TChangeDiag::kBlockBytes);
  EXPECT_EQ(after, std::string(TChangeDiag::kBlockBytes, '\0'));
}

}  // namespace
