// Fuzz target "bmp": BMP pictures from outside (picture files beside the program, pictures
// stored in settings) read by CreateBitmapFromBmpBytes and LoadImageA.
// Input: the bytes of a BMP file.
// Property: a bitmap comes back only for bytes that hold the file and info headers, and then
// has exactly the width and the (unsigned) height the header states, both at least 1 and
// together within kMaxImagePixels; the same bytes written to a file and loaded by LoadImageA
// give a bitmap exactly when the bytes did, of the same size, and the file is closed again;
// every bitmap deletes, after which its handle is dead.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "platform/Gdi.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

constexpr std::size_t kHeaders = 14 + 40;

std::int32_t I32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                   (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

struct Size {
  bool made = false;
  long long width = 0;
  long long height = 0;
};

// The size of the bitmap, which is then deleted.
Size Take(HBITMAP bitmap) {
  Size size;
  if (bitmap == nullptr) return size;
  BITMAP info{};
  FUZZ_CHECK(GetObjectA(bitmap, sizeof info, &info) == static_cast<int>(sizeof info), "a bitmap returned is a bitmap");
  size = Size{true, info.bmWidth, info.bmHeight};
  FUZZ_CHECK(DeleteObject(bitmap) != FALSE, "a bitmap returned deletes");
  FUZZ_CHECK(GetObjectType(bitmap) == 0, "a deleted bitmap's handle is dead");
  return size;
}

}  // namespace

int FuzzBmpImage(const std::uint8_t* data, std::size_t size) {
  // A copy of the exact length, so that the sanitizer sees any read past the bytes.
  const auto bytes = std::make_unique<std::uint8_t[]>(size);
  std::copy(data, data + size, bytes.get());
  const Size fromBytes = Take(zuvo::platform::CreateBitmapFromBmpBytes(bytes.get(), size));
  if (fromBytes.made) {
    FUZZ_CHECK(size >= kHeaders, "a bitmap comes only from bytes that hold the headers");
    const long long width = I32(data + 18);
    const long long height = std::llabs(I32(data + 22));
    FUZZ_CHECK(fromBytes.width == width && fromBytes.height == height, "the bitmap has the header's size");
    FUZZ_CHECK(width >= 1 && height >= 1 && width * height <= zuvo::platform::kMaxImagePixels,
               "the bitmap's size is within the limit");
  }

  fuzz::Sandbox::Write("data/fuzz.bmp", std::string_view(reinterpret_cast<const char*>(data), size));
  const Size fromFile =
      Take(static_cast<HBITMAP>(LoadImageA(nullptr, "..\\data\\fuzz.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
  FUZZ_CHECK(fromFile.made == fromBytes.made, "the file loads exactly when its bytes do");
  FUZZ_CHECK(fromFile.width == fromBytes.width && fromFile.height == fromBytes.height, "the file loads at the same size");
  return 0;
}
