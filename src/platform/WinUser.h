// Windows, messages, timers, input, cursors, painting and message boxes under their Windows
// names, backed by Qt widgets. Window handles are opaque ids checked against a registry: every
// call given a destroyed or unknown handle does nothing and returns 0 / FALSE / null.
// All windows belong to the user-interface thread (the thread that created the application).
// From a worker, SendMessageA, MessageBoxA, the window text calls, SetTimer, KillTimer and the
// calls that create, destroy, show, move, re-parent, enable, focus, activate, capture, update or
// redraw a window are marshalled to the UI thread and the worker waits; PostMessageA,
// PostQuitMessage and InvalidateRect never wait; IsWindow may be asked anywhere. The other calls
// read or change a window's record directly and are for the UI thread only; one that would
// change a window's invalid area (ValidateRect, BeginPaint) or its child list stops the program
// when called from another thread, rather than race the UI thread. The UI thread handles
// what workers send only while it is in a message wait (GetMessageA, PeekMessageA, WaitMessage,
// a modal loop or message box, the pumps of platform/Message.h, WaitHandlingSentMessages), as
// on Windows; GetMessageA, PeekMessageA and WaitMessage fail on any other thread.
#pragma once

#include "platform/WinBase.h"
#include "platform/Gdi.h"
#include "platform/Rect.h"

using SHORT = std::int16_t;
using ULONG_PTR = std::uintptr_t;

// ---- Window messages --------------------------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETREDRAW = 0x000B;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SYSCOLORCHANGE = 0x0015;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_CANCELMODE = 0x001F;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_MOUSEACTIVATE = 0x0021;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_MEASUREITEM = 0x002C;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_GETDLGCODE = 0x0087;
// The pointer moved over a window's frame or caption (the main window forwards it to its page).
constexpr UINT WM_NCMOUSEMOVE = 0x00A0;
// Answers to WM_GETDLGCODE: the keys a control keeps from the dialog's navigation.
constexpr LRESULT DLGC_WANTARROWS = 0x0001;
constexpr LRESULT DLGC_WANTTAB = 0x0002;
constexpr LRESULT DLGC_WANTALLKEYS = 0x0004;
constexpr LRESULT DLGC_HASSETSEL = 0x0008;
constexpr LRESULT DLGC_DEFPUSHBUTTON = 0x0010;
constexpr LRESULT DLGC_UNDEFPUSHBUTTON = 0x0020;
constexpr LRESULT DLGC_RADIOBUTTON = 0x0040;
constexpr LRESULT DLGC_WANTCHARS = 0x0080;
constexpr LRESULT DLGC_STATIC = 0x0100;
constexpr LRESULT DLGC_BUTTON = 0x2000;
constexpr UINT WM_CONTEXTMENU = 0x007B;
// Answers to WM_NCHITTEST (and the low word of WM_SETCURSOR's lParam).
constexpr LRESULT HTTRANSPARENT = -1;
constexpr LRESULT HTNOWHERE = 0;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;
constexpr LRESULT HTBORDER = 18;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_KEYLAST = 0x0109;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_MENUSELECT = 0x011F;
constexpr UINT WM_ENTERIDLE = 0x0121;
// Sent to the parent before a control paints (wParam its context, lParam the control); the
// brush returned paints the control's background.
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
constexpr UINT WM_CTLCOLORBTN = 0x0135;
constexpr UINT WM_CTLCOLORSCROLLBAR = 0x0137;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT WM_MOUSEFIRST = 0x0200;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSELAST = 0x020A;
constexpr UINT WM_PARENTNOTIFY = 0x0210;
constexpr UINT WM_ENTERMENULOOP = 0x0211;
constexpr UINT WM_EXITMENULOOP = 0x0212;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_MOUSEHOVER = 0x02A1;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
// Button messages, states and styles.
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_GETSTATE = 0x00F2;
constexpr UINT BM_SETSTATE = 0x00F3;
constexpr UINT BM_SETSTYLE = 0x00F4;
constexpr UINT BM_CLICK = 0x00F5;
constexpr WPARAM BST_UNCHECKED = 0x0000;
constexpr WPARAM BST_CHECKED = 0x0001;
constexpr WPARAM BST_INDETERMINATE = 0x0002;
constexpr LRESULT BST_PUSHED = 0x0004;
constexpr LRESULT BST_FOCUS = 0x0008;
constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD BS_CHECKBOX = 0x0002;
constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
constexpr DWORD BS_RADIOBUTTON = 0x0004;
constexpr DWORD BS_3STATE = 0x0005;
constexpr DWORD BS_AUTO3STATE = 0x0006;
constexpr DWORD BS_GROUPBOX = 0x0007;
constexpr DWORD BS_AUTORADIOBUTTON = 0x0009;
constexpr DWORD BS_OWNERDRAW = 0x000B;
constexpr DWORD BS_TYPEMASK = 0x000F;
// Notification codes in WM_COMMAND's high word.
constexpr WORD BN_CLICKED = 0;
// Scroll codes of WM_HSCROLL / WM_VSCROLL (low word of wParam; the position in the high word
// for SB_THUMBPOSITION and SB_THUMBTRACK).
constexpr WORD SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1, SB_PAGEUP = 2,
               SB_PAGELEFT = 2, SB_PAGEDOWN = 3, SB_PAGERIGHT = 3, SB_THUMBPOSITION = 4,
               SB_THUMBTRACK = 5, SB_TOP = 6, SB_LEFT = 6, SB_BOTTOM = 7, SB_RIGHT = 7,
               SB_ENDSCROLL = 8;
// Owner drawing: WM_DRAWITEM to the parent (lParam a DRAWITEMSTRUCT*); the class library
// reflects it to the control as CN_BASE + WM_DRAWITEM.
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODA_SELECT = 0x0002;
constexpr UINT ODA_FOCUS = 0x0004;
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_GRAYED = 0x0002;
constexpr UINT ODS_DISABLED = 0x0004;
constexpr UINT ODS_CHECKED = 0x0008;
constexpr UINT ODS_FOCUS = 0x0010;
constexpr UINT ODS_DEFAULT = 0x0020;
struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
};
constexpr UINT WM_CUT = 0x0300;
constexpr UINT WM_COPY = 0x0301;
constexpr UINT WM_PASTE = 0x0302;
constexpr UINT WM_CLEAR = 0x0303;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// ---- Styles -----------------------------------------------------------------------------------
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_NOPARENTNOTIFY = 0x00000004;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_STATICEDGE = 0x00020000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD WS_EX_LAYERED = 0x00080000;
constexpr DWORD WS_EX_NOACTIVATE = 0x08000000;

// Answers to WM_MOUSEACTIVATE, sent before a click reaches a window of an inactive top-level
// window (wParam that top-level window, lParam MAKELPARAM(hit test, mouse message)). The default
// of a child passes the question to its parent; a top-level window's default is MA_ACTIVATE
// (MA_NOACTIVATE with WS_EX_NOACTIVATE).
// The ...ANDEAT answers drop the click.
constexpr LRESULT MA_ACTIVATE = 1;
constexpr LRESULT MA_ACTIVATEANDEAT = 2;
constexpr LRESULT MA_NOACTIVATE = 3;
constexpr LRESULT MA_NOACTIVATEANDEAT = 4;

// WM_SYSCOMMAND (the low four bits of wParam are the system's own). The default processing shows
// the window minimised, maximised or restored, or sends it WM_CLOSE.
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_OWNDC = 0x0020;
constexpr UINT CS_SAVEBITS = 0x0800;
constexpr UINT CS_DROPSHADOW = 0x00020000;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// ---- Structures -------------------------------------------------------------------------------
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;   // a brush, (HBRUSH)(COLOR_xxx + 1), or null for no erasing
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};

struct WNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
};

// lParam of WM_NCCREATE and WM_CREATE; lpCreateParams is the creation parameter.
struct CREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;    // true when WM_ERASEBKGND was not handled (returned 0)
  RECT rcPaint;   // the invalid part of the client area
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

struct WINDOWPOS {
  HWND hwnd;
  HWND hwndInsertAfter;
  int x;
  int y;
  int cx;
  int cy;
  UINT flags;
};

// lParam of WM_GETMINMAXINFO, sent to a top-level window before each change of its size. The
// defaults: maximised, the window fills the work area; the tracking sizes bound nothing (the
// window manager limits what the user drags). A handler may change any of them, and the new
// size is kept within ptMinTrackSize..ptMaxTrackSize.
struct MINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
};

struct COPYDATASTRUCT {
  ULONG_PTR dwData;
  DWORD cbData;
  void* lpData;
};

struct TRACKMOUSEEVENT {
  DWORD cbSize;
  DWORD dwFlags;
  HWND hwndTrack;
  DWORD dwHoverTime;
};
constexpr DWORD TME_HOVER = 0x00000001;
constexpr DWORD TME_LEAVE = 0x00000002;
constexpr DWORD TME_CANCEL = 0x80000000;
constexpr DWORD HOVER_DEFAULT = 0xFFFFFFFF;

// ---- Classes and windows ----------------------------------------------------------------------
// Registers a class by name (compared without regard to case). Returns a non-zero atom, or 0
// when the name is empty, the procedure is null or the class exists (GetLastError then says
// ERROR_CLASS_ALREADY_EXISTS).
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
WORD RegisterClassA(const WNDCLASSA* windowClass);
WORD RegisterClassExA(const WNDCLASSEXA* windowClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
// Fills the class record; FALSE when no such class is registered.
BOOL GetClassInfoA(HINSTANCE instance, LPCSTR className, WNDCLASSA* windowClass);

// Creates a window: WM_NCCREATE (returning 0 aborts), WM_NCCALCSIZE, WM_CREATE (-1 aborts; the
// CREATESTRUCTA carries the creation parameter), WM_SIZE and WM_MOVE, then WM_SHOWWINDOW when
// WS_VISIBLE. A child (WS_CHILD) needs a live parent; a popup's "parent" argument is its owner.
// Positions of a child are in its parent's client coordinates, of a top-level window on the
// screen. The window rectangle includes a child's non-client edges; WM_NCCALCSIZE (lParam: the
// window rectangle in the parent's client coordinates, answered with the client rectangle)
// decides its client area: by default the edges of its styles, outermost first, WS_EX_STATICEDGE
// (1 px sunken) or WS_EX_DLGMODALFRAME (2 px raised and 1 px face), WS_BORDER (1 px
// COLOR_WINDOWFRAME), WS_EX_CLIENTEDGE (2 px sunken). A top-level window has none: the window
// manager's frame lies outside it, and its window rectangle is its client rectangle. WM_SIZE and
// WM_MOVE tell of the client area.
// Returns null on failure (unknown class, dead parent, creation refused), after WM_DESTROY and
// WM_NCDESTROY were sent to a window whose creation was refused.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
inline HWND CreateWindowA(LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                          int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                          LPVOID param) {
  return CreateWindowExA(0, className, windowName, style, x, y, width, height, parent, menu,
                         instance, param);
}
// Destroys the window, its owned windows and its children: owned windows first, then
// WM_DESTROY to the window and then to its children (parent first), then WM_NCDESTROY to the
// children and the window last. Its timers are killed and its posted messages dropped. The
// handle stays valid until its WM_NCDESTROY has returned. FALSE for a dead handle.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// The thread and process that made the window (ours: the UI thread and this process); 0 and
// *processId untouched for a dead handle.
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);
BOOL IsWindowVisible(HWND window);   // the window and all its ancestors shown
BOOL IsWindowEnabled(HWND window);
BOOL IsChild(HWND parent, HWND window);

// The default handling: among others WM_NCCALCSIZE (the client area inside the edges of the
// styles), WM_NCPAINT (draws those edges), WM_NCHITTEST (HTCLIENT, HTBORDER on an edge,
// HTNOWHERE outside), WM_SETFONT / WM_GETFONT (one font handle kept per window, null at first;
// WM_SETFONT with lParam TRUE redraws), WM_CLOSE (destroys), WM_SYSCOMMAND's SC_ commands,
// WM_MOUSEACTIVATE (a child asks its parent) and WM_ERASEBKGND (the class brush).
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls a procedure for a message (used by subclassing); null procedure returns 0.
LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

HWND GetParent(HWND window);   // the parent of a child, the owner of a top-level window
// Re-parents a window (null parent makes it top-level). Returns the previous parent, or null on
// failure.
HWND SetParent(HWND window, HWND newParent);
constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;
HWND GetWindow(HWND window, UINT relation);   // siblings in z-order, top first
constexpr UINT GA_PARENT = 1;
constexpr UINT GA_ROOT = 2;
constexpr UINT GA_ROOTOWNER = 3;
HWND GetAncestor(HWND window, UINT flags);
HWND GetDesktopWindow();   // a pseudo handle for the screen; never a real window
// Calls the function for every top-level window (creation order) until it returns FALSE.
using WNDENUMPROC = BOOL (*)(HWND, LPARAM);
BOOL EnumWindows(WNDENUMPROC callback, LPARAM lParam);
BOOL EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM lParam);
// Finds a top-level window by class and/or caption (null matches any); null when none.
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
HWND WindowFromPoint(POINT screenPoint);

constexpr int GWL_WNDPROC = -4;
constexpr int GWL_HINSTANCE = -6;
constexpr int GWL_HWNDPARENT = -8;
constexpr int GWL_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWL_USERDATA = -21;
// Window words: the indexes above, or byte offsets into the class's cbWndExtra. 0 for a dead
// handle or a bad index. Setting returns the previous value. A new GWL_STYLE / GWL_EXSTYLE is
// only stored: its edges take effect at SetWindowPos with SWP_FRAMECHANGED.
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
inline LONG GetWindowLongA(HWND window, int index) {
  return static_cast<LONG>(GetWindowLongPtrA(window, index));
}
inline LONG SetWindowLongA(HWND window, int index, LONG value) {
  return static_cast<LONG>(SetWindowLongPtrA(window, index, value));
}
// The class name of a window; returns the length copied (0 for a dead handle).
int GetClassNameA(HWND window, LPSTR buffer, int size);
int GetDlgCtrlID(HWND window);
HWND GetDlgItem(HWND dialog, int id);

// ---- Edit controls: styles, messages and notifications (WM_COMMAND codes) ------------------
constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_CENTER = 0x0001;
constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_UPPERCASE = 0x0008;
constexpr DWORD ES_LOWERCASE = 0x0010;
constexpr DWORD ES_PASSWORD = 0x0020;
constexpr DWORD ES_AUTOVSCROLL = 0x0040;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_NOHIDESEL = 0x0100;
constexpr DWORD ES_OEMCONVERT = 0x0400;
constexpr DWORD ES_READONLY = 0x0800;
constexpr DWORD ES_WANTRETURN = 0x1000;
constexpr DWORD ES_NUMBER = 0x2000;

constexpr UINT EM_GETSEL = 0x00B0;
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_SCROLL = 0x00B5;
constexpr UINT EM_LINESCROLL = 0x00B6;
constexpr UINT EM_SCROLLCARET = 0x00B7;
constexpr UINT EM_GETMODIFY = 0x00B8;
constexpr UINT EM_SETMODIFY = 0x00B9;
constexpr UINT EM_GETLINECOUNT = 0x00BA;
constexpr UINT EM_LINEINDEX = 0x00BB;
constexpr UINT EM_LINELENGTH = 0x00C1;
constexpr UINT EM_REPLACESEL = 0x00C2;
constexpr UINT EM_GETLINE = 0x00C4;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_SETLIMITTEXT = EM_LIMITTEXT;
constexpr UINT EM_CANUNDO = 0x00C6;
constexpr UINT EM_UNDO = 0x00C7;
constexpr UINT EM_LINEFROMCHAR = 0x00C9;
constexpr UINT EM_SETPASSWORDCHAR = 0x00CC;
constexpr UINT EM_EMPTYUNDOBUFFER = 0x00CD;
constexpr UINT EM_GETFIRSTVISIBLELINE = 0x00CE;
constexpr UINT EM_SETREADONLY = 0x00CF;
constexpr UINT EM_GETPASSWORDCHAR = 0x00D2;
constexpr UINT EM_SETMARGINS = 0x00D3;
constexpr UINT EM_GETMARGINS = 0x00D4;
constexpr UINT EM_GETLIMITTEXT = 0x00D5;

constexpr WPARAM EC_LEFTMARGIN = 0x0001;
constexpr WPARAM EC_RIGHTMARGIN = 0x0002;
constexpr WPARAM EC_USEFONTINFO = 0xFFFF;

constexpr WORD EN_SETFOCUS = 0x0100;
constexpr WORD EN_KILLFOCUS = 0x0200;
constexpr WORD EN_CHANGE = 0x0300;
constexpr WORD EN_UPDATE = 0x0400;
constexpr WORD EN_ERRSPACE = 0x0500;
constexpr WORD EN_MAXTEXT = 0x0501;
constexpr WORD EN_HSCROLL = 0x0601;
constexpr WORD EN_VSCROLL = 0x0602;

constexpr UINT WM_UNDO = 0x0304;

// ---- Notifications of the common controls (WM_NOTIFY's lParam) ------------------------------
struct NMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};
using LPNMHDR = NMHDR*;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;   // ShellExecuteA's usual show argument
// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int command);
BOOL IsIconic(HWND window);
BOOL IsZoomed(HWND window);

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;
#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))
#define HWND_TOPMOST (reinterpret_cast<HWND>(-1))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(-2))
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
// A top-level window gets WM_GETMINMAXINFO before each call that may size it (SWP_NOSIZE not
// given), and its new size is kept within the tracking sizes; showing it maximised places it
// at ptMaxPosition with ptMaxSize.
// Moving sends WM_MOVE, resizing WM_SIZE (client width and height in lParam) and invalidates
// the whole window with erasing unless SWP_NOREDRAW / repaint FALSE. Resizing a child, or
// SWP_FRAMECHANGED, asks WM_NCCALCSIZE for its client area again (a style set through
// SetWindowLongPtrA shows then); WM_SIZE follows when the client size changed, and the edges
// are repainted (WM_NCPAINT) before the client area.
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL BringWindowToTop(HWND window);
BOOL GetClientRect(HWND window, RECT* rect);   // {0, 0, client width, client height}
BOOL GetWindowRect(HWND window, RECT* rect);   // screen coordinates, edges included
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);
// Maps points from one window's client coordinates to another's (null = screen). Returns the
// offset packed as MAKELONG(dx, dy); 0 on failure.
int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);

// Captions are GBK. SetWindowTextA sends WM_SETTEXT; GetWindowTextA copies at most size-1 bytes
// and a zero and returns the count copied.
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR buffer, int size);
int GetWindowTextLengthA(HWND window);

// Enabling sends WM_ENABLE. Returns whether the window was disabled before.
BOOL EnableWindow(HWND window, BOOL enable);

// Keyboard focus: SetFocus sends WM_KILLFOCUS to the old and WM_SETFOCUS to the new window (each
// naming the other) and returns the old focus, or null when the window is dead or disabled.
HWND SetFocus(HWND window);
HWND GetFocus();
// The active top-level window gets WM_ACTIVATE (WA_ACTIVE / WA_INACTIVE, other window in lParam).
constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;
constexpr WPARAM WA_CLICKACTIVE = 2;
HWND SetActiveWindow(HWND window);
HWND GetActiveWindow();
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();

// Mouse capture: every mouse message goes to the capturing window. Releasing sends
// WM_CAPTURECHANGED to the window that loses it.
HWND SetCapture(HWND window);
BOOL ReleaseCapture();
HWND GetCapture();
// Asks for WM_MOUSELEAVE once the mouse leaves the window (TME_LEAVE); TME_CANCEL withdraws it.
BOOL _TrackMouseEvent(TRACKMOUSEEVENT* track);
inline BOOL TrackMouseEvent(TRACKMOUSEEVENT* track) { return _TrackMouseEvent(track); }

// ---- Cursors ----------------------------------------------------------------------------------
inline LPCSTR MAKEINTRESOURCEA(UINT_PTR id) { return reinterpret_cast<LPCSTR>(id); }
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDC_CROSS MAKEINTRESOURCEA(32515)
#define IDC_UPARROW MAKEINTRESOURCEA(32516)
#define IDC_SIZENWSE MAKEINTRESOURCEA(32642)
#define IDC_SIZENESW MAKEINTRESOURCEA(32643)
#define IDC_SIZEWE MAKEINTRESOURCEA(32644)
#define IDC_SIZENS MAKEINTRESOURCEA(32645)
#define IDC_SIZEALL MAKEINTRESOURCEA(32646)
#define IDC_NO MAKEINTRESOURCEA(32648)
#define IDC_HAND MAKEINTRESOURCEA(32649)
// The system cursors above (instance null); null for anything else. Never freed.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
inline HCURSOR LoadCursor(HINSTANCE instance, LPCSTR name) { return LoadCursorA(instance, name); }
// Sets the cursor shown over the window under the mouse (or the capturing window); returns the
// previous one. Null hides it.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
BOOL GetCursorPos(POINT* point);
BOOL SetCursorPos(int x, int y);
int ShowCursor(BOOL show);

// ---- Messages ---------------------------------------------------------------------------------
// Synchronous. On the UI thread the window procedure is called directly (re-entrant); from
// another thread the message is queued to the UI thread ahead of posted messages and the
// caller blocks until it has been handled, then gets its result. 0 for a dead handle (also when
// the window is destroyed before the UI thread reaches the message: the caller is released at
// once, even if the UI thread does not pump again).
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(window, message, wParam, lParam);
}
// Queues the message (first in, first out) to the UI thread; any thread. FALSE for a dead
// handle. A null window posts a thread message, seen by the hooks and GetMessageA only.
// Messages of a window destroyed before they are reached are dropped.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageA(window, message, wParam, lParam);
}
// Asks the message loop to end with the exit code: GetMessageA returns 0 once the messages
// posted before it are handled, and a running platform::RunMessageLoop returns the code.
void PostQuitMessage(int exitCode);

// The message loop. GetMessageA waits for the next message (sent messages from other threads
// are handled while waiting; WM_PAINT comes when nothing else is queued and a window is
// invalid; WM_TIMER when a timer is due); returns 0 on WM_QUIT, else non-zero. Filters
// (window, first, last) of 0 take everything.
BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax);
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
// Like GetMessageA without waiting; FALSE when nothing is there.
BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Makes WM_CHAR from WM_KEYDOWN where the key gave text. (Input already queues WM_CHAR after
// its WM_KEYDOWN, so this only reports whether a character followed.)
BOOL TranslateMessage(const MSG* message);
// Calls the procedure of message->hwnd (or the TIMERPROC of a WM_TIMER whose lParam names one);
// the message hooks are not run here but when a message is taken from the queue
// (platform/Message.h). Returns the procedure's result, 0 for a dead window.
LRESULT DispatchMessageA(const MSG* message);
BOOL WaitMessage();
DWORD GetMessageTime();
BOOL InSendMessage();   // true while handling a message sent from another thread

// Timers: every interval the timer posts WM_TIMER (wParam id, lParam the TIMERPROC) unless one
// of its messages is still waiting. A null window makes a thread timer with a new id. Setting
// an existing (window, id) restarts it. Returns the id, 0 on failure.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMilliseconds, TIMERPROC proc);
// Stops the timer and drops its waiting WM_TIMER; FALSE when there is no such timer.
BOOL KillTimer(HWND window, UINT_PTR id);

// ---- Input ------------------------------------------------------------------------------------
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr int WHEEL_DELTA = 120;
inline short GET_WHEEL_DELTA_WPARAM(WPARAM w) { return static_cast<short>(HIWORD(w)); }
inline int GET_X_LPARAM(LPARAM l) { return static_cast<short>(LOWORD(static_cast<DWORD_PTR>(l))); }
inline int GET_Y_LPARAM(LPARAM l) { return static_cast<short>(HIWORD(static_cast<DWORD_PTR>(l))); }

// Virtual-key codes; letters and digits are their upper-case ASCII codes.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_CANCEL = 0x03;
constexpr int VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_CLEAR = 0x0C;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_PAUSE = 0x13;
constexpr int VK_CAPITAL = 0x14;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_SELECT = 0x29;
constexpr int VK_PRINT = 0x2A;
constexpr int VK_SNAPSHOT = 0x2C;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_HELP = 0x2F;
constexpr int VK_LWIN = 0x5B;
constexpr int VK_RWIN = 0x5C;
constexpr int VK_APPS = 0x5D;
constexpr int VK_NUMPAD0 = 0x60;
constexpr int VK_NUMPAD1 = 0x61;
constexpr int VK_NUMPAD2 = 0x62;
constexpr int VK_NUMPAD3 = 0x63;
constexpr int VK_NUMPAD4 = 0x64;
constexpr int VK_NUMPAD5 = 0x65;
constexpr int VK_NUMPAD6 = 0x66;
constexpr int VK_NUMPAD7 = 0x67;
constexpr int VK_NUMPAD8 = 0x68;
constexpr int VK_NUMPAD9 = 0x69;
constexpr int VK_MULTIPLY = 0x6A;
constexpr int VK_ADD = 0x6B;
constexpr int VK_SEPARATOR = 0x6C;
constexpr int VK_SUBTRACT = 0x6D;
constexpr int VK_DECIMAL = 0x6E;
constexpr int VK_DIVIDE = 0x6F;
constexpr int VK_F1 = 0x70;
constexpr int VK_F2 = 0x71;
constexpr int VK_F3 = 0x72;
constexpr int VK_F4 = 0x73;
constexpr int VK_F5 = 0x74;
constexpr int VK_F6 = 0x75;
constexpr int VK_F7 = 0x76;
constexpr int VK_F8 = 0x77;
constexpr int VK_F9 = 0x78;
constexpr int VK_F10 = 0x79;
constexpr int VK_F11 = 0x7A;
constexpr int VK_F12 = 0x7B;
constexpr int VK_NUMLOCK = 0x90;
constexpr int VK_SCROLL = 0x91;
constexpr int VK_LSHIFT = 0xA0;
constexpr int VK_RSHIFT = 0xA1;
constexpr int VK_LCONTROL = 0xA2;
constexpr int VK_RCONTROL = 0xA3;
constexpr int VK_LMENU = 0xA4;
constexpr int VK_RMENU = 0xA5;
constexpr int VK_OEM_1 = 0xBA;       // ;:
constexpr int VK_OEM_PLUS = 0xBB;    // =+
constexpr int VK_OEM_COMMA = 0xBC;   // ,<
constexpr int VK_OEM_MINUS = 0xBD;   // -_
constexpr int VK_OEM_PERIOD = 0xBE;  // .>
constexpr int VK_OEM_2 = 0xBF;       // /?
constexpr int VK_OEM_3 = 0xC0;       // `~
constexpr int VK_OEM_4 = 0xDB;       // [{
constexpr int VK_OEM_5 = 0xDC;       // backslash |
constexpr int VK_OEM_6 = 0xDD;       // ]}
constexpr int VK_OEM_7 = 0xDE;       // '"

// State of a key as the UI thread's messages left it: bit 15 (the value is negative) while the
// key is down, bit 0 toggled by every press (meaningful for VK_NUMLOCK, VK_CAPITAL, VK_SCROLL).
// The state changes as each input message is taken from the queue, so a handler sees the
// modifiers as they were when its key or mouse message was generated.
SHORT GetKeyState(int virtualKey);
SHORT GetAsyncKeyState(int virtualKey);   // the same state, as this layer has no other source

// ---- Painting ---------------------------------------------------------------------------------
// Every window owns a backing image the size of the whole window (edges included); these calls
// draw into it and the screen only shows it. A child with edges has an invalid frame after it
// is shown or resized, SWP_FRAMECHANGED, or RedrawWindow with RDW_FRAME: WM_NCPAINT (wParam 1,
// the whole frame) comes before WM_ERASEBKGND and WM_PAINT, and its default paints the edges in
// the system colours. BeginPaint sends WM_ERASEBKGND when the invalid region asked for erasing,
// clips the context to the invalid rectangle and validates the window. Null on a dead handle.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// A context on the window's client area (the screen's 1x1 scratch image for a null window),
// usable at any time; release it with ReleaseDC. Null on a dead handle. Client contexts (and
// BeginPaint's) have their origin at the client area's corner and are clipped to it.
HDC GetDC(HWND window);
// A context on the whole window, edges included, with its origin at the window's top-left
// corner; release it with ReleaseDC.
HDC GetWindowDC(HWND window);
int ReleaseDC(HWND window, HDC dc);   // 1 when released
// The window's handle of a context from GetDC/BeginPaint; null for memory contexts.
HWND WindowFromDC(HDC dc);

// Adds a rectangle (null = the whole client area) to the invalid region; WM_PAINT follows when
// the queue is empty. From a worker the damage is recorded by the UI thread later (TRUE when
// the window is alive now).
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);
BOOL GetUpdateRect(HWND window, RECT* rect, BOOL erase);   // FALSE when nothing is invalid
// Sends WM_PAINT at once when the window is invalid.
BOOL UpdateWindow(HWND window);
constexpr UINT RDW_INVALIDATE = 0x0001;
constexpr UINT RDW_INTERNALPAINT = 0x0002;
constexpr UINT RDW_ERASE = 0x0004;
constexpr UINT RDW_VALIDATE = 0x0008;
constexpr UINT RDW_NOINTERNALPAINT = 0x0010;
constexpr UINT RDW_NOERASE = 0x0020;
constexpr UINT RDW_NOCHILDREN = 0x0040;
constexpr UINT RDW_ALLCHILDREN = 0x0080;
constexpr UINT RDW_UPDATENOW = 0x0100;
constexpr UINT RDW_ERASENOW = 0x0200;
constexpr UINT RDW_FRAME = 0x0400;
constexpr UINT RDW_NOFRAME = 0x0800;
// RDW_INVALIDATE/RDW_VALIDATE the rectangle (null = all), RDW_ERASE asks for erasing,
// RDW_ALLCHILDREN includes the children, RDW_UPDATENOW paints at once. RDW_FRAME with
// RDW_INVALIDATE invalidates the edges too (WM_NCPAINT first); a window without edges gets no
// WM_NCPAINT.
BOOL RedrawWindow(HWND window, const RECT* rect, HRGN region, UINT flags);

// ---- Message boxes ----------------------------------------------------------------------------
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONSTOP = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_ICONMASK = 0x000000F0;
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_DEFMASK = 0x00000F00;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a modal message box (text and caption GBK; a null caption is "错误") through the
// message-box service (platform/MessageBox.h), disabling the owner while it is up. From a worker
// thread the box is shown by the UI thread and the worker waits. Returns the button pressed
// (IDOK...), or 0 when the box could not be shown.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
// Sounds the system beep without waiting, from any thread; FALSE when there is no application.
BOOL MessageBeep(UINT type);

// ---- System information -----------------------------------------------------------------------
constexpr UINT SPI_GETWORKAREA = 0x0030;
// SPI_GETWORKAREA fills the RECT at `param` with the screen's area left free by panels and
// docks; FALSE for any other action or a null pointer.
BOOL SystemParametersInfoA(UINT action, UINT uiParam, void* param, UINT winIni);

constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;   // set by the caller to sizeof(OSVERSIONINFOA)
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
// The system version this layer presents: 5.1 build 2600 on the NT platform. GetVersion packs
// the major version in the low byte, the minor in the next and the build in the high word (bit 31
// clear for NT). GetVersionExA fails when dwOSVersionInfoSize is not the structure's size.
DWORD GetVersion();
BOOL GetVersionExA(OSVERSIONINFOA* info);

namespace zuvo::platform {
// Test seam: while alive, GetVersion and GetVersionExA report this version instead (the same
// platform and build). UI thread or before any worker asks.
class ScopedOsVersionForTest {
 public:
  ScopedOsVersionForTest(DWORD major, DWORD minor);
  ~ScopedOsVersionForTest();
  ScopedOsVersionForTest(const ScopedOsVersionForTest&) = delete;
  ScopedOsVersionForTest& operator=(const ScopedOsVersionForTest&) = delete;

 private:
  DWORD previousMajor_;
  DWORD previousMinor_;
};
}  // namespace zuvo::platform
