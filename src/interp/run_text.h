// RunText: the interpreter loop that walks page text chunk by chunk and runs its tags.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "interp/interpreter.h"
#include "page/compiled_text.h"

namespace kwl {

// Block modes: which block a text belongs to and whether it is executed.
enum BlockMode : int {
  kModeTop = 1,
  kModeSqlRow = 2,
  kModeSqlSkip = 3,
  kModeCond = 4,
  kModeCondDone = 6,
  kModeWhile = 7,
  kModeWhileSkip = 8,
  kModeXprocRow = 12,
  kModeXprocSkip = 13,
  kModeXpathRow = 14,
  kModeXpathSkip = 15,
};

constexpr size_t kTextEnded = std::string_view::npos;
// What a block's text that ran out before its end tag reports.
constexpr const char* kNoEndTag = "ERROR: Begin tag with no end tag !";
// Deeper nesting than this (blocks, includes, function calls) stops the run.
constexpr int kMaxNesting = 1000;

// Runs `text` from `pos` in `mode`; returns the position behind the block's
// end tag, or kTextEnded when the text ended.
size_t RunText(Interpreter& interp, std::string_view text, size_t pos, int mode, bool condition,
               int includeFlag);

// Runs a compiled text from its top, as RunText does.
size_t RunCompiled(Interpreter& interp, CompiledText& compiled, int includeFlag);

// Skips a comment whose first chunk did not close it; returns the position behind it.
size_t SkipComment(Interpreter& interp, std::string_view text, size_t pos, bool executed);

// Substitutes a chunk and writes it.
void WriteSubstituted(Interpreter& interp, std::string_view chunk);

}  // namespace kwl
