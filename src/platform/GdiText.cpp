// GBK text: measuring, drawing at a point and formatting in a rectangle with the context's font.

#include "platform/internal/GdiSurface.h"

#include "platform/Text.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace zuvo::platform::gdi {
namespace {

QString Utf16(LPCSTR text, int count) {
  if (text == nullptr) return QString();
  std::size_t n = count < 0 ? std::strlen(text) : static_cast<std::size_t>(count);
  return QString::fromStdU16String(gbk::ToUtf16(std::string_view(text, n)));
}

QFont FontOf(const DcState& st) {
  return st.font && st.font->qfont ? *st.font->qfont : QFont(QStringLiteral("WenQuanYi Micro Hei"));
}

// Draws one line of text with its cell's top-left at the device point, and a line in the text
// colour under the character at `underline` (none for -1).
void DrawTextLine(const Surface& s, DevicePoint topLeft, const QString& text, const QRect* clip, int underline = -1) {
  const DcState& st = s.dc->State();
  QFont font = FontOf(st);
  // Printers draw text in solid pixels: at their resolution smoothing only adds grey.
  if (s.dc->device().set) font.setStyleStrategy(QFont::NoAntialias);
  QFontMetrics metrics(font);
  int width = metrics.horizontalAdvance(text);
  QPoint at = ToQPoint(topLeft);
  QPainter p(s.image);
  QRect area = clip ? (*clip & s.clip) : s.clip;
  p.setClipRect(area);
  if (st.bkMode == OPAQUE) p.fillRect(QRect(at.x(), at.y(), width, metrics.height()), QColor(ToRgb(st.bkColor)));
  p.setFont(font);
  p.setPen(QColor(ToRgb(st.textColor)));
  p.drawText(QPoint(at.x(), at.y() + metrics.ascent()), text);
  if (underline >= 0 && underline < text.size()) {
    // Under the character's advance, just below the baseline, and inside the cell.
    const int thickness = std::max(1, metrics.lineWidth());
    const int x = at.x() + metrics.horizontalAdvance(text.left(underline));
    const int y = at.y() + std::min(metrics.ascent() + std::max(1, metrics.underlinePos()), metrics.height() - thickness);
    p.fillRect(QRect(x, y, metrics.horizontalAdvance(text.mid(underline, 1)), thickness), QColor(ToRgb(st.textColor)));
  }
}

// One line of formatted text: where it starts in its paragraph, and its underlined character
// (-1 for none).
struct Line {
  QString text;
  int start = 0;
  int underline = -1;
};

bool IsWide(QChar c) { return c.unicode() >= 0x2E80; }

// Breaks one paragraph into lines no wider than `width`: at spaces, and between any two wide
// (CJK) characters; a word wider than the line is broken where it no longer fits. Each line is
// a piece of the paragraph as it stands (the spaces at a break left out).
std::vector<Line> WrapParagraph(const QString& text, const QFontMetrics& metrics, int width) {
  std::vector<Line> lines;
  Line line;
  int i = 0;
  while (i < text.size()) {
    // The next token: one wide character, a run of spaces, or a run of other characters.
    int j = i + 1;
    if (!IsWide(text[i])) {
      bool space = text[i].isSpace();
      while (j < text.size() && !IsWide(text[j]) && text[j].isSpace() == space) ++j;
    }
    QString token = text.mid(i, j - i);
    QString candidate = line.text + token;
    if (metrics.horizontalAdvance(candidate) <= width || line.text.isEmpty()) {
      if (line.text.isEmpty() && metrics.horizontalAdvance(token) > width && token.size() > 1 && !token[0].isSpace()) {
        // A word longer than the line: cut it character by character.
        Line part{QString(), i};
        for (int k = i; k < j; ++k) {
          if (!part.text.isEmpty() && metrics.horizontalAdvance(part.text + text[k]) > width) {
            lines.push_back(part);
            part = Line{QString(), k};
          }
          part.text += text[k];
        }
        line = part;
      } else {
        if (line.text.isEmpty()) line.start = i;
        line.text = candidate;
      }
      i = j;
      continue;
    }
    // The token does not fit: close the line (trailing spaces dropped) and start a new one.
    while (!line.text.isEmpty() && line.text.back().isSpace()) line.text.chop(1);
    lines.push_back(line);
    line = Line{};
    if (token[0].isSpace()) i = j;   // spaces at a break vanish
  }
  while (!line.text.isEmpty() && line.text.back().isSpace()) line.text.chop(1);
  lines.push_back(line);
  return lines;
}

// The text without its prefix marks: "&x" is x, "&&" is "&". `underline` is set to the
// position of the x of the last "&x" (-1 when there is none).
QString StripPrefixes(const QString& text, int* underline) {
  QString out;
  *underline = -1;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QChar('&')) {
      if (i + 1 < text.size() && text[i + 1] == QChar('&')) {
        out += QChar('&');
        ++i;
      } else if (i + 1 < text.size()) {
        *underline = static_cast<int>(out.size());
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

// Replaces every `from` by `to` and moves the marked position along (-1 when the marked
// character itself goes).
void ReplaceMarked(QString& text, QChar from, const QString& to, int* mark) {
  if (*mark >= 0) {
    const auto before = text.left(*mark).count(from);
    if (text[*mark] == from && to.isEmpty()) *mark = -1;
    else *mark += static_cast<int>(before * (to.size() - 1));
  }
  text.replace(from, to);
}

}  // namespace
}  // namespace zuvo::platform::gdi

using namespace zuvo::platform::gdi;

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count) {
  return ExtTextOutA(dc, x, y, 0, nullptr, text, count < 0 ? 0 : static_cast<UINT>(count), nullptr);
}

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const int*) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  DcState& st = s.dc->State();
  QRect box = rect ? DeviceRect(s, *rect) : QRect();
  if ((options & ETO_OPAQUE) && rect != nullptr) FillDevice(s, box, Rgb24(st.bkColor));
  if (text == nullptr || count == 0) {
    Changed(s);
    return TRUE;
  }
  QString str = Utf16(text, static_cast<int>(count));
  QFontMetrics metrics(FontOf(st));
  int width = metrics.horizontalAdvance(str);
  long long px = x, py = y;
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
  if (st.textAlign & TA_UPDATECP) st.position.x = SaturateToInt(horizontal == TA_RIGHT ? px : px + width);
  Changed(s);
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size) {
  DcPtr context = GdiRegistry().FindContext(dc);
  if (!context || size == nullptr || count < 0) return FALSE;
  QFontMetrics metrics(FontOf(context->State()));
  size->cx = text == nullptr ? 0 : metrics.horizontalAdvance(Utf16(text, count));
  size->cy = metrics.height();
  return TRUE;
}

BOOL GetTextExtentPointA(HDC dc, LPCSTR text, int count, SIZE* size) {
  return GetTextExtentPoint32A(dc, text, count, size);
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  DcPtr context = GdiRegistry().FindContext(dc);
  if (!context || metrics == nullptr) return FALSE;
  const DcState& st = context->State();
  QFont font = FontOf(st);
  QFontMetrics m(font);
  std::memset(metrics, 0, sizeof *metrics);
  metrics->tmHeight = m.height();
  metrics->tmAscent = m.ascent();
  metrics->tmDescent = m.descent();
  metrics->tmInternalLeading = std::max(0, m.height() - font.pixelSize());
  metrics->tmExternalLeading = std::max(0, m.leading());
  metrics->tmAveCharWidth = m.averageCharWidth();
  metrics->tmMaxCharWidth = m.maxWidth();
  metrics->tmWeight = st.font ? st.font->font.lfWeight : FW_NORMAL;
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
  DcPtr context = GdiRegistry().FindContext(dc);
  if (!context) return 0;
  const DcState& st = context->State();
  if (!st.font) return 0;
  const char* name = st.font->font.lfFaceName;
  int n = static_cast<int>(strnlen(name, LF_FACESIZE));
  if (face == nullptr) return n + 1;
  if (size <= 0) return 0;
  n = std::min(n, size - 1);
  std::memcpy(face, name, static_cast<std::size_t>(n));
  face[n] = '\0';
  return n;
}

int DrawTextA(HDC dc, LPCSTR text, int count, RECT* rect, UINT format) {
  Surface s = SurfaceOf(dc);
  if (!s.dc || rect == nullptr || text == nullptr) return 0;
  const DcState& st = s.dc->State();
  QString str = Utf16(text, count);
  int underline = -1;   // in `str`
  if ((format & DT_NOPREFIX) == 0) str = StripPrefixes(str, &underline);
  if (format & DT_HIDEPREFIX) underline = -1;
  if (format & DT_EXPANDTABS) ReplaceMarked(str, QChar('\t'), QStringLiteral("        "), &underline);
  ReplaceMarked(str, QChar('\r'), QString(), &underline);
  QFontMetrics metrics(FontOf(st));
  int lineHeight = metrics.height();
  // In 64 bits: a rectangle may span the whole int range.
  const long long boxWidth = static_cast<long long>(rect->right) - rect->left;
  const int layoutWidth = static_cast<int>(std::clamp<long long>(boxWidth, 0, INT32_MAX));
  std::vector<Line> lines;
  if (format & DT_SINGLELINE) {
    str.replace(QChar('\n'), QChar(' '));
    lines.push_back(Line{str, 0, underline});
  } else {
    int paragraphStart = 0;
    for (const QString& paragraph : str.split(QChar('\n'))) {
      std::vector<Line> wrapped;
      if (format & DT_WORDBREAK) wrapped = WrapParagraph(paragraph, metrics, std::max(1, layoutWidth));
      else wrapped.push_back(Line{paragraph, 0});
      for (Line& line : wrapped) {
        const int at = underline - paragraphStart - line.start;
        if (underline >= 0 && at >= 0 && at < line.text.size()) line.underline = at;
        lines.push_back(std::move(line));
      }
      paragraphStart += static_cast<int>(paragraph.size()) + 1;
    }
  }
  if (format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS)) {
    for (Line& line : lines) {
      if (metrics.horizontalAdvance(line.text) <= boxWidth) continue;
      line.text = metrics.elidedText(line.text, Qt::ElideRight, layoutWidth);
      // The characters kept are those before the ellipsis.
      const int kept = static_cast<int>(line.text.size()) - (line.text.endsWith(QChar(0x2026)) ? 1 : 0);
      if (line.underline >= kept) line.underline = -1;
    }
  }
  int textWidth = 0;
  for (const Line& line : lines) textWidth = std::max(textWidth, metrics.horizontalAdvance(line.text));
  const long long textHeight = static_cast<long long>(lineHeight) * static_cast<long long>(lines.size());
  if (format & DT_CALCRECT) {
    rect->right = SaturateToInt(static_cast<long long>(rect->left) + textWidth);
    rect->bottom = SaturateToInt(rect->top + textHeight);
    return SaturateToInt(textHeight);
  }
  if (!s.ok()) return 0;
  long long y = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) y = rect->top + (static_cast<long long>(rect->bottom) - rect->top - lineHeight) / 2;
    else if (format & DT_BOTTOM) y = static_cast<long long>(rect->bottom) - lineHeight;
  }
  QRect clip = DeviceRect(s, *rect);
  for (const Line& line : lines) {
    int width = metrics.horizontalAdvance(line.text);
    long long x = rect->left;
    if (format & DT_CENTER) x = rect->left + (boxWidth - width) / 2;
    else if (format & DT_RIGHT) x = static_cast<long long>(rect->right) - width;
    DrawTextLine(s, s.Device(x, y), line.text, (format & DT_NOCLIP) ? nullptr : &clip, line.underline);
    y += lineHeight;
  }
  Changed(s);
  return SaturateToInt((format & DT_SINGLELINE) ? (y - rect->top) : textHeight);
}
