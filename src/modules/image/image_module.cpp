// The image module's entry: the PICT tag, and the decoders other modules use (image_api.h).
#include <gd.h>

#include <cstdarg>

#include "core/module_entry.h"
#include "modules/image/image_api.h"
#include "modules/image/image_codec.h"
#include "modules/image/image_tags.h"

namespace kwl {

void RegisterImageTags(TagRegistry& tags) {
  tags[kTagPict].run = PictTag;
}

namespace {

// GD writes its complaints about broken files to standard error, which a web
// server keeps in its error log: the tag reports them to the page instead.
void QuietGd(int, const char*, va_list) {}

bool StartImages() {
  gdSetErrorMethod(QuietGd);
  return true;
}

void EndImages() {
  gdFontCacheShutdown();
}

int GdVersion() {
  return GD_MAJOR_VERSION * 10000 + GD_MINOR_VERSION * 100 + GD_RELEASE_VERSION;
}

constexpr ImageApi kApi{kImageApiVersion, ImageToJpeg};

constexpr ModuleEntry kEntry{kModuleAbi, "image", RegisterImageTags, StartImages,
                             EndImages,  nullptr, GdVersion};

}  // namespace

}  // namespace kwl

extern "C" const kwl::ImageApi* kwl_image_api() {
  return &kwl::kApi;
}

extern "C" const kwl::ModuleEntry* kwl_module() {
  return &kwl::kEntry;
}
