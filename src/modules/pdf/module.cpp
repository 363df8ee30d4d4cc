// The PDF module's entry: the PDF tag, over FreeType and zlib.
#include "core/module_entry.h"
#include "modules/pdf/pdf_document.h"
#include "modules/pdf/pdf_tags.h"

namespace kwl {

void RegisterPdfTags(TagRegistry& tags) {
  tags[kTagPdf].run = PdfTag;
}

namespace {

constexpr ModuleEntry kEntry{kModuleAbi, "pdf",   RegisterPdfTags, nullptr,
                             nullptr,    nullptr, nullptr};

}  // namespace

}  // namespace kwl

extern "C" const kwl::ModuleEntry* kwl_module() {
  return &kwl::kEntry;
}
