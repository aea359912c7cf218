// The picture library operations screen capture uses: loading the optional library smoothdc.dll,
// asking whether it is there, and converting a finished BMP file to the picture format the
// destination's extension names. Callers go through the interface, so that the indicator
// engine's own loader can take the stand-in's place, and tests can put theirs in.
// UI thread.
#pragma once

namespace zuvo::dialogs {

class IPictureLibrary {
 public:
  virtual ~IPictureLibrary() = default;
  // Looks the library's entry points up, unless it is loaded already. Never fails loudly.
  virtual void LoadAntialiasingHelper() = 0;
  // True once at least one entry point was found.
  virtual bool IsAntialiasingAvailable() const = 0;
  // Loads the library, then converts `sourceBmp` to `destination`; true only when the library's
  // ConvertBitmap exists and reports success. The BMP file is left where it is.
  virtual bool ConvertBitmapFile(const char* sourceBmp, const char* destination) = 0;
};

// The stand-in: smoothdc.dll through LoadLibraryA / GetProcAddress. Only a system of the NT
// family with gdiplus.dll loads it; every step that fails leaves the entry points empty, so the
// whole check runs again on the next call. Once an entry point is found the library stays
// loaded for the life of the object.
class SmoothDcPictureLibrary : public IPictureLibrary {
 public:
  void LoadAntialiasingHelper() override;
  bool IsAntialiasingAvailable() const override;
  bool ConvertBitmapFile(const char* sourceBmp, const char* destination) override;

 private:
  using ConvertBitmapProc = int (*)(const char*, const char*);
  ConvertBitmapProc convertBitmap_ = nullptr;
  void (*textOut_)() = nullptr;
  void (*drawLine_)() = nullptr;
};

// The process's picture library (a SmoothDcPictureLibrary).
IPictureLibrary& PictureLibrary();

}  // namespace zuvo::dialogs
