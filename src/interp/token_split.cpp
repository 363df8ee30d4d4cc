#include "interp/token_split.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "core/trace.h"

namespace kwl {

namespace {

template <class Char>
std::vector<std::basic_string<Char>> Split(std::basic_string_view<Char> value,
                                           std::basic_string_view<Char> separators,
                                           bool dropEmpty) {
  std::vector<std::basic_string<Char>> tokens;
  size_t start = 0;
  for (;;) {
    size_t end = value.find_first_of(separators, start);
    if (end == value.npos) end = value.size();
    if (!dropEmpty || end > start) tokens.emplace_back(value.substr(start, end - start));
    if (end == value.size()) break;
    start = end + 1;
  }
  return tokens;
}

// One iconv conversion direction, closed with its owner.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; false at an invalid or incomplete sequence, with
  // what was converted before it in `out`.
  bool Run(std::string_view in, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string input(in);
    char* src = input.data();
    size_t srcLeft = input.size();
    out->clear();
    char buffer[1024];
    while (srcLeft > 0) {
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      size_t done = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out->append(buffer, dst - buffer);
      if (done == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);  // the closing shift sequence, if any
    out->append(buffer, dst - buffer);
    return true;
  }

 private:
  iconv_t cd_;
};

std::wstring AsWide(const std::string& bytes) {
  std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
  return wide;
}

std::string_view AsBytes(const std::wstring& wide) {
  return {reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t)};
}

void ReportConversion(Interpreter& interp, const char* message) {
  int error = errno;
  TRACE(interp.proc, "errno=%d %s ", error, std::strerror(error));
  ReportError(interp, 2, message);
}

bool ToWide(Interpreter& interp, Converter& in, std::string_view text, std::wstring* wide) {
  std::string bytes;
  if (!in.Run(text, &bytes)) {
    ReportConversion(interp, "ToWChar conv error !");
    return false;
  }
  *wide = AsWide(bytes);
  return true;
}

}  // namespace

std::vector<std::string> SplitTokens(std::string_view value, std::string_view separators,
                                     bool dropEmpty) {
  return Split(value, separators, dropEmpty);
}

bool SplitTokensByCharacter(Interpreter& interp, std::string_view charset, std::string_view value,
                            std::string_view separators, bool dropEmpty,
                            std::vector<std::string>* tokens) {
  std::string name(charset);
  Converter in("WCHAR_T", name);
  if (!in.ok()) {
    int error = errno;
    TRACE(interp.proc, "errno=%d %s %s to WCHAR_T", error, std::strerror(error), name.c_str());
    ReportError(interp, 2, "ToWChar conv open error !");
    return false;
  }
  Converter out(name, "WCHAR_T");
  if (!out.ok()) {
    int error = errno;
    TRACE(interp.proc, "errno=%d %s WCHAR_T to %s ", error, std::strerror(error), name.c_str());
    ReportError(interp, 2, "FromWChar conv open error !");
    return false;
  }
  // Text that is not valid in the charset would be cut short; the caller splits its bytes instead.
  std::wstring wideValue, wideSeparators;
  if (!ToWide(interp, in, value, &wideValue) || !ToWide(interp, in, separators, &wideSeparators)) {
    return false;
  }
  tokens->clear();
  for (const std::wstring& piece : Split<wchar_t>(wideValue, wideSeparators, dropEmpty)) {
    std::string& token = tokens->emplace_back();
    if (!out.Run(AsBytes(piece), &token)) ReportConversion(interp, "FromWChar conv error !");
  }
  return true;
}

}  // namespace kwl
