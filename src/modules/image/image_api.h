// The image module's decoders for other modules (the PDF writer): what an
// image file is, how large, and the same picture as a JPEG.
#pragma once

#include <string>
#include <string_view>

namespace kwl {

constexpr const char* kImageModule = "image";
constexpr const char* kImageApiSymbol = "kwl_image_api";
constexpr int kImageApiVersion = 1;

struct ImageApi {
  int version;  // kImageApiVersion
  // Decodes a JPEG, PNG or GIF (its type read from its first bytes) and
  // gives its pixel width and height. For a PNG or GIF `jpeg` receives the
  // picture re-encoded as a JPEG of the given quality; for a JPEG it is left
  // empty (the bytes serve as they are). False when the bytes are not an
  // image the module can decode, or the image is larger than it accepts.
  bool (*toJpeg)(std::string_view bytes, int quality, std::string& jpeg, int& width, int& height);
};

using ImageApiFn = const ImageApi* (*)();

}  // namespace kwl
