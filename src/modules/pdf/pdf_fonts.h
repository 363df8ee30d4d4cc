// PDF fonts: the 14 standard fonts measured with AFM widths, TrueType fonts
// embedded whole, the width of a text and the TJ array of a line.
#pragma once

#include <string>
#include <string_view>

#include "modules/pdf/pdf_document.h"

namespace kwl {

// Makes `name` (a family name, a standard font or a TrueType file) the
// document's current font, loading it on first use; Helvetica when it
// cannot be loaded.
void PdfSelectFont(PdfDocument& doc, const std::string& name);
// Applies the style letters (B, I, U) and selects the family's variant.
void PdfSetStyle(PdfDocument& doc, std::string_view letters);
// Loads a standard font; its font number.
int PdfLoadStandardFont(PdfDocument& doc, const std::string& name);
// The width in whole points of `text` at `size`.
int PdfTextWidth(const PdfFont& font, std::string_view text, int size);
// The same in two steps, so that a growing line is measured by parts: the
// sum of the widths in thousandths of the size, then the points.
int64_t PdfTextUnits(const PdfFont& font, std::string_view text);
int PdfUnitsWidth(int64_t units, int size);
// Appends "[(...)] TJ\n" for one line, with the kerning of a TrueType font.
void PdfAppendTJ(PdfDocument& doc, std::string& out, std::string_view line, const PdfFont& font);
// The FontFile2 stream object of a font file's bytes, compressed when that
// makes them smaller.
void PdfFontFileStream(PdfObject& object, const std::string& bytes);
// How far a line's baseline sits above the box's line bottom: 0 for the standard fonts.
int PdfDescenderOffset(const PdfFont& font, int size);

}  // namespace kwl
