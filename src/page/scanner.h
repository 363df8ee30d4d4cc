// Tag scanner: cuts page text into text and element chunks and recognises tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "core/process.h"
#include "page/tag_table.h"

namespace kwl {

// Cuts the chunk that begins at `pos` in `text` into `*chunk` and returns the
// position behind it; that is text.size() when the text ends with this chunk.
size_t NextChunk(std::string_view text, size_t pos, std::string_view* chunk);

// The tag code of an element chunk (0 for text and unknown elements).
// `executing` only shapes the trace.
int RecogniseTag(Process& proc, std::string_view chunk, bool executing);
// The trace lines of a recognised tag (RecogniseTag writes them too).
void TraceTag(Process& proc, const TagEntry& tag, bool executing);

// The chunks of one text as the scanner cut them, by position: a loop runs
// its body again on every pass, and the body's text does not change meanwhile.
class ChunkMap {
 public:
  struct Chunk {
    size_t end;           // the position behind the chunk
    int code;             // its tag code
    uint32_t newlines;    // the line ends it holds
    const TagEntry* tag;  // its entry in the tag table, for the trace
  };

  explicit ChunkMap(std::string_view text) : text_(text) {}
  ChunkMap(const ChunkMap&) = delete;
  ChunkMap& operator=(const ChunkMap&) = delete;

  // True when `text` is the very text (same bytes in the same place) this map is for.
  bool Covers(std::string_view text) const {
    return text.data() == text_.data() && text.size() == text_.size();
  }
  // The chunk that begins at `pos`, cut and recognised (untraced) the first time.
  const Chunk& At(size_t pos);

 private:
  std::string_view text_;
  std::unordered_map<size_t, Chunk> chunks_;
};

}  // namespace kwl
