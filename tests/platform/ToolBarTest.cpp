#include "platform/ToolBar.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include "platform/MemoryCanvas.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using platformtest::MemoryCanvas;
using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateMouse;
using Strings = std::vector<std::string>;

constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kNavy = RGB(0, 0, 128);

// A bitmap deleted with the object.
class Bitmap {
 public:
  Bitmap(int width, int height) {
    HDC dc = CreateCompatibleDC(nullptr);
    bitmap_ = CreateCompatibleBitmap(dc, width, height);
    DeleteDC(dc);
  }
  ~Bitmap() { DeleteObject(bitmap_); }
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  HBITMAP get() const { return bitmap_; }
  // Sets pixels through a memory context.
  void Paint(const std::function<void(HDC)>& draw) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap_);
    draw(dc);
    SelectObject(dc, old);
    DeleteDC(dc);
  }

 private:
  HBITMAP bitmap_;
};

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  RECT r{left, top, right, bottom};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// A strip of size x size images: magenta (the mask colour) with a solid square one pixel in from
// each edge in the image's colour.
std::unique_ptr<Bitmap> Strip(int size, const std::vector<COLORREF>& colours, int extraColumns = 0) {
  auto strip = std::make_unique<Bitmap>(size * static_cast<int>(colours.size()) + extraColumns, size);
  strip->Paint([&](HDC dc) {
    Fill(dc, 0, 0, size * static_cast<int>(colours.size()) + extraColumns, size, kMagenta);
    for (std::size_t i = 0; i < colours.size(); ++i) {
      const int left = static_cast<int>(i) * size;
      Fill(dc, left + 1, 1, left + size - 1, size - 1, colours[i]);
    }
  });
  return strip;
}

// The pixels of a rectangle as letters: . white, R red, G green, B blue, Y yellow, K black,
// M magenta, s button shadow, h button highlight... ? anything else.
std::vector<std::string> Letters(HDC dc, int left, int top, int width, int height) {
  const std::map<COLORREF, char> names{{kWhite, '.'}, {kRed, 'R'}, {kGreen, 'G'}, {kBlue, 'B'}, {kYellow, 'Y'},
                                       {kBlack, 'K'}, {kMagenta, 'M'}, {GetSysColor(COLOR_BTNSHADOW), 's'},
                                       {GetSysColor(COLOR_BTNFACE), 'f'}, {kNavy, 'N'}};
  std::vector<std::string> rows;
  for (int y = top; y < top + height; ++y) {
    std::string row;
    for (int x = left; x < left + width; ++x) {
      auto found = names.find(GetPixel(dc, x, y));
      row += found == names.end() ? '?' : found->second;
    }
    rows.push_back(row);
  }
  return rows;
}

// ---- Image list ------------------------------------------------------------------------------

TEST(ToolBarImageListTest, AStripAddsOneImagePerWholeColumnWithItsMaskColourTransparent) {
  TImageList list(nullptr, 4, 4);
  auto strip = Strip(4, {kRed, kBlue}, 3);   // two whole images and three spare columns
  EXPECT_EQ(list.AddMasked(strip->get(), static_cast<TColor>(kMagenta)), 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.AddMasked(strip->get(), static_cast<TColor>(kMagenta)), 2) << "the next ones follow";
  EXPECT_EQ(list.Count(), 4);

  MemoryCanvas canvas(10, 4);
  list.Draw(canvas.dc(), 0, 0, 1);
  list.Draw(canvas.dc(), 5, 0, 2);
  EXPECT_EQ(Letters(canvas.dc(), 0, 0, 10, 4), (Strings{"..........", ".BB...RR..", ".BB...RR..", ".........."}));

  // An explicit mask: its white pixels are transparent, none without one.
  Bitmap mask(11, 4);
  mask.Paint([](HDC dc) {
    Fill(dc, 0, 0, 11, 4, kBlack);
    Fill(dc, 0, 0, 2, 4, kWhite);
  });
  EXPECT_EQ(list.Add(strip->get(), mask.get()), 4);
  EXPECT_EQ(list.Add(strip->get(), nullptr), 6);
  MemoryCanvas second(10, 4);
  list.Draw(second.dc(), 0, 0, 4);
  list.Draw(second.dc(), 5, 0, 6);
  EXPECT_EQ(Letters(second.dc(), 0, 0, 10, 4), (Strings{"..MM.MMMM.", "..RM.MRRM.", "..RM.MRRM.", "..MM.MMMM."}));

  // A background colour fills the masked pixels; dsTransparent keeps what is under them.
  list.SetBkColor(static_cast<TColor>(kYellow));
  MemoryCanvas third(10, 4);
  list.Draw(third.dc(), 0, 0, 0);
  list.SetDrawingStyle(dsTransparent);
  list.Draw(third.dc(), 5, 0, 0);
  EXPECT_EQ(Letters(third.dc(), 0, 0, 10, 4), (Strings{"YYYY......", "YRRY..RR..", "YRRY..RR..", "YYYY......"}));

  // A bitmap narrower than one image adds nothing.
  Bitmap narrow(3, 4);
  EXPECT_EQ(list.AddMasked(narrow.get(), clNone), -1);
  EXPECT_EQ(list.Add(nullptr, nullptr), -1);
  EXPECT_EQ(list.Count(), 8);
}

TEST(ToolBarImageListTest, AnIndexOutsideTheListDrawsNothing) {
  TImageList list(nullptr, 4, 4);
  auto strip = Strip(4, {kRed, kBlue, kGreen});
  list.AddMasked(strip->get(), static_cast<TColor>(kMagenta));
  list.SetBkColor(static_cast<TColor>(kYellow));   // even the background stays undrawn
  const std::vector<std::string> blank(4, "....");
  for (int index : {-1, 3, 100, -100}) {
    SCOPED_TRACE(index);
    MemoryCanvas canvas(4, 4);
    list.Draw(canvas.dc(), 0, 0, index);
    list.Draw(canvas.dc(), 0, 0, index, false);
    EXPECT_EQ(Letters(canvas.dc(), 0, 0, 4, 4), blank);
  }
  list.Delete(7);
  list.Delete(-1);
  EXPECT_EQ(list.Count(), 3) << "deleting outside the list changes nothing";
  list.Delete(0);
  EXPECT_EQ(list.Count(), 2);
  MemoryCanvas moved(4, 4);
  list.SetBkColor(clNone);
  list.Draw(moved.dc(), 0, 0, 0);
  EXPECT_EQ(Letters(moved.dc(), 1, 1, 1, 1), Strings{"B"}) << "the later images moved down";
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  MemoryCanvas cleared(4, 4);
  list.Draw(cleared.dc(), 0, 0, 0);
  EXPECT_EQ(Letters(cleared.dc(), 0, 0, 4, 4), blank);
  TCanvas unbound;
  list.Draw(&unbound, 0, 0, 0);   // no context: nothing, no fault
  list.Draw(static_cast<TCanvas*>(nullptr), 0, 0, 0);
}

TEST(ToolBarImageListTest, ANewSizeEmptiesTheListAndSizesBelowOneAreRefused) {
  TImageList list(nullptr);
  EXPECT_EQ(list.Width(), 16);
  EXPECT_EQ(list.Height(), 16);
  auto strip = Strip(16, {kRed});
  list.AddMasked(strip->get(), static_cast<TColor>(kMagenta));
  int changes = 0;
  list.OnChange = [&](TObject*) { ++changes; };
  list.SetSize(0, 13);
  list.SetWidth(-4);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(changes, 0);
  HIMAGELIST before = list.Handle();
  list.SetSize(38, 13);
  EXPECT_EQ(list.Width(), 38);
  EXPECT_EQ(list.Height(), 13);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(changes, 1);
  EXPECT_NE(list.Handle(), nullptr);
  EXPECT_EQ(ImageList_GetImageCount(before), 0) << "the old handle is gone";
  int cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list.Handle(), &cx, &cy));
  EXPECT_EQ(cx, 38);
  EXPECT_EQ(cy, 13);
}

TEST(ToolBarImageListTest, ADisabledImageIsItsInkedShapeInHighlightBelowRightAndShadowInPlace) {
  TImageList list(nullptr, 4, 3);
  Bitmap image(4, 3);
  image.Paint([](HDC dc) {
    Fill(dc, 0, 0, 4, 3, kMagenta);
    SetPixelV(dc, 1, 1, kBlue);
    SetPixelV(dc, 2, 1, kWhite);   // white ink is not part of the shape
  });
  list.AddMasked(image.get(), static_cast<TColor>(kMagenta));
  MemoryCanvas canvas(8, 6);
  Fill(canvas.dc(), 0, 0, 8, 6, kGreen);
  list.Draw(canvas.dc(), 0, 0, 0, true);
  list.Draw(canvas.dc(), 2, 2, 0, false);
  EXPECT_EQ(Letters(canvas.dc(), 0, 0, 8, 6),
            (Strings{"GGGGGGGG", "GB.GGGGG", "GGGGGGGG", "GGGsGGGG", "GGGG.GGG", "GGGGGGGG"}));
}

// ---- Tool bar ----------------------------------------------------------------------------------

const char* StageName(TCustomDrawStage stage) {
  switch (stage) {
    case cdPrePaint: return "pre";
    case cdPostPaint: return "post";
    case cdPreErase: return "preErase";
    case cdPostErase: return "postErase";
  }
  return "?";
}

constexpr int kImage = 8;   // the tool images are 8 x 8: red, green, blue, yellow

class ToolBarTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = new TWinControl(&owner_);
    host_->SetBounds(40, 30, 300, 60);
    host_->HandleNeeded();
    images_ = new TImageList(&owner_, kImage, kImage);
    auto strip = Strip(kImage, {kRed, kGreen, kBlue, kYellow});
    images_->AddMasked(strip->get(), static_cast<TColor>(kMagenta));
  }
  void TearDown() override { ReleaseCapture(); }

  TToolBar* Bar(bool flat = true) {
    auto* bar = new TToolBar(&owner_);
    bar->SetFlat(flat);
    bar->SetImages(images_);
    bar->SetParent(host_);
    return bar;
  }
  TToolButton* Add(TToolBar* bar, const std::string& name, TToolButtonStyle style = tbsButton, int image = -1) {
    auto* button = new TToolButton(&owner_);
    button->SetName(name);
    button->SetStyle(style);
    button->SetImageIndex(image);
    button->SetParent(bar);
    return button;
  }
  static POINT Centre(TToolButton* b) { return POINT{b->Left() + b->Width() / 2, b->Top() + b->Height() / 2}; }
  void Move(TToolBar* bar, int x, int y, WPARAM keys = 0) {
    SimulateMouse(bar->Handle(), WM_MOUSEMOVE, x, y, keys);
    ProcessPendingMessages();
  }
  void Click(TToolBar* bar, TToolButton* b) {
    POINT c = Centre(b);
    SimulateMouse(bar->Handle(), WM_LBUTTONDOWN, c.x, c.y, MK_LBUTTON);
    SimulateMouse(bar->Handle(), WM_LBUTTONUP, c.x, c.y, 0);
    ProcessPendingMessages();
  }
  // Paints the bar afresh and reads its pixels.
  static void Repaint(TToolBar* bar) {
    InvalidateRect(bar->Handle(), nullptr, TRUE);
    UpdateWindow(bar->Handle());
  }
  static COLORREF At(TToolBar* bar, int x, int y) {
    HDC dc = GetDC(bar->Handle());
    COLORREF pixel = GetPixel(dc, x, y);
    ReleaseDC(bar->Handle(), dc);
    return pixel;
  }
  static std::vector<std::string> Picture(TToolBar* bar, const TRect& r) {
    HDC dc = GetDC(bar->Handle());
    auto rows = Letters(dc, r.left, r.top, r.Width(), r.Height());
    ReleaseDC(bar->Handle(), dc);
    return rows;
  }
  // The middle pixel of a button's image where the default drawing puts it (one right and down
  // when pressed or checked).
  static POINT ImageMiddle(TToolButton* b, int offset = 0) {
    return POINT{b->Left() + (b->Width() - kImage) / 2 + kImage / 2 + offset, b->Top() + (b->Height() - kImage) / 2 + kImage / 2 + offset};
  }

  zuvo::platform::ScopedDrivenClock clock_;
  TComponent owner_{nullptr};
  TWinControl* host_ = nullptr;
  TImageList* images_ = nullptr;
};

TEST_F(ToolBarTest, ButtonsRunFromTheLeftWithSeparatorsAtTheirWidthAndHiddenOnesTakingNoRoom) {
  TToolBar* bar = Bar();
  EXPECT_EQ(bar->Align(), alTop);
  EXPECT_EQ(bar->Width(), 300);
  EXPECT_EQ(bar->ButtonWidth(), 25);
  auto* a = Add(bar, "a");
  auto* sep = Add(bar, "sep", tbsSeparator);
  auto* hidden = Add(bar, "hidden");
  hidden->SetVisible(false);
  auto* b = Add(bar, "b");
  auto* divider = Add(bar, "divider", tbsDivider);
  divider->SetWidth(12);
  auto* c = Add(bar, "c");
  auto lefts = [&] {
    std::vector<int> out;
    for (int i = 0; i < bar->ButtonCount(); ++i) {
      TToolButton* button = bar->Buttons(i);
      out.push_back(button->Visible() ? button->Left() : -1);
    }
    return out;
  };
  EXPECT_EQ(lefts(), (std::vector<int>{0, 25, -1, 33, 58, 70}));
  EXPECT_EQ(c->BoundsRect(), TRect(70, 2, 95, 24));
  EXPECT_EQ(sep->Width(), 8);
  EXPECT_EQ(b->Index(), 3);
  EXPECT_THROW(bar->Buttons(6), EListError);

  hidden->SetVisible(true);
  EXPECT_EQ(lefts(), (std::vector<int>{0, 25, 33, 58, 83, 95}));
  a->SetLeft(200);   // the bar places its buttons
  EXPECT_EQ(a->Left(), 0);
  c->SetIndex(0);
  bar->SetButtonWidth(30);
  bar->SetButtonHeight(24);
  bar->SetIndent(4);
  EXPECT_EQ(c->Index(), 0);
  EXPECT_EQ(lefts(), (std::vector<int>{4, 34, 64, 72, 102, 132}));
  EXPECT_EQ(c->Height(), 24);
  TComponent::Free(hidden);
  EXPECT_EQ(bar->ButtonCount(), 5);
  EXPECT_EQ(lefts(), (std::vector<int>{4, 34, 64, 72, 102}));
  sep->SetParent(host_);   // leaving the bar
  EXPECT_EQ(sep->ToolBar(), nullptr);
  EXPECT_EQ(lefts(), (std::vector<int>{4, 34, 64, 94}));
}

TEST_F(ToolBarTest, ClicksOnCheckAndGroupedCheckButtonsSetDownAsATable) {
  struct Case {
    const char* clicks;   // buttons clicked in turn
    bool allowAllUp;
    const char* down;     // g0 g1 g2 | h0 h1 | c after the clicks
  };
  const Case cases[] = {
      {"", false, "000|00|0"},
      {"g0", false, "100|00|0"},
      {"g0 g1", false, "010|00|0"},
      {"g1 g1", false, "010|00|0"},   // a down button of a group stays down
      {"g0 h0", false, "100|10|0"},   // the separator ends the group
      {"h0 h1 g2", false, "001|01|0"},
      {"c c c", false, "000|00|1"},
      {"p g2 p", false, "001|00|0"},  // a plain button keeps nothing down
      {"g1 g1", true, "000|00|0"},    // with AllowAllUp a second click raises it
      {"g0 g1 g1 g2", true, "001|00|0"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.clicks) + (k.allowAllUp ? " all up" : ""));
    TToolBar* bar = Bar();
    std::map<std::string, TToolButton*> named;
    for (const char* name : {"g0", "g1", "g2", "sep", "h0", "h1", "c", "p"}) {
      std::string n = name;
      TToolButtonStyle style = n == "sep" ? tbsSeparator : n == "p" ? tbsButton : tbsCheck;
      TToolButton* b = Add(bar, n, style);
      b->SetGrouped(n[0] == 'g' || n[0] == 'h');
      b->SetAllowAllUp(k.allowAllUp);
      named[n] = b;
    }
    std::string clicks = k.clicks;
    for (std::size_t at = 0; at < clicks.size();) {
      std::size_t end = clicks.find(' ', at);
      if (end == std::string::npos) end = clicks.size();
      Click(bar, named.at(clicks.substr(at, end - at)));
      at = end + 1;
    }
    std::string down;
    for (const char* name : {"g0", "g1", "g2", "|", "h0", "h1", "|", "c"}) {
      down += name[0] == '|' ? '|' : named.at(name)->Down() ? '1' : '0';
    }
    EXPECT_EQ(down, k.down);
    EXPECT_FALSE(named.at("p")->Down());
    TComponent::Free(bar);
  }
}

TEST_F(ToolBarTest, OnClickSeesTheNewDownStateAndTheTagWhileDownFromCodeFollowsTheGroupWithoutClicking) {
  TToolBar* bar = Bar();
  // Cycle buttons carry their cycle in Tag: day 8, week 9, month 10.
  std::vector<TToolButton*> cycles;
  Strings log;
  for (int tag : {8, 9, 10}) {
    TToolButton* b = Add(bar, "cycle" + std::to_string(tag), tbsCheck, 0);
    b->SetGrouped(true);
    b->SetTag(tag);
    b->OnClick = [&log](TObject* sender) {
      auto* button = static_cast<TToolButton*>(sender);
      log.push_back(std::to_string(button->Tag()) + (button->Down() ? " down" : " up"));
    };
    cycles.push_back(b);
  }
  auto* line = Add(bar, "line", tbsCheck, 1);
  line->OnClick = [&log](TObject* sender) { log.push_back(static_cast<TToolButton*>(sender)->Down() ? "line down" : "line up"); };

  Click(bar, cycles[1]);
  Click(bar, cycles[1]);
  Click(bar, line);
  Click(bar, line);
  EXPECT_EQ(log, (Strings{"9 down", "9 down", "line down", "line up"}));

  log.clear();
  cycles[2]->SetDown(true);   // as a chart checking its cycle
  EXPECT_FALSE(cycles[1]->Down());
  cycles[1]->SetVisible(false);   // hidden buttons stay in their group
  cycles[1]->SetDown(true);
  EXPECT_FALSE(cycles[2]->Down());
  cycles[1]->SetDown(false);      // from code all may be up
  EXPECT_FALSE(cycles[0]->Down() || cycles[1]->Down() || cycles[2]->Down());
  EXPECT_TRUE(log.empty()) << "setting Down never clicks";

  // A double click is a second click; disabled buttons and separators take none.
  SendMessageA(bar->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(Centre(line).x, Centre(line).y));
  SendMessageA(bar->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(Centre(line).x, Centre(line).y));
  EXPECT_EQ(log, Strings{"line down"});
  line->SetEnabled(false);
  Click(bar, line);
  EXPECT_EQ(log, Strings{"line down"});
  EXPECT_TRUE(line->Down());
}

TEST_F(ToolBarTest, APressShowsWhileThePointerStaysOnTheButtonAndOnlyAReleaseOnItClicks) {
  TToolBar* bar = Bar();
  auto* a = Add(bar, "a", tbsButton, 0);
  int clicks = 0;
  a->OnClick = [&](TObject*) { ++clicks; };
  Repaint(bar);
  const POINT rest = ImageMiddle(a);
  const POINT corner{a->Left() + (a->Width() - kImage) / 2 + kImage - 1, a->Top() + (a->Height() - kImage) / 2 + kImage - 1};
  EXPECT_EQ(At(bar, rest.x, rest.y), kRed);
  EXPECT_EQ(At(bar, corner.x, corner.y), GetSysColor(COLOR_BTNFACE)) << "the image's masked corner";

  POINT c = Centre(a);
  SimulateMouse(bar->Handle(), WM_LBUTTONDOWN, c.x, c.y, MK_LBUTTON);
  ProcessPendingMessages();
  EXPECT_TRUE(a->Pressed());
  EXPECT_TRUE(bar->ButtonState(a).Contains(cdsSelected));
  UpdateWindow(bar->Handle());
  EXPECT_EQ(At(bar, corner.x + 1, corner.y + 1), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(At(bar, corner.x, corner.y), kRed) << "the image one pixel right and down";
  EXPECT_EQ(At(bar, a->Left(), a->Top()), GetSysColor(COLOR_BTNSHADOW)) << "sunken edge";

  Move(bar, 200, 10, MK_LBUTTON);   // off the button, still held
  EXPECT_FALSE(a->Pressed());
  SimulateMouse(bar->Handle(), WM_LBUTTONUP, 200, 10, 0);
  ProcessPendingMessages();
  EXPECT_EQ(clicks, 0);
  UpdateWindow(bar->Handle());
  EXPECT_EQ(At(bar, corner.x, corner.y), GetSysColor(COLOR_BTNFACE));

  // Pressed off and released on: no click either; on and on: one.
  SimulateMouse(bar->Handle(), WM_LBUTTONDOWN, 200, 10, MK_LBUTTON);
  SimulateMouse(bar->Handle(), WM_LBUTTONUP, c.x, c.y, 0);
  ProcessPendingMessages();
  EXPECT_EQ(clicks, 0);
  Click(bar, a);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(a->Pressed());
}

TEST_F(ToolBarTest, TheButtonUnderThePointerOfAFlatBarIsHotUntilThePointerLeavesIt) {
  TToolBar* bar = Bar(true);
  auto* a = Add(bar, "a", tbsButton, 0);
  auto* sep = Add(bar, "sep", tbsSeparator);
  auto* b = Add(bar, "b", tbsButton, 1);
  auto* off = Add(bar, "off", tbsButton, 2);
  off->SetEnabled(false);
  Repaint(bar);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(At(bar, a->Left(), a->Top()), face) << "a flat button at rest has no edge";

  Move(bar, Centre(a).x, Centre(a).y);
  EXPECT_EQ(bar->HotButton(), a);
  EXPECT_TRUE(bar->ButtonState(a).Contains(cdsHot));
  UpdateWindow(bar->Handle());
  EXPECT_EQ(At(bar, a->Left(), a->Top()), GetSysColor(COLOR_BTNHIGHLIGHT)) << "raised edge";
  EXPECT_EQ(At(bar, a->Left() + a->Width() - 1, a->Top() + a->Height() - 1), GetSysColor(COLOR_BTNSHADOW));

  Move(bar, Centre(b).x, Centre(b).y);
  EXPECT_EQ(bar->HotButton(), b);
  UpdateWindow(bar->Handle());
  EXPECT_EQ(At(bar, a->Left(), a->Top()), face);
  EXPECT_EQ(At(bar, b->Left(), b->Top()), GetSysColor(COLOR_BTNHIGHLIGHT));

  struct Spot {
    const char* where;
    int x;
    TToolButton* hot;
  };
  for (const Spot& s : {Spot{"separator", Centre(sep).x, nullptr}, Spot{"a", Centre(a).x, a},
                        Spot{"disabled", Centre(off).x, nullptr}, Spot{"b", Centre(b).x, b},
                        Spot{"past the buttons", 280, nullptr}}) {
    SCOPED_TRACE(s.where);
    Move(bar, s.x, 12);
    EXPECT_EQ(bar->HotButton(), s.hot);
  }
  // Leaving the bar's window clears it.
  Move(bar, Centre(a).x, 12);
  ASSERT_EQ(bar->HotButton(), a);
  auto* other = new TToolBar(&owner_);
  other->SetParent(host_);
  Move(other, 10, 10);
  EXPECT_EQ(bar->HotButton(), nullptr);

  // A bar that is not flat tracks nothing.
  TToolBar* raised = Bar(false);
  auto* r = Add(raised, "r", tbsButton, 0);
  Move(raised, Centre(r).x, Centre(r).y);
  EXPECT_EQ(raised->HotButton(), nullptr);
  EXPECT_FALSE(raised->ButtonState(r).Contains(cdsHot));
}

// The shell's way: the bar filled and edged by its handler, buttons drawn rounded by the handler
// when pressed, hot or checked, with the image centred; here one button of each kind: painted by
// the handler, suppressed without drawing, and left to the default drawing.
TEST_F(ToolBarTest, HandlersPaintTheBarAndOneButtonAndSuppressAnother) {
  TToolBar* bar = Bar(true);
  auto* painted = Add(bar, "painted", tbsCheck, 0);
  painted->SetDown(true);
  Add(bar, "sep", tbsSeparator);
  auto* suppressed = Add(bar, "suppressed", tbsButton, 1);
  auto* plain = Add(bar, "plain", tbsButton, 2);
  Strings log;
  bar->OnAdvancedCustomDraw = [&](TToolBar* sender, const TRect& rect, TCustomDrawStage stage, bool& defaultDraw) {
    log.push_back(std::string("bar ") + StageName(stage));
    EXPECT_EQ(rect, sender->ClientRect());
    if (stage != cdPrePaint) return;
    TCanvas* canvas = sender->Canvas();
    canvas->Brush()->SetColor(static_cast<TColor>(kNavy));
    canvas->FillRect(TRect(rect.left, rect.top - 1, rect.right, rect.bottom));
    canvas->Pen()->SetColor(clBlack);
    canvas->MoveTo(rect.left, rect.top - 1);
    canvas->LineTo(rect.left, rect.bottom);
    canvas->MoveTo(rect.right - 1, rect.top - 1);
    canvas->LineTo(rect.right - 1, rect.bottom);
  };
  bar->OnAdvancedCustomDrawButton = [&](TToolBar* sender, TToolButton* button, TCustomDrawState state,
                                        TCustomDrawStage stage, TTBCustomDrawFlags&, bool& defaultDraw) {
    log.push_back(button->Name() + " " + StageName(stage) + (state.Contains(cdsChecked) ? " checked" : ""));
    if (stage != cdPrePaint || button == plain) return;
    defaultDraw = false;
    if (button != painted) return;
    TCanvas* canvas = sender->Canvas();
    TRect r = button->BoundsRect();
    canvas->Brush()->SetColor(clLime);
    canvas->Pen()->SetColor(clBlack);
    canvas->RoundRect(r.left, r.top, r.right, r.bottom, 5, 5);
    TImageList* images = sender->Images();
    images->Draw(canvas, (r.left + r.right - images->Width()) / 2, (r.top + r.bottom - images->Height()) / 2,
                 button->ImageIndex());
  };
  Repaint(bar);
  EXPECT_EQ(log, (Strings{"bar preErase", "bar postErase", "bar pre", "painted pre checked", "suppressed pre",
                          "plain pre", "plain post", "bar post"}));

  // The bar: the handler's fill and its left and right edges.
  EXPECT_EQ(At(bar, 150, 1), kNavy);
  EXPECT_EQ(At(bar, 0, 12), kBlack);
  EXPECT_EQ(At(bar, 299, 12), kBlack);
  // The painted button: rounded, lime, its image centred by the handler.
  EXPECT_EQ(At(bar, painted->Left() + 12, painted->Top()), kBlack);
  EXPECT_EQ(At(bar, painted->Left() + 2, painted->Top() + 3), kGreen);
  EXPECT_EQ(At(bar, ImageMiddle(painted).x, ImageMiddle(painted).y), kRed);
  // The suppressed button: nothing of it, its image neither.
  EXPECT_EQ(Picture(bar, suppressed->BoundsRect()), std::vector<std::string>(22, std::string(25, 'N')));
  // The default one: its image on the handler's fill.
  EXPECT_EQ(At(bar, ImageMiddle(plain).x, ImageMiddle(plain).y), kBlue);
  EXPECT_EQ(At(bar, plain->Left() + 1, plain->Top() + 1), kNavy);

  // Refusing the default drawing of the bar draws no button at all.
  bar->OnAdvancedCustomDraw = [](TToolBar* sender, const TRect& rect, TCustomDrawStage stage, bool& defaultDraw) {
    if (stage == cdPreErase) {
      sender->Canvas()->Brush()->SetColor(clYellow);
      sender->Canvas()->FillRect(rect);
      defaultDraw = false;   // no face-coloured fill over it
    }
    if (stage == cdPrePaint) defaultDraw = false;
  };
  log.clear();
  Repaint(bar);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(At(bar, ImageMiddle(plain).x, ImageMiddle(plain).y), kYellow);
}

TEST_F(ToolBarTest, FlagsFromTheButtonHandlerChangeTheDefaultDrawing) {
  enum Situation { hot, pressed, disabled };
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  // The image (8 x 8 at 8, 9 on the first button) has ink at 9..14 x 10..15.
  struct Case {
    const char* name;
    Situation situation;
    TTBCustomDrawFlags flags;
    int x, y;
    COLORREF expected;
  };
  const Case cases[] = {
      {"hot: raised edge", hot, {}, 0, 2, highlight},
      {"hot without edges", hot, {tbNoEdges}, 0, 2, face},
      {"hot filled with the highlight", hot, {tbHiliteHotTrack}, 3, 4, GetSysColor(COLOR_HIGHLIGHT)},
      {"pressed: image moved", pressed, {}, 15, 16, kRed},
      {"pressed without offset", pressed, {tbNoOffset}, 15, 16, face},
      {"disabled: etched copy", disabled, {}, 15, 16, highlight},
      {"disabled without etching", disabled, {tbNoEtchedEffect}, 15, 16, face},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TToolBar* bar = Bar(true);
    auto* a = Add(bar, "a", tbsButton, 0);
    bar->OnAdvancedCustomDrawButton = [&](TToolBar*, TToolButton*, TCustomDrawState, TCustomDrawStage stage,
                                          TTBCustomDrawFlags& flags, bool&) {
      if (stage == cdPrePaint) flags = k.flags;
    };
    if (k.situation == hot) Move(bar, Centre(a).x, Centre(a).y);
    if (k.situation == pressed) {
      SimulateMouse(bar->Handle(), WM_LBUTTONDOWN, Centre(a).x, Centre(a).y, MK_LBUTTON);
      ProcessPendingMessages();
    }
    if (k.situation == disabled) a->SetEnabled(false);
    Repaint(bar);
    EXPECT_EQ(At(bar, k.x, k.y), k.expected);
    ReleaseCapture();
    TComponent::Free(bar);
  }
}

TEST_F(ToolBarTest, CaptionsAreDrawnUnderTheImageOnlyWithShowCaptions) {
  TToolBar* bar = Bar(true);
  bar->SetButtonHeight(40);
  bar->SetHeight(44);
  auto* a = Add(bar, "a", tbsButton, 0);
  a->SetCaption("WW");
  auto inkBelowImage = [&] {
    Repaint(bar);
    int ink = 0;
    const int imageBottom = a->Top() + (a->Height() - kImage) / 2 + kImage;
    for (int y = imageBottom; y < a->Top() + a->Height(); ++y)
      for (int x = a->Left(); x < a->Left() + a->Width(); ++x) ink += At(bar, x, y) != GetSysColor(COLOR_BTNFACE);
    return ink;
  };
  EXPECT_EQ(inkBelowImage(), 0);
  bar->SetShowCaptions(true);
  EXPECT_GT(inkBelowImage(), 0);
  // The image moves up to make room: its middle is above the middle of the button.
  HDC dc = GetDC(bar->Handle());
  int firstRed = -1;
  for (int y = a->Top(); y < a->Top() + a->Height() && firstRed < 0; ++y) {
    if (GetPixel(dc, a->Left() + a->Width() / 2, y) == kRed) firstRed = y;
  }
  ReleaseDC(bar->Handle(), dc);
  EXPECT_GE(firstRed, a->Top());
  EXPECT_LT(firstRed, a->Top() + (a->Height() - kImage) / 2 + 1);
}

TEST_F(ToolBarTest, AButtonBeyondTheRightEdgeIsLeftBlank) {
  TToolBar* bar = Bar(true);
  bar->SetAlign(alNone);
  bar->SetBounds(0, 0, 60, 26);
  auto* a = Add(bar, "a", tbsButton, 0);
  auto* b = Add(bar, "b", tbsCheck, 1);
  auto* cut = Add(bar, "cut", tbsCheck, 2);   // 50..75 on a bar 60 wide
  b->SetDown(true);
  cut->SetDown(true);
  Repaint(bar);
  const std::vector<std::string> blank(22, std::string(10, 'f'));
  EXPECT_EQ(At(bar, ImageMiddle(a).x, ImageMiddle(a).y), kRed);
  EXPECT_EQ(At(bar, ImageMiddle(b, 1).x, ImageMiddle(b, 1).y), kGreen);
  EXPECT_EQ(Picture(bar, TRect(50, 2, 60, 24)), blank) << "default drawing";

  // The shell's handler draws no part of it either (and the bar asks it about every button).
  Strings asked;
  bar->OnAdvancedCustomDrawButton = [&](TToolBar* sender, TToolButton* button, TCustomDrawState state,
                                        TCustomDrawStage stage, TTBCustomDrawFlags&, bool& defaultDraw) {
    if (stage != cdPrePaint) return;
    asked.push_back(button->Name());
    defaultDraw = false;
    TRect r = button->BoundsRect();
    if (r.right > sender->Width()) return;
    if (state.Contains(cdsSelected) || state.Contains(cdsHot) || state.Contains(cdsChecked)) {
      sender->Canvas()->Brush()->SetColor(clLime);
      sender->Canvas()->RoundRect(r.left, r.top, r.right, r.bottom, 5, 5);
    }
  };
  Repaint(bar);
  EXPECT_EQ(asked, (Strings{"a", "b", "cut"}));
  EXPECT_EQ(At(bar, b->Left() + 12, b->Top() + 10), kGreen);
  EXPECT_EQ(Picture(bar, TRect(50, 2, 60, 24)), blank) << "handler drawing";
  // Widened, it is drawn.
  bar->SetWidth(80);
  Repaint(bar);
  EXPECT_EQ(At(bar, 62, 12), kGreen);
}

TEST_F(ToolBarTest, AnImageIndexOutsideTheListDrawsNoImageAndAFreedListIsLetGo) {
  TToolBar* bar = Bar(false);
  auto* good = Add(bar, "good", tbsButton, 3);
  auto* beyond = Add(bar, "beyond", tbsButton, 4);
  auto* negative = Add(bar, "negative", tbsButton, -2);
  Repaint(bar);
  EXPECT_EQ(At(bar, ImageMiddle(good).x, ImageMiddle(good).y), kYellow);
  // Inside the raised edges, only the face.
  const std::vector<std::string> face(18, std::string(21, 'f'));
  for (TToolButton* b : {beyond, negative}) {
    SCOPED_TRACE(b->Name());
    TRect r = b->BoundsRect();
    EXPECT_EQ(Picture(bar, TRect(r.left + 2, r.top + 2, r.right - 2, r.bottom - 2)), face);
  }

  // A disabled button shows its image greyed.
  good->SetEnabled(false);
  Repaint(bar);
  EXPECT_EQ(At(bar, ImageMiddle(good).x, ImageMiddle(good).y), GetSysColor(COLOR_BTNSHADOW));

  TComponent::Free(images_);
  images_ = nullptr;
  EXPECT_EQ(bar->Images(), nullptr);
  Repaint(bar);
  EXPECT_EQ(At(bar, ImageMiddle(good).x, ImageMiddle(good).y), GetSysColor(COLOR_BTNFACE));
}

}  // namespace
