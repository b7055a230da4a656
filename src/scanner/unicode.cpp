#include "scanner/unicode.h"

#include "scanner/reader.h"

namespace quillmere::scanner {

bool is_unicode_white_space(char32_t c) {
    switch (c) {
        case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
        case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

namespace {

char32_t decode_at(std::string_view text, std::size_t i, std::size_t& length) {
    auto lead = static_cast<unsigned char>(text[i]);
    length = utf8_length(lead);
    if (i + length > text.size()) length = text.size() - i;
    if (length == 1) return lead;
    char32_t cp = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return cp;
}

}  // namespace

std::string_view trim_white_space_end(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0) {
        std::size_t start = end - 1;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        std::size_t length = 0;
        if (!is_unicode_white_space(decode_at(text, start, length))) break;
        end = start;
    }
    return text.substr(0, end);
}

std::string_view trim_white_space_start(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length = 0;
        if (!is_unicode_white_space(decode_at(text, i, length))) break;
        i += length;
    }
    return text.substr(i);
}

std::size_t find_white_space(std::string_view text, std::size_t from, std::size_t& length) {
    for (std::size_t i = from; i < text.size(); i += length) {
        if (is_unicode_white_space(decode_at(text, i, length))) return i;
    }
    return std::string_view::npos;
}

std::vector<std::string_view> split_words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length = 0;
        std::size_t space = find_white_space(text, i, length);
        if (space == std::string_view::npos) {
            words.push_back(text.substr(i));
            break;
        }
        if (space > i) words.push_back(text.substr(i, space - i));
        i = space + length;
    }
    return words;
}

}  // namespace quillmere::scanner
