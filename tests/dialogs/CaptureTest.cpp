// Screen capture over a screen given as a picture: the frame's drawing and editing, the panel
// that avoids the cursor, the BMP file field by field, and the save flow with its failures.
#include "dialogs/Captureform.h"
#include "dialogs/PictureLibrary.h"

#include "platform/CommonDialog.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Form.h"
#include "platform/Library.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/Panel.h"
#include "platform/Screen.h"
#include "platform/WinUser.h"

#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace zuvo::dialogs;
using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::ScopedScriptedDialogs;
using zuvo::platform::ScopedScriptedMessageBoxes;
using zuvo::platform::screen::Picture;
using zuvo::platform::screen::ScopedScreenSource;
using zuvo::platform::screen::TestSource;
using testsupport::ReadBytes;
using testsupport::TempInstall;

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// Every pixel its own colour, so a picture cut from the wrong place shows.
COLORREF PixelAt(int x, int y) { return RGB(x, y, (x * 7 + y * 3) & 0xFF); }

TestSource Screen(int bits) {
  Picture picture{kWidth, kHeight, {}};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) picture.pixels.push_back(PixelAt(x, y));
  return TestSource{bits, picture};
}

std::uint32_t U32(const std::string& b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
         static_cast<std::uint8_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}
std::uint16_t U16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8);
}

// A library whose conversion is scripted; it records the BMP it was handed and whether that
// file was there.
class FakeLibrary : public IPictureLibrary {
 public:
  void LoadAntialiasingHelper() override { ++loads; }
  bool IsAntialiasingAvailable() const override { return true; }
  bool ConvertBitmapFile(const char* source, const char* destination) override {
    this->source = source;
    sourceExisted = GetFileAttributesA(source) != INVALID_FILE_ATTRIBUTES;
    this->destination = destination;
    return converts;
  }
  int loads = 0;
  bool converts = false;
  bool sourceExisted = false;
  std::string source, destination;
};

class CaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    tmp_ = install_.root() / "tmp";
    fs::create_directories(tmp_);
    const char* old = std::getenv("TMPDIR");
    hadTmp_ = old != nullptr;
    if (old) oldTmp_ = old;
    setenv("TMPDIR", tmp_.c_str(), 1);
  }
  void TearDown() override {
    if (dlg_) TComponent::Free(dlg_);
    ProcessPendingMessages();
    if (hadTmp_) setenv("TMPDIR", oldTmp_.c_str(), 1); else unsetenv("TMPDIR");
  }

  void Open(IPictureLibrary* library) {
    dlg_ = NewForm<TCaptureDlg>(nullptr, library);
    dlg_->Show();
    ProcessPendingMessages();
    dlg_->Update();
  }
  void Press(int x, int y, TMouseButton b = mbLeft) { dlg_->FormMouseDown(dlg_, b, {ssLeft}, x, y); }
  void Drag(int x, int y) { dlg_->FormMouseMove(dlg_, {ssLeft}, x, y); }
  void Hover(int x, int y) { dlg_->FormMouseMove(dlg_, {}, x, y); }
  void Release(int x, int y) { dlg_->FormMouseUp(dlg_, mbLeft, {}, x, y); }
  void Frame(int ax, int ay, int bx, int by) {
    Press(ax, ay);
    Drag(bx, by);
    Release(bx, by);
  }

  // The window's pixels that differ from the snapshot with the outline of the rectangle
  // inverted, as "x,y" texts (empty: exactly as expected).
  std::vector<std::string> Mismatches(bool outline, int l, int t, int r, int b) {
    std::vector<std::string> wrong;
    HDC dc = GetDC(dlg_->Handle());
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const bool on = outline && x >= l && x <= r && y >= t && y <= b && (x == l || x == r || y == t || y == b);
        const COLORREF want = on ? (~PixelAt(x, y) & 0xFFFFFF) : PixelAt(x, y);
        if (GetPixel(dc, x, y) != want) wrong.push_back(std::to_string(x) + "," + std::to_string(y));
      }
    }
    ReleaseDC(dlg_->Handle(), dc);
    return wrong;
  }

  TempInstall install_;
  fs::path tmp_;
  bool hadTmp_ = false;
  std::string oldTmp_;
  TCaptureDlg* dlg_ = nullptr;
};

TEST(CaptureRulesTest, HitTestFramePicksTheEdgeAndCursor) {
  using zuvo::dialogs::capture::HitTestFrame;
  struct Case {
    int x, y;
    int edge;   // -1: unchanged
    TCursor cursor;
  };
  // Frame (20, 10) - (60, 40).
  const Case cases[] = {
      {40, 10, 0, crSizeNS}, {40, 6, 0, crSizeNS},  {40, 14, 0, crSizeNS},  {40, 5, -1, crCross},
      {40, 40, 1, crSizeNS}, {40, 44, 1, crSizeNS}, {40, 36, 1, crSizeNS},  {40, 45, -1, crCross},
      {20, 25, 2, crSizeWE}, {16, 25, 2, crSizeWE}, {24, 25, 2, crSizeWE},  {15, 25, -1, crCross},
      {60, 25, 3, crSizeWE}, {64, 25, 3, crSizeWE}, {56, 25, 3, crSizeWE},  {65, 25, -1, crCross},
      {40, 25, -1, crSizeAll},
      // Corners and ends of edges: the strict inequalities leave them out.
      {20, 10, -1, crCross}, {60, 40, -1, crCross}, {21, 12, 0, crSizeNS}, {22, 11, 0, crSizeNS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    const auto hit = HitTestFrame(20, 10, 60, 40, c.x, c.y);
    EXPECT_EQ(hit.edge ? *hit.edge : -1, c.edge);
    EXPECT_EQ(hit.cursor, c.cursor);
  }
  // In a frame low enough for both edges to reach, the top one wins; in a narrow one the left.
  EXPECT_EQ(HitTestFrame(20, 10, 60, 16, 40, 13).edge, std::optional<std::uint8_t>(0));
  EXPECT_EQ(HitTestFrame(20, 10, 26, 40, 23, 25).edge, std::optional<std::uint8_t>(2));
}

TEST(CaptureRulesTest, PictureLibraryStandInFollowsTheLibrarySwitch) {
  {
    zuvo::platform::library::ScopedPictureLibraryAbsent absent;
    SmoothDcPictureLibrary library;
    library.LoadAntialiasingHelper();
    EXPECT_FALSE(library.IsAntialiasingAvailable());
    EXPECT_FALSE(library.ConvertBitmapFile("a.bmp", "a.png"));
  }
  SmoothDcPictureLibrary library;
  library.LoadAntialiasingHelper();
  EXPECT_TRUE(library.IsAntialiasingAvailable());
  // Present, but the conversion of a missing BMP fails.
  EXPECT_FALSE(library.ConvertBitmapFile("no-such.bmp", "no-such.png"));
}

TEST(CaptureRulesTest, FinalNameAndDepthRules) {
  using zuvo::dialogs::capture::FinalName;
  EXPECT_EQ(FinalName("shot", ".png"), "shot.png");
  EXPECT_EQ(FinalName("shot.PNG", ".png"), "shot.PNG");
  EXPECT_EQ(FinalName("shot.png", ".bmp"), "shot.png.bmp");
  EXPECT_EQ(FinalName("shot.bmp", ".bmp"), "shot.bmp");
  EXPECT_EQ(FinalName("bmp", ".bmp"), "bmp.bmp");
  EXPECT_EQ(FinalName("截图.Gif", ".gif"), "截图.Gif");
  using zuvo::dialogs::capture::DibDepth;
  const int depths[][2] = {{0, 1}, {1, 1}, {2, 4}, {4, 4}, {5, 8}, {8, 8}, {15, 24}, {16, 24}, {24, 24}, {32, 24}};
  for (const auto& d : depths) EXPECT_EQ(DibDepth(d[0]), d[1]) << d[0];
}

// A 3 x 2 picture in a file: every field of both headers, the table and the padded rows.
TEST(CaptureBmpTest, ThreeByTwoAt24And8BitsFieldByField) {
  const std::uint32_t pixels[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080};
  HBITMAP picture = CreateBitmap(3, 2, 1, 32, pixels);
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HPALETTE before = GetCurrentObject(screen, OBJ_PAL);
  for (int bits : {24, 8}) {
    SCOPED_TRACE(bits);
    const auto made = zuvo::dialogs::capture::BuildBmpFile(screen, picture, bits);
    ASSERT_TRUE(made);
    const std::string b(made->begin(), made->end());
    const std::uint32_t table = bits == 8 ? 1024 : 0;
    const std::uint32_t stride = bits == 8 ? 4 : 12;
    ASSERT_EQ(b.size(), 54 + table + 2 * stride);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(U32(b, 2), b.size());
    EXPECT_EQ(U16(b, 6), 0);
    EXPECT_EQ(U16(b, 8), 0);
    EXPECT_EQ(U32(b, 10), 54 + table);
    EXPECT_EQ(U32(b, 14), 40u);
    EXPECT_EQ(U32(b, 18), 3u);
    EXPECT_EQ(U32(b, 22), 2u);
    EXPECT_EQ(U16(b, 26), 1);
    EXPECT_EQ(U16(b, 28), bits);
    for (std::size_t at = 30; at < 54; at += 4) EXPECT_EQ(U32(b, at), 0u) << "field at " << at;
    const std::string rows = b.substr(54 + table);
    if (bits == 24) {
      // Bottom row first (white, black, grey), then the top row (red, green, blue), each padded.
      EXPECT_EQ(rows, std::string("\xFF\xFF\xFF\0\0\0\x80\x80\x80\0\0\0"
                                  "\0\0\xFF\0\xFF\0\xFF\0\0\0\0\0", 24));
    } else {
      EXPECT_EQ(U32(b, 54), 0u);                    // entry 0 black
      EXPECT_EQ(U32(b, 54 + 4 * 248), 0x808080u);   // grey
      EXPECT_EQ(U32(b, 54 + 4 * 255), 0xFFFFFFu);   // white
      EXPECT_EQ(rows, std::string("\xFF\0\xF8\0\xF9\xFA\xFC\0", 8));
    }
  }
  // The palette selected for the reading is taken out again.
  EXPECT_EQ(GetCurrentObject(screen, OBJ_PAL), before);
  DeleteDC(screen);
  DeleteObject(picture);
}

TEST_F(CaptureTest, CoversTheScreenWithItsSnapshotAndACrossCursor) {
  ScopedScreenSource source(Screen(32));
  SmoothDcPictureLibrary library;
  Open(&library);
  EXPECT_EQ(dlg_->Width(), kWidth);
  EXPECT_EQ(dlg_->Height(), kHeight);
  EXPECT_EQ(dlg_->Cursor(), crCross);
  EXPECT_TRUE(dlg_->statPanel->Visible());
  EXPECT_EQ(dlg_->statPanel->Left(), 0);
  EXPECT_EQ(dlg_->statPanel->Top(), 0);
  EXPECT_TRUE(Mismatches(false, 0, 0, 0, 0).empty());
  // The background is never erased.
  TMessage erase{WM_ERASEBKGND, 0, 0, 0};
  dlg_->WndProc(erase);
  EXPECT_EQ(erase.Result, 1);
}

TEST_F(CaptureTest, BandIsDrawnAndErasedAndAClickMakesNoFrame) {
  ScopedScreenSource source(Screen(32));
  SmoothDcPictureLibrary library;
  Open(&library);
  Press(10, 10);
  Drag(30, 20);
  EXPECT_TRUE(Mismatches(true, 10, 10, 30, 20).empty());
  Drag(25, 40);
  EXPECT_TRUE(Mismatches(true, 10, 10, 25, 40).empty());
  // Back to the first corner and released there: no frame, the window as the snapshot.
  Drag(10, 10);
  Release(10, 10);
  EXPECT_FALSE(dlg_->HasFrame());
  EXPECT_TRUE(Mismatches(false, 0, 0, 0, 0).empty());
  // The next press starts again.
  Frame(50, 60, 70, 80);
  EXPECT_TRUE(dlg_->HasFrame());
  EXPECT_TRUE(Mismatches(true, 50, 60, 70, 80).empty());
}

TEST_F(CaptureTest, DragsInEveryDirectionGiveAnOrderedFrame) {
  ScopedScreenSource source(Screen(32));
  SmoothDcPictureLibrary library;
  const int drags[][4] = {{10, 10, 40, 30}, {40, 30, 10, 10}, {10, 30, 40, 10}, {40, 10, 10, 30}};
  for (const auto& d : drags) {
    SCOPED_TRACE(testing::Message() << d[0] << "," << d[1] << " -> " << d[2] << "," << d[3]);
    Open(&library);
    Frame(d[0], d[1], d[2], d[3]);
    EXPECT_EQ(dlg_->X1(), 10);
    EXPECT_EQ(dlg_->Y1(), 10);
    EXPECT_EQ(dlg_->X2(), 40);
    EXPECT_EQ(dlg_->Y2(), 30);
    EXPECT_TRUE(Mismatches(true, 10, 10, 40, 30).empty());
    TComponent::Free(dlg_);
    dlg_ = nullptr;
  }
}

TEST_F(CaptureTest, EdgeDragMovesTheEdgeLastHitAndRedrawsTheFrame) {
  ScopedScreenSource source(Screen(32));
  SmoothDcPictureLibrary library;
  Open(&library);
  Frame(20, 20, 80, 60);
  Hover(50, 60);
  EXPECT_EQ(dlg_->Edge(), capture::kEdgeBottom);
  EXPECT_EQ(dlg_->Cursor(), crSizeNS);
  Drag(50, 70);
  EXPECT_EQ(dlg_->Y2(), 70);
  EXPECT_TRUE(Mismatches(true, 20, 20, 80, 70).empty());
  Release(50, 70);
  EXPECT_EQ(dlg_->Cursor(), crCross);
  // From inside the frame the last edge chosen moves.
  Hover(50, 40);
  EXPECT_EQ(dlg_->Cursor(), crSizeAll);
  Drag(50, 50);
  EXPECT_EQ(dlg_->Y2(), 50);
  EXPECT_TRUE(Mismatches(true, 20, 20, 80, 50).empty());
  // The left edge.
  Hover(20, 30);
  EXPECT_EQ(dlg_->Edge(), capture::kEdgeLeft);
  Drag(5, 30);
  EXPECT_EQ(dlg_->X1(), 5);
  EXPECT_TRUE(Mismatches(true, 5, 20, 80, 50).empty());
}

TEST_F(CaptureTest, PanelAvoidsTheCursorQuarter) {
  ScopedScreenSource source(Screen(32));
  SmoothDcPictureLibrary library;
  Open(&library);
  TPanel* panel = dlg_->statPanel;
  Hover(100, 20);   // top right: stays
  EXPECT_EQ(dlg_->PanelCorner(), 0);
  Hover(10, 10);
  EXPECT_EQ(dlg_->PanelCorner(), 1);
  // A screen narrower than the panel: its left edge stays on the window.
  EXPECT_EQ(panel->Left(), std::max(0, kWidth - panel->Width()));
  EXPECT_EQ(panel->Top(), std::max(0, kHeight - panel->Height()));
  EXPECT_GE(panel->Left(), 0);
  Hover(100, 20);   // only the bottom-right quarter brings it back
  Hover(20, 100);
  EXPECT_EQ(dlg_->PanelCorner(), 1);
  Hover(120, 100);
  EXPECT_EQ(dlg_->PanelCorner(), 0);
  EXPECT_EQ(panel->Left(), 0);
  EXPECT_EQ(panel->Top(), 0);
  EXPECT_EQ(dlg_->pX->Caption(), "120");
  EXPECT_EQ(dlg_->pY->Caption(), "100");
}

TEST_F(CaptureTest, CancelsWithEscapeOrTheRightButton) {
  ScopedScreenSource source(Screen(32));
  SmoothDcPictureLibrary library;
  Open(&library);
  WORD key = VK_ESCAPE;
  dlg_->FormKeyDown(dlg_, key, {});
  EXPECT_EQ(dlg_->ModalResult(), mrCancel);
  dlg_->SetModalResult(mrNone);
  Frame(10, 10, 30, 30);
  Press(20, 20, mbRight);
  EXPECT_EQ(dlg_->ModalResult(), mrCancel);
}

TEST_F(CaptureTest, DoubleClickWithoutAPictureOnlyHidesThePanel) {
  ScopedScreenSource source(Screen(32));
  ScopedScriptedDialogs dialogs;
  SmoothDcPictureLibrary library;
  Open(&library);
  dlg_->FormDblClick(dlg_);
  EXPECT_FALSE(dlg_->statPanel->Visible());
  EXPECT_EQ(dlg_->ModalResult(), mrNone);
  // A frame with an empty inside has no picture either.
  Frame(10, 10, 11, 40);
  dlg_->FormDblClick(dlg_);
  EXPECT_EQ(dlg_->ModalResult(), mrNone);
  EXPECT_EQ(dialogs->Count(), 0u);
}

TEST_F(CaptureTest, WithoutTheLibraryOnlyBmpIsOfferedAndSaved) {
  ScopedScreenSource source(Screen(32));
  zuvo::platform::library::ScopedPictureLibraryAbsent absent;
  SmoothDcPictureLibrary library;
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerFile("shot");
  Open(&library);
  Frame(10, 20, 41, 35);
  dlg_->FormDblClick(dlg_);
  EXPECT_FALSE(dlg_->statPanel->Visible());
  ASSERT_EQ(dialogs->Asked().size(), 1u);
  const auto asked = dialogs->Asked()[0];
  EXPECT_EQ(asked.kind, zuvo::platform::DialogKind::Save);
  EXPECT_EQ(asked.title, "保存图片");
  EXPECT_EQ(asked.initialDir, ".\\");
  ASSERT_EQ(asked.filters.size(), 1u);
  EXPECT_EQ(asked.filters[0].description, "位图(*.BMP)");
  EXPECT_EQ(dlg_->ModalResult(), mrOk);
  EXPECT_FALSE(dlg_->HasFrame());

  // 32-bit screen: 24 bits, no table, the inside of the frame without its lines.
  const std::string b = ReadBytes(install_.bin() / "shot.bmp");
  ASSERT_GE(b.size(), 54u);
  EXPECT_EQ(U16(b, 28), 24);
  EXPECT_EQ(U32(b, 10), 54u);
  const int width = 41 - 10 - 1, height = 35 - 20 - 1;
  EXPECT_EQ(U32(b, 18), static_cast<std::uint32_t>(width));
  EXPECT_EQ(U32(b, 22), static_cast<std::uint32_t>(height));
  const std::size_t stride = (width * 24 + 31) / 32 * 4;
  ASSERT_EQ(b.size(), 54 + stride * height);
  int wrong = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t at = 54 + (height - 1 - y) * stride + x * 3;
      const COLORREF want = PixelAt(11 + x, 21 + y);
      wrong += static_cast<std::uint8_t>(b[at]) != GetBValue(want) || static_cast<std::uint8_t>(b[at + 1]) != GetGValue(want) ||
               static_cast<std::uint8_t>(b[at + 2]) != GetRValue(want);
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(CaptureTest, EightBitScreenSavesAPalettePicture) {
  ScopedScreenSource source(Screen(8));
  SmoothDcPictureLibrary library;
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerFile("shot.png", 3);   // the BMP filter: the extension is appended
  Open(&library);
  Frame(10, 10, 30, 30);
  dlg_->FormDblClick(dlg_);
  ASSERT_EQ(dialogs->Asked().size(), 1u);
  EXPECT_EQ(dialogs->Asked()[0].filters.size(), 4u);
  EXPECT_EQ(dialogs->Asked()[0].filters[0].description, "PNG(*.PNG) 推荐选用的格式");
  const std::string b = ReadBytes(install_.bin() / "shot.png.bmp");
  ASSERT_GE(b.size(), 1078u);
  EXPECT_EQ(U16(b, 28), 8);
  EXPECT_EQ(U32(b, 10), 1078u);
  EXPECT_EQ(b.size(), 1078u + 20 * 19);
}

TEST_F(CaptureTest, PngIsConvertedThroughAPrivateBmpThatIsRemoved) {
  ScopedScreenSource source(Screen(32));
  SmoothDcPictureLibrary library;
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerFile("shot");
  Open(&library);
  Frame(10, 10, 30, 30);
  dlg_->FormDblClick(dlg_);
  const std::string png = ReadBytes(install_.bin() / "shot.png");
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_TRUE(fs::is_empty(tmp_));
  EXPECT_EQ(dlg_->ModalResult(), mrOk);
}

TEST_F(CaptureTest, FailedConversionReportsAndTouchesNoOtherFile) {
  ScopedScreenSource source(Screen(32));
  FakeLibrary library;
  ScopedScriptedDialogs dialogs;
  ScopedScriptedMessageBoxes boxes;
  testsupport::WriteWholeFile(install_.bin() / "capture.bmp", "mine", 4);   // a file named like the intermediate one
  dialogs->AnswerFile("shot", 2);
  Open(&library);
  Frame(10, 10, 30, 30);
  dlg_->FormDblClick(dlg_);
  EXPECT_TRUE(library.sourceExisted);
  EXPECT_EQ(library.destination, ".\\shot.jpg");
  EXPECT_EQ(fs::path(library.source).extension(), ".bmp");
  EXPECT_FALSE(fs::exists(install_.bin() / "shot.jpg"));
  EXPECT_EQ(ReadBytes(install_.bin() / "capture.bmp"), "mine");
  EXPECT_TRUE(fs::is_empty(tmp_));
  ASSERT_EQ(boxes->Shown().size(), 1u);
  EXPECT_EQ(boxes->Shown()[0].text, "保存图片失败。  ");
  EXPECT_EQ(boxes->Shown()[0].caption, "提示");
  EXPECT_EQ(boxes->Shown()[0].icon, MB_ICONERROR);
  EXPECT_TRUE(boxes->Shown()[0].topMost);
  EXPECT_EQ(dlg_->ModalResult(), mrOk);
}

TEST_F(CaptureTest, OverwriteNoAsksAgainAndCancelKeepsTheFrame) {
  ScopedScreenSource source(Screen(32));
  zuvo::platform::library::ScopedPictureLibraryAbsent absent;
  SmoothDcPictureLibrary library;
  ScopedScriptedDialogs dialogs;
  ScopedScriptedMessageBoxes boxes;
  testsupport::WriteWholeFile(install_.bin() / "shot.bmp", "old", 3);
  dialogs->AnswerFile("shot.bmp");
  boxes->Answer(IDNO);
  dialogs->Cancel();
  Open(&library);
  Frame(10, 10, 30, 30);
  dlg_->FormDblClick(dlg_);
  EXPECT_EQ(dialogs->Count(), 2u);
  ASSERT_EQ(boxes->Shown().size(), 1u);
  EXPECT_EQ(boxes->Shown()[0].text, "文件 .\\shot.bmp 已存在，覆盖吗？  ");
  EXPECT_EQ(boxes->Shown()[0].caption, "确认");
  EXPECT_EQ(boxes->Shown()[0].buttons, MB_YESNO);
  EXPECT_EQ(boxes->Shown()[0].icon, MB_ICONQUESTION);
  EXPECT_TRUE(boxes->Shown()[0].topMost);
  EXPECT_EQ(ReadBytes(install_.bin() / "shot.bmp"), "old");
  EXPECT_EQ(dlg_->ModalResult(), mrNone);
  EXPECT_TRUE(dlg_->HasFrame());
  EXPECT_FALSE(dlg_->statPanel->Visible());
}

TEST_F(CaptureTest, OverwriteYesWithAFailingWriteKeepsTheOldFile) {
  ScopedScreenSource source(Screen(32));
  zuvo::platform::library::ScopedPictureLibraryAbsent absent;
  SmoothDcPictureLibrary library;
  ScopedScriptedDialogs dialogs;
  ScopedScriptedMessageBoxes boxes;
  testsupport::WriteWholeFile(install_.bin() / "shot.bmp", "old", 3);
  dialogs->AnswerFile("shot.bmp");
  boxes->Answer(IDYES);
  Open(&library);
  Frame(10, 10, 30, 30);
  {
    zuvo::platform::files::ScopedFileFault full(zuvo::platform::files::FileCall::kWrite, 1,
                                                zuvo::platform::files::FaultRepeat::kEveryCallFromNth, ENOSPC);
    dlg_->FormDblClick(dlg_);
  }
  EXPECT_EQ(ReadBytes(install_.bin() / "shot.bmp"), "old");
  ASSERT_EQ(boxes->Shown().size(), 2u);
  EXPECT_EQ(boxes->Shown()[1].text, "保存图片失败。  ");
  EXPECT_EQ(dlg_->ModalResult(), mrOk);

  // Yes with a write that succeeds replaces it.
  TComponent::Free(dlg_);
  dlg_ = nullptr;
  dialogs->AnswerFile("shot.bmp");
  boxes->Answer(IDYES);
  Open(&library);
  Frame(10, 10, 30, 30);
  dlg_->FormDblClick(dlg_);
  EXPECT_EQ(ReadBytes(install_.bin() / "shot.bmp").substr(0, 2), "BM");
}

TEST_F(CaptureTest, NameTooLongForTheBufferLeavesTheDialogOpen) {
  ScopedScreenSource source(Screen(32));
  SmoothDcPictureLibrary library;
  ScopedScriptedDialogs dialogs;
  dialogs->AnswerFile(std::string(600, 'a'));
  Open(&library);
  Frame(10, 10, 30, 30);
  dlg_->FormDblClick(dlg_);
  EXPECT_EQ(dialogs->Count(), 1u);
  EXPECT_EQ(dlg_->ModalResult(), mrNone);
  EXPECT_TRUE(dlg_->HasFrame());
}

}  // namespace
