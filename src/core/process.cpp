#include "core/process.h"

#include "core/trace.h"

namespace kwl {

Process::~Process() {
  if (trace.file) std::fclose(trace.file);
}

void ProcessSeedRandom(Process& proc, uint64_t seed) {
  proc.randomState = seed * 6364136223846793005ULL + 1442695040888963407ULL;
}

int32_t ProcessRandom(Process& proc) {
  // 64-bit LCG, high bits out: good enough for page-level randomness.
  proc.randomState = proc.randomState * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<int32_t>((proc.randomState >> 33) & 0x7fffffff);
}

}  // namespace kwl
