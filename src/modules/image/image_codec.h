// Image files in and out: the type by the first bytes, the size a header
// claims (checked before anything is decoded), decoding, encoding, and a
// JPEG's pixel density.
#pragma once

#include <string>
#include <string_view>

#include "modules/image/image.h"
#include "text/text_log.h"

namespace kwl {

enum class ImageType { kNone = 0, kGif = 1, kJpeg = 2, kPng = 3 };

// "GIF" at the start, "PNG" from the second byte, or 0xFF 0xD8.
ImageType ImageTypeOf(std::string_view bytes);

// The width and height the header of an image of that type claims; false
// when the header is cut or malformed.
bool ImageHeaderSize(std::string_view bytes, ImageType type, int64_t* width, int64_t* height);

struct JpegHeader {
  int width = 0;
  int height = 0;
  int densityUnit = 0;
  int xDensity = 0;
  int yDensity = 0;
};
// Reads a JPEG's header (libjpeg); false when it is no JPEG header.
bool ReadJpegHeader(std::string_view bytes, JpegHeader* header);

enum class DecodeResult { kDone, kNotImage, kTooLarge, kBroken };

// Decodes JPEG, PNG or GIF bytes into `image`, refusing an image whose
// header claims more pixels than the limit or than the run may hold. Traces
// what it did into `log`.
DecodeResult DecodeImage(TextLog& log, std::string_view bytes, Image* image,
                         ImageType* type = nullptr);
// The error text for a failed decode (what the trace said, without its line end).
const char* DecodeError(DecodeResult result);

// Encodes as GIF, JPEG (at `quality`) or PNG into `out`; false when GD gives nothing.
bool EncodeImage(TextLog& log, gdImagePtr im, ImageType type, int quality, std::string* out);

// For other modules: the size of an image, and a PNG or GIF as a JPEG with
// transparent parts laid on white (a JPEG has no transparency).
bool ImageToJpeg(std::string_view bytes, int quality, std::string& jpeg, int& width, int& height);

}  // namespace kwl
