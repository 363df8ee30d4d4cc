// Process: the state of one run over a request: scope stack, line counters,
// nesting, trace, open files. What outlives the run is in the Engine, what
// the run answers in the Request.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine.h"
#include "core/file_table.h"
#include "core/request.h"
#include "core/scope.h"
#include "core/variable.h"
#include "text/text_log.h"

namespace kwl {

struct Process;

// Renders the cell (row, column) of a result table by its column kind
// (installed by the data layer). Returns false when it has nothing to say,
// so the raw bytes are used.
using CellFormatter = bool (*)(Process& proc, const DATable& table, int64_t row, int64_t column,
                               int param, std::string& out);

struct TraceState {
  std::FILE* file = nullptr;
  bool lastEndedNewline = true;
  std::string pagePath;  // names the trace file; DEBUG SUFFIX extends it
  std::string filePath;
  // Until the run knows its page, file messages wait here so that the file
  // is named after the page rather than opened nameless at start-up.
  bool named = false;
  std::string pending;
};

// The process is where the codecs' diagnostic lines go: into the trace.
struct Process final : TextLog {
  Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();
  bool Active() override;
  void Write(std::string_view text) override;

  ScopeStack stack;
  std::vector<long> lines{1};            // include stack of line counters, one per text being run
  std::vector<std::string> sources{""};  // beside it, the file each of those texts came from
  bool errorLocations = false;  // KWLERR trace lines name the file and line (velerrorlocation)
  int nesting = 0;
  std::string pagePath;  // the page named on the command line or by the server
  std::string pathInfo;

  // The trace level lives in this Variable once start-up has made it.
  VariablePtr debugOwned;  // held here until it is added to GLOBAL
  Variable* debug = nullptr;
  TraceState trace;

  Request* request = &ProcessRequest();   // what the run answers
  std::FILE* out = ProcessRequest().out;  // headers and page text: the request's sink
  Engine* engine = &ProcessEngine();      // what outlives the run
  FileTable files;                        // streams opened by <FILE OPEN>, by handle
  CellFormatter cellText = nullptr;
};

// The request's environment variable `name`; null when unset.
inline const char* Env(const Process& proc, std::string_view name) {
  return proc.request->Env(name);
}

// A text from the file `source` starts running: its lines count from 1.
inline void SourcePush(Process& proc, std::string_view source) {
  proc.lines.push_back(1);
  proc.sources.emplace_back(source);
}
inline void SourcePop(Process& proc) {
  proc.lines.pop_back();
  proc.sources.pop_back();
}

// Line number of the text being run, for the trace.
inline long CurrentLine(const Process& proc) {
  return proc.lines.empty() ? 0 : proc.lines.back();
}

// Next pseudo-random number, 0..0x7fffffff.
inline int32_t ProcessRandom(Process& proc) {
  return EngineRandom(*proc.engine);
}

}  // namespace kwl
