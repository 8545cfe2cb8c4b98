// Reversible escaping for the texts the store writes into line-based files
// (message files, params.ini, participants.ini): a byte that would break the
// line structure is written as "%XX". Pure functions, thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dravont_service {

// Escapes '%', CR, LF, NUL, '=' and blank, so the text is one word of a
// line and needs no further quoting.
std::string escapeWord(std::string_view text);

// Escapes like escapeWord, and also every upper-case ASCII letter and a
// leading ';', '#' or '[': for INI keys, which the INI reader folds to one
// letter case and takes for comments or section headers.
std::string escapeIniKey(std::string_view text);

// Undoes either escaping. Returns nullopt for a '%' not followed by two
// hexadecimal digits.
std::optional<std::string> unescapeWord(std::string_view text);

}  // namespace dravont_service
