// The image loader: whatever bytes a page hands it, it gives an image no
// larger than the limit or a clean failure, and a PNG or GIF it accepts for
// the PDF writer comes back as a JPEG of the size it reported.
#include <cstdint>
#include <string>

#include "core/memory_limit.h"
#include "fuzz_support.h"
#include "modules/image/image_codec.h"

using namespace kwl;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Claims of tens of megapixels are refused by the allowance, not decoded, on every run.
  MemorySetLimit(size_t{32} << 20);
  gdSetErrorMethod([](int, const char*, va_list) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::Bytes(data, size);
  Process proc;
  fuzz::QuietTrace trace(proc, true);
  Image image;
  ImageType type = ImageType::kNone;
  if (DecodeImage(proc, input, &image, &type) == DecodeResult::kDone) {
    FUZZ_CHECK(type != ImageType::kNone);
    int64_t pixels = int64_t{gdImageSX(image.get())} * gdImageSY(image.get());
    FUZZ_CHECK(pixels >= 1 && pixels <= kMaxImagePixels);
  }
  image.Reset();
  std::string jpeg;
  int width = 0;
  int height = 0;
  if (ImageToJpeg(input, 75, jpeg, width, height)) {
    FUZZ_CHECK(width >= 1 && height >= 1);
    FUZZ_CHECK(jpeg.empty() == (type == ImageType::kJpeg));
    if (!jpeg.empty()) {
      Image back;
      FUZZ_CHECK(DecodeImage(proc, jpeg, &back) == DecodeResult::kDone);
      FUZZ_CHECK(gdImageSX(back.get()) == width && gdImageSY(back.get()) == height);
    }
  }
  return 0;
}
