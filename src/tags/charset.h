// Page character sets: the single-byte rule, iconv conversion through wide characters, case,
// length.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "interp/interpreter.h"

namespace kwl {

// A name beginning with "iso" (any case) is a single-byte set; any other is
// taken as multi-byte, and counted as UTF-8.
bool IsSingleByteCharset(std::string_view name);
// The page character set: `velcharset`, or "iso-8859-1" before it exists.
std::string PageCharset(Interpreter& interp);

// Converts `text` from `charset` to wide characters. Nothing when the
// converter cannot be opened. On a conversion error the characters read so
// far are returned; `consumed` tells how many bytes of `text` they came from.
std::optional<std::wstring> ToWide(Interpreter& interp, std::string_view charset,
                                   std::string_view text, size_t* consumed = nullptr);
// Appends `wide` converted to `charset` to `out`; false (and an error
// reported) when the converter cannot be opened or a character cannot be
// written, `out` then holding what was converted.
bool FromWide(Interpreter& interp, std::string_view charset, std::wstring_view wide,
              std::string& out);

// Converts `text` from the page character set to `target`; nothing to do
// when they are the same. On an error the text keeps what was converted
// before it (or stays as it was when no converter opens).
bool ConvertCharset(Interpreter& interp, std::string_view target, Variable& var);
// The same between any two sets.
bool ConvertText(Interpreter& interp, std::string_view from, std::string_view to,
                 std::string& text);

// Case mapping in place: ASCII letters for a single-byte set, every
// character through wide characters otherwise. Bytes that do not decode
// stay as they are.
void Upcase(Interpreter& interp, std::string_view charset, std::string& text);
void Lowcase(Interpreter& interp, std::string_view charset, std::string& text);

// The number of UTF-8 characters: bytes that are not continuation bytes.
size_t CharCount(std::string_view text);
// Bytes for a single-byte page set, else characters.
size_t TextLength(Interpreter& interp, std::string_view text);
// Where the (n+1)-th UTF-8 character begins; text.size() when there are fewer.
size_t CharOffset(std::string_view text, size_t n);

}  // namespace kwl
