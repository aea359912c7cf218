// A memory context on a white bitmap for the drawing tests; pixels are read back with GetPixel.
#pragma once

#include "platform/Gdi.h"

#include <string>
#include <vector>

namespace platformtest {

class MemoryCanvas {
 public:
  static constexpr COLORREF kWhite = RGB(255, 255, 255);

  MemoryCanvas(int width, int height) : width_(width), height_(height) {
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateCompatibleBitmap(dc_, width, height);
    old_ = SelectObject(dc_, bitmap_);
    RECT all{0, 0, width, height};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  ~MemoryCanvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  MemoryCanvas(const MemoryCanvas&) = delete;
  MemoryCanvas& operator=(const MemoryCanvas&) = delete;

  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // The picture as rows of '#' (not white) and '.' (white).
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (int y = 0; y < height_; ++y) {
      std::string row;
      for (int x = 0; x < width_; ++x) row += GetPixel(dc_, x, y) == kWhite ? '.' : '#';
      rows.push_back(row);
    }
    return rows;
  }
  // Every pixel, row by row.
  std::vector<COLORREF> All() const {
    std::vector<COLORREF> all;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) all.push_back(GetPixel(dc_, x, y));
    return all;
  }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

}  // namespace platformtest
