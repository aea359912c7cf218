// Device-independent pixels out of bitmaps: the row layout at each depth, the default palette's
// tables and nearest colours, and the checks that keep a bad request from writing anything.
#include "platform/Gdi.h"
#include "platform/Screen.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// A 3 x 2 bitmap: top row red, green, blue; bottom row white, black, (250, 250, 250).
HBITMAP ThreeByTwo() {
  const std::uint32_t pixels[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0xFAFAFA};
  return CreateBitmap(3, 2, 1, 32, pixels);
}

struct Info {
  Info(int width, int height, int bits) : bytes(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0) {
    header() = BITMAPINFOHEADER{40, width, height, 1, static_cast<WORD>(bits), BI_RGB, 0, 0, 0, 0, 0};
  }
  BITMAPINFO* get() { return reinterpret_cast<BITMAPINFO*>(bytes.data()); }
  BITMAPINFOHEADER& header() { return get()->bmiHeader; }
  RGBQUAD colour(int i) {
    RGBQUAD quad;
    std::memcpy(&quad, bytes.data() + sizeof(BITMAPINFOHEADER) + i * sizeof(RGBQUAD), sizeof quad);
    return quad;
  }
  std::vector<std::uint8_t> bytes;
};

bool Is(RGBQUAD q, int r, int g, int b) { return q.rgbRed == r && q.rgbGreen == g && q.rgbBlue == b && q.rgbReserved == 0; }

class GdiDibTest : public testing::Test {
 protected:
  void SetUp() override { screen_ = GetDC(nullptr); }
  void TearDown() override {
    ReleaseDC(nullptr, screen_);
    DeleteObject(bitmap_);
  }
  HDC screen_ = nullptr;
  HBITMAP bitmap_ = ThreeByTwo();
};

TEST_F(GdiDibTest, TwentyFourBitRowsArePaddedAndBottomUp) {
  Info info(3, 2, 24);
  std::vector<std::uint8_t> bits(24, 0xCD);   // stride (3 * 24 + 31) / 32 * 4 = 12
  ASSERT_EQ(GetDIBits(screen_, bitmap_, 0, 2, bits.data(), info.get(), DIB_RGB_COLORS), 2);
  const std::vector<std::uint8_t> expected = {
      // the bottom row first: white, black, (250, 250, 250), then three bytes of padding
      0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFA, 0xFA, 0xFA, 0, 0, 0,
      // the top row: red, green, blue as blue-green-red triples
      0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0};
  EXPECT_EQ(bits, expected);
  EXPECT_EQ(info.header().biSizeImage, 24u);

  // A top-down header gives the rows the other way round; a start line picks one row.
  Info topDown(3, -2, 24);
  std::vector<std::uint8_t> row(12, 0xCD);
  ASSERT_EQ(GetDIBits(screen_, bitmap_, 0, 1, row.data(), topDown.get(), DIB_RGB_COLORS), 1);
  EXPECT_TRUE(std::equal(row.begin(), row.end(), expected.begin() + 12));
  ASSERT_EQ(GetDIBits(screen_, bitmap_, 1, 1, row.data(), info.get(), DIB_RGB_COLORS), 1);
  EXPECT_TRUE(std::equal(row.begin(), row.end(), expected.begin() + 12));
}

TEST_F(GdiDibTest, PaletteDepthsMapToTheNearestDefaultColour) {
  Info eight(3, 2, 8);
  std::vector<std::uint8_t> bits(8, 0xCD);   // stride 4
  ASSERT_EQ(GetDIBits(screen_, bitmap_, 0, 2, bits.data(), eight.get(), DIB_RGB_COLORS), 2);
  // The 20 system colours at both ends, black between.
  EXPECT_TRUE(Is(eight.colour(0), 0, 0, 0));
  EXPECT_TRUE(Is(eight.colour(7), 192, 192, 192));
  EXPECT_TRUE(Is(eight.colour(9), 166, 202, 240));
  EXPECT_TRUE(Is(eight.colour(10), 0, 0, 0));
  EXPECT_TRUE(Is(eight.colour(245), 0, 0, 0));
  EXPECT_TRUE(Is(eight.colour(246), 255, 251, 240));
  EXPECT_TRUE(Is(eight.colour(249), 255, 0, 0));
  EXPECT_TRUE(Is(eight.colour(255), 255, 255, 255));
  // White, black, near-white (closer to white than to cream), padding; red, green, blue.
  EXPECT_EQ(bits, (std::vector<std::uint8_t>{255, 0, 255, 0, 249, 250, 252, 0}));

  Info four(3, 2, 4);
  bits.assign(8, 0xCD);
  ASSERT_EQ(GetDIBits(screen_, bitmap_, 0, 2, bits.data(), four.get(), DIB_RGB_COLORS), 2);
  EXPECT_TRUE(Is(four.colour(8), 128, 128, 128));
  EXPECT_TRUE(Is(four.colour(15), 255, 255, 255));
  // Two pixels a byte, the left one high.
  EXPECT_EQ(bits, (std::vector<std::uint8_t>{0xF0, 0xF0, 0, 0, 0x9A, 0xC0, 0, 0}));

  Info one(3, 2, 1);
  bits.assign(8, 0xCD);
  ASSERT_EQ(GetDIBits(screen_, bitmap_, 0, 2, bits.data(), one.get(), DIB_RGB_COLORS), 2);
  EXPECT_TRUE(Is(one.colour(0), 0, 0, 0));
  EXPECT_TRUE(Is(one.colour(1), 255, 255, 255));
  // White black white; red, green, blue all nearer black.
  EXPECT_EQ(bits, (std::vector<std::uint8_t>{0xA0, 0, 0, 0, 0x00, 0, 0, 0}));
}

TEST_F(GdiDibTest, BadRequestsReturnZeroAndWriteNothing) {
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  HBITMAP dead = CreateBitmap(3, 2, 1, 32, nullptr);
  DeleteObject(dead);
  struct Case {
    const char* what;
    void (*spoil)(BITMAPINFOHEADER&);
    HDC dc;
    HBITMAP bitmap;
    UINT start, lines, usage;
  };
  const HDC dc = screen_;
  const Case cases[] = {
      {"header size", [](BITMAPINFOHEADER& h) { h.biSize = 12; }, dc, bitmap_, 0, 2, DIB_RGB_COLORS},
      {"planes", [](BITMAPINFOHEADER& h) { h.biPlanes = 2; }, dc, bitmap_, 0, 2, DIB_RGB_COLORS},
      {"compression", [](BITMAPINFOHEADER& h) { h.biCompression = 1; }, dc, bitmap_, 0, 2, DIB_RGB_COLORS},
      {"16 bits", [](BITMAPINFOHEADER& h) { h.biBitCount = 16; }, dc, bitmap_, 0, 2, DIB_RGB_COLORS},
      {"width", [](BITMAPINFOHEADER& h) { h.biWidth = 4; }, dc, bitmap_, 0, 2, DIB_RGB_COLORS},
      {"height", [](BITMAPINFOHEADER& h) { h.biHeight = 3; }, dc, bitmap_, 0, 2, DIB_RGB_COLORS},
      {"no lines", [](BITMAPINFOHEADER&) {}, dc, bitmap_, 0, 0, DIB_RGB_COLORS},
      {"lines past the end", [](BITMAPINFOHEADER&) {}, dc, bitmap_, 1, 2, DIB_RGB_COLORS},
      {"start past the end", [](BITMAPINFOHEADER&) {}, dc, bitmap_, 0xFFFFFFFFu, 2, DIB_RGB_COLORS},
      // 8 bits: two rows of 4 bytes.
      {"stated size short of the stride", [](BITMAPINFOHEADER& h) { h.biSizeImage = 7; }, dc, bitmap_, 0, 2, DIB_RGB_COLORS},
      {"palette indices", [](BITMAPINFOHEADER&) {}, dc, bitmap_, 0, 2, 1},
      {"dead context", [](BITMAPINFOHEADER&) {}, reinterpret_cast<HDC>(std::uintptr_t{0x7777}), bitmap_, 0, 2, DIB_RGB_COLORS},
      {"dead bitmap", [](BITMAPINFOHEADER&) {}, dc, dead, 0, 2, DIB_RGB_COLORS},
      {"a pen", [](BITMAPINFOHEADER&) {}, dc, pen, 0, 2, DIB_RGB_COLORS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Info info(3, 2, 8);
    c.spoil(info.header());
    const std::vector<std::uint8_t> before = info.bytes;
    std::vector<std::uint8_t> bits(64, 0xCD);
    EXPECT_EQ(GetDIBits(c.dc, c.bitmap, c.start, c.lines, bits.data(), info.get(), c.usage), 0);
    EXPECT_EQ(bits, std::vector<std::uint8_t>(64, 0xCD));
    EXPECT_EQ(info.bytes, before);
  }
  Info info(3, 2, 24);
  EXPECT_EQ(GetDIBits(screen_, bitmap_, 0, 2, nullptr, nullptr, DIB_RGB_COLORS), 0);
  DeleteObject(pen);
}

TEST_F(GdiDibTest, HeaderQueryDescribesTheBitmap) {
  Info info(0, 0, 0);
  ASSERT_EQ(GetDIBits(screen_, bitmap_, 0, 0, nullptr, info.get(), DIB_RGB_COLORS), 2);
  EXPECT_EQ(info.header().biWidth, 3);
  EXPECT_EQ(info.header().biHeight, 2);
  EXPECT_EQ(info.header().biBitCount, 32);
  EXPECT_EQ(info.header().biSizeImage, 24u);
}

TEST_F(GdiDibTest, DefaultPaletteIsSelectedAndRestoredLikeAStockObject) {
  HPALETTE stock = GetStockObject(DEFAULT_PALETTE);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(GetObjectType(stock), OBJ_PAL);
  HDC memory = CreateCompatibleDC(screen_);
  EXPECT_EQ(GetCurrentObject(memory, OBJ_PAL), stock);
  EXPECT_EQ(SelectPalette(memory, stock, FALSE), stock);
  // Not a palette, or a palette through SelectObject: refused, nothing changes.
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  EXPECT_EQ(SelectPalette(memory, pen, FALSE), nullptr);
  EXPECT_EQ(SelectObject(memory, stock), nullptr);
  EXPECT_EQ(GetCurrentObject(memory, OBJ_PAL), stock);
  DeleteObject(stock);   // a stock object outlives this
  EXPECT_EQ(GetObjectType(GetStockObject(DEFAULT_PALETTE)), OBJ_PAL);
  DeleteObject(pen);
  DeleteDC(memory);
}

TEST_F(GdiDibTest, DisplayDepthFollowsTheScreenSource) {
  for (int depth : {32, 16, 8, 4, 1}) {
    zuvo::platform::screen::ScopedScreenSource source({depth, std::nullopt});
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(GetDeviceCaps(display, BITSPIXEL) * GetDeviceCaps(display, PLANES), depth);
    DeleteDC(display);
  }
}

}  // namespace
