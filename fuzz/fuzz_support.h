// Shared by the fuzz targets: a quiet trace sink and input splitting.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/process.h"
#include "core/trace.h"
#include "core/variable.h"

namespace kwl::fuzz {

// The input as bytes.
inline std::string_view Bytes(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Takes the first byte of `input` as a set of switches for the target.
inline uint8_t TakeSwitches(std::string_view& input) {
  if (input.empty()) return 0;
  uint8_t switches = static_cast<uint8_t>(input[0]);
  input.remove_prefix(1);
  return switches;
}

// Splits `input` at its first line end: the line, and what follows it.
inline std::string_view TakeLine(std::string_view& input) {
  size_t end = input.find('\n');
  std::string_view line = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return line;
}

// Trace at level 4 into /dev/null while it lives, so that the trace
// formatting of every odd byte runs too; or nothing when `on` is false.
class QuietTrace {
 public:
  QuietTrace(Process& proc, bool on) : proc_(proc), saved_(proc.out) {
    if (!on) return;
    sink_ = std::fopen("/dev/null", "w");
    if (!sink_) std::abort();
    VarSetInt(level_, kTraceText);
    proc.debug = &level_;
    proc.out = sink_;
  }
  ~QuietTrace() {
    if (!sink_) return;
    proc_.debug = nullptr;
    proc_.out = saved_;
    std::fclose(sink_);
  }
  QuietTrace(const QuietTrace&) = delete;
  QuietTrace& operator=(const QuietTrace&) = delete;

 private:
  Process& proc_;
  std::FILE* saved_;
  std::FILE* sink_ = nullptr;
  Variable level_{"veldebug"};
};

// Stops the run the way a sanitizer would, so that a broken property is a crash.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

}  // namespace kwl::fuzz
