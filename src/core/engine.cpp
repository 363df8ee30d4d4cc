#include "core/engine.h"

namespace kwl {

Engine& ProcessEngine() {
  static Engine engine;
  return engine;
}

void EngineSeedRandom(Engine& engine, uint64_t seed) {
  engine.randomState = seed * 6364136223846793005ULL + 1442695040888963407ULL;
}

int32_t EngineRandom(Engine& engine) {
  // 64-bit LCG, high bits out: good enough for page-level randomness.
  engine.randomState = engine.randomState * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<int32_t>((engine.randomState >> 33) & 0x7fffffff);
}

}  // namespace kwl
