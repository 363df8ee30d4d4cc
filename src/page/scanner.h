// Tag scanner: cuts page text into text and element chunks and recognises tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/process.h"
#include "page/tag_table.h"

namespace kwl {

// Cuts the chunk that begins at `pos` in `text` into `*chunk` and returns the
// position behind it; that is text.size() when the text ends with this chunk.
size_t NextChunk(std::string_view text, size_t pos, std::string_view* chunk);

// The first entry of the tag table whose opening begins the chunk, or null.
const TagEntry* MatchingTag(std::string_view chunk);

// The tag code of an element chunk (0 for text and unknown elements).
// `executing` only shapes the trace.
int RecogniseTag(Process& proc, std::string_view chunk, bool executing);
// The trace lines of a recognised tag (RecogniseTag writes them too).
void TraceTag(Process& proc, const TagEntry& tag, bool executing);

}  // namespace kwl
