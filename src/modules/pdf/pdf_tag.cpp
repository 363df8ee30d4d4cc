// <PDF>: opens a document, draws text boxes, boxes, lines and images into
// it, adds pages, links and annotations, and closes it into its file.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/paths.h"
#include "core/trace.h"
#include "interp/substitute.h"
#include "modules/image/image_api.h"
#include "modules/pdf/pdf_fonts.h"
#include "modules/pdf/pdf_layout.h"
#include "modules/pdf/pdf_state.h"
#include "modules/pdf/pdf_tags.h"
#include "text/ascii.h"
#include "text/colours.h"
#include "text/decimal.h"
#include "text/number_list.h"

namespace kwl {

namespace {

constexpr int kJpegQuality = 90;

std::optional<std::string> Value(Interpreter& interp, const AttributeList& attributes,
                                 std::string_view name) {
  const Variable* var = FindAttribute(attributes, name);
  if (!var) return std::nullopt;
  std::string text;
  Substitute(interp, VarRawText(*var), text);
  return text;
}

// Sizes and coordinates a page gives are held to a range no page needs to
// leave, so that the sums and products of the layout cannot overflow.
constexpr int32_t kMaxCoordinate = 1000000;

int Clamp(int32_t value) {
  return std::clamp(value, -kMaxCoordinate, kMaxCoordinate);
}

int Integer(const std::string& text) {
  return Clamp(ParseDecimal(text));
}

int32_t Saturated(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

std::vector<int32_t> Numbers(const std::string& text, size_t count, bool repeatSingle = false) {
  std::vector<int32_t> numbers = ReadNumberList(text, count, repeatSingle);
  for (int32_t& n : numbers) n = Clamp(n);
  return numbers;
}

// The document a variable names: none for an empty or unset variable; a
// number that names no open document is reported.
PdfDocument* FetchDocument(Interpreter& interp, const std::string& name) {
  int32_t handle = 0;
  ScopeGetInt(*interp.global, name, &handle);
  if (handle == 0) return nullptr;
  PdfDocument* doc = PdfStateOf(interp).Find(handle);
  if (!doc) ReportError(interp, 1, "ERROR: No PDF document for this handle");
  return doc;
}

// What the page reads back (GETX, GETY, GETTEXT): the innermost block that is
// not a result row's, else GLOBAL.
Scope& ResultScope(Interpreter& interp) {
  Block* block = BlockTopNotOfKind(interp.stack, kBlockData);
  return block ? block->vars : *interp.global;
}

int AlignByName(std::string_view name) {
  if (AsciiEqualsNoCase(name, "left")) return kPdfLeft;
  if (AsciiEqualsNoCase(name, "center")) return kPdfCenter;
  if (AsciiEqualsNoCase(name, "right")) return kPdfRight;
  return 0;
}

int ModeByName(std::string_view name) {
  if (AsciiEqualsNoCase(name, "clip")) return kPdfClip;
  if (AsciiEqualsNoCase(name, "noclip")) return kPdfNoClip;
  if (AsciiEqualsNoCase(name, "pagebreak")) return kPdfPageBreak;
  return -1;
}

// The pixel size and colour components of a JPEG, from its first frame header.
bool JpegFrame(std::string_view jpeg, int* width, int* height, int* components, bool* adobe) {
  size_t at = 2;
  *adobe = false;
  while (at + 4 <= jpeg.size()) {
    if (static_cast<unsigned char>(jpeg[at]) != 0xFF) return false;
    auto marker = static_cast<unsigned char>(jpeg[at + 1]);
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    size_t length =
        static_cast<unsigned char>(jpeg[at + 2]) * 256u + static_cast<unsigned char>(jpeg[at + 3]);
    if (length < 2 || at + 2 + length > jpeg.size()) return false;
    std::string_view segment = jpeg.substr(at + 4, length - 2);
    if (marker == 0xEE && segment.substr(0, 5) == "Adobe") *adobe = true;
    bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (segment.size() < 6) return false;
      *height =
          static_cast<unsigned char>(segment[1]) * 256 + static_cast<unsigned char>(segment[2]);
      *width =
          static_cast<unsigned char>(segment[3]) * 256 + static_cast<unsigned char>(segment[4]);
      *components = static_cast<unsigned char>(segment[5]);
      return *width > 0 && *height > 0;
    }
    at += 2 + length;
  }
  return false;
}

void PlaceImage(Interpreter& interp, PdfDocument& doc, PdfCall& call, const std::string& bytes) {
  auto byte = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0; };
  bool gif = bytes.compare(0, 3, "GIF") == 0;
  bool png = bytes.size() >= 4 && bytes.compare(1, 3, "PNG") == 0;
  bool jpeg = byte(0) == 0xFF && byte(1) == 0xD8;
  if (!gif && !png && !jpeg) return;
  std::string converted;
  int width = 0, height = 0, components = 3;
  bool adobe = false;
  bool decoded = false;
  if (jpeg) {
    decoded = JpegFrame(bytes, &width, &height, &components, &adobe);
  } else if (const ImageApi* images = PdfImages(interp)) {
    decoded = images->toJpeg(bytes, kJpegQuality, converted, width, height) && !converted.empty();
  }
  if (!decoded || width <= 0 || height <= 0) {
    TRACE(interp.proc, "ERROR: Image not found !!\n");
    return;
  }
  const std::string& data = jpeg ? bytes : converted;
  int64_t w = call.w >= 1 ? call.w : call.h >= 1 ? int64_t{width} * call.h / height : width;
  int64_t h = call.h >= 1 ? call.h : call.w >= 1 ? int64_t{height} * call.w / width : height;

  PdfObject* image = PDFNewObj(doc);
  std::string& text = image->text;
  AppendF(text, "%d 0 obj\n<</Type /XObject\n/Subtype /Image\n", image->number);
  AppendF(text, "/Width %d\n/Height %d\n", width, height);
  // A grey or CMYK JPEG declared RGB would not display.
  if (components == 1) {
    text += "/ColorSpace /DeviceGray\n";
  } else if (components == 4) {
    text += adobe ? "/ColorSpace /DeviceCMYK\n/Decode [1 0 1 0 1 0 1 0]\n"
                  : "/ColorSpace /DeviceCMYK\n";
  } else {
    text += "/ColorSpace /DeviceRGB\n";
  }
  AppendF(text, "/BitsPerComponent %d\n", 8);
  text += "/Filter /DCTDecode\n";
  AppendF(text, "/Length %zu>>\nstream\n", data.size());
  text += data;
  text += "\nendstream\nendobj\n";
  doc.images.push_back(image);
  AppendF(*doc.target, "q\n%lld 0 0 %lld %d %lld cm\n/Img%d Do\nQ\n", static_cast<long long>(w),
          static_cast<long long>(h), call.x, static_cast<long long>(doc.pageHeight - h - call.y),
          image->number);
  TRACE(interp.proc, "PDF IMG: Image add to PDF File !!\n");
  doc.x = call.x + w;
  doc.y = call.y + h;
}

// The link's URI as a PDF string: a page writes "(...)"; what it holds is
// escaped so that it cannot end the string or the dictionary early.
std::string UriString(std::string_view href) {
  std::string out = "(";
  if (href.size() >= 2 && href.front() == '(' && href.back() == ')') {
    href = href.substr(1, href.size() - 2);
  }
  AppendPdfStringBytes(out, href);
  out += ")";
  return out;
}

void AddLink(PdfDocument& doc, const PdfCall& call, std::string_view href) {
  PdfObject* link = PDFNewObj(doc);
  std::string action = "/A <</S /URI /URI " + UriString(href) + " >>\n";
  AppendF(link->text,
          "%d 0 obj\n<< /Type /Annot\n/Subtype /Link\n/Rect [%d %d %d %d]\n/Border [%d %d %d]\n "
          "%s\n>>\nendobj\n\n",
          link->number, call.x, doc.pageHeight - call.y - call.h, call.x + call.w,
          doc.pageHeight - call.y, call.border, call.border, call.border, action.c_str());
  doc.annotations.push_back(link);
}

void AddSvg(Interpreter& interp, PdfDocument& doc, const PdfCall& call, const std::string& file) {
  Variable content;
  if (!LoadFileIntoVariable(interp.proc, file, content)) return;
  const std::string& bytes = VarRawText(content);
  PdfObject* name = PDFNewObj(doc);
  name->text = std::to_string(name->number) + " 0 obj\n(";
  AppendPdfStringBytes(name->text, file);
  name->text += ")\nendobj\n\n";
  PdfObject* stream = PDFNewObj(doc);
  AppendF(stream->text,
          "%d 0 obj\n<< /Type /EmbeddedFile\n/Subtype /image#2Fsvg+xml\n/Length %zu\n>>\nstream\n",
          stream->number, bytes.size());
  stream->text += bytes;
  stream->text += "\nendstream\nendobj\n\n";
  PdfObject* filespec = PDFNewObj(doc);
  AppendF(filespec->text,
          "%d 0 obj\n<< /Type /Filespec\n/EF <</F %d 0 R>>\n/F %d 0 R\n>>\nendobj\n\n",
          filespec->number, stream->number, name->number);
  PdfObject* annotation = PDFNewObj(doc);
  AppendF(annotation->text,
          "%d 0 obj\n<< /Type /Annot\n/Subtype /SVG\n/Resources <</Names [%d 0 R %d 0 R]>>\n"
          "/StartResource %d 0 R\n/F 3\n/Rect [%d %d %d %d]\n/Border [%d %d %d]\n>>\nendobj\n\n",
          annotation->number, name->number, filespec->number, name->number, call.x,
          doc.pageHeight - call.y - call.h, call.x + call.w, doc.pageHeight - call.y, call.border,
          call.border, call.border);
  doc.annotations.push_back(annotation);
}

void SetJavaScript(PdfDocument& doc, std::string_view script) {
  if (!doc.javaScript) doc.javaScript = PDFNewObj(doc);
  std::string& text = doc.javaScript->text;
  text = std::to_string(doc.javaScript->number) + " 0 obj\n<< /S /JavaScript /JS (";
  AppendPdfStringBytes(text, script);
  text += ") >>\nendobj\n\n";
}

// A variable that names the document of the call: NAME, ADDPAGE or FRAME.
struct Naming {
  std::optional<std::string> variable;
  bool addPage = false;
  bool frame = false;
};

Naming ReadNaming(Interpreter& interp, const AttributeList& attributes) {
  Naming naming;
  naming.variable = Value(interp, attributes, "NAME");
  if (naming.variable) return naming;
  naming.variable = Value(interp, attributes, "ADDPAGE");
  if (naming.variable) {
    naming.addPage = true;
    return naming;
  }
  naming.variable = Value(interp, attributes, "FRAME");
  naming.frame = naming.variable.has_value();
  return naming;
}

}  // namespace

void PdfTag(Interpreter& interp, const TagCall& call) {
  ReportError(interp, 0, "");
  const AttributeList& attributes = TagAttributes(interp, call);
  PdfState& state = PdfStateOf(interp);
  PdfDocument* doc = nullptr;
  int32_t opened = 0;
  PdfCall box;

  std::optional<std::string> file = Value(interp, attributes, "FILE");
  if (file && !file->empty()) {
    opened = state.Add(PDFOpen(interp, ResolvePath(interp.proc, *file)));
    doc = state.Find(opened);
    if (doc) {
      if (std::optional<std::string> size = Value(interp, attributes, "PAGESIZE")) {
        std::vector<int32_t> wh = Numbers(*size, 2, true);
        doc->pageWidth = wh[0];
        doc->pageHeight = wh[1];
      }
    }
  }
  Naming naming = ReadNaming(interp, attributes);
  if (naming.variable && !naming.variable->empty()) {
    if (opened) {
      ScopeSetInt(*interp.global, *naming.variable, opened);
    } else {
      doc = FetchDocument(interp, *naming.variable);
    }
    if (doc) doc->target = naming.frame ? &doc->frame->text : &doc->contentList.back()->text;
  }
  bool close = false;
  if (std::optional<std::string> closeName = Value(interp, attributes, "CLOSE")) {
    if (!closeName->empty()) {
      int32_t handle = 0;
      ScopeGetInt(*interp.global, *closeName, &handle);
      PdfDocument* closing = handle != 0 ? FetchDocument(interp, *closeName) : nullptr;
      if (closing) doc = closing;
      close = closing != nullptr;
      ScopeSet(*interp.global, *closeName, "");
    }
  }
  std::optional<std::string> js = Value(interp, attributes, "JS");
  if (js && doc) SetJavaScript(*doc, *js);

  std::optional<std::string> text = Value(interp, attributes, "TEXT");
  std::optional<int> calc;
  if (text) {
    if (auto size = Value(interp, attributes, "SIZE"); size && doc) doc->fontSize = Integer(*size);
    if (auto style = Value(interp, attributes, "STYLE"); style && doc) PdfSetStyle(*doc, *style);
    if (auto font = Value(interp, attributes, "FONT"); font && doc) PdfSelectFont(*doc, *font);
    if (auto stroke = Value(interp, attributes, "STROKE")) box.stroke = Integer(*stroke);
    if (auto colour = Value(interp, attributes, "STROKECOLOR")) {
      box.strokeColour = ReadColour(interp.proc, *colour);
    }
    if (auto deform = Value(interp, attributes, "DEFORM")) box.scaling = Integer(*deform);
    if (auto leading = Value(interp, attributes, "LEADING"); leading && doc) {
      doc->leading = Integer(*leading);
    }
    auto align = Value(interp, attributes, "ALIGN");
    if (doc) doc->align = align ? AlignByName(*align) : kPdfLeft;
    if (auto width = Value(interp, attributes, "CALC")) calc = Integer(*width);
  }
  std::optional<std::string> rect = Value(interp, attributes, "RECT");
  std::optional<std::string> href, include;
  if (rect) {
    std::vector<int32_t> n = Numbers(*rect, 4);
    box.x = n[0], box.y = n[1], box.w = n[2], box.h = n[3];
    if (auto round = Value(interp, attributes, "ROUND")) {
      std::vector<int32_t> r = Numbers(*round, 2, true);
      box.rx = r[0], box.ry = r[1];
    }
    href = Value(interp, attributes, "HREF");
    include = Value(interp, attributes, "INCLUDE");
  }
  if (auto padding = Value(interp, attributes, "PADDING")) {
    std::vector<int32_t> p = Numbers(*padding, 4);
    box.padLeft = p[0], box.padTop = p[1], box.padRight = p[2], box.padBottom = p[3];
  }
  if (auto mode = Value(interp, attributes, "MODE"); mode && doc) {
    int value = ModeByName(*mode);
    if (value < 0) {
      ReportError(interp, 1, "ERROR: PDF mode unknown\n");
    } else {
      doc->mode = value;
    }
  }
  std::optional<std::string> line = Value(interp, attributes, "LINE");
  if (line) {
    std::vector<int32_t> n = Numbers(*line, 4);
    box.x = n[0], box.y = n[1], box.w = n[2], box.h = n[3];
  }
  if (auto border = Value(interp, attributes, "BORDER")) box.border = Integer(*border);
  if (auto colour = Value(interp, attributes, "COLOR"); colour && doc) {
    doc->textColour = ReadColour(interp.proc, *colour);
  }
  if (auto colour = Value(interp, attributes, "BGCOLOR"); colour && doc) {
    doc->backgroundColour = ReadColour(interp.proc, *colour);
    box.paintBox = true;
  }
  std::optional<std::string> image = Value(interp, attributes, "IMG");
  if (!image) {
    if (auto path = Value(interp, attributes, "PATH")) {
      Variable content;
      if (LoadFileIntoVariable(interp.proc, *path, content)) image = VarRawText(content);
    }
  }
  if (image && !image->empty()) {
    if (auto position = Value(interp, attributes, "POSITION")) {
      std::vector<int32_t> n = Numbers(*position, 4);
      box.x = n[0], box.y = n[1], box.w = n[2], box.h = n[3];
    }
  }
  if (auto rotate = Value(interp, attributes, "ROTATE")) box.rotation = Integer(*rotate);
  std::optional<std::string> getx = Value(interp, attributes, "GETX");
  std::optional<std::string> gety = Value(interp, attributes, "GETY");
  std::optional<std::string> gettext = Value(interp, attributes, "GETTEXT");
  std::optional<std::string> writ = Value(interp, attributes, "WRIT");

  if (doc) {
    std::optional<std::string> rest;
    if (calc) {
      PdfMeasure(*doc, box, text ? *text : "", *calc);
    } else if (text && !text->empty() && !line) {
      rest = PdfTextBox(*doc, box, *text);
    } else if (line) {
      PdfLine(*doc, box);
    } else if (image && !image->empty()) {
      TRACE(interp.proc, "PDF: Img size %zu [%d,%d,%d,%d]\n", image->size(), box.x, box.y, box.w,
            box.h);
      PlaceImage(interp, *doc, box, *image);
    } else if (naming.addPage) {
      PDFAddPage(*doc);
    } else if (rect) {
      PdfRect(*doc, box);
    } else if (writ) {
      *doc->target += *writ;
    }
    if (href && !href->empty()) AddLink(*doc, box, *href);
    if (include && !include->empty()) AddSvg(interp, *doc, box, *include);
    if (getx && !getx->empty()) {
      ScopeSetInt(ResultScope(interp), *getx, Saturated(doc->x));
      TRACE(interp.proc, "X current coord point = %d\n", Saturated(doc->x));
    }
    if (gety && !gety->empty()) {
      ScopeSetInt(ResultScope(interp), *gety, Saturated(doc->y));
      TRACE(interp.proc, "Y current coord point = %d\n", Saturated(doc->y));
    }
    if (gettext && !gettext->empty() && rest) ScopeSet(ResultScope(interp), *gettext, *rest);
  }
  if (close) {
    for (auto it = state.open.begin(); it != state.open.end(); ++it) {
      if (it->second.get() != doc) continue;
      std::unique_ptr<PdfDocument> closing = std::move(it->second);
      state.open.erase(it);
      PDFClose(*closing);
      break;
    }
  }
}

}  // namespace kwl
