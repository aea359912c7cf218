// The price edit's filter: what typing, an input method and a paste may put into it.
#include "widgets/Xppriceedit.h"

#include "XpPixels.h"

#include "platform/Clipboard.h"
#include "platform/Input.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateKey;

// The virtual key a character is typed with on a US keyboard.
int KeyOf(char c) {
  if (c >= '0' && c <= '9') return c;
  if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
  switch (c) {
    case '.': return VK_OEM_PERIOD;
    case '-': return VK_OEM_MINUS;
    case ' ': return VK_SPACE;
    case '\b': return VK_BACK;
    case '\r': return VK_RETURN;
    case '\x1b': return VK_ESCAPE;
    case '\t': return VK_TAB;
    default: return 'A';
  }
}

class XpPriceEditTest : public testing::Test {
 protected:
  void SetUp() override {
    edit_ = form_.Place(new TXPPriceEdit(form_.get()), 10, 10, 100, 22);
    edit_->SetFocus();
    ProcessPendingMessages();
  }
  void Type(const std::string& keys) {
    for (char c : keys) {
      const char text[2] = {c, 0};
      SimulateKey(edit_->Handle(), KeyOf(c), true, 0, text);
      SimulateKey(edit_->Handle(), KeyOf(c), false, 0);
    }
    ProcessPendingMessages();
  }
  void Paste(const std::string& clipboardText) {
    Clipboard()->SetAsText(clipboardText);
    edit_->PasteFromClipboard();
    ProcessPendingMessages();
  }
  zuvo::platform::ScopedInMemoryClipboard clipboard_;
  xptest::HostForm form_;
  TXPPriceEdit* edit_ = nullptr;
};

TEST_F(XpPriceEditTest, TypingKeepsOnlyDigitsAndOnePoint) {
  const struct {
    const char* keys;
    const char* text;
  } cases[] = {
      {"12.5", "12.5"},
      {"1.2.3", "1.23"},       // the second point is refused
      {"-5", "5"},             // so is a minus sign
      {"a1b2", "12"},          // and letters
      {" 7\t", "7"},           // space and Tab
      {"3\r\x1b", "3"},        // Enter and Escape
      {"45\b", "4"},           // backspace works
      {".5", ".5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    edit_->SetText("");
    Type(c.keys);
    EXPECT_EQ(edit_->Text(), c.text);
  }
}

TEST_F(XpPriceEditTest, ASecondPointIsRefusedEvenOverTheSelectedFirstOne) {
  edit_->SetText("1.5");
  edit_->SetSelStart(1);
  edit_->SetSelLength(1);
  Type(".");
  EXPECT_EQ(edit_->Text(), "1.5");
  Type("7");   // a digit replaces the selected point
  EXPECT_EQ(edit_->Text(), "175");
}

TEST_F(XpPriceEditTest, AnInputMethodsTextIsFilteredLikeTyping) {
  zuvo::platform::SimulateCommittedText(edit_->Handle(), "a1.b2");
  ProcessPendingMessages();
  EXPECT_EQ(edit_->Text(), "1.2");
}

TEST_F(XpPriceEditTest, APasteIsTakenWholeOnlyWhenItLeavesAPrice) {
  const struct {
    const char* before;
    int selStart, selLength;
    const char* pasted;
    const char* after;
  } cases[] = {
      {"", 0, 0, "3.5", "3.5"},
      {"", 0, 0, "abc", ""},          // letters read as 0 and would fire an alarm at once
      {"", 0, 0, "1.2.3", ""},
      {"", 0, 0, "-1", ""},
      {"", 0, 0, "12 ", ""},
      {"1.", 2, 0, "25", "1.25"},
      {"1.5", 3, 0, ".2", "1.5"},      // a second point
      {"1.5", 1, 1, ".2", "1.25"},     // replacing the point there
      {"12", 0, 2, "x", "12"},         // a refused paste keeps the selected text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.before) + " <- " + c.pasted);
    edit_->SetText(c.before);
    edit_->SetSelStart(c.selStart);
    edit_->SetSelLength(c.selLength);
    Paste(c.pasted);
    EXPECT_EQ(edit_->Text(), c.after);
  }
}

TEST_F(XpPriceEditTest, ShiftInsertPastesThroughTheFilterAndCtrlVIsDropped) {
  Clipboard()->SetAsText("abc");
  SimulateKey(edit_->Handle(), VK_INSERT, true, MK_SHIFT);
  SimulateKey(edit_->Handle(), VK_INSERT, false, MK_SHIFT);
  ProcessPendingMessages();
  EXPECT_EQ(edit_->Text(), "");
  Clipboard()->SetAsText("8.25");
  SimulateKey(edit_->Handle(), VK_INSERT, true, MK_SHIFT);
  SimulateKey(edit_->Handle(), VK_INSERT, false, MK_SHIFT);
  ProcessPendingMessages();
  EXPECT_EQ(edit_->Text(), "8.25");
  // Ctrl+V arrives as the control character 22, which the filter drops with the others.
  edit_->SetText("");
  SimulateKey(edit_->Handle(), 'V', true, MK_CONTROL, "\x16");
  SimulateKey(edit_->Handle(), 'V', false, MK_CONTROL);
  ProcessPendingMessages();
  EXPECT_EQ(edit_->Text(), "");
}

TEST_F(XpPriceEditTest, TextSetByCodeIsNotFiltered) {
  edit_->SetText("abc-1");
  EXPECT_EQ(edit_->Text(), "abc-1");
}

TEST(XpPriceText, DigitsWithAtMostOnePoint) {
  using zuvo::widgets::IsPriceText;
  EXPECT_TRUE(IsPriceText(""));
  EXPECT_TRUE(IsPriceText("0"));
  EXPECT_TRUE(IsPriceText("12.50"));
  EXPECT_TRUE(IsPriceText("."));
  EXPECT_FALSE(IsPriceText("1..2"));
  EXPECT_FALSE(IsPriceText("1e5"));
  EXPECT_FALSE(IsPriceText("1,5"));
  EXPECT_FALSE(IsPriceText("\xA3\xB1"));   // a full-width digit
}

}  // namespace
