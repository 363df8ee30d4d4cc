// A compiled text: page text cut once into chunks, each with its tag code,
// its line ends and, once a handler asks, its parsed attributes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "page/attributes.h"
#include "page/tag_table.h"
#include "text/text_log.h"

namespace kwl {

// Cutting is lazy and by position, because the loop goes on wherever a tag's
// body ended; what is cut never changes, so one compiled text serves every
// pass of a loop, every INCLUDE of the same file and every later run of the
// process. Everything a first cut or parse would trace is kept and replayed,
// so a traced run takes the same path as any other.
// What a tag's handler makes once from a chunk's attributes to run it again
// quickly (a loop's body, a page kept by a persistent worker).
struct Interpreter;
struct TagPlan {
  virtual ~TagPlan() = default;
  // Runs the chunk as its handler would, where the plan can (nothing is
  // traced, no value is escaped); false when the handler must run it.
  virtual bool Run(Interpreter&) { return false; }
};

class CompiledText {
 public:
  struct Chunk;
  // How a step of a straight body goes on: to the next step, or as a COND block does.
  enum class Flow : unsigned char { kNext, kCond, kElse, kCondEnd };
  // A chunk of a straight body (see StraightBody): the plan its handler made,
  // once it made one, and the line ends from the body's start up to and with
  // the chunk. A COND or ELSE step also knows its block's next ELSE or end
  // (`next`) and its block's end (`end`), as step numbers.
  struct BodyStep {
    Chunk* cut;
    TagPlan* plan;
    long lines;
    Flow flow = Flow::kNext;
    uint32_t next = 0;
    uint32_t end = 0;
  };
  // What parsing a chunk's attributes gave, by case mode.
  struct Parsed {
    std::optional<AttributeList> list[2];
    std::string trace[2];           // what the parse traced: messages, each ended by a zero byte
    std::unique_ptr<TagPlan> plan;  // made from list[1] by the chunk's handler
    bool ran = false;               // the handler has run the chunk before
    // A block's straight body, up to its end tag (see StraightBody).
    std::vector<BodyStep> body;
    int bodyAsked = 0;  // 1: asked once; 2: looked for (body empty: not straight)
  };
  // Small, for a page may hold hundreds of thousands of elements.
  struct Chunk {
    size_t begin;
    size_t end;                      // the position behind the chunk
    int code;                        // its tag code (kTagNone for text and unknown elements)
    uint32_t newlines;               // the line ends it holds
    const TagEntry* tag;             // its entry in the tag table, for the trace
    std::unique_ptr<Parsed> parsed;  // once a handler asks
  };

  // Owns its text.
  explicit CompiledText(std::string text);
  // Views a text its caller keeps alive and unchanged for as long as this lives.
  struct ViewOf {};
  CompiledText(ViewOf, std::string_view text) : text_(text) {}
  CompiledText(const CompiledText&) = delete;
  CompiledText& operator=(const CompiledText&) = delete;

  std::string_view text() const { return text_; }
  // True when `text` is the very text (same bytes in the same place) compiled here.
  bool Covers(std::string_view text) const {
    return text.data() == text_.data() && text.size() == text_.size();
  }
  // The chunk that begins at `pos` (< text().size()).
  Chunk& At(size_t pos);
  // The chunks of the body behind `opening` up to and with its end tag,
  // when all of them are text, plain tags or whole COND blocks of such
  // chunks and the end tag closes a block run in `mode`: a loop runs them
  // again without looking them up. Empty when the body is not straight, and
  // on the first call (a body that runs once is not worth the search).
  std::vector<BodyStep>& StraightBody(Chunk& opening, int mode) {
    Parsed* parsed = opening.parsed.get();
    return parsed && parsed->bodyAsked == 2 ? parsed->body : FindStraightBody(opening, mode);
  }
  // False on the chunk's first call, true on every later one: a chunk that
  // runs once is not worth a plan.
  static bool RanBefore(Chunk& chunk) {
    if (!chunk.parsed) chunk.parsed = std::make_unique<Parsed>();
    return std::exchange(chunk.parsed->ran, true);
  }
  // The chunk's attributes, parsed the first time; what the parse traced is
  // written to `log` on every call while it is active.
  const AttributeList& Attributes(TextLog& log, Chunk& chunk, int caseMode);

 private:
  Chunk& Cut(size_t pos, size_t at);
  std::vector<BodyStep>& FindStraightBody(Chunk& opening, int mode);

  std::string owned_;
  std::string_view text_;
  std::deque<Chunk> store_;    // stable addresses: handlers hold chunks while others are cut
  std::vector<Chunk*> order_;  // by position
  size_t next_ = 0;            // where in order_ the chunk behind the last one found sits
  // Chunks found lately, by position: a loop's body starts where the tag
  // before it ended, which is never where the last chunk found ends.
  std::array<Chunk*, 64> recent_{};
};

using SharedText = std::shared_ptr<CompiledText>;

}  // namespace kwl
