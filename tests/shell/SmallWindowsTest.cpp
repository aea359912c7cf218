// The cell's command strip, the tooltip and the drag overlay, offscreen: glyph pixels read back
// from the window, clicks posted to a recording page window, the tooltip's measuring, painting
// and hiding, and the overlay showing the windows beneath it under its XOR drawing.
#include "shell/SmallWindows.h"

#include "data/Messages.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "shell/Cell.h"
#include "shell/PageWindow.h"
#include "shell/ShellSettingsFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateMouse;

struct Posted {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Posted&) const = default;
};

// A page window that keeps the cell commands it receives instead of acting on them.
class RecordingPage : public TMultiViewMain {
 public:
  using TMultiViewMain::TMultiViewMain;
  void WndProc(TMessage& message) override {
    if (message.Msg >= MsgCellZoom && message.Msg <= MsgCellKeyRight) {
      posted.push_back({message.Msg, message.WParam, message.LParam});
      return;
    }
    TMultiViewMain::WndProc(message);
  }
  std::vector<Posted> posted;
};

LPARAM Point(int x, int y) { return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y))); }

COLORREF PixelOf(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return c;
}

// A page with two cells, each 200 x 100, the first active.
class CmdBoxTest : public testing::Test {
 protected:
  void SetUp() override {
    page = NewForm<RecordingPage>(nullptr);
    page->SetClientWidth(400);
    page->SetClientHeight(100);
    page->Show();
    for (int i = 0; i < 2; ++i) {
      cells[i] = new TMultiViewChild(page, &viewData[i], &history[i], nullptr);
      cells[i]->SetBounds(200 * i, 0, 200, 100);
    }
    page->SetActiveCell(cells[0]);
    ProcessPendingMessages();
    page->posted.clear();
  }
  void TearDown() override {
    for (TMultiViewChild* cell : cells) TComponent::Free(cell);
    TComponent::Free(page);
    ProcessPendingMessages();
  }
  // A strip of our own on the second cell, at (10, 30), painted.
  std::unique_ptr<TMVCmdBox> Strip(std::initializer_list<int> codes, int hot = -1) {
    std::vector<int> list(codes);
    auto strip = std::make_unique<TMVCmdBox>(cells[1], list.data(), static_cast<int>(list.size()));
    strip->background = kBack;
    strip->hotIndex = hot;
    strip->SetPosition(10, 30);
    strip->Redraw();
    ProcessPendingMessages();
    return strip;
  }

  static constexpr COLORREF kBack = RGB(10, 20, 30);
  shelltest::ShellSettings settings;
  MVCDATA_12 viewData[2];
  EArray<VIEW_ATTR_12> history[2]{EArray<VIEW_ATTR_12>(20), EArray<VIEW_ATTR_12>(20)};
  RecordingPage* page = nullptr;
  TMultiViewChild* cells[2] = {};
};

TEST_F(CmdBoxTest, StripSitsInTheTopRightCornerAndTakesSeventeenPixelsAnIcon) {
  const int codes[] = {5, 6};
  TMVCmdBox strip(cells[1], codes, 2);
  ASSERT_NE(strip.handle, nullptr);
  EXPECT_EQ(GetParent(strip.handle), cells[1]->Handle());
  EXPECT_TRUE(IsWindowVisible(strip.handle));
  EXPECT_EQ(GetWindowLongA(strip.handle, GWL_EXSTYLE), 0);
  RECT r;
  GetWindowRect(strip.handle, &r);
  POINT corner{r.left, r.top};
  ScreenToClient(cells[1]->Handle(), &corner);
  EXPECT_EQ(corner.x, cells[1]->ClientWidth() - 2 * 17 - 3);
  EXPECT_EQ(corner.y, 3);
  EXPECT_EQ(r.right - r.left, 33);
  EXPECT_EQ(r.bottom - r.top, 14);
  EXPECT_EQ(strip.StripWidth(), 33);
  EXPECT_EQ(strip.hotIndex, -1);
  EXPECT_EQ(strip.normalColor, 16760703u);
  EXPECT_EQ(strip.hotColor, 4167423u);

  // More than four codes: the first four.
  const int many[] = {0, 1, 2, 3, 4, 5};
  TMVCmdBox four(cells[1], many, 6);
  EXPECT_EQ(four.Count(), 4);
  four.SetPosition(0, 50);
  GetClientRect(four.handle, &r);
  EXPECT_EQ(r.right, 4 * 17 - 1);
}

// Pixels relative to the icon's left edge that the glyph lights, and ones it leaves alone
// (end points of its lines, a pixel inside).
struct GlyphCase {
  int code;
  std::vector<POINT> lit;
  std::vector<POINT> unlit;
};

const std::vector<GlyphCase> kGlyphCases = {
    {0, {{4, 3}, {7, 6}, {10, 9}, {5, 3}, {8, 6}, {4, 9}, {10, 3}, {5, 9}, {11, 3}}, {{11, 10}, {12, 10}, {11, 2}, {12, 2}, {8, 12}}},
    {1, {{3, 2}, {12, 2}, {3, 3}, {12, 3}, {3, 4}, {3, 10}, {7, 10}, {12, 10}, {12, 4}}, {{13, 2}, {13, 3}, {7, 6}}},
    {2, {{6, 2}, {12, 2}, {6, 4}, {6, 5}, {12, 4}, {12, 7}, {9, 7}, {3, 6}, {3, 11}, {9, 11}, {9, 8}},
     {{13, 2}, {13, 3}, {12, 8}, {10, 6}, {5, 9}, {8, 4}}},
    {3, {{4, 6}, {13, 6}, {4, 7}, {13, 7}}, {{14, 6}, {14, 7}, {8, 5}, {8, 8}}},
    {4, {{8, 2}, {8, 11}, {9, 2}, {9, 11}}, {{8, 12}, {9, 12}, {7, 6}, {10, 6}}},
    {5, {{2, 6}, {4, 4}, {6, 2}, {6, 3}, {13, 4}, {13, 7}, {9, 8}, {6, 10}, {3, 7}}, {{9, 6}, {14, 6}, {7, 2}, {1, 6}}},
    {6, {{13, 6}, {11, 4}, {9, 2}, {2, 4}, {2, 7}, {5, 8}, {9, 10}, {12, 7}}, {{6, 6}, {1, 6}, {8, 2}, {14, 6}}},
    {7, {}, {{8, 6}, {4, 3}, {8, 2}, {2, 6}, {13, 6}}},   // no glyph, only the frame
};

TEST_F(CmdBoxTest, EachGlyphIsDrawnInTheNormalAndTheHotColourWithItsFrame) {
  for (const GlyphCase& c : kGlyphCases) {
    SCOPED_TRACE("code " + std::to_string(c.code));
    // The same code twice, the second icon hot.
    auto strip = Strip({c.code, c.code}, 1);
    HWND w = strip->handle;
    for (int icon = 0; icon < 2; ++icon) {
      SCOPED_TRACE(icon == 0 ? "normal" : "hot");
      const COLORREF color = icon == 0 ? strip->normalColor : strip->hotColor;
      const int a = 17 * icon;
      for (POINT p : c.lit) EXPECT_EQ(PixelOf(w, a + p.x, p.y), color) << p.x << "," << p.y;
      for (POINT p : c.unlit) EXPECT_EQ(PixelOf(w, a + p.x, p.y), kBack) << p.x << "," << p.y;
      // The frame: 16 x 14 pixels.
      for (POINT p : {POINT{0, 0}, POINT{15, 0}, POINT{0, 13}, POINT{15, 13}, POINT{8, 0}, POINT{0, 7}, POINT{15, 7}}) {
        EXPECT_EQ(PixelOf(w, a + p.x, p.y), color) << "frame " << p.x << "," << p.y;
      }
    }
    EXPECT_EQ(PixelOf(w, 16, 5), kBack);   // the gap column
  }
}

TEST_F(CmdBoxTest, ClicksActivateTheCellAndPostTheIconsCommandOnlyOnAnIcon) {
  auto strip = Strip({0, 3});
  const LPARAM cell = reinterpret_cast<LPARAM>(cells[1]);
  struct Click {
    int x;   // as the low word carries it
    UINT message;
    UINT posted;   // 0: nothing posted and the cell not activated
  };
  const Click clicks[] = {
      {0, WM_LBUTTONDOWN, MsgCellClose},
      {15, WM_LBUTTONDOWN, MsgCellClose},
      {16, WM_LBUTTONDOWN, MsgCellClose},        // the gap belongs to the icon before it
      {17, WM_LBUTTONDOWN, MsgCellSplitHorz},
      {32, WM_LBUTTONDBLCLK, MsgCellSplitHorz},
      {0xFFFF, WM_LBUTTONDOWN, 0},                // x = -1 (a captured mouse left of the strip)
      {0x8000, WM_LBUTTONDOWN, 0},                // the most negative x
      {34, WM_LBUTTONDOWN, 0},                    // past the last icon
      {17 * 4 + 3, WM_LBUTTONDBLCLK, 0},          // where a fifth code would be
  };
  for (const Click& click : clicks) {
    SCOPED_TRACE("x = " + std::to_string(click.x));
    page->SetActiveCell(cells[0]);
    page->posted.clear();
    SendMessageA(strip->handle, click.message, MK_LBUTTON, Point(click.x, 5));
    ProcessPendingMessages();
    if (click.posted == 0) {
      EXPECT_TRUE(page->posted.empty());
      EXPECT_EQ(page->activeCell, cells[0]);
    } else {
      EXPECT_EQ(page->posted, (std::vector<Posted>{{click.posted, 0, cell}}));
      EXPECT_EQ(page->activeCell, cells[1]);
    }
  }
}

TEST_F(CmdBoxTest, EveryCodePostsItsCommandThroughARealClick) {
  const UINT commands[] = {MsgCellClose,     MsgCellZoom,    MsgCellRestore, MsgCellSplitHorz,
                           MsgCellSplitVert, MsgCellKeyLeft, MsgCellKeyRight};
  for (int code = 0; code <= 7; ++code) {
    SCOPED_TRACE("code " + std::to_string(code));
    EXPECT_EQ(TMVCmdBox::CommandOf(code), code < 7 ? commands[code] : 0u);
    auto strip = Strip({7, code});
    page->SetActiveCell(cells[0]);
    page->posted.clear();
    SimulateMouse(strip->handle, WM_LBUTTONDOWN, 20, 4, MK_LBUTTON);
    SimulateMouse(strip->handle, WM_LBUTTONUP, 20, 4, 0);
    ProcessPendingMessages();
    // An icon without a command still activates its cell.
    EXPECT_EQ(page->activeCell, cells[1]);
    if (code < 7) {
      EXPECT_EQ(page->posted, (std::vector<Posted>{{commands[code], 0, reinterpret_cast<LPARAM>(cells[1])}}));
    } else {
      EXPECT_TRUE(page->posted.empty());
    }
  }
}

TEST_F(CmdBoxTest, TheMouseMakesItsIconHotAndLeavingClearsIt) {
  auto strip = Strip({1, 2});
  HWND w = strip->handle;
  SimulateMouse(w, WM_MOUSEMOVE, 20, 5, 0);
  ProcessPendingMessages();
  EXPECT_EQ(strip->hotIndex, 1);
  EXPECT_TRUE(strip->tracking);
  EXPECT_EQ(PixelOf(w, 17, 0), strip->hotColor);
  EXPECT_EQ(PixelOf(w, 0, 0), strip->normalColor);
  SimulateMouse(w, WM_MOUSEMOVE, 3, 5, 0);
  ProcessPendingMessages();
  EXPECT_EQ(strip->hotIndex, 0);
  EXPECT_EQ(PixelOf(w, 0, 0), strip->hotColor);
  EXPECT_EQ(PixelOf(w, 17, 0), strip->normalColor);

  // Onto the cell beneath: the strip is left.
  SimulateMouse(cells[1]->Handle(), WM_MOUSEMOVE, 150, 80, 0);
  ProcessPendingMessages();
  EXPECT_EQ(strip->hotIndex, -1);
  EXPECT_FALSE(strip->tracking);
  EXPECT_EQ(PixelOf(w, 0, 0), strip->normalColor);
  EXPECT_EQ(PixelOf(w, 17, 0), strip->normalColor);

  // Back on it: tracked again.
  SimulateMouse(w, WM_MOUSEMOVE, 30, 5, 0);
  ProcessPendingMessages();
  EXPECT_EQ(strip->hotIndex, 1);
  EXPECT_TRUE(strip->tracking);
}

// ---- EToolTip -------------------------------------------------------------------------------

class ToolTipTest : public testing::Test {
 protected:
  void SetUp() override {
    owner = NewForm<TForm>(nullptr);
    owner->SetClientWidth(400);
    owner->SetClientHeight(300);
    owner->Show();
    ProcessPendingMessages();
    tip = std::make_unique<EToolTip>(owner->Handle());
  }
  void TearDown() override {
    tip.reset();
    TComponent::Free(owner);
    ProcessPendingMessages();
  }
  SIZE Measure(const char* text) {
    HDC dc = GetDC(tip->handle);
    HGDIOBJ old = SelectObject(dc, tip->font);
    SIZE s{};
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &s);
    SelectObject(dc, old);
    ReleaseDC(tip->handle, dc);
    return s;
  }
  // Whether any pixel of the rows [top, bottom) inside the frame is not the background.
  bool InkInRows(int top, int bottom) {
    RECT r;
    GetClientRect(tip->handle, &r);
    HDC dc = GetDC(tip->handle);
    bool ink = false;
    for (int y = top; y < bottom && !ink; ++y) {
      for (int x = 1; x < r.right - 1 && !ink; ++x) ink = GetPixel(dc, x, y) != kYellow;
    }
    ReleaseDC(tip->handle, dc);
    return ink;
  }

  static constexpr COLORREF kYellow = 15204351;
  TForm* owner = nullptr;
  std::unique_ptr<EToolTip> tip;
};

TEST_F(ToolTipTest, IsAHiddenChildWithTheTwelvePixelFont) {
  ASSERT_NE(tip->handle, nullptr);
  EXPECT_EQ(GetParent(tip->handle), owner->Handle());
  EXPECT_FALSE(IsWindowVisible(tip->handle));
  EXPECT_EQ(GetWindowLongA(tip->handle, GWL_STYLE) & (WS_CHILD | WS_POPUP), static_cast<LONG>(WS_CHILD));
  LOGFONTA lf{};
  ASSERT_NE(GetObjectA(tip->font, sizeof(lf), &lf), 0);
  EXPECT_EQ(lf.lfHeight, 12);
  EXPECT_STREQ(lf.lfFaceName, "宋体");
}

TEST_F(ToolTipTest, LongTextsKeepTheirFirst1023BytesWithoutHalfACharacter) {
  std::string latin(2000, 'x');
  latin[1022] = 'y';
  tip->SetText(latin.c_str());
  EXPECT_EQ(std::strlen(tip->text), 1023u);
  EXPECT_EQ(tip->text[1022], 'y');

  // 1000 double-byte characters: 1023 bytes would end inside the 512th.
  std::string chinese;
  for (int i = 0; i < 1000; ++i) chinese += "中";
  SIZE s = tip->SetText(chinese.c_str());
  ASSERT_EQ(std::strlen(tip->text), 1022u);
  EXPECT_EQ(std::string(tip->text), chinese.substr(0, 1022));
  EXPECT_EQ(s.cx, Measure(tip->text).cx + 5);

  // One byte before them: exactly 1023 bytes fit.
  std::string mixed = "a" + chinese;
  tip->SetText(mixed.c_str());
  EXPECT_EQ(std::strlen(tip->text), 1023u);
}

TEST_F(ToolTipTest, MeasuresLineByLine) {
  const SIZE a = Measure("a"), b = Measure("b"), blank = Measure(" "), wide = Measure("成交量 12345");
  const int h = a.cy;
  struct Case {
    const char* text;
    SIZE expected;
    bool multiLine;
  };
  const Case cases[] = {
      {"成交量 12345", {wide.cx + 5, h + 5}, false},
      {"a\r\n\r\nb", {std::max({a.cx, blank.cx, b.cx}) + 5, 3 * h + 5}, true},   // the middle line is a blank
      {"成交量 12345\r\n", {wide.cx + 5, h + 5}, true},                   // no empty last line
      {"a\r\n成交量 12345\r\na", {wide.cx + 5, 3 * h + 5}, true},         // the widest line counts
      {"\r\n", {blank.cx + 5, h + 5}, true},
      {"", {0, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    tip->multiLine = !c.multiLine;
    SIZE s = tip->SetText(c.text);
    EXPECT_EQ(s.cx, c.expected.cx);
    EXPECT_EQ(s.cy, c.expected.cy);
    if (*c.text != '\0') {
      EXPECT_EQ(tip->multiLine, c.multiLine);
      EXPECT_EQ(tip->lineHeight, h);
    }
  }
  SIZE none = tip->SetText(nullptr);
  EXPECT_EQ(none.cx, 0);
  EXPECT_EQ(none.cy, 0);
}

TEST_F(ToolTipTest, ShowAtPaintsLineByLineOnLightYellowAndEmptyTextHides) {
  tip->ShowAt(POINT{20, 30}, "成交\r\n\r\n成交", nullptr);
  ProcessPendingMessages();
  ASSERT_TRUE(IsWindowVisible(tip->handle));
  RECT r;
  GetWindowRect(tip->handle, &r);
  POINT at{r.left, r.top};
  ScreenToClient(owner->Handle(), &at);
  EXPECT_EQ(at.x, 20);
  EXPECT_EQ(at.y, 30);
  const int h = tip->lineHeight;
  EXPECT_EQ(r.bottom - r.top, 3 * h + 5);
  HWND w = tip->handle;
  EXPECT_EQ(PixelOf(w, 0, 0), RGB(0, 0, 0));                        // the frame
  EXPECT_EQ(PixelOf(w, r.right - r.left - 1, r.bottom - r.top - 1), RGB(0, 0, 0));
  EXPECT_EQ(PixelOf(w, 1, 1), static_cast<COLORREF>(15204351));     // light yellow
  EXPECT_EQ(PixelOf(w, 2, 2), static_cast<COLORREF>(15204351));
  // Text in the first and third line, none in the blank one between.
  EXPECT_TRUE(InkInRows(3, 3 + h));
  EXPECT_FALSE(InkInRows(3 + h, 3 + 2 * h));
  EXPECT_TRUE(InkInRows(3 + 2 * h, 3 + 3 * h));

  tip->ShowAt(POINT{20, 30}, "", nullptr);
  EXPECT_FALSE(IsWindowVisible(tip->handle));
  tip->ShowAt(POINT{20, 30}, "a", nullptr);
  EXPECT_TRUE(IsWindowVisible(tip->handle));
  tip->ShowAt(POINT{20, 30}, nullptr, nullptr);
  EXPECT_FALSE(IsWindowVisible(tip->handle));
}

TEST_F(ToolTipTest, ShowAtMovesToAnotherParent) {
  TForm* other = NewForm<TForm>(nullptr);
  other->SetClientWidth(200);
  other->SetClientHeight(100);
  other->Show();
  tip->ShowAt(POINT{5, 6}, "a", other->Handle());
  EXPECT_EQ(GetParent(tip->handle), other->Handle());
  EXPECT_TRUE(IsWindowVisible(tip->handle));
  tip->ShowAt(POINT{5, 6}, "b", nullptr);   // no parent given: stays
  EXPECT_EQ(GetParent(tip->handle), other->Handle());
  tip->ShowAt(POINT{5, 6}, "c", owner->Handle());
  EXPECT_EQ(GetParent(tip->handle), owner->Handle());
  TComponent::Free(other);
}

TEST_F(ToolTipTest, MovingTheMouseOntoItHidesIt) {
  tip->ShowAt(POINT{20, 30}, "成交量", nullptr);
  ProcessPendingMessages();
  ASSERT_TRUE(IsWindowVisible(tip->handle));
  SimulateMouse(tip->handle, WM_MOUSEMOVE, 4, 4, 0);
  ProcessPendingMessages();
  EXPECT_FALSE(IsWindowVisible(tip->handle));
}

TEST_F(ToolTipTest, GivesTheFocusBack) {
  tip->ShowAt(POINT{20, 30}, "成交量", nullptr);
  SetFocus(owner->Handle());
  ASSERT_EQ(GetFocus(), owner->Handle());
  SetFocus(tip->handle);
  EXPECT_EQ(GetFocus(), owner->Handle());
}

// ---- TTranspWnd -----------------------------------------------------------------------------

// A window painted in one colour: stands for a cell under the overlay.
class Swatch : public TCustomControl {
 public:
  Swatch(TWinControl* parent, TColor color, int x, int y, int w, int h) : TCustomControl(parent), color_(color) {
    SetParent(parent);
    SetBounds(x, y, w, h);
  }
  const char* ClassName() const override { return "TSmallWindowsSwatch"; }

 protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(color_);
    Canvas()->FillRect(TRect(0, 0, Width(), Height()));
  }

 private:
  TColor color_;
};

TEST(TranspWndTest, ShowsTheCellsBeneathUnderItsXorLines) {
  TForm* main = NewForm<TForm>(nullptr);
  main->SetClientWidth(300);
  main->SetClientHeight(120);
  main->Show();
  new Swatch(main, clRed, 0, 0, 150, 120);
  new Swatch(main, clBlue, 150, 0, 150, 120);
  ProcessPendingMessages();

  TranspWnd = new TTranspWnd(main);
  TTranspWnd* overlay = TranspWnd;
  overlay->SetBounds(0, 0, 300, 120);
  HWND w = overlay->Handle();
  EXPECT_EQ(GetParent(w), main->Handle());
  const LONG style = GetWindowLongA(w, GWL_STYLE);
  EXPECT_EQ(style & (WS_CHILD | WS_POPUP | WS_CAPTION | WS_THICKFRAME), static_cast<LONG>(WS_CHILD));
  WNDCLASSA wc{};
  ASSERT_TRUE(GetClassInfoA(nullptr, "TTranspWnd", &wc));
  EXPECT_EQ(wc.hbrBackground, nullptr);
  HDC dc = GetDC(w);
  EXPECT_EQ(SendMessageA(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
  ReleaseDC(w, dc);

  auto drawCross = [&] {
    TCanvas* canvas = overlay->Canvas();
    canvas->Pen()->SetColor(clWhite);
    canvas->Pen()->SetMode(pmXor);
    canvas->MoveTo(0, 60);
    canvas->LineTo(300, 60);
    canvas->MoveTo(100, 0);
    canvas->LineTo(100, 120);
  };
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "first drag" : "second drag");
    // Shown without activation when a divider drag starts.
    ShowWindow(w, SW_SHOWNOACTIVATE);
    ProcessPendingMessages();
    EXPECT_EQ(PixelOf(w, 20, 20), RGB(255, 0, 0));
    EXPECT_EQ(PixelOf(w, 250, 100), RGB(0, 0, 255));
    drawCross();
    // A repaint does not paint over what is there.
    InvalidateRect(w, nullptr, TRUE);
    UpdateWindow(w);
    ProcessPendingMessages();
    EXPECT_EQ(PixelOf(w, 20, 60), RGB(0, 255, 255));     // red under white XOR
    EXPECT_EQ(PixelOf(w, 250, 60), RGB(255, 255, 0));    // blue under white XOR
    EXPECT_EQ(PixelOf(w, 100, 20), RGB(0, 255, 255));
    EXPECT_EQ(PixelOf(w, 100, 60), RGB(255, 0, 0));      // crossed twice: back to red
    EXPECT_EQ(PixelOf(w, 20, 59), RGB(255, 0, 0));
    EXPECT_EQ(PixelOf(w, 250, 61), RGB(0, 0, 255));
    // The same lines again take the drawing away.
    drawCross();
    EXPECT_EQ(PixelOf(w, 20, 60), RGB(255, 0, 0));
    EXPECT_EQ(PixelOf(w, 250, 60), RGB(0, 0, 255));
    drawCross();
    ShowWindow(w, SW_HIDE);
    ProcessPendingMessages();
  }

  // Closing frees it, and the global no longer points at it.
  overlay->Close();
  ProcessPendingMessages();
  EXPECT_EQ(TranspWnd, nullptr);
  EXPECT_FALSE(IsWindow(w));
  TComponent::Free(main);
}

}  // namespace
