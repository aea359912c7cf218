// The form class library's printer: a print job of pages drawn with the same GDI as the screen.
// A page is a white image at the printer's resolution (at most 300 dots per inch) with a device
// context of that resolution (`Handle`, GetDeviceCaps answers for the printer) and a canvas on
// it whose font sizes in points become the page's pixels. When a page ends it goes to the
// printer; when the document ends the job is complete.
//
// Where the pages go: the current printer through Qt's printer when the machine has one (the
// printer the print dialog chose, else the default one); on a machine without a printer a PDF
// file in the user folder of the install tree, named after the title and the time, written to a
// temporary file that becomes the PDF only when the document ends (Abort or a failure leaves no
// file), after which a box tells the user where the file is. Tests keep the pages as images
// (ScopedRecordedPrinter) or write PDF files into a folder of their choice (ScopedPdfPrinter).
//
// NewPage, EndDoc, Handle or drawing on the canvas without a document begun, BeginDoc while one
// is, a page that cannot be made (a size of 0), drawing the GDI layer reports failed on a page
// (PageDrawingFailed) and a printer that refuses a page raise EPrinter; a failure ends the job
// as Abort does. UI thread only.
#pragma once

#include "platform/Canvas.h"
#include "platform/Control.h"   // EPrinter

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TPrinterOrientation { poPortrait, poLandscape };

namespace zuvo::platform {
void PageDrawingFailed(HDC page);   // internal/PrinterBackend.h
}

class TPrinter {
 public:
  TPrinter();
  ~TPrinter();
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  void BeginDoc();   // the first page is ready to draw on
  void NewPage();    // the current page goes to the printer; a blank one follows
  void EndDoc();     // the last page goes to the printer and the job completes
  void Abort();      // drops the job and its pages; nothing when no document is begun
  bool Printing() const { return job_ != nullptr; }
  bool Aborted() const { return aborted_; }   // the last document was aborted

  const std::string& Title() const { return title_; }   // GBK; the document's name
  void SetTitle(const std::string& title) { title_ = title; }
  TPrinterOrientation Orientation() const { return orientation_; }
  void SetOrientation(TPrinterOrientation orientation);   // EPrinter while printing
  // The printable area of a page in the printer's pixels (also before BeginDoc).
  int PageWidth();
  int PageHeight();
  int PageNumber() const { return pageNumber_; }   // from 1 while printing

  TCanvas* Canvas() { return canvas_.get(); }
  HDC Handle();   // the current page's context

 private:
  friend void zuvo::platform::PageDrawingFailed(HDC page);
  struct Job;
  void CheckPrinting() const;
  void HandPage();
  // Drops the page and the job; `cancel` tells the printer to throw the job away.
  void Finish(bool cancel);
  std::unique_ptr<TCanvas> canvas_;
  std::unique_ptr<Job> job_;
  std::string title_;
  TPrinterOrientation orientation_ = poPortrait;
  int pageNumber_ = 0;
  bool aborted_ = false;
};

// The program's printer.
TPrinter* Printer();

namespace zuvo::platform {

class PrinterBackend;

// A page as the printer received it: width x height pixels, 0x00RRGGBB, rows from the top.
struct RecordedPage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  COLORREF Pixel(int x, int y) const;   // CLR_INVALID outside the page
};

struct RecordedDocument {
  std::string title;
  int dpi = 0;
  bool landscape = false;
  std::vector<RecordedPage> pages;
  bool finished = false;   // EndDoc reached the printer
  bool cancelled = false;  // aborted, or failed
};

// While it lives, print jobs go to a printer of `dpi` dots per inch whose sheets are widthMm x
// heightMm (portrait; landscape turns them) and whose whole sheet is printable; every page is
// kept. A size that comes to 0 pixels makes BeginDoc fail. The destructor aborts a job still
// open and puts the previous printer back.
class ScopedRecordedPrinter {
 public:
  explicit ScopedRecordedPrinter(int dpi = 300, double widthMm = 210, double heightMm = 297);
  ~ScopedRecordedPrinter();
  ScopedRecordedPrinter(const ScopedRecordedPrinter&) = delete;
  ScopedRecordedPrinter& operator=(const ScopedRecordedPrinter&) = delete;
  const std::vector<RecordedDocument>& Documents() const;
  // Makes the next page handed to the printer fail (as a printer that runs out of paper).
  void FailNextPage();

 private:
  class Recorder;
  std::shared_ptr<Recorder> recorder_;
  std::shared_ptr<PrinterBackend> previous_;
};

// While it lives, print jobs become PDF files in `folder` (a POSIX path, made when missing) as
// on a machine without a printer: A4 at `dpi`, the box telling where the file went included.
class ScopedPdfPrinter {
 public:
  explicit ScopedPdfPrinter(const std::string& folder, int dpi = 300);
  ~ScopedPdfPrinter();
  ScopedPdfPrinter(const ScopedPdfPrinter&) = delete;
  ScopedPdfPrinter& operator=(const ScopedPdfPrinter&) = delete;
  // The POSIX path of the last PDF file completed; empty before one is.
  std::string LastFile() const;

 private:
  std::shared_ptr<PrinterBackend> backend_;
  std::shared_ptr<PrinterBackend> previous_;
};

}  // namespace zuvo::platform
