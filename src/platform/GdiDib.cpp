// Device-independent pixels: GetDIBits, the default palette's colour tables and SelectPalette.
// Bitmaps are kept at 32 bits; reading them out at 1, 4 or 8 bits maps each pixel to the
// nearest colour of the default palette, which is also the table handed back with them.

#include "platform/internal/GdiRegistry.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zuvo::platform::gdi {
namespace {

constexpr RGBQUAD Quad(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }

// The 16 standard colours: the dark eight, then the light eight.
constexpr std::array<RGBQUAD, 16> kStandard16 = {
    Quad(0, 0, 0),       Quad(128, 0, 0),   Quad(0, 128, 0),   Quad(128, 128, 0),
    Quad(0, 0, 128),     Quad(128, 0, 128), Quad(0, 128, 128), Quad(192, 192, 192),
    Quad(128, 128, 128), Quad(255, 0, 0),   Quad(0, 255, 0),   Quad(255, 255, 0),
    Quad(0, 0, 255),     Quad(255, 0, 255), Quad(0, 255, 255), Quad(255, 255, 255)};

// The 20 system colours: the first ten open a 256-entry table, the last ten close it.
constexpr std::array<RGBQUAD, 10> kSystemFirst = {
    Quad(0, 0, 0),     Quad(128, 0, 0),   Quad(0, 128, 0),     Quad(128, 128, 0),   Quad(0, 0, 128),
    Quad(128, 0, 128), Quad(0, 128, 128), Quad(192, 192, 192), Quad(192, 220, 192), Quad(166, 202, 240)};
constexpr std::array<RGBQUAD, 10> kSystemLast = {
    Quad(255, 251, 240), Quad(160, 160, 164), Quad(128, 128, 128), Quad(255, 0, 0),   Quad(0, 255, 0),
    Quad(255, 255, 0),   Quad(0, 0, 255),     Quad(255, 0, 255),   Quad(0, 255, 255), Quad(255, 255, 255)};

constexpr int kInfoHeaderBytes = 40;

// Maps 0xRRGGBB colours to their nearest table entry. A screen holds few distinct colours, so a
// small direct-mapped memo spares the search for nearly every pixel.
class NearestEntry {
 public:
  NearestEntry(const RGBQUAD* table, int count) : table_(table, table + count) {
    for (Slot& slot : memo_) slot.colour = kEmpty;
  }

  BYTE operator()(std::uint32_t rgb) {
    Slot& slot = memo_[Hash(rgb)];
    if (slot.colour != rgb) {
      slot.colour = rgb;
      slot.index = Search(rgb);
    }
    return slot.index;
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;   // no 24-bit colour
  struct Slot {
    std::uint32_t colour;
    BYTE index;
  };
  static std::size_t Hash(std::uint32_t rgb) { return ((rgb * 2654435761u) >> 20) & 0xFFF; }

  BYTE Search(std::uint32_t rgb) const {
    const int r = static_cast<int>((rgb >> 16) & 0xFF), g = static_cast<int>((rgb >> 8) & 0xFF),
              b = static_cast<int>(rgb & 0xFF);
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < table_.size(); ++i) {
      const int dr = r - table_[i].rgbRed, dg = g - table_[i].rgbGreen, db = b - table_[i].rgbBlue;
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {   // strictly less: the lower index wins a tie
        bestDistance = distance;
        best = static_cast<int>(i);
        if (distance == 0) break;
      }
    }
    return static_cast<BYTE>(best);
  }

  std::vector<RGBQUAD> table_;
  std::array<Slot, 4096> memo_;
};

bool ValidDepth(int bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32; }

}  // namespace
}  // namespace zuvo::platform::gdi

using namespace zuvo::platform::gdi;

int zuvo::platform::DefaultColourTable(int bits, RGBQUAD* table) {
  if (table == nullptr) return 0;
  switch (bits) {
    case 1:
      table[0] = Quad(0, 0, 0);
      table[1] = Quad(255, 255, 255);
      return 2;
    case 4:
      std::memcpy(table, kStandard16.data(), sizeof kStandard16);
      return 16;
    case 8:
      for (int i = 0; i < 256; ++i) table[i] = Quad(0, 0, 0);
      std::memcpy(table, kSystemFirst.data(), sizeof kSystemFirst);
      std::memcpy(table + 246, kSystemLast.data(), sizeof kSystemLast);
      return 256;
    default: return 0;
  }
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
  Registry& registry = GdiRegistry();
  DcPtr context = registry.FindContext(dc);
  ObjectPtr object = registry.Find(palette);
  if (!context || !object || object->kind != Kind::Palette) return nullptr;
  ObjectPtr previous = std::exchange(context->State().palette, object);
  return registry.HandleOf(previous);
}

int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  Registry& registry = GdiRegistry();
  if (info == nullptr || usage != DIB_RGB_COLORS || !registry.FindContext(dc)) return 0;
  ObjectPtr object = registry.Find(bitmap);
  if (!object || object->kind != Kind::Bitmap) return 0;
  SettleBitmap(*object);
  const QImage& image = object->image;
  const std::int64_t width = image.width();
  const std::int64_t height = image.height();
  BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biSize != kInfoHeaderBytes) return 0;

  // Asked for the bitmap's own description.
  if (bits == nullptr && header.biBitCount == 0) {
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(width * 4 * height);
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    return static_cast<int>(height);
  }

  const int depth = header.biBitCount;
  if (header.biPlanes != 1 || header.biCompression != BI_RGB || !ValidDepth(depth)) return 0;
  const std::int64_t rows = header.biHeight < 0 ? -static_cast<std::int64_t>(header.biHeight) : header.biHeight;
  if (header.biWidth != width || rows != height) return 0;
  if (lines == 0 || static_cast<std::int64_t>(start) + lines > height) return 0;
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(depth) + 31) / 32 * 4;
  const std::uint64_t bytes = stride * lines;
  if (bytes > 0xFFFFFFFFull) return 0;
  if (header.biSizeImage != 0 && header.biSizeImage < bytes) return 0;
  if (bits == nullptr) return 0;

  // Everything is checked: from here on the call writes.
  std::array<RGBQUAD, zuvo::platform::kMaxDibColours> table{};
  const int colours = zuvo::platform::DefaultColourTable(depth, table.data());
  if (colours > 0) std::memcpy(info->bmiColors, table.data(), sizeof(RGBQUAD) * static_cast<std::size_t>(colours));
  header.biSizeImage = static_cast<DWORD>(bytes);
  NearestEntry nearest(table.data(), colours);
  const bool bottomUp = header.biHeight > 0;
  auto* out = static_cast<std::uint8_t*>(bits);
  for (UINT i = 0; i < lines; ++i) {
    const std::int64_t scan = static_cast<std::int64_t>(start) + i;
    const int y = static_cast<int>(bottomUp ? height - 1 - scan : scan);
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    std::uint8_t* row = out + stride * i;
    std::memset(row, 0, static_cast<std::size_t>(stride));
    for (std::int64_t x = 0; x < width; ++x) {
      const std::uint32_t rgb = line[x] & 0xFFFFFF;
      switch (depth) {
        case 32:
          row[x * 4] = static_cast<std::uint8_t>(rgb);
          row[x * 4 + 1] = static_cast<std::uint8_t>(rgb >> 8);
          row[x * 4 + 2] = static_cast<std::uint8_t>(rgb >> 16);
          break;
        case 24:
          row[x * 3] = static_cast<std::uint8_t>(rgb);
          row[x * 3 + 1] = static_cast<std::uint8_t>(rgb >> 8);
          row[x * 3 + 2] = static_cast<std::uint8_t>(rgb >> 16);
          break;
        case 8: row[x] = nearest(rgb); break;
        case 4: row[x >> 1] |= static_cast<std::uint8_t>(nearest(rgb) << ((x & 1) ? 0 : 4)); break;
        default: row[x >> 3] |= static_cast<std::uint8_t>(nearest(rgb) << (7 - (x & 7))); break;
      }
    }
  }
  return static_cast<int>(lines);
}
