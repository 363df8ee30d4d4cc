// TextPlan: an attribute's text cut once into literal pieces and plain $name$
// references, so that substituting it again reads neither the text nor the names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/resolve.h"
#include "core/trace.h"
#include "interp/interpreter.h"

namespace kwl {

class TextPlan {
 public:
  // A literal piece (ref < 0) or a reference to refs()[ref].
  struct Piece {
    size_t begin = 0;
    size_t end = 0;
    int ref = -1;
  };

  explicit TextPlan(std::string_view text);

  const std::string& text() const { return text_; }
  // The text holds no "$": it is its own value.
  bool Literal() const { return literal_; }
  // Every reference is a plain one (no $+, $#, substring or index).
  bool Cut() const { return cut_; }
  const std::vector<Piece>& pieces() const { return pieces_; }
  std::string_view PieceText(const Piece& piece) const {
    return std::string_view(text_).substr(piece.begin, piece.end - piece.begin);
  }
  CachedName& Ref(const Piece& piece) { return refs_[static_cast<size_t>(piece.ref)]; }

  // Appends the substituted text to `out`, exactly as Substitute would.
  void AppendTo(Interpreter& interp, std::string& out);
  // The value: the text itself when it is literal, else substituted into `scratch`.
  std::string_view Value(Interpreter& interp, std::string& scratch) {
    if (literal_) return text_;
    AppendTo(interp, scratch);
    return scratch;
  }

 private:
  std::string text_;
  bool literal_ = true;
  bool cut_ = true;
  std::vector<Piece> pieces_;
  std::vector<CachedName> refs_;
};

// True when pieces can be appended from their plans: values are not escaped
// and nothing is traced (both need the whole substitution).
inline bool PlansApply(Interpreter& interp) {
  return !interp.escapeValues && !TraceActive(interp.proc);
}

// The integer a variable's text reads as without surprises for the
// expression reader: an integer value other than the 32-bit minimum, or a
// text of an optional "-" and one to nine digits. False otherwise.
bool PlainInteger(std::string_view text, int32_t* value);
inline bool PlainInteger(Variable& var, int32_t* value) {
  if (var.null) return false;
  if (var.kind != kKindInteger) return PlainInteger(var.text, value);
  *value = var.integer;
  return var.integer != INT32_MIN;
}

}  // namespace kwl
