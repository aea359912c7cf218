#include "dialogs/Captureform.h"

#include "dialogs/PictureLibrary.h"

#include "platform/Button.h"
#include "platform/CommonDialog.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Panel.h"
#include "platform/Screen.h"
#include "platform/Text.h"
#include "platform/WinUser.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <utility>

namespace zuvo::dialogs::capture {

FrameHit HitTestFrame(int x1, int y1, int x2, int y2, int x, int y) {
  const bool acrossInside = x1 < x && x < x2;
  const bool downInside = y1 < y && y < y2;
  auto near = [](int v, int edge) { return edge - kEdgeReach <= v && v <= edge + kEdgeReach; };
  if (acrossInside && near(y, y1)) return {kEdgeTop, crSizeNS};
  if (acrossInside && near(y, y2)) return {kEdgeBottom, crSizeNS};
  if (near(x, x1) && downInside) return {kEdgeLeft, crSizeWE};
  if (near(x, x2) && downInside) return {kEdgeRight, crSizeWE};
  if (acrossInside && downInside) return {std::nullopt, crSizeAll};
  return {std::nullopt, crCross};
}

int DibDepth(int bitsTimesPlanes) {
  if (bitsTimesPlanes <= 1) return 1;
  if (bitsTimesPlanes <= 4) return 4;
  if (bitsTimesPlanes <= 8) return 8;
  return 24;
}

std::string FinalName(const std::string& chosen, const std::string& extension) {
  // The extension is ASCII and starts with '.', which is never the second byte of a GBK
  // character, so comparing the last bytes compares the last characters.
  if (chosen.size() >= extension.size() &&
      zuvo::platform::gbk::EqualsNoCase(chosen.substr(chosen.size() - extension.size()), extension)) {
    return chosen;
  }
  return chosen + extension;
}

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;

void Put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  Put16(at, value & 0xFFFF);
  Put16(at + 2, value >> 16);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> BuildBmpFile(HDC screenDc, HBITMAP picture, int bits) {
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return std::nullopt;
  BITMAP bm{};
  if (GetObjectA(picture, sizeof bm, &bm) != sizeof bm || bm.bmWidth < 1 || bm.bmHeight < 1) return std::nullopt;
  const std::uint64_t width = static_cast<std::uint64_t>(bm.bmWidth);
  const std::uint64_t height = static_cast<std::uint64_t>(bm.bmHeight);
  const std::uint64_t stride = (width * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
  const std::uint64_t imageBytes = stride * height;
  const std::uint64_t tableBytes = bits <= 8 ? (std::uint64_t{1} << bits) * sizeof(RGBQUAD) : 0;
  const std::uint64_t offset = kFileHeaderBytes + kInfoHeaderBytes + tableBytes;
  const std::uint64_t fileBytes = offset + imageBytes;
  if (fileBytes > 0xFFFFFFFFull) return std::nullopt;

  // The header and room for the largest table, as GetDIBits writes the table after it.
  std::vector<std::uint8_t> infoBytes(sizeof(BITMAPINFOHEADER) + zuvo::platform::kMaxDibColours * sizeof(RGBQUAD));
  auto* info = reinterpret_cast<BITMAPINFO*>(infoBytes.data());
  info->bmiHeader = BITMAPINFOHEADER{static_cast<DWORD>(kInfoHeaderBytes), bm.bmWidth, bm.bmHeight, 1,
                                     static_cast<WORD>(bits), BI_RGB, static_cast<DWORD>(imageBytes), 0, 0, 0, 0};
  std::vector<std::uint8_t> file(static_cast<std::size_t>(fileBytes));
  HPALETTE previous = SelectPalette(screenDc, GetStockObject(DEFAULT_PALETTE), FALSE);
  const int lines = GetDIBits(screenDc, picture, 0, static_cast<UINT>(height), file.data() + offset, info, DIB_RGB_COLORS);
  if (previous != nullptr) SelectPalette(screenDc, previous, FALSE);
  if (lines != static_cast<int>(height)) return std::nullopt;

  std::uint8_t* b = file.data();
  Put16(b, 0x4D42);   // "BM"
  Put32(b + 2, static_cast<std::uint32_t>(fileBytes));
  Put16(b + 6, 0);
  Put16(b + 8, 0);
  Put32(b + 10, static_cast<std::uint32_t>(offset));
  std::uint8_t* h = b + kFileHeaderBytes;
  Put32(h, static_cast<std::uint32_t>(kInfoHeaderBytes));
  Put32(h + 4, static_cast<std::uint32_t>(bm.bmWidth));
  Put32(h + 8, static_cast<std::uint32_t>(bm.bmHeight));
  Put16(h + 12, 1);
  Put16(h + 14, static_cast<std::uint32_t>(bits));
  // Compression, image size, both resolutions and both colour counts stay 0.
  // The table GetDIBits wrote after the header, as the file stores it (blue, green, red, 0).
  if (tableBytes > 0) std::memcpy(h + kInfoHeaderBytes, infoBytes.data() + sizeof(BITMAPINFOHEADER), static_cast<std::size_t>(tableBytes));
  return file;
}

}  // namespace zuvo::dialogs::capture

using namespace zuvo::dialogs;

namespace {

constexpr int kPanelWidth = 300;
constexpr int kPanelHeight = 96;
constexpr std::size_t kFileNameBytes = 512;

constexpr char kRichFilter[] =
    "PNG(*.PNG) 推荐选用的格式\0*.png\0JPG(*.JPG)\0*.jpg\0位图(*.BMP)\0*.bmp\0GIF(*.GIF)\0*.gif\0";
constexpr const char* kRichExtensions[] = {".png", ".jpg", ".bmp", ".gif"};
constexpr char kBmpFilter[] = "位图(*.BMP)\0*.bmp\0";

TLabel* MakeLabel(TCaptureDlg* form, const char* name, const char* caption, int left, int top) {
  auto* label = new TLabel(form);
  label->SetName(name);
  label->SetParent(form->statPanel);
  label->SetLeft(left);
  label->SetTop(top);
  label->SetCaption(caption);
  label->SetTransparent(true);
  return label;
}

TButton* MakeButton(TCaptureDlg* form, const char* name, TModalResult result) {
  auto* button = new TButton(form);
  button->SetName(name);
  button->SetParent(form);
  button->SetVisible(false);
  button->SetModalResult(result);
  return button;
}

// A folder of its own under the temporary folder, for files no one else may touch; empty when
// none can be made.
std::string MakePrivateFolder() {
  char base[MAX_PATH] = {};
  const DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length >= sizeof base) return {};
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string folder = std::string(base) + "zuvo-capture-" + std::to_string(::getpid()) + "-" +
                               std::to_string(serial.fetch_add(1));
    // Making the folder is the test: an existing one is someone else's.
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
  }
  return {};
}

}  // namespace

TCaptureDlg::TCaptureDlg(TComponent* owner, IPictureLibrary* library)
    : TForm(owner), library_(library != nullptr ? library : &PictureLibrary()) {
  SetName("CaptureDlg");
  SetBorderStyle(bsNone);
  SetBorderIcons(0);

  statPanel = new TPanel(this);
  statPanel->SetName("statPanel");
  statPanel->SetParent(this);
  statPanel->SetBounds(0, 0, kPanelWidth, kPanelHeight);
  statPanel->SetCaption("");
  statPanel->SetBevelOuter(bvNone);
  statPanel->SetColor(clHighlight);
  statPanel->Font()->SetName("宋体");
  statPanel->Font()->SetHeight(-12);
  statPanel->Font()->SetColor(clWhite);

  Label1 = MakeLabel(this, "Label1", "按下鼠标左键并移动，可选择截图范围。", 8, 8);
  Label4 = MakeLabel(this, "Label4",
                     "截图框出现后，拖动边框可调整其大小。双击鼠标左键保存图片，按下 “ESC”键或鼠标右键放弃。",
                     8, 28);
  Label4->SetAutoSize(false);
  Label4->SetWordWrap(true);
  Label4->SetBounds(8, 28, kPanelWidth - 16, 40);
  Label3 = MakeLabel(this, "Label3", "当前鼠标位置：X=", 8, 74);
  pX = MakeLabel(this, "pX", "8888", 116, 74);
  Label5 = MakeLabel(this, "Label5", "Y=", 156, 74);
  pY = MakeLabel(this, "pY", "8888", 172, 74);

  btnOK = MakeButton(this, "btnOK", mrOk);
  btnOK->OnClick = Handler(this, &TCaptureDlg::btnOKClick);
  btnCancel = MakeButton(this, "btnCancel", mrCancel);
  btnCancel->OnClick = Handler(this, &TCaptureDlg::btnCancelClick);

  OnCreate = Handler(this, &TCaptureDlg::FormCreate);
  OnPaint = Handler(this, &TCaptureDlg::FormPaint);
  OnKeyDown = Handler(this, &TCaptureDlg::FormKeyDown);
  OnMouseDown = Handler(this, &TCaptureDlg::FormMouseDown);
  OnMouseMove = Handler(this, &TCaptureDlg::FormMouseMove);
  OnMouseUp = Handler(this, &TCaptureDlg::FormMouseUp);
  OnDblClick = Handler(this, &TCaptureDlg::FormDblClick);
}

TCaptureDlg::~TCaptureDlg() {
  if (picture_ != nullptr) DeleteObject(picture_);
  if (snapshot_ != nullptr) DeleteObject(snapshot_);
}

void TCaptureDlg::WndProc(TMessage& message) {
  // The snapshot covers the whole window: erasing first would only make it flicker.
  if (message.Msg == WM_ERASEBKGND) {
    message.Result = 1;
    return;
  }
  TForm::WndProc(message);
}

void TCaptureDlg::CaptureScreen() {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  if (snapshot_ != nullptr) DeleteObject(snapshot_);
  snapshot_ = CreateCompatibleBitmap(screen, width, height);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ previous = SelectObject(memory, snapshot_);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

void TCaptureDlg::FormCreate(TObject*) {
  CaptureScreen();
  SetBounds(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  SetCursor(crCross);
  statPanel->SetLeft(0);
  statPanel->SetTop(0);
  statPanel->Show();
  panelCorner_ = 0;
}

void TCaptureDlg::FormPaint(TObject*) {
  HDC dc = Canvas()->Handle();
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(memory, snapshot_);
  BitBlt(dc, 0, 0, ClientWidth(), ClientHeight(), memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  DrawRubberBand(dc);
}

void TCaptureDlg::FormKeyDown(TObject*, WORD& Key, TShiftState) {
  if (Key == VK_ESCAPE) SetModalResult(mrCancel);
}

void TCaptureDlg::FormMouseDown(TObject*, TMouseButton Button, TShiftState, int X, int Y) {
  if (Button == mbRight) {
    SetModalResult(mrCancel);
    return;
  }
  if (Button != mbLeft || frame_ != 0) return;
  x1_ = X;
  y1_ = Y;
  drag_ = POINT{X, Y};
  banding_ = true;
  bandShown_ = false;
}

void TCaptureDlg::FormMouseMove(TObject*, TShiftState Shift, int X, int Y) {
  // The panel keeps out of the quarter the cursor is in.
  const int halfWidth = ClientWidth() / 2;
  const int halfHeight = ClientHeight() / 2;
  if (X < halfWidth && Y < halfHeight && panelCorner_ == 0) {
    statPanel->SetLeft(std::max(0, ClientWidth() - statPanel->Width()));
    statPanel->SetTop(std::max(0, ClientHeight() - statPanel->Height()));
    panelCorner_ = 1;
  } else if (X > halfWidth && Y > halfHeight && panelCorner_ == 1) {
    statPanel->SetLeft(0);
    statPanel->SetTop(0);
    panelCorner_ = 0;
  }
  pX->SetCaption(std::to_string(X));
  pY->SetCaption(std::to_string(Y));

  if (frame_ != 0) HitTestFrame(X, Y);
  if (!Shift.Contains(ssLeft)) return;

  HDC dc = GetDC(Handle());
  if (frame_ == 0) {
    if (banding_) {
      if (bandShown_) DrawRubberBand(dc);
      drag_ = POINT{X, Y};
      bandShown_ = true;
      DrawRubberBand(dc);
    }
  } else {
    NormalizeSelection();
    // The frame goes from its old place to its new one. Its outline is inverted pixel by pixel,
    // so the side opposite the moved edge, inverted twice, stays as it is.
    DrawRubberBand(dc);
    switch (edge_) {
      case capture::kEdgeTop: y1_ = Y; break;
      case capture::kEdgeBottom: y2_ = Y; break;
      case capture::kEdgeLeft: x1_ = X; break;
      default: x2_ = X; break;
    }
    DrawRubberBand(dc);
  }
  ReleaseDC(Handle(), dc);
}

void TCaptureDlg::FormMouseUp(TObject*, TMouseButton Button, TShiftState, int X, int Y) {
  SetCursor(crCross);
  if (frame_ != 0 || !banding_ || Button != mbLeft) return;
  HDC dc = GetDC(Handle());
  if (bandShown_) DrawRubberBand(dc);
  bandShown_ = false;
  if (X == x1_ && Y == y1_) {
    // A click without a drag makes no frame; the next press starts again.
    banding_ = false;
    ReleaseDC(Handle(), dc);
    return;
  }
  banding_ = false;
  x2_ = X;
  y2_ = Y;
  frame_ = 1;
  NormalizeSelection();
  DrawRubberBand(dc);
  ReleaseDC(Handle(), dc);
}

void TCaptureDlg::NormalizeSelection() {
  if (x2_ < x1_) std::swap(x1_, x2_);
  if (y2_ < y1_) std::swap(y1_, y2_);
}

void TCaptureDlg::HitTestFrame(int x, int y) {
  const capture::FrameHit hit = capture::HitTestFrame(x1_, y1_, x2_, y2_, x, y);
  if (hit.edge) edge_ = *hit.edge;
  SetCursor(hit.cursor);
}

void TCaptureDlg::DrawOutline(HDC dc, int ax, int ay, int bx, int by) {
  const int left = std::min(ax, bx), right = std::max(ax, bx);
  const int top = std::min(ay, by), bottom = std::max(ay, by);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  HGDIOBJ previousPen = SelectObject(dc, pen);
  const int previousMode = SetROP2(dc, R2_NOTXORPEN);
  // Each pixel of the outline once: the top and bottom rows whole, the sides between them.
  MoveToEx(dc, left, top, nullptr);
  LineTo(dc, right + 1, top);
  if (bottom != top) {
    MoveToEx(dc, left, bottom, nullptr);
    LineTo(dc, right + 1, bottom);
  }
  if (bottom - top > 1) {
    MoveToEx(dc, left, top + 1, nullptr);
    LineTo(dc, left, bottom);
    if (right != left) {
      MoveToEx(dc, right, top + 1, nullptr);
      LineTo(dc, right, bottom);
    }
  }
  SetROP2(dc, previousMode);
  SelectObject(dc, previousPen);
  DeleteObject(pen);
}

void TCaptureDlg::DrawRubberBand(HDC dc) {
  if (frame_ != 0) {
    DrawOutline(dc, x1_, y1_, x2_, y2_);
  } else if (bandShown_) {
    DrawOutline(dc, x1_, y1_, drag_.x, drag_.y);
  }
}

HBITMAP TCaptureDlg::CutPicture() {
  const int width = x2_ - x1_ - 1;
  const int height = y2_ - y1_ - 1;
  if (width < 1 || height < 1) return nullptr;
  HDC dc = GetDC(Handle());
  HBITMAP picture = CreateCompatibleBitmap(dc, width, height);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(memory, picture);
  BitBlt(memory, 0, 0, width, height, dc, x1_ + 1, y1_ + 1, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  ReleaseDC(Handle(), dc);
  return picture;
}

void TCaptureDlg::FormDblClick(TObject*) {
  // The panel must not be in the picture; it stays hidden from now on.
  statPanel->Hide();
  Repaint();
  if (frame_ == 0) return;
  NormalizeSelection();
  // A frame with nothing inside it has no picture to save.
  if (x2_ - x1_ < 2 || y2_ - y1_ < 2) return;
  SavePicture();
}

void TCaptureDlg::SavePicture() {
  if (picture_ != nullptr) DeleteObject(picture_);
  picture_ = CutPicture();
  if (picture_ == nullptr) return;

  library_->LoadAntialiasingHelper();
  const bool converting = library_->IsAntialiasingAvailable();
  std::string finalName;
  bool convert = false;
  for (;;) {
    char file[kFileNameBytes] = {};
    OPENFILENAMEA record{};
    record.lStructSize = sizeof record;
    record.hwndOwner = Handle();
    record.lpstrFilter = converting ? kRichFilter : kBmpFilter;
    record.nFilterIndex = 1;
    record.lpstrFile = file;
    record.nMaxFile = kFileNameBytes;
    record.lpstrInitialDir = ".\\";
    record.lpstrTitle = "保存图片";
    record.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN | OFN_ENABLESIZING;
    // Cancelled, or a name that does not fit: the dialog stays open with its frame.
    if (!GetSaveFileNameA(&record)) return;
    int filter = static_cast<int>(record.nFilterIndex);
    if (!converting || filter < 1 || filter > 4) filter = converting ? 1 : 3;
    const std::string extension = kRichExtensions[filter - 1];
    convert = extension != ".bmp";
    finalName = capture::FinalName(file, extension);
    if (GetFileAttributesA(finalName.c_str()) == INVALID_FILE_ATTRIBUTES) break;
    const std::string question = "文件 " + finalName + " 已存在，覆盖吗？  ";
    // Yes keeps the existing file until the new one is whole: it is replaced, never deleted first.
    if (MessageBoxA(Handle(), question.c_str(), "确认", MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) == IDYES) break;
  }

  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  const int depth = capture::DibDepth(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES));
  const std::optional<std::vector<std::uint8_t>> bmp = capture::BuildBmpFile(screen, picture_, depth);
  DeleteDC(screen);
  if (!bmp || !WritePicture(*bmp, finalName, convert)) {
    MessageBoxA(Handle(), "保存图片失败。  ", "提示", MB_OK | MB_ICONERROR | MB_TOPMOST);
  }
  DeleteObject(picture_);
  picture_ = nullptr;
  frame_ = 0;
  SetModalResult(mrOk);
}

bool TCaptureDlg::WritePicture(const std::vector<std::uint8_t>& bmp, const std::string& finalName, bool convert) {
  namespace files = zuvo::platform::files;
  if (!convert) return files::AtomicReplace(finalName, bmp.data(), bmp.size());
  const std::string folder = MakePrivateFolder();
  if (folder.empty()) return false;
  const std::string source = folder + "\\capture.bmp";
  const bool done = files::AtomicReplace(source, bmp.data(), bmp.size()) &&
                    library_->ConvertBitmapFile(source.c_str(), finalName.c_str());
  DeleteFileA(source.c_str());
  RemoveDirectoryA(folder.c_str());
  return done;
}

void TCaptureDlg::btnOKClick(TObject*) { SetModalResult(mrOk); }

void TCaptureDlg::btnCancelClick(TObject*) { SetModalResult(mrCancel); }
