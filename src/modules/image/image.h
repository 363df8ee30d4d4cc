// A GD image owned by the module, and the bounds every image it makes or
// decodes must keep.
#pragma once

#include <gd.h>

#include <cstddef>
#include <cstdint>

namespace kwl {

// The most pixels an image may have, checked before one is decoded or made:
// 50 megapixels, 200 MB of true-colour pixels.
constexpr int64_t kMaxImagePixels = int64_t{50} << 20;

// The bytes GD holds for the pixels of an image of that size.
size_t ImageBytes(int64_t width, int64_t height, bool trueColor);
// Whether an image of that size may be made: both sides at least 1, not more
// pixels than the limit, and room for it in the run's memory allowance.
bool ImageSizeAllowed(int64_t width, int64_t height, bool trueColor);

// Owns a gdImagePtr; the pixels count against the run's memory allowance
// for as long as the image lives (GD allocates beside the counted allocator).
class Image {
 public:
  Image() = default;
  explicit Image(gdImagePtr gd);
  Image(Image&& other) noexcept : gd_(other.gd_), charge_(other.charge_) { other.gd_ = nullptr; }
  Image& operator=(Image&& other) noexcept;
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  ~Image() { Reset(); }

  gdImagePtr get() const { return gd_; }
  explicit operator bool() const { return gd_ != nullptr; }
  void Reset();

 private:
  gdImagePtr gd_ = nullptr;
  size_t charge_ = 0;
};

// A new true-colour image, black and opaque; empty when the size is not allowed or GD fails.
Image NewTrueColorImage(int64_t width, int64_t height);

// The transparent colour of an image as 0xRRGGBB (with GD's alpha bits), or
// -1 when it has none; a palette image's index is turned into its colour.
int TransparentColour(gdImagePtr im);

}  // namespace kwl
