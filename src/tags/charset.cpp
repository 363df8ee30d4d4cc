#include "tags/charset.h"

#include <iconv.h>
#include <locale.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <cwctype>

#include "core/trace.h"
#include "text/ascii.h"

namespace kwl {

namespace {

constexpr const char* kWide = "WCHAR_T";
constexpr size_t kWindow = 256;

// One iconv converter, closed when it goes out of scope.
class Converter {
 public:
  Converter(std::string_view to, std::string_view from)
      : cd_(iconv_open(std::string(to).c_str(), std::string(from).c_str())) {}
  ~Converter() {
    if (Opened()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Opened() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Appends the conversion of `in` to `out` through a fixed output window.
  // Returns 0, or the errno of the failure that ended it; `consumed` gets the
  // input bytes that were converted.
  int Run(std::string_view in, std::string& out, size_t* consumed) {
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    int error = 0;
    char window[kWindow];
    for (bool flushing = false;;) {
      char* dst = window;
      size_t dstLeft = sizeof window;
      size_t done = flushing ? iconv(cd_, nullptr, nullptr, &dst, &dstLeft)
                             : iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      int why = done == static_cast<size_t>(-1) ? errno : 0;
      out.append(window, static_cast<size_t>(dst - window));
      if (why == E2BIG) continue;
      if (why != 0) {
        error = why;
        break;
      }
      // Stateful sets end with the sequence that returns to their initial state.
      if (flushing) break;
      flushing = true;
    }
    if (consumed) *consumed = in.size() - srcLeft;
    return error;
  }

 private:
  iconv_t cd_;
};

bool SameCharset(std::string_view a, std::string_view b) {
  return AsciiEqualsNoCase(a, b);
}

// The locale whose wide-character case mapping is used: the program's, or,
// while that is the plain C locale (which maps only ASCII letters), C.UTF-8.
class CaseLocale {
 public:
  CaseLocale() {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    if (current && std::strcmp(current, "C") != 0 && std::strcmp(current, "POSIX") != 0) return;
    owned_ = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  }
  ~CaseLocale() {
    if (owned_) freelocale(owned_);
  }
  CaseLocale(const CaseLocale&) = delete;
  CaseLocale& operator=(const CaseLocale&) = delete;
  wint_t Upper(wint_t c) const { return owned_ ? towupper_l(c, owned_) : std::towupper(c); }
  wint_t Lower(wint_t c) const { return owned_ ? towlower_l(c, owned_) : std::towlower(c); }

 private:
  locale_t owned_ = nullptr;
};

void TraceErrno(Process& proc, int error) {
  TRACE(proc, "errno=%d %s ", error, std::strerror(error));
}

void MapCase(Interpreter& interp, std::string_view charset, std::string& text, bool upper) {
  if (IsSingleByteCharset(charset)) {
    char from = upper ? 'a' : 'A';
    for (char& c : text) {
      if (c >= from && c < from + 26) c = static_cast<char>(c ^ 0x20);
    }
    return;
  }
  size_t consumed = 0;
  auto wide = ToWide(interp, charset, text, &consumed);
  if (!wide) {
    ReportError(interp, 2, "Char conv error !");
    return;
  }
  CaseLocale locale;
  for (size_t i = 0; i < wide->size(); ++i) {
    wchar_t old = (*wide)[i];
    wint_t c = static_cast<wint_t>(old);
    (*wide)[i] = static_cast<wchar_t>(upper ? locale.Upper(c) : locale.Lower(c));
    TRACE(interp.proc, "%0d:%#04x -> ", static_cast<int>(i), static_cast<unsigned>(old));
    TRACE(interp.proc, "%#04x\n", static_cast<unsigned>((*wide)[i]));
  }
  std::string mapped;
  if (!FromWide(interp, charset, *wide, mapped)) return;
  // Bytes behind a conversion error are kept as they were.
  mapped.append(text, consumed);
  text = std::move(mapped);
}

}  // namespace

bool IsSingleByteCharset(std::string_view name) {
  return AsciiStartsWithNoCase(name, "iso");
}

std::string PageCharset(Interpreter& interp) {
  return interp.charset ? VarText(*interp.charset) : std::string("iso-8859-1");
}

std::optional<std::wstring> ToWide(Interpreter& interp, std::string_view charset,
                                   std::string_view text, size_t* consumed) {
  Converter converter(kWide, charset);
  if (!converter.Opened()) {
    int error = errno;
    TRACE(interp.proc, "errno=%d %s %.*s to WCHAR_T", error, std::strerror(error),
          static_cast<int>(charset.size()), charset.data());
    ReportError(interp, 2, "ToWChar conv open error !");
    return std::nullopt;
  }
  std::string bytes;
  int error = converter.Run(text, bytes, consumed);
  if (error != 0) {
    TraceErrno(interp.proc, error);
    ReportError(interp, 2, "ToWChar conv error !");
  }
  std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
  return wide;
}

bool FromWide(Interpreter& interp, std::string_view charset, std::wstring_view wide,
              std::string& out) {
  Converter converter(charset, kWide);
  if (!converter.Opened()) {
    int error = errno;
    TRACE(interp.proc, "errno=%d %s WCHAR_T to %.*s ", error, std::strerror(error),
          static_cast<int>(charset.size()), charset.data());
    ReportError(interp, 2, "FromWChar conv open error !");
    return false;
  }
  std::string_view bytes(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
  int error = converter.Run(bytes, out, nullptr);
  if (error == 0) return true;
  TraceErrno(interp.proc, error);
  ReportError(interp, 2, "FromWChar conv error !");
  return false;
}

bool ConvertText(Interpreter& interp, std::string_view from, std::string_view to,
                 std::string& text) {
  if (SameCharset(from, to)) return true;
  Converter converter(to, from);
  if (!converter.Opened()) {
    int error = errno;
    TRACE(interp.proc, "errno=%d %s %.*s to %.*s", error, std::strerror(error),
          static_cast<int>(to.size()), to.data(), static_cast<int>(from.size()), from.data());
    ReportError(interp, 2, "Iconv open error !");
    return false;
  }
  std::string converted;
  int error = converter.Run(text, converted, nullptr);
  text = std::move(converted);
  if (error == 0) return true;
  TraceErrno(interp.proc, error);
  ReportError(interp, 2, "Iconv conv error !");
  return false;
}

bool ConvertCharset(Interpreter& interp, std::string_view target, Variable& var) {
  std::string text = VarText(var);
  bool converted = ConvertText(interp, PageCharset(interp), target, text);
  VarSet(var, text);
  return converted;
}

void Upcase(Interpreter& interp, std::string_view charset, std::string& text) {
  MapCase(interp, charset, text, true);
}

void Lowcase(Interpreter& interp, std::string_view charset, std::string& text) {
  MapCase(interp, charset, text, false);
}

size_t CharCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

size_t TextLength(Interpreter& interp, std::string_view text) {
  return IsSingleByteCharset(PageCharset(interp)) ? text.size() : CharCount(text);
}

size_t CharOffset(std::string_view text, size_t n) {
  size_t pos = 0;
  for (; n > 0 && pos < text.size(); --n) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  }
  return pos;
}

}  // namespace kwl
