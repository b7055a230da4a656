// UTF-8 validation with the position and kind of the first fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmere {

struct Utf8Check {
    bool valid = true;
    // Bytes before the first invalid sequence.
    std::size_t valid_up_to = 0;
    // Length of the invalid sequence (1 to 3); 0 when the text ends inside
    // an otherwise valid sequence.
    std::size_t error_length = 0;
};

Utf8Check check_utf8(std::string_view bytes);

// No byte of 0x80 or above.
bool is_ascii(std::string_view bytes);

inline bool is_valid_utf8(std::string_view bytes) { return check_utf8(bytes).valid; }

// `bytes` as text: each invalid sequence (each maximal prefix of a valid
// sequence, or each stray byte) becomes one U+FFFD, as Python's "replace"
// error handler does. Valid UTF-8 comes back unchanged.
std::string to_text_lossy(std::string_view bytes);

// Appends the UTF-8 form of a Unicode scalar value.
inline void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Appends the character `c` of a text that a message shows between double
// quotes: '"' and '\' after a backslash, tab, line feed and carriage
// return as \t, \n and \r, a character that is not `printable` as \u{hex}
// (lower case, as in \u{7f}), and any other as UTF-8.
void append_quoted_char(std::string& out, char32_t c, bool printable);

}  // namespace quillmere
