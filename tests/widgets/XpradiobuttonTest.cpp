// The package's radio buttons, headless: the anti-aliased line against pixels worked out by hand,
// the 12-sided marker, the fill images' quoted pixels and disc, the dot tables, a sibling's check
// repainting the old one.
#include "widgets/Xpradiobutton.h"

#include "XpButtonsFixture.h"

#include <string>
#include <vector>

namespace {

using namespace zuvo::widgets;
using xpbuttons::Memory;
using xpbuttons::Rgb;

COLORREF Grey(int v) { return RGB(v, v, v); }

// ---- The anti-aliased line ----------------------------------------------------------------------

struct Expect {
  int x, y;
  COLORREF colour;
};

struct LineCase {
  const char* name;
  int x0, y0, x1, y1;
  COLORREF line, back;
  std::vector<Expect> pixels;
};

TEST(XpSmoothLine, SegmentsAgainstHandWorkedPixels) {
  const COLORREF black = Grey(0), white = Grey(255), blue = RGB(28, 81, 128);
  const std::vector<LineCase> cases = {
      {"horizontal", 2, 5, 8, 5, black, white,
       {{2, 5, black}, {5, 5, black}, {8, 5, black}, {1, 5, white}, {9, 5, white}, {5, 4, white}, {5, 6, white}}},
      {"vertical, drawn upwards", 4, 9, 4, 2, black, white,
       {{4, 2, black}, {4, 6, black}, {4, 9, black}, {4, 1, white}, {4, 10, white}, {3, 5, white}}},
      {"diagonal", 2, 2, 6, 6, black, white, {{2, 2, black}, {4, 4, black}, {6, 6, black}, {3, 2, white}, {7, 7, white}}},
      {"anti-diagonal, drawn upwards", 4, 5, 8, 1, black, white,
       {{8, 1, black}, {6, 3, black}, {4, 5, black}, {5, 5, white}, {9, 0, white}}},
      // dx 5, dy 2: step 26214; the third step wraps and moves down a row.
      {"shallow, rightwards", 0, 0, 5, 2, black, white,
       {{0, 0, black}, {1, 0, Grey(102)}, {1, 1, Grey(153)}, {2, 0, Grey(204)}, {2, 1, Grey(51)},
        {3, 1, Grey(51)}, {3, 2, Grey(204)}, {4, 1, Grey(153)}, {4, 2, Grey(102)}, {5, 2, black},
        {3, 0, white}, {2, 2, white}}},
      {"shallow, leftwards", 5, 0, 0, 2, black, white,
       {{5, 0, black}, {4, 0, Grey(102)}, {4, 1, Grey(153)}, {3, 0, Grey(204)}, {3, 1, Grey(51)},
        {2, 1, Grey(51)}, {2, 2, Grey(204)}, {1, 1, Grey(153)}, {1, 2, Grey(102)}, {0, 2, black}}},
      {"shallow, light on dark", 0, 0, 5, 2, white, black,
       {{1, 0, Grey(153)}, {1, 1, Grey(102)}, {2, 0, Grey(51)}, {2, 1, Grey(204)}, {3, 1, Grey(204)},
        {3, 2, Grey(51)}, {4, 1, Grey(102)}, {4, 2, Grey(153)}, {5, 2, white}}},
      {"steep, drawn upwards", 2, 5, 0, 0, black, white,
       {{0, 0, black}, {0, 1, Grey(102)}, {1, 1, Grey(153)}, {0, 2, Grey(204)}, {1, 2, Grey(51)},
        {1, 3, Grey(51)}, {2, 3, Grey(204)}, {1, 4, Grey(153)}, {2, 4, Grey(102)}, {2, 5, black}}},
      {"steep, leftwards", 3, 0, 1, 5, black, white,
       {{3, 0, black}, {3, 1, Grey(102)}, {2, 1, Grey(153)}, {3, 2, Grey(204)}, {2, 2, Grey(51)},
        {2, 3, Grey(51)}, {1, 3, Grey(204)}, {2, 4, Grey(153)}, {1, 4, Grey(102)}, {1, 5, black}}},
      // A colour on the dialog face and on a dark ground: each channel moves between its own low
      // and high value, the weight taken from the darker of the two by luma.
      {"coloured on light", 0, 0, 3, 1, blue, RGB(236, 233, 216),
       {{1, 0, RGB(97, 131, 157)}, {1, 1, RGB(166, 182, 186)}, {2, 0, RGB(166, 182, 186)}, {2, 1, RGB(97, 131, 157)},
        {3, 1, blue}}},
      {"coloured on dark", 0, 0, 3, 1, blue, RGB(0, 0, 64),
       {{1, 0, RGB(18, 54, 106)}, {1, 1, RGB(9, 27, 85)}, {2, 0, RGB(9, 27, 85)}, {2, 1, RGB(18, 54, 106)}}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    Memory m(16, 16);
    m.Fill(c.back);
    xpradio::DrawSmoothLine(m.dc(), c.x0, c.y0, c.x1, c.y1, c.line);
    for (const Expect& e : c.pixels) EXPECT_EQ(Rgb(m.At(e.x, e.y)), Rgb(e.colour)) << e.x << "," << e.y;
  }
  // Off the image it draws what falls inside and nothing else.
  Memory m(4, 4);
  m.Fill(Grey(255));
  xpradio::DrawSmoothLine(m.dc(), -20, -7, 30, 9, Grey(0));
  xpradio::DrawSmoothLine(m.dc(), 2, -50000, 3, 50000, Grey(0));
}

TEST(XpSmoothLine, TwelveSidedMarkerVertices) {
  const auto v = xpradio::MarkerVertices(7, 8, 6);   // e = 5, g = 3
  const std::vector<std::pair<int, int>> want = {{13, 8}, {12, 5}, {10, 3}, {7, 2}, {4, 3}, {2, 5},
                                                 {1, 8},  {2, 11}, {4, 13}, {7, 14}, {10, 13}, {12, 11}};
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(v[i].x, want[i].first) << i;
    EXPECT_EQ(v[i].y, want[i].second) << i;
  }
  const auto big = xpradio::MarkerVertices(0, 0, 10);   // e = trunc(8.0) = 8, g = trunc(4.83) = 4
  EXPECT_EQ(big[1].x, 8);
  EXPECT_EQ(big[1].y, -4);
}

// ---- The radio button -----------------------------------------------------------------------------

class TProbeRadio : public TXPRadioButton {
 public:
  using TXPRadioButton::TXPRadioButton;
  using TXPRadioButton::m_bHot;
  using TXPRadioButton::m_bPressed;
};

using XpRadioTest = xpbuttons::XpButtonsTest;

COLORREF Hex(unsigned rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

TEST_F(XpRadioTest, FillImagesKeepTheQuotedPixelsAndFollowTheDisc) {
  using xpradio::Fill;
  const auto& normal = xpradio::FillImage(Fill::Normal);
  auto at = [](const std::array<COLORREF, 169>& image, int u, int v) { return image[static_cast<std::size_t>(v * 13 + u)]; };
  EXPECT_EQ(Rgb(at(normal, 5, 1)), Rgb(Hex(0xA7B7C1)));
  EXPECT_EQ(Rgb(at(normal, 6, 1)), Rgb(Hex(0xDADCDA)));
  EXPECT_EQ(Rgb(at(normal, 7, 1)), Rgb(Hex(0xABBAC6)));
  EXPECT_EQ(Rgb(at(normal, 1, 6)), Rgb(Hex(0xDADCDA)));
  EXPECT_EQ(Rgb(at(normal, 11, 6)), Rgb(Hex(0xF2F4F5)));
  // Inside the disc the ramps at (u + v - 2); the hot image's centre disc.
  const auto& hot = xpradio::FillImage(Fill::Hot);
  const auto& pressed = xpradio::FillImage(Fill::Pressed);
  EXPECT_EQ(Rgb(at(normal, 6, 6)), Rgb(Hex(0xF1F1EF)));
  EXPECT_EQ(Rgb(at(normal, 3, 3)), Rgb(Hex(0xE0E0DB)));
  EXPECT_EQ(Rgb(at(pressed, 6, 6)), Rgb(Hex(0xD7D5C8)));
  EXPECT_EQ(Rgb(at(pressed, 9, 9)), Rgb(Hex(0xEDEBDB)));
  EXPECT_EQ(Rgb(at(hot, 6, 6)), Rgb(RGB(241, 239, 223)));
  EXPECT_EQ(Rgb(at(hot, 4, 4)), Rgb(RGB(241, 239, 223)));
  EXPECT_EQ(Rgb(at(hot, 6, 2)), Rgb(Hex(0xFDD684)));
  EXPECT_EQ(Rgb(at(hot, 10, 6)), Rgb(Hex(0xF9BD48)));
  // Outside radius 5 (and on the outline) nothing is drawn.
  for (const auto* image : {&normal, &hot, &pressed}) {
    for (auto [u, v] : {std::pair{0, 0}, {6, 0}, {8, 1}, {1, 3}, {2, 2}, {10, 10}, {12, 6}, {0, 6}}) {
      EXPECT_EQ(at(*image, u, v), 0u) << u << "," << v;
    }
  }
}

TEST_F(XpRadioTest, PaintedMarkerOutlineFillAndDotTables) {
  // H = 17: a = 2, the marker's centre (7, 8), the dot's top-left (5, 6).
  const COLORREF dot[25] = {0,        Hex(0xA9DCA6), Hex(0x4DBF4A), Hex(0xA0D29E), 0,
                            Hex(0xA9DCA6), Hex(0x55D551), Hex(0x42C33F), Hex(0x2AA827), Hex(0x9ACC98),
                            Hex(0x4DBF4A), Hex(0x43C33F), Hex(0x38B935), Hex(0x22A220), Hex(0x249624),
                            Hex(0xA0D29E), Hex(0x29A826), Hex(0x21A121), Hex(0x139210), Hex(0x98C997),
                            0,        Hex(0x9ACC98), Hex(0x269623), Hex(0x98C897), 0};
  const COLORREF a = Hex(0xD0CEC1), b = Hex(0xC2C1B7), c = Hex(0xC0BFB5);
  const COLORREF greyDot[25] = {0, a, b, a, 0, a, c, c, c, a, b, c, c, c, b, a, c, c, c, a, 0, a, b, a, 0};
  auto* r = Make<TXPRadioButton>(10, 10, 113, 17, "Radio");
  form_->Show();
  Memory unchecked(113, 17), checked(113, 17), disabled(113, 17);
  r->DrawNormal(unchecked.dc());
  r->SetChecked(true);
  r->DrawNormal(checked.dc());
  r->SetEnabled(false);
  r->DrawDisabled(disabled.dc());
  // The outline's vertices, the quoted fill pixels at (1 + u, 2 + v), the parent's colour outside.
  for (auto [x, y] : {std::pair{13, 8}, {7, 2}, {1, 8}, {7, 14}, {12, 5}, {2, 11}}) {
    EXPECT_EQ(Rgb(unchecked.At(x, y)), Rgb(RGB(28, 81, 128))) << x << "," << y;
    EXPECT_EQ(Rgb(disabled.At(x, y)), Rgb(RGB(202, 200, 187))) << x << "," << y;
  }
  EXPECT_EQ(Rgb(unchecked.At(6, 3)), Rgb(Hex(0xA7B7C1)));
  EXPECT_EQ(Rgb(unchecked.At(12, 8)), Rgb(Hex(0xF2F4F5)));
  EXPECT_EQ(Rgb(unchecked.At(0, 0)), Rgb(kBack));
  EXPECT_EQ(Rgb(disabled.At(7, 8 - 3)), Rgb(kBack));   // inside the disabled outline: no fill
  for (int row = 0; row < 5; ++row) {
    for (int col = 0; col < 5; ++col) {
      SCOPED_TRACE(std::to_string(col) + "," + std::to_string(row));
      const int x = 5 + col, y = 6 + row;
      const COLORREF want = dot[row * 5 + col];
      EXPECT_EQ(Rgb(checked.At(x, y)), Rgb(want != 0 ? want : unchecked.At(x, y)));
      const COLORREF wantGrey = greyDot[row * 5 + col];
      EXPECT_EQ(Rgb(disabled.At(x, y)), Rgb(wantGrey != 0 ? wantGrey : kBack));
    }
  }
}

TEST_F(XpRadioTest, CheckingASiblingRepaintsTheOldOneWithoutItsDot) {
  auto* first = Make<TXPRadioButton>(10, 10, 113, 17, "First");
  auto* second = Make<TXPRadioButton>(10, 40, 113, 17, "Second");
  first->SetChecked(true);
  form_->Show();
  const COLORREF centreDot = Hex(0x38B935), centreFill = Hex(0xF1F1EF);
  EXPECT_EQ(Rgb(Pixel(first, 7, 8)), Rgb(centreDot));
  EXPECT_EQ(Rgb(Pixel(second, 7, 8)), Rgb(centreFill));
  Mouse(second, WM_LBUTTONDOWN, 5, 8, MK_LBUTTON);
  Mouse(second, WM_LBUTTONUP, 5, 8, 0);
  EXPECT_TRUE(second->Checked());
  EXPECT_EQ(Rgb(Pixel(first, 7, 8)), Rgb(centreFill));
  EXPECT_EQ(Rgb(Pixel(second, 7, 8)), Rgb(centreDot));
}

TEST_F(XpRadioTest, FacesFollowTheMouseAndTinySizesStayInside) {
  auto* r = Make<TProbeRadio>(10, 10, 113, 17, "Radio");
  form_->Show();
  zuvo::platform::ProcessPendingMessages();
  // Shown and painted by the show alone (owner drawing is set without claiming visibility).
  EXPECT_TRUE(IsWindowVisible(r->Handle()));
  HDC dc = GetDC(r->Handle());
  EXPECT_EQ(Rgb(GetPixel(dc, 7, 8)), Rgb(Hex(0xF1F1EF)));
  ReleaseDC(r->Handle(), dc);
  const COLORREF normal = Hex(0xF1F1EF), hot = RGB(241, 239, 223), pressed = Hex(0xD7D5C8);
  EXPECT_EQ(Rgb(Pixel(r, 7, 8)), Rgb(normal));
  Mouse(r, WM_MOUSEMOVE, 40, 8, 0);
  EXPECT_EQ(Rgb(Pixel(r, 7, 8)), Rgb(hot));
  Mouse(r, WM_LBUTTONDOWN, 40, 8, MK_LBUTTON);
  EXPECT_EQ(Rgb(Pixel(r, 9, 5)), Rgb(Hex(0xD2D1C5)));   // pressed ramp[9] at (8, 3)
  EXPECT_EQ(r->m_bPressed, 1);
  Mouse(r, WM_LBUTTONUP, 40, 8, 0);
  SendMessageA(r->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(r->m_bHot, 0);
  EXPECT_NE(Rgb(Pixel(r, 7, 8)), Rgb(pressed));
  for (int h : {0, 2, 5, 12}) {
    for (int w : {0, 3, 18}) {
      r->SetBounds(10, 10, w, h);
      Memory m(std::max(w, 1), std::max(h, 1));
      r->DrawNormal(m.dc());
      r->DrawHot(m.dc());
      r->DrawDisabled(m.dc());
      UpdateWindow(r->Handle());
    }
  }
}

}  // namespace
