// The image tag: PICT loads, draws on, measures and saves raster images.
#pragma once

#include "interp/dispatch.h"

namespace kwl {

void PictTag(Interpreter& interp, const TagCall& call);

// Fills the slot of PICT (the module's registration).
void RegisterImageTags(TagRegistry& tags);

}  // namespace kwl
