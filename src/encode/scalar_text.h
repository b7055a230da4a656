// The exact text of YAML scalars wherever YAML is written: floats, and
// double- and single-quoted strings.
//
//     format_float(1e20)          ->  1.0e+20
//     write_double_quoted("a\tb") ->  "a\tb"   (the tab escaped)
//     write_single_quoted("it's") ->  'it''s'
#pragma once

#include <string>
#include <string_view>

namespace quillmere::encode {

// Shortest text that reads back as the same double: positional between
// 1e-4 and 1e16, exponent form outside; always with a '.'; .inf, -.inf, .nan.
std::string format_float(double value);
void append_float(std::string& out, double value);

// The body of a double-quoted scalar, without the quotes.
std::string escape_double_quoted(std::string_view text);
void append_escaped_double_quoted(std::string& out, std::string_view text);

void write_double_quoted(std::string& out, std::string_view text);
// Doubles single quotes and escapes nothing else: callers use it only for
// texts without line breaks and control characters.
void write_single_quoted(std::string& out, std::string_view text);

}  // namespace quillmere::encode
