// The exact text of YAML scalars wherever YAML is written: floats, and
// double- and single-quoted strings.
//
//     format_float(1e20)          ->  1.0e+20
//     write_double_quoted("a\tb") ->  "a\tb"   (the tab escaped)
//     write_single_quoted("it's") ->  'it''s'
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmere::encode {

// Shortest text that reads back as the same double: positional between
// 1e-4 and 1e16, exponent form outside; always with a '.'; .inf, -.inf, .nan.
std::string format_float(double value);
void append_float(std::string& out, double value);

// The length of the character at text[i] when YAML allows it in no file
// and only an escape can carry it: a C1 control other than NEL (U+0080 to
// U+009F, bytes C2 80 to C2 9F), U+FFFE or U+FFFF; 0 for every other
// character. C0 controls and DEL are single bytes, which callers test
// themselves.
std::size_t non_printable_length(std::string_view text, std::size_t i);

// The body of a double-quoted scalar, without the quotes.
std::string escape_double_quoted(std::string_view text);
void append_escaped_double_quoted(std::string& out, std::string_view text);

void write_double_quoted(std::string& out, std::string_view text);
// Doubles single quotes and escapes nothing else: callers use it only for
// texts without line breaks and control characters.
void write_single_quoted(std::string& out, std::string_view text);

}  // namespace quillmere::encode
