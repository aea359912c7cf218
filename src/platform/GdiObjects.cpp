// Pens, brushes, fonts and bitmaps: making them, selecting them into contexts, reading them back.

#include "platform/internal/GdiRegistry.h"

#include "platform/Application.h"
#include "platform/Text.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace zuvo::platform;

namespace zuvo::platform::gdi {
namespace {

// Installed families for the faces the program asks for.
struct FaceMapping {
  const char* face;
  const char* family;
};
const FaceMapping kFaces[] = {
    {"宋体", "WenQuanYi Micro Hei"},       {"新宋体", "WenQuanYi Micro Hei Mono"},
    {"黑体", "WenQuanYi Micro Hei"},       {"楷体", "WenQuanYi Micro Hei"},
    {"楷体_GB2312", "WenQuanYi Micro Hei"}, {"隶书", "WenQuanYi Micro Hei"},
    {"仿宋", "WenQuanYi Micro Hei"},       {"仿宋_GB2312", "WenQuanYi Micro Hei"},
    {"幼圆", "WenQuanYi Micro Hei"},       {"微软雅黑", "WenQuanYi Micro Hei"},
    {"SimSun", "WenQuanYi Micro Hei"},     {"NSimSun", "WenQuanYi Micro Hei Mono"},
    {"SimHei", "WenQuanYi Micro Hei"},     {"KaiTi", "WenQuanYi Micro Hei"},
    {"KaiTi_GB2312", "WenQuanYi Micro Hei"}, {"LiSu", "WenQuanYi Micro Hei"},
    {"FangSong", "WenQuanYi Micro Hei"},   {"YouYuan", "WenQuanYi Micro Hei"},
    {"Microsoft YaHei", "WenQuanYi Micro Hei"},
    {"Arial", "DejaVu Sans"},              {"Arial Black", "DejaVu Sans"},
    {"Tahoma", "DejaVu Sans"},             {"Verdana", "DejaVu Sans"},
    {"MS Sans Serif", "DejaVu Sans"},      {"MS Shell Dlg", "DejaVu Sans"},
    {"MS Shell Dlg 2", "DejaVu Sans"},     {"Microsoft Sans Serif", "DejaVu Sans"},
    {"System", "DejaVu Sans"},             {"Small Fonts", "DejaVu Sans"},
    {"Times New Roman", "DejaVu Serif"},   {"MS Serif", "DejaVu Serif"},
    {"Courier New", "DejaVu Sans Mono"},   {"Courier", "DejaVu Sans Mono"},
    {"Fixedsys", "DejaVu Sans Mono"},      {"Terminal", "DejaVu Sans Mono"},
    {"Lucida Console", "DejaVu Sans Mono"}, {"Consolas", "DejaVu Sans Mono"},
};

// The installed family drawn for a face (GBK, any case); null for a face the table does not
// know, which is then asked for as it stands.
const char* SubstituteFace(const char* face) {
  for (const FaceMapping& m : kFaces) {
    if (gbk::EqualsNoCase(face, m.face)) return m.family;
  }
  return nullptr;
}

constexpr int kDefaultPixelHeight = 12;

QFont BuildFont(const LOGFONTA& lf) {
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, lf.lfFaceName, LF_FACESIZE);
  QString family;
  if (const char* mapped = SubstituteFace(face)) {
    family = QString::fromLatin1(mapped);
  } else if (face[0] != '\0') {
    family = QString::fromStdU16String(gbk::ToUtf16(face));
  } else {
    family = (lf.lfPitchAndFamily & 0x3) == FIXED_PITCH ? QStringLiteral("DejaVu Sans Mono")
                                                        : QStringLiteral("WenQuanYi Micro Hei");
  }
  QFont font(family);
  font.setStyleHint(QFont::AnyStyle, lf.lfQuality == NONANTIALIASED_QUALITY ? QFont::NoAntialias : QFont::PreferDefault);
  if (lf.lfWeight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp<int>(lf.lfWeight, 100, 900)));
  font.setItalic(lf.lfItalic != 0);
  font.setUnderline(lf.lfUnderline != 0);
  font.setStrikeOut(lf.lfStrikeOut != 0);
  if (lf.lfHeight < 0) {
    font.setPixelSize(std::max(1, static_cast<int>(-lf.lfHeight)));
  } else if (lf.lfHeight > 0) {
    // A positive height is the cell height: scale the em size until ascent + descent fits.
    int target = lf.lfHeight;
    int size = target;
    for (int i = 0; i < 3; ++i) {
      font.setPixelSize(std::max(1, size));
      int cell = QFontMetrics(font).ascent() + QFontMetrics(font).descent();
      if (cell == target || cell <= 0) break;
      size = std::max(1, static_cast<int>(std::lround(static_cast<double>(size) * target / cell)));
    }
    font.setPixelSize(std::max(1, size));
  } else {
    font.setPixelSize(kDefaultPixelHeight);
  }
  return font;
}

}  // namespace

ObjectPtr MakePen(int style, int width, COLORREF color) {
  auto o = std::make_shared<Object>();
  o->kind = Kind::Pen;
  o->pen.lopnStyle = static_cast<UINT>(style);
  o->pen.lopnWidth.x = std::max(0, width);
  o->pen.lopnColor = color & 0xFFFFFF;
  return o;
}

ObjectPtr MakeBrush(UINT style, COLORREF color) {
  auto o = std::make_shared<Object>();
  o->kind = Kind::Brush;
  o->brush.lbStyle = style;
  o->brush.lbColor = color & 0xFFFFFF;
  return o;
}

ObjectPtr MakeFont(const LOGFONTA& lf) {
  auto o = std::make_shared<Object>();
  o->kind = Kind::Font;
  o->font = lf;
  o->qfont = BuildFont(lf);
  return o;
}

}  // namespace zuvo::platform::gdi

using namespace zuvo::platform::gdi;

HPEN CreatePen(int style, int width, COLORREF color) {
  if ((style & PS_STYLE_MASK) > PS_ALTERNATE) return nullptr;
  return GdiRegistry().Add(MakePen(style, width, color));
}

HPEN CreatePenIndirect(const LOGPEN* pen) {
  return pen == nullptr ? nullptr : CreatePen(static_cast<int>(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color) { return GdiRegistry().Add(MakeBrush(BS_SOLID, color)); }

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
  if (brush == nullptr) return nullptr;
  // Hatched and pattern brushes are drawn as solid brushes of their colour.
  return GdiRegistry().Add(MakeBrush(brush->lbStyle == BS_NULL ? BS_NULL : BS_SOLID, brush->lbColor));
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR faceName) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic);
  lf.lfUnderline = static_cast<BYTE>(underline);
  lf.lfStrikeOut = static_cast<BYTE>(strikeOut);
  lf.lfCharSet = static_cast<BYTE>(charSet);
  lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (faceName != nullptr) {
    std::size_t n = gbk::CutLength(faceName, LF_FACESIZE - 1);
    std::memcpy(lf.lfFaceName, faceName, n);
  }
  return CreateFontIndirectA(&lf);
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (font == nullptr || !zuvo::platform::EnsureApplication()) return nullptr;
  LOGFONTA lf = *font;
  lf.lfFaceName[LF_FACESIZE - 1] = '\0';
  return GdiRegistry().Add(MakeFont(lf));
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  if (width < 1 || height < 1 || static_cast<long long>(width) * height > 64LL * 1024 * 1024) return nullptr;
  auto o = std::make_shared<Object>();
  o->kind = Kind::Bitmap;
  o->image = QImage(width, height, QImage::Format_RGB32);
  if (o->image.isNull()) return nullptr;
  o->image.fill(Qt::black);
  return GdiRegistry().Add(o);
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, width, height);
  ObjectPtr o = GdiRegistry().Find(bitmap);
  if (!o) return bitmap;
  if (planes <= 1 && bitsPerPixel == 1) {
    // Two colours: rows of whole 16-bit words, the leftmost pixel in the highest bit, 1 white.
    o->bitsPixel = 1;
    if (bits != nullptr) {
      const std::size_t stride = (static_cast<std::size_t>(width) + 15) / 16 * 2;
      for (int y = 0; y < height; ++y) {
        const auto* row = static_cast<const unsigned char*>(bits) + static_cast<std::size_t>(y) * stride;
        auto* line = reinterpret_cast<QRgb*>(o->image.scanLine(y));
        for (int x = 0; x < width; ++x) line[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? 0xFFFFFFFFu : 0xFF000000u;
      }
    }
  } else if (bits != nullptr && bitsPerPixel == 32) {
    for (int y = 0; y < height; ++y) {
      const auto* row = static_cast<const std::uint32_t*>(bits) + static_cast<std::size_t>(y) * width;
      auto* line = reinterpret_cast<QRgb*>(o->image.scanLine(y));
      for (int x = 0; x < width; ++x) line[x] = 0xFF000000u | (row[x] & 0xFFFFFF);
    }
  }
  return bitmap;
}

HGDIOBJ GetStockObject(int index) {
  Registry& registry = GdiRegistry();
  return registry.HandleOf(registry.Stock(index));
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  Registry& registry = GdiRegistry();
  DcPtr context = registry.FindContext(dc);
  ObjectPtr o = registry.Find(object);
  if (!context || !o) return nullptr;
  DcState& st = context->State();
  ObjectPtr* slot = nullptr;
  switch (o->kind) {
    case Kind::Pen: slot = &st.pen; break;
    case Kind::Brush: slot = &st.brush; break;
    case Kind::Font: slot = &st.font; break;
    case Kind::Bitmap:
      if (!context->memory()) return nullptr;
      slot = &st.bitmap;
      break;
    case Kind::Palette: return nullptr;   // palettes go in with SelectPalette
  }
  ObjectPtr previous = *slot;
  *slot = o;
  HGDIOBJ handle = registry.HandleOf(previous);
  if (handle == nullptr && previous) {
    // The previous object was deleted while selected: hand back a handle for it so that
    // selecting it back works.
    handle = registry.Add(previous);
  }
  return handle;
}

BOOL DeleteObject(HGDIOBJ object) { return GdiRegistry().Delete(object) ? TRUE : FALSE; }

int GetObjectA(HGDIOBJ object, int size, void* buffer) {
  ObjectPtr o = GdiRegistry().Find(object);
  if (!o) return 0;
  auto copy = [&](const void* data, int bytes) {
    if (buffer == nullptr) return bytes;
    if (size < bytes) return 0;
    std::memcpy(buffer, data, static_cast<std::size_t>(bytes));
    return bytes;
  };
  switch (o->kind) {
    case Kind::Pen: return copy(&o->pen, sizeof(LOGPEN));
    case Kind::Brush: return copy(&o->brush, sizeof(LOGBRUSH));
    case Kind::Font: return copy(&o->font, sizeof(LOGFONTA));
    case Kind::Bitmap: {
      const LONG width = o->image.width();
      const bool mono = o->bitsPixel == 1;
      BITMAP bm{0, width, o->image.height(), mono ? (width + 15) / 16 * 2 : width * 4, 1,
                static_cast<WORD>(mono ? 1 : 32), nullptr};
      return copy(&bm, sizeof(BITMAP));
    }
    case Kind::Palette: {
      const WORD entries = 20;   // the default palette's system colours
      return copy(&entries, sizeof(WORD));
    }
  }
  return 0;
}

DWORD GetObjectType(HGDIOBJ object) {
  Registry& registry = GdiRegistry();
  ObjectPtr o = registry.Find(object);
  if (!o) {
    DcPtr context = registry.FindContext(reinterpret_cast<HDC>(object));
    if (!context) return 0;
    return context->memory() ? OBJ_MEMDC : OBJ_DC;
  }
  switch (o->kind) {
    case Kind::Pen: return OBJ_PEN;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Font: return OBJ_FONT;
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Palette: return OBJ_PAL;
  }
  return 0;
}

HGDIOBJ GetCurrentObject(HDC dc, UINT type) {
  Registry& registry = GdiRegistry();
  DcPtr context = registry.FindContext(dc);
  if (!context) return nullptr;
  const DcState& st = context->State();
  switch (type) {
    case OBJ_PEN: return registry.HandleOf(st.pen);
    case OBJ_BRUSH: return registry.HandleOf(st.brush);
    case OBJ_FONT: return registry.HandleOf(st.font);
    case OBJ_BITMAP: return registry.HandleOf(st.bitmap);
    case OBJ_PAL: return registry.HandleOf(st.palette);
    default: return nullptr;
  }
}
