// <PICT>: loads an image (from a file, from data, or one kept under a name),
// resizes it, draws on it, copies another onto it, rotates and saves it;
// measures texts and reads sizes back into variables.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/memory_limit.h"
#include "core/paths.h"
#include "core/trace.h"
#include "interp/substitute.h"
#include "modules/image/image_codec.h"
#include "modules/image/image_ops.h"
#include "modules/image/image_state.h"
#include "modules/image/image_tags.h"
#include "text/colours.h"
#include "text/decimal.h"
#include "text/number_list.h"

namespace kwl {

namespace {

constexpr const char* kDefaultFont = "./fonts/verdana.ttf";
constexpr double kDefaultPointSize = 12.0;
constexpr int kSaveQuality = 90;
// Coordinates are kept this close to the image (far beyond any side an image
// may have): GD adds and subtracts them in ints.
constexpr int kFarAway = 1 << 28;

constexpr const char* kUnknownImage = "ERROR: Unknown image handle in PICT tag";

int Near(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, -kFarAway, kFarAway));
}

// One PICT call: its attributes, the image it works on and the per-call values.
struct Pict {
  Pict(Interpreter& i, AttributeList list, ImageState& state, Scope& variables)
      : interp(i), attributes(std::move(list)), images(state), scope(variables) {}

  Interpreter& interp;
  AttributeList attributes;
  ImageState& images;
  Scope& scope;  // where named images and the values read back live
  Image loaded;  // loaded by this call and not named: it goes with the call
  Image* image = nullptr;
  bool loadFailed = false;
  bool closing = false;
  std::string closeName;
  Image brush;
  Image tile;
  int colour = 0;
  int fill = 0;
  bool filling = false;
  int border = 0;
  int x = -1;
  int y = -1;
  std::string position;
  std::string font = kDefaultFont;
  double size = kDefaultPointSize;
  int measuredX = 0;
  int measuredY = 0;
  int measuredW = 0;
  int measuredH = 0;

  std::optional<std::string> Text(std::string_view name) {
    Variable* attribute = FindAttribute(attributes, name);
    if (!attribute) return std::nullopt;
    return Substituted(interp, VarText(*attribute));
  }
  // A variable name: an empty one is no name.
  std::optional<std::string> Name(std::string_view name) {
    std::optional<std::string> text = Text(name);
    if (text && text->empty()) text.reset();
    return text;
  }
  std::optional<int32_t> Number(std::string_view name) {
    std::optional<std::string> text = Text(name);
    if (!text) return std::nullopt;
    return ParseDecimal(*text);
  }
  gdImagePtr im() const { return image->get(); }
};

// The block a PICT call keeps its variables in: the innermost that is not a result block.
Scope& TagScope(Interpreter& interp) {
  Block* block = BlockTopNotOfKind(interp.stack, kBlockData);
  return block ? block->vars : *interp.global;
}

enum class Named { kNone, kFound, kStale };

// The image a variable of the tag's scope names. A missing variable, or one
// whose value is no number, names none; a number that is no open image of
// this run (closed, made up, from another request) is stale.
Named FindNamed(Pict& call, std::string_view name, int32_t* handle, Image** image) {
  Variable* var = ScopeFind(call.scope, name);
  int32_t number = var ? VarInt(*var) : 0;
  if (number == 0) return Named::kNone;
  *image = call.images.Find(number);
  if (!*image) return Named::kStale;
  *handle = number;
  return Named::kFound;
}

bool Decode(Pict& call, std::string_view bytes, Image* image, ImageType* type) {
  DecodeResult result = DecodeImage(call.interp.proc, bytes, image, type);
  if (result == DecodeResult::kDone) return true;
  ReportError(call.interp, 1, DecodeError(result));
  call.loadFailed = true;
  return false;
}

bool LoadFile(Pict& call, const std::string& path, Image* image, ImageType* type,
              std::string* bytes) {
  if (!LoadWholeFile(call.interp.proc, path, bytes)) {
    TRACE(call.interp.proc, "ERROR: Memory error on image loading !!\n");
    ReportError(call.interp, 1, "ERROR: Memory error on image loading !!");
    call.loadFailed = true;
    return false;
  }
  return Decode(call, *bytes, image, type);
}

// PATH (with GETDPI) or CONTENT.
void Load(Pict& call) {
  std::optional<std::string> path = call.Text("PATH");
  if (path && !path->empty()) {
    std::string bytes;
    ImageType type = ImageType::kNone;
    bool loaded = LoadFile(call, ResolvePath(call.interp.proc, *path), &call.loaded, &type, &bytes);
    std::optional<std::string> dpi = call.Name("GETDPI");
    JpegHeader header;
    if (dpi && loaded && type == ImageType::kJpeg && ReadJpegHeader(bytes, &header)) {
      TRACE(call.interp.proc, "IMG DPI u%d=%dx%d\n", header.densityUnit, header.xDensity,
            header.yDensity);
      ScopeSet(call.scope, *dpi,
               std::to_string(header.xDensity) + "x" + std::to_string(header.yDensity));
    }
  } else if (std::optional<std::string> content = call.Text("CONTENT")) {
    Decode(call, *content, &call.loaded, nullptr);
  }
}

// NAME keeps the loaded image under a name, or fetches or creates the named
// one; CLOSE fetches one to destroy. False when the call must end.
bool ChooseImage(Pict& call, const std::optional<std::string>& heightText,
                 const std::optional<std::string>& widthText, bool* resize) {
  Interpreter& interp = call.interp;
  int32_t handle = 0;
  Image* found = nullptr;
  if (std::optional<std::string> name = call.Name("NAME")) {
    Named named = FindNamed(call, *name, &handle, &found);
    if (call.loaded) {
      // A name that holds an image already: the new one takes its place and handle.
      if (named == Named::kFound) {
        *found = std::move(call.loaded);
      } else {
        handle = call.images.Add(std::move(call.loaded));
      }
      TRACE(interp.proc, "Image %s ptr %d\n", name->c_str(), handle);
    } else {
      TRACE(interp.proc, "New image %s\n", name->c_str());
      if (named == Named::kStale) {
        ReportError(interp, 1, kUnknownImage);
        return false;
      }
      if (named == Named::kNone) {
        int32_t width = widthText ? ParseDecimal(*widthText) : 0;
        int32_t height = heightText ? ParseDecimal(*heightText) : 0;
        if (width < 1 || height < 1) {
          // After a failed load its own error says more.
          if (!call.loadFailed) {
            ReportError(interp, 1, "ERROR: WIDTH and HEIGHT needed for a new image in PICT tag");
          }
          return false;
        }
        Image made = NewTrueColorImage(width, height);
        if (!made) {
          ReportError(interp, 1, DecodeError(DecodeResult::kTooLarge));
          return false;
        }
        handle = call.images.Add(std::move(made));
        *resize = false;
      }
    }
    call.image = call.images.Find(handle);
    if (call.image) ScopeSetInt(call.scope, *name, handle);
  } else if (std::optional<std::string> close = call.Name("CLOSE")) {
    Named named = FindNamed(call, *close, &handle, &found);
    if (named == Named::kStale) {
      ReportError(interp, 1, kUnknownImage);
      return false;
    }
    call.image = found;
    call.closing = true;
    call.closeName = *close;
  } else if (call.loaded) {
    call.image = &call.loaded;
  }
  return true;
}

// A size text: empty keeps `current`, "n%" is n percent of it, anything else a number.
int64_t SizeOf(const std::string& text, int current) {
  if (text.empty()) return current;
  if (text.find('%') != std::string::npos) {
    return int64_t{ParseDecimal(std::string_view(text).substr(0, text.size() - 1))} * current / 100;
  }
  return ParseDecimal(text);
}

// The new image replaces the old only once it exists: a refused size keeps the old one.
bool Resize(Pict& call, const std::optional<std::string>& heightText,
            const std::optional<std::string>& widthText) {
  Interpreter& interp = call.interp;
  std::optional<std::string> option = call.Text("OPTION");
  bool fast = option && *option == "speed";
  TRACE(interp.proc, "Redimensionnement inH=%s inW=%s\n", heightText.value_or("").c_str(),
        widthText.value_or("").c_str());
  int oldWidth = gdImageSX(call.im());
  int oldHeight = gdImageSY(call.im());
  int64_t height = heightText ? SizeOf(*heightText, oldHeight) : 0;
  int64_t width = widthText ? SizeOf(*widthText, oldWidth) : 0;
  if (width == 0) width = oldWidth * height / oldHeight;
  if (height == 0) height = oldHeight * width / oldWidth;
  if (width == oldWidth && height == oldHeight) return true;
  TRACE(interp.proc, "RedimImage %dx%d\n", Near(width), Near(height));
  Image resized = ResizeImage(call.im(), width, height, fast);
  if (!resized) {
    ReportError(interp, 1, "ERROR: on DIM IMAGE in PICT tag");
    return false;
  }
  *call.image = std::move(resized);
  return true;
}

// Colours are resolved opaque: GD reads a negative alpha as a special colour,
// and a page's ALPHA has never made its drawing translucent.
int Resolve(gdImagePtr im, uint32_t rgb) {
  return gdImageColorResolveAlpha(im, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, 0);
}

// COLOR and FILL: a colour, or (with a "." in it) an image file for a brush or a tile.
int ColourOrPattern(Pict& call, const std::string& value, Image* pattern, bool isTile) {
  if (value.find('.') == std::string::npos) {
    return Resolve(call.im(), ReadColour(call.interp.proc, value));
  }
  ImageType type = ImageType::kNone;
  std::string bytes;
  if (LoadFile(call, value, pattern, &type, &bytes)) {
    if (isTile) {
      gdImageSetTile(call.im(), pattern->get());
    } else {
      gdImageSetBrush(call.im(), pattern->get());
    }
  }
  // Without a pattern GD draws nothing in these colours.
  return isTile ? gdTiled : gdBrushed;
}

void SetThickness(Pict& call, int thickness) {
  // A line thicker than the image covers it all; GD walks every unit of it.
  int most = 2 * (gdImageSX(call.im()) + gdImageSY(call.im()));
  gdImageSetThickness(call.im(), std::min(thickness, most));
}

// How many numbers a list holds (pieces between commas and spaces).
size_t CountNumbers(std::string_view text) {
  size_t count = 0;
  size_t pos = 0;
  while ((pos = text.find_first_not_of(", ", pos)) != std::string_view::npos) {
    ++count;
    pos = text.find_first_of(", ", pos);
  }
  return count;
}

// GD's flood fill keeps a work list of up to a quarter of the pixels, 16
// bytes each, beside the counted allocator: it must fit the run's allowance.
void FloodFill(Pict& call) {
  gdImagePtr im = call.im();
  if (!MemoryMayTake(ImageBytes(gdImageSX(im), gdImageSY(im), true))) {
    TRACE(call.interp.proc, "Memory error !!!!!!\n");
    return;
  }
  gdImageFill(im, call.x, call.y, call.fill);
}

void DrawShapes(Pict& call) {
  gdImagePtr im = call.im();
  if (std::optional<std::string> rect = call.Text("RECT")) {
    std::vector<int32_t> n = ReadNumberList(*rect, 4);
    size_t given = CountNumbers(*rect);
    if (given < 2) n[1] = n[0];
    if (given < 4) n[3] = n[1];
    if (call.border == 0) gdImageSetThickness(im, 1);
    // GD walks every pixel of a thick edge, in the image or not: corners far
    // outside are brought in to just beyond the edge's reach, which draws the same.
    int reach = std::max(im->thick, 1) + 1;
    int x1 = std::clamp(n[0], -reach, gdImageSX(im) + reach);
    int y1 = std::clamp(n[1], -reach, gdImageSY(im) + reach);
    int x2 = std::clamp(n[2], -reach, gdImageSX(im) + reach);
    int y2 = std::clamp(n[3], -reach, gdImageSY(im) + reach);
    gdImageRectangle(im, x1, y1, x2, y2, call.colour);
    if (call.filling) gdImageFilledRectangle(im, x1, y1, x2, y2, call.fill);
  }
  if (std::optional<std::string> line = call.Text("LINE")) {
    std::vector<int32_t> n = ReadNumberList(*line, 4);
    if (call.border == 0) gdImageSetThickness(im, 1);
    gdImageLine(im, Near(n[0]), Near(n[1]), Near(n[2]), Near(n[3]), call.colour);
  }
  if (std::optional<std::string> position = call.Text("POSITION")) {
    call.position = *position;
  } else {
    call.x = call.Number("X").value_or(-1);
    call.y = call.Number("Y").value_or(-1);
    if (call.x >= 0 && call.y >= 0 && call.x < gdImageSX(im) && call.y < gdImageSY(im) &&
        call.filling) {
      FloodFill(call);
    }
  }
}

bool FontOpens(Pict& call) {
  std::FILE* file =
      call.font.find('\0') == std::string::npos ? std::fopen(call.font.c_str(), "rb") : nullptr;
  if (!file) {
    TRACE(call.interp.proc, "PICT ERROR (TEXT) = Font %s not found !!\n", call.font.c_str());
    return false;
  }
  std::fclose(file);
  return true;
}

bool AddText(Pict& call, const std::string& text) {
  Process& proc = call.interp.proc;
  if (!FontOpens(call)) return false;
  TextBox box{};
  std::string error = MeasureText(call.font, call.size, text, &box);
  if (!error.empty()) {
    TRACE(proc, "PICT ERROR (TEXT) = brect initialization: %s\n", error.c_str());
    return false;
  }
  int x = call.x;
  int y = call.y;
  if (x == -1 && y == -1) {
    PlaceText(proc, call.position, gdImageSX(call.im()), gdImageSY(call.im()), box, &x, &y);
  }
  error = DrawText(call.im(), call.colour, call.font, call.size, Near(x), Near(y), text, &box);
  if (!error.empty()) {
    TRACE(proc, "PICT ERROR (TEXT) = On string creation: %s\n", error.c_str());
    return false;
  }
  return true;
}

void CopyOnto(Pict& call, const std::string& name) {
  int32_t handle = 0;
  Image* found = nullptr;
  Named named = FindNamed(call, name, &handle, &found);
  if (named == Named::kStale) ReportError(call.interp, 1, kUnknownImage);
  if (named != Named::kFound) return;
  gdImagePtr im = call.im();
  gdImagePtr source = found->get();
  if (call.x == -1) call.x = 0;
  if (call.y == -1) call.y = 0;
  int transparent = TransparentColour(source);
  if (transparent != -1) gdImageColorTransparent(im, Resolve(im, transparent & 0xFFFFFF));
  if (std::optional<int32_t> angle = call.Number("ROTATE")) {
    gdImageCopyRotated(im, source, Near(call.x), Near(call.y), 0, 0, gdImageSX(source),
                       gdImageSY(source), *angle % 360);
  } else {
    gdImageCopy(im, source, Near(call.x), Near(call.y), 0, 0, gdImageSX(source), gdImageSY(source));
  }
}

// The path's extension, compared exactly, chooses the format; JPEG by default.
ImageType SaveType(Process& proc, const std::string& path) {
  size_t dot = path.rfind('.');
  std::string_view extension =
      dot == std::string::npos ? std::string_view() : std::string_view(path).substr(dot);
  if (extension == ".gif") return ImageType::kGif;
  if (extension == ".jpg") return ImageType::kJpeg;
  if (extension == ".png") return ImageType::kPng;
  TRACE(proc, "ERROR: Image format incompatible !! JPG saved as default\n");
  return ImageType::kJpeg;
}

// Encodes first, so that a failed encoding leaves the file as it was.
bool Save(Pict& call, const std::string& path) {
  Process& proc = call.interp.proc;
  std::string bytes;
  if (!EncodeImage(proc, call.im(), SaveType(proc, path), kSaveQuality, &bytes)) {
    TRACE(proc, "ERROR: Recuperation of the buffer failed !!\n");
    return false;
  }
  // A zero byte would make the system open a shorter name than the page gave.
  std::FILE* file = path.find('\0') == std::string::npos ? std::fopen(path.c_str(), "wb") : nullptr;
  if (!file) {
    TRACE(proc, "ERROR: Open new file failed !!\n");
    return false;
  }
  bool saved = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (!saved) TRACE(proc, "ERROR: Copy buffer into file failed !!\n");
  // A full disk may only show when the last bytes are flushed.
  if (std::fclose(file) != 0) {
    TRACE(proc, "ERROR: Close file failed !!\n");
    saved = false;
  }
  return saved;
}

std::string TransparentText(gdImagePtr im) {
  int transparent = gdImageGetTransparent(im);
  if (transparent < 0) return "";
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", gdImageRed(im, transparent) & 0xFF,
                gdImageGreen(im, transparent) & 0xFF, gdImageBlue(im, transparent) & 0xFF);
  return text;
}

// Everything done to the chosen image; false when the call must end.
bool Work(Pict& call, bool resize, const std::optional<std::string>& heightText,
          const std::optional<std::string>& widthText) {
  Interpreter& interp = call.interp;
  if (resize && !Resize(call, heightText, widthText)) return false;
  gdImagePtr im = call.im();
  std::optional<std::string> savePath;
  if (std::optional<std::string> dest = call.Text("DEST")) {
    if (dest->empty()) {
      ReportError(interp, 1, "ERROR: DEST empty in PICT tag !!");
    } else {
      savePath = ResolvePath(interp.proc, *dest);
    }
  }
  if (std::optional<std::string> colour = call.Text("COLOR")) {
    call.colour = ColourOrPattern(call, *colour, &call.brush, false);
  }
  call.border = call.Number("BORDER").value_or(0);
  if (call.border != 0) SetThickness(call, call.border);
  if (std::optional<std::string> fill = call.Text("FILL")) {
    call.fill = ColourOrPattern(call, *fill, &call.tile, true);
    call.filling = true;
  }
  DrawShapes(call);
  if (std::optional<std::string> text = call.Text("TEXT")) {
    if (!AddText(call, *text)) ReportError(interp, 2, "ERROR: on ADDING TEXT in PICT tag");
  }
  if (std::optional<std::string> copy = call.Name("COPY")) {
    CopyOnto(call, *copy);
  } else if (std::optional<int32_t> angle = call.Number("ROTATE")) {
    Image rotated = RotateImage(im, *angle);
    if (rotated) {
      *call.image = std::move(rotated);
      im = call.im();
    } else {
      ReportError(interp, 2, "PICT Rotate failed\n");
    }
  }
  if (std::optional<std::string> gett = call.Name("GETT")) {
    ScopeSet(call.scope, *gett, TransparentText(im));
  }
  if (std::optional<std::string> transparency = call.Text("TRANSPARENCY")) {
    gdImageColorTransparent(im, Resolve(im, ReadColour(interp.proc, *transparency)));
  }
  call.measuredH = gdImageSY(im);
  call.measuredW = gdImageSX(im);
  if (savePath && !Save(call, *savePath)) {
    ReportError(interp, 1, "ERROR: SAVE IMAGE FAILED in PICT tag");
  }
  // The brush and tile go with the call; a kept image must not point at them.
  im->brush = nullptr;
  im->tile = nullptr;
  return true;
}

void Measure(Pict& call, const std::string& text) {
  TextBox b{};
  std::string error;
  if (!FontOpens(call)) {
    error = "font";
  } else if (!(error = MeasureText(call.font, call.size, text, &b)).empty()) {
    TRACE(call.interp.proc, "PICT ERROR (TEXT) = brect initialization: %s\n", error.c_str());
  }
  if (!error.empty()) {
    ReportError(call.interp, 2, "ERROR: on CALC TEXT in PICT tag");
    return;
  }
  call.measuredX = b[0];
  call.measuredY = b[1];
  call.measuredW = b[2] - b[6];
  call.measuredH = b[3] - b[7];
  TRACE(call.interp.proc, "R= %d %d %d %d %d %d %d %d\n", b[0], b[1], b[2], b[3], b[4], b[5], b[6],
        b[7]);
}

}  // namespace

void PictTag(Interpreter& interp, const TagCall& tag) {
  ReportError(interp, 0, "");
  Pict call{interp, TagAttributes(interp, tag), ImageStateOf(interp), TagScope(interp)};
  Load(call);
  std::optional<std::string> heightText = call.Text("HEIGHT");
  std::optional<std::string> widthText = call.Text("WIDTH");
  bool resize = heightText || widthText;
  if (!ChooseImage(call, heightText, widthText, &resize)) return;
  if (std::optional<std::string> font = call.Text("FONT")) call.font = *font;
  if (std::optional<std::string> size = call.Text("SIZE")) {
    call.size = std::strtod(size->c_str(), nullptr);
    if (call.size == 0) call.size = kDefaultPointSize;
  }
  if (call.image && *call.image) {
    if (!Work(call, resize, heightText, widthText)) return;
    if (call.closing) {
      int32_t handle = 0;
      Image* found = nullptr;
      if (FindNamed(call, call.closeName, &handle, &found) == Named::kFound) {
        call.images.Close(handle);
      }
      ScopeRemove(call.scope, call.closeName);
    }
  }
  if (std::optional<std::string> calc = call.Text("CALC")) Measure(call, *calc);
  const std::pair<const char*, int> readBack[] = {{"GETH", call.measuredH},
                                                  {"GETW", call.measuredW},
                                                  {"GETX", call.measuredX},
                                                  {"GETY", call.measuredY}};
  for (const auto& [attribute, value] : readBack) {
    if (std::optional<std::string> name = call.Name(attribute)) {
      ScopeSetInt(call.scope, *name, value);
    }
  }
}

}  // namespace kwl
