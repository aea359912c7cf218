// BMP pictures loaded as bitmaps (each depth, both row orders, damaged files refused) and image
// lists drawn by pixels.
#include "MemoryCanvas.h"

#include "platform/Files.h"
#include "platform/HandleTable.h"
#include "platform/WinUser.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using platformtest::MemoryCanvas;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// ---- BMP files ---------------------------------------------------------------------------------

void Put16(std::string& bytes, std::size_t at, std::uint16_t v) {
  bytes[at] = static_cast<char>(v & 0xFF);
  bytes[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Offsets of the fields in a file with a BITMAPINFOHEADER.
enum Field : std::size_t {
  kFileSize = 2, kPixelOffset = 10, kHeaderSize = 14, kWidth = 18, kHeight = 22, kPlanes = 26, kBits = 28,
  kCompression = 30, kImageSize = 34, kColoursUsed = 46, kColoursImportant = 50,
};

// A BMP file of `width` x |height| (negative: rows stored top-down). Depths up to 8 hold
// `pixel(x, y)` as an index into `palette`, deeper ones as a COLORREF; (0, 0) is the top left.
template <typename PixelOf>
std::string Bmp(int width, int height, int bits, const std::vector<COLORREF>& palette, PixelOf pixel,
                int headerSize = 40) {
  const int rows = height < 0 ? -height : height;
  const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  const std::size_t tableOffset = 14 + static_cast<std::size_t>(headerSize);
  const std::size_t pixelOffset = tableOffset + palette.size() * 4;
  std::string bytes(pixelOffset + stride * rows, '\0');
  bytes[0] = 'B';
  bytes[1] = 'M';
  Put32(bytes, kFileSize, static_cast<std::uint32_t>(bytes.size()));
  Put32(bytes, kPixelOffset, static_cast<std::uint32_t>(pixelOffset));
  Put32(bytes, kHeaderSize, static_cast<std::uint32_t>(headerSize));
  Put32(bytes, kWidth, static_cast<std::uint32_t>(width));
  Put32(bytes, kHeight, static_cast<std::uint32_t>(height));
  Put16(bytes, kPlanes, 1);
  Put16(bytes, kBits, static_cast<std::uint16_t>(bits));
  Put32(bytes, kImageSize, static_cast<std::uint32_t>(stride * rows));
  Put32(bytes, kColoursUsed, static_cast<std::uint32_t>(palette.size()));
  for (std::size_t i = 0; i < palette.size(); ++i) {
    bytes[tableOffset + i * 4] = static_cast<char>(GetBValue(palette[i]));
    bytes[tableOffset + i * 4 + 1] = static_cast<char>(GetGValue(palette[i]));
    bytes[tableOffset + i * 4 + 2] = static_cast<char>(GetRValue(palette[i]));
  }
  for (int y = 0; y < rows; ++y) {
    const int stored = height < 0 ? y : rows - 1 - y;
    auto* row = reinterpret_cast<std::uint8_t*>(&bytes[pixelOffset + stride * stored]);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t v = pixel(x, y);
      switch (bits) {
        case 1: row[x / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= static_cast<std::uint8_t>((v & 0xF) << (x % 2 ? 0 : 4)); break;
        case 8: row[x] = static_cast<std::uint8_t>(v); break;
        default:
          row[x * bits / 8] = GetBValue(v);
          row[x * bits / 8 + 1] = GetGValue(v);
          row[x * bits / 8 + 2] = GetRValue(v);
          break;
      }
    }
  }
  return bytes;
}

const std::vector<COLORREF> kPalette = {kRed, kGreen, kBlue, kWhite, kBlack, kYellow, kMagenta, RGB(9, 99, 199)};

std::vector<COLORREF> PaletteOf(int bits) {
  if (bits > 8) return {};
  std::vector<COLORREF> palette(std::size_t{1} << bits, RGB(1, 2, 3));
  for (std::size_t i = 0; i < palette.size() && i < kPalette.size(); ++i) palette[i] = kPalette[i];
  return palette;
}

// The colour a test picture has at (x, y).
COLORREF Expected(int bits, int x, int y) {
  if (bits > 8) return RGB(x * 40, y * 80, 200 - x * 10);
  return kPalette[static_cast<std::size_t>(x + 2 * y) % std::min<std::size_t>(kPalette.size(), std::size_t{1} << bits)];
}

std::string Picture(int bits, int width, int height, int headerSize = 40) {
  return Bmp(width, height, bits, PaletteOf(bits), [bits](int x, int y) -> std::uint32_t {
    if (bits > 8) return Expected(bits, x, y);
    return static_cast<std::uint32_t>(x + 2 * y) % std::min<std::uint32_t>(8, 1u << bits);
  }, headerSize);
}

// Every pixel of a bitmap, read through a memory context.
std::vector<COLORREF> PixelsOf(HBITMAP bitmap) {
  BITMAP info{};
  if (GetObjectA(bitmap, sizeof info, &info) != sizeof info) return {};
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < info.bmHeight; ++y)
    for (int x = 0; x < info.bmWidth; ++x) pixels.push_back(GetPixel(dc, x, y));
  SelectObject(dc, old);
  DeleteDC(dc);
  return pixels;
}

HBITMAP FromBytes(const std::string& bytes) {
  return zuvo::platform::CreateBitmapFromBmpBytes(bytes.data(), bytes.size());
}

class BmpTest : public ::testing::Test {
 protected:
  // Writes the bytes as data\<name> and loads them through LoadImageA.
  HBITMAP LoadFile(const std::string& name, const std::string& bytes, int cx = 0, int cy = 0,
                   UINT flags = LR_LOADFROMFILE) {
    testsupport::WriteBytes(install_.data() / name, bytes);
    return static_cast<HBITMAP>(LoadImageA(nullptr, ("..\\DATA\\" + name).c_str(), IMAGE_BITMAP, cx, cy, flags));
  }
  testsupport::TempInstall install_;
};

TEST_F(BmpTest, EachDepthAndRowOrderLoadsItsPixels) {
  constexpr int kWidth = 5;   // odd, so rows are padded and sub-byte pixels leave bits over
  constexpr int kHeight = 3;
  for (int bits : {1, 4, 8, 24, 32}) {
    for (bool topDown : {false, true}) {
      for (int headerSize : {40, 124}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, " << (topDown ? "top-down" : "bottom-up") << ", header "
                                        << headerSize);
        const std::string file = Picture(bits, kWidth, topDown ? -kHeight : kHeight, headerSize);
        std::vector<COLORREF> expected;
        for (int y = 0; y < kHeight; ++y)
          for (int x = 0; x < kWidth; ++x) expected.push_back(Expected(bits, x, y));
        HBITMAP fromBytes = FromBytes(file);
        HBITMAP fromFile = LoadFile("picture.bmp", file);
        ASSERT_NE(fromBytes, nullptr);
        ASSERT_NE(fromFile, nullptr);
        EXPECT_EQ(GetObjectType(fromFile), OBJ_BITMAP);
        BITMAP info{};
        ASSERT_EQ(GetObjectA(fromFile, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmWidth, kWidth);
        EXPECT_EQ(info.bmHeight, kHeight);
        EXPECT_EQ(PixelsOf(fromBytes), expected);
        EXPECT_EQ(PixelsOf(fromFile), expected);
        EXPECT_TRUE(DeleteObject(fromBytes));
        EXPECT_TRUE(DeleteObject(fromFile));
      }
    }
  }
}

TEST_F(BmpTest, LoadedBitmapsBlitAndStretchLikeOthers) {
  HBITMAP bitmap = LoadFile("blit.bmp", Picture(24, 5, 3));
  ASSERT_NE(bitmap, nullptr);
  HDC source = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(source, bitmap);
  MemoryCanvas canvas(12, 8);
  EXPECT_TRUE(BitBlt(canvas.dc(), 1, 1, 5, 3, source, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(canvas.dc(), 1 + 4, 1 + 2), Expected(24, 4, 2));
  EXPECT_TRUE(StretchBlt(canvas.dc(), 0, 4, 10, 3, source, 0, 0, 5, 3, SRCCOPY));
  EXPECT_EQ(GetPixel(canvas.dc(), 9, 4 + 1), Expected(24, 4, 1));
  SelectObject(source, old);
  DeleteDC(source);
  DeleteObject(bitmap);
  // cx and cy stretch the picture as it loads.
  HBITMAP doubled = LoadFile("blit.bmp", Picture(24, 5, 3), 10, 6);
  BITMAP info{};
  GetObjectA(doubled, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 10);
  EXPECT_EQ(info.bmHeight, 6);
  EXPECT_EQ(PixelsOf(doubled)[static_cast<std::size_t>(3 * 10 + 7)], Expected(24, 3, 1));
  DeleteObject(doubled);
}

TEST_F(BmpTest, ShortColourTablesAndOptionalOnesAreRead) {
  // Four entries for 8 bits: an index past them is black, not a read past the table.
  std::string shortTable = Bmp(4, 1, 8, {kRed, kGreen, kBlue, kYellow}, [](int x, int) -> std::uint32_t {
    return x == 3 ? 200 : static_cast<std::uint32_t>(x);
  });
  HBITMAP bitmap = FromBytes(shortTable);
  EXPECT_EQ(PixelsOf(bitmap), (std::vector<COLORREF>{kRed, kGreen, kBlue, kBlack}));
  DeleteObject(bitmap);
  // A true-colour file may carry a palette for 8-bit displays; the pixels follow it.
  std::string withTable =
      Bmp(2, 1, 24, {kRed, kGreen, kBlue}, [](int x, int) -> std::uint32_t { return x ? kMagenta : kYellow; });
  bitmap = FromBytes(withTable);
  EXPECT_EQ(PixelsOf(bitmap), (std::vector<COLORREF>{kYellow, kMagenta}));
  DeleteObject(bitmap);
  // A file size of 0 is allowed (old writers leave it out).
  std::string noSize = Picture(8, 3, 2);
  Put32(noSize, kFileSize, 0);
  bitmap = FromBytes(noSize);
  EXPECT_NE(bitmap, nullptr);
  DeleteObject(bitmap);
}

TEST_F(BmpTest, TruncatedFilesGiveNull) {
  const std::string file = Picture(8, 5, 3);   // 54 header bytes, 1024 of table, 24 of pixels
  std::string unsized = file;
  Put32(unsized, kFileSize, 0);   // so that only the layout checks can find the cut
  const std::size_t cuts[] = {0, 1, 2, 13, 14, 17, 30, 53, 54, 55, 600, 1077, 1078, 1079, 1090, file.size() - 1};
  for (const std::string& bytes : {file, unsized}) {
    for (std::size_t cut : cuts) {
      SCOPED_TRACE(testing::Message() << "cut at " << cut << (bytes[kFileSize] == 0 ? ", no file size" : ""));
      // An allocation of the exact length, so that the sanitizer sees a read past it.
      std::vector<char> exact(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      EXPECT_EQ(zuvo::platform::CreateBitmapFromBmpBytes(exact.empty() ? nullptr : exact.data(), exact.size()), nullptr);
      if (cut == 0 || cut == 1 || cut == 54 || cut == 1079) {
        EXPECT_EQ(LoadFile("cut.bmp", bytes.substr(0, cut)), nullptr);
      }
    }
  }
}

TEST_F(BmpTest, DamagedOrHostileHeadersGiveNull) {
  const std::string good = Picture(8, 5, 3);
  const std::uint32_t pixelOffset = 54 + 256 * 4;
  struct Case {
    const char* name;
    std::size_t field;
    std::uint32_t value;
    bool word = false;
  };
  const Case cases[] = {
      {"not BM", 0, 'B' | ('A' << 8), true},
      {"core header (12 bytes)", kHeaderSize, 12},
      {"header size 41", kHeaderSize, 41},
      {"a longer header running into the table", kHeaderSize, 124},
      {"width 0", kWidth, 0},
      {"negative width", kWidth, static_cast<std::uint32_t>(-5)},
      {"height 0", kHeight, 0},
      {"height INT32_MIN", kHeight, 0x80000000u},
      {"huge width and height", kWidth, 0x7FFFFFFF},
      {"planes 0", kPlanes, 0, true},
      {"planes 2", kPlanes, 2, true},
      {"bits 0", kBits, 0, true},
      {"bits 2", kBits, 2, true},
      {"bits 16", kBits, 16, true},
      {"bits 0xFFFF", kBits, 0xFFFF, true},
      {"RLE8", kCompression, 1},
      {"bit fields", kCompression, 3},
      {"257 colours for 8 bits", kColoursUsed, 257},
      {"colours used 0xFFFFFFFF", kColoursUsed, 0xFFFFFFFFu},
      {"more important colours than colours", kColoursImportant, 257},
      {"pixels inside the headers", kPixelOffset, 20},
      {"pixels inside the table", kPixelOffset, pixelOffset - 4},
      {"pixels past the end", kPixelOffset, pixelOffset + 1},
      {"pixels far past the end", kPixelOffset, 0xFFFFFFFFu},
      {"image size smaller than the rows", kImageSize, 23},
      {"file size smaller than the pixels", kFileSize, pixelOffset + 20},
      {"file size beyond the bytes", kFileSize, pixelOffset + 25},
  };
  ASSERT_NE(FromBytes(good), nullptr) << "the unchanged file loads";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bad = good;
    if (c.word) Put16(bad, c.field, static_cast<std::uint16_t>(c.value));
    else Put32(bad, c.field, c.value);
    EXPECT_EQ(FromBytes(bad), nullptr);
  }
  // More colours than four bits can name.
  std::string fourBits = Picture(4, 5, 3);
  Put32(fourBits, kColoursUsed, 17);
  EXPECT_EQ(FromBytes(fourBits), nullptr);
}

TEST_F(BmpTest, PicturesBeyondTheSizeLimitGiveNullEvenWithAllTheirBytes) {
  // 4097 x 4096 at one bit: every byte is there (2 MB), yet the picture is above the limit.
  const std::string big = Bmp(4097, 4096, 1, {kBlack, kWhite}, [](int, int) -> std::uint32_t { return 0; });
  EXPECT_EQ(FromBytes(big), nullptr);
  const std::string limit = Bmp(4096, 4096, 1, {kBlack, kWhite}, [](int, int) -> std::uint32_t { return 1; });
  HBITMAP bitmap = FromBytes(limit);
  EXPECT_NE(bitmap, nullptr);
  DeleteObject(bitmap);
}

TEST_F(BmpTest, LoadImageRefusesOtherKindsAndMissingFiles) {
  const std::string file = Picture(24, 2, 2);
  const std::size_t handles = zuvo::platform::handles::OpenCount();
  EXPECT_EQ(LoadFile("a.bmp", file, 0, 0, 0), nullptr) << "resources are not loaded";
  EXPECT_EQ(LoadFile("a.bmp", file, 0, 0, LR_LOADFROMFILE | LR_LOADTRANSPARENT), nullptr);
  EXPECT_EQ(LoadFile("a.bmp", file, -1, 0), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, "..\\data\\a.bmp", IMAGE_ICON, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, "..\\data\\missing.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, "..\\data", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, nullptr, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
  HBITMAP bitmap = LoadFile("a.bmp", file, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION | LR_DEFAULTSIZE);
  EXPECT_NE(bitmap, nullptr);
  DeleteObject(bitmap);
  EXPECT_EQ(zuvo::platform::handles::OpenCount(), handles) << "every file opened is closed";
}

// ---- Image lists -------------------------------------------------------------------------------

// A bitmap of the given pixels, row by row.
HBITMAP BitmapOf(int width, int height, const std::vector<COLORREF>& pixels) {
  std::vector<std::uint32_t> bits;
  for (COLORREF c : pixels) bits.push_back((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
  return CreateBitmap(width, height, 1, 32, bits.data());
}

// Three 3 x 2 images side by side: red, green and blue, each with a magenta top-left pixel.
HBITMAP Strip() {
  std::vector<COLORREF> pixels;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x) pixels.push_back(x % 3 == 0 && y == 0 ? kMagenta : (x < 3 ? kRed : x < 6 ? kGreen : kBlue));
  return BitmapOf(9, 2, pixels);
}

// The canvas as letters: '.' white, 'r' red, 'g' green, 'b' blue, 'y' yellow, 'm' magenta,
// 'k' black, '?' other.
std::vector<std::string> Letters(const MemoryCanvas& canvas) {
  std::vector<std::string> rows;
  for (int y = 0; y < canvas.height(); ++y) {
    std::string row;
    for (int x = 0; x < canvas.width(); ++x) {
      switch (GetPixel(canvas.dc(), x, y)) {
        case kWhite: row += '.'; break;
        case kRed: row += 'r'; break;
        case kGreen: row += 'g'; break;
        case kBlue: row += 'b'; break;
        case kYellow: row += 'y'; break;
        case kMagenta: row += 'm'; break;
        case kBlack: row += 'k'; break;
        default: row += '?'; break;
      }
    }
    rows.push_back(row);
  }
  return rows;
}

class ImageListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_ = ImageList_Create(3, 2, ILC_MASK | ILC_COLOR24, 4, 4);
    strip_ = Strip();
  }
  void TearDown() override {
    ImageList_Destroy(list_);
    DeleteObject(strip_);
  }
  HIMAGELIST list_ = nullptr;
  HBITMAP strip_ = nullptr;
};

TEST_F(ImageListTest, AStripSplitsIntoImagesAndMaskedPixelsKeepTheDestination) {
  ASSERT_NE(list_, nullptr);
  int cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list_, &cx, &cy));
  EXPECT_EQ(cx, 3);
  EXPECT_EQ(cy, 2);
  EXPECT_EQ(ImageList_AddMasked(list_, strip_, kMagenta), 0);
  EXPECT_EQ(ImageList_GetImageCount(list_), 3);
  EXPECT_EQ(ImageList_AddMasked(list_, strip_, kMagenta), 3) << "the next images follow";
  EXPECT_EQ(ImageList_GetImageCount(list_), 6);

  MemoryCanvas canvas(9, 3);
  EXPECT_TRUE(ImageList_Draw(list_, 0, canvas.dc(), 0, 0, ILD_NORMAL));
  EXPECT_TRUE(ImageList_Draw(list_, 1, canvas.dc(), 3, 1, ILD_TRANSPARENT));
  EXPECT_TRUE(ImageList_Draw(list_, 5, canvas.dc(), 6, 0, ILD_NORMAL));
  EXPECT_EQ(Letters(canvas), (std::vector<std::string>{".rr....bb", "rrr.ggbbb", "...ggg..."}));
}

TEST_F(ImageListTest, BackgroundColoursFillTheMaskedPixels) {
  ImageList_AddMasked(list_, strip_, kMagenta);
  struct Case {
    const char* name;
    COLORREF listBackground;
    COLORREF rgbBk;
    UINT style;
    char corner;   // what the masked pixel shows over white
  };
  const Case cases[] = {
      {"CLR_NONE", CLR_NONE, CLR_NONE, ILD_NORMAL, '.'},
      {"a colour", CLR_NONE, kYellow, ILD_NORMAL, 'y'},
      {"a colour, transparent style", CLR_NONE, kYellow, ILD_TRANSPARENT, '.'},
      {"CLR_DEFAULT, the list's colour", kBlue, CLR_DEFAULT, ILD_NORMAL, 'b'},
      {"CLR_DEFAULT, the list's CLR_NONE", CLR_NONE, CLR_DEFAULT, ILD_NORMAL, '.'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageList_SetBkColor(list_, c.listBackground);
    MemoryCanvas canvas(3, 2);
    EXPECT_TRUE(ImageList_DrawEx(list_, 0, canvas.dc(), 0, 0, 0, 0, c.rgbBk, CLR_DEFAULT, c.style));
    EXPECT_EQ(Letters(canvas), (std::vector<std::string>{std::string(1, c.corner) + "rr", "rrr"}));
  }
  EXPECT_EQ(ImageList_GetBkColor(list_), CLR_NONE);
  // Part of the image, and its mask.
  MemoryCanvas canvas(4, 2);
  ImageList_DrawEx(list_, 1, canvas.dc(), 0, 0, 2, 1, CLR_NONE, CLR_NONE, ILD_NORMAL);
  ImageList_DrawEx(list_, 1, canvas.dc(), 2, 0, 2, 0, CLR_NONE, CLR_NONE, ILD_MASK);
  EXPECT_EQ(Letters(canvas), (std::vector<std::string>{".g.k", "..kk"}));
}

TEST_F(ImageListTest, AnIndexOutsideTheListDrawsNothing) {
  ImageList_AddMasked(list_, strip_, kMagenta);
  MemoryCanvas canvas(4, 3);
  const std::vector<std::string> blank = canvas.Rows();
  for (int index : {-1, 3, 1000, INT32_MIN}) {
    SCOPED_TRACE(index);
    EXPECT_FALSE(ImageList_Draw(list_, index, canvas.dc(), 0, 0, ILD_NORMAL));
    EXPECT_FALSE(ImageList_DrawEx(list_, index, canvas.dc(), 0, 0, 0, 0, kYellow, CLR_NONE, ILD_NORMAL));
  }
  EXPECT_FALSE(ImageList_Draw(list_, 0, nullptr, 0, 0, ILD_NORMAL)) << "dead context";
  EXPECT_TRUE(ImageList_Remove(list_, 0));
  EXPECT_EQ(ImageList_GetImageCount(list_), 2);
  EXPECT_FALSE(ImageList_Draw(list_, 2, canvas.dc(), 0, 0, ILD_NORMAL)) << "the last one moved down";
  EXPECT_TRUE(ImageList_Remove(list_, -1));
  EXPECT_FALSE(ImageList_Draw(list_, 0, canvas.dc(), 0, 0, ILD_NORMAL));
  EXPECT_EQ(canvas.Rows(), blank);
  // A destroyed list is dead.
  HIMAGELIST gone = ImageList_Create(3, 2, ILC_MASK, 1, 1);
  ImageList_AddMasked(gone, strip_, kMagenta);
  EXPECT_TRUE(ImageList_Destroy(gone));
  EXPECT_FALSE(ImageList_Destroy(gone));
  EXPECT_FALSE(ImageList_Draw(gone, 0, canvas.dc(), 0, 0, ILD_NORMAL));
  EXPECT_EQ(ImageList_GetImageCount(gone), 0);
  EXPECT_EQ(ImageList_AddMasked(gone, strip_, kMagenta), -1);
  EXPECT_EQ(canvas.Rows(), blank);
}

TEST_F(ImageListTest, MaskBitmapsListsWithoutMasksAndOddWidths) {
  // A mask marks in white what is transparent; ImageList_Add keeps the image's own pixels.
  HBITMAP mask = BitmapOf(3, 2, {kBlack, kWhite, kBlack, kBlack, kBlack, kWhite});
  EXPECT_EQ(ImageList_Add(list_, strip_, mask), 0);
  MemoryCanvas canvas(3, 2);
  ImageList_Draw(list_, 0, canvas.dc(), 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(Letters(canvas), (std::vector<std::string>{"m.r", "rr."}));
  DeleteObject(mask);
  // Without ILC_MASK every pixel is drawn, the mask colour too.
  HIMAGELIST plain = ImageList_Create(3, 2, ILC_COLOR24, 1, 1);
  EXPECT_EQ(ImageList_AddMasked(plain, strip_, kMagenta), 0);
  MemoryCanvas opaque(3, 2);
  ImageList_Draw(plain, 0, opaque.dc(), 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(Letters(opaque), (std::vector<std::string>{"mrr", "rrr"}));
  ImageList_Destroy(plain);
  // Only whole images are taken from a strip; a bitmap narrower than one adds nothing.
  HIMAGELIST wide = ImageList_Create(4, 2, ILC_MASK, 1, 1);
  EXPECT_EQ(ImageList_AddMasked(wide, strip_, kMagenta), 0);
  EXPECT_EQ(ImageList_GetImageCount(wide), 2);
  HBITMAP narrow = BitmapOf(3, 2, std::vector<COLORREF>(6, kRed));
  EXPECT_EQ(ImageList_AddMasked(wide, narrow, kMagenta), -1);
  EXPECT_EQ(ImageList_GetImageCount(wide), 2);
  EXPECT_EQ(ImageList_Add(wide, nullptr, nullptr), -1);
  DeleteObject(narrow);
  ImageList_Destroy(wide);
  EXPECT_EQ(ImageList_Create(0, 2, ILC_MASK, 1, 1), nullptr);
  EXPECT_EQ(ImageList_Create(8192, 8192, ILC_MASK, 1, 1), nullptr);
}

TEST_F(ImageListTest, DrawingFollowsTheOriginAndTheClip) {
  ImageList_AddMasked(list_, strip_, kMagenta);
  MemoryCanvas canvas(6, 3);
  SetViewportOrgEx(canvas.dc(), 2, 1, nullptr);
  IntersectClipRect(canvas.dc(), 0, 0, 2, 2);   // logical: device columns 2-3, rows 1-2
  ImageList_Draw(list_, 2, canvas.dc(), 0, 0, ILD_NORMAL);
  SetViewportOrgEx(canvas.dc(), 0, 0, nullptr);   // read back in device pixels
  EXPECT_EQ(Letters(canvas), (std::vector<std::string>{"......", "...b..", "..bb.."}));
}

// ---- Two-colour bitmaps ------------------------------------------------------------------------

// A two-colour bitmap holds only black and white: its bits as given, colours set or copied into
// it snapped to the nearer, and its pixels copied onto colour images as black and white.
TEST(TwoColourBitmapTest, PixelsAreBlackOrWhiteWhateverIsDrawn) {
  // Rows of whole 16-bit words, leftmost pixel in the high bit, 1 white: 10 pixels wide.
  const unsigned char bits[] = {0xA0, 0x40,   // 1010 0000 01.. : white at 0, 2, 9
                                0xFF, 0xC0};  // all white (the padding bits ignored)
  HBITMAP mono = CreateBitmap(10, 2, 1, 1, bits);
  ASSERT_NE(mono, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectA(mono, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmBitsPixel, 1);
  EXPECT_EQ(info.bmPlanes, 1);
  EXPECT_EQ(info.bmWidth, 10);
  EXPECT_EQ(info.bmWidthBytes, 2);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, mono);
  std::string row;
  for (int x = 0; x < 10; ++x) row += GetPixel(dc, x, 0) == kWhite ? 'w' : 'b';
  EXPECT_EQ(row, "wbwbbbbbbw");
  EXPECT_EQ(GetPixel(dc, 5, 1), kWhite);

  // Colours set become the nearer of black and white, and SetPixel says which.
  const struct { COLORREF set; COLORREF kept; } cases[] = {
      {kRed, kBlack}, {kYellow, kWhite}, {RGB(212, 208, 200), kWhite}, {RGB(127, 127, 127), kBlack},
      {RGB(128, 128, 128), kWhite}, {kBlue, kBlack}, {kWhite, kWhite},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SetPixel(dc, 1, 1, c.set), c.kept) << std::hex << c.set;
    EXPECT_EQ(GetPixel(dc, 1, 1), c.kept) << std::hex << c.set;
  }
  // Shapes and colour blits into it snap too.
  HBRUSH yellow = CreateSolidBrush(kYellow);
  RECT left{0, 0, 5, 2};
  FillRect(dc, &left, yellow);
  EXPECT_EQ(GetPixel(dc, 3, 0), kWhite);
  MemoryCanvas colour(10, 2);
  HBRUSH red = CreateSolidBrush(kRed);
  RECT all{0, 0, 10, 2};
  FillRect(colour.dc(), &all, red);
  SetPixelV(colour.dc(), 9, 0, kYellow);
  BitBlt(dc, 5, 0, 5, 2, colour.dc(), 5, 0, SRCCOPY);
  EXPECT_EQ(GetPixel(dc, 5, 0), kBlack);
  EXPECT_EQ(GetPixel(dc, 9, 0), kWhite);

  // Copied onto a colour image (stretched, too) it is black and white.
  MemoryCanvas target(20, 4);
  StretchBlt(target.dc(), 0, 0, 20, 4, dc, 0, 0, 10, 2, SRCCOPY);
  for (COLORREF c : target.All()) ASSERT_TRUE(c == kBlack || c == kWhite) << std::hex << c;
  EXPECT_EQ(GetPixel(target.dc(), 10, 0), kBlack);
  EXPECT_EQ(GetPixel(target.dc(), 19, 0), kWhite);

  SelectObject(dc, old);
  DeleteObject(yellow);
  DeleteObject(red);
  DeleteObject(mono);
  DeleteDC(dc);
  // Another depth stays a colour bitmap.
  HBITMAP deep = CreateBitmap(4, 4, 1, 32, nullptr);
  ASSERT_EQ(GetObjectA(deep, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmBitsPixel, 32);
  DeleteObject(deep);
}

}  // namespace
