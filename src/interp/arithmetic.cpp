#include "interp/arithmetic.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "core/trace.h"

namespace kwl {

namespace {

constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

bool IsOperator(char c) {
  switch (c) {
    case '+':
    case '-':
    case '/':
    case '*':
    case '(':
    case ')':
    case '%':
      return true;
    default:
      return false;
  }
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool Stops(ArithStop stop, char c) {
  switch (stop) {
    case ArithStop::kNone:
      return false;
    case ArithStop::kAddSub:
      return c == '+' || c == '-';
    case ArithStop::kTerm:
      return c == '+' || c == '-' || c == '*' || c == '/';
  }
  return false;
}

std::string_view TrimOperand(Process& proc, std::string_view raw) {
  if (raw.size() > kMaxArithOperand) {
    TRACE(proc, "EXPR OPERAND TOO LONG\n");
    raw = raw.substr(0, kMaxArithOperand);
  }
  auto trailing = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  auto leading = [&](char c) { return trailing(c) || c == '\v' || c == '\f'; };
  while (!raw.empty() && trailing(raw.back())) raw.remove_suffix(1);
  while (!raw.empty() && leading(raw.front())) raw.remove_prefix(1);
  return raw;
}

// The longest prefix that reads as a decimal number (sign, digits, point,
// fraction, exponent); no prefix gives 0. Names such as inf or 0x10 are not numbers here.
double ReadDouble(std::string_view s) {
  size_t i = 0, digits = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  for (; i < s.size() && IsDigit(s[i]); ++i) ++digits;
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && IsDigit(s[i]); ++i) ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      i = j;
    }
  }
  std::string prefix(s.substr(0, i));
  return std::strtod(prefix.c_str(), nullptr);  // overflow gives +-HUGE_VAL, never UB
}

// Sign and digits; saturates at the 32-bit limits.
int32_t ReadInt(std::string_view s, bool& overflow) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t value = 0;
  const int64_t limit = negative ? -int64_t{kIntMin} : kIntMax;
  for (; i < s.size() && IsDigit(s[i]); ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > limit) {
      overflow = true;
      value = limit;
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

// Operations of the double routine.
struct DoubleMath {
  Process& proc;
  bool overflow = false;

  double Read(std::string_view s) { return ReadDouble(s); }
  double Negate(double v) { return v * -1; }
  double Add(double a, double b) { return a + b; }
  double Sub(double a, double b) { return a - b; }
  double Mul(double a, double b) { return a * b; }
  double Div(double a, double b) { return a / b; }
  // The quotient is truncated toward zero; within the 32-bit range this is
  // the same as converting it to an integer, beyond it no conversion is needed.
  double Mod(double a, double b) {
    double result = a - std::trunc(a / b) * b;
    TRACE(proc, " %f\n", result);
    return result;
  }
};

// Operations of the integer routine: 32-bit two's complement, wrapping.
struct IntMath {
  Process& proc;
  bool overflow = false;

  int32_t Wrap(int64_t v) {
    if (v < kIntMin || v > kIntMax) overflow = true;
    return static_cast<int32_t>(static_cast<uint32_t>(v));
  }
  int32_t Read(std::string_view s) { return ReadInt(s, overflow); }
  int32_t Negate(int32_t v) { return Wrap(-int64_t{v}); }
  int32_t Add(int32_t a, int32_t b) { return Wrap(int64_t{a} + b); }
  int32_t Sub(int32_t a, int32_t b) { return Wrap(int64_t{a} - b); }
  int32_t Mul(int32_t a, int32_t b) { return Wrap(int64_t{a} * b); }
  int32_t Div(int32_t a, int32_t b) { return Wrap(int64_t{a} / b); }
  int32_t Mod(int32_t a, int32_t b) {
    int32_t result = static_cast<int32_t>(int64_t{a} % b);
    TRACE(proc, "%d MOD %d = %d\n", a, b, result);
    return result;
  }
};

// A stack whose first frames live in place: most expressions nest only a
// few levels and so never allocate.
template <class Frame>
class FrameStack {
 public:
  size_t size() const { return size_; }
  Frame& back() { return size_ <= kInPlace ? inPlace_[size_ - 1] : more_.back(); }
  const Frame& back() const { return size_ <= kInPlace ? inPlace_[size_ - 1] : more_.back(); }
  void push_back(const Frame& frame) {
    if (size_ < kInPlace)
      inPlace_[size_] = frame;
    else
      more_.push_back(frame);
    ++size_;
  }
  void pop_back() {
    if (size_ > kInPlace) more_.pop_back();
    --size_;
  }

 private:
  static constexpr size_t kInPlace = 16;
  std::array<Frame, kInPlace> inPlace_;  // written before it is read
  std::vector<Frame> more_;
  size_t size_ = 0;
};

// The recursive-descent parser of the language, run on an explicit stack so
// that a long chain of operators or parentheses cannot exhaust the C++ stack.
// Each frame is one (sub)evaluation: its value so far, the characters at
// which it returns, and the operator of its caller that waits for its value.
template <class T, class Math>
class ArithParser {
 public:
  ArithParser(Math& math, std::string_view text, size_t pos, bool& error)
      : math_(math), text_(text), pos_(pos), error_(error) {}

  size_t Run(ArithStop stop, T* result) {
    Start(stop, 0);
    for (;;) {
      if (Continues()) {
        char op = text_[pos_];
        if (frames_.size() >= kMaxArithDepth) {
          TRACE(math_.proc, "EXPR TOO DEEP\n");
          error_ = true;
          tooDeepAt_ = pos_;
          continue;
        }
        ++pos_;
        Start(op == '+' || op == '(' ? ArithStop::kNone
              : op == '-'            ? ArithStop::kAddSub
                                     : ArithStop::kTerm,
              op);
      } else if (frames_.size() > 1) {
        Frame done = frames_.back();
        frames_.pop_back();
        Apply(frames_.back(), done);
      } else {
        *result = frames_.back().value;
        // Unwinding may skip to the end; the refused text is reported as left over.
        return tooDeepAt_ != std::string_view::npos ? tooDeepAt_ : pos_;
      }
    }
  }

 private:
  struct Frame {
    T value;
    ArithStop stop;
    char op;
  };

  bool AtEnd() const { return pos_ >= text_.size(); }

  bool Continues() const {
    if (AtEnd() || error_) return false;
    char c = text_[pos_];
    return c != ')' && !Stops(frames_.back().stop, c);
  }

  void Start(ArithStop stop, char op) {
    frames_.push_back(Frame{T{}, stop, op});
    error_ = false;
    frames_.back().value = ReadOperand();
  }

  size_t OperandEnd(size_t from) const {
    while (from < text_.size() && !IsOperator(text_[from])) ++from;
    return from;
  }

  T ReadOperand() {
    size_t start = pos_;
    pos_ = OperandEnd(pos_);
    std::string_view operand = TrimOperand(math_.proc, text_.substr(start, pos_ - start));
    if (!operand.empty()) return math_.Read(operand);
    if (!AtEnd() && (text_[pos_] == '-' || text_[pos_] == '+')) {
      // A signed operand always takes the character behind the sign, so --5 is 5.
      bool negative = text_[pos_] == '-';
      start = pos_ + 1;
      pos_ = start < text_.size() ? OperandEnd(start + 1) : start;
      T value = math_.Read(TrimOperand(math_.proc, text_.substr(start, pos_ - start)));
      return negative ? math_.Negate(value) : value;
    }
    if (AtEnd() || text_[pos_] != '(') TRACE(math_.proc, "EXPR CALC ERR\n");
    return T{};
  }

  void Apply(Frame& caller, const Frame& done) {
    T right = done.value;
    switch (done.op) {
      case '+':
        caller.value = math_.Add(caller.value, right);
        break;
      case '-':
        caller.value = math_.Sub(caller.value, right);
        break;
      case '*':
        caller.value = math_.Mul(caller.value, right);
        break;
      case '/':
        if (right == 0)
          error_ = true;
        else
          caller.value = math_.Div(caller.value, right);
        break;
      case '%':
        if (right == 0)
          error_ = true;
        else
          caller.value = math_.Mod(caller.value, right);
        break;
      case '(':
        // The parenthesis replaces the value before it; text between ")" and the next operator is
        // ignored.
        caller.value = right;
        if (!AtEnd()) ++pos_;
        pos_ = OperandEnd(pos_);
        break;
    }
  }

  Math& math_;
  std::string_view text_;
  size_t pos_;
  bool& error_;
  size_t tooDeepAt_ = std::string_view::npos;
  FrameStack<Frame> frames_;
};

void ReportLeftOver(Interpreter& interp, std::string_view text, size_t pos) {
  if (pos >= text.size()) return;
  ReportError(interp, 1, "ERROR IN EXPR");
  std::string_view rest = text.substr(pos);
  TRACE(interp.proc, "%.*s\n", static_cast<int>(rest.size()), rest.data());
}

}  // namespace

size_t ParseArith(Process& proc, std::string_view text, size_t pos, ArithStop stop, bool* error,
                  double* result) {
  DoubleMath math{proc};
  return ArithParser<double, DoubleMath>(math, text, pos, *error).Run(stop, result);
}

size_t ParseArith(Process& proc, std::string_view text, size_t pos, ArithStop stop, bool* error,
                  int32_t* result, bool* overflow) {
  IntMath math{proc};
  size_t end = ArithParser<int32_t, IntMath>(math, text, pos, *error).Run(stop, result);
  if (overflow) *overflow = math.overflow;
  return end;
}

double EvalNumber(Interpreter& interp, std::string_view text, bool* error) {
  bool unused = false;
  double result = 0;
  size_t end = ParseArith(interp.proc, text, 0, ArithStop::kNone, error ? error : &unused, &result);
  ReportLeftOver(interp, text, end);
  return result;
}

int32_t EvalInteger(Interpreter& interp, std::string_view text, bool* error, bool* overflow) {
  // A plain number, the commonest text here, reads as the parser would read it.
  if (!text.empty() && text.size() <= kMaxArithOperand &&
      std::all_of(text.begin(), text.end(), IsDigit)) {
    bool tooBig = false;
    int32_t value = ReadInt(text, tooBig);
    if (error) *error = false;
    if (overflow) *overflow = tooBig;
    return value;
  }
  bool unused = false;
  int32_t result = 0;
  size_t end = ParseArith(interp.proc, text, 0, ArithStop::kNone, error ? error : &unused, &result,
                          overflow);
  ReportLeftOver(interp, text, end);
  return result;
}

int32_t ToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(kIntMin)) return kIntMin;
  if (value >= static_cast<double>(kIntMax)) return kIntMax;
  return static_cast<int32_t>(value);
}

}  // namespace kwl
