#include "schema/modeline.h"

#include <utility>

namespace quillmere::schema {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The code point that starts `text` and its length in bytes (text is valid
// UTF-8 and not empty).
std::pair<char32_t, std::size_t> first_code_point(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (length > text.size()) return {lead, 1};
    char32_t cp = length == 1 ? lead : lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (std::size_t i = 1; i < length; ++i) cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    return {cp, length};
}

// Unicode White_Space.
bool is_white_space(char32_t cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

std::string_view trim_start(std::string_view text) {
    while (!text.empty()) {
        const auto [cp, length] = first_code_point(text);
        if (!is_white_space(cp)) break;
        text.remove_prefix(length);
    }
    return text;
}

std::string_view trim(std::string_view text) {
    text = trim_start(text);
    std::size_t end = 0;  // just past the last code point that is not white space
    for (std::size_t i = 0; i < text.size();) {
        const auto [cp, length] = first_code_point(text.substr(i));
        i += length;
        if (!is_white_space(cp)) end = i;
    }
    return text.substr(0, end);
}

// The reference of one comment line (after its "#"), or empty.
std::string_view line_reference(std::string_view comment) {
    constexpr std::string_view kServer = "yaml-language-server:";
    constexpr std::string_view kSchema = "$schema=";
    comment = trim_start(comment);
    if (!comment.starts_with(kServer)) return {};
    comment = trim_start(comment.substr(kServer.size()));
    if (!comment.starts_with(kSchema)) return {};
    return trim(comment.substr(kSchema.size()));
}

}  // namespace

std::optional<std::string> find_schema_modeline(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        line = trim_start(line);
        if (line.empty()) continue;
        if (line.front() != '#') return std::nullopt;
        const std::string_view reference = line_reference(line.substr(1));
        if (!reference.empty()) return std::string(reference);
    }
    return std::nullopt;
}

}  // namespace quillmere::schema
