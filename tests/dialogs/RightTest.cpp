// The information box: the version text of a build number, the picture built in or from
// .\logo.bmp, the two links through the shell and the box when it fails, and the pages shipped
// for them.
#include "dialogs/Right.h"

#include "SmallDialogFixture.h"
#include "platform/Input.h"
#include "platform/Panel.h"
#include "platform/Shell.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"

#include <cstdint>
#include <algorithm>
#include <filesystem>

namespace {

using dialogtest::SmallDialogTest;
namespace fs = std::filesystem;

class AboutBoxTest : public SmallDialogTest {
 protected:
  zuvo::platform::ScopedRecordingShell shell;
};

// A click on a windowless label goes to its form's window at the label's place.
void ClickLabel(TForm& form, TLabel* label) {
  const int x = label->Left() + 2, y = label->Top() + 2;
  zuvo::platform::SimulateMouse(form.Handle(), WM_LBUTTONDOWN, x, y, MK_LBUTTON);
  zuvo::platform::SimulateMouse(form.Handle(), WM_LBUTTONUP, x, y, 0);
  zuvo::platform::ProcessPendingMessages();
}

// A 24-bit BMP file of w x h pixels.
std::string Bmp(int w, int h) {
  const int rowBytes = (w * 3 + 3) & ~3;
  std::string bytes(54 + static_cast<std::size_t>(rowBytes) * h, '\0');
  auto put = [&](std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put(2, static_cast<std::uint32_t>(bytes.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, w, 4);
  put(22, h, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  return bytes;
}

TEST(BuildVersion, SplitsTheBuildNumberIntoThreeParts) {
  struct Case {
    unsigned build;
    const char* text;
  };
  const Case cases[] = {{0, "0.0.0"},
                        {10010003, "1.1.3"},
                        {20129999, "2.12.9999"},
                        {9999999, "0.999.9999"},
                        {4294967295u, "429.496.7295"}};
  for (const Case& c : cases) EXPECT_EQ(FormatBuildVersion(c.build), c.text) << c.build;
}

TEST_F(AboutBoxTest, ShowsTheVersionAndThePictureBuiltInOrFromLogoBmp) {
  auto* box = NewForm<Trighrbox>(owner);
  EXPECT_EQ(box->Caption(), "关于");
  EXPECT_EQ(box->Label10->Caption(), FormatBuildVersion(kProgramBuild));
  EXPECT_EQ(box->Label10->Cursor(), crHandPoint);
  EXPECT_EQ(box->Label8->Cursor(), crHandPoint);
  ASSERT_FALSE(box->Image1->Picture()->Empty());
  const int storedWidth = box->Image1->Picture()->Width();
  TComponent::Free(box);

  testsupport::WriteBytes(install.bin() / "logo.bmp", Bmp(30, 20));
  box = NewForm<Trighrbox>(owner);
  EXPECT_EQ(box->Image1->Picture()->Width(), 30);
  EXPECT_EQ(box->Image1->Picture()->Height(), 20);
  TComponent::Free(box);

  // A damaged logo keeps the picture built in.
  testsupport::WriteBytes(install.bin() / "logo.bmp", Bmp(30, 20).substr(0, 40));
  box = NewForm<Trighrbox>(owner);
  ASSERT_FALSE(box->Image1->Picture()->Empty());
  EXPECT_EQ(box->Image1->Picture()->Width(), storedWidth);
  TComponent::Free(box);
}

TEST_F(AboutBoxTest, LabelsOpenTheirPagesAndABrokenOpenerIsReported) {
  auto* box = NewForm<Trighrbox>(owner);
  shell->Script({kShellExecuteSucceeded, kShellExecuteSucceeded, SE_ERR_NOASSOC});
  EXPECT_EQ(Run(box, [](Trighrbox& f) {
    ClickLabel(f, f.Label8);
    ClickLabel(f, f.Label10);
    ClickLabel(f, f.Label8);   // this one fails
    f.Button1->Click();
  }), mrOk);
  const auto requests = shell->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].operation, "open");
  EXPECT_EQ(requests[0].file, Trighrbox::kAboutPage);
  EXPECT_EQ(requests[1].file, Trighrbox::kUpdateLogPage);
  EXPECT_EQ(requests[2].file, Trighrbox::kAboutPage);
  ASSERT_EQ(boxes->Shown().size(), 1u);
  const auto failure = boxes->Shown()[0];
  EXPECT_EQ(failure.text, "无法启动浏览器。  ");
  EXPECT_EQ(failure.caption, "错误");
  EXPECT_EQ(failure.icon, static_cast<UINT>(MB_ICONERROR));
  TComponent::Free(box);
}

TEST_F(AboutBoxTest, WebAddressesGoThroughTheBrowser) {
  auto* box = NewForm<Trighrbox>(owner);
  EXPECT_TRUE(box->OpenPage("https://example.org/x"));
  const auto requests = shell->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].file, "IEXPLORE.EXE");
  EXPECT_EQ(requests[0].parameters, "https://example.org/x");
  TComponent::Free(box);
}

// The links name pages the install tree carries beside the program (bin\help\).
TEST(AboutBoxPages, TheLinkedPagesAreShippedInTheProgramFolder) {
  const fs::path bin = fs::path(__FILE__).parent_path().parent_path().parent_path() / "dist" / "bin";
  for (std::string page : {std::string(Trighrbox::kAboutPage), std::string(Trighrbox::kUpdateLogPage)}) {
    SCOPED_TRACE(page);
    ASSERT_EQ(page.rfind(".\\", 0), 0u);
    std::replace(page.begin(), page.end(), '\\', '/');
    EXPECT_TRUE(fs::is_regular_file(bin / page.substr(2)));
  }
  // The change log has an entry for this build.
  const std::string log = testsupport::ReadBytes(bin / "help" / "updatelog.htm");
  EXPECT_NE(log.find("id=\"v" + std::to_string(kProgramBuild) + "\""), std::string::npos);
}

}  // namespace
