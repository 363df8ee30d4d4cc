// Tag scanner: chunk cutting and tag recognition over the tag table.
#include "page/scanner.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "core/trace.h"
#include "page/tag_table.h"

namespace kwl {

namespace {

// Characters that stop the walk through an element outside quotes.
constexpr std::array<bool, 256> MakeElementStops() {
  std::array<bool, 256> stops{};
  for (unsigned char c : {'<', '>', '"', '\\', '\n'}) stops[c] = true;
  return stops;
}
constexpr std::array<bool, 256> kElementStops = MakeElementStops();

size_t FindByte(std::string_view text, size_t from, char byte) {
  if (from >= text.size()) return text.size();
  const void* hit = std::memchr(text.data() + from, byte, text.size() - from);
  return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
}

// A quote is escaped by an odd run of backslashes in front of it, which is
// how the attribute parser reads it too; `open` bounds the look back.
bool QuoteIsEscaped(std::string_view text, size_t open, size_t quote) {
  size_t backslashes = 0;
  while (quote - backslashes - 1 > open && text[quote - backslashes - 1] == '\\') ++backslashes;
  return backslashes % 2 == 1;
}

// Position behind the quote that closes the stretch opened at `open`, or the
// end of the text when it is never closed.
size_t QuotedStretchEnd(std::string_view text, size_t open) {
  size_t quote = FindByte(text, open + 1, '"');
  while (quote < text.size() && QuoteIsEscaped(text, open, quote)) {
    quote = FindByte(text, quote + 1, '"');
  }
  return quote < text.size() ? quote + 1 : text.size();
}

// End of the element beginning with the '<' at `pos`. A '>' belongs to it;
// '<', backslash or newline outside quotes begin the next chunk instead.
size_t ElementEnd(std::string_view text, size_t pos) {
  size_t i = pos + 1;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!kElementStops[c]) {
      ++i;
    } else if (c == '"') {
      i = QuotedStretchEnd(text, i);
    } else {
      return c == '>' ? i + 1 : i;
    }
  }
  return text.size();
}

constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Table entries that can match, by the byte behind the '<', in table order.
struct Candidates {
  uint8_t count = 0;
  std::array<uint8_t, 16> entry{};
  std::array<uint8_t, 16> length{};
};
using CandidateIndex = std::array<Candidates, 256>;

void File(Candidates& slot, size_t entry, size_t length) {
  if (slot.count == slot.entry.size()) return;  // the fixed table never gets here
  slot.entry[slot.count] = static_cast<uint8_t>(entry);
  slot.length[slot.count] = static_cast<uint8_t>(length);
  ++slot.count;
}

CandidateIndex BuildCandidateIndex() {
  CandidateIndex index{};
  const auto table = TagTable();
  for (size_t e = 0; e < table.size(); ++e) {
    const char* opening = table[e].opening;
    const size_t length = std::strlen(opening);
    if (length < 2 || opening[0] != '<') continue;  // "-->" can never begin a chunk
    const unsigned char key = static_cast<unsigned char>(opening[1]);
    const unsigned char lower = (key >= 'A' && key <= 'Z') ? key + 32 : key;
    File(index[key], e, length);
    if (lower != key) File(index[lower], e, length);
  }
  return index;
}

const CandidateIndex& Index() {
  static const CandidateIndex index = BuildCandidateIndex();
  return index;
}

bool MatchesOpening(std::string_view chunk, const char* opening, size_t length) {
  if (chunk.size() < length) return false;
  for (size_t i = 2; i < length; ++i) {
    if (AsciiUpper(chunk[i]) != opening[i]) return false;
  }
  return true;
}

}  // namespace

const TagEntry* MatchingTag(std::string_view chunk) {
  if (chunk.size() < 2 || chunk[0] != '<') return nullptr;
  const Candidates& slot = Index()[static_cast<unsigned char>(chunk[1])];
  const auto table = TagTable();
  for (uint8_t c = 0; c < slot.count; ++c) {
    const TagEntry& tag = table[slot.entry[c]];
    if (MatchesOpening(chunk, tag.opening, slot.length[c])) return &tag;
  }
  return nullptr;
}

void TraceTag(Process& proc, const TagEntry& tag, bool executing) {
  if (executing && tag.listed) TRACE(proc, "\n");
  TRACE(proc, "KWL TAG: %s>\n", tag.opening);
  if (executing && !tag.listed) TRACE(proc, "\n");
}

size_t NextChunk(std::string_view text, size_t pos, std::string_view* chunk) {
  if (pos >= text.size()) {
    *chunk = text.substr(text.size());
    return text.size();
  }
  const size_t end = text[pos] == '<' ? ElementEnd(text, pos) : FindByte(text, pos, '<');
  *chunk = text.substr(pos, end - pos);
  return end;
}

int RecogniseTag(Process& proc, std::string_view chunk, bool executing) {
  const TagEntry* tag = MatchingTag(chunk);
  if (!tag) return kTagNone;
  TraceTag(proc, *tag, executing);
  return tag->code;
}

}  // namespace kwl
