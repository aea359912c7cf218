// The printer: pages drawn on page contexts of the GDI layer and handed to a backend (the
// machine's printer through Qt, PDF files when there is none, or a test's recorder).

#include "platform/Printer.h"

#include "platform/internal/GdiRegistry.h"
#include "platform/internal/PrinterBackend.h"

#include "platform/CommonDialog.h"
#include "platform/Kernel.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#if defined(ZUVO_HAVE_QT_PRINTSUPPORT) && __has_include(<QPrinter>)
#define ZUVO_SYSTEM_PRINTER 1
#include <QPrinter>
#include <QPrinterInfo>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

namespace zuvo::platform {
namespace {

// Pages are made at no more than this resolution: 300 dpi A4 is already 35 MB a page.
constexpr int kMaxDpi = 300;

std::shared_ptr<PrinterBackend>& InstalledBackend() {
  static std::shared_ptr<PrinterBackend> backend;
  return backend;
}

// ---- PDF files ---------------------------------------------------------------------------------

// A title as a file name: characters no file name may hold become '_'; none gives "print".
std::string FileNameOf(const std::string& titleGbk) {
  std::string name = gbk::ToUtf8(titleGbk);
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
        c == '>' || c == '|') {
      c = '_';
    }
  }
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  while (!name.empty() && name.front() == '.') name.erase(name.begin());
  if (name.size() > 120) {
    // Cut at 120 bytes on a character boundary of the UTF-8 name.
    std::size_t cut = 120;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return name.empty() ? std::string("print") : name;
}

// Page images go to Qt's printers without lossy compression: JPEG would blur thin text.
void DrawPage(QPainter& painter, const QImage& page) {
  painter.setRenderHint(QPainter::LosslessImageRendering, true);
  painter.drawImage(QRect(0, 0, page.width(), page.height()), page);
}

class PdfBackend : public PrinterBackend {
 public:
  PdfBackend(std::string folder, int dpi, bool tellUser)
      : folder_(std::move(folder)), dpi_(std::clamp(dpi, 1, kMaxDpi)), tellUser_(tellUser) {}
  ~PdfBackend() override { Cancel(); }

  PageSetup Setup(bool landscape) override {
    QSize size = QPageSize(QPageSize::A4).sizePixels(dpi_);
    if (landscape) size.transpose();
    return PageSetup{dpi_, size.width(), size.height(), size.width(), size.height(), 0, 0};
  }

  bool Begin(const std::string& titleGbk, bool landscape, const PageSetup& setup) override {
    Cancel();
    if (!QDir().mkpath(QString::fromStdString(folder_))) return false;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    const std::string base = folder_ + "/" + FileNameOf(titleGbk) + "-" + stamp;
    std::string path = base + ".pdf";
    for (int n = 2; QFileInfo::exists(QString::fromStdString(path)); ++n) path = base + "-" + std::to_string(n) + ".pdf";
    job_ = std::make_unique<Job>(QString::fromStdString(path));
    if (!job_->file.open(QIODevice::WriteOnly)) {
      job_.reset();
      return false;
    }
    QPdfWriter& writer = job_->writer;
    writer.setResolution(setup.dpi);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                     landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF()));
    writer.setTitle(QString::fromStdU16String(gbk::ToUtf16(titleGbk)));
    writer.setCreator(QStringLiteral("Zuvo"));
    if (!job_->painter.begin(&writer)) {
      Cancel();
      return false;
    }
    path_ = path;
    return true;
  }

  bool AddPage(const QImage& page) override {
    if (!job_) return false;
    if (job_->pages > 0 && !job_->writer.newPage()) return false;
    DrawPage(job_->painter, page);
    ++job_->pages;
    return true;
  }

  bool Finish() override {
    if (!job_) return false;
    const bool drawn = job_->painter.end();
    const bool written = drawn && job_->file.commit();
    job_.reset();
    if (!written) return false;
    lastFile_ = path_;
    paths::NoteCreated(lastFile_);
    if (tellUser_) {
      const std::string text = "打印内容已保存为文件：\n" + gbk::FromUtf8(lastFile_);
      MessageBoxA(nullptr, text.c_str(), "打印", MB_OK | MB_ICONINFORMATION);
    }
    return true;
  }

  void Cancel() override {
    if (!job_) return;
    if (job_->painter.isActive()) job_->painter.end();
    job_->file.cancelWriting();
    job_.reset();   // the temporary file goes with the QSaveFile
  }

  const std::string& LastFile() const { return lastFile_; }

 private:
  // The painter ends before the writer, and the writer before the file it writes to.
  struct Job {
    explicit Job(const QString& path) : file(path), writer(&file) {}
    ~Job() {
      if (painter.isActive()) painter.end();
    }
    QSaveFile file;
    QPdfWriter writer;
    QPainter painter;
    int pages = 0;
  };
  std::string folder_;
  int dpi_;
  bool tellUser_;
  std::unique_ptr<Job> job_;
  std::string path_;
  std::string lastFile_;
};

// ---- The machine's printer ---------------------------------------------------------------------

#ifdef ZUVO_SYSTEM_PRINTER
class SystemPrinterBackend : public PrinterBackend {
 public:
  explicit SystemPrinterBackend(const QPrinterInfo& info) : printer_(info, QPrinter::HighResolution) {
    printer_.setResolution(std::min(printer_.resolution(), kMaxDpi));
  }
  ~SystemPrinterBackend() override { Cancel(); }

  PageSetup Setup(bool landscape) override {
    printer_.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    const int dpi = printer_.resolution();
    const QRect paint = printer_.pageLayout().paintRectPixels(dpi);
    const QRect full = printer_.pageLayout().fullRectPixels(dpi);
    return PageSetup{dpi, paint.width(), paint.height(), full.width(), full.height(), paint.left(), paint.top()};
  }

  bool Begin(const std::string& titleGbk, bool landscape, const PageSetup&) override {
    Cancel();
    printer_.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer_.setDocName(QString::fromStdU16String(gbk::ToUtf16(titleGbk)));
    printer_.setFullPage(false);
    pages_ = 0;
    return painter_.begin(&printer_);
  }

  bool AddPage(const QImage& page) override {
    if (!painter_.isActive()) return false;
    if (pages_ > 0 && !printer_.newPage()) return false;
    DrawPage(painter_, page);
    ++pages_;
    return printer_.printerState() != QPrinter::Error;
  }

  bool Finish() override {
    if (!painter_.isActive()) return false;
    return painter_.end() && printer_.printerState() != QPrinter::Error;
  }

  void Cancel() override {
    if (!painter_.isActive()) return;
    printer_.abort();
    painter_.end();
  }

 private:
  QPrinter printer_;
  QPainter painter_;
  int pages_ = 0;
};

// The current printer (the one the print dialog chose, else the default one), or null on a
// machine without printers.
std::shared_ptr<PrinterBackend> MakeSystemPrinterBackend() {
  const std::string chosen = CurrentPrinterName();
  QPrinterInfo info = chosen.empty() ? QPrinterInfo() : QPrinterInfo::printerInfo(QString::fromStdString(chosen));
  if (info.isNull()) info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) {
    const QList<QPrinterInfo> all = QPrinterInfo::availablePrinters();
    if (all.isEmpty()) return nullptr;
    info = all.first();
  }
  return std::make_shared<SystemPrinterBackend>(info);
}
#endif

std::shared_ptr<PrinterBackend> CurrentBackend() {
  if (InstalledBackend()) return InstalledBackend();
#ifdef ZUVO_SYSTEM_PRINTER
  if (auto system = MakeSystemPrinterBackend()) return system;
#endif
  return MakePdfPrinterBackend(paths::InstallRoot() + "/user", kMaxDpi, true);
}

// ---- The test recorder -------------------------------------------------------------------------

int MillimetresToPixels(double mm, int dpi) {
  if (!(mm > 0)) return 0;
  return static_cast<int>(std::lround(std::min(mm, 10000.0) * dpi / 25.4));
}

}  // namespace

std::shared_ptr<PrinterBackend> SetPrinterBackend(std::shared_ptr<PrinterBackend> backend) {
  return std::exchange(InstalledBackend(), std::move(backend));
}

std::shared_ptr<PrinterBackend> MakePdfPrinterBackend(const std::string& folder, int dpi, bool tellUser) {
  return std::make_shared<PdfBackend>(folder, dpi, tellUser);
}

std::string LastPdfFile(const PrinterBackend& backend) {
  const auto* pdf = dynamic_cast<const PdfBackend*>(&backend);
  return pdf != nullptr ? pdf->LastFile() : std::string();
}

COLORREF RecordedPage::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
  const std::uint32_t c = pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

class ScopedRecordedPrinter::Recorder : public PrinterBackend {
 public:
  Recorder(int dpi, double widthMm, double heightMm)
      : dpi_(std::max(1, dpi)),
        width_(MillimetresToPixels(widthMm, dpi_)),
        height_(MillimetresToPixels(heightMm, dpi_)) {}

  PageSetup Setup(bool landscape) override {
    const int w = landscape ? height_ : width_, h = landscape ? width_ : height_;
    return PageSetup{dpi_, w, h, w, h, 0, 0};
  }
  bool Begin(const std::string& titleGbk, bool landscape, const PageSetup& setup) override {
    RecordedDocument document;
    document.title = titleGbk;
    document.dpi = setup.dpi;
    document.landscape = landscape;
    documents_.push_back(std::move(document));
    open_ = true;
    return true;
  }
  bool AddPage(const QImage& image) override {
    if (!open_) return false;
    if (std::exchange(failNext_, false)) return false;
    RecordedPage page;
    page.width = image.width();
    page.height = image.height();
    page.pixels.resize(static_cast<std::size_t>(page.width) * static_cast<std::size_t>(page.height));
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < page.height; ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
      std::uint32_t* to = page.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(page.width);
      for (int x = 0; x < page.width; ++x) to[x] = line[x] & 0xFFFFFF;
    }
    documents_.back().pages.push_back(std::move(page));
    return true;
  }
  bool Finish() override {
    if (!open_) return false;
    open_ = false;
    documents_.back().finished = true;
    return true;
  }
  void Cancel() override {
    if (!open_) return;
    open_ = false;
    documents_.back().cancelled = true;
  }
  const std::vector<RecordedDocument>& Documents() const { return documents_; }
  void FailNextPage() { failNext_ = true; }

 private:
  int dpi_;
  int width_;
  int height_;
  bool open_ = false;
  bool failNext_ = false;
  std::vector<RecordedDocument> documents_;
};

ScopedRecordedPrinter::ScopedRecordedPrinter(int dpi, double widthMm, double heightMm)
    : recorder_(std::make_shared<Recorder>(dpi, widthMm, heightMm)), previous_(SetPrinterBackend(recorder_)) {}

ScopedRecordedPrinter::~ScopedRecordedPrinter() {
  Printer()->Abort();
  SetPrinterBackend(std::move(previous_));
}

const std::vector<RecordedDocument>& ScopedRecordedPrinter::Documents() const { return recorder_->Documents(); }

void ScopedRecordedPrinter::FailNextPage() { recorder_->FailNextPage(); }

ScopedPdfPrinter::ScopedPdfPrinter(const std::string& folder, int dpi)
    : backend_(MakePdfPrinterBackend(folder, dpi, true)), previous_(SetPrinterBackend(backend_)) {}

ScopedPdfPrinter::~ScopedPdfPrinter() {
  Printer()->Abort();
  SetPrinterBackend(std::move(previous_));
}

std::string ScopedPdfPrinter::LastFile() const { return LastPdfFile(*backend_); }

}  // namespace zuvo::platform

// ---- TPrinter ----------------------------------------------------------------------------------

namespace {

// The printer's canvas draws on the current page; without one, drawing is an error.
class TPrinterCanvas : public TCanvas {
 protected:
  void CreateHandle() override { throw EPrinter("Printing not in progress"); }
};

// The printers with a document begun, by their page context.
std::map<HDC, TPrinter*>& PrintingPages() {
  static std::map<HDC, TPrinter*> pages;
  return pages;
}

}  // namespace

void zuvo::platform::PageDrawingFailed(HDC page) {
  auto it = PrintingPages().find(page);
  if (page == nullptr || it == PrintingPages().end()) return;
  TPrinter* printer = it->second;
  printer->Finish(true);
  printer->aborted_ = true;
  throw EPrinter("Drawing on the printer page failed");
}

struct TPrinter::Job {
  std::shared_ptr<zuvo::platform::PrinterBackend> backend;
  HDC dc = nullptr;
  zuvo::platform::gdi::ObjectPtr page;
};

TPrinter::TPrinter() : canvas_(std::make_unique<TPrinterCanvas>()) {}

TPrinter::~TPrinter() { Abort(); }

void TPrinter::CheckPrinting() const {
  if (!Printing()) throw EPrinter("Printing not in progress");
}

void TPrinter::SetOrientation(TPrinterOrientation orientation) {
  if (Printing()) throw EPrinter("Cannot change the orientation while printing");
  orientation_ = orientation;
}

int TPrinter::PageWidth() {
  if (Printing()) return GetDeviceCaps(job_->dc, HORZRES);
  return zuvo::platform::CurrentBackend()->Setup(orientation_ == poLandscape).width;
}

int TPrinter::PageHeight() {
  if (Printing()) return GetDeviceCaps(job_->dc, VERTRES);
  return zuvo::platform::CurrentBackend()->Setup(orientation_ == poLandscape).height;
}

HDC TPrinter::Handle() {
  CheckPrinting();
  return job_->dc;
}

void TPrinter::BeginDoc() {
  using namespace zuvo::platform;
  if (Printing()) throw EPrinter("Printing in progress");
  const bool landscape = orientation_ == poLandscape;
  auto job = std::make_unique<Job>();
  job->backend = CurrentBackend();
  const PageSetup setup = job->backend->Setup(landscape);
  if (setup.width < 1 || setup.height < 1 || setup.dpi < 1) throw EPrinter("The printer has no page to print on");
  gdi::DeviceCaps caps;
  caps.dpiX = caps.dpiY = setup.dpi;
  caps.horzRes = setup.width;
  caps.vertRes = setup.height;
  caps.physicalWidth = std::max(setup.physicalWidth, setup.width);
  caps.physicalHeight = std::max(setup.physicalHeight, setup.height);
  caps.offsetX = setup.offsetX;
  caps.offsetY = setup.offsetY;
  job->dc = gdi::CreatePageDc(caps, setup.width, setup.height, &job->page);
  if (job->dc == nullptr) throw EPrinter("Not enough memory for a printer page");
  if (!job->backend->Begin(title_, landscape, setup)) {
    gdi::DeletePageDc(job->dc);
    throw EPrinter("The printer cannot start a document");
  }
  job_ = std::move(job);
  PrintingPages()[job_->dc] = this;
  aborted_ = false;
  pageNumber_ = 1;
  canvas_->SetHandle(job_->dc);
}

void TPrinter::HandPage() {
  if (!job_->backend->AddPage(job_->page->image)) {
    Finish(true);
    aborted_ = true;
    throw EPrinter("The printer did not take the page");
  }
}

void TPrinter::NewPage() {
  CheckPrinting();
  HandPage();
  job_->page->image.fill(Qt::white);
  MoveToEx(job_->dc, 0, 0, nullptr);
  ++pageNumber_;
}

void TPrinter::EndDoc() {
  CheckPrinting();
  HandPage();
  std::shared_ptr<zuvo::platform::PrinterBackend> backend = job_->backend;
  Finish(false);
  if (!backend->Finish()) {
    backend->Cancel();
    aborted_ = true;
    throw EPrinter("The printer could not complete the document");
  }
}

void TPrinter::Abort() {
  if (!Printing()) return;
  Finish(true);
  aborted_ = true;
}

void TPrinter::Finish(bool cancel) {
  std::unique_ptr<Job> job = std::move(job_);
  PrintingPages().erase(job->dc);
  pageNumber_ = 0;
  canvas_->SetHandle(nullptr);
  zuvo::platform::gdi::DeletePageDc(job->dc);
  if (cancel) job->backend->Cancel();
}

TPrinter* Printer() {
  static TPrinter* printer = new TPrinter;   // never destroyed: it may be used until the end
  return printer;
}
