// The flat border of the package's controls: the creation styles and the one-pixel frame over
// the thin edge, the same in every state, with the client area left whole.
#include "widgets/XpFlatBorder.h"
#include "widgets/Package.h"
#include "widgets/Xpchecklistbox.h"
#include "widgets/Xpedit.h"
#include "widgets/Xplistbox.h"
#include "widgets/Xpmemo.h"
#include "widgets/Xppriceedit.h"
#include "widgets/Xprichedit.h"
#include "widgets/Xpstringgrid.h"
#include "widgets/Xptreeview.h"

#include "XpPixels.h"

#include "platform/Input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::widgets::kXpBorderColor;
using xptest::Rgb;
using xptest::WindowPixel;

TEST(XpFlatBorderStyle, SwapsEverySunkenOrRaisedEdgeForTheStaticEdge) {
  TCreateParams params;
  params.Style = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP;
  params.ExStyle = WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME | 0x4;
  zuvo::widgets::ApplyFlatBorderStyle(params);
  EXPECT_EQ(params.Style, WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  EXPECT_EQ(params.ExStyle, WS_EX_STATICEDGE | 0x4);
}

struct Member {
  const char* name;
  std::function<TWinControl*(TComponent*)> make;
};

std::vector<Member> Members() {
  return {
      {"TXPEdit", [](TComponent* o) { return new TXPEdit(o); }},
      {"TXPPriceEdit", [](TComponent* o) { return new TXPPriceEdit(o); }},
      {"TXPMemo", [](TComponent* o) { return new TXPMemo(o); }},
      {"TXPRichEdit", [](TComponent* o) { return new TXPRichEdit(o); }},
      {"TXPListBox", [](TComponent* o) { return new TXPListBox(o); }},
      {"TXPCheckListBox", [](TComponent* o) { return new TXPCheckListBox(o); }},
      {"TXPTreeView", [](TComponent* o) { return new TXPTreeView(o); }},
      {"TXPStringGrid", [](TComponent* o) { return new TXPStringGrid(o); }},
  };
}

enum class State { idle, disabled, focused, hovered };

void Enter(TWinControl* control, State state) {
  switch (state) {
    case State::idle:
      break;
    case State::disabled:
      control->SetEnabled(false);
      break;
    case State::focused:
      control->SetFocus();
      break;
    case State::hovered:
      zuvo::platform::SimulateMouse(control->Handle(), WM_MOUSEMOVE, 20, 20, 0);
      break;
  }
  ProcessPendingMessages();
  // The base paints its edge again in the new state; the frame must go over it every time.
  RedrawWindow(control->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  ProcessPendingMessages();
}

TEST(XpFlatBorder, EveryMemberShowsTheSameFrameInEveryStateAndKeepsItsClientArea) {
  constexpr int kWidth = 100, kHeight = 60;
  const std::pair<State, const char*> states[] = {
      {State::idle, "idle"}, {State::disabled, "disabled"}, {State::focused, "focused"}, {State::hovered, "hovered"}};
  for (const Member& member : Members()) {
    for (const auto& [state, stateName] : states) {
      SCOPED_TRACE(std::string(member.name) + " " + stateName);
      xptest::HostForm form;
      TWinControl* control = form.Place(member.make(form.get()), 10, 10, kWidth, kHeight);
      EXPECT_STREQ(control->ClassName(), member.name);
      Enter(control, state);
      HWND window = control->Handle();
      const LONG style = GetWindowLongA(window, GWL_STYLE);
      const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
      EXPECT_EQ(style & WS_BORDER, 0);
      EXPECT_EQ(exStyle & zuvo::widgets::kXpEdgeExStyles, 0);
      EXPECT_NE(exStyle & WS_EX_STATICEDGE, 0);
      // The client area is the window less the one-pixel edge, whatever the state.
      EXPECT_EQ(control->ClientWidth(), kWidth - 2);
      EXPECT_EQ(control->ClientHeight(), kHeight - 2);
      const POINT ring[] = {{0, 0},          {kWidth / 2, 0},           {kWidth - 1, 0},
                            {0, kHeight / 2}, {kWidth - 1, kHeight / 2}, {0, kHeight - 1},
                            {kWidth / 2, kHeight - 1}, {kWidth - 1, kHeight - 1}};
      std::string wrong;
      for (const POINT& p : ring) {
        const COLORREF c = WindowPixel(window, p.x, p.y);
        if (c != kXpBorderColor) wrong += " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")=" + Rgb(c);
      }
      EXPECT_EQ(wrong, "");
      // One pixel only: the client area starts right inside it, and what shows there (the
      // wrapped controls' own drawing included) has no frame or sunken edge of its own.
      EXPECT_NE(Rgb(WindowPixel(window, 1, kHeight / 2)), Rgb(kXpBorderColor));
      EXPECT_NE(Rgb(WindowPixel(window, kWidth / 2, 1)), Rgb(kXpBorderColor));
      HDC screen = GetDC(nullptr);
      for (const TPoint client : {TPoint(0, kHeight / 2 - 1), TPoint(kWidth / 2 - 1, 0),
                                  TPoint(kWidth / 2 - 1, kHeight - 3)}) {
        const TPoint at = control->ClientToScreen(client);
        const COLORREF shown = GetPixel(screen, at.x, at.y);
        EXPECT_GT(GetRValue(shown), 150) << "client " << client.x << "," << client.y << " " << Rgb(shown);
      }
      ReleaseDC(nullptr, screen);
    }
  }
}

TEST(XpFlatBorder, ThePackageNamesEveryControlButTheUnfinishedDateEntry) {
  zuvo::widgets::RegisterAll();
  const auto classes = zuvo::widgets::RegisteredComponentClasses();
  for (const char* name : {"TXPEdit", "TXPPriceEdit", "TXPMemo", "TXPRichEdit", "TXPListBox", "TXPCheckListBox",
                           "TXPTreeView", "TXPStringGrid", "TXPComboBox", "TXPUpDown", "TXPPageControl",
                           "TXPTabControl"}) {
    EXPECT_NE(std::find(classes.begin(), classes.end(), name), classes.end()) << name;
  }
  // No form creates a date entry; it is left out of the package.
  EXPECT_EQ(std::find(classes.begin(), classes.end(), "TXPDateTimePicker"), classes.end());
}

}  // namespace
