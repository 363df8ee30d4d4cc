// Engine: what the process keeps from one run to the next at the core's
// level: the loaded modules and the random generator. Runs reach it through
// their Process record; a persistent server keeps it across requests.
#pragma once

#include <cstdint>

#include "core/modules.h"

namespace kwl {

struct Engine {
  ModuleTable modules;
  uint64_t randomState = 0x853c49e6748fea9bULL;
  // A server answering many requests: modules may keep what is costly to
  // make (database connections) for the next run, reset to a fresh state.
  bool persistent = false;
};

// The engine of this process.
Engine& ProcessEngine();

// Next pseudo-random number, 0..0x7fffffff.
int32_t EngineRandom(Engine& engine);
void EngineSeedRandom(Engine& engine, uint64_t seed);

}  // namespace kwl
