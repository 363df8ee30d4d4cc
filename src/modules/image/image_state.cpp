#include "modules/image/image_state.h"

#include <limits>

namespace kwl {

int32_t ImageState::Add(Image image) {
  if (next == std::numeric_limits<int32_t>::max()) return -1;
  int32_t handle = next++;
  open.emplace(handle, std::move(image));
  return handle;
}

Image* ImageState::Find(int32_t handle) {
  auto found = open.find(handle);
  return found == open.end() ? nullptr : &found->second;
}

ImageState& ImageStateOf(Interpreter& interp) {
  return ModuleRunState<ImageState>(interp, "image");
}

}  // namespace kwl
