// The printer: pages of text and two-colour images at the printer's resolution, kept by a
// recording printer; PDF files on a machine without a printer; misuse and failures raising
// EPrinter and leaving nothing half written.
#include "platform/Printer.h"

#include "MemoryCanvas.h"

#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/internal/PrinterBackend.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using zuvo::platform::RecordedPage;
using zuvo::platform::ScopedPdfPrinter;
using zuvo::platform::ScopedRecordedPrinter;
using zuvo::platform::ScopedScriptedMessageBoxes;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// The smallest rectangle holding every pixel of the page that is not white (right and bottom
// excluded); empty when there is none.
RECT InkBox(const RecordedPage& page) {
  RECT box{page.width, page.height, 0, 0};
  for (int y = 0; y < page.height; ++y) {
    for (int x = 0; x < page.width; ++x) {
      if (page.pixels[static_cast<std::size_t>(y) * page.width + x] == 0xFFFFFF) continue;
      box.left = std::min<LONG>(box.left, x);
      box.top = std::min<LONG>(box.top, y);
      box.right = std::max<LONG>(box.right, x + 1);
      box.bottom = std::max<LONG>(box.bottom, y + 1);
    }
  }
  return box.right == 0 ? RECT{0, 0, 0, 0} : box;
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  if (!std::filesystem::exists(folder)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path());
  return files;
}

std::size_t CountOf(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// ---- Pages of text ----------------------------------------------------------------------------

TEST(PrinterTest, TextInNinePointSongTiTakesThePagesResolution) {
  ScopedRecordedPrinter printer(300);
  TPrinter* p = Printer();
  p->SetTitle("公告列表");
  p->SetOrientation(poPortrait);
  TCanvas* canvas = p->Canvas();
  canvas->Font()->SetName("宋体");
  canvas->Font()->SetSize(9);   // before the job: screen pixels
  canvas->Font()->SetColor(clBlack);
  EXPECT_EQ(canvas->Font()->Height(), -12);
  EXPECT_EQ(p->PageWidth(), 2480);   // A4 at 300 dpi, known before the job
  EXPECT_EQ(p->PageHeight(), 3508);

  // The same text on the screen, to compare with.
  platformtest::MemoryCanvas screen(200, 50);
  TCanvas screenCanvas;
  screenCanvas.SetHandle(screen.dc());
  screenCanvas.Font()->SetName("宋体");
  screenCanvas.Font()->SetSize(9);
  const int screenLine = screenCanvas.TextHeight("证");
  screenCanvas.SetHandle(nullptr);

  p->BeginDoc();
  ASSERT_TRUE(p->Printing());
  EXPECT_EQ(p->PageNumber(), 1);
  HDC page = p->Handle();
  EXPECT_EQ(GetDeviceCaps(page, LOGPIXELSX), 300);
  EXPECT_EQ(GetDeviceCaps(page, LOGPIXELSY), 300);
  EXPECT_EQ(GetDeviceCaps(page, HORZRES), 2480);
  EXPECT_EQ(GetDeviceCaps(page, VERTRES), 3508);
  EXPECT_EQ(GetDeviceCaps(page, PHYSICALWIDTH), 2480);
  EXPECT_EQ(GetDeviceCaps(page, TECHNOLOGY), DT_RASPRINTER);
  EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(page)), OBJ_DC);
  // A memory context made for the page has the page's resolution; one made for nothing, the screen's.
  HDC forPage = CreateCompatibleDC(page);
  HDC forScreen = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(forPage, LOGPIXELSY), 300);
  EXPECT_EQ(GetDeviceCaps(forScreen, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(forScreen, PHYSICALWIDTH), 0);
  DeleteDC(forPage);
  DeleteDC(forScreen);
  // The page context is the printer's: DeleteDC and ReleaseDC leave it.
  EXPECT_FALSE(DeleteDC(page));

  // 9 points at 300 dpi: 37.5 pixels of em, rounded as MulDiv rounds.
  EXPECT_EQ(canvas->Font()->Height(), -38);
  EXPECT_EQ(canvas->Font()->Size(), 9);
  const int line = canvas->TextHeight("证");
  EXPECT_GE(line, 38);
  EXPECT_NEAR(static_cast<double>(line) / screenLine, 300.0 / 96, 0.5);
  const int width = canvas->TextWidth("第二页的文字");
  EXPECT_GT(width, 5 * 38);

  canvas->TextOut(100, 300, "第一页");
  p->NewPage();
  EXPECT_EQ(p->PageNumber(), 2);
  canvas->Pen()->SetColor(clBlack);
  canvas->TextOut(100, 100, "第二页的文字");
  p->EndDoc();
  EXPECT_FALSE(p->Printing());
  EXPECT_FALSE(p->Aborted());

  ASSERT_EQ(printer.Documents().size(), 1u);
  const auto& document = printer.Documents()[0];
  EXPECT_EQ(document.title, "公告列表");
  EXPECT_EQ(document.dpi, 300);
  EXPECT_TRUE(document.finished);
  ASSERT_EQ(document.pages.size(), 2u);
  // Each page shows its own text only: the second page starts blank.
  const RECT first = InkBox(document.pages[0]);
  const RECT second = InkBox(document.pages[1]);
  EXPECT_GE(first.top, 300);
  EXPECT_LE(first.bottom, 300 + line);
  EXPECT_GE(second.left, 100);
  EXPECT_GE(second.top, 100);
  EXPECT_LE(second.right, 100 + width);
  EXPECT_LE(second.bottom, 100 + line);
  // Text of 9 points at 300 dpi is about a line high and six characters wide.
  EXPECT_GT(second.bottom - second.top, line / 2);
  EXPECT_GT(second.right - second.left, width * 3 / 4);
  EXPECT_EQ(document.pages[1].Pixel(99, 99), kWhite);

  // After the job the size in points stays.
  EXPECT_EQ(canvas->Font()->Size(), 9);
}

TEST(PrinterTest, LandscapeTurnsThePageAndFontsFollowAnotherResolution) {
  ScopedRecordedPrinter printer(150);
  TPrinter* p = Printer();
  p->Canvas()->Font()->SetSize(12);
  p->SetOrientation(poLandscape);
  p->BeginDoc();
  EXPECT_EQ(p->PageWidth(), 1754);   // 297 mm at 150 dpi
  EXPECT_EQ(p->PageHeight(), 1240);
  EXPECT_EQ(p->Canvas()->Font()->Height(), -25);   // 12 pt at 150 dpi
  p->EndDoc();
  p->SetOrientation(poPortrait);
  ASSERT_EQ(printer.Documents().size(), 1u);
  EXPECT_TRUE(printer.Documents()[0].landscape);
  ASSERT_EQ(printer.Documents()[0].pages.size(), 1u);
  EXPECT_EQ(printer.Documents()[0].pages[0].width, 1754);
}

// ---- A two-colour image stretched to a page ---------------------------------------------------

// As the list and chart views print: a view image turned into black and white pixel by pixel,
// framed and stretched onto the page inside margins of a twentieth.
TEST(PrinterTest, TwoColourImageStretchedOntoThePageExcludesRightAndBottom) {
  ScopedRecordedPrinter printer(100);
  TPrinter* p = Printer();
  p->SetOrientation(poPortrait);
  p->BeginDoc();
  HDC page = p->Handle();
  const int pw = p->PageWidth(), ph = p->PageHeight();
  const int mx = pw / 20, my = ph / 20;

  // A 12 x 8 view: a black frame one pixel wide around white, and a 4 x 2 black block.
  constexpr int w = 12, h = 8;
  HDC memory = CreateCompatibleDC(page);
  HBITMAP mono = CreateBitmap(w, h, 1, 1, nullptr);
  HGDIOBJ old = SelectObject(memory, mono);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool ink = x == 0 || y == 0 || x == w - 1 || y == h - 1 || (x >= 4 && x < 8 && y >= 3 && y < 5);
      // The views decide white or black themselves; a colour would snap to the nearer.
      SetPixelV(memory, x, y, ink ? RGB(20, 0, 40) : RGB(212, 208, 200));
    }
  }
  BITMAP info{};
  ASSERT_EQ(GetObjectA(mono, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmBitsPixel, 1);

  const int scale = (pw - 2 * mx) / w;
  const int outW = w * scale - 1, outH = h * scale - 1;
  p->Canvas()->Pen()->SetColor(clBlack);
  p->Canvas()->Brush()->SetStyle(bsClear);
  p->Canvas()->Rectangle(mx - 1, my - 1, mx + outW + 2, my + outH + 2);
  ASSERT_TRUE(StretchBlt(page, mx, my, outW, outH, memory, 0, 0, w, h, SRCCOPY));
  SelectObject(memory, old);
  DeleteObject(mono);
  DeleteDC(memory);
  p->EndDoc();

  ASSERT_EQ(printer.Documents().size(), 1u);
  const RecordedPage& out = printer.Documents()[0].pages.at(0);
  // The stretched image: its frame lies on the first and last row and column it covers, the
  // columns and rows beyond (right and bottom excluded) stay white up to the drawn frame.
  EXPECT_EQ(out.Pixel(mx, my + outH / 2), kBlack);
  EXPECT_EQ(out.Pixel(mx + outW - 1, my + outH / 2), kBlack);
  EXPECT_EQ(out.Pixel(mx + outW, my + outH / 2), kWhite);
  EXPECT_EQ(out.Pixel(mx + outW / 2, my + outH - 1), kBlack);
  EXPECT_EQ(out.Pixel(mx + outW / 2, my + outH), kWhite);
  EXPECT_EQ(out.Pixel(mx + outW + 1, my + outH / 2), kBlack);   // the frame rectangle
  EXPECT_EQ(out.Pixel(mx + outW / 2, my + outH + 1), kBlack);
  EXPECT_EQ(out.Pixel(mx + outW + 2, my + outH / 2), kWhite);
  // Inside: white around the block, black at its centre, and nothing but black and white.
  EXPECT_EQ(out.Pixel(mx + 2 * scale + scale / 2, my + 2 * scale + scale / 2), kWhite);
  EXPECT_EQ(out.Pixel(mx + 6 * scale, my + 4 * scale), kBlack);
  for (std::uint32_t c : out.pixels) {
    ASSERT_TRUE(c == 0 || c == 0xFFFFFF) << std::hex << c;
  }
}

// ---- PDF files --------------------------------------------------------------------------------

TEST(PrinterPdfTest, TwoPagesBecomeOnePdfFileAndTheUserIsTold) {
  testsupport::TempInstall tree;
  ScopedScriptedMessageBoxes boxes;
  const std::filesystem::path folder = tree.user() / "printed";
  ScopedPdfPrinter pdf(folder.string(), 150);
  TPrinter* p = Printer();
  p->SetOrientation(poPortrait);
  p->SetTitle("日报/期货");
  p->BeginDoc();
  p->Canvas()->Font()->SetName("宋体");
  p->Canvas()->Font()->SetSize(9);
  p->Canvas()->TextOut(100, 100, "第一页");
  p->NewPage();
  p->Canvas()->TextOut(100, 100, "第二页");
  p->Canvas()->Pen()->SetColor(clRed);
  p->Canvas()->Rectangle(50, 50, 400, 400);
  p->EndDoc();

  const std::vector<std::filesystem::path> files = FilesIn(folder);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].string(), pdf.LastFile());
  const std::string name = files[0].filename().string();
  EXPECT_EQ(name.rfind(zuvo::platform::gbk::ToUtf8("日报_期货-"), 0), 0u) << name;
  EXPECT_EQ(files[0].extension(), ".pdf");
  const std::string bytes = testsupport::ReadBytes(files[0]);
  EXPECT_EQ(bytes.rfind("%PDF", 0), 0u);
  EXPECT_EQ(CountOf(bytes, "/Type /Page") - CountOf(bytes, "/Type /Pages"), 2u);

  ASSERT_EQ(boxes->Count(), 1u);
  const auto shown = boxes->Shown()[0];
  EXPECT_EQ(shown.icon, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_NE(shown.text.find(zuvo::platform::gbk::FromUtf8(files[0].string())), std::string::npos);
}

TEST(PrinterPdfTest, AbortAndFailuresLeaveNoFile) {
  testsupport::TempInstall tree;
  ScopedScriptedMessageBoxes boxes;
  const std::filesystem::path folder = tree.user() / "printed";
  {
    ScopedPdfPrinter pdf(folder.string(), 100);
    TPrinter* p = Printer();
    p->SetTitle("abort");
    p->BeginDoc();
    p->Canvas()->TextOut(10, 10, "x");
    p->NewPage();
    p->Canvas()->TextOut(10, 10, "y");
    p->Abort();
    EXPECT_FALSE(p->Printing());
    EXPECT_TRUE(p->Aborted());
    EXPECT_TRUE(FilesIn(folder).empty());
    EXPECT_TRUE(pdf.LastFile().empty());
    p->Abort();   // again: nothing to drop, no error
  }
  {
    // The folder cannot be made (a file stands in its place): nothing starts, nothing is left.
    testsupport::WriteBytes(tree.user() / "blocked", "x");
    ScopedPdfPrinter pdf((tree.user() / "blocked" / "pdf").string(), 100);
    EXPECT_THROW(Printer()->BeginDoc(), EPrinter);
    EXPECT_FALSE(Printer()->Printing());
  }
  EXPECT_EQ(boxes->Count(), 0u);
}

// ---- Misuse and failures ----------------------------------------------------------------------

TEST(PrinterTest, WithoutADocumentEveryPageCallRaises) {
  ScopedRecordedPrinter printer(100);
  TPrinter* p = Printer();
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"NewPage", [p] { p->NewPage(); }},
      {"EndDoc", [p] { p->EndDoc(); }},
      {"Handle", [p] { p->Handle(); }},
      {"TextOut", [p] { p->Canvas()->TextOut(0, 0, "x"); }},
      {"Rectangle", [p] { p->Canvas()->Rectangle(0, 0, 10, 10); }},
      {"TextHeight", [p] { p->Canvas()->TextHeight("x"); }},
  };
  for (const auto& [name, call] : calls) {
    EXPECT_THROW(call(), EPrinter) << name;
  }
  // The same once a document has ended.
  p->BeginDoc();
  p->EndDoc();
  for (const auto& [name, call] : calls) {
    EXPECT_THROW(call(), EPrinter) << name << " after EndDoc";
  }
  // A second BeginDoc and a turn of the page while printing are refused; the job goes on.
  p->BeginDoc();
  EXPECT_THROW(p->BeginDoc(), EPrinter);
  EXPECT_THROW(p->SetOrientation(poLandscape), EPrinter);
  EXPECT_TRUE(p->Printing());
  p->EndDoc();
  ASSERT_EQ(printer.Documents().size(), 2u);
  EXPECT_EQ(printer.Documents()[1].pages.size(), 1u);
}

TEST(PrinterTest, APageOfNoSizeOrARefusedPageRaisesAndEndsTheJob) {
  {
    ScopedRecordedPrinter printer(300, 0, 297);
    EXPECT_THROW(Printer()->BeginDoc(), EPrinter);
    EXPECT_FALSE(Printer()->Printing());
    EXPECT_TRUE(printer.Documents().empty());
  }
  ScopedRecordedPrinter printer(100);
  TPrinter* p = Printer();
  p->BeginDoc();
  printer.FailNextPage();
  EXPECT_THROW(p->NewPage(), EPrinter);
  EXPECT_FALSE(p->Printing());
  EXPECT_TRUE(p->Aborted());
  p->Abort();   // a handler's Abort after the error does nothing more
  ASSERT_EQ(printer.Documents().size(), 1u);
  EXPECT_TRUE(printer.Documents()[0].cancelled);
  EXPECT_FALSE(printer.Documents()[0].finished);
  // The next job works.
  p->BeginDoc();
  p->EndDoc();
  EXPECT_TRUE(printer.Documents()[1].finished);
}

// What the GDI layer reports when a drawing call onto a context fails: on the current page it
// ends the job and raises; on any other context, or after the job, it does nothing.
TEST(PrinterTest, DrawingThatFailsOnThePageRaisesAndEndsTheJob) {
  ScopedRecordedPrinter printer(100);
  TPrinter* p = Printer();
  p->BeginDoc();
  HDC page = p->Handle();
  HDC memory = CreateCompatibleDC(page);
  EXPECT_NO_THROW(zuvo::platform::PageDrawingFailed(memory));
  EXPECT_NO_THROW(zuvo::platform::PageDrawingFailed(nullptr));
  EXPECT_TRUE(p->Printing());
  EXPECT_THROW(zuvo::platform::PageDrawingFailed(page), EPrinter);
  EXPECT_FALSE(p->Printing());
  EXPECT_TRUE(p->Aborted());
  EXPECT_NO_THROW(zuvo::platform::PageDrawingFailed(page));   // the page is gone with its job
  ASSERT_EQ(printer.Documents().size(), 1u);
  EXPECT_TRUE(printer.Documents()[0].cancelled);
  EXPECT_TRUE(printer.Documents()[0].pages.empty());
  DeleteDC(memory);
  p->BeginDoc();
  p->EndDoc();
  EXPECT_TRUE(printer.Documents()[1].finished);
}

// A blit onto the page from a source that is gone raises from the drawing call itself; the same
// blit into a memory bitmap only fails.
TEST(PrinterTest, ABlitFromADeadSourceOntoThePageRaises) {
  ScopedRecordedPrinter printer(100);
  TPrinter* p = Printer();
  p->BeginDoc();
  HDC page = p->Handle();
  HDC dead = CreateCompatibleDC(page);
  DeleteDC(dead);
  HDC memory = CreateCompatibleDC(page);
  HBITMAP bitmap = CreateCompatibleBitmap(page, 10, 10);
  HGDIOBJ old = SelectObject(memory, bitmap);
  EXPECT_FALSE(BitBlt(memory, 0, 0, 10, 10, dead, 0, 0, SRCCOPY));
  EXPECT_TRUE(p->Printing());
  EXPECT_THROW(StretchBlt(page, 0, 0, 20, 20, dead, 0, 0, 10, 10, SRCCOPY), EPrinter);
  EXPECT_FALSE(p->Printing());
  ASSERT_EQ(printer.Documents().size(), 1u);
  EXPECT_TRUE(printer.Documents()[0].cancelled);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

}  // namespace
