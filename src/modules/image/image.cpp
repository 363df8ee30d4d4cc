#include "modules/image/image.h"

#include "core/memory_limit.h"

namespace kwl {

size_t ImageBytes(int64_t width, int64_t height, bool trueColor) {
  if (width < 1 || height < 1) return 0;
  size_t row = static_cast<size_t>(width) * (trueColor ? sizeof(int) : 1) + sizeof(void*);
  return row * static_cast<size_t>(height);
}

bool ImageSizeAllowed(int64_t width, int64_t height, bool trueColor) {
  if (width < 1 || height < 1 || width > kMaxImagePixels || height > kMaxImagePixels) return false;
  if (width * height > kMaxImagePixels) return false;
  return MemoryMayTake(ImageBytes(width, height, trueColor));
}

Image::Image(gdImagePtr gd) : gd_(gd) {
  if (gd_) {
    charge_ = ImageBytes(gdImageSX(gd_), gdImageSY(gd_), gdImageTrueColor(gd_));
    gMemory.used += charge_;
  }
}

Image& Image::operator=(Image&& other) noexcept {
  if (this != &other) {
    Reset();
    gd_ = other.gd_;
    charge_ = other.charge_;
    other.gd_ = nullptr;
  }
  return *this;
}

void Image::Reset() {
  if (!gd_) return;
  gdImageDestroy(gd_);
  gMemory.used -= charge_;
  gd_ = nullptr;
  charge_ = 0;
}

Image NewTrueColorImage(int64_t width, int64_t height) {
  if (!ImageSizeAllowed(width, height, true)) return Image();
  return Image(gdImageCreateTrueColor(static_cast<int>(width), static_cast<int>(height)));
}

int TransparentColour(gdImagePtr im) {
  int transparent = gdImageGetTransparent(im);
  if (transparent < 0 || gdImageTrueColor(im)) return transparent;
  if (transparent >= gdImageColorsTotal(im)) return -1;
  return gdTrueColorAlpha(gdImageRed(im, transparent), gdImageGreen(im, transparent),
                          gdImageBlue(im, transparent), gdImageAlpha(im, transparent));
}

}  // namespace kwl
