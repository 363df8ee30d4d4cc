#include "interp/like_match.h"

#include <string.h>

#include <algorithm>

#include "core/trace.h"
#include "interp/compare.h"

namespace kwl {

namespace {

// printf arguments for "%.*s" with at most `max` bytes.
int Len(std::string_view s, size_t max = 2047) {
  return static_cast<int>(std::min(s.size(), max));
}

// The first occurrence of `piece` in `text`, or npos. memmem runs in linear
// time where string_view::find compares the piece at every position.
size_t Find(std::string_view text, std::string_view piece) {
  if (piece.empty()) return 0;
  if (piece.size() > text.size()) return std::string_view::npos;
  const void* found = memmem(text.data(), text.size(), piece.data(), piece.size());
  return found ? static_cast<size_t>(static_cast<const char*>(found) - text.data())
               : std::string_view::npos;
}

struct Matcher {
  Interpreter& interp;
  std::string_view text;
  std::string_view pattern;
  size_t t = 0;  // position in the text
  size_t p = 0;  // position in the pattern
  bool matched = true;

  bool PatternEnded() const { return p >= pattern.size(); }

  // Behind a piece and its "%"; a pattern that ends with "%" takes the rest of the text.
  void PassPercent(size_t percent) {
    p = percent + 1;
    if (PatternEnded()) t = text.size();
  }

  void FirstPiece(std::string_view piece, size_t percent) {
    TRACE(interp.proc, "TEST '%.*s' = '%.*s' sur %d car\n", Len(text), text.data(), Len(pattern),
          pattern.data(), Len(piece));
    if (text.substr(0, piece.size()) == piece) {
      t = piece.size();
      PassPercent(percent);
    } else {
      matched = false;
    }
  }

  void MiddlePiece(std::string_view piece, size_t percent) {
    std::string_view rest = text.substr(t);
    TRACE(interp.proc, "CHERCHE '%.*s' DANS '%.*s'\n", Len(piece), piece.data(), Len(rest, 250),
          rest.data());
    size_t found = Find(rest, piece);
    if (found != std::string_view::npos)
      t += found + piece.size();
    else
      matched = false;
    PassPercent(percent);
  }

  void LastPiece(std::string_view piece) {
    std::string_view rest = text.substr(t);
    TRACE(interp.proc, "CHERCHE '%.*s' DANS '%.*s'\n", Len(piece), piece.data(), Len(rest, 200),
          rest.data());
    size_t found = Find(rest, piece);
    if (found != std::string_view::npos) t += found;
    rest = text.substr(t);
    TRACE(interp.proc, "FIN TEST '%.*s' = '%.*s'\n", Len(rest, 200), rest.data(), Len(piece, 200),
          piece.data());
    matched = matched && rest == piece;
    t = std::min(t + piece.size(), text.size());
    p = pattern.size();
  }

  bool Run() {
    for (bool first = true;; first = false) {
      size_t percent = pattern.find('%', p);
      size_t pieceEnd = percent == std::string_view::npos ? pattern.size() : percent;
      std::string_view piece = pattern.substr(p, pieceEnd - p);
      if (!piece.empty() && first)
        FirstPiece(piece, percent);
      else if (percent != std::string_view::npos)
        MiddlePiece(piece, percent);
      else
        LastPiece(piece);
      if (!matched || PatternEnded()) break;
    }
    bool result = matched && t == text.size();
    if (!result && t < text.size()) {
      std::string_view rest = text.substr(t);
      TRACE(interp.proc, "RESTE '%.*s'\n", Len(rest, 200), rest.data());
    }
    return result;
  }
};

}  // namespace

bool LikeMatch(Interpreter& interp, std::string_view text, std::string_view pattern) {
  if (pattern.find('%') == std::string_view::npos) return CompareValues(interp, text, pattern) == 0;
  return Matcher{interp, text, pattern}.Run();
}

}  // namespace kwl
