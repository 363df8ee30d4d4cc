#include "modules/pdf/pdf_state.h"

#include <limits>
#include <string>

#include "core/modules.h"
#include "core/trace.h"
#include "modules/image/image_api.h"

namespace kwl {

PdfState::~PdfState() {
  open.clear();
  if (fonts) FT_Done_FreeType(fonts);
}

int32_t PdfState::Add(std::unique_ptr<PdfDocument> doc) {
  if (next == std::numeric_limits<int32_t>::max()) return 0;
  int32_t handle = next++;
  open.emplace(handle, std::move(doc));
  return handle;
}

PdfDocument* PdfState::Find(int32_t handle) {
  auto found = open.find(handle);
  return found == open.end() ? nullptr : found->second.get();
}

PdfState& PdfStateOf(Interpreter& interp) {
  return ModuleRunState<PdfState>(interp, "pdf");
}

FT_Library PdfFontLibrary(Interpreter& interp) {
  PdfState& state = PdfStateOf(interp);
  if (!state.fonts && !state.fontsFailed && FT_Init_FreeType(&state.fonts) != 0) {
    state.fonts = nullptr;
    state.fontsFailed = true;
  }
  return state.fonts;
}

const ImageApi* PdfImages(Interpreter& interp) {
  PdfState& state = PdfStateOf(interp);
  if (state.imagesLooked) return state.images;
  state.imagesLooked = true;
  std::string error;
  auto api = reinterpret_cast<ImageApiFn>(
      ModuleSymbol(interp.proc, kImageModule, kImageApiSymbol, &error));
  if (!api) {
    TRACE(interp.proc, "%s\n", error.c_str());
    return nullptr;
  }
  const ImageApi* images = api();
  if (images && images->version == kImageApiVersion) state.images = images;
  return state.images;
}

}  // namespace kwl
