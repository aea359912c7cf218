// The screen source: the real screen where it can be read, otherwise our own windows composed
// at their places; the screen context and the see-through windows read from it.
#include "platform/Screen.h"

#include "platform/internal/Screen.h"
#include "platform/internal/Window.h"

#include "platform/Application.h"
#include "platform/Text.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <mutex>
#include <utility>

namespace zuvo::platform::screen {
namespace {

struct SourceState {
  std::mutex mutex;
  std::optional<TestSource> test;
};
SourceState& TheSource() {
  static SourceState* state = new SourceState();   // never destroyed: read until exit
  return *state;
}

bool ValidDepth(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool HasPicture(const TestSource& source) {
  const std::optional<Picture>& p = source.picture;
  return p && p->width > 0 && p->height > 0 &&
         p->pixels.size() == static_cast<std::size_t>(p->width) * static_cast<std::size_t>(p->height);
}

// The real screen can be read where the windowing system lets any program read it.
bool CanReadRealScreen() {
  return EnsureApplication() && QGuiApplication::platformName() == QLatin1String("xcb") &&
         QGuiApplication::primaryScreen() != nullptr;
}

QRect ScreenArea() {
  if (EnsureApplication()) {
    if (QScreen* s = QGuiApplication::primaryScreen()) return s->geometry();
  }
  return QRect(0, 0, 1024, 768);
}

QImage FromPicture(const Picture& picture) {
  QImage image(picture.width, picture.height, QImage::Format_RGB32);
  if (image.isNull()) return image;
  for (int y = 0; y < picture.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    const COLORREF* row = picture.pixels.data() + static_cast<std::size_t>(y) * picture.width;
    for (int x = 0; x < picture.width; ++x) line[x] = qRgb(GetRValue(row[x]), GetGValue(row[x]), GetBValue(row[x]));
  }
  return image;
}

// Draws a window and its children, bottom first, clipped to `clip` (screen coordinates); sets
// `stopped` on reaching `stopAt`, after which nothing more is drawn.
void DrawWindow(QPainter& painter, const win::Window& w, const QRect& clip, HWND stopAt, bool& stopped) {
  if (stopped) return;
  if (w.handle == stopAt) {
    stopped = true;
    return;
  }
  const bool shown = (w.style & WS_VISIBLE) != 0 && (w.style & WS_MINIMIZE) == 0;
  const QPoint origin = win::WindowOrigin(w);
  const QRect place = QRect(origin, QSize(w.width(), w.height())) & clip;
  if (!shown || place.isEmpty()) {
    // Nothing of it shows; a window to stop at inside it ends the drawing all the same.
    if (stopAt != nullptr && win::IsInSubtree(stopAt, w.handle)) stopped = true;
    return;
  }
  painter.save();
  painter.setClipRect(place);
  const QPoint client = win::ClientOrigin(w);
  // A text control is a Qt widget under an overlay of the window's own drawing.
  if (w.hosted != nullptr) painter.drawPixmap(client, w.hosted->grab());
  painter.drawImage(origin, w.image());
  painter.restore();
  const QRect clientPlace = QRect(client, QSize(w.clientWidth(), w.clientHeight())) & place;
  for (HWND child : w.children()) {
    win::WindowPtr c = win::Find(child);
    if (c) DrawWindow(painter, *c, clientPlace, stopAt, stopped);
    if (stopped) return;
  }
}

}  // namespace

QImage ComposeScreen(const QRect& area, HWND stopAt) {
  QImage image(std::max(area.width(), 1), std::max(area.height(), 1), QImage::Format_RGB32);
  const COLORREF desktop = GetSysColor(COLOR_BACKGROUND);
  image.fill(QColor(GetRValue(desktop), GetGValue(desktop), GetBValue(desktop)));
  QPainter painter(&image);
  painter.translate(-area.topLeft());
  bool stopped = false;
  for (const win::WindowPtr& w : win::AllWindows()) {
    if ((w->style & WS_CHILD) != 0 && w->parent != nullptr) continue;
    DrawWindow(painter, *w, area, stopAt, stopped);
    if (stopped) break;
  }
  return image;
}

QImage Current() {
  std::optional<TestSource> test;
  {
    SourceState& s = TheSource();
    std::lock_guard lock(s.mutex);
    test = s.test;
  }
  if (test && HasPicture(*test)) return FromPicture(*test->picture);
  if (!test && CanReadRealScreen()) {
    QImage grabbed = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (!grabbed.isNull()) return grabbed.convertToFormat(QImage::Format_RGB32);
  }
  return ComposeScreen(ScreenArea());
}

std::optional<QRect> TestPictureRect() {
  SourceState& s = TheSource();
  std::lock_guard lock(s.mutex);
  if (!s.test || !HasPicture(*s.test)) return std::nullopt;
  return QRect(0, 0, s.test->picture->width, s.test->picture->height);
}

void StartWithPixelsBeneath(HWND window) {
  win::WindowPtr w = win::Find(window);
  if (!w || (w->exStyle & WS_EX_TRANSPARENT) == 0 || w->width() <= 0 || w->height() <= 0) return;
  const QRect place(win::WindowOrigin(*w), QSize(w->width(), w->height()));
  const QImage beneath = ComposeScreen(place, window);
  QImage& image = w->image();
  QPainter painter(&image);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(0, 0, beneath);
  painter.end();
  win::ImageChanged(window);
}

int BitsPerPixel() {
  {
    SourceState& s = TheSource();
    std::lock_guard lock(s.mutex);
    if (s.test) return ValidDepth(s.test->bitsPerPixel) ? s.test->bitsPerPixel : 32;
  }
  // Off the UI thread the application may not be asked for its screen.
  if (IsUiThread() && CanReadRealScreen()) {
    const int depth = QGuiApplication::primaryScreen()->depth();
    if (ValidDepth(depth)) return depth;
  }
  return 32;
}

std::optional<TestSource> SetSourceForTest(std::optional<TestSource> source) {
  SourceState& s = TheSource();
  std::lock_guard lock(s.mutex);
  return std::exchange(s.test, std::move(source));
}

}  // namespace zuvo::platform::screen

HDC CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR, const void*) {
  using zuvo::platform::gbk::EqualsNoCase;
  if (driver == nullptr || !EqualsNoCase(driver, "DISPLAY")) return nullptr;
  if (device != nullptr && !EqualsNoCase(device, "DISPLAY")) return nullptr;
  return GetDC(nullptr);
}
