// The built-in picture library smoothdc.dll: BMP files converted to PNG and JPG by Qt's image
// writers and to GIF by giflib with its colour quantiser, and antialiased text and lines on our
// contexts.
#include "platform/internal/PictureLibrary.h"

#include "platform/Files.h"
#include "platform/Gdi.h"
#include "platform/Text.h"
#include "platform/internal/GdiRegistry.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace zuvo::platform::smoothdc {
namespace {

enum class PictureFormat { kPng, kJpeg, kGif };

// The format the destination's extension names; none for any other.
std::optional<PictureFormat> FormatOf(LPCSTR destination) {
  const std::string_view path(destination);
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string extension = gbk::Lower(path.substr(dot + 1));
  if (extension == "png") return PictureFormat::kPng;
  if (extension == "jpg" || extension == "jpeg") return PictureFormat::kJpeg;
  if (extension == "gif") return PictureFormat::kGif;
  return std::nullopt;
}

// The BMP file's pixels, read by the platform's checked BMP reader.
std::optional<QImage> ReadBmp(LPCSTR source) {
  HANDLE loaded = LoadImageA(nullptr, source, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
  if (loaded == nullptr) return std::nullopt;
  const auto bitmap = static_cast<HBITMAP>(loaded);
  std::optional<QImage> image;
  if (gdi::ObjectPtr object = gdi::GdiRegistry().Find(bitmap)) image = object->image.copy();
  DeleteObject(bitmap);
  return image;
}

bool EncodeWithQt(const QImage& image, const char* format, QByteArray* bytes) {
  QBuffer buffer(bytes);
  if (!buffer.open(QIODevice::WriteOnly)) return false;
  QImageWriter writer(&buffer, format);
  if (std::strcmp(format, "jpg") == 0) writer.setQuality(90);
  return writer.write(image.convertToFormat(QImage::Format_RGB888));
}

int AppendGifBytes(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

// One frame of at most 256 colours, chosen by giflib's median-cut quantiser.
bool EncodeGif(const QImage& image, std::vector<std::uint8_t>* bytes) {
  const int width = image.width();
  const int height = image.height();
  // The format stores each side in 16 bits.
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return false;
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<GifByteType> red(pixels), green(pixels), blue(pixels), indices(pixels);
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
      red[at] = static_cast<GifByteType>(qRed(line[x]));
      green[at] = static_cast<GifByteType>(qGreen(line[x]));
      blue[at] = static_cast<GifByteType>(qBlue(line[x]));
    }
  }
  int colours = 256;
  GifColorType palette[256] = {};
  if (GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(height), &colours, red.data(),
                        green.data(), blue.data(), indices.data(), palette) != GIF_OK) {
    return false;
  }
  ColorMapObject* colourMap = GifMakeMapObject(256, palette);
  if (colourMap == nullptr) return false;
  int error = 0;
  GifFileType* gif = EGifOpen(bytes, &AppendGifBytes, &error);
  if (gif == nullptr) {
    GifFreeMapObject(colourMap);
    return false;
  }
  bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, colourMap) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < height; ++y) {
    ok = EGifPutLine(gif, indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), width) ==
         GIF_OK;
  }
  GifFreeMapObject(colourMap);
  // Closing writes the trailer and frees the writer whatever happened before.
  ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
  return ok;
}

// Blends the colour into one pixel with the coverage (0..1).
void Plot(HDC dc, long long x, long long y, COLORREF color, double coverage) {
  if (coverage <= 0 || x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return;
  const COLORREF under = GetPixel(dc, static_cast<int>(x), static_cast<int>(y));
  if (under == CLR_INVALID) return;
  const auto mix = [coverage](int over, int base) {
    return static_cast<BYTE>(std::lround(over * coverage + base * (1 - coverage)));
  };
  SetPixelV(dc, static_cast<int>(x), static_cast<int>(y),
            RGB(mix(GetRValue(color), GetRValue(under)), mix(GetGValue(color), GetGValue(under)),
                mix(GetBValue(color), GetBValue(under))));
}

}  // namespace

int ConvertBitmap(LPCSTR sourceBmp, LPCSTR destination) {
  if (sourceBmp == nullptr || destination == nullptr) return 0;
  const std::optional<PictureFormat> format = FormatOf(destination);
  if (!format) return 0;
  const std::optional<QImage> image = ReadBmp(sourceBmp);
  if (!image || image->isNull()) return 0;
  std::vector<std::uint8_t> bytes;
  if (*format == PictureFormat::kGif) {
    if (!EncodeGif(*image, &bytes)) return 0;
  } else {
    QByteArray encoded;
    if (!EncodeWithQt(*image, *format == PictureFormat::kPng ? "png" : "jpg", &encoded)) return 0;
    bytes.assign(encoded.begin(), encoded.end());
  }
  // The picture appears whole or not at all.
  return files::AtomicReplace(destination, bytes.data(), bytes.size()) ? 1 : 0;
}

BOOL TextOutAntialiasing(HDC dc, int x, int y, LPCSTR text, int length) {
  // The context's own font, asked for antialiased glyphs, for this one call.
  HGDIOBJ current = GetCurrentObject(dc, OBJ_FONT);
  LOGFONTA font{};
  if (current == nullptr || GetObjectA(current, sizeof font, &font) != static_cast<int>(sizeof font)) {
    return TextOutA(dc, x, y, text, length);
  }
  font.lfQuality = ANTIALIASED_QUALITY;
  HFONT smooth = CreateFontIndirectA(&font);
  if (smooth == nullptr) return TextOutA(dc, x, y, text, length);
  HGDIOBJ previous = SelectObject(dc, smooth);
  const BOOL result = TextOutA(dc, x, y, text, length);
  SelectObject(dc, previous);
  DeleteObject(smooth);
  return result;
}

BOOL DrawLineAntialiasing(HDC dc, int x1, int y1, int x2, int y2, COLORREF color) {
  if (GetCurrentObject(dc, OBJ_FONT) == nullptr) return FALSE;   // a dead context
  // Xiaolin Wu's line: along the longer axis, each step shares its colour between the two
  // pixels that straddle the exact position.
  const bool steep = std::abs(y2 - y1) > std::abs(x2 - x1);
  double a1 = steep ? y1 : x1, b1 = steep ? x1 : y1, a2 = steep ? y2 : x2, b2 = steep ? x2 : y2;
  if (a1 > a2) {
    std::swap(a1, a2);
    std::swap(b1, b2);
  }
  const double gradient = a2 == a1 ? 0 : (b2 - b1) / (a2 - a1);
  // No context is this large: a line running further is drawn only as far as this.
  constexpr double kReach = 1 << 20;
  const long long first = static_cast<long long>(std::max(a1, -kReach));
  const long long last = static_cast<long long>(std::min(a2, kReach));
  for (long long a = first; a <= last; ++a) {
    const double b = b1 + gradient * (static_cast<double>(a) - a1);
    const double low = std::floor(b);
    const double fraction = b - low;
    const long long major = a;
    const auto minor = static_cast<long long>(low);
    if (steep) {
      Plot(dc, minor, major, color, 1 - fraction);
      Plot(dc, minor + 1, major, color, fraction);
    } else {
      Plot(dc, major, minor, color, 1 - fraction);
      Plot(dc, major, minor + 1, color, fraction);
    }
  }
  return TRUE;
}

}  // namespace zuvo::platform::smoothdc
