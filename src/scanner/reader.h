// Reader: the character cursor of the scanner.
//
// It walks valid UTF-8 text (every caller hands over validated or decoded
// text) and keeps the byte offset, the 0-based line and the 0-based column in
// characters of the current character. LF, CR and CR LF are the only line
// breaks; a tab counts as one column like any other character. A leading
// UTF-8 byte-order mark is skipped at construction: offsets still count its
// three bytes, columns do not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scanner/token.h"

namespace quillmere::scanner {

inline bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }
inline bool is_break(unsigned char c) { return c == '\n' || c == '\r'; }
inline bool is_flow_indicator(unsigned char c) {
    return c == ',' || c == '[' || c == ']' || c == '{' || c == '}';
}

// The UTF-8 byte-order mark.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Length of the UTF-8 sequence that starts with `lead`.
inline std::size_t utf8_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return 4;
}

class Reader {
public:
    Reader(std::string_view text, std::uint32_t file_id);

    std::string_view text() const { return text_; }
    std::size_t size() const { return text_.size(); }
    std::size_t position() const { return pos_; }
    std::uint32_t line() const { return line_; }
    std::uint32_t column() const { return column_; }
    bool had_bom() const { return had_bom_; }
    bool at_end() const { return pos_ >= text_.size(); }
    Span span() const { return Span{file_id_, line_, column_, pos_}; }

    // The byte `ahead` bytes past the position, or 0 past the end. Callers
    // that must tell a NUL in the text from the end test `has(ahead)`.
    unsigned char byte(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? static_cast<unsigned char>(text_[pos_ + ahead]) : 0;
    }
    bool has(std::size_t ahead) const { return pos_ + ahead < text_.size(); }

    // The current character as a code point (called only where one exists).
    char32_t peek_char() const;
    // Byte length of the current character.
    std::size_t char_length() const { return utf8_length(byte()); }

    // Advances one character (never a line break).
    void advance() {
        pos_ += char_length();
        ++column_;
    }
    // Advances over `n` bytes of ASCII text that holds no line break.
    void advance_ascii(std::size_t n) {
        pos_ += n;
        column_ += static_cast<std::uint32_t>(n);
    }
    // Advances to byte `end` over text that holds no line break, counting
    // the characters on the way.
    void advance_to(std::size_t end);
    // Advances to byte `end`, the end of the line: a line break or the end
    // of the text. Columns are counted only in the second case, since a
    // line break resets them anyway.
    void skip_rest_of_line(std::size_t end) {
        if (end < text_.size())
            pos_ = end;
        else
            advance_to(end);
    }
    // Skips the byte-order mark at the position, which is no column, as at
    // the start of the text.
    void skip_byte_order_mark() { pos_ += 3; }
    // Advances to byte `end` over `columns` characters, already counted.
    void advance_counted(std::size_t end, std::uint32_t columns) {
        pos_ = end;
        column_ += columns;
    }

    // Offset of the first byte at or after the position that is not a blank;
    // size() when only blanks remain.
    std::size_t find_non_blank() const;
    // The first non-blank character at or after the position as a byte, or
    // -1 when only blanks remain.
    int peek_non_blank() const;
    bool next_is_blank() const;
    bool next_is_break_or_end() const;
    // The byte after the current character is a blank, a line break or the end.
    bool next_is_blank_break_or_end() const;
    // The character three characters ahead as a byte, or -1 when there is none.
    int peek_char_after_marker() const;
    void skip_marker();
    void skip_blanks();
    void skip_spaces();
    void consume_line_break();
    bool at_document_marker() const;

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::uint32_t line_ = 0;
    std::uint32_t column_ = 0;
    std::uint32_t file_id_ = 0;
    bool had_bom_ = false;
};

}  // namespace quillmere::scanner
