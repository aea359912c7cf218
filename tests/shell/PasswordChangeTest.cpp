// 修改密码(&P) from the main window against the local quote server, without the account library:
// the refusal while offline, the two-stage change on the worker's own connection (done, no
// reply), and a cancelled dialog.
#include "LoginFrameFixture.h"

#include "dialogs/Changepsd.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpedit.h"

#include <gtest/gtest.h>

namespace {

class PasswordChangeTest : public shelltest::LoginFlowTest {
 protected:
  // The next change-password dialog is filled with the current and the new password and
  // confirmed.
  void AnswerChange(const std::string& current, const std::string& fresh) {
    runner_->Add("TChangeDiag", [current, fresh](TForm& form) {
      auto& dialog = static_cast<TChangeDiag&>(form);
      EXPECT_EQ(dialog.UserName(), "test") << "the login's name is handed in";
      dialog.Edit2->SetText(current);
      dialog.Edit3->SetText(fresh);
      dialog.Edit4->SetText(fresh);
      dialog.Button1->Click();
    });
  }
  // Pumps until `count` message boxes were shown (the worker's goes through the UI thread).
  bool AwaitBoxes(std::size_t count) { return Pump([&] { return boxes_->Count() >= count; }, 60); }
};

TEST_F(PasswordChangeTest, OfflineTheChangeIsRefusedWithoutTheDialog) {
  StoreMarkets();
  MakeFrame(false);
  const std::size_t before = boxes_->Count();
  frame_->N73Click(nullptr);
  ASSERT_EQ(boxes_->Count(), before + 1);
  const zuvo::platform::MessageBoxRequest box = boxes_->Shown().back();
  EXPECT_EQ(box.text, "登录成功后才能修改密码。  ");
  EXPECT_EQ(box.caption, "提示");
  for (const std::string& form : runner_->Ran()) EXPECT_NE(form, "TChangeDiag") << "no dialog offline";
}

// Two-stage login without the library: the worker's own connection; its box has no owner.
TEST_F(PasswordChangeTest, TwoStageChangesOnTheWorkersConnectionAndReportsEachOutcome) {
  MakeFrame(true);
  ASSERT_EQ(GetConnectionState(), 3);

  AnswerChange("pw", "newpass1");
  frame_->N73Click(nullptr);
  ASSERT_TRUE(AwaitBoxes(1));
  EXPECT_EQ(boxes_->Shown()[0].text, "修改密码成功，下次登录请使用新密码。  ");
  EXPECT_EQ(boxes_->Shown()[0].caption, "成功");
  EXPECT_EQ(boxes_->Shown()[0].owner, nullptr) << "the worker's box has no owner";

  // A server that never answers: the read times out, "网络错误".
  On("silent");
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(2000, 2000);
  AnswerChange("pw", "newpass3");
  frame_->N73Click(nullptr);
  clock_.AwaitWaitingThreads(1);
  clock_.Advance(2500);
  ASSERT_TRUE(AwaitBoxes(2));
  EXPECT_EQ(boxes_->Shown()[1].text, "网络错误，修改密码失败。  ");
  EXPECT_EQ(boxes_->Shown()[1].caption, "失败");
  EXPECT_EQ(boxes_->Shown()[1].icon, static_cast<UINT>(MB_ICONERROR));
}

TEST_F(PasswordChangeTest, CancelChangesNothing) {
  MakeFrame(true);
  ASSERT_EQ(GetConnectionState(), 3);
  const std::uint64_t before = Received(30);
  runner_->Add("TChangeDiag", [](TForm& form) { static_cast<TChangeDiag&>(form).Button2->Click(); });
  frame_->N73Click(nullptr);
  main_.Pump();
  EXPECT_EQ(boxes_->Count(), 0u);
  EXPECT_EQ(Received(30), before);
}

}  // namespace
