// Libraries loaded at run time: a fake trading library loaded by its Windows name in another
// case, its exports called and one found missing; the loaded-module lookup before, during and
// after use; the built-in system modules and their functions; the picture library's conversions
// and drawing, and the switches that make it absent.
#include "platform/Library.h"

#include "platform/Desktop.h"
#include "platform/Gdi.h"
#include "platform/GdiTransparent.h"
#include "platform/Kernel.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "support/TempInstall.h"
#include "MemoryCanvas.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;
using platformtest::MemoryCanvas;
using testsupport::TempInstall;

template <class Function>
Function As(FARPROC function) {
  return reinterpret_cast<Function>(function);
}

using EntrustProc = int (*)(const void* record, int number, const char* folder);
using SetResultProc = void (*)(int value);
using CallsProc = int (*)();
using LastRecordProc = void (*)(unsigned char* record);
using LastFolderProc = const char* (*)();

// Places a fake library in <root>/Trader under a lower-case native name, as an outside program
// would ship it, and forgets the path cache so the platform sees it.
fs::path PlaceLibrary(const TempInstall& install, const char* builtFile, const char* nativeName) {
  const fs::path folder = install.root() / "Trader";
  fs::create_directories(folder);
  const fs::path target = folder / nativeName;
  fs::copy_file(builtFile, target, fs::copy_options::overwrite_existing);
  paths::InvalidateCache();
  return target;
}

class LibraryTest : public testing::Test {
 protected:
  TempInstall install_;
};

TEST_F(LibraryTest, AFakeTradingLibraryLoadsByItsWindowsNameAndRecordsTheOrder) {
  PlaceLibrary(install_, ZUVO_FAKE_ENTRUST_LIBRARY, "libzedevi.so");
  HMODULE library = LoadLibraryA("..\\TRADER\\ZEDEVI.DLL");
  ASSERT_NE(library, nullptr) << GetLastError();

  const auto entrust = As<EntrustProc>(GetProcAddress(library, "fEntrust"));
  ASSERT_NE(entrust, nullptr);
  EXPECT_NE(GetProcAddress(library, "fQueryAmount"), nullptr);
  EXPECT_NE(GetProcAddress(library, "fIsOpen"), nullptr);
  EXPECT_EQ(GetProcAddress(library, "fWithdraw"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(library, nullptr), nullptr);
  // An ordinal is no name.
  EXPECT_EQ(GetProcAddress(library, reinterpret_cast<LPCSTR>(std::uintptr_t{1})), nullptr);

  // A 52-byte order record with a byte pattern in every field arrives whole, with the number and
  // folder beside it; the chosen results come back.
  unsigned char record[52];
  for (int i = 0; i < 52; ++i) record[i] = static_cast<unsigned char>(0xA0 + i);
  const auto setResult = As<SetResultProc>(GetProcAddress(library, "FakeEntrustSetResult"));
  ASSERT_NE(setResult, nullptr);
  setResult(-1);
  EXPECT_EQ(entrust(record, 0, "C:\\Trader"), -1);
  setResult(7);
  EXPECT_EQ(entrust(record, 0, "C:\\Trader"), 7);
  unsigned char seen[52] = {};
  As<LastRecordProc>(GetProcAddress(library, "FakeEntrustLastRecord"))(seen);
  EXPECT_EQ(std::memcmp(seen, record, sizeof record), 0);
  EXPECT_STREQ(As<LastFolderProc>(GetProcAddress(library, "FakeEntrustLastFolder"))(), "C:\\Trader");
  EXPECT_EQ(As<CallsProc>(GetProcAddress(library, "FakeEntrustCalls"))(), 2);
  EXPECT_EQ(As<CallsProc>(GetProcAddress(library, "FakeEntrustLastNumber"))(), 0);

  EXPECT_TRUE(FreeLibrary(library));
}

TEST_F(LibraryTest, ALibraryMissingAnExportStillLoads) {
  PlaceLibrary(install_, ZUVO_FAKE_ENTRUST_INCOMPLETE_LIBRARY, "LIBZEDEVI.SO");
  HMODULE library = LoadLibraryA("..\\Trader\\zedevi.dll");
  ASSERT_NE(library, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(library, "fEntrust"), nullptr);
  EXPECT_NE(GetProcAddress(library, "fQueryAmount"), nullptr);
  EXPECT_EQ(GetProcAddress(library, "fIsOpen"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(library));
}

TEST_F(LibraryTest, TheLoadedModuleLookupFollowsLoadsAndFrees) {
  PlaceLibrary(install_, ZUVO_FAKE_ENTRUST_LIBRARY, "libQXAccountDll.so");
  fs::copy_file(install_.root() / "Trader" / "libQXAccountDll.so", install_.bin() / "libQXAccountDll.so");
  paths::InvalidateCache();
  const char* names[] = {".\\QXAccountDll.dll", "qxaccountdll.DLL", "QXAccountDll"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(library::FindLoadedModule(name), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  }

  HMODULE first = LoadLibraryA(".\\QXAccountDll.dll");
  ASSERT_NE(first, nullptr) << GetLastError();
  // The same file by another spelling is the same module; the copy in another folder is not.
  HMODULE again = LoadLibraryA("QXACCOUNTDLL.DLL");
  EXPECT_EQ(again, first);
  EXPECT_EQ(library::FindLoadedModule("..\\Trader\\QXAccountDll.dll"), nullptr);
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(library::FindLoadedModule(name), first);
  }

  // The lookup counts no use: two frees unload it.
  EXPECT_TRUE(FreeLibrary(again));
  EXPECT_EQ(library::FindLoadedModule(".\\QXAccountDll.dll"), first);
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(library::FindLoadedModule(".\\QXAccountDll.dll"), nullptr);
  // The dead handle fails every call, and a new load gets a new handle.
  EXPECT_EQ(GetProcAddress(first, "fEntrust"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  HMODULE reloaded = LoadLibraryA(".\\QXAccountDll.dll");
  ASSERT_NE(reloaded, nullptr);
  EXPECT_NE(reloaded, first);
  EXPECT_TRUE(FreeLibrary(reloaded));
}

TEST_F(LibraryTest, NamesWithoutALoadableLibraryFail) {
  testsupport::WriteBytes(install_.bin() / "libnotes.so", "not a shared object");
  paths::InvalidateCache();
  struct Case {
    const char* name;
    DWORD error;
  };
  const Case cases[] = {
      {"ZEDEVI.DLL", ERROR_MOD_NOT_FOUND},          // not in the current folder
      {"..\\Trader\\ZEDEVI.DLL", ERROR_MOD_NOT_FOUND},
      {"nosuch.dll", ERROR_MOD_NOT_FOUND},
      {"notes.dll", ERROR_BAD_EXE_FORMAT},
      {"", ERROR_INVALID_PARAMETER},
      {nullptr, ERROR_INVALID_PARAMETER},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name ? test.name : "(null)");
    EXPECT_EQ(LoadLibraryA(test.name), nullptr);
    EXPECT_EQ(GetLastError(), test.error);
  }
  EXPECT_EQ(GetProcAddress(nullptr, "fEntrust"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST_F(LibraryTest, BuiltInModulesHandOutThePlatformsFunctions) {
  struct Case {
    const char* module;
    const char* function;
    FARPROC expected;   // null: the module has no such export
  };
  const Case cases[] = {
      {"kernel32.dll", "GetDiskFreeSpaceExA", reinterpret_cast<FARPROC>(&GetDiskFreeSpaceExA)},
      {"KERNEL32.DLL", "GetDiskFreeSpaceA", nullptr},
      {"Msimg32.dll", "TransparentBlt", reinterpret_cast<FARPROC>(&TransparentBlt)},
      {"MSIMG32", "AlphaBlend", reinterpret_cast<FARPROC>(&AlphaBlend)},
      {"msimg32.dll", "alphablend", nullptr},   // export names keep their case
      {"gdiplus.dll", "GdiplusStartup", nullptr},
      {"PSAPI.DLL", "GetModuleFileNameExA", reinterpret_cast<FARPROC>(&GetModuleFileNameExA)},
      {"psapi", "EnumProcesses", nullptr},
      {"C:\\WINDOWS\\system32\\kernel32.dll", "GetDiskFreeSpaceExA", reinterpret_cast<FARPROC>(&GetDiskFreeSpaceExA)},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.module) + " " + test.function);
    HMODULE module = LoadLibraryA(test.module);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, test.function), test.expected);
    EXPECT_TRUE(FreeLibrary(module));
  }

  // kernel32.dll is there without a load and stays after a free; the others come and go.
  HMODULE kernel = library::FindLoadedModule("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  EXPECT_TRUE(FreeLibrary(kernel));
  EXPECT_EQ(library::FindLoadedModule("Kernel32"), kernel);
  for (const char* name : {"Msimg32.dll", "gdiplus.dll", "PSAPI.DLL", "smoothdc.dll"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(library::FindLoadedModule(name), nullptr);
    HMODULE module = LoadLibraryA(name);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(library::FindLoadedModule(name), module);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(library::FindLoadedModule(name), nullptr);
  }
  EXPECT_EQ(LoadLibraryA("user64.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

// ---- Msimg32 ---------------------------------------------------------------------------------

constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = MemoryCanvas::kWhite;

std::vector<COLORREF> Row(const MemoryCanvas& canvas, int y) {
  std::vector<COLORREF> row;
  for (int x = 0; x < canvas.width(); ++x) row.push_back(GetPixel(canvas.dc(), x, y));
  return row;
}

TEST(LibraryBlitTest, TransparentBltLeavesTheTransparentColourOut) {
  MemoryCanvas icon(4, 1);
  const COLORREF pixels[] = {kMagenta, kRed, kMagenta, kBlue};
  for (int x = 0; x < 4; ++x) SetPixelV(icon.dc(), x, 0, pixels[x]);

  MemoryCanvas target(8, 2);
  ASSERT_TRUE(TransparentBlt(target.dc(), 1, 0, 4, 1, icon.dc(), 0, 0, 4, 1, kMagenta));
  EXPECT_EQ(Row(target, 0), (std::vector<COLORREF>{kWhite, kWhite, kRed, kWhite, kBlue, kWhite, kWhite, kWhite}));
  // Stretched twice as wide, nearest pixel.
  ASSERT_TRUE(TransparentBlt(target.dc(), 0, 1, 8, 1, icon.dc(), 0, 0, 4, 1, kMagenta));
  EXPECT_EQ(Row(target, 1), (std::vector<COLORREF>{kWhite, kWhite, kRed, kRed, kWhite, kWhite, kBlue, kBlue}));

  // A source beyond its image or a negative extent is refused and draws nothing.
  MemoryCanvas untouched(4, 1);
  EXPECT_FALSE(TransparentBlt(untouched.dc(), 0, 0, 4, 1, icon.dc(), 1, 0, 4, 1, kMagenta));
  EXPECT_FALSE(TransparentBlt(untouched.dc(), 0, 0, -4, 1, icon.dc(), 0, 0, 4, 1, kMagenta));
  EXPECT_FALSE(TransparentBlt(untouched.dc(), 0, 0, 4, 1, nullptr, 0, 0, 4, 1, kMagenta));
  EXPECT_EQ(Row(untouched, 0), std::vector<COLORREF>(4, kWhite));
}

TEST(LibraryBlitTest, AlphaBlendMixesWithTheConstantAlpha) {
  MemoryCanvas bar(2, 1);
  SetPixelV(bar.dc(), 0, 0, RGB(0, 0, 0));
  SetPixelV(bar.dc(), 1, 0, RGB(200, 100, 50));
  MemoryCanvas target(3, 1);
  SetPixelV(target.dc(), 1, 0, RGB(10, 20, 30));

  // The bars of the volume histogram: constant alpha 72, no per-pixel alpha.
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 72, 0};
  ASSERT_TRUE(AlphaBlend(target.dc(), 0, 0, 2, 1, bar.dc(), 0, 0, 2, 1, blend));
  const auto mix = [](int over, int under) { return static_cast<BYTE>((over * 72 + under * 183 + 127) / 255); };
  EXPECT_EQ(Row(target, 0), (std::vector<COLORREF>{RGB(mix(0, 255), mix(0, 255), mix(0, 255)),
                                                   RGB(mix(200, 10), mix(100, 20), mix(50, 30)), kWhite}));

  // Opaque copies, transparent leaves alone; the per-pixel form of an opaque bitmap is the same.
  MemoryCanvas opaque(2, 1), clear(2, 1), perPixel(2, 1);
  ASSERT_TRUE(AlphaBlend(opaque.dc(), 0, 0, 2, 1, bar.dc(), 0, 0, 2, 1, BLENDFUNCTION{AC_SRC_OVER, 0, 255, 0}));
  EXPECT_EQ(Row(opaque, 0), (std::vector<COLORREF>{RGB(0, 0, 0), RGB(200, 100, 50)}));
  ASSERT_TRUE(AlphaBlend(clear.dc(), 0, 0, 2, 1, bar.dc(), 0, 0, 2, 1, BLENDFUNCTION{AC_SRC_OVER, 0, 0, 0}));
  EXPECT_EQ(Row(clear, 0), std::vector<COLORREF>(2, kWhite));
  ASSERT_TRUE(AlphaBlend(perPixel.dc(), 0, 0, 2, 1, bar.dc(), 0, 0, 2, 1,
                         BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}));
  EXPECT_EQ(Row(perPixel, 0), Row(opaque, 0));

  EXPECT_FALSE(AlphaBlend(clear.dc(), 0, 0, 2, 1, bar.dc(), 0, 0, 3, 1, blend));
  EXPECT_FALSE(AlphaBlend(clear.dc(), 0, 0, 2, 1, bar.dc(), 0, 0, 2, 1, BLENDFUNCTION{1, 0, 72, 0}));
}

// ---- The picture library ---------------------------------------------------------------------

// A 24-bit bottom-up BMP file of width x height whose left half is red and right half blue.
std::string TwoColourBmp(int width, int height) {
  const int stride = (width * 3 + 3) / 4 * 4;
  const std::uint32_t pixelBytes = static_cast<std::uint32_t>(stride * height);
  std::string file(54 + pixelBytes, '\0');
  auto put16 = [&](std::size_t at, std::uint32_t v) {
    file[at] = static_cast<char>(v & 0xFF);
    file[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<std::uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  put16(26, 1);
  put16(28, 24);
  put32(34, pixelBytes);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t at = 54 + static_cast<std::size_t>(y * stride + x * 3);
      const bool red = x < width / 2;
      file[at] = static_cast<char>(red ? 0 : 255);       // blue
      file[at + 1] = 0;                                   // green
      file[at + 2] = static_cast<char>(red ? 255 : 0);   // red
    }
  }
  return file;
}

class PictureLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::WriteBytes(install_.bin() / "shot.bmp", TwoColourBmp(10, 6));
    paths::InvalidateCache();
    module_ = LoadLibraryA("smoothdc.dll");
    ASSERT_NE(module_, nullptr);
    convert_ = As<library::ConvertBitmapProc>(GetProcAddress(module_, "ConvertBitmap"));
    ASSERT_NE(convert_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  TempInstall install_;
  HMODULE module_ = nullptr;
  library::ConvertBitmapProc convert_ = nullptr;
};

TEST_F(PictureLibraryTest, ConvertBitmapWritesPngJpgAndGifOfTheSameSize) {
  for (const char* name : {"shot.png", "SHOT.JPG", "shot.jpeg", "Shot.Gif"}) {
    SCOPED_TRACE(name);
    const std::string destination = std::string("..\\data\\") + name;
    ASSERT_NE(convert_(".\\shot.bmp", destination.c_str()), 0);
    const QImage written(QString::fromStdString((install_.data() / name).string()));
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.width(), 10);
    EXPECT_EQ(written.height(), 6);
    // PNG keeps the two colours exactly, GIF's palette to its 5 bits per channel, JPG near
    // enough.
    const QRgb left = written.pixel(1, 3), right = written.pixel(8, 3);
    const std::string lower = QString::fromLatin1(name).toLower().toStdString();
    const int tolerance = lower.find(".png") != std::string::npos ? 0 : lower.find(".gif") != std::string::npos ? 8 : 40;
    EXPECT_NEAR(qRed(left), 255, tolerance);
    EXPECT_NEAR(qBlue(left), 0, tolerance);
    EXPECT_NEAR(qRed(right), 0, tolerance);
    EXPECT_NEAR(qBlue(right), 255, tolerance);
  }
  EXPECT_TRUE(fs::exists(install_.bin() / "shot.bmp"));   // the BMP is the caller's to delete
}

TEST_F(PictureLibraryTest, ConvertBitmapFailsWithoutTouchingTheDestination) {
  testsupport::WriteBytes(install_.bin() / "broken.bmp", TwoColourBmp(10, 6).substr(0, 60));
  testsupport::WriteBytes(install_.data() / "kept.png", "old picture");
  paths::InvalidateCache();
  struct Case {
    const char* source;
    const char* destination;
  };
  const Case cases[] = {
      {".\\shot.bmp", "..\\data\\shot.tif"},   // a format the library does not write
      {".\\shot.bmp", "..\\data\\shot"},
      {".\\missing.bmp", "..\\data\\kept.png"},
      {".\\broken.bmp", "..\\data\\kept.png"},
      {".\\shot.bmp", "..\\nowhere\\shot.png"},
      {nullptr, "..\\data\\kept.png"},
      {".\\shot.bmp", nullptr},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.source ? test.source : "(null)") + " -> " +
                 (test.destination ? test.destination : "(null)"));
    EXPECT_EQ(convert_(test.source, test.destination), 0);
  }
  EXPECT_EQ(testsupport::ReadBytes(install_.data() / "kept.png"), "old picture");
  EXPECT_FALSE(fs::exists(install_.data() / "shot.tif"));
  EXPECT_FALSE(fs::exists(install_.data() / "shot"));
}

// Counts the colours that are neither the background nor the text colour.
int InBetweenColours(const MemoryCanvas& canvas) {
  std::set<COLORREF> between;
  for (COLORREF pixel : canvas.All()) {
    if (pixel != kWhite && pixel != RGB(0, 0, 0)) between.insert(pixel);
  }
  return static_cast<int>(between.size());
}

TEST_F(PictureLibraryTest, TextOutAntialiasingSmoothsAFontThatIsNot) {
  const auto textOut = As<library::TextOutAntialiasingProc>(GetProcAddress(module_, "TextOutAntialiasing"));
  ASSERT_NE(textOut, nullptr);
  LOGFONTA font{};
  font.lfHeight = -16;
  font.lfQuality = NONANTIALIASED_QUALITY;
  HFONT jagged = CreateFontIndirectA(&font);
  MemoryCanvas plain(120, 24), smooth(120, 24);
  for (MemoryCanvas* canvas : {&plain, &smooth}) {
    SelectObject(canvas->dc(), jagged);
    SetTextColor(canvas->dc(), RGB(0, 0, 0));
    SetBkMode(canvas->dc(), TRANSPARENT);
  }
  ASSERT_TRUE(TextOutA(plain.dc(), 2, 2, "Wavy 123", 8));
  ASSERT_TRUE(textOut(smooth.dc(), 2, 2, "Wavy 123", 8));
  EXPECT_EQ(InBetweenColours(plain), 0);
  EXPECT_GT(InBetweenColours(smooth), 2);
  // The context keeps its own font.
  EXPECT_EQ(GetCurrentObject(smooth.dc(), OBJ_FONT), jagged);
  SelectObject(plain.dc(), GetStockObject(SYSTEM_FONT));
  SelectObject(smooth.dc(), GetStockObject(SYSTEM_FONT));
  DeleteObject(jagged);
  EXPECT_FALSE(textOut(nullptr, 0, 0, "x", 1));
}

TEST_F(PictureLibraryTest, DrawLineAntialiasingSharesEachStepBetweenTwoPixels) {
  const auto line = As<library::DrawLineAntialiasingProc>(GetProcAddress(module_, "DrawLineAntialiasing"));
  ASSERT_NE(line, nullptr);
  MemoryCanvas canvas(11, 4);
  ASSERT_TRUE(line(canvas.dc(), 0, 0, 10, 3, RGB(0, 0, 0)));
  // The ends lie on pixels; steps between them are shared out.
  EXPECT_EQ(GetPixel(canvas.dc(), 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(canvas.dc(), 10, 3), RGB(0, 0, 0));
  EXPECT_GT(InBetweenColours(canvas), 2);
  for (int x = 0; x < 11; ++x) {
    int covered = 0;
    for (int y = 0; y < 4; ++y) covered += 255 - GetRValue(GetPixel(canvas.dc(), x, y));
    EXPECT_NEAR(covered, 255, 2) << "column " << x;
  }
  EXPECT_FALSE(line(nullptr, 0, 0, 1, 1, RGB(0, 0, 0)));
}

TEST(PictureLibrarySwitchTest, TheTestSwitchAndTheSettingMakeItAbsent) {
  TempInstall install;
  {
    library::ScopedPictureLibraryAbsent absent;
    EXPECT_EQ(LoadLibraryA("smoothdc.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  }
  HMODULE module = LoadLibraryA("SmoothDC.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_TRUE(FreeLibrary(module));

  const std::string setting = testsupport::CrlfLines({"[Platform]", "SmoothDC=0"});
  testsupport::WriteWholeFile(install.cfg() / "setting.ini", setting.data(), setting.size());
  EXPECT_EQ(LoadLibraryA("smoothdc.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  // The other built-in modules are not affected.
  HMODULE gdiplus = LoadLibraryA("gdiplus.dll");
  EXPECT_NE(gdiplus, nullptr);
  FreeLibrary(gdiplus);
}

}  // namespace
