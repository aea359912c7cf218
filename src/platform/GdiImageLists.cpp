// Image lists: pictures of one size kept in order, each with its mask, drawn by index.

#include "platform/internal/GdiSurface.h"

#include "platform/internal/Ownership.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>
#include <vector>

using namespace zuvo::platform;

namespace zuvo::platform::gdi {
namespace {

struct Picture {
  QImage image;                    // cx x cy, 32-bit
  std::vector<std::uint8_t> mask;  // cx * cy, 1 where transparent; empty in a list without masks
};

struct ImageList {
  int cx = 0;
  int cy = 0;
  bool masked = false;
  COLORREF background = CLR_NONE;
  // Shared, so that drawing takes a picture out of the lock without copying it.
  std::vector<std::shared_ptr<const Picture>> pictures;
};

struct Lists {
  std::map<std::uintptr_t, ImageList> byHandle;
  std::uintptr_t nextHandle = 0x10;   // never reused, so a destroyed list's handle stays dead
};

// Never destroyed, as the GDI registry: a worker may still destroy a list while the process exits.
Guarded<Lists>& Table() {
  static auto* table = new Guarded<Lists>;
  return *table;
}

ImageList* Find(Lists& lists, HIMAGELIST handle) {
  auto found = lists.byHandle.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == lists.byHandle.end() ? nullptr : &found->second;
}

constexpr QRgb kBlack = 0xFF000000u;
constexpr std::uint32_t kWhite = 0xFFFFFF;

// The pixels of a bitmap, or a null image for a handle that is none.
QImage PixelsOf(HBITMAP bitmap) {
  ObjectPtr o = GdiRegistry().Find(bitmap);
  if (!o || o->kind != Kind::Bitmap) return QImage();
  SettleBitmap(*o);
  return o->image;
}

// Cuts the image into pictures of cx x cy, one per whole column. `transparent` says, for a pixel
// inside the image, whether it is masked; pixels below a short image are black and masked.
template <typename MaskOf>
std::vector<Picture> Cut(const QImage& image, int cx, int cy, bool masked, MaskOf transparent) {
  std::vector<Picture> pictures;
  const int count = image.width() / cx;
  const int rows = std::min(cy, image.height());
  for (int k = 0; k < count; ++k) {
    Picture picture;
    picture.image = QImage(cx, cy, QImage::Format_RGB32);
    picture.image.fill(kBlack);
    if (masked) picture.mask.assign(static_cast<std::size_t>(cx) * cy, 1);
    for (int y = 0; y < rows; ++y) {
      const auto* from = reinterpret_cast<const QRgb*>(image.constScanLine(y)) + static_cast<std::size_t>(k) * cx;
      auto* to = reinterpret_cast<QRgb*>(picture.image.scanLine(y));
      for (int x = 0; x < cx; ++x) {
        const bool clear = transparent(k * cx + x, y, from[x]);
        to[x] = from[x] | kBlack;
        if (masked) picture.mask[static_cast<std::size_t>(y) * cx + x] = clear ? 1 : 0;
      }
    }
    pictures.push_back(std::move(picture));
  }
  return pictures;
}

// Appends the pictures to the list; the index of the first, -1 when there are none or the list
// is dead.
int Append(HIMAGELIST handle, std::vector<Picture> pictures) {
  if (pictures.empty()) return -1;
  auto lists = Table().Lock();
  ImageList* list = Find(*lists, handle);
  if (list == nullptr) return -1;
  const int first = static_cast<int>(list->pictures.size());
  for (Picture& picture : pictures) list->pictures.push_back(std::make_shared<const Picture>(std::move(picture)));
  return first;
}

// The size and mask kind of a live list.
bool Shape(HIMAGELIST handle, int* cx, int* cy, bool* masked) {
  auto lists = Table().Lock();
  const ImageList* list = Find(*lists, handle);
  if (list == nullptr) return false;
  *cx = list->cx;
  *cy = list->cy;
  *masked = list->masked;
  return true;
}

}  // namespace
}  // namespace zuvo::platform::gdi

using namespace zuvo::platform::gdi;

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int, int) {
  if (cx < 1 || cy < 1 || static_cast<long long>(cx) * cy > kMaxImagePixels) return nullptr;
  auto lists = Table().Lock();
  const std::uintptr_t handle = lists->nextHandle;
  lists->nextHandle += 4;
  ImageList& list = lists->byHandle[handle];
  list.cx = cx;
  list.cy = cy;
  list.masked = (flags & ILC_MASK) != 0;
  return reinterpret_cast<HIMAGELIST>(handle);
}

BOOL ImageList_Destroy(HIMAGELIST list) {
  return Table().Lock()->byHandle.erase(reinterpret_cast<std::uintptr_t>(list)) != 0 ? TRUE : FALSE;
}

int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask) {
  int cx = 0, cy = 0;
  bool masked = false;
  const QImage pixels = PixelsOf(image);
  if (pixels.isNull() || !Shape(list, &cx, &cy, &masked)) return -1;
  // The mask marks in white what is transparent; without a mask nothing is.
  const QImage maskPixels = masked ? PixelsOf(mask) : QImage();
  auto transparent = [&](int x, int y, QRgb) {
    if (maskPixels.isNull() || x >= maskPixels.width() || y >= maskPixels.height()) return false;
    return (reinterpret_cast<const QRgb*>(maskPixels.constScanLine(y))[x] & kWhite) == kWhite;
  };
  return Append(list, Cut(pixels, cx, cy, masked, transparent));
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF maskColour) {
  int cx = 0, cy = 0;
  bool masked = false;
  const QImage pixels = PixelsOf(image);
  if (pixels.isNull() || !Shape(list, &cx, &cy, &masked)) return -1;
  const std::uint32_t key = Rgb24(maskColour);
  std::vector<Picture> pictures = Cut(pixels, cx, cy, masked, [&](int, int, QRgb c) { return (c & kWhite) == key; });
  // Masked pixels turn black, so that drawing the image over its mask leaves them out.
  for (Picture& picture : pictures) {
    for (int y = 0; y < cy && masked; ++y) {
      auto* line = reinterpret_cast<QRgb*>(picture.image.scanLine(y));
      for (int x = 0; x < cx; ++x) {
        if (picture.mask[static_cast<std::size_t>(y) * cx + x] != 0) line[x] = kBlack;
      }
    }
  }
  return Append(list, std::move(pictures));
}

BOOL ImageList_Remove(HIMAGELIST handle, int index) {
  auto lists = Table().Lock();
  ImageList* list = Find(*lists, handle);
  if (list == nullptr) return FALSE;
  if (index == -1) {
    list->pictures.clear();
    return TRUE;
  }
  if (index < 0 || index >= static_cast<int>(list->pictures.size())) return FALSE;
  list->pictures.erase(list->pictures.begin() + index);
  return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST handle) {
  auto lists = Table().Lock();
  const ImageList* list = Find(*lists, handle);
  return list == nullptr ? 0 : static_cast<int>(list->pictures.size());
}

BOOL ImageList_GetIconSize(HIMAGELIST handle, int* cx, int* cy) {
  int width = 0, height = 0;
  bool masked = false;
  if (cx == nullptr || cy == nullptr || !Shape(handle, &width, &height, &masked)) return FALSE;
  *cx = width;
  *cy = height;
  return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST handle, COLORREF colour) {
  auto lists = Table().Lock();
  ImageList* list = Find(*lists, handle);
  if (list == nullptr) return CLR_NONE;
  return std::exchange(list->background, colour == CLR_NONE ? CLR_NONE : colour & 0xFFFFFF);
}

COLORREF ImageList_GetBkColor(HIMAGELIST handle) {
  auto lists = Table().Lock();
  const ImageList* list = Find(*lists, handle);
  return list == nullptr ? CLR_NONE : list->background;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
  return ImageList_DrawEx(list, index, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

BOOL ImageList_DrawEx(HIMAGELIST handle, int index, HDC dc, int x, int y, int dx, int dy, COLORREF rgbBk, COLORREF,
                      UINT style) {
  std::shared_ptr<const Picture> shared;
  COLORREF background = CLR_NONE;
  {
    auto lists = Table().Lock();
    const ImageList* list = Find(*lists, handle);
    if (list == nullptr || index < 0 || index >= static_cast<int>(list->pictures.size())) return FALSE;
    shared = list->pictures[static_cast<std::size_t>(index)];
    background = rgbBk == CLR_DEFAULT ? list->background : rgbBk;
  }
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  const Picture& picture = *shared;
  const int cx = picture.image.width();
  const int cy = picture.image.height();
  const int width = dx > 0 ? std::min(dx, cx) : cx;
  const int height = dy > 0 ? std::min(dy, cy) : cy;
  const bool keepUnderMask = (style & ILD_TRANSPARENT) != 0 || background == CLR_NONE;
  const bool drawMask = (style & ILD_MASK) != 0;
  for (int row = 0; row < height; ++row) {
    const auto* from = reinterpret_cast<const QRgb*>(picture.image.constScanLine(row));
    for (int col = 0; col < width; ++col) {
      const DevicePoint at = s.Device(static_cast<long long>(x) + col, static_cast<long long>(y) + row);
      if (!s.Contains(at)) continue;
      const bool clear = !picture.mask.empty() && picture.mask[static_cast<std::size_t>(row) * cx + col] != 0;
      std::uint32_t colour = from[col] & kWhite;
      if (clear && (drawMask ? (style & ILD_TRANSPARENT) != 0 : keepUnderMask)) continue;
      if (drawMask) colour = clear ? kWhite : 0;
      else if (clear) colour = Rgb24(background);
      reinterpret_cast<QRgb*>(s.image->scanLine(static_cast<int>(at.y)))[at.x] = kBlack | colour;
    }
  }
  Changed(s);
  return TRUE;
}
