// The package's push button, headless: each face's rows, columns and corner pixels on a 75 x 23
// button, the outer shadow following the parent, the face precedence, mouse tracking (press,
// drag out and back, entering held, double click, a modal dialog from OnClick), the caption
// area event, tiny sizes, and OnEnter / OnExit raised from painting.
#include "widgets/Xpbutton.h"

#include "XpButtonsFixture.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "widgets/Package.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace zuvo::widgets;
using xpbuttons::Memory;
using xpbuttons::Rgb;
using Face = xpface::Face;

// Opens the flags for the tests.
class TProbeButton : public TXPButton {
 public:
  using TXPButton::TXPButton;
  using TXPButton::m_bFocusShown;
  using TXPButton::m_bHot;
  using TXPButton::m_bPressed;
};

class XpButtonTest : public xpbuttons::XpButtonsTest {
 protected:
  static void Draw(TXPButton* b, Face face, HDC dc) {
    switch (face) {
      case Face::Normal: b->DrawNormal(dc); break;
      case Face::Default: b->DrawDefault(dc); break;
      case Face::Hot: b->DrawHot(dc); break;
      case Face::Pressed: b->DrawPressed(dc); break;
      case Face::Disabled: b->DrawDisabled(dc); break;
    }
  }
  // Pixel (2, 2) tells the faces apart.
  static const char* FaceAt(COLORREF corner) {
    if (corner == RGB(85, 125, 162)) return "normal";
    if (corner == RGB(39, 77, 133)) return "default";
    if (corner == RGB(141, 158, 161)) return "hot";
    if (corner == RGB(70, 109, 142)) return "pressed";
    if (corner == RGB(216, 214, 202)) return "disabled";
    return "?";
  }
  static std::string FaceOf(TWinControl* b) { return FaceAt(Pixel(b, 2, 2)); }
};

const char* Name(Face f) {
  switch (f) {
    case Face::Normal: return "normal";
    case Face::Default: return "default";
    case Face::Hot: return "hot";
    case Face::Pressed: return "pressed";
    case Face::Disabled: return "disabled";
  }
  return "?";
}

// ---- Faces of a 75 x 23 button --------------------------------------------------------------

TEST_F(XpButtonTest, FaceRowsAndColumnsAtTheirFirstMiddleAndLastPositions) {
  struct Case {
    Face face;
    int x, y;
    COLORREF colour;
  };
  const Case cases[] = {
      // Normal: the face rows (first one from x = 4, second from 3, then from 2, all to 70).
      {Face::Normal, 4, 2, RGB(255, 255, 255)},
      {Face::Normal, 3, 3, RGB(254, 254, 254)},
      {Face::Normal, 2, 4, RGB(253, 253, 253)},
      {Face::Normal, 40, 9, RGB(248, 248, 246)},
      {Face::Normal, 70, 17, RGB(240, 240, 234)},
      {Face::Normal, 10, 18, RGB(236, 235, 230)},
      {Face::Normal, 3, 19, RGB(226, 223, 214)},
      {Face::Normal, 71, 19, RGB(226, 223, 214)},
      {Face::Normal, 4, 20, RGB(214, 208, 197)},
      {Face::Normal, 70, 20, RGB(214, 208, 197)},
      // Normal: the two right columns.
      {Face::Normal, 71, 3, RGB(254, 254, 253)},
      {Face::Normal, 71, 10, RGB(245, 244, 240)},
      {Face::Normal, 71, 18, RGB(233, 231, 224)},
      {Face::Normal, 72, 4, RGB(246, 244, 242)},
      {Face::Normal, 72, 11, RGB(237, 235, 229)},
      {Face::Normal, 72, 18, RGB(227, 226, 216)},
      // Default: the light top row, the blue ring (full first and last rows, two-pixel sides),
      // the inner face, the dark bottom row.
      {Face::Default, 3, 2, RGB(206, 231, 255)},
      {Face::Default, 40, 3, RGB(188, 212, 246)},
      {Face::Default, 2, 11, RGB(163, 193, 237)},
      {Face::Default, 3, 11, RGB(163, 193, 237)},
      {Face::Default, 72, 11, RGB(163, 193, 237)},
      {Face::Default, 40, 19, RGB(137, 173, 228)},
      {Face::Default, 3, 18, RGB(141, 176, 230)},
      {Face::Default, 4, 4, RGB(252, 252, 251)},
      {Face::Default, 40, 10, RGB(247, 247, 244)},
      {Face::Default, 70, 17, RGB(240, 240, 234)},
      {Face::Default, 40, 18, RGB(236, 235, 230)},
      {Face::Default, 71, 20, RGB(105, 130, 238)},
      // Hot: the same rows in orange.
      {Face::Hot, 3, 2, RGB(255, 240, 207)},
      {Face::Hot, 40, 3, RGB(253, 216, 137)},
      {Face::Hot, 72, 11, RGB(251, 197, 93)},
      {Face::Hot, 40, 19, RGB(248, 178, 48)},
      {Face::Hot, 40, 10, RGB(247, 247, 244)},
      {Face::Hot, 3, 20, RGB(229, 151, 0)},
      // Pressed: the dark top row, the face rows, the side columns and the light bottom rows.
      {Face::Pressed, 4, 2, RGB(209, 204, 193)},
      {Face::Pressed, 40, 3, RGB(220, 216, 207)},
      {Face::Pressed, 3, 4, RGB(229, 228, 221)},
      {Face::Pressed, 40, 11, RGB(227, 226, 218)},
      {Face::Pressed, 71, 18, RGB(224, 224, 215)},
      {Face::Pressed, 2, 4, RGB(218, 216, 207)},
      {Face::Pressed, 2, 11, RGB(216, 214, 204)},
      {Face::Pressed, 2, 18, RGB(214, 212, 201)},
      {Face::Pressed, 72, 4, RGB(230, 230, 225)},
      {Face::Pressed, 72, 11, RGB(228, 228, 222)},
      {Face::Pressed, 72, 18, RGB(226, 226, 218)},
      {Face::Pressed, 40, 19, RGB(234, 233, 227)},
      {Face::Pressed, 40, 20, RGB(242, 241, 238)},
      // Disabled: the parent's brush outside, the pale inside, the grey border.
      {Face::Disabled, 0, 0, kBack},
      {Face::Disabled, 1, 10, RGB(201, 199, 186)},
      {Face::Disabled, 40, 1, RGB(201, 199, 186)},
      {Face::Disabled, 40, 10, RGB(245, 244, 234)},
      {Face::Disabled, 73, 3, RGB(201, 199, 186)},
      {Face::Disabled, 74, 10, kBack},
      // The common frame's border of the enabled faces.
      {Face::Normal, 3, 1, RGB(0, 60, 116)},
      {Face::Pressed, 71, 21, RGB(0, 60, 116)},
      {Face::Hot, 1, 19, RGB(0, 60, 116)},
      {Face::Default, 73, 3, RGB(0, 60, 116)},
  };
  auto* b = Make<TXPButton>(10, 10, 75, 23);
  form_->Show();
  Memory m(75, 23);
  for (Face face : {Face::Normal, Face::Default, Face::Hot, Face::Pressed, Face::Disabled}) {
    Draw(b, face, m.dc());
    for (const Case& c : cases) {
      if (c.face != face) continue;
      SCOPED_TRACE(std::string(Name(face)) + " at " + std::to_string(c.x) + "," + std::to_string(c.y));
      EXPECT_EQ(Rgb(m.At(c.x, c.y)), Rgb(c.colour));
    }
  }
}

TEST_F(XpButtonTest, CornerPixelsOfEachFace) {
  constexpr COLORREF kSame = 0xFF000000;   // not set by that face: left as the face drew it
  const COLORREF dark = RGB(224, 219, 201), light = RGB(250, 249, 245);
  struct Row {
    int x, y;
    COLORREF colours[5];   // normal, default, hot, pressed, disabled
  };
  const int W = 75, H = 23;
  const Row rows[] = {
      {1, 2, {RGB(121, 149, 167), RGB(121, 149, 167), RGB(121, 149, 167), RGB(121, 149, 167), RGB(216, 213, 199)}},
      {2, 1, {RGB(121, 149, 167), RGB(121, 149, 167), RGB(121, 149, 167), RGB(121, 149, 167), RGB(216, 213, 199)}},
      {2, 2, {RGB(85, 125, 162), RGB(39, 77, 133), RGB(141, 158, 161), RGB(70, 109, 142), RGB(216, 214, 202)}},
      {3, 2, {RGB(192, 207, 221), kSame, kSame, RGB(157, 168, 172), RGB(234, 233, 222)}},
      {2, 3, {RGB(191, 206, 220), kSame, kSame, RGB(160, 171, 177), RGB(234, 233, 222)}},
      {W - 2, 2, {RGB(122, 149, 168), RGB(122, 149, 168), RGB(122, 149, 168), RGB(122, 149, 168), RGB(216, 213, 199)}},
      {W - 3, 1, {RGB(102, 135, 159), RGB(102, 135, 159), RGB(102, 135, 159), RGB(102, 135, 159), RGB(216, 213, 199)}},
      {W - 3, 2, {RGB(85, 125, 162), RGB(39, 77, 133), RGB(141, 158, 161), RGB(73, 112, 146), RGB(216, 214, 202)}},
      {W - 4, 2, {RGB(213, 223, 232), kSame, kSame, RGB(177, 183, 183), RGB(234, 233, 222)}},
      {W - 3, 3, {RGB(191, 206, 219), kSame, kSame, RGB(169, 181, 189), RGB(234, 233, 222)}},
      {W - 2, H - 3, {RGB(106, 139, 162), RGB(106, 139, 162), RGB(106, 139, 162), RGB(106, 139, 162), RGB(216, 213, 199)}},
      {W - 3, H - 3, {RGB(72, 110, 144), RGB(39, 77, 133), RGB(131, 132, 111), RGB(79, 119, 155), RGB(216, 214, 202)}},
      {W - 3, H - 2, {RGB(108, 140, 163), RGB(108, 140, 163), RGB(108, 140, 163), RGB(108, 140, 163), RGB(216, 213, 199)}},
      {W - 3, H - 4, {RGB(182, 189, 189), kSame, kSame, RGB(196, 206, 210), RGB(234, 233, 222)}},
      {W - 4, H - 3, {RGB(177, 183, 182), kSame, kSame, RGB(202, 211, 218), RGB(234, 233, 222)}},
      {1, H - 3, {RGB(101, 134, 159), RGB(101, 134, 159), RGB(101, 134, 159), RGB(101, 134, 159), RGB(216, 213, 199)}},
      {2, H - 3, {RGB(74, 113, 147), RGB(39, 77, 133), RGB(132, 134, 113), RGB(77, 117, 152), RGB(216, 214, 202)}},
      {2, H - 2, {RGB(125, 152, 170), RGB(125, 152, 170), RGB(125, 152, 170), RGB(125, 152, 170), RGB(216, 213, 199)}},
      {2, H - 4, {RGB(191, 199, 202), kSame, kSame, RGB(188, 197, 199), RGB(234, 233, 222)}},
      {3, H - 3, {RGB(163, 174, 180), kSame, kSame, RGB(178, 193, 203), RGB(234, 233, 222)}},
      {1, 1, {dark, dark, dark, dark, kSame}},
      {W - 2, H - 2, {light, light, light, light, kSame}},
  };
  // Where a face sets no corner, the pixel keeps the face: the ring's top row, its sides and
  // bottom, or the disabled face's border and inside.
  const COLORREF keptDefault[] = {RGB(206, 231, 255), RGB(188, 212, 246)};
  auto* b = Make<TXPButton>(10, 10, W, H);
  form_->Show();
  Memory m(W, H);
  const Face faces[] = {Face::Normal, Face::Default, Face::Hot, Face::Pressed, Face::Disabled};
  for (int f = 0; f < 5; ++f) {
    Draw(b, faces[f], m.dc());
    for (const Row& r : rows) {
      SCOPED_TRACE(std::string(Name(faces[f])) + " at " + std::to_string(r.x) + "," + std::to_string(r.y));
      if (r.colours[f] != kSame) {
        EXPECT_EQ(Rgb(m.At(r.x, r.y)), Rgb(r.colours[f]));
      } else {
        EXPECT_NE(m.At(r.x, r.y), RGB(0, 0, 0));
      }
    }
  }
  Draw(b, Face::Default, m.dc());
  EXPECT_EQ(m.At(3, 2), keptDefault[0]);
  EXPECT_EQ(m.At(W - 3, 3), keptDefault[1]);
  Draw(b, Face::Disabled, m.dc());
  EXPECT_EQ(m.At(1, 1), kBack);
  EXPECT_EQ(m.At(W - 2, H - 2), RGB(245, 244, 234));
}

TEST_F(XpButtonTest, OuterShadowFollowsTheParentBackground) {
  struct Case {
    COLORREF back, dark, light;
  };
  const Case cases[] = {{RGB(236, 233, 216), RGB(224, 219, 201), RGB(250, 249, 245)},
                        {RGB(255, 255, 255), RGB(243, 241, 240), RGB(254, 254, 254)},
                        {RGB(5, 10, 240), RGB(0, 0, 225), RGB(19, 26, 254)}};
  auto* b = Make<TXPButton>(10, 10, 75, 23);
  form_->Show();
  Memory m(75, 23);
  for (const Case& c : cases) {
    SCOPED_TRACE(Rgb(c.back));
    form_->SetBack(c.back);
    b->DrawNormal(m.dc());
    EXPECT_EQ(Rgb(m.At(1, 0)), Rgb(c.dark));
    EXPECT_EQ(Rgb(m.At(72, 0)), Rgb(c.dark));
    EXPECT_EQ(Rgb(m.At(0, 20)), Rgb(c.dark));
    EXPECT_EQ(Rgb(m.At(1, 1)), Rgb(c.dark));
    EXPECT_EQ(Rgb(m.At(2, 22)), Rgb(c.light));
    EXPECT_EQ(Rgb(m.At(74, 2)), Rgb(c.light));
    EXPECT_EQ(Rgb(m.At(73, 21)), Rgb(c.light));
    // The very corners keep the parent's brush.
    EXPECT_EQ(Rgb(m.At(0, 0)), Rgb(c.back));
    EXPECT_EQ(Rgb(m.At(74, 22)), Rgb(c.back));
  }
}

// ---- Face precedence and the mouse ----------------------------------------------------------

TEST_F(XpButtonTest, FacePrecedenceDisabledPressedHotDefaultNormal) {
  struct Case {
    bool enabled, pressed, hot, isDefault;
    const char* face;
  };
  const Case cases[] = {
      {false, true, true, true, "disabled"}, {false, false, false, false, "disabled"},
      {true, true, true, true, "pressed"},   {true, false, true, true, "hot"},
      {true, false, false, true, "default"}, {true, false, false, false, "normal"},
  };
  auto* b = Make<TProbeButton>(10, 10, 75, 23, "OK");
  form_->Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.face);
    b->SetEnabled(c.enabled);
    b->SetDefault(c.isDefault);
    b->m_bPressed = c.pressed;
    b->m_bHot = c.hot;
    b->Invalidate();
    EXPECT_EQ(FaceOf(b), c.face);
    // A disabled caption is grey whatever the flags.
    EXPECT_EQ(AnyPixel(b, RECT{4, 4, 71, 19}, RGB(161, 161, 146)), !c.enabled);
  }
}

TEST_F(XpButtonTest, DefaultRingStaysWithDefaultWhereverTheFocusIs) {
  auto* ok = Make<TXPButton>(10, 10, 75, 23, "OK");
  auto* other = Make<TXPButton>(100, 10, 75, 23, "Other");
  ok->SetDefault(true);
  form_->Show();
  EXPECT_TRUE(IsWindowVisible(ok->Handle()));
  EXPECT_EQ(FaceOf(ok), "default");
  other->SetFocus();
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(FaceOf(ok), "default");
  EXPECT_EQ(FaceOf(other), "normal");
  // A keyboard press shows no pressed face, only the focus frame.
  zuvo::platform::SimulateKey(other->Handle(), VK_SPACE, true, 0, " ");
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(FaceOf(other), "normal");
  EXPECT_EQ(Rgb(Pixel(other, 5, 3)), Rgb(RGB(1, 1, 1)));   // (254, 254, 254) under the dotted frame
  zuvo::platform::SimulateKey(other->Handle(), VK_SPACE, false, 0);
  zuvo::platform::ProcessPendingMessages();
}

TEST_F(XpButtonTest, PressDragOutAndBackThenRelease) {
  auto* b = Make<TXPButton>(10, 10, 75, 23, "OK");
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  form_->Show();
  std::vector<std::string> faces;
  Mouse(b, WM_MOUSEMOVE, 20, 10, 0);
  faces.push_back(FaceOf(b));
  Mouse(b, WM_LBUTTONDOWN, 20, 10, MK_LBUTTON);
  faces.push_back(FaceOf(b));
  Mouse(b, WM_MOUSEMOVE, 120, 10, MK_LBUTTON);
  const std::string outside = FaceOf(b);
  EXPECT_TRUE(outside == "hot" || outside == "normal") << outside;
  Mouse(b, WM_MOUSEMOVE, 30, 10, MK_LBUTTON);
  faces.push_back(FaceOf(b));
  Mouse(b, WM_LBUTTONUP, 30, 10, 0);
  faces.push_back(FaceOf(b));
  EXPECT_EQ(faces, (std::vector<std::string>{"hot", "pressed", "pressed", "hot"}));
  EXPECT_EQ(clicks, 1);
}

TEST_F(XpButtonTest, DraggedOverTheParentWhileHeldNeverShowsPressed) {
  // The pointer moves onto the form while the button holds the mouse: the button hears of the
  // leave, then gets the moves outside. None of them may bring the pressed face back.
  auto* b = Make<TXPButton>(10, 10, 75, 23, "OK");
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  form_->Show();
  Mouse(b, WM_MOUSEMOVE, 20, 10, 0);
  Mouse(b, WM_LBUTTONDOWN, 20, 10, MK_LBUTTON);
  ASSERT_EQ(FaceOf(b), "pressed");
  // Every face painted meanwhile, told by the top face row under the caption area.
  int pressedPaints = 0;
  b->OnDrawCaption = [&](TObject*, HDC dc, RECT*) { pressedPaints += GetPixel(dc, 10, 2) == RGB(209, 204, 193); };
  for (int x : {150, 160, 170}) {
    zuvo::platform::SimulateMouse(form_->Handle(), WM_MOUSEMOVE, x, 100, MK_LBUTTON);
    zuvo::platform::ProcessPendingMessages();
    EXPECT_NE(FaceOf(b), "pressed") << x;
  }
  EXPECT_EQ(pressedPaints, 0);
  Mouse(b, WM_MOUSEMOVE, 20, 10, MK_LBUTTON);
  EXPECT_EQ(FaceOf(b), "pressed");
  Mouse(b, WM_LBUTTONUP, 20, 10, 0);
  EXPECT_EQ(clicks, 1);
}

TEST_F(XpButtonTest, EnteringWithTheButtonHeldShowsThePressedFace) {
  auto* b = Make<TXPButton>(10, 10, 75, 23, "OK");
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  form_->Show();
  Mouse(b, WM_MOUSEMOVE, 5, 5, MK_LBUTTON);
  EXPECT_EQ(FaceOf(b), "pressed");
  Mouse(b, WM_LBUTTONUP, 5, 5, 0);
  EXPECT_EQ(FaceOf(b), "hot");
  EXPECT_EQ(clicks, 0);   // the click is the native button's: the press began elsewhere
}

TEST_F(XpButtonTest, DoubleClickIsASecondPress) {
  auto* b = Make<TXPButton>(10, 10, 75, 23, "OK");
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  form_->Show();
  std::vector<std::string> faces;
  Mouse(b, WM_MOUSEMOVE, 10, 10, 0);
  for (UINT down : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}) {
    Mouse(b, down, 10, 10, MK_LBUTTON);
    faces.push_back(FaceOf(b));
    Mouse(b, WM_LBUTTONUP, 10, 10, 0);
    faces.push_back(FaceOf(b));
  }
  EXPECT_EQ(faces, (std::vector<std::string>{"pressed", "hot", "pressed", "hot"}));
  EXPECT_EQ(clicks, 2);
}

TEST_F(XpButtonTest, FaceStaysPressedWhileOnClickRunsAModalDialog) {
  zuvo::platform::ScopedDrivenClock clock;
  zuvo::platform::ScopedScriptedModalRunner runner;
  runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
  auto* b = Make<TXPButton>(10, 10, 75, 23, "Open");
  TForm* dialog = NewForm<TForm>(nullptr);
  dialog->SetName("XpModalDlg");
  std::string during;
  b->OnClick = [&](TObject*) { dialog->ShowModal(); };
  runner->Add("XpModalDlg", [&](TForm& form) {
    b->Invalidate();
    during = FaceOf(b);
    form.SetModalResult(mrOk);
  });
  form_->Show();
  Mouse(b, WM_MOUSEMOVE, 10, 10, 0);
  Mouse(b, WM_LBUTTONDOWN, 10, 10, MK_LBUTTON);
  Mouse(b, WM_LBUTTONUP, 10, 10, 0);
  EXPECT_EQ(during, "pressed");
  EXPECT_EQ(FaceOf(b), "hot");
  EXPECT_TRUE(runner->Failures().empty());
  TComponent::Free(dialog);
}

TEST_F(XpButtonTest, AButtonFreedByItsOwnClickIsLeftAlone) {
  for (bool plainDelete : {false, true}) {
    SCOPED_TRACE(plainDelete ? "delete" : "Free");
    auto* b = Make<TXPButton>(10, 10, 75, 23, "Close");
    b->OnClick = [plainDelete](TObject* sender) {
      auto* self = static_cast<TXPButton*>(sender);
      if (plainDelete) {
        delete self;
      } else {
        TComponent::Free(self);
      }
    };
    form_->Show();
    HWND window = b->Handle();
    zuvo::platform::SimulateMouse(window, WM_LBUTTONDOWN, 5, 5, MK_LBUTTON);
    zuvo::platform::SimulateMouse(window, WM_LBUTTONUP, 5, 5, 0);
    zuvo::platform::ProcessPendingMessages();
    EXPECT_FALSE(IsWindow(window));
  }
}

// ---- Caption ----------------------------------------------------------------------------------

TEST_F(XpButtonTest, OnDrawCaptionGetsTheCaptionRectangleAndCornersComeAfterIt) {
  auto* b = Make<TXPButton>(10, 10, 75, 23, "Play");
  std::vector<RECT> rects;
  b->OnDrawCaption = [&](TObject* sender, HDC dc, RECT* rect) {
    EXPECT_EQ(sender, b);
    rects.push_back(*rect);
    // Paints everything red: the corners drawn after it must still show.
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT all{0, 0, 75, 23};
    FillRect(dc, &all, red);
    DeleteObject(red);
  };
  form_->Show();
  Memory m(75, 23);
  b->DrawNormal(m.dc());
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].left, 4);
  EXPECT_EQ(rects[0].top, 4);
  EXPECT_EQ(rects[0].right, 71);
  EXPECT_EQ(rects[0].bottom, 19);
  EXPECT_EQ(m.At(30, 10), RGB(255, 0, 0));
  EXPECT_EQ(Rgb(m.At(2, 2)), Rgb(RGB(85, 125, 162)));
  EXPECT_EQ(Rgb(m.At(3, 2)), Rgb(RGB(192, 207, 221)));
  EXPECT_EQ(Rgb(m.At(1, 1)), Rgb(RGB(224, 219, 201)));
  EXPECT_EQ(Rgb(m.At(73, 21)), Rgb(RGB(250, 249, 245)));
}

TEST_F(XpButtonTest, TinyButtonsDrawNoCaptionAndNeverDivideByZero) {
  // Every face at every small size, also through the window: the gradients of heights 7 to 10
  // have no positive divisor and paint their start colours.
  auto* b = Make<TProbeButton>(10, 10, 75, 23, "OK");
  int raised = 0;
  b->OnDrawCaption = [&](TObject*, HDC, RECT*) { ++raised; };
  form_->Show();
  for (int h : {-4, 0, 1, 2, 5, 7, 8, 9, 10, 11}) {
    for (int w : {-3, 0, 1, 4, 8, 9, 20}) {
      b->SetBounds(10, 10, w, h);
      Memory m(std::max(w, 1), std::max(h, 1));
      for (Face f : {Face::Normal, Face::Default, Face::Hot, Face::Pressed, Face::Disabled}) Draw(b, f, m.dc());
      b->Invalidate();
      UpdateWindow(b->Handle());
      if (w <= 8 || h <= 8) {
        EXPECT_EQ(raised, 0) << w << " x " << h;
      }
      raised = 0;
    }
  }
  struct Start {
    Face face;
    int h, x, y;
    COLORREF colour;
  };
  const Start starts[] = {
      {Face::Normal, 8, 10, 2, RGB(255, 255, 255)},    // D = 0
      {Face::Normal, 9, 17, 4, RGB(246, 244, 242)},    // E = 0: column W - 3
      {Face::Default, 7, 10, 3, RGB(188, 212, 246)},   // ring D = 0
      {Face::Default, 10, 10, 4, RGB(252, 252, 251)},  // inner F = 0
      {Face::Pressed, 9, 10, 4, RGB(229, 228, 221)},   // E = 0
  };
  for (const Start& s : starts) {
    SCOPED_TRACE(std::string(Name(s.face)) + " h " + std::to_string(s.h));
    b->SetBounds(10, 10, 20, s.h);
    Memory m(20, s.h);
    Draw(b, s.face, m.dc());
    EXPECT_EQ(Rgb(m.At(s.x, s.y)), Rgb(s.colour));
  }
  // Eight pixels high: no caption text either.
  b->OnDrawCaption = nullptr;
  b->SetBounds(10, 10, 75, 8);
  b->SetCaption("WWWWWWWW");
  Memory m(75, 8);
  m.Fill(RGB(0, 0, 0));
  b->DrawNormal(m.dc());
  bool black = false;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 75; ++x) black = black || m.At(x, y) == RGB(0, 0, 0);
  }
  EXPECT_FALSE(black);
}

// ---- Focus ------------------------------------------------------------------------------------

TEST_F(XpButtonTest, EnterAndExitAreRaisedFromPaintingAsFocusMoves) {
  auto* a = Make<TProbeButton>(10, 10, 75, 23, "A");
  auto* b = Make<TProbeButton>(100, 10, 75, 23, "B");
  form_->Show();
  a->SetFocus();
  zuvo::platform::ProcessPendingMessages();
  UpdateWindow(a->Handle());
  UpdateWindow(b->Handle());
  EXPECT_EQ(a->m_bFocusShown, 1);
  EXPECT_EQ(b->m_bFocusShown, 0);
  EXPECT_EQ(Rgb(Pixel(a, 5, 3)), Rgb(RGB(1, 1, 1)));   // (254, 254, 254) under the dotted frame
  std::vector<std::string> log;
  a->OnEnter = [&](TObject*) { log.push_back("A enter"); };
  a->OnExit = [&](TObject*) { log.push_back("A exit"); };
  b->OnEnter = [&](TObject*) { log.push_back("B enter"); };
  b->OnExit = [&](TObject*) { log.push_back("B exit"); };
  auto count = [&](const char* what) { return std::count(log.begin(), log.end(), std::string(what)); };
  // The library raises its own focus events; each paint that shows or drops the frame adds one.
  b->SetFocus();
  zuvo::platform::ProcessPendingMessages();
  UpdateWindow(a->Handle());
  UpdateWindow(b->Handle());
  EXPECT_EQ(a->m_bFocusShown, 0);
  EXPECT_EQ(b->m_bFocusShown, 1);
  EXPECT_EQ(Rgb(Pixel(a, 5, 3)), Rgb(RGB(254, 254, 254)));
  EXPECT_EQ(count("A exit"), 2) << testing::PrintToString(log);
  EXPECT_EQ(count("B enter"), 2) << testing::PrintToString(log);
  log.clear();
  a->SetFocus();
  zuvo::platform::ProcessPendingMessages();
  UpdateWindow(a->Handle());
  UpdateWindow(b->Handle());
  EXPECT_EQ(count("B exit"), 2) << testing::PrintToString(log);
  EXPECT_EQ(count("A enter"), 2) << testing::PrintToString(log);
  EXPECT_EQ(log.size(), 4u) << testing::PrintToString(log);
  // A repaint that changes nothing raises nothing.
  log.clear();
  a->Invalidate();
  b->Invalidate();
  UpdateWindow(a->Handle());
  UpdateWindow(b->Handle());
  EXPECT_TRUE(log.empty()) << testing::PrintToString(log);
}

TEST_F(XpButtonTest, RegistersItsClass) {
  RegisterXpbutton();
  const auto classes = RegisteredComponentClasses();
  EXPECT_NE(std::find(classes.begin(), classes.end(), "TXPButton"), classes.end());
}

}  // namespace
