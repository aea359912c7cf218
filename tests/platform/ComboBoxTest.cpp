// Combo boxes: the "COMBOBOX" class's messages and notifications, TComboBox's events through the
// input chain, and drawing over the box.
#include "platform/ComboBox.h"

#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/Sound.h"
#include "platform/WinUser.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>

#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateCommittedText;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;
using zuvo::platform::SimulateWheel;

std::vector<WORD> g_codes;   // WM_COMMAND notifications the raw parent heard

LRESULT ParentProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_COMMAND && lp != 0) g_codes.push_back(HIWORD(wp));
  return DefWindowProcA(w, m, wp, lp);
}

std::string TextOf(HWND w) {
  char buffer[256] = {};
  GetWindowTextA(w, buffer, sizeof buffer);
  return buffer;
}

QComboBox* QtBox(HWND combo) {
  auto w = zuvo::platform::win::Find(combo);
  return w ? qobject_cast<QComboBox*>(w->hosted) : nullptr;
}

// A top-level window of a plain class with a raw combo box in it.
class RawComboTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_codes.clear();
    static bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = ParentProc;
      wc.lpszClassName = "ComboTestParent";
      return RegisterClassA(&wc) != 0;
    }();
    ASSERT_TRUE(registered);
    parent_ = CreateWindowExA(0, "ComboTestParent", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(parent_);
    ProcessPendingMessages();
  }
  HWND Make(DWORD style, int width = 150, int height = 22) {
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | style, 10, 10, width, height, parent_,
                                 reinterpret_cast<HMENU>(7), nullptr, nullptr);
    EXPECT_NE(combo, nullptr);
    return combo;
  }
  void Add(HWND combo, std::initializer_list<const char*> items) {
    for (const char* item : items) SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  HWND parent_ = nullptr;
};

TEST_F(RawComboTest, TheButtonRectangleIsWhereAPressOpensTheList) {
  HWND combo = Make(CBS_DROPDOWN);
  Add(combo, {"one", "two"});
  SetFocus(combo);
  ProcessPendingMessages();

  COMBOBOXINFO info{};
  info.cbSize = 12;
  EXPECT_FALSE(GetComboBoxInfo(combo, &info));   // a wrong size is refused
  EXPECT_EQ(SendMessageA(combo, CB_GETCOMBOBOXINFO, 0, 0), FALSE);
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo, &info));
  EXPECT_EQ(info.hwndCombo, combo);
  EXPECT_EQ(info.stateButton, 0u);
  const RECT b = info.rcButton;
  // At the right end of the client area, within it, as high as the box less its edges.
  EXPECT_GT(b.right - b.left, 8);
  EXPECT_LE(b.right, 150);
  EXPECT_GE(b.right, 146);
  EXPECT_GE(b.top, 0);
  EXPECT_LE(b.bottom, 22);
  EXPECT_GT(b.bottom - b.top, 12);
  EXPECT_LE(info.rcItem.right, b.left);
  EXPECT_LT(info.rcItem.left, 8);

  // A press in the text part of an editable box opens nothing; on the button it does.
  const int midY = (b.top + b.bottom) / 2;
  SimulateMouse(combo, WM_LBUTTONDOWN, 20, midY, MK_LBUTTON);
  SimulateMouse(combo, WM_LBUTTONUP, 20, midY, 0);
  ProcessPendingMessages();
  EXPECT_EQ(SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
  EXPECT_TRUE(g_codes.empty());

  SimulateMouse(combo, WM_LBUTTONDOWN, (b.left + b.right) / 2, midY, MK_LBUTTON);
  ProcessPendingMessages();
  EXPECT_EQ(SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0), TRUE);
  ASSERT_TRUE(GetComboBoxInfo(combo, &info));
  EXPECT_EQ(info.stateButton, STATE_SYSTEM_PRESSED);
  EXPECT_EQ(g_codes, (std::vector<WORD>{CBN_DROPDOWN}));
  SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
  ProcessPendingMessages();
  EXPECT_EQ(SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
  EXPECT_EQ(g_codes, (std::vector<WORD>{CBN_DROPDOWN, CBN_CLOSEUP}));
}

TEST_F(RawComboTest, AnIndexOutsideTheListReturnsAnErrorAndChangesNothing) {
  HWND combo = Make(CBS_DROPDOWNLIST);
  Add(combo, {"alpha", "beta", "gamma"});
  SendMessageA(combo, CB_SETITEMDATA, 1, 42);
  SendMessageA(combo, CB_SETCURSEL, 1, 0);
  char buffer[32] = "untouched";
  struct Case {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  const WPARAM minus2 = static_cast<WPARAM>(-2);
  const Case cases[] = {
      {CB_SETCURSEL, 3, 0},
      {CB_SETCURSEL, minus2, 0},
      {CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(buffer)},
      {CB_GETLBTEXT, minus2, reinterpret_cast<LPARAM>(buffer)},
      {CB_GETLBTEXTLEN, 3, 0},
      {CB_DELETESTRING, 3, 0},
      {CB_DELETESTRING, minus2, 0},
      {CB_INSERTSTRING, 4, reinterpret_cast<LPARAM>("x")},
      {CB_INSERTSTRING, minus2, reinterpret_cast<LPARAM>("x")},
      {CB_SETITEMDATA, 3, 7},
      {CB_GETITEMDATA, 9, 0},
      {CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("delta")},
      {CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.message << " " << std::dec << static_cast<LONG_PTR>(c.wParam));
    EXPECT_EQ(SendMessageA(combo, c.message, c.wParam, c.lParam), CB_ERR);
    EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 1, 0), 42);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(TextOf(combo), "beta");
  }
  // Null buffers give 0.
  EXPECT_EQ(SendMessageA(combo, WM_GETTEXT, 10, 0), 0);
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 0, 0), 0);
  // A list is not limited: there is no edit.
  EXPECT_EQ(SendMessageA(combo, CB_LIMITTEXT, 4, 0), CB_ERR);
  EXPECT_TRUE(g_codes.empty());   // nothing here came from the user
}

TEST_F(RawComboTest, ListMessagesKeepTheSelectionAndTheEditText) {
  HWND combo = Make(CBS_DROPDOWN);
  SetWindowTextA(combo, "typed");
  Add(combo, {"B", "\xD6\xD0\xCE\xC4"});   // "中文"
  // Items added to an empty box select nothing and leave the text.
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(TextOf(combo), "typed");
  EXPECT_EQ(SendMessageA(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("a")), 0);
  EXPECT_EQ(SendMessageA(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("z")), 3);
  EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("b")), 1);
  EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>("\xD6\xD0\xCE\xC4")),
            2);
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXTLEN, 2, 0), 4);
  char buffer[16] = {};
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(buffer)), 4);
  EXPECT_STREQ(buffer, "\xD6\xD0\xCE\xC4");

  EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(TextOf(combo), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(SendMessageA(combo, CB_DELETESTRING, 0, 0), 3);   // an item before it: the selection follows
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(SendMessageA(combo, CB_DELETESTRING, 1, 0), 2);   // the selected item: none, the text stays
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(TextOf(combo), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0), CB_ERR);   // -1 clears
  EXPECT_EQ(TextOf(combo), "");
  EXPECT_EQ(SendMessageA(combo, CB_RESETCONTENT, 0, 0), CB_OKAY);
  EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 0);

  // A sorted list puts added strings at their place (GBK, ASCII case ignored).
  HWND sorted = Make(CBS_DROPDOWNLIST | CBS_SORT);
  Add(sorted, {"b", "\xB0\xA1", "A", "c"});   // "啊" sorts after the ASCII letters
  std::vector<std::string> order;
  for (int i = 0; i < 4; ++i) {
    SendMessageA(sorted, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
    order.push_back(buffer);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"A", "b", "c", "\xB0\xA1"}));
  // A list's text selects the item of that text, or none.
  EXPECT_EQ(SendMessageA(sorted, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("C")), TRUE);
  EXPECT_EQ(SendMessageA(sorted, CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageA(sorted, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("nothing")), CB_ERR);
  EXPECT_EQ(SendMessageA(sorted, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_TRUE(g_codes.empty());
}

TEST_F(RawComboTest, UserChoicesAndEditsAreToldToTheParent) {
  HWND combo = Make(CBS_DROPDOWN);
  Add(combo, {"one", "two", "three"});
  SetFocus(combo);
  ProcessPendingMessages();
  SimulateKey(combo, 'A', true, 0, "a");
  ProcessPendingMessages();
  EXPECT_EQ(g_codes, (std::vector<WORD>{CBN_EDITUPDATE, CBN_EDITCHANGE}));
  g_codes.clear();
  SimulateKey(combo, VK_DOWN, true, 0);
  ProcessPendingMessages();
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(TextOf(combo), "one");
  EXPECT_EQ(g_codes, (std::vector<WORD>{CBN_SELENDOK, CBN_SELCHANGE}));
}

// ---- TComboBox ------------------------------------------------------------------------------------

class ComboBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(320);
    form_->SetClientHeight(200);
    box_ = new TComboBox(form_);
    box_->SetBounds(10, 10, 160, 22);
    box_->SetParent(form_);
    box_->OnChange = [this](TObject*) { events_.push_back("change:" + box_->Text()); };
    box_->OnSelect = [this](TObject*) { events_.push_back("select:" + box_->Text()); };
    box_->OnClick = [this](TObject*) { events_.push_back("click"); };
    box_->OnDropDown = [this](TObject*) { events_.push_back("dropdown"); };
    box_->OnCloseUp = [this](TObject*) { events_.push_back("closeup"); };
  }
  void TearDown() override {
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  void ShowAndFocus() {
    form_->Show();
    box_->SetFocus();
    ProcessPendingMessages();
  }
  void Type(const char* text) {
    for (const char* p = text; *p != 0; ++p) {
      const char one[2] = {*p, 0};
      SimulateKey(box_->Handle(), 'A', true, 0, one);
      SimulateKey(box_->Handle(), 'A', false, 0);
    }
    ProcessPendingMessages();
  }
  TForm* form_ = nullptr;
  TComboBox* box_ = nullptr;
  std::vector<std::string> events_;
};

TEST_F(ComboBoxTest, PropertiesSetBeforeTheWindowAreKept) {
  box_->Items()->AddObject("first", reinterpret_cast<void*>(1));
  box_->Items()->AddObject("second", reinterpret_cast<void*>(2));
  box_->SetItemIndex(1);
  EXPECT_EQ(box_->Text(), "second");
  box_->SetItemIndex(5);   // outside: nothing changes
  EXPECT_EQ(box_->ItemIndex(), 1);
  box_->SetMaxLength(6);
  box_->SetDropDownCount(5);
  ASSERT_NE(box_->Handle(), nullptr);
  EXPECT_EQ(box_->Items()->Count(), 2);
  EXPECT_EQ(box_->Items()->Objects(0), reinterpret_cast<void*>(1));
  EXPECT_EQ(box_->ItemIndex(), 1);
  EXPECT_EQ(box_->Text(), "second");
  EXPECT_EQ(SendMessageA(box_->Handle(), CB_GETMINVISIBLE, 0, 0), 5);
  // The live list and the style change keep items, objects, index and text.
  box_->Items()->Insert(0, "zero");
  EXPECT_EQ(box_->ItemIndex(), 2);
  box_->SetStyle(csDropDownList);
  EXPECT_EQ(box_->Items()->Count(), 3);
  EXPECT_EQ(box_->Items()->Objects(2), reinterpret_cast<void*>(2));
  EXPECT_EQ(box_->ItemIndex(), 2);
  EXPECT_EQ(box_->Text(), "second");
  box_->SetText("ZERO");   // a list selects the item of that text
  EXPECT_EQ(box_->ItemIndex(), 0);
  EXPECT_THROW(box_->Items()->Get(3), EStringListError);
  box_->Items()->Clear();
  EXPECT_EQ(box_->ItemIndex(), -1);
  EXPECT_EQ(box_->Text(), "");
  EXPECT_TRUE(events_.empty());   // nothing here came from the user
}

// The news search box: recent entries in the list, the user types a new one.
TEST_F(ComboBoxTest, AnEditableBoxKeepsTypedTextAndTellsEditsApartFromChoices) {
  for (const char* entry : {"\xB9\xC9\xC6\xB1", "oil"}) box_->Items()->Add(entry);   // "股票"
  box_->SetItemIndex(0);
  box_->SetDropDownCount(5);
  ShowAndFocus();
  EXPECT_TRUE(events_.empty());

  box_->SelectAll();
  Type("go");
  SimulateCommittedText(box_->Handle(), "\xBB\xC6\xBD\xF0");   // "黄金" from an input method
  ProcessPendingMessages();
  EXPECT_EQ(box_->Text(), "go\xBB\xC6\xBD\xF0");
  EXPECT_EQ(events_, (std::vector<std::string>{"change:g", "change:go", "change:go\xBB\xC6", "change:go\xBB\xC6\xBD\xF0"}));
  EXPECT_EQ(box_->ItemIndex(), 0);   // the list's selection is not the text

  // Refilling the list leaves the typed text alone.
  events_.clear();
  box_->Items()->Insert(0, "new");
  box_->Items()->Add("more");
  EXPECT_EQ(box_->Text(), "go\xBB\xC6\xBD\xF0");

  // Choosing from the list by key: OnClick and OnSelect, not OnChange.
  SimulateKey(box_->Handle(), VK_DOWN, true, 0);
  ProcessPendingMessages();
  EXPECT_EQ(box_->ItemIndex(), 2);
  EXPECT_EQ(events_, (std::vector<std::string>{"click", "select:oil"}));

  // Without OnSelect a choice is a change.
  events_.clear();
  box_->OnSelect = nullptr;
  SimulateKey(box_->Handle(), VK_UP, true, 0);
  ProcessPendingMessages();
  EXPECT_EQ(events_, (std::vector<std::string>{"click", "change:\xB9\xC9\xC6\xB1"}));
}

TEST_F(ComboBoxTest, ChoicesByWheelAndFromTheOpenListRaiseOnSelect) {
  box_->SetStyle(csDropDownList);
  for (const char* item : {"a", "b", "c", "d"}) box_->Items()->Add(item);
  box_->SetItemIndex(0);
  ShowAndFocus();
  SimulateWheel(box_->Handle(), -120, 20, 10);
  ProcessPendingMessages();
  EXPECT_EQ(box_->ItemIndex(), 1);
  EXPECT_EQ(events_, (std::vector<std::string>{"click", "select:b"}));

  // The open list is Qt's own window: keys there choose without passing our chain.
  events_.clear();
  box_->SetDroppedDown(true);
  ProcessPendingMessages();
  EXPECT_TRUE(box_->DroppedDown());
  QComboBox* qt = QtBox(box_->Handle());
  ASSERT_NE(qt, nullptr);
  QAbstractItemView* list = qt->view();
  for (int key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(list, &press);
  }
  ProcessPendingMessages();
  EXPECT_FALSE(box_->DroppedDown());
  EXPECT_EQ(box_->ItemIndex(), 3);
  EXPECT_EQ(box_->Text(), "d");
  EXPECT_EQ(events_, (std::vector<std::string>{"dropdown", "closeup", "click", "select:d"}));

  // Setting the index from code raises nothing.
  events_.clear();
  box_->SetItemIndex(0);
  ProcessPendingMessages();
  EXPECT_TRUE(events_.empty());
}

TEST_F(ComboBoxTest, KeysPassTheChainBeforeTheBox) {
  box_->SetStyle(csDropDownList);
  for (const char* item : {"a", "b"}) box_->Items()->Add(item);
  box_->SetItemIndex(0);
  int keyDowns = 0;
  box_->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
    ++keyDowns;
    if (key == VK_DOWN) key = 0;   // consumed: the box never sees it
  };
  ShowAndFocus();
  SimulateKey(box_->Handle(), VK_DOWN, true, 0);
  ProcessPendingMessages();
  EXPECT_EQ(keyDowns, 1);
  EXPECT_EQ(box_->ItemIndex(), 0);
  EXPECT_TRUE(events_.empty());

  // An editable box: OnKeyPress drops a character, MaxLength counts GBK bytes.
  box_->SetStyle(csDropDown);
  box_->SetText("");
  box_->SetMaxLength(5);
  box_->OnKeyPress = [](TObject*, char& key) {
    if (key == 'x') key = 0;
  };
  box_->SetFocus();
  ProcessPendingMessages();
  zuvo::platform::ScopedRecordedBeeps beeps;
  Type("axb");
  SimulateCommittedText(box_->Handle(), "\xD6\xD0\xCE\xC4");   // "中文": the second does not fit
  ProcessPendingMessages();
  EXPECT_EQ(box_->Text(), "ab\xD6\xD0");
  EXPECT_EQ(beeps->Beeps().size(), 1u);
}

// Draws a red drop button over the box after the default painting, as the widget package does.
class PaintedCombo : public TComboBox {
 public:
  using TComboBox::TComboBox;
  bool draw = true;
  void WndProc(TMessage& message) override {
    TComboBox::WndProc(message);
    if (message.Msg != WM_PAINT || !draw) return;
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (!GetComboBoxInfo(Handle(), &info)) return;
    HDC dc = GetDC(Handle());
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &info.rcButton, red);
    DeleteObject(red);
    ReleaseDC(Handle(), dc);
  }
};

TEST(ComboBoxPaintTest, ASubclassDrawsOverTheBoxAfterTheDefault) {
  auto* form = NewForm<TForm>(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, 200, 60);
  auto* box = new PaintedCombo(form);
  box->SetBounds(10, 10, 150, 22);
  box->SetParent(form);
  box->SetText("text");
  form->Show();
  ProcessPendingMessages();
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(box->Handle(), &info));
  auto shown = [&] { return zuvo::platform::win::Find(form->Handle())->widget->grab().toImage(); };
  const QPoint button(10 + (info.rcButton.left + info.rcButton.right) / 2,
                      10 + (info.rcButton.top + info.rcButton.bottom) / 2);
  const QPoint field(10 + info.rcItem.right - 4, 10 + (info.rcItem.top + info.rcItem.bottom) / 2);
  QImage image = shown();
  EXPECT_EQ(image.pixelColor(button), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(field), QColor(255, 255, 255));   // the box's own field shows through
  // Painted again without the button: the old drawing does not stay.
  box->draw = false;
  box->Invalidate();
  box->Update();
  ProcessPendingMessages();
  image = shown();
  EXPECT_NE(image.pixelColor(button), QColor(255, 0, 0));
  TComponent::Free(form);
  ProcessPendingMessages();
}

}  // namespace
