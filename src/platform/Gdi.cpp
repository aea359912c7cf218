#include "platform/Gdi.h"
#include "platform/WinUser.h"

#include "platform/Application.h"
#include "platform/Text.h"
#include "platform/Window.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::gdi {
namespace {

enum class Kind { Pen, Brush, Font, Bitmap };

struct Object {
  Kind kind;
  bool stock = false;
  LOGPEN pen{};
  LOGBRUSH brush{};
  LOGFONTA font{};
  QFont qfont;
  QImage image;   // bitmaps
  std::uintptr_t id = 0;   // its handle while registered
};
using ObjectPtr = std::shared_ptr<Object>;

struct State {
  ObjectPtr pen, brush, font, bitmap;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
  UINT textAlign = TA_LEFT | TA_TOP;
  POINT position{0, 0};
  POINT viewportOrg{0, 0};
  POINT windowOrg{0, 0};
  bool clipped = false;
  QRect clip;   // device coordinates, when clipped
};

struct Dc {
  HWND window = nullptr;   // window contexts
  bool memory = false;
  bool screen = false;
  QRect paintClip;         // BeginPaint's update area (device), empty = none
  bool hasPaintClip = false;
  State state;
  std::vector<State> saved;
};

std::mutex registryMutex;
std::map<std::uintptr_t, ObjectPtr> objects;
std::map<std::uintptr_t, std::shared_ptr<Dc>> contexts;
// Objects and contexts draw their handles from one counter and no handle is ever reused, so a
// context's handle can never also name an object (a program that makes a few pens per paint
// would otherwise reach the contexts' range within hours).
std::uintptr_t nextHandleValue = 0x100000;
std::map<int, ObjectPtr> stockObjects;
// The 1x1 bitmap every memory context starts with, one for all of them as on Windows: a context
// that selects a bitmap and back hands out this handle, and nothing is registered per context.
ObjectPtr defaultBitmap;
QImage screenImage(1, 1, QImage::Format_RGB32);

constexpr std::uintptr_t kSysColorBrushLimit = 0x40;

ObjectPtr FindObject(HGDIOBJ handle) {
  std::lock_guard<std::mutex> lock(registryMutex);
  auto it = objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == objects.end() ? nullptr : it->second;
}

HGDIOBJ HandleOf(const ObjectPtr& object) {
  if (!object) return nullptr;
  std::lock_guard<std::mutex> lock(registryMutex);
  return reinterpret_cast<HGDIOBJ>(object->id);
}

HGDIOBJ Register(ObjectPtr object) {
  std::lock_guard<std::mutex> lock(registryMutex);
  std::uintptr_t id = nextHandleValue;
  nextHandleValue += 4;
  object->id = id;
  objects[id] = std::move(object);
  return reinterpret_cast<HGDIOBJ>(id);
}

std::shared_ptr<Dc> FindDc(HDC dc) {
  std::lock_guard<std::mutex> lock(registryMutex);
  auto it = contexts.find(reinterpret_cast<std::uintptr_t>(dc));
  return it == contexts.end() ? nullptr : it->second;
}

HDC RegisterDc(std::shared_ptr<Dc> dc) {
  std::lock_guard<std::mutex> lock(registryMutex);
  std::uintptr_t id = nextHandleValue;
  nextHandleValue += 4;
  contexts[id] = std::move(dc);
  return reinterpret_cast<HDC>(id);
}

QRgb ToRgb(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF FromRgb(QRgb c) { return RGB(static_cast<BYTE>(qRed(c)), static_cast<BYTE>(qGreen(c)), static_cast<BYTE>(qBlue(c))); }

// Mixes pen colour p with destination d (24-bit, 0xRRGGBB) by a ROP2 mode.
std::uint32_t Mix(int rop, std::uint32_t p, std::uint32_t d) {
  std::uint32_t r;
  switch (rop) {
    case R2_BLACK: r = 0; break;
    case R2_NOTMERGEPEN: r = ~(p | d); break;
    case R2_MASKNOTPEN: r = ~p & d; break;
    case R2_NOTCOPYPEN: r = ~p; break;
    case R2_MASKPENNOT: r = p & ~d; break;
    case R2_NOT: r = ~d; break;
    case R2_XORPEN: r = p ^ d; break;
    case R2_NOTMASKPEN: r = ~(p & d); break;
    case R2_MASKPEN: r = p & d; break;
    case R2_NOTXORPEN: r = ~(p ^ d); break;
    case R2_NOP: r = d; break;
    case R2_MERGENOTPEN: r = ~p | d; break;
    case R2_MERGEPENNOT: r = p | ~d; break;
    case R2_MERGEPEN: r = p | d; break;
    case R2_WHITE: r = 0xFFFFFF; break;
    default: r = p; break;   // R2_COPYPEN
  }
  return r & 0xFFFFFF;
}

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

ObjectPtr MakeFont(const LOGFONTA& lf) {
  auto o = std::make_shared<Object>();
  o->kind = Kind::Font;
  o->font = lf;
  o->qfont = BuildFont(lf);
  return o;
}

ObjectPtr OneByOneBitmap() {
  auto o = std::make_shared<Object>();
  o->kind = Kind::Bitmap;
  o->image = QImage(1, 1, QImage::Format_RGB32);
  o->image.fill(Qt::white);
  return o;
}

ObjectPtr Stock(int index) {
  platform::EnsureApplication();
  std::lock_guard<std::mutex> lock(registryMutex);
  auto it = stockObjects.find(index);
  if (it != stockObjects.end()) return it->second;
  return nullptr;
}

void InitStock() {
  static std::once_flag once;
  std::call_once(once, [] {
    platform::EnsureApplication();
    std::vector<std::pair<int, ObjectPtr>> made = {
        {WHITE_BRUSH, MakeBrush(BS_SOLID, RGB(255, 255, 255))},
        {LTGRAY_BRUSH, MakeBrush(BS_SOLID, RGB(192, 192, 192))},
        {GRAY_BRUSH, MakeBrush(BS_SOLID, RGB(128, 128, 128))},
        {DKGRAY_BRUSH, MakeBrush(BS_SOLID, RGB(64, 64, 64))},
        {BLACK_BRUSH, MakeBrush(BS_SOLID, RGB(0, 0, 0))},
        {NULL_BRUSH, MakeBrush(BS_NULL, 0)},
        {WHITE_PEN, MakePen(PS_SOLID, 1, RGB(255, 255, 255))},
        {BLACK_PEN, MakePen(PS_SOLID, 1, RGB(0, 0, 0))},
        {NULL_PEN, MakePen(PS_NULL, 1, 0)},
    };
    LOGFONTA lf{};
    lf.lfHeight = 16;
    lf.lfWeight = FW_BOLD;
    std::strcpy(lf.lfFaceName, "System");
    made.emplace_back(SYSTEM_FONT, MakeFont(lf));
    lf.lfHeight = -12;
    lf.lfWeight = FW_NORMAL;
    std::strcpy(lf.lfFaceName, "宋体");
    made.emplace_back(DEFAULT_GUI_FONT, MakeFont(lf));
    made.emplace_back(ANSI_VAR_FONT, MakeFont(lf));
    made.emplace_back(DEVICE_DEFAULT_FONT, MakeFont(lf));
    std::strcpy(lf.lfFaceName, "Courier New");
    made.emplace_back(ANSI_FIXED_FONT, MakeFont(lf));
    made.emplace_back(OEM_FIXED_FONT, MakeFont(lf));
    made.emplace_back(SYSTEM_FIXED_FONT, MakeFont(lf));
    for (auto& [index, object] : made) {
      object->stock = true;
      Register(object);
      std::lock_guard<std::mutex> lock(registryMutex);
      stockObjects[index] = object;
    }
    defaultBitmap = OneByOneBitmap();
    defaultBitmap->stock = true;
    Register(defaultBitmap);
  });
}

void InitState(State& s) {
  InitStock();
  s.pen = Stock(BLACK_PEN);
  s.brush = Stock(WHITE_BRUSH);
  s.font = Stock(SYSTEM_FONT);
}

// ---- Drawing surface of a context ------------------------------------------------------------

struct Surface {
  std::shared_ptr<Dc> dc;
  QImage* image = nullptr;
  QRect clip;   // device coordinates
  QPoint offset;   // device = logical + offset
  bool ok() const { return image != nullptr && !image->isNull(); }
  QPoint Device(int x, int y) const { return QPoint(x + offset.x(), y + offset.y()); }
};

Surface SurfaceOf(HDC handle) {
  Surface s;
  s.dc = FindDc(handle);
  if (!s.dc) return s;
  if (s.dc->window != nullptr) {
    s.image = platform::win::BackingImage(s.dc->window);
  } else if (s.dc->memory) {
    s.image = s.dc->state.bitmap ? &s.dc->state.bitmap->image : nullptr;
  } else if (s.dc->screen) {
    s.image = &screenImage;
  }
  if (s.image == nullptr) return s;
  const State& st = s.dc->state;
  s.offset = QPoint(st.viewportOrg.x - st.windowOrg.x, st.viewportOrg.y - st.windowOrg.y);
  s.clip = s.image->rect();
  if (s.dc->hasPaintClip) s.clip &= s.dc->paintClip;
  if (st.clipped) s.clip &= st.clip;
  return s;
}

void Changed(const Surface& s) {
  if (s.dc && s.dc->window != nullptr) platform::win::ImageChanged(s.dc->window);
}

inline void PutPixel(const Surface& s, int x, int y, int rop, std::uint32_t color) {
  if (!s.clip.contains(x, y)) return;
  auto* line = reinterpret_cast<QRgb*>(s.image->scanLine(y));
  std::uint32_t d = line[x] & 0xFFFFFF;
  line[x] = 0xFF000000u | Mix(rop, color, d);
}

std::uint32_t Rgb24(COLORREF c) { return ToRgb(c) & 0xFFFFFF; }

bool PenVisible(const State& st) {
  return st.pen && (st.pen->pen.lopnStyle & PS_STYLE_MASK) != PS_NULL;
}

bool BrushVisible(const State& st) { return st.brush && st.brush->brush.lbStyle != BS_NULL; }

int PenWidth(const State& st) { return st.pen ? std::max<int>(1, st.pen->pen.lopnWidth.x) : 1; }

// Dash pattern of a one-pixel pen: on/off lengths, starting with on.
std::vector<int> Pattern(UINT style) {
  switch (style & PS_STYLE_MASK) {
    case PS_DASH: return {18, 6};
    case PS_DOT: return {3, 3};
    case PS_DASHDOT: return {9, 6, 3, 6};
    case PS_DASHDOTDOT: return {9, 3, 3, 3, 3, 3};
    case PS_ALTERNATE: return {1, 1};
    default: return {};
  }
}

// One-pixel line from a to b (device), b excluded, through the ROP2 mode. Styled pens fill
// their gaps with the background colour when the mode is OPAQUE.
// The pixels are those of the classic Bresenham walk (error starting at half the major length),
// computed per step so that only the steps inside the clip are visited: a line running far off
// the image (a ray of a drawing tool, coordinates near the int limits) costs no more than one
// across it, and nothing overflows.
void ThinLine(const Surface& s, QPoint a, QPoint b) {
  const State& st = s.dc->state;
  std::uint32_t color = Rgb24(st.pen->pen.lopnColor);
  std::uint32_t gap = Rgb24(st.bkColor);
  std::vector<int> pattern = Pattern(st.pen->pen.lopnStyle);
  const long long dx = std::llabs(static_cast<long long>(b.x()) - a.x());
  const long long dy = std::llabs(static_cast<long long>(b.y()) - a.y());
  const bool xMajor = dx > dy;
  const long long major = xMajor ? dx : dy;   // number of pixels (the end point is left out)
  const long long minor = xMajor ? dy : dx;
  if (major == 0 || s.clip.isEmpty()) return;
  const long long majorStart = xMajor ? a.x() : a.y();
  const long long minorStart = xMajor ? a.y() : a.x();
  const int majorStep = (xMajor ? a.x() < b.x() : a.y() < b.y()) ? 1 : -1;
  const int minorStep = (xMajor ? a.y() < b.y() : a.x() < b.x()) ? 1 : -1;
  // Steps whose major coordinate lies inside the clip.
  const long long clipLow = xMajor ? s.clip.left() : s.clip.top();
  const long long clipHigh = xMajor ? s.clip.right() : s.clip.bottom();
  long long first = 0, last = major - 1;
  if (majorStep > 0) {
    first = std::max(first, clipLow - majorStart);
    last = std::min(last, clipHigh - majorStart);
  } else {
    first = std::max(first, majorStart - clipHigh);
    last = std::min(last, majorStart - clipLow);
  }
  long long period = 0;
  for (int length : pattern) period += length;
  const long long error0 = major / 2;
  for (long long i = first; i <= last; ++i) {
    // After i steps the error is (error0 - i*minor) mod major, and the minor coordinate has
    // moved once for every major it wrapped.
    const __int128 travelled = static_cast<__int128>(i) * minor;
    const long long error = static_cast<long long>(((error0 - travelled) % major + major) % major);
    const long long moves = static_cast<long long>((error - error0 + travelled) / major);
    bool on = true;
    if (period > 0) {
      long long position = i % period;
      std::size_t segment = 0;
      while (position >= pattern[segment]) position -= pattern[segment++];
      on = segment % 2 == 0;
    }
    const long long majorAt = majorStart + majorStep * i;
    const long long minorAt = minorStart + minorStep * moves;
    const long long x = xMajor ? majorAt : minorAt;
    const long long y = xMajor ? minorAt : majorAt;
    if (y < s.clip.top() || y > s.clip.bottom() || x < s.clip.left() || x > s.clip.right()) continue;
    if (on) {
      PutPixel(s, static_cast<int>(x), static_cast<int>(y), st.rop2, color);
    } else if (st.bkMode == OPAQUE) {
      PutPixel(s, static_cast<int>(x), static_cast<int>(y), st.rop2, gap);
    }
  }
}

// Applies a colour through the ROP2 mode to every pixel covered by a mask (ARGB image placed at
// `origin`, device), skipping pixels also covered by `exclude` when given.
void ApplyMask(const Surface& s, const QImage& mask, QPoint origin, std::uint32_t color, int rop,
               const QImage* exclude = nullptr) {
  for (int my = 0; my < mask.height(); ++my) {
    const auto* m = reinterpret_cast<const QRgb*>(mask.constScanLine(my));
    const auto* e = exclude ? reinterpret_cast<const QRgb*>(exclude->constScanLine(my)) : nullptr;
    for (int mx = 0; mx < mask.width(); ++mx) {
      if (qAlpha(m[mx]) == 0) continue;
      if (e != nullptr && qAlpha(e[mx]) != 0) continue;
      PutPixel(s, origin.x() + mx, origin.y() + my, rop, color);
    }
  }
}

// Draws a shape with pen and brush through the ROP2 mode; `path` is in device coordinates.
// The outline of a one-pixel pen is the path's outline drawn with a cosmetic pen.
void DrawShape(const Surface& s, const QPainterPath& path, bool fill) {
  const State& st = s.dc->state;
  bool pen = PenVisible(st);
  bool brush = fill && BrushVisible(st);
  if (!pen && !brush) return;
  int width = PenWidth(st);
  QRect bounds = path.boundingRect().toAlignedRect().adjusted(-width - 1, -width - 1, width + 1, width + 1);
  bounds &= s.clip;
  if (bounds.isEmpty()) return;
  QImage penMask(bounds.size(), QImage::Format_ARGB32);
  penMask.fill(Qt::transparent);
  QImage fillMask(bounds.size(), QImage::Format_ARGB32);
  fillMask.fill(Qt::transparent);
  QPainterPath local = path.translated(-bounds.topLeft());
  if (brush) {
    QPainter p(&fillMask);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillPath(local, Qt::black);
  }
  if (pen) {
    QPainter p(&penMask);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen qpen(Qt::black);
    qpen.setWidth(width == 1 ? 0 : width);
    qpen.setJoinStyle(Qt::RoundJoin);
    qpen.setCapStyle(Qt::RoundCap);
    UINT style = st.pen->pen.lopnStyle & PS_STYLE_MASK;
    if (style == PS_DOT) qpen.setStyle(Qt::DotLine);
    if (style == PS_DASH) qpen.setStyle(Qt::DashLine);
    if (style == PS_DASHDOT) qpen.setStyle(Qt::DashDotLine);
    if (style == PS_DASHDOTDOT) qpen.setStyle(Qt::DashDotDotLine);
    p.setPen(qpen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(local);
  }
  if (brush) ApplyMask(s, fillMask, bounds.topLeft(), Rgb24(st.brush->brush.lbColor), st.rop2, pen ? &penMask : nullptr);
  if (pen) ApplyMask(s, penMask, bounds.topLeft(), Rgb24(st.pen->pen.lopnColor), st.rop2);
  Changed(s);
}

QRectF BoxOf(const Surface& s, int left, int top, int right, int bottom) {
  QPoint a = s.Device(std::min(left, right), std::min(top, bottom));
  QPoint b = s.Device(std::max(left, right), std::max(top, bottom));
  // The outline runs through the centres of the pixels left..right-1.
  return QRectF(a.x(), a.y(), std::max(0, b.x() - a.x() - 1), std::max(0, b.y() - a.y() - 1));
}

// Fills a device rectangle with a colour, copying (no ROP2).
void FillDevice(const Surface& s, QRect area, std::uint32_t color) {
  area &= s.clip;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(s.image->scanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) line[x] = 0xFF000000u | color;
  }
}

QRect DeviceRect(const Surface& s, const RECT& r) {
  QPoint a = s.Device(r.left, r.top);
  QPoint b = s.Device(r.right, r.bottom);
  if (b.x() <= a.x() || b.y() <= a.y()) return QRect();
  return QRect(a, QPoint(b.x() - 1, b.y() - 1));
}

ObjectPtr BrushObject(HBRUSH brush) {
  auto value = reinterpret_cast<std::uintptr_t>(brush);
  if (value > 0 && value <= kSysColorBrushLimit) {
    // Built once: windows erase and fill with these on every paint.
    static const std::vector<ObjectPtr> sysColorBrushes = [] {
      std::vector<ObjectPtr> brushes;
      for (std::uintptr_t index = 0; index < kSysColorBrushLimit; ++index)
        brushes.push_back(MakeBrush(BS_SOLID, GetSysColor(static_cast<int>(index))));
      return brushes;
    }();
    return sysColorBrushes[value - 1];
  }
  ObjectPtr o = FindObject(brush);
  return o && o->kind == Kind::Brush ? o : nullptr;
}

QString Utf16(LPCSTR text, int count) {
  if (text == nullptr) return QString();
  std::size_t n = count < 0 ? std::strlen(text) : static_cast<std::size_t>(count);
  return QString::fromStdU16String(gbk::ToUtf16(std::string_view(text, n)));
}

QFont FontOf(const State& st) {
  return st.font ? st.font->qfont : QFont(QStringLiteral("WenQuanYi Micro Hei"));
}

// Draws one line of text with its cell's top-left at the device point.
void DrawTextLine(const Surface& s, QPoint topLeft, const QString& text, const QRect* clip) {
  const State& st = s.dc->state;
  QFont font = FontOf(st);
  QFontMetrics metrics(font);
  int width = metrics.horizontalAdvance(text);
  QPainter p(s.image);
  QRect area = clip ? (*clip & s.clip) : s.clip;
  p.setClipRect(area);
  if (st.bkMode == OPAQUE) p.fillRect(QRect(topLeft.x(), topLeft.y(), width, metrics.height()), QColor(ToRgb(st.bkColor)));
  p.setFont(font);
  p.setPen(QColor(ToRgb(st.textColor)));
  p.drawText(QPoint(topLeft.x(), topLeft.y() + metrics.ascent()), text);
}

}  // namespace

HDC CreateWindowDc(HWND window, const QRect* clip) {
  InitStock();
  auto dc = std::make_shared<Dc>();
  dc->window = window;
  dc->screen = window == nullptr;
  if (clip != nullptr) {
    dc->hasPaintClip = true;
    dc->paintClip = *clip;
  }
  InitState(dc->state);
  return RegisterDc(dc);
}

void DeleteWindowDc(HDC handle) {
  std::lock_guard<std::mutex> lock(registryMutex);
  auto it = contexts.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it != contexts.end() && !it->second->memory) contexts.erase(it);
}

bool BrushColor(HBRUSH brush, COLORREF* color) {
  ObjectPtr o = BrushObject(brush);
  if (!o || o->brush.lbStyle == BS_NULL) return false;
  if (color != nullptr) *color = o->brush.lbColor;
  return true;
}

QColor ToQColor(COLORREF color) { return QColor(ToRgb(color)); }

}  // namespace platform::gdi

using namespace platform::gdi;

// ---- Objects ----------------------------------------------------------------------------------

HPEN CreatePen(int style, int width, COLORREF color) {
  if ((style & PS_STYLE_MASK) > PS_ALTERNATE) return nullptr;
  return Register(MakePen(style, width, color));
}

HPEN CreatePenIndirect(const LOGPEN* pen) {
  return pen == nullptr ? nullptr : CreatePen(static_cast<int>(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color) { return Register(MakeBrush(BS_SOLID, color)); }

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
  if (brush == nullptr) return nullptr;
  // Hatched and pattern brushes are drawn as solid brushes of their colour.
  return Register(MakeBrush(brush->lbStyle == BS_NULL ? BS_NULL : BS_SOLID, brush->lbColor));
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
  if (font == nullptr || !platform::EnsureApplication()) return nullptr;
  LOGFONTA lf = *font;
  lf.lfFaceName[LF_FACESIZE - 1] = '\0';
  return Register(MakeFont(lf));
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  if (width < 1 || height < 1 || static_cast<long long>(width) * height > 64LL * 1024 * 1024) return nullptr;
  auto o = std::make_shared<Object>();
  o->kind = Kind::Bitmap;
  o->image = QImage(width, height, QImage::Format_RGB32);
  if (o->image.isNull()) return nullptr;
  o->image.fill(Qt::black);
  return Register(o);
}

HBITMAP CreateBitmap(int width, int height, UINT, UINT bitsPerPixel, const void* bits) {
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, width, height);
  ObjectPtr o = FindObject(bitmap);
  if (o && bits != nullptr && bitsPerPixel == 32) {
    for (int y = 0; y < height; ++y) {
      const auto* row = static_cast<const std::uint32_t*>(bits) + static_cast<std::size_t>(y) * width;
      auto* line = reinterpret_cast<QRgb*>(o->image.scanLine(y));
      for (int x = 0; x < width; ++x) line[x] = 0xFF000000u | (row[x] & 0xFFFFFF);
    }
  }
  return bitmap;
}

HGDIOBJ GetStockObject(int index) {
  InitStock();
  ObjectPtr o = Stock(index);
  return HandleOf(o);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  auto context = FindDc(dc);
  ObjectPtr o = FindObject(object);
  if (!context || !o) return nullptr;
  State& st = context->state;
  ObjectPtr* slot = nullptr;
  switch (o->kind) {
    case Kind::Pen: slot = &st.pen; break;
    case Kind::Brush: slot = &st.brush; break;
    case Kind::Font: slot = &st.font; break;
    case Kind::Bitmap:
      if (!context->memory) return nullptr;
      slot = &st.bitmap;
      break;
  }
  ObjectPtr previous = *slot;
  *slot = o;
  HGDIOBJ handle = HandleOf(previous);
  if (handle == nullptr && previous) {
    // The previous object was deleted while selected: hand back a handle for it so that
    // selecting it back works.
    handle = Register(previous);
  }
  return handle;
}

BOOL DeleteObject(HGDIOBJ object) {
  std::lock_guard<std::mutex> lock(registryMutex);
  auto it = objects.find(reinterpret_cast<std::uintptr_t>(object));
  if (it == objects.end()) return FALSE;
  if (it->second->stock) return TRUE;
  it->second->id = 0;
  objects.erase(it);
  return TRUE;
}

int GetObjectA(HGDIOBJ object, int size, void* buffer) {
  ObjectPtr o = FindObject(object);
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
      BITMAP bm{0, o->image.width(), o->image.height(), o->image.width() * 4, 1, 32, nullptr};
      return copy(&bm, sizeof(BITMAP));
    }
  }
  return 0;
}

DWORD GetObjectType(HGDIOBJ object) {
  ObjectPtr o = FindObject(object);
  if (!o) {
    auto context = FindDc(reinterpret_cast<HDC>(object));
    if (!context) return 0;
    return context->memory ? OBJ_MEMDC : OBJ_DC;
  }
  switch (o->kind) {
    case Kind::Pen: return OBJ_PEN;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Font: return OBJ_FONT;
    case Kind::Bitmap: return OBJ_BITMAP;
  }
  return 0;
}

HGDIOBJ GetCurrentObject(HDC dc, UINT type) {
  auto context = FindDc(dc);
  if (!context) return nullptr;
  switch (type) {
    case OBJ_PEN: return HandleOf(context->state.pen);
    case OBJ_BRUSH: return HandleOf(context->state.brush);
    case OBJ_FONT: return HandleOf(context->state.font);
    case OBJ_BITMAP: return HandleOf(context->state.bitmap);
    default: return nullptr;
  }
}

// ---- Contexts ---------------------------------------------------------------------------------

HDC CreateCompatibleDC(HDC) {
  if (!platform::EnsureApplication()) return nullptr;
  InitStock();
  auto dc = std::make_shared<Dc>();
  dc->memory = true;
  InitState(dc->state);
  dc->state.bitmap = defaultBitmap;
  return RegisterDc(dc);
}

BOOL DeleteDC(HDC dc) {
  std::lock_guard<std::mutex> lock(registryMutex);
  return contexts.erase(reinterpret_cast<std::uintptr_t>(dc)) > 0 ? TRUE : FALSE;
}

int SaveDC(HDC dc) {
  auto context = FindDc(dc);
  if (!context) return 0;
  context->saved.push_back(context->state);
  return static_cast<int>(context->saved.size());
}

BOOL RestoreDC(HDC dc, int level) {
  auto context = FindDc(dc);
  if (!context || context->saved.empty()) return FALSE;
  int count = static_cast<int>(context->saved.size());
  int index = level < 0 ? count + level : level - 1;
  if (index < 0 || index >= count) return FALSE;
  context->state = context->saved[static_cast<std::size_t>(index)];
  context->saved.resize(static_cast<std::size_t>(index));
  return TRUE;
}

int SetROP2(HDC dc, int mode) {
  auto context = FindDc(dc);
  if (!context || mode < R2_BLACK || mode > R2_WHITE) return 0;
  int old = context->state.rop2;
  context->state.rop2 = mode;
  return old;
}

int GetROP2(HDC dc) {
  auto context = FindDc(dc);
  return context ? context->state.rop2 : 0;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
  auto context = FindDc(dc);
  if (!context) return CLR_INVALID;
  COLORREF old = context->state.textColor;
  context->state.textColor = color & 0xFFFFFF;
  return old;
}

COLORREF GetTextColor(HDC dc) {
  auto context = FindDc(dc);
  return context ? context->state.textColor : CLR_INVALID;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
  auto context = FindDc(dc);
  if (!context) return CLR_INVALID;
  COLORREF old = context->state.bkColor;
  context->state.bkColor = color & 0xFFFFFF;
  return old;
}

COLORREF GetBkColor(HDC dc) {
  auto context = FindDc(dc);
  return context ? context->state.bkColor : CLR_INVALID;
}

int SetBkMode(HDC dc, int mode) {
  auto context = FindDc(dc);
  if (!context || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = context->state.bkMode;
  context->state.bkMode = mode;
  return old;
}

int GetBkMode(HDC dc) {
  auto context = FindDc(dc);
  return context ? context->state.bkMode : 0;
}

UINT SetTextAlign(HDC dc, UINT align) {
  auto context = FindDc(dc);
  if (!context) return GDI_ERROR;
  UINT old = context->state.textAlign;
  context->state.textAlign = align;
  return old;
}

UINT GetTextAlign(HDC dc) {
  auto context = FindDc(dc);
  return context ? context->state.textAlign : GDI_ERROR;
}

BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* previous) {
  auto context = FindDc(dc);
  if (!context) return FALSE;
  if (previous != nullptr) *previous = context->state.viewportOrg;
  context->state.viewportOrg = POINT{x, y};
  return TRUE;
}

BOOL GetViewportOrgEx(HDC dc, POINT* origin) {
  auto context = FindDc(dc);
  if (!context || origin == nullptr) return FALSE;
  *origin = context->state.viewportOrg;
  return TRUE;
}

BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* previous) {
  auto context = FindDc(dc);
  if (!context) return FALSE;
  if (previous != nullptr) *previous = context->state.windowOrg;
  context->state.windowOrg = POINT{x, y};
  return TRUE;
}

BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* previous) {
  auto context = FindDc(dc);
  if (!context) return FALSE;
  if (previous != nullptr) *previous = context->state.viewportOrg;
  context->state.viewportOrg.x += dx;
  context->state.viewportOrg.y += dy;
  return TRUE;
}

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
  Surface s = SurfaceOf(dc);
  if (!s.dc) return ERROR;
  RECT r{left, top, right, bottom};
  QRect area = DeviceRect(s, r);
  State& st = s.dc->state;
  st.clip = st.clipped ? (st.clip & area) : area;
  st.clipped = true;
  return st.clip.isEmpty() ? NULLREGION : SIMPLEREGION;
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
  Surface s = SurfaceOf(dc);
  if (!s.dc || !s.ok()) return ERROR;
  // The clip is kept as one rectangle: an excluded band along one side shrinks it; anything
  // else leaves it as it is.
  RECT r{left, top, right, bottom};
  QRect cut = DeviceRect(s, r);
  State& st = s.dc->state;
  QRect clip = st.clipped ? st.clip : s.image->rect();
  if (cut.top() <= clip.top() && cut.bottom() >= clip.bottom()) {
    if (cut.left() <= clip.left() && cut.right() >= clip.left()) clip.setLeft(cut.right() + 1);
    else if (cut.right() >= clip.right() && cut.left() <= clip.right()) clip.setRight(cut.left() - 1);
  } else if (cut.left() <= clip.left() && cut.right() >= clip.right()) {
    if (cut.top() <= clip.top() && cut.bottom() >= clip.top()) clip.setTop(cut.bottom() + 1);
    else if (cut.bottom() >= clip.bottom() && cut.top() <= clip.bottom()) clip.setBottom(cut.top() - 1);
  }
  st.clip = clip;
  st.clipped = true;
  return clip.isEmpty() ? NULLREGION : SIMPLEREGION;
}

int GetClipBox(HDC dc, RECT* rect) {
  Surface s = SurfaceOf(dc);
  if (!s.ok() || rect == nullptr) return ERROR;
  QRect c = s.clip;
  *rect = RECT{c.left() - s.offset.x(), c.top() - s.offset.y(), c.left() + c.width() - s.offset.x(),
               c.top() + c.height() - s.offset.y()};
  return c.isEmpty() ? NULLREGION : SIMPLEREGION;
}

int SelectClipRgn(HDC dc, HRGN region) {
  auto context = FindDc(dc);
  if (!context) return ERROR;
  if (region == nullptr) context->state.clipped = false;
  return SIMPLEREGION;
}

// ---- Drawing ----------------------------------------------------------------------------------

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
  auto context = FindDc(dc);
  if (!context) return FALSE;
  if (previous != nullptr) *previous = context->state.position;
  context->state.position = POINT{x, y};
  return TRUE;
}

BOOL GetCurrentPositionEx(HDC dc, POINT* position) {
  auto context = FindDc(dc);
  if (!context || position == nullptr) return FALSE;
  *position = context->state.position;
  return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  State& st = s.dc->state;
  POINT from = st.position;
  st.position = POINT{x, y};
  if (!PenVisible(st)) return TRUE;
  if (PenWidth(st) <= 1) {
    ThinLine(s, s.Device(from.x, from.y), s.Device(x, y));
    Changed(s);
  } else {
    QPainterPath path(s.Device(from.x, from.y));
    path.lineTo(s.Device(x, y));
    DrawShape(s, path, false);
  }
  return TRUE;
}

BOOL Polyline(HDC dc, const POINT* points, int count) {
  if (points == nullptr || count < 2) return FALSE;
  auto context = FindDc(dc);
  if (!context) return FALSE;
  POINT saved = context->state.position;
  MoveToEx(dc, points[0].x, points[0].y, nullptr);
  for (int i = 1; i < count; ++i) LineTo(dc, points[i].x, points[i].y);
  context->state.position = saved;
  return TRUE;
}

BOOL PolylineTo(HDC dc, const POINT* points, int count) {
  if (points == nullptr || count < 1 || !FindDc(dc)) return FALSE;
  for (int i = 0; i < count; ++i) LineTo(dc, points[i].x, points[i].y);
  return TRUE;
}

namespace {
// Fills the device pixels [left, right) x [top, bottom) that lie inside the clip through the
// ROP2 mode. Works on the clipped part only, so a rectangle far larger than the image costs
// what the image does.
void FillThroughRop(const Surface& s, long long left, long long top, long long right, long long bottom,
                    std::uint32_t color, int rop) {
  const long long x0 = std::max<long long>(left, s.clip.left());
  const long long x1 = std::min<long long>(right - 1, s.clip.right());
  const long long y0 = std::max<long long>(top, s.clip.top());
  const long long y1 = std::min<long long>(bottom - 1, s.clip.bottom());
  for (long long y = y0; y <= y1; ++y) {
    for (long long x = x0; x <= x1; ++x) PutPixel(s, static_cast<int>(x), static_cast<int>(y), rop, color);
  }
}
}  // namespace

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  const State& st = s.dc->state;
  int l = std::min(left, right), r = std::max(left, right);
  int t = std::min(top, bottom), b = std::max(top, bottom);
  // Sizes in 64 bits: the corners may be anywhere in the int range.
  const long long width = static_cast<long long>(r) - l;
  const long long height = static_cast<long long>(b) - t;
  const QPoint origin = s.Device(0, 0);
  const long long dl = static_cast<long long>(l) + origin.x(), dt = static_cast<long long>(t) + origin.y();
  bool pen = PenVisible(st);
  if (pen && PenWidth(st) <= 1) {
    if (BrushVisible(st) && width > 2 && height > 2) {
      FillThroughRop(s, dl + 1, dt + 1, dl + width - 1, dt + height - 1, Rgb24(st.brush->brush.lbColor), st.rop2);
    }
    if (width >= 1 && height >= 1) {
      // The outline as a closed path with each corner drawn once.
      QPoint p[5] = {s.Device(l, t), s.Device(r - 1, t), s.Device(r - 1, b - 1), s.Device(l, b - 1), s.Device(l, t)};
      if (width == 1 || height == 1) {
        ThinLine(s, p[0], p[2] + QPoint(width == 1 ? 0 : 1, height == 1 ? 0 : 1));
      } else {
        for (int i = 0; i < 4; ++i) ThinLine(s, p[i], p[i + 1]);
      }
    }
    Changed(s);
    return TRUE;
  }
  if (!pen) {
    // Without a pen the filled area is one pixel smaller in each direction.
    if (BrushVisible(st) && width > 1 && height > 1) {
      FillThroughRop(s, dl, dt, dl + width - 1, dt + height - 1, Rgb24(st.brush->brush.lbColor), st.rop2);
      Changed(s);
    }
    return TRUE;
  }
  QPainterPath path;
  path.addRect(BoxOf(s, l, t, r, b));
  DrawShape(s, path, true);
  return TRUE;
}

BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  QPainterPath path;
  path.addRoundedRect(BoxOf(s, left, top, right, bottom), cornerWidth / 2.0, cornerHeight / 2.0);
  DrawShape(s, path, true);
  return TRUE;
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  QPainterPath path;
  path.addEllipse(BoxOf(s, left, top, right, bottom));
  DrawShape(s, path, true);
  return TRUE;
}

BOOL Polygon(HDC dc, const POINT* points, int count) {
  Surface s = SurfaceOf(dc);
  if (!s.ok() || points == nullptr || count < 2) return FALSE;
  QPolygonF polygon;
  for (int i = 0; i < count; ++i) polygon << QPointF(s.Device(points[i].x, points[i].y));
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  path.addPolygon(polygon);
  path.closeSubpath();
  DrawShape(s, path, true);
  return TRUE;
}

namespace {
double AngleOf(const QRectF& box, int x, int y, QPoint offset) {
  QPointF c = box.center();
  return std::atan2(-(y + offset.y() - c.y()), x + offset.x() - c.x()) * 180.0 / M_PI;
}

BOOL ArcShape(HDC dc, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2, bool pie) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  QRectF box = BoxOf(s, left, top, right, bottom);
  // Arcs run counter-clockwise from the first radial to the second.
  double start = AngleOf(box, x1, y1, s.offset);
  double end = AngleOf(box, x2, y2, s.offset);
  double sweep = end - start;
  if (sweep <= 0) sweep += 360.0;
  QPainterPath path;
  if (pie) {
    path.moveTo(box.center());
    path.arcTo(box, start, sweep);
    path.closeSubpath();
  } else {
    path.arcMoveTo(box, start);
    path.arcTo(box, start, sweep);
  }
  DrawShape(s, path, pie);
  return TRUE;
}
}  // namespace

BOOL Pie(HDC dc, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2) {
  return ArcShape(dc, left, top, right, bottom, x1, y1, x2, y2, true);
}

BOOL Arc(HDC dc, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2) {
  return ArcShape(dc, left, top, right, bottom, x1, y1, x2, y2, false);
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  Surface s = SurfaceOf(dc);
  ObjectPtr b = BrushObject(brush);
  if (!s.ok() || rect == nullptr || !b) return 0;
  if (b->brush.lbStyle == BS_NULL) return 1;
  FillDevice(s, DeviceRect(s, *rect), Rgb24(b->brush.lbColor));
  Changed(s);
  return 1;
}

int FrameRect(HDC dc, const RECT* rect, HBRUSH brush) {
  Surface s = SurfaceOf(dc);
  ObjectPtr b = BrushObject(brush);
  if (!s.ok() || rect == nullptr || !b) return 0;
  QRect area = DeviceRect(s, *rect);
  if (area.isEmpty() || b->brush.lbStyle == BS_NULL) return 1;
  std::uint32_t color = Rgb24(b->brush.lbColor);
  FillDevice(s, QRect(area.left(), area.top(), area.width(), 1), color);
  FillDevice(s, QRect(area.left(), area.bottom(), area.width(), 1), color);
  FillDevice(s, QRect(area.left(), area.top(), 1, area.height()), color);
  FillDevice(s, QRect(area.right(), area.top(), 1, area.height()), color);
  Changed(s);
  return 1;
}

BOOL InvertRect(HDC dc, const RECT* rect) {
  Surface s = SurfaceOf(dc);
  if (!s.ok() || rect == nullptr) return FALSE;
  QRect area = DeviceRect(s, *rect) & s.clip;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(s.image->scanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) line[x] = 0xFF000000u | (~line[x] & 0xFFFFFF);
  }
  Changed(s);
  return TRUE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return CLR_INVALID;
  QPoint p = s.Device(x, y);
  if (!s.clip.contains(p)) return CLR_INVALID;
  PutPixel(s, p.x(), p.y(), R2_COPYPEN, Rgb24(color));
  Changed(s);
  return color & 0xFFFFFF;
}

BOOL SetPixelV(HDC dc, int x, int y, COLORREF color) { return SetPixel(dc, x, y, color) != CLR_INVALID; }

COLORREF GetPixel(HDC dc, int x, int y) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return CLR_INVALID;
  QPoint p = s.Device(x, y);
  if (!s.image->rect().contains(p)) return CLR_INVALID;
  return FromRgb(reinterpret_cast<const QRgb*>(s.image->constScanLine(p.y()))[p.x()]);
}

// ---- Text -------------------------------------------------------------------------------------

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count) {
  return ExtTextOutA(dc, x, y, 0, nullptr, text, count < 0 ? 0 : static_cast<UINT>(count), nullptr);
}

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const int*) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  State& st = s.dc->state;
  QRect box = rect ? DeviceRect(s, *rect) : QRect();
  if ((options & ETO_OPAQUE) && rect != nullptr) FillDevice(s, box, Rgb24(st.bkColor));
  if (text == nullptr || count == 0) {
    Changed(s);
    return TRUE;
  }
  QString str = Utf16(text, static_cast<int>(count));
  QFontMetrics metrics(FontOf(st));
  int width = metrics.horizontalAdvance(str);
  int px = x, py = y;
  if (st.textAlign & TA_UPDATECP) {
    px = st.position.x;
    py = st.position.y;
  }
  UINT horizontal = st.textAlign & TA_CENTER;
  if (horizontal == TA_CENTER) px -= width / 2;
  else if (horizontal == TA_RIGHT) px -= width;
  UINT vertical = st.textAlign & TA_BASELINE;
  if (vertical == TA_BASELINE) py -= metrics.ascent();
  else if (vertical == TA_BOTTOM) py -= metrics.height();
  DrawTextLine(s, s.Device(px, py), str, (options & ETO_CLIPPED) && rect ? &box : nullptr);
  if (st.textAlign & TA_UPDATECP) st.position.x = horizontal == TA_RIGHT ? px : px + width;
  Changed(s);
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size) {
  auto context = FindDc(dc);
  if (!context || size == nullptr || count < 0) return FALSE;
  QFontMetrics metrics(FontOf(context->state));
  size->cx = text == nullptr ? 0 : metrics.horizontalAdvance(Utf16(text, count));
  size->cy = metrics.height();
  return TRUE;
}

BOOL GetTextExtentPointA(HDC dc, LPCSTR text, int count, SIZE* size) {
  return GetTextExtentPoint32A(dc, text, count, size);
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  auto context = FindDc(dc);
  if (!context || metrics == nullptr) return FALSE;
  QFont font = FontOf(context->state);
  QFontMetrics m(font);
  std::memset(metrics, 0, sizeof *metrics);
  metrics->tmHeight = m.height();
  metrics->tmAscent = m.ascent();
  metrics->tmDescent = m.descent();
  metrics->tmInternalLeading = std::max(0, m.height() - font.pixelSize());
  metrics->tmExternalLeading = std::max(0, m.leading());
  metrics->tmAveCharWidth = m.averageCharWidth();
  metrics->tmMaxCharWidth = m.maxWidth();
  metrics->tmWeight = context->state.font ? context->state.font->font.lfWeight : FW_NORMAL;
  metrics->tmItalic = font.italic() ? 1 : 0;
  metrics->tmUnderlined = font.underline() ? 1 : 0;
  metrics->tmStruckOut = font.strikeOut() ? 1 : 0;
  metrics->tmFirstChar = 0x20;
  metrics->tmLastChar = 0xFF;
  metrics->tmDefaultChar = '?';
  metrics->tmBreakChar = ' ';
  metrics->tmCharSet = GB2312_CHARSET;
  metrics->tmDigitizedAspectX = 96;
  metrics->tmDigitizedAspectY = 96;
  return TRUE;
}

int GetTextFaceA(HDC dc, int size, LPSTR face) {
  auto context = FindDc(dc);
  if (!context || !context->state.font) return 0;
  const char* name = context->state.font->font.lfFaceName;
  int n = static_cast<int>(strnlen(name, LF_FACESIZE));
  if (face == nullptr) return n + 1;
  if (size <= 0) return 0;
  n = std::min(n, size - 1);
  std::memcpy(face, name, static_cast<std::size_t>(n));
  face[n] = '\0';
  return n;
}

namespace {

bool IsWide(QChar c) { return c.unicode() >= 0x2E80; }

// Breaks one paragraph into lines no wider than `width`: at spaces, and between any two wide
// (CJK) characters; a word wider than the line is broken where it no longer fits.
QStringList WrapParagraph(const QString& text, const QFontMetrics& metrics, int width) {
  QStringList lines;
  QString line;
  int i = 0;
  while (i < text.size()) {
    // The next token: one wide character, a run of spaces, or a run of other characters.
    int j = i + 1;
    if (!IsWide(text[i])) {
      bool space = text[i].isSpace();
      while (j < text.size() && !IsWide(text[j]) && text[j].isSpace() == space) ++j;
    }
    QString token = text.mid(i, j - i);
    QString candidate = line + token;
    if (metrics.horizontalAdvance(candidate) <= width || line.isEmpty()) {
      if (line.isEmpty() && metrics.horizontalAdvance(token) > width && token.size() > 1 && !token[0].isSpace()) {
        // A word longer than the line: cut it character by character.
        QString part;
        for (QChar c : token) {
          if (!part.isEmpty() && metrics.horizontalAdvance(part + c) > width) {
            lines << part;
            part.clear();
          }
          part += c;
        }
        line = part;
      } else {
        line = candidate;
      }
      i = j;
      continue;
    }
    // The token does not fit: close the line (trailing spaces dropped) and start a new one.
    while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
    lines << line;
    line.clear();
    if (token[0].isSpace()) i = j;   // spaces at a break vanish
  }
  while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
  lines << line;
  return lines;
}

QString StripPrefixes(const QString& text) {
  QString out;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QChar('&')) {
      if (i + 1 < text.size() && text[i + 1] == QChar('&')) {
        out += QChar('&');
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

}  // namespace

int DrawTextA(HDC dc, LPCSTR text, int count, RECT* rect, UINT format) {
  Surface s = SurfaceOf(dc);
  if (!s.dc || rect == nullptr || text == nullptr) return 0;
  const State& st = s.dc->state;
  QString str = Utf16(text, count);
  if ((format & DT_NOPREFIX) == 0) str = StripPrefixes(str);
  if (format & DT_EXPANDTABS) str.replace(QChar('\t'), QStringLiteral("        "));
  QFontMetrics metrics(FontOf(st));
  int lineHeight = metrics.height();
  int boxWidth = rect->right - rect->left;
  QStringList lines;
  if (format & DT_SINGLELINE) {
    str.remove(QChar('\r'));
    str.replace(QChar('\n'), QChar(' '));
    lines << str;
  } else {
    str.remove(QChar('\r'));
    for (const QString& paragraph : str.split(QChar('\n'))) {
      if (format & DT_WORDBREAK) lines << WrapParagraph(paragraph, metrics, std::max(1, boxWidth));
      else lines << paragraph;
    }
  }
  if (format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS)) {
    for (QString& line : lines) {
      if (metrics.horizontalAdvance(line) > boxWidth) line = metrics.elidedText(line, Qt::ElideRight, std::max(0, boxWidth));
    }
  }
  int textWidth = 0;
  for (const QString& line : lines) textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
  int textHeight = lineHeight * static_cast<int>(lines.size());
  if (format & DT_CALCRECT) {
    rect->right = rect->left + textWidth;
    rect->bottom = rect->top + textHeight;
    return textHeight;
  }
  if (!s.ok()) return 0;
  int y = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) y = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
    else if (format & DT_BOTTOM) y = rect->bottom - lineHeight;
  }
  QRect clip = DeviceRect(s, *rect);
  for (const QString& line : lines) {
    int width = metrics.horizontalAdvance(line);
    int x = rect->left;
    if (format & DT_CENTER) x = rect->left + (boxWidth - width) / 2;
    else if (format & DT_RIGHT) x = rect->right - width;
    DrawTextLine(s, s.Device(x, y), line, (format & DT_NOCLIP) ? nullptr : &clip);
    y += lineHeight;
  }
  Changed(s);
  return (format & DT_SINGLELINE) ? (y - rect->top) : textHeight;
}

// ---- Blits ------------------------------------------------------------------------------------

namespace {

bool UsesSource(DWORD rop) {
  return rop != PATCOPY && rop != PATINVERT && rop != DSTINVERT && rop != BLACKNESS && rop != WHITENESS;
}

bool Combine(DWORD rop, std::uint32_t src, std::uint32_t dst, std::uint32_t pat, std::uint32_t* out) {
  std::uint32_t r;
  switch (rop) {
    case SRCCOPY: r = src; break;
    case SRCPAINT: r = src | dst; break;
    case SRCAND: r = src & dst; break;
    case SRCINVERT: r = src ^ dst; break;
    case SRCERASE: r = src & ~dst; break;
    case NOTSRCCOPY: r = ~src; break;
    case NOTSRCERASE: r = ~(src | dst); break;
    case MERGEPAINT: r = ~src | dst; break;
    case PATCOPY: r = pat; break;
    case PATINVERT: r = pat ^ dst; break;
    case DSTINVERT: r = ~dst; break;
    case BLACKNESS: r = 0; break;
    case WHITENESS: r = 0xFFFFFF; break;
    default: return false;
  }
  *out = r & 0xFFFFFF;
  return true;
}

BOOL Blit(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh, DWORD rop) {
  Surface d = SurfaceOf(dest);
  if (!d.ok()) return FALSE;
  std::uint32_t probe;
  if (!Combine(rop, 0, 0, 0, &probe)) return FALSE;
  QImage src;
  bool mirrorX = (width < 0) != (sw < 0), mirrorY = (height < 0) != (sh < 0);
  if (width < 0) { x += width; width = -width; }
  if (height < 0) { y += height; height = -height; }
  if (sw < 0) { sx += sw; sw = -sw; }
  if (sh < 0) { sy += sh; sh = -sh; }
  if (width == 0 || height == 0) return TRUE;
  if (UsesSource(rop)) {
    Surface s = SurfaceOf(source);
    if (!s.ok()) return FALSE;
    QPoint origin = s.Device(sx, sy);
    // A copy first, so that a blit within one image reads the pixels as they were.
    src = s.image->copy(origin.x(), origin.y(), sw, sh);
    if (sw != width || sh != height) src = src.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (mirrorX || mirrorY) src = src.mirrored(mirrorX, mirrorY);
  }
  std::uint32_t pattern = 0;
  if (d.dc->state.brush) pattern = Rgb24(d.dc->state.brush->brush.lbColor);
  QPoint to = d.Device(x, y);
  // Only the rows and columns that land inside the clip are visited.
  const int firstRow = static_cast<int>(std::max<long long>(0, static_cast<long long>(d.clip.top()) - to.y()));
  const int lastRow = static_cast<int>(std::min<long long>(height - 1, static_cast<long long>(d.clip.bottom()) - to.y()));
  const int firstCol = static_cast<int>(std::max<long long>(0, static_cast<long long>(d.clip.left()) - to.x()));
  const int lastCol = static_cast<int>(std::min<long long>(width - 1, static_cast<long long>(d.clip.right()) - to.x()));
  for (int row = firstRow; row <= lastRow; ++row) {
    int dy = to.y() + row;
    auto* line = reinterpret_cast<QRgb*>(d.image->scanLine(dy));
    const QRgb* srcLine = src.isNull() ? nullptr : reinterpret_cast<const QRgb*>(src.constScanLine(row));
    for (int col = firstCol; col <= lastCol; ++col) {
      int dx = to.x() + col;
      std::uint32_t result = 0;
      std::uint32_t s = srcLine ? (srcLine[col] & 0xFFFFFF) : 0;
      Combine(rop, s, line[dx] & 0xFFFFFF, pattern, &result);
      line[dx] = 0xFF000000u | result;
    }
  }
  Changed(d);
  return TRUE;
}

}  // namespace

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
  return Blit(dest, x, y, width, height, source, sourceX, sourceY, width, height, rop);
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop) {
  return Blit(dest, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight, rop);
}

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  if (UsesSource(rop)) return FALSE;
  return Blit(dc, x, y, width, height, nullptr, 0, 0, width, height, rop);
}

int SetStretchBltMode(HDC dc, int mode) { return FindDc(dc) ? (mode ? COLORONCOLOR : 0) : 0; }

// ---- System colours and metrics ---------------------------------------------------------------

COLORREF GetSysColor(int index) {
  static const COLORREF kColors[] = {
      RGB(200, 200, 200), RGB(0, 128, 128),   RGB(10, 36, 106),   RGB(128, 128, 128),
      RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
      RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
      RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200),
      RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
      RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),
      RGB(255, 255, 225),
  };
  if (index < 0 || index >= static_cast<int>(sizeof kColors / sizeof kColors[0])) return 0;
  return kColors[index];
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index > COLOR_INFOBK) return nullptr;
  return reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(index + 1));
}

int GetSystemMetrics(int index) {
  QRect screen(0, 0, 1024, 768);
  if (platform::EnsureApplication()) {
    if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry();
  }
  switch (index) {
    case SM_CXSCREEN: return screen.width();
    case SM_CYSCREEN: return screen.height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CYMENU: return 19;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    default: return 0;
  }
}

HWND WindowFromDC(HDC dc) {
  auto context = FindDc(dc);
  return context ? context->window : nullptr;
}
