// What PICT does to whole images: resizing (fast or area-averaged),
// rotating, and TrueType text measured and placed.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "modules/image/image.h"
#include "text/text_log.h"

namespace kwl {

// A resized copy of `source`: GD's fast copy (the transparent colour kept)
// or the area-averaging resampler with the alpha channel kept. Empty when
// the size is not allowed; `source` is untouched either way.
Image ResizeImage(gdImagePtr source, int64_t width, int64_t height, bool fast);

// Averages every source pixel a destination pixel covers, weighted by the
// part covered; the destination region must lie inside `destination`.
void ResampleArea(gdImagePtr destination, gdImagePtr source, int dx, int dy, int sx, int sy, int dw,
                  int dh, int sw, int sh);

// A copy of `source` turned by `degrees` (any integer) on a canvas just large
// enough, filled with its transparent colour; empty when that is too large.
Image RotateImage(gdImagePtr source, int degrees);

// GD's bounding box of a text: lower-left x, y, lower-right x, y,
// upper-right x, y, upper-left x, y.
using TextBox = std::array<int, 8>;

// The largest point size a text may be drawn in: a glyph's bitmap grows with
// its square.
constexpr double kMaxPointSize = 2000;

// Measures `text` in the font (on no image); an error text, empty on success.
std::string MeasureText(std::string_view font, double size, std::string_view text, TextBox* box);

// Draws `text` with its baseline origin at (x, y); an error text, empty on success.
std::string DrawText(gdImagePtr im, int colour, std::string_view font, double size, int x, int y,
                     std::string_view text, TextBox* box);

// Where a text with box `box` goes in a width x height image by the position
// name (TL, TM, TR, ML, MM, MR, BL, BM, BR in any case; anything else is BR,
// after a warning in `log`).
void PlaceText(TextLog& log, std::string_view position, int width, int height, const TextBox& box,
               int* x, int* y);

}  // namespace kwl
