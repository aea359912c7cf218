// Screen capture: a borderless form over the primary screen showing a snapshot of it, on which
// the user drags a frame, adjusts its edges and double-clicks to save the framed part as a
// picture (BMP written here; PNG, JPG and GIF converted from it by the picture library when it
// is there). Escape or the right button cancels. The frame is drawn with a one-pixel black pen
// in not-XOR mode, so drawing a line again restores what was under it.
//
// Saving never loses an existing file: the picture is written to a temporary file beside the
// target and renamed over it only when whole, and the BMP a conversion starts from lives in a
// private temporary folder that is removed whatever the outcome.
// UI thread only; texts are GBK.
#pragma once

#include "platform/Form.h"
#include "platform/Gdi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TButton;
class TLabel;
class TPanel;

namespace zuvo::dialogs {
class IPictureLibrary;
}

namespace zuvo::dialogs::capture {

// Frame edges a drag moves.
constexpr std::uint8_t kEdgeTop = 0, kEdgeBottom = 1, kEdgeLeft = 2, kEdgeRight = 3;
// How far from an edge, in pixels, the cursor still grabs it.
constexpr int kEdgeReach = 4;

// The edge under the cursor (none: the edge stays as it was) and the cursor shape, for a frame
// from (x1, y1) to (x2, y2) with x1 <= x2 and y1 <= y2.
struct FrameHit {
  std::optional<std::uint8_t> edge;
  TCursor cursor = crCross;
};
FrameHit HitTestFrame(int x1, int y1, int x2, int y2, int x, int y);

// The bits per pixel of the saved picture for a display of `bitsTimesPlanes`: 1, 4, 8 or 24.
int DibDepth(int bitsTimesPlanes);

// The name saved under: the chosen name, with the filter's extension (".png"...) appended when
// its last four characters are not that extension, ignoring case.
std::string FinalName(const std::string& chosen, const std::string& extension);

// A BMP file of the bitmap at `bits` per pixel (1, 4, 8 or 24): the 14-byte file header, the
// 40-byte information header, the default palette's colour table at 8 bits or fewer, and the
// bottom-up rows, read through GetDIBits on `screenDc` with the default palette selected (the
// previous one is put back). Nothing when the pixels cannot be read.
std::optional<std::vector<std::uint8_t>> BuildBmpFile(HDC screenDc, HBITMAP picture, int bits);

}  // namespace zuvo::dialogs::capture

class TCaptureDlg : public TForm {
 public:
  // `library` null: the process's picture library.
  explicit TCaptureDlg(TComponent* owner, zuvo::dialogs::IPictureLibrary* library = nullptr);
  ~TCaptureDlg() override;
  const char* ClassName() const override { return "TCaptureDlg"; }

  void WndProc(TMessage& message) override;

  void FormCreate(TObject* Sender);
  void FormPaint(TObject* Sender);
  void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void FormMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void FormMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  void FormMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void FormDblClick(TObject* Sender);
  void btnOKClick(TObject* Sender);
  void btnCancelClick(TObject* Sender);

  TPanel* statPanel = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label4 = nullptr;
  TLabel* Label3 = nullptr;
  TLabel* pX = nullptr;
  TLabel* Label5 = nullptr;
  TLabel* pY = nullptr;
  TButton* btnOK = nullptr;
  TButton* btnCancel = nullptr;

  // State, for the opener's tests.
  HBITMAP Snapshot() const { return snapshot_; }
  int X1() const { return x1_; }
  int Y1() const { return y1_; }
  int X2() const { return x2_; }
  int Y2() const { return y2_; }
  bool HasFrame() const { return frame_ != 0; }
  std::uint8_t Edge() const { return edge_; }
  int PanelCorner() const { return panelCorner_; }

 private:
  void CaptureScreen();
  // Inverts the outline of the rectangle between two corners, each pixel once.
  void DrawOutline(HDC dc, int ax, int ay, int bx, int by);
  // The band of the first drag, or the frame once there is one.
  void DrawRubberBand(HDC dc);
  void NormalizeSelection();
  void HitTestFrame(int x, int y);
  // The framed part as a new bitmap; null when the frame's inside is empty.
  HBITMAP CutPicture();
  void SavePicture();
  // Writes the BMP bytes under `finalName` (BMP filter) or converts them to it; false on failure.
  bool WritePicture(const std::vector<std::uint8_t>& bmp, const std::string& finalName, bool convert);

  zuvo::dialogs::IPictureLibrary* library_;
  HBITMAP snapshot_ = nullptr;
  HBITMAP picture_ = nullptr;
  int panelCorner_ = 0;
  int x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
  int frame_ = 0;
  POINT drag_{0, 0};
  std::uint8_t edge_ = zuvo::dialogs::capture::kEdgeTop;
  bool banding_ = false;     // a first drag is under way (the left button went down here)
  bool bandShown_ = false;   // its band is on the window
};
