// Searches for the bytes that end a run of ordinary text, sixteen bytes at
// a time where the machine has SSE2.
//
// Each returns the offset of the first matching byte at or after `from`, or
// `end` when there is none. Bytes of 0x80 and above always match, so that the
// caller, which counts columns in characters, sees every multi-byte
// character; everything the search skips is ASCII, one column a byte.
#pragma once

#include <cstddef>

namespace quillmere::scanner {

// Plain scalars: line breaks, '#' and ':', inside flow collections also
// ',', '[', ']', '{' and '}'. Blanks do not stop the search: the words of a
// line are one run, and the caller trims the blanks at the run's end.
std::size_t find_plain_stop(const char* text, std::size_t from, std::size_t end, bool flow);

// Quoted scalars: the closing quote, line breaks, and for double quotes the
// backslash.
std::size_t find_quoted_stop(const char* text, std::size_t from, std::size_t end, bool double_quoted);

// The first byte that is not a space: the end of an indentation.
std::size_t find_non_space(const char* text, std::size_t from, std::size_t end);

// The next LF or CR (non-ASCII bytes do not match here).
std::size_t find_line_break(const char* text, std::size_t from, std::size_t end);

// The first character that YAML allows in no text (outside c-printable):
// a C0 control other than tab, LF and CR, DEL, a C1 control other than
// NEL, U+FFFE or U+FFFF. `text` is valid UTF-8 (no surrogate can occur);
// `length` is the character's byte length. Unlike the searches above,
// multi-byte characters are skipped: only the lead bytes C2 and EF can
// begin such a character.
std::size_t find_non_printable(const char* text, std::size_t end, std::size_t& length);

}  // namespace quillmere::scanner
