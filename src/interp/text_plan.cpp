#include "interp/text_plan.h"

#include "core/trace.h"
#include "interp/substitute.h"

namespace kwl {

namespace {

bool EndsName(char c) {
  return c == '[' || c == '(' || c == '$' || c == ' ' || c == '\r' || c == '\n' || c == '"';
}

}  // namespace

TextPlan::TextPlan(std::string_view text) : text_(text) {
  size_t pos = 0;
  auto literal = [&](size_t begin, size_t end) {
    if (end > begin) pieces_.push_back(Piece{begin, end, -1});
  };
  while (pos < text_.size()) {
    size_t dollar = text_.find('$', pos);
    if (dollar == std::string::npos) break;
    literal_ = false;
    literal(pos, dollar);
    pos = dollar + 1;
    if (pos < text_.size() && text_[pos] == '$') {  // "$$" is one "$"
      literal(pos, pos + 1);
      ++pos;
      continue;
    }
    size_t name = pos;
    while (pos < text_.size() && pos - name < kMaxReferenceName && !EndsName(text_[pos])) ++pos;
    if (pos == name) continue;  // "$" before a name's end stands for nothing
    char prefix = text_[name];
    char next = pos < text_.size() ? text_[pos] : '$';
    if (prefix == '+' || prefix == '#' || pos - name == kMaxReferenceName || next == '[' ||
        next == '(') {
      cut_ = false;
      return;
    }
    pieces_.push_back(Piece{name, pos, static_cast<int>(refs_.size())});
    refs_.emplace_back(std::string_view(text_).substr(name, pos - name));
    if (pos < text_.size() && text_[pos] == '$') ++pos;
  }
  literal(pos, text_.size());
}

void TextPlan::AppendTo(Interpreter& interp, std::string& out) {
  if (literal_) {
    out += text_;
    return;
  }
  if (!cut_ || !PlansApply(interp)) {
    Substitute(interp, text_, out);
    return;
  }
  for (const Piece& piece : pieces_) {
    if (piece.ref < 0) {
      out.append(text_, piece.begin, piece.end - piece.begin);
      continue;
    }
    CachedName& name = Ref(piece);
    if (Variable* var = ResolveCached(interp.proc, name)) {
      out += VarText(*var);
    } else if (!ResolveName(interp, name.name, false, out) && interp.null) {
      out += VarText(*interp.null);
    }
  }
}

bool PlainInteger(std::string_view text, int32_t* value) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 9) return false;
  int32_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *value = negative ? -n : n;
  return true;
}

}  // namespace kwl
