#include "modules/pdf/pdf_fonts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include FT_SIZES_H

#include "core/paths.h"
#include "core/trace.h"
#include "interp/interpreter.h"
#include "modules/pdf/font_cache.h"
#include "modules/pdf/pdf_state.h"
#include "text/ascii.h"
#include "text/entities.h"

namespace kwl {

namespace {

struct StandardFont {
  const char* name;
  int family;
  int style;
};

constexpr StandardFont kStandardFonts[] = {
    {"Helvetica", 1, 0},
    {"Helvetica-Bold", 1, 1},
    {"Helvetica-Oblique", 1, 2},
    {"Helvetica-BoldOblique", 1, 3},
    {"Times-Roman", 2, 0},
    {"Times-Bold", 2, 1},
    {"Times-Italic", 2, 2},
    {"Times-BoldItalic", 2, 3},
    {"Courier", 3, 0},
    {"Courier-Bold", 3, 1},
    {"Courier-Oblique", 3, 2},
    {"Courier-BoldOblique", 3, 3},
    {"Symbol", 4, 0},
    {"ZapfDingbats", 5, 0},
};

constexpr const char* kFamilies[] = {"Helvetica", "Times", "Courier", "Symbol", "ZapfDingbats"};

constexpr FT_Int32 kGlyphLoadFlags =
    FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | FT_LOAD_IGNORE_TRANSFORM;

Process& ProcOf(PdfDocument& doc) {
  return doc.owner->proc;
}

PdfFont* FindLoaded(PdfDocument& doc, std::string_view name) {
  for (auto& font : doc.fonts) {
    if (AsciiEqualsNoCase(font->name, name)) return font.get();
  }
  return nullptr;
}

// The file name without directory and extension.
std::string BaseName(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  size_t dot = path.rfind('.');
  if (dot != std::string_view::npos) path = path.substr(0, dot);
  return std::string(path);
}

std::FILE* OpenFontMap(Process& proc, std::string* dir) {
  const char* candidates[] = {"/usr/share/a2ps/afm/", "afm/", Env(proc, "VELPATH_FONT")};
  for (const char* candidate : candidates) {
    if (!candidate) continue;
    *dir = candidate;
    if (std::FILE* map = std::fopen((*dir + "fonts.map").c_str(), "r")) {
      TRACE(proc, "pathfont: %s\n", dir->c_str());
      return map;
    }
  }
  return nullptr;
}

// The AFM key of `name` in the map: the first line holding the name, after it.
std::string FontMapKey(std::FILE* map, const std::string& name) {
  char line[256];
  while (std::fgets(line, sizeof line, map)) {
    const char* found = std::strstr(line, name.c_str());
    if (!found) continue;
    const char* key = found + name.size();
    while (*key == ' ' || *key == '\t') ++key;
    size_t length = std::strcspn(key, "\r\n");
    return std::string(key, length);
  }
  return "";
}

void ReadAfmWidths(Process& proc, const std::string& name, std::array<int16_t, 256>& widths) {
  widths.fill(600);
  std::string dir;
  std::FILE* map = OpenFontMap(proc, &dir);
  if (!map) return;
  std::string key = FontMapKey(map, name);
  std::fclose(map);
  if (key.empty()) return;
  std::FILE* afm = std::fopen((dir + key + ".afm").c_str(), "r");
  if (!afm) return;
  char line[256];
  bool metrics = false;
  while (std::fgets(line, sizeof line, afm)) {
    if (!metrics) {
      metrics = std::strstr(line, "StartCharMetrics") != nullptr;
      continue;
    }
    if (std::strncmp(line, "C ", 2) != 0) continue;
    size_t codeLength = std::strcspn(line + 2, " ");
    int code = std::atoi(line + 2);
    size_t at = 8 + codeLength;
    if (at >= std::strlen(line)) continue;
    if (code > 0 && code < 256)
      widths[static_cast<size_t>(code)] = static_cast<int16_t>(std::atoi(line + at));
  }
  std::fclose(afm);
}

int Rescale(FT_Long value, FT_UShort unitsPerEm) {
  return unitsPerEm ? static_cast<int>(value * 1000 / unitsPerEm) : 0;
}

// A font file as its path is written, else resolved like the page's other files.
std::string FontPath(Process& proc, const std::string& path) {
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fclose(file);
    return path;
  }
  return ResolvePath(proc, path);
}

int LoadTrueTypeFont(PdfDocument& doc, const std::string& given) {
  Process& proc = ProcOf(doc);
  std::string path = FontPath(proc, given);
  FT_Library library = PdfFontLibrary(*doc.owner);
  auto font = std::make_unique<PdfFont>();
  std::string bytes;
  FT_Error error = library ? FT_New_Face(library, path.c_str(), 0, &font->face) : 1;
  if (!error && !LoadWholeFile(proc, path, &bytes)) error = 1;
  if (error) {
    TRACE(proc, "ERROR: Load font %s (%d)\n", given.c_str(), error);
    return 0;
  }
  FT_Face face = font->face;
  std::string family = face->family_name ? face->family_name : BaseName(given);
  for (char& c : family) {
    if (c == ' ') c = '_';
  }
  std::string pdfName = PdfName(family);
  FT_Size size = nullptr;
  if (FT_New_Size(face, &size) == 0) FT_Activate_Size(size);
  FT_Set_Char_Size(face, 1000, 1000, 72, 72);
  TRACE(proc, "FT_New_Face Load font %s %d chars, unit %d (%d)\n", given.c_str(),
        static_cast<int>(face->num_glyphs), face->units_per_EM, face->num_charmaps);

  PdfObject* dictionary = PDFNewObj(doc);
  PdfObject* descriptor = PDFNewObj(doc);
  PdfObject* widths = PDFNewObj(doc);
  PdfObject* file = PDFNewObj(doc);
  PdfFontFileStream(*file, bytes);

  FT_UShort units = face->units_per_EM;
  font->descender = Rescale(face->descender, units);
  AppendF(dictionary->text,
          "%d 0 obj\n<</Type /Font\n/BaseFont /%s\n/Subtype /TrueType\n/FirstChar 32\n/LastChar "
          "%d\n/FontDescriptor %d 0 R\n/Encoding /WinAnsiEncoding\n/Widths %d 0 R>>\nendobj\n\n",
          dictionary->number, pdfName.c_str(), 255, descriptor->number, widths->number);
  std::string descriptorText;
  AppendF(descriptorText,
          "%d 0 obj\n<</Type /FontDescriptor\n/FontName /%s\n/FontBBox [%d %d %d %d]\n/FontMatrix "
          "[0.001 0 0 0.001 0 0]\n/Flags 32\n/ItalicAngle 0\n/Ascent %d\n/Descent %d\n/CapHeight "
          "%d\n/MissingWidth %d\n/FontFile2 %d 0 R\n/StemV 10\n>>\nendobj\n\n",
          descriptor->number, pdfName.c_str(), Rescale(face->bbox.xMin, units),
          Rescale(face->bbox.yMin, units), Rescale(face->bbox.xMax, units),
          Rescale(face->bbox.yMax, units), Rescale(face->ascender, units), font->descender,
          Rescale(face->height, units), 250, file->number);
  TRACE(proc, "%s", descriptorText.c_str());
  descriptor->text += descriptorText;
  AppendF(widths->text, "%d 0 obj\n[", widths->number);
  doc.fontObjects.push_back(dictionary);

  font->name = BaseName(given);
  font->standard = false;
  font->number = static_cast<int>(doc.fontObjects.size());
  font->style = doc.style;
  TRACE(proc, "W ADx Bx By\n");
  for (int code = 0; code <= 255; ++code) {
    font->glyphs[static_cast<size_t>(code)] = FT_Get_Char_Index(face, static_cast<FT_ULong>(code));
  }
  for (int code = 32; code <= 255; ++code) {
    FT_UInt glyph = font->glyphs[static_cast<size_t>(code)];
    FT_Pos advance = 0;
    if (FT_Load_Glyph(face, glyph, kGlyphLoadFlags) == 0) {
      advance = face->glyph->advance.x;
      TRACE(proc, "%c=%ld,%ld,%ld,%ld", code, static_cast<long>(advance),
            static_cast<long>(face->glyph->metrics.horiBearingX),
            static_cast<long>(face->glyph->metrics.width),
            static_cast<long>(face->glyph->metrics.height));
    }
    font->widths[static_cast<size_t>(code)] = static_cast<int16_t>(advance);
    AppendF(widths->text, "%d ", static_cast<int>(font->widths[static_cast<size_t>(code)]));
  }
  widths->text += "]\nendobj\n\n";
  int number = font->number;
  doc.fonts.push_back(std::move(font));
  return number;
}

}  // namespace

// No filter is claimed for bytes that did not compress.
namespace {

// Font files deflated before in this process: a FastCGI worker writes many
// documents in the same few fonts, and deflating a font file takes longer
// than writing a hundred pages. Found by their bytes, so a changed file is
// never served stale; kept small.
struct DeflatedFont {
  std::string bytes;
  std::string packed;
  bool compressed = false;
};
constexpr size_t kDeflatedFontsBytes = 32u << 20;

const DeflatedFont& Deflated(const std::string& bytes) {
  static std::vector<DeflatedFont> fonts;
  static size_t kept = 0;
  for (const DeflatedFont& font : fonts) {
    if (font.bytes == bytes) return font;
  }
  DeflatedFont font{bytes, {}, false};
  font.compressed = FindDeflatedFont(bytes, font.packed);
  if (!font.compressed) {
    font.compressed = PdfCompress(bytes, font.packed);
    if (font.compressed) KeepDeflatedFont(bytes, font.packed);
  }
  size_t size = font.bytes.size() + font.packed.size();
  if (kept + size > kDeflatedFontsBytes) {
    fonts.clear();
    kept = 0;
  }
  kept += size;
  fonts.push_back(std::move(font));
  return fonts.back();
}

}  // namespace

void PdfFontFileStream(PdfObject& object, const std::string& bytes) {
  const DeflatedFont& font = Deflated(bytes);
  const std::string& packed = font.packed;
  if (font.compressed) {
    AppendF(object.text,
            "%d 0 obj\n<< /Length %zu\n/Length1 %zu\n/Filter /FlateDecode >>\nstream\n",
            object.number, packed.size(), bytes.size());
    object.text += packed;
  } else {
    AppendF(object.text, "%d 0 obj\n<< /Length %zu\n/Length1 %zu >>\nstream\n", object.number,
            bytes.size(), bytes.size());
    object.text += bytes;
  }
  object.text += "\nendstream\nendobj\n\n";
}

int PdfLoadStandardFont(PdfDocument& doc, const std::string& name) {
  PdfObject* object = PDFNewObj(doc);
  AppendF(object->text,
          "%d 0 obj\n<</Type /Font\n/BaseFont /%s\n/Subtype /Type1\n/Encoding "
          "/WinAnsiEncoding\n>>\nendobj\n\n",
          object->number, name.c_str());
  doc.fontObjects.push_back(object);
  auto font = std::make_unique<PdfFont>();
  font->name = name;
  font->number = static_cast<int>(doc.fontObjects.size());
  font->style = doc.style;
  ReadAfmWidths(ProcOf(doc), name, font->widths);
  TRACE(ProcOf(doc), "PDF: Load font %s\n", name.c_str());
  doc.fonts.push_back(std::move(font));
  return doc.fonts.back()->number;
}

void PdfSelectFont(PdfDocument& doc, const std::string& name) {
  Process& proc = ProcOf(doc);
  PdfFont* found = nullptr;
  int family = 0;
  for (int i = 0; i < 5; ++i) {
    if (AsciiEqualsNoCase(name, kFamilies[i])) family = i + 1;
  }
  if (family) {
    std::string resolved = kFamilies[family - 1];
    for (const StandardFont& row : kStandardFonts) {
      if (row.family == family && row.style == doc.style) resolved = row.name;
    }
    TRACE(proc, "PDF: Font %s found\n", resolved.c_str());
    TRACE(proc, "Search Font %s ", resolved.c_str());
    found = FindLoaded(doc, resolved);
    if (!found) {
      PdfLoadStandardFont(doc, resolved);
      found = doc.fonts.back().get();
    }
  } else {
    std::string base = BaseName(name);
    TRACE(proc, "Search Font %s ", base.c_str());
    found = FindLoaded(doc, base);
    if (!found && LoadTrueTypeFont(doc, name) > 0) found = doc.fonts.back().get();
  }
  if (!found) {
    TRACE(proc, "...Not found, %s as default\n", "Helvetica");
    doc.fontNumber = 1;
    doc.fontName = "Helvetica";
    return;
  }
  doc.fontNumber = found->number;
  doc.fontName = name.substr(0, 63);
}

void PdfSetStyle(PdfDocument& doc, std::string_view letters) {
  Process& proc = ProcOf(doc);
  static constexpr struct {
    char letter;
    int value;
  } kLetters[] = {{'B', 1}, {'I', 2}, {'U', 4}};
  int sum = 0;
  size_t at = 0;
  while (at <= letters.size()) {
    size_t end = letters.find_first_of(", ", at);
    if (end == std::string_view::npos) end = letters.size();
    std::string_view piece = letters.substr(at, end - at);
    // A piece of style letters only ("B", "bi"): each letter counts once.
    bool onlyLetters = !piece.empty();
    for (char c : piece) {
      char upper = AsciiUpper(c);
      if (upper != 'B' && upper != 'I' && upper != 'U') onlyLetters = false;
    }
    for (const auto& style : kLetters) {
      if (!onlyLetters) break;
      for (char c : piece) {
        if (AsciiUpper(c) != style.letter) continue;
        sum += style.value;
        TRACE(proc, "PDF: Font Style %c found\n", style.letter);
        break;
      }
    }
    at = end + 1;
  }
  if (sum == 0) {
    TRACE(proc, "PDF: Normal Font Style applied\n");
    doc.underline = false;
  }
  if (sum == doc.style) return;
  doc.underline = sum >= 4;
  doc.style = sum >= 4 ? sum - 4 : sum;
  std::string current = doc.fontName;
  PdfSelectFont(doc, current);
}

int64_t PdfTextUnits(const PdfFont& font, std::string_view text) {
  int64_t sum = 0;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    // A backslash counts: it is drawn (escaped in the TJ array), so it takes room.
    std::optional<std::string_view> plain;
    if (byte > 128) plain = ReplacementByChar(byte);
    if (plain) {
      for (char p : *plain) sum += font.widths[static_cast<unsigned char>(p)];
    } else {
      sum += font.widths[byte];
    }
  }
  return sum;
}

int PdfUnitsWidth(int64_t units, int size) {
  // Held where the sums of two widths and a coordinate still fit an int.
  return static_cast<int>(std::clamp<int64_t>((units * size + 500) / 1000, -500000000, 500000000));
}

int PdfTextWidth(const PdfFont& font, std::string_view text, int size) {
  return PdfUnitsWidth(PdfTextUnits(font, text), size);
}

namespace {

FT_Pos PairKerning(const PdfFont& font, unsigned char left, unsigned char right) {
  if (font.kerning.empty()) font.kerning.assign(256 * 256, PdfFont::kNotAsked);
  int32_t& kept = font.kerning[left * 256u + right];
  if (kept == PdfFont::kNotAsked) {
    FT_Vector delta{};
    kept = FT_Get_Kerning(font.face, font.glyphs[left], font.glyphs[right], FT_KERNING_DEFAULT,
                          &delta) == 0
               ? static_cast<int32_t>(std::clamp<FT_Pos>(delta.x, -1000000, 1000000))
               : 0;
  }
  return kept;
}

}  // namespace

void PdfAppendTJ(PdfDocument& doc, std::string& out, std::string_view line, const PdfFont& font) {
  out += "[(";
  bool kerning = font.face && FT_HAS_KERNING(font.face);
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    FT_Pos kern = 0;
    if (kerning && i + 1 < line.size()) {
      kern =
          PairKerning(font, static_cast<unsigned char>(c), static_cast<unsigned char>(line[i + 1]));
      TRACE(ProcOf(doc), "%d|", static_cast<int>(kern));
    }
    if (kern != 0) {
      AppendF(out, "%c) %ld (", c, static_cast<long>(-kern));
    } else {
      out += c;
    }
  }
  out += ")] TJ\n";
}

int PdfDescenderOffset(const PdfFont& font, int size) {
  return font.standard ? 0 : -(font.descender * size / 1000);
}

}  // namespace kwl
