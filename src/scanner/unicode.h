// Small UTF-8 helpers shared by the scanner and the version sniff.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace quillmere::scanner {

// Whether `c` has the Unicode White_Space property.
bool is_unicode_white_space(char32_t c);

// `text` without the White_Space characters at its end (or start).
std::string_view trim_white_space_end(std::string_view text);
std::string_view trim_white_space_start(std::string_view text);

// Byte offset where the first White_Space character of `text` begins at or
// after `from`, and the length of that character; npos when there is none.
std::size_t find_white_space(std::string_view text, std::size_t from, std::size_t& length);

// The words of `text`, split at White_Space characters.
std::vector<std::string_view> split_words(std::string_view text);

}  // namespace quillmere::scanner
