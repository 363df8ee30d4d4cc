// The PDF state of one page run: its open documents, by the handles pages
// keep in variables, and the font library.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "interp/interpreter.h"
#include "modules/pdf/pdf_document.h"

namespace kwl {

struct ImageApi;

struct PdfState {
  explicit PdfState(Interpreter&) {}
  PdfState(const PdfState&) = delete;
  PdfState& operator=(const PdfState&) = delete;
  // The documents go before the library that made their faces.
  ~PdfState();

  FT_Library fonts = nullptr;  // made on first use
  bool fontsFailed = false;
  // Handles count up from 1 and are never given out twice in a run: a
  // closed or made-up handle finds nothing. A document still open when the
  // run ends is dropped unwritten.
  std::map<int32_t, std::unique_ptr<PdfDocument>> open;
  int32_t next = 1;
  const ImageApi* images = nullptr;
  bool imagesLooked = false;

  // Takes the document over: its handle, or 0 when none is left.
  int32_t Add(std::unique_ptr<PdfDocument> doc);
  PdfDocument* Find(int32_t handle);
};

PdfState& PdfStateOf(Interpreter& interp);
// The run's FreeType library, or null when it cannot be started.
FT_Library PdfFontLibrary(Interpreter& interp);
// The image module's decoders, or null when the module is missing.
const ImageApi* PdfImages(Interpreter& interp);

}  // namespace kwl
