// Tree views: the "SysTreeView32" window class over a Qt tree, and TTreeView on it.
#include "platform/TreeView.h"

#include "platform/StringList.h"
#include "platform/WinUser.h"
#include "platform/internal/Window.h"
#include "platform/internal/Wrapped.h"

#include <QHeaderView>
#include <QPainter>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace zuvo::platform::win {
namespace {

constexpr int kHandleRole = Qt::UserRole;
constexpr int kParamRole = Qt::UserRole + 1;

class TreeControl : public WrappedControl {
 public:
  TreeControl(HWND host, QTreeWidget* tree) : WrappedControl(host, tree) {}
  QTreeWidget* Tree() const { return static_cast<QTreeWidget*>(widget()); }

  // Item handles are numbers of ours, so a stale one is found to be unknown, never followed.
  QTreeWidgetItem* ItemOf(HTREEITEM handle) const {
    auto it = items_.find(reinterpret_cast<quintptr>(handle));
    return it != items_.end() ? it->second : nullptr;
  }
  static HTREEITEM HandleOf(const QTreeWidgetItem* item) {
    return item != nullptr ? reinterpret_cast<HTREEITEM>(item->data(0, kHandleRole).value<quintptr>()) : nullptr;
  }
  static LPARAM ParamOf(const QTreeWidgetItem* item) {
    return item != nullptr ? static_cast<LPARAM>(item->data(0, kParamRole).toLongLong()) : 0;
  }
  HTREEITEM Register(QTreeWidgetItem* item) {
    const quintptr id = next_++;
    item->setData(0, kHandleRole, QVariant::fromValue<quintptr>(id));
    items_[id] = item;
    return reinterpret_cast<HTREEITEM>(id);
  }
  void Forget(QTreeWidgetItem* item) {
    for (int i = 0; i < item->childCount(); ++i) Forget(item->child(i));
    items_.erase(item->data(0, kHandleRole).value<quintptr>());
  }
  int Count() const { return static_cast<int>(items_.size()); }

  QTreeWidgetItem* Caret() const {
    const QList<QTreeWidgetItem*> selected = Tree()->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
  }
  void Select(QTreeWidgetItem* item) {
    if (item == nullptr) {
      Tree()->clearSelection();
      Tree()->setCurrentItem(nullptr);
      return;
    }
    Tree()->setCurrentItem(item);
    item->setSelected(true);
    Tree()->scrollToItem(item);   // expands the ancestors
  }

  // Tells the parent when the selection is not the one last told of.
  void CheckCaret(UINT action) {
    QTreeWidgetItem* now = Caret();
    const HTREEITEM handle = HandleOf(now);
    if (handle == told_) return;
    NMTREEVIEWA note{};
    note.action = action;
    note.itemOld.mask = TVIF_HANDLE | TVIF_PARAM;
    note.itemOld.hItem = told_;
    note.itemOld.lParam = toldParam_;
    note.itemNew.mask = TVIF_HANDLE | TVIF_PARAM;
    note.itemNew.hItem = handle;
    note.itemNew.lParam = ParamOf(now);
    told_ = handle;
    toldParam_ = note.itemNew.lParam;
    Notify(TVN_SELCHANGEDA, &note.hdr);
  }
  void Notify(UINT code, NMHDR* head) {
    HWND parent = GetParent(host());
    if (parent == nullptr || (GetWindowLongA(host(), GWL_STYLE) & WS_CHILD) == 0) return;
    head->hwndFrom = host();
    head->idFrom = static_cast<UINT_PTR>(GetWindowLongA(host(), GWL_ID));
    head->code = code;
    SendMessageA(parent, WM_NOTIFY, head->idFrom, reinterpret_cast<LPARAM>(head));
  }
  void ForgetTold(HTREEITEM gone) {
    if (gone == told_) told_ = nullptr;
  }

 protected:
  QString SelectedText() const override { return {}; }
  bool IsReadOnly() const override { return true; }
  void InsertText(const QString& text) override {
    // A letter goes to the item whose text starts with it, as the native tree does.
    if (text.size() == 1 && text.at(0).isPrint()) Tree()->keyboardSearch(text);
  }

 private:
  std::unordered_map<quintptr, QTreeWidgetItem*> items_;
  quintptr next_ = 1;
  HTREEITEM told_ = nullptr;
  LPARAM toldParam_ = 0;
};

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

void ApplyStyle(QTreeWidget* tree, DWORD style) {
  tree->setRootIsDecorated((style & TVS_LINESATROOT) != 0 && (style & TVS_HASBUTTONS) != 0);
  tree->setItemsExpandable(true);
}

LRESULT Create(HWND window, WPARAM wParam, LPARAM lParam) {
  const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
  auto* tree = new QTreeWidget();
  tree->setColumnCount(1);
  tree->setHeaderHidden(true);
  tree->header()->setStretchLastSection(true);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree->setFrameShape(QFrame::NoFrame);
  tree->setUniformRowHeights(true);
  tree->setAnimated(false);
  tree->setExpandsOnDoubleClick(true);
  tree->setDragEnabled(false);
  ApplyStyle(tree, create != nullptr ? static_cast<DWORD>(create->style) : 0);
  AttachWrapped(window, std::make_shared<TreeControl>(window, tree));
  return DefWindowProcA(window, WM_NCCREATE, wParam, lParam);
}

QTreeWidgetItem* Sibling(QTreeWidgetItem* item, int step) {
  if (item == nullptr) return nullptr;
  QTreeWidgetItem* parent = item->parent();
  QTreeWidget* tree = item->treeWidget();
  const int index = parent != nullptr ? parent->indexOfChild(item) : tree->indexOfTopLevelItem(item);
  const int count = parent != nullptr ? parent->childCount() : tree->topLevelItemCount();
  const int other = index + step;
  if (other < 0 || other >= count) return nullptr;
  return parent != nullptr ? parent->child(other) : tree->topLevelItem(other);
}

bool IsWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
  for (; item != nullptr; item = item->parent()) {
    if (item == ancestor) return true;
  }
  return false;
}

LRESULT Insert(TreeControl* control, const TVINSERTSTRUCTA* insert) {
  if (insert == nullptr) return 0;
  QTreeWidget* tree = control->Tree();
  QTreeWidgetItem* parent = nullptr;
  if (insert->hParent != nullptr && insert->hParent != TVI_ROOT) {
    parent = control->ItemOf(insert->hParent);
    if (parent == nullptr) return 0;
  }
  const int count = parent != nullptr ? parent->childCount() : tree->topLevelItemCount();
  auto childAt = [&](int i) { return parent != nullptr ? parent->child(i) : tree->topLevelItem(i); };
  const std::string text =
      (insert->item.mask & TVIF_TEXT) != 0 && insert->item.pszText != nullptr ? insert->item.pszText : "";
  int index = count;
  if (insert->hInsertAfter == TVI_FIRST) {
    index = 0;
  } else if (insert->hInsertAfter == TVI_SORT) {
    index = 0;
    while (index < count && AnsiCompareText(ToGbk(childAt(index)->text(0)), text) <= 0) ++index;
  } else if (insert->hInsertAfter != TVI_LAST && insert->hInsertAfter != nullptr) {
    QTreeWidgetItem* after = control->ItemOf(insert->hInsertAfter);
    if (after != nullptr && after->parent() == parent && after->treeWidget() == tree) {
      index = (parent != nullptr ? parent->indexOfChild(after) : tree->indexOfTopLevelItem(after)) + 1;
    }
  }
  auto* item = new QTreeWidgetItem();
  item->setText(0, FromGbk(text));
  item->setData(0, kParamRole, QVariant::fromValue<qlonglong>((insert->item.mask & TVIF_PARAM) != 0 ? insert->item.lParam : 0));
  const HTREEITEM handle = control->Register(item);
  if (parent != nullptr) {
    parent->insertChild(index, item);
  } else {
    tree->insertTopLevelItem(index, item);
  }
  return reinterpret_cast<LRESULT>(handle);
}

LRESULT DeleteItem(TreeControl* control, HTREEITEM handle) {
  QTreeWidget* tree = control->Tree();
  if (handle == nullptr || handle == TVI_ROOT) {
    for (int i = 0; i < tree->topLevelItemCount(); ++i) control->Forget(tree->topLevelItem(i));
    tree->clear();
    control->CheckCaret(TVC_UNKNOWN);
    return TRUE;
  }
  QTreeWidgetItem* item = control->ItemOf(handle);
  if (item == nullptr) return FALSE;
  QTreeWidgetItem* caret = control->Caret();
  if (caret != nullptr && IsWithin(caret, item)) {
    // The selection leaves the items going: the next sibling, else the parent, else the
    // previous sibling.
    QTreeWidgetItem* next = Sibling(item, 1);
    if (next == nullptr) next = item->parent();
    if (next == nullptr) next = Sibling(item, -1);
    control->Select(next);
    control->CheckCaret(TVC_UNKNOWN);
    item = control->ItemOf(handle);   // the parent's answer may have deleted it
    if (item == nullptr) return TRUE;
  }
  control->Forget(item);
  delete item;
  control->CheckCaret(TVC_UNKNOWN);
  return TRUE;
}

LRESULT GetItem(TreeControl* control, TVITEMA* out) {
  if (out == nullptr) return FALSE;
  QTreeWidgetItem* item = control->ItemOf(out->hItem);
  if (item == nullptr) return FALSE;
  if ((out->mask & TVIF_TEXT) != 0 && out->pszText != nullptr && out->cchTextMax > 0) {
    const std::string text = ToGbk(item->text(0));
    const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(out->cchTextMax - 1));
    std::memcpy(out->pszText, text.data(), n);
    out->pszText[n] = 0;
  }
  if ((out->mask & TVIF_PARAM) != 0) out->lParam = TreeControl::ParamOf(item);
  if ((out->mask & TVIF_STATE) != 0) {
    UINT state = 0;
    if (item->isSelected()) state |= TVIS_SELECTED;
    if (item->isExpanded()) state |= TVIS_EXPANDED;
    out->state = state & out->stateMask;
  }
  if ((out->mask & TVIF_CHILDREN) != 0) out->cChildren = item->childCount() > 0 ? 1 : 0;
  return TRUE;
}

LRESULT SetItem(TreeControl* control, const TVITEMA* in) {
  if (in == nullptr) return FALSE;
  QTreeWidgetItem* item = control->ItemOf(in->hItem);
  if (item == nullptr) return FALSE;
  if ((in->mask & TVIF_TEXT) != 0) item->setText(0, in->pszText != nullptr ? FromGbk(in->pszText) : QString());
  if ((in->mask & TVIF_PARAM) != 0) item->setData(0, kParamRole, QVariant::fromValue<qlonglong>(in->lParam));
  if ((in->mask & TVIF_STATE) != 0 && (in->stateMask & TVIS_EXPANDED) != 0) {
    item->setExpanded((in->state & TVIS_EXPANDED) != 0);
  }
  return TRUE;
}

LRESULT NextItem(TreeControl* control, WPARAM which, HTREEITEM handle) {
  QTreeWidget* tree = control->Tree();
  QTreeWidgetItem* found = nullptr;
  switch (which) {
    case TVGN_ROOT:
      found = tree->topLevelItem(0);
      break;
    case TVGN_CARET:
      found = control->Caret();
      break;
    case TVGN_CHILD:
      if (handle == nullptr || handle == TVI_ROOT) {
        found = tree->topLevelItem(0);
      } else if (QTreeWidgetItem* item = control->ItemOf(handle)) {
        found = item->child(0);
      }
      break;
    case TVGN_NEXT:
    case TVGN_PREVIOUS:
      found = Sibling(control->ItemOf(handle), which == TVGN_NEXT ? 1 : -1);
      break;
    case TVGN_PARENT:
      if (QTreeWidgetItem* item = control->ItemOf(handle)) found = item->parent();
      break;
    default:
      break;
  }
  return reinterpret_cast<LRESULT>(TreeControl::HandleOf(found));
}

LRESULT ItemRect(TreeControl* control, WPARAM textOnly, RECT* rect) {
  if (rect == nullptr) return FALSE;
  HTREEITEM handle{};
  std::memcpy(&handle, rect, sizeof handle);
  QTreeWidgetItem* item = control->ItemOf(handle);
  if (item == nullptr) return FALSE;
  QTreeWidget* tree = control->Tree();
  for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) {
    if (!up->isExpanded()) return FALSE;
  }
  QRect area = tree->visualItemRect(item);
  if (area.isEmpty()) return FALSE;
  if (textOnly == FALSE) area.setLeft(0);
  area.translate(tree->viewport()->mapTo(tree, QPoint(0, 0)));
  if (textOnly != FALSE) {
    area.setWidth(std::min(area.width(), tree->fontMetrics().horizontalAdvance(item->text(0)) + 6));
  }
  *rect = RECT{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
  return TRUE;
}

bool IsInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

LRESULT TreeMessage(TreeControl* control, UINT message, WPARAM wParam, LPARAM lParam) {
  QTreeWidget* tree = control->Tree();
  const HWND window = control->host();
  switch (message) {
    case TVM_INSERTITEMA:
      return Insert(control, reinterpret_cast<const TVINSERTSTRUCTA*>(lParam));
    case TVM_DELETEITEM:
      return DeleteItem(control, reinterpret_cast<HTREEITEM>(lParam));
    case TVM_EXPAND: {
      QTreeWidgetItem* item = control->ItemOf(reinterpret_cast<HTREEITEM>(lParam));
      if (item == nullptr) return FALSE;
      switch (wParam & 0x3) {
        case TVE_COLLAPSE: item->setExpanded(false); break;
        case TVE_EXPAND: item->setExpanded(true); break;
        case TVE_TOGGLE: item->setExpanded(!item->isExpanded()); break;
        default: return FALSE;
      }
      // A collapsed branch gives its selection to the branch's item.
      if (QTreeWidgetItem* caret = control->Caret(); caret != nullptr && caret != item && IsWithin(caret, item) &&
                                                     !item->isExpanded()) {
        control->Select(item);
        control->CheckCaret(TVC_UNKNOWN);
      }
      return TRUE;
    }
    case TVM_GETITEMRECT:
      return ItemRect(control, wParam, reinterpret_cast<RECT*>(lParam));
    case TVM_GETCOUNT:
      return control->Count();
    case TVM_GETNEXTITEM:
      return NextItem(control, wParam, reinterpret_cast<HTREEITEM>(lParam));
    case TVM_SELECTITEM: {
      if (wParam != TVGN_CARET) return FALSE;
      const auto handle = reinterpret_cast<HTREEITEM>(lParam);
      QTreeWidgetItem* item = handle != nullptr ? control->ItemOf(handle) : nullptr;
      if (handle != nullptr && item == nullptr) return FALSE;
      control->Select(item);
      control->CheckCaret(TVC_UNKNOWN);
      return TRUE;
    }
    case TVM_GETITEMA:
      return GetItem(control, reinterpret_cast<TVITEMA*>(lParam));
    case TVM_SETITEMA:
      return SetItem(control, reinterpret_cast<const TVITEMA*>(lParam));
    case TVM_ENSUREVISIBLE: {
      QTreeWidgetItem* item = control->ItemOf(reinterpret_cast<HTREEITEM>(lParam));
      if (item == nullptr) return FALSE;
      tree->scrollToItem(item);
      return TRUE;
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
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
      break;
  }
  if (!IsInput(message)) return control->DefaultProc(message, wParam, lParam);
  const LRESULT result = control->DefaultProc(message, wParam, lParam);
  if (!IsWindow(window)) return result;
  const bool mouse = message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
  control->CheckCaret(mouse ? TVC_BYMOUSE : TVC_BYKEYBOARD);
  if (message == WM_LBUTTONDBLCLK && IsWindow(window)) {
    NMHDR head{};
    control->Notify(NM_DBLCLK, &head);
  }
  return result;
}

}  // namespace

LRESULT TreeViewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) return Create(window, wParam, lParam);
  std::shared_ptr<WrappedControl> control = WrappedShared(window);
  if (!control || control->widget() == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return TreeMessage(static_cast<TreeControl*>(control.get()), message, wParam, lParam);
}

}  // namespace zuvo::platform::win

// ---- TTreeNode -----------------------------------------------------------------------------------

TTreeNode::~TTreeNode() = default;

TCustomTreeView* TTreeNode::TreeView() const { return owner_->owner_; }

void TTreeNode::SetText(const std::string& text) {
  text_ = text;
  TCustomTreeView* view = TreeView();
  if (item_ == nullptr || !view->HandleAllocated()) return;
  TVITEMA item{};
  item.mask = TVIF_TEXT;
  item.hItem = item_;
  item.pszText = const_cast<char*>(text_.c_str());
  SendMessageA(view->handle_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

int TTreeNode::Level() const {
  int level = -1;
  for (const TTreeNode* up = parent_; up != nullptr; up = up->parent_) ++level;
  return level;
}

TTreeNode* TTreeNode::Parent() const { return parent_ == owner_->root_.get() ? nullptr : parent_; }

TTreeNode* TTreeNode::Item(int index) const {
  if (index < 0 || index >= Count()) throw EListError("Tree node index out of bounds (" + std::to_string(index) + ")");
  return children_[static_cast<std::size_t>(index)].get();
}

TTreeNode* TTreeNode::getFirstChild() const { return children_.empty() ? nullptr : children_.front().get(); }
TTreeNode* TTreeNode::GetLastChild() const { return children_.empty() ? nullptr : children_.back().get(); }

int TTreeNode::Index() const {
  if (parent_ == nullptr) return -1;
  const auto& siblings = parent_->children_;
  for (std::size_t i = 0; i < siblings.size(); ++i) {
    if (siblings[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

TTreeNode* TTreeNode::getNextSibling() const {
  const int index = Index();
  if (index < 0 || index + 1 >= parent_->Count()) return nullptr;
  return parent_->children_[static_cast<std::size_t>(index + 1)].get();
}

TTreeNode* TTreeNode::getPrevSibling() const {
  const int index = Index();
  if (index <= 0) return nullptr;
  return parent_->children_[static_cast<std::size_t>(index - 1)].get();
}

TTreeNode* TTreeNode::GetNext() const {
  if (!children_.empty()) return children_.front().get();
  for (const TTreeNode* node = this; node != nullptr && node->parent_ != nullptr; node = node->parent_) {
    if (TTreeNode* next = node->getNextSibling()) return next;
  }
  return nullptr;
}

bool TTreeNode::Expanded() const {
  TCustomTreeView* view = TreeView();
  if (item_ == nullptr || !view->HandleAllocated()) return expanded_;
  TVITEMA item{};
  item.mask = TVIF_STATE;
  item.hItem = item_;
  item.stateMask = TVIS_EXPANDED;
  SendMessageA(view->handle_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return (item.state & TVIS_EXPANDED) != 0;
}

void TTreeNode::SetExpanded(bool value) {
  expanded_ = value;
  TCustomTreeView* view = TreeView();
  if (item_ != nullptr && view->HandleAllocated()) {
    SendMessageA(view->handle_, TVM_EXPAND, value ? TVE_EXPAND : TVE_COLLAPSE, reinterpret_cast<LPARAM>(item_));
  } else if (!value) {
    // A collapsed branch gives its selection to the branch's node.
    for (TTreeNode* up = view->selected_ != nullptr ? view->selected_->parent_ : nullptr; up != nullptr; up = up->parent_) {
      if (up == this) {
        view->selected_ = this;
        view->SyncSelection();
        break;
      }
    }
  }
}

void TTreeNode::Expand(bool recurse) {
  SetExpanded(true);
  if (!recurse) return;
  for (auto& child : children_) child->Expand(true);
}

void TTreeNode::Collapse(bool recurse) {
  if (recurse) {
    for (auto& child : children_) child->Collapse(true);
  }
  SetExpanded(false);
}

bool TTreeNode::Selected() const { return TreeView()->Selected() == this; }

void TTreeNode::SetSelected(bool value) {
  TCustomTreeView* view = TreeView();
  if (value) {
    view->SetSelected(this);
  } else if (view->Selected() == this) {
    view->SetSelected(nullptr);
  }
}

void TTreeNode::Delete() { owner_->Delete(this); }

void TTreeNode::DeleteChildren() {
  while (!children_.empty()) owner_->Delete(children_.back().get());
}

void TTreeNode::MakeVisible() {
  for (TTreeNode* up = Parent(); up != nullptr; up = up->Parent()) up->SetExpanded(true);
  TCustomTreeView* view = TreeView();
  if (item_ != nullptr && view->HandleAllocated()) {
    SendMessageA(view->handle_, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item_));
  }
}

// ---- TTreeNodes ----------------------------------------------------------------------------------

TTreeNodes::TTreeNodes(TCustomTreeView* owner) : owner_(owner), root_(new TTreeNode(this, nullptr)) {
  root_->expanded_ = true;
}

TTreeNodes::~TTreeNodes() = default;

int TTreeNodes::Count() const {
  int count = 0;
  for (TTreeNode* node = GetFirstNode(); node != nullptr; node = node->GetNext()) ++count;
  return count;
}

TTreeNode* TTreeNodes::Item(int index) const {
  if (index >= 0) {
    int i = 0;
    for (TTreeNode* node = GetFirstNode(); node != nullptr; node = node->GetNext(), ++i) {
      if (i == index) return node;
    }
  }
  throw EListError("Tree node index out of bounds (" + std::to_string(index) + ")");
}

TTreeNode* TTreeNodes::GetFirstNode() const { return root_->getFirstChild(); }

TTreeNode* TTreeNodes::AddObject(TTreeNode* sibling, const std::string& text, void* data) {
  return AddChildObject(sibling != nullptr && sibling->owner_ == this ? sibling->Parent() : nullptr, text, data);
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const std::string& text, void* data) {
  TTreeNode* under = parent != nullptr && parent->owner_ == this ? parent : root_.get();
  under->children_.push_back(std::unique_ptr<TTreeNode>(new TTreeNode(this, under)));
  TTreeNode* node = under->children_.back().get();
  node->text_ = text;
  node->data_ = data;
  if (owner_->HandleAllocated()) owner_->InsertItems(node);
  return node;
}

void TTreeNodes::Delete(TTreeNode* node) {
  if (node == nullptr || node->owner_ != this || node == root_.get()) return;
  TCustomTreeView* view = owner_;
  if (node->item_ != nullptr && view->HandleAllocated()) {
    // The window moves the selection and tells of it (OnChange) while the node is still here.
    SendMessageA(view->handle_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(node->item_));
    view->ForgetItems(node);
  } else {
    bool selectedInside = false;
    for (TTreeNode* up = view->selected_; up != nullptr; up = up->parent_) {
      if (up == node) selectedInside = true;
    }
    if (selectedInside) {
      TTreeNode* next = node->getNextSibling();
      if (next == nullptr) next = node->Parent();
      if (next == nullptr) next = node->getPrevSibling();
      view->selected_ = next;
      view->SyncSelection();
    }
  }
  // A handler told of the change may have deleted the node already.
  TTreeNode* parent = node->parent_;
  if (parent == nullptr) return;
  auto& siblings = parent->children_;
  auto it = std::find_if(siblings.begin(), siblings.end(), [node](const auto& c) { return c.get() == node; });
  if (it == siblings.end()) return;
  std::unique_ptr<TTreeNode> gone = std::move(*it);
  siblings.erase(it);
  for (TTreeNode* up = view->told_; up != nullptr; up = up->parent_) {
    if (up == gone.get()) view->told_ = nullptr;
  }
}

void TTreeNodes::Clear() {
  TCustomTreeView* view = owner_;
  if (view->HandleAllocated()) {
    SendMessageA(view->handle_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  } else {
    view->selected_ = nullptr;
    view->SyncSelection();
  }
  root_->children_.clear();
  view->told_ = nullptr;
  view->selected_ = nullptr;
}

// ---- TCustomTreeView -----------------------------------------------------------------------------

TCustomTreeView::TCustomTreeView(TComponent* owner) : TWinControl(owner) {
  InheritWindowClass("SysTreeView32");
  width_ = explicitWidth_ = 121;
  height_ = explicitHeight_ = 97;
  color_ = clWindow;
  tabStop_ = true;
}

TCustomTreeView::~TCustomTreeView() = default;

void TCustomTreeView::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.ExStyle |= WS_EX_CLIENTEDGE;
  params.Style |= TVS_SHOWSELALWAYS;
  if (showLines_) params.Style |= TVS_HASLINES;
  if (showButtons_) params.Style |= TVS_HASBUTTONS;
  if (showRoot_) params.Style |= TVS_LINESATROOT;
}

void TCustomTreeView::InsertItems(TTreeNode* node) {
  TTreeNode* parent = node->parent_;
  TVINSERTSTRUCTA insert{};
  insert.hParent = parent == items_.root_.get() ? TVI_ROOT : parent->item_;
  TTreeNode* before = node->getPrevSibling();
  insert.hInsertAfter = before != nullptr && before->item_ != nullptr ? before->item_ : TVI_FIRST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = const_cast<char*>(node->text_.c_str());
  insert.item.lParam = reinterpret_cast<LPARAM>(node);
  node->item_ = reinterpret_cast<HTREEITEM>(SendMessageA(handle_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
  if (node->item_ == nullptr) return;
  for (auto& child : node->children_) InsertItems(child.get());
  if (node->expanded_) SendMessageA(handle_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(node->item_));
}

void TCustomTreeView::ForgetItems(TTreeNode* node) {
  node->item_ = nullptr;
  for (auto& child : node->children_) ForgetItems(child.get());
}

void TCustomTreeView::CreateWnd() {
  TWinControl::CreateWnd();
  if (handle_ == nullptr) return;
  TTreeNode* selected = selected_;
  ++syncing_;   // the window takes over the selection the object kept: no change to tell
  for (auto& child : items_.root_->children_) InsertItems(child.get());
  if (selected != nullptr && selected->item_ != nullptr) {
    SendMessageA(handle_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(selected->item_));
  }
  --syncing_;
}

void TCustomTreeView::DestroyWnd() {
  if (handle_ != nullptr) {
    // The object keeps what the window showed.
    selected_ = Selected();
    for (TTreeNode* node = items_.GetFirstNode(); node != nullptr; node = node->GetNext()) {
      node->expanded_ = node->Expanded();
    }
    ++syncing_;
    TWinControl::DestroyWnd();
    --syncing_;
    ForgetItems(items_.root_.get());
    return;
  }
  TWinControl::DestroyWnd();
}

TTreeNode* TCustomTreeView::NodeOf(HTREEITEM item) const {
  if (item == nullptr || handle_ == nullptr) return nullptr;
  TVITEMA query{};
  query.mask = TVIF_PARAM;
  query.hItem = item;
  if (SendMessageA(handle_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query)) == FALSE) return nullptr;
  return reinterpret_cast<TTreeNode*>(query.lParam);
}

TTreeNode* TCustomTreeView::Selected() const {
  if (handle_ == nullptr) return selected_;
  return NodeOf(reinterpret_cast<HTREEITEM>(SendMessageA(handle_, TVM_GETNEXTITEM, TVGN_CARET, 0)));
}

void TCustomTreeView::SetSelected(TTreeNode* node) {
  if (node != nullptr && node->owner_ != &items_) return;
  if (handle_ != nullptr) {
    if (node != nullptr && node->item_ == nullptr) return;
    SendMessageA(handle_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node != nullptr ? node->item_ : nullptr));
    return;   // the window tells of the change (TVN_SELCHANGED, reflected as CN_NOTIFY)
  }
  if (node != nullptr) node->MakeVisible();
  selected_ = node;
  SyncSelection();
}

void TCustomTreeView::SyncSelection() {
  if (syncing_ > 0) return;
  ++syncing_;   // the query goes through the window procedure too
  TTreeNode* now = Selected();
  --syncing_;
  if (now == told_) return;
  told_ = now;
  Change(now);
}

void TCustomTreeView::Change(TTreeNode* node) {
  if (TTVChangedEvent handler = OnChange) handler(this, node);
}

void TCustomTreeView::FullExpand() {
  for (auto& child : items_.root_->children_) child->Expand(true);
}

void TCustomTreeView::FullCollapse() {
  for (auto& child : items_.root_->children_) child->Collapse(true);
}

void TCustomTreeView::SetStyleFlag(bool& flag, bool value) {
  if (flag == value) return;
  flag = value;
  if (handle_ != nullptr) RecreateWnd();
}

void TCustomTreeView::SetShowLines(bool value) { SetStyleFlag(showLines_, value); }
void TCustomTreeView::SetShowButtons(bool value) { SetStyleFlag(showButtons_, value); }
void TCustomTreeView::SetShowRoot(bool value) { SetStyleFlag(showRoot_, value); }

void TCustomTreeView::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case CN_NOTIFY: {
      const auto* head = reinterpret_cast<const NMHDR*>(message.LParam);
      if (head != nullptr && head->code == TVN_SELCHANGEDA) SyncSelection();
      message.Result = 0;
      return;
    }
    default:
      TWinControl::Dispatch(message);
      return;
  }
}
