// The exact text of YAML scalars wherever YAML is written: floats, and
// double- and single-quoted strings. The float text has two more layouts,
// for JSON and for the debug form of values in messages.
//
//     format_float(1e20)          ->  1.0e+20
//     write_double_quoted("a\tb") ->  "a\tb"   (the tab escaped)
//     write_single_quoted("it's") ->  'it''s'
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmere::encode {

// Each layout writes the shortest digits that read back as the same double.
enum class FloatLayout : unsigned char {
    // Positional for decimal exponents from -4 to 15, else 1.0e+20 and
    // 1.5e-07; always with a '.'; .inf, -.inf, .nan.
    Yaml,
    // Always positional (1e20 is 100000000000000000000.0); null for the
    // values JSON cannot hold.
    Json,
    // As Yaml within the exponents -4 to 15, else 1e20 and 1.5e-7; inf,
    // -inf, NaN.
    Debug,
};

// Room for any float text: 5e-324 takes 326 characters positionally.
inline constexpr std::size_t kFloatTextCapacity = 400;

// Writes the text into `buffer` (kFloatTextCapacity bytes); gives its length.
std::size_t write_float(char* buffer, double value, FloatLayout layout);
void append_float(std::string& out, double value, FloatLayout layout = FloatLayout::Yaml);
std::string format_float(double value);

// The length of the character at text[i] when only an escape carries it
// safely: one that YAML allows in no file (a C1 control other than NEL,
// bytes C2 80 to C2 9F; U+FFFE; U+FFFF), and NEL, the line and paragraph
// separators and the byte-order mark (C2 85, E2 80 A8, E2 80 A9, EF BB
// BF), which YAML 1.1 readers take for line breaks or drop; 0 for every
// other character. C0 controls and DEL are single bytes, which callers
// test themselves.
std::size_t escaped_only_length(std::string_view text, std::size_t i);

// The body of a double-quoted scalar, without the quotes.
std::string escape_double_quoted(std::string_view text);
void append_escaped_double_quoted(std::string& out, std::string_view text);

void write_double_quoted(std::string& out, std::string_view text);
// Doubles single quotes and escapes nothing else: callers use it only for
// texts without line breaks and control characters.
void write_single_quoted(std::string& out, std::string_view text);

}  // namespace quillmere::encode
