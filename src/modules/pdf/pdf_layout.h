// Drawing into a PDF document: text laid out in boxes, boxes, lines.
#pragma once

#include <string>
#include <string_view>

#include "modules/pdf/pdf_document.h"

namespace kwl {

// The values of one PDF tag call (the document keeps the lasting ones).
struct PdfCall {
  int x = 0, y = 0, w = 0, h = 0;  // RECT, LINE or POSITION
  int rx = 0, ry = 0;
  int padLeft = 0, padTop = 0, padRight = 0, padBottom = 0;
  int border = 0;
  int rotation = 0;
  int stroke = 0;
  uint32_t strokeColour = 0;
  int scaling = 100;
  bool paintBox = false;  // BGCOLOR was given
};

// Lays `text` out in the call's box (with page breaks in pagebreak mode);
// the text that did not fit, empty when all of it was written.
std::string PdfTextBox(PdfDocument& doc, const PdfCall& call, std::string_view text);
// Measures `text` for a box `width` wide (CALC): sets the current point to
// the last line's width and the height.
void PdfMeasure(PdfDocument& doc, const PdfCall& call, std::string_view text, int width);
// RECT alone: the box, when it has a border or a background.
void PdfRect(PdfDocument& doc, const PdfCall& call);
void PdfLine(PdfDocument& doc, const PdfCall& call);

}  // namespace kwl
