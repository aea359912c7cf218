// Tree views: the "SysTreeView32" window class (a Qt tree behind a window of ours, see
// internal/Wrapped.h) and the class library's TTreeView on it.
//
// The raw class keeps items made with TVM_INSERTITEMA (a text and an LPARAM each) and answers
// the TVM_ messages below as the native control does; an item handle it does not know (deleted,
// or never made) gets FALSE / null and changes nothing. The selection is one item (the caret):
// a click or the keys (arrows, Home, End, PageUp, PageDown; Left and Right collapse, expand and
// move between levels) move it, a double click toggles an item's expansion. The parent hears
// through WM_NOTIFY: TVN_SELCHANGEDA (NMTREEVIEWA, action TVC_BYMOUSE / TVC_BYKEYBOARD for the
// user, TVC_UNKNOWN for TVM_SELECTITEM and for an item deleted with the selection in it) and
// NM_DBLCLK. Deleting the selected item (or an ancestor of it) selects its next sibling, else
// its parent, else its previous sibling.
//
// TTreeView keeps its nodes itself, so that they exist before the window does and outlive a
// re-made window; the window shows them. OnChange follows every change of the selected node
// (by the user, by code, or by deleting it), with the new node or null.
#pragma once

#include "platform/Control.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// ---- The window class's constants and structures ---------------------------------------------------
struct _TREEITEM;
using HTREEITEM = _TREEITEM*;

inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x10000));
inline const HTREEITEM TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFF));
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFE));
inline const HTREEITEM TVI_SORT = reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFD));

constexpr UINT TVM_INSERTITEMA = 0x1100;
constexpr UINT TVM_DELETEITEM = 0x1101;
constexpr UINT TVM_EXPAND = 0x1102;
constexpr UINT TVM_GETITEMRECT = 0x1104;
constexpr UINT TVM_GETCOUNT = 0x1105;
constexpr UINT TVM_GETNEXTITEM = 0x110A;
constexpr UINT TVM_SELECTITEM = 0x110B;
constexpr UINT TVM_GETITEMA = 0x110C;
constexpr UINT TVM_SETITEMA = 0x110D;
constexpr UINT TVM_ENSUREVISIBLE = 0x1114;

constexpr WPARAM TVGN_ROOT = 0x0000;
constexpr WPARAM TVGN_NEXT = 0x0001;
constexpr WPARAM TVGN_PREVIOUS = 0x0002;
constexpr WPARAM TVGN_PARENT = 0x0003;
constexpr WPARAM TVGN_CHILD = 0x0004;
constexpr WPARAM TVGN_CARET = 0x0009;

constexpr WPARAM TVE_COLLAPSE = 0x0001;
constexpr WPARAM TVE_EXPAND = 0x0002;
constexpr WPARAM TVE_TOGGLE = 0x0003;

constexpr UINT TVIF_TEXT = 0x0001;
constexpr UINT TVIF_PARAM = 0x0004;
constexpr UINT TVIF_STATE = 0x0008;
constexpr UINT TVIF_HANDLE = 0x0010;
constexpr UINT TVIF_CHILDREN = 0x0040;

constexpr UINT TVIS_SELECTED = 0x0002;
constexpr UINT TVIS_EXPANDED = 0x0020;

constexpr DWORD TVS_HASBUTTONS = 0x0001;
constexpr DWORD TVS_HASLINES = 0x0002;
constexpr DWORD TVS_LINESATROOT = 0x0004;
constexpr DWORD TVS_SHOWSELALWAYS = 0x0020;

constexpr UINT TVC_UNKNOWN = 0;
constexpr UINT TVC_BYMOUSE = 1;
constexpr UINT TVC_BYKEYBOARD = 2;

constexpr UINT NM_DBLCLK = 0U - 3U;
constexpr UINT TVN_FIRST = 0U - 400U;
constexpr UINT TVN_SELCHANGEDA = TVN_FIRST - 2;

struct TVITEMA {
  UINT mask;
  HTREEITEM hItem;
  UINT state;
  UINT stateMask;
  LPSTR pszText;     // TVM_GETITEMA copies at most cchTextMax - 1 bytes and a terminating zero
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int cChildren;
  LPARAM lParam;
};

struct TVINSERTSTRUCTA {
  HTREEITEM hParent;        // TVI_ROOT or null for the top level
  HTREEITEM hInsertAfter;   // TVI_FIRST, TVI_LAST, TVI_SORT or a sibling
  TVITEMA item;
};

struct NMTREEVIEWA {
  NMHDR hdr;
  UINT action;   // TVC_
  TVITEMA itemOld;
  TVITEMA itemNew;
  POINT ptDrag;
};

// ---- The class library's tree view ---------------------------------------------------------------------
class TTreeNodes;
class TCustomTreeView;

class TTreeNode {
 public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;
  ~TTreeNode();

  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  void* Data() const { return data_; }
  void SetData(void* data) { data_ = data; }
  // 0 for a top-level node.
  int Level() const;
  TTreeNode* Parent() const;   // null for a top-level node
  // The children.
  int Count() const { return static_cast<int>(children_.size()); }
  TTreeNode* Item(int index) const;   // EListError outside 0..Count-1
  bool HasChildren() const { return !children_.empty(); }
  TTreeNode* getFirstChild() const;
  TTreeNode* GetLastChild() const;
  TTreeNode* getNextSibling() const;
  TTreeNode* getPrevSibling() const;
  // The next node in the order the tree shows them when fully expanded (children first).
  TTreeNode* GetNext() const;
  int Index() const;   // among its siblings
  // Expanded shows the children (a node without children keeps the flag for when it has some).
  bool Expanded() const;
  void SetExpanded(bool value);
  void Expand(bool recurse);
  void Collapse(bool recurse);
  bool Selected() const;
  void SetSelected(bool value);   // false clears the selection when this node has it
  // Deletes the node with its children (the selection moves first when it is among them).
  void Delete();
  void DeleteChildren();
  void MakeVisible();
  TTreeNodes* Owner() const { return owner_; }
  TCustomTreeView* TreeView() const;
  HTREEITEM ItemId() const { return item_; }   // null without a window

 private:
  friend class TTreeNodes;
  friend class TCustomTreeView;
  TTreeNode(TTreeNodes* owner, TTreeNode* parent) : owner_(owner), parent_(parent) {}
  TTreeNodes* owner_;
  TTreeNode* parent_;   // the hidden root for top-level nodes
  std::vector<std::unique_ptr<TTreeNode>> children_;
  std::string text_;
  void* data_ = nullptr;
  bool expanded_ = false;   // without a window
  HTREEITEM item_ = nullptr;
};

class TTreeNodes {
 public:
  explicit TTreeNodes(TCustomTreeView* owner);
  ~TTreeNodes();
  TTreeNodes(const TTreeNodes&) = delete;
  TTreeNodes& operator=(const TTreeNodes&) = delete;

  // Every node, in the order GetNext walks them.
  int Count() const;
  TTreeNode* Item(int index) const;   // EListError outside 0..Count-1
  TTreeNode* GetFirstNode() const;
  // A new last sibling of `sibling` (a new last top-level node when null).
  TTreeNode* Add(TTreeNode* sibling, const std::string& text) { return AddObject(sibling, text, nullptr); }
  TTreeNode* AddObject(TTreeNode* sibling, const std::string& text, void* data);
  // A new last child of `parent` (a top-level node when null).
  TTreeNode* AddChild(TTreeNode* parent, const std::string& text) { return AddChildObject(parent, text, nullptr); }
  TTreeNode* AddChildObject(TTreeNode* parent, const std::string& text, void* data);
  void Delete(TTreeNode* node);   // null does nothing
  void Clear();
  TCustomTreeView* Owner() const { return owner_; }

 private:
  friend class TTreeNode;
  friend class TCustomTreeView;
  TCustomTreeView* owner_;
  std::unique_ptr<TTreeNode> root_;   // hidden: its children are the top-level nodes
};

using TTVChangedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;

class TCustomTreeView : public TWinControl {
 public:
  explicit TCustomTreeView(TComponent* owner);   // 121 x 97, white, sunken edge, tab stop
  ~TCustomTreeView() override;
  const char* ClassName() const override { return "TTreeView"; }

  TTreeNodes* Items() { return &items_; }
  TTreeNode* Selected() const;
  void SetSelected(TTreeNode* node);   // null clears; a node of another tree is ignored
  void FullExpand();
  void FullCollapse();

  // Window styles: lines between nodes, buttons before nodes with children, both at the top
  // level too. Changing one re-makes the window.
  bool ShowLines() const { return showLines_; }
  void SetShowLines(bool value);
  bool ShowButtons() const { return showButtons_; }
  void SetShowButtons(bool value);
  bool ShowRoot() const { return showRoot_; }
  void SetShowRoot(bool value);

  TTVChangedEvent OnChange;

  void Dispatch(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  virtual void Change(TTreeNode* node);   // OnChange

 private:
  friend class TTreeNode;
  friend class TTreeNodes;
  void InsertItems(TTreeNode* node);
  void ForgetItems(TTreeNode* node);
  TTreeNode* NodeOf(HTREEITEM item) const;
  // Raises Change when the selected node is not the one last told.
  void SyncSelection();
  void SetStyleFlag(bool& flag, bool value);

  TTreeNodes items_{this};
  TTreeNode* selected_ = nullptr;   // without a window
  TTreeNode* told_ = nullptr;       // the selection OnChange last told of
  int syncing_ = 0;
  bool showLines_ = true;
  bool showButtons_ = true;
  bool showRoot_ = true;
};

class TTreeView : public TCustomTreeView {
 public:
  explicit TTreeView(TComponent* owner) : TCustomTreeView(owner) {}
  const char* ClassName() const override { return "TTreeView"; }
};
