// The images of one page run that pages keep under a name, by the handles
// the pages hold in variables.
#pragma once

#include <cstdint>
#include <map>

#include "interp/interpreter.h"
#include "modules/image/image.h"

namespace kwl {

struct ImageState {
  explicit ImageState(Interpreter&) {}
  // Handles count up from 1 and are never given out twice in a run: a stale
  // or made-up handle finds nothing rather than another image.
  std::map<int32_t, Image> open;
  int32_t next = 1;

  // Takes the image over: its handle, or -1 when none is left.
  int32_t Add(Image image);
  // The open image of a handle, or null.
  Image* Find(int32_t handle);
  void Close(int32_t handle) { open.erase(handle); }
};

// The run's images, made on first use; what is left open goes with the run.
ImageState& ImageStateOf(Interpreter& interp);

}  // namespace kwl
