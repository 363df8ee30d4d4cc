// A PDF document being built across PDF tag calls: its objects, kept as text
// until the close writes them, the pages, and the drawing state.
#pragma once

#include <ft2build.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include FT_FREETYPE_H

namespace kwl {

struct Interpreter;

struct PdfObject {
  int32_t number = 0;
  std::string text;
  int64_t offset = 0;  // where the object starts in the written file
};

enum PdfMode { kPdfClip = 0, kPdfNoClip = 1, kPdfPageBreak = 2 };
enum PdfAlign { kPdfLeft = 1, kPdfCenter = 2, kPdfRight = 3 };

// A loaded font: its name for selection, its widths and, for a TrueType
// font, the face that gives glyph indices and kerning.
struct PdfFont {
  PdfFont() = default;
  PdfFont(const PdfFont&) = delete;
  PdfFont& operator=(const PdfFont&) = delete;
  ~PdfFont();

  std::string name;
  bool standard = true;
  int style = 0;
  int number = 0;                     // "/F<number>" in the resources
  std::array<int16_t, 256> widths{};  // thousandths of the font size, by byte
  FT_Face face = nullptr;
  int descender = 0;  // rescaled to 1000 units per em
  // TrueType: the glyph of each byte, and the kerning of each pair of bytes
  // as the lines meet it (kNotAsked until then): asking FreeType for every
  // pair of every line costs more than laying the text out.
  static constexpr int32_t kNotAsked = INT32_MIN;
  std::array<uint32_t, 256> glyphs{};
  mutable std::vector<int32_t> kerning;
};

struct PdfDocument {
  Interpreter* owner = nullptr;
  std::string fileName;
  PdfObject* catalog = nullptr;
  PdfObject* outlines = nullptr;
  PdfObject* info = nullptr;
  PdfObject* pages = nullptr;
  PdfObject* resources = nullptr;
  PdfObject* frame = nullptr;
  PdfObject* annotationArray = nullptr;  // of the current page
  PdfObject* javaScript = nullptr;
  std::vector<PdfObject*> pageList;
  std::vector<PdfObject*> contentList;  // each page's content stream
  std::string* target = nullptr;        // where drawing operators go
  std::vector<PdfObject*> fontObjects;
  std::vector<std::unique_ptr<PdfFont>> fonts;
  std::vector<PdfObject*> images;
  std::vector<PdfObject*> annotations;  // of the current page
  std::vector<std::unique_ptr<PdfObject>> objects;

  uint32_t textColour = 0;
  uint32_t backgroundColour = 0xFFFFFF;
  uint32_t strokeColour = 0;
  std::string fontName = "Helvetica";
  int fontNumber = 1;
  int style = 0;
  int align = kPdfLeft;
  int fontSize = 12;
  int leading = 2;
  bool underline = false;
  int64_t x = 0;  // a text written past its box in noclip mode may go far
  int64_t y = 0;
  int pageHeight = 841;
  int pageWidth = 595;
  int mode = kPdfClip;
};

// A new object with the next number, appended to the object list.
PdfObject* PDFNewObj(PdfDocument& doc);
// A new document with objects 1 to 10: catalog, outlines, info, pages,
// resources, frame, the first page (page, content, annotation array) and
// Helvetica.
std::unique_ptr<PdfDocument> PDFOpen(Interpreter& interp, std::string fileName);
// Ends the current page and starts a new one, which becomes the drawing target.
void PDFAddPage(PdfDocument& doc);
// Completes the fixed objects and writes the file; false when it could not be written.
bool PDFClose(PdfDocument& doc);

// The font being drawn with.
PdfFont* CurrentFont(PdfDocument& doc);

// `text` as the bytes of a PDF literal string, without the parentheses:
// ( ) and \ escaped.
void AppendPdfStringBytes(std::string& out, std::string_view text);
// A PDF name (without the slash): delimiters, blanks and bytes outside
// printable ASCII written as #xx.
std::string PdfName(std::string_view text);
// What zlib's compress() makes of `in`, when that is smaller than `in`.
bool PdfCompress(std::string_view in, std::string& out);
// printf onto a string.
void AppendF(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace kwl
