// BMP pictures as bitmaps, from a file or from bytes held in memory. The bytes come from outside
// (picture files beside the program, pictures stored in settings): every field is checked
// against the others and against the byte count before a byte is read through it.

#include "platform/internal/GdiRegistry.h"

#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

using namespace zuvo::platform;

namespace zuvo::platform::gdi {
namespace {

constexpr std::size_t kFileHeaderBytes = 14;
// BITMAPINFOHEADER and its longer successors (V2, V3, V4, V5), which all start with its fields.
constexpr std::array<std::uint32_t, 5> kInfoHeaderSizes = {40, 52, 56, 108, 124};
constexpr std::uint32_t kUncompressed = 0;   // BI_RGB
constexpr std::uint32_t kRgbQuadBytes = 4;
// True-colour files may carry a palette for 8-bit displays; it is skipped, and no real one is
// longer than this.
constexpr std::uint32_t kMaxOptionalColours = 256;
// The largest file read whole: the largest picture at 32 bits with room for headers, a table and
// trailing bytes.
constexpr std::uint64_t kMaxFileBytes = static_cast<std::uint64_t>(kMaxImagePixels) * 4 + 64 * 1024;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t I32(const std::uint8_t* p) { return static_cast<std::int32_t>(U32(p)); }

// Where a checked file keeps what the decoder needs.
struct BmpLayout {
  int width = 0;
  int height = 0;
  bool topDown = false;
  int bits = 0;
  std::size_t tableOffset = 0;
  std::uint32_t colours = 0;   // entries of the colour table used for pixels (depths up to 8)
  std::size_t pixelOffset = 0;
  std::size_t stride = 0;      // bytes per row, rows padded to 4 bytes
};

// The layout of a BMP file, or nothing when any field is out of its range or points outside the
// bytes. All sums are in 64 bits over values of at most 32.
std::optional<BmpLayout> CheckLayout(const std::uint8_t* b, std::size_t size) {
  // The file header and the info header's size must be there before anything is read.
  if (size < kFileHeaderBytes + 4 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  const std::uint64_t fileSize = U32(b + 2);
  const std::uint64_t pixelOffset = U32(b + 10);
  const std::uint32_t headerSize = U32(b + 14);
  // Core headers (12 bytes, 16-bit sizes) and unknown sizes are not read.
  const auto known = std::find(kInfoHeaderSizes.begin(), kInfoHeaderSizes.end(), headerSize);
  if (known == kInfoHeaderSizes.end() || size < kFileHeaderBytes + headerSize) return std::nullopt;
  const std::int64_t width = I32(b + 18);
  const std::int64_t height = I32(b + 22);
  const std::uint16_t planes = U16(b + 26);
  const std::uint16_t bits = U16(b + 28);
  const std::uint32_t compression = U32(b + 30);
  const std::uint64_t imageSize = U32(b + 34);
  const std::uint32_t coloursUsed = U32(b + 46);
  const std::uint32_t coloursImportant = U32(b + 50);

  // The size is capped before anything is allocated for it (both sides fit 32 bits, so the
  // product fits 64).
  const std::int64_t rows = height < 0 ? -height : height;
  if (width < 1 || rows < 1 || width * rows > kMaxImagePixels) return std::nullopt;
  // Compressed and bit-field pixels are not read.
  if (planes != 1 || compression != kUncompressed) return std::nullopt;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return std::nullopt;
  // The colour table: 2^bits entries unless the file says fewer; true colour needs none.
  std::uint64_t tableEntries = coloursUsed;
  if (bits <= 8) {
    const std::uint32_t full = 1u << bits;
    if (tableEntries == 0) tableEntries = full;
    if (tableEntries > full) return std::nullopt;
  } else if (tableEntries > kMaxOptionalColours) {
    return std::nullopt;
  }
  // The colours that matter are some of the table's.
  if (coloursImportant > tableEntries) return std::nullopt;
  const std::uint64_t tableOffset = kFileHeaderBytes + headerSize;
  const std::uint64_t tableEnd = tableOffset + tableEntries * kRgbQuadBytes;
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
  const std::uint64_t pixelBytes = stride * static_cast<std::uint64_t>(rows);
  // The pixels lie after the headers and the table, and wholly inside the bytes.
  if (pixelOffset < tableEnd || pixelOffset > size || pixelBytes > size - pixelOffset) return std::nullopt;
  // A stated image size, when there is one, holds every row.
  if (imageSize != 0 && imageSize < pixelBytes) return std::nullopt;
  // A stated file size, when there is one, holds the pixels and is no longer than the bytes (a
  // longer one: the file was cut short).
  if (fileSize != 0 && (fileSize < pixelOffset + pixelBytes || fileSize > size)) return std::nullopt;

  BmpLayout layout;
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(rows);
  layout.topDown = height < 0;
  layout.bits = bits;
  layout.tableOffset = static_cast<std::size_t>(tableOffset);
  layout.colours = bits <= 8 ? static_cast<std::uint32_t>(tableEntries) : 0;
  layout.pixelOffset = static_cast<std::size_t>(pixelOffset);
  layout.stride = static_cast<std::size_t>(stride);
  return layout;
}

// Decodes the checked pixels into a 32-bit image of the layout's size.
void Decode(const std::uint8_t* b, const BmpLayout& layout, QImage& image) {
  // A full 256-entry palette, so that any index reads inside it; entries the file lacks are black.
  std::array<QRgb, 256> palette;
  palette.fill(qRgb(0, 0, 0));
  for (std::uint32_t i = 0; i < layout.colours; ++i) {
    const std::uint8_t* quad = b + layout.tableOffset + i * kRgbQuadBytes;
    palette[i] = qRgb(quad[2], quad[1], quad[0]);
  }
  for (int y = 0; y < layout.height; ++y) {
    const int fileRow = layout.topDown ? y : layout.height - 1 - y;
    const std::uint8_t* row = b + layout.pixelOffset + static_cast<std::size_t>(fileRow) * layout.stride;
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < layout.width; ++x) {
      switch (layout.bits) {
        case 1: line[x] = palette[(row[x >> 3] >> (7 - (x & 7))) & 0x1]; break;
        case 4: line[x] = palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF]; break;
        case 8: line[x] = palette[row[x]]; break;
        case 24: line[x] = qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]); break;
        default: line[x] = qRgb(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]); break;   // 32: the fourth byte unused
      }
    }
  }
}

// The whole of a file no longer than kMaxFileBytes, read through the platform's file calls.
std::optional<std::vector<std::uint8_t>> ReadSmallFile(LPCSTR path) {
  files::ScopedHandle file(
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return std::nullopt;
  DWORD high = 0;
  const DWORD low = GetFileSize(file.get(), &high);
  if (low == INVALID_FILE_SIZE) return std::nullopt;   // a bad handle, or a file far too long anyway
  const std::uint64_t length = (static_cast<std::uint64_t>(high) << 32) | low;
  if (length > kMaxFileBytes) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
    if (!ReadFile(file.get(), bytes.data() + done, want, &read, nullptr) || read == 0) return std::nullopt;
    done += read;
  }
  return bytes;
}

// A new bitmap holding the image scaled to width x height (nearest pixel); null when too large.
HBITMAP Stretched(const QImage& image, int width, int height) {
  if (static_cast<long long>(width) * height > kMaxImagePixels) return nullptr;
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, width, height);
  ObjectPtr o = GdiRegistry().Find(bitmap);
  if (!o) return nullptr;
  o->image = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                 .convertToFormat(QImage::Format_RGB32);
  return bitmap;
}

}  // namespace
}  // namespace zuvo::platform::gdi

using namespace zuvo::platform::gdi;

HBITMAP zuvo::platform::CreateBitmapFromBmpBytes(const void* bytes, std::size_t size) {
  if (bytes == nullptr) return nullptr;
  const auto* b = static_cast<const std::uint8_t*>(bytes);
  const std::optional<BmpLayout> layout = CheckLayout(b, size);
  if (!layout) return nullptr;
  // A fresh bitmap that no one else holds yet: its pixels are written here, on any thread.
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, layout->width, layout->height);
  ObjectPtr o = GdiRegistry().Find(bitmap);
  if (!o) return nullptr;
  Decode(b, *layout, o->image);
  return bitmap;
}

HANDLE LoadImageA(HINSTANCE, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
  // Flags that would change nothing here: every bitmap is 32-bit, and a bitmap's default size is
  // its own.
  constexpr UINT kWithoutEffect = LR_CREATEDIBSECTION | LR_DEFAULTSIZE;
  if (type != IMAGE_BITMAP || name == nullptr || (flags & LR_LOADFROMFILE) == 0 ||
      (flags & ~(LR_LOADFROMFILE | kWithoutEffect)) != 0 || cx < 0 || cy < 0) {
    return nullptr;
  }
  const std::optional<std::vector<std::uint8_t>> bytes = ReadSmallFile(name);
  if (!bytes) return nullptr;
  HBITMAP bitmap = zuvo::platform::CreateBitmapFromBmpBytes(bytes->data(), bytes->size());
  ObjectPtr o = GdiRegistry().Find(bitmap);
  if (!o) return nullptr;
  const int width = cx != 0 ? cx : o->image.width();
  const int height = cy != 0 ? cy : o->image.height();
  if (width == o->image.width() && height == o->image.height()) return bitmap;
  HBITMAP stretched = Stretched(o->image, width, height);
  DeleteObject(bitmap);
  return stretched;
}
