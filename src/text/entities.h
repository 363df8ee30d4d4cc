// The HTML entity table: entity texts and plain-ASCII approximations of single-byte characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kwl {

// The entity text of the first row for `byte` ("&eacute;"); none when no row has it.
std::optional<std::string_view> EntityByChar(unsigned char byte);
// The same row's plain-ASCII approximation ("e", "(C)", "Euro").
std::optional<std::string_view> ReplacementByChar(unsigned char byte);
// The character of the first row whose entity text begins `text`.
std::optional<unsigned char> EntityAt(std::string_view text);

// Appends `text` to `out` with named entities and "&#n;" references decoded.
void DecodeEntities(std::string_view text, std::string& out);
// Replaces every byte from 128 up that has a row by its approximation.
void FoldAccents(std::string& text);

}  // namespace kwl
