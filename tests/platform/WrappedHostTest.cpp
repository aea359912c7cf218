// Windows hosting a Qt widget: input through our message chain, replay into the widget.
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

std::string TextOf(HWND w) {
  char buffer[256] = {};
  GetWindowTextA(w, buffer, sizeof buffer);
  return buffer;
}

WNDPROC g_editProc = nullptr;
LRESULT DropDigits(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_CHAR && wp >= '0' && wp <= '9') return 0;
  return CallWindowProcA(g_editProc, w, m, wp, lp);
}

TEST(WrappedHostTest, KeysAndCharactersReachTheQtEditThroughTheChain) {
  TForm* form = NewForm<TForm>(nullptr);
  form->SetClientWidth(300);
  form->SetClientHeight(200);
  form->Show();
  HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 10, 10, 120, 22, form->Handle(), nullptr,
                              nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  SetFocus(edit);
  ProcessPendingMessages();
  SimulateKey(edit, 'A', true, 0, "a");
  SimulateKey(edit, 'A', false, 0);
  SimulateKey(edit, '1', true, 0, "1");
  ProcessPendingMessages();
  EXPECT_EQ(TextOf(edit), "a1");
  g_editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&DropDigits)));
  SimulateKey(edit, '2', true, 0, "2");
  SimulateKey(edit, 'B', true, 0, "b");
  ProcessPendingMessages();
  EXPECT_EQ(TextOf(edit), "a1b");
  // A posted lead byte waits for its trail byte.
  PostMessageA(edit, WM_CHAR, 0xD6, 0);
  PostMessageA(edit, WM_CHAR, 0xD0, 0);
  ProcessPendingMessages();
  EXPECT_EQ(TextOf(edit), "a1b\xD6\xD0");
  SimulateKey(edit, VK_BACK, true, 0, "\b");
  ProcessPendingMessages();
  EXPECT_EQ(TextOf(edit), "a1b");
  SimulateMouse(edit, WM_LBUTTONDOWN, 2, 5, MK_LBUTTON);
  SimulateMouse(edit, WM_LBUTTONUP, 2, 5, 0);
  ProcessPendingMessages();
  TComponent::Free(form);
  ProcessPendingMessages();
}

}  // namespace
