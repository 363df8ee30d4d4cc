#include "interp/output.h"

#include <cstdio>

namespace kwl {

namespace {

bool IsBlank(std::string_view text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

// veloutput 1 folds a run of blank chunks into one; 2 drops them all.
bool PassesBlankFilter(Interpreter& interp, std::string_view text) {
  int mode = interp.output ? VarInt(*interp.output) : 0;
  if (!IsBlank(text)) {
    interp.lastWrittenBlank = false;
    return true;
  }
  if (mode == 1) {
    if (interp.lastWrittenBlank) return false;
    interp.lastWrittenBlank = true;
    return true;
  }
  return mode != 2;
}

}  // namespace

void WriteOutput(Interpreter& interp, std::string_view text) {
  if (interp.abortCode) return;
  if (interp.capture) {
    VarAppend(*interp.capture, text);
    return;
  }
  // Only the thread that runs the page writes its streams: no locking per piece.
  if (interp.outputFile) {
    fwrite_unlocked(text.data(), 1, text.size(), interp.outputFile);
    return;
  }
  if (!interp.startprint || VarInt(*interp.startprint) == 0) return;
  if (!PassesBlankFilter(interp, text)) return;
  fwrite_unlocked(text.data(), 1, text.size(), interp.proc.out);
}

void WriteHeader(Interpreter& interp, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), interp.proc.out);
}

bool ResponseNotStarted(Interpreter& interp) {
  return !interp.capture && !interp.outputFile && interp.startprint &&
         VarInt(*interp.startprint) == 0;
}

}  // namespace kwl
