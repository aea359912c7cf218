// The main window's status bar: the index bar, the notice ticker, the page-name box, the title
// letters and the clock, each painted by its own handler into its paint box.
#include "data/MarketData.h"
#include "data/TimeZones.h"
#include "data/UtilData.h"
#include "platform/Gdi.h"
#include "shell/MainFrame.h"

#include <cstdio>
#include <string>

namespace {

constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kDarkGreen = 0x007F00;
// A market whose first record carries no divisor shows its index in thousandths.
constexpr double kFallbackDivisor = 1000;
constexpr int kMinutesPerDay = 1440;
constexpr int kTickerGap = 30;

// Draws into one box's context: fills, frames and texts, each text in a font of its own. The
// context's font is put back when the painter goes.
class BoxPainter {
 public:
  explicit BoxPainter(HDC dc) : dc_(dc) {}
  ~BoxPainter() { ReleaseFont(); }
  BoxPainter(const BoxPainter&) = delete;
  BoxPainter& operator=(const BoxPainter&) = delete;

  void Fill(const RECT& rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc_, &rect, brush);
    DeleteObject(brush);
  }
  void Frame(const RECT& rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FrameRect(dc_, &rect, brush);
    DeleteObject(brush);
  }
  // The skin's box: Background filled, one pixel of Border around.
  void SkinBox(int width, int height, COLORREF background, COLORREF border) {
    const RECT rect{0, 0, width, height};
    Fill(rect, background);
    Frame(rect, border);
  }
  void UseFont(const char* face, int height, int weight) {
    ReleaseFont();
    font_ = CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        DEFAULT_QUALITY, DEFAULT_PITCH, face);
    previousFont_ = SelectObject(dc_, font_);
  }
  void Transparent() { SetBkMode(dc_, TRANSPARENT); }
  void Opaque(COLORREF background) {
    SetBkMode(dc_, OPAQUE);
    SetBkColor(dc_, background);
  }
  // Returns the text's width.
  int Text(int x, int y, const std::string& text, COLORREF color) {
    SetTextColor(dc_, color);
    TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size()));
    return Width(text);
  }
  void TextRightAligned(int right, int y, const std::string& text, COLORREF color) {
    Text(right - Width(text), y, text, color);
  }
  int Width(const std::string& text) {
    SIZE size{};
    GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
  }

 private:
  void ReleaseFont() {
    if (font_ == nullptr) return;
    SelectObject(dc_, previousFont_);
    DeleteObject(font_);
    font_ = nullptr;
  }

  HDC dc_;
  HFONT font_ = nullptr;
  HGDIOBJ previousFont_ = nullptr;
};

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The price divisor of the market's first instrument; 0 when the market has no instrument (its
// index is then not shown). A divisor of 0 counts as 1000 here; the record is left as it is.
double IndexDivisor(int market) {
  const TMarketData* table = GetMarketTable(market);
  if (table == nullptr || table->names == nullptr || table->count <= 0) return 0;
  const std::uint32_t divisor = table->names[0].priceDivisor;
  return divisor == 0 ? kFallbackDivisor : static_cast<double>(divisor);
}

// One index of the bar: last price, change and amount right-aligned at their edges, "亿" after.
struct IndexColumns {
  int lastRight;
  int changeRight;
  int amountRight;
};

void DrawIndex(BoxPainter& painter, const TMFrame::IndexSlot& slot, int market, const IndexColumns& columns,
               COLORREF neutral) {
  const double divisor = IndexDivisor(market);
  if (divisor == 0) return;
  // In double: the stored prices are unsigned, and a fall must stay negative.
  const double change = slot.previousClose == 0 ? 0 : (slot.last - slot.previousClose) / divisor;
  const COLORREF color = change > 0 ? kRed : change < 0 ? kDarkGreen : neutral;
  painter.TextRightAligned(columns.lastRight, -1, Format("%4.2f", slot.last / divisor), color);
  painter.TextRightAligned(columns.changeRight, -1, Format("%3.2f", change), color);
  painter.TextRightAligned(columns.amountRight, -1, Format("%.1f", slot.amount * 1e-8), neutral);
  painter.Text(columns.amountRight + 1, -1, "亿", neutral);
}

void DrawLetters(BoxPainter& painter, const std::string (&letters)[5], int highlighted, COLORREF background) {
  painter.UseFont("Tahoma", 16, FW_BOLD);
  painter.Opaque(background);
  int x = 2;
  for (int i = 0; i < 4; ++i) x += painter.Text(x, -3, letters[i], i == highlighted ? kRed : kBlue);
}

}  // namespace

void TMFrame::StatusBox1Paint(TObject*) {
  if (StatusBox1 == nullptr) return;
  BoxPainter painter(StatusBox1->Canvas()->Handle());
  painter.SkinBox(StatusBox1->Width(), StatusBox1->Height(), SkinBackground, SkinBorder);
  painter.UseFont("Arial", 15, FW_BOLD);
  painter.Transparent();
  painter.Text(2, -1, "沪", kBlue);
  DrawIndex(painter, IndexSlots[0], 0, IndexColumns{70, 122, 162}, SkinCtrlBorder);
  painter.Text(189, -1, "深", kBlue);
  DrawIndex(painter, IndexSlots[1], 1, IndexColumns{258, 310, 350}, SkinCtrlBorder);
}

void TMFrame::StatusBox2Paint(TObject*) {
  if (StatusBox2 == nullptr) return;
  TCanvas* canvas = StatusBox2->Canvas();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(static_cast<TColor>(ColorTable[53]));   // COLOR54
  canvas->FillRect(RECT{0, 0, StatusBox2->Width(), StatusBox2->Height()});
  canvas->Font()->SetColor(static_cast<TColor>(ColorTable[51]));    // COLOR52
  canvas->TextOut(2, -1, PageBoxText);
}

void TMFrame::StatusBox2Click(TObject*) {
  if (PopupMenu2 == nullptr || StatusPanel2 == nullptr) return;
  const TPoint at = StatusPanel2->ClientToScreen(TPoint(StatusPanel2->Width() + 1, -1));
  PopupMenu2->Popup(at.x, at.y);
}

void TMFrame::StatusBox4Paint(TObject*) {
  if (StatusBox4 == nullptr) return;
  BoxPainter painter(StatusBox4->Canvas()->Handle());
  painter.SkinBox(StatusBox4->Width(), StatusBox4->Height(), SkinBackground, SkinBorder);
  DrawLetters(painter, TitleLetters, -1, SkinBackground);
}

void TMFrame::DrawTitleLetters(int highlighted) {
  if (StatusBox4 == nullptr) return;
  BoxPainter painter(StatusBox4->Canvas()->Handle());
  DrawLetters(painter, TitleLetters, highlighted, SkinBackground);
}

void TMFrame::StatusBox5Paint(TObject*) {
  if (StatusBox5 == nullptr) return;
  BoxPainter painter(StatusBox5->Canvas()->Handle());
  painter.SkinBox(StatusBox5->Width(), StatusBox5->Height(), SkinBackground, SkinBorder);
  // The clock comes from the wire: keep it inside the day before splitting it.
  const int minutes = ((ServerClock % kMinutesPerDay) + kMinutesPerDay) % kMinutesPerDay;
  int hour = (minutes / 60 + 8) % 24;
  ShiftHourToZone(0, 0, &hour);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", hour, minutes % 60);
  painter.UseFont("Arial", 16, FW_NORMAL);
  painter.Transparent();
  painter.Text(1, -1, text, kBlue);
}

void TMFrame::StatusBox6Paint(TObject*) {
  if (StatusBox6 == nullptr) return;
  const int width = StatusBox6->Width();
  const int height = StatusBox6->Height();
  HDC box = StatusBox6->Canvas()->Handle();
  if (TickerHead == nullptr) {
    BoxPainter painter(box);
    painter.SkinBox(width, height, SkinBackground, SkinBorder);
    return;
  }
  // Drawn off the screen first so that the scrolling text does not flicker.
  HDC memory = CreateCompatibleDC(box);
  HBITMAP bitmap = CreateCompatibleBitmap(box, width, height);
  HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
  {
    BoxPainter painter(memory);
    painter.SkinBox(width, height, SkinBackground, SkinBorder);
    painter.UseFont("Arial", 15, FW_NORMAL);
    painter.Transparent();
    int x = width - TickerOffset;
    for (const TickerNode* node = TickerHead; node != nullptr && x < width; node = node->next) {
      painter.Text(x, 0, node->text, ColorTable[52]);   // COLOR53
      x += node->width + kTickerGap;
    }
  }
  BitBlt(box, 0, 0, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previousBitmap);
  DeleteObject(bitmap);
  DeleteDC(memory);
}
