#include "scanner/reader.h"

#include <cstring>

#include "scanner/byte_search.h"

namespace quillmere::scanner {

Reader::Reader(std::string_view text, std::uint32_t file_id) : text_(text), file_id_(file_id) {
    if (text.starts_with(kByteOrderMark)) {
        pos_ = 3;
        had_bom_ = true;
    }
}

char32_t Reader::peek_char() const {
    unsigned char lead = byte();
    std::size_t n = utf8_length(lead);
    if (n == 1) return lead;
    char32_t cp = lead & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
    for (std::size_t i = 1; i < n; ++i) cp = (cp << 6) | (byte(i) & 0x3F);
    return cp;
}

void Reader::advance_to(std::size_t end) {
    // Every byte that is not a continuation byte (10xxxxxx) starts a
    // character; count them eight at a time.
    std::size_t i = pos_;
    std::uint32_t columns = 0;
    for (; i + 8 <= end; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text_.data() + i, 8);
        // Bit 7 of each byte of `continuation` marks a continuation byte;
        // the multiplication sums the marks into the top byte.
        const std::uint64_t continuation = (word & ~(word << 1) & 0x8080808080808080ull) >> 7;
        columns += 8 - static_cast<std::uint32_t>((continuation * 0x0101010101010101ull) >> 56);
    }
    for (; i < end; ++i) columns += (static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80;
    column_ += columns;
    pos_ = end;
}

std::size_t Reader::find_non_blank() const {
    std::size_t i = pos_;
    while (i < text_.size() && is_blank(static_cast<unsigned char>(text_[i]))) ++i;
    return i;
}

int Reader::peek_non_blank() const {
    std::size_t i = find_non_blank();
    return i < text_.size() ? static_cast<unsigned char>(text_[i]) : -1;
}

bool Reader::next_is_blank() const {
    if (at_end()) return false;
    std::size_t next = pos_ + char_length();
    return next < text_.size() && is_blank(static_cast<unsigned char>(text_[next]));
}

bool Reader::next_is_break_or_end() const {
    if (at_end()) return true;
    std::size_t next = pos_ + char_length();
    return next >= text_.size() || is_break(static_cast<unsigned char>(text_[next]));
}

bool Reader::next_is_blank_break_or_end() const {
    return next_is_blank() || next_is_break_or_end();
}

int Reader::peek_char_after_marker() const {
    std::size_t i = pos_;
    for (int k = 0; k < 3; ++k) {
        if (i >= text_.size()) return -1;
        i += utf8_length(static_cast<unsigned char>(text_[i]));
    }
    return i < text_.size() ? static_cast<unsigned char>(text_[i]) : -1;
}

void Reader::skip_marker() {
    for (int k = 0; k < 3 && !at_end(); ++k) advance();
}

void Reader::skip_blanks() {
    for (;;) {
        skip_spaces();
        if (at_end() || byte() != '\t') return;
        advance_ascii(1);
    }
}

void Reader::skip_spaces() {
    if (at_end() || byte() != ' ') return;
    advance_ascii(find_non_space(text_.data(), pos_ + 1, text_.size()) - pos_);
}

void Reader::consume_line_break() {
    if (at_end()) return;
    if (byte() == '\r') {
        ++pos_;
        if (!at_end() && byte() == '\n') ++pos_;
    } else {
        ++pos_;
    }
    ++line_;
    column_ = 0;
}

bool Reader::at_document_marker() const {
    if (column_ != 0 || text_.size() - pos_ < 3) return false;
    unsigned char c = byte();
    if ((c != '-' && c != '.') || byte(1) != c || byte(2) != c) return false;
    if (!has(3)) return true;
    unsigned char after = byte(3);
    return is_blank(after) || is_break(after);
}

}  // namespace quillmere::scanner
