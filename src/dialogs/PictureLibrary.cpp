#include "dialogs/PictureLibrary.h"

#include "platform/Library.h"
#include "platform/WinUser.h"

namespace zuvo::dialogs {

void SmoothDcPictureLibrary::LoadAntialiasingHelper() {
  if (IsAntialiasingAvailable()) return;
  // The high bit of the version word marks the old, non-NT family.
  if ((GetVersion() & 0x80000000u) != 0) return;
  // Loaded, not only looked up: a load is what finds the library switched off. The uses are
  // never given back, as the library stays for the life of the process.
  if (LoadLibraryA("gdiplus.dll") == nullptr) return;
  HMODULE library = LoadLibraryA("smoothdc.dll");
  if (library == nullptr) return;
  drawLine_ = GetProcAddress(library, "DrawLineAntialiasing");
  textOut_ = GetProcAddress(library, "TextOutAntialiasing");
  convertBitmap_ = reinterpret_cast<ConvertBitmapProc>(GetProcAddress(library, "ConvertBitmap"));
}

bool SmoothDcPictureLibrary::IsAntialiasingAvailable() const {
  return convertBitmap_ != nullptr || textOut_ != nullptr || drawLine_ != nullptr;
}

bool SmoothDcPictureLibrary::ConvertBitmapFile(const char* sourceBmp, const char* destination) {
  LoadAntialiasingHelper();
  if (convertBitmap_ == nullptr || sourceBmp == nullptr || destination == nullptr) return false;
  return convertBitmap_(sourceBmp, destination) != 0;
}

IPictureLibrary& PictureLibrary() {
  static SmoothDcPictureLibrary library;
  return library;
}

}  // namespace zuvo::dialogs
