// Platform-internal: where a print job's pages go. The printer draws each page into an image at
// the backend's resolution and hands it over when the page ends. One job at a time, UI thread.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/Gdi.h"

#include <QImage>

#include <memory>
#include <string>

namespace zuvo::platform {

// The pages a printer makes, in its pixels.
struct PageSetup {
  int dpi = 300;
  int width = 0;            // printable area
  int height = 0;
  int physicalWidth = 0;    // the whole sheet
  int physicalHeight = 0;
  int offsetX = 0;          // the printable area's corner on the sheet
  int offsetY = 0;
};

class PrinterBackend {
 public:
  virtual ~PrinterBackend() = default;
  // The pages of the next job (also asked outside a job, for PageWidth and PageHeight).
  virtual PageSetup Setup(bool landscape) = 0;
  // Starts a job; false when the printer cannot take one.
  virtual bool Begin(const std::string& titleGbk, bool landscape, const PageSetup& setup) = 0;
  // One finished page, of the setup's printable size; false when it could not be printed.
  virtual bool AddPage(const QImage& page) = 0;
  // Completes the job; false when it failed (nothing is left half done).
  virtual bool Finish() = 0;
  // Throws the job away.
  virtual void Cancel() = 0;
};

// Installs a backend for the jobs begun from now on (null: the machine's printer, or PDF files
// when it has none) and returns the previous one. UI thread.
std::shared_ptr<PrinterBackend> SetPrinterBackend(std::shared_ptr<PrinterBackend> backend);

// Called by the GDI layer when a drawing call onto a context fails (a blit from a dead source, a
// size no page can take): when the context is a printer's current page, the job ends as Abort
// does and EPrinter is raised from the drawing call; any other context is left alone. UI thread.
void PageDrawingFailed(HDC page);

// PDF files in `folder` (POSIX, made when missing), A4 at `dpi`; `tellUser` shows where each
// file went.
std::shared_ptr<PrinterBackend> MakePdfPrinterBackend(const std::string& folder, int dpi, bool tellUser);
// The POSIX path of the last file a PDF backend completed.
std::string LastPdfFile(const PrinterBackend& backend);

}  // namespace zuvo::platform
