#include "modules/image/image_codec.h"

#include <jpeglib.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>

namespace kwl {

namespace {

uint32_t Byte(std::string_view bytes, size_t pos) {
  return static_cast<unsigned char>(bytes[pos]);
}
uint32_t Little16(std::string_view bytes, size_t pos) {
  return Byte(bytes, pos) | Byte(bytes, pos + 1) << 8;
}
uint32_t Big32(std::string_view bytes, size_t pos) {
  return Byte(bytes, pos) << 24 | Byte(bytes, pos + 1) << 16 | Byte(bytes, pos + 2) << 8 |
         Byte(bytes, pos + 3);
}

// The logical screen and the first frame, walked the way GD's reader walks
// them (bytes that start nothing are skipped); the larger of the two sides
// is what decoding may need.
bool GifSize(std::string_view bytes, int64_t* width, int64_t* height) {
  constexpr size_t kScreenEnd = 13;
  if (bytes.size() < kScreenEnd) return false;
  uint32_t flags = Byte(bytes, 10);
  size_t pos = kScreenEnd;
  if (flags & 0x80) pos += 3 * (size_t{2} << (flags & 7));
  while (pos < bytes.size()) {
    char c = bytes[pos++];
    if (c == ';') return false;
    if (c == '!') {
      ++pos;  // the extension's label
      while (pos < bytes.size()) {
        uint32_t length = Byte(bytes, pos++);
        if (length == 0) break;
        pos += length;
      }
      continue;
    }
    if (c != ',') continue;
    if (bytes.size() - pos < 9) return false;
    *width = std::max(Little16(bytes, 6), Little16(bytes, pos + 4));
    *height = std::max(Little16(bytes, 8), Little16(bytes, pos + 6));
    return true;
  }
  return false;
}

bool PngSize(std::string_view bytes, int64_t* width, int64_t* height) {
  if (bytes.size() < 24 || bytes.substr(12, 4) != "IHDR") return false;
  *width = Big32(bytes, 16);
  *height = Big32(bytes, 20);
  return true;
}

// libjpeg ends a failed read through error_exit, which must not return.
struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

extern "C" void JpegErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}
extern "C" void JpegQuiet(j_common_ptr, int) {}
extern "C" void JpegQuietOutput(j_common_ptr) {}

class NoLog final : public TextLog {
 public:
  bool Active() override { return false; }
  void Write(std::string_view) override {}
};

gdImagePtr DecodeByType(std::string_view bytes, ImageType type) {
  void* data = const_cast<char*>(bytes.data());
  int size = static_cast<int>(bytes.size());
  switch (type) {
    case ImageType::kGif:
      return gdImageCreateFromGifPtr(size, data);
    case ImageType::kJpeg:
      return gdImageCreateFromJpegPtr(size, data);
    case ImageType::kPng:
      return gdImageCreateFromPngPtr(size, data);
    case ImageType::kNone:
      break;
  }
  return nullptr;
}

}  // namespace

ImageType ImageTypeOf(std::string_view bytes) {
  if (bytes.substr(0, 3) == "GIF") return ImageType::kGif;
  if (bytes.size() >= 4 && bytes.substr(1, 3) == "PNG") return ImageType::kPng;
  if (bytes.size() >= 2 && Byte(bytes, 0) == 0xFF && Byte(bytes, 1) == 0xD8) {
    return ImageType::kJpeg;
  }
  return ImageType::kNone;
}

bool ImageHeaderSize(std::string_view bytes, ImageType type, int64_t* width, int64_t* height) {
  switch (type) {
    case ImageType::kGif:
      return GifSize(bytes, width, height);
    case ImageType::kPng:
      return PngSize(bytes, width, height);
    case ImageType::kJpeg: {
      JpegHeader header;
      if (!ReadJpegHeader(bytes, &header)) return false;
      *width = header.width;
      *height = header.height;
      return true;
    }
    case ImageType::kNone:
      break;
  }
  return false;
}

bool ReadJpegHeader(std::string_view bytes, JpegHeader* header) {
  jpeg_decompress_struct info{};
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegErrorExit;
  error.manager.emit_message = JpegQuiet;
  error.manager.output_message = JpegQuietOutput;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  bool read = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
  if (read) {
    header->width = static_cast<int>(info.image_width);
    header->height = static_cast<int>(info.image_height);
    header->densityUnit = info.density_unit;
    header->xDensity = info.X_density;
    header->yDensity = info.Y_density;
  }
  jpeg_destroy_decompress(&info);
  return read;
}

DecodeResult DecodeImage(TextLog& log, std::string_view bytes, Image* image, ImageType* type) {
  ImageType found = ImageTypeOf(bytes);
  if (type) *type = found;
  if (found == ImageType::kNone) {
    LOGF(log, "ERROR: Image format incompatible !!\n");
    return DecodeResult::kNotImage;
  }
  int64_t width = 0;
  int64_t height = 0;
  if (bytes.size() > INT_MAX || !ImageHeaderSize(bytes, found, &width, &height)) {
    LOGF(log, "ERROR: Problem encountered in the structure's loading !!\n");
    return DecodeResult::kBroken;
  }
  // A header of a few bytes can claim gigabytes of pixels: refused before GD allocates them.
  if (!ImageSizeAllowed(width, height, true)) {
    LOGF(log, "ERROR: Image too large !!\n");
    return DecodeResult::kTooLarge;
  }
  Image decoded(DecodeByType(bytes, found));
  if (!decoded) {
    LOGF(log, "ERROR: Problem encountered in the structure's loading !!\n");
    return DecodeResult::kBroken;
  }
  LOGF(log, "Img loaded: Transp=%d px(0,0)=%d\n", gdImageGetTransparent(decoded.get()),
       gdImageGetPixel(decoded.get(), 0, 0));
  *image = std::move(decoded);
  return DecodeResult::kDone;
}

const char* DecodeError(DecodeResult result) {
  switch (result) {
    case DecodeResult::kNotImage:
      return "ERROR: Image format incompatible !!";
    case DecodeResult::kTooLarge:
      return "ERROR: Image too large !!";
    case DecodeResult::kBroken:
      return "ERROR: Problem encountered in the structure's loading !!";
    case DecodeResult::kDone:
      break;
  }
  return "";
}

bool EncodeImage(TextLog& log, gdImagePtr im, ImageType type, int quality, std::string* out) {
  LOGF(log, "Convert IMG to %d ", static_cast<int>(type));
  int size = 0;
  void* data = nullptr;
  switch (type) {
    case ImageType::kGif:
      data = gdImageGifPtr(im, &size);
      break;
    case ImageType::kJpeg:
      data = gdImageJpegPtr(im, &size, quality);
      break;
    case ImageType::kPng:
      data = gdImagePngPtr(im, &size);
      break;
    case ImageType::kNone:
      LOGF(log, "ERROR: Image saving error !!\n");
      return false;
  }
  if (!data) return false;
  out->assign(static_cast<const char*>(data), static_cast<size_t>(std::max(size, 0)));
  gdFree(data);
  LOGF(log, "Img saved: Transp=%d px(0,0)=%d\n", gdImageGetTransparent(im),
       gdImageGetPixel(im, 0, 0));
  return true;
}

bool ImageToJpeg(std::string_view bytes, int quality, std::string& jpeg, int& width, int& height) {
  jpeg.clear();
  ImageType type = ImageTypeOf(bytes);
  int64_t claimedWidth = 0;
  int64_t claimedHeight = 0;
  if (type == ImageType::kJpeg) {
    if (!ImageHeaderSize(bytes, type, &claimedWidth, &claimedHeight) ||
        !ImageSizeAllowed(claimedWidth, claimedHeight, true)) {
      return false;
    }
    width = static_cast<int>(claimedWidth);
    height = static_cast<int>(claimedHeight);
    return true;
  }
  NoLog quiet;
  Image decoded;
  if (DecodeImage(quiet, bytes, &decoded) != DecodeResult::kDone) return false;
  gdImagePtr source = decoded.get();
  Image paper = NewTrueColorImage(gdImageSX(source), gdImageSY(source));
  if (!paper) return false;
  gdImageFilledRectangle(paper.get(), 0, 0, gdImageSX(source) - 1, gdImageSY(source) - 1,
                         gdTrueColor(255, 255, 255));
  // Blending lays the picture's translucent pixels on the white; its
  // transparent colour is skipped and stays white.
  gdImageAlphaBlending(paper.get(), 1);
  gdImageCopy(paper.get(), source, 0, 0, 0, 0, gdImageSX(source), gdImageSY(source));
  if (!EncodeImage(quiet, paper.get(), ImageType::kJpeg, quality, &jpeg)) return false;
  width = gdImageSX(source);
  height = gdImageSY(source);
  return true;
}

}  // namespace kwl
