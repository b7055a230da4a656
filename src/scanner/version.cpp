#include "scanner/version.h"

#include "scanner/unicode.h"

namespace quillmere::scanner {

namespace {

std::optional<std::uint32_t> parse_number(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return std::uint32_t(value);
}

std::optional<YamlVersion> parse_version_word(std::string_view word) {
    std::size_t dot = word.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    auto major = parse_number(word.substr(0, dot));
    auto minor = parse_number(word.substr(dot + 1));
    if (!major || !minor) return std::nullopt;
    return YamlVersion{*major, *minor};
}

}  // namespace

std::optional<YamlVersion> sniff_yaml_version(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty()) {
        std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);

        line = trim_white_space_start(trim_white_space_end(line));
        if (line.empty() || line.front() == '#') continue;
        if (line.front() != '%') return std::nullopt;
        std::vector<std::string_view> words = split_words(line.substr(1));
        if (words.empty() || words[0].front() == '#' || words[0] != "YAML") continue;
        if (words.size() < 2 || words[1].front() == '#') return std::nullopt;
        return parse_version_word(words[1]);
    }
    return std::nullopt;
}

}  // namespace quillmere::scanner
