// Combo boxes: the "COMBOBOX" window class over a Qt combo box, and TComboBox on it.
#include "platform/ComboBox.h"

#include "platform/Gdi.h"
#include "platform/WinUser.h"
#include "platform/internal/Window.h"
#include "platform/internal/Wrapped.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

namespace zuvo::platform::win {
namespace {

// Posted to the box itself: a notification of a change made through Qt's own input (the open
// list is a window of Qt's), told to the parent from the queue rather than from inside Qt's
// event handling.
constexpr UINT kNotifyLater = WM_USER + 0x3F0;
constexpr int kNoLimit = 0x7FFFFFFE;

class ComboWidget : public QComboBox {
 public:
  std::function<bool()> beforeShow;   // false: the box went away meanwhile
  std::function<void()> afterHide;

  void showPopup() override {
    QPointer<ComboWidget> self(this);
    if (beforeShow && !beforeShow()) return;
    if (self.isNull()) return;
    QComboBox::showPopup();
  }
  void hidePopup() override {
    const bool wasShown = PopupShown();
    QComboBox::hidePopup();
    if (wasShown && afterHide) afterHide();
  }
  bool PopupShown() const {
    QAbstractItemView* list = view();
    return list != nullptr && list->window() != this && list->window()->isVisible();
  }
  QRect SubRect(QStyle::SubControl part) {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    // Kept inside the box: a style may reach past a box without a frame.
    return style()->subControlRect(QStyle::CC_ComboBox, &option, part, this) & rect();
  }
};

class ComboControl : public WrappedControl {
 public:
  ComboControl(HWND host, ComboWidget* box, bool editable, bool sorted)
      : WrappedControl(host, box), editable_(editable), sorted_(sorted) {}

  ComboWidget* Box() const { return static_cast<ComboWidget*>(widget()); }
  QLineEdit* Line() const { return Box() != nullptr ? Box()->lineEdit() : nullptr; }
  bool editable() const { return editable_; }
  bool sorted() const { return sorted_; }

  int limit = kNoLimit;
  int droppedWidth = 0;
  int inProc = 0;   // calls of the class procedure under way

  // A notification caused by the user: told at once while one of our messages is being
  // handled, else from the queue.
  void Notify(WORD code) {
    if (inProc > 0 || replaying()) {
      NotifyParent(code);
    } else {
      PostMessageA(host(), kNotifyLater, code, 0);
    }
  }

  // Qt picks the first item of a list that was empty, and takes the edit text from the
  // current item: the native box does neither, so list changes keep both.
  template <class F>
  void KeepingSelection(F&& change) {
    ComboWidget* box = Box();
    const int index = box->currentIndex();
    const QString text = box->currentText();
    const QSignalBlocker block(box);
    change();
    if (box->currentIndex() != index && index < 0) box->setCurrentIndex(-1);
    if (editable_ && Line() != nullptr && Line()->text() != text) Line()->setText(text);
  }

 protected:
  bool AcceptText(const QString& text) override {
    QLineEdit* line = Line();
    if (!editable_ || line == nullptr) return true;
    const int kept = GbkLength(line->text()) - GbkLength(line->selectedText());
    return kept + GbkLength(text) <= limit;
  }
  QString SelectedText() const override { return Line() != nullptr ? Line()->selectedText() : QString(); }
  bool IsReadOnly() const override { return Line() == nullptr; }
  void DeleteSelection() override {
    if (QLineEdit* line = Line(); line != nullptr && line->hasSelectedText()) line->del();
  }
  void InsertText(const QString& text) override {
    if (QLineEdit* line = Line()) {
      // As a key carrying the text, so the edit takes it as typed.
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
      SendReplay(line, &press);
      return;
    }
    WrappedControl::InsertText(text);   // a list: the letter finds an item
  }

 private:
  bool editable_;
  bool sorted_;
};

ComboControl* ComboOf(const std::shared_ptr<WrappedControl>& control) {
  return static_cast<ComboControl*>(control.get());
}

std::string ItemText(QComboBox* box, int index) { return ToGbk(box->itemText(index)); }

bool ValidIndex(QComboBox* box, WPARAM wParam) {
  const auto index = static_cast<int>(static_cast<LONG_PTR>(wParam));
  return index >= 0 && index < box->count() && static_cast<LONG_PTR>(wParam) == index;
}

// Where an added string goes: after the items that sort before or equal to it.
int SortedPlace(QComboBox* box, const std::string& text) {
  int low = 0;
  int high = box->count();
  while (low < high) {
    const int mid = (low + high) / 2;
    if (AnsiCompareText(ItemText(box, mid), text) <= 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

LRESULT FindString(QComboBox* box, WPARAM start, LPARAM lParam, bool exact) {
  if (lParam == 0) return CB_ERR;
  const std::string wanted = reinterpret_cast<const char*>(lParam);
  const int count = box->count();
  if (count == 0) return CB_ERR;
  auto first = static_cast<int>(static_cast<LONG_PTR>(start));
  if (first < -1 || first >= count) first = -1;
  for (int n = 1; n <= count; ++n) {
    const int index = (first + n) % count;
    const std::string text = ItemText(box, index);
    const bool match = exact ? AnsiCompareText(text, wanted) == 0
                             : text.size() >= wanted.size() && AnsiCompareText(text.substr(0, wanted.size()), wanted) == 0;
    if (match) return index;
  }
  return CB_ERR;
}

LRESULT CopyText(const std::string& text, WPARAM size, LPARAM buffer) {
  if (buffer == 0 || size == 0) return 0;
  const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(reinterpret_cast<char*>(buffer), text.data(), n);
  reinterpret_cast<char*>(buffer)[n] = 0;
  return static_cast<LRESULT>(n);
}

RECT ToRect(const QRect& r) { return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

// The part being painted becomes clear again, so what a subclass drew before does not stay
// when it draws less this time.
void ClearInvalidPart(HWND window) {
  RECT update{};
  if (!GetUpdateRect(window, &update, FALSE)) return;
  QRect client;
  QImage* image = BackingImage(window, &client);
  if (image == nullptr || image->format() != QImage::Format_ARGB32_Premultiplied) return;
  const QRect area = QRect(update.left, update.top, update.right - update.left, update.bottom - update.top)
                         .translated(client.topLeft()) & client;
  QPainter painter(image);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(area, Qt::transparent);
}

LRESULT Create(HWND window, WPARAM wParam, LPARAM lParam) {
  const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
  const DWORD style = create != nullptr ? static_cast<DWORD>(create->style) : 0;
  const bool editable = (style & CBS_DROPDOWNLIST) != CBS_DROPDOWNLIST;
  auto* box = new ComboWidget();
  box->setEditable(editable);
  // A box made with an edge style has its frame drawn by the window layer on that edge: the
  // box inside draws none of its own, or it would show two.
  const DWORD exStyle = create != nullptr ? create->dwExStyle : 0;
  if ((style & WS_BORDER) != 0 || (exStyle & (WS_EX_STATICEDGE | WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME)) != 0) {
    box->setFrame(false);
  }
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setMaxVisibleItems(30);
  if (editable) {
    box->setCompleter(nullptr);   // typed text stays as typed
    box->lineEdit()->setDragEnabled(false);
  }
  auto control = std::make_shared<ComboControl>(window, box, editable, (style & CBS_SORT) != 0);
  std::weak_ptr<ComboControl> weak = control;
  box->beforeShow = [weak]() {
    auto self = weak.lock();
    if (!self) return false;
    self->Notify(CBN_DROPDOWN);
    return IsWindow(self->host()) != FALSE;
  };
  box->afterHide = [weak]() {
    if (auto self = weak.lock()) self->Notify(CBN_CLOSEUP);
  };
  QObject::connect(box, &QComboBox::activated, box, [weak](int) {
    auto self = weak.lock();
    if (!self) return;
    self->Notify(CBN_SELENDOK);
    self->Notify(CBN_SELCHANGE);
  });
  if (editable) {
    QObject::connect(box->lineEdit(), &QLineEdit::textEdited, box, [weak](const QString&) {
      auto self = weak.lock();
      if (!self) return;
      self->Notify(CBN_EDITUPDATE);
      self->Notify(CBN_EDITCHANGE);
    });
  }
  AttachWrapped(window, control);
  const LRESULT result = DefWindowProcA(window, WM_NCCREATE, wParam, lParam);
  if (editable && create != nullptr && create->lpszName != nullptr) {
    box->setEditText(FromGbk(create->lpszName));
  }
  return result;
}

LRESULT ComboMessage(ComboControl* combo, UINT message, WPARAM wParam, LPARAM lParam) {
  ComboWidget* box = combo->Box();
  const HWND window = combo->host();
  switch (message) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
      const std::string text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      int index = box->count();
      if (message == CB_ADDSTRING) {
        if (combo->sorted()) index = SortedPlace(box, text);
      } else if (static_cast<LONG_PTR>(wParam) != -1) {
        if (static_cast<LONG_PTR>(wParam) < 0 || static_cast<LONG_PTR>(wParam) > box->count()) return CB_ERR;
        index = static_cast<int>(wParam);
      }
      combo->KeepingSelection([&] { box->insertItem(index, FromGbk(text), QVariant::fromValue<qlonglong>(0)); });
      return index;
    }
    case CB_DELETESTRING: {
      if (!ValidIndex(box, wParam)) return CB_ERR;
      const int index = static_cast<int>(wParam);
      const int current = box->currentIndex();
      const QString text = box->currentText();
      {
        const QSignalBlocker block(box);
        box->removeItem(index);
        // The native box keeps no selection when its item goes; the edit text stays.
        if (current == index) {
          box->setCurrentIndex(-1);
        } else if (current > index) {
          box->setCurrentIndex(current - 1);
        }
        if (combo->editable() && combo->Line()->text() != text) combo->Line()->setText(text);
      }
      return box->count();
    }
    case CB_RESETCONTENT: {
      const QSignalBlocker block(box);
      box->clear();
      if (combo->editable()) combo->Line()->clear();
      return CB_OKAY;
    }
    case CB_GETCOUNT:
      return box->count();
    case CB_GETCURSEL:
      return box->currentIndex() >= 0 ? box->currentIndex() : CB_ERR;
    case CB_SETCURSEL: {
      if (static_cast<LONG_PTR>(wParam) == -1 || wParam == static_cast<WPARAM>(0xFFFFFFFFu)) {
        const QSignalBlocker block(box);
        box->setCurrentIndex(-1);
        if (combo->editable()) combo->Line()->clear();
        return CB_ERR;
      }
      if (!ValidIndex(box, wParam)) return CB_ERR;
      const QSignalBlocker block(box);
      box->setCurrentIndex(static_cast<int>(wParam));
      if (combo->editable()) combo->Line()->setText(box->itemText(static_cast<int>(wParam)));
      return static_cast<LRESULT>(wParam);
    }
    case CB_GETLBTEXT:
      if (!ValidIndex(box, wParam)) return CB_ERR;
      if (lParam == 0) return 0;
      {
        const std::string text = ItemText(box, static_cast<int>(wParam));
        std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
        return static_cast<LRESULT>(text.size());
      }
    case CB_GETLBTEXTLEN:
      if (!ValidIndex(box, wParam)) return CB_ERR;
      return static_cast<LRESULT>(ItemText(box, static_cast<int>(wParam)).size());
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
      return FindString(box, wParam, lParam, message == CB_FINDSTRINGEXACT);
    case CB_SELECTSTRING: {
      const LRESULT found = FindString(box, wParam, lParam, false);
      if (found == CB_ERR) return CB_ERR;
      return ComboMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
    }
    case CB_SETITEMDATA:
      if (!ValidIndex(box, wParam)) return CB_ERR;
      box->setItemData(static_cast<int>(wParam), QVariant::fromValue<qlonglong>(static_cast<qlonglong>(lParam)));
      return CB_OKAY;
    case CB_GETITEMDATA:
      if (!ValidIndex(box, wParam)) return CB_ERR;
      return static_cast<LRESULT>(box->itemData(static_cast<int>(wParam)).toLongLong());
    case CB_LIMITTEXT:
      if (!combo->editable()) return CB_ERR;
      combo->limit = wParam == 0 || wParam > static_cast<WPARAM>(kNoLimit) ? kNoLimit : static_cast<int>(wParam);
      return TRUE;
    case CB_GETEDITSEL: {
      QLineEdit* line = combo->Line();
      if (line == nullptr) return CB_ERR;
      // Positions in bytes of the GBK text.
      const int start = line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
      const int end = line->hasSelectedText() ? line->selectionEnd() : start;
      const int s = GbkLength(line->text().left(start));
      const int e = GbkLength(line->text().left(end));
      if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(s);
      if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(e);
      return MAKELPARAM(static_cast<WORD>(s), static_cast<WORD>(e));
    }
    case CB_SETEDITSEL: {
      QLineEdit* line = combo->Line();
      if (line == nullptr) return CB_ERR;
      const int length = GbkLength(line->text());
      auto toChars = [&](int bytes) {
        if (bytes < 0 || bytes > length) bytes = length;
        const QString text = line->text();
        int chars = 0;
        while (chars < text.size() && GbkLength(text.left(chars + 1)) <= bytes) ++chars;
        return chars;
      };
      const int start = toChars(static_cast<short>(LOWORD(lParam)));
      const int end = toChars(static_cast<short>(HIWORD(lParam)));
      line->setSelection(start, end - start);
      return TRUE;
    }
    case CB_SHOWDROPDOWN:
      if (wParam != FALSE && !box->PopupShown()) {
        box->showPopup();
      } else if (wParam == FALSE && box->PopupShown()) {
        box->hidePopup();
      }
      return TRUE;
    case CB_GETDROPPEDSTATE:
      return box->PopupShown() ? TRUE : FALSE;
    case CB_SETDROPPEDWIDTH: {
      if (static_cast<LONG_PTR>(wParam) < 0) return CB_ERR;
      combo->droppedWidth = static_cast<int>(wParam);
      box->view()->setMinimumWidth(combo->droppedWidth);
      return std::max(combo->droppedWidth, box->width());
    }
    case CB_GETDROPPEDWIDTH:
      return std::max(combo->droppedWidth, box->width());
    case CB_SETMINVISIBLE:
      if (static_cast<LONG_PTR>(wParam) < 1) return FALSE;
      box->setMaxVisibleItems(static_cast<int>(std::min<WPARAM>(wParam, 1000)));
      return TRUE;
    case CB_GETMINVISIBLE:
      return box->maxVisibleItems();
    case CB_GETCOMBOBOXINFO: {
      auto* info = reinterpret_cast<COMBOBOXINFO*>(lParam);
      if (info == nullptr || info->cbSize != sizeof(COMBOBOXINFO)) return FALSE;
      info->rcItem = ToRect(box->SubRect(QStyle::SC_ComboBoxEditField));
      info->rcButton = ToRect(box->SubRect(QStyle::SC_ComboBoxArrow));
      info->stateButton = box->PopupShown() ? STATE_SYSTEM_PRESSED : 0;
      info->hwndCombo = window;
      info->hwndItem = nullptr;
      info->hwndList = nullptr;
      return TRUE;
    }
    case WM_GETTEXT:
      return CopyText(ToGbk(box->currentText()), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return GbkLength(box->currentText());
    case WM_SETTEXT: {
      const std::string text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      DefWindowProcA(window, message, wParam, lParam);
      if (combo->editable()) {
        const QSignalBlocker block(box);
        combo->Line()->setText(FromGbk(text));
        return TRUE;
      }
      // A list shows only its items: the one with the text is selected, or none.
      const LRESULT found = text.empty() ? CB_ERR : FindString(box, static_cast<WPARAM>(-1), lParam, true);
      const QSignalBlocker block(box);
      box->setCurrentIndex(found == CB_ERR ? -1 : static_cast<int>(found));
      return found == CB_ERR ? CB_ERR : TRUE;
    }
    case WM_PAINT:
      if (wParam == 0) {
        ClearInvalidPart(window);
        PAINTSTRUCT paint{};
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        ImageChanged(window);
      }
      return 0;
    case WM_GETDLGCODE:
      // The open list takes Enter and Esc; otherwise they belong to the dialog.
      return DLGC_WANTCHARS | DLGC_WANTARROWS | (box->PopupShown() ? DLGC_WANTALLKEYS : 0);
    case kNotifyLater:
      combo->NotifyParent(static_cast<WORD>(wParam));
      return 0;
    case WM_KILLFOCUS:
      if (box->PopupShown()) box->hidePopup();
      return combo->DefaultProc(message, wParam, lParam);
    default:
      return combo->DefaultProc(message, wParam, lParam);
  }
}

}  // namespace

LRESULT ComboBoxWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) return Create(window, wParam, lParam);
  std::shared_ptr<WrappedControl> control = WrappedShared(window);
  if (!control || control->widget() == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  ComboControl* combo = ComboOf(control);
  ++combo->inProc;
  const LRESULT result = ComboMessage(combo, message, wParam, lParam);
  --combo->inProc;
  return result;
}

}  // namespace zuvo::platform::win

BOOL GetComboBoxInfo(HWND combo, COMBOBOXINFO* info) {
  return SendMessageA(combo, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(info)) != FALSE ? TRUE : FALSE;
}

// ---- TComboBoxStrings ----------------------------------------------------------------------------

HWND TComboBoxStrings::Window() const { return box_->HandleAllocated() ? box_->handle_ : nullptr; }

void TComboBoxStrings::Check(int index) const {
  if (index < 0 || index >= Count()) {
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  }
}

int TComboBoxStrings::Count() const {
  if (HWND w = Window()) return static_cast<int>(SendMessageA(w, CB_GETCOUNT, 0, 0));
  return static_cast<int>(kept_.size());
}

std::string TComboBoxStrings::Get(int index) const {
  Check(index);
  if (HWND w = Window()) {
    const auto length = SendMessageA(w, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(w, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
  }
  return kept_[static_cast<std::size_t>(index)].text;
}

void TComboBoxStrings::Put(int index, const std::string& s) {
  Check(index);
  void* object = GetObject(index);
  const int selected = box_->ItemIndex();
  Delete(index);
  InsertObject(index, s, object);
  if (selected == index) box_->SetItemIndex(index);
}

void* TComboBoxStrings::GetObject(int index) const {
  Check(index);
  if (HWND w = Window()) {
    return reinterpret_cast<void*>(SendMessageA(w, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
  }
  return kept_[static_cast<std::size_t>(index)].object;
}

void TComboBoxStrings::PutObject(int index, void* object) {
  Check(index);
  if (HWND w = Window()) {
    SendMessageA(w, CB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(object));
    return;
  }
  kept_[static_cast<std::size_t>(index)].object = object;
}

int TComboBoxStrings::Add(const std::string& s) { return AddObject(s, nullptr); }

int TComboBoxStrings::AddObject(const std::string& s, void* object) {
  const int index = Count();
  InsertObject(index, s, object);
  return index;
}

void TComboBoxStrings::Insert(int index, const std::string& s) {
  if (index < 0 || index > Count()) {
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  if (HWND w = Window()) {
    SendMessageA(w, CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.c_str()));
    return;
  }
  kept_.insert(kept_.begin() + index, Item{s, nullptr});
  if (box_->itemIndex_ >= index) ++box_->itemIndex_;
}

void TComboBoxStrings::Delete(int index) {
  Check(index);
  if (HWND w = Window()) {
    SendMessageA(w, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
    return;
  }
  kept_.erase(kept_.begin() + index);
  if (box_->itemIndex_ == index) {
    box_->itemIndex_ = -1;
  } else if (box_->itemIndex_ > index) {
    --box_->itemIndex_;
  }
}

void TComboBoxStrings::Clear() {
  if (HWND w = Window()) {
    SendMessageA(w, CB_RESETCONTENT, 0, 0);
    return;
  }
  kept_.clear();
  box_->itemIndex_ = -1;
  if (box_->style_ == csDropDownList) box_->caption_.clear();
}

// ---- TCustomComboBox --------------------------------------------------------------------------------

TCustomComboBox::TCustomComboBox(TComponent* owner) : TWinControl(owner) {
  InheritWindowClass("COMBOBOX");
  width_ = explicitWidth_ = 145;
  height_ = explicitHeight_ = 21;
  color_ = clWindow;
  tabStop_ = true;
}

TCustomComboBox::~TCustomComboBox() = default;

void TCustomComboBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.Style |= WS_VSCROLL | CBS_AUTOHSCROLL | (style_ == csDropDownList ? CBS_DROPDOWNLIST : CBS_DROPDOWN);
}

void TCustomComboBox::CreateWnd() {
  const std::vector<TComboBoxStrings::Item> kept = items_.kept_;
  const int index = itemIndex_;
  const std::string text = caption_;
  TWinControl::CreateWnd();
  if (handle_ == nullptr) return;
  items_.kept_.clear();
  for (const auto& item : kept) items_.AddObject(item.text, item.object);
  SendMessageA(handle_, CB_SETMINVISIBLE, static_cast<WPARAM>(dropDownCount_), 0);
  if (maxLength_ > 0) SendMessageA(handle_, CB_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
  if (index >= 0) SendMessageA(handle_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  // An editable box keeps its text even when it is no item's.
  if (style_ == csDropDown) SendMessageA(handle_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TCustomComboBox::DestroyWnd() {
  if (handle_ != nullptr) {
    std::vector<TComboBoxStrings::Item> kept;
    const int count = items_.Count();
    for (int i = 0; i < count; ++i) kept.push_back({items_.Get(i), items_.GetObject(i)});
    itemIndex_ = ItemIndex();
    items_.kept_ = std::move(kept);
  }
  TWinControl::DestroyWnd();
}

void TCustomComboBox::SetStyle(TComboBoxStyle style) {
  if (style == style_) return;
  if (handle_ != nullptr) {
    itemIndex_ = ItemIndex();
    caption_ = Caption();
  }
  style_ = style;
  if (style_ == csDropDownList) {
    caption_ = itemIndex_ >= 0 && itemIndex_ < items_.Count() ? items_.Get(itemIndex_) : std::string();
  }
  if (handle_ != nullptr) RecreateWnd();
}

int TCustomComboBox::ItemIndex() const {
  if (handle_ != nullptr) return static_cast<int>(SendMessageA(handle_, CB_GETCURSEL, 0, 0));
  return itemIndex_;
}

void TCustomComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= items_.Count()) return;
  if (handle_ != nullptr) {
    SendMessageA(handle_, CB_SETCURSEL, static_cast<WPARAM>(static_cast<LONG_PTR>(index)), 0);
    return;
  }
  itemIndex_ = index;
  caption_ = index >= 0 ? items_.Get(index) : std::string();
}

int TCustomComboBox::IndexOfKept(const std::string& text) const {
  for (std::size_t i = 0; i < items_.kept_.size(); ++i) {
    if (AnsiCompareText(items_.kept_[i].text, text) == 0) return static_cast<int>(i);
  }
  return -1;
}

std::string TCustomComboBox::Caption() const { return TWinControl::Caption(); }

void TCustomComboBox::SetCaption(const std::string& text) {
  if (handle_ == nullptr && style_ == csDropDownList) {
    itemIndex_ = text.empty() ? -1 : IndexOfKept(text);
    caption_ = itemIndex_ >= 0 ? items_.kept_[static_cast<std::size_t>(itemIndex_)].text : std::string();
    return;
  }
  TWinControl::SetCaption(text);
}

void TCustomComboBox::SetDropDownCount(int rows) {
  dropDownCount_ = std::max(1, rows);
  if (handle_ != nullptr) SendMessageA(handle_, CB_SETMINVISIBLE, static_cast<WPARAM>(dropDownCount_), 0);
}

void TCustomComboBox::SetMaxLength(int bytes) {
  maxLength_ = std::max(0, bytes);
  if (handle_ != nullptr) SendMessageA(handle_, CB_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

bool TCustomComboBox::DroppedDown() const {
  return handle_ != nullptr && SendMessageA(handle_, CB_GETDROPPEDSTATE, 0, 0) != FALSE;
}

void TCustomComboBox::SetDroppedDown(bool value) {
  if (handle_ != nullptr) SendMessageA(handle_, CB_SHOWDROPDOWN, value ? TRUE : FALSE, 0);
}

void TCustomComboBox::SelectAll() {
  if (handle_ != nullptr) SendMessageA(handle_, CB_SETEDITSEL, 0, MAKELPARAM(0, 0xFFFF));
}

void TCustomComboBox::Change() {
  if (TNotifyEvent handler = OnChange) handler(this);
}

void TCustomComboBox::Select() {
  if (TNotifyEvent handler = OnSelect) {
    handler(this);
  } else {
    Change();
  }
}

void TCustomComboBox::DropDown() {
  if (TNotifyEvent handler = OnDropDown) handler(this);
}

void TCustomComboBox::CloseUp() {
  if (TNotifyEvent handler = OnCloseUp) handler(this);
}

void TCustomComboBox::CommandNotification(WORD code) {
  switch (code) {
    case CBN_SELCHANGE: {
      if (TNotifyEvent handler = OnClick) handler(this);
      if (Destroying()) return;
      Select();
      return;
    }
    case CBN_EDITCHANGE:
      Change();
      return;
    case CBN_DROPDOWN:
      DropDown();
      return;
    case CBN_CLOSEUP:
      CloseUp();
      return;
    default:
      return;
  }
}

void TCustomComboBox::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case CN_COMMAND:
      CommandNotification(message.WParamHi());
      message.Result = 0;
      return;
    default:
      TWinControl::Dispatch(message);
      return;
  }
}
