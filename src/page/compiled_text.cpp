// A compiled text: chunks cut once by position, attributes parsed once per chunk.
#include "page/compiled_text.h"

#include <algorithm>

#include "page/scanner.h"

namespace kwl {

namespace {

// Keeps every message a parse traces, to be written again on each later use.
class RecordingLog final : public TextLog {
 public:
  explicit RecordingLog(std::string& messages) : messages_(messages) {}
  bool Active() override { return true; }
  void Write(std::string_view text) override {
    messages_.append(text);
    messages_ += '\0';
  }

 private:
  std::string& messages_;
};

}  // namespace

CompiledText::CompiledText(std::string text) : owned_(std::move(text)), text_(owned_) {}

CompiledText::Chunk& CompiledText::At(size_t pos) {
  Chunk*& recent = recent_[pos % recent_.size()];
  if (recent && recent->begin == pos) return *recent;
  // The loop mostly asks for the chunk behind the one it ran last.
  if (next_ < order_.size() && order_[next_]->begin == pos) return *(recent = order_[next_++]);
  auto found = std::lower_bound(order_.begin(), order_.end(), pos,
                                [](const Chunk* c, size_t p) { return c->begin < p; });
  size_t at = static_cast<size_t>(found - order_.begin());
  if (found != order_.end() && (*found)->begin == pos) {
    next_ = at + 1;
    return *(recent = *found);
  }
  return *(recent = &Cut(pos, at));
}

CompiledText::Chunk& CompiledText::Cut(size_t pos, size_t at) {
  std::string_view piece;
  size_t end = NextChunk(text_, pos, &piece);
  const TagEntry* tag = MatchingTag(piece);
  auto newlines = static_cast<uint32_t>(std::count(piece.begin(), piece.end(), '\n'));
  Chunk& chunk =
      store_.emplace_back(Chunk{pos, end, tag ? tag->code : kTagNone, newlines, tag, nullptr});
  order_.insert(order_.begin() + static_cast<std::ptrdiff_t>(at), &chunk);
  next_ = at + 1;
  return chunk;
}

const AttributeList& CompiledText::Attributes(TextLog& log, Chunk& chunk, int caseMode) {
  const int slot = caseMode == 0 ? 0 : 1;
  if (!chunk.parsed) chunk.parsed = std::make_unique<Parsed>();
  std::optional<AttributeList>& list = chunk.parsed->list[slot];
  std::string& messages = chunk.parsed->trace[slot];
  if (!list) {
    RecordingLog recorder(messages);
    list = ParseAttributes(recorder, text_.substr(chunk.begin, chunk.end - chunk.begin), caseMode);
  }
  if (!messages.empty() && log.Active()) {
    for (size_t from = 0; from < messages.size();) {
      size_t stop = messages.find('\0', from);
      log.Write(std::string_view(messages).substr(from, stop - from));
      from = stop + 1;
    }
  }
  return *list;
}

std::vector<CompiledText::BodyStep>& CompiledText::FindStraightBody(Chunk& opening, int mode) {
  if (!opening.parsed) opening.parsed = std::make_unique<Parsed>();
  Parsed& parsed = *opening.parsed;
  if (parsed.bodyAsked == 2 || parsed.bodyAsked++ == 0) return parsed.body;
  constexpr size_t kMaxChunks = 4096;
  std::vector<BodyStep>& steps = parsed.body;
  // The COND blocks open at the step: the steps of each one's COND and ELSEs.
  std::vector<std::vector<uint32_t>> open;
  long lines = 0;
  for (size_t pos = opening.end; pos < text_.size() && steps.size() < kMaxChunks;) {
    Chunk& chunk = At(pos);
    const TagInfo& info = TagInfoOf(chunk.code);
    lines += chunk.newlines;
    const auto at = static_cast<uint32_t>(steps.size());
    steps.push_back({&chunk, chunk.parsed ? chunk.parsed->plan.get() : nullptr, lines});
    pos = chunk.end;
    if (info.kind == TagKind::Text || info.kind == TagKind::Plain) continue;
    // A skipped branch still runs what runs always: only the top level may hold it.
    if (info.kind == TagKind::Always && open.empty()) continue;
    if (chunk.code == kTagCond) {
      steps[at].flow = Flow::kCond;
      open.push_back({at});
      continue;
    }
    if (open.empty()) {
      if (info.kind == TagKind::End && info.runMode == mode) return steps;
      break;
    }
    if (chunk.code == kTagElse) {
      steps[open.back().back()].next = at;
      steps[at].flow = Flow::kElse;
      open.back().push_back(at);
      continue;
    }
    if (chunk.code != kTagCondEnd) break;
    steps[open.back().back()].next = at;
    for (uint32_t branch : open.back()) steps[branch].end = at;
    steps[at].flow = Flow::kCondEnd;
    open.pop_back();
  }
  steps.clear();
  return steps;
}

}  // namespace kwl
