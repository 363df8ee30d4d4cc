#include "core/process.h"

#include "core/trace.h"

namespace kwl {

Process::~Process() {
  if (trace.file) std::fclose(trace.file);
}

}  // namespace kwl
