#include "modules/image/image_ops.h"

#include <cmath>
#include <vector>

#include "text/ascii.h"

namespace kwl {

namespace {

constexpr double kRadiansPerDegree = 0.0174532925;

// Source pixels a destination pixel covers along one axis, with the part of each it covers.
struct Cover {
  size_t first = 0;  // into the weights and indexes below
  size_t count = 0;
};

struct Covers {
  std::vector<Cover> spans;
  std::vector<int> index;
  std::vector<double> weight;
};

// Destination pixel i of `d` spans the source from i*s/d to (i+1)*s/d: a
// partial first pixel counts the part after its start (at most the span), a
// partial last pixel the part before the end, whole pixels count 1.
Covers CoversOf(int offset, int d, int s) {
  Covers covers;
  covers.spans.resize(static_cast<size_t>(d));
  for (int i = 0; i < d; ++i) {
    double start = static_cast<double>(i) * s / d;
    double end = static_cast<double>(i + 1) * s / d;
    Cover& cover = covers.spans[static_cast<size_t>(i)];
    cover.first = covers.index.size();
    double at = start;
    do {
      double part = 1.0;
      if (std::floor(at) == std::floor(start)) {
        part = std::min(1.0 - (at - std::floor(at)), end - start);
        at = std::floor(at);
      } else if (at == std::floor(end)) {
        part = end - std::floor(end);
      }
      int pixel = std::min(static_cast<int>(at), s - 1);
      covers.index.push_back(offset + pixel);
      covers.weight.push_back(part);
      at += 1.0;
    } while (at < end);
    cover.count = covers.index.size() - cover.first;
  }
  return covers;
}

// Fills the whole image with `colour` as it is, not blended onto what is there.
void FillWith(gdImagePtr im, int colour) {
  int blending = im->alphaBlendingFlag;
  gdImageAlphaBlending(im, 0);
  gdImageFilledRectangle(im, 0, 0, gdImageSX(im) - 1, gdImageSY(im) - 1, colour);
  gdImageAlphaBlending(im, blending);
}

// GD finds a font by name in its own search path unless the name holds a
// "/": a name the page gave is a file, relative to the working directory.
std::string FontFile(std::string_view font) {
  std::string file(font);
  if (file.find('/') == std::string::npos) file.insert(0, "./");
  return file;
}

std::string RunFreeType(gdImagePtr im, int colour, std::string_view font, double size, int x, int y,
                        std::string_view text, TextBox* box) {
  if (!(size > 0 && size <= kMaxPointSize)) return "point size out of range";
  std::string file = FontFile(font);
  std::string string(text.substr(0, text.find('\0')));
  int brect[8] = {};
  char* error = gdImageStringFT(im, brect, colour, file.data(), size, 0.0, x, y, string.data());
  if (error) return error;
  std::copy(std::begin(brect), std::end(brect), box->begin());
  return "";
}

}  // namespace

void ResampleArea(gdImagePtr destination, gdImagePtr source, int dx, int dy, int sx, int sy, int dw,
                  int dh, int sw, int sh) {
  if (dw < 1 || dh < 1 || sw < 1 || sh < 1) return;
  Covers across = CoversOf(sx, dw, sw);
  Covers down = CoversOf(sy, dh, sh);
  std::vector<int> row(static_cast<size_t>(gdImageSX(source)));
  // Running sums of one destination row: red, green, blue, alpha, weight.
  std::vector<double> sums(static_cast<size_t>(dw) * 5);
  for (int y = 0; y < dh; ++y) {
    std::fill(sums.begin(), sums.end(), 0.0);
    const Cover& rows = down.spans[static_cast<size_t>(y)];
    for (size_t r = rows.first; r < rows.first + rows.count; ++r) {
      int sourceY = down.index[r];
      double rowWeight = down.weight[r];
      const int* pixels = nullptr;
      if (gdImageTrueColor(source)) {
        pixels = source->tpixels[sourceY];
      } else {
        for (size_t x = 0; x < row.size(); ++x) {
          row[x] = gdImageGetTrueColorPixel(source, static_cast<int>(x), sourceY);
        }
        pixels = row.data();
      }
      double* sum = sums.data();
      for (const Cover& cover : across.spans) {
        for (size_t c = cover.first; c < cover.first + cover.count; ++c) {
          int p = pixels[across.index[c]];
          double weight = rowWeight * across.weight[c];
          sum[0] += gdTrueColorGetRed(p) * weight;
          sum[1] += gdTrueColorGetGreen(p) * weight;
          sum[2] += gdTrueColorGetBlue(p) * weight;
          sum[3] += gdTrueColorGetAlpha(p) * weight;
          sum[4] += weight;
        }
        sum += 5;
      }
    }
    int* out = destination->tpixels[dy + y] + dx;
    for (int x = 0; x < dw; ++x) {
      const double* sum = &sums[static_cast<size_t>(x) * 5];
      double total = sum[4] > 0 ? sum[4] : 1.0;
      int red = std::min(static_cast<int>(sum[0] / total + 0.5), 255);
      int green = std::min(static_cast<int>(sum[1] / total + 0.5), 255);
      int blue = std::min(static_cast<int>(sum[2] / total + 0.5), 255);
      int alpha = std::min(static_cast<int>(sum[3] / total + 0.5), gdAlphaMax);
      out[x] = gdTrueColorAlpha(red, green, blue, alpha);
    }
  }
}

Image ResizeImage(gdImagePtr source, int64_t width, int64_t height, bool fast) {
  Image resized = NewTrueColorImage(width, height);
  if (!resized) return resized;
  gdImagePtr im = resized.get();
  int w = gdImageSX(im);
  int h = gdImageSY(im);
  if (fast) {
    int transparent = TransparentColour(source);
    if (transparent != -1) FillWith(im, transparent);
    gdImageCopyResized(im, source, 0, 0, 0, 0, w, h, gdImageSX(source), gdImageSY(source));
    gdImageColorTransparent(im, transparent);
  } else {
    gdImageAlphaBlending(im, 0);
    gdImageSaveAlpha(im, 1);
    ResampleArea(im, source, 0, 0, 0, 0, w, h, gdImageSX(source), gdImageSY(source));
  }
  return resized;
}

Image RotateImage(gdImagePtr source, int degrees) {
  int angle = degrees % 360;
  if (angle < 0) angle += 360;
  double turn = angle * kRadiansPerDegree;
  double rest = (90 - angle) * kRadiansPerDegree;
  double w = gdImageSX(source);
  double h = gdImageSY(source);
  int64_t width =
      std::llabs(std::llround(std::cos(turn) * w)) + std::llabs(std::llround(std::cos(rest) * h));
  int64_t height =
      std::llabs(std::llround(std::sin(turn) * w)) + std::llabs(std::llround(std::sin(rest) * h));
  Image rotated = NewTrueColorImage(width, height);
  if (!rotated) return rotated;
  gdImagePtr im = rotated.get();
  int transparent = TransparentColour(source);
  if (transparent != -1) FillWith(im, transparent);
  gdImageCopyRotated(im, source, gdImageSX(im) / 2, gdImageSY(im) / 2, 0, 0, gdImageSX(source),
                     gdImageSY(source), angle);
  gdImageColorTransparent(im, transparent);
  return rotated;
}

std::string MeasureText(std::string_view font, double size, std::string_view text, TextBox* box) {
  return RunFreeType(nullptr, 0, font, size, 0, 0, text, box);
}

std::string DrawText(gdImagePtr im, int colour, std::string_view font, double size, int x, int y,
                     std::string_view text, TextBox* box) {
  return RunFreeType(im, colour, font, size, x, y, text, box);
}

void PlaceText(TextLog& log, std::string_view position, int width, int height, const TextBox& b,
               int* x, int* y) {
  int centreX = width / 2 - (b[2] - b[6]) / 2;
  int centreY = height / 2 - (b[3] - b[7]) / 2;
  int top = 2 - b[7];
  int bottom = height - 5 + b[1];
  int left = 2 - b[6];
  int right = width - b[4];
  struct Place {
    const char* name;
    int x, y;
  };
  const Place places[] = {
      {"TL", left, top},     {"TM", centreX, top},     {"TR", right, top},
      {"ML", left, centreY}, {"MM", centreX, centreY}, {"MR", right, centreY},
      {"BL", b[0], bottom},  {"BM", centreX, bottom},  {"BR", width - b[2], bottom},
  };
  LOGF(log, "[%d %d]  [%d %d]\n[%d %d]  [%d %d]\n", b[6], b[7], b[4], b[5], b[0], b[1], b[2], b[3]);
  const Place* chosen = &places[8];
  bool known = false;
  for (const Place& place : places) {
    if (AsciiEqualsNoCase(position, place.name)) {
      chosen = &place;
      known = true;
      break;
    }
  }
  if (!known) LOGF(log, "WARNING: Incorrect POSITION name, BR as default !!\n");
  *x = chosen->x;
  *y = chosen->y;
  LOGF(log, "X=%d Y=%d\n", *x, *y);
}

}  // namespace kwl
