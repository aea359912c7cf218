// Panels, paint boxes, labels, static texts, group boxes, bevels, images and splitters: painted
// pixels read back from the windows' images, sizes and events.
#include "platform/Panel.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

const COLORREF kHighlight = GetSysColor(COLOR_BTNHIGHLIGHT);
const COLORREF kShadow = GetSysColor(COLOR_BTNSHADOW);
const COLORREF kFace = GetSysColor(COLOR_BTNFACE);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 128, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

LPARAM Point(int x, int y) {
  return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

bool Dark(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 300; }

// Every pixel of a window's image, read after painting it (or as it is).
struct Shot {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;
  COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
  // The dark pixels inside a rectangle, as (x, y) relative to its corner.
  std::set<std::pair<int, int>> DarkIn(const TRect& r) const {
    std::set<std::pair<int, int>> out;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (Dark(At(x, y))) out.insert({x - r.left, y - r.top});
    return out;
  }
};

Shot Take(TWinControl* control, bool repaint = true) {
  HWND w = control->Handle();
  if (repaint) {
    InvalidateRect(w, nullptr, TRUE);
    UpdateWindow(w);
  }
  Shot shot;
  RECT client{};
  GetClientRect(w, &client);
  shot.width = client.right;
  shot.height = client.bottom;
  HDC dc = GetDC(w);
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) shot.pixels.push_back(GetPixel(dc, x, y));
  ReleaseDC(w, dc);
  return shot;
}

// A 24-bit BMP file of width x height whose pixel (x, y) (from the top) is colour(x, y).
template <class ColourOf>
std::string Bmp24(int width, int height, ColourOf colour) {
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  std::string bytes(54 + stride * static_cast<std::size_t>(height), '\0');
  auto put = [&](std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put(2, static_cast<std::uint32_t>(bytes.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<std::uint32_t>(width), 4);
  put(22, static_cast<std::uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (int y = 0; y < height; ++y) {
    const std::size_t row = 54 + stride * static_cast<std::size_t>(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const COLORREF c = colour(x, y);
      bytes[row + x * 3] = static_cast<char>(GetBValue(c));
      bytes[row + x * 3 + 1] = static_cast<char>(GetGValue(c));
      bytes[row + x * 3 + 2] = static_cast<char>(GetRValue(c));
    }
  }
  return bytes;
}

class PanelTest : public testing::Test {
 protected:
  void TearDown() override { ReleaseCapture(); }
  // A shown top-level container without a bevel, in a colour no frame uses.
  TPanel* Top(int width = 200, int height = 100, TColor color = clGreen) {
    auto* top = new TPanel(&owner_);
    top->SetBevelOuter(bvNone);
    top->SetColor(color);
    top->SetBounds(40, 30, width, height);
    top->HandleNeeded();
    return top;
  }
  template <class T>
  T* Child(TWinControl* parent, int l, int t, int w, int h) {
    T* c = new T(&owner_);
    c->SetBounds(l, t, w, h);
    c->SetParent(parent);
    return c;
  }

  zuvo::platform::ScopedDrivenClock clock_;
  TComponent owner_{nullptr};
};

// ---- TPanel -----------------------------------------------------------------------------------

TEST_F(PanelTest, BevelsAndBorderPaintTheirRingsAndKeepAlignedChildrenInside) {
  const COLORREF H = kHighlight, S = kShadow, P = kGreen;
  struct Probe {
    int x, y;   // negative: from the right / bottom edge (-1 the last pixel)
    COLORREF colour;
  };
  struct Case {
    const char* name;
    TBevelCut outer, inner;
    int bevelWidth, borderWidth;
    int inset;   // of the client rect children get
    std::vector<Probe> probes;
  } cases[] = {
      {"raised", bvRaised, bvNone, 1, 0, 1, {{0, 0, H}, {0, -2, H}, {-2, 0, H}, {-1, 0, S}, {0, -1, S}, {-1, -1, S}, {1, 1, P}}},
      {"lowered", bvLowered, bvNone, 1, 0, 1, {{0, 0, S}, {5, 0, S}, {-1, 5, H}, {5, -1, H}, {1, 1, P}}},
      {"none", bvNone, bvNone, 1, 0, 0, {{0, 0, P}, {-1, -1, P}}},
      {"space", bvSpace, bvNone, 2, 0, 2, {{0, 0, P}, {1, 1, P}, {-1, -1, P}}},
      {"raised, border, lowered inside", bvRaised, bvLowered, 2, 3, 7,
       {{0, 5, H}, {1, 5, H}, {2, 5, P}, {4, 5, P}, {5, 9, S}, {6, 9, S}, {7, 9, P},
        {-1, 9, S}, {-2, 9, S}, {-3, 9, P}, {-6, 9, H}, {-7, 9, H}, {-8, 9, P}}},
  };
  TPanel* top = Top(200, 100, clWhite);
  for (const Case& c : cases) {
    auto* panel = Child<TPanel>(top, 10, 10, 60, 40);
    panel->SetColor(clGreen);
    panel->SetBevelOuter(c.outer);
    panel->SetBevelInner(c.inner);
    panel->SetBevelWidth(c.bevelWidth);
    panel->SetBorderWidth(c.borderWidth);
    auto* filler = Child<TPaintBox>(panel, 0, 0, 5, 5);
    filler->SetAlign(alClient);
    EXPECT_EQ(filler->BoundsRect(), TRect(c.inset, c.inset, 60 - c.inset, 40 - c.inset)) << c.name;
    const Shot shot = Take(panel);
    for (const Probe& p : c.probes) {
      const int x = p.x < 0 ? 60 + p.x : p.x;
      const int y = p.y < 0 ? 40 + p.y : p.y;
      EXPECT_EQ(shot.At(x, y), p.colour) << c.name << " at " << x << "," << y;
    }
    TComponent::Free(panel);
  }

  // Changing the frame moves the children at once.
  auto* panel = Child<TPanel>(top, 10, 10, 60, 40);
  auto* filler = Child<TPaintBox>(panel, 0, 0, 5, 5);
  filler->SetAlign(alClient);
  panel->SetBorderWidth(4);
  EXPECT_EQ(filler->BoundsRect(), TRect(5, 5, 55, 35));
  panel->SetBevelOuter(bvNone);
  EXPECT_EQ(filler->BoundsRect(), TRect(4, 4, 56, 36));
}

TEST_F(PanelTest, CaptionIsCentredVerticallyAndPlacedByAlignment) {
  TPanel* top = Top(200, 100, clWhite);
  auto* panel = Child<TPanel>(top, 0, 0, 120, 40);
  panel->SetColor(clWhite);
  panel->SetBevelOuter(bvNone);
  panel->SetCaption("HH");
  struct Case {
    TAlignment alignment;
    const char* name;
  } cases[] = {{taLeftJustify, "left"}, {taCenter, "centre"}, {taRightJustify, "right"}};
  for (const Case& c : cases) {
    panel->SetAlignment(c.alignment);
    const auto dark = Take(panel).DarkIn(TRect(0, 0, 120, 40));
    ASSERT_FALSE(dark.empty()) << c.name;
    int minX = 999, maxX = -1, minY = 999, maxY = -1;
    for (auto [x, y] : dark) {
      minX = std::min(minX, x);
      maxX = std::max(maxX, x);
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
    }
    EXPECT_NEAR((minY + maxY) / 2.0, 20, 4) << c.name;
    switch (c.alignment) {
      case taLeftJustify: EXPECT_LT(minX, 4) << c.name; break;
      case taRightJustify: EXPECT_GT(maxX, 115) << c.name; break;
      case taCenter: EXPECT_NEAR((minX + maxX) / 2.0, 60, 3) << c.name; break;
    }
  }
}

TEST_F(PanelTest, ResizeRaisesOnResizeAndRepaintsTheWholeFrame) {
  TPanel* top = Top(200, 100, clWhite);
  auto* panel = Child<TPanel>(top, 0, 0, 60, 40);
  int resized = 0;
  panel->OnResize = [&](TObject* sender) {
    EXPECT_EQ(sender, panel);
    ++resized;
  };
  Take(panel);
  panel->SetWidth(80);
  panel->SetBounds(0, 0, 80, 40);   // no change: no event
  panel->SetLeft(5);                // moved only: no event
  EXPECT_EQ(resized, 1);
  UpdateWindow(panel->Handle());
  const Shot after = Take(panel, false);
  EXPECT_EQ(after.At(59, 10), kFace);     // the old right bevel is gone
  EXPECT_EQ(after.At(79, 10), kShadow);   // the new one is there
}

TEST_F(PanelTest, SingleBorderStyleGivesTheWindowABorder) {
  TPanel* top = Top();
  auto* panel = Child<TPanel>(top, 0, 0, 60, 40);
  HWND before = panel->Handle();
  EXPECT_EQ(GetWindowLongPtrA(before, GWL_STYLE) & WS_BORDER, 0);
  panel->SetBorderStyle(bsSingle);
  EXPECT_NE(GetWindowLongPtrA(panel->Handle(), GWL_STYLE) & WS_BORDER, 0);
  EXPECT_EQ(panel->BorderStyle(), bsSingle);
}

// ---- TPaintBox --------------------------------------------------------------------------------

TEST_F(PanelTest, PaintBoxShowsItsParentUntilItsHandlerPaints) {
  TPanel* top = Top(120, 60, clGreen);
  auto* box = Child<TPaintBox>(top, 20, 10, 40, 30);
  box->SetColor(clYellow);
  box->Font()->SetColor(clRed);
  EXPECT_EQ(Take(top).At(30, 20), kGreen);   // no handler: nothing of its own

  int painted = 0;
  box->OnPaint = [&](TObject* sender) {
    ++painted;
    auto* b = static_cast<TPaintBox*>(sender);
    TCanvas* canvas = b->Canvas();
    EXPECT_EQ(canvas->Brush()->Color(), clYellow);   // the box's colour and font
    EXPECT_EQ(canvas->Font()->Color(), clRed);
    canvas->Brush()->SetColor(clBlue);
    canvas->FillRect(TRect(0, 0, 10, 10));
    canvas->FillRect(TRect(35, 25, 100, 100));   // clipped to the box
  };
  const Shot shot = Take(top);
  EXPECT_GE(painted, 1);
  EXPECT_EQ(shot.At(20, 10), kBlue);   // its (0, 0) is at its place
  EXPECT_EQ(shot.At(29, 19), kBlue);
  EXPECT_EQ(shot.At(30, 20), kGreen);  // the rest of it is the parent's
  EXPECT_EQ(shot.At(59, 39), kBlue);
  EXPECT_EQ(shot.At(60, 39), kGreen);
  EXPECT_EQ(shot.At(59, 40), kGreen);
}

TEST_F(PanelTest, PaintBoxCanvasDrawsAtOnceOutsidePaintingAndFollowsTheBox) {
  TPanel* top = Top(120, 60, clGreen);
  auto* box = Child<TPaintBox>(top, 20, 10, 40, 30);
  Take(top);
  TCanvas* canvas = box->Canvas();
  canvas->Brush()->SetColor(clBlue);
  canvas->FillRect(TRect(-5, -5, 100, 3));   // clipped to the box
  Shot shot = Take(top, false);
  EXPECT_EQ(shot.At(20, 10), kBlue);
  EXPECT_EQ(shot.At(59, 12), kBlue);
  EXPECT_EQ(shot.At(19, 10), kGreen);
  EXPECT_EQ(shot.At(60, 10), kGreen);
  EXPECT_EQ(shot.At(20, 13), kGreen);

  box->SetBounds(70, 30, 20, 20);
  Take(top);
  box->Canvas()->Brush()->SetColor(clRed);
  box->Canvas()->FillRect(TRect(0, 0, 2, 2));
  shot = Take(top, false);
  EXPECT_EQ(shot.At(70, 30), kRed);
  EXPECT_EQ(shot.At(20, 10), kGreen);
}

TEST_F(PanelTest, PaintBoxGetsClicksDoubleClicksAndPressesInItsOwnCoordinates) {
  TPanel* top = Top(120, 60);
  auto* box = Child<TPaintBox>(top, 20, 10, 40, 30);
  std::vector<std::string> log;
  box->OnClick = [&](TObject*) { log.push_back("click"); };
  box->OnDblClick = [&](TObject*) { log.push_back("dblclick"); };
  box->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int x, int y) {
    log.push_back(std::string(b == mbRight ? "rdown " : "down ") + std::to_string(x) + "," + std::to_string(y));
  };
  HWND w = top->Handle();
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(25, 15));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(25, 15));
  SendMessageA(w, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(25, 15));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(25, 15));
  SendMessageA(w, WM_RBUTTONDOWN, MK_RBUTTON, Point(59, 39));
  SendMessageA(w, WM_RBUTTONUP, 0, Point(59, 39));
  EXPECT_EQ(log, (std::vector<std::string>{"down 5,5", "click", "dblclick", "down 5,5", "rdown 39,29"}));
}

// ---- TLabel -----------------------------------------------------------------------------------

TEST_F(PanelTest, LabelBackgroundIsItsParentsColourItsOwnOrNone) {
  TPanel* top = Top(200, 60, clGreen);
  auto* follower = Child<TLabel>(top, 0, 0, 40, 20);
  auto* own = Child<TLabel>(top, 50, 0, 40, 20);
  auto* glass = Child<TLabel>(top, 100, 0, 40, 20);
  for (TLabel* l : {follower, own, glass}) {
    l->SetAutoSize(false);
    l->SetBounds(l->Left(), 0, 40, 20);
  }
  own->SetColor(clBlue);
  glass->SetColor(clRed);
  glass->SetTransparent(true);
  Shot shot = Take(top);
  EXPECT_EQ(shot.At(30, 15), kGreen);   // ParentColor by default
  EXPECT_EQ(shot.At(80, 15), kBlue);
  EXPECT_EQ(shot.At(130, 15), kGreen);  // transparent: the parent shows
  top->SetColor(clWhite);
  shot = Take(top);
  EXPECT_EQ(shot.At(30, 15), kWhite);
  EXPECT_EQ(shot.At(130, 15), kWhite);
}

TEST_F(PanelTest, LabelUnderlinesItsAcceleratorAndDrawsDisabledTextGrey) {
  TPanel* top = Top(200, 60, clWhite);
  auto* marked = Child<TLabel>(top, 10, 10, 10, 10);
  auto* plain = Child<TLabel>(top, 60, 10, 10, 10);
  auto* literal = Child<TLabel>(top, 110, 10, 10, 10);
  marked->SetCaption("&N");
  plain->SetCaption("N");
  literal->SetShowAccelChar(false);
  literal->SetCaption("&N");
  EXPECT_EQ(marked->Width(), plain->Width());   // the mark takes no room
  EXPECT_GT(literal->Width(), plain->Width());  // shown as it is
  EXPECT_EQ(marked->Height(), plain->Height());

  const Shot shot = Take(top);
  const auto withMark = shot.DarkIn(marked->BoundsRect());
  const auto glyph = shot.DarkIn(plain->BoundsRect());
  ASSERT_FALSE(glyph.empty());
  int glyphBottom = 0;
  for (auto [x, y] : glyph) {
    glyphBottom = std::max(glyphBottom, y);
    EXPECT_TRUE(withMark.count({x, y})) << "the letter itself at " << x << "," << y;
  }
  std::set<int> extraRows;
  int extra = 0;
  for (auto p : withMark) {
    if (glyph.count(p)) continue;
    ++extra;
    extraRows.insert(p.second);
  }
  EXPECT_GE(extra, 3) << "an underline";
  EXPECT_LE(extraRows.size(), 2u);
  EXPECT_GT(*extraRows.begin(), glyphBottom);   // under the letter

  // Disabled: embossed in shadow and highlight, nothing darker than the shadow.
  plain->SetEnabled(false);
  const Shot grey = Take(top);
  int greyPixels = 0;
  for (int y = plain->Top(); y < plain->Top() + plain->Height(); ++y)
    for (int x = plain->Left(); x < plain->Left() + plain->Width(); ++x) {
      const COLORREF c = grey.At(x, y);
      EXPECT_GE(GetRValue(c), GetRValue(kShadow) - 8) << x << "," << y;
      EXPECT_EQ(GetRValue(c), GetBValue(c)) << x << "," << y;
      if (GetRValue(c) < 200) ++greyPixels;
    }
  EXPECT_GT(greyPixels, 3);
}

TEST_F(PanelTest, AutoSizeFollowsCaptionFontAndWrapping) {
  TPanel* top = Top(300, 200);
  auto* label = Child<TLabel>(top, 100, 10, 65, 17);
  label->SetCaption("W");
  const int one = label->Width();
  const int line = label->Height();
  EXPECT_GT(one, 0);
  EXPECT_GT(line, 0);
  label->SetCaption("WWWW");
  EXPECT_GT(label->Width(), 3 * one);
  EXPECT_EQ(label->Height(), line);
  label->SetCaption("");
  EXPECT_EQ(label->Height(), line);   // an empty caption keeps a line's height
  label->SetCaption("WWWW");
  const int four = label->Width();
  label->Font()->SetHeight(-24);
  EXPECT_GT(label->Height(), line);
  EXPECT_GT(label->Width(), four);
  label->Font()->SetHeight(-12);
  EXPECT_EQ(label->Width(), four);

  // Right-aligned: the right edge stays.
  label->SetAlignment(taRightJustify);
  const int right = label->Left() + label->Width();
  label->SetCaption("WWWWWWWW");
  EXPECT_EQ(label->Left() + label->Width(), right);

  // Word wrap breaks at the width there is and grows the height by whole lines.
  label->SetAlignment(taLeftJustify);
  label->SetWordWrap(true);
  label->SetWidth(four + 2);
  label->SetCaption("WWWW WWWW WWWW");
  EXPECT_GE(label->Width(), four);
  EXPECT_LE(label->Width(), four + 2);
  EXPECT_EQ(label->Height(), 3 * line);

  // Without AutoSize nothing moves.
  label->SetAutoSize(false);
  label->SetBounds(0, 0, 10, 10);
  label->SetCaption("WWWWWWWWWWWWWWWW");
  EXPECT_EQ(label->BoundsRect(), TRect(0, 0, 10, 10));
  label->SetAutoSize(true);
  EXPECT_GT(label->Height(), 10);
}

TEST_F(PanelTest, LabelLayoutPlacesTheTextVertically) {
  TPanel* top = Top(200, 100, clWhite);
  auto* label = Child<TLabel>(top, 10, 10, 60, 60);
  label->SetAutoSize(false);
  label->SetBounds(10, 10, 60, 60);
  label->SetCaption("H");
  struct Case {
    TTextLayout layout;
    int low, high;   // where the text's middle row lies in the label
  } cases[] = {{tlTop, 0, 15}, {tlCenter, 22, 38}, {tlBottom, 45, 60}};
  for (const Case& c : cases) {
    label->SetLayout(c.layout);
    const auto dark = Take(top).DarkIn(label->BoundsRect());
    ASSERT_FALSE(dark.empty());
    int minY = 999, maxY = -1;
    for (auto [x, y] : dark) {
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
    }
    const int middle = (minY + maxY) / 2;
    EXPECT_GE(middle, c.low) << c.layout;
    EXPECT_LT(middle, c.high) << c.layout;
  }
}

// ---- Accelerators -----------------------------------------------------------------------------

TEST_F(PanelTest, IsAccelFindsTheMarkedLetter) {
  struct Case {
    const char* caption;
    WORD key;
    bool accel;
  } cases[] = {
      {"&Name", 'N', true}, {"&Name", 'n', true}, {"N&ame", 'A', true}, {"Name", 'N', false},
      {"&&Name", 'N', false}, {"a&&&b", 'B', true}, {"end&", 'D', false}, {"\xC3\xFB&N", 'N', true},
      {"&\xC3\xFB", 0xC3, false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsAccel(c.key, c.caption), c.accel) << c.caption << " " << c.key;
}

TEST_F(PanelTest, AnAcceleratorFocusesTheLabelsControlOrTheGroupsFirstChild) {
  TPanel* top = Top(300, 200);
  auto* edit = Child<TPanel>(top, 10, 50, 50, 20);
  auto* label = Child<TLabel>(top, 10, 10, 50, 20);
  label->SetCaption("&Name");
  label->SetFocusControl(edit);
  auto* text = Child<TStaticText>(top, 100, 10, 50, 20);
  auto* other = Child<TPanel>(top, 100, 50, 50, 20);
  text->SetCaption("&Other");
  text->SetFocusControl(other);
  auto* group = Child<TGroupBox>(top, 10, 100, 200, 80);
  group->SetCaption("&Group");
  auto* skipped = Child<TPanel>(group, 10, 30, 20, 20);
  auto* first = Child<TPanel>(group, 40, 30, 20, 20);
  first->SetTabStop(true);
  (void)skipped;
  zuvo::platform::ProcessPendingMessages();

  EXPECT_TRUE(BroadcastDialogChar(top, 'n'));
  EXPECT_EQ(GetFocus(), edit->Handle());
  EXPECT_TRUE(BroadcastDialogChar(top, 'O'));
  EXPECT_EQ(GetFocus(), other->Handle());
  EXPECT_TRUE(BroadcastDialogChar(top, 'g'));
  EXPECT_EQ(GetFocus(), first->Handle());
  EXPECT_FALSE(BroadcastDialogChar(top, 'x'));

  // A disabled label, one showing "&" as it is, or one whose control is disabled takes nothing.
  label->SetEnabled(false);
  EXPECT_FALSE(BroadcastDialogChar(top, 'n'));
  label->SetEnabled(true);
  label->SetShowAccelChar(false);
  EXPECT_FALSE(BroadcastDialogChar(top, 'n'));
  label->SetShowAccelChar(true);
  edit->SetEnabled(false);
  EXPECT_FALSE(BroadcastDialogChar(top, 'n'));
  edit->SetEnabled(true);
  // A control freed after it was named is never touched.
  TComponent::Free(edit);
  EXPECT_FALSE(BroadcastDialogChar(top, 'n'));
  EXPECT_EQ(GetFocus(), first->Handle());
}

// ---- TStaticText ------------------------------------------------------------------------------

TEST_F(PanelTest, StaticTextFramesAndSizesToItsText) {
  TPanel* top = Top(300, 100, clWhite);
  auto* text = Child<TStaticText>(top, 10, 10, 65, 17);
  text->SetColor(clWhite);
  text->SetCaption("&Ab");
  const int width = text->Width();
  const int height = text->Height();
  auto* label = Child<TLabel>(top, 100, 10, 10, 10);
  label->SetCaption("&Ab");
  EXPECT_EQ(width, label->Width());
  EXPECT_EQ(height, label->Height());
  HWND w = text->Handle();
  EXPECT_EQ(GetWindowLongPtrA(w, GWL_STYLE) & WS_BORDER, 0);

  struct Case {
    TStaticBorderStyle style;
    LONG_PTR styleBit, exStyleBit;
  } cases[] = {{sbsSingle, WS_BORDER, 0}, {sbsSunken, 0, WS_EX_STATICEDGE}, {sbsNone, 0, 0}};
  for (const Case& c : cases) {
    text->SetBorderStyle(c.style);
    w = text->Handle();
    EXPECT_EQ(GetWindowLongPtrA(w, GWL_STYLE) & WS_BORDER, c.styleBit) << c.style;
    EXPECT_EQ(GetWindowLongPtrA(w, GWL_EXSTYLE) & WS_EX_STATICEDGE, c.exStyleBit) << c.style;
    // The window is the text plus its frame.
    const int frame = c.style == sbsNone ? 0 : 2;
    RECT window{};
    GetWindowRect(w, &window);
    EXPECT_EQ(window.right - window.left, width + frame) << c.style;
    EXPECT_EQ(window.bottom - window.top, height + frame) << c.style;
    EXPECT_EQ(text->Caption(), "&Ab");
  }
  // The text is drawn, the mark underlining.
  EXPECT_FALSE(Take(text).DarkIn(TRect(0, 0, text->Width(), text->Height())).empty());
}

// ---- TGroupBox and TBevel ---------------------------------------------------------------------

TEST_F(PanelTest, GroupBoxEtchesItsFrameUnderTheCaptionAndHostsChildrenInside) {
  TPanel* top = Top(300, 200, clWhite);
  auto* group = Child<TGroupBox>(top, 10, 10, 120, 80);
  const int h = group->Canvas()->TextHeight("0");
  ASSERT_GT(h, 4);
  auto* inside = Child<TPaintBox>(group, 0, 0, 5, 5);
  inside->SetAlign(alClient);
  EXPECT_EQ(inside->BoundsRect(), TRect(2, h + 2, 118, 78));

  Shot shot = Take(group);
  const int line = h / 2 - 1;
  struct Probe {
    int x, y;
    COLORREF colour;
  } probes[] = {
      {0, line, kShadow},  {1, line + 1, kHighlight}, {60, line, kShadow},   {60, line + 1, kHighlight},
      {0, 40, kShadow},    {1, 40, kHighlight},       {118, 40, kShadow},    {119, 40, kHighlight},
      {60, 78, kShadow},   {60, 79, kHighlight},      {60, 40, kFace},       {60, line - 1, kFace},
  };
  for (const Probe& p : probes) EXPECT_EQ(shot.At(p.x, p.y), p.colour) << p.x << "," << p.y;

  // A caption cuts the top line where it stands.
  group->SetCaption("Group");
  shot = Take(group);
  const int textWidth = group->Canvas()->TextWidth("Group");
  int lineInCaption = 0;
  for (int x = 8; x < 8 + textWidth; ++x) lineInCaption += shot.At(x, line) == kShadow ? 1 : 0;
  EXPECT_LT(lineInCaption, textWidth / 2);
  EXPECT_EQ(shot.At(4, line), kShadow);
  EXPECT_EQ(shot.At(8 + textWidth + 4, line), kShadow);
  EXPECT_FALSE(shot.DarkIn(TRect(8, 0, 8 + textWidth, h)).empty());
}

TEST_F(PanelTest, BevelShapesPaintTheirEdgesInEachStyle) {
  TPanel* top = Top(100, 60, clGreen);
  auto* bevel = Child<TBevel>(top, 10, 10, 20, 10);
  struct Probe {
    int x, y;
    int colour;   // 1 the style's first colour, 2 its second, 0 the parent
  };
  struct Case {
    TBevelShape shape;
    std::vector<Probe> probes;
  } cases[] = {
      {bsBox, {{0, 0, 1}, {0, 9, 1}, {5, 0, 1}, {19, 0, 2}, {19, 5, 2}, {5, 9, 2}, {19, 9, 2}, {5, 5, 0}}},
      {bsFrame, {{0, 0, 1}, {5, 0, 1}, {18, 5, 1}, {5, 8, 1}, {1, 1, 2}, {19, 5, 2}, {5, 9, 2}, {5, 5, 0}}},
      {bsTopLine, {{0, 0, 1}, {19, 0, 1}, {5, 1, 2}, {5, 2, 0}}},
      {bsBottomLine, {{5, 8, 1}, {5, 9, 2}, {5, 7, 0}}},
      {bsLeftLine, {{0, 5, 1}, {1, 5, 2}, {2, 5, 0}}},
      {bsRightLine, {{18, 5, 1}, {19, 5, 2}, {17, 5, 0}}},
      {bsSpacer, {{0, 0, 0}, {19, 9, 0}, {5, 5, 0}}},
  };
  for (TBevelStyle style : {bsLowered, bsRaised}) {
    const COLORREF first = style == bsLowered ? kShadow : kHighlight;
    const COLORREF second = style == bsLowered ? kHighlight : kShadow;
    bevel->SetStyle(style);
    for (const Case& c : cases) {
      bevel->SetShape(c.shape);
      const Shot shot = Take(top);
      for (const Probe& p : c.probes) {
        const COLORREF expected = p.colour == 1 ? first : p.colour == 2 ? second : kGreen;
        EXPECT_EQ(shot.At(10 + p.x, 10 + p.y), expected) << "shape " << c.shape << " style " << style << " at " << p.x << "," << p.y;
      }
    }
  }
}

// ---- TImage -----------------------------------------------------------------------------------

COLORREF Tile(int x, int y) { return RGB(40 + x * 50, 200 - y * 100, 30); }

class ImageTest : public PanelTest {
 protected:
  // Writes the bytes as bin\<name> (the current folder) and gives its Windows path.
  std::string File(const std::string& name, const std::string& bytes) {
    testsupport::WriteBytes(install_.bin() / name, bytes);
    return ".\\" + name;
  }
  testsupport::TempInstall install_;
};

TEST_F(ImageTest, PictureFromAFileSitsAtTheCornerCentredOrStretched) {
  TPanel* top = Top(100, 60, clGreen);
  auto* image = Child<TImage>(top, 5, 5, 20, 10);
  EXPECT_TRUE(image->Picture()->Empty());
  EXPECT_EQ(Take(top).At(10, 10), kGreen);   // no picture: nothing drawn
  ASSERT_TRUE(image->Picture()->LoadFromFile(File("logo.bmp", Bmp24(4, 2, Tile))));
  EXPECT_EQ(image->Picture()->Width(), 4);
  EXPECT_EQ(image->Picture()->Height(), 2);
  struct Probe {
    int x, y;         // in the image
    int px, py;       // the picture's pixel there, or -1 for the parent
  };
  struct Case {
    const char* name;
    bool stretch, center;
    std::vector<Probe> probes;
  } cases[] = {
      {"corner", false, false, {{0, 0, 0, 0}, {3, 1, 3, 1}, {4, 0, -1, 0}, {0, 2, -1, 0}}},
      {"centred", false, true, {{8, 4, 0, 0}, {11, 5, 3, 1}, {7, 4, -1, 0}, {0, 0, -1, 0}}},
      {"stretched", true, false, {{0, 0, 0, 0}, {4, 4, 0, 0}, {5, 0, 1, 0}, {19, 9, 3, 1}, {10, 5, 2, 1}}},
      {"stretched and centred", true, true, {{0, 0, 0, 0}, {19, 9, 3, 1}}},
  };
  for (const Case& c : cases) {
    image->SetStretch(c.stretch);
    image->SetCenter(c.center);
    const Shot shot = Take(top);
    for (const Probe& p : c.probes) {
      EXPECT_EQ(shot.At(5 + p.x, 5 + p.y), p.px < 0 ? kGreen : Tile(p.px, p.py)) << c.name << " at " << p.x << "," << p.y;
    }
  }

  image->SetStretch(false);
  image->SetCenter(false);
  image->SetAutoSize(true);
  EXPECT_EQ(image->BoundsRect(), TRect(5, 5, 9, 7));
}

TEST_F(ImageTest, AFailedLoadKeepsTheStoredPictureAndTheImageOwnsItsBitmap) {
  TPanel* top = Top(100, 60, clGreen);
  auto* image = Child<TImage>(top, 5, 5, 20, 10);
  const std::string stored = Bmp24(3, 3, [](int, int) { return RGB(9, 99, 199); });
  ASSERT_TRUE(image->Picture()->LoadFromBytes(stored.data(), stored.size()));
  const HBITMAP storedBitmap = image->Picture()->Bitmap();

  const std::string good = Bmp24(4, 2, Tile);
  std::string hugeHeight = good;
  hugeHeight[22] = '\x7F';   // a height far beyond the bytes
  const struct {
    const char* name;
    std::string bytes;
  } bad[] = {
      {"empty", ""}, {"header only", good.substr(0, 14)}, {"short pixels", good.substr(0, good.size() - 1)},
      {"not a bitmap", "GIF89a and more bytes than a header holds......................."},
      {"height beyond the bytes", hugeHeight},
  };
  for (const auto& b : bad) {
    EXPECT_FALSE(image->Picture()->LoadFromFile(File("logo.bmp", b.bytes))) << b.name;
    EXPECT_FALSE(image->Picture()->LoadFromBytes(b.bytes.data(), b.bytes.size())) << b.name;
    EXPECT_EQ(image->Picture()->Bitmap(), storedBitmap) << b.name;
  }
  EXPECT_FALSE(image->Picture()->LoadFromFile(".\\missing.bmp"));
  EXPECT_EQ(image->Picture()->Bitmap(), storedBitmap);
  EXPECT_EQ(Take(top).At(7, 7), RGB(9, 99, 199));

  // A new picture replaces (and frees) the old; freeing the image frees its picture.
  ASSERT_TRUE(image->Picture()->LoadFromFile(File("logo.bmp", good)));
  EXPECT_EQ(GetObjectType(storedBitmap), 0u);
  const HBITMAP loaded = image->Picture()->Bitmap();
  EXPECT_EQ(GetObjectType(loaded), OBJ_BITMAP);
  TComponent::Free(image);
  EXPECT_EQ(GetObjectType(loaded), 0u);
}

TEST_F(ImageTest, TransparentPictureLetsTheParentShowThroughItsKeyColour) {
  TPanel* top = Top(100, 60, clGreen);
  auto* image = Child<TImage>(top, 5, 5, 20, 10);
  // The bottom-left colour (magenta) is the key.
  const std::string bytes = Bmp24(4, 2, [](int x, int y) { return x == 1 && y == 0 ? kBlue : RGB(255, 0, 255); });
  ASSERT_TRUE(image->Picture()->LoadFromBytes(bytes.data(), bytes.size()));
  EXPECT_EQ(Take(top).At(5, 5), RGB(255, 0, 255));
  image->SetTransparent(true);
  Shot shot = Take(top);
  EXPECT_EQ(shot.At(5, 5), kGreen);
  EXPECT_EQ(shot.At(6, 5), kBlue);
  image->SetStretch(true);
  shot = Take(top);
  EXPECT_EQ(shot.At(5, 5), kGreen);
  EXPECT_EQ(shot.At(5 + 7, 5 + 2), kBlue);
  // The picture itself is untouched by the masking.
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, image->Picture()->Bitmap());
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 255));
  SelectObject(dc, old);
  DeleteDC(dc);
}

// ---- TSplitter --------------------------------------------------------------------------------

class SplitterTest : public PanelTest {
 protected:
  // A parent 300 x 100 (with a border of `border`) holding an aligned neighbour of `size`, the
  // splitter beside it and a client-aligned rest.
  void Build(TAlign align, int size, int border = 0, bool windowedRest = false) {
    top = Top(300, 100, clGreen);
    top->SetBorderWidth(border);
    neighbour = new TPaintBox(&owner_);
    neighbour->SetBounds(0, 0, size, size);
    neighbour->SetAlign(align);
    neighbour->SetParent(top);
    splitter = new TSplitter(&owner_);
    splitter->SetAlign(align);
    splitter->SetBounds(0, 0, 3, 3);
    splitter->SetParent(top);
    splitter->SetColor(clBlue);
    splitter->OnMoved = [this](TObject* sender) {
      EXPECT_EQ(sender, splitter);
      ++moved;
    };
    if (windowedRest) {
      auto* panel = new TPanel(&owner_);
      panel->SetBevelOuter(bvNone);
      panel->SetColor(clWhite);
      rest = panel;
    } else {
      rest = new TPaintBox(&owner_);
    }
    rest->SetAlign(alClient);
    rest->SetParent(top);
    Take(top);
  }
  bool Horizontal() const { return splitter->Align() == alLeft || splitter->Align() == alRight; }
  int NeighbourSize() const { return Horizontal() ? neighbour->Width() : neighbour->Height(); }
  // A point on the splitter's axis, `along` pixels from the parent's left or top.
  LPARAM At(int along) const { return Horizontal() ? Point(along, 50) : Point(150, along); }
  int SplitterMiddle() const { return Horizontal() ? splitter->Left() + 1 : splitter->Top() + 1; }
  void Press() { SendMessageA(top->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(SplitterMiddle())); }
  void MoveTo(int along) { SendMessageA(top->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(along)); }
  void Release(int along) { SendMessageA(top->Handle(), WM_LBUTTONUP, 0, At(along)); }

  TPanel* top = nullptr;
  TPaintBox* neighbour = nullptr;
  TSplitter* splitter = nullptr;
  TControl* rest = nullptr;
  int moved = 0;
};

TEST_F(SplitterTest, DragStopsAtTheNeighboursMinimumAndAtTheRestsMinimum) {
  struct Case {
    const char* name;
    TAlign align;
    int border;
    int dragTo;        // pointer position on the axis
    int expectedSize;  // of the neighbour after the release
  } cases[] = {
      {"left, a little", alLeft, 0, 131, 130},
      {"left, below the minimum", alLeft, 0, 5, 30},
      {"left, beyond the rest's minimum", alLeft, 0, 295, 300 - 30 - 3},
      {"left, inside a border", alLeft, 5, 295, 290 - 30 - 3},
      {"right, a little", alRight, 0, 148, 150},
      {"right, below the minimum", alRight, 0, 295, 30},
      {"right, beyond the rest's minimum", alRight, 0, 2, 267},
      {"top, a little", alTop, 0, 61, 60},
      {"top, beyond the rest's minimum", alTop, 0, 99, 100 - 30 - 3},
      {"bottom, below the minimum", alBottom, 0, 99, 30},
      {"bottom, a little", alBottom, 0, 40, 58},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Build(c.align, c.align == alLeft || c.align == alRight ? 100 : 40, c.border);
    const int start = SplitterMiddle();
    Press();
    EXPECT_TRUE(splitter->Sizing());
    MoveTo((start + c.dragTo) / 2);
    MoveTo(c.dragTo);
    EXPECT_EQ(moved, 0);   // nothing resized before the release
    Release(c.dragTo);
    EXPECT_FALSE(splitter->Sizing());
    EXPECT_EQ(NeighbourSize(), c.expectedSize);
    EXPECT_EQ(moved, 1);
    // The splitter follows its neighbour.
    switch (c.align) {
      case alLeft: EXPECT_EQ(splitter->Left(), neighbour->Left() + neighbour->Width()); break;
      case alRight: EXPECT_EQ(splitter->Left() + splitter->Width(), neighbour->Left()); break;
      case alTop: EXPECT_EQ(splitter->Top(), neighbour->Top() + neighbour->Height()); break;
      default: EXPECT_EQ(splitter->Top() + splitter->Height(), neighbour->Top()); break;
    }
    TComponent::Free(top);
    moved = 0;
  }
}

TEST_F(SplitterTest, FeedbackIsInvertedOnTheParentAndGoneAfterTheRelease) {
  Build(alLeft, 100);
  const Shot before = Take(top);
  EXPECT_EQ(before.At(101, 50), kBlue);   // the splitter paints its colour
  Press();
  // Pressed in place: the bar itself is inverted.
  EXPECT_EQ(Take(top, false).At(101, 50), RGB(255, 255, 0));
  MoveTo(10);   // held at the minimum: the bar's new place is at 30..32
  Shot during = Take(top, false);
  EXPECT_EQ(during.At(101, 50), kBlue);
  for (int x : {30, 31, 32}) EXPECT_EQ(during.At(x, 50), RGB(255, 127, 255)) << x;
  EXPECT_EQ(during.At(29, 50), kGreen);
  EXPECT_EQ(during.At(33, 50), kGreen);
  EXPECT_EQ(during.At(31, 0), RGB(255, 127, 255));
  EXPECT_EQ(during.At(31, 99), RGB(255, 127, 255));
  // Back to where it started and released: no resize, no event, and every pixel as before
  // without any repainting.
  MoveTo(101);
  Release(101);
  EXPECT_EQ(moved, 0);
  EXPECT_EQ(neighbour->Width(), 100);
  EXPECT_EQ(Take(top, false).pixels, before.pixels);

  // A real move: one event, the bar painted at its new place, no inverted pixels left.
  Press();
  MoveTo(60);
  MoveTo(61);
  Release(61);
  EXPECT_EQ(moved, 1);
  EXPECT_EQ(neighbour->Width(), 60);
  const Shot after = Take(top, false);
  EXPECT_EQ(after.At(61, 50), kBlue);
  for (const COLORREF c : after.pixels) EXPECT_TRUE(c == kGreen || c == kBlue);
}

TEST_F(SplitterTest, FeedbackCrossingAWindowedControlIsDrawnOnItsWindowToo) {
  Build(alRight, 100, 0, true);   // the rest, left of the splitter, has a window of its own
  auto* panel = static_cast<TPanel*>(rest);
  const Shot before = Take(panel);
  Press();
  MoveTo(100);   // the bar's new place: 99..101 of the parent, inside the rest at the same x
  const Shot during = Take(panel, false);
  for (int x : {99, 100, 101}) EXPECT_EQ(during.At(x, 50), RGB(0, 0, 0)) << x;
  EXPECT_EQ(during.At(98, 50), kWhite);
  EXPECT_EQ(during.At(102, 50), kWhite);
  MoveTo(198);
  Release(198);
  EXPECT_EQ(moved, 0);
  EXPECT_EQ(Take(panel, false).pixels, before.pixels);
}

TEST_F(SplitterTest, ResizeStylesAndCanResizeDecideWhenAndHowFar) {
  // rsUpdate resizes at every move, each one an event.
  Build(alLeft, 100);
  splitter->SetResizeStyle(rsUpdate);
  Press();
  MoveTo(81);
  EXPECT_EQ(neighbour->Width(), 80);
  EXPECT_EQ(splitter->Left(), 80);
  MoveTo(71);
  EXPECT_EQ(neighbour->Width(), 70);
  Release(71);
  EXPECT_EQ(moved, 2);
  TComponent::Free(top);

  // rsNone: no feedback, the size at the release.
  moved = 0;
  Build(alLeft, 100);
  splitter->SetResizeStyle(rsNone);
  const Shot before = Take(top);
  Press();
  MoveTo(51);
  EXPECT_EQ(Take(top, false).pixels, before.pixels);
  Release(51);
  EXPECT_EQ(neighbour->Width(), 50);
  EXPECT_EQ(moved, 1);
  TComponent::Free(top);

  // OnCanResize rounds sizes to tens and refuses those above 150: the last accepted one stays.
  moved = 0;
  Build(alLeft, 100);
  std::vector<int> asked;
  splitter->OnCanResize = [&](TObject*, int& size, bool& accept) {
    asked.push_back(size);
    size = size / 10 * 10;
    accept = size <= 150;
  };
  Press();
  MoveTo(138);
  MoveTo(181);
  Release(181);
  EXPECT_EQ(asked, (std::vector<int>{137, 180}));
  EXPECT_EQ(neighbour->Width(), 130);
  EXPECT_EQ(moved, 1);
  TComponent::Free(top);

  // The capture lost (a move without the button): the drag ends with no resize and no trace.
  moved = 0;
  Build(alLeft, 100);
  const Shot clean = Take(top);
  Press();
  MoveTo(51);
  SendMessageA(top->Handle(), WM_MOUSEMOVE, 0, Point(51, 50));
  EXPECT_FALSE(splitter->Sizing());
  EXPECT_EQ(Take(top, false).pixels, clean.pixels);
  Release(51);
  EXPECT_EQ(neighbour->Width(), 100);
  EXPECT_EQ(moved, 0);
}

TEST_F(SplitterTest, CursorFollowsTheAxisAndAFreeSplitterFindsNoNeighbour) {
  Build(alLeft, 100);
  EXPECT_EQ(splitter->Cursor(), crHSplit);
  splitter->SetAlign(alTop);
  EXPECT_EQ(splitter->Cursor(), crVSplit);
  splitter->SetAlign(alRight);
  EXPECT_EQ(splitter->Cursor(), crHSplit);
  splitter->SetCursor(crHandPoint);   // chosen by hand: kept
  splitter->SetAlign(alBottom);
  EXPECT_EQ(splitter->Cursor(), crHandPoint);

  // Not aligned: pressing it starts nothing.
  splitter->SetAlign(alNone);
  splitter->SetBounds(200, 10, 3, 30);
  splitter->BringToFront();
  SendMessageA(top->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Point(201, 20));
  EXPECT_FALSE(splitter->Sizing());
  SendMessageA(top->Handle(), WM_LBUTTONUP, 0, Point(150, 20));
  EXPECT_EQ(moved, 0);

  // Freed in the middle of a drag: its feedback goes with it.
  splitter->SetAlign(alLeft);
  const Shot before = Take(top);
  Press();
  MoveTo(51);
  TComponent::Free(splitter);
  splitter = nullptr;
  EXPECT_EQ(Take(top, false).pixels, before.pixels);
  ReleaseCapture();
}

}  // namespace
